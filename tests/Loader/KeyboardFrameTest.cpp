#include "KeyboardFrame.h"

#include "KeyEventRecorder.h"

#include <gtest/gtest.h>

#include <QPushButton>

namespace {

// The keys by rows as the user sees them, left to right.
const char* const kRows[] = {"1234567890", "QWERTYUIOP", "ASDFGHJKL", "-ZXCVBNM"};
const int kRowY[] = {1, 63, 126, 189};

// What a key must send, from what it shows.
int expectedCode(const QPushButton& key)
{
    if (key.text() == "Enter")
        return Qt::Key_Enter;
    if (key.text() == "-")
        return Qt::Key_Minus;
    if (key.text().isEmpty())
        return Qt::Key_Backspace;
    return key.text().at(0).unicode();
}

}  // namespace

TEST(LauncherKeyboard, EachKeySendsOnePressAndOneReleaseOfItsCode)
{
    KeyboardFrame keyboard;
    KeyEventRecorder target;
    keyboard.setObject(&target);
    const QList<QPushButton*> keys = keyboard.findChildren<QPushButton*>();
    ASSERT_EQ(keys.size(), 39);
    for (QPushButton* key : keys) {
        SCOPED_TRACE(key->objectName().toStdString());
        target.keys.clear();
        key->click();
        ASSERT_EQ(target.keys.size(), 2);
        EXPECT_EQ(target.keys[0].type, QEvent::KeyPress);
        EXPECT_EQ(target.keys[1].type, QEvent::KeyRelease);
        for (const KeyEventRecorder::Key& event : target.keys) {
            EXPECT_EQ(event.key, expectedCode(*key));
            EXPECT_EQ(event.modifiers, Qt::NoModifier);
            EXPECT_EQ(event.text, QString());
        }
        EXPECT_EQ(key->focusPolicy(), Qt::NoFocus);
    }

    keyboard.initialize();  // no target again
    target.keys.clear();
    keys.front()->click();
    EXPECT_TRUE(target.keys.isEmpty());
}

TEST(LauncherKeyboard, KeysLieOnTheGrid)
{
    KeyboardFrame keyboard;
    EXPECT_EQ(keyboard.size(), QSize(800, 254));
    for (int row = 0; row < 4; ++row) {
        const QString labels = QString::fromLatin1(kRows[row]);
        for (int column = 0; column < labels.size(); ++column) {
            QPushButton* key = nullptr;
            for (QPushButton* candidate : keyboard.findChildren<QPushButton*>()) {
                if (candidate->text() == labels.mid(column, 1))
                    key = candidate;
            }
            ASSERT_NE(key, nullptr) << labels.mid(column, 1).toStdString();
            EXPECT_EQ(key->mapTo(&keyboard, QPoint(0, 0)), QPoint(18 + 77 * column, kRowY[row])) << key->text().toStdString();
            EXPECT_EQ(key->size(), QSize(71, 57));
        }
    }
    auto* enter = keyboard.findChild<QPushButton*>("BUTTON_ENTER");
    EXPECT_EQ(enter->geometry(), QRect(634, 190, 148, 57));
    auto* backspace = keyboard.findChild<QPushButton*>("BUTTON_KEY_BACK_SPACE");
    EXPECT_EQ(backspace->geometry(), QRect(711, 126, 71, 57));
}

TEST(LauncherKeyboard, ModeEnterTextAndEnabling)
{
    KeyboardFrame keyboard;
    auto* enter = keyboard.findChild<QPushButton*>("BUTTON_ENTER");
    const struct
    {
        KeyboardMode mode;
        QString text;
    } modes[] = {
        {KEYBOARD_MODE_SAVE_FILE, "Save"}, {KEYBOARD_MODE_PROTOCOL, "Save"}, {KEYBOARD_MODE_DEFAULT, "Enter"},
        {KEYBOARD_MODE_WIFI_PASSWORD, "Enter"}, {KEYBOARD_MODE_BASE_NAME, "Enter"},
    };
    for (const auto& m : modes) {
        keyboard.setMainMode(m.mode);
        EXPECT_EQ(enter->text(), m.text) << m.mode;
        EXPECT_EQ(keyboard.mainMode(), m.mode);
    }
    keyboard.initialize();
    EXPECT_EQ(keyboard.mainMode(), KEYBOARD_MODE_DEFAULT);

    keyboard.setEnabled(Qt::Key_A, false);
    keyboard.setEnabled(Qt::Key_Enter, false);
    keyboard.setEnabled(Qt::Key_Backspace, false);
    keyboard.setEnabled(Qt::Key_Comma, false);
    EXPECT_FALSE(keyboard.findChild<QPushButton*>("BUTTON_KEY_A")->isEnabled());
    EXPECT_FALSE(enter->isEnabled());
    EXPECT_TRUE(keyboard.findChild<QPushButton*>("BUTTON_KEY_BACK_SPACE")->isEnabled());
    int disabled = 0;
    for (QPushButton* key : keyboard.findChildren<QPushButton*>())
        disabled += key->isEnabled() ? 0 : 1;
    EXPECT_EQ(disabled, 2);
}
