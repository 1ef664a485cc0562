#include "HomeDlg/PowerControl.h"

#include "Camera/OV5642Camera.h"
#include "File_IO/CSVReaderWriter.h"
#include "InitDlg/InitDlg.h"
#include "MediaMonitor/MediaMonitor.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "ModalAnswerer.h"
#include "TempRoot.h"
#include "UsbSticks.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>

namespace {

// A camera that reports itself running without a device behind it.
class RunningCamera : public OV5642Camera
{
public:
    bool isRunning() const override { return true; }
};

// The home screen as the power roads see it, recording what they do to it.
class PowerRoadsTest : public ::testing::Test
{
protected:
    PowerRoadsTest() : power(makeHome(root))
    {
        EXPECT_TRUE(kovasim::UsbSticks(root.root()).installStandIns());
        home.resize(800, 480);
        overlay.setGeometry(0, 0, 800, 480);
        overlay.hide();
        powerButton.setCheckable(true);
        home.show();
        theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
        theApp.m_bAutofocusing = false;
        theApp.m_bAutoShutdown = false;
        theApp.m_nAutoShutdownTime = 0;
    }
    ~PowerRoadsTest() override
    {
        theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
        theApp.m_bAutofocusing = false;
    }
    void TearDown() override
    {
        EXPECT_EQ(boxes.unplanned, 0) << "a question nobody expected";
        EXPECT_TRUE(boxes.allPlannedAnswered()) << "an expected question never came";
    }

    // `settingsRoot`: where the splash looks for the written settings.
    PowerControl::Home makeHome(const TempRoot& settingsRoot)
    {
        PowerControl::Home h;
        h.dialog = &home;
        h.powerButton = &powerButton;
        h.backLabel = &overlay;
        h.idle = &idle;
        h.iniPath = QString::fromLatin1(kova::kMainIni);
        h.setButtonsEnabled = [this](bool enable) { events << (enable ? "buttons on" : "buttons off"); };
        h.releaseController = [this] { events << "controller released"; };
        h.deleteCountScreen = [this] { events << "counting screen deleted"; };
        h.dimScreen = [this](int screen, bool dim) { events << QStringLiteral("screen %1 %2").arg(screen).arg(dim ? "dimmed" : "undimmed"); };
        h.runSplash = [this, &settingsRoot](int state) {
            events << QStringLiteral("splash %1 (settings %2)")
                          .arg(state)
                          .arg(QFile::exists(settingsRoot.path("/opt/KOVA3/conf/KOVA3.ini")) ? "written" : "missing");
        };
        h.cancelGuardMs = 100;
        h.cameraSettleMs = 0;
        return h;
    }

    // Plans the answer to the next power-off question; `whileShown` runs while
    // it is on screen.
    void answerNextQuestion(bool ok, std::function<void()> whileShown = {})
    {
        boxes.plan(ok, [this, whileShown] {
            checkedWhileAsking = powerButton.isChecked();
            dimmedWhileAsking = overlay.isVisible();
            if (whileShown)
                whileShown();
        });
    }
    const QStringList& questions() const { return boxes.shown; }

    TempRoot root;
    QDialog home;
    QPushButton powerButton{&home};
    QLabel overlay{&home};
    MainSettings::IdleMinutes idle;
    QStringList events;
    ModalAnswerer boxes;
    bool checkedWhileAsking = false;
    bool dimmedWhileAsking = false;
    PowerControl power;
};

enum class Entry { Button, Switch, Key };

void enter(PowerControl& power, Entry entry)
{
    switch (entry) {
    case Entry::Button:
        power.on_BUTTON_POWER_clicked(false);
        break;
    case Entry::Switch:
        power.slot_device_poweroff();
        break;
    case Entry::Key:
        power.slot_POWER_OFF_KEY_forOld(true);
        break;
    }
}

TEST_F(PowerRoadsTest, EveryEntryAsksAndOkPowersOffAfterWritingAndReleasing)
{
    for (Entry entry : {Entry::Button, Entry::Switch, Entry::Key}) {
        TempRoot fresh;
        ASSERT_TRUE(kovasim::UsbSticks(fresh.root()).installStandIns());
        PowerControl control(makeHome(fresh));
        events.clear();
        boxes.shown.clear();
        answerNextQuestion(true);
        enter(control, entry);
        SCOPED_TRACE(static_cast<int>(entry));
        ASSERT_EQ(questions().size(), 1);
        EXPECT_TRUE(questions()[0].contains("Are you sure you want to power off?"));
        EXPECT_TRUE(checkedWhileAsking);
        EXPECT_TRUE(dimmedWhileAsking);
        EXPECT_EQ(events, (QStringList{"buttons off", "counting screen deleted", "controller released",
                                       "splash 1 (settings written)"}));
        EXPECT_FALSE(home.isEnabled());
        home.setEnabled(true);
    }
}

// The shown waiting splash, if any.
InitDlg* waitSplash()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* splash = qobject_cast<InitDlg*>(widget))
            if (splash->isVisible() && splash->state() == WaitState)
                return splash;
    return nullptr;
}

