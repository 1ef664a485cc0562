#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class NumberKeypadDlg;
}
class QLineEdit;

enum eNumberKeyPadMode {
    NUMBER_KEYPAD_NUMBER = 0,
    NUMBER_KEYPAD_IP_ADDRESS = 1,
    NUMBER_KEYPAD_SUBNET_MASK = 2,
    NUMBER_KEYPAD_DEFAULT_GATEWAY = 3,
    NUMBER_KEYPAD_SERIAL_NUMBER = 4,
    NUMBER_KEYPAD_DILUTION = 5,
};

// The modal on-screen keypad for numbers and network addresses. Callers set the
// mode, optionally a range and a starting value, connect signal_set_value and
// exec(). The value is returned only by that signal, just before accept();
// closing emits nothing. Keys are sent as key events to the current field, so
// its validator and maximum length apply; touching an octet field makes it
// current. The Apply keys are enabled exactly while Apply takes the entry.
class NumberKeypadDlg : public QDialog
{
    Q_OBJECT

public:
    explicit NumberKeypadDlg(QWidget* parent = nullptr);
    ~NumberKeypadDlg() override;

    void set_mode(eNumberKeyPadMode mode);
    // A number is taken when it lies in [max(min, 1), max].
    void set_range_value(int max, int min, int maxLength);
    void set_max_diution(float maxDilution, int maxLength);
    // Address modes: an empty value gives the mode's default address; parts
    // missing from a value with fewer than four leave their fields empty.
    void set_value(QString value);
    void inputKey(int key);

    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void signal_set_value(QString value);

public slots:
    void slot_apply();

private slots:
    void on_BUTTON_X_clicked();
    void on_BUTTON_KEY_APPLY_clicked();
    void on_BUTTON_KEY_APPLY2_clicked();
    void on_EDIT_NORMAL_textChanged(const QString& text);
    void on_EDIT_DILUTION_textChanged(const QString& text);
    void on_NumberKeypadDlg_finished(int result);

private:
    void setFont();
    // Whether Apply takes what the current mode's fields hold.
    bool takesEntry() const;
    void updateApplyKeys();
    // The four octet fields of an address mode; empty for other modes.
    QList<QLineEdit*> octetFields(int mode) const;
    QList<QLineEdit*> allOctetFields() const;

    QLineEdit* m_pCurrentEdit = nullptr;
    eNumberKeyPadMode m_mode = NUMBER_KEYPAD_NUMBER;
    int m_nMax = 99999;
    int m_nMin = 1;  // a number below 1 is never taken, whatever the range says
    float m_fMaxDilution = 1.0f;  // until set_max_diution: undiluted only
    Ui::NumberKeypadDlg* ui;
};
