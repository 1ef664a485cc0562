#include "HomeDlg/HomeDlg.h"

#include "Camera/OV5642Camera.h"
#include "Controller/Controller.h"
#include "Count/CountDlg.h"
#include "File_IO/CSVReaderWriter.h"
#include "File_IO/ImReaderWriter.h"
#include "MediaMonitor/MediaMonitor.h"
#include "HomeDlg/PowerControl.h"
#include "InitDlg/InitDlg.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "McuSimulator.h"
#include "ModalAnswerer.h"
#include "ProbeRun.h"
#include "Protocol/ProtocolDlg.h"
#include "Settings/SetupDlg.h"
#include "Review/ReviewDlg.h"
#include "AppNetwork.h"
#include "TempRoot.h"
#include "WhenModal.h"
#include "platform/SimulatedVideo.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSet>
#include <QSettings>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

using namespace std::chrono_literals;

namespace {

const QString kShellIni = QStringLiteral("/opt/KOVA3/conf/KovaShell.ini");
const QString kTotalMaster = QStringLiteral("/opt/KOVA3/log/PreviousCount_BF_TotalCellCounting.csv");
const QString kTotalCopy =
    QStringLiteral("/KOVA/anonymous/TOTAL_CELL_COUNTING/PreviousCount_BF_TotalCellCounting.csv");
const QString kViabilityCopy =
    QStringLiteral("/KOVA/anonymous/CELL_COUNTING_VIABILITY/PreviousCount_BF_CellCountingViability.csv");
// A bound on waits for what comes at once on an idle machine; generous for a loaded one.
constexpr int kWaitMs = 10000;

// A home screen against a simulated microcontroller under a fresh root.
class HomeDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        appNetworkManager();
        QString error;
        ASSERT_TRUE(sim.start(&error)) << error.toStdString();
        ASSERT_TRUE(sim.linkAt());
        sim.setStepTime(0us);
        sim.setFirmware(QStringLiteral("7.7.1"), QStringLiteral("20260301"));
        HomeDlg::seams() = HomeDlg::Seams();
        HomeDlg::seams().onStartupStep = [this](const QString& step) { steps << step; };
        HomeDlg::seams().cameraRetryPauseMs = 0;
    }

    void TearDown() override
    {
        theApp.m_pHomeDlg = nullptr;
        theApp.m_bProgramExit = theApp.m_bFactoryReset = false;
        home.reset();
        // Before the camera it may still hold.
        delete theApp.m_pCountDlg;
        theApp.m_pCountDlg = nullptr;
        theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
        delete theApp.m_pInitDlg;
        theApp.m_pInitDlg = nullptr;
        delete theApp.m_pCamera;
        delete theApp.m_pImReaderWriter;
        delete theApp.m_pMediaMonitor;
        delete theApp.m_pPreviousCountCSV;
        theApp.m_pCamera = nullptr;
        theApp.m_pImReaderWriter = nullptr;
        theApp.m_pMediaMonitor = nullptr;
        theApp.m_pPreviousCountCSV = nullptr;
        theApp.m_bAutoExposureOn = false;
        theApp.m_bCalibrating = false;
        CUR_CAL_INI.clear();
        HomeDlg::seams() = HomeDlg::Seams();
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
        sim.stop();
    }

    HomeDlg& start()
    {
        home = std::make_unique<HomeDlg>();
        theApp.m_pHomeDlg = home.get();
        return *home;
    }

    // Presses Settings; `whileOpen` runs on the settings screen and ends it.
    void runSettings(HomeDlg& dlg, std::function<void(SetupDlg*)> whileOpen)
    {
        WhenModal<SetupDlg> settings(std::move(whileOpen));
        dlg.on_BUTTON_SETUP_pressed();
        EXPECT_TRUE(settings.done()) << "no settings screen";
    }

    TempRoot root;
    McuSimulator sim;
    QStringList steps;
    std::unique_ptr<HomeDlg> home;
};

