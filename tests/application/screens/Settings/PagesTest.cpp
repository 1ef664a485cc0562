#include "Settings/CellCountingFrame.h"
#include "Settings/DatePowerframe.h"
#include "Settings/SaveReviewframe.h"

#include "Keyboard/KeyboardDlg.h"
#include "KovaCore/KovaCoreApp.h"
#include "ModalAnswerer.h"
#include "WhenModal.h"
#include "SettingsTestSupport.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

namespace {

template <class T>
T* child(const QObject* parent, const char* name)
{
    return parent->findChild<T*>(QString::fromLatin1(name));
}

TEST(CellCountingFrameTest, SlidesCopyTheirFocusReferenceIntoTheCentre)
{
    theApp.m_Calibration.Z_Reference_2ch = 30000;
    theApp.m_Calibration.Z_Reference_Reusable = 31000;
    theApp.m_Calibration.Z_Reference_Validation = 32000;
    theApp.m_nSlideType = 77;  // none of the three: the form's choice shows, the centre stays
    theApp.m_nZstageCenterPos = 12345;
    CellCountingFrame page;
    EXPECT_TRUE(child<QRadioButton>(&page, "RADIO_SLIDE_VALIDATION")->isChecked());
    EXPECT_EQ(theApp.m_nZstageCenterPos, 12345);
    EXPECT_EQ(theApp.m_nSlideType, 77);

    const struct
    {
        const char* radio;
        int slide;
        int centre;
    } rows[] = {{"RADIO_SLIDE_2CH", 2, 30000}, {"RADIO_SLIDE_REUSABLE", 9, 31000},
                {"RADIO_SLIDE_VALIDATION", 10, 32000}, {"RADIO_SLIDE_VALIDATION", 10, 32000}};
    for (const auto& row : rows) {
        theApp.m_nZstageCenterPos = 1;  // as autofocus may have moved it
        QTest::mouseClick(child<QRadioButton>(&page, row.radio), Qt::LeftButton);
        EXPECT_EQ(theApp.m_nSlideType, row.slide) << row.radio;
        EXPECT_EQ(theApp.m_nZstageCenterPos, row.centre) << row.radio;
    }
}

TEST(CellCountingFrameTest, ModeAndAutofocusGoStraightIntoTheApplication)
{
    theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
    theApp.m_bAutofocusedCounting = false;
    CellCountingFrame page;
    QPushButton* autofocus = child<QPushButton>(&page, "BUTTON_AUTOFOCUSED_COUNTING");
    EXPECT_EQ(autofocus->text(), "OFF");
    autofocus->click();
    EXPECT_TRUE(theApp.m_bAutofocusedCounting);
    EXPECT_EQ(autofocus->text(), "ON");

    child<QRadioButton>(&page, "RADIO_MODE_BF_V")->click();
    EXPECT_EQ(theApp.m_CountingMode, BF_CELL_COUNTING_VIABILITY);
    EXPECT_TRUE(page.modeChanged());
    child<QRadioButton>(&page, "RADIO_MODE_BF_T")->click();
    EXPECT_FALSE(page.modeChanged());
}

class SaveReviewframeTest : public ::testing::Test
{
protected:
    SaveReviewframeTest() : clock(QDateTime(QDate(2024, 2, 9), QTime(8, 5, 7)))
    {
        SaveReview_s& save = theApp.m_SaveReview;
        save.m_strBaseName = QStringLiteral("CELLS");
        save.m_strSuffixType = QStringLiteral("Sequence");
        save.m_nSequenceCount = 12;
        save.m_bAutoSave = false;
        save.m_bEnableScaleBar = false;
    }
    void TearDown() override
    {
        EXPECT_EQ(boxes.unplanned, 0);
        EXPECT_TRUE(boxes.allPlannedAnswered());
    }

