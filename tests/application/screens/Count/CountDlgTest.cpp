#include "CountScreenFixture.h"

#include "Debug/DebugPanel.h"

#include "platform/SimulatedVideo.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPointer>

#include <opencv2/core.hpp>

#include <chrono>
#include <mutex>
#include <vector>

using platform::SimulatedVideo;

namespace {

// ---------------------------------------------------------------------------
// Pages

struct PageCase
{
    int state;
    const char* title;  // null: unchanged
    std::vector<const char*> shown;
    std::vector<const char*> hidden;
};

TEST_F(CountScreen, EachStateShowsItsPage)
{
    const char* const kHeader[] = {"LABEL_COUNT_TITLE", "LABEL_COMMON_PROTOCOL", "LABEL_COMMON_DATETIME",
                                   "LABEL_COMMON_TITLE", "LABEL_COMMON_TITLE2"};
    const PageCase cases[] = {
        {0, "Count", {"BUTTON_HOME", "BEFORE_COUNT", "BUTTON_ZOOM"},
         {"AFTER_COUNT", "RESULT_RESULTS", "RESULT_IMAGE", "HISTOGRAM_GATING", "BUTTON_TAG", "BUTTON_RESULT_ZOOM"}},
        {1, "Result", {"AFTER_COUNT", "BUTTON_HOME", "RESULT_RESULTS"},
         {"RESULT_IMAGE", "BEFORE_COUNT", "BUTTON_ZOOM", "HISTOGRAM_GATING", "BUTTON_TAG", "BUTTON_RESULT_ZOOM"}},
        {2, "Histogram & Gating", {"BUTTON_HOME", "AFTER_COUNT", "HISTOGRAM_GATING"},
         {"RESULT_RESULTS", "RESULT_IMAGE", "BUTTON_ZOOM", "BEFORE_COUNT", "BUTTON_TAG", "BUTTON_RESULT_ZOOM"}},
        {3, "Image", {"BUTTON_HOME", "AFTER_COUNT", "RESULT_IMAGE", "BUTTON_RESULT_ZOOM", "BUTTON_TAG"},
         {"RESULT_RESULTS", "BEFORE_COUNT", "HISTOGRAM_GATING"}},
        {5, nullptr, {}, {}},
        {-1, nullptr, {}, {}},
    };
    for (const PageCase& c : cases) {
        SCOPED_TRACE(c.state);
        // From a page that shows everything the next one might hide, with the graph button down.
        dlg->setMainUIState(CountDlg::StateImage);
        child<QPushButton>("BUTTON_GRAPH")->setChecked(true);
        for (const char* name : kHeader)
            child(name)->hide();
        child<QLabel>("LABEL_COUNT_TITLE")->setText(QStringLiteral("before"));

        dlg->setMainUIState(c.state);

        EXPECT_EQ(dlg->state(), c.state);
        EXPECT_EQ(child<QLabel>("LABEL_COUNT_TITLE")->text(), c.title ? QString::fromUtf8(c.title) : "before");
        for (const char* name : kHeader)
            EXPECT_FALSE(child(name)->isHidden()) << name;
        for (const char* name : c.shown)
            EXPECT_FALSE(child(name)->isHidden()) << name;
        for (const char* name : c.hidden)
            EXPECT_TRUE(child(name)->isHidden()) << name;
        EXPECT_EQ(child<QPushButton>("BUTTON_GRAPH")->isChecked(), c.state == 2);
    }
}

// The result navigation's captions; "&&" shows one "&", each line starts flush.
TEST_F(CountScreen, ResultNavigationCaptions)
{
    const struct
    {
        const char* button;
        const char* caption;
    } cases[] = {
        {"BUTTON_NEXT_COUNT", "Next Count"}, {"BUTTON_REVIEW_OR_IMAGE", "Image"},
        {"BUTTON_GRAPH", "Histogram \n&& Gating"}, {"BUTTON_DILUTION", "Dilution"},
        {"BUTTON_SAVE_PRINT", "Save && Print"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(child<QPushButton>(c.button)->text(), c.caption) << c.button;
}

TEST_F(CountScreen, ImageAndResultAlternateAndTheGraphButtonOpensTheHistogram)
{
    dlg->setMainUIState(CountDlg::StateResult);
    auto* toggle = child<QPushButton>("BUTTON_REVIEW_OR_IMAGE");
    auto* graph = child<QPushButton>("BUTTON_GRAPH");

    toggle->click();
    EXPECT_EQ(dlg->state(), CountDlg::StateImage);
    EXPECT_EQ(toggle->text(), "Result");
    graph->click();
    EXPECT_EQ(dlg->state(), CountDlg::StateHistogram);
    EXPECT_TRUE(graph->isChecked());
    // From the histogram the button opens the page its caption names.
    toggle->click();
    EXPECT_EQ(dlg->state(), CountDlg::StateResult);
    EXPECT_EQ(toggle->text(), "Image");
    EXPECT_FALSE(graph->isChecked());
    EXPECT_TRUE(toggle->isEnabled());
}

// Apply goes with the others: the screen has no cluster-map switch to hold
// it off (the cluster view hides it instead; see the gating tests).
TEST_F(CountScreen, ButtonsGoTogetherApplyIncluded)
{
    dlg->CountButtonState(false);
    for (const char* name : {"BUTTON_HOME", "BUTTON_COUNT", "BUTTON_AUTO_FOCUS_PLUS", "BUTTON_AUTO_FOCUS_MINUS",
                             "BUTTON_NEXT_COUNT", "BUTTON_SAVE_PRINT", "BUTTON_FIND_CELLS", "BUTTON_APPLY",
                             "LABEL_FOCUS_TITLE"})
        EXPECT_FALSE(child(name)->isEnabled()) << name;
    dlg->CountButtonState(true);
    for (const char* name : {"BUTTON_HOME", "BUTTON_COUNT", "BUTTON_GRAPH", "BUTTON_DILUTION",
                             "BUTTON_AUTO_FOCUS_OFFSET", "BUTTON_APPLY"})
        EXPECT_TRUE(child(name)->isEnabled()) << name;
}

// ---------------------------------------------------------------------------
// Leaving, dimming, keys, debug panel

TEST_F(CountScreen, HomeAsksOnlyOutsideTheCountPageAndARejectionKeepsEverything)
{
    enterAndWaitForTheLiveView();
    dlg->show();
    theApp.m_bAutoExposureOn = true;
    ModalAnswerer answerer;

    dlg->setMainUIState(CountDlg::StateResult);
    answerer.plan(false);
    child<QPushButton>("BUTTON_HOME")->click();
    EXPECT_EQ(answerer.shown.size(), 1);
    EXPECT_TRUE(answerer.shown.value(0).contains("Leaving will reset the cell counting results."));
    EXPECT_EQ(closes, 0);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->state(), CountDlg::StateResult);
    EXPECT_TRUE(dlg->isLiveViewRunning());
    EXPECT_TRUE(theApp.m_bAutoExposureOn);
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_COUNT_DIALOG);

    answerer.plan(true);
    child<QPushButton>("BUTTON_HOME")->click();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_FALSE(dlg->isLiveViewRunning());
    EXPECT_FALSE(theApp.m_pCamera->isRunning());
    EXPECT_FALSE(theApp.m_bAutoExposureOn);
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_HOME_DIALOG);

