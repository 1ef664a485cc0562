#include "Keyboard/KeyboardFrame.h"

#include "MediaMonitor/MediaMonitor.h"
#include "Keyboard/KeyboardLook.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "ui_KeyboardFrame.h"

#include "platform/Log.h"


namespace {

// Every key that sends one fixed code. Letters send the upper-case code.
const KeyCode<Ui::KeyboardFrame> kKeys[] = {
    {&Ui::KeyboardFrame::BUTTON_KEY_0, Qt::Key_0},
    {&Ui::KeyboardFrame::BUTTON_KEY_1, Qt::Key_1},
    {&Ui::KeyboardFrame::BUTTON_KEY_2, Qt::Key_2},
    {&Ui::KeyboardFrame::BUTTON_KEY_3, Qt::Key_3},
    {&Ui::KeyboardFrame::BUTTON_KEY_4, Qt::Key_4},
    {&Ui::KeyboardFrame::BUTTON_KEY_5, Qt::Key_5},
    {&Ui::KeyboardFrame::BUTTON_KEY_6, Qt::Key_6},
    {&Ui::KeyboardFrame::BUTTON_KEY_7, Qt::Key_7},
    {&Ui::KeyboardFrame::BUTTON_KEY_8, Qt::Key_8},
    {&Ui::KeyboardFrame::BUTTON_KEY_9, Qt::Key_9},
    {&Ui::KeyboardFrame::BUTTON_KEY_A, Qt::Key_A},
    {&Ui::KeyboardFrame::BUTTON_KEY_B, Qt::Key_B},
    {&Ui::KeyboardFrame::BUTTON_KEY_C, Qt::Key_C},
    {&Ui::KeyboardFrame::BUTTON_KEY_D, Qt::Key_D},
    {&Ui::KeyboardFrame::BUTTON_KEY_E, Qt::Key_E},
    {&Ui::KeyboardFrame::BUTTON_KEY_F, Qt::Key_F},
    {&Ui::KeyboardFrame::BUTTON_KEY_G, Qt::Key_G},
    {&Ui::KeyboardFrame::BUTTON_KEY_H, Qt::Key_H},
    {&Ui::KeyboardFrame::BUTTON_KEY_I, Qt::Key_I},
    {&Ui::KeyboardFrame::BUTTON_KEY_J, Qt::Key_J},
    {&Ui::KeyboardFrame::BUTTON_KEY_K, Qt::Key_K},
    {&Ui::KeyboardFrame::BUTTON_KEY_L, Qt::Key_L},
    {&Ui::KeyboardFrame::BUTTON_KEY_M, Qt::Key_M},
    {&Ui::KeyboardFrame::BUTTON_KEY_N, Qt::Key_N},
    {&Ui::KeyboardFrame::BUTTON_KEY_O, Qt::Key_O},
    {&Ui::KeyboardFrame::BUTTON_KEY_P, Qt::Key_P},
    {&Ui::KeyboardFrame::BUTTON_KEY_Q, Qt::Key_Q},
    {&Ui::KeyboardFrame::BUTTON_KEY_R, Qt::Key_R},
    {&Ui::KeyboardFrame::BUTTON_KEY_S, Qt::Key_S},
    {&Ui::KeyboardFrame::BUTTON_KEY_T, Qt::Key_T},
    {&Ui::KeyboardFrame::BUTTON_KEY_U, Qt::Key_U},
    {&Ui::KeyboardFrame::BUTTON_KEY_V, Qt::Key_V},
    {&Ui::KeyboardFrame::BUTTON_KEY_W, Qt::Key_W},
    {&Ui::KeyboardFrame::BUTTON_KEY_X, Qt::Key_X},
    {&Ui::KeyboardFrame::BUTTON_KEY_Y, Qt::Key_Y},
    {&Ui::KeyboardFrame::BUTTON_KEY_Z, Qt::Key_Z},
    {&Ui::KeyboardFrame::BUTTON_KEY_BAR, Qt::Key_Minus},
    {&Ui::KeyboardFrame::BUTTON_KEY_UNDER_BAR, Qt::Key_Underscore},
    {&Ui::KeyboardFrame::BUTTON_KEY_COMMA, Qt::Key_Comma},
    {&Ui::KeyboardFrame::BUTTON_KEY_DOT, Qt::Key_Period},
    {&Ui::KeyboardFrame::BUTTON_KEY_QUESTION, Qt::Key_Question},
    {&Ui::KeyboardFrame::BUTTON_KEY_SLASH, Qt::Key_Slash},
    {&Ui::KeyboardFrame::BUTTON_KEY_TILDE, Qt::Key_AsciiTilde},
    {&Ui::KeyboardFrame::BUTTON_KEY_EM, Qt::Key_Exclam},
    {&Ui::KeyboardFrame::BUTTON_KEY_AT, Qt::Key_At},
    {&Ui::KeyboardFrame::BUTTON_KEY_SHARP, Qt::Key_NumberSign},
    {&Ui::KeyboardFrame::BUTTON_KEY_DOLLAR, Qt::Key_Dollar},
    {&Ui::KeyboardFrame::BUTTON_KEY_PERCENT, Qt::Key_Percent},
    {&Ui::KeyboardFrame::BUTTON_KEY_CA, Qt::Key_AsciiCircum},
    {&Ui::KeyboardFrame::BUTTON_KEY_AND, Qt::Key_Ampersand},
    {&Ui::KeyboardFrame::BUTTON_KEY_ASTERISK, Qt::Key_Asterisk},
    {&Ui::KeyboardFrame::BUTTON_KEY_PLUS, Qt::Key_Plus},
    {&Ui::KeyboardFrame::BUTTON_KEY_GRAVE_ACCENT, Qt::Key_QuoteLeft},
    {&Ui::KeyboardFrame::BUTTON_KEY_LEFT_P, Qt::Key_ParenLeft},
    {&Ui::KeyboardFrame::BUTTON_KEY_RIGHT_P, Qt::Key_ParenRight},
    {&Ui::KeyboardFrame::BUTTON_KEY_COLON, Qt::Key_Colon},
    {&Ui::KeyboardFrame::BUTTON_KEY_SEMI_COLON, Qt::Key_Semicolon},
    {&Ui::KeyboardFrame::BUTTON_KEY_DOUBLE, Qt::Key_QuoteDbl},
    {&Ui::KeyboardFrame::BUTTON_KEY_SINGLE, Qt::Key_Apostrophe},
    {&Ui::KeyboardFrame::BUTTON_KEY_LEFT_AB, Qt::Key_Less},
    {&Ui::KeyboardFrame::BUTTON_KEY_RIGHT_AB, Qt::Key_Greater},
    {&Ui::KeyboardFrame::BUTTON_KEY_LEFT_CB, Qt::Key_BraceLeft},
    {&Ui::KeyboardFrame::BUTTON_KEY_RIGHT_CB, Qt::Key_BraceRight},
    {&Ui::KeyboardFrame::BUTTON_KEY_LEFT_SB, Qt::Key_BracketLeft},
    {&Ui::KeyboardFrame::BUTTON_KEY_RIGHT_SB, Qt::Key_BracketRight},
    {&Ui::KeyboardFrame::BUTTON_KEY_BACK_SLASH, Qt::Key_Backslash},
    {&Ui::KeyboardFrame::BUTTON_KEY_PIPE, Qt::Key_Bar},
    {&Ui::KeyboardFrame::BUTTON_KEY_EQUAL, Qt::Key_Equal},
    {&Ui::KeyboardFrame::BUTTON_KEY_SPACE, Qt::Key_Space},
    {&Ui::KeyboardFrame::BUTTON_KEY_BACK_SPACE, Qt::Key_Backspace},
    {&Ui::KeyboardFrame::BUTTON_ENTER, Qt::Key_Enter},
};

bool isLetter(int code)
{
    return code >= Qt::Key_A && code <= Qt::Key_Z;
}

// The codes setEnabled(int, bool) knows.
bool isSwitchable(int code)
{
    return (code >= Qt::Key_0 && code <= Qt::Key_9) || isLetter(code) || code == Qt::Key_Minus
           || code == Qt::Key_Comma || code == Qt::Key_Period || code == Qt::Key_Enter;
}

const QString kImagePrefix = QStringLiteral(":/Keyboard");

}  // namespace

