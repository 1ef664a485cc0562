#include "Message/MessageExDlg.h"

#include "Message/MessageBoxLook.h"
#include "Message/MessageCatalogue.h"
#include "ui_MessageExDlg.h"

MessageExDlg::MessageExDlg(QWidget* parent) : QDialog(parent), ui(new Ui::MessageExDlg)
{
    ui->setupUi(this);
    ui->BUTTON_CANCEL->hide();
    setFont();
}

MessageExDlg::~MessageExDlg()
{
    delete ui;
}

void MessageExDlg::setFont()
{
    applyMessageBoxLook(this, ui->LABEL_MESSAGE, ui->BUTTON_OK, ui->BUTTON_CANCEL);
}

void MessageExDlg::setMsgType(int type)
{
    if (type >= 3 && type <= 6)
        ui->LABEL_MESSAGE->setText(MessageCatalogue::text(type));
    ui->BUTTON_OK->setText(QStringLiteral("OK"));
    ui->BUTTON_OK->setGeometry(174, 214, 150, 46);
    ui->BUTTON_OK->show();
    ui->BUTTON_CANCEL->hide();
    update();
}

void MessageExDlg::setMessage(QString text)
{
    ui->LABEL_MESSAGE->setText(text);
}

void MessageExDlg::on_BUTTON_OK_clicked()
{
    accept();
    emit sig_close_dlg();
}

void MessageExDlg::on_BUTTON_CANCEL_clicked()
{
    reject();
}
