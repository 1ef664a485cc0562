#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class KeyboardDlg;
}
class DimOverlay;

// The full-screen dialog in which one line of text is typed on the on-screen
// keyboard: the save base name (mode 4) or a Wi-Fi password (mode 1). The text
// comes back, without leading and trailing white space, by signalSetName just
// before the dialog accepts; the back key closes it without a signal.
class KeyboardDlg : public QDialog
{
    Q_OBJECT

public:
    enum { MODE_WIFI_PASSWORD = 1, MODE_BASE_NAME = 4 };

    explicit KeyboardDlg(QWidget* parent = nullptr);
    ~KeyboardDlg() override;

    void setMode(int mode);
    // Shown by a later setMode(1).
    void setWifiname(QString name);
    void setFilename(QString text);
    void setMaxLength(int n);

signals:
    void signalSetName(QString text);

public slots:
    // Dims the dialog while something is shown over it; a hide request leaves a
    // dimming that was there before the last show request.
    void slot_set_backLabel(bool on);

protected:
    // Takes the keyboard's synthesised key codes (and keys the entry field
    // passes on) and edits the entry field; never passed to QDialog, so Escape
    // does not close the dialog.
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void on_BUTTON_BACK_clicked();
    void EDIT_FILENAME_returnPressed();
    void on_BUTTON_KEY_CLEAR_clicked();
    void on_EDIT_FILENAME_textEdited(const QString& text);

private:
    void setFont();

    Ui::KeyboardDlg* ui;
    QString m_strWifiName;
    int m_nMode = MODE_BASE_NAME;
    std::unique_ptr<DimOverlay> m_pOverlay;
};
