#pragma once

#include "Message/MessageBoxLook.h"

#include <QDialog>
#include <QString>

namespace Ui {
class MessageDlg;
}

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
    // Lets long lines of the message wrap at word boundaries inside the box
    // instead of being cut at its edge (text the system did not write, such
    // as a failure's reason); off by default.
    void setWordWrap(bool on);
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