// The power switch during long work (a save, the update worker, an export):
// OK lets the work end under the shutting-down picture before anything is
// written or released; Cancel leaves nothing waiting.
TEST_F(PowerRoadsTest, APowerOffConfirmedDuringLongWorkWaitsForItsEnd)
{
    using Set = void (PowerControl::*)(bool);
    const struct {
        const char* work;
        Set set;
    } works[] = {
        {"save", &PowerControl::setSaving},
        {"update", &PowerControl::setUpdating},
        {"export", &PowerControl::setExporting},
    };
    const struct {
        bool ok;
        QStringList afterTheWork;
    } cases[] = {
        {true, {"buttons off", "counting screen deleted", "controller released", "splash 1 (settings written)"}},
        {false, {}},
    };
    for (const auto& w : works) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(w.work) + (c.ok ? " OK" : " Cancel"));
            TempRoot fresh;
            ASSERT_TRUE(kovasim::UsbSticks(fresh.root()).installStandIns());
            PowerControl control(makeHome(fresh));
            events.clear();
            (control.*w.set)(true);
            answerNextQuestion(c.ok);
            control.slot_device_poweroff();

            EXPECT_TRUE(events.isEmpty()) << events.join(", ").toStdString();
            EXPECT_FALSE(QFile::exists(fresh.path(kova::kMainIni))) << "settings written before the work's end";
            EXPECT_EQ(control.isPowerOffWaiting(), c.ok);
            EXPECT_EQ(waitSplash() != nullptr, c.ok);

            (control.*w.set)(false);
            EXPECT_TRUE(QTest::qWaitFor([&] { return events.size() >= c.afterTheWork.size(); }, 5000));
            QCoreApplication::processEvents();
            EXPECT_EQ(events, c.afterTheWork);
            EXPECT_FALSE(control.isPowerOffWaiting());
            EXPECT_EQ(waitSplash() != nullptr, c.ok) << "the picture stays up to the end";
            home.setEnabled(true);
        }
    }
}

// Work that overlaps: the power-off waits for the last of it. After an
// install the settings file is the new software's, so the power-off leaves
// it as the install did.
TEST_F(PowerRoadsTest, APowerOffWaitsForTheLastWorkAndKeepsAnInstalledSettingsFile)
{
    EXPECT_EQ(PowerControl::instance(), &power);
    TempRoot fresh;
    ASSERT_TRUE(kovasim::UsbSticks(fresh.root()).installStandIns());
    {
        PowerControl control(makeHome(fresh));
        EXPECT_EQ(PowerControl::instance(), &control) << "the one made last";
        events.clear();
        control.setUpdating(true);
        control.keepSettingsFile();
        control.setExporting(true);
        answerNextQuestion(true);
        control.slot_device_poweroff();
        control.setExporting(false);
        QCoreApplication::processEvents();
        EXPECT_TRUE(events.isEmpty()) << "the update still runs";
        EXPECT_TRUE(control.isPowerOffWaiting());

        control.setUpdating(false);
        EXPECT_TRUE(QTest::qWaitFor([&] { return events.size() >= 4; }, 5000));
        EXPECT_EQ(events, (QStringList{"buttons off", "counting screen deleted", "controller released",
                                       "splash 1 (settings missing)"}));
        home.setEnabled(true);
    }
    EXPECT_EQ(PowerControl::instance(), nullptr) << "gone with it";
}

