#include "platform/SaveFile.h"

#include "FullDisk.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>

// A file smaller than the toolkit's write buffer, on a full medium: the
// commit fails, and neither the cut file nor its temporary stays.
TEST(SaveFile, ACommitTellsAWriteThatFailed)
{
    TempRoot root;
    const QString path = root.path("/table.csv");
    const QByteArray content(1500, 'x');
    const auto save = [&] {
        QSaveFile file(path);
        return platform::openSaveFile(file) && file.write(content) == content.size() && file.commit();
    };
    EXPECT_FALSE(runOnFullDisk(1024, save));
    EXPECT_EQ(QDir(root.root()).entryList(QDir::Files | QDir::Hidden), QStringList());
    ASSERT_TRUE(save());
    EXPECT_EQ(root.readFile("/table.csv"), content);
}
