#include "FileManager/FileOperator.h"

#include "FullDisk.h"
#include "QtPrinters.h"
#include "TempRoot.h"
#include "platform/DiskSpace.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

#include <sys/stat.h>

namespace {

const QString kStick = QStringLiteral("/mnt");

// One copy job run to its end, with every signal it sent.
struct Job
{
    QList<QPair<int, unsigned long>> totals;
    QList<QPair<int, unsigned long>> running;
    int completed = 0;
    QList<int> errors;
    int endings() const { return completed + errors.size(); }
};

class CopyWorker : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QDir().mkpath(root.path(kStick));
        qRegisterMetaType<FileOperationPasteError>("FileOperationPasteError");
        setFreeMiB(1000);
    }

    void setFreeMiB(quint64 mib)
    {
        ASSERT_TRUE(platform::setSimulatedDiskSpace(root.path(kStick), {1 << 20, 4096, mib, mib}));
    }

    void file(const QString& logical, int bytes) const { root.writeFile(logical, QByteArray(bytes, 'x')); }

    // Runs a job to its end in the worker's own thread; the signals are
    // recorded there, as they are sent.
    Job run(int operation, const QStringList& sources, const QString& destination = kStick)
    {
        FileOperator worker;
        Job job;
        QObject::connect(&worker, &FileOperator::signalSetTotalFileCountAndSize, [&](int c, unsigned long s) { job.totals << qMakePair(c, s); });
        QObject::connect(&worker, &FileOperator::signalSetCurrentFileCountAndSize, [&](int c, unsigned long s) { job.running << qMakePair(c, s); });
        QObject::connect(&worker, &FileOperator::signalCompleted, [&] { ++job.completed; });
        QObject::connect(&worker, &FileOperator::signalPasteError, [&](FileOperationPasteError e) { job.errors << e; });
        worker.setData({operation, sources});
        worker.setDst(QFileInfo(destination));
        worker.start();
        EXPECT_TRUE(worker.wait(30000));
        EXPECT_EQ(job.endings(), 1) << "one ending signal per run";
        return job;
    }

    // What a folder holds, in character-code order.
    QStringList onStick(const QString& folder = kStick) const
    {
        QStringList names = QDir(root.path(folder))
                                .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        std::sort(names.begin(), names.end());
        return names;
    }

    TempRoot root;
};

TEST_F(CopyWorker, TakenNamesGetTheNextNumber)
{
    file("/src/R/a.tif", 3);
    file("/src/a.tif", 4);
    file("/src/archive.tar.gz", 5);
    file("/src/.profile", 6);
    file("/src/README", 7);
    const QStringList sources{"/src/R", "/src/a.tif", "/src/archive.tar.gz", "/src/.profile", "/src/README"};
    for (int round = 0; round < 3; ++round)
        ASSERT_EQ(run(0, sources).completed, 1);

    EXPECT_EQ(onStick(), (QStringList{"(1).profile", "(2).profile", ".profile", "R", "R(1)", "R(2)", "README",
                                      "README(1)", "README(2)", "a(1).tif", "a(2).tif", "a.tif", "archive.tar(1).gz",
                                      "archive.tar(2).gz", "archive.tar.gz"}));
    for (const char* name : {"R/a.tif", "R(2)/a.tif", "a(2).tif", "README(1)", ".profile", "(2).profile"})
        EXPECT_TRUE(QFile::exists(root.path(kStick + "/" + name))) << name;
    EXPECT_EQ(root.readFile(kStick + "/archive.tar(1).gz"), QByteArray(5, 'x'));
    EXPECT_EQ(FileOperator::rename_for_dir(kStick, "R"), "R(3)");
    EXPECT_EQ(FileOperator::rename_for_file(kStick, "new", ".tif"), "new.tif");
}

// Copying all results passes over the previous-counts tables, but counts them.
TEST_F(CopyWorker, AllResultsLeavePreviousCountsBehindYetCountThem)
{
    file("/KOVA/anonymous/TOTAL_CELL_COUNTING/R/r.csv", 10);
    file("/KOVA/anonymous/TOTAL_CELL_COUNTING/PreviousCount_BF_TotalCellCounting.csv", 5);
    const QString mode = "/KOVA/anonymous/TOTAL_CELL_COUNTING";

    const Job all = run(1, {mode});
    EXPECT_EQ(onStick(kStick + "/TOTAL_CELL_COUNTING"), (QStringList{"R"}));
    ASSERT_EQ(all.totals.size(), 1);
    EXPECT_EQ(all.totals[0].second, 15ul + 2 * 4096) << "4096 bytes per folder in the total";
    EXPECT_EQ(all.running.last(), qMakePair(2, 15ul)) << "but not in the running size";

    run(0, {mode});
    EXPECT_EQ(onStick(kStick + "/TOTAL_CELL_COUNTING(1)"),
              (QStringList{"PreviousCount_BF_TotalCellCounting.csv", "R"}));
}