    QString preview(const SaveReviewframe& page) const { return child<QLineEdit>(&page, "EDIT_NEXT_NAME")->text(); }
    // Touches the base name; `onKeyboard` runs on the keyboard that opens.
    void editName(SaveReviewframe& page, std::function<void(KeyboardDlg*)> onKeyboard)
    {
        WhenModal<KeyboardDlg> keyboard(std::move(onKeyboard));
        QTest::mouseClick(child<QLineEdit>(&page, "EDIT_BASE_NAME"), Qt::LeftButton);
        EXPECT_TRUE(keyboard.done()) << "no keyboard";
    }
    void editSequence(SaveReviewframe& page, std::function<void(NumberKeypadDlg*)> onKeypad)
    {
        WhenModal<NumberKeypadDlg> keypad(std::move(onKeypad));
        QTest::mouseClick(child<QLineEdit>(&page, "EDIT_SEQUENCE"), Qt::LeftButton);
        EXPECT_TRUE(keypad.done()) << "no key pad";
    }

    TempRoot root;
    FixedClock clock;
    ModalAnswerer boxes;
};

TEST_F(SaveReviewframeTest, PreviewOfSequenceAndTimeStamp)
{
    SaveReviewframe page;
    EXPECT_EQ(child<QLineEdit>(&page, "EDIT_SEQUENCE")->text(), "12");
    EXPECT_EQ(preview(page), "CELLS_00012");

    child<QRadioButton>(&page, "RADIO_DATE_TIME")->click();
    EXPECT_EQ(preview(page), "CELLS_20240209080507");
    EXPECT_EQ(theApp.m_SaveReview.m_strSuffixType, "TimeStamp");
    EXPECT_FALSE(child<QLineEdit>(&page, "EDIT_SEQUENCE")->isEnabled());

    child<QLineEdit>(&page, "EDIT_SEQUENCE")->setText(QStringLiteral("40"));
    child<QRadioButton>(&page, "RADIO_SEQUENCE")->click();
    EXPECT_EQ(theApp.m_SaveReview.m_strSuffixType, "Sequence");
    EXPECT_EQ(theApp.m_SaveReview.m_nSequenceCount, 40) << "the field is taken over";
    EXPECT_EQ(preview(page), "CELLS_00040");
}

TEST_F(SaveReviewframeTest, UnknownSuffixShowsAsTimeStampAndIsKept)
{
    theApp.m_SaveReview.m_strSuffixType = QStringLiteral("Weekday");
    SaveReviewframe page;
    EXPECT_TRUE(child<QRadioButton>(&page, "RADIO_DATE_TIME")->isChecked());
    EXPECT_FALSE(child<QLineEdit>(&page, "EDIT_SEQUENCE")->isEnabled());
    EXPECT_EQ(preview(page), "CELLS_20240209080507");
    EXPECT_EQ(theApp.m_SaveReview.m_strSuffixType, "Weekday");
}

TEST_F(SaveReviewframeTest, KeyboardLimitFollowsTheSuffixAndItsNameIsTaken)
{
    SaveReviewframe page;
    int limit = 0;
    editName(page, [&](KeyboardDlg* keyboard) {
        limit = child<QLineEdit>(keyboard, "EDIT_FILENAME")->maxLength();
        EXPECT_TRUE(page.isKeyboardOpen());
        child<QLineEdit>(keyboard, "EDIT_FILENAME")->setText(QStringLiteral("  BLOOD 7  "));
        QTest::keyClick(child<QLineEdit>(keyboard, "EDIT_FILENAME"), Qt::Key_Return);
    });
    EXPECT_EQ(limit, 16);
    EXPECT_FALSE(page.isKeyboardOpen());
    EXPECT_EQ(theApp.m_SaveReview.m_strBaseName, "BLOOD 7");
    EXPECT_EQ(preview(page), "BLOOD 7_00012");

    child<QRadioButton>(&page, "RADIO_DATE_TIME")->click();
    editName(page, [&](KeyboardDlg* keyboard) {
        limit = child<QLineEdit>(keyboard, "EDIT_FILENAME")->maxLength();
        child<QPushButton>(keyboard, "BUTTON_BACK")->click();
    });
    EXPECT_EQ(limit, 7);
    EXPECT_EQ(theApp.m_SaveReview.m_strBaseName, "BLOOD 7") << "back changes nothing";
}

TEST_F(SaveReviewframeTest, BlankBaseNameIsRefusedAndTheKeyboardStays)
{
    SaveReviewframe page;
    bool stayed = false;
    editName(page, [&](KeyboardDlg* keyboard) {
        child<QLineEdit>(keyboard, "EDIT_FILENAME")->setText(QStringLiteral("   "));
        boxes.plan(true);
        QTest::keyClick(child<QLineEdit>(keyboard, "EDIT_FILENAME"), Qt::Key_Return);
        stayed = keyboard->isVisible();
        child<QPushButton>(keyboard, "BUTTON_BACK")->click();
    });
    EXPECT_TRUE(stayed);
    EXPECT_EQ(boxes.shown, messages({24}));
    EXPECT_EQ(theApp.m_SaveReview.m_strBaseName, "CELLS");
}

TEST_F(SaveReviewframeTest, SequenceKeypadTakesOneTo99999)
{
    SaveReviewframe page;
    QSignalSpy dimming(&page, &SaveReviewframe::signal_setBackStatus);
    editSequence(page, [&](NumberKeypadDlg* pad) {
        typeAndApply(pad, QStringLiteral("0"));
        EXPECT_TRUE(pad->isVisible()) << "0 is refused";
        EXPECT_FALSE(pad->findChild<QPushButton*>(QStringLiteral("BUTTON_KEY_APPLY"))->isEnabled())
            << "and not offered";
        typeAndApply(pad, QStringLiteral("100000"));
        EXPECT_FALSE(pad->isVisible()) << "the sixth digit is not taken: 10000";
    });
    EXPECT_EQ(theApp.m_SaveReview.m_nSequenceCount, 10000);

    editSequence(page, [](NumberKeypadDlg* pad) { typeAndApply(pad, QStringLiteral("007")); });
    EXPECT_EQ(child<QLineEdit>(&page, "EDIT_SEQUENCE")->text(), "7");
    EXPECT_EQ(theApp.m_SaveReview.m_nSequenceCount, 7);
    EXPECT_EQ(preview(page), "CELLS_00007");
    ASSERT_EQ(dimming.size(), 4);
    EXPECT_TRUE(dimming.at(2).at(0).toBool());
    EXPECT_FALSE(dimming.at(3).at(0).toBool());

    editSequence(page, [](NumberKeypadDlg* pad) { closeKeypad(pad); });
    EXPECT_EQ(theApp.m_SaveReview.m_nSequenceCount, 7) << "closed without a value";
}

TEST_F(SaveReviewframeTest, SequenceFieldIsNotTouchableUnderTheTimeStamp)
{
    theApp.m_SaveReview.m_strSuffixType = QStringLiteral("TimeStamp");
    SaveReviewframe page;
    QSignalSpy dimming(&page, &SaveReviewframe::signal_setBackStatus);
    QTest::mouseClick(child<QLineEdit>(&page, "EDIT_SEQUENCE"), Qt::LeftButton);
    EXPECT_TRUE(dimming.isEmpty());
}

class DatePowerframeTest : public ::testing::Test
{
protected:
    DatePowerframeTest()
    {
        theApp.m_bAutoShutdown = true;
        theApp.m_nAutoShutdownTime = 6;
    }
    void editHours(DatePowerframe& page, std::function<void(NumberKeypadDlg*)> onKeypad)
    {
        WhenModal<NumberKeypadDlg> keypad(std::move(onKeypad));
        QTest::mousePress(child<QLineEdit>(&page, "EDIT_AUTO_SHUTDOWN_TIME"), Qt::LeftButton);
        EXPECT_TRUE(keypad.done()) << "no key pad";
    }
    // Opens the date dialog and leaves it with Back.
    void openAndLeaveDateDialog(DatePowerframe& page)
    {
        WhenModal<QDialog> date([](QDialog* dialog) { child<QPushButton>(dialog, "BUTTON_BACK")->click(); });
        child<QPushButton>(&page, "BUTTON_SETDATETIME")->click();
        EXPECT_TRUE(date.done());
    }

