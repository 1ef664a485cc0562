// One full PDF report per counting mode (time and file size) and the four
// report pictures, on the count of the report tests.
#include "ReportFixture.h"

#include <benchmark/benchmark.h>

#include <QFileInfo>

namespace {

void BM_PdfReport(benchmark::State& state)
{
    const int mode = int(state.range(0));
    TempRoot root;
    sim::installReportResources(root.root());
    QDir().mkpath(root.path("/KOVA/bench/report"));
    const ReportContent content = sampleContent(mode);
    PdfReport report;
    report.setErrorNotice([&state] { state.SkipWithError("report failed"); });
    for (auto _ : state)
        benchmark::DoNotOptimize(report.write(content, "/KOVA/bench", "report"));
    state.counters["bytes"] = double(QFileInfo(root.path("/KOVA/bench/report/report.pdf")).size());
}
BENCHMARK(BM_PdfReport)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ReportImages(benchmark::State& state)
{
    using namespace ReportImages;
    const ReportContent c = sampleContent(1);
    const std::vector<int> total(c.result.total_histogram.begin(), c.result.total_histogram.end());
    const std::vector<int> live(c.result.live_histogram.begin(), c.result.live_histogram.end());
    const std::vector<int> dead(c.result.dead_histogram.begin(), c.result.dead_histogram.end());
    const std::vector<int> cluster(c.result.cluster_histogram.begin(), c.result.cluster_histogram.end());
    HistogramScale scale{10, 40, 2.0f, c.concentration};
    QImage image;
    for (auto _ : state) {
        gen_histogram_OnlyTotal(image, total, Concentration, QColor(255, 127, 0), scale);
        gen_histogram_Other(image, live, Concentration, Qt::green, scale);
        gen_histogram_Total(image, total, live, dead, Concentration, scale);
        genClusterImage(image, cluster);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_ReportImages)->Unit(benchmark::kMillisecond);

}  // namespace
