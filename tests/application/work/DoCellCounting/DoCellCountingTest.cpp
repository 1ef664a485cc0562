#include "DoCellCounting/DoCellCounting.h"

#include "Algorithm/alg_Autofocus.h"

#include "Camera/OV5642Camera.h"
#include "File_IO/ImReaderWriter.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"

#include "Evaluation.h"
#include "TestInstrument.h"

#include "platform/Root.h"
#include "platform/SimulatedVideo.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <numeric>
#include <ostream>

namespace {

constexpr int kRows = DoCellCounting::kFrameRows;
constexpr int kCols = DoCellCounting::kFrameCols;

void expectSameRecord(const TCountImageInfo& a, const TCountImageInfo& b)
{
    EXPECT_EQ(a.total, b.total);
    EXPECT_EQ(a.total_exp, b.total_exp);
    EXPECT_EQ(a.total_cell, b.total_cell);
    EXPECT_EQ(a.live, b.live);
    EXPECT_EQ(a.live_exp, b.live_exp);
    EXPECT_EQ(a.live_cell, b.live_cell);
    EXPECT_EQ(a.dead, b.dead);
    EXPECT_EQ(a.dead_exp, b.dead_exp);
    EXPECT_EQ(a.dead_cell, b.dead_cell);
    EXPECT_EQ(a.viability, b.viability);
    EXPECT_EQ(a.average_cell_size, b.average_cell_size);
    EXPECT_EQ(a.dilution, b.dilution);
    EXPECT_EQ(a.z_position, b.z_position);
    EXPECT_EQ(a.total_histogram, b.total_histogram);
    EXPECT_EQ(a.live_histogram, b.live_histogram);
    EXPECT_EQ(a.dead_histogram, b.dead_histogram);
    EXPECT_EQ(a.cluster_histogram, b.cluster_histogram);
    EXPECT_EQ(a.gating_min, b.gating_min);
    EXPECT_EQ(a.gating_max, b.gating_max);
}

int sum(const std::vector<int32_t>& bins)
{
    return std::accumulate(bins.begin(), bins.end(), 0);
}

// The application object's fields a count reads and writes, restored after each test.
class AppState
{
public:
    AppState()
        : m_saved(snapshot())
    {
    }
    ~AppState()
    {
        theApp.m_pCamera = m_saved.camera;
        theApp.m_pImReaderWriter = m_saved.reader;
        theApp.m_CountingMode = m_saved.mode;
        theApp.m_nSkipframe = m_saved.skip;
        theApp.m_strFinalName = m_saved.name;
    }

private:
    struct Fields
    {
        OV5642Camera* camera;
        ImReaderWriter* reader;
        int32_t mode;
        int32_t skip;
        QString name;
    };
    static Fields snapshot()
    {
        return {theApp.m_pCamera, theApp.m_pImReaderWriter, theApp.m_CountingMode, theApp.m_nSkipframe,
                theApp.m_strFinalName};
    }
    Fields m_saved;
};

// The DEFAULT protocols as the counting screen loads them from their files.
void loadDefaultProtocols(DoCellCounting& worker)
{
    counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t total;
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t viability;
    ASSERT_TRUE(TestInstrument::loadDefaultProtocols(total, viability));
    worker.set_parameters_BF_TOTAL_CELL_COUNTING(total);
    worker.set_parameters_BF_CELL_COUNTING_VIABILITY(viability);
}

std::unique_ptr<VelimBio::CellCounter> makeEngine()
{
    return evaluation::makeCounter(evaluation::Setup());
}

// A stored raw image as the save job writes it (LZW, RGB); false when not written.
bool writeRawTiff(const QString& logical, const cv::Mat& rgb)
{
    QDir().mkpath(QFileInfo(platform::rootPath(logical)).path());
    ImReaderWriter writer;
    std::string path = logical.toStdString();
    return writer.loadAndWrite(rgb.data, rgb.cols, rgb.rows, 8, 3, 5, 2, path, "");
}

}  // namespace

// ---------------------------------------------------------------------------
// The record from the engine's counts.