// Without an answer from the microcontroller the settings were never read:
// powering off must not replace the stored ones with defaults.
TEST_F(PowerRoadsTest, SettingsNeverReadAreNotWrittenOver)
{
    const QByteArray stored = "[KOVA-III]\nSerial=KO3-12-34567\nAuto shutdown time=3\n";
    root.writeFile(kova::kMainIni, stored);
    PowerControl::Home h = makeHome(root);
    h.iniPath.clear();
    PowerControl control(h);
    events.clear();

    answerNextQuestion(true);
    control.on_BUTTON_POWER_clicked(false);
    control.do_auto_powerOff();

    EXPECT_EQ(events.filter(QStringLiteral("splash 1")).size(), 2) << "both roads still power off";
    EXPECT_EQ(root.readFile(kova::kMainIni), stored);
}

TEST_F(PowerRoadsTest, CancelUndimsUnchecksAndGuardsOnlyTheSwitch)
{
    answerNextQuestion(false);
    power.slot_device_poweroff();
    ASSERT_EQ(questions().size(), 1);
    EXPECT_TRUE(events.isEmpty());
    EXPECT_FALSE(powerButton.isChecked());
    EXPECT_FALSE(overlay.isVisible());
    EXPECT_FALSE(power.isAsking());
    EXPECT_TRUE(power.isCancelGuardActive());

    // Within the guard the switch is ignored; the key and the button still ask.
    power.slot_device_poweroff();
    EXPECT_EQ(questions().size(), 1);
    answerNextQuestion(false);
    power.slot_POWER_OFF_KEY_forOld(true);
    EXPECT_EQ(questions().size(), 2);

    ASSERT_TRUE(QTest::qWaitFor([this] { return !power.isCancelGuardActive(); }, 5000));
    answerNextQuestion(false);
    power.slot_device_poweroff();
    EXPECT_EQ(questions().size(), 3);
}

TEST_F(PowerRoadsTest, EventsDuringTheQuestionOpenNoSecondOne)
{
    answerNextQuestion(false, [this] {
        power.slot_device_poweroff();
        power.slot_POWER_OFF_KEY_forOld(true);
        power.slot_POWER_OFF_KEY(true);
        EXPECT_TRUE(power.isAsking());
    });
    power.slot_device_poweroff();
    EXPECT_EQ(questions().size(), 1);
    EXPECT_FALSE(power.isAsking());
}

TEST_F(PowerRoadsTest, PowerKeyIsIgnoredWhileAutofocusing)
{
    theApp.m_bAutofocusing = true;
    power.slot_POWER_OFF_KEY_forOld(true);
    EXPECT_TRUE(questions().isEmpty());
    EXPECT_FALSE(power.isAsking());

    answerNextQuestion(false);
    power.slot_device_poweroff();
    EXPECT_EQ(questions().size(), 1);
}

TEST_F(PowerRoadsTest, TheScreenOnTopIsDimmedThroughItsOwnOverlay)
{
    theApp.m_nCurrentDialog = KOVACORE_REVIEW_DIALOG;
    answerNextQuestion(false, [this] { events << "asked"; });
    power.slot_POWER_OFF_KEY_forOld(true);
    EXPECT_EQ(events, (QStringList{"screen 2 dimmed", "asked", "screen 2 undimmed"}));
}

