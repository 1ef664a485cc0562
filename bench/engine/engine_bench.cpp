// Engine benchmarks on generated 2592x1944 slides of 300 and 1500 cells at
// the DEFAULT protocol: the detection stages one by one and together, the
// stock gradient circle transform on the same frame as a peer, the whole
// count, re-gating, and the cluster test on large object lists.
#include "Evaluation.h"
#include "Slide.h"
#include "SlideMatch.h"

#include "velimbio/HoughCirclesAdaptive.h"

#include <benchmark/benchmark.h>

#include <opencv2/imgproc.hpp>

#include <map>
#include <memory>
#include <random>

namespace {

// The DEFAULT viability protocol as the engine hands it to the detector:
// Canny high 150 (noise level 5), 10 votes (detection level 5), radii 3..12.
constexpr double kCannyHigh = 150;
constexpr double kVotes = 10;
constexpr int kMinRadius = 3, kMaxRadius = 12;

// The stock gradient transform, tuned on these slides: same Canny threshold,
// accumulator threshold 10 and 6 px between centres gave the best recall at a
// precision above 0.99 (threshold 8 or 4 px halve the precision, 15 loses 7 %
// of the cells).
constexpr double kStockMinDist = 6, kStockVotes = 10;

struct Frame
{
    slide::Slide slide;
    cv::Mat grey;
};

const Frame& frame(int cells)
{
    static std::map<int, Frame> frames;
    auto it = frames.find(cells);
    if (it == frames.end()) {
        slide::SlideParams p;
        p.seed = static_cast<std::uint64_t>(cells);
        p.cellCount = cells;
        p.liveFraction = 0.7;
        p.minDiameter = 8;
        p.maxDiameter = 24;
        p.clusterFraction = 0.1;
        Frame f;
        f.slide = slide::generateSlide(p);
        cv::extractChannel(f.slide.rgb, f.grey, 1);
        it = frames.emplace(cells, std::move(f)).first;
    }
    return it->second;
}

evaluation::Setup defaultSetup()
{
    evaluation::Setup setup;
    evaluation::builtInProtocol("DEFAULT", 1, setup.protocol);
    return setup;
}

// A counter with the frame handed in and the DEFAULT protocol set.
std::unique_ptr<VelimBio::CellCounter> preparedCounter(const Frame& f)
{
    const evaluation::Setup setup = defaultSetup();
    auto counter = evaluation::makeCounter(setup);
    evaluation::prepare(*counter, f.slide.rgb, setup);
    return counter;
}

void reportAccuracy(benchmark::State& state, const Frame& f, const std::vector<slide::Detection>& found)
{
    const slide::Match m = slide::matchDetections(f.slide.truth, found);
    state.counters["recall"] = m.recall;
    state.counters["precision"] = m.precision;
    state.counters["found"] = m.foundCount;
}

std::vector<slide::Detection> fromRecords(const std::vector<cv::Vec6f>& records)
{
    std::vector<slide::Detection> d;
    for (const cv::Vec6f& r : records)
        d.push_back({r[0], r[1], std::max(r[2], r[5])});
    return d;
}

std::vector<cv::Vec3f> ourCircles(const cv::Mat& grey)
{
    VelimBio::DetectorArgs args;
    args.param1 = kCannyHigh;
    args.param2 = kVotes;
    args.minRadius = kMinRadius;
    args.maxRadius = kMaxRadius;
    args.edgeDirection = -32;
    args.fitToEdges = true;
    return VelimBio::detectCircles(grey, args);
}

void BM_EdgeStage(benchmark::State& state)
{
    const auto counter = preparedCounter(frame(static_cast<int>(state.range(0))));
    for (auto _ : state)
        counter->prepareBinaryImagesBF();
}

void BM_Detector(benchmark::State& state)
{
    const Frame& f = frame(static_cast<int>(state.range(0)));
    std::vector<cv::Vec3f> circles;
    for (auto _ : state)
        circles = ourCircles(f.grey);
    reportAccuracy(state, f, slide::fromCircles(circles));
}

// The engine's detection with the detector's answer handed in ready: edge
// stage and refinement as the engine runs them (refinement alone = this minus
// BM_EdgeStage).
void BM_EdgeStageAndRefinement(benchmark::State& state)
{
    const Frame& f = frame(static_cast<int>(state.range(0)));
    const auto counter = preparedCounter(f);
    const std::vector<cv::Vec3f> answer = ourCircles(f.grey);
    counter->setCircleDetector([&answer](const cv::Mat&, const VelimBio::DetectorArgs&) { return answer; });
    for (auto _ : state)
        counter->findObjects_BF();
    state.counters["objects"] = static_cast<double>(answer.size());
}

// One object after the other, as a measure of the work per object.
void BM_RefinementOneThread(benchmark::State& state)
{
    const Frame& f = frame(static_cast<int>(state.range(0)));
    const auto counter = preparedCounter(f);
    counter->prepareBinaryImagesBF();
    const std::vector<cv::Vec3f> circles = ourCircles(f.grey);
    cv::Vec6f record;
    for (auto _ : state)
        for (const cv::Vec3f& c : circles)
            benchmark::DoNotOptimize(counter->find_newCellSize(c, record, 2, -32));
    state.counters["objects"] = static_cast<double>(circles.size());
}

// Edge stage, detector and refinement: the engine's whole detection.
void BM_Detection(benchmark::State& state)
{
    const Frame& f = frame(static_cast<int>(state.range(0)));
    const auto counter = preparedCounter(f);
    for (auto _ : state)
        counter->findObjects_BF();
    reportAccuracy(state, f, fromRecords(counter->findObjects_BF()));
}

// OpenCV's threads for one benchmark: its second argument when it has one.
class Threads
{
public:
    explicit Threads(const benchmark::State& state) : m_before(cv::getNumThreads())
    {
        if (state.range(1) > 0)
            cv::setNumThreads(static_cast<int>(state.range(1)));
    }
    ~Threads() { cv::setNumThreads(m_before); }

private:
    int m_before;
};

void BM_StockHoughCircles(benchmark::State& state)
{
    const Threads threads(state);
    const Frame& f = frame(static_cast<int>(state.range(0)));
    std::vector<cv::Vec3f> circles;
    for (auto _ : state)
        cv::HoughCircles(f.grey, circles, cv::HOUGH_GRADIENT, 1.0, kStockMinDist, kCannyHigh, kStockVotes, kMinRadius,
                         kMaxRadius);
    reportAccuracy(state, f, slide::fromCircles(circles));
}

// Frame in, results and overlay out, as the counting worker runs it.
void BM_WholeEngine(benchmark::State& state)
{
    const Threads threads(state);
    const Frame& f = frame(static_cast<int>(state.range(0)));
    const evaluation::Setup setup = defaultSetup();
    const auto counter = evaluation::makeCounter(setup);
    evaluation::Result r;
    evaluation::StageTimes sum;
    for (auto _ : state) {
        r = evaluation::evaluate(*counter, f.slide.rgb, setup);
        sum.prepare += r.times.prepare;
        sum.detection += r.times.detection;
        sum.circleDetector += r.times.circleDetector;
        sum.gating += r.times.gating;
        sum.drawing += r.times.drawing;
    }
    // Milliseconds per stage, the mean over the iterations.
    const auto average = benchmark::Counter::kAvgIterations;
    state.counters["prepare_ms"] = benchmark::Counter(sum.prepare, average);
    state.counters["detection_ms"] = benchmark::Counter(sum.detection, average);
    state.counters["detector_ms"] = benchmark::Counter(sum.circleDetector, average);
    state.counters["gating_ms"] = benchmark::Counter(sum.gating, average);
    state.counters["drawing_ms"] = benchmark::Counter(sum.drawing, average);
    std::vector<slide::Detection> found;
    for (const VelimBio::TObj& o : r.objects)
        found.push_back({static_cast<float>(o.x), static_cast<float>(o.y), o.diameter_px});
    reportAccuracy(state, f, found);
}

// The histogram page's Apply: a closed gate and the overlay redrawn.
void BM_Regating(benchmark::State& state)
{
    const auto counter = preparedCounter(frame(static_cast<int>(state.range(0))));
    counter->findObjects_BF();
    int live = 0, dead = 0;
    for (auto _ : state) {
        counter->histogramsAndGating_BF(5.0f, 20.0f, live, dead);
        counter->draw_cellsBF(false);
    }
    state.counters["counted"] = live + dead;
}

void BM_CheckClusters(benchmark::State& state)
{
    // Objects spread over the frame at a density that gives many small clusters.
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> x(0, 2592), y(0, 1944), r(3, 12);
    std::vector<cv::Vec6f> objects(static_cast<size_t>(state.range(0)));
    for (cv::Vec6f& o : objects)
        o = cv::Vec6f(x(rng), y(rng), r(rng), 100, -1, 0);
    VelimBio::CellCounter counter(1, 64, 64, 0.48979f, 1.431f, 1.4f);
    std::vector<cv::Vec6f> work;
    for (auto _ : state) {
        work = objects;
        counter.check_clusters(work);
        benchmark::DoNotOptimize(work.data());
    }
}

}  // namespace

BENCHMARK(BM_EdgeStage)->Arg(300)->Arg(1500)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Detector)->Arg(300)->Arg(1500)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EdgeStageAndRefinement)->Arg(300)->Arg(1500)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RefinementOneThread)->Arg(300)->Arg(1500)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Detection)->Arg(300)->Arg(1500)->Unit(benchmark::kMillisecond)->UseRealTime();
// Cells, threads: the whole engine against the stock transform alone, on the
// same frames, with 8, 2 and 1 threads.
BENCHMARK(BM_StockHoughCircles)->ArgsProduct({{300, 1500}, {8, 2, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholeEngine)->ArgsProduct({{300, 1500}, {8, 2, 1}})->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Regating)->Arg(300)->Arg(1500)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CheckClusters)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime();

BENCHMARK_MAIN();