    TempRoot root;  // the date dialog looks for the printer under it
};

TEST_F(DatePowerframeTest, HoursKeypadTakesOneTo24AsTyped)
{
    DatePowerframe page;
    page.show();
    QLineEdit* hours = child<QLineEdit>(&page, "EDIT_AUTO_SHUTDOWN_TIME");
    EXPECT_EQ(hours->text(), "6");
    for (const char* refused : {"0", "25", ""}) {
        editHours(page, [&](NumberKeypadDlg* pad) {
            typeAndApply(pad, QString::fromLatin1(refused));
            EXPECT_TRUE(pad->isVisible()) << refused;
            closeKeypad(pad);
        });
        EXPECT_EQ(hours->text(), "6") << refused;
        EXPECT_EQ(theApp.m_nAutoShutdownTime, 6) << refused;
    }

    testing::internal::CaptureStdout();
    editHours(page, [](NumberKeypadDlg* pad) { typeAndApply(pad, QStringLiteral("08")); });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "DatePowerframe::slot_set_value_auto_shutdown : 8\n");
    EXPECT_EQ(hours->text(), "08");
    EXPECT_EQ(theApp.m_nAutoShutdownTime, 8);
    EXPECT_EQ(DatePowerframe().findChild<QLineEdit*>(QStringLiteral("EDIT_AUTO_SHUTDOWN_TIME"))->text(), "8")
        << "the next opening shows the stored number";
}

