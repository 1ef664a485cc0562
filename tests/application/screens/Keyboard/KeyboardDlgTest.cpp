#include "Keyboard/KeyboardDlg.h"

#include "ModalAnswerer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

class KeyboardDlgTest : public ::testing::Test
{
protected:
    KeyboardDlgTest() : confirmed(&dlg, &KeyboardDlg::signalSetName)
    {
        dlg.setMode(KeyboardDlg::MODE_BASE_NAME);
        dlg.show();
    }

    QLineEdit* edit() const { return dlg.findChild<QLineEdit*>("EDIT_FILENAME"); }
    QPushButton* button(const char* name) const { return dlg.findChild<QPushButton*>(QString::fromLatin1(name)); }
    QString label(const char* name) const { return dlg.findChild<QLabel*>(QString::fromLatin1(name))->text(); }

    // A key event as the on-screen keyboard sends it: to the dialog, without text.
    void send(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(&dlg, &press);
    }
    void sendText(const char* text)
    {
        for (const char* c = text; *c; ++c)
            send(*c >= 'a' && *c <= 'z' ? *c - 'a' + Qt::Key_A : *c);
    }

    void TearDown() override
    {
        EXPECT_EQ(boxes.unplanned, 0) << "a message nobody expected";
        EXPECT_TRUE(boxes.allPlannedAnswered()) << "an expected message never came";
    }

    // Confirms, expecting a message; returns its text.
    QString confirmAndAnswerMessage()
    {
        boxes.plan(true);
        send(Qt::Key_Enter);
        return boxes.shown.value(boxes.shown.size() - 1);
    }

    ModalAnswerer boxes;
    KeyboardDlg dlg;
    QSignalSpy confirmed;
};

TEST_F(KeyboardDlgTest, ConfirmTrimsOuterBlanksAndKeepsInnerOnes)
{
    sendText("  my name  ");
    EXPECT_EQ(edit()->text(), "  my name  ");
    send(Qt::Key_Enter);
    ASSERT_EQ(confirmed.count(), 1);
    EXPECT_EQ(confirmed.at(0).at(0).toString(), "my name");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(KeyboardDlgTest, BlankEntryShowsMessage24AndStaysOpen)
{
    for (const char* entry : {"", "    "}) {
        edit()->setText(QString::fromLatin1(entry));
        const QString message = confirmAndAnswerMessage();
        EXPECT_TRUE(message.contains("0024")) << entry;
        EXPECT_TRUE(message.contains("Unacceptable folder name is used.")) << entry;
        EXPECT_EQ(confirmed.count(), 0);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_EQ(edit()->text(), QString::fromLatin1(entry));
        EXPECT_TRUE(dlg.findChildren<QLabel*>().last()->isHidden()) << "dimming left behind";
    }
}

TEST_F(KeyboardDlgTest, BaseNameDropsCharactersOutsideTheNameRuleAsTheyAreTyped)
{
    edit()->setFocus();
    QTest::keyClicks(edit(), "a.b");
    EXPECT_EQ(edit()->text(), "ab");

    QKeyEvent accented(QEvent::KeyPress, Qt::Key_Eacute, Qt::NoModifier, QString::fromUtf8("é"));
    QApplication::sendEvent(edit(), &accented);
    EXPECT_EQ(edit()->text(), "ab");

    send(Qt::Key_ParenLeft);
    sendText("-_9");
    EXPECT_EQ(edit()->text(), "ab-_9");
}

TEST_F(KeyboardDlgTest, DroppedCharacterKeepsTheCursorInPlace)
{
    edit()->setText("abcd");
    edit()->setCursorPosition(2);
    QTest::keyClick(edit(), '.');
    EXPECT_EQ(edit()->text(), "abcd");
    EXPECT_EQ(edit()->cursorPosition(), 2);
}

TEST_F(KeyboardDlgTest, PasswordKeepsPunctuationAndLosesOuterBlanks)
{
    dlg.setWifiname("lab-net");
    dlg.setMode(KeyboardDlg::MODE_WIFI_PASSWORD);
    EXPECT_EQ(label("LABEL_NETWORK_NAME"), "lab-net");
    EXPECT_EQ(label("LABEL_NAME"), "Password");
    sendText(" a.b!");
    send(Qt::Key_Enter);
    ASSERT_EQ(confirmed.count(), 1);
    EXPECT_EQ(confirmed.at(0).at(0).toString(), "a.b!");
}

TEST_F(KeyboardDlgTest, LetterCaseFollowsTheModifier)
{
    send(Qt::Key_A);
    send(Qt::Key_B, Qt::ShiftModifier);
    send(0x63);  // lower-case codes are not keys of the keyboard
    send(Qt::Key_Shift, Qt::ShiftModifier);
    send(Qt::Key_C);
    send(Qt::Key_Backspace);
    send(Qt::Key_D);
    EXPECT_EQ(edit()->text(), "aBd");
}

TEST_F(KeyboardDlgTest, EscapeDoesNotCloseAndBackRejectsWithoutSignal)
{
    edit()->setText("name");
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QTest::keyClick(edit(), Qt::Key_Escape);
    EXPECT_TRUE(dlg.isVisible());

    button("BUTTON_BACK")->click();
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(confirmed.count(), 0);
}

TEST_F(KeyboardDlgTest, ClearKeyEmptiesAndWaitsForTheNextEditWithText)
{
    edit()->setText("abc");
    button("BUTTON_KEY_CLEAR")->click();
    EXPECT_TRUE(edit()->text().isEmpty());
    EXPECT_FALSE(button("BUTTON_KEY_CLEAR")->isEnabled());
    send(Qt::Key_Backspace);
    EXPECT_FALSE(button("BUTTON_KEY_CLEAR")->isEnabled());
    send(Qt::Key_X);
    EXPECT_TRUE(button("BUTTON_KEY_CLEAR")->isEnabled());
}

TEST_F(KeyboardDlgTest, OtherModesOnlyStoreTheValue)
{
    dlg.setMode(2);
    EXPECT_EQ(label("LABEL_NAME"), "Base name");
    button("BUTTON_KEY_CLEAR")->click();
    sendText("a.b");
    EXPECT_EQ(edit()->text(), "a.b");
    EXPECT_FALSE(button("BUTTON_KEY_CLEAR")->isEnabled());
}

TEST_F(KeyboardDlgTest, OnScreenKeysTypeIntoTheField)
{
    dlg.setMaxLength(4);
    for (const char* name : {"BUTTON_KEY_SHIFT_L", "BUTTON_KEY_K", "BUTTON_KEY_SHIFT_L", "BUTTON_KEY_O", "BUTTON_KEY_V",
                             "BUTTON_KEY_A", "BUTTON_KEY_3"})
        button(name)->click();
    EXPECT_EQ(edit()->text(), "Kova");
    button("BUTTON_ENTER")->click();
    ASSERT_EQ(confirmed.count(), 1);
    EXPECT_EQ(confirmed.at(0).at(0).toString(), "Kova");
}

}  // namespace
