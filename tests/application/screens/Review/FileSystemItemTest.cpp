#include "Review/FileSystemItem.h"

#include "QtPrinters.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <QTreeWidget>

namespace {

QStringList childNames(const fs::FileSystemItem& item)
{
    QStringList names;
    for (int i = 0; i < item.childCount(); ++i)
        names << item.child(i)->item().name;
    names.sort();
    return names;
}

TEST(DirectoryItem, RootsUnderMediaListTheirEntries)
{
    TempRoot root;
    root.writeFile("/media/stick/A/a.txt", "a");
    root.writeFile("/media/stick/b.txt", "b");
    root.writeFile("/data/c.txt", "c");

    fs::FileSystemItem none;
    EXPECT_FALSE(none.setRootPath("no-slash"));
    EXPECT_FALSE(none.item().valid);

    QTreeWidget tree;
    auto* stick = new fs::FileSystemItem;
    tree.addTopLevelItem(stick);
    ASSERT_TRUE(stick->setRootPath("/media/stick"));
    EXPECT_EQ(stick->text(0), "stick");
    EXPECT_EQ(childNames(*stick), (QStringList{"A", "b.txt"}));
    EXPECT_FALSE(stick->child(0)->isHidden() && stick->child(1)->isHidden()) << "a folder shows";
    for (int i = 0; i < stick->childCount(); ++i)
        EXPECT_EQ(stick->child(i)->isHidden(), stick->child(i)->item().type == 1) << "files hidden in a tree";
    EXPECT_EQ(stick->child(5), nullptr);

    // A folder child is listed the first time it becomes current.
    fs::FileSystemItem* folder = stick->child(0)->item().name == "A" ? stick->child(0) : stick->child(1);
    EXPECT_EQ(folder->childCount(), 0);
    stick->slotCurrentItemChanged(folder, nullptr);
    EXPECT_EQ(childNames(*folder), QStringList{"a.txt"});

    fs::FileSystemItem data;
    ASSERT_TRUE(data.setRootPath("/data"));
    EXPECT_EQ(data.text(0), "SSD");
    EXPECT_TRUE(data.item().listed);
    EXPECT_EQ(data.childCount(), 0) << "marked listed without listing";
}

TEST(DirectoryItem, AListedFolderFollowsItsEntries)
{
    TempRoot root;
    QDir().mkpath(root.path("/media/s/one"));
    QTreeWidget tree;
    auto* stick = new fs::FileSystemItem;
    tree.addTopLevelItem(stick);
    ASSERT_TRUE(stick->setRootPath("/media/s"));

    QDir().mkpath(root.path("/media/s/two"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return childNames(*stick) == QStringList{"one", "two"}; }, 10000));
    QDir(root.path("/media/s/one")).removeRecursively();
    EXPECT_TRUE(QTest::qWaitFor([&] { return childNames(*stick) == QStringList{"two"}; }, 10000));

    // A rename keeps the count: nothing is reported, the children stay.
    QDir().rename(root.path("/media/s/two"), root.path("/media/s/three"));
    EXPECT_TRUE(stick->differ("/media/s").isEmpty());
    EXPECT_EQ(childNames(*stick), QStringList{"two"});
    EXPECT_TRUE(stick->differ("/media/gone").isEmpty());
}

}  // namespace
