#include "Settings/SetupDlg.h"

#include "AppNetwork.h"
#include "Keyboard/KeyboardDlg.h"
#include "KovaCore/KovaCoreApp.h"
#include "WhenModal.h"
#include "Settings/Setup_DateTimeDlg.h"
#include "SettingsTestSupport.h"
#include "TestInstrument.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

const char* const kMenu[] = {"BUTTON_CELL_COUNTING", "BUTTON_SAVE_REVIEW", "BUTTON_NETWORKS", "BUTTON_DATE_POWER",
                             "BUTTON_UPDATE_CALIBRATION"};
const char* const kPages[] = {"CellCounting", "SaveReview", "Networks", "DatePower", "UpdateCalibration"};

// The settings screen on the tests' virtual instrument, with a running camera double.
class SetupDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        appNetworkManager();
        ASSERT_TRUE(instrument.error().isEmpty()) << instrument.error().toStdString();
        global_ini()->LED = 321;
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        theApp.m_nSlideType = SLIDE_TYPE_2CH;
        theApp.m_bAutoExposureOn = true;
        theApp.m_SaveReview.m_strBaseName = QStringLiteral("KOVA3");
        theApp.m_SaveReview.m_strSuffixType = QStringLiteral("Sequence");
        theApp.m_pCamera = camera;
        setup = std::make_unique<SetupDlg>();
        setup->show();
    }
    void TearDown() override
    {
        setup.reset();
        theApp.m_pCamera = nullptr;
        delete camera;
        theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
    }

    QPushButton* button(const char* name) const { return setup->findChild<QPushButton*>(QString::fromLatin1(name)); }
    QWidget* page(int state) const { return setup->findChild<QWidget*>(QString::fromLatin1(kPages[state])); }
    QLabel* overlay() const { return setup->findChild<QLabel*>(QStringLiteral("DIM_OVERLAY")); }
    int ledFrames() const
    {
        const std::vector<std::string> frames = instrument.mcu.frames();
        return int(std::count(frames.begin(), frames.end(), "$,LED4,BRT,321,\r\n"));
    }

    TestInstrument instrument;
    RunningCamera* camera = new RunningCamera;
    std::unique_ptr<SetupDlg> setup;
};

TEST_F(SetupDlgTest, OpensOnTheCountingOptionsAsTheCurrentScreenWithTheCameraClosed)
{
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_SETUP_DIALOG);
    EXPECT_EQ(setup->mainUIState(), SetupDlg::COUNTING_OPTIONS);
    EXPECT_EQ(camera->closes, 1);
    EXPECT_FALSE(overlay()->isVisible());
    EXPECT_FALSE(setup->findChild<QWidget*>(QStringLiteral("Progress"))->isVisible());
}

// Each menu button, pressed twice with the camera running: its page alone
// shows and its button alone is checked, and the page's own step runs on
// every press (page 0 closes the camera, page 4 sends the LED brightness).
TEST_F(SetupDlgTest, PageSwitchTable)
{
    struct Row
    {
        int state;
        int cameraCloses;
        int ledFrames;
    };
    const Row rows[] = {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 2}, {0, 1, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.state);
        camera->run();
        const int closesBefore = camera->closes;
        const int ledBefore = ledFrames();
        for (int press = 0; press < 2; ++press)
            button(kMenu[row.state])->click();
        for (int other = 0; other < 5; ++other) {
            EXPECT_EQ(page(other)->isVisible(), other == row.state) << kPages[other];
            EXPECT_EQ(button(kMenu[other])->isChecked(), other == row.state) << kMenu[other];
        }
        EXPECT_EQ(camera->closes - closesBefore, row.cameraCloses);
        EXPECT_EQ(ledFrames() - ledBefore, row.ledFrames);
    }
}

TEST_F(SetupDlgTest, PagesReadTheirControlsAgainOnEveryPress)
{
    theApp.m_CountingMode = BF_CELL_COUNTING_VIABILITY;
    theApp.m_nSlideType = SLIDE_TYPE_REUSABLE;
    button("BUTTON_CELL_COUNTING")->click();
    EXPECT_TRUE(setup->findChild<QRadioButton*>(QStringLiteral("RADIO_MODE_BF_V"))->isChecked());
    EXPECT_TRUE(setup->findChild<QRadioButton*>(QStringLiteral("RADIO_SLIDE_REUSABLE"))->isChecked());

    button("BUTTON_SAVE_REVIEW")->click();
    theApp.m_SaveReview.m_strBaseName = QStringLiteral("LATER");
    button("BUTTON_SAVE_REVIEW")->click();
    EXPECT_EQ(setup->findChild<QLineEdit*>(QStringLiteral("EDIT_BASE_NAME"))->text(), "LATER");
}

