#include "Keyboard/NumberKeypadDlg.h"

#include "KovaCore/KovaCoreApp.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

class NumberKeypadTest : public ::testing::Test
{
protected:
    NumberKeypadTest() : applied(&pad, &NumberKeypadDlg::signal_set_value)
    {
        overlay.show();
        theApp.set_background_ptr(&overlay);
    }
    ~NumberKeypadTest() override { theApp.set_background_ptr(nullptr); }

    QPushButton* button(const QString& name) const { return pad.findChild<QPushButton*>(name); }
    QLineEdit* field(const char* name) const { return pad.findChild<QLineEdit*>(QString::fromLatin1(name)); }

    // Touches the keys of `keys`: digits, '.' and '<' for delete (main or small keypad).
    void press(const char* keys, bool small = false)
    {
        for (const char* k = keys; *k; ++k) {
            QString name;
            if (*k == '<')
                name = small ? "BUTTON_KEY_DELETE2" : "BUTTON_KEY_DELETE";
            else if (*k == '.')
                name = "BUTTON_KEY_dot";
            else
                name = QString(small ? "BUTTON_KEY_s%1" : "BUTTON_KEY_%1").arg(*k);
            ASSERT_NE(button(name), nullptr) << name.toStdString();
            button(name)->click();
        }
    }
    QStringList octets(const char* prefix) const
    {
        QStringList texts;
        for (int i = 1; i <= 4; ++i)
            texts << pad.findChild<QLineEdit*>(QStringLiteral("%1_%2").arg(prefix).arg(i))->text();
        return texts;
    }
    QString emitted() const { return applied.isEmpty() ? QStringLiteral("<none>") : applied.last().at(0).toString(); }

    QLabel overlay;
    NumberKeypadDlg pad;
    QSignalSpy applied;
};

TEST_F(NumberKeypadTest, NumberModeRanges)
{
    const struct
    {
        int max, min, length;
        const char* keys;
        const char* shown;
        bool applyEnabled;
        const char* result;  // "<none>": Apply refuses and the keypad stays open
    } cases[] = {
        {24, 1, 2, "25", "25", false, "<none>"},
        {24, 1, 2, "25<4", "24", true, "24"},
        {24, 1, 2, "1", "1", true, "1"},
        // A minimum below 1 offers nothing Apply would refuse.
        {99999, 0, 5, "0", "0", false, "<none>"},
        {99999, 0, 5, "01", "01", true, "01"},
        {99999, 0, 5, "123456", "12345", true, "12345"},
        {999, 1, 3, "7<", "", false, "<none>"},
    };
    for (const auto& c : cases) {
        NumberKeypadDlg keypad;
        QSignalSpy spy(&keypad, &NumberKeypadDlg::signal_set_value);
        keypad.set_mode(NUMBER_KEYPAD_NUMBER);
        keypad.set_range_value(c.max, c.min, c.length);
        keypad.show();
        for (const char* k = c.keys; *k; ++k) {
            const QString name = *k == '<' ? QStringLiteral("BUTTON_KEY_DELETE") : QStringLiteral("BUTTON_KEY_%1").arg(*k);
            keypad.findChild<QPushButton*>(name)->click();
        }
        SCOPED_TRACE(c.keys);
        EXPECT_EQ(keypad.findChild<QLineEdit*>("EDIT_NORMAL")->text(), c.shown);
        auto* apply = keypad.findChild<QPushButton*>("BUTTON_KEY_APPLY");
        EXPECT_EQ(apply->isEnabled(), c.applyEnabled);
        keypad.slot_apply();
        EXPECT_EQ(spy.isEmpty() ? QStringLiteral("<none>") : spy.last().at(0).toString(), c.result);
        EXPECT_EQ(keypad.isVisible(), spy.isEmpty());
    }
}

// Apply is offered exactly for what it takes, whatever the order in which the
// caller sets the mode, the value and the range.
TEST_F(NumberKeypadTest, ApplyFollowsModeValueAndRangeInAnyOrder)
{
    pad.set_mode(NUMBER_KEYPAD_NUMBER);
    EXPECT_FALSE(button("BUTTON_KEY_APPLY")->isEnabled()) << "nothing entered yet";
    pad.set_value("0");
    pad.set_range_value(99999, 0, 5);
    EXPECT_FALSE(button("BUTTON_KEY_APPLY")->isEnabled()) << "0 is never taken";
    pad.set_value("30");
    EXPECT_TRUE(button("BUTTON_KEY_APPLY")->isEnabled());
    pad.set_range_value(24, 1, 2);
    EXPECT_FALSE(button("BUTTON_KEY_APPLY")->isEnabled()) << "the new range refuses 30";
    pad.set_value("12");
    EXPECT_EQ(field("EDIT_NORMAL")->text(), "12");
    EXPECT_TRUE(button("BUTTON_KEY_APPLY")->isEnabled());
    pad.slot_apply();
    EXPECT_EQ(emitted(), "12");
}