// The chain's order by its effects: at the start of every step the world
// is looked at (files under the root, frames the microcontroller saw, the
// objects the application holds), so each effect must show up right after
// its own step and before the next.
TEST_F(HomeDlgTest, StartUpChainRunsInItsOrderOnceTheMicrocontrollerAnswers)
{
    const struct
    {
        const char* name;
        std::function<bool()> seen;
    } effects[] = {
        {"firmware asked",
         [this] {
             const std::vector<std::string> frames = sim.frames();
             return std::find(frames.begin(), frames.end(), "$,DEVICE,FW VERSION,,\r\n") != frames.end();
         }},
        {"settings file", [this] { return QFile::exists(root.path(kova::kMainIni)); }},
        {"result folders", [this] { return QFileInfo(root.path("/KOVA/anonymous/TOTAL_CELL_COUNTING")).isDir(); }},
        {"protocol files",
         [this] { return QFile::exists(root.path("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/DEFAULT.ini")); }},
        {"camera", [] { return theApp.m_pCamera != nullptr; }},
        {"calibration file", [] { return !CUR_CAL_INI.empty(); }},
        {"image reader/writer", [] { return theApp.m_pImReaderWriter != nullptr; }},
        {"previous counts", [] { return theApp.m_pPreviousCountCSV != nullptr; }},
        {"USB monitor", [] { return theApp.m_pMediaMonitor != nullptr; }},
        {"counting screen", [] { return theApp.m_pCountDlg != nullptr; }},
        {"clock", [] { return !theApp.m_strDateTime.isEmpty(); }},
        {"shell flag", [this] { return QFile::exists(root.path(kShellIni)); }},
    };
    theApp.m_strDateTime.clear();
    CUR_CAL_INI.clear();
    // The effects first seen at each look, in the order of the table.
    std::vector<QStringList> looks;
    QSet<QString> known;
    const auto look = [&] {
        QStringList fresh;
        for (const auto& e : effects) {
            if (!known.contains(e.name) && e.seen()) {
                known.insert(e.name);
                fresh << e.name;
            }
        }
        looks.push_back(fresh);
    };
    HomeDlg::seams().onStartupStep = [&](const QString&) { look(); };
    HomeDlg& dlg = start();
    look();  // after the last step

    // One look per step (firmware version, release timer, settings, result
    // folders, protocols, camera, calibration file, hardware check, image
    // reader/writer, previous counts, USB monitor, counting screen, clock, log
    // rotation, shell flag, mouse, network), then the final one.
    const std::vector<QStringList> expected = {
        {}, {"firmware asked"}, {}, {"settings file"}, {"result folders"}, {"protocol files"}, {"camera"},
        {"calibration file"}, {}, {"image reader/writer"}, {"previous counts"}, {"USB monitor"}, {"counting screen"},
        {"clock"}, {}, {"shell flag"}, {}, {},
    };
    EXPECT_EQ(looks, expected);
    EXPECT_TRUE(dlg.isInitialized());
    EXPECT_EQ(global_ini()->IQOQ.FW_version, "7.7.1") << "asked before the chain";
    const std::vector<std::string> frames = sim.frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0], "$,DEVICE,READY,,\r\n");
    EXPECT_EQ(frames[1], "$,DEVICE,FW VERSION,,\r\n");

    EXPECT_TRUE(QFile::exists(root.path(kova::kMainIni)));
    for (const char* folder : {"/KOVA/anonymous/TOTAL_CELL_COUNTING", "/KOVA/anonymous/CELL_COUNTING_VIABILITY"})
        EXPECT_TRUE(QFileInfo(root.path(folder)).isDir()) << folder;
    for (const char* protocol : {"/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/DEFAULT.ini",
                                 "/opt/KOVA3/conf/PROTOCOL/CELL_COUNTING_VIABILITY/IQOQ.ini"})
        EXPECT_TRUE(QFile::exists(root.path(protocol))) << protocol;
    EXPECT_EQ(root.readFile(kShellIni), "[ShellMode]\nOn=0\n");
    EXPECT_NE(theApp.m_pCamera, nullptr);
    EXPECT_FALSE(theApp.m_pCamera->isRunning()) << "created, opened only for counting";
    EXPECT_NE(theApp.m_pImReaderWriter, nullptr);
    EXPECT_NE(theApp.m_pMediaMonitor, nullptr);
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_HOME_DIALOG);
    EXPECT_EQ(theApp.get_background_ptr(), dlg.backLabel());
    EXPECT_FALSE(dlg.backLabel()->isVisible());
    ASSERT_NE(theApp.m_pCountDlg, nullptr);
    EXPECT_FALSE(theApp.m_pCountDlg->isVisible()) << "built hidden, shown by Count";
}

TEST_F(HomeDlgTest, CountOpensTheCameraAndShowsTheCountingScreenOnItsFirstLiveFrame)
{
    HomeDlg& dlg = start();
    dlg.show();
    CountDlg* count = theApp.m_pCountDlg;
    auto* button = dlg.findChild<QPushButton*>("BUTTON_COUNT");

    theApp.m_nCurrentDialog = KOVACORE_REVIEW_DIALOG;
    button->click();
    EXPECT_FALSE(theApp.m_pCamera->isRunning()) << "only from the home screen";
    theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;

    QSignalSpy first(count, &CountDlg::signalFirstFrameUpdated);
    button->click();
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_COUNT_DIALOG);
    EXPECT_TRUE(theApp.m_pCamera->isRunning());
    EXPECT_FALSE(count->isVisible()) << "not before its first frame";
    EXPECT_FALSE(button->isEnabled());
    ASSERT_TRUE(first.wait(kWaitMs));
    EXPECT_TRUE(count->isVisible());
    EXPECT_TRUE(button->isEnabled());
    EXPECT_FALSE(dlg.backLabel()->isVisible());

    count->findChild<QPushButton*>("BUTTON_HOME")->click();
    EXPECT_FALSE(count->isVisible());
    EXPECT_FALSE(theApp.m_pCamera->isRunning());
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_HOME_DIALOG);
    EXPECT_FALSE(button->isChecked());
    EXPECT_TRUE(button->isEnabled());
}

TEST_F(HomeDlgTest, TheClockRepaintsTheCountingScreenOnTop)
{
    QDateTime now(QDate(2026, 12, 10), QTime(13, 45, 10));
    HomeDlg::seams().now = [&now] { return now; };
    HomeDlg& dlg = start();
    CountDlg* count = theApp.m_pCountDlg;
    count->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(count));
    theApp.m_nCurrentDialog = KOVACORE_COUNT_DIALOG;
    auto* clock = count->findChild<QLabel*>("LABEL_COMMON_DATETIME");

    now = now.addSecs(60);
    dlg.notifyDateTime();
    EXPECT_TRUE(QTest::qWaitFor([&] { return clock->text() == "10 Dec 2026 13:46"; }, kWaitMs));
}