    // From the Count page no question.
    enterAndWaitForTheLiveView();
    child<QPushButton>("BUTTON_HOME")->click();
    EXPECT_EQ(answerer.shown.size(), 2);
    EXPECT_EQ(answerer.unplanned, 0);
    EXPECT_EQ(closes, 2);
}

TEST_F(CountScreen, TheDimOverlayStaysWhenItWasShownBeforeTheQuestion)
{
    dlg->show();
    auto* overlay = child<QLabel>("DIM_OVERLAY");

    const struct
    {
        bool shownBefore;
        bool shownAfter;
    } cases[] = {{false, false}, {true, true}};
    for (const auto& c : cases) {
        overlay->setVisible(c.shownBefore);
        dlg->slot_set_backLabel(true);
        EXPECT_TRUE(overlay->isVisible());
        dlg->slot_set_backLabel(false);
        EXPECT_EQ(overlay->isVisible(), c.shownAfter) << c.shownBefore;
    }
}

TEST_F(CountScreen, KeysOnlyShowAndHideTheDebugPanel)
{
    dlg->show();
    auto* panel = dlg->findChild<DebugPanel*>();
    ASSERT_NE(panel, nullptr);
    const auto press = [&](int key) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(dlg.get(), &event);
        return event.isAccepted();
    };
    EXPECT_TRUE(panel->isHidden());
    EXPECT_TRUE(press(Qt::Key_F9));
    EXPECT_FALSE(panel->isHidden());
    EXPECT_TRUE(press(Qt::Key_F12));
    EXPECT_TRUE(panel->isHidden());
    EXPECT_TRUE(press(Qt::Key_F12));
    EXPECT_TRUE(press(Qt::Key_Escape));
    EXPECT_TRUE(press(Qt::Key_Return));
    EXPECT_TRUE(dlg->isVisible()) << "no key closes the screen";
}

