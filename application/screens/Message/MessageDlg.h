#pragma once

#include "Message/MessageBoxLook.h"

#include <QDialog>
#include <QString>
#include <QStringList>

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
    // A failure the catalogue has no text for, titled as error `type`:
    // `what`, then `reason` (plain text) broken into lines that fit the box,
    // at most `reasonLines` (the last one cut with an ellipsis); OK alone.
    void setFailure(int type, const QString& what, const QString& reason, int reasonLines);
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
    // `text` in lines of the label's width, at most `maxLines`.
    QStringList fitLines(const QString& text, int maxLines) const;

    Ui::MessageDlg* ui;
};