TEST_F(HomeDlgTest, ThePowerRoadsDimAndDeleteTheCountingScreen)
{
    HomeDlg& dlg = start();
    QPointer<CountDlg> count = theApp.m_pCountDlg;
    count->show();
    theApp.m_nCurrentDialog = KOVACORE_COUNT_DIALOG;
    bool dimmed = false;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!box)
            return;
        answer.stop();
        dimmed = count->findChild<QLabel*>(QStringLiteral("DIM_OVERLAY"))->isVisible();
        box->reject();
    });
    answer.start(10);

    dlg.powerControl()->slot_POWER_OFF_KEY(true);
    EXPECT_TRUE(dimmed) << "the counting screen is dimmed behind the question";

    dlg.powerControl()->slotProgramExit(false);
    EXPECT_TRUE(count.isNull());
    EXPECT_EQ(theApp.m_pCountDlg, nullptr);
}

TEST_F(HomeDlgTest, WithoutAnAnswerNothingRunsAndTheSplashStays)
{
    QFile::remove(root.path(QStringLiteral("/dev/ttyS2")));  // no microcontroller at the port
    theApp.m_pInitDlg = new InitDlg(StartupState);
    QPointer<InitDlg> splash = theApp.m_pInitDlg;

    HomeDlg& dlg = start();
    QTest::qWait(3 * HomeDlg::kReleaseIntervalMs);

    EXPECT_TRUE(steps.isEmpty());
    EXPECT_FALSE(dlg.isInitialized());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_FALSE(splash.isNull());
    EXPECT_FALSE(QFile::exists(root.path(kova::kMainIni)));
    EXPECT_FALSE(QFile::exists(root.path(kShellIni)));
    EXPECT_FALSE(QFile::exists(root.path(QStringLiteral("/KOVA"))));
}

// Through the probe program, since the power-off ends the process.
TEST_F(HomeDlgTest, WithoutAnAnswerAPowerOffKeepsTheStoredSettings)
{
    QFile::remove(root.path(QStringLiteral("/dev/ttyS2")));  // no microcontroller at the port
    const QByteArray stored = "[KOVA-III]\nSerial=KO3-12-34567\nAuto shutdown time=3\n";
    root.writeFile(kova::kMainIni, stored);
    const ProbeRun run = runProbe(QStringLiteral(HOME_PROBE), root, {QStringLiteral("poweroff")});
    EXPECT_TRUE(run.exitedNormally);
    EXPECT_EQ(run.exitCode, InitDlg::kExitPowerOff);
    EXPECT_EQ(root.readFile(kova::kMainIni), stored);
}

