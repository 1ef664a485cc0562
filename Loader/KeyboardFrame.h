#pragma once

#include <QFrame>
#include <QString>

namespace Ui {
class KeyboardFrame;
}
class QPushButton;

// The use a keyboard is set up for (the application's values); the launcher
// only ever uses the default.
enum KeyboardMode {
    KEYBOARD_MODE_DEFAULT = 0,
    KEYBOARD_MODE_WIFI_PASSWORD = 1,
    KEYBOARD_MODE_SAVE_FILE = 2,  // Enter reads "Save"
    KEYBOARD_MODE_PROTOCOL = 3,   // Enter reads "Save"
    KEYBOARD_MODE_BASE_NAME = 4,
};

// The launcher's on-screen keyboard (800×254): digits, capital letters,
// minus, backspace and Enter. It never edits text: each touch becomes one key
// press and one release with the key's code, no modifier and no text,
// delivered synchronously to the target, which decides what the key means.
// Enter sends Qt::Key_Enter, never Qt::Key_Return.
class KeyboardFrame : public QFrame
{
    Q_OBJECT

public:
    explicit KeyboardFrame(QWidget* parent = nullptr);
    ~KeyboardFrame() override;

    // No target, default mode.
    void initialize();
    // The object that receives the key events; not owned. Null: nothing is sent.
    void setObject(QObject* target);
    // Stores the mode; Enter reads "Save" in the save modes, else "Enter".
    void setMainMode(KeyboardMode mode);
    KeyboardMode mainMode() const { return m_eMode; }
    // This keyboard has no date-and-time key: nothing to hide.
    void hideAddDateTimeKey() {}
    void setEnterKeyText(const QString& text);
    // Enables the key that sends `key` (digits, letters, minus, Enter); other
    // codes, the backspace key's included, change nothing.
    void setEnabled(int key, bool enabled);
    using QFrame::setEnabled;
    // One press and one release of `key` to the target.
    void inputKey(int key);

private:
    void setFont();
    QPushButton* keyFor(int key) const;

    Ui::KeyboardFrame* ui;
    QObject* m_pTarget = nullptr;
    KeyboardMode m_eMode = KEYBOARD_MODE_DEFAULT;
};