TEST(DoCellCountingResults, RecordFollowsTheModeAndTheCounts)
{
    AppState app;
    const struct {
        int mode;
        int live, dead;
        int totalCell, liveCell, deadCell;
        float viability;
        float dilution;
    } cases[] = {
        {BF_CELL_COUNTING_VIABILITY, 30, 10, 40, 30, 10, 75.0f, 2.0f},
        {BF_CELL_COUNTING_VIABILITY, 0, 0, 0, 0, 0, 0.0f, 2.0f},
        {BF_TOTAL_CELL_COUNTING, 150, 50, 200, 0, 0, 0.0f, 1.0f},
    };
    TempRoot root;
    const auto engine = makeEngine();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.mode << " " << c.live << "/" << c.dead);
        theApp.m_CountingMode = c.mode;
        DoCellCounting worker;
        loadDefaultProtocols(worker);
        worker.registerCellCounter(engine.get(), nullptr);
        worker.clearCountInfo();
        worker.m_CountInfo.live_cell = c.live;
        worker.m_CountInfo.dead_cell = c.dead;

        worker.setCountingResults();

        const TCountImageInfo& r = worker.m_CountInfo;
        EXPECT_EQ(r.total_cell, c.totalCell);
        EXPECT_EQ(r.live_cell, c.liveCell);
        EXPECT_EQ(r.dead_cell, c.deadCell);
        EXPECT_FLOAT_EQ(r.viability, c.viability);
        EXPECT_EQ(r.dilution, c.dilution);
        EXPECT_EQ(r.gating_min, 1);
        EXPECT_EQ(r.gating_max, 90);
        float mantissa = 0;
        int exponent = 0;
        engine->getConcentration(c.liveCell, c.dilution, mantissa, exponent);
        EXPECT_EQ(r.live, mantissa);
        EXPECT_EQ(r.live_exp, exponent);
        engine->getConcentration(c.totalCell, c.dilution, mantissa, exponent);
        EXPECT_EQ(r.total, mantissa);
        EXPECT_EQ(r.total_exp, exponent);
        if (c.totalCell == 0) {
            EXPECT_TRUE(r.total == 0.0f && r.total_exp == 0 && r.average_cell_size == 0.0f);
        }
        // Whole histograms even with nothing counted.
        EXPECT_EQ(r.total_histogram, std::vector<int32_t>(181, 0));
        EXPECT_EQ(r.live_histogram.size(), 181u);
        EXPECT_EQ(r.dead_histogram.size(), 181u);
        EXPECT_EQ(r.cluster_histogram, std::vector<int32_t>(9, 0));
    }
}