TEST_F(CountScreen, DebugLinesJoinTheirItemsAndDropLineBreaksInsideLongerOnes)
{
    auto* text = dlg->findChild<QPlainTextEdit*>();
    ASSERT_NE(text, nullptr);
    dlg->slot_debug_Message({"move", "1234", "a\r\nb"});
    dlg->slot_debug_Message({});
    dlg->slot_debug_Message({"\r\n", "x"});
    // Line breaks read back as line feeds from the text area.
    EXPECT_EQ(text->toPlainText(), "move() 1234 ab \n\n\n() x \n");
}

TEST_F(CountScreen, FreeMemoryAddsTheThreeMeminfoValuesThroughAwk)
{
    instrument.writeFile("/proc/meminfo", "MemFree: 1 kB\n");
    // The root's awk answers by the field its program names; a field it cannot read counts as 0.
    instrument.writeScript("/bin/awk", "case \"$1\" in\n"
                                        "  *MemFree*) echo 123400 ;;\n"
                                        "  *Buffers*) echo '  5600  ' ;;\n"
                                        "  *) echo 'no number' ;;\n"
                                        "esac\n");
    EXPECT_EQ(dlg->getFreeMem(), "mem = 129000 KB");
    instrument.writeScript("/bin/awk", "exit 2\n");
    EXPECT_EQ(dlg->getFreeMem(), "mem = 0 KB");
}

// ---------------------------------------------------------------------------
// Entering the screen

