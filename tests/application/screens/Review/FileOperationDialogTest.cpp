#include "Review/FileOperationDialog.h"
#include "Review/FileSystemTreeView.h"

#include "TempRoot.h"
#include "WhenModal.h"
#include "platform/DiskSpace.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileSystemModel>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

QLabel* message(FileOperationDialog& box)
{
    return box.findChild<QLabel*>("LABEL_MESSAGE");
}
QPushButton* ok(FileOperationDialog& box)
{
    return box.findChild<QPushButton*>("BUTTON_OK");
}

TEST(ProgressBox, BarFollowsTheBytesAndNeverPassesItsWidth)
{
    FileOperationDialog box;
    box.show();
    box.start();
    EXPECT_TRUE(box.isRunning());
    EXPECT_EQ(message(box)->text(), "Please wait. Exporting in progress ...");
    box.slotSetTotalFileCountAndSize(3, 4000);
    box.slotSetCurrentFileCountAndSize(1, 1000);
    EXPECT_FLOAT_EQ(box.progress(), 75);
    box.slotSetCurrentFileCountAndSize(3, 4000);
    EXPECT_FLOAT_EQ(box.progress(), 300);
    for (int i = 0; i < 5; ++i)
        box.repaint();
    EXPECT_FLOAT_EQ(box.progress(), 300) << "the creeping stops at the end";

    // Nothing to copy is all copied.
    box.start();
    box.slotSetTotalFileCountAndSize(0, 0);
    box.slotSetCurrentFileCountAndSize(0, 0);
    EXPECT_FLOAT_EQ(box.progress(), 300);
}

// A flush of the medium after a copy has its own text and bar.
TEST(ProgressBox, ASyncPhaseShowsItsTextOverAnEmptyBarThenItsProgress)
{
    FileOperationDialog box;
    box.start();
    box.slotSetTotalFileCountAndSize(1, 100);
    box.slotSetCurrentFileCountAndSize(1, 100);
    box.slotSyncStart();
    EXPECT_EQ(message(box)->text(), "Synchronizing ...");
    EXPECT_FLOAT_EQ(box.progress(), 0);
    box.slotSyncPercentage(40);
    EXPECT_FLOAT_EQ(box.progress(), 120);
}

TEST(ProgressBox, CompletionClosesWithOneAndAnErrorWaitsForOk)
{
    FileOperationDialog box;
    float barAtCompletion = 0;
    QTimer::singleShot(0, &box, [&] {
        box.slotCompleted();
        barAtCompletion = box.progress();
    });
    box.initialize();
    box.start();
    EXPECT_EQ(box.exec(), 1);
    EXPECT_FLOAT_EQ(barAtCompletion, 300);

    const struct
    {
        FileOperationPasteError code;
        const char* text;
    } errors[] = {
        {PasteErrorSameFolder, "Cannot paste files within the same folder."},
        {PasteErrorDiskSpace, "<b>Insufficient disk space.</b><br/>Insert another drive."},
        {PasteErrorDestination, "The designated destination could not be<br/>found."},
        {PasteErrorCopy, "A file could not be copied."},
    };
    for (const auto& e : errors) {
        box.initialize();
        EXPECT_TRUE(ok(box)->isHidden()) << "each copy starts clean";
        box.start();
        EXPECT_FLOAT_EQ(box.progress(), 0);
        bool barGone = false;
        QString shown;
        QPoint okAt;
        QTimer::singleShot(0, &box, [&] {
            box.slotPasteError(e.code);
            barGone = !box.isRunning();
            shown = message(box)->text();
            okAt = ok(box)->pos();
            ok(box)->click();
        });
        EXPECT_EQ(box.exec(), 0) << e.code;
        EXPECT_TRUE(barGone);
        EXPECT_TRUE(shown.contains(e.text)) << shown.toStdString();
        EXPECT_EQ(okAt, QPoint(174, 204));
    }
}

const QString kResults = "/KOVA/anonymous/TOTAL_CELL_COUNTING";

// The browser over the total mode's results, which hold R, and a stick with room.
class FolderBrowser : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root.writeFile(kResults + "/R/R.csv", "values");
        QDir().mkpath(root.path("/mnt"));
        ASSERT_TRUE(platform::setSimulatedDiskSpace(root.path("/mnt"), {1 << 20, 64, 64, 64}));
        browser.initialize();
    }

    TempRoot root;
    FileSystemTreeView browser;
};

