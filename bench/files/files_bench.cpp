// Result-file benchmarks under a temporary instrument root: one 2592x1944
// RGB frame of a generated slide written as an LZW TIFF and read back, the
// per-result CSV file of a count with 5000 objects, and one new row in a
// previous-counts table of 1000 rows (write, and the newest-first copy too).
#include "Saving/SavingThread.h"
#include "CountedResult.h"
#include "File_IO/CSVReaderWriter.h"
#include "File_IO/ImReaderWriter.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ResultTree.h"
#include "Slide.h"
#include "TempRoot.h"
#include "velimbio/CellCounter.h"

#include <benchmark/benchmark.h>

#include <QDir>

#include <memory>
#include <string>

namespace {

constexpr int kCols = 2592;
constexpr int kRows = 1944;

// Everything is written under this root, which stands for "/" for the
// program's whole run.
const TempRoot g_root;
[[maybe_unused]] const bool g_folders = QDir().mkpath(g_root.path("/KOVA/bench/csv"));

const cv::Mat& slideFrame()
{
    static const cv::Mat frame = [] {
        slide::SlideParams params;
        params.cellCount = 1000;
        return slide::generateSlide(params).rgb;
    }();
    return frame;
}

void BM_WriteResultTiff(benchmark::State& state)
{
    cv::Mat frame = slideFrame().clone();
    std::string path = "/KOVA/bench/bench_TAG.tif";
    for (auto _ : state) {
        ImReaderWriter writer;
        if (!writer.loadAndWrite(frame.data, kCols, kRows, 8, 3, 5, 2, path, "Serial number=KV3,User=anonymous,"))
            state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kCols * kRows * 3);
}
BENCHMARK(BM_WriteResultTiff)->Unit(benchmark::kMillisecond);

void BM_ReadResultTiff(benchmark::State& state)
{
    cv::Mat frame = slideFrame().clone();
    std::string path = "/KOVA/bench/bench_RAW.tif";
    ImReaderWriter writer;
    writer.loadAndWrite(frame.data, kCols, kRows, 8, 3, 5, 2, path, "");
    for (auto _ : state) {
        ImReaderWriter reader;
        std::unique_ptr<unsigned char[]> pixels(reader.imread(path));
        if (!pixels)
            state.SkipWithError("read failed");
        benchmark::DoNotOptimize(pixels.get());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kCols * kRows * 3);
}
BENCHMARK(BM_ReadResultTiff)->Unit(benchmark::kMillisecond);

void BM_WriteResultCsv5000(benchmark::State& state)
{
    CountedEngine engine;
    std::vector<VelimBio::TObj> objects(5000);
    for (size_t i = 0; i < objects.size(); ++i) {
        VelimBio::TObj& o = objects[i];
        o.x = int(i * 37 % kCols);
        o.y = int(i * 53 % kRows);
        o.size_um = 5.0f + float(i % 200) * 0.0731f;
        o.circularity = 0.9f + float(i % 10) * 0.01f;
        o.roundness = 95.0f + float(i % 9);
        o.mean_intensity = int(i % 255);
        o.is_live = i % 4 != 0;
        o.gate_position = int(i % 3) - 1;
    }
    engine.setObjects(std::move(objects));
    theApp.m_pCellCounter = &engine;
    theApp.m_CountingMode = BF_CELL_COUNTING_VIABILITY;
    theApp.m_CountResult.total_histogram.assign(181, 27);
    theApp.m_CountResult.live_histogram.assign(181, 20);
    theApp.m_CountResult.dead_histogram.assign(181, 7);
    theApp.m_CountResult.cluster_histogram.assign(9, 500);

    QString date = "08 Dec 2026 14:03:22";
    for (auto _ : state) {
        SavingThread job;
        job.setType(SavingThread::CsvFile);
        job.setDestination("/KOVA/bench", "csv");
        job.set_date(date);
        if (!job.savingCSV())
            state.SkipWithError("write failed");
    }
    theApp.m_pCellCounter = nullptr;
}
BENCHMARK(BM_WriteResultCsv5000)->Unit(benchmark::kMillisecond);

const char* const kHeader = ResultTree::previousCountHeader(BF_CELL_COUNTING_VIABILITY);
const char* const kTable = "/KOVA/bench/PreviousCount_BF_CellCountingViability.csv";

void appendRow(CSVReaderWriter& table, int row)
{
    table.fillDataField("anonymous,new%06d,08 Dec 2026 14:05,2.25x10e5,100,1.80x10e5,80,4.50x10e4,20,80.0,12.3,DEFAULT",
                        row);
}

CSVReaderWriter fullTable()
{
    CSVReaderWriter table(1001, "%s", kHeader);
    for (int i = 0; i < 1000; ++i)
        appendRow(table, i);
    return table;
}

// The counting screen's step after a count: one row more, the table saved.
void BM_AppendTo1000RowTable(benchmark::State& state)
{
    CSVReaderWriter table = fullTable();
    int row = 0;
    for (auto _ : state) {
        appendRow(table, row++);
        if (!table.write(kTable))
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_AppendTo1000RowTable)->Unit(benchmark::kMillisecond);

// The same with the newest-first copy that follows it (read back, reverse write).
void BM_AppendTo1000RowTableWithNewestFirstCopy(benchmark::State& state)
{
    CSVReaderWriter table = fullTable();
    int row = 0;
    for (auto _ : state) {
        appendRow(table, row++);
        CSVReaderWriter copy(1001, "%s", kHeader);
        if (!table.write(kTable) || !copy.read(kTable) || !copy.reverseWrite("/KOVA/bench/newest_first.csv"))
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_AppendTo1000RowTableWithNewestFirstCopy)->Unit(benchmark::kMillisecond);

}  // namespace
