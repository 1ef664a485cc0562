#include "Review/ReviewFuncDlg.h"

#include "ui_ReviewFuncDlg.h"

#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "MediaMonitor/MediaMonitor.h"
#include "Message/MessageDlg.h"
#include "platform/Log.h"

namespace {

constexpr int kMessageDeleteAllResults = 43;

}  // namespace

ReviewFuncDlg::ReviewFuncDlg(QWidget* parent) : QDialog(parent), ui(new Ui::ReviewFuncDlg)
{
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint);
    setGeometry(156, 90, 500, 300);
    setFont();
    ui->FRAME_FINISH->hide();
    ui->FRAME_SELECT->show();
}

ReviewFuncDlg::~ReviewFuncDlg()
{
    delete ui;
}

void ReviewFuncDlg::setFont()
{
    ui->LABEL_FUNC->setFont(notoSans(22, QFont::Bold));
    for (QWidget* button : {ui->BUTTON_CURRENT, ui->BUTTON_ALL, ui->BUTTON_OK, ui->BUTTON_CANCEL})
        button->setFont(notoSans(22, QFont::DemiBold));
    ui->LABEL_MSG->setFont(notoSans(22, QFont::Normal));
}

void ReviewFuncDlg::setMode(int mode)
{
    KLOG_ENTER;
    KLOG_VALUE("mode", mode);
    m_mode = mode == Export ? Export : Delete;
    ui->LABEL_ICON_EXPORT->setVisible(exporting());
    ui->LABEL_ICON_DELETE->setVisible(!exporting());
    ui->LABEL_FUNC->setText(exporting() ? QStringLiteral("Export") : QStringLiteral("Delete"));
    update();
}

void ReviewFuncDlg::setState(int state)
{
    KLOG_ENTER;
    m_State = state == Choose ? Choose : Done;
    KLOG_VALUE("state", m_State);
    if (m_State == Choose) {
        ui->FRAME_FINISH->hide();
        ui->FRAME_SELECT->show();
        ui->FRAME_SELECT->setEnabled(true);
    } else {
        if (exporting()) {
            ui->LABEL_MSG->setText(QStringLiteral("Export completed!\n\nDo you want to remove the USB?"));
            ui->BUTTON_OK->move(88, 164);
            ui->BUTTON_CANCEL->show();
        } else {
            ui->LABEL_MSG->setText(QStringLiteral("Delete completed!"));
            ui->BUTTON_OK->move(174, 164);
            ui->BUTTON_CANCEL->hide();
        }
        ui->FRAME_FINISH->show();
        ui->FRAME_SELECT->hide();
    }
    update();
}

void ReviewFuncDlg::on_BUTTON_CURRENT_clicked()
{
    emit sig_set_FuncnType(m_mode, Current);
    ui->FRAME_SELECT->setEnabled(false);
}

void ReviewFuncDlg::on_BUTTON_ALL_clicked()
{
    if (exporting()) {
        emit sig_set_FuncnType(Export, All);
    } else {
        MessageDlg question;
        question.setMsgType(kMessageDeleteAllResults);
        if (question.exec() == 1)
            emit sig_set_FuncnType(Delete, All);
        else
            reject();
    }
    ui->FRAME_SELECT->setEnabled(false);
}

void ReviewFuncDlg::on_BUTTON_OK_clicked()
{
    if (exporting()) {
        if (theApp.m_pMediaMonitor)
            theApp.m_pMediaMonitor->umount_usb();
        emit sig_umount_usb(true);
    }
    accept();
}

void ReviewFuncDlg::on_BUTTON_CANCEL_clicked()
{
    if (exporting())
        emit sig_umount_usb(false);
    accept();
}

void ReviewFuncDlg::on_BUTTON_X_clicked()
{
    reject();
}

void ReviewFuncDlg::slot_select_error()
{
    reject();
}