// A copy job of the browser: its worker, its box, and the relisted page.
TEST_F(FolderBrowser, CopiesTheChosenFolderIntoTheStickThroughItsBox)
{
    browser.copy2(QFileInfo(kResults + "/R"));
    browser.copy2(QFileInfo(kResults + "/gone"));  // keeps the job as it was
    EXPECT_TRUE(browser.paste2(QFileInfo("/mnt")));
    EXPECT_TRUE(browser.paste2(QFileInfo("/mnt")));
    EXPECT_EQ(root.readFile("/mnt/R/R.csv"), "values");
    EXPECT_EQ(root.readFile("/mnt/R(1)/R.csv"), "values");

    // Not enough room: the box shows why, and OK gives up.
    ASSERT_TRUE(platform::setSimulatedDiskSpace(root.path("/mnt"), {1 << 20, 64, 0, 0}));
    // OK is looked for, not waited on: the box runs the events inside its
    // handling of the error, before it shows OK.
    WhenModal<FileOperationDialog> acknowledge([](FileOperationDialog* box) { return ok(*box)->isVisible(); },
                                               [](FileOperationDialog* box) { ok(*box)->click(); });
    browser.folders()->m_dstPath = "/mnt";
    EXPECT_FALSE(browser.copy_all());
    EXPECT_FALSE(QDir(root.path("/mnt/TOTAL_CELL_COUNTING")).exists());
}

// The browser's operations that the review screen does not use, called directly.
TEST_F(FolderBrowser, ASecondClickOnAnItemTogglesItWithoutMakingItCurrentAgain)
{
    QDir().mkpath(root.path(kResults + "/R/inner"));
    QFileSystemModel* model = browser.folders()->model();
    const QModelIndex folder = model->index(root.path(kResults + "/R"));
    ASSERT_TRUE(folder.isValid());
    QSignalSpy clicked(&browser, &FileSystemTreeView::signalItemClicked);
    QSignalSpy current(&browser, &FileSystemTreeView::signalCurrentItemChanged);

    const struct {
        QModelIndex item;
        bool expandedAfter;
        int currentChanges;  // so far
    } clicks[] = {
        {folder, true, 1},
        {folder, false, 1},  // the same item: toggled back, not current again
        {folder, true, 1},
    };
    for (const auto& c : clicks) {
        browser.slotItemClicked(c.item);
        EXPECT_EQ(browser.isExpanded(folder), c.expandedAfter);
        EXPECT_EQ(current.count(), c.currentChanges);
    }
    EXPECT_EQ(clicked.count(), 3);
    EXPECT_EQ(clicked.last(), (QList<QVariant>{kResults + "/R", false}));
    EXPECT_EQ(browser.clickedPath(), kResults + "/R");

    // An item below a folder of the browsed one is a leaf and does not toggle.
    const QModelIndex inner = model->index(root.path(kResults + "/R/inner"));
    browser.slotItemClicked(inner);
    EXPECT_EQ(current.last(), (QList<QVariant>{kResults + "/R/inner", true}));
    EXPECT_FALSE(browser.isExpanded(inner));
    EXPECT_TRUE(browser.isExpanded(folder));
}

TEST_F(FolderBrowser, PasteCopiesIntoTheBrowsedFolderOrARowOfItAndOnlyCopyAllReportsTheFunction)
{
    QDir().mkpath(root.path("/mnt/X"));
    QSignalSpy function(&browser, &FileSystemTreeView::signal_FuncComplete);
    ResultFolderModel* folders = browser.folders();
    folders->slotResetList3("USB");
    ASSERT_TRUE(QTest::qWaitFor([&] { return folders->rowName(0) == "X"; }, 10000));

    browser.copy2(QFileInfo(kResults + "/R"));
    EXPECT_TRUE(browser.paste(0, true));
    EXPECT_TRUE(browser.paste(0, false));
    EXPECT_TRUE(browser.paste(5, true)) << "a row without a name: the browsed folder";
    EXPECT_EQ(root.readFile("/mnt/X/R/R.csv"), "values");
    EXPECT_EQ(root.readFile("/mnt/R/R.csv"), "values");
    EXPECT_EQ(root.readFile("/mnt/R(1)/R.csv"), "values");
    EXPECT_TRUE(browser.paste2(QFileInfo("/mnt")));

    folders->m_dstPath = "/mnt/X";
    EXPECT_TRUE(browser.copy_all());
    // Queued beside the box's completion, it may come after the box closed.
    EXPECT_TRUE(QTest::qWaitFor([&] { return function.count() == 1; }, 10000));
    EXPECT_EQ(root.readFile("/mnt/X/TOTAL_CELL_COUNTING/R/R.csv"), "values");
}

}  // namespace
