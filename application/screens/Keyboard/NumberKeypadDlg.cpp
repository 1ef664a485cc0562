#include "Keyboard/NumberKeypadDlg.h"

#include "Keyboard/KeyboardLook.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "ui_NumberKeypadDlg.h"

#include "platform/Log.h"

#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QValidator>

#include <algorithm>

namespace {

// Digits only, at most `top`. Unlike QIntValidator it refuses a value above the
// top while it is typed ("256" in an octet field), not only when it is used.
class BoundedIntValidator : public QValidator
{
public:
    BoundedIntValidator(int top, QObject* parent) : QValidator(parent), m_top(top) {}

    State validate(QString& input, int&) const override
    {
        if (input.isEmpty())
            return Intermediate;
        for (const QChar c : input) {
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return Invalid;
        }
        bool ok = false;
        const qlonglong value = input.toLongLong(&ok);
        return ok && value <= m_top ? Acceptable : Invalid;
    }

private:
    int m_top;
};

const KeyCode<Ui::NumberKeypadDlg> kKeys[] = {
    {&Ui::NumberKeypadDlg::BUTTON_KEY_0, Qt::Key_0},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_1, Qt::Key_1},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_2, Qt::Key_2},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_3, Qt::Key_3},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_4, Qt::Key_4},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_5, Qt::Key_5},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_6, Qt::Key_6},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_7, Qt::Key_7},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_8, Qt::Key_8},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_9, Qt::Key_9},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_s0, Qt::Key_0},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_s1, Qt::Key_1},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_s2, Qt::Key_2},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_s3, Qt::Key_3},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_s4, Qt::Key_4},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_s5, Qt::Key_5},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_s6, Qt::Key_6},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_s7, Qt::Key_7},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_s8, Qt::Key_8},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_s9, Qt::Key_9},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_dot, Qt::Key_Period},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_DELETE, Qt::Key_Backspace},
    {&Ui::NumberKeypadDlg::BUTTON_KEY_DELETE2, Qt::Key_Backspace},
};

}  // namespace

NumberKeypadDlg::NumberKeypadDlg(QWidget* parent) : QDialog(parent), ui(new Ui::NumberKeypadDlg)
{
    initKeyboardResources();
    ui->setupUi(this);
    setFont();
    setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    setGeometry(156, 90, 500, 300);
    connectKeyCodes(ui, kKeys, this, [this](int code) { inputKey(code); });

    ui->EDIT_NORMAL->setMaxLength(5);
    auto* octet = new BoundedIntValidator(255, this);
    for (QLineEdit* field : allOctetFields()) {
        field->setMaxLength(3);
        field->setValidator(octet);
        field->installEventFilter(this);
    }
    ui->EDIT_NORMAL->setValidator(new BoundedIntValidator(999999, this));
    ui->EDIT_NORMAL->installEventFilter(this);

    set_mode(NUMBER_KEYPAD_NUMBER);
}

NumberKeypadDlg::~NumberKeypadDlg()
{
    delete ui;
}

void NumberKeypadDlg::setFont()
{
    const QFont field = notoSans(28, 57);
    ui->EDIT_NORMAL->setFont(field);
    ui->EDIT_DILUTION->setFont(field);
    for (QLineEdit* edit : allOctetFields())
        edit->setFont(field);
    const QFont key = notoSans(24, QFont::Normal);
    for (const auto& entry : kKeys)
        (ui->*entry.button)->setFont(key);
    ui->LABEL_TITLE->setFont(key);
    const QFont apply = notoSans(24, 63);
    ui->BUTTON_KEY_APPLY->setFont(apply);
    ui->BUTTON_KEY_APPLY2->setFont(apply);
}

QList<QLineEdit*> NumberKeypadDlg::octetFields(int mode) const
{
    switch (mode) {
    case NUMBER_KEYPAD_IP_ADDRESS:
        return {ui->EDIT_IP_STATIC_1, ui->EDIT_IP_STATIC_2, ui->EDIT_IP_STATIC_3, ui->EDIT_IP_STATIC_4};
    case NUMBER_KEYPAD_SUBNET_MASK:
        return {ui->EDIT_SUBNET_MASK_1, ui->EDIT_SUBNET_MASK_2, ui->EDIT_SUBNET_MASK_3, ui->EDIT_SUBNET_MASK_4};
    case NUMBER_KEYPAD_DEFAULT_GATEWAY:
        return {ui->EDIT_GATEWAY_1, ui->EDIT_GATEWAY_2, ui->EDIT_GATEWAY_3, ui->EDIT_GATEWAY_4};
    default:
        return {};
    }
}

