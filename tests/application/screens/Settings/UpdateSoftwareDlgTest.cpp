#include "Settings/UpdateSoftwareDlg.h"

#include "Settings/CalibrationSupport.h"
#include "Settings/UpdateCalibrationFrame.h"

#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaCoreApp.h"
#include "LogCapture.h"
#include "SettingsTestSupport.h"
#include "TempRoot.h"
#include "UpdateInstallation.h"
#include "UpdatePackage.h"
#include "WhenModal.h"
#include "platform/DiskSpace.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTest>

#include <cstdio>

using namespace updatetest;

namespace {

constexpr int kWaitMs = 60000;
const QString kNoPackage = QStringLiteral(
    "No software update was a found.<br/>Insert a USB drive that contains<br/>the latest version of software.");
const QString kFailure = QStringLiteral(
    "Update Failure<br/><br/>The update probably failed due to incorrectly<br/>saved or damaged software.<br/>"
    "Delete the existing file, redownload,<br/>and try the update again.");
const QDateTime kNow(QDate(2026, 3, 9), QTime(14, 5));

// Counts the paint events a widget gets while it lives.
class PaintCounter : public QObject
{
public:
    PaintCounter(QWidget* widget, int& count) : m_widget(widget), m_count(count) { widget->installEventFilter(this); }
    ~PaintCounter() override { m_widget->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++m_count;
        return false;
    }

private:
    QWidget* const m_widget;
    int& m_count;
};

// The dialog's report lines on standard output from construction to take();
// a test that ends early gets its own output back.
class Reports
{
public:
    Reports()
    {
        std::fflush(stdout);
        testing::internal::CaptureStdout();
    }
    ~Reports()
    {
        if (!m_taken)
            std::fputs(testing::internal::GetCapturedStdout().c_str(), stdout);
    }
    QStringList take()
    {
        m_taken = true;
        return QString::fromStdString(testing::internal::GetCapturedStdout()).split('\n').filter("SoftwareUpdateDialog::");
    }

private:
    bool m_taken = false;
};

// The dialog on an instrument running 1.0.2, shown, with the clock fixed.
class UpdateDialog : public ::testing::Test
{
protected:
    void SetUp() override
    {
        layOutInstallation(root);
        dialog.worker().setUnpackPause(0);
        theApp.m_CurrentVersion = kRunning;
        theApp.m_strLastUpdate = QStringLiteral("-");
        global_ini()->IQOQ.Last_update = QStringLiteral("-");
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    }

    QPushButton* button(const char* name) const { return dialog.findChild<QPushButton*>(QLatin1String(name)); }
    QString text() const { return dialog.findChild<QLabel*>(QStringLiteral("LABEL_MESSAGE"))->text(); }
    // The buttons on show, by their texts.
    QStringList buttons() const
    {
        QStringList shown;
        for (const char* name : {"BUTTON_OK", "BUTTON_CANCEL", "BUTTON_RESTART"}) {
            if (button(name)->isVisible())
                shown << button(name)->text();
        }
        return shown;
    }
    bool waitFor(SoftWareMessageType state)
    {
        return QTest::qWaitFor([&] { return dialog.messageType() == state; }, kWaitMs);
    }
    QString storedLastUpdate() const
    {
        return QSettings(root.path("/opt/KOVA3/conf/KOVA3.ini"), QSettings::IniFormat)
            .value("Software/Last update")
            .toString();
    }
    // START, then OK on "found": the prepare run reports.
    bool prepare(const UpdatePackage& package)
    {
        if (!package.write(root.path(kPackage)))
            return false;
        button("BUTTON_OK")->click();
        if (dialog.messageType() != SOFTWARE_FOUND)
            return false;
        button("BUTTON_OK")->click();
        return QTest::qWaitFor([&] { return dialog.messageType() != SOFTWARE_PREPARING; }, kWaitMs);
    }

