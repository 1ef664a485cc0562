#include "LoginDialog.h"
#include "ui_LoginDialog.h"

#include "LoaderFont.h"

#include "platform/Log.h"

#include <QKeyEvent>

namespace {

const char kServiceId[] = "velim";
const char kNormalField[] =
    "color: rgb(145, 158, 195); background-color: rgb(0, 0, 0); border: 1px solid rgb(149, 160, 189); "
    "padding-left: 10px;";
const char kErrorField[] =
    "color: rgb(145, 158, 195); background-color: rgb(0, 0, 0); border: 1px solid rgb(255, 46, 146); "
    "padding-left: 10px;";


}  // namespace

LoginDialog::LoginDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::LoginDialog)
{
    ui->setupUi(this);
    setFont();
    for (QObject* field : {ui->EDIT_ID, ui->EDIT_PASSWORD, ui->EDIT_PASSWORD2})
        field->installEventFilter(this);
    ui->loginframe->raise();
    ui->loginframe->show();
    ui->FRAME_KEYBOARD->setObject(this);
    connect(this, &LoginDialog::signal_set_login, this, &LoginDialog::slot_set_login);
    ui->LABEL_ERROR_ID->hide();
    ui->LABEL_ERROR_PASSWORD->hide();
}

LoginDialog::~LoginDialog()
{
    delete ui;
}

void LoginDialog::setFont()
{
    ui->LABEL_LOGIN_TITLE->setFont(loader::notoSans(22, QFont::Bold));
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->EDIT_ID, ui->EDIT_PASSWORD, ui->LABEL_ERROR_ID,
                                                           ui->LABEL_ERROR_PASSWORD})
        widget->setFont(loader::notoSans(22));
    ui->BUTTON_OK->setFont(loader::notoSans(24, QFont::DemiBold));
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->EDIT_ID2, ui->EDIT_PASSWORD2})
        widget->setFont(loader::notoSans(28, QFont::Medium));
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->LABEL_ID2, ui->LABEL_PASSWORD2})
        widget->setFont(loader::notoSans(22, QFont::Medium));
}

void LoginDialog::init()
{
    ui->EDIT_ID->setStyleSheet(QString::fromLatin1(kNormalField));
    ui->EDIT_PASSWORD->setStyleSheet(QString::fromLatin1(kNormalField));
    ui->LABEL_ERROR_ID->hide();
    ui->LABEL_ERROR_PASSWORD->hide();
}

void LoginDialog::slot_set_login(QString id, QString pw)
{
    init();
    ui->EDIT_ID->setText(id);
    ui->EDIT_PASSWORD->setText(pw);
}

void LoginDialog::on_BUTTON_OK_clicked()
{
    KLOG_ENTER;
    // Both fields are judged and marked on every press.
    const bool idRight = ui->EDIT_ID->text().toLower() == QLatin1String(kServiceId);
    const bool passwordRight = ui->EDIT_PASSWORD->text() == m_strPassword;
    ui->EDIT_ID->setStyleSheet(QString::fromLatin1(idRight ? kNormalField : kErrorField));
    ui->LABEL_ERROR_ID->setVisible(!idRight);
    ui->EDIT_PASSWORD->setStyleSheet(QString::fromLatin1(passwordRight ? kNormalField : kErrorField));
    ui->LABEL_ERROR_PASSWORD->setVisible(!passwordRight);
    if (idRight && passwordRight) {
        emit sig_normal_login();
        accept();
    }
}

void LoginDialog::on_BUTTON_BACK_clicked()
{
    reject();
}

void LoginDialog::takeInput()
{
    emit signal_set_login(ui->EDIT_ID2->text().trimmed(), ui->EDIT_PASSWORD2->text().trimmed());
    ui->inputframe->hide();
}

void LoginDialog::on_EDIT_PASSWORD2_returnPressed()
{
    takeInput();
}

void LoginDialog::on_EDIT_ID2_returnPressed()
{
    takeInput();
}

void LoginDialog::on_BUTTON_VIEW_toggled(bool checked)
{
    ui->EDIT_PASSWORD->setEchoMode(checked ? QLineEdit::Password : QLineEdit::Normal);
    repaint();
}

void LoginDialog::on_BUTTON_CLEAR_ID_clicked()
{
    ui->EDIT_ID2->clear();
}

void LoginDialog::on_BUTTON_CLEAR_PW_clicked()
{
    ui->EDIT_PASSWORD2->clear();
}

bool LoginDialog::eventFilter(QObject* object, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        if (object == ui->EDIT_ID || object == ui->EDIT_PASSWORD) {
            ui->inputframe->raise();
            ui->inputframe->show();
        } else if (object == ui->EDIT_PASSWORD2) {
            activateWindow();
            m_nInputField = 1;
        }
    }
    return QDialog::eventFilter(object, event);
}

void LoginDialog::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    QLineEdit* typed = m_nInputField == 1 ? ui->EDIT_PASSWORD2 : nullptr;
    if (key == Qt::Key_Minus || (key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) {
        // The keyboard sends codes without text: a letter is its capital.
        if (typed)
            typed->insert(QString(QChar(key)));
    } else if (key == Qt::Key_Backspace) {
        (m_nInputField == 0 ? ui->EDIT_ID2 : ui->EDIT_PASSWORD2)->backspace();
    } else if (key == Qt::Key_Enter || key == Qt::Key_Return) {
        if (key == Qt::Key_Enter && ui->inputframe->isHidden())
            on_BUTTON_OK_clicked();
        takeInput();
    }
    event->accept();
}
