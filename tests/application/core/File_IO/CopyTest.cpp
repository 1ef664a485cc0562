#include "File_IO/copy.h"

#include "FullDisk.h"
#include "TempRoot.h"
#include "platform/SaveFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <unistd.h>

namespace {

// What the stick folder holds, hidden entries and links included.
QStringList onStick(const TempRoot& root)
{
    return QDir(root.path("/mnt")).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                            QDir::Name);
}

QByteArray pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 + i / 251);
    return bytes;
}

}  // namespace

TEST(Copy, CopiesBytesExactlyAcrossBufferBoundaries)
{
    TempRoot root;
    for (int size : {0, 1, 1023, 1024, 1025, 100000}) {
        const QByteArray content = pattern(size);
        root.writeFile("/KOVA/src.bin", content);
        root.writeFile("/mnt/.keep", "");
        ASSERT_EQ(copy("/KOVA/src.bin", "/mnt/dst.bin"), 0) << size;
        EXPECT_EQ(root.readFile("/mnt/dst.bin"), content) << size;
        QFile::remove(root.path("/mnt/dst.bin"));
    }
    EXPECT_EQ(copy("/KOVA/src.bin", "/no-such-folder/dst.bin"), -1);
}

TEST(Copy, ReplacesALongerExistingTargetWhole)
{
    TempRoot root;
    root.writeFile("/KOVA/short.txt", "new");
    root.writeFile("/mnt/target.txt", "old and much longer content");
    ASSERT_EQ(copy("/KOVA/short.txt", "/mnt/target.txt"), 0);
    EXPECT_EQ(root.readFile("/mnt/target.txt"), QByteArray("new"));
    EXPECT_EQ(onStick(root), QStringList{"target.txt"});
}

TEST(Copy, AnUnreadableSourceFailsAndMakesNothing)
{
    TempRoot root;
    root.writeFile("/mnt/.keep", "");
    EXPECT_EQ(copy("/KOVA/missing.txt", "/mnt/out.txt"), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(onStick(root), QStringList{".keep"});

    root.writeFile("/mnt/report.pdf", "kept");
    EXPECT_EQ(copy("/KOVA/missing.pdf", "/mnt/report.pdf"), -1);
    EXPECT_EQ(root.readFile("/mnt/report.pdf"), QByteArray("kept"));
}

// A file-size limit: writes past 4 KiB fail with EFBIG, which is not a full
// medium. Nothing cut stays under the name; a file that was there is kept.
TEST(Copy, AFailedWriteLeavesNoCutFileAndTellsWhy)
{
    TempRoot root;
    root.writeFile("/KOVA/big.bin", pattern(10 * 1024));
    root.writeFile("/mnt/kept.bin", "kept");
    const auto copyFails = [](const char* target, int error) {
        return [=] { return copy("/KOVA/big.bin", target) == -1 && errno == error; };
    };
    EXPECT_TRUE(runOnFullDisk(4096, copyFails("/mnt/big.bin", EFBIG)));
    EXPECT_TRUE(runOnFullDisk(4096, copyFails("/mnt/kept.bin", EFBIG)));
    EXPECT_EQ(onStick(root), QStringList{"kept.bin"});
    EXPECT_EQ(root.readFile("/mnt/kept.bin"), QByteArray("kept"));
}

// A medium that really fills up: ENOSPC, and again no cut file.
TEST(Copy, AFullMediumFailsWithNoSpace)
{
    TempRoot root;
    if (!onSmallMedium(root.path("/mnt"), 64 * 1024))
        return;
    root.writeFile("/KOVA/big.bin", pattern(100 * 1024));
    root.writeFile("/KOVA/small.bin", pattern(1000));
    EXPECT_EQ(copy("/KOVA/big.bin", "/mnt/big.bin"), -1);
    EXPECT_EQ(errno, ENOSPC);
    EXPECT_TRUE(onStick(root).isEmpty());
    EXPECT_EQ(copy("/KOVA/small.bin", "/mnt/small.bin"), 0) << "the room of the failed copy is free again";
    EXPECT_EQ(root.readFile("/mnt/small.bin"), pattern(1000));
}

// Links planted on a stick, dangling or not, at the target's name or at its
// part file's: the copy writes only a new file of its own and puts it at the
// target's name, never writing where a link leads.
TEST(Copy, LinksOnTheStickAreNeverWrittenThrough)
{
    TempRoot root;
    root.writeFile("/KOVA/table.csv", "counts");
    root.writeFile("/outside/kept.csv", "outside");
    const QString outside = root.path("/outside");
    const struct {
        const char* link;    // on the stick
        const char* leadsTo; // in the outside folder
    } cases[] = {
        {"table.csv", "absent.csv"},
        {"table.csv", "kept.csv"},
        {"table.csv.part", "absent.csv"},
        {"table.csv.part", "kept.csv"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.link) + " -> " + c.leadsTo);
        QDir(root.path("/mnt")).removeRecursively();
        QDir().mkpath(root.path("/mnt"));
        ASSERT_TRUE(QFile::link(outside + "/" + c.leadsTo, root.path("/mnt/") + c.link));
        ASSERT_EQ(copy("/KOVA/table.csv", "/mnt/table.csv"), 0);
        EXPECT_EQ(QFileInfo(root.path("/mnt/table.csv")).symLinkTarget(), QString()) << "a file of its own";
        EXPECT_EQ(root.readFile("/mnt/table.csv"), QByteArray("counts"));
        EXPECT_EQ(QDir(outside).entryList(QDir::Files), QStringList{"kept.csv"});
        EXPECT_EQ(root.readFile("/outside/kept.csv"), QByteArray("outside"));
    }
}