    TempRoot root;
    FixedClock clock{kNow};
    UpdateSoftwareDlg dialog;
};

TEST_F(UpdateDialog, WithoutAPackageOnlyOkToCloseRemains)
{
    EXPECT_EQ(dialog.messageType(), SOFTWARE_INSERT_USB);
    EXPECT_EQ(buttons(), QStringList({"START", "EXIT"}));
    button("BUTTON_OK")->click();
    EXPECT_EQ(dialog.messageType(), SOFTWARE_NOT_FOUND);
    EXPECT_EQ(text(), kNoPackage);
    EXPECT_EQ(buttons(), QStringList({"OK"}));
    EXPECT_EQ(button("BUTTON_CANCEL")->geometry(), QRect(173, 214, 150, 46));
    button("BUTTON_CANCEL")->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST_F(UpdateDialog, AnUpdateRunsToRestartAndRecordsItsDate)
{
    ASSERT_TRUE(UpdatePackage("1.0.3\n", "echo new > \"$KOVA3_ROOT/opt/KOVA3/bin/marker\"\n").write(root.path(kPackage)));
    button("BUTTON_OK")->click();
    EXPECT_EQ(dialog.messageType(), SOFTWARE_FOUND);
    EXPECT_EQ(text(), "A software update (ver.1.0.3) has been<br/>found. Do you want to continue?");
    EXPECT_EQ(buttons(), QStringList({"OK", "CANCEL"}));

    Reports reports;
    button("BUTTON_OK")->click();
    EXPECT_EQ(dialog.messageType(), SOFTWARE_PREPARING);
    EXPECT_FALSE(dialog.isEnabled());
    EXPECT_TRUE(buttons().isEmpty());
    for (int i = 0; i < 400; ++i)
        dialog.repaint();
    EXPECT_EQ(dialog.progress(), kCalibrationProgressWidth);

    ASSERT_TRUE(waitFor(SOFTWARE_READY));
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_EQ(buttons(), QStringList({"OK", "CANCEL"}));
    EXPECT_EQ(storedLastUpdate(), "");  // nothing recorded before the install worked

    button("BUTTON_OK")->click();
    EXPECT_EQ(dialog.messageType(), SOFTWARE_UPDATING);
    EXPECT_TRUE(buttons().isEmpty());
    ASSERT_TRUE(waitFor(SOFTWARE_COMPLETE));
    EXPECT_EQ(reports.take(),
              QStringList({"SoftwareUpdateDialog::slotUpdated(1, 0) ", "SoftwareUpdateDialog::slotUpdated(1, 0) "}));
    EXPECT_EQ(text(), "The software update is complete!<br/>Press Restart to finish the process.");
    EXPECT_EQ(buttons(), QStringList({"RESTART"}));
    EXPECT_EQ(button("BUTTON_OK")->geometry(), QRect(173, 214, 150, 46));
    EXPECT_EQ(root.readFile(kInstall + "/marker"), "new\n");
    EXPECT_EQ(theApp.m_strLastUpdate, "09 Mar 2026 14:05");
    EXPECT_EQ(global_ini()->IQOQ.Last_update, "09 Mar 2026 14:05");
    EXPECT_EQ(storedLastUpdate(), "09 Mar 2026 14:05");
}

// A package refused in the prepare run, and a script that fails: state 7,
// nothing recorded, the installation as it was.
TEST_F(UpdateDialog, FailuresEndInUpdateFailure)
{
    const struct
    {
        const char* name;
        UpdatePackage package;
        bool prepares;
        QStringList reports;
    } cases[] = {
        {"cut package", UpdatePackage("1.0.3", "", UpdatePackage::Damage::CutTail), false,
         {"SoftwareUpdateDialog::slotUpdated(0, 5) "}},
        {"script exits 3", UpdatePackage("1.0.3", "echo x > \"$KOVA3_ROOT/opt/KOVA3/bin/KOVA3.app\"\nexit 3\n"), true,
         {"SoftwareUpdateDialog::slotUpdated(1, 0) ", "SoftwareUpdateDialog::slotUpdated(0, 7) "}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UpdateSoftwareDlg fresh;
        fresh.worker().setUnpackPause(0);
        fresh.show();
        const QMap<QString, QString> before = folderSnapshot(root.path(kInstall));
        ASSERT_TRUE(c.package.write(root.path(kPackage)));
        Reports reports;
        QPushButton* ok = fresh.findChild<QPushButton*>("BUTTON_OK");
        ok->click();
        ASSERT_EQ(fresh.messageType(), SOFTWARE_FOUND);
        ok->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return fresh.messageType() != SOFTWARE_PREPARING; }, kWaitMs));
        if (c.prepares) {
            ASSERT_EQ(fresh.messageType(), SOFTWARE_READY);
            ok->click();
            ASSERT_TRUE(QTest::qWaitFor([&] { return fresh.messageType() != SOFTWARE_UPDATING; }, kWaitMs));
        }
        EXPECT_EQ(reports.take(), c.reports);
        EXPECT_EQ(fresh.messageType(), SOFTWARE_FAILURE);
        EXPECT_EQ(fresh.findChild<QLabel*>("LABEL_MESSAGE")->text(), kFailure);
        EXPECT_TRUE(fresh.isEnabled());
        EXPECT_FALSE(ok->isVisible());
        EXPECT_EQ(fresh.findChild<QPushButton*>("BUTTON_CANCEL")->text(), "OK");
        EXPECT_EQ(folderSnapshot(root.path(kInstall)), before);
        EXPECT_EQ(theApp.m_strLastUpdate, "-");
        EXPECT_NE(storedLastUpdate(), "09 Mar 2026 14:05");
    }
}

