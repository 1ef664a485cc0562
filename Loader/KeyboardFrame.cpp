#include "KeyboardFrame.h"
#include "ui_KeyboardFrame.h"

#include "LoaderFont.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QKeyEvent>

namespace {

// Every key with the code it sends: the digits, the letters and minus by
// their object names, then Enter and backspace.
struct Key
{
    QString objectName;
    int code;
};

QVector<Key> keys()
{
    QVector<Key> table;
    for (char digit = '0'; digit <= '9'; ++digit)
        table.push_back({QStringLiteral("BUTTON_KEY_") + QLatin1Char(digit), Qt::Key_0 + (digit - '0')});
    for (char letter = 'A'; letter <= 'Z'; ++letter)
        table.push_back({QStringLiteral("BUTTON_KEY_") + QLatin1Char(letter), Qt::Key_A + (letter - 'A')});
    table.push_back({QStringLiteral("BUTTON_KEY_BAR"), Qt::Key_Minus});
    table.push_back({QStringLiteral("BUTTON_ENTER"), Qt::Key_Enter});
    table.push_back({QStringLiteral("BUTTON_KEY_BACK_SPACE"), Qt::Key_Backspace});
    return table;
}


}  // namespace

KeyboardFrame::KeyboardFrame(QWidget* parent)
    : QFrame(parent)
    , ui(new Ui::KeyboardFrame)
{
    ui->setupUi(this);
    for (const Key& key : keys()) {
        auto* button = findChild<QPushButton*>(key.objectName);
        const int code = key.code;
        connect(button, &QPushButton::clicked, this, [this, code] {
            KLOG << "key" << code;
            inputKey(code);
        });
    }
    setFont();
    initialize();
}

KeyboardFrame::~KeyboardFrame()
{
    delete ui;
}

void KeyboardFrame::setFont()
{
    for (const Key& key : keys()) {
        if (key.code != Qt::Key_Enter && key.code != Qt::Key_Backspace)
            findChild<QPushButton*>(key.objectName)->setFont(loader::notoSans(24));
    }
    ui->BUTTON_ENTER->setFont(loader::notoSans(24, QFont::DemiBold));
}

void KeyboardFrame::initialize()
{
    KLOG_ENTER;
    m_pTarget = nullptr;
    setMainMode(KEYBOARD_MODE_DEFAULT);
}

void KeyboardFrame::setObject(QObject* target)
{
    KLOG_ENTER;
    m_pTarget = target;
}

void KeyboardFrame::setMainMode(KeyboardMode mode)
{
    m_eMode = mode;
    const bool save = mode == KEYBOARD_MODE_SAVE_FILE || mode == KEYBOARD_MODE_PROTOCOL;
    ui->BUTTON_ENTER->setText(save ? QStringLiteral("Save") : QStringLiteral("Enter"));
    if (save || mode == KEYBOARD_MODE_DEFAULT) {
        ui->BUTTON_ENTER->raise();
        ui->BUTTON_KEY_BACK_SPACE->raise();
    }
}

void KeyboardFrame::setEnterKeyText(const QString& text)
{
    KLOG_ENTER;
    ui->BUTTON_ENTER->setText(text);
}

QPushButton* KeyboardFrame::keyFor(int key) const
{
    for (const Key& entry : keys()) {
        if (entry.code == key && key != Qt::Key_Backspace)
            return findChild<QPushButton*>(entry.objectName);
    }
    return nullptr;
}

void KeyboardFrame::setEnabled(int key, bool enabled)
{
    KLOG_ENTER;
    if (QPushButton* button = keyFor(key))
        button->setEnabled(enabled);
}

void KeyboardFrame::inputKey(int key)
{
    KLOG_ENTER;
    if (!m_pTarget)
        return;
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent event(type, key, Qt::NoModifier, QString());
        QCoreApplication::sendEvent(m_pTarget, &event);
    }
}
