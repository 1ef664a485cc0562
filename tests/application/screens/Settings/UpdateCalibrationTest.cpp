#include "Settings/UpdateCalibrationFrame.h"

#include "AppNetwork.h"
#include "Calibration/CalibratingThread.h"
#include "Camera/OV5642Camera.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "ModalAnswerer.h"
#include "ScriptedCalibrationCamera.h"
#include "Settings/CalibrateAutofocusDlg.h"
#include "Settings/CalibrateBackgroundDlg.h"
#include "Settings/CalibrationSupport.h"
#include "Settings/IQOQDlg.h"
#include "Settings/SetupDlg.h"
#include "TestInstrument.h"
#include "WhenModal.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace std::chrono_literals;

namespace {

const char* const kRegisterFiles[] = {kova::kCalibrationBfnIni, kova::kCalibrationCusIni, kova::kAutoExposureIni};

QString labelText(const QWidget* parent, const char* name)
{
    return parent->findChild<QLabel*>(QString::fromLatin1(name))->text();
}

// The page and its dialogs on the tests' virtual instrument (microcontroller
// and camera), with their waits shortened.
class UpdateCalibrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(instrument.error().isEmpty()) << instrument.error().toStdString();
        instrument.mcu.setStepTime(0us);
        CalibrateBackgroundDlg::seams().settleMs = 0;
        CalibrateBackgroundDlg::seams().startPauseMs = 0;
        CalibrateBackgroundDlg::seams().endPauseMs = 0;
        CalibrateAutofocusDlg::seams().settleMs = 0;
        calibrationCameraOpener() = [] {
            if (!theApp.m_pCamera)
                theApp.m_pCamera = new OV5642Camera;
            theApp.m_pCamera->open(1, CUR_CAL_INI, false);
        };
        Calibration_s& calibration = theApp.m_Calibration;
        calibration = Calibration_s();
        calibration.Z_Reference = 30000;
        calibration.Last_ref_calibration = calibration.Last_calibration = QStringLiteral("-");
        theApp.m_strDateTime = QStringLiteral("09 Feb 2024 08:05");
        theApp.m_nSlideType = SLIDE_TYPE_2CH;
        theApp.m_bAutoExposureOn = theApp.m_bCalibrating = theApp.m_bAutofocusing = false;
    }
    void TearDown() override
    {
        CalibrateBackgroundDlg::seams() = CalibrateBackgroundDlg::Seams();
        CalibrateAutofocusDlg::seams() = CalibrateAutofocusDlg::Seams();
        calibrationCameraOpener() = nullptr;
        delete theApp.m_pCamera;
        theApp.m_pCamera = nullptr;
        theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
        EXPECT_EQ(boxes.unplanned, 0);
    }

    // The 1280 × 960 exposure of a register file, written as its two bytes.
    void writeExposure(const char* file, const char* high, const char* low)
    {
        instrument.writeFile(file, QStringLiteral("[1280]\n0x3501=%1\n0x3502=%2\n").arg(high, low).toLatin1());
    }
    std::vector<std::string> framesSince(std::size_t before) const
    {
        const std::vector<std::string> frames = instrument.mcu.frames();
        return {frames.begin() + std::ptrdiff_t(before), frames.end()};
    }

    TestInstrument instrument;
    ModalAnswerer boxes;
};

TEST_F(UpdateCalibrationTest, BackgroundValueIsReadFromBothFilesAndItsChangeIsTold)
{
    UpdateCalibrationFrame page;
    page.update_Background();
    EXPECT_EQ(theApp.m_Calibration.Background_value, ", ") << "no files";

    writeExposure(kova::kCalibrationBfnIni, "0x03", "0x1E");
    writeExposure(kova::kCalibrationCusIni, "0x02", "0xBC");
    page.update_Background();
    EXPECT_EQ(theApp.m_Calibration.Background_value, "0x031E, 0x02BC");
    EXPECT_EQ(labelText(&page, "LABEL_BACKGROUND_VALUE"), "0x031E, 0x02BC");
    EXPECT_TRUE(page.backgroundChanged());

    page.update_Background();
    EXPECT_FALSE(page.backgroundChanged()) << "the same result again";
}

