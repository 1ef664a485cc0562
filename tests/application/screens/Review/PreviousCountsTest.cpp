#include "ImmutableFolder.h"
#include "ReviewTestRoot.h"
#include "platform/DiskSpace.h"

#include <QPushButton>
#include <QTableWidget>

namespace {

const QStringList kThreeCounts{
    "anonymous,first,01 Dec 2026 10:00,2.5e6,120,12.3,DEFAULT",
    "anonymous,second,01 Dec 2026 11:00,1.0e5,40,-nan,PBMC",
    "a-user-name-of-17,file-name-16char,01 Dec 2026 12:00,3.1e6,150,-inf,Mine",
};
const QString kExported = "/mnt/PreviousCount_BF_TotalCellCounting_08Dec2026_142501.csv";

class PreviousCounts : public ReviewTestRoot
{
protected:
    void SetUp() override
    {
        ReviewTestRoot::SetUp();
        ReviewDlg::seams().now = [] { return QDateTime(QDate(2026, 12, 8), QTime(14, 25, 1)); };
    }
    void TearDown() override
    {
        ReviewDlg::seams() = {};
        EXPECT_FALSE(theApp.m_bBusy) << "the busy flag is down on every path";
        ReviewTestRoot::TearDown();
    }

    QTableWidget* table() const { return dlg->findChild<QTableWidget*>("TABLEWIDGET_CSV"); }
    QPushButton* button(const char* name) const { return dlg->findChild<QPushButton*>(name); }
    QStringList row(int r) const
    {
        QStringList cells;
        for (int c = 0; c < table()->columnCount(); ++c)
            cells << (table()->item(r, c) ? table()->item(r, c)->text() : QString("<none>"));
        return cells;
    }
    // Presses a menu button, answering the message it is expected to raise.
    QString press(const char* name, bool ok = true)
    {
        boxes.plan(ok, [this] { busyWhileAsked = theApp.m_bBusy; });
        button(name)->click();
        return boxes.shown.value(boxes.shown.size() - 1);
    }
    static QString message(int type) { return MessageCatalogue::text(type); }

