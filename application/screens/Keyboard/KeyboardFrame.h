#pragma once

#include <QDateTime>
#include <QFrame>

#include <functional>

namespace Ui {
class KeyboardFrame;
}
class QPushButton;

// The use a keyboard is set up for; it decides the extra keys and the Enter caption.
enum KeyboardMode {
    KEYBOARD_MODE_DEFAULT = 0,       // set during construction
    KEYBOARD_MODE_WIFI_PASSWORD = 1,  // "Enter"; punctuation page
    KEYBOARD_MODE_SAVE_FILE = 2,      // "Save"; eject and short date-time keys
    KEYBOARD_MODE_PROTOCOL = 3,       // "Save"; long date-time key
    KEYBOARD_MODE_BASE_NAME = 4,      // "Save"; long date-time key, disabled
};

// The on-screen QWERTY keyboard (800×320). It never edits text: every key touch
// becomes a key press and release carrying a Qt key code, delivered synchronously
// to the target object, whose own key handler maps it to a character. Letters send
// the upper-case code; Shift is a latch and adds Qt::ShiftModifier while it is on.
class KeyboardFrame : public QFrame
{
    Q_OBJECT

public:
    explicit KeyboardFrame(QWidget* parent = nullptr);
    ~KeyboardFrame() override;

    void initialize();
    // The object that receives the key events; not owned. Null: nothing is sent.
    void setObject(QObject* target);
    void setMainMode(KeyboardMode mode);
    void inputKey(int key);
    // Arranges keys and captions for `upper` without moving the shift latch.
    void setUpperMode(bool upper);
    void setEnterKeyText(QString text);
    void setSpaceKeyPosition(int x, int y);
    // Enables the key that sends `key` (digits, letters, '-', ',', '.', Enter);
    // other codes change nothing.
    void setEnabled(int key, bool enabled);
    using QFrame::setEnabled;
    void hideAddDateTimeKey();

    // The clock the date-and-time key reads; local time unless replaced (tests).
    void setClock(std::function<QDateTime()> clock);

private slots:
    void on_BUTTON_KEY_SHIFT_L_clicked(bool checked);
    void on_BUTTON_KEY_SPECIAL_clicked();
    void on_BUTTON_KEY_ALPHABET_clicked();
    void on_BUTTON_KEY_ADD_DATE_TIME_clicked();
    void on_BUTTON_KEY_EJECT_clicked();

private:
    void setFont();
    void arrangeForShift(bool upper);
    QPushButton* keyFor(int key) const;
    // The three frame punctuation keys that share places for the shift state.
    QList<QPushButton*> punctuationKeys(bool upper) const;

    Ui::KeyboardFrame* ui;
    QObject* m_pTarget = nullptr;
    KeyboardMode m_mode = KEYBOARD_MODE_DEFAULT;
    std::function<QDateTime()> m_clock;
};
