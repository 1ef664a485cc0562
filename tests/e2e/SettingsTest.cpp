#include "FolderSnapshot.h"
#include "HostTool.h"
#include "InstrumentAppTest.h"
#include "Settings/ServiceCodes.h"
#include "UpdatePackage.h"
#include "UsbSticks.h"

#include <QDir>
#include <QFile>
#include <QPoint>
#include <QRegularExpression>
#include <QTest>

namespace {

const QString kSettings = QStringLiteral("/opt/KOVA3/conf/KOVA3.ini");
const QString kTimedatectlCalls = QStringLiteral("/run/kova-sim/timedatectl.calls");

// Where things are on the 800 × 480 screen.
const QPoint kHomeSettingsButton(700, 280);
const QPoint kHome(40, 40);
const QPoint kMenuCountingOptions(100, 120);
const QPoint kMenuDatePower(100, 360);
const QPoint kViability(520, 187);
const QPoint kReusable(437, 315);
const QPoint kAutofocus(516, 399);
const QPoint kDateTimeTab(350, 100);
const QPoint kPowerSaverTab(650, 100);
const QPoint kHoursField(645, 290);
const QPoint kSetDateTime(632, 280);
const QPoint kMenuUpdateCalibration(100, 440);
const QPoint kCalibrationTab(650, 100);
const QPoint kCalibrateBackground(683, 243);
const QPoint kCalibrateAutofocus(683, 391);
const QPoint kSoftwareUpdate(687, 249);
// The calibration dialogs (500 × 300 at 156, 90).
const QPoint kBackgroundStart(268, 329);
const QPoint kAutofocusStart(319, 327);
const QPoint kCalibrationExitAlone(405, 327);
// The number key pad (500 × 300 at 156, 90).
const QPoint kKeypadDelete(598, 260);
const QPoint kKeypadApply(598, 323);
QPoint keypadDigit(int digit)
{
    const int index = digit == 0 ? 9 : digit - 1;
    return {156 + 12 + 77 * (index % 5) + 35, 90 + 142 + 63 * (index / 5) + 28};
}
// The date and time dialog.
const QPoint kDateFields[] = {{100, 210}, {196, 210}, {305, 210}, {100, 322}, {196, 322}};
const QPoint kDateApply(703, 400);
QPoint dateDigit(int digit)
{
    return digit == 0 ? QPoint(509, 400) : QPoint(509 + 97 * ((digit - 1) % 3), 160 + 80 * ((digit - 1) / 3));
}

// The settings screen of the real application, touched as a user would.
class SettingsTest : public InstrumentAppTest
{
protected:
    // Opens the date dialog from the settings screen's date and power page.
    // A touch goes to the window that is shown at that moment, so each one
    // that opens a dialog waits for its window.
    void openDateDialog()
    {
        ASSERT_TRUE(touch(kMenuDatePower));
        ASSERT_TRUE(touch(kDateTimeTab));
        ASSERT_TRUE(touchThenDialogs(kSetDateTime, 2));
    }
    // Fills day, month, year, hour and minute on the dialog's keys and applies.
    void enterDate(const QStringList& fields)
    {
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(touch(kDateFields[i]));  // a touch clears the field
            for (const QChar digit : fields[i])
                ASSERT_TRUE(touch(dateDigit(digit.digitValue())));
        }
        ASSERT_TRUE(touch(kDateApply));
    }
    // The slide under the camera: an image of the root (a missing one is an
    // empty bright field), sharp at `focus` on a 2-chamber slide.
    void showSlide(const char* image, int focus)
    {
        root.writeFile(QStringLiteral("/sim/slide.txt"), QStringLiteral("image=%1\nfocus=%2\n").arg(image).arg(focus).toUtf8());
    }
    bool waitForFile(const QString& logical, const QByteArray& content)
    {
        return QTest::qWaitFor([&] { return root.readFile(logical).contains(content); }, kTimeoutMs);
    }
    // The instrument and the application at its home screen, with `settings`
    // as the settings file when it is not empty.
    void startAtHome(const QByteArray& settings = QByteArray())
    {
        instrument = startInstrument();
        ASSERT_TRUE(instrument);
        if (!settings.isEmpty())
            root.writeFile(kSettings, settings);
        ASSERT_TRUE(startApp());
        ASSERT_TRUE(waitForHomeScreen());
    }
    void openSettings() { ASSERT_TRUE(touchThenDialogs(kHomeSettingsButton, 1)); }
    // From the home screen, a software update from the stick: START, OK on
    // the version found, OK on "ready"; `state` at the end, within `timeoutMs`.
    void runUpdate(int state, int timeoutMs = kTimeoutMs)
    {
        ASSERT_NO_FATAL_FAILURE(openSettings());
        ASSERT_TRUE(touch(kMenuUpdateCalibration));
        ASSERT_TRUE(touchThenDialogs(kSoftwareUpdate, 2));
        ASSERT_TRUE(touch(kMessageOk));
        ASSERT_TRUE(waitForOutput(*app, "setMessageType : 2\n")) << output(*app).toStdString();
        ASSERT_TRUE(touch(kMessageOk));
        ASSERT_TRUE(waitForOutput(*app, "setMessageType : 4\n")) << output(*app).toStdString();
        ASSERT_TRUE(touch(kMessageOk));
        ASSERT_TRUE(waitForOutput(*app, QStringLiteral("setMessageType : %1\n").arg(state).toUtf8(), timeoutMs))
            << output(*app).toStdString();
    }

