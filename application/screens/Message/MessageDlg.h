#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class MessageDlg;
}

// Button layouts of the message boxes (shared with the software-update dialog).
enum MessageButtonVisibility {
    MESSAGE_BUTTON_OK_CANCEL = 0,  // OK and CANCEL side by side
    MESSAGE_BUTTON_OK = 1,         // OK alone, centred
    MESSAGE_BUTTON_CANCEL = 2,     // CANCEL alone, centred
    MESSAGE_BUTTON_NONE = 3,       // no button
    MESSAGE_BUTTON_SHOW_BOTH = 4,  // both shown where they are
};

// The modal message box, chosen by message number (0 to 56). Fill the
// argument strings first, then setMsgType(); exec() returns 1 for the OK
// button whatever its caption, 0 for CANCEL.
class MessageDlg : public QDialog
{
    Q_OBJECT

public:
    explicit MessageDlg(QWidget* parent = nullptr);
    ~MessageDlg() override;

    void setMsgType(int type);
    void setMessage(QString text);
    void setMessageButtonVisibility(MessageButtonVisibility visibility);

    // "%2" to "%4" of the messages that carry them.
    QString m_strArg2;
    QString m_strArg3;
    QString m_strArg4;

private slots:
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();

private:
    void setFont();

    Ui::MessageDlg* ui;
};