TEST_F(CountScreen, InitChoosesTheCalibrationByModeAndShowsItsIconAndProtocol)
{
    const struct
    {
        int mode;
        const char* calibration;
        const char* icon;
        const char* protocol;
    } cases[] = {
        {BF_TOTAL_CELL_COUNTING, kova::kCalibrationBfnIni, "BF_T_mode.png", "DEFAULT"},
        {BF_CELL_COUNTING_VIABILITY, kova::kCalibrationCusIni, "BF_V_mode.png", "PBMC"},
        {7, "unchanged", "BF_V_mode.png", "PBMC"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        theApp.m_CountingMode = c.mode;
        CUR_CAL_INI = "unchanged";
        dlg->Init();
        EXPECT_EQ(CUR_CAL_INI, c.calibration);
        EXPECT_TRUE(child<QLabel>("LABEL_MODE")->styleSheet().contains(c.icon));
        EXPECT_EQ(child<QLabel>("LABEL_COMMON_PROTOCOL")->text(), c.protocol);
        EXPECT_EQ(dlg->state(), CountDlg::StateCount);
        EXPECT_TRUE(dlg->isLiveViewRunning());
        dlg->stopCamera(true);
    }
}

// The service controls: hidden from the start, the time frame again on every
// entry, and the list of offsets changes no offset.
TEST_F(CountScreen, ServiceControlsStayHiddenAndTheOffsetListChangesNothing)
{
    for (const char* name : {"EDIT_TEST", "EDIT_REG", "BUTTON_TEST", "BUTTON_TEST_2", "BUTTON_TEST_3",
                             "BUTTON_CLUSTERMAP", "BUTTON_AUTO_FOCUS", "BUTTON_DEBUG", "EDIT_ALG", "EDIT_CALI",
                             "BUTTON_SETCALI", "EDIT_CALI_2", "COMBO_AF_OFFSET", "FRAME_TIME"})
        EXPECT_TRUE(child(name)->isHidden()) << name;

    auto* offsets = child<QComboBox>("COMBO_AF_OFFSET");
    QStringList items;
    for (int i = 0; i < offsets->count(); ++i)
        items << offsets->itemText(i);
    EXPECT_EQ(items, QString("7 6 5 4 3 2 1 0 -1 -2 -3 -4 -5 -6 -7").split(' '));
    EXPECT_EQ(offsets->currentIndex(), 7);
    EXPECT_EQ(offsets->currentText(), "0");

    child<QPushButton>("BUTTON_AUTO_FOCUS_OFFSET")->click();
    const int shared = theApp.m_nAutofocusOffset;
    for (int index : {0, 14}) {
        offsets->setCurrentIndex(index);
        EXPECT_EQ(dlg->autofocusOffset(), 1) << index;
        EXPECT_EQ(theApp.m_nAutofocusOffset, shared) << index;
    }

    child("FRAME_TIME")->show();
    dlg->Init();
    EXPECT_TRUE(child("FRAME_TIME")->isHidden());
    dlg->stopCamera(true);
}

TEST_F(CountScreen, InitSwitchesTheLedOnAndBringsTheStageBackToTheCentre)
{
    const int centre = TestInstrument::kFocus;
    const struct
    {
        const char* name;
        int position;
        std::vector<std::string> move;  // the stage command after the position query
    } cases[] = {
        {"above", centre + 700, {"$,STM1,MVN,700,\r\n"}},
        {"below", centre - 300, {"$,STM1,MVP,300,\r\n"}},
        {"at the centre", centre, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        instrument.mcu.setPosition(c.position);
        theApp.m_nZstageCurrentPos = 1;
        const std::size_t before = instrument.mcu.frames().size();

        dlg->Init();

        // The move is answered later; its answer tells the screen where the stage is.
        EXPECT_TRUE(QTest::qWaitFor([&] { return theApp.m_nZstageCurrentPos == centre; }, kWaitMs));
        const std::vector<std::string> frames = instrument.mcu.frames();
        const std::vector<std::string> sent(frames.begin() + before, frames.end());
        std::vector<std::string> expected = {"$,LED4,BRT,225,\r\n", "$,STM1,GET_POS,,\r\n"};
        expected.insert(expected.end(), c.move.begin(), c.move.end());
        EXPECT_EQ(sent, expected);
        dlg->stopCamera(true);
    }
}

TEST_F(CountScreen, AFailedPositionQueryMovesNothingAndKeepsTheLastPosition)
{
    instrument.controller->setTimeouts(100, 200);
    instrument.mcu.setFault(McuSimulator::Fault::Silence);
    theApp.m_nZstageCurrentPos = 31234;
    const std::size_t before = instrument.mcu.frames().size();

    dlg->InitPosition();

    const std::vector<std::string> frames = instrument.mcu.frames();
    ASSERT_EQ(frames.size(), before + 1);
    EXPECT_EQ(frames.back(), "$,STM1,GET_POS,,\r\n");
    EXPECT_EQ(theApp.m_nZstageCurrentPos, 31234);
}

TEST_F(CountScreen, InitShowsTheAgingFrameOnlyInAnAgingRun)
{
    // STOP! down from a run before (which ended it), then a new run.
    child<QPushButton>("BUTTON_AGING_STOP")->setChecked(true);
    child<QLabel>("LABEL_AGING_CUR")->setText("5");
    theApp.m_bAgingMode = true;
    theApp.m_nAgingCount = 12;
    dlg->Init();
    EXPECT_FALSE(child("AGING_MODE")->isHidden());
    EXPECT_FALSE(child<QPushButton>("BUTTON_AGING_STOP")->isChecked());
    EXPECT_EQ(child<QLabel>("LABEL_AGING_ALL")->text(), "12");
    EXPECT_EQ(child<QLabel>("LABEL_AGING_CUR")->text(), "");
    dlg->stopCamera(true);

    theApp.m_bAgingMode = false;
    dlg->Init();
    EXPECT_TRUE(child("AGING_MODE")->isHidden());
}

// ---------------------------------------------------------------------------
// The live view's frame hand-shake

// The live-view thread's frames, counted in that thread as they are delivered.
struct FrameLog
{
    explicit FrameLog(GrabThread* thread)
    {
        QObject::connect(
            thread, &GrabThread::grabDone, thread,
            [this] {
                std::lock_guard<std::mutex> lock(mutex);
                times.push_back(std::chrono::steady_clock::now());
            },
            Qt::DirectConnection);
    }
    std::size_t count()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return times.size();
    }
    std::mutex mutex;
    std::vector<std::chrono::steady_clock::time_point> times;
};

TEST_F(CountScreen, TheFirstFrameIsReportedOncePerEntryEvenWhileHidden)
{
    QSignalSpy first(dlg.get(), &CountDlg::signalFirstFrameUpdated);
    enter();
    ASSERT_TRUE(first.wait(kWaitMs));
    EXPECT_FALSE(dlg->isVisible());
    FrameLog frames(liveThread());
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames.count() >= 1; }, kWaitMs));
    EXPECT_EQ(first.count(), 1) << "later frames are not reported again";

    dlg->stopCamera(false);
    dlg->Init();
    ASSERT_TRUE(first.wait(kWaitMs));
    EXPECT_EQ(first.count(), 2);
}

