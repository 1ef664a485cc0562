#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ResultTree.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

namespace {

// The copy the review screen lists never holds counts its master lacks: it is
// the master newest first, or there is none.
TEST(PreviousCountCopy, IsTheMasterNewestFirstOrNone)
{
    enum class Master { Rows, Missing, Folder };
    const struct {
        const char* what;
        Master master;
        bool refreshed;
        const char* rows;  // the copy's rows; null: no copy
    } cases[] = {
        {"two rows", Master::Rows, true, "\nanonymous,new\nanonymous,old"},
        {"no master", Master::Missing, false, nullptr},
        {"a master that cannot be read", Master::Folder, false, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TempRoot root;
        const int mode = BF_TOTAL_CELL_COUNTING;
        const QString master = ResultTree::previousCountMaster(mode);
        const QString copy = ResultTree::previousCountCopy(mode);
        const std::string header = ResultTree::previousCountHeader(mode);
        ASSERT_TRUE(QDir().mkpath(root.path(ResultTree::modeFolder(mode))));
        ASSERT_TRUE(QDir().mkpath(QFileInfo(root.path(master)).path()));
        const auto table = [&header](const char* rows) { return QByteArray::fromStdString(header + rows); };
        root.writeFile(copy, table("\nanonymous,deleted since"));
        switch (c.master) {
        case Master::Rows: root.writeFile(master, table("\nanonymous,old\nanonymous,new")); break;
        case Master::Missing: break;
        case Master::Folder: ASSERT_TRUE(QDir().mkpath(root.path(master))); break;
        }

        EXPECT_EQ(ResultTree::refreshPreviousCountCopy(mode), c.refreshed);
        if (c.rows)
            EXPECT_EQ(root.readFile(copy).toStdString(), header + c.rows);
        else
            EXPECT_FALSE(QFileInfo::exists(root.path(copy))) << root.readFile(copy).toStdString();
    }
}

}  // namespace
