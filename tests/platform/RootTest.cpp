#include "platform/Root.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>

TEST(Root, UnsetOrSlashIsTheRealInstrument)
{
    for (const char* value : {"", "/", "//"}) {
        qputenv("KOVA3_ROOT", value);
        EXPECT_TRUE(platform::isRealInstrument()) << value;
        EXPECT_EQ(platform::rootPath(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini")),
                  QStringLiteral("/opt/KOVA3/conf/KOVA3.ini")) << value;
    }
    qunsetenv("KOVA3_ROOT");
    EXPECT_TRUE(platform::isRealInstrument());
}

TEST(Root, MapsLogicalPathsUnderTheRoot)
{
    TempRoot root;
    EXPECT_FALSE(platform::isRealInstrument());
    const QString r = root.root();
    const struct { QString logical, expected; } cases[] = {
        {"/mnt", r + "/mnt"},
        {"/dev/ttyS2", r + "/dev/ttyS2"},
        {"/opt/KOVA3/conf/KOVA3.ini", r + "/opt/KOVA3/conf/KOVA3.ini"},
        {r + "/mnt/x", r + "/mnt/x"},  // already mapped: unchanged
        {r, r},
        {"", ""},
        // Cleaned first: neither ".." nor a relative path leads out.
        {"/a/./b//c/", r + "/a/b/c"},
        {"/../../etc/passwd", r + "/etc/passwd"},
        {"/dev/../../../dev/tty", r + "/dev/tty"},
        {"relative/file.txt", r + "/relative/file.txt"},
        {"../../dev/tty", r + "/dev/tty"},
        {"/", r},
        {r + "/../outside", r + QDir::cleanPath(r + "/../outside")},
        {r + "/mnt/../opt/x", r + "/opt/x"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::rootPath(c.logical), c.expected) << c.logical.toStdString();
    EXPECT_EQ(platform::rootPath(std::string("/KOVA/a")), (r + "/KOVA/a").toStdString());
}

TEST(Root, APrefixThatIsNotAFolderBoundaryIsStillMapped)
{
    TempRoot root;
    const QString sibling = root.root() + "-other/file";
    EXPECT_EQ(platform::rootPath(sibling), root.root() + sibling);
}

TEST(Root, LogicalPathUndoesTheMapping)
{
    TempRoot root;
    const QString r = root.root();
    const struct { QString physical, logical; } cases[] = {
        {r + "/mnt", "/mnt"},
        {r + "/KOVA/anonymous/TOTAL_CELL_COUNTING/R", "/KOVA/anonymous/TOTAL_CELL_COUNTING/R"},
        {r, "/"},
        {r + "/mnt/./a/../b/", "/mnt/b"},
        {r + "-other/file", r + "-other/file"},  // not under the root
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::logicalPath(c.physical), c.logical) << c.physical.toStdString();
        if (c.logical.startsWith('/') && !c.logical.startsWith(r)) {
            EXPECT_EQ(platform::logicalPath(platform::rootPath(c.logical)), c.logical);
        }
    }
    qputenv("KOVA3_ROOT", "/");
    EXPECT_EQ(platform::logicalPath("/mnt/x"), "/mnt/x");
}
