#include "Protocol/ProtocolSaveDlg.h"

#include "ui_ProtocolSaveDlg.h"

#include "Common/ScreenHeader.h"
#include "Keyboard/KeyboardLook.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ProtocolFiles.h"
#include "Message/MessageDlg.h"
#include "platform/Log.h"

#include <QKeyEvent>

namespace {

constexpr int kMessageDiskFull = 5;
constexpr int kMessageReplace = 19;
constexpr int kMessageBuiltIn = 20;
constexpr int kMessageBlankName = 22;

}  // namespace

ProtocolSaveDlg::ProtocolSaveDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::ProtocolSaveDlg)
    , m_overlay(this)
{
    initKeyboardResources();
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);
    setFont();
    ui->BUTTON_KEY_CLEAR->setEnabled(!ui->EDIT_PROTOCOL_NAME2->text().isEmpty());
    ui->EDIT_PROTOCOL_NAME2->setFocus();
    ui->FRAME_KEYBOARD->setObject(this);
    ui->FRAME_KEYBOARD->setMainMode(KEYBOARD_MODE_PROTOCOL);
}

ProtocolSaveDlg::~ProtocolSaveDlg()
{
    delete ui;
}

void ProtocolSaveDlg::setFont()
{
    ui->LABEL_PROTOCOL_SAVE_TITLE->setFont(notoSans(24, QFont::Bold));
    ui->LABEL_NAME->setFont(notoSans(19, 57));
    ui->EDIT_PROTOCOL_NAME2->setFont(notoSans(24, 57));
}

void ProtocolSaveDlg::setFilename(QString name)
{
    ui->EDIT_PROTOCOL_NAME2->setText(name);
}

void ProtocolSaveDlg::setProtooclList(QStringList names)
{
    m_existingNames = names;
}

void ProtocolSaveDlg::setData_Total(PROTOCOL_BF_TOTAL_CELL_COUNTING_s record)
{
    m_total = record;
}

void ProtocolSaveDlg::setData_Viability(PROTOCOL_BF_CELL_COUNTING_VIABILITY_s record)
{
    m_viability = record;
}

bool ProtocolSaveDlg::save2(QString name)
{
    KLOG_ENTER;
    const QString path = KovaCoreApp::gen_local_protocol_ini_path(theApp.m_CountingMode, name);
    int result;
    if (isViabilityMode()) {
        counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t values;
        convert_protocol(m_viability, values);
        result = KovaCoreApp::put_local_protocol(path, values);
    } else {
        counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t values;
        convert_protocol(m_total, values);
        result = KovaCoreApp::put_local_protocol(path, values);
    }
    if (result != 0)
        KLOG << "[Error] protocol not saved:" << path;
    return result == 0;
}

void ProtocolSaveDlg::on_BUTTON_KEY_ENTER_clicked()
{
    KLOG_ENTER;
    QString name = ui->EDIT_PROTOCOL_NAME2->text();
    if (name.endsWith(QLatin1Char(' ')))
        name = KovaCoreApp::removeLastSpace(name);
    if (name.trimmed().isEmpty()) {
        m_overlay.message(kMessageBlankName);
        return;
    }
    if (builtin_protocol_names(theApp.m_CountingMode).contains(name)) {
        m_overlay.message(kMessageBuiltIn, name);
        return;
    }
    if (m_existingNames.contains(name)) {
        // After OK the page stays dimmed until the file is written.
        m_overlay.show();
        MessageDlg question;
        question.setMsgType(kMessageReplace);
        if (question.exec() != 1) {
            m_overlay.hide();
            return;
        }
    }
    const bool saved = save2(name);
    m_overlay.hide();
    if (!saved) {
        m_overlay.message(kMessageDiskFull);
        return;
    }
    accept();
}

void ProtocolSaveDlg::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    QLineEdit* edit = ui->EDIT_PROTOCOL_NAME2;
    if (key == Qt::Key_Period || key == Qt::Key_Space || key == Qt::Key_Minus || key == Qt::Key_Underscore
        || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        edit->insert(QString(QChar(key)));
    } else if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const QChar letter(key);
        edit->insert(event->modifiers() == Qt::NoModifier ? letter.toLower() : letter);
    } else if (key == Qt::Key_Backspace) {
        edit->backspace();
    } else if (key == Qt::Key_Enter) {
        on_BUTTON_KEY_ENTER_clicked();
    }
    event->accept();
}

void ProtocolSaveDlg::on_EDIT_PROTOCOL_NAME2_textEdited(const QString& text)
{
    QLineEdit* edit = ui->EDIT_PROTOCOL_NAME2;
    // Dropped characters before the cursor move it back with the text.
    const int cursor = KovaCoreApp::checkNameRule(text.left(edit->cursorPosition())).length();
    edit->setText(KovaCoreApp::checkNameRule(text));
    edit->setCursorPosition(cursor);
}

void ProtocolSaveDlg::on_EDIT_PROTOCOL_NAME2_textChanged(const QString& text)
{
    ui->BUTTON_KEY_CLEAR->setEnabled(!text.isEmpty());
}

void ProtocolSaveDlg::on_BUTTON_KEY_CLEAR_clicked()
{
    ui->EDIT_PROTOCOL_NAME2->clear();
}

void ProtocolSaveDlg::on_BUTTON_BACK_clicked()
{
    close();
}