// Every setting reaches the file before the install script runs, and after
// it only the date of the update is written: what the new software's script
// changed in the settings file stays.
TEST_F(UpdateDialog, TheSettingsAreWrittenBeforeTheInstallAndTheScriptsChangesStay)
{
    global_ini()->IQOQ.SW_version = kRunning;
    theApp.m_SaveReview.m_strBaseName = QStringLiteral("before-update");
    ASSERT_TRUE(prepare(UpdatePackage(
        "1.0.3", "ini=\"$KOVA3_ROOT/opt/KOVA3/conf/KOVA3.ini\"\n"
                 "grep -q '^Base%20name=before-update$' \"$ini\" || exit 5\n"
                 "sed -i 's/^Version%20SW=.*/Version%20SW=1.0.3/' \"$ini\"\n")));
    ASSERT_EQ(dialog.messageType(), SOFTWARE_READY);
    button("BUTTON_OK")->click();
    ASSERT_TRUE(waitFor(SOFTWARE_COMPLETE)) << dialog.messageType();
    QSettings stored(root.path("/opt/KOVA3/conf/KOVA3.ini"), QSettings::IniFormat);
    EXPECT_EQ(stored.value("Software/Version SW").toString(), "1.0.3");
    EXPECT_EQ(stored.value("Save Review/Base name").toString(), "before-update");
    EXPECT_EQ(stored.value("Software/Last update").toString(), "09 Mar 2026 14:05");
}

// However the dialog is left, nothing of a prepared package stays behind:
// CANCEL on "ready" too, from the settings page as a user leaves it.
TEST_F(UpdateDialog, CancelOnReadyLeavesNoUnpackedPackage)
{
    ASSERT_TRUE(UpdatePackage("1.0.3", "exit 0\n").write(root.path(kPackage)));
    UpdateCalibrationFrame page;
    WhenModal<UpdateSoftwareDlg> cancel([&](UpdateSoftwareDlg* shown) {
        shown->worker().setUnpackPause(0);
        QPushButton* ok = shown->findChild<QPushButton*>("BUTTON_OK");
        ok->click();
        ASSERT_EQ(shown->messageType(), SOFTWARE_FOUND);
        ok->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return shown->messageType() == SOFTWARE_READY; }, kWaitMs));
        EXPECT_EQ(QDir(root.path("/tmp")).entryList({"KOVA3_update-*"}, QDir::Dirs).size(), 1);
        shown->findChild<QPushButton*>("BUTTON_CANCEL")->click();
    });
    page.findChild<QPushButton*>("BUTTON_SW_UPDATE")->click();
    EXPECT_TRUE(cancel.done());
    EXPECT_TRUE(QDir(root.path("/tmp")).entryList({"KOVA3_update-*"}, QDir::AllEntries).isEmpty());
}