TEST_F(UpdateCalibrationTest, HomeAfterAChangedBackgroundLeavesAutoExposure)
{
    appNetworkManager();
    theApp.m_bAutoExposureOn = true;
    SetupDlg setup;
    setup.findChild<QPushButton*>(QStringLiteral("BUTTON_HOME"))->click();
    EXPECT_TRUE(theApp.m_bAutoExposureOn) << "nothing changed";

    SetupDlg again;
    writeExposure(kova::kCalibrationBfnIni, "0x03", "0x1E");
    again.findChild<UpdateCalibrationFrame*>()->update_Background();
    again.findChild<QPushButton*>(QStringLiteral("BUTTON_HOME"))->click();
    EXPECT_FALSE(theApp.m_bAutoExposureOn);
}

TEST_F(UpdateCalibrationTest, FocusReferenceGivesTheSlidesAndTheCentre)
{
    const struct
    {
        int slide;
        int centre;
    } rows[] = {{SLIDE_TYPE_2CH, 32560}, {SLIDE_TYPE_REUSABLE, 35120}, {SLIDE_TYPE_VALIDATION, 30000}, {5, 12345}};
    UpdateCalibrationFrame page;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.slide);
        theApp.m_nSlideType = row.slide;
        theApp.m_nZstageCenterPos = theApp.m_nZstageCurrentPos = 12345;
        const std::size_t before = instrument.mcu.frames().size();
        page.update_Autofocus();
        EXPECT_EQ(theApp.m_Calibration.Z_Reference_Validation, 30000);
        EXPECT_EQ(theApp.m_Calibration.Z_Reference_2ch, 32560);
        EXPECT_EQ(theApp.m_Calibration.Z_Reference_Reusable, 35120);
        EXPECT_EQ(theApp.m_nZstageCenterPos, row.centre);
        EXPECT_EQ(theApp.m_nZstageCurrentPos, row.centre);
        EXPECT_EQ(labelText(&page, "LABEL_FOCUS_VALUE"), "30000");
        EXPECT_TRUE(framesSince(before).empty()) << "no stage command";
    }
}

// The calibration view moves the stage to the centre on every press.
TEST_F(UpdateCalibrationTest, CalibrationViewMovesTheStageToTheCentre)
{
    const struct
    {
        int position;
        const char* move;
    } rows[] = {{33000, "$,STM1,MVN,1000,\r\n"}, {29000, "$,STM1,MVP,3000,\r\n"}, {32000, ""}};
    UpdateCalibrationFrame page;
    theApp.m_nZstageCenterPos = 32000;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.position);
        instrument.mcu.setPosition(row.position);
        theApp.m_nZstageCurrentPos = 0;
        const std::size_t before = instrument.mcu.frames().size();
        page.findChild<QPushButton*>(QStringLiteral("BUTTON_CALIBRATION"))->click();
        EXPECT_TRUE(QTest::qWaitFor([&] { return instrument.mcu.state().position == 32000; }, 5000));
        std::vector<std::string> expected = {"$,STM1,GET_POS,,\r\n"};
        if (*row.move)
            expected.push_back(row.move);
        EXPECT_EQ(framesSince(before), expected);
        EXPECT_EQ(theApp.m_nZstageCurrentPos, *row.move ? 0 : 32000) << "kept only when no move";
        EXPECT_FALSE(page.findChild<QWidget*>(QStringLiteral("SW_UPDATE"))->isVisible());
    }

    instrument.controller->setTimeouts(100, 200);
    instrument.mcu.setPosition(20000);
    instrument.mcu.setFault(McuSimulator::Fault::Silence);
    const std::size_t before = instrument.mcu.frames().size();
    page.InitPosition();
    EXPECT_EQ(framesSince(before), std::vector<std::string>{"$,STM1,GET_POS,,\r\n"}) << "no position: no move";
}