TEST(DoCellCountingResults, ResultNameIsTheFolderOfTheStoredImage)
{
    const struct {
        const char* path;
        const char* name;
    } cases[] = {
        {"/KOVA/anonymous/x/sample01/sample01_RAW.tif", "sample01"},
        {"/mnt/KOVA/anonymous/CELL_COUNTING_VIABILITY/run 7/run 7_RAW.tif", "run 7"},
        {"sample01_RAW.tif", ""},
        {"/sample01_RAW.tif", ""},
        {"relative/sample01_RAW.tif", "relative"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DoCellCounting::resultName(c.path), QString(c.name)) << c.path;
}

TEST(DoCellCountingResults, SaveErrorDumpsAFullFrameAsItIs)
{
    TempRoot root;
    cv::Mat rgb(kRows, kCols, CV_8UC3, cv::Scalar(10, 20, 30));
    rgb.at<cv::Vec3b>(kRows - 1, kCols - 1) = cv::Vec3b(250, 0, 5);

    EXPECT_TRUE(DoCellCounting::saveError(rgb.data, 7));
    const cv::Mat saved = cv::imread(QFile::encodeName(root.path("/root/grab_img/7.tif")).toStdString(),
                                     cv::IMREAD_UNCHANGED);
    ASSERT_EQ(saved.size(), rgb.size());
    EXPECT_EQ(cv::norm(saved, rgb, cv::NORM_INF), 0.0);  // bytes unchanged, no channel swap

    EXPECT_FALSE(DoCellCounting::saveError(nullptr, 8));
    EXPECT_FALSE(QFileInfo::exists(root.path("/root/grab_img/8.tif")));
}

// ---------------------------------------------------------------------------
// Frame choice and failures, run in the test's thread.

namespace {

// The real camera under the root (open, close, checks and means), with every
// frame taken from a script; the last one repeats.
class ScriptedCamera : public OV5642Camera
{
public:
    unsigned char* getFrame(bool, unsigned char, unsigned char, unsigned char) override
    {
        const std::size_t index = std::min<std::size_t>(calls++, frames.size() - 1);
        return frames[index].data;
    }

    std::vector<cv::Mat> frames;
    std::size_t calls = 0;
};

// A full frame whose green mean truncates to `level` (rows of level and
// level + 1); a corrupt one carries the green marks a broken transfer leaves
// in the centre column.
cv::Mat frame(int level, bool corrupt = false)
{
    cv::Mat rgb(kRows, kCols, CV_8UC3, cv::Scalar::all(level));
    for (int row = 1; row < kRows; row += 2)
        rgb.row(row).setTo(cv::Scalar::all(level + 1));
    if (corrupt) {
        for (int row = 0; row < 10; ++row)
            rgb.at<cv::Vec3b>(row, kCols / 2) = cv::Vec3b(0, 200, 0);
    }
    return rgb;
}

class WorkerRun : public ::testing::Test
{
protected:
    WorkerRun()
    {
        theApp.m_pCamera = &camera;
        theApp.m_pImReaderWriter = &reader;
        theApp.m_CountingMode = BF_CELL_COUNTING_VIABILITY;
        theApp.m_strFinalName = "previous";
        loadDefaultProtocols(worker);
        worker.registerCellCounter(engine.get(), &camera);
        worker.setCountingParameters(120.0f, kova::kCalibrationBfnIni);
        worker.clearCountInfo();
    }

    // A record no count would leave: it must survive a failed run.
    void markRecord()
    {
        worker.m_CountInfo.total_cell = 77;
        worker.m_CountInfo.viability = 12.5f;
        worker.m_CountInfo.total_histogram = {1, 2, 3};
        marked = worker.m_CountInfo;
    }

    void expectNothingCounted(int failures, QSignalSpy& failed, QSignalSpy& completed)
    {
        EXPECT_EQ(failed.count(), failures);
        EXPECT_EQ(completed.count(), 0);
        expectSameRecord(worker.m_CountInfo, marked);
        EXPECT_EQ(theApp.m_strFinalName, "previous");
    }

    AppState app;
    TempRoot root;
    ScriptedCamera camera;
    ImReaderWriter reader;
    std::unique_ptr<VelimBio::CellCounter> engine = makeEngine();
    DoCellCounting worker;
    TCountImageInfo marked;
};

struct FrameCase
{
    const char* name;
    int skip;
    std::vector<std::pair<int, bool>> frames;  // grey level, corrupt
    std::size_t taken;                         // attempt whose frame is counted
};

std::ostream& operator<<(std::ostream& os, const FrameCase& c)
{
    return os << c.name;
}

class FrameChoice : public WorkerRun, public ::testing::WithParamInterface<FrameCase>
{
};

}  // namespace

TEST_P(FrameChoice, TakesTheFirstSoundFrameBrightEnough)
{
    const FrameCase& c = GetParam();
    theApp.m_nSkipframe = c.skip;
    for (std::size_t i = 0; i < c.frames.size(); ++i)
        camera.frames.push_back(frame(c.frames[i].first, c.frames[i].second));
    QSignalSpy completed(&worker, qOverload<>(&DoCellCounting::completed));

    worker.doWork();

    EXPECT_EQ(completed.count(), 1);
    EXPECT_EQ(camera.calls, c.taken + 1);
    const cv::Mat& counted = engine->getRawImageData();
    EXPECT_EQ(cv::norm(counted, camera.frames[std::min(c.taken, camera.frames.size() - 1)], cv::NORM_INF), 0.0);
    EXPECT_EQ(camera.mode(), DoCellCounting::kFullResolutionMode);
}

// Reference 120: with a skip of 5 the green mean must be above 115.
INSTANTIATE_TEST_SUITE_P(
    Table, FrameChoice,
    ::testing::Values(FrameCase{"first_bright_enough", 5, {{116, false}}, 0},
                      FrameCase{"equal_is_refused", 5, {{115, false}, {116, false}}, 1},
                      FrameCase{"no_skip", 0, {{120, false}, {121, false}}, 1},
                      FrameCase{"corrupt_refused", 5, {{200, true}, {130, false}}, 1},
                      FrameCase{"checks_only_in_six_attempts", 5,
                                {{200, true}, {200, true}, {200, true}, {200, true}, {200, true}, {200, true},
                                 {201, true}},
                                6},
                      FrameCase{"fifteenth_frame_counted", 5, {{100, false}}, 14}));

// An edited protocol file cannot hand the engine a search size it cannot
// afford: the worker counts with the steppers' largest.
TEST_F(WorkerRun, AProtocolOutOfRangeCountsWithinTheSteppersRanges)
{
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t edited;
    edited.name = "Edited";
    edited.min_search_size = 7;
    edited.max_search_size = 2147483647;
    edited.cell_detection_sensitivity = 6;
    edited.live_cell_sensitivity = 6;
    edited.noise_reduction = 8;
    edited.dilution_factor = 1000000000;
    worker.set_parameters_BF_CELL_COUNTING_VIABILITY(edited);
    int maxRadius = -1;
    engine->setCircleDetector([&](const cv::Mat&, const VelimBio::DetectorArgs& args) {
        maxRadius = args.maxRadius;
        return std::vector<cv::Vec3f>();
    });
    camera.frames.push_back(frame(130));
    QSignalSpy completed(&worker, qOverload<>(&DoCellCounting::completed));

    worker.doWork();

    ASSERT_EQ(completed.count(), 1);
    EXPECT_EQ(maxRadius, protocol_range::kMaxSizeHigh / 2);
    EXPECT_EQ(worker.m_CountInfo.dilution, float(protocol_range::kDilutionHigh));
}

// The record a count leaves: an average size below zero (a size calibration
// with a large negative intercept) is kept as 0, and the counts stay.
TEST_F(WorkerRun, TheRecordNeverHoldsANegativeAverageSize)
{
    const struct
    {
        double intercept;
        bool positive;
    } cases[] = {{-3.0461858, true}, {-1000.0, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.intercept);
        evaluation::Setup setup;
        setup.intercept = c.intercept;
        const auto calibrated = evaluation::makeCounter(setup);
        worker.registerCellCounter(calibrated.get(), &camera);
        worker.clearCountInfo();
        camera.calls = 0;
        camera.frames = {TestInstrument::generatedSlide().rgb};
        QSignalSpy completed(&worker, qOverload<>(&DoCellCounting::completed));

        worker.doWork();

        ASSERT_EQ(completed.count(), 1);
        EXPECT_GT(worker.m_CountInfo.total_cell, 100);
        if (c.positive)
            EXPECT_GT(worker.m_CountInfo.average_cell_size, 0.0f);
        else
            EXPECT_EQ(worker.m_CountInfo.average_cell_size, 0.0f);
    }
}

TEST_F(WorkerRun, CameraThatFailsAtFullResolutionEndsTheCountUncounted)
{
    platform::SimulatedVideo::Faults faults;
    faults.openFailure = true;
    ASSERT_TRUE(platform::SimulatedVideo::setFaults(faults));
    OV5642Camera absent;  // its device cannot be opened
    theApp.m_pCamera = &absent;
    worker.registerCellCounter(engine.get(), &absent);
    markRecord();
    QSignalSpy failed(&worker, &DoCellCounting::signalCameraModeChangeFailed);
    QSignalSpy completed(&worker, qOverload<>(&DoCellCounting::completed));

    worker.doWork();

    expectNothingCounted(1, failed, completed);
}

TEST_F(WorkerRun, ReAnalysisOfAnUnusableImageEndsWithAFailure)
{
    const QString stored = "/KOVA/anonymous/CELL_COUNTING_VIABILITY/s1/s1_RAW.tif";
    const QString small = "/KOVA/anonymous/CELL_COUNTING_VIABILITY/s2/s2_RAW.tif";
    root.writeFile(stored, "not an image at all");
    ASSERT_TRUE(writeRawTiff(small, cv::Mat(480, 640, CV_8UC3, cv::Scalar::all(128))));
    const struct {
        const char* name;
        QString path;
        bool withReader;
    } cases[] = {
        {"missing", "/KOVA/anonymous/CELL_COUNTING_VIABILITY/none/none_RAW.tif", true},
        {"not a TIFF", stored, true},
        {"wrong size", small, true},
        {"no image reader", small, false},
    };
    worker.m_bReAnalysis = true;
    markRecord();
    QSignalSpy failed(&worker, &DoCellCounting::signalReAnalysisFailed);
    QSignalSpy completed(&worker, qOverload<>(&DoCellCounting::completed));
    int failures = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        theApp.m_pImReaderWriter = c.withReader ? &reader : nullptr;
        worker.m_image_path = c.path;
        worker.doWork();
        expectNothingCounted(++failures, failed, completed);
    }
    EXPECT_EQ(camera.calls, 0u);
}