TEST_F(PowerRoadsTest, IdlePowerOff)
{
    struct Case
    {
        const char* name;
        bool enabled;
        int hours;
        int changedHours;  // the setting at the time of the reports
        QVector<QPair<bool, int>> reports;  // (active, how many)
        int powerOffAt;  // 1-based report that powers off; 0: none
    };
    const Case cases[] = {
        {"1 h: 62nd idle report", true, 1, 1, {{false, 70}}, 62},
        {"1 h: 61 idle reports", true, 1, 1, {{false, 61}}, 0},
        {"input restarts the count", true, 1, 1, {{false, 61}, {true, 1}, {false, 61}}, 0},
        {"input restarts the count, then 62", true, 1, 1, {{false, 30}, {true, 1}, {false, 62}}, 93},
        {"disabled never fires", false, 1, 1, {{false, 300}}, 0},
        {"new setting after the first hour", true, 1, 2, {{false, 130}}, 122},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        theApp.m_bAutoShutdown = c.enabled;
        theApp.m_nAutoShutdownTime = c.changedHours;
        idle.limit = c.hours * 60;
        idle.count = 0;
        events.clear();
        int report = 0;
        int firedAt = 0;
        for (const auto& run : c.reports) {
            for (int i = 0; i < run.second; ++i) {
                ++report;
                power.on_POWER_OFF_TIMER(run.first);
                if (!firedAt && !events.isEmpty())
                    firedAt = report;
            }
        }
        EXPECT_EQ(firedAt, c.powerOffAt);
        if (!c.enabled) {
            EXPECT_EQ(idle.count, 0);
        }
        if (c.powerOffAt) {
            EXPECT_EQ(events.mid(0, 2), (QStringList{"buttons off", "splash 1 (settings written)"}));
            EXPECT_TRUE(questions().isEmpty());
        }
    }
}

class ProgramExitTest : public PowerRoadsTest
{
protected:
    ProgramExitTest() : sticks(root.root()) { EXPECT_TRUE(sticks.installStandIns()); }

    void installLauncher() { root.writeScript("/opt/KOVA3/bin/KovaLoader", "exit 0\n"); }

    kovasim::UsbSticks sticks;
};

TEST_F(ProgramExitTest, LeavingForTheLauncherUnmountsReleasesAndHandsOver)
{
    installLauncher();
    ASSERT_FALSE(sticks.insert("stick").isEmpty());
    theApp.m_pMediaMonitor = new MediaMonitor;
    ASSERT_TRUE(root.readFile("/etc/mtab").contains(" /mnt "));
    theApp.m_pPreviousCountCSV = new CSVReaderWriter(1001, "%s", "header");
    auto* camera = new RunningCamera;
    bool cameraDeleted = false;
    QObject::connect(camera, &QObject::destroyed, [&cameraDeleted] { cameraDeleted = true; });
    theApp.m_pCamera = camera;

    power.slotProgramExit(true);

    EXPECT_FALSE(root.readFile("/etc/mtab").contains(" /mnt "));
    EXPECT_TRUE(sticks.calls().contains("umount /mnt"));
    EXPECT_TRUE(cameraDeleted);
    EXPECT_EQ(theApp.m_pCamera, nullptr);
    EXPECT_EQ(theApp.m_pMediaMonitor, nullptr);
    EXPECT_EQ(theApp.m_pPreviousCountCSV, nullptr);
    EXPECT_EQ(events, (QStringList{"counting screen deleted", "controller released"}));
    EXPECT_TRUE(root.readFile("/opt/KOVA3/conf/KovaShell.ini").contains("On=1"));
    EXPECT_EQ(home.result(), QDialog::Accepted);
    EXPECT_FALSE(home.isVisible());
}

TEST_F(ProgramExitTest, WithoutALauncherTheHomeScreenStaysDisabled)
{
    root.writeFile("/opt/KOVA3/conf/KovaShell.ini", "[ShellMode]\nOn=0\n");
    power.slotProgramExit(true);
    EXPECT_TRUE(home.isVisible());
    EXPECT_FALSE(home.isEnabled());
    EXPECT_TRUE(root.readFile("/opt/KOVA3/conf/KovaShell.ini").contains("On=0"));
    // Nothing was mounted: nothing is unmounted.
    EXPECT_TRUE(sticks.calls().contains("mountpoint /mnt"));
    EXPECT_FALSE(sticks.calls().join('\n').contains("umount"));
}

TEST_F(ProgramExitTest, ThePowerOffRoadReleasesButDoesNotHandOver)
{
    installLauncher();
    power.slotProgramExit(false);
    EXPECT_TRUE(home.isVisible());
    EXPECT_FALSE(home.isEnabled());
    EXPECT_TRUE(root.readFile("/opt/KOVA3/conf/KovaShell.ini").isEmpty());
}

}  // namespace
