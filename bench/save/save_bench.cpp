// The save and print dialog: a whole automatic save run (analysed and raw
// TIFF, PDF report, CSV, the previous-counts row named and its copy, sync)
// on frames of a generated slide, without the 500 ms settling pause; and the
// naming of the newest previous count in a table of 1000 viability rows.
#include "Count/SavePrintDlg.h"

#include "CountedResult.h"
#include "File_IO/CSVReaderWriter.h"
#include "KovaCore/ResultTree.h"
#include "Slide.h"
#include "TempRoot.h"
#include "VirtualPrinter.h"
#include "platform/Root.h"

#include <benchmark/benchmark.h>

#include <QDir>

#include <memory>

namespace {

constexpr int kViability = BF_CELL_COUNTING_VIABILITY;

// 1000 viability rows in the master, the copy made, the table in theApp.
std::unique_ptr<CSVReaderWriter> previousCounts()
{
    auto table = std::make_unique<CSVReaderWriter>(ResultTree::kPreviousCountLines, "%s",
                                                   ResultTree::previousCountHeader(kViability));
    for (int i = 0; i < 1000; ++i)
        table->fillDataField("anonymous,,08 Dec 2026 14:%02d,2.25x10e5,100,1.80x10e5,80,4.50x10e4,20,80.0,12.3,PBMC",
                             i % 60);
    QDir().mkpath(platform::rootPath(QStringLiteral("/opt/KOVA3/log")));
    QDir().mkpath(platform::rootPath(ResultTree::modeFolder(kViability)));
    table->write(ResultTree::previousCountMaster(kViability).toUtf8().constData());
    theApp.m_pPreviousCountCSV = table.get();
    return table;
}

void BM_SaveRun(benchmark::State& state)
{
    TempRoot root;
    sim::installReportResources(root.root());
    CountedResult count(kViability);
    slide::SlideParams params;
    params.cellCount = 400;
    const cv::Mat frame = slide::generateSlide(params).rgb;
    count.engine().setImages(frame, frame);
    const auto table = previousCounts();
    theApp.m_bAgingMode = true;  // no result box to wait for
    theApp.m_SaveReview.m_strBaseName = "bench";
    theApp.m_SaveReview.m_strSuffixType = "Sequence";
    theApp.m_SaveReview.m_nSequenceCount = 1;

    for (auto _ : state) {
        SavePrintDlg dialog;
        dialog.setSettlePause(0);
        bool done = false;
        QObject::connect(&dialog, &SavePrintDlg::sig_aging_savecompleted, [&done] { done = true; });
        dialog.auto_save3();
        if (!done)
            state.SkipWithError("the run did not complete");
    }
    theApp.m_bAgingMode = false;
    theApp.m_pPreviousCountCSV = nullptr;
}
BENCHMARK(BM_SaveRun)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartFilenameReplaced(benchmark::State& state)
{
    TempRoot root;
    const auto table = previousCounts();
    SavePrintDlg dialog;
    int n = 0;
    for (auto _ : state)
        dialog.startFilenameReplaced(QStringLiteral("Sample(%1)").arg(++n));
    theApp.m_pPreviousCountCSV = nullptr;
}
BENCHMARK(BM_StartFilenameReplaced)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