TEST_F(HomeDlgTest, SplashIsReleasedOnTheFirstTickOfTheEventLoop)
{
    theApp.m_pInitDlg = new InitDlg(StartupState);
    theApp.m_pInitDlg->show();
    QPointer<InitDlg> splash = theApp.m_pInitDlg;

    HomeDlg& dlg = start();
    EXPECT_FALSE(splash.isNull()) << "the chain ran, but the splash waits for the event loop";
    EXPECT_FALSE(dlg.isVisible());

    EXPECT_TRUE(QTest::qWaitFor([&] { return splash.isNull(); }, kWaitMs));
    EXPECT_EQ(theApp.m_pInitDlg, nullptr);
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(HomeDlgTest, CalibrationFileFollowsTheCountingMode)
{
    const struct
    {
        int mode;
        const char* file;
    } cases[] = {{0, kova::kCalibrationBfnIni}, {1, kova::kCalibrationCusIni}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        root.writeFile(kova::kMainIni, QStringLiteral("[Cell counting]\nCounting mode=%1\n").arg(c.mode).toLatin1());
        CUR_CAL_INI.clear();
        start();
        EXPECT_EQ(CUR_CAL_INI, c.file);
        home.reset();
    }
}

TEST_F(HomeDlgTest, LogRotationRunsInItsOwnThreadAtLowPriority)
{
    QDir().mkpath(root.path(QStringLiteral("/etc/logrotate.d")));
    // A rotation that runs until the test lets it finish.
    root.writeScript(QStringLiteral("/bin/logrotate"),
                     "echo \"$@\" > \"$(dirname \"$0\")/../etc/rotated\"\n"
                     "while [ ! -e \"$(dirname \"$0\")/../etc/release\" ]; do sleep 0.02; done\n");
    HomeDlg& dlg = start();

    const logrotate& rotation = dlg.logRotation();
    QSignalSpy finished(&rotation, &QThread::finished);
    EXPECT_TRUE(rotation.isRunning()) << "started, not awaited by the chain";
    EXPECT_EQ(rotation.priority(), QThread::LowPriority);
    EXPECT_TRUE(QFile::exists(root.path(QStringLiteral("/etc/logrotate.conf")))) << "a missing limit is rewritten";

    root.writeFile(QStringLiteral("/etc/release"), "");
    ASSERT_TRUE(finished.wait(kWaitMs));
    EXPECT_EQ(root.readFile(QStringLiteral("/etc/rotated")), "-f /etc/logrotate.d/\n");
}

TEST_F(HomeDlgTest, OpenCameraTakesUpToThreeAttemptsWithNewCameraObjects)
{
    const struct
    {
        const char* calibration;
        bool autoExposure;
        int mode;
    } choices[] = {
        {kova::kCalibrationBfnIni, false, 0},
        {kova::kCalibrationCusIni, false, 1},
        {kova::kAutoExposureIni, true, 0},
    };
    for (int openAt = 1; openAt <= HomeDlg::kCameraAttempts; ++openAt) {
        SCOPED_TRACE(openAt);
        const auto& choice = choices[openAt - 1];
        int made = 0;
        HomeDlg::seams().makeCamera = [&made, openAt] {
            platform::SimulatedVideo::Faults faults;
            faults.openFailure = ++made < openAt;
            platform::SimulatedVideo::setFaults(faults);
            return new OV5642Camera;
        };
        HomeDlg& dlg = start();
        theApp.m_CountingMode = choice.mode;
        theApp.m_bAutoExposureOn = choice.autoExposure;

        dlg.openCamera();

        ASSERT_NE(theApp.m_pCamera, nullptr);
        EXPECT_TRUE(theApp.m_pCamera->isRunning());
        EXPECT_EQ(theApp.m_pCamera->width(), 1280);
        EXPECT_EQ(made, openAt) << "one camera object per attempt";
        EXPECT_EQ(CUR_CAL_INI, choice.calibration);
        EXPECT_FALSE(dlg.backLabel()->isVisible()) << "no message";
        home.reset();
        delete theApp.m_pCamera;
        theApp.m_pCamera = nullptr;
    }
}

TEST_F(HomeDlgTest, OpenCameraKeepsTheFileACalibrationChose)
{
    HomeDlg& dlg = start();
    theApp.m_bCalibrating = true;
    CUR_CAL_INI = kova::kAutoExposureIni;
    theApp.m_CountingMode = 0;
    dlg.openCamera();
    EXPECT_EQ(CUR_CAL_INI, kova::kAutoExposureIni);
    EXPECT_TRUE(theApp.m_pCamera->isRunning());
}

// Three failures end the program: through the probe program.
TEST_F(HomeDlgTest, ThreeCameraFailuresShowMessage49AndRestartHoweverTheBoxCloses)
{
    root.writeFile(QString::fromLatin1(InitDlg::kDisplayLayerFile), "0");
    for (const char* answer : {"accept", "close"}) {
        SCOPED_TRACE(answer);
        const ProbeRun run = runProbe(QStringLiteral(HOME_PROBE), root, {QStringLiteral("camera"), QString::fromLatin1(answer)});
        EXPECT_TRUE(run.exitedNormally);
        EXPECT_EQ(run.exitCode, InitDlg::kExitRestart);
        EXPECT_TRUE(run.output.contains("message: ")) << run.output.toStdString();
        EXPECT_TRUE(run.output.contains("0049")) << run.output.toStdString();
        EXPECT_EQ(root.readFile(QString::fromLatin1(InitDlg::kDisplayLayerFile)), "2");
    }
}

TEST_F(HomeDlgTest, PreviousCountsAreCopiedToTheResultTreeAndLoaded)
{
    const QByteArray master = "User,File,Date,[Total cell],Total cell number,Avg. size,Protocol\n"
                              "anonymous,a,01 Jan 2026,1.00x10e6,100,10.0,DEFAULT\n"
                              "anonymous,b,02 Jan 2026,2.00x10e6,200,11.0,PBMC";
    root.writeFile(kTotalMaster, master);
    root.writeFile(kViabilityCopy, "stale copy whose master is gone");

    start();

    EXPECT_EQ(root.readFile(kTotalCopy), master);
    EXPECT_FALSE(QFile::exists(root.path(kViabilityCopy)));
    ASSERT_NE(theApp.m_pPreviousCountCSV, nullptr);
    const std::vector<std::string> lines = theApp.m_pPreviousCountCSV->csv();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], "User,File,Date,[Total cell],Total cell number,Avg. size,Protocol");
    EXPECT_EQ(lines[2], "anonymous,b,02 Jan 2026,2.00x10e6,200,11.0,PBMC");
}

TEST_F(HomeDlgTest, ViabilityModeLoadsItsOwnTableHeaderWhenTheMasterIsMissing)
{
    root.writeFile(kova::kMainIni, "[Cell counting]\nCounting mode=1\n");
    start();
    ASSERT_NE(theApp.m_pPreviousCountCSV, nullptr);
    const std::vector<std::string> lines = theApp.m_pPreviousCountCSV->csv();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "User,File,Date,[Total cell],Total cell number,[Live cell],Live cell number,"
                        "[Dead cell],Dead cell number,Viability,Avg. size,Protocol");
}

TEST_F(HomeDlgTest, DeviceResetReturnsTheStageToTheLastKnownPosition)
{
    const struct
    {
        int reported;
        int known;
        const char* move;  // the frame sent after the position query, "" for none
    } cases[] = {
        {3000, 1000, "$,STM1,MVN,2000,\r\n"},
        {1000, 2500, "$,STM1,MVP,1500,\r\n"},
        {1200, 1200, ""},
    };
    HomeDlg& dlg = start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reported);
        sim.setPosition(c.reported);
        theApp.m_nZstageCurrentPos = c.known;
        const size_t before = sim.frames().size();
        QSignalSpy moved(dlg.controller(), c.reported > c.known ? &Controller::sig_z_stage_mvn
                                                                : &Controller::sig_z_stage_mvp);

        dlg.slot_device_reset();

        if (*c.move) {
            ASSERT_TRUE(moved.wait(kWaitMs));
        }
        const std::vector<std::string> frames = sim.frames();
        ASSERT_GE(frames.size(), before + 2);
        EXPECT_EQ(frames[before], "$,LED4,BRT," + std::to_string(global_ini()->LED) + ",\r\n");
        EXPECT_EQ(frames[before + 1], "$,STM1,GET_POS,,\r\n");
        EXPECT_EQ(frames.size(), before + (*c.move ? 3 : 2));
        if (*c.move) {
            EXPECT_EQ(frames[before + 2], c.move);
        }
        EXPECT_EQ(sim.state().position, c.known);
    }
}

