// Review benchmarks under a temporary instrument root: 20 result folders of
// about 32 MB each copied to the stick's folder by the copy worker, the same
// with cp (and with cp and sync, since the worker forces every file to the
// medium), and opening the review screen on a viability table of 1000 counts.
#include "File_IO/CSVReaderWriter.h"
#include "FileManager/FileOperator.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ResultTree.h"
#include "Review/ReviewDlg.h"
#include "TempRoot.h"
#include "platform/DiskSpace.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QProcess>

namespace {

constexpr int kFolders = 20;
constexpr int kFileBytes = 15 << 20;  // two images of a result
const QString kSource = "/KOVA/anonymous/TOTAL_CELL_COUNTING";
const QString kStick = "/mnt";

const TempRoot g_root;

// The result folders, made once: two 15 MiB images, a report and a CSV file each.
qint64 resultFolders()
{
    static const qint64 bytes = [] {
        const QByteArray image(kFileBytes, '\x5a');
        qint64 total = 0;
        for (int i = 0; i < kFolders; ++i) {
            const QString folder = QStringLiteral("%1/R%2").arg(kSource).arg(i, 2, 10, QLatin1Char('0'));
            for (const char* file : {"/R_TAG.tif", "/R_RAW.tif"})
                total += g_root.writeFile(folder + file, image).isEmpty() ? 0 : image.size();
            total += g_root.writeFile(folder + "/R.pdf", QByteArray(2 << 20, 'p')).isEmpty() ? 0 : 2 << 20;
            total += g_root.writeFile(folder + "/R.csv", QByteArray(4096, 'c')).isEmpty() ? 0 : 4096;
        }
        QDir().mkpath(g_root.path(kStick));
        platform::setSimulatedDiskSpace(g_root.path(kStick), {1 << 20, 1 << 20, 1 << 20, 1 << 20});
        return total;
    }();
    return bytes;
}

void clearStick()
{
    QDir(g_root.path(kStick)).removeRecursively();
    QDir().mkpath(g_root.path(kStick));
}

void BM_CopyResultFoldersWorker(benchmark::State& state)
{
    const qint64 bytes = resultFolders();
    for (auto _ : state) {
        state.PauseTiming();
        clearStick();
        state.ResumeTiming();
        FileOperator worker;
        bool completed = false;
        QObject::connect(&worker, &FileOperator::signalCompleted, [&] { completed = true; });
        worker.setData({file_operations_t::CopyAllResults, {kSource}});
        worker.setDst(QFileInfo(kStick));
        worker.start();
        worker.wait();
        if (!completed)
            state.SkipWithError("copy failed");
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}
BENCHMARK(BM_CopyResultFoldersWorker)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void runCp(benchmark::State& state, bool sync)
{
    const qint64 bytes = resultFolders();
    for (auto _ : state) {
        state.PauseTiming();
        clearStick();
        state.ResumeTiming();
        if (QProcess::execute("cp", {"-r", g_root.path(kSource), g_root.path(kStick)}) != 0
            || (sync && QProcess::execute("sync", {}) != 0))
            state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(state.iterations() * bytes);
}

void BM_CopyResultFoldersCp(benchmark::State& state)
{
    runCp(state, false);
}
BENCHMARK(BM_CopyResultFoldersCp)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_CopyResultFoldersCpAndSync(benchmark::State& state)
{
    runCp(state, true);
}
BENCHMARK(BM_CopyResultFoldersCpAndSync)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_OpenReviewOn1000ViabilityRows(benchmark::State& state)
{
    theApp.m_CountingMode = BF_CELL_COUNTING_VIABILITY;
    QByteArray table = ResultTree::previousCountHeader(BF_CELL_COUNTING_VIABILITY);
    for (int i = 0; i < 1000; ++i)
        table += QStringLiteral("\nanonymous,Result_%1,08 Dec 2026 14:%2,2.5e6,1234,2.0e6,1000,5.0e5,234,80.0%,11.2,DEFAULT")
                     .arg(i, 5, 10, QLatin1Char('0'))
                     .arg(i % 60, 2, 10, QLatin1Char('0'))
                     .toUtf8();
    g_root.writeFile(ResultTree::previousCountMaster(BF_CELL_COUNTING_VIABILITY), table);
    CSVReaderWriter store(ResultTree::kPreviousCountLines, "%s", ResultTree::previousCountHeader(BF_CELL_COUNTING_VIABILITY));
    store.read(ResultTree::previousCountMaster(BF_CELL_COUNTING_VIABILITY).toUtf8().constData());
    theApp.m_pPreviousCountCSV = &store;
    for (auto _ : state) {
        ReviewDlg review;
        benchmark::DoNotOptimize(review.mainUIState());
    }
    theApp.m_pPreviousCountCSV = nullptr;
}
BENCHMARK(BM_OpenReviewOn1000ViabilityRows)->Unit(benchmark::kMillisecond);

}  // namespace
