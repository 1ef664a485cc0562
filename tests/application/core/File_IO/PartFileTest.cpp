#include "File_IO/PartFile.h"

#include "TempRoot.h"
#include "platform/SaveFile.h"

#include <gtest/gtest.h>

#include <QDir>

#include <cerrno>

namespace {

// The part file's sync fails with `error` while it lives.
struct FailingSync
{
    explicit FailingSync(int error) { platform::saveFileSeams().atSync = [error](const QString&) { return error; }; }
    ~FailingSync() { platform::saveFileSeams() = {}; }
};

}  // namespace

// A part whose sync to the medium fails is never put in place: the write
// fails with the sync's error, a file at the target is kept and no part is left.
TEST(PartFile, AFailedSyncIsNoSave)
{
    TempRoot root;
    root.writeFile("/mnt/kept.txt", "kept");
    QString reason;
    {
        FailingSync sync(EIO);
        EXPECT_FALSE(writeWhole(root.path("/mnt/kept.txt"), "new", &reason));
        EXPECT_FALSE(writeWhole(root.path("/mnt/new.txt"), "new"));
    }
    EXPECT_EQ(reason, qt_error_string(EIO));
    EXPECT_EQ(root.readFile("/mnt/kept.txt"), QByteArray("kept"));
    EXPECT_EQ(QDir(root.path("/mnt")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"kept.txt"});

    ASSERT_TRUE(writeWhole(root.path("/mnt/new.txt"), "new")) << "the sync as it is";
    EXPECT_EQ(root.readFile("/mnt/new.txt"), QByteArray("new"));
}
