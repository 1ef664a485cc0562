#include "FileManager/ResultFolderModel.h"
#include "HomeDlg/PowerControl.h"
#include "Review/FileOperationDialog.h"
#include "Review/FileSystemTreeView.h"
#include "OnShow.h"
#include "ReviewTestRoot.h"
#include "WhenModal.h"
#include "platform/DiskSpace.h"
#include "platform/SaveFile.h"

#include <QFrame>
#include <QLabel>
#include <QMetaMethod>
#include <QPushButton>
#include <QScrollBar>
#include <QSemaphore>
#include <QSignalSpy>

#include <atomic>

namespace {

const QString kTotal = "/KOVA/anonymous/TOTAL_CELL_COUNTING";

class StoredResults : public ReviewTestRoot
{
protected:
    void TearDown() override
    {
        EXPECT_FALSE(theApp.m_bBusy) << "the busy flag is down on every path";
        ReviewTestRoot::TearDown();
    }

    QPushButton* button(const char* name) const { return dlg->findChild<QPushButton*>(name); }
    QString label(const char* name) const { return dlg->findChild<QLabel*>(name)->text(); }
    QStringList folders(const QString& logical) const
    {
        return QDir(root.path(logical)).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    }
    // Presses Export or Delete and, in the choice dialog, `scope` ("BUTTON_CURRENT"
    // or "BUTTON_ALL"), then `end` ("BUTTON_OK", "BUTTON_CANCEL" or "BUTTON_X").
    void choose(const char* menuButton, const char* scope, const char* end)
    {
        WhenModal<ReviewFuncDlg> chooser([=](ReviewFuncDlg* dialog) {
            dialog->findChild<QPushButton*>(scope)->click();
            if (dialog->isVisible())
                dialog->findChild<QPushButton*>(end)->click();
        });
        button(menuButton)->click();
        EXPECT_TRUE(chooser.done()) << menuButton;
    }
    // Until the screen has asked for the stick, 100 ms after it opened.
    bool waitForStickSearch() const
    {
        return QTest::qWaitFor([&] { return button("BUTTON_DISK_LIST")->text() == "USB"; }, 10000);
    }
    // The result R (a CSV file and a raw image) stored, a stick with room,
    // the screen open with R selected.
    void openWithResultR()
    {
        root.writeFile(kTotal + "/R/R.csv", "values");
        root.writeFile(kTotal + "/R/R_RAW.tif", QByteArray(10000, 'r'));
        insertStick();
        ASSERT_TRUE(sticks.setFreeSpace("stick", quint64(1) << 30));
        open();
        ASSERT_TRUE(waitForStickSearch());
        ASSERT_TRUE(waitForRows({"R"}));
        selectRow("R");
    }
    // Opens the stick's folders in the list.
    void browseStick()
    {
        ASSERT_TRUE(waitForStickSearch());
        button("BUTTON_DISK_LIST")->click();
    }
};

TEST_F(StoredResults, ListLooksDifferentOnTheStick)
{
    open();
    const struct
    {
        ReviewPathState state;
        int height;
        bool pageBar;
        bool exportAndDelete;
        Qt::ScrollBarPolicy bars;
    } cases[] = {
        {REVIEW_PATH_USB, 361, true, false, Qt::ScrollBarAlwaysOn},  // the page bar is covered, not hidden
        {REVIEW_PATH_LOCAL, 300, true, true, Qt::ScrollBarAlwaysOff},
    };
    for (const auto& c : cases) {
        dlg->setViewUIState(c.state);
        EXPECT_EQ(list()->geometry(), QRect(380, 118, 421, c.height)) << c.state;
        EXPECT_EQ(!dlg->findChild<QFrame*>("REVIEW_PAGE")->isHidden(), c.pageBar);
        EXPECT_EQ(button("BUTTON_EXPORT")->isEnabled(), c.exportAndDelete);
        EXPECT_EQ(button("BUTTON_DELETE")->isEnabled(), c.exportAndDelete);
        EXPECT_EQ(list()->verticalScrollBarPolicy(), c.bars);
        EXPECT_EQ(list()->verticalScrollBar()->isEnabled(), c.state == REVIEW_PATH_USB);
    }
}

TEST_F(StoredResults, PagesGoRoundAndTypedPagesOutsideAreIgnored)
{
    makeFolders(kTotal, 15);
    open();
    ASSERT_TRUE(waitForRows({"R00", "R01", "R02", "R03", "R04", "R05", "R06"}));
    EXPECT_EQ(label("LABEL_TOTAL_PAGE"), "/ 3");

    button("BUTTON_PAGE_LEFT")->click();
    EXPECT_EQ(label("LABEL_CURRENT_PAGE"), "3");
    EXPECT_EQ(label("LABEL_TOTAL_PAGE"), "/ 3");
    EXPECT_EQ(rows(), QStringList{"R14"});
    button("BUTTON_PAGE_RIGHT")->click();
    EXPECT_EQ(label("LABEL_CURRENT_PAGE"), "1");
    dlg->slot_set_value_page("2");
    EXPECT_EQ(rows().first(), "R07");
    for (const char* typed : {"0", "4", "x"}) {
        dlg->slot_set_value_page(typed);
        EXPECT_EQ(label("LABEL_CURRENT_PAGE"), "2") << typed;
    }

    // One page: nothing moves.
    QDir(root.path(kTotal)).removeRecursively();
    makeFolders(kTotal, 1);
    open();
    ASSERT_TRUE(waitForRows({"R00"}));
    for (const char* name : {"BUTTON_PAGE_LEFT", "BUTTON_PAGE_RIGHT"}) {
        button(name)->click();
        EXPECT_EQ(label("LABEL_CURRENT_PAGE"), "1") << name;
    }
    dlg->slotSetPage({}, 0);
    EXPECT_EQ(label("LABEL_TOTAL_PAGE"), "/ 1");
    EXPECT_TRUE(rows().isEmpty());
}

TEST_F(StoredResults, SelectionGivesTheFolderAndOpensTheStickLevelByLevel)
{
    makeFolders(kTotal, 3);
    QDir().mkpath(root.path("/mnt/A/B/C"));
    QDir().mkpath(root.path("/mnt/A/B2"));
    open();
    ASSERT_TRUE(waitForRows({"R00", "R01", "R02"}));
    selectRow("R01");
    EXPECT_EQ(dlg->selectedPath(), kTotal + "/R01");

    browseStick();
    ASSERT_TRUE(waitForRows({"A"}));
    EXPECT_EQ(list()->height(), 361);
    selectRow("A");
    EXPECT_EQ(dlg->selectedPath(), "/mnt/A");
    QStringList children;
    for (int i = 0; i < list()->topLevelItem(0)->childCount(); ++i)
        children << list()->topLevelItem(0)->child(i)->text(0);
    children.sort();
    EXPECT_EQ(children, (QStringList{"B", "B2"}));
    selectRow("B");
    EXPECT_EQ(dlg->selectedPath(), "/mnt/A/B");
    EXPECT_EQ(list()->findItems("C", Qt::MatchExactly | Qt::MatchRecursive).size(), 1);
}

TEST_F(StoredResults, ViewNeedsASelectionAndAResultFile)
{
    makeFolders(kTotal, 1);
    open();
    ASSERT_TRUE(waitForRows({"R00"}));
    boxes.plan(true);
    button("BUTTON_VIEW")->click();
    EXPECT_EQ(boxes.shown.last(), MessageCatalogue::text(39));
    EXPECT_FALSE(button("BUTTON_VIEW")->isChecked());

    selectRow("R00");
    boxes.plan(true);
    button("BUTTON_VIEW")->click();
    EXPECT_EQ(boxes.shown.last(), MessageCatalogue::text(40));
    EXPECT_FALSE(button("BUTTON_VIEW")->isChecked());
    EXPECT_EQ(dlg->mainUIState(), REVIEW_STEP_RESULTS);
}

TEST_F(StoredResults, FreeSpaceInTheUnitThatFits)
{
    const struct { float mib; const char* text; } sizes[] = {
        {0, "0.0 MB"}, {1023.9f, "1023.9 MB"}, {1024, "1.0 GB"}, {1536, "1.5 GB"},
        {1048576, "1.0 TB"}, {1073741824.0f, "Unknown"},
    };
    for (const auto& c : sizes)
        EXPECT_EQ(ReviewDlg::capacityText(c.mib), c.text) << c.mib;
    const struct { const char* path; const char* mount; } mounts[] = {
        {"/KOVA/anonymous/TOTAL_CELL_COUNTING", "/KOVA/"}, {"/KOVA", "/KOVA/"}, {"/mnt", "/mnt"},
        {"/mnt/sda1", "/mnt/sda1"}, {"/mnt/sda1/A/B", "/mnt/sda1"}, {"", ""},
    };
    for (const auto& c : mounts)
        EXPECT_EQ(ReviewDlg::extract_mountpoint(c.path), c.mount) << c.path;
    EXPECT_EQ(ReviewDlg::disk_capacity_ToString(""), "Unknown");
    QDir().mkpath(root.path("/mnt"));
    ASSERT_TRUE(platform::setSimulatedDiskSpace(root.path("/mnt"), {1 << 20, 4096, 2048, 2048}));
    EXPECT_EQ(ReviewDlg::disk_capacity_ToString("/mnt"), "2.0 GB");
}

TEST_F(StoredResults, ALostStickTakesTheListBackOrClosesTheChoice)
{
    makeFolders(kTotal, 1);
    insertStick();
    open();
    ASSERT_TRUE(waitForStickSearch());
    ASSERT_TRUE(QTest::qWaitFor([&] { return dlg->findChild<QLabel*>("LABEL_DISK_DISABLE")->isHidden(); }, 10000));
    browseStick();
    ASSERT_EQ(button("BUTTON_DISK")->text(), "USB");
    dlg->slotDetectSignal(1);
    EXPECT_EQ(button("BUTTON_DISK")->text(), "Internal\nStorage");
    EXPECT_EQ(list()->height(), 300);
    EXPECT_TRUE(button("BUTTON_EXPORT")->isEnabled());
    EXPECT_FALSE(dlg->findChild<QLabel*>("LABEL_DISK_DISABLE")->isHidden());

    dlg->slotDetectSignal(0);
    bool closed = false;
    WhenModal<ReviewFuncDlg> lost([&](ReviewFuncDlg* dialog) {
        dlg->slotDetectSignal(1);
        closed = !dialog->isVisible();
    });
    button("BUTTON_DELETE")->click();
    EXPECT_TRUE(lost.done());
    EXPECT_TRUE(closed);
}

TEST_F(StoredResults, DeleteTheSelectedFolderOfTheSecondPage)
{
    makeFolders(kTotal, 14);
    open();
    ASSERT_TRUE(waitForRows({"R00", "R01", "R02", "R03", "R04", "R05", "R06"}));
    button("BUTTON_PAGE_RIGHT")->click();
    ASSERT_TRUE(waitForRows({"R07", "R08", "R09", "R10", "R11", "R12", "R13"}));
    selectRow("R10");  // row 3 of page 2
    choose("BUTTON_DELETE", "BUTTON_CURRENT", "BUTTON_OK");
    EXPECT_FALSE(QDir(root.path(kTotal + "/R10")).exists());
    EXPECT_EQ(folders(kTotal).size(), 13);
    EXPECT_TRUE(waitForRows({"R07", "R08", "R09", "R11", "R12", "R13"})) << rows().join(' ').toStdString();
    EXPECT_EQ(label("LABEL_CURRENT_PAGE"), "2");
    EXPECT_FALSE(button("BUTTON_DELETE")->isChecked());
}

// The last page emptied by a deletion: the list, the page labels and the
// paging keys follow the results that are left.
TEST_F(StoredResults, DeletingTheOnlyResultOfTheLastPageGoesToThePageBefore)
{
    makeFolders(kTotal, 15);
    open();
    ASSERT_TRUE(waitForRows({"R00", "R01", "R02", "R03", "R04", "R05", "R06"}));
    button("BUTTON_PAGE_LEFT")->click();
    ASSERT_TRUE(waitForRows({"R14"}));
    ASSERT_EQ(label("LABEL_TOTAL_PAGE"), "/ 3");
    selectRow("R14");
    choose("BUTTON_DELETE", "BUTTON_CURRENT", "BUTTON_OK");
    EXPECT_TRUE(waitForRows({"R07", "R08", "R09", "R10", "R11", "R12", "R13"})) << rows().join(' ').toStdString();
    EXPECT_EQ(label("LABEL_CURRENT_PAGE"), "2");
    EXPECT_EQ(label("LABEL_TOTAL_PAGE"), "/ 2");
    button("BUTTON_PAGE_RIGHT")->click();
    EXPECT_TRUE(waitForRows({"R00", "R01", "R02", "R03", "R04", "R05", "R06"})) << "Right wraps to page 1";
    EXPECT_EQ(label("LABEL_CURRENT_PAGE"), "1");
}

TEST_F(StoredResults, DeleteAllEmptiesTheInternalFolderEvenWhileTheStickIsBrowsed)
{
    makeFolders(kTotal, 3);
    root.writeFile(ResultTree::previousCountCopy(0), "copy");
    insertStick();
    makeFolders("/mnt", 2, "S");
    open();
    ASSERT_TRUE(waitForStickSearch());
    browseStick();
    ASSERT_TRUE(waitForRows({"S00", "S01"}));
    // Delete is off while the stick is browsed; the choice still reaches the screen.
    dlg->slot_set_FuncType(1, 1);
    EXPECT_TRUE(QDir(root.path(kTotal)).isEmpty());
    EXPECT_EQ(folders("/mnt"), (QStringList{"S00", "S01"}));
    EXPECT_EQ(label("LABEL_CURRENT_PAGE"), "1");
    EXPECT_FALSE(button("BUTTON_REANALYZE")->isEnabled());
}

TEST_F(StoredResults, NothingSelectedIsMessage39AndTheChoiceCloses)
{
    makeFolders(kTotal, 2);
    open();
    ASSERT_TRUE(waitForRows({"R00", "R01"}));
    int result = -1;
    WhenModal<ReviewFuncDlg> chooser([&](ReviewFuncDlg* dialog) {
        QObject::connect(dialog, &QDialog::finished, [&](int r) { result = r; });
        boxes.plan(true);
        dialog->findChild<QPushButton*>("BUTTON_CURRENT")->click();
    });
    button("BUTTON_DELETE")->click();
    EXPECT_TRUE(chooser.done());
    EXPECT_EQ(boxes.shown.last(), MessageCatalogue::text(39));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(folders(kTotal).size(), 2);
}

TEST_F(StoredResults, ExportCopiesTheSelectedResultOrAllOfThem)
{
    root.writeFile(ResultTree::previousCountCopy(0), "counts");
    ASSERT_NO_FATAL_FAILURE(openWithResultR());
    choose("BUTTON_EXPORT", "BUTTON_CURRENT", "BUTTON_CANCEL");
    // The finished copy lists the page again, without a selection.
    ASSERT_TRUE(QTest::qWaitFor([&] { return list()->selectedItems().isEmpty(); }, 10000));
    ASSERT_TRUE(waitForRows({"R"}));
    selectRow("R");
    choose("BUTTON_EXPORT", "BUTTON_CURRENT", "BUTTON_CANCEL");
    EXPECT_EQ(root.readFile("/mnt/R/R_RAW.tif"), root.readFile(kTotal + "/R/R_RAW.tif"));
    EXPECT_EQ(root.readFile("/mnt/R(1)/R_RAW.tif"), root.readFile(kTotal + "/R/R_RAW.tif"));
    EXPECT_EQ(root.readFile("/mnt/R(1)/R.csv"), "values");
    EXPECT_TRUE(theApp.m_pMediaMonitor->searchUSB()) << "CANCEL keeps the stick";

    choose("BUTTON_EXPORT", "BUTTON_ALL", "BUTTON_OK");
    // Unmounted by OK: the stick's own folder tells what it holds.
    EXPECT_EQ(QDir(sticks.stickFolder("stick") + "/TOTAL_CELL_COUNTING").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{"R"}) << "all results, without the previous counts";
    EXPECT_TRUE(sticks.calls().contains("umount /mnt")) << "OK removes the stick";
    EXPECT_EQ(boxes.shown, QStringList());
}

// Export pressed at once, before the screen's own look for a stick has run:
// the stick that is in is used, not "Insert a USB drive".
TEST_F(StoredResults, ExportPressedAsTheScreenOpensFindsTheStick)
{
    root.writeFile(kTotal + "/R/R.csv", "values");
    insertStick();
    ASSERT_TRUE(sticks.setFreeSpace("stick", quint64(1) << 30));
    open();
    choose("BUTTON_EXPORT", "BUTTON_ALL", "BUTTON_CANCEL");
    EXPECT_EQ(boxes.shown, QStringList());
    EXPECT_EQ(root.readFile("/mnt/TOTAL_CELL_COUNTING/R/R.csv"), "values");
}

TEST_F(StoredResults, ASecondChoiceDuringAJobAndAStickGoneAtTheChoiceDoNothing)
{
    root.writeFile(kTotal + "/R/R.csv", "values");
    insertStick();
    open();
    ASSERT_TRUE(waitForStickSearch());
    ASSERT_TRUE(waitForRows({"R"}));
    selectRow("R");
    // A second choice while the copy runs, as a repeated touch would send it.
    ReviewFuncDlg* running = nullptr;
    int secondChoices = 0;
    OnShow<FileOperationDialog> during([&] {
        ++secondChoices;
        emit running->sig_set_FuncnType(0, 1);
    });
    WhenModal<ReviewFuncDlg> chooser([&](ReviewFuncDlg* dialog) {
        running = dialog;
        dialog->findChild<QPushButton*>("BUTTON_CURRENT")->click();
        dialog->findChild<QPushButton*>("BUTTON_CANCEL")->click();
    });
    button("BUTTON_EXPORT")->click();
    EXPECT_TRUE(chooser.done());
    EXPECT_EQ(secondChoices, 1);
    EXPECT_EQ(folders("/mnt"), QStringList{"R"}) << "no copy of all results as well";

    // Pulled between the dialog's opening and the choice: nothing is written.
    WhenModal<ReviewFuncDlg> late([&](ReviewFuncDlg* dialog) {
        ASSERT_TRUE(sticks.pull("stick"));
        dialog->findChild<QPushButton*>("BUTTON_ALL")->click();
        EXPECT_TRUE(dialog->isVisible()) << "the dialog stays until it is closed";
        dialog->findChild<QPushButton*>("BUTTON_X")->click();
    });
    button("BUTTON_EXPORT")->click();
    EXPECT_TRUE(late.done());
    EXPECT_EQ(folders(sticks.stickFolder("stick").mid(root.root().size())), QStringList{"R"});
}

// Cut off from the choice dialog, the screen does nothing the dialog asks.
TEST_F(StoredResults, AChoiceCutOffReachesNothing)
{
    makeFolders(kTotal, 2);
    open();
    ASSERT_TRUE(waitForRows({"R00", "R01"}));
    WhenModal<ReviewFuncDlg> chooser([&](ReviewFuncDlg* dialog) {
        dlg->disconnect_ReviewFunc();
        emit dialog->sig_set_FuncnType(ReviewFuncDlg::Delete, ReviewFuncDlg::All);
        EXPECT_TRUE(dialog->findChild<QPushButton*>("BUTTON_ALL")->isVisible()) << "still choosing";
        dialog->findChild<QPushButton*>("BUTTON_X")->click();
    });
    button("BUTTON_DELETE")->click();
    EXPECT_TRUE(chooser.done());
    EXPECT_EQ(folders(kTotal).size(), 2);
}

// Every slot the form binds by name has its signal: none is left unbound.
TEST_F(StoredResults, TheFormBindsAllTwentyFourSlots)
{
    static QStringList warnings;
    warnings.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& text) {
            if (type == QtWarningMsg)
                warnings << text;
        });
    open();
    qInstallMessageHandler(previous);
    const char* const bound[] = {
        "on_BUTTON_HOME_clicked()", "on_BUTTON_REVIEW_RESULTS_clicked(bool)", "on_BUTTON_PREVIOUS_COUNTS_clicked()",
        "on_BUTTON_VIEW_clicked(bool)", "on_BUTTON_EXPORT_CSV_clicked(bool)", "on_BUTTON_DELETE_CSV_clicked(bool)",
        "on_BUTTON_EXPORT_clicked(bool)", "on_BUTTON_DELETE_clicked(bool)", "on_BUTTON_DISK_clicked(bool)",
        "on_BUTTON_DISK_LIST_clicked()", "on_LIST_DISK_itemClicked(QListWidgetItem*)", "on_BUTTON_TEST_clicked(bool)",
        "on_BUTTON_TEST_2_clicked()", "on_BUTTON_PAGE_LEFT_clicked()", "on_BUTTON_PAGE_RIGHT_clicked()",
        "on_TREE_PAGE_itemClicked(QTreeWidgetItem*,int)", "on_TREE_PAGE_itemSelectionChanged()",
        "on_BUTTON_VIEW_RESULTS_clicked()", "on_BUTTON_VIEW_PROTOCOL_clicked()", "on_BUTTON_VIEW_IMAGES_clicked()",
        "on_BUTTON_REANALYZE_clicked()", "on_BUTTON_ZOOM_clicked()", "on_BUTTON_CLOSE_clicked()",
        "on_BUTTON_REVIEW_IMAGE_clicked()",
    };
    for (const char* slot : bound)
        EXPECT_GE(dlg->metaObject()->indexOfSlot(slot), 0) << slot;
    EXPECT_FALSE(warnings.join('\n').contains("connectSlotsByName")) << warnings.join('\n').toStdString();

    // A few by their effect.
    button("BUTTON_TEST")->click();
    EXPECT_TRUE(list()->isHidden());
    button("BUTTON_TEST")->click();
    EXPECT_FALSE(list()->isHidden());
    button("BUTTON_DISK")->click();
    EXPECT_FALSE(button("BUTTON_DISK_LIST")->isHidden());
    button("BUTTON_VIEW_PROTOCOL")->click();
    EXPECT_TRUE(button("BUTTON_VIEW_PROTOCOL")->isChecked());
    EXPECT_FALSE(button("BUTTON_VIEW_RESULTS")->isChecked());
}

