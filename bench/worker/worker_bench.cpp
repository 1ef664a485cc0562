// The counting worker and autofocus on the virtual instrument, at the
// simulator's frame and move times: a whole count from the live view's mode
// to the filled record, its parts, and autofocus runs split by step.
#include "Algorithm/alg_Autofocus.h"
#include "Camera/OV5642Camera.h"
#include "DoCellCounting/DoCellCounting.h"
#include "File_IO/ImReaderWriter.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"

#include "Evaluation.h"
#include "TestInstrument.h"

#include "platform/Root.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <memory>
#include <numeric>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The instrument at the slide's focus, the live view's camera open, and a
// worker set up as the counting screen sets it up for a count.
struct CountingBench
{
    explicit CountingBench(int countMode)
    {
        theApp.m_pCamera = &camera;
        theApp.m_pImReaderWriter = &reader;
        theApp.m_CountingMode = countMode;
        theApp.m_nSkipframe = 5;
        counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t total;
        counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t viability;
        protocolsLoaded = TestInstrument::loadDefaultProtocols(total, viability);
        worker.set_parameters_BF_TOTAL_CELL_COUNTING(total);
        worker.set_parameters_BF_CELL_COUNTING_VIABILITY(viability);
        worker.registerCellCounter(engine.get(), &camera);
    }

    ~CountingBench()
    {
        theApp.m_pCamera = nullptr;
        theApp.m_pImReaderWriter = nullptr;
    }

    // Back to the live view, its green mean as the reference.
    bool openLiveView()
    {
        if (!camera.open(1, kova::kCalibrationBfnIni, false))
            return false;
        worker.setCountingParameters(float(camera.getGreenMean(camera.getFrame())), kova::kCalibrationBfnIni);
        worker.clearCountInfo();
        return true;
    }

    // Empty when the instrument and its protocols stand.
    QString error() const { return protocolsLoaded ? vi.error() : QStringLiteral("protocols not loaded"); }

    TestInstrument vi;
    bool protocolsLoaded = false;
    OV5642Camera camera;
    ImReaderWriter reader;
    std::unique_ptr<VelimBio::CellCounter> engine = evaluation::makeCounter(evaluation::Setup());
    DoCellCounting worker;
};

// Capture and analysis: live view closed, full resolution opened, frames
// converted and checked, engine, record. range(0): counting mode.
void BM_WorkerCapture(benchmark::State& state)
{
    CountingBench bench(int(state.range(0)));
    if (!bench.error().isEmpty()) {
        state.SkipWithError(qPrintable(bench.error()));
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        const bool open = bench.openLiveView();
        state.ResumeTiming();
        if (!open) {
            state.SkipWithError("live view did not open");
            break;
        }
        bench.worker.doWork();
    }
    const std::vector<slide::SlideCell>& truth = TestInstrument::generatedSlide().truth;
    const auto live = std::count_if(truth.begin(), truth.end(), [](const slide::SlideCell& c) { return c.live; });
    state.counters["cells"] = bench.worker.m_CountInfo.total_cell;
    state.counters["truth"] = double(truth.size());
    state.counters["viability"] = bench.worker.m_CountInfo.viability;
    state.counters["true_viability"] = 100.0 * double(live) / double(truth.size());
}
BENCHMARK(BM_WorkerCapture)->Arg(0)->Arg(1)->Iterations(5)->Unit(benchmark::kMillisecond);

// The camera's part of a capture: live view closed, 100 ms rest, full
// resolution opened and its first frame converted.
void BM_SwitchToFullResolution(benchmark::State& state)
{
    CountingBench bench(BF_CELL_COUNTING_VIABILITY);
    for (auto _ : state) {
        state.PauseTiming();
        bench.camera.open(1, kova::kCalibrationBfnIni, false);
        bench.camera.getFrame();
        state.ResumeTiming();
        bench.camera.close();
        QThread::msleep(DoCellCounting::kCameraRestMs);
        if (!bench.camera.open(DoCellCounting::kFullResolutionMode, kova::kCalibrationBfnIni, false)
            || !bench.camera.getFrame()) {
            state.SkipWithError("no full-resolution frame");
            break;
        }
    }
}
BENCHMARK(BM_SwitchToFullResolution)->Iterations(5)->Unit(benchmark::kMillisecond);

