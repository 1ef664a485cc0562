#include "Keyboard/KeyboardDlg.h"

#include "Common/DimOverlay.h"
#include "Keyboard/KeyboardLook.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "Message/MessageDlg.h"
#include "ui_KeyboardDlg.h"

#include "platform/Log.h"

#include <QKeyEvent>

namespace {

// The codes that insert their own character; letters are handled apart.
bool insertsItself(int key)
{
    return (key >= 0x20 && key <= 0x40) || (key >= 0x5B && key <= 0x60) || (key >= 0x7B && key <= 0x7E);
}

constexpr int kMessageUnacceptableName = 24;

}  // namespace

KeyboardDlg::KeyboardDlg(QWidget* parent) : QDialog(parent), ui(new Ui::KeyboardDlg)
{
    initKeyboardResources();
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);
    ui->FRAME_KEYBOARD->setObject(this);
    ui->FRAME_KEYBOARD->setMainMode(KEYBOARD_MODE_BASE_NAME);

    m_pOverlay = std::make_unique<DimOverlay>(this);

    m_nMode = MODE_BASE_NAME;
    m_strWifiName.clear();
    setFont();
}

KeyboardDlg::~KeyboardDlg()
{
    delete ui;
}

void KeyboardDlg::setFont()
{
    ui->LABEL_BASENAME_SAVE_TITLE->setFont(notoSans(24, QFont::Bold));
    ui->LABEL_NETWORK_NAME_TITLE->setFont(notoSans(24, QFont::Normal));
    ui->LABEL_NETWORK_NAME->setFont(notoSans(24, QFont::Normal));
    ui->LABEL_NAME->setFont(notoSans(19, 57));
    ui->EDIT_FILENAME->setFont(notoSans(24, 57));
}

void KeyboardDlg::setMode(int mode)
{
    KLOG_ENTER;
    KLOG_VALUE("mode", mode);
    m_nMode = mode;
    if (mode == MODE_BASE_NAME) {
        ui->FRAME_KEYBOARD->setMainMode(KEYBOARD_MODE_BASE_NAME);
        ui->LABEL_BASENAME_SAVE_TITLE->setText(QStringLiteral("Save"));
        ui->LABEL_BASENAME_SAVE_TITLE->show();
        ui->LABEL_NETWORK_NAME_TITLE->hide();
        ui->LABEL_NETWORK_NAME->hide();
        ui->LABEL_NAME->setText(QStringLiteral("Base name"));
    } else if (mode == MODE_WIFI_PASSWORD) {
        ui->FRAME_KEYBOARD->setMainMode(KEYBOARD_MODE_WIFI_PASSWORD);
        ui->LABEL_NETWORK_NAME_TITLE->setText(QStringLiteral("Network Name:"));
        ui->LABEL_NETWORK_NAME_TITLE->show();
        ui->LABEL_NETWORK_NAME->setText(m_strWifiName);
        ui->LABEL_NETWORK_NAME->show();
        ui->LABEL_NETWORK_NAME->raise();
        ui->LABEL_BASENAME_SAVE_TITLE->hide();
        ui->LABEL_NAME->setText(QStringLiteral("Password"));
    }
}

void KeyboardDlg::setWifiname(QString name)
{
    m_strWifiName = name;
}

void KeyboardDlg::setFilename(QString text)
{
    ui->EDIT_FILENAME->setText(text);
}

void KeyboardDlg::setMaxLength(int n)
{
    ui->EDIT_FILENAME->setMaxLength(n);
}

void KeyboardDlg::slot_set_backLabel(bool on)
{
    m_pOverlay->request(on);
}

void KeyboardDlg::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    QLineEdit* edit = ui->EDIT_FILENAME;
    if (insertsItself(key)) {
        edit->insert(QString(QChar(key)));
    } else if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar letter(key);
        edit->insert(event->modifiers() == Qt::NoModifier ? letter.toLower() : letter);
    } else if (key == Qt::Key_Backspace) {
        edit->backspace();
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        EDIT_FILENAME_returnPressed();
    }
    event->accept();
}

void KeyboardDlg::on_EDIT_FILENAME_textEdited(const QString& text)
{
    QLineEdit* edit = ui->EDIT_FILENAME;
    int cursor = edit->cursorPosition();
    if (m_nMode == MODE_BASE_NAME) {
        // Dropped characters before the cursor move it back with the text.
        cursor = KovaCoreApp::checkNameRule(text.left(cursor)).length();
        edit->setText(KovaCoreApp::checkNameRule(text));
    } else if (m_nMode == MODE_WIFI_PASSWORD) {
        edit->setText(text);
    } else {
        return;
    }
    edit->setCursorPosition(cursor);
    if (!edit->text().isEmpty())
        ui->BUTTON_KEY_CLEAR->setEnabled(true);
}

void KeyboardDlg::on_BUTTON_KEY_CLEAR_clicked()
{
    ui->EDIT_FILENAME->clear();
    ui->BUTTON_KEY_CLEAR->setEnabled(false);
}

void KeyboardDlg::on_BUTTON_BACK_clicked()
{
    reject();
}

void KeyboardDlg::EDIT_FILENAME_returnPressed()
{
    KLOG_ENTER;
    const QString name = ui->EDIT_FILENAME->text().trimmed();
    if (!name.isEmpty()) {
        emit signalSetName(name);
        accept();
        return;
    }
    MessageDlg message;
    message.setMsgType(kMessageUnacceptableName);
    slot_set_backLabel(true);
    message.exec();
    slot_set_backLabel(false);
}