TEST_F(CountScreen, AHiddenScreenGetsAboutAFrameASecondAndAPaintedOneAsFastAsItDraws)
{
    enterAndWaitForTheLiveView();
    QSignalSpy drawn(dlg.get(), &CountDlg::updateFrameDone);
    {
        FrameLog hidden(liveThread());
        ASSERT_TRUE(QTest::qWaitFor([&] { return hidden.count() >= 2; }, kWaitMs));
        EXPECT_EQ(drawn.count(), 0) << "nothing drawn, nothing acknowledged";
        // Only the thread's own fallback, a hundred polls of 10 ms, brings the next one.
        EXPECT_GE(hidden.times[1] - hidden.times[0], std::chrono::milliseconds(900));
    }
    dlg->show();
    FrameLog painted(liveThread());
    ASSERT_TRUE(QTest::qWaitFor([&] { return painted.count() >= 8; }, kWaitMs));
    QCoreApplication::processEvents();
    EXPECT_GE(drawn.count(), 4) << "each drawn frame asks for the next";
}

TEST_F(CountScreen, CorruptStartFramesRestartTheCameraOnce)
{
    SimulatedVideo::Faults corrupt;
    corrupt.corrupt = SimulatedVideo::Corruption::Green;
    ASSERT_TRUE(SimulatedVideo::setFaults(corrupt));
    theApp.m_pCamera->open(CountDlg::Mode1280, kova::kCalibrationBfnIni, false);
    beforeOpen = [] { SimulatedVideo::setFaults({}); };
    QSignalSpy first(dlg.get(), &CountDlg::signalFirstFrameUpdated);

    enter();

    ASSERT_TRUE(first.wait(kWaitMs));
    EXPECT_EQ(opens, 1);
    EXPECT_EQ(dlg->cameraRestarts(), 1);
    EXPECT_TRUE(theApp.m_pCamera->isRunning());
    EXPECT_EQ(closes, 0);
}

TEST_F(CountScreen, CorruptFramesAfterTheThirdRestartEndInMessage48AndTheHomeScreen)
{
    SimulatedVideo::Faults corrupt;
    corrupt.corrupt = SimulatedVideo::Corruption::Pink;
    ASSERT_TRUE(SimulatedVideo::setFaults(corrupt));
    ModalAnswerer answerer;
    answerer.plan(true);

    enter();

    ASSERT_TRUE(QTest::qWaitFor([&] { return closes == 1; }, 4 * kWaitMs));
    EXPECT_EQ(opens, 1 + CountDlg::kCameraRestarts) << "the entry's open and three restarts";
    EXPECT_EQ(dlg->cameraRestarts(), CountDlg::kCameraRestarts);
    ASSERT_EQ(answerer.shown.size(), 1);
    EXPECT_TRUE(answerer.shown[0].contains("transmission error"));
    EXPECT_FALSE(dlg->isLiveViewRunning());
    EXPECT_FALSE(theApp.m_pCamera->isRunning());
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_HOME_DIALOG);
}

// ---------------------------------------------------------------------------
// Zoom, drag, progress bar, scale bar

TEST_F(CountScreen, ZoomButtonCyclesTheLiveViewAndNamesTheZoom)
{
    auto* zoom = child<QPushButton>("BUTTON_ZOOM");
    const struct
    {
        const char* caption;
        ImageNavigation::View view;
    } steps[] = {{"    2x", {2, {341, 281}}}, {"    4x", {4, {494, 380}}}, {"    1x", {1, {21, 41}}}};
    for (const auto& step : steps) {
        zoom->click();
        EXPECT_EQ(zoom->text(), step.caption);
        EXPECT_TRUE(dlg->view() == step.view) << step.caption;
    }
}