TEST_F(UpdateDialog, NothingClosesItWhileTheInstallRuns)
{
    ASSERT_TRUE(prepare(UpdatePackage(
        "1.0.3", "touch \"$KOVA3_ROOT/running\"\nwhile [ ! -e \"$KOVA3_ROOT/go\" ]; do sleep 0.05; done\n")));
    ASSERT_EQ(dialog.messageType(), SOFTWARE_READY);
    button("BUTTON_OK")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(root.path("/running")); }, kWaitMs));

    dialog.reject();
    dialog.close();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.messageType(), SOFTWARE_UPDATING);

    root.writeFile("/go", "");
    ASSERT_TRUE(waitFor(SOFTWARE_COMPLETE));
    dialog.close();
    EXPECT_TRUE(dialog.isVisible());  // RESTART is the only way on
}

// The prepare run gets the package, its folder, the installation and its
// program files, and the version type of the check.
TEST_F(UpdateDialog, ThePrepareRunHandsTheWorkerItsSettings)
{
    ASSERT_TRUE(prepare(UpdatePackage("1.0.3", "exit 0\n")));
    ASSERT_EQ(dialog.messageType(), SOFTWARE_READY);
    const UpdateSoftwareThread& worker = dialog.worker();
    EXPECT_EQ(worker.updatePath(), "/mnt");
    EXPECT_EQ(worker.updateVersionType(), 0);
    const QList<FileInfo> files = worker.fileInfoList();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(files[0].pattern.pattern(), "^KOVA3_\\d_\\d_\\d-?[A-Z]*$");
    EXPECT_EQ(files[1].pattern.pattern(), "Verifier");
    for (const FileInfo& file : files) {
        EXPECT_EQ(file.path, kInstall);
        EXPECT_EQ(file.flag, 0);
    }
}

// A gzip bomb: its VERSION found, then refused by the prepare run with
// nothing unpacked; the reason goes to the log.
TEST_F(UpdateDialog, APackageWithoutRoomToUnpackEndsInUpdateFailure)
{
    constexpr qint64 kFree = UpdateSoftwareThread::kUnpackMarginBytes + (32 << 20);
    ASSERT_TRUE(platform::setSimulatedDiskSpace(root.path("/tmp"), {4096, kFree / 2048, kFree / 4096, kFree / 4096}));
    LogCapture log;
    ASSERT_TRUE(prepare(UpdatePackage()
                            .zeroFile("zeros.bin", 256 << 20)
                            .file("VERSION", "1.0.3")
                            .file("install.sh", "#!/bin/sh\n", 0755)));
    EXPECT_EQ(dialog.messageType(), SOFTWARE_FAILURE);
    EXPECT_EQ(text(), kFailure);
    EXPECT_TRUE(log.contains("software update failed")) << log.lines().join('\n').toStdString();
    EXPECT_TRUE(log.contains("room")) << log.lines().join('\n').toStdString();
    EXPECT_TRUE(QDir(root.path("/tmp")).isEmpty());
}

// A tar that never ends: the search gives up after its bound, refuses the
// package as unreadable and the screen answers again.
TEST_F(UpdateDialog, TheSearchEndsAfterItsBound)
{
    root.writeScript("/bin/tar", "#!/bin/sh\nexec sleep 1000\n");
    ASSERT_TRUE(UpdatePackage("1.0.3", "exit 0\n").write(root.path(kPackage)));
    QElapsedTimer clock;
    clock.start();
    button("BUTTON_OK")->click();
    EXPECT_GE(clock.elapsed(), UpdateSoftwareThread::kVersionWaitMs);
    EXPECT_LT(clock.elapsed(), 3 * UpdateSoftwareThread::kVersionWaitMs);
    EXPECT_EQ(dialog.messageType(), SOFTWARE_INVALID_VERSION);
    EXPECT_EQ(buttons(), QStringList({"OK"}));
    button("BUTTON_CANCEL")->click();
    EXPECT_FALSE(dialog.isVisible());
}

