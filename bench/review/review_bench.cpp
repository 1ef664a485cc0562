// Review benchmarks under a temporary instrument root: 20 result folders of
// about 32 MB each copied to the stick's folder by the copy worker, the same
// with cp (and with cp and sync, since the worker forces every file to the
// medium), opening the review screen on a viability table of 1000 counts,
// the first page of 1000 result folders inside and on the stick, deleting
// 1000 result folders, and viewing and zooming a saved image.
#include "File_IO/CSVReaderWriter.h"
#include "File_IO/ImReaderWriter.h"
#include "FileManager/FileOperator.h"
#include "FileManager/ResultFolderModel.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ResultTree.h"
#include "Review/ReviewDlg.h"
#include "TempRoot.h"
#include "platform/DiskSpace.h"

#include <benchmark/benchmark.h>

#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <opencv2/core.hpp>

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

// --- the stored results

void makeFolders(const QString& logical, int count)
{
    for (int i = 0; i < count; ++i)
        QDir().mkpath(g_root.path(QStringLiteral("%1/Result_%2").arg(logical).arg(i, 4, 10, QLatin1Char('0'))));
}

// From a new folder model to the first complete page (7 folders inside, up to 500 on the stick).
void firstPage(benchmark::State& state, const QString& select, const QString& folder, int pageSize)
{
    theApp.m_CountingMode = BF_CELL_COUNTING_VIABILITY;
    makeFolders(folder, 1000);
    for (auto _ : state) {
        ResultFolderModel model;
        bool complete = false;
        QObject::connect(&model, &ResultFolderModel::sigPagecomplete,
                         [&](const QFileInfoList& list, int) { complete = list.size() == pageSize; });
        model.initialize();
        if (!select.isEmpty())
            model.slotResetList3(select);
        if (!QTest::qWaitFor([&] { return complete; }, 30000))
            state.SkipWithError("no complete page");
    }
}

void BM_FirstPageOf1000FoldersInternal(benchmark::State& state)
{
    firstPage(state, QString(), ResultTree::modeFolder(BF_CELL_COUNTING_VIABILITY), 7);
}
BENCHMARK(BM_FirstPageOf1000FoldersInternal)->Unit(benchmark::kMillisecond);

void BM_FirstPageOf1000FoldersStick(benchmark::State& state)
{
    firstPage(state, "USB", kStick, 500);
}
BENCHMARK(BM_FirstPageOf1000FoldersStick)->Unit(benchmark::kMillisecond);

void BM_EraseAll1000Folders(benchmark::State& state)
{
    theApp.m_CountingMode = BF_CELL_COUNTING_VIABILITY;
    const QString folder = ResultTree::modeFolder(BF_CELL_COUNTING_VIABILITY);
    ResultFolderModel model;
    model.initialize();
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 1000; ++i) {
            const QString result = QStringLiteral("%1/R%2/R%2").arg(folder).arg(i);
            g_root.writeFile(result + ".csv", QByteArray(4096, 'c'));
            g_root.writeFile(result + ".pdf", QByteArray(64 * 1024, 'p'));
        }
        state.ResumeTiming();
        model.erase_all();
    }
}
BENCHMARK(BM_EraseAll1000Folders)->Unit(benchmark::kMillisecond)->Iterations(3);

// The review screen showing a saved analysed image: opening the image
// viewer, and each zoom step (which reads the image again).
// The total mode with a saved result, set before the screen lists the mode's folder.
struct SavedTotalResult
{
    SavedTotalResult()
    {
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        // First in the list, before any other result of the run.
        const QString folder = ResultTree::modeFolder(BF_TOTAL_CELL_COUNTING) + "/A_Image";
        g_root.writeFile(folder + "/A_Image.csv", "Counting mode,Bright field cell counting\n,Total cell counting\n");
        cv::Mat frame(1944, 2592, CV_8UC3);
        cv::randu(frame, 0, 256);
        ImReaderWriter writer;
        std::string path = (folder + "/A_Image_TAG.tif").toStdString();
        writer.loadAndWrite(frame.data, 2592, 1944, 8, 3, 5, 2, path, "");
    }
};

class ImageViewer : private SavedTotalResult
{
public:
    ImageViewer()
    {
        review.show();
        // Waited for by name: the list may show another page's rows first.
        const auto found = [this] { return list()->findItems("A_Image", Qt::MatchExactly); };
        if (!QTest::qWaitFor([&] { return !found().isEmpty(); }, 30000))
            return;
        list()->setCurrentItem(found().first());
        button("BUTTON_VIEW")->click();
    }
    QTreeWidget* list() { return review.findChild<QTreeWidget*>("TREE_PAGE"); }
    QPushButton* button(const char* name) { return review.findChild<QPushButton*>(name); }

    ReviewDlg review;
};

void BM_ViewImage(benchmark::State& state)
{
    ImageViewer viewer;
    if (viewer.review.mainUIState() != REVIEW_STEP_VIEW)
        state.SkipWithError("no result to view");
    for (auto _ : state) {
        viewer.button("BUTTON_VIEW_IMAGES")->click();
        viewer.review.repaint();
        state.PauseTiming();
        viewer.button("BUTTON_CLOSE")->click();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ViewImage)->Unit(benchmark::kMillisecond);

void BM_ZoomStep(benchmark::State& state)
{
    ImageViewer viewer;
    viewer.button("BUTTON_VIEW_IMAGES")->click();
    if (viewer.review.mainUIState() != REVIEW_STEP_IMAGE)
        state.SkipWithError("no image to zoom");
    const int to = int(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        while (viewer.review.imageView().zoom != (to == 1 ? 4 : to / 2))
            viewer.button("BUTTON_ZOOM")->click();
        state.ResumeTiming();
        viewer.button("BUTTON_ZOOM")->click();
        viewer.review.repaint();
    }
}
BENCHMARK(BM_ZoomStep)->Arg(2)->Arg(4)->Arg(1)->Unit(benchmark::kMillisecond);