    QProcess* instrument = nullptr;
};

TEST_F(SettingsTest, ChoicesAndTheClockReachTheInstrument)
{
    ASSERT_NO_FATAL_FAILURE(startAtHome("[Cell counting]\nAutofocused counting=Off\n"));
    ASSERT_NO_FATAL_FAILURE(openSettings());

    ASSERT_TRUE(touch(kViability));
    ASSERT_TRUE(touch(kReusable));
    ASSERT_TRUE(touch(kAutofocus));
    ASSERT_TRUE(touch(kMenuDatePower));
    ASSERT_TRUE(touch(kPowerSaverTab));
    ASSERT_TRUE(touchThenDialogs(kHoursField, 2));
    ASSERT_TRUE(touch(kKeypadDelete));
    ASSERT_TRUE(touch(keypadDigit(5)));
    ASSERT_TRUE(touchThenDialogs(kKeypadApply, 1));
    ASSERT_NO_FATAL_FAILURE(openDateDialog());
    ASSERT_NO_FATAL_FAILURE(enterDate({"9", "2", "2024", "8", "5"}));
    EXPECT_TRUE(waitForFile(kTimedatectlCalls, "[set-time][2024-2-9 8:5:00]\n")) << output(*app).toStdString();
    ASSERT_TRUE(waitForWindowCount(QStringLiteral("Dialog"), 1)) << "the date dialog closed";

    ASSERT_TRUE(touch(kHome));
    ASSERT_TRUE(waitForNoWindow(QStringLiteral("Dialog")));
    for (const QByteArray line : {"Counting%20mode=1", "Slide%20type=9", "Autofocused%20counting=On",
                                  "Auto%20shutdown%20time=5"})
        EXPECT_TRUE(waitForFile(kSettings, line)) << line.toStdString() << "\n" << root.readFile(kSettings).toStdString();
    EXPECT_EQ(app->state(), QProcess::Running);
}

TEST_F(SettingsTest, LauncherCodeHandsOverToTheLauncher)
{
    ASSERT_NO_FATAL_FAILURE(startAtHome());
    root.writeScript(QStringLiteral("/opt/KOVA3/bin/KovaLoader"), "exit 0\n");
    ASSERT_NO_FATAL_FAILURE(openSettings());
    ASSERT_NO_FATAL_FAILURE(openDateDialog());
    ASSERT_NO_FATAL_FAILURE(enterDate({QString::number(ServiceCode::kLauncher), "1", "2024", "8", "5"}));

    ASSERT_TRUE(app->waitForFinished(kTimeoutMs)) << output(*app).toStdString();
    EXPECT_EQ(app->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->exitCode(), 4);
    EXPECT_TRUE(root.readFile(QStringLiteral("/opt/KOVA3/conf/KovaShell.ini")).contains("On=1"));
    EXPECT_TRUE(root.readFile(kTimedatectlCalls).isEmpty()) << "no clock set";
}