KeyboardFrame::KeyboardFrame(QWidget* parent)
    : QFrame(parent), ui(new Ui::KeyboardFrame), m_clock([] { return QDateTime::currentDateTime(); })
{
    initKeyboardResources();
    ui->setupUi(this);
    ui->BUTTON_KEY_ADD_DATE_TIME->setStyleSheet(imageKeyStyle(kImagePrefix, QStringLiteral("adddatetime")));
    setFont();
    connectKeyCodes(ui, kKeys, this, [this](int code) { inputKey(code); });
    initialize();
}

KeyboardFrame::~KeyboardFrame()
{
    delete ui;
}

void KeyboardFrame::setFont()
{
    const QFont normal = notoSans(24, QFont::Normal);
    for (const auto& key : kKeys)
        (ui->*key.button)->setFont(normal);
    ui->BUTTON_KEY_SPECIAL->setFont(normal);
    ui->BUTTON_KEY_ALPHABET->setFont(normal);
    const QFont heavier = notoSans(24, 63);
    ui->BUTTON_ENTER->setFont(heavier);
    ui->BUTTON_KEY_SPACE->setFont(heavier);
}

void KeyboardFrame::initialize()
{
    KLOG_ENTER;
    m_pTarget = nullptr;
    setMainMode(KEYBOARD_MODE_DEFAULT);
    ui->BUTTON_KEY_PRINT->hide();
    ui->BUTTON_KEY_EJECT->hide();
    on_BUTTON_KEY_SHIFT_L_clicked(false);
    ui->BUTTON_KEY_DOT->show();
    ui->BUTTON_KEY_BAR->show();
    ui->BUTTON_KEY_COMMA->hide();
    ui->BUTTON_KEY_UNDER_BAR->hide();
}

