// The counting screen on the virtual instrument: live frames shown a second
// with the screen painted, and the GUI thread's share of each frame.
#include "Count/CountDlg.h"

#include "Algorithm/AutoExposure.h"
#include "Camera/OV5642Camera.h"
#include "Controller/Controller.h"
#include "File_IO/CSVReaderWriter.h"
#include "File_IO/ImReaderWriter.h"
#include "KovaCore/ResultTree.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"

#include "Slide.h"
#include "TestInstrument.h"

#include "platform/SimulatedVideo.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "platform/Root.h"

#include <memory>

namespace {

// The screen on the Count page, shown, with the live view running.
struct LiveScreen
{
    LiveScreen()
    {
        theApp.m_fVolumeFactor = 0.48242;
        theApp.m_fLensMagnification = 1.431;
        theApp.m_nZstageCenterPos = TestInstrument::kFocus;
        global_ini()->LED = platform::SimulatedVideo::kReferenceBrightness;
        theApp.m_pCamera = new OV5642Camera;
        theApp.m_pCamera->open(CountDlg::Mode1280, kova::kCalibrationBfnIni, false);
        dlg = std::make_unique<CountDlg>();
        dlg->Init();
        dlg->show();
        exposed = QTest::qWaitForWindowExposed(dlg.get());
    }
    ~LiveScreen()
    {
        dlg.reset();
        delete theApp.m_pCamera;
        theApp.m_pCamera = nullptr;
    }

    // Empty when the instrument stands and the screen is on show.
    QString error() const { return exposed ? vi.error() : QStringLiteral("the screen was not shown"); }