TEST_F(HomeDlgTest, DeviceResetReportedByTheMicrocontrollerRestoresTheStage)
{
    HomeDlg& dlg = start();
    theApp.m_nZstageCurrentPos = 4096;
    QSignalSpy moved(dlg.controller(), &Controller::sig_z_stage_mvp);
    sim.raiseRestart();  // the stage is homed to 0
    ASSERT_TRUE(moved.wait(kWaitMs));
    EXPECT_EQ(sim.state().position, 4096);
}

// A second restart comes as the first one's handling moves the stage back:
// that move then runs from home after it. Handled at once, the second
// handling read a position on the way and added its own move on top, far
// past where the stage belongs. It waits for the first handling's move, and
// the stage ends where the program last knew, with one move sent.
TEST_F(HomeDlgTest, ARestartDuringTheRestartHandlingsMoveIsHandledOnceThatMoveEnded)
{
    HomeDlg& dlg = start();
    Controller* link = dlg.controller();
    constexpr int kKnown = 20000;
    theApp.m_nZstageCurrentPos = kKnown;
    sim.setStepTime(50us);  // about a second on the way back
    QSignalSpy reset(link, &Controller::sig_device_reset);
    const std::size_t before = sim.frames().size();
    sim.restartBeforeNextMove();

    sim.raiseRestart();

    ASSERT_TRUE(QTest::qWaitFor([&] { return reset.count() == 2; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return !link->isStageInUse() && link->movesUnderWay() == 0 && sim.state().position == kKnown
                && link->currentPosition() == kKnown;
        },
        kWaitMs))
        << "the stage at " << sim.state().position << ", the link tracks " << link->currentPosition();
    const std::vector<std::string> frames = sim.frames();
    const auto moves = std::count_if(frames.begin() + long(before), frames.end(),
                                     [](const std::string& f) { return f.rfind("$,STM1,MV", 0) == 0; });
    EXPECT_EQ(moves, 1);
    EXPECT_EQ(link->z_stage_pos(), kKnown);
}

// A restart reported while an autofocus or a count has the stage waits for
// the count's end: handled in between, its moves answered in the
// autofocus's place. The count it came during yields nothing: it went on in
// the dark and its empty result was shown and added to the previous counts.
// Message 48 comes once the restart has been handled (the LED lit again, the
// stage back), the stage and the positions kept agree, and a restart when
// nothing runs is handled at once.
TEST_F(HomeDlgTest, ARestartDuringAnAutofocusedCountEndsItWithMessage48OnceTheRestartIsHandled)
{
    HomeDlg& dlg = start();
    ASSERT_TRUE(theApp.m_bAutofocusedCounting) << "the settings' default";
    ASSERT_FALSE(theApp.m_SaveReview.m_bAutoSave);
    dlg.show();
    CountDlg* count = theApp.m_pCountDlg;
    Controller* link = dlg.controller();
    QSignalSpy first(count, &CountDlg::signalFirstFrameUpdated);
    dlg.findChild<QPushButton*>("BUTTON_COUNT")->click();
    ASSERT_TRUE(first.wait(kWaitMs));

    // The autofocus reports each stop it reached: the move after the first stop is cut short.
    bool armed = false;
    QObject::connect(count, &CountDlg::sig_debug_Message, [&] {
        if (!armed)
            sim.restartOnNextMove();
        armed = true;
    });
    const std::size_t countStart = sim.frames().size();
    const auto brightnessFrames = [&](std::size_t from, std::size_t to) {
        const std::vector<std::string> frames = sim.frames();
        return std::count_if(frames.begin() + long(from), frames.begin() + long(std::min(to, frames.size())),
                             [](const std::string& f) { return f.rfind("$,LED4,BRT,", 0) == 0; });
    };
    QSignalSpy appended(count, &CountDlg::signalAppendCSVData);
    ModalAnswerer answerer;
    std::size_t atMessage = 0;
    bool stageInUseAtMessage = true;
    answerer.plan(true, [&] {
        atMessage = sim.frames().size();
        stageInUseAtMessage = link->isStageInUse();
    });
    count->findChild<QPushButton*>("BUTTON_COUNT")->click();

    ASSERT_TRUE(armed) << "no autofocus";
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, 3 * kWaitMs)) << "no message";
    EXPECT_TRUE(answerer.shown[0].contains("transmission error")) << answerer.shown[0].toStdString();
    EXPECT_EQ(appended.count(), 0) << "a count of the dark slide was kept";
    EXPECT_EQ(brightnessFrames(countStart, atMessage), 1) << "the restart was not handled before the message";
    EXPECT_FALSE(stageInUseAtMessage) << "the stage was still on its way back";
    ASSERT_TRUE(QTest::qWaitFor([&] { return count->isLiveViewRunning(); }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return link->movesUnderWay() == 0; }, kWaitMs));
    const int kept = theApp.m_nZstageCurrentPos;
    EXPECT_EQ(sim.state().position, kept);
    EXPECT_EQ(link->currentPosition(), kept);
    EXPECT_EQ(link->z_stage_pos(), kept);

    // With the stage free, a restart is handled at once: the stage goes home, then back.
    QSignalSpy returned(link, &Controller::sig_z_stage_mvp);
    sim.raiseRestart();
    ASSERT_TRUE(returned.wait(kWaitMs));
    EXPECT_EQ(sim.state().position, kept);
    EXPECT_EQ(link->currentPosition(), kept);
}