TEST_F(SettingsTest, FactoryResetCodeRunsTheScriptAndHomeStoresTheFactoryValues)
{
    ASSERT_NO_FATAL_FAILURE(startAtHome("[Save Review]\nBase name=CELLS\n[KOVA-III]\nAuto shutdown time=3\n"
                                        "[Cell counting]\nCounting mode=1\n"));
    ASSERT_NO_FATAL_FAILURE(openSettings());
    ASSERT_NO_FATAL_FAILURE(openDateDialog());
    ASSERT_NO_FATAL_FAILURE(enterDate({QString::number(ServiceCode::kFactoryReset), "1", "2024", "8", "5"}));

    ASSERT_TRUE(waitForWindowCount(QStringLiteral("Dialog"), 3)) << "factory reset?";
    ASSERT_TRUE(touch(kMessageOk));
    EXPECT_TRUE(waitForFile(QStringLiteral("/run/kova-sim/factory-reset.calls"), "Factory_Reset.sh"));
    ASSERT_TRUE(waitForWindowCount(QStringLiteral("Dialog"), 3)) << "factory reset done";
    ASSERT_TRUE(touch(kMessageOnlyOk));
    ASSERT_TRUE(waitForWindowCount(QStringLiteral("Dialog"), 1)) << "the date dialog closed";

    ASSERT_TRUE(touch(kHome));
    ASSERT_TRUE(waitForNoWindow(QStringLiteral("Dialog")));
    for (const QByteArray line : {"Base%20name=KOVA3", "Auto%20shutdown%20time=8", "Counting%20mode=0"})
        EXPECT_TRUE(waitForFile(kSettings, line)) << line.toStdString() << "\n" << root.readFile(kSettings).toStdString();
}

