#include "CountScreenFixture.h"

#include "Algorithm/AutoExposure.h"
#include "Algorithm/alg_Autofocus.h"
#include "File_IO/ini.h"
#include "platform/SimulatedVideo.h"

#include <cstdlib>
#include <utility>

namespace {

constexpr int kFocus = TestInstrument::kFocus;

class CountFocus : public CountScreen
{
protected:
    // The controller's tracked position where the stage stands, as after an answered move.
    void placeStage(int position)
    {
        instrument.mcu.setPosition(position);
        ASSERT_EQ(instrument.controller->z_stage_pos(), position);
        theApp.m_nZstageCurrentPos = position;
    }

    // A focus button's click, and the stage's answer.
    void press(const char* button, int expected)
    {
        child<QPushButton>(button)->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return theApp.m_nZstageCurrentPos == expected; }, kWaitMs))
            << button << " to " << expected << ", at " << theApp.m_nZstageCurrentPos;
    }

    // The factory's trypan-blue calibration, which auto exposure copies.
    void writeCalibration()
    {
        instrument.writeFile(kova::kCalibrationCusIni, "[1280]\n0x3501=0x03\n0x3502=0xE8\n[5M]\n0x3501=0x01\n0x3502=0x04\n");
    }

    // The exposure kept in AutoExposure.ini for a group.
    static int keptExposure(const char* group)
    {
        std::string high, low;
        ini_read(group, "0x3501", "", high, kova::kAutoExposureIni);
        ini_read(group, "0x3502", "", low, kova::kAutoExposureIni);
        return int(std::strtoul(high.c_str(), nullptr, 16) << 8 | std::strtoul(low.c_str(), nullptr, 16));
    }

    // The live view for Find Cells: the factory calibration, the centre 2000
    // steps above the focus with the stage there, the exposure at 600.
    void enterForFindCells()
    {
        writeCalibration();
        theApp.m_nZstageCenterPos = kFocus + 2000;
        instrument.mcu.setPosition(theApp.m_nZstageCenterPos);
        enterAndWaitForTheLiveView();
        theApp.m_pCamera->setRegister(0x3501, 600);
    }

    // The green of a checked live frame at the exposure in force.
    int liveGreen() { return theApp.m_pCamera->getGreenMean(dlg->getFrame(CountDlg::kExposureFrameSkip)); }
};

TEST_F(CountFocus, StepsMoveTheStageAndTheWindowStopsAButtonAtItsEdge)
{
    const struct
    {
        int centre;
        int start;  // relative to the centre
        const char* button;
        int step;
        bool plus;
        bool minus;
    } cases[] = {
        {kFocus, 5888, "BUTTON_AUTO_FOCUS_PLUS", 256, false, true},
        {kFocus, 5887, "BUTTON_AUTO_FOCUS_PLUS", 256, true, true},
        {kFocus, -5888, "BUTTON_AUTO_FOCUS_MINUS", -256, true, false},
        {kFocus, -5887, "BUTTON_AUTO_FOCUS_MINUS", -256, true, true},
        // A centre below 6144: the lower edge is negative and far away.
        {3000, 0, "BUTTON_AUTO_FOCUS_MINUS", -256, true, true},
    };
    auto* plus = child<QPushButton>("BUTTON_AUTO_FOCUS_PLUS");
    auto* minus = child<QPushButton>("BUTTON_AUTO_FOCUS_MINUS");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.button << " from " << c.start << " around " << c.centre);
        theApp.m_nZstageCenterPos = c.centre;
        placeStage(c.centre);
        dlg->InitPosition();  // follows the stage's answers from now on
        placeStage(c.centre + c.start);
        plus->setEnabled(true);
        minus->setEnabled(true);

        press(c.button, c.centre + c.start + c.step);

        EXPECT_EQ(instrument.mcu.frames().back(),
                  std::string(c.step > 0 ? "$,STM1,MVP,256,\r\n" : "$,STM1,MVN,256,\r\n"));
        EXPECT_EQ(instrument.mcu.state().position, c.centre + c.start + c.step);
        EXPECT_EQ(plus->isEnabled(), c.plus);
        EXPECT_EQ(minus->isEnabled(), c.minus);
        EXPECT_TRUE(child<QPushButton>(c.button)->isChecked());
        EXPECT_EQ(child("LABEL_FOCUS_GUIDE_LINE")->y(),
                  FocusWindow::indicatorY(c.centre + c.start + c.step, c.centre - FocusWindow::kHalfWidth));
    }
    // The other button makes a stopped one usable again at once, before any answer.
    theApp.m_nZstageCenterPos = kFocus;
    placeStage(kFocus + 5888);
    press("BUTTON_AUTO_FOCUS_PLUS", kFocus + 6144);
    ASSERT_FALSE(plus->isEnabled());
    minus->click();
    EXPECT_TRUE(plus->isEnabled());
}