TEST_F(UpdateCalibrationTest, SystemInformationShowsTheSixRowsAsStored)
{
    IQOQ_s& system = global_ini()->IQOQ;
    system = IQOQ_s{"Maker", "Type", "1 GB", "800 x 480", "A very long operating system name that the label cuts",
                    "3.1.4", "1.0.2", "-"};
    IQOQDlg information;
    EXPECT_EQ(information.geometry(), QRect(100, 65, 600, 350));
    const char* values[][2] = {{"LABEL_CPU_MANUFACTURER_INFO", "Maker"}, {"LABEL_CPU_TYPE_INFO", "Type"},
                               {"LABEL_RAM_SIZE_INFO", "1 GB"}, {"LABEL_SCREEN_RESOLUTION_INFO", "800 x 480"},
                               {"LABEL_OPERATING_SYSTEM_INFO", "A very long operating system name that the label cuts"},
                               {"LABEL_SOFTWARE_VERSION_INFO", "1.0.2"}};
    for (const auto& [label, value] : values)
        EXPECT_EQ(labelText(&information, label), value) << label;
    information.show();
    EXPECT_FALSE(information.findChild<QLabel*>(QStringLiteral("LABEL_USB_INTERFACE"))->isVisible());
    EXPECT_FALSE(information.findChild<QLabel*>(QStringLiteral("LABEL_USB_INTERFACE_INFO"))->isVisible());

    UpdateCalibrationFrame page;
    QSignalSpy dimming(&page, &UpdateCalibrationFrame::signal_setBackStatus);
    WhenModal<IQOQDlg> ok([](IQOQDlg* dialog) { dialog->findChild<QPushButton*>(QStringLiteral("BUTTON_OK"))->click(); });
    page.findChild<QPushButton*>(QStringLiteral("BUTTON_IQOQ"))->click();
    EXPECT_TRUE(ok.done());
    EXPECT_EQ(dimming.size(), 2);
}

// The illumination calibration dialog on a scripted camera.
class BackgroundDialogTest : public UpdateCalibrationTest
{
protected:
    void SetUp() override
    {
        UpdateCalibrationTest::SetUp();
        CalibrateBackgroundDlg::seams().makeCamera = [this] {
            auto camera = std::make_unique<ScriptedCalibrationCamera>();
            camera->registers = {{0x3400, 0x0400}, {0x3402, 0x0400}, {0x3404, 0x0400}};
            camera->scene = evenField(level, level, level);
            return camera;
        };
        theApp.m_nZstageCenterPos = instrument.mcu.state().position;
    }
    void start(CalibrateBackgroundDlg& dlg)
    {
        dlg.findChild<QPushButton*>(QStringLiteral("BUTTON_START"))->click();
    }
    bool waitForState(CalibrateBackgroundDlg& dlg, CalibrateBackgroundDlg::State state)
    {
        return QTest::qWaitFor([&] { return dlg.state() == state; }, 30000);
    }
    QPushButton* button(CalibrateBackgroundDlg& dlg, const char* name)
    {
        return dlg.findChild<QPushButton*>(QString::fromLatin1(name));
    }
    void expectExitAlone(CalibrateBackgroundDlg& dlg)
    {
        EXPECT_FALSE(button(dlg, "BUTTON_START")->isVisible());
        EXPECT_FALSE(button(dlg, "BUTTON_SKIP")->isVisible());
        EXPECT_TRUE(button(dlg, "BUTTON_EXIT")->isVisible());
        EXPECT_EQ(button(dlg, "BUTTON_EXIT")->geometry(), QRect(174, 214, 150, 46));
    }

    float level = 196.0f;
};

TEST_F(BackgroundDialogTest, StartMovesTheStageToTheCentre)
{
    const struct
    {
        int centreOffset;
        const char* move;
    } rows[] = {{-1000, "$,STM1,MVN,1000,\r\n"}, {1000, "$,STM1,MVP,1000,\r\n"}, {0, ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.centreOffset);
        CalibrateBackgroundDlg dlg;
        dlg.show();
        const int position = instrument.mcu.state().position;
        theApp.m_nZstageCenterPos = position + row.centreOffset;
        const std::size_t before = instrument.mcu.frames().size();
        start(dlg);
        ASSERT_TRUE(waitForState(dlg, CalibrateBackgroundDlg::STATE_STEP2));
        const std::vector<std::string> frames = framesSince(before);
        ASSERT_GE(frames.size(), 1u);
        EXPECT_EQ(frames[0], "$,STM1,GET_POS,,\r\n");
        EXPECT_EQ(frames.size() > 1 ? frames[1] : std::string(), row.move);
        EXPECT_TRUE(QTest::qWaitFor([&] { return instrument.mcu.state().position == theApp.m_nZstageCenterPos; }, 5000));
    }
}