// One frame attempt at full resolution: YUYV to RGB and the 15 MB copy.
void BM_FullFrameConversion(benchmark::State& state)
{
    CountingBench bench(BF_CELL_COUNTING_VIABILITY);
    if (!bench.camera.open(DoCellCounting::kFullResolutionMode, kova::kCalibrationBfnIni, false)) {
        state.SkipWithError("camera did not open");
        return;
    }
    std::vector<unsigned char> buffer(DoCellCounting::kFrameBytes);
    for (auto _ : state) {
        const unsigned char* frame = bench.camera.getFrame();
        std::copy(frame, frame + buffer.size(), buffer.begin());
        benchmark::DoNotOptimize(buffer.data());
    }
}
BENCHMARK(BM_FullFrameConversion)->Iterations(20)->Unit(benchmark::kMillisecond);

// Re-analysis of a stored raw image: the TIFF read and the engine.
void BM_WorkerReAnalysis(benchmark::State& state)
{
    CountingBench bench(BF_CELL_COUNTING_VIABILITY);
    const QString stored = QStringLiteral("/KOVA/anonymous/CELL_COUNTING_VIABILITY/bench/bench_RAW.tif");
    QDir().mkpath(platform::rootPath(QStringLiteral("/KOVA/anonymous/CELL_COUNTING_VIABILITY/bench")));
    std::string path = stored.toStdString();
    cv::Mat rgb = TestInstrument::generatedSlide().rgb.clone();
    if (!bench.reader.loadAndWrite(rgb.data, rgb.cols, rgb.rows, 8, 3, 5, 2, path, "")) {
        state.SkipWithError("raw image not written");
        return;
    }
    bench.worker.m_bReAnalysis = true;
    bench.worker.m_image_path = stored;
    for (auto _ : state) {
        bench.worker.clearCountInfo();
        bench.worker.doWork();
    }
    state.counters["cells"] = bench.worker.m_CountInfo.total_cell;
}
BENCHMARK(BM_WorkerReAnalysis)->Iterations(5)->Unit(benchmark::kMillisecond);

// The focus value of one live frame's green plane.
void BM_BrennerGradient(benchmark::State& state)
{
    cv::Mat plane(int(state.range(1)), int(state.range(0)), CV_8UC1);
    cv::randu(plane, 0, 256);
    for (auto _ : state)
        benchmark::DoNotOptimize(alg_Autofocus::brennerGradient(plane));
}
BENCHMARK(BM_BrennerGradient)->Args({1280, 960})->Args({2592, 1944})->Unit(benchmark::kMicrosecond);

// A whole autofocus run from the centre at the live view's size, with the
// instrument's waits (500 ms at most per move, 500 ms settling) and the
// simulator's stage speed. range(0): early stop. The counters split the run
// by step: the move to the first stop, settling with the first stop's frame
// and step, the mean of the further sweep steps, and the final move.
void BM_AutofocusRun(benchmark::State& state)
{
    TestInstrument vi;
    OV5642Camera camera;
    if (!vi.error().isEmpty() || !camera.open(1, kova::kCalibrationBfnIni, false)) {
        state.SkipWithError("instrument not ready");
        return;
    }
    const int centre = TestInstrument::kFocus;
    double toFirstStop = 0, firstStep = 0, sweepStep = 0, finalMove = 0, steps = 0;
    for (auto _ : state) {
        state.PauseTiming();
        vi.mcu.setPosition(centre);
        auto* af = new alg_Autofocus(nullptr, &camera, camera.width(), camera.height());
        af->setParam(centre, 0, state.range(0) != 0, false);
        std::vector<Clock::time_point> acks;
        Clock::time_point end;
        QObject::connect(af, &alg_Autofocus::sig_move_z_position, [&acks](int) { acks.push_back(Clock::now()); });
        QObject::connect(af, &alg_Autofocus::sig_endAutoFocusing, [&end, af](int) {
            end = Clock::now();
            af->deleteLater();
        });
        state.ResumeTiming();
        const Clock::time_point start = Clock::now();
        af->process();
        state.PauseTiming();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        // Acknowledgements: the first stop, one per sweep step, the final move.
        if (acks.size() < 4) {
            state.SkipWithError("stage did not acknowledge");
            break;
        }
        const std::size_t sweep = acks.size() - 2;
        toFirstStop += millisecondsBetween(start, acks[0]);
        firstStep += millisecondsBetween(acks[0], acks[1]);
        sweepStep += millisecondsBetween(acks[1], acks[sweep]) / double(sweep - 1);
        finalMove += millisecondsBetween(acks[sweep], end);
        steps += double(sweep);
        state.ResumeTiming();
    }
    const double runs = double(state.iterations());
    state.counters["to_first_stop_ms"] = toFirstStop / runs;
    state.counters["settle_and_step0_ms"] = firstStep / runs;
    state.counters["sweep_step_ms"] = sweepStep / runs;
    state.counters["final_move_ms"] = finalMove / runs;
    state.counters["sweep_steps"] = steps / runs;
}
BENCHMARK(BM_AutofocusRun)->Arg(1)->Arg(0)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