TEST_F(NumberKeypadTest, AddressModesFillTheirDefaults)
{
    const struct
    {
        eNumberKeyPadMode mode;
        const char* prefix;
        const char* title;
        QStringList fields;
    } cases[] = {
        {NUMBER_KEYPAD_IP_ADDRESS, "EDIT_IP_STATIC", "IP address", {"192", "168", "10", "10"}},
        {NUMBER_KEYPAD_SUBNET_MASK, "EDIT_SUBNET_MASK", "Subnet mask", {"255", "255", "255", "0"}},
        {NUMBER_KEYPAD_DEFAULT_GATEWAY, "EDIT_GATEWAY", "Default gateway", {"192", "168", "10", "254"}},
    };
    for (const auto& c : cases) {
        NumberKeypadDlg keypad;
        QSignalSpy spy(&keypad, &NumberKeypadDlg::signal_set_value);
        keypad.set_mode(c.mode);
        keypad.set_value(QString());
        QStringList texts;
        for (int i = 1; i <= 4; ++i)
            texts << keypad.findChild<QLineEdit*>(QStringLiteral("%1_%2").arg(c.prefix).arg(i))->text();
        EXPECT_EQ(texts, c.fields) << c.title;
        EXPECT_EQ(keypad.findChild<QLabel*>("LABEL_TITLE")->text(), c.title);
        keypad.slot_apply();
        ASSERT_EQ(spy.count(), 1);
        EXPECT_EQ(spy.at(0).at(0).toString(), c.fields.join('.'));
    }
}

TEST_F(NumberKeypadTest, AddressPartsGoToTheirFieldsAndComeBackJoined)
{
    pad.set_mode(NUMBER_KEYPAD_IP_ADDRESS);
    pad.set_value("10.0.0.7");
    EXPECT_EQ(octets("EDIT_IP_STATIC"), (QStringList{"10", "0", "0", "7"}));
    field("EDIT_IP_STATIC_2")->clear();
    pad.slot_apply();
    EXPECT_EQ(emitted(), "10..0.7");
}

TEST_F(NumberKeypadTest, ShortAndLongAddressesStayWithinTheirParts)
{
    pad.set_mode(NUMBER_KEYPAD_DEFAULT_GATEWAY);
    pad.set_value("10.1");
    EXPECT_EQ(octets("EDIT_GATEWAY"), (QStringList{"10", "1", "", ""}));
    pad.set_value("7");
    EXPECT_EQ(octets("EDIT_GATEWAY"), (QStringList{"7", "", "", ""}));
    pad.set_value("1.2.3.4.5");
    EXPECT_EQ(octets("EDIT_GATEWAY"), (QStringList{"1", "2", "3", "4"}));
    pad.slot_apply();
    EXPECT_EQ(emitted(), "1.2.3.4");
}

TEST_F(NumberKeypadTest, OctetFieldsTakeAtMostThreeDigitsUpTo255)
{
    pad.set_mode(NUMBER_KEYPAD_SUBNET_MASK);
    pad.show();
    press("256");
    EXPECT_EQ(field("EDIT_SUBNET_MASK_1")->text(), "25");
    press("5.9");
    EXPECT_EQ(field("EDIT_SUBNET_MASK_1")->text(), "255");

    QTest::mouseClick(field("EDIT_SUBNET_MASK_3"), Qt::LeftButton);
    press("1234");
    EXPECT_EQ(field("EDIT_SUBNET_MASK_3")->text(), "123");
    QTest::keyClick(field("EDIT_SUBNET_MASK_3"), Qt::Key_Plus);
    EXPECT_EQ(field("EDIT_SUBNET_MASK_3")->text(), "123");
    EXPECT_EQ(field("EDIT_SUBNET_MASK_1")->text(), "255");
}

TEST_F(NumberKeypadTest, PlusAndCommaNeverReachTheNumberField)
{
    pad.set_mode(NUMBER_KEYPAD_NUMBER);
    pad.show();
    for (int key : {int(Qt::Key_Plus), int(Qt::Key_Comma), int(Qt::Key_4)})
        QTest::keyClick(field("EDIT_NORMAL"), static_cast<Qt::Key>(key));
    EXPECT_EQ(field("EDIT_NORMAL")->text(), "4");
}

TEST_F(NumberKeypadTest, DilutionUsesTheSmallKeypadAndItsRange)
{
    pad.set_mode(NUMBER_KEYPAD_DILUTION);
    pad.set_max_diution(10.0f, 4);
    pad.show();
    EXPECT_FALSE(pad.findChild<QWidget*>("FRAME_BUTTON_KEY_SMALL")->isHidden());
    EXPECT_TRUE(pad.findChild<QWidget*>("FRAME_BUTTON_KEY")->isHidden());
    const struct
    {
        const char* keys;
        bool taken;
    } steps[] = {{"0.5", false}, {"<<<11", false}, {"<<2.5", true}};
    for (const auto& step : steps) {
        press(step.keys, true);
        EXPECT_EQ(button("BUTTON_KEY_APPLY2")->isEnabled(), step.taken) << step.keys;
        pad.slot_apply();
    }
    EXPECT_EQ(applied.count(), 1);
    EXPECT_EQ(emitted(), "2.5");
}

TEST_F(NumberKeypadTest, SerialNumberModeReturnsTheFieldAsIs)
{
    pad.set_mode(NUMBER_KEYPAD_SERIAL_NUMBER);
    pad.set_value("777");
    EXPECT_TRUE(field("EDIT_NORMAL")->text().isEmpty());
    press("0042");
    pad.slot_apply();
    EXPECT_EQ(emitted(), "0042");
}

TEST_F(NumberKeypadTest, CloseEmitsNothingAndEveryEndHidesTheOverlay)
{
    pad.set_mode(NUMBER_KEYPAD_NUMBER);
    pad.show();
    press("5");
    button("BUTTON_X")->click();
    EXPECT_TRUE(applied.isEmpty());
    EXPECT_EQ(pad.result(), QDialog::Rejected);
    EXPECT_TRUE(overlay.isHidden());

    overlay.show();
    pad.show();
    button("BUTTON_KEY_APPLY")->click();
    EXPECT_EQ(emitted(), "5");
    EXPECT_TRUE(overlay.isHidden());
}

}  // namespace
