#include "Settings/Setup_DateTimeDlg.h"

#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "ModalAnswerer.h"
#include "SettingsTestSupport.h"
#include "TempRoot.h"
#include "VirtualInstrument.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

const QString kCalls = QString::fromLatin1(kovasim::VirtualInstrument::kTimedatectlCalls);

// The date and time dialog with the virtual instrument's timedatectl stand-in.
class DateTimeDlgTest : public ::testing::Test
{
protected:
    DateTimeDlgTest() : clock(QDateTime(QDate(2031, 7, 4), QTime(16, 45)))
    {
        EXPECT_TRUE(kovasim::VirtualInstrument(root.root()).installStandIns());
        Setup_DateTimeDlg::seams() = Setup_DateTimeDlg::Seams();
        dlg.show();
    }
    ~DateTimeDlgTest() override { Setup_DateTimeDlg::seams() = Setup_DateTimeDlg::Seams(); }
    void TearDown() override
    {
        EXPECT_EQ(boxes.unplanned, 0) << "a message nobody expected";
        EXPECT_TRUE(boxes.allPlannedAnswered()) << "an expected message never came";
    }

    QLineEdit* field(const char* name) const { return dlg.findChild<QLineEdit*>(QString::fromLatin1(name)); }
    QStringList fieldTexts() const
    {
        QStringList texts;
        for (const char* name : {"EDIT_DAY", "EDIT_MONTH", "EDIT_YEAR", "EDIT_HOUR", "EDIT_MINUTE"})
            texts << field(name)->text();
        return texts;
    }
    void enter(const QStringList& dayMonthYearHourMinute)
    {
        const char* names[] = {"EDIT_DAY", "EDIT_MONTH", "EDIT_YEAR", "EDIT_HOUR", "EDIT_MINUTE"};
        for (int i = 0; i < 5; ++i)
            field(names[i])->setText(dayMonthYearHourMinute.value(i));
    }
    // Presses Apply; a message, when one comes, is confirmed.
    void apply(bool expectMessage)
    {
        if (expectMessage)
            boxes.plan(true);
        dlg.findChild<QPushButton*>(QStringLiteral("BUTTON_APPLY"))->click();
    }

    TempRoot root;
    FixedClock clock;
    ModalAnswerer boxes;
    Setup_DateTimeDlg dlg;
};

TEST_F(DateTimeDlgTest, OpensWithTheCurrentTimeZeroPadded)
{
    EXPECT_EQ(fieldTexts(), QStringList({"04", "07", "2031", "16", "45"}));
}

TEST_F(DateTimeDlgTest, ApplyTable)
{
    struct Row
    {
        QStringList entry;  // day, month, year, hour, minute
        int message;        // 0: accepted
    };
    const Row rows[] = {
        {{"29", "2", "2024", "8", "5"}, 0},  {{"29", "2", "2000", "8", "5"}, 0},
        {{"29", "2", "2023", "8", "5"}, 25}, {{"29", "2", "2100", "8", "5"}, 25},
        {{"31", "4", "2024", "8", "5"}, 25}, {{"0", "4", "2024", "8", "5"}, 25},
        {{"1", "13", "2024", "8", "5"}, 25}, {{"1", "0", "2024", "8", "5"}, 25},
        {{"1", "1", "1999", "8", "5"}, 25},  {{"31", "12", "9999", "23", "59"}, 0},
        {{"1", "1", "2024", "24", "5"}, 26}, {{"1", "1", "2024", "8", "60"}, 26},
        {{"", "1", "2024", "8", "5"}, 25},   {{"1", "1", "2024", "8", ""}, 26},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.entry.join('.').toStdString());
        boxes.shown.clear();
        root.writeFile(kCalls, "");
        dlg.setResult(QDialog::Rejected);
        dlg.show();
        enter(row.entry);
        apply(row.message != 0);
        if (row.message == 0) {
            EXPECT_EQ(dlg.result(), QDialog::Accepted);
            EXPECT_FALSE(dlg.isVisible());
            EXPECT_TRUE(boxes.shown.isEmpty());
            EXPECT_FALSE(root.readFile(kCalls).isEmpty());
        } else {
            EXPECT_EQ(boxes.shown, messages({row.message}));
            EXPECT_TRUE(dlg.isVisible()) << "stays open";
            EXPECT_TRUE(dlg.isEnabled());
            EXPECT_EQ(fieldTexts(), QStringList({"04", "07", "2031", "16", "45"})) << "back to now";
            EXPECT_TRUE(root.readFile(kCalls).isEmpty()) << "the clock is not set";
        }
    }
}