// Both calibrations through the update and calibration page: the
// illumination's two steps (an empty field, then a blank of the stain) write
// the register files and stamp the settings; the focus calibration on the
// validation slide finds its focus off the centre, HOME stores it, and the
// 2-chamber reference derived from it is where a 2-chamber slide is sharp.
TEST_F(SettingsTest, CalibrationsReachTheFiles)
{
    const QString bfn = QStringLiteral("/opt/KOVA3/conf/Calibration_BFN.ini");
    QDir().mkpath(root.path("/sim"));
    const platform::CommandResult blank =
        runHostTool(QStringLiteral(KOVA_SLIDE), {"--blank", root.path("/sim/trypan-blue.png")});
    ASSERT_TRUE(blank.succeeded()) << blank.standardError.toStdString();
    ASSERT_NO_FATAL_FAILURE(startAtHome("[Calibration]\nZ ref Validation=30000\n[Cell counting]\nSlide type=10\n"));
    const QByteArray factoryBfn = root.readFile(bfn);
    ASSERT_NO_FATAL_FAILURE(openSettings());
    ASSERT_TRUE(touch(kMenuUpdateCalibration));
    ASSERT_TRUE(touch(kCalibrationTab));
    EXPECT_TRUE(waitForFile(QStringLiteral("/run/kova-sim/state"), "position=30000\n")) << "the stage at the centre";

    showSlide("/sim/none.png", 32000);
    ASSERT_TRUE(touchThenDialogs(kCalibrateBackground, 2));
    ASSERT_TRUE(touch(kBackgroundStart));
    ASSERT_TRUE(waitForOutput(*app, "calibration state : 1", 60000)) << output(*app).toStdString();
    showSlide("/sim/trypan-blue.png", 32000);
    ASSERT_TRUE(touch(kBackgroundStart));
    ASSERT_TRUE(waitForOutput(*app, "calibration state : 2", 60000)) << output(*app).toStdString();
    ASSERT_TRUE(touch(kCalibrationExitAlone));
    ASSERT_TRUE(waitForWindowCount(QStringLiteral("Dialog"), 1));
    EXPECT_NE(root.readFile(bfn), factoryBfn);
    EXPECT_TRUE(root.readFile(bfn).contains("0x3400=0x05")) << "the red gain the calibration sets";
    EXPECT_TRUE(root.readFile(QStringLiteral("/opt/KOVA3/conf/Calibration_CUS.ini")).contains("0x3400=0x05"));
    EXPECT_TRUE(waitForFile(kSettings, "Last calibration=")) << root.readFile(kSettings).toStdString();
    EXPECT_FALSE(root.readFile(kSettings).contains("Last calibration=-"));

    const int twoChamberFocus = 34000;
    showSlide("/sim/slide.png", twoChamberFocus);
    ASSERT_TRUE(touchThenDialogs(kCalibrateAutofocus, 2));
    ASSERT_TRUE(touch(kAutofocusStart));
    ASSERT_TRUE(waitForOutput(*app, "focus reference", 60000)) << output(*app).toStdString();
    ASSERT_TRUE(touch(kCalibrationExitAlone));
    ASSERT_TRUE(waitForWindowCount(QStringLiteral("Dialog"), 1));
    ASSERT_TRUE(touch(kHome));
    ASSERT_TRUE(waitForNoWindow(QStringLiteral("Dialog")));
    ASSERT_TRUE(waitForFile(kSettings, "Z%20reference="));
    const QByteArray settings = root.readFile(kSettings);
    const auto number = [&](const QByteArray& key) {
        const int at = settings.indexOf("\n" + key + "=") + key.size() + 2;
        return settings.mid(at, settings.indexOf('\n', at) - at).toInt();
    };
    EXPECT_NEAR(number("Z%20reference"), twoChamberFocus - 2560, 256) << settings.toStdString();
    EXPECT_NEAR(number("Z%20ref%202ch"), twoChamberFocus, 256) << settings.toStdString();
}

// The text of "Software/Last update" in the settings file.
QString lastUpdate(const QByteArray& settings)
{
    const QRegularExpressionMatch match =
        QRegularExpression("Last(%20| )update=([^\n]*)").match(QString::fromUtf8(settings));
    return match.captured(2);
}