TEST_F(CopyWorker, NeedsNoMoreThanTheFreeSpaceOfTheStick)
{
    file("/src/two.raw", 2 << 20);  // exactly 2 MiB
    setFreeMiB(1);
    const Job refused = run(0, {"/src/two.raw"});
    EXPECT_EQ(refused.errors, QList<int>{PasteErrorDiskSpace});
    EXPECT_TRUE(refused.totals.isEmpty());
    EXPECT_TRUE(onStick().isEmpty());

    setFreeMiB(2);
    EXPECT_EQ(run(0, {"/src/two.raw"}).completed, 1);
}

TEST_F(CopyWorker, StopsAtTheFailingSourceKeepingEarlierCopies)
{
    file("/src/A/a.tif", 3);
    file("/src/b.tif", 3);
    ASSERT_EQ(::mkfifo(root.path("/src/pipe").toUtf8().constData(), 0644), 0);
    const struct
    {
        QStringList sources;
        QString destination;
        int error;
        QStringList copied;
    } cases[] = {
        {{"/src/A", kStick, "/src/b.tif"}, kStick, PasteErrorSameFolder, {"A"}},
        // The destination inside a source would copy the copy again.
        {{"/src/b.tif", "/src"}, "/src/A", PasteErrorSameFolder, {"a.tif", "b.tif"}},
        // A FIFO is no file: it cannot be copied, and the destination is not to blame.
        {{"/src/b.tif", "/src/pipe", "/src/A"}, kStick, PasteErrorCopy, {"b.tif"}},
        {{"/src/b.tif"}, "/missing", PasteErrorDestination, {}},
        {{"/src/A"}, "/missing", PasteErrorDestination, {}},
    };
    for (const auto& c : cases) {
        QDir(root.path(kStick)).removeRecursively();
        QDir().mkpath(root.path(kStick));
        if (c.destination == "/src/A")
            QFile::remove(root.path("/src/A/b.tif"));
        const Job job = run(0, c.sources, c.destination);
        EXPECT_EQ(job.errors, QList<int>{c.error}) << c.sources.join(' ').toStdString();
        EXPECT_EQ(onStick(c.destination), c.copied) << c.sources.join(' ').toStdString();
    }
}

TEST_F(CopyWorker, NothingToCopyCompletesAtOnce)
{
    for (const QStringList& sources : {QStringList{}, QStringList{"/gone", "/also/gone"}}) {
        const Job job = run(0, sources);
        EXPECT_EQ(job.totals, (QList<QPair<int, unsigned long>>{qMakePair(0, 0ul)}));
        EXPECT_EQ(job.completed, 1);
    }
}

TEST_F(CopyWorker, MoveErasesWhatItCopied)
{
    file("/src/A/a.tif", 3);
    file("/src/b.tif", 3);
    EXPECT_EQ(run(2, {"/src/A", "/src/b.tif"}).completed, 1);
    EXPECT_EQ(onStick(), (QStringList{"A", "b.tif"}));
    EXPECT_TRUE(QDir(root.path("/src")).isEmpty());
}

// A file-size limit makes writes fail with EFBIG: the medium is not full, a
// file could not be copied. What was copied before stays, whole; the file
// that failed leaves nothing under its name.
TEST_F(CopyWorker, AFileSizeLimitIsNoFullMedium)
{
    file("/src/small.tif", 1000);
    file("/src/large.tif", 64 * 1024);
    const bool asExpected = runOnFullDisk(16 * 1024, [&] {
        FileOperator worker;
        QList<int> errors;
        int completed = 0;
        QObject::connect(&worker, &FileOperator::signalPasteError, [&](FileOperationPasteError e) { errors << e; });
        QObject::connect(&worker, &FileOperator::signalCompleted, [&] { ++completed; });
        worker.setData({0, {"/src/small.tif", "/src/large.tif"}});
        worker.setDst(QFileInfo(kStick));
        worker.start();
        worker.wait();
        return completed == 0 && errors == QList<int>{PasteErrorCopy};
    });
    EXPECT_TRUE(asExpected);
    EXPECT_EQ(onStick(), QStringList{"small.tif"});
    EXPECT_EQ(root.readFile(kStick + "/small.tif").size(), 1000);
}

