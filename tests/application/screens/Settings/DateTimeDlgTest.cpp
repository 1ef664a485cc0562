#include "Settings/Setup_DateTimeDlg.h"

#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "ClippedText.h"
#include "ModalAnswerer.h"
#include "QtPrinters.h"
#include "SettingsTestSupport.h"
#include "TempRoot.h"
#include "VirtualInstrument.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

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

// A clock the system refuses to set is told as such, not as a date that does
// not exist: a box titled as error 25 with timedatectl's own reason as plain
// text in at most two lines that fit the box; the clock and the settings stay,
// the dialog stays open on the current time.
TEST_F(DateTimeDlgTest, RefusedClockShowsTheReasonAndTheDialogStays)
{
    const QString ellipsis(QChar(0x2026));
    const struct
    {
        const char* standIn;  // the body of /bin/timedatectl; nullptr: the instrument's, with network time on
        QString reason;       // the reason's lines joined by blanks; with `cut`, how the first line starts
        bool cut;
    } cases[] = {
        {nullptr, "Failed to set time: Automatic time synchronization is enabled", false},
        {"echo '<b>bold</b> & \"quoted\"' >&2; exit 1\n", "<b>bold</b> & \"quoted\"", false},
        {"printf 'first line\\nsecond line\\n'; exit 1\n", "first line second line", false},
        {"exit 3\n", "timedatectl ended with code 3.", false},
        {"exec sleep 30\n", "timedatectl did not finish in time.", false},
        {"for i in $(seq 60); do printf 'word%s ' $i; done >&2; exit 1\n", "word1 word2", true},
        {"", "timedatectl could not be started.", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason.toStdString());
        // Only the stand-in that hangs meets a short time-out: the others may be slow to start.
        const bool hangs = c.standIn && QByteArray(c.standIn).contains("sleep");
        Setup_DateTimeDlg::seams().commandTimeoutMs = hangs ? 200 : Setup_DateTimeDlg::kCommandTimeoutMs;
        if (!c.standIn) {
            root.writeFile(QString::fromLatin1(kovasim::VirtualInstrument::kTimedatectlNtp), "");
        } else if (*c.standIn) {
            root.writeScript(QStringLiteral("/bin/timedatectl"), c.standIn);
        } else {
            ASSERT_TRUE(QFile::remove(root.path(QStringLiteral("/bin/timedatectl"))));
        }
        theApp.m_nAutoShutdownTime = 5;
        root.writeFile(kova::kMainIni, "");
        QList<ClippedText> clipped;
        boxes.plan(true, [&] { clipped = clippedTexts(QApplication::activeModalWidget()); });
        enter({"9", "2", "2024", "8", "5"});
        dlg.findChild<QPushButton*>(QStringLiteral("BUTTON_APPLY"))->click();

        ASSERT_EQ(boxes.shown.size(), 1);
        QTextDocument box;
        box.setHtml(boxes.shown.takeFirst());
        const QStringList lines = box.toPlainText().split(QLatin1Char('\n'));
        ASSERT_GE(lines.size(), 4);
        EXPECT_EQ(lines.mid(0, 3), QStringList({"Error (Code : 0025)", "", "The date and time could not be set."}));
        const QStringList reason = lines.mid(3);
        EXPECT_LE(reason.size(), 2);
        if (c.cut) {
            EXPECT_EQ(reason.size(), 2);
            EXPECT_TRUE(reason.first().startsWith(c.reason));
            EXPECT_TRUE(reason.last().endsWith(ellipsis));
        } else {
            EXPECT_EQ(reason.join(' '), c.reason);
        }
        EXPECT_TRUE(clipped.isEmpty()) << describe(clipped);
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(dlg.isEnabled());
        EXPECT_NE(dlg.result(), QDialog::Accepted);
        EXPECT_EQ(fieldTexts(), QStringList({"04", "07", "2031", "16", "45"})) << "back to now";
        EXPECT_TRUE(root.readFile(kova::kMainIni).isEmpty()) << "nothing was set, nothing is written";
    }
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
