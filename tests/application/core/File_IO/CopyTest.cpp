#include "File_IO/copy.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
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

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(copy("/KOVA/big.bin", "/mnt/big.bin") == -1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "copy reported success on a short copy";
    EXPECT_EQ(QFileInfo(root.path("/mnt/big.bin")).size(), 4096);
}