QList<QLineEdit*> NumberKeypadDlg::allOctetFields() const
{
    return octetFields(NUMBER_KEYPAD_IP_ADDRESS) + octetFields(NUMBER_KEYPAD_SUBNET_MASK)
           + octetFields(NUMBER_KEYPAD_DEFAULT_GATEWAY);
}

void NumberKeypadDlg::set_mode(eNumberKeyPadMode mode)
{
    KLOG_ENTER;
    KLOG_VALUE("mode", mode);
    ui->FRAME_BUTTON_KEY_SMALL->hide();
    ui->FRAME_BUTTON_KEY->raise();
    ui->FRAME_BUTTON_KEY->show();
    for (QFrame* frame : {ui->FRAME_NORMAL, ui->FRAME_IP_ADDRESS, ui->FRAME_SUBNET_MASK, ui->FRAME_DEFAULT_GATEWAY,
                          ui->FRAME_DILUTION})
        frame->hide();

    m_mode = mode;
    QFrame* shown = nullptr;
    QString title;
    switch (mode) {
    case NUMBER_KEYPAD_NUMBER:
        m_pCurrentEdit = ui->EDIT_NORMAL;
        shown = ui->FRAME_NORMAL;
        break;
    case NUMBER_KEYPAD_IP_ADDRESS:
        m_pCurrentEdit = ui->EDIT_IP_STATIC_1;
        shown = ui->FRAME_IP_ADDRESS;
        title = QStringLiteral("IP address");
        break;
    case NUMBER_KEYPAD_SUBNET_MASK:
        m_pCurrentEdit = ui->EDIT_SUBNET_MASK_1;
        shown = ui->FRAME_SUBNET_MASK;
        title = QStringLiteral("Subnet mask");
        break;
    case NUMBER_KEYPAD_DEFAULT_GATEWAY:
        m_pCurrentEdit = ui->EDIT_GATEWAY_1;
        shown = ui->FRAME_DEFAULT_GATEWAY;
        title = QStringLiteral("Default gateway");
        break;
    case NUMBER_KEYPAD_SERIAL_NUMBER:
        m_pCurrentEdit = ui->EDIT_NORMAL;
        shown = ui->FRAME_NORMAL;
        title = QStringLiteral("Serial number");
        break;
    case NUMBER_KEYPAD_DILUTION:
        m_pCurrentEdit = ui->EDIT_DILUTION;
        shown = ui->FRAME_DILUTION;
        title = QStringLiteral("Diluation");
        ui->FRAME_BUTTON_KEY_SMALL->raise();
        ui->FRAME_BUTTON_KEY_SMALL->show();
        ui->FRAME_BUTTON_KEY->hide();
        break;
    }
    if (shown) {
        ui->LABEL_TITLE->setText(title);
        shown->show();
        activateWindow();
    }
    updateApplyKeys();
}

void NumberKeypadDlg::set_range_value(int max, int min, int maxLength)
{
    m_nMax = max;
    m_nMin = min;
    if (m_pCurrentEdit)
        m_pCurrentEdit->setMaxLength(maxLength);
    updateApplyKeys();
}

void NumberKeypadDlg::set_max_diution(float maxDilution, int maxLength)
{
    m_fMaxDilution = maxDilution;
    if (m_pCurrentEdit)
        m_pCurrentEdit->setMaxLength(maxLength);
    updateApplyKeys();
}

