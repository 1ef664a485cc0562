#include "Review/FileOperationDialog.h"
#include "Review/FileSystemTreeView.h"

#include "TempRoot.h"
#include "WhenModal.h"
#include "platform/DiskSpace.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QPushButton>
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

// A copy job of the browser: its worker, its box, and the relisted page.
TEST(FolderBrowser, CopiesTheChosenFolderIntoTheStickThroughItsBox)
{
    TempRoot root;
    root.writeFile("/KOVA/anonymous/TOTAL_CELL_COUNTING/R/R.csv", "values");
    QDir().mkpath(root.path("/mnt"));
    ASSERT_TRUE(platform::setSimulatedDiskSpace(root.path("/mnt"), {1 << 20, 64, 64, 64}));
    FileSystemTreeView browser;
    browser.initialize();

    browser.copy2(QFileInfo("/KOVA/anonymous/TOTAL_CELL_COUNTING/R"));
    browser.copy2(QFileInfo("/KOVA/anonymous/TOTAL_CELL_COUNTING/gone"));  // keeps the job as it was
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

}  // namespace