    bool busyWhileAsked = false;
};

TEST_F(PreviousCounts, TableShowsTheMasterNewestFirst)
{
    writeMaster(0, kThreeCounts + QStringList{"short,line"});
    loadTable();
    open();
    EXPECT_EQ(table()->columnCount(), 5);
    ASSERT_EQ(table()->rowCount(), 4);
    EXPECT_EQ(row(0), (QStringList{"short\nline", "", "", "", ""})) << "a short line leaves the rest empty";
    EXPECT_EQ(row(1), (QStringList{"a-user-name-of-1...\nfile-name-16char", "01 Dec 2026 12:00",
                                   "3.1 x 10e6\n150", "0.0", "Mine"}));
    EXPECT_EQ(row(2), (QStringList{"anonymous\nsecond", "01 Dec 2026 11:00", "1.0 x 10e5\n40", "0.0", "PBMC"}));
    EXPECT_EQ(row(3), (QStringList{"anonymous\nfirst", "01 Dec 2026 10:00", "2.5 x 10e6\n120", "12.3", "DEFAULT"}));
    EXPECT_EQ(table()->horizontalHeaderItem(2)->text(), "[Total cell]");
    EXPECT_EQ(table()->item(1, 0)->textAlignment(), int(Qt::AlignLeft | Qt::AlignVCenter));

    theApp.m_CountingMode = 1;
    writeMaster(1, {"u,f,d,2.5e6,120,2.0e6,100,5.0e5,20,80.0%,11.1,HeLa"});
    loadTable();
    open();
    ASSERT_EQ(table()->columnCount(), 8);
    EXPECT_EQ(row(0), (QStringList{"u\nf", "d", "2.5 x 10e6\n120", "2.0 x 10e6\n100", "5.0 x 10e5\n20", "80.0%", "11.1",
                                   "HeLa"}));
}

TEST_F(PreviousCounts, ExportAndDeleteAllNeedACount)
{
    writeMaster(0, {});
    loadTable();
    open();
    EXPECT_EQ(table()->rowCount(), 0);
    EXPECT_FALSE(button("BUTTON_EXPORT_CSV")->isEnabled());
    EXPECT_FALSE(button("BUTTON_DELETE_CSV")->isEnabled());
}

TEST_F(PreviousCounts, ExportWritesADatedCopyNewestFirstOnTheStick)
{
    writeMaster(0, kThreeCounts);
    loadTable();
    open();
    EXPECT_EQ(press("BUTTON_EXPORT_CSV"), message(45)) << "no stick";

    insertStick();
    const QByteArray master = root.readFile(ResultTree::previousCountMaster(0));
    EXPECT_EQ(press("BUTTON_EXPORT_CSV"), message(41));
    EXPECT_TRUE(busyWhileAsked);
    EXPECT_EQ(root.readFile(kExported),
              (QStringList{ResultTree::previousCountHeader(0), kThreeCounts[2], kThreeCounts[1], kThreeCounts[0]})
                  .join('\n')
                  .toUtf8());
    EXPECT_EQ(press("BUTTON_EXPORT_CSV"), message(41));
    EXPECT_TRUE(QFile::exists(root.path("/mnt/PreviousCount_BF_TotalCellCounting_08Dec2026_142501 (1).csv")));
    EXPECT_EQ(root.readFile(ResultTree::previousCountMaster(0)), master) << "the master stays";
    EXPECT_FALSE(QFile::exists(root.path("/opt/KOVA3/log/temp.csv")));
    EXPECT_FALSE(button("BUTTON_EXPORT_CSV")->isChecked());

    // A stick without room: nothing new on it.
    ASSERT_TRUE(sticks.setFreeSpace("stick", 0));
    const QStringList before = QDir(root.path("/mnt")).entryList(QDir::Files);
    EXPECT_EQ(press("BUTTON_EXPORT_CSV"), message(5));
    EXPECT_EQ(QDir(root.path("/mnt")).entryList(QDir::Files), before);
    EXPECT_FALSE(QFile::exists(root.path("/opt/KOVA3/log/temp.csv")));

    // A stick pulled since it was last reported.
    ASSERT_TRUE(sticks.setFreeSpace("stick", 1 << 30));
    ASSERT_TRUE(sticks.pull("stick"));
    EXPECT_EQ(press("BUTTON_EXPORT_CSV"), message(45));
}

// A copy that fails on the stick says so, and leaves no part of the file.
TEST_F(PreviousCounts, AFailedCopyShowsMessage5)
{
    writeMaster(0, kThreeCounts);
    loadTable();
    insertStick();
    open();
    ImmutableFolder locked(sticks.stickFolder("stick"));
    if (!locked.isSet())
        GTEST_SKIP() << "no immutable folders here";
    EXPECT_EQ(press("BUTTON_EXPORT_CSV"), message(5));
    EXPECT_FALSE(QFile::exists(root.path(kExported)));
    EXPECT_FALSE(QFile::exists(root.path("/opt/KOVA3/log/temp.csv")));
}

// Links planted on the stick under the names of the next export, leading out
// of it: the table goes under the first name nothing stands at, and nothing
// is written where a link leads.
TEST_F(PreviousCounts, ExportTakesNoNameALinkStandsAt)
{
    writeMaster(0, kThreeCounts);
    loadTable();
    insertStick();
    open();
    const QString stem = "/mnt/PreviousCount_BF_TotalCellCounting_08Dec2026_142501";
    for (const QString& name : {stem + ".csv", stem + " (1).csv"})
        ASSERT_TRUE(QFile::link(root.path("/outside/table.csv"), root.path(name)));
    EXPECT_EQ(press("BUTTON_EXPORT_CSV"), message(41));
    EXPECT_TRUE(root.readFile(stem + " (2).csv").startsWith(ResultTree::previousCountHeader(0)));
    EXPECT_FALSE(QFileInfo::exists(root.path("/outside")));
    EXPECT_EQ(QFileInfo(root.path(stem + ".csv")).symLinkTarget(), root.path("/outside/table.csv"));
}

// Updates of the shown table in place, which nothing connects while the screen is open.
TEST_F(PreviousCounts, AStoredLineGoesOnTopAndAFileNameIsReplacedWhole)
{
    writeMaster(0, kThreeCounts);
    loadTable();
    open();
    dlg->slotAppendCSVData("anonymous,fourth,02 Dec 2026 09:00,4.0e6,200,9.5,DEFAULT");
    ASSERT_EQ(table()->rowCount(), 4);
    EXPECT_EQ(row(0), (QStringList{"anonymous\nfourth", "02 Dec 2026 09:00", "4.0 x 10e6\n200", "9.5", "DEFAULT"}));
    EXPECT_EQ(table()->item(0, 4)->textAlignment(), int(Qt::AlignLeft | Qt::AlignVCenter));
    EXPECT_EQ(row(1).first(), "a-user-name-of-1...\nfile-name-16char");

    dlg->slotFilenameReplaced(1, "a-name-longer-than-sixteen");
    EXPECT_EQ(row(1).first(), "a-user-name-of-1...\na-name-longer-than-sixteen");
    for (int outside : {-1, 4})
        dlg->slotFilenameReplaced(outside, "x");
    EXPECT_EQ(row(0).first(), "anonymous\nfourth");
    EXPECT_EQ(row(3).first(), "anonymous\nfirst");
}

TEST_F(PreviousCounts, DeleteAllRemovesTheModesCountsOnly)
{
    writeMaster(0, kThreeCounts);
    writeMaster(1, {"u,f,d,2.5e6,120,2.0e6,100,5.0e5,20,80.0%,11.1,HeLa"});
    loadTable();
    open();

    EXPECT_EQ(press("BUTTON_DELETE_CSV", false), message(42));
    EXPECT_EQ(table()->rowCount(), 3);
    EXPECT_TRUE(QFile::exists(root.path(ResultTree::previousCountMaster(0))));
    EXPECT_TRUE(button("BUTTON_DELETE_CSV")->isEnabled());

    EXPECT_EQ(press("BUTTON_DELETE_CSV"), message(42));
    EXPECT_TRUE(busyWhileAsked);
    EXPECT_EQ(table()->rowCount(), 0);
    EXPECT_FALSE(QFile::exists(root.path(ResultTree::previousCountMaster(0))));
    EXPECT_FALSE(QFile::exists(root.path(ResultTree::previousCountCopy(0))));
    EXPECT_EQ(theApp.m_pPreviousCountCSV->csv().size(), 1u);
    EXPECT_FALSE(button("BUTTON_EXPORT_CSV")->isEnabled());
    EXPECT_FALSE(button("BUTTON_DELETE_CSV")->isEnabled());
    EXPECT_FALSE(button("BUTTON_DELETE_CSV")->isChecked());
    EXPECT_TRUE(QFile::exists(root.path(ResultTree::previousCountMaster(1))));
    EXPECT_TRUE(QFile::exists(root.path(ResultTree::previousCountCopy(1))));
}

}  // namespace