TEST_F(HomeDlgTest, FailedPositionQueryMovesNothingAndKeepsThePosition)
{
    HomeDlg& dlg = start();
    dlg.controller()->setTimeouts(100, 200);
    theApp.m_nZstageCurrentPos = 1500;
    sim.setPosition(8000);
    sim.setFault(McuSimulator::Fault::Silence);
    const size_t before = sim.frames().size();

    dlg.slot_device_reset();

    const std::vector<std::string> frames = sim.frames();
    ASSERT_EQ(frames.size(), before + 2) << "brightness and position query only";
    EXPECT_EQ(frames.back(), "$,STM1,GET_POS,,\r\n");
    EXPECT_EQ(theApp.m_nZstageCurrentPos, 1500);
    EXPECT_EQ(sim.state().position, 8000);
}

TEST_F(HomeDlgTest, FactoryResetRewritesProtocolsAndReloadsTheLoadedOnes)
{
    HomeDlg& dlg = start();
    const QString pbmc = root.path(QStringLiteral("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/PBMC.ini"));
    QFile::remove(pbmc);
    theApp.m_strTotalProtocolName = QStringLiteral("PBMC");
    theApp.m_Loaded_Total_Protocol = {};
    theApp.m_nCurrentDialog = KOVACORE_SETUP_DIALOG;
    theApp.m_CountingMode = 1;

    dlg.slotFactoryReset();

    EXPECT_TRUE(QFile::exists(pbmc));
    EXPECT_EQ(theApp.m_Loaded_Total_Protocol.name, "PBMC");
    EXPECT_GT(theApp.m_Loaded_Total_Protocol.max_search_size, 0);
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_HOME_DIALOG);
    EXPECT_EQ(CUR_CAL_INI, kova::kCalibrationCusIni);
    EXPECT_EQ(theApp.m_pPreviousCountCSV->csv().front().find("[Live cell]") != std::string::npos, true);
}

TEST_F(HomeDlgTest, InitLocalProtocolRestoresEveryBuiltInFileAndKeepsKeysAddedByHand)
{
    HomeDlg& dlg = start();
    const QString folder = root.path(QStringLiteral("/opt/KOVA3/conf/PROTOCOL"));
    QDir(folder).removeRecursively();
    const QString hela = folder + QStringLiteral("/CELL_COUNTING_VIABILITY/HeLa.ini");
    QDir().mkpath(QFileInfo(hela).path());
    {
        QSettings edited(hela, QSettings::IniFormat);
        edited.setValue(QStringLiteral("Dilution factor/Value"), 77);
        edited.setValue(QStringLiteral("Added/Key"), QStringLiteral("kept"));
    }

    dlg.Init_local_protocol();

    const QStringList total = QDir(folder + QStringLiteral("/TOTAL_CELL_COUNTING")).entryList(QDir::Files);
    const QStringList viability = QDir(folder + QStringLiteral("/CELL_COUNTING_VIABILITY")).entryList(QDir::Files);
    EXPECT_EQ(total.size() + viability.size(), 11) << total.join(' ').toStdString() << " / "
                                                   << viability.join(' ').toStdString();
    QSettings restored(hela, QSettings::IniFormat);
    EXPECT_EQ(restored.value(QStringLiteral("Dilution factor/Value")).toInt(), 2);
    EXPECT_EQ(restored.value(QStringLiteral("Added/Key")).toString(), "kept");
}

TEST_F(HomeDlgTest, ClockTextChangesOncePerMinute)
{
    QDateTime now(QDate(2026, 12, 10), QTime(13, 45, 10));
    HomeDlg::seams().now = [&now] { return now; };
    HomeDlg& dlg = start();
    EXPECT_EQ(theApp.m_strDateTime, "10 Dec 2026 13:45");

    theApp.m_strDateTime = QStringLiteral("untouched");
    now = now.addSecs(30);
    dlg.notifyDateTime();
    EXPECT_EQ(theApp.m_strDateTime, "untouched") << "same minute";

    now = now.addSecs(30);
    dlg.notifyDateTime();
    EXPECT_EQ(theApp.m_strDateTime, "10 Dec 2026 13:46");
}

TEST_F(HomeDlgTest, HomeButtonStateDimsAndDisablesThenRestores)
{
    HomeDlg& dlg = start();
    dlg.show();
    const QStringList names = {"BUTTON_COUNT", "BUTTON_POWER", "BUTTON_REVIEW", "BUTTON_PROTOCOL", "BUTTON_SETUP"};
    for (const QString& name : names)
        dlg.findChild<QPushButton*>(name)->setChecked(true);

    dlg.HomeButtonState(false);
    EXPECT_TRUE(dlg.backLabel()->isVisible());
    for (const QString& name : names)
        EXPECT_FALSE(dlg.findChild<QPushButton*>(name)->isEnabled()) << name.toStdString();

    dlg.HomeButtonState(true);
    EXPECT_FALSE(dlg.backLabel()->isVisible());
    for (const QString& name : names) {
        const QPushButton* button = dlg.findChild<QPushButton*>(name);
        EXPECT_TRUE(button->isEnabled()) << name.toStdString();
        EXPECT_FALSE(button->isChecked()) << name.toStdString();
    }
}

