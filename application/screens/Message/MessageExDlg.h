#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class MessageExDlg;
}

// The save/print dialog's box for the saving errors 3 to 6: OK alone, and
// sig_close_dlg() once the box is accepted.
class MessageExDlg : public QDialog
{
    Q_OBJECT

public:
    explicit MessageExDlg(QWidget* parent = nullptr);
    ~MessageExDlg() override;

    void setMsgType(int type);
    void setMessage(QString text);

signals:
    void sig_close_dlg();

private slots:
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();

private:
    void setFont();

    Ui::MessageExDlg* ui;
};
