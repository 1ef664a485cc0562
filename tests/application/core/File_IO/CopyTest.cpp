#include "File_IO/copy.h"

#include "FullDisk.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <QDir>

#include <unistd.h>

namespace {

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

TEST(Copy, TruncatesALongerExistingTarget)
{
    TempRoot root;
    root.writeFile("/KOVA/short.txt", "new");
    root.writeFile("/mnt/target.txt", "old and much longer content");
    ASSERT_EQ(copy("/KOVA/short.txt", "/mnt/target.txt"), 0);
    EXPECT_EQ(root.readFile("/mnt/target.txt"), QByteArray("new"));
}

TEST(Copy, UnreadableSourceFailsAndLeavesAnEmptyTarget)
{
    TempRoot root;
    root.writeFile("/mnt/.keep", "");
    EXPECT_EQ(copy("/KOVA/missing.txt", "/mnt/out.txt"), -1);
    EXPECT_TRUE(QFileInfo::exists(root.path("/mnt/out.txt")));
    EXPECT_EQ(QFileInfo(root.path("/mnt/out.txt")).size(), 0);
}

TEST(Copy, AnUnreadableSourceLeavesAnExistingTargetAsItWas)
{
    TempRoot root;
    root.writeFile("/mnt/report.pdf", "kept");
    EXPECT_EQ(copy("/KOVA/missing.pdf", "/mnt/report.pdf"), -1);
    EXPECT_EQ(root.readFile("/mnt/report.pdf"), QByteArray("kept"));
}

// A full medium: the file-size limit makes writes past 4 KiB fail with EFBIG.
TEST(Copy, AFailedWriteIsReportedAsFailure)
{
    TempRoot root;
    root.writeFile("/KOVA/big.bin", pattern(10 * 1024));
    root.writeFile("/mnt/.keep", "");
    EXPECT_FALSE(runOnFullDisk(4096, [] { return copy("/KOVA/big.bin", "/mnt/big.bin") == 0; }))
        << "copy reported success on a short copy";
    EXPECT_EQ(QFileInfo(root.path("/mnt/big.bin")).size(), 4096);
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