// ---------------------------------------------------------------------------
// Whole counts on the virtual instrument, in the worker's own thread.

namespace {

class WorkerOnInstrument : public ::testing::TestWithParam<int>
{
protected:
    WorkerOnInstrument()
    {
        worker->moveToThread(&thread);
        QObject::connect(&thread, &QThread::finished, worker, &QObject::deleteLater);
        thread.start();
        theApp.m_pCamera = &camera;
        theApp.m_pImReaderWriter = &reader;
        theApp.m_nSkipframe = 5;
        theApp.m_strFinalName = "previous";
    }

    void SetUp() override { ASSERT_EQ(vi.error(), ""); }

    ~WorkerOnInstrument() override
    {
        thread.quit();
        thread.wait();
    }

    // One count started as the counting screen starts it; false when it did not complete.
    bool count()
    {
        QSignalSpy completed(worker, qOverload<>(&DoCellCounting::completed));
        QMetaObject::invokeMethod(worker, &DoCellCounting::doWork, Qt::QueuedConnection);
        return completed.wait(60000);
    }

    AppState app;
    TestInstrument vi;
    OV5642Camera camera;
    ImReaderWriter reader;
    std::unique_ptr<VelimBio::CellCounter> engine = makeEngine();
    DoCellCounting* worker = new DoCellCounting;
    QThread thread;
};

}  // namespace