TEST_F(BackgroundDialogTest, TwoStepsToCompleteThenTheTablesAreReloaded)
{
    CalibrateBackgroundDlg dlg;
    dlg.show();
    EXPECT_EQ(dlg.state(), CalibrateBackgroundDlg::STATE_STEP1);
    EXPECT_TRUE(labelText(&dlg, "LABEL_MESSAGE").contains("Calibration Step 1"));
    start(dlg);
    EXPECT_TRUE(theApp.m_bCalibrating);
    ASSERT_TRUE(waitForState(dlg, CalibrateBackgroundDlg::STATE_STEP2));
    EXPECT_EQ(dlg.lastResult(), 0);
    EXPECT_TRUE(button(dlg, "BUTTON_START")->isVisible());
    EXPECT_TRUE(button(dlg, "BUTTON_SKIP")->isVisible());
    dlg.repaint();
    EXPECT_TRUE(labelText(&dlg, "LABEL_MESSAGE").contains("Calibration Step 2"));

    global_ini()->regTables[REG_TABLE_CUS][REG_ROW_1280][1] = 0;
    start(dlg);
    ASSERT_TRUE(waitForState(dlg, CalibrateBackgroundDlg::STATE_COMPLETE));
    dlg.repaint();
    EXPECT_TRUE(labelText(&dlg, "LABEL_MESSAGE").contains("Calibration is complete!"));
    expectExitAlone(dlg);
    // Step 2 found 765 (0x02FD) for the viability file; the table has it.
    EXPECT_EQ(global_ini()->regTables[REG_TABLE_CUS][REG_ROW_1280][0], 0x02);
    EXPECT_EQ(global_ini()->regTables[REG_TABLE_CUS][REG_ROW_1280][1], 0xFD);
    EXPECT_EQ(dlg.progress(), kCalibrationProgressWidth);

    button(dlg, "BUTTON_EXIT")->click();
    EXPECT_FALSE(theApp.m_bCalibrating);
    EXPECT_FALSE(dlg.isVisible());
}

TEST_F(BackgroundDialogTest, FailedStepShowsItsCodeAndOffersOnlyExit)
{
    level = 2.0f;
    CalibrateBackgroundDlg dlg;
    dlg.show();
    start(dlg);
    ASSERT_TRUE(waitForState(dlg, CalibrateBackgroundDlg::STATE_FAILED));
    dlg.repaint();
    EXPECT_TRUE(labelText(&dlg, "LABEL_MESSAGE").contains("Calibration Failed! (error : -1001)"));
    EXPECT_TRUE(labelText(&dlg, "LABEL_MESSAGE").contains("Please repeate the calibration."));
    expectExitAlone(dlg);
    for (const char* file : kRegisterFiles)
        EXPECT_TRUE(instrument.readFile(file).isEmpty()) << file;
}

TEST_F(BackgroundDialogTest, SkipTwiceCompletesAndExitStillReloads)
{
    CalibrateBackgroundDlg dlg;
    dlg.show();
    button(dlg, "BUTTON_SKIP")->click();
    EXPECT_EQ(dlg.state(), CalibrateBackgroundDlg::STATE_STEP2);
    button(dlg, "BUTTON_SKIP")->click();
    EXPECT_EQ(dlg.state(), CalibrateBackgroundDlg::STATE_COMPLETE);
    expectExitAlone(dlg);
    writeExposure(kova::kCalibrationBfnIni, "0x04", "0x4D");
    button(dlg, "BUTTON_EXIT")->click();
    EXPECT_EQ(global_ini()->regTables[REG_TABLE_BFN][REG_ROW_1280][0], 0x04);
    EXPECT_EQ(global_ini()->regTables[REG_TABLE_BFN][REG_ROW_1280][1], 0x4D);
    EXPECT_TRUE(theApp.m_Calibration.Background_value.startsWith("0x044D, "));
}