TEST_F(DateTimeDlgTest, SetsTheClockWithUnpaddedNumbersAndWritesTheSettings)
{
    theApp.m_nAutoShutdownTime = 5;
    enter({"09", "02", "2024", "08", "05"});
    apply(false);
    EXPECT_EQ(root.readFile(kCalls), "[set-time][2024-2-9 8:5:00]\n");
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_TRUE(root.readFile(kova::kMainIni).contains("Auto%20shutdown%20time=5"))
        << "the settings are not left to the next power-off";
}

TEST_F(DateTimeDlgTest, ZeroHourAndMinuteShowAsTwoDigitsButGoOutAsOne)
{
    enter({"1", "1", "2024", "0", "0"});
    apply(false);
    EXPECT_EQ(field("EDIT_HOUR")->text(), "00");
    EXPECT_EQ(field("EDIT_MINUTE")->text(), "00");
    EXPECT_EQ(root.readFile(kCalls), "[set-time][2024-1-1 0:0:00]\n");
}

TEST_F(DateTimeDlgTest, RefusedOrHangingTimedatectlIsDateMessageAndTheDialogStays)
{
    root.writeFile(QString::fromLatin1(kovasim::VirtualInstrument::kTimedatectlNtp), "");
    enter({"9", "2", "2024", "8", "5"});
    apply(true);
    EXPECT_EQ(boxes.shown, messages({25}));
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_NE(dlg.result(), QDialog::Accepted);

    root.writeScript(QStringLiteral("/bin/timedatectl"), "exec sleep 30\n");
    Setup_DateTimeDlg::seams().commandTimeoutMs = 200;
    enter({"9", "2", "2024", "8", "5"});
    apply(true);
    EXPECT_EQ(boxes.shown, messages({25, 25}));
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(DateTimeDlgTest, KeysEditTheFocusedFieldAndPlusAndCommaAreSwallowed)
{
    QTest::mouseClick(field("EDIT_YEAR"), Qt::LeftButton);
    EXPECT_EQ(field("EDIT_YEAR")->text(), "") << "touching a field clears it";
    for (const char* key : {"BUTTON_KEY_2", "BUTTON_KEY_0", "BUTTON_KEY_3", "BUTTON_KEY_9", "BUTTON_KEY_DEL",
                            "BUTTON_KEY_8", "BUTTON_KEY_7"})
        dlg.findChild<QPushButton*>(QString::fromLatin1(key))->click();
    EXPECT_EQ(field("EDIT_YEAR")->text(), "2038") << "four characters at most";

    QTest::mouseClick(field("EDIT_DAY"), Qt::LeftButton);
    QTest::keyClicks(field("EDIT_DAY"), QStringLiteral("+1,"));
    EXPECT_EQ(field("EDIT_DAY")->text(), "1");
}

TEST_F(DateTimeDlgTest, BackChangesNothing)
{
    enter({"9", "2", "2024", "8", "5"});
    dlg.findChild<QPushButton*>(QStringLiteral("BUTTON_BACK"))->click();
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(QFile::exists(root.path(kCalls)));
}

TEST(LeapYearTest, GregorianRule)
{
    EXPECT_EQ(checkLeapMonth(2024), 1);
    EXPECT_EQ(checkLeapMonth(2000), 1);
    EXPECT_EQ(checkLeapMonth(2100), 0);
    EXPECT_EQ(checkLeapMonth(2023), 0);
}

}  // namespace
