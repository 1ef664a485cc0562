#pragma once

#include "File_IO/CSVReaderWriter.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ResultTree.h"
#include "MediaMonitor/MediaMonitor.h"
#include "Message/MessageCatalogue.h"
#include "ModalAnswerer.h"
#include "QtPrinters.h"
#include "Review/ReviewDlg.h"
#include "TempRoot.h"
#include "UsbSticks.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <QTreeWidget>

#include <memory>

// The review screen's tests: a root with the result folders, the USB stick
// stand-ins and theApp's table of previous counts of the mode; the message
// boxes answered as planned, none unexpected; theApp restored afterwards.
class ReviewTestRoot : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sticks.installStandIns());
        for (int mode : {0, 1})
            QDir().mkpath(root.path(ResultTree::modeFolder(mode)));
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        theApp.m_nCurrentDialog = KOVACORE_REVIEW_DIALOG;
        theApp.m_bBusy = false;
        loadTable();
    }

    void TearDown() override
    {
        dlg.reset();
        EXPECT_EQ(boxes.unplanned, 0) << "a message nobody expected: " << boxes.shown.join(" | ").toStdString();
        EXPECT_TRUE(boxes.allPlannedAnswered()) << "an expected message never came";
        delete theApp.m_pMediaMonitor;
        theApp.m_pMediaMonitor = nullptr;
        delete theApp.m_pPreviousCountCSV;
        theApp.m_pPreviousCountCSV = nullptr;
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
        theApp.m_bBusy = false;
    }

    // theApp's table of the mode, as the home screen loads it.
    void loadTable()
    {
        delete theApp.m_pPreviousCountCSV;
        const int mode = theApp.m_CountingMode;
        theApp.m_pPreviousCountCSV =
            new CSVReaderWriter(ResultTree::kPreviousCountLines, "%s", ResultTree::previousCountHeader(mode));
        theApp.m_pPreviousCountCSV->read(ResultTree::previousCountMaster(mode).toUtf8().constData());
    }

    // A master of a mode with these counts, oldest first, and its copy in the result tree.
    void writeMaster(int mode, const QStringList& counts) const
    {
        const QByteArray text = (QStringList{ResultTree::previousCountHeader(mode)} + counts).join('\n').toUtf8();
        root.writeFile(ResultTree::previousCountMaster(mode), text);
        root.writeFile(ResultTree::previousCountCopy(mode), text);
    }

    // A stick plugged in and mounted by theApp's monitor.
    void insertStick(const QString& name = "stick")
    {
        ASSERT_FALSE(sticks.insert(name).isEmpty());
        delete theApp.m_pMediaMonitor;
        theApp.m_pMediaMonitor = new MediaMonitor;
        ASSERT_TRUE(theApp.m_pMediaMonitor->searchUSB());
    }

    void open() { dlg = std::make_unique<ReviewDlg>(); }

    // Folders R00, R01, ... in a logical folder.
    void makeFolders(const QString& logical, int n, const QString& prefix = "R") const
    {
        for (int i = 0; i < n; ++i)
            QDir().mkpath(root.path(QStringLiteral("%1/%2%3").arg(logical, prefix).arg(i, 2, 10, QLatin1Char('0'))));
    }
    QTreeWidget* list() const { return dlg->findChild<QTreeWidget*>("TREE_PAGE"); }
    // The names the result list shows.
    QStringList rows() const
    {
        QStringList names;
        for (int i = 0; i < list()->topLevelItemCount(); ++i)
            names << list()->topLevelItem(i)->text(0);
        return names;
    }
    // Until the result list shows these rows (the folder model loads on its own).
    bool waitForRows(const QStringList& expected) const
    {
        return QTest::qWaitFor([&] { return rows() == expected; }, 10000);
    }
    void selectRow(const QString& name) const
    {
        const QList<QTreeWidgetItem*> found = list()->findItems(name, Qt::MatchExactly | Qt::MatchRecursive);
        ASSERT_EQ(found.size(), 1) << name.toStdString();
        list()->setCurrentItem(found.first());
    }

    TempRoot root;
    kovasim::UsbSticks sticks{root.root()};
    ModalAnswerer boxes;
    std::unique_ptr<ReviewDlg> dlg;
};
