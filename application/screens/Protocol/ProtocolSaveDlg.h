#pragma once

#include "Common/DimOverlay.h"
#include "Protocol/ProtocolRecords.h"

#include <QDialog>
#include <QString>
#include <QStringList>

namespace Ui {
class ProtocolSaveDlg;
}

// The protocol screen's "Save as" page: a name typed on the on-screen keys
// (letters, digits, blank, "-" and "_"; at most 32) under which the values
// handed over are written as a protocol of theApp's counting mode. Built-in
// names and blank names are refused, an existing name is replaced only after
// the question; the dialog accepts once the file is written and stays open
// when the write fails. BACK closes it without saving. The object is reused:
// name, values and list keep their last contents between runs.
class ProtocolSaveDlg : public QDialog
{
    Q_OBJECT

public:
    explicit ProtocolSaveDlg(QWidget* parent = nullptr);
    ~ProtocolSaveDlg() override;

    // The field shows at most the first 32 characters.
    void setFilename(QString name);
    // The names already listed, asked about before they are replaced.
    void setProtooclList(QStringList names);
    void setData_Total(PROTOCOL_BF_TOTAL_CELL_COUNTING_s record);
    void setData_Viability(PROTOCOL_BF_CELL_COUNTING_VIABILITY_s record);

    // Writes the values of the mode's record as protocol `name` (a value that
    // is no number is written as 0). False, logged, when the file could not
    // be written.
    bool save2(QString name);
    // The Save action of the key page's Save key: checks the name, asks
    // before replacing, writes and accepts.
    void on_BUTTON_KEY_ENTER_clicked();

    bool get_backStatus() const { return m_overlay.isVisible(); }

public slots:
    void slot_set_backLabel(bool bshow) { m_overlay.request(bshow); }

protected:
    // Edits the name from the key page's key codes; every key is taken, so
    // none reaches QDialog (Escape does not close the page).
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void on_BUTTON_BACK_clicked();
    void on_BUTTON_KEY_CLEAR_clicked();
    void on_EDIT_PROTOCOL_NAME2_textEdited(const QString& text);
    void on_EDIT_PROTOCOL_NAME2_textChanged(const QString& text);

private:
    void setFont();

    Ui::ProtocolSaveDlg* ui;
    DimOverlay m_overlay;
    QStringList m_existingNames;
    PROTOCOL_BF_TOTAL_CELL_COUNTING_t m_total;
    PROTOCOL_BF_CELL_COUNTING_VIABILITY_t m_viability;
};
