#include "InstrumentAppTest.h"

#include "FullDisk.h"
#include "UsbSticks.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
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

// Places on the review screen's stored results and its export/delete choice.
const QPoint kPageLeft{380 + 21 + 38, 418 + 6 + 22};
QPoint listRow(int n)
{
    return {500, 118 + 40 * n + 20};
}
const QPoint kView{100, 80 + 80 + 40};
const QPoint kExport{100, 80 + 160 + 40};
const QPoint kDelete{100, 80 + 240 + 40};
const QPoint kReanalyze{200 + 433 + 70, 80 + 40 + 276 + 20};
const QPoint kCurrent{156 + 38 + 98, 90 + 48 + 109 + 38};
const QPoint kAll{156 + 265 + 98, 90 + 48 + 109 + 38};
const QPoint kDoneOkBesideCancel{156 + 88 + 77, 90 + 50 + 164 + 23};
const QPoint kDoneCancel{156 + 262 + 77, 90 + 50 + 164 + 23};
const QPoint kDoneOk{156 + 174 + 77, 90 + 50 + 164 + 23};
// The OK of the copy's progress box, shown with the reason a copy failed.
const QPoint kProgressOk{156 + 174 + 75, 90 + 204 + 23};
const QByteArray kNoSpaceShown = "<b>Insufficient disk space.</b><br/>Insert another drive.";

class StoredResultsTest : public ReviewScreenTest
{
protected:
    QStringList storedResults() const
    {
        return QDir(root.path("/KOVA/anonymous/TOTAL_CELL_COUNTING")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }
    int masterRows() const { return root.readFile(kTotalMaster).count('\n'); }
    // How often the choice dialog showed its finished state.
    int finished() { return int(output(*app).count("---------------------> state : 1")); }
    // The choice dialog: `scope`, then its finished state closed with `end`.
    bool exportOrDelete(const QPoint& menu, const QPoint& scope, const QPoint& end)
    {
        const int before = finished();
        return touchThenDialogs(menu, 2) && touch(scope) &&
               QTest::qWaitFor([&] { return finished() > before; }, kTimeoutMs) && touchThenDialogs(end, 1);
    }
    void openReview() { ASSERT_TRUE(touchThenDialogs(kReviewButton, 1)) << output(*app).toStdString(); }
};

TEST_F(StoredResultsTest, ReanalysedExportedAndDeletedThroughTheScreens)
{
    ASSERT_TRUE(startInstrument());
    ASSERT_TRUE(startApp());
    ASSERT_TRUE(waitForHomeScreen());
    ASSERT_TRUE(countOnce()) << output(*app).toStdString();
    ASSERT_TRUE(saveCountAs("A")) << output(*app).toStdString();
    ASSERT_TRUE(touchThenDialogs(kCountHome, 1));
    ASSERT_TRUE(touchThenDialogs(kMessageOk, 0)) << "leaving the result";
    const QString results = root.path("/KOVA/anonymous/TOTAL_CELL_COUNTING");
    for (int i = 1; i <= 14; ++i) {
        const QString copy = QStringLiteral("%1/B%2").arg(results).arg(i, 2, 10, QLatin1Char('0'));
        ASSERT_TRUE(QDir().mkpath(copy));
        for (const QString& file : QDir(results + "/A").entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(results + "/A/" + file, copy + "/" + file));
    }
    const kovasim::UsbSticks sticks(root.root());
    ASSERT_FALSE(sticks.insert("stick").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return stickMounted(); }, kTimeoutMs));

    // The last page's result counted again on the counting screen.
    ASSERT_NO_FATAL_FAILURE(openReview());
    ASSERT_TRUE(touch(kPageLeft));
    ASSERT_TRUE(touch(listRow(0)));
    ASSERT_TRUE(touch(kView));
    ASSERT_TRUE(waitForOutput(*app, "/KOVA/anonymous/TOTAL_CELL_COUNTING/B14")) << output(*app).toStdString();
    ASSERT_TRUE(screenshot(artefact("viewer.png")));
    const int rowsBefore = masterRows();
    const int countsBefore = int(output(*app).count("Finish Count ALL"));
    ASSERT_TRUE(touch(kReanalyze));
    ASSERT_TRUE(waitForNoWindow(QStringLiteral("Dialog"))) << "the review screen closed";
    ASSERT_TRUE(QTest::qWaitFor([&] { return output(*app).count("Finish Count ALL") > countsBefore; }, kTimeoutMs))
        << output(*app).toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return masterRows() == rowsBefore + 1; }, kTimeoutMs)) << "a new count row";
    ASSERT_TRUE(touchThenDialogs(kCountHome, 1));
    ASSERT_TRUE(touchThenDialogs(kMessageOk, 0));

    // A stick without room: the progress box shows why, and its OK closes the choice as well.
    ASSERT_TRUE(sticks.setFreeSpace("stick", 0));
    ASSERT_NO_FATAL_FAILURE(openReview());
    ASSERT_TRUE(touch(listRow(0)));
    const int finishedBefore = finished();
    ASSERT_TRUE(touchThenDialogs(kExport, 2));
    ASSERT_TRUE(touchThenDialogs(kCurrent, 3)) << output(*app).toStdString();
    ASSERT_TRUE(waitForOutput(*app, kNoSpaceShown)) << output(*app).toStdString();
    ASSERT_TRUE(touchThenDialogs(kProgressOk, 1));
    EXPECT_EQ(finished(), finishedBefore) << "no finished state after a failed export";
    EXPECT_TRUE(QDir(sticks.stickFolder("stick")).isEmpty());
    ASSERT_TRUE(sticks.setFreeSpace("stick", quint64(64) << 30));

    // The first result exported, the stick kept, then all of them, the stick removed.
    ASSERT_TRUE(touch(listRow(0)));
    ASSERT_TRUE(exportOrDelete(kExport, kCurrent, kDoneCancel)) << output(*app).toStdString();
    for (const QString& file : QDir(results + "/A").entryList(QDir::Files))
        EXPECT_EQ(root.readFile("/mnt/A/" + file), root.readFile("/KOVA/anonymous/TOTAL_CELL_COUNTING/A/" + file))
            << file.toStdString();
    EXPECT_TRUE(stickMounted());
    ASSERT_TRUE(exportOrDelete(kExport, kAll, kDoneOkBesideCancel)) << output(*app).toStdString();
    const QDir exported(sticks.stickFolder("stick") + "/TOTAL_CELL_COUNTING");
    EXPECT_EQ(exported.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 15);
    EXPECT_TRUE(exported.entryList({"PreviousCount*"}, QDir::Files).isEmpty());
    EXPECT_TRUE(sticks.calls().contains("umount /mnt"));
    EXPECT_TRUE(touchThenDialogs(kExport, 2)) << "a later export needs the stick again";
    EXPECT_TRUE(touchThenDialogs(kMessageOnlyOk, 1));

    // One result deleted, then all of them; the stick keeps its copies.
    ASSERT_TRUE(touch(listRow(1)));
    ASSERT_TRUE(exportOrDelete(kDelete, kCurrent, kDoneOk));
    QStringList expected = QStringList{"A"};
    for (int i = 2; i <= 14; ++i)
        expected << QStringLiteral("B%1").arg(i, 2, 10, QLatin1Char('0'));
    EXPECT_EQ(storedResults(), expected) << "exactly B01 gone";
    const int before = finished();
    ASSERT_TRUE(touchThenDialogs(kDelete, 2));
    ASSERT_TRUE(touchThenDialogs(kAll, 3)) << "delete all results?";
    ASSERT_TRUE(touch(kMessageOk));
    ASSERT_TRUE(QTest::qWaitFor([&] { return finished() > before; }, kTimeoutMs));
    ASSERT_TRUE(touchThenDialogs(kDoneOk, 1));
    EXPECT_TRUE(QDir(results).isEmpty());
    EXPECT_EQ(exported.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 15);

    ASSERT_TRUE(touchThenDialogs(kHome, 0));
}