void KeyboardFrame::setObject(QObject* target)
{
    m_pTarget = target;
}

void KeyboardFrame::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
}

void KeyboardFrame::inputKey(int key)
{
    if (!m_pTarget)
        return;
    const Qt::KeyboardModifiers modifiers = ui->BUTTON_KEY_SHIFT_L->isChecked() ? Qt::ShiftModifier : Qt::NoModifier;
    sendKeyPair(m_pTarget, key, modifiers, QString());
}

void KeyboardFrame::setMainMode(KeyboardMode mode)
{
    KLOG_ENTER;
    KLOG_VALUE("mode", mode);
    m_mode = mode;
    setEnterKeyText(QStringLiteral("Enter"));
    QPushButton* dateTime = ui->BUTTON_KEY_ADD_DATE_TIME;
    switch (mode) {
    case KEYBOARD_MODE_DEFAULT:
        ui->BUTTON_KEY_PRINT->show();
        ui->BUTTON_KEY_EJECT->show();
        dateTime->setGeometry(172, 189, 71, 57);
        dateTime->show();
        ui->BUTTON_KEY_BAR->show();
        ui->BUTTON_KEY_SPECIAL->hide();
        ui->BUTTON_KEY_DOT->hide();
        ui->BUTTON_KEY_SLASH->hide();
        break;
    case KEYBOARD_MODE_WIFI_PASSWORD:
        ui->BUTTON_KEY_SPECIAL->show();
        ui->BUTTON_KEY_BAR->show();
        ui->BUTTON_KEY_DOT->show();
        ui->BUTTON_KEY_QUESTION->show();
        ui->FRAME_BUTTONS_SPECIAL->hide();
        ui->BUTTON_KEY_PRINT->hide();
        dateTime->hide();
        ui->BUTTON_KEY_EJECT->hide();
        break;
    case KEYBOARD_MODE_SAVE_FILE:
    case KEYBOARD_MODE_PROTOCOL:
    case KEYBOARD_MODE_BASE_NAME: {
        const bool shortKey = mode == KEYBOARD_MODE_SAVE_FILE;
        dateTime->setStyleSheet(
            imageKeyStyle(kImagePrefix, shortKey ? QStringLiteral("adddatetime") : QStringLiteral("adddatetime_long")));
        if (shortKey)
            dateTime->setGeometry(172, 189, 71, 57);
        else
            dateTime->setGeometry(18, 189, 224, 57);
        dateTime->setEnabled(mode != KEYBOARD_MODE_BASE_NAME);
        dateTime->show();
        ui->BUTTON_KEY_EJECT->setVisible(shortKey);
        ui->BUTTON_KEY_BAR->show();
        ui->FRAME_BUTTONS_SPECIAL->hide();
        ui->BUTTON_KEY_PRINT->hide();
        ui->BUTTON_KEY_SPECIAL->hide();
        ui->BUTTON_KEY_DOT->hide();
        ui->BUTTON_KEY_SLASH->hide();
        ui->BUTTON_KEY_QUESTION->hide();
        ui->BUTTON_KEY_COMMA->hide();
        setEnterKeyText(QStringLiteral("Save"));
        break;
    }
    }
}

void KeyboardFrame::on_BUTTON_KEY_SHIFT_L_clicked(bool checked)
{
    arrangeForShift(checked);
    inputKey(Qt::Key_Shift);
}

void KeyboardFrame::setUpperMode(bool upper)
{
    on_BUTTON_KEY_SHIFT_L_clicked(upper);
}