TEST_P(WorkerOnInstrument, CountsTheSlideAndReAnalysisOfItsRawImageAgrees)
{
    const int mode = GetParam();
    theApp.m_CountingMode = mode;
    const slide::Slide& slide = TestInstrument::generatedSlide();
    const int trueTotal = static_cast<int>(slide.truth.size());
    int trueLive = 0;
    for (const slide::SlideCell& cell : slide.truth)
        trueLive += cell.live ? 1 : 0;

    // The live view runs at 1280 × 960; its green mean is the reference.
    ASSERT_TRUE(camera.open(1, kova::kCalibrationBfnIni, false));
    const float liveGreen = static_cast<float>(camera.getGreenMean(camera.getFrame()));
    loadDefaultProtocols(*worker);
    worker->registerCellCounter(engine.get(), &camera);
    worker->setCountingParameters(liveGreen, kova::kCalibrationBfnIni);
    worker->m_bReAnalysis = false;
    worker->clearCountInfo();

    ASSERT_TRUE(count());

    const TCountImageInfo captured = worker->m_CountInfo;
    EXPECT_NEAR(captured.total_cell, trueTotal, 0.05 * trueTotal);
    EXPECT_EQ(camera.mode(), DoCellCounting::kFullResolutionMode);
    EXPECT_TRUE(camera.isRunning());
    EXPECT_EQ(theApp.m_strFinalName, "");
    EXPECT_EQ(captured.gating_min, 1);
    EXPECT_EQ(captured.gating_max, 90);
    ASSERT_EQ(captured.total_histogram.size(), 181u);
    for (int i = 0; i < 181; ++i)
        EXPECT_EQ(captured.total_histogram[i], captured.live_histogram[i] + captured.dead_histogram[i]) << i;
    EXPECT_EQ(sum(captured.total_histogram), captured.total_cell);
    EXPECT_GT(captured.average_cell_size, 0.0f);
    EXPECT_GT(captured.total, 0.0f);
    if (mode == BF_CELL_COUNTING_VIABILITY) {
        EXPECT_NEAR(captured.viability, 100.0 * trueLive / trueTotal, 5.0);
        EXPECT_EQ(captured.live_cell + captured.dead_cell, captured.total_cell);
        EXPECT_EQ(captured.dilution, 2.0f);
    } else {
        EXPECT_EQ(captured.live_cell, 0);
        EXPECT_EQ(captured.dead_cell, 0);
        EXPECT_EQ(captured.viability, 0.0f);
        EXPECT_TRUE(captured.live == 0.0f && captured.live_exp == 0 && captured.dead == 0.0f && captured.dead_exp == 0);
        EXPECT_GT(sum(captured.live_histogram), 0);
        EXPECT_GT(sum(captured.dead_histogram), 0);
        EXPECT_EQ(captured.dilution, 1.0f);
    }

    // The same frame stored as a result's raw image and counted again.
    const QString stored = "/KOVA/anonymous/TOTAL_CELL_COUNTING/sample01/sample01_RAW.tif";
    ASSERT_TRUE(writeRawTiff(stored, engine->getRawImageData()));
    worker->m_bReAnalysis = true;
    worker->m_image_path = stored;
    worker->clearCountInfo();

    ASSERT_TRUE(count());

    expectSameRecord(worker->m_CountInfo, captured);
    EXPECT_EQ(theApp.m_strFinalName, "sample01");
}