TEST_F(SetupDlgTest, HomeClearsAutoExposureOnlyWhenTheCountingModeChanged)
{
    struct Row
    {
        const char* name;
        QStringList clicks;
        bool autoExposureAfter;
    };
    const Row rows[] = {
        {"nothing", {}, true},
        {"viability", {"RADIO_MODE_BF_V"}, false},
        {"viability, then total again", {"RADIO_MODE_BF_V", "RADIO_MODE_BF_T"}, true},
        {"viability, other page, back", {"RADIO_MODE_BF_V", "BUTTON_DATE_POWER", "BUTTON_CELL_COUNTING"}, false},
        {"slide", {"RADIO_SLIDE_VALIDATION"}, true},
        {"save option", {"BUTTON_SAVE_REVIEW", "BUTTON_AUTOSAVE_ENABLE"}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        theApp.m_bAutoExposureOn = true;
        setup = std::make_unique<SetupDlg>();
        setup->show();
        for (const QString& name : row.clicks)
            QTest::mouseClick(setup->findChild<QAbstractButton*>(name), Qt::LeftButton);
        button("BUTTON_HOME")->click();
        EXPECT_EQ(theApp.m_bAutoExposureOn, row.autoExposureAfter);
        EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_HOME_DIALOG);
        EXPECT_FALSE(setup->isVisible());
    }
}

TEST_F(SetupDlgTest, HeaderShowsTheProtocolAndBadgeOfTheChosenMode)
{
    theApp.m_strTotalProtocolName = QStringLiteral("PBMC");
    theApp.m_strViabilityProtocolName = QStringLiteral("IQOQ");
    theApp.m_strDateTime = QStringLiteral("09 Feb 2024 08:05");
    setup->findChild<QRadioButton*>(QStringLiteral("RADIO_MODE_BF_V"))->click();
    setup->grab();  // paints
    EXPECT_EQ(setup->findChild<QLabel*>(QStringLiteral("LABEL_COMMON_PROTOCOL"))->text(), "IQOQ");
    EXPECT_EQ(setup->findChild<QLabel*>(QStringLiteral("LABEL_COMMON_DATETIME"))->text(), "09 Feb 2024 08:05");
    EXPECT_TRUE(setup->findChild<QLabel*>(QStringLiteral("LABEL_MODE"))->styleSheet().contains("BF_V_mode"));
}

// The power-off question dims the dialog on top: the date dialog, else the
// base-name keyboard, else the settings screen itself.
TEST_F(SetupDlgTest, PowerOffQuestionDimsTheDialogOnTop)
{
    button("BUTTON_DATE_POWER")->click();
    bool dateDialogDimmed = false;
    WhenModal<Setup_DateTimeDlg> dateDialog([&](Setup_DateTimeDlg* date) {
        setup->slot_set_backLabel(true);
        dateDialogDimmed = date->findChild<QLabel*>(QStringLiteral("DIM_OVERLAY"))->isVisible() && !overlay()->isVisible();
        setup->slot_set_backLabel(false);
        EXPECT_FALSE(date->findChild<QLabel*>(QStringLiteral("DIM_OVERLAY"))->isVisible());
        date->findChild<QPushButton*>(QStringLiteral("BUTTON_BACK"))->click();
    });
    setup->findChild<QPushButton*>(QStringLiteral("BUTTON_SETDATETIME"))->click();
    EXPECT_TRUE(dateDialogDimmed);

    button("BUTTON_SAVE_REVIEW")->click();
    bool keyboardDimmed = false;
    WhenModal<KeyboardDlg> keyboardDialog([&](KeyboardDlg* keyboard) {
        setup->slot_set_backLabel(true);
        keyboardDimmed = keyboard->findChild<QLabel*>(QStringLiteral("DIM_OVERLAY"))->isVisible() && !overlay()->isVisible();
        setup->slot_set_backLabel(false);
        keyboard->findChild<QPushButton*>(QStringLiteral("BUTTON_BACK"))->click();
    });
    QTest::mouseClick(setup->findChild<QLineEdit*>(QStringLiteral("EDIT_BASE_NAME")), Qt::LeftButton);
    EXPECT_TRUE(keyboardDimmed);

    setup->slot_set_backLabel(true);
    EXPECT_TRUE(overlay()->isVisible());
    setup->slot_set_backLabel(false);
    EXPECT_FALSE(overlay()->isVisible());
}

TEST_F(SetupDlgTest, QuestionOverAKeypadLeavesTheScreenDimmedWhenCancelled)
{
    theApp.m_bAutoShutdown = true;
    setup = std::make_unique<SetupDlg>();
    setup->show();
    button("BUTTON_DATE_POWER")->click();
    setup->findChild<QPushButton*>(QStringLiteral("BUTTON_POWERSAVER"))->click();
    bool dimmedAfterCancel = false;
    WhenModal<NumberKeypadDlg> keypad([&](NumberKeypadDlg* pad) {
        setup->slot_set_backLabel(true);
        setup->slot_set_backLabel(false);
        dimmedAfterCancel = overlay()->isVisible();
        closeKeypad(pad);
    });
    QTest::mousePress(setup->findChild<QLineEdit*>(QStringLiteral("EDIT_AUTO_SHUTDOWN_TIME")), Qt::LeftButton);
    EXPECT_TRUE(dimmedAfterCancel);
    EXPECT_FALSE(overlay()->isVisible()) << "lifted when the key pad closed";
}

TEST_F(SetupDlgTest, BusyIndicatorShowsAboveEverything)
{
    setup->slot_setProgress(true);
    QWidget* progress = setup->findChild<QWidget*>(QStringLiteral("Progress"));
    EXPECT_TRUE(progress->isVisible());
    EXPECT_NE(setup->findChild<QLabel*>(QStringLiteral("LABEL_PROGRESS_ICON"))->movie(), nullptr);
    setup->slot_setProgress(false);
    EXPECT_FALSE(progress->isVisible());
}

}  // namespace
