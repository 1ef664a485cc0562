#include "FileManager/ResultFolderModel.h"

#include "KovaCore/KovaCoreApp.h"
#include "QtPrinters.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileSystemModel>
#include <QSignalSpy>
#include <QTest>

#include <functional>

#include <memory>

namespace {

const QString kTotal = QStringLiteral("/KOVA/anonymous/TOTAL_CELL_COUNTING");

class ResultPages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        qRegisterMetaType<QFileInfoList>("QFileInfoList");
    }

    void makeFolders(const QString& logical, int n, const QString& prefix = "R") const
    {
        for (int i = 0; i < n; ++i)
            QDir().mkpath(root.path(QStringLiteral("%1/%2%3").arg(logical, prefix).arg(i, 2, 10, QLatin1Char('0'))));
    }

    // The model over the total mode's folder, once its folder has loaded.
    void open()
    {
        folders = std::make_unique<ResultFolderModel>();
        pages = std::make_unique<QSignalSpy>(folders.get(), &ResultFolderModel::sigPagecomplete);
        browse([&] { folders->initialize(); }, kTotal);
    }
    // Runs `change`, then waits until the model has loaded `folder` (logical).
    void browse(const std::function<void()>& change, const QString& folder)
    {
        QSignalSpy loaded(folders->model(), &QFileSystemModel::directoryLoaded);
        change();
        const auto seen = [&] {
            for (const QList<QVariant>& arguments : loaded)
                if (arguments.at(0).toString() == root.path(folder))
                    return true;
            return false;
        };
        ASSERT_TRUE(QTest::qWaitFor(seen, 10000)) << folder.toStdString();
    }

    // Page n as listed now: its folders' names and the page count; empty
    // and -1 when no page came.
    QPair<QStringList, int> page(int n)
    {
        pages->clear();
        folders->page(n);
        if (pages->isEmpty())
            return {{}, -1};
        QStringList names;
        for (const QFileInfo& folder : pages->last().at(0).value<QFileInfoList>())
            names << folder.fileName();
        return {names, pages->last().at(1).toInt()};
    }

    TempRoot root;
    std::unique_ptr<ResultFolderModel> folders;
    std::unique_ptr<QSignalSpy> pages;
};

TEST_F(ResultPages, SevenFoldersAPageOnTheInternalStorage)
{
    const struct
    {
        int folders;
        int page;
        QStringList listed;  // by name
        int pages;           // -1: no page at all
    } cases[] = {
        {0, 1, {}, 0},
        {8, 2, {"R07"}, 2},
        {14, 3, {}, 2},  // just past the end: an empty page
        {14, 4, {}, -1},
        {15, 1, {"R00", "R01", "R02", "R03", "R04", "R05", "R06"}, 3},
        {15, 2, {"R07", "R08", "R09", "R10", "R11", "R12", "R13"}, 3},
        {15, 3, {"R14"}, 3},
    };
    for (const auto& c : cases) {
        QDir(root.path(kTotal)).removeRecursively();
        makeFolders(kTotal, c.folders);
        open();
        const auto listed = page(c.page);
        EXPECT_EQ(listed.first, c.listed) << c.folders << " folders, page " << c.page;
        EXPECT_EQ(listed.second, c.pages) << c.folders << " folders, page " << c.page;
    }
}

TEST_F(ResultPages, TheStickListsItsFoldersOnOnePageWithLogicalPaths)
{
    makeFolders("/mnt", 8);
    open();
    QSignalSpy space(folders.get(), &ResultFolderModel::signalSetDiskSpace);
    browse([&] { folders->slotResetList3("USB"); }, "/mnt");
    EXPECT_EQ(space.last().at(0).toString(), "/mnt");
    EXPECT_EQ(page(1).second, 1);
    EXPECT_EQ(page(1).first.size(), 8);
    EXPECT_EQ(pages->last().at(0).value<QFileInfoList>().first().filePath(), "/mnt/R00");

    // A name with a blank where the line break belongs chooses nothing.
    folders->slotResetList3("Internal Storage");
    EXPECT_EQ(space.last().at(0).toString(), "");
    EXPECT_EQ(folders->selectPath(), "/mnt");

    folders->slotResetList3("Internal\nStorage");
    EXPECT_EQ(space.last().at(0).toString(), kTotal);
}