void KeyboardFrame::arrangeForShift(bool upper)
{
    QPushButton* shown = upper ? ui->BUTTON_KEY_UNDER_BAR : ui->BUTTON_KEY_BAR;
    QPushButton* other = upper ? ui->BUTTON_KEY_BAR : ui->BUTTON_KEY_UNDER_BAR;
    switch (m_mode) {
    case KEYBOARD_MODE_DEFAULT:
        ui->BUTTON_KEY_DOT->setVisible(!upper);
        ui->BUTTON_KEY_COMMA->setVisible(upper);
        shown->show();
        shown->raise();
        other->hide();
        break;
    case KEYBOARD_MODE_WIFI_PASSWORD:
        // Only the keys of the new state are touched: the pair's other key may
        // stay visible beneath the one on top.
        for (QPushButton* key : punctuationKeys(upper)) {
            key->setEnabled(true);
            key->show();
        }
        shown->raise();
        if (upper) {
            ui->BUTTON_KEY_DOT->hide();
            ui->BUTTON_KEY_QUESTION->hide();
        } else {
            ui->BUTTON_KEY_COMMA->hide();
            ui->BUTTON_KEY_SLASH->hide();
        }
        break;
    case KEYBOARD_MODE_SAVE_FILE:
    case KEYBOARD_MODE_PROTOCOL:
        shown->show();
        shown->raise();
        other->hide();
        break;
    case KEYBOARD_MODE_BASE_NAME:
        shown->show();
        shown->raise();
        break;
    }
    for (const auto& key : kKeys) {
        if (isLetter(key.code)) {
            const QChar letter(key.code);
            (ui->*key.button)->setText(upper ? QString(letter) : QString(letter.toLower()));
        }
    }
}

QList<QPushButton*> KeyboardFrame::punctuationKeys(bool upper) const
{
    if (upper)
        return {ui->BUTTON_KEY_UNDER_BAR, ui->BUTTON_KEY_COMMA, ui->BUTTON_KEY_SLASH};
    return {ui->BUTTON_KEY_BAR, ui->BUTTON_KEY_DOT, ui->BUTTON_KEY_QUESTION};
}

void KeyboardFrame::on_BUTTON_KEY_SPECIAL_clicked()
{
    for (QPushButton* key : punctuationKeys(ui->BUTTON_KEY_SHIFT_L->isChecked()))
        key->setEnabled(false);
    ui->FRAME_BUTTONS->hide();
    ui->FRAME_BUTTONS_SPECIAL->show();
    ui->BUTTON_KEY_SHIFT_L->setEnabled(false);
}

void KeyboardFrame::on_BUTTON_KEY_ALPHABET_clicked()
{
    for (QPushButton* key : punctuationKeys(ui->BUTTON_KEY_SHIFT_L->isChecked())) {
        key->setEnabled(true);
        key->show();
    }
    ui->FRAME_BUTTONS->show();
    ui->FRAME_BUTTONS_SPECIAL->hide();
    ui->BUTTON_KEY_SHIFT_L->setEnabled(true);
}

void KeyboardFrame::on_BUTTON_KEY_ADD_DATE_TIME_clicked()
{
    const QString digits = m_clock().toString(QStringLiteral("yyyyMMddhhmmss"));
    KLOG_VALUE("date time", digits);
    // The key codes of the digits are their own characters.
    for (const QChar c : digits)
        inputKey(c.unicode());
}

void KeyboardFrame::on_BUTTON_KEY_EJECT_clicked()
{
    KLOG_ENTER;
    // The monitor reports the stick's removal through its own signal.
    if (theApp.m_pMediaMonitor)
        theApp.m_pMediaMonitor->umount_usb();
}

void KeyboardFrame::setEnterKeyText(QString text)
{
    ui->BUTTON_ENTER->setText(text);
}

void KeyboardFrame::setSpaceKeyPosition(int x, int y)
{
    ui->BUTTON_KEY_SPACE->move(x, y);
}

QPushButton* KeyboardFrame::keyFor(int key) const
{
    for (const auto& entry : kKeys) {
        if (entry.code == key)
            return ui->*entry.button;
    }
    return nullptr;
}

void KeyboardFrame::setEnabled(int key, bool enabled)
{
    if (!isSwitchable(key))
        return;
    if (QPushButton* button = keyFor(key))
        button->setEnabled(enabled);
}

void KeyboardFrame::hideAddDateTimeKey()
{
    ui->BUTTON_KEY_ADD_DATE_TIME->hide();
}