TEST_F(HomeDlgTest, PowerButtonAndSwitchAskAndCancelLeavesTheScreenAsItWas)
{
    HomeDlg& dlg = start();
    dlg.show();
    const struct
    {
        const char* road;
        std::function<void()> press;
    } roads[] = {
        // The switch first: a cancel guards it (not the button) for a while.
        {"microcontroller switch", [&] {
             QSignalSpy reported(dlg.controller(), &Controller::sig_device_poweroff);
             sim.raisePowerButton();
             ASSERT_TRUE(reported.wait(kWaitMs));
         }},
        {"home power button", [&] { QTest::mouseClick(dlg.powerButton(), Qt::LeftButton); }},
    };
    for (const auto& r : roads) {
        SCOPED_TRACE(r.road);
        QString asked;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!box)
                return;
            answer.stop();
            asked = box->findChild<QLabel*>(QStringLiteral("LABEL_MESSAGE"))->text();
            EXPECT_TRUE(dlg.backLabel()->isVisible()) << "dimmed while asking";
            box->reject();
        });
        answer.start(10);

        r.press();

        EXPECT_TRUE(asked.contains("power off")) << asked.toStdString();
        EXPECT_FALSE(dlg.powerButton()->isChecked());
        EXPECT_FALSE(dlg.backLabel()->isVisible());
        EXPECT_TRUE(dlg.isVisible());
        EXPECT_TRUE(dlg.powerControl()->isCancelGuardActive());
    }
}

TEST_F(HomeDlgTest, IdleLimitComesFromTheSettings)
{
    root.writeFile(kova::kMainIni, "[KOVA-III]\nAuto shutdown enable=On\nAuto shutdown time=2\n");
    HomeDlg& dlg = start();
    EXPECT_EQ(dlg.idleMinutes().limit, 120);
    dlg.on_POWER_OFF_TIMER(false);
    dlg.on_POWER_OFF_TIMER(false);
    EXPECT_EQ(dlg.idleMinutes().count, 2) << "the minute reports reach the idle count";
    dlg.on_POWER_OFF_TIMER(true);
    EXPECT_EQ(dlg.idleMinutes().count, 0);
}

TEST_F(HomeDlgTest, FormHasItsButtonsAndEscapeDoesNotClose)
{
    HomeDlg& dlg = start();
    dlg.show();
    EXPECT_EQ(dlg.size(), QSize(800, 480));
    EXPECT_EQ(dlg.findChild<QPushButton*>("BUTTON_COUNT")->text(), "\n\n\nCount");
    EXPECT_EQ(dlg.findChild<QPushButton*>("BUTTON_SETUP")->geometry(), QRect(600, 80, 200, 400));
    EXPECT_FALSE(dlg.findChild<QPushButton*>("BUTTON_LOGOUT")->isVisible());
    EXPECT_EQ(dlg.findChild<QLabel*>("LABEL_ID")->text(), "velim01");

    QTest::keyClick(&dlg, Qt::Key_Escape);
    QTest::keyClick(&dlg, Qt::Key_Return);
    EXPECT_TRUE(dlg.isVisible());
}

TEST_F(HomeDlgTest, MouseAtStartUpShowsTheArrow)
{
    QDir().mkpath(root.path(QStringLiteral("/dev/input/by-id")));
    root.writeFile(QStringLiteral("/dev/input/event3"), "");
    QFile::link(root.path(QStringLiteral("/dev/input/event3")),
                root.path(QStringLiteral("/dev/input/by-id/usb-Maker_Optical-event-mouse")));
    QApplication::setOverrideCursor(QCursor(Qt::BlankCursor));

    start();

    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
}

// The protocol and review screens run over the home screen, which dims
// them for the power-off question and repaints their clock; HOME brings the
// home screen back. A button acts only over the home screen.
TEST_F(HomeDlgTest, ScreenButtonsRunTheirScreensOverTheHomeScreen)
{
    QDateTime now(QDate(2026, 12, 10), QTime(13, 45, 10));
    HomeDlg::seams().now = [&now] { return now; };
    HomeDlg& dlg = start();
    dlg.show();
    const struct
    {
        const char* button;
        int id;
        std::function<QDialog*()> open;
    } screens[] = {
        {"BUTTON_PROTOCOL", KOVACORE_PROTOCOL_DIALOG, [] { return theApp.m_pProtocolDlg; }},
        {"BUTTON_REVIEW", KOVACORE_REVIEW_DIALOG, [] { return theApp.m_pReviewDlg; }},
    };
    for (const auto& s : screens) {
        auto* button = dlg.findChild<QPushButton*>(s.button);
        theApp.m_nCurrentDialog = KOVACORE_SETUP_DIALOG;
        emit button->pressed();
        EXPECT_EQ(s.open(), nullptr) << s.button << " only over the home screen";
        theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;

        ModalAnswerer boxes;
        bool whileOpen = false, dimmedForQuestion = false, undimmedAfter = false;
        QString clock;
        WhenModal<QDialog> screen([&](QDialog* open) {
            whileOpen = s.open() == open && theApp.m_nCurrentDialog == s.id && button->isChecked()
                        && !button->isEnabled();
            QLabel* overlay = open->findChild<QLabel*>("DIM_OVERLAY");
            boxes.plan(false, [&] { dimmedForQuestion = overlay->isVisible(); });
            dlg.powerControl()->slot_POWER_OFF_KEY(true);
            undimmedAfter = !overlay->isVisible();
            now = now.addSecs(60);
            dlg.notifyDateTime();
            QApplication::processEvents();
            clock = open->findChild<QLabel*>("LABEL_COMMON_DATETIME")->text();
            open->findChild<QPushButton*>("BUTTON_HOME")->click();
        });
        emit button->pressed();

        ASSERT_TRUE(screen.done()) << s.button;
        EXPECT_TRUE(whileOpen) << s.button;
        EXPECT_TRUE(dimmedForQuestion) << s.button;
        EXPECT_TRUE(undimmedAfter) << s.button;
        EXPECT_EQ(clock, theApp.m_strDateTime) << s.button;
        EXPECT_EQ(s.open(), nullptr) << s.button;
        EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_HOME_DIALOG) << s.button;
        EXPECT_FALSE(button->isChecked()) << s.button;
        EXPECT_TRUE(button->isEnabled()) << s.button;
        EXPECT_EQ(boxes.unplanned, 0) << s.button;
    }
    EXPECT_EQ(theApp.m_strDateTime, "10 Dec 2026 13:47");
}