TEST_F(DatePowerframeTest, PowerSaverOffLocksTheHoursAndKeepsThem)
{
    DatePowerframe page;
    page.show();
    QPushButton* enable = child<QPushButton>(&page, "BUTTON_POWERSAVER_ENABLE");
    EXPECT_EQ(enable->text(), "ON");
    enable->click();
    EXPECT_FALSE(theApp.m_bAutoShutdown);
    EXPECT_EQ(enable->text(), "OFF");
    EXPECT_FALSE(child<QLineEdit>(&page, "EDIT_AUTO_SHUTDOWN_TIME")->isEnabled());
    EXPECT_EQ(theApp.m_nAutoShutdownTime, 6);

    QSignalSpy dimming(&page, &DatePowerframe::signal_setBackStatus);
    QTest::mousePress(child<QLineEdit>(&page, "EDIT_AUTO_SHUTDOWN_TIME"), Qt::LeftButton);
    EXPECT_TRUE(dimming.isEmpty()) << "no key pad";
}

TEST_F(DatePowerframeTest, ClosingTheDateDialogRefreshesTheClockAndEmitsOnlyAfterAService)
{
    FixedClock clock(QDateTime(QDate(2024, 2, 9), QTime(8, 5)));
    theApp.m_bProgramExit = false;
    theApp.m_bFactoryReset = false;
    DatePowerframe page;
    QSignalSpy leaving(&page, &DatePowerframe::sig_gotoLoaderMode);
    openAndLeaveDateDialog(page);
    EXPECT_EQ(theApp.m_strDateTime, "09 Feb 2024 08:05");
    EXPECT_TRUE(leaving.isEmpty());

    theApp.m_bFactoryReset = true;
    openAndLeaveDateDialog(page);
    EXPECT_EQ(leaving.size(), 1);
    theApp.m_bFactoryReset = false;
}

}  // namespace
