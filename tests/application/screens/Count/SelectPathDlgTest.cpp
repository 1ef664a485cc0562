#include "Count/SelectPathDlg.h"

#include "KovaCore/KovaCoreApp.h"
#include "MediaMonitor/MediaMonitor.h"
#include "TempRoot.h"
#include "UsbSticks.h"

#include <gtest/gtest.h>

#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList entries(SelectPathDlg& dialog)
{
    QStringList texts;
    auto* list = dialog.findChild<QListWidget*>("LIST_PATH");
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

TEST(SelectPathDlg, ListsTheStickWhileMountedAndAppliesTheChoice)
{
    TempRoot root;
    kovasim::UsbSticks sticks(root.root());
    ASSERT_TRUE(sticks.installStandIns());
    ASSERT_FALSE(sticks.insert("stick").isEmpty());
    MediaMonitor monitor;
    theApp.m_pMediaMonitor = &monitor;

    SelectPathDlg dialog;
    QSignalSpy chosen(&dialog, &SelectPathDlg::signal_set_path);
    EXPECT_EQ(entries(dialog), (QStringList{"Instrument Storage", "USB Drive"}));
    ASSERT_TRUE(sticks.pull("stick"));
    dialog.slotListUpdate();
    EXPECT_EQ(entries(dialog), QStringList{"Instrument Storage"});

    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>("BUTTON_APPLY"), Qt::LeftButton);
    EXPECT_TRUE(chosen.isEmpty()) << "nothing chosen yet";
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    dialog.show();
    dialog.findChild<QListWidget*>("LIST_PATH")->setCurrentRow(0);
    QTest::mouseClick(dialog.findChild<QPushButton*>("BUTTON_APPLY"), Qt::LeftButton);
    ASSERT_EQ(chosen.size(), 1);
    EXPECT_EQ(chosen[0][0].toString(), "Instrument Storage");
    EXPECT_FALSE(dialog.isVisible());
    theApp.m_pMediaMonitor = nullptr;
}

}  // namespace
