#include "InstrumentAppTest.h"

#include "UsbSticks.h"

#include <QDir>
#include <QFile>
#include <QTest>

namespace {

const QString kTotalMaster = "/opt/KOVA3/log/PreviousCount_BF_TotalCellCounting.csv";
const QString kViabilityMaster = "/opt/KOVA3/log/PreviousCount_BF_CellCountingViability.csv";
const QString kTotalCopy = "/KOVA/anonymous/TOTAL_CELL_COUNTING/PreviousCount_BF_TotalCellCounting.csv";
const QByteArray kTotalHeader = "User,File,Date,[Total cell],Total cell number,Avg. size,Protocol";
const QList<QByteArray> kCounts{
    "anonymous,A,01 Dec 2026 10:00,2.5e6,120,12.3,DEFAULT",
    "anonymous,B,01 Dec 2026 11:00,1.1e6,60,11.3,DEFAULT",
    "anonymous,C,01 Dec 2026 12:00,3.0e6,150,10.9,DEFAULT",
};

// Places on the home and review screens (800 × 480).
const QPoint kReviewButton{300, 280};  // on the home screen
const QPoint kPreviousCounts{100, 80 + 320 + 40};
const QPoint kExportCsv{100, 80 + 160 + 40};
const QPoint kDeleteAll{100, 80 + 240 + 40};
const QPoint kHome{40, 40};

class ReviewScreenTest : public InstrumentAppTest
{
protected:
    // A menu button that raises one message, answered at `answer`.
    bool pressAndAnswer(const QPoint& button, const QPoint& answer)
    {
        return touchThenDialogs(button, 2) && touchThenDialogs(answer, 1);
    }
    QStringList exported() const
    {
        return QDir(root.path("/mnt")).entryList({"PreviousCount_*.csv"}, QDir::Files, QDir::Name);
    }
    bool stickMounted() const { return root.readFile("/etc/mtab").contains(" /mnt "); }
};

TEST_F(ReviewScreenTest, PreviousCountsExportToTheStickAndDeleteAll)
{
    QByteArray total = kTotalHeader;
    for (const QByteArray& count : kCounts)
        total += "\n" + count;
    root.writeFile(kTotalMaster, total);
    const QByteArray viability = "User,File,Date,[Total cell],Total cell number,[Live cell],Live cell number,"
                                 "[Dead cell],Dead cell number,Viability,Avg. size,Protocol\n"
                                 "anonymous,V,01 Dec 2026 09:00,2.5e6,120,2.0e6,100,5.0e5,20,80.0%,11.1,DEFAULT";
    root.writeFile(kViabilityMaster, viability);
    ASSERT_TRUE(startInstrument());
    ASSERT_TRUE(startApp());
    ASSERT_TRUE(waitForHomeScreen());
    const kovasim::UsbSticks sticks(root.root());

    ASSERT_TRUE(touchThenDialogs(kReviewButton, 1)) << output(*app).toStdString();
    ASSERT_TRUE(touch(kPreviousCounts));
    ASSERT_TRUE(pressAndAnswer(kExportCsv, kMessageOnlyOk)) << "no stick: insert one";
    EXPECT_TRUE(waitForOutput(*app, "---------------------> type : 45"));

    ASSERT_FALSE(sticks.insert("stick").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return stickMounted(); }, kTimeoutMs));
    ASSERT_TRUE(pressAndAnswer(kExportCsv, kMessageOnlyOk)) << "exported";
    ASSERT_EQ(exported().size(), 1);
    EXPECT_TRUE(exported().first().startsWith("PreviousCount_BF_TotalCellCounting_"));
    EXPECT_EQ(root.readFile("/mnt/" + exported().first()),
              kTotalHeader + "\n" + kCounts[2] + "\n" + kCounts[1] + "\n" + kCounts[0]);

    ASSERT_TRUE(sticks.setFreeSpace("stick", 0));
    ASSERT_TRUE(pressAndAnswer(kExportCsv, kMessageOnlyOk)) << "the stick is full";
    EXPECT_TRUE(waitForOutput(*app, "---------------------> type : 5\n"));
    EXPECT_EQ(exported().size(), 1);

    ASSERT_TRUE(sticks.pull("stick"));
    ASSERT_TRUE(pressAndAnswer(kExportCsv, kMessageOnlyOk)) << "the stick is gone";
    EXPECT_TRUE(QTest::qWaitFor([&] { return output(*app).count("---------------------> type : 45") == 2; }, kTimeoutMs));

    ASSERT_TRUE(pressAndAnswer(kDeleteAll, kMessageOk));
    EXPECT_FALSE(QFile::exists(root.path(kTotalMaster)));
    EXPECT_FALSE(QFile::exists(root.path(kTotalCopy)));
    EXPECT_EQ(root.readFile(kViabilityMaster), viability);

    ASSERT_TRUE(touchThenDialogs(kHome, 0));
    EXPECT_TRUE(windows("KOVA3").size() == 1);
}

}  // namespace