TEST_F(UpdateDialog, GetVersion)
{
    EXPECT_EQ(UpdateSoftwareDlg::getVersion("1.2.3-beta"), 10203);
    EXPECT_EQ(UpdateSoftwareDlg::getVersion("1.2"), -1);
}

// The bar repaints only once the preparation has started; its outline is a
// faint white over the dialog's blue.
TEST_F(UpdateDialog, TheProgressBar)
{
    int paints = 0;
    PaintCounter counter(&dialog, paints);
    dialog.InvalidateProgressbar();
    EXPECT_EQ(paints, 0);

    ASSERT_TRUE(UpdatePackage("1.0.3", "exit 0\n").write(root.path(kPackage)));
    button("BUTTON_OK")->click();
    button("BUTTON_OK")->click();
    ASSERT_EQ(dialog.messageType(), SOFTWARE_PREPARING);
    const QImage painted = dialog.grab().toImage();
    const QColor blue(85, 130, 255);
    const QColor faint(255, 255, 255, 30);
    const auto over = [&](int c, int b) { return b + (c - b) * faint.alpha() / 255; };
    const QColor outline = painted.pixelColor(250, 252);  // its bottom edge, below the fill
    EXPECT_NEAR(outline.red(), over(255, blue.red()), 2);
    EXPECT_NEAR(outline.green(), over(255, blue.green()), 2);
    EXPECT_EQ(outline.blue(), 255);

    ASSERT_TRUE(waitFor(SOFTWARE_READY));
    paints = 0;
    dialog.InvalidateProgressbar();
    EXPECT_EQ(paints, 1);
}

TEST_F(UpdateDialog, StatesTheFlowNeverEnters)
{
    dialog.setMessageType(SOFTWARE_INVALID_FILENAME);
    EXPECT_EQ(text(), "Invalid filename<br/>Insert a USB drive that contains<br/>the latest version of software.");
    EXPECT_EQ(buttons(), QStringList({"OK"}));
    dialog.setMessageType(SOFTWARE_UNAUTHORIZED);
    EXPECT_TRUE(text().startsWith("An unauthorized update has been detected.<br/>Contact <b>"));
    EXPECT_TRUE(text().endsWith("</b><br/>for further information."));

    dialog.setMessageType(static_cast<SoftWareMessageType>(9));
    EXPECT_EQ(dialog.messageType(), 9);
    EXPECT_TRUE(text().startsWith("An unauthorized update"));
    EXPECT_EQ(buttons(), QStringList({"OK"}));
}

// The settings page's Software Update runs the dialog over the dimmed
// screen, busy meanwhile.
TEST_F(UpdateDialog, ThePageRunsItDimmedAndBusy)
{
    UpdateCalibrationFrame page;
    QSignalSpy dimming(&page, &UpdateCalibrationFrame::signal_setBackStatus);
    bool busy = false;
    WhenModal<UpdateSoftwareDlg> exit([&](UpdateSoftwareDlg* shown) {
        busy = theApp.m_bBusy;
        EXPECT_EQ(dimming.size(), 1);
        shown->findChild<QPushButton*>("BUTTON_CANCEL")->click();
    });
    page.findChild<QPushButton*>("BUTTON_SW_UPDATE")->click();
    EXPECT_TRUE(exit.done());
    EXPECT_TRUE(busy);
    EXPECT_FALSE(theApp.m_bBusy);
    ASSERT_EQ(dimming.size(), 2);
    EXPECT_EQ(dimming[0][0].toBool(), true);
    EXPECT_EQ(dimming[1][0].toBool(), false);
}

}  // namespace