// The source as its own target, however it is named, is refused and kept.
TEST(Copy, TheSourceIsNeverItsOwnTarget)
{
    TempRoot root;
    root.writeFile("/KOVA/a.txt", "content");
    QDir().mkpath(root.path("/mnt"));
    ASSERT_TRUE(QFile::link(root.path("/KOVA/a.txt"), root.path("/mnt/link.txt")));
    ASSERT_EQ(::link(root.path("/KOVA/a.txt").toLocal8Bit().constData(),
                     root.path("/mnt/hard.txt").toLocal8Bit().constData()),
              0);
    for (const char* target : {"/KOVA/a.txt", "/KOVA/../KOVA/./a.txt", "/mnt/link.txt", "/mnt/hard.txt"}) {
        EXPECT_EQ(copy("/KOVA/a.txt", target), -1) << target;
        EXPECT_EQ(root.readFile("/KOVA/a.txt"), QByteArray("content")) << target;
    }
}

// A copy whose part cannot take the target's place is no copy (an export, a
// PDF report on the stick): a sync that fails, or a folder holding the
// target's name, which the copy keeps with what it holds.
TEST(Copy, APartThatCannotTakeTheTargetsPlaceFails)
{
    TempRoot root;
    root.writeFile("/KOVA/report.pdf", "report");
    const struct
    {
        const char* name;
        int syncError;  // 0: the sync as it is
        int error;
    } cases[] = {
        {"failed sync", EIO, EIO},
        {"folder at the target", 0, EISDIR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(root.path("/mnt")).removeRecursively();
        root.writeFile("/mnt/kept.pdf", "kept");
        root.writeFile("/mnt/folder.pdf/inside.txt", "inside");
        const char* target = c.syncError ? "/mnt/kept.pdf" : "/mnt/folder.pdf";
        platform::saveFileSeams().atSync = [&c](const QString&) { return c.syncError; };
        const int result = copy("/KOVA/report.pdf", target);
        const int error = errno;
        platform::saveFileSeams() = {};
        EXPECT_EQ(result, -1);
        EXPECT_EQ(error, c.error) << qt_error_string(error).toStdString();
        EXPECT_EQ(onStick(root), QStringList({"folder.pdf", "kept.pdf"}));
        EXPECT_EQ(root.readFile("/mnt/kept.pdf"), QByteArray("kept"));
        EXPECT_EQ(root.readFile("/mnt/folder.pdf/inside.txt"), QByteArray("inside"));
    }
}