// The dialog goes while its step waits for the camera, which only the
// dialog's own thread could open: no deadlock, and the camera stays closed.
TEST_F(BackgroundDialogTest, TheThreeSpareFieldsStayHidden)
{
    CalibrateBackgroundDlg dlg;
    dlg.show();
    for (const char* name : {"EDIT_1", "EDIT_5M1", "EDIT_2"}) {
        auto* field = dlg.findChild<QWidget*>(QString::fromLatin1(name));
        ASSERT_NE(field, nullptr) << name;
        EXPECT_TRUE(field->isHidden()) << name;
    }
}

TEST_F(BackgroundDialogTest, DestroyingTheDialogMidStepDoesNotWaitForItself)
{
    CalibrateBackgroundDlg::seams().makeCamera = nullptr;
    int openings = 0;
    calibrationCameraOpener() = [&openings] { ++openings; };
    auto dlg = std::make_unique<CalibrateBackgroundDlg>();
    start(*dlg);
    dlg.reset();
    QTest::qWait(50);  // the abandoned opening, had it stayed queued, would run now
    EXPECT_EQ(openings, 0);
}

// The focus calibration with the real autofocus on the tests' instrument.
TEST_F(UpdateCalibrationTest, FocusCalibrationTakesTheEndOfTheSearchAsReference)
{
    theApp.m_nZstageCenterPos = TestInstrument::kFocus - 2000;
    instrument.mcu.setPosition(theApp.m_nZstageCenterPos);
    theApp.m_bAutoExposureOn = true;
    CalibrateAutofocusDlg dlg;
    dlg.show();
    std::vector<int> positions;
    // Queued: each move's report is noted once the dialog has taken its position.
    QObject::connect(
        &dlg, &CalibrateAutofocusDlg::sig_debug_Message, &dlg,
        [&] { positions.push_back(theApp.m_nZstageCurrentPos); }, Qt::QueuedConnection);
    dlg.findChild<QPushButton*>(QStringLiteral("BUTTON_START"))->click();

    EXPECT_EQ(dlg.messageType(), CalibrateAutofocusDlg::MESSAGE_COMPLETE);
    EXPECT_NEAR(theApp.m_Calibration.Z_Reference, TestInstrument::kFocus, 256);
    EXPECT_EQ(theApp.m_Calibration.Z_Reference, instrument.mcu.state().position);
    EXPECT_EQ(theApp.m_Calibration.Last_ref_calibration, "09 Feb 2024 08:05");
    EXPECT_GE(positions.size(), 15u) << "every stop of the sweep";
    EXPECT_EQ(positions.front(), theApp.m_nZstageCenterPos - 7 * 512);
    EXPECT_FALSE(theApp.m_pCamera->isRunning());
    EXPECT_FALSE(theApp.m_bAutoExposureOn);
    EXPECT_FALSE(theApp.m_bCalibrating);
    EXPECT_FALSE(theApp.m_bAutofocusing);
    EXPECT_EQ(CUR_CAL_INI, kova::kCalibrationBfnIni);
    EXPECT_EQ(dlg.findChild<QPushButton*>(QStringLiteral("BUTTON_EXIT"))->geometry(), QRect(174, 214, 150, 46));
}

TEST_F(UpdateCalibrationTest, FocusCalibrationLeftAtOnceTouchesNothing)
{
    theApp.m_bAutoExposureOn = true;
    CUR_CAL_INI = kova::kAutoExposureIni;
    const std::size_t before = instrument.mcu.frames().size();
    UpdateCalibrationFrame page;
    WhenModal<CalibrateAutofocusDlg> exit(
        [](CalibrateAutofocusDlg* dlg) { dlg->findChild<QPushButton*>(QStringLiteral("BUTTON_EXIT"))->click(); });
    page.findChild<QPushButton*>(QStringLiteral("BUTTON_CALIBRATE_AUTOFOCUS"))->click();
    ASSERT_TRUE(exit.done());
    EXPECT_EQ(theApp.m_pCamera, nullptr);
    EXPECT_TRUE(theApp.m_bAutoExposureOn);
    EXPECT_EQ(CUR_CAL_INI, kova::kAutoExposureIni);
    EXPECT_EQ(theApp.m_Calibration.Z_Reference, 30000);
    EXPECT_EQ(theApp.m_Calibration.Last_ref_calibration, "-");
    EXPECT_TRUE(framesSince(before).empty());
    EXPECT_EQ(theApp.m_nZstageCenterPos, 32560) << "the references are derived again all the same";
}

}  // namespace
