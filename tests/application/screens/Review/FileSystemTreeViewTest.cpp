#include "FileManager/ResultFolderModel.h"
#include "OnShow.h"
#include "Review/FileSystemTreeView.h"
#include "ReviewTestRoot.h"

#include <QFileSystemModel>
#include <QItemSelectionModel>

namespace {

const QString kTotal = "/KOVA/anonymous/TOTAL_CELL_COUNTING";

// The browser alone, over the total mode's results, with a stick at "/mnt".
class Browser : public ReviewTestRoot
{
protected:
    void SetUp() override
    {
        ReviewTestRoot::SetUp();
        root.writeFile(kTotal + "/R/R.csv", "values");
        root.writeFile(ResultTree::previousCountCopy(0), "counts");
        insertStick();
        ASSERT_TRUE(sticks.setFreeSpace("stick", quint64(1) << 30));
        view.initialize();
        ASSERT_TRUE(QTest::qWaitFor([&] { return index("R").isValid(); }, 10000));
    }

    QModelIndex index(const QString& name) const
    {
        const QFileSystemModel* model = view.folders()->model();
        const QModelIndex folder = model->index(root.path(kTotal + "/" + name));
        return folder.parent() == view.rootIndex() ? folder : QModelIndex();
    }
    QStringList onStick(const QString& folder) const
    {
        return QDir(sticks.stickFolder("stick") + folder).entryList(QDir::Files, QDir::Name);
    }

    FileSystemTreeView view;
};

TEST_F(Browser, ClearGivesUpTheSelectionAndTheFocus)
{
    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    view.setFocus();
    view.selectionModel()->select(index("R"), QItemSelectionModel::Select);
    ASSERT_TRUE(view.hasFocus());
    ASSERT_TRUE(view.selectionModel()->hasSelection());
    view.clear();
    EXPECT_FALSE(view.hasFocus());
    EXPECT_FALSE(view.selectionModel()->hasSelection());
}

// After a copy of all results, copy() makes the next job a plain copy again:
// the previous-counts table goes along. The box is running while a job is.
TEST_F(Browser, CopyMakesThePlainCopyAndTheBoxShowsAJobRunning)
{
    view.folders()->m_dstPath = "/mnt";
    QList<bool> runningWhenShown;
    OnShow<FileOperationDialog> shown([&] { runningWhenShown << view.get_FileOperationDialog_status(); });
    EXPECT_FALSE(view.get_FileOperationDialog_status());
    ASSERT_TRUE(view.copy_all());
    EXPECT_EQ(onStick("/TOTAL_CELL_COUNTING"), QStringList{});

    view.copy(3);
    ASSERT_TRUE(view.paste2(QFileInfo("/mnt")));
    EXPECT_EQ(onStick("/TOTAL_CELL_COUNTING(1)"), QStringList{QFileInfo(ResultTree::previousCountCopy(0)).fileName()});
    EXPECT_EQ(runningWhenShown, (QList<bool>{true, true}));
}

TEST_F(Browser, ANewRootIsShownAndTheClickForgotten)
{
    view.slotItemClicked(index("R"));
    ASSERT_EQ(view.clickedPath(), kTotal + "/R");
    const QString folder = root.path(kTotal + "/R");
    view.slotRootIndexUpdate(folder);
    EXPECT_EQ(view.rootIndex(), view.folders()->model()->index(folder));
    EXPECT_TRUE(view.clickedPath().isEmpty());
}

}  // namespace
