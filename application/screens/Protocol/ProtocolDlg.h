#pragma once

#include "Common/DimOverlay.h"
#include "Protocol/ProtocolRecords.h"
#include "Protocol/ProtocolSaveDlg.h"

#include <QDialog>
#include <QList>
#include <QString>
#include <QStringList>

namespace Ui {
class ProtocolDlg;
}
class QLabel;
class QPushButton;

// The protocol screen behind the home screen's Protocol button, for theApp's
// counting mode: the mode's protocols (built-in first, then the user's files),
// the shown protocol's values with their steppers, Load (the shown values
// become the loaded protocol and its file), Edit (steppers on, user
// protocols only), Delete (user protocols that are not loaded) and Save as.
// The values live only in the value labels: choosing another row drops an
// edit. Without a current row the four actions do nothing.
class ProtocolDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxProtocols = 300;
    static constexpr int kColumns = 7;  // of each frame; the last ones carry no parameter

    explicit ProtocolDlg(QWidget* parent = nullptr);
    ~ProtocolDlg() override;

    // The texts of all rows, in order.
    QStringList getProtocollist() const;

public slots:
    // The power-off question's dimming; while Save as is up it goes there.
    void slot_set_backLabel(bool bshow);
    // Stores the loaded protocol of the mode under `name` (blanks at its end
    // dropped) and lists it, unless `detect`, which stores nothing; then
    // signalSaveCompleted(). A name a typed name may not be, or a file that
    // cannot be written, gives signalSaveFailed() and no new row. Nothing
    // connects it; Save as stores through its own dialog.
    void slotSave(QString name, bool detect);

signals:
    void signalSaveCompleted();
    void signalSaveFailed();

protected:
    // Keeps the header clock current: the home screen repaints once a minute.
    void paintEvent(QPaintEvent* event) override;

private slots:
    void on_BUTTON_HOME_clicked();
    void on_BUTTON_LOAD_clicked();
    void on_BUTTON_EDIT_clicked();
    void on_BUTTON_DELETE_clicked();
    void on_BUTTON_SAVE_AS_clicked();
    void on_LIST_PROTOCOL_currentTextChanged(const QString& currentText);

    void on_BUTTON_PROTOCOL_TOTAL_EDIT_UP_1_clicked() { stepTotal(1, true); }
    void on_BUTTON_PROTOCOL_TOTAL_EDIT_UP_2_clicked() { stepTotal(2, true); }
    void on_BUTTON_PROTOCOL_TOTAL_EDIT_UP_3_clicked() { stepTotal(3, true); }
    void on_BUTTON_PROTOCOL_TOTAL_EDIT_UP_4_clicked() { stepTotal(4, true); }
    void on_BUTTON_PROTOCOL_TOTAL_EDIT_UP_5_clicked() { stepTotal(5, true); }
    void on_BUTTON_PROTOCOL_TOTAL_EDIT_DOWN_1_clicked() { stepTotal(1, false); }
    void on_BUTTON_PROTOCOL_TOTAL_EDIT_DOWN_2_clicked() { stepTotal(2, false); }
    void on_BUTTON_PROTOCOL_TOTAL_EDIT_DOWN_3_clicked() { stepTotal(3, false); }
    void on_BUTTON_PROTOCOL_TOTAL_EDIT_DOWN_4_clicked() { stepTotal(4, false); }
    void on_BUTTON_PROTOCOL_TOTAL_EDIT_DOWN_5_clicked() { stepTotal(5, false); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_UP_1_clicked() { stepViability(1, true); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_UP_2_clicked() { stepViability(2, true); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_UP_3_clicked() { stepViability(3, true); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_UP_4_clicked() { stepViability(4, true); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_UP_5_clicked() { stepViability(5, true); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_UP_6_clicked() { stepViability(6, true); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_DOWN_1_clicked() { stepViability(1, false); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_DOWN_2_clicked() { stepViability(2, false); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_DOWN_3_clicked() { stepViability(3, false); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_DOWN_4_clicked() { stepViability(4, false); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_DOWN_5_clicked() { stepViability(5, false); }
    void on_BUTTON_PROTOCOL_VIABILITY_EDIT_DOWN_6_clicked() { stepViability(6, false); }

private:
    void SetFont();
    // Mode badge, loaded protocol name and the frame of the mode.
    void setMainUIState();
    // Steppers of the parameters on (editing) or off (viewing); the spare
    // columns stay off.
    void ProtocolButtonState(bool enable);
    // Lists the mode's folder and makes the loaded protocol's row current.
    void DisplayProtocolList();
    // Shows the values of protocol `name` as read from its file.
    void LoadProtocol2(QString name);
    // The loaded protocol of the mode into the file of protocol `name`; false
    // when the file could not be written.
    bool save2(const QString& name);
    // The shown values into m_TotalProtocol or m_ViabilityProtocol.
    void takeShownValues();
    // Column n (from 1) of a frame, stepped up or down within its rule.
    void stepTotal(int column, bool up);
    void stepViability(int column, bool up);
    QString currentName() const;
    // The form's widgets named `pattern` with column numbers first..last.
    template <class Widget>
    QList<Widget*> columnWidgets(const QString& pattern, int first, int last) const;

    Ui::ProtocolDlg* ui;
    ProtocolSaveDlg m_SaveDlg;
    PROTOCOL_BF_TOTAL_CELL_COUNTING_t m_TotalProtocol;  // the shown values handed to Save as
    PROTOCOL_BF_CELL_COUNTING_VIABILITY_t m_ViabilityProtocol;
    QList<QLabel*> m_totalValues;  // the value labels of the parameters, columns 1..5
    QList<QLabel*> m_viabilityValues;  // columns 1..6
    QList<QPushButton*> m_liveSteppers;  // of the parameters' columns, both frames
    QList<QPushButton*> m_spareSteppers;  // of the columns without a parameter
    DimOverlay m_overlay;
};