    TestInstrument vi;
    std::unique_ptr<CountDlg> dlg;
    bool exposed = false;
};

// Frames drawn a second: each drawn frame asks the live-view thread for the
// next, so the rate is what the camera, the copy and the paint allow together.
void BM_LiveViewFramesShown(benchmark::State& state)
{
    LiveScreen screen;
    if (!screen.error().isEmpty()) {
        state.SkipWithError(qPrintable(screen.error()));
        return;
    }
    constexpr int kFrames = 30;
    int drawn = 0;
    QObject::connect(screen.dlg.get(), &CountDlg::updateFrameDone, [&drawn] { ++drawn; });
    double seconds = 0;
    for (auto _ : state) {
        drawn = 0;
        QElapsedTimer clock;
        clock.start();
        while (drawn < kFrames && !clock.hasExpired(20000))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const double elapsed = clock.nsecsElapsed() / 1e9;
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["frames_per_s"] = benchmark::Counter(double(kFrames) * state.iterations() / seconds);
}
BENCHMARK(BM_LiveViewFramesShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// The GUI thread's work for one live frame: the frame image to a pixmap and
// its part drawn scaled into the image area, with the navigator (the copy of
// the frame into the image is the live-view thread's).
void BM_LiveFramePaint(benchmark::State& state)
{
    LiveScreen screen;
    if (!screen.error().isEmpty()) {
        state.SkipWithError(qPrintable(screen.error()));
        return;
    }
    screen.dlg->stopCamera(false);
    for (int i = 1; i < state.range(0); i *= 2)
        QMetaObject::invokeMethod(screen.dlg.get(), "on_BUTTON_ZOOM_clicked");
    for (auto _ : state)
        screen.dlg->repaint(ImageNavigation::kImageArea);
    state.SetLabel(std::to_string(state.range(0)) + "x");
}
BENCHMARK(BM_LiveFramePaint)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kMillisecond);

// The screen's camera for the auto-exposure search, its measurements counted.
AutoExposure::Camera countedExposureCamera(CountDlg& screen, QDeadlineTimer deadline, int& measurements)
{
    AutoExposure::Camera access = screen.exposureCamera(deadline);
    access.measureGreen = [&measurements, measure = access.measureGreen] {
        ++measurements;
        return measure();
    };
    return access;
}

// Auto exposure from the screen from a dark (300) and a bright (3500) start,
// on the live view's camera: each measurement waits for six new frames.
void BM_AutoExposure(benchmark::State& state)
{
    LiveScreen screen;
    if (!screen.error().isEmpty()) {
        state.SkipWithError(qPrintable(screen.error()));
        return;
    }
    OV5642Camera* camera = theApp.m_pCamera;
    int measurements = 0;
    QElapsedTimer clock;
    clock.start();
    for (auto _ : state) {
        camera->setRegister(0x3501, static_cast<unsigned short>(state.range(0)));
        const unsigned short start = camera->getRegister(0x3501);
        benchmark::DoNotOptimize(
            AutoExposure::search(countedExposureCamera(*screen.dlg, QDeadlineTimer::Forever, measurements)));
        benchmark::DoNotOptimize(start);
    }
    state.counters["measurements"] = double(measurements) / state.iterations();
    state.counters["ms_per_measurement"] = double(clock.elapsed()) / measurements;
}
BENCHMARK(BM_AutoExposure)->Arg(300)->Arg(3500)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Auto exposure on a camera that has stopped giving frames: the search ends
// at its first wait for a new one (the frame time-out, 1 s), where it once
// waited out ten takes for each of up to some forty measurements.
void BM_AutoExposureStalledCamera(benchmark::State& state)
{
    LiveScreen screen;
    if (!screen.error().isEmpty()) {
        state.SkipWithError(qPrintable(screen.error()));
        return;
    }
    platform::SimulatedVideo::Faults faults;
    faults.noFrame = true;
    platform::SimulatedVideo::setFaults(faults);
    int measurements = 0;
    for (auto _ : state) {
        const QDeadlineTimer deadline(CountDlg::seams().exposureSearchMs);
        benchmark::DoNotOptimize(AutoExposure::search(countedExposureCamera(*screen.dlg, deadline, measurements)));
    }
    platform::SimulatedVideo::setFaults({});
    state.counters["measurements"] = double(measurements) / state.iterations();
}
BENCHMARK(BM_AutoExposureStalledCamera)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Autofocus from the screen with the stage 3000 steps off the slide's focus,
// the live view running beside it.
void BM_ScreenAutofocus(benchmark::State& state)
{
    LiveScreen screen;
    if (!screen.error().isEmpty()) {
        state.SkipWithError(qPrintable(screen.error()));
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        screen.vi.mcu.setPosition(TestInstrument::kFocus - 3000);
        Controller::instance->z_stage_pos();
        state.ResumeTiming();
        screen.dlg->slot_do_autoFocusing();
    }
    state.counters["end_from_focus"] = double(screen.vi.mcu.state().position - TestInstrument::kFocus);
}
BENCHMARK(BM_ScreenAutofocus)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The screen as after start-up for counting: the DEFAULT total protocol, a
// previous-counts table of 1000 rows, the result folders.
struct CountingScreen : LiveScreen
{
    CountingScreen()
    {
        TestInstrument::loadDefaultProtocols(theApp.m_Loaded_Total_Protocol, theApp.m_Loaded_Viability_Protocol);
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        theApp.m_nSkipframe = 5;
        theApp.m_pImReaderWriter = &reader;
        theApp.m_pPreviousCountCSV =
            new CSVReaderWriter(ResultTree::kPreviousCountLines, "%s", ResultTree::previousCountHeader(0));
        for (int row = 0; row < 1000; ++row)
            theApp.m_pPreviousCountCSV->fillDataField("anonymous, ,01 Jan 2026 00:00:00,1.00e5,%d,10.0,DEFAULT", row);
        QDir().mkpath(platform::rootPath(ResultTree::modeFolder(0)));
        QDir().mkpath(platform::rootPath(QFileInfo(ResultTree::previousCountMaster(0)).path()));
        CountDlg::Home home;
        home.openCamera = [] { theApp.m_pCamera->open(CountDlg::Mode1280, CUR_CAL_INI, false); };
        dlg->setHome(home);
    }
    ~CountingScreen()
    {
        delete theApp.m_pPreviousCountCSV;
        theApp.m_pPreviousCountCSV = nullptr;
        theApp.m_pImReaderWriter = nullptr;
    }

    // Count pressed on the live view; true once the Result page is drawn.
    bool count(double& toWorkerMs)
    {
        QElapsedTimer clock;
        bool appended = false;
        const auto started = QObject::connect(dlg.get(), &CountDlg::start_do_counting,
                                              [&] { toWorkerMs = clock.nsecsElapsed() / 1e6; });
        const auto done = QObject::connect(dlg.get(), &CountDlg::signalAppendCSVData, [&] { appended = true; });
        clock.start();
        QMetaObject::invokeMethod(dlg.get(), "on_BUTTON_COUNT_clicked");
        while (dlg->state() != CountDlg::StateResult && !clock.hasExpired(20000))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        QObject::disconnect(started);
        QObject::disconnect(done);
        return appended && dlg->state() == CountDlg::StateResult;
    }

    ImReaderWriter reader;
};

// Count pressed → Result page shown, autofocus off: the screen's start
// (green reference, snapshot, live view stopped) and everything after it
// (the worker's switch to full resolution, capture and conversion, the engine,
// the take-over of the result with the camera reopened, texts, row, page).
void BM_CountToResultPage(benchmark::State& state)
{
    CountingScreen screen;
    if (!screen.error().isEmpty()) {
        state.SkipWithError(qPrintable(screen.error()));
        return;
    }
    double start = 0;
    for (auto _ : state) {
        if (!screen.count(start)) {
            state.SkipWithError("no result");
            return;
        }
        state.PauseTiming();
        // Back to the live view, as Next Count does.
        screen.dlg->setMainUIState(CountDlg::StateCount);
        screen.dlg->startCamera(CountDlg::Mode1280, true);
        state.ResumeTiming();
    }
    state.counters["until_worker_ms"] = start;
    state.counters["cells"] = theApp.m_CountResult.total_cell;
}
BENCHMARK(BM_CountToResultPage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The screen's share after the worker: the result images copied and drawn,
// the camera closed and reopened at 1280 × 960, the texts, the previous-counts
// row (1000 rows rewritten) and the Result page.
void BM_ResultTakeOver(benchmark::State& state)
{
    CountingScreen screen;
    double start = 0;
    if (!screen.error().isEmpty() || !screen.count(start)) {
        state.SkipWithError("no count");
        return;
    }
    for (auto _ : state)
        QMetaObject::invokeMethod(screen.dlg.get(), "receiveCountingCompleted");
}
BENCHMARK(BM_ResultTakeOver)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The previous-counts row of a count: the table of 1000 rows rewritten and
// its newest-first copy made.
void BM_PreviousCountAppend(benchmark::State& state)
{
    CountingScreen screen;
    for (auto _ : state)
        screen.dlg->savePreviousCount();
}
BENCHMARK(BM_PreviousCountAppend)->Unit(benchmark::kMillisecond)->UseRealTime();

// Apply after the single shot: the engine re-gating a count of about 1500
// cells, the result's numbers and texts, and the result image rebuilt at the
// count's zoom (4x, the full image).
void BM_ApplyGate(benchmark::State& state)
{
    CountingScreen screen;
    slide::SlideParams params;
    params.seed = 7;
    params.cellCount = 1500;
    params.minDiameter = 8;
    params.maxDiameter = 20;
    double start = 0;
    if (!screen.error().isEmpty() || !screen.vi.showSlide(slide::generateSlide(params).rgb) || !screen.count(start)) {
        state.SkipWithError("no count");
        return;
    }
    const int cells = theApp.m_CountResult.total_cell;
    auto* low = screen.dlg->findChild<QLabel*>(QStringLiteral("LABEL_MIN_CELL_SIZE"));
    int gate = 0;
    for (auto _ : state) {
        low->setText(QString::number(1 + 10 * (gate++ % 2)));
        screen.dlg->slotSizeGating();
    }
    state.counters["cells"] = cells;
}
BENCHMARK(BM_ApplyGate)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