// The power switch confirmed while an export copies: the power-off waits
// until the copy has ended, so the stick is not unmounted under it and holds
// the whole result; then it powers off.
TEST_F(StoredResults, APowerOffConfirmedDuringAnExportWaitsForItsEnd)
{
    ASSERT_NO_FATAL_FAILURE(openWithResultR());

    QDialog home;
    QPushButton powerButton(&home);
    powerButton.setCheckable(true);
    QLabel overlay(&home);
    QStringList events;
    PowerControl::Home roads;
    roads.dialog = &home;
    roads.powerButton = &powerButton;
    roads.backLabel = &overlay;
    roads.setButtonsEnabled = [&](bool) {};
    roads.runSplash = [&](int state) { events << QStringLiteral("splash %1").arg(state); };
    roads.cameraSettleMs = 0;
    PowerControl power(roads);

    // The copy's first file held at its commit until the power-off is confirmed.
    QSemaphore released;
    std::atomic<bool> committing{false};
    platform::saveFileSeams().atCommit = [&](const QString&) {
        if (!committing.exchange(true))
            released.tryAcquire(1, 30000);
    };
    QStringList whileCopying;
    bool umountedWhileCopying = true;
    WhenModal<FileOperationDialog> confirm([&](FileOperationDialog*) { return committing.load(); },
                                           [&](FileOperationDialog*) {
                                               boxes.plan(true);
                                               power.slot_device_poweroff();
                                               whileCopying = events;
                                               umountedWhileCopying = sticks.calls().contains("umount /mnt");
                                               released.release();
                                           });
    choose("BUTTON_EXPORT", "BUTTON_CURRENT", "BUTTON_CANCEL");
    platform::saveFileSeams().atCommit = nullptr;
    ASSERT_TRUE(confirm.done());
    EXPECT_EQ(whileCopying, QStringList()) << "powered off under the copy";
    EXPECT_FALSE(umountedWhileCopying);
    EXPECT_TRUE(QTest::qWaitFor([&] { return events == QStringList{"splash 1"}; }, 10000)) << "then powered off";
    EXPECT_TRUE(sticks.calls().contains("umount /mnt"));
    // Unmounted now: the stick's own folder tells what it holds.
    const QString onStick = sticks.stickFolder("stick").mid(root.root().size()) + "/R/";
    EXPECT_EQ(root.readFile(onStick + "R_RAW.tif"), root.readFile(kTotal + "/R/R_RAW.tif"));
    EXPECT_EQ(root.readFile(onStick + "R.csv"), "values");
}

}  // namespace