TEST_F(CountScreen, ADragStartsOnlyStrictlyInsideTheImageAreaAndMovesByHalfAt4x)
{
    dlg->show();
    const auto drag = [&](QPoint from, QPoint to) {
        QTest::mousePress(dlg.get(), Qt::LeftButton, Qt::NoModifier, from);
        QMouseEvent move(QEvent::MouseMove, to, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(dlg.get(), &move);
        QTest::mouseRelease(dlg.get(), Qt::LeftButton, Qt::NoModifier, to);
    };
    drag({200, 300}, {150, 300});
    EXPECT_EQ(dlg->view().origin, QPoint(21, 41)) << "on the border: no drag";
    drag({500, 300}, {490, 295});
    EXPECT_EQ(dlg->view().origin, QPoint(31, 46));
    drag({500, 300}, {100, 300});
    EXPECT_EQ(dlg->view().origin, QPoint(31, 46)) << "outside: ignored";

    child<QPushButton>("BUTTON_ZOOM")->click();
    child<QPushButton>("BUTTON_ZOOM")->click();
    const ImageNavigation::View four = dlg->view();
    drag({500, 300}, {480, 290});
    EXPECT_EQ(dlg->view().origin, four.origin + QPoint(10, 5));
}

// The length of the progress bar's fill in a grab of the screen.
int progressFill(const QImage& screen)
{
    int x = 319;
    while (x < screen.width() && QColor(screen.pixel(x, 283)) == QColor(62, 185, 255))
        ++x;
    return x - 319;
}

TEST_F(CountScreen, TheProgressBarGrowsAPixelAPaintUpTo360)
{
    dlg->setMainUIState(CountDlg::StateCounting);
    EXPECT_EQ(progressFill(dlg->grab().toImage()), 1);
    EXPECT_EQ(progressFill(dlg->grab().toImage()), 2);
    for (int paint = 0; paint < 400; ++paint)
        dlg->grab();
    const QImage screen = dlg->grab().toImage();
    EXPECT_EQ(progressFill(screen), CountDlg::kProgressMax);
    EXPECT_EQ(QColor(screen.pixel(678, 283)), QColor(62, 185, 255));
    EXPECT_EQ(QColor(screen.pixel(679, 283)), QColor(25, 25, 25));
}

TEST_F(CountScreen, PicturesBrighterThan200GreenGetTheDarkScaleBar)
{
    theApp.m_SaveReview.m_bEnableScaleBar = false;
    dlg->set_ScalebarImage(cv::Mat(1944, 2592, CV_8UC3, cv::Scalar(255, 201, 255)));
    EXPECT_TRUE(dlg->darkness());
    dlg->set_ScalebarImage(cv::Mat());
    EXPECT_TRUE(dlg->darkness()) << "an empty image changes nothing";
    dlg->set_ScalebarImage(cv::Mat(1944, 2592, CV_8UC3, cv::Scalar(0, 200, 0)));
    EXPECT_FALSE(dlg->darkness()) << "exactly 200 is not brighter";

    // With the scale bar on, the picture is kept with the bar drawn into it.
    theApp.m_SaveReview.m_bEnableScaleBar = true;
    const cv::Mat picture(1944, 2592, CV_8UC3, cv::Scalar(0, 200, 0));
    dlg->set_ScalebarImage(picture);
    const cv::Mat canvas = theApp.getScaleBarImg();
    EXPECT_GT(cv::norm(canvas, picture, cv::NORM_L1), 0.0);
    EXPECT_EQ(canvas.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 200, 0));
}

TEST_F(CountScreen, GetFrameNeverFailsOnARunningCamera)
{
    SimulatedVideo::Faults corrupt;
    corrupt.corrupt = SimulatedVideo::Corruption::Black;
    ASSERT_TRUE(SimulatedVideo::setFaults(corrupt));
    EXPECT_EQ(dlg->getFrame(0), nullptr) << "no camera running";
    ASSERT_TRUE(theApp.m_pCamera->open(CountDlg::Mode1280, kova::kCalibrationBfnIni, false));
    unsigned char* frame = dlg->getFrame(5);
    ASSERT_NE(frame, nullptr) << "after ten corrupt takes the last one";
    EXPECT_LT(cv::mean(cv::Mat(960, 1280, CV_8UC3, frame))[1], 20.0);
}

}  // namespace