TEST_F(CountFocus, OffsetButtonCyclesZeroOneTwoAndEntryResetsIt)
{
    auto* offset = child<QPushButton>("BUTTON_AUTO_FOCUS_OFFSET");
    const struct
    {
        int value;
        const char* caption;
        int pixels;
    } steps[] = {{1, "1", 24}, {2, "2", 24}, {0, "Offset", 18}, {1, "1", 24}};
    for (const auto& step : steps) {
        offset->click();
        EXPECT_EQ(dlg->autofocusOffset(), step.value);
        EXPECT_EQ(offset->text(), step.caption);
        EXPECT_EQ(offset->font().pixelSize(), step.pixels);
    }
    theApp.m_nAutofocusOffset = 1;
    dlg->Init();
    EXPECT_EQ(dlg->autofocusOffset(), 0);
    EXPECT_EQ(theApp.m_nAutofocusOffset, 0);
    EXPECT_EQ(offset->text(), "Offset");
}

TEST_F(CountFocus, AutoExposureFromADarkAndABrightStartEndsInTheBandAndKeepsIt)
{
    writeCalibration();
    enterAndWaitForTheLiveView();
    for (const unsigned short start : {300, 3500}) {
        SCOPED_TRACE(start);
        QFile::remove(instrument.path(kova::kAutoExposureIni));
        theApp.m_pCamera->setRegister(0x3501, start);

        dlg->slot_do_autoExposure();

        const int exposure = theApp.m_pCamera->getRegister(0x3501);
        EXPECT_NE(exposure, start);
        const int green = liveGreen();
        EXPECT_GE(green, AutoExposure::kBandLow);
        EXPECT_LE(green, AutoExposure::kBandHigh);
        EXPECT_EQ(keptExposure("1280"), exposure);
        EXPECT_EQ(keptExposure("5M"), int(exposure * 0.26));
    }
    // The reference of the next count is the live picture's green.
    dlg->slot_check_intensity();
    EXPECT_NEAR(dlg->greenReference(), 150.0, 6.0);
}