void NumberKeypadDlg::set_value(QString value)
{
    KLOG_ENTER;
    KLOG_VALUE("value", value);
    switch (m_mode) {
    case NUMBER_KEYPAD_NUMBER:
        ui->EDIT_NORMAL->setText(value);
        break;
    case NUMBER_KEYPAD_IP_ADDRESS:
    case NUMBER_KEYPAD_SUBNET_MASK:
    case NUMBER_KEYPAD_DEFAULT_GATEWAY: {
        if (value.isEmpty()) {
            value = m_mode == NUMBER_KEYPAD_IP_ADDRESS      ? QStringLiteral("192.168.10.10")
                    : m_mode == NUMBER_KEYPAD_SUBNET_MASK ? QStringLiteral("255.255.255.0")
                                                          : QStringLiteral("192.168.10.254");
        }
        const QStringList parts = value.split(QLatin1Char('.'));
        const QList<QLineEdit*> fields = octetFields(m_mode);
        for (int i = 0; i < fields.size(); ++i)
            fields[i]->setText(i < parts.size() ? parts[i] : QString());
        break;
    }
    case NUMBER_KEYPAD_DILUTION:
        ui->EDIT_DILUTION->setText(value);
        break;
    case NUMBER_KEYPAD_SERIAL_NUMBER:
        break;
    }
}

void NumberKeypadDlg::inputKey(int key)
{
    if (!m_pCurrentEdit)
        return;
    const QString text = QKeySequence(key).toString(QKeySequence::PortableText);
    sendKeyPair(m_pCurrentEdit, key, Qt::NoModifier, text);
}

bool NumberKeypadDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Plus || key == Qt::Key_Comma)
            return true;
    } else if (event->type() == QEvent::MouseButtonPress) {
        // Only the fields the constructor registered come here.
        if (auto* field = qobject_cast<QLineEdit*>(watched)) {
            m_pCurrentEdit = field;
            activateWindow();
        }
    }
    return QDialog::eventFilter(watched, event);
}

void NumberKeypadDlg::on_EDIT_NORMAL_textChanged(const QString&)
{
    updateApplyKeys();
}

void NumberKeypadDlg::on_EDIT_DILUTION_textChanged(const QString&)
{
    updateApplyKeys();
}

bool NumberKeypadDlg::takesEntry() const
{
    bool ok = false;
    switch (m_mode) {
    case NUMBER_KEYPAD_NUMBER: {
        const int value = ui->EDIT_NORMAL->text().toInt(&ok);
        return ok && value >= std::max(m_nMin, 1) && value <= m_nMax;
    }
    case NUMBER_KEYPAD_DILUTION: {
        const float dilution = ui->EDIT_DILUTION->text().toFloat(&ok);
        return ok && dilution >= 1.0f && dilution <= m_fMaxDilution;
    }
    default:
        return true;  // addresses and serial numbers are checked by their callers
    }
}

void NumberKeypadDlg::updateApplyKeys()
{
    const bool takes = takesEntry();
    ui->BUTTON_KEY_APPLY->setEnabled(takes);
    ui->BUTTON_KEY_APPLY2->setEnabled(takes);
}

void NumberKeypadDlg::slot_apply()
{
    KLOG_ENTER;
    if (!takesEntry())
        return;  // the keypad stays open with its entry
    QString text;
    switch (m_mode) {
    case NUMBER_KEYPAD_NUMBER:
    case NUMBER_KEYPAD_SERIAL_NUMBER:
        text = ui->EDIT_NORMAL->text();
        break;
    case NUMBER_KEYPAD_IP_ADDRESS:
    case NUMBER_KEYPAD_SUBNET_MASK:
    case NUMBER_KEYPAD_DEFAULT_GATEWAY: {
        const QList<QLineEdit*> fields = octetFields(m_mode);
        text = QStringLiteral("%1.%2.%3.%4")
                   .arg(fields[0]->text(), fields[1]->text(), fields[2]->text(), fields[3]->text());
        break;
    }
    case NUMBER_KEYPAD_DILUTION:
        text = ui->EDIT_DILUTION->text();
        break;
    default:
        accept();
        return;
    }
    KLOG_VALUE("value", text);
    emit signal_set_value(text);
    accept();
}

void NumberKeypadDlg::on_BUTTON_X_clicked()
{
    reject();
}

void NumberKeypadDlg::on_BUTTON_KEY_APPLY_clicked()
{
    slot_apply();
}

void NumberKeypadDlg::on_BUTTON_KEY_APPLY2_clicked()
{
    slot_apply();
}

void NumberKeypadDlg::on_NumberKeypadDlg_finished(int)
{
    if (QLabel* overlay = theApp.get_background_ptr())
        overlay->hide();
}