// A stick that really fills up part-way (its free-space figure says there is
// room): the space error, every file copied before it whole, and no cut file
// under a real name.
TEST_F(CopyWorker, AStickFillingUpPartWayStopsWithTheSpaceError)
{
    if (!onSmallMedium(root.path(kStick), 1 << 20))
        return;
    const QString result = "/KOVA/anonymous/TOTAL_CELL_COUNTING/R";
    for (const char* name : {"R.csv", "R.pdf", "R_RAW.tif", "R_TAG.tif"})
        root.writeFile(result + "/" + name, QByteArray(400 * 1024, name[2]));
    const Job job = run(0, {result});
    EXPECT_EQ(job.errors, QList<int>{PasteErrorDiskSpace});
    ASSERT_EQ(job.totals.size(), 1) << "the free-space figure let it start";
    const QStringList copied = onStick(kStick + "/R");
    EXPECT_EQ(copied.size(), 2) << copied.join(' ').toStdString();
    for (const QString& name : copied)
        EXPECT_EQ(root.readFile(kStick + "/R/" + name), root.readFile(result + "/" + name)) << name.toStdString();
}

// What a result folder holds besides files and folders (a link leading
// nowhere, a FIFO) is neither counted nor copied, and stops nothing.
TEST_F(CopyWorker, LinksLeadingNowhereAndFifosInAFolderArePassedOver)
{
    file("/src/R/a.tif", 3);
    file("/src/R/.hidden", 4);
    ASSERT_TRUE(QFile::link(root.path("/nowhere"), root.path("/src/R/b.tif")));
    ASSERT_EQ(::mkfifo(root.path("/src/R/pipe").toUtf8().constData(), 0644), 0);
    const Job job = run(1, {"/src/R"});
    EXPECT_EQ(job.completed, 1);
    EXPECT_EQ(job.totals, (QList<QPair<int, unsigned long>>{qMakePair(1, 3ul + 4096)}));
    EXPECT_EQ(onStick(kStick + "/R"), QStringList{"a.tif"});
}

// Links planted on the stick take their names, dangling or not: the copies
// take the next numbers and nothing is written where a link leads.
TEST_F(CopyWorker, NamesTakenByLinksOnTheStickAreTaken)
{
    file("/src/R/a.tif", 3);
    file("/src/a.tif", 4);
    for (const char* name : {"R", "a.tif"})
        ASSERT_TRUE(QFile::link(root.path("/outside/") + name, root.path(kStick + "/") + name));
    EXPECT_EQ(run(0, {"/src/R", "/src/a.tif"}).completed, 1);
    EXPECT_EQ(onStick(), (QStringList{"R", "R(1)", "a(1).tif", "a.tif"}));
    EXPECT_EQ(onStick(kStick + "/R(1)"), QStringList{"a.tif"});
    EXPECT_FALSE(QFileInfo::exists(root.path("/outside")));
}

TEST_F(CopyWorker, AWorkerTiedToItsEndDeletesItself)
{
    file("/src/a.tif", 3);
    QPointer<FileOperator> worker = new FileOperator;
    QObject::connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->setData({0, {"/src/a.tif"}});
    worker->setDst(QFileInfo(kStick));
    worker->start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return worker.isNull(); }, 30000));
}

}  // namespace

// The plain copy, without a job: no signals, the previous-counts table
// copied too, names as a job gives them, and whether all of it was copied.
TEST_F(CopyWorker, PlainCopyOfAFolderOrAFile)
{
    file("/src/R/PreviousCount_x.csv", 2);
    file("/src/R/archive.tar.gz", 3);
    file("/src/R/sub/a.tif", 4);
    FileOperator worker;
    QSignalSpy running(&worker, &FileOperator::signalSetCurrentFileCountAndSize);
    EXPECT_TRUE(worker.copyRecursively(QFileInfo("/src/R"), QFileInfo(kStick)));
    EXPECT_TRUE(worker.copyRecursively(QFileInfo("/src/R/archive.tar.gz"), QFileInfo(kStick + "/R")));
    EXPECT_TRUE(worker.copyRecursively(QFileInfo("/src/R"), QFileInfo(kStick)));
    EXPECT_EQ(onStick(), (QStringList{"R", "R(1)"}));
    EXPECT_EQ(onStick(kStick + "/R"), (QStringList{"PreviousCount_x.csv", "archive.tar(1).gz", "archive.tar.gz", "sub"}));
    EXPECT_EQ(root.readFile(kStick + "/R(1)/sub/a.tif"), "xxxx");
    EXPECT_EQ(running.count(), 0);

    EXPECT_FALSE(worker.copyRecursively(QFileInfo("/src/gone"), QFileInfo(kStick)));
    EXPECT_FALSE(worker.copyRecursively(QFileInfo("/src/R/sub/a.tif"), QFileInfo("/no/folder")));
    EXPECT_FALSE(worker.copyRecursively(QFileInfo("/src/R"), QFileInfo("/no/folder")));
}