// A stick that really fills up during Export All, though its free-space
// figure said there was room: the progress box shows the space error, the
// choice closes, every file copied before it is whole and no cut file lies
// on the stick under any name.
TEST_F(StoredResultsTest, ExportAllToAStickThatFillsUpPartWay)
{
    const kovasim::UsbSticks sticks(root.root());
    if (!onSmallMedium(sticks.stickFolder("stick"), 1 << 20))
        return;
    const QString results = "/KOVA/anonymous/TOTAL_CELL_COUNTING";
    for (const QString result : {"A", "B", "C"})
        for (const QString kind : {".csv", ".pdf", "_RAW.tif", "_TAG.tif"})
            root.writeFile(results + "/" + result + "/" + result + kind, QByteArray(300 * 1024, kind[1].toLatin1()));
    ASSERT_TRUE(sticks.setFreeSpace("stick", quint64(1) << 30));
    ASSERT_TRUE(startInstrument());
    ASSERT_TRUE(startApp());
    ASSERT_TRUE(waitForHomeScreen());
    ASSERT_FALSE(sticks.insert("stick").isEmpty());
    ASSERT_TRUE(QTest::qWaitFor([&] { return stickMounted(); }, kTimeoutMs));

    ASSERT_NO_FATAL_FAILURE(openReview());
    const int finishedBefore = finished();
    ASSERT_TRUE(touchThenDialogs(kExport, 2));
    ASSERT_TRUE(touchThenDialogs(kAll, 3)) << output(*app).toStdString();
    ASSERT_TRUE(waitForOutput(*app, kNoSpaceShown)) << output(*app).toStdString();
    EXPECT_TRUE(screenshot(artefact("stick-full.png")));
    ASSERT_TRUE(touchThenDialogs(kProgressOk, 1));
    EXPECT_EQ(finished(), finishedBefore) << "no finished state after a failed export";

    const QString exported = sticks.stickFolder("stick") + "/TOTAL_CELL_COUNTING";
    int copied = 0;
    QDirIterator files(exported, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString file = files.next();
        const QString name = file.mid(exported.size());
        QFile copy(file);
        EXPECT_TRUE(copy.open(QIODevice::ReadOnly) && copy.readAll() == root.readFile(results + name))
            << "cut or not a copy: " << name.toStdString();
        ++copied;
    }
    EXPECT_GT(copied, 0);
    EXPECT_LT(copied, 12);
    ASSERT_TRUE(touchThenDialogs(kHome, 0));
}

}  // namespace