INSTANTIATE_TEST_SUITE_P(Modes, WorkerOnInstrument,
                         ::testing::Values(int(BF_TOTAL_CELL_COUNTING), int(BF_CELL_COUNTING_VIABILITY)),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param == BF_TOTAL_CELL_COUNTING ? "Total" : "Viability";
                         });

// As on the instrument: the stage starts 3000 steps off the focus, autofocus
// finds it, and the count that follows is within 3 % of the slide.
class AutofocusThenCount : public WorkerOnInstrument
{
};

TEST_P(AutofocusThenCount, CountsWithinThreePercentOfTheSlide)
{
    theApp.m_CountingMode = BF_CELL_COUNTING_VIABILITY;
    const int trueTotal = static_cast<int>(TestInstrument::generatedSlide().truth.size());
    ASSERT_TRUE(camera.open(1, kova::kCalibrationBfnIni, false));
    const int centre = TestInstrument::kFocus + GetParam();
    vi.mcu.setPosition(centre);

    int end = -1;
    alg_Autofocus* af = new alg_Autofocus(nullptr, &camera, camera.width(), camera.height());
    af->setParam(centre, 0, true, false);
    QObject::connect(af, &alg_Autofocus::sig_endAutoFocusing, [&end, af](int position) {
        end = position;
        af->deleteLater();
    });
    af->process();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_LE(std::abs(end - TestInstrument::kFocus), alg_Autofocus::kStepSize);

    const float liveGreen = static_cast<float>(camera.getGreenMean(camera.getFrame()));
    loadDefaultProtocols(*worker);
    worker->registerCellCounter(engine.get(), &camera);
    worker->setCountingParameters(liveGreen, kova::kCalibrationBfnIni);
    worker->m_bReAnalysis = false;
    worker->clearCountInfo();
    ASSERT_TRUE(count());
    EXPECT_NEAR(worker->m_CountInfo.total_cell, trueTotal, 0.03 * trueTotal) << "autofocus ended at " << end;
}

INSTANTIATE_TEST_SUITE_P(StageOffFocus, AutofocusThenCount, ::testing::Values(-3000, 3000),
                         [](const testing::TestParamInfo<int>& info) {
                             return info.param < 0 ? "Below" : "Above";
                         });