// A camera that gives nothing new ends the search at its first wait for a
// frame, and so does a search that has used up its time: the camera message,
// the exposure as it was, nothing kept. (Before, a stalled camera cost ten
// takes of up to a second for each of up to some forty measurements, and its
// stale picture passed for a picture at every exposure.)
TEST_F(CountFocus, AutoExposureEndsWithTheCameraMessageWhenNoNewFrameComes)
{
    using platform::SimulatedVideo;
    writeCalibration();
    enterAndWaitForTheLiveView();
    CountDlg::seams().newFrameTimeoutMs = 100;  // the camera's frames come every few tens of ms
    const struct
    {
        const char* name;
        bool noFrame;
        int searchMs;
    } cases[] = {
        {"a stalled camera", true, CountDlg::Seams().exposureSearchMs},
        {"no time left", false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(instrument.path(kova::kAutoExposureIni));
        theApp.m_pCamera->setRegister(0x3501, 600);
        SimulatedVideo::Faults faults;
        faults.noFrame = c.noFrame;
        ASSERT_TRUE(SimulatedVideo::setFaults(faults));
        CountDlg::seams().exposureSearchMs = c.searchMs;
        ModalAnswerer boxes;
        boxes.plan(true);

        EXPECT_FALSE(dlg->slot_do_autoExposure());

        EXPECT_TRUE(boxes.allPlannedAnswered());
        EXPECT_EQ(boxes.unplanned, 0);
        EXPECT_TRUE(boxes.shown.value(0).contains("transmission error")) << boxes.shown.join('|').toStdString();
        EXPECT_EQ(theApp.m_pCamera->getRegister(0x3501), 600);
        EXPECT_FALSE(QFile::exists(instrument.path(kova::kAutoExposureIni)));
    }
    ASSERT_TRUE(SimulatedVideo::setFaults({}));
}

struct AutofocusCase
{
    int centreOffset;  // calibrated centre - the slide's focus
    int offset;        // the offset button's choice
};

class CountAutofocus : public CountFocus, public ::testing::WithParamInterface<AutofocusCase> {};

TEST_P(CountAutofocus, EndsAtTheSlidesFocusPlusTheOffset)
{
    const AutofocusCase& c = GetParam();
    theApp.m_nZstageCenterPos = kFocus + c.centreOffset;
    instrument.mcu.setPosition(theApp.m_nZstageCenterPos);
    enterAndWaitForTheLiveView();
    for (int press = 0; press < c.offset; ++press)
        child<QPushButton>("BUTTON_AUTO_FOCUS_OFFSET")->click();
    QSignalSpy ended(dlg.get(), &CountDlg::sig_endAutoFocusing);

    dlg->slot_do_autoFocusing();

    ASSERT_EQ(ended.count(), 1);
    const int target = kFocus + c.offset * alg_Autofocus::kStepSize;
    EXPECT_LE(std::abs(instrument.mcu.state().position - target), alg_Autofocus::kStepSize)
        << "at " << instrument.mcu.state().position;
    EXPECT_EQ(theApp.m_nZstageCurrentPos, instrument.mcu.state().position);
    EXPECT_EQ(theApp.m_nAutofocusOffset, c.offset);
    EXPECT_FALSE(theApp.m_bAutofocusing);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(dlg->findChild<alg_Autofocus*>(), nullptr) << "released after its run";
}

INSTANTIATE_TEST_SUITE_P(Runs, CountAutofocus,
                         ::testing::Values(AutofocusCase{-3000, 0}, AutofocusCase{3000, 0}, AutofocusCase{0, 1},
                                           AutofocusCase{0, 2}),
                         [](const auto& info) {
                             return "centre" + std::string(info.param.centreOffset < 0 ? "Below" : "") +
                                    (info.param.centreOffset > 0 ? "Above" : "") + "Offset" +
                                    std::to_string(info.param.offset);
                         });

// A restart during Find Cells darkens the LED and homes the stage under its
// autofocus: what it found is kept nowhere. The exposure stays as it was,
// and message 48 ends the run.
TEST_F(CountFocus, ARestartDuringFindCellsKeepsTheExposureAndEndsWithMessage48)
{
    ASSERT_NO_FATAL_FAILURE(enterForFindCells());
    QFile::remove(instrument.path(kova::kAutoExposureIni));
    bool raised = false;
    QObject::connect(dlg.get(), &CountDlg::sig_debug_Message, dlg.get(), [&] {
        if (!std::exchange(raised, true))
            instrument.mcu.raiseRestart();
    });
    ModalAnswerer boxes;
    boxes.plan(true);

    child<QPushButton>("BUTTON_FIND_CELLS")->click();

    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.shown.isEmpty(); }, kWaitMs)) << "no message";
    EXPECT_TRUE(boxes.shown[0].contains("transmission error")) << boxes.shown[0].toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->isEnabled(); }, kWaitMs));
    EXPECT_FALSE(theApp.m_bBusy);
    EXPECT_EQ(theApp.m_pCamera->getRegister(0x3501), 600);
    EXPECT_FALSE(QFile::exists(instrument.path(kova::kAutoExposureIni)));
    EXPECT_FALSE(theApp.m_bAutoExposureOn);
    EXPECT_EQ(boxes.unplanned, 0);
}

TEST_F(CountFocus, FindCellsLocksTheScreenUntilItsOwnAutofocusEnds)
{
    ASSERT_NO_FATAL_FAILURE(enterForFindCells());
    std::vector<bool> enabledDuringTheRun;
    QObject::connect(dlg.get(), &CountDlg::sig_debug_Message,
                     [&] { enabledDuringTheRun.push_back(dlg->isEnabled()); });

    child<QPushButton>("BUTTON_FIND_CELLS")->click();

    ASSERT_FALSE(enabledDuringTheRun.empty());
    EXPECT_EQ(std::count(enabledDuringTheRun.begin(), enabledDuringTheRun.end(), true), 0);
    EXPECT_TRUE(dlg->isEnabled());
    EXPECT_FALSE(theApp.m_bBusy);
    EXPECT_TRUE(theApp.m_bAutoExposureOn);
    EXPECT_TRUE(QFile::exists(instrument.path(kova::kAutoExposureIni)));
    EXPECT_LE(std::abs(instrument.mcu.state().position - kFocus), alg_Autofocus::kStepSize);
    const int green = liveGreen();
    EXPECT_GE(green, AutoExposure::kBandLow);
    EXPECT_LE(green, AutoExposure::kBandHigh);

    // Another autofocus (as before a count) does not unlock anything.
    dlg->setEnabled(false);
    dlg->slot_do_autoFocusing();
    EXPECT_FALSE(dlg->isEnabled());

    // A new entry forgets the exposure.
    dlg->stopCamera(false);
    dlg->Init();
    EXPECT_FALSE(theApp.m_bAutoExposureOn);
}

}  // namespace
