#include "Keyboard/KeyboardFrame.h"

#include "MediaMonitor/MediaMonitor.h"
#include "KovaCore/KovaCoreApp.h"
#include "KeyEventRecorder.h"
#include "TempRoot.h"
#include "UsbSticks.h"

#include <gtest/gtest.h>

#include <QFrame>
#include <QPushButton>

#include <memory>

namespace {

class KeyboardFrameTest : public ::testing::Test
{
protected:
    KeyboardFrameTest() { keyboard.setObject(&target); }

    QPushButton* key(const char* name) const
    {
        auto* button = keyboard.findChild<QPushButton*>(QString::fromLatin1(name));
        EXPECT_NE(button, nullptr) << name;
        return button;
    }
    QFrame* page(const char* name) const { return keyboard.findChild<QFrame*>(QString::fromLatin1(name)); }
    bool shown(const char* name) const { return !key(name)->isHidden(); }

    KeyboardFrame keyboard;
    KeyEventRecorder target;
};

TEST_F(KeyboardFrameTest, EachKeySendsPressThenReleaseOfItsCodeWithoutText)
{
    keyboard.setMainMode(KEYBOARD_MODE_WIFI_PASSWORD);
    const struct
    {
        const char* key;
        int code;
    } cases[] = {
        {"BUTTON_KEY_1", 0x31},          {"BUTTON_KEY_0", 0x30},
        {"BUTTON_KEY_Q", 0x51},          {"BUTTON_KEY_M", 0x4D},
        {"BUTTON_KEY_BAR", 0x2D},        {"BUTTON_KEY_UNDER_BAR", 0x5F},
        {"BUTTON_KEY_DOT", 0x2E},        {"BUTTON_KEY_COMMA", 0x2C},
        {"BUTTON_KEY_QUESTION", 0x3F},   {"BUTTON_KEY_SLASH", 0x2F},
        {"BUTTON_KEY_TILDE", 0x7E},      {"BUTTON_KEY_AND", 0x26},
        {"BUTTON_KEY_GRAVE_ACCENT", 0x60}, {"BUTTON_KEY_DOUBLE", 0x22},
        {"BUTTON_KEY_BACK_SLASH", 0x5C}, {"BUTTON_KEY_PIPE", 0x7C},
        {"BUTTON_KEY_SPACE", 0x20},      {"BUTTON_KEY_BACK_SPACE", Qt::Key_Backspace},
        {"BUTTON_ENTER", Qt::Key_Enter},
    };
    for (const auto& c : cases) {
        target.keys.clear();
        key(c.key)->click();
        ASSERT_EQ(target.keys.size(), 2) << c.key;
        EXPECT_EQ(target.keys[0].type, QEvent::KeyPress) << c.key;
        EXPECT_EQ(target.keys[1].type, QEvent::KeyRelease) << c.key;
        for (const auto& sent : target.keys) {
            EXPECT_EQ(sent.key, c.code) << c.key;
            EXPECT_EQ(sent.modifiers, Qt::NoModifier) << c.key;
            EXPECT_TRUE(sent.text.isEmpty()) << c.key;
        }
    }
}

TEST_F(KeyboardFrameTest, ShiftIsALatchThatAddsTheModifierAndUpperCaseCaptions)
{
    keyboard.setMainMode(KEYBOARD_MODE_BASE_NAME);
    EXPECT_EQ(key("BUTTON_KEY_A")->text(), "a");

    key("BUTTON_KEY_SHIFT_L")->click();
    // (QKeyEvent reports a Shift key event's own modifier flipped, so only its code is checked.)
    ASSERT_EQ(target.pressedCodes(), QVector<int>{Qt::Key_Shift});
    EXPECT_EQ(key("BUTTON_KEY_A")->text(), "A");

    target.keys.clear();
    key("BUTTON_KEY_A")->click();
    key("BUTTON_KEY_7")->click();
    key("BUTTON_KEY_B")->click();
    EXPECT_EQ(target.pressedCodes(), (QVector<int>{0x41, 0x37, 0x42}));
    for (const auto& sent : target.keys)
        EXPECT_EQ(sent.modifiers, Qt::ShiftModifier);

    key("BUTTON_KEY_SHIFT_L")->click();
    target.keys.clear();
    key("BUTTON_KEY_A")->click();
    EXPECT_EQ(target.keys[0].modifiers, Qt::NoModifier);
    EXPECT_EQ(key("BUTTON_KEY_A")->text(), "a");
}

TEST_F(KeyboardFrameTest, WithoutATargetNothingIsSent)
{
    keyboard.setObject(nullptr);
    key("BUTTON_KEY_A")->click();
    key("BUTTON_KEY_SHIFT_L")->click();
    EXPECT_TRUE(target.keys.isEmpty());
    EXPECT_EQ(key("BUTTON_KEY_A")->text(), "A");
}

TEST_F(KeyboardFrameTest, DateTimeKeySendsFourteenDigitsOfTheClock)
{
    keyboard.setMainMode(KEYBOARD_MODE_PROTOCOL);
    keyboard.setClock([] { return QDateTime(QDate(2025, 2, 3), QTime(14, 5, 9)); });
    key("BUTTON_KEY_SHIFT_L")->click();
    target.keys.clear();

    key("BUTTON_KEY_ADD_DATE_TIME")->click();

    QVector<int> expected;
    for (const char c : QByteArray("20250203140509"))
        expected << c;
    EXPECT_EQ(target.pressedCodes(), expected);
    EXPECT_EQ(target.keys.size(), 28);
    for (const auto& sent : target.keys)
        EXPECT_EQ(sent.modifiers, Qt::ShiftModifier);
}

TEST_F(KeyboardFrameTest, BaseNameModeShowsTheDateTimeKeyDisabled)
{
    keyboard.setMainMode(KEYBOARD_MODE_BASE_NAME);
    keyboard.setClock([] { return QDateTime(QDate(2025, 2, 3), QTime(14, 5, 9)); });
    EXPECT_TRUE(shown("BUTTON_KEY_ADD_DATE_TIME"));
    EXPECT_FALSE(key("BUTTON_KEY_ADD_DATE_TIME")->isEnabled());
    key("BUTTON_KEY_ADD_DATE_TIME")->click();
    EXPECT_TRUE(target.keys.isEmpty());
}

TEST_F(KeyboardFrameTest, ModesShowTheirKeys)
{
    const QRect shortKey(172, 189, 71, 57);
    const QRect longKey(18, 189, 224, 57);
    const struct
    {
        int mode;
        bool special, eject, print, dateTime, dot, question, slash, comma, bar, specialPage;
        QRect dateTimeGeometry;
        const char* enter;
    } cases[] = {
        // mode  special eject  print  dateT  dot    quest  slash  comma  bar   page
        {0, false, true, true, true, false, true, false, false, true, true, shortKey, "Enter"},
        {1, true, false, false, false, true, true, false, false, true, false, shortKey, "Enter"},
        {2, false, true, false, true, false, false, false, false, true, false, shortKey, "Save"},
        {3, false, false, false, true, false, false, false, false, true, false, longKey, "Save"},
        {4, false, false, false, true, false, false, false, false, true, false, longKey, "Save"},
    };
    for (const auto& c : cases) {
        KeyboardFrame fresh;
        auto shownIn = [&fresh](const char* name) {
            return !fresh.findChild<QWidget*>(QString::fromLatin1(name))->isHidden();
        };
        fresh.setMainMode(static_cast<KeyboardMode>(c.mode));
        SCOPED_TRACE(c.mode);
        EXPECT_EQ(shownIn("BUTTON_KEY_SPECIAL"), c.special);
        EXPECT_EQ(shownIn("BUTTON_KEY_EJECT"), c.eject);
        EXPECT_EQ(shownIn("BUTTON_KEY_PRINT"), c.print);
        EXPECT_EQ(shownIn("BUTTON_KEY_ADD_DATE_TIME"), c.dateTime);
        EXPECT_EQ(shownIn("BUTTON_KEY_DOT"), c.dot);
        EXPECT_EQ(shownIn("BUTTON_KEY_QUESTION"), c.question);
        EXPECT_EQ(shownIn("BUTTON_KEY_SLASH"), c.slash);
        EXPECT_EQ(shownIn("BUTTON_KEY_COMMA"), c.comma);
        EXPECT_EQ(shownIn("BUTTON_KEY_BAR"), c.bar);
        EXPECT_EQ(shownIn("FRAME_BUTTONS_SPECIAL"), c.specialPage);
        EXPECT_TRUE(shownIn("FRAME_BUTTONS"));
        EXPECT_EQ(fresh.findChild<QWidget*>("BUTTON_KEY_ADD_DATE_TIME")->geometry(), c.dateTimeGeometry);
        EXPECT_EQ(fresh.findChild<QPushButton*>("BUTTON_ENTER")->text(), c.enter);
    }
}

TEST_F(KeyboardFrameTest, AfterConstructionPrintAndEjectAreHidden)
{
    EXPECT_FALSE(shown("BUTTON_KEY_PRINT"));
    EXPECT_FALSE(shown("BUTTON_KEY_EJECT"));
    EXPECT_TRUE(shown("BUTTON_KEY_DOT"));
    EXPECT_FALSE(shown("BUTTON_KEY_COMMA"));
    EXPECT_FALSE(key("BUTTON_KEY_SHIFT_L")->isChecked());
}

TEST_F(KeyboardFrameTest, ShiftSwapsThePunctuationOfThePasswordKeyboard)
{
    keyboard.setMainMode(KEYBOARD_MODE_WIFI_PASSWORD);
    key("BUTTON_KEY_SHIFT_L")->click();
    EXPECT_FALSE(shown("BUTTON_KEY_DOT"));
    EXPECT_FALSE(shown("BUTTON_KEY_QUESTION"));
    EXPECT_TRUE(shown("BUTTON_KEY_COMMA"));
    EXPECT_TRUE(shown("BUTTON_KEY_SLASH"));
    EXPECT_TRUE(shown("BUTTON_KEY_UNDER_BAR"));

    key("BUTTON_KEY_SHIFT_L")->click();
    EXPECT_TRUE(shown("BUTTON_KEY_DOT"));
    EXPECT_TRUE(shown("BUTTON_KEY_QUESTION"));
    EXPECT_FALSE(shown("BUTTON_KEY_COMMA"));
    EXPECT_FALSE(shown("BUTTON_KEY_SLASH"));
}

TEST_F(KeyboardFrameTest, SpecialPageDisablesShiftAndItsPunctuationUntilAbc)
{
    keyboard.setMainMode(KEYBOARD_MODE_WIFI_PASSWORD);
    key("BUTTON_KEY_SPECIAL")->click();
    EXPECT_TRUE(page("FRAME_BUTTONS")->isHidden());
    EXPECT_FALSE(page("FRAME_BUTTONS_SPECIAL")->isHidden());
    for (const char* name : {"BUTTON_KEY_SHIFT_L", "BUTTON_KEY_BAR", "BUTTON_KEY_DOT", "BUTTON_KEY_QUESTION"}) {
        EXPECT_TRUE(shown(name)) << name;
        EXPECT_FALSE(key(name)->isEnabled()) << name;
    }
    key("BUTTON_KEY_PLUS")->click();
    EXPECT_EQ(target.pressedCodes(), QVector<int>{0x2B});

    key("BUTTON_KEY_ALPHABET")->click();
    EXPECT_FALSE(page("FRAME_BUTTONS")->isHidden());
    EXPECT_TRUE(page("FRAME_BUTTONS_SPECIAL")->isHidden());
    for (const char* name : {"BUTTON_KEY_SHIFT_L", "BUTTON_KEY_BAR", "BUTTON_KEY_DOT", "BUTTON_KEY_QUESTION"})
        EXPECT_TRUE(key(name)->isEnabled()) << name;
}

TEST_F(KeyboardFrameTest, SetEnabledKnowsOnlyItsKeys)
{
    keyboard.setEnabled(Qt::Key_A, false);
    keyboard.setEnabled(Qt::Key_Enter, false);
    keyboard.setEnabled(0x20, false);
    keyboard.setEnabled(0x5F, false);
    EXPECT_FALSE(key("BUTTON_KEY_A")->isEnabled());
    EXPECT_FALSE(key("BUTTON_ENTER")->isEnabled());
    EXPECT_TRUE(key("BUTTON_KEY_SPACE")->isEnabled());
    EXPECT_TRUE(key("BUTTON_KEY_UNDER_BAR")->isEnabled());
    EXPECT_TRUE(keyboard.isEnabled());
}

// What an embedding dialog may set: each changes its one key and nothing sent.
TEST_F(KeyboardFrameTest, TheEmbeddingDialogsSettersChangeOnlyTheirKey)
{
    keyboard.setMainMode(KEYBOARD_MODE_PROTOCOL);
    ASSERT_TRUE(shown("BUTTON_KEY_ADD_DATE_TIME"));
    keyboard.hideAddDateTimeKey();
    EXPECT_FALSE(shown("BUTTON_KEY_ADD_DATE_TIME"));

    keyboard.setEnterKeyText(QStringLiteral("Done"));
    EXPECT_EQ(key("BUTTON_ENTER")->text(), "Done");

    const QSize spaceSize = key("BUTTON_KEY_SPACE")->size();
    keyboard.setSpaceKeyPosition(250, 189);
    EXPECT_EQ(key("BUTTON_KEY_SPACE")->pos(), QPoint(250, 189));
    EXPECT_EQ(key("BUTTON_KEY_SPACE")->size(), spaceSize);
    EXPECT_TRUE(target.keys.isEmpty());
}

// Upper-case captions without the latch: the keys still send no modifier.
TEST_F(KeyboardFrameTest, UpperModeShowsCapitalsWithoutMovingTheShiftLatch)
{
    keyboard.setUpperMode(true);
    EXPECT_EQ(key("BUTTON_KEY_A")->text(), "A");
    target.keys.clear();
    EXPECT_FALSE(key("BUTTON_KEY_SHIFT_L")->isChecked());
    key("BUTTON_KEY_A")->click();
    ASSERT_EQ(target.pressedCodes(), QVector<int>{Qt::Key_A});
    EXPECT_EQ(target.keys[0].modifiers, Qt::NoModifier);

    keyboard.setUpperMode(false);
    EXPECT_EQ(key("BUTTON_KEY_A")->text(), "a");
}

TEST(KeyboardFrameEject, UnmountsTheStickThroughTheUsbMonitor)
{
    TempRoot root;
    kovasim::UsbSticks sticks(root.root());
    ASSERT_TRUE(sticks.installStandIns());
    ASSERT_FALSE(sticks.insert(QStringLiteral("stick")).isEmpty());
    auto monitor = std::make_unique<MediaMonitor>();
    ASSERT_TRUE(root.readFile("/etc/mtab").contains(" /mnt "));

    KeyboardFrame keyboard;
    KeyEventRecorder target;
    keyboard.setObject(&target);
    keyboard.setMainMode(KEYBOARD_MODE_SAVE_FILE);
    theApp.m_pMediaMonitor = monitor.get();
    keyboard.findChild<QPushButton*>("BUTTON_KEY_EJECT")->click();
    theApp.m_pMediaMonitor = nullptr;

    EXPECT_TRUE(sticks.calls().contains(QStringLiteral("umount /mnt")));
    EXPECT_FALSE(root.readFile("/etc/mtab").contains(" /mnt "));
    EXPECT_TRUE(target.keys.isEmpty());
}

// Before the monitor exists (early in the start-up) Eject runs no command
// on the stick and types nothing.
TEST(KeyboardFrameEject, WithoutAUsbMonitorDoesNothing)
{
    TempRoot root;
    kovasim::UsbSticks sticks(root.root());
    ASSERT_TRUE(sticks.installStandIns());
    ASSERT_FALSE(sticks.insert(QStringLiteral("stick")).isEmpty());
    const QStringList callsBefore = sticks.calls();

    KeyboardFrame keyboard;
    KeyEventRecorder target;
    keyboard.setObject(&target);
    keyboard.setMainMode(KEYBOARD_MODE_SAVE_FILE);
    ASSERT_EQ(theApp.m_pMediaMonitor, nullptr);
    keyboard.findChild<QPushButton*>("BUTTON_KEY_EJECT")->click();

    EXPECT_EQ(sticks.calls(), callsBefore);
    EXPECT_TRUE(target.keys.isEmpty());
}

}  // namespace
