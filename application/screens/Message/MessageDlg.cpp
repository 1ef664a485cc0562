#include "Message/MessageDlg.h"

#include "Message/MessageBoxLook.h"
#include "Message/MessageCatalogue.h"
#include "ui_MessageDlg.h"

#include "platform/Log.h"

MessageDlg::MessageDlg(QWidget* parent) : QDialog(parent), ui(new Ui::MessageDlg)
{
    ui->setupUi(this);
    setFont();
}

MessageDlg::~MessageDlg()
{
    delete ui;
}

void MessageDlg::setFont()
{
    applyMessageBoxLook(this, ui->LABEL_MESSAGE, ui->BUTTON_OK, ui->BUTTON_CANCEL);
}

void MessageDlg::setMsgType(int type)
{
    KLOG_ENTER;
    KLOG_VALUE("type", type);
    using namespace MessageCatalogue;
    if (const Entry* e = entry(type)) {
        ui->LABEL_MESSAGE->setText(text(type, {m_strArg2, m_strArg3, m_strArg4}));
        switch (e->buttons) {
        case Buttons::OkCancel:
            ui->BUTTON_OK->setText(QStringLiteral("OK"));
            ui->BUTTON_CANCEL->setText(QStringLiteral("CANCEL"));
            setMessageButtonVisibility(MESSAGE_BUTTON_OK_CANCEL);
            break;
        case Buttons::Single:
            ui->BUTTON_OK->setText(e->caption);
            setMessageButtonVisibility(MESSAGE_BUTTON_OK);
            break;
        case Buttons::None:
            setMessageButtonVisibility(MESSAGE_BUTTON_NONE);
            break;
        case Buttons::Unchanged:
            break;
        }
    }
    update();
}

void MessageDlg::setMessage(QString text)
{
    ui->LABEL_MESSAGE->setText(text);
}

void MessageDlg::setWordWrap(bool on)
{
    ui->LABEL_MESSAGE->setWordWrap(on);
}

void MessageDlg::setMessageButtonVisibility(MessageButtonVisibility visibility)
{
    placeMessageButtons(ui->BUTTON_OK, ui->BUTTON_CANCEL, visibility);
}

void MessageDlg::on_BUTTON_OK_clicked()
{
    accept();
}

void MessageDlg::on_BUTTON_CANCEL_clicked()
{
    reject();
}