// Two software updates from a stick, as a user runs them: a package that
// installs, through RESTART; then one whose script changes the installation
// and fails, which leaves it as it was.
TEST_F(SettingsTest, SoftwareUpdateFromAStickInstallsAndAFailedOneIsRolledBack)
{
    const QString install = QStringLiteral("/opt/KOVA3/bin");
    const QString restore = QStringLiteral("/opt/KOVA3/restore");
    ASSERT_NO_FATAL_FAILURE(startAtHome());
    const kovasim::UsbSticks sticks(root.root());
    const QString package = sticks.stickFolder("update") + "/KOVA3_1_0_3.ko3";
    ASSERT_TRUE(UpdatePackage("1.0.3", "pwd > \"$KOVA3_ROOT/opt/KOVA3/bin/installed-from\"\n").write(package));
    ASSERT_FALSE(sticks.insert("update").isEmpty());
    ASSERT_TRUE(waitForFile("/etc/mtab", " /mnt "));

    ASSERT_NO_FATAL_FAILURE(runUpdate(6));
    EXPECT_TRUE(output(*app).contains("SoftwareUpdateDialog::slotUpdated(1, 0) \n"));
    ASSERT_TRUE(touch(kMessageOnlyOk)) << "RESTART";
    ASSERT_TRUE(app->waitForFinished(kTimeoutMs));
    EXPECT_EQ(app->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->exitCode(), 2);
    EXPECT_TRUE(root.readFile(install + "/installed-from").contains("/tmp/KOVA3_update-"));
    EXPECT_EQ(QDir(root.path(restore)).entryList(QDir::Files | QDir::Hidden), QStringList{"KOVA3_restore_1_0_2.ko3"});
    const QString updated = lastUpdate(root.readFile(kSettings));
    EXPECT_TRUE(QRegularExpression("^\\d\\d [A-Z][a-z][a-z] \\d{4} \\d\\d:\\d\\d$").match(updated).hasMatch())
        << updated.toStdString();
    EXPECT_TRUE(QDir(root.path("/tmp")).entryList({"KOVA3_update-*"}, QDir::AllEntries).isEmpty());

    const QMap<QString, QString> installed = folderSnapshot(root.path(install));
    ASSERT_TRUE(UpdatePackage("1.0.3", "echo broken > \"$KOVA3_ROOT/opt/KOVA3/bin/installed-from\"\n"
                                       "echo new > \"$KOVA3_ROOT/opt/KOVA3/bin/added\"\nexit 3\n")
                    .write(package));
    ASSERT_TRUE(startApp());
    ASSERT_TRUE(waitForHomeScreen());
    ASSERT_NO_FATAL_FAILURE(runUpdate(7));
    EXPECT_TRUE(output(*app).contains("SoftwareUpdateDialog::slotUpdated(0, 7) \n"));
    EXPECT_EQ(folderSnapshot(root.path(install)), installed);
    EXPECT_EQ(lastUpdate(root.readFile(kSettings)), updated);
    EXPECT_TRUE(QDir(root.path("/tmp")).entryList({"KOVA3_update-*"}, QDir::AllEntries).isEmpty());
    ASSERT_TRUE(touchThenDialogs(kMessageOnlyOk, 1)) << "OK closes the failure";
    EXPECT_EQ(app->state(), QProcess::Running);
}

// An install script that removes the programs and then prints far more than
// the application's memory could hold: the application, its address space
// limited, reads the output as it comes, ends in "Update Failure" and puts
// the programs back byte for byte.
TEST_F(SettingsTest, AFloodingInstallScriptEndsInUpdateFailureWithTheProgramsPutBack)
{
    const QString install = QStringLiteral("/opt/KOVA3/bin");
    ASSERT_NO_FATAL_FAILURE(startAtHome());
    const kovasim::UsbSticks sticks(root.root());
    ASSERT_TRUE(UpdatePackage("1.0.3", "rm -rf \"$KOVA3_ROOT/opt/KOVA3/bin\"\n"
                                       "yes 'cp: cannot stat' | dd bs=1M count=1024 iflag=fullblock 2>/dev/null\n"
                                       "exit 1\n")
                    .write(sticks.stickFolder("update") + "/KOVA3_1_0_3.ko3"));
    ASSERT_FALSE(sticks.insert("update").isEmpty());
    ASSERT_TRUE(waitForFile("/etc/mtab", " /mnt "));
    const QMap<QString, QString> installed = folderSnapshot(root.path(install));
    ASSERT_FALSE(installed.isEmpty());
    ASSERT_TRUE(limitAddressSpace(*app, 512 << 20));

    ASSERT_NO_FATAL_FAILURE(runUpdate(7, 4 * kTimeoutMs));
    EXPECT_TRUE(output(*app).contains("SoftwareUpdateDialog::slotUpdated(0, 7) \n"));
    EXPECT_EQ(folderSnapshot(root.path(install)), installed);
    EXPECT_TRUE(QDir(root.path("/tmp")).entryList({"KOVA3_update-*"}, QDir::AllEntries).isEmpty());
    ASSERT_TRUE(touchThenDialogs(kMessageOnlyOk, 1)) << "OK closes the failure";
    EXPECT_EQ(app->state(), QProcess::Running);
}