// Reanalyze on the review screen: the review screen goes, the counting screen
// comes up with its camera and counts the raw image (here an unreadable one,
// which it answers with message 40).
TEST_F(HomeDlgTest, ReanalyzeOnTheReviewScreenCountsOnTheCountingScreen)
{
    const QString raw = QStringLiteral("/KOVA/anonymous/TOTAL_CELL_COUNTING/R/R_RAW.tif");
    root.writeFile(raw, "not a TIFF");
    HomeDlg& dlg = start();
    dlg.show();
    CountDlg* count = theApp.m_pCountDlg;
    auto* button = dlg.findChild<QPushButton*>("BUTTON_REVIEW");
    ModalAnswerer boxes;
    boxes.plan(true);

    QPointer<ReviewDlg> review;
    WhenModal<ReviewDlg> screen([&](ReviewDlg* open) {
        review = open;
        emit open->signal_analysis(raw);
        if (open->isVisible())  // not left: the test goes on without it
            open->findChild<QPushButton*>("BUTTON_HOME")->click();
    });
    emit button->pressed();

    ASSERT_TRUE(screen.done());
    EXPECT_TRUE(review.isNull()) << "closed and deleted";
    EXPECT_EQ(theApp.m_pReviewDlg, nullptr);
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_COUNT_DIALOG);
    EXPECT_TRUE(count->isVisible());
    EXPECT_TRUE(theApp.m_pCamera->isRunning());
    EXPECT_FALSE(button->isChecked());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.shown.isEmpty(); }, kWaitMs)) << "the count never ran";
    EXPECT_TRUE(boxes.shown[0].contains("An error occurred when opening the result"));
    EXPECT_EQ(count->state(), CountDlg::StateCount);
    EXPECT_EQ(boxes.unplanned, 0);
}

TEST_F(HomeDlgTest, SettingsScreenRunsAloneAndWhatChangedReachesTheFileWhenItCloses)
{
    HomeDlg::seams().cameraSettleMs = 0;
    HomeDlg& dlg = start();
    root.writeFile(QStringLiteral("/opt/KOVA3/log/PreviousCount_BF_CellCountingViability.csv"), "viability table");
    theApp.m_bAutoExposureOn = true;
    runSettings(dlg, [&](SetupDlg* settings) {
        EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_SETUP_DIALOG);
        EXPECT_EQ(theApp.m_pSetupDlg, settings);
        settings->findChild<QRadioButton*>(QStringLiteral("RADIO_MODE_BF_V"))->click();
        dlg.on_BUTTON_SETUP_pressed();  // a second press while it runs does nothing
        settings->findChild<QPushButton*>(QStringLiteral("BUTTON_HOME"))->click();
    });
    EXPECT_EQ(theApp.m_pSetupDlg, nullptr);
    EXPECT_EQ(theApp.m_nCurrentDialog, KOVACORE_HOME_DIALOG);
    EXPECT_FALSE(theApp.m_bAutoExposureOn);
    EXPECT_EQ(root.readFile(kViabilityCopy), "viability table") << "the previous counts follow the mode";
    EXPECT_TRUE(root.readFile(kova::kMainIni).contains("Counting%20mode=1"));
}

TEST_F(HomeDlgTest, FactoryResetOfTheSettingsCompletesOnceWhenTheScreenCloses)
{
    HomeDlg::seams().cameraSettleMs = 0;
    HomeDlg& dlg = start();
    const QString pbmc = root.path(QStringLiteral("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING/PBMC.ini"));
    QFile::remove(pbmc);
    runSettings(dlg, [](SetupDlg* settings) {
        theApp.m_bFactoryReset = true;  // as the service function leaves it
        settings->findChild<QPushButton*>(QStringLiteral("BUTTON_HOME"))->click();
    });
    EXPECT_TRUE(QFile::exists(pbmc));
    EXPECT_FALSE(theApp.m_bFactoryReset) << "not again at the next visit";
}

TEST_F(HomeDlgTest, PowerOffQuestionOverTheSettingsDimsThem)
{
    HomeDlg::seams().cameraSettleMs = 0;
    HomeDlg& dlg = start();
    dlg.show();
    ModalAnswerer boxes;
    bool settingsDimmed = false;
    runSettings(dlg, [&](SetupDlg* settings) {
        QLabel* overlay = settings->findChild<QLabel*>("DIM_OVERLAY");
        boxes.plan(false, [&] { settingsDimmed = overlay->isVisible(); });
        dlg.powerControl()->slot_POWER_OFF_KEY(true);
        EXPECT_FALSE(overlay->isVisible()) << "cancelled";
        settings->findChild<QPushButton*>(QStringLiteral("BUTTON_HOME"))->click();
    });
    EXPECT_TRUE(settingsDimmed);
    EXPECT_FALSE(dlg.backLabel()->isVisible());
    EXPECT_TRUE(boxes.allPlannedAnswered());
}

}  // namespace
