#include "Calibration/FileSnapshot.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

constexpr char kChanged[] = "/conf/changed.ini";
constexpr char kUnchanged[] = "/conf/unchanged.ini";
constexpr char kCreated[] = "/conf/created.ini";
constexpr char kFolder[] = "/conf/folder.ini";

ino_t inode(const QString& path)
{
    struct stat info = {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_ino : 0;
}

// A root with two files and a folder where a file could be, kept.
class FileSnapshotTest : public ::testing::Test
{
protected:
    FileSnapshotTest()
    {
        root.writeFile(kChanged, "[A]\nkey=1\n");
        root.writeFile(kUnchanged, "[B]\nkey=2\n");
        QDir().mkpath(root.path(kFolder));
        EXPECT_TRUE(snapshot.take({kChanged, kUnchanged, kCreated, kFolder}));
    }

    TempRoot root;
    FileSnapshot snapshot;
};

TEST_F(FileSnapshotTest, RestorePutsBackChangedFilesAndRemovesNewOnes)
{
    const ino_t unchangedInode = inode(root.path(kUnchanged));
    root.writeFile(kChanged, "[A]\nkey=9\nmore=1\n");
    root.writeFile(kCreated, "[C]\n");

    QString error;
    EXPECT_TRUE(snapshot.restore(&error)) << error.toStdString();
    EXPECT_EQ(root.readFile(kChanged), "[A]\nkey=1\n");
    EXPECT_EQ(root.readFile(kUnchanged), "[B]\nkey=2\n");
    EXPECT_EQ(inode(root.path(kUnchanged)), unchangedInode) << "a file that holds its bytes is not rewritten";
    EXPECT_FALSE(QFileInfo::exists(root.path(kCreated)));
    EXPECT_TRUE(QFileInfo(root.path(kFolder)).isDir()) << "a folder is left alone";
}

TEST_F(FileSnapshotTest, RestoreGoesOnPastAFileItCannotPutBack)
{
    root.writeFile(kChanged, "[A]\nkey=9\n");
    root.writeFile(QString(kCreated) + "/inside", "x");  // a folder where no file was

    QString error;
    EXPECT_FALSE(snapshot.restore(&error));
    EXPECT_TRUE(error.contains(root.path(kCreated))) << error.toStdString();
    EXPECT_EQ(root.readFile(kChanged), "[A]\nkey=1\n");
}

TEST_F(FileSnapshotTest, TakeReplacesWhatWasKept)
{
    EXPECT_TRUE(snapshot.take({kUnchanged}));
    root.writeFile(kChanged, "[A]\nkey=9\n");
    root.writeFile(kUnchanged, "[B]\n");

    EXPECT_TRUE(snapshot.restore());
    EXPECT_EQ(root.readFile(kChanged), "[A]\nkey=9\n");
    EXPECT_EQ(root.readFile(kUnchanged), "[B]\nkey=2\n");
}

}  // namespace