// The storage list's own entries choose the browsed folder too; nothing on
// the review screen uses them.
TEST_F(ResultPages, StorageEntriesChooseTheRootByOrderAndName)
{
    makeFolders("/mnt", 2, "sd");
    open();
    folders->slotResetDiskList(root.path("/mnt"));
    folders->insertDiskList(QFileInfo("/mnt/sd01"));  // listed already
    folders->insertDiskList(QFileInfo("/mnt"));
    EXPECT_EQ(folders->diskList().size(), 4) << "the internal folder, sd00, sd01, then /mnt";
    QSignalSpy space(folders.get(), &ResultFolderModel::signalSetDiskSpace);
    const struct {
        int order;
        const char* select;
        QString browsed;  // afterwards
        QString space;
    } cases[] = {
        {1, "sd01", "/mnt/sd01", "/mnt/sd01"},
        {0, "Internal Storage", kTotal, kTotal},
        {0, "sd00", kTotal, ""},  // order 0 takes only the internal storage
        {2, "sd00", "/mnt/sd00", "/mnt/sd00"},
        {1, "Internal\nStorage", "/mnt/sd00", ""},
    };
    for (const auto& c : cases) {
        folders->slotResetList2(c.order, c.select);
        EXPECT_EQ(folders->selectPath(), c.browsed) << c.order << " " << c.select;
        EXPECT_EQ(space.last().at(0).toString(), c.space) << c.order << " " << c.select;
    }
}

TEST_F(ResultPages, EraseAllEmptiesTheInternalFolderWhateverIsBrowsed)
{
    makeFolders(kTotal, 3);
    root.writeFile(kTotal + "/PreviousCount_BF_TotalCellCounting.csv", "x");
    makeFolders("/mnt", 2);
    open();
    folders->slotResetList3("USB");
    folders->erase_all();
    EXPECT_TRUE(QDir(root.path(kTotal)).isEmpty());
    EXPECT_EQ(QDir(root.path("/mnt")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);

    makeFolders(kTotal, 2);
    folders->erase2(QFileInfo(kTotal + "/R01"));
    EXPECT_EQ(QDir(root.path(kTotal)).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"R00"});
}

// Erasing by row takes the row's folder, and never the browsed folder itself.
TEST_F(ResultPages, EraseByRowRemovesThatFolderOnly)
{
    makeFolders(kTotal, 2);
    open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !folders->rowName(1).isEmpty(); }, 10000));
    const QString second = folders->rowName(1);
    folders->erase(1);
    folders->erase(7);
    QStringList left = {"R00", "R01"};
    left.removeOne(second);
    EXPECT_EQ(QDir(root.path(kTotal)).entryList(QDir::Dirs | QDir::NoDotAndDotDot), left);
}

// A link among the results goes alone, whether erased by path or by row:
// what it leads to is no result and stays.
TEST_F(ResultPages, EraseByPathOrRowTakesALinkAlone)
{
    root.writeFile("/outside/kept.csv", "x");
    QDir().mkpath(root.path(kTotal));
    ASSERT_TRUE(QFile::link(root.path("/outside"), root.path(kTotal + "/L1")));
    ASSERT_TRUE(QFile::link(root.path("/outside"), root.path(kTotal + "/L2")));
    open();
    folders->erase2(QFileInfo(kTotal + "/L1"));
    EXPECT_EQ(root.readFile("/outside/kept.csv"), "x");
    ASSERT_TRUE(QTest::qWaitFor([&] { return folders->rowName(0) == "L2" || folders->rowName(1) == "L2"; }, 10000));
    folders->erase(folders->rowName(0) == "L2" ? 0 : 1);
    EXPECT_EQ(root.readFile("/outside/kept.csv"), "x");
    EXPECT_TRUE(QDir(root.path(kTotal)).isEmpty());
}

// Erasing by path takes a file or a whole folder; a link goes alone, never
// what it leads to.
TEST(ResultFolders, EraseByPathRemovesAFileAFolderOrALink)
{
    TempRoot root;
    root.writeFile(kTotal + "/R/R.csv", "x");
    root.writeFile(kTotal + "/R/sub/R.tif", "x");
    root.writeFile(kTotal + "/S/S.csv", "x");
    root.writeFile("/outside/kept.csv", "x");
    ASSERT_TRUE(QFile::link(root.path("/outside"), root.path(kTotal + "/L")));
    ResultFolderModel folders;
    const struct { const char* path; QStringList left; } cases[] = {
        {"/R/R.csv", {"L", "R", "S"}}, {"/R", {"L", "S"}}, {"/L", {"S"}}, {"/gone", {"S"}},
    };
    for (const auto& c : cases) {
        folders.erase(QFileInfo(kTotal + c.path));
        EXPECT_EQ(QDir(root.path(kTotal)).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name),
                  c.left) << c.path;
    }
    EXPECT_EQ(root.readFile("/outside/kept.csv"), "x");
}

TEST(ResultFolders, OnlyMntIsTheStick)
{
    for (const char* path : {"/mnt", "/mnt/sda1", "/mnt/sda1/A/B", "mnt/x"})
        EXPECT_TRUE(ResultFolderModel::isMedia(path)) << path;
    for (const char* path : {"/KOVA/anonymous/TOTAL_CELL_COUNTING", "/KOVA/anonymous/CELL_COUNTING_VIABILITY", "/mntx",
                             "/media/mnt"})
        EXPECT_FALSE(ResultFolderModel::isMedia(path)) << path;
}

}  // namespace