// The power switch confirmed at "Update in Progress": the instrument powers
// off only once the install script, and the restore after a failed one, have
// ended, so the next boot finds whole programs. The script removes the
// programs, waits until the test has seen the confirmed power-off held back
// (or the power-off under way), then writes the new programs and records
// whether the power-off came first.
TEST_F(SettingsTest, APowerOffConfirmedDuringAnInstallWaitsForItsEnd)
{
    const QString install = QStringLiteral("/opt/KOVA3/bin");
    const QString started = QStringLiteral("/run/install-started");
    const QString gate = QStringLiteral("/run/install-go");
    const QString ended = QStringLiteral("/run/install-ended");
    const QString systemctlCalls = QStringLiteral("/run/kova-sim/systemctl.calls");
    const QByteArray script = "bin=\"$KOVA3_ROOT/opt/KOVA3/bin\"\n"
                              "rm -rf \"$bin\"\n"
                              ": > \"$KOVA3_ROOT/run/install-started\"\n"
                              "for i in $(seq 600); do [ -e \"$KOVA3_ROOT/run/install-go\" ] && break; sleep 0.1; done\n"
                              "mkdir \"$bin\"\n"
                              "printf 'new program\\n' > \"$bin/KOVA3.app\"\n"
                              "printf 'new verifier\\n' > \"$bin/KOVA3_Verifier\"\n"
                              "if grep -qs poweroff \"$KOVA3_ROOT/run/kova-sim/systemctl.calls\"; then echo after; "
                              "else echo before; fi > \"$KOVA3_ROOT/run/install-ended\"\n";
    const struct
    {
        const char* name;
        QByteArray lastLine;  // of the script
        bool succeeds;        // else the installation is restored
    } cases[] = {
        {"install", "", true},
        {"failed install, restored", "exit 3\n", false},
    };
    ASSERT_NO_FATAL_FAILURE(startAtHome());
    const kovasim::UsbSticks sticks(root.root());
    ASSERT_FALSE(sticks.insert("update").isEmpty());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const QString& file : {started, gate, ended, systemctlCalls})
            QFile::remove(root.path(file));
        ASSERT_TRUE(UpdatePackage("1.0.3", script + c.lastLine)
                        .write(sticks.stickFolder("update") + "/KOVA3_1_0_3.ko3"));
        if (app->state() != QProcess::Running) {
            ASSERT_TRUE(startApp());
            ASSERT_TRUE(waitForHomeScreen());
        }
        ASSERT_TRUE(waitForFile("/etc/mtab", " /mnt "));
        const QMap<QString, QString> before = folderSnapshot(root.path(install));

        ASSERT_NO_FATAL_FAILURE(runUpdate(5));
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(root.path(started)); }, kTimeoutMs));
        ASSERT_TRUE(confirmPowerSwitch(*instrument, 2)) << "over the settings screen and the update dialog";
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                return output(*app).contains("power-off waits for the install to end")
                       || root.readFile(systemctlCalls).contains("poweroff");
            },
            kLongTimeoutMs))
            << output(*app).toStdString();
        root.writeFile(gate, "");

        ASSERT_TRUE(app->waitForFinished(kLongTimeoutMs));
        EXPECT_EQ(app->exitCode(), 1);
        EXPECT_EQ(root.readFile(ended), "before\n") << "the install's end came before the power-off";
        EXPECT_EQ(root.readFile(systemctlCalls), "systemctl poweroff\n");
        EXPECT_TRUE(output(*app).contains(QStringLiteral("SoftwareUpdateDialog::slotUpdated(%1")
                                              .arg(c.succeeds ? "1, 0" : "0, 7")
                                              .toUtf8()))
            << output(*app).toStdString();
        if (c.succeeds) {
            const QDir bin(root.path(install));
            EXPECT_EQ(bin.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                      (QStringList{"KOVA3.app", "KOVA3_Verifier"}));
            EXPECT_EQ(root.readFile(install + "/KOVA3.app"), "new program\n");
            EXPECT_EQ(root.readFile(install + "/KOVA3_Verifier"), "new verifier\n");
        } else {
            EXPECT_EQ(folderSnapshot(root.path(install)), before) << "put back before the power-off";
        }
        EXPECT_TRUE(QDir(root.path("/tmp")).entryList({"KOVA3_update-*"}, QDir::AllEntries).isEmpty());
    }
}

}  // namespace