// The totals of a source: files and bytes, 4096 bytes per folder, nothing
// for a path that is gone; they add to what the totals held.
TEST_F(CopyWorker, CopyListTotalsOfASource)
{
    file("/src/T/a.tif", 10);
    file("/src/T/sub/b.csv", 20);
    file("/src/c.pdf", 30);
    const struct
    {
        const char* source;
        int count;
        unsigned long size;
    } cases[] = {
        {"/src/c.pdf", 1, 30},
        {"/src/T", 2, 30 + 2 * 4096},
        {"/src/gone", 0, 0},
    };
    for (const auto& c : cases) {
        int count = 1;
        unsigned long size = 5;
        FileOperator::calculateCopyList(QFileInfo(c.source), count, size);
        EXPECT_EQ(count, 1 + c.count) << c.source;
        EXPECT_EQ(size, 5 + c.size) << c.source;
    }
}

// A job's step on its own: running counts per file handled, a previous-counts
// table passed over yet counted when copying all results, and false at a
// destination that is not there.
TEST_F(CopyWorker, CountedCopyAdvancesTheRunningTotals)
{
    file("/src/R/PreviousCount_x.csv", 2);
    file("/src/R/a.tif", 3);
    file("/src/R/sub/b.tif", 4);
    FileOperator worker;
    worker.setData({file_operations_t::CopyAllResults, {}});
    QSignalSpy running(&worker, &FileOperator::signalSetCurrentFileCountAndSize);
    int count = 0;
    unsigned long size = 0;

    EXPECT_TRUE(worker.copyRecursively(QFileInfo("/src/R"), QFileInfo(kStick), count, size));

    EXPECT_EQ(count, 3);
    EXPECT_EQ(size, 9u);
    ASSERT_EQ(running.count(), 3);
    EXPECT_EQ(running.last().at(0).toInt(), 3);
    EXPECT_EQ(onStick(kStick + "/R"), (QStringList{"a.tif", "sub"}));
    EXPECT_EQ(root.readFile(kStick + "/R/sub/b.tif"), "xxxx");

    EXPECT_FALSE(worker.copyRecursively(QFileInfo("/src/R/a.tif"), QFileInfo("/no/folder"), count, size));
    EXPECT_EQ(count, 3);
}

// A folder copied into itself or into a folder of its own would copy its
// copy again without end: either copy refuses it and makes nothing.
TEST_F(CopyWorker, NeitherCopyTakesAFolderIntoItself)
{
    file("/src/R/a.tif", 1);
    file("/src/R/sub/b.tif", 1);
    for (const char* destination : {"/src/R", "/src/R/sub"}) {
        FileOperator worker;
        int count = 0;
        unsigned long size = 0;
        EXPECT_FALSE(worker.copyRecursively(QFileInfo("/src/R"), QFileInfo(destination))) << destination;
        EXPECT_FALSE(worker.copyRecursively(QFileInfo("/src/R"), QFileInfo(destination), count, size)) << destination;
        EXPECT_EQ(count, 0) << destination;
        EXPECT_EQ(onStick("/src/R"), (QStringList{"a.tif", "sub"})) << destination;
        EXPECT_EQ(onStick("/src/R/sub"), QStringList{"b.tif"}) << destination;
    }
}

// A file of a folder that cannot be copied: the others are copied all the
// same, and the copy says it failed.
TEST_F(CopyWorker, PlainCopyGoesOnPastAFailingFileAndSaysSo)
{
    file("/src/S/a.tif", 1000);
    file("/src/S/b.tif", 64 * 1024);
    file("/src/S/c.tif", 1000);
    const bool failed = runOnFullDisk(16 * 1024, [] {
        FileOperator worker;
        return !worker.copyRecursively(QFileInfo("/src/S"), QFileInfo(kStick));
    });
    EXPECT_TRUE(failed);
    EXPECT_EQ(onStick(kStick + "/S"), (QStringList{"a.tif", "c.tif"}));
}
