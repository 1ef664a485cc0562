#include "LoaderBench.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QPushButton>

#include <string>
#include <vector>

namespace {

// A main program that tells it started, then runs until it is killed.
const QByteArray kRunningApp = "touch \"$KOVA3_ROOT/run/app.started\"\nexec sleep 60\n";

}  // namespace

TEST(LoaderStartUp, ShowsTheWindowWheneverNothingWasStarted)
{
    struct Case
    {
        const char* settings;
        const char* program;  // "file", "folder" or "none"
        bool started;
    };
    const Case cases[] = {
        {"[KOVA-III]\nRunMode=App\n", "file", true},
        {"[KOVA-III]\nRunMode=App\n", "folder", false},
        {"[KOVA-III]\nRunMode=App\n", "none", false},
        {"[KOVA-III]\nRunMode=app\n", "file", false},
        {"[KOVA-III]\nRunMode=app\n", "folder", false},
        {"[KOVA-III]\nRunMode=app\n", "none", false},
        {"[KOVA-III]\nSerial=KO3-00-00001\n", "file", false},
        {"[KOVA-III]\nSerial=KO3-00-00001\n", "folder", false},
        {"[KOVA-III]\nSerial=KO3-00-00001\n", "none", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.settings) + c.program);
        LoaderBench bench;
        bench.writeSettings(c.settings);
        if (qstrcmp(c.program, "file") == 0)
            bench.installApp(kRunningApp);
        else if (qstrcmp(c.program, "folder") == 0)
            QDir().mkpath(bench.root.path(LoaderBench::kApp));

        const auto dialog = LoaderBench::makeDialog();
        if (c.started) {
            ASSERT_TRUE(LoaderBench::waitFor([&] { return QFile::exists(bench.root.path("/run/app.started")); }));
            EXPECT_FALSE(dialog->isVisible()) << "hidden while the child runs";
        } else {
            EXPECT_TRUE(dialog->isVisible());
        }
        // Only a run mode of exactly "App" tries the program at all.
        EXPECT_EQ(bench.log.contains("applications.size()"), QByteArray(c.settings).contains("RunMode=App")
                                                                 && qstrcmp(c.program, "none") != 0);
        EXPECT_EQ(bench.setting("KOVA-III/RunMode"),
                  QByteArray(c.settings).contains("RunMode=") ? QString(c.settings).section('=', 1).trimmed()
                                                              : QString());
        EXPECT_EQ(QDir::currentPath(), QDir(bench.root.path("/opt/KOVA3/bin")).canonicalPath())
            << "children start in the bin folder";
    }
}

TEST(LoaderStartUp, ServicePanelByZigModeOrTheStickMarker)
{
    struct Case
    {
        const char* zigMode;  // line in the settings file, or ""
        const char* marker;   // "file", "folder" or "none"
        bool servicePanel;
    };
    const Case cases[] = {
        {"Zig mode=On\n", "file", true},   {"Zig mode=On\n", "folder", true},  {"Zig mode=On\n", "none", true},
        {"Zig mode=on\n", "file", true},   {"Zig mode=on\n", "folder", false}, {"Zig mode=on\n", "none", false},
        {"", "file", true},                {"", "folder", false},              {"", "none", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.zigMode) + c.marker);
        LoaderBench bench;
        bench.writeSettings(QByteArray("[KOVA-III]\n") + c.zigMode);
        ASSERT_EQ(bench.sticks.insert("stick"), "/dev/sda1");
        const QString marker = bench.sticks.stickFolder("stick") + "/.KOVA3";
        if (qstrcmp(c.marker, "file") == 0)
            bench.root.writeFile("/run/kova-sim/usb/sticks/stick/.KOVA3", "");
        else if (qstrcmp(c.marker, "folder") == 0)
            QDir().mkpath(marker);

        const auto dialog = LoaderBench::makeDialog();
        EXPECT_EQ(LoaderBench::frame(*dialog, "mainframe")->isVisibleTo(dialog.get()), c.servicePanel);
        EXPECT_EQ(LoaderBench::frame(*dialog, "frontframe")->isVisibleTo(dialog.get()), !c.servicePanel);
        EXPECT_TRUE(bench.log.contains(c.servicePanel ? "Normal start" : "Front start"));
        EXPECT_TRUE(bench.root.readFile("/etc/mtab").contains("/dev/sda1 /mnt ")) << "mounted in every case";
        EXPECT_TRUE(dialog->isVisible());
    }
}

TEST(LoaderStartUp, ServiceButtonsAreEnabledAfterTheDelay)
{
    LoaderBench bench;
    bench.writeSettings("[KOVA-III]\n");
    const auto dialog = LoaderBench::makeDialog();
    const char* const delayed[] = {"BUTTON_RUN_APP", "BUTTON_RUN_QCAPP", "BUTTON_TOUCH_CALIBRATION", "BUTTON_POWER",
                                   "BUTTON_DEVELOPER_MODE"};
    for (const char* name : delayed)
        EXPECT_FALSE(LoaderBench::button(*dialog, name)->isEnabled()) << name << " before the delay";

    ASSERT_TRUE(LoaderBench::waitFor([&] { return LoaderBench::button(*dialog, "BUTTON_POWER")->isEnabled(); }));
    for (const char* name : delayed)
        EXPECT_TRUE(LoaderBench::button(*dialog, name)->isEnabled()) << name;
    EXPECT_FALSE(LoaderBench::button(*dialog, "BUTTON_RUN_CAPTURE")->isEnabled()) << "by its check";
    EXPECT_FALSE(LoaderBench::button(*dialog, "BUTTON_COPY_LOG")->isEnabled()) << "never";
}

TEST(LoaderStartUp, ProgramsAreFoundByNamePatternIgnoringCase)
{
    struct Case
    {
        const char* entry;
        bool folder;
        LoaderDlg::App_FileType type;  // the one check that finds it
    };
    const Case cases[] = {
        {"kova3.APP", false, LoaderDlg::APP_KOVA3},
        {"Capture", false, LoaderDlg::APP_CAPTURE},
        {"Other_Verifier", true, LoaderDlg::APP_VERIFIER},
        {"PanelTrim", true, LoaderDlg::APP_PANELTRIM},
    };
    LoaderBench bench;
    const auto dialog = LoaderBench::makeDialog();
    const LoaderDlg::App_FileType types[] = {LoaderDlg::APP_KOVA3, LoaderDlg::APP_CAPTURE, LoaderDlg::APP_VERIFIER,
                                            LoaderDlg::APP_PANELTRIM};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.entry);
        const QString path = QStringLiteral("/opt/KOVA3/bin/") + c.entry;
        c.folder ? void(QDir().mkpath(bench.root.path(path))) : void(bench.root.writeFile(path, ""));
        for (LoaderDlg::App_FileType type : types)
            EXPECT_EQ(dialog->check_AppExist(type), type == c.type) << type;
        c.folder ? void(QDir(bench.root.path(path)).removeRecursively()) : void(QFile::remove(bench.root.path(path)));
    }
    bench.root.writeFile("/opt/KOVA3/bin/.capture", "");
    EXPECT_FALSE(dialog->check_AppExist(LoaderDlg::APP_CAPTURE)) << "hidden entries do not count";
}

TEST(LoaderExit, TheChildsEndDecidesWhatFollows)
{
    // Each program rewrites the settings on its way out, so a refreshed panel
    // shows the new serial number.
    const QByteArray rewrite = "printf '[KOVA-III]\\nRunMode=App\\nSerial=KO3-99-00001\\n' > \"$KOVA3_ROOT" +
                               QByteArray(LoaderBench::kSettings) + "\"\n";
    // The second run records the settings as they stood at its start, then
    // stays. The record appears whole (renamed into place): the test reads it
    // as soon as it exists.
    const QByteArray secondRunStays = "echo run >> \"$KOVA3_ROOT/run/runs\"\n"
                                      "if [ \"$(wc -l < \"$KOVA3_ROOT/run/runs\")\" -gt 1 ]; then\n"
                                      "  cp \"$KOVA3_ROOT" + QByteArray(LoaderBench::kSettings) + "\" \"$KOVA3_ROOT/run/second.part\"\n"
                                      "  mv \"$KOVA3_ROOT/run/second.part\" \"$KOVA3_ROOT/run/second\"\n"
                                      "  exec sleep 60\nfi\n";
    struct Case
    {
        const char* name;
        QByteArray body;       // null: installed without execute permission;
                               // with its own "#!": installed as it stands
        const char* exitLine;  // the exit handling's line, or null when it has none
        const char* alsoLogged;
        QString runMode;
        bool startedAgain;
        bool refreshed;
    };
    const Case cases[] = {
        {"exit 10", secondRunStays + "exit 10\n", "RunMode_App", "", "App", true, false},
        {"exit 11", secondRunStays + "exit 11\n", "RunMode_Restart", "", "App", true, false},
        // The restart the main program asked for.
        {"exit 2", secondRunStays + "exit 2\n", "RunMode_Restart", "", "App", true, false},
        // A power-off it has started: the next boot starts it, no panel.
        {"exit 1", rewrite + "exit 1\n", "RunMode_PowerOff", "", "App", false, true},
        {"exit 1, run mode changed by the program",
         QByteArray(rewrite).replace("RunMode=App", "RunMode=QC") + "exit 1\n", "RunMode_PowerOff", "", "App", false, true},
        {"exit 0", rewrite + "exit 0\n", "RunMode_default", "", "QC", false, true},
        {"exit 4", rewrite + "exit 4\n", "RunMode_default", "", "QC", false, true},
        {"crash", rewrite + "kill -SEGV $$\n", nullptr, "", "QC", false, true},
        {"not executable", QByteArray(), nullptr, "", "QC", false, false},
        {"no interpreter", "#!/no/such/shell\nexit 0\n", nullptr, "", "QC", false, false},
        {"exit 10, program gone",
         "printf '[KOVA-III]\\nRunMode=Marker\\n' > \"$KOVA3_ROOT" + QByteArray(LoaderBench::kSettings) +
             "\"\nrm \"$0\"\nexit 10\n",
         "RunMode_App", "No exist ---> KOVA3", "Marker", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoaderBench bench;
        bench.writeSettings("[KOVA-III]\nRunMode=App\n");
        if (c.body.isNull()) {
            bench.root.writeFile(LoaderBench::kApp, "#!/bin/sh\nexit 0\n");
        } else if (c.body.startsWith("#!")) {
            QFile::setPermissions(bench.root.writeFile(LoaderBench::kApp, c.body),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        } else {
            bench.installApp(c.body);
        }

        const auto dialog = LoaderBench::makeDialog();
        if (c.startedAgain) {
            ASSERT_TRUE(LoaderBench::waitFor([&] { return QFile::exists(bench.root.path("/run/second")); }));
            EXPECT_TRUE(bench.root.readFile("/run/second").contains("RunMode=App"))
                << "written before the start";
        }
        ASSERT_TRUE(LoaderBench::waitFor([&] {
            return dialog->isVisible() && (!c.exitLine || bench.log.contains(c.exitLine))
                   && bench.log.contains(c.alsoLogged)
                   && (c.startedAgain || bench.setting("KOVA-III/RunMode") == c.runMode);
        }));
        EXPECT_EQ(bench.setting("KOVA-III/RunMode"), c.runMode);
        EXPECT_EQ(bench.log.contains("RunMode_"), c.exitLine != nullptr);
        EXPECT_EQ(LoaderBench::labelText(*dialog, "LABEL_SERIAL_NUMBER") == "KO3-99-00001", c.refreshed);
        EXPECT_EQ(bench.root.readFile("/run/runs").count('\n'), c.startedAgain ? 2 : 0);
    }
}

TEST(LoaderExit, ASecondStartWhileTheChildRunsIsRefused)
{
    LoaderBench bench;
    bench.writeSettings("[KOVA-III]\nRunMode=QC\n");
    bench.installApp(kRunningApp);
    const auto dialog = LoaderBench::makeDialog();
    ASSERT_TRUE(dialog->isVisible());

    LoaderBench::button(*dialog, "BUTTON_RUN_APP")->click();
    ASSERT_TRUE(LoaderBench::waitFor([&] { return QFile::exists(bench.root.path("/run/app.started")); }));
    EXPECT_EQ(bench.setting("KOVA-III/RunMode"), "App");
    EXPECT_FALSE(bench.log.contains("QProcess::Running!! or Starting "));
    LoaderBench::button(*dialog, "BUTTON_RUN_APP")->click();
    EXPECT_EQ(bench.log.count("QProcess::Running!! or Starting "), 1);
}

// A main program that asks for a new start on every end (a broken update, a
// camera that never opens) is not started for ever: the third such end
// within a minute leaves the panel, with the run mode "QC". Ends further
// apart are restarts asked for, each honoured. The run mode is written only
// when it changes, so the settings file (the main program's, on flash) is
// not rewritten on every start.
TEST(LoaderExit, AMainProgramEndingAtOnceIsNotStartedForEver)
{
    struct Case
    {
        const char* name;
        std::vector<int> codes;  // the exit code of each run; the run after them stays
        qint64 msBetweenEnds;    // on the launcher's clock
        int runs;                // runs started in all
        const char* runMode;
        bool fellBack;
    };
    const Case cases[] = {
        {"10 at once", {10, 10, 10, 10, 10}, 0, 3, "QC", true},
        {"2, 11, 10 at once", {2, 11, 10, 10}, 0, 3, "QC", true},
        {"two at once, then it stays", {10, 2}, 0, 3, "App", false},
        {"three within a minute", {10, 10, 10}, 29999, 3, "QC", true},
        {"a minute apart", {10, 2, 11, 10, 2}, 30000, 6, "App", false},
    };
    const QByteArray settings = "[KOVA-III]\nRunMode=App\n; as the factory wrote it\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoaderBench bench;
        bench.writeSettings(settings);
        QByteArray script = "echo run >> \"$KOVA3_ROOT/run/runs\"\ncase \"$(wc -l < \"$KOVA3_ROOT/run/runs\")\" in\n";
        for (std::size_t i = 0; i < c.codes.size(); ++i)
            script += QByteArray::number(int(i + 1)) + ") exit " + QByteArray::number(c.codes[i]) + ";;\n";
        bench.installApp(script + "esac\ntouch \"$KOVA3_ROOT/run/stays\"\nexec sleep 60\n");
        qint64 now = 0;
        const auto dialog = LoaderBench::makeDialog(0, [&] { return now += c.msBetweenEnds; });

        const auto runs = [&] { return bench.root.readFile("/run/runs").count('\n'); };
        const char* const fallBack = "ended at once too often";
        // An endless loop ends the wait too, so today's launcher fails fast.
        ASSERT_TRUE(LoaderBench::waitFor([&] {
            return bench.log.contains(fallBack) || QFile::exists(bench.root.path("/run/stays"))
                   || runs() > int(c.codes.size()) + 1;
        }));
        EXPECT_EQ(runs(), c.runs);
        EXPECT_EQ(bench.log.contains(fallBack), c.fellBack);
        EXPECT_EQ(bench.setting("KOVA-III/RunMode"), c.runMode);
        EXPECT_TRUE(dialog->isVisible());
        if (!c.fellBack) {
            EXPECT_EQ(bench.root.readFile(LoaderBench::kSettings), settings) << "never rewritten";
        }
    }
}

// The main program's 1 means it has started the power-off: while the system
// goes down the window stays hidden (no "closed unexpectedly" panel); only a
// system still running after the grace time shows it, Restart at hand.
TEST(LoaderExit, APowerOffShowsTheWindowOnlyWhenTheSystemStillRuns)
{
    for (const int graceMs : {60000, 50}) {
        SCOPED_TRACE(graceMs);
        LoaderBench bench;
        bench.writeSettings("[KOVA-III]\nRunMode=App\n");
        bench.installApp("exit 1\n");
        const auto dialog = LoaderBench::makeDialog(0, {}, graceMs);
        ASSERT_TRUE(LoaderBench::waitFor([&] { return bench.log.contains("RunMode_PowerOff"); }));
        EXPECT_EQ(bench.setting("KOVA-III/RunMode"), "App");
        if (graceMs == 60000) {
            EXPECT_FALSE(dialog->isVisible());
            continue;
        }
        ASSERT_TRUE(LoaderBench::waitFor([&] { return dialog->isVisible(); }));
        EXPECT_TRUE(LoaderBench::frame(*dialog, "frontframe")->isVisible());
        EXPECT_TRUE(LoaderBench::button(*dialog, "BUTTON_RESTART")->isEnabled());
    }
}

// The verifier and the touch calibration program keep the plain table: their
// 1 and 2 are neither a power-off nor a restart of the main program.
TEST(LoaderExit, OtherProgramsEndingWith1Or2ShowThePanel)
{
    for (const char* program : {"KOVA3_Verifier", "PanelTrim"}) {
        for (const int code : {1, 2}) {
            SCOPED_TRACE(std::string(program) + " " + std::to_string(code));
            LoaderBench bench;
            bench.writeSettings("[KOVA-III]\nRunMode=Marker\n");
            bench.installApp(kRunningApp);
            bench.root.writeScript(QStringLiteral("/opt/KOVA3/bin/") + program, "exit " + QByteArray::number(code) + "\n");
            const auto dialog = LoaderBench::makeDialog();
            LoaderBench::button(*dialog, qstrcmp(program, "PanelTrim") == 0 ? "BUTTON_TOUCH_CALIBRATION"
                                                                              : "BUTTON_RUN_QCAPP")
                ->click();
            ASSERT_TRUE(LoaderBench::waitFor([&] { return bench.setting("KOVA-III/RunMode") == "QC"; }));
            EXPECT_TRUE(bench.log.contains(code == 1 ? "RunMode_QC" : "RunMode_default"));
            EXPECT_FALSE(QFile::exists(bench.root.path("/run/app.started")));
            EXPECT_TRUE(dialog->isVisible());
        }
    }
}

TEST(LoaderPanel, CaptureStartsOnlyWithAStickAndWhenNotRunning)
{
    LoaderBench bench;
    bench.writeSettings("[KOVA-III]\n");
    bench.root.writeScript("/opt/KOVA3/bin/capture", "echo \"$(pwd)\" > \"$KOVA3_ROOT/run/capture.started\"\n");
    const auto dialog = LoaderBench::makeDialog();
    QPushButton* capture = LoaderBench::button(*dialog, "BUTTON_RUN_CAPTURE");
    ASSERT_TRUE(capture->isEnabled());

    capture->click();  // no stick
    EXPECT_FALSE(QFile::exists(bench.root.path("/run/pidof.calls")));
    EXPECT_FALSE(bench.log.contains("Starting test..."));

    ASSERT_FALSE(bench.sticks.insert("stick").isEmpty());
    bench.root.writeFile("/run/pidof.out", "4242\n");
    capture->click();
    EXPECT_TRUE(bench.log.contains("test is already running."));
    EXPECT_EQ(bench.root.readFile("/run/pidof.calls"),
              "pidof " + bench.root.path("/opt/KOVA3/bin/capture").toUtf8() + "\n");
    EXPECT_TRUE(bench.root.readFile("/etc/mtab").contains("/dev/sda1 /mnt "));

    QFile::remove(bench.root.path("/run/pidof.out"));
    capture->click();
    EXPECT_TRUE(bench.log.contains("Starting test..."));
    ASSERT_TRUE(LoaderBench::waitFor([&] { return bench.root.readFile("/run/capture.started").endsWith('\n'); }));
    EXPECT_EQ(bench.root.readFile("/run/capture.started"), bench.root.path("/opt/KOVA3/bin").toUtf8() + "\n");
}

TEST(LoaderPanel, PowerAndRestart)
{
    LoaderBench bench;
    bench.writeSettings("[KOVA-III]\nRunMode=QC\n");
    const auto dialog = LoaderBench::makeDialog();
    ASSERT_TRUE(LoaderBench::waitFor([&] { return LoaderBench::button(*dialog, "BUTTON_POWER")->isEnabled(); }));

    LoaderBench::button(*dialog, "BUTTON_POWER")->click();
    ASSERT_TRUE(LoaderBench::waitFor([&] { return bench.root.readFile("/run/shutdown.calls").endsWith('\n'); }));
    EXPECT_EQ(bench.root.readFile("/run/shutdown.calls"), "shutdown -h now\n");
    EXPECT_EQ(bench.setting("KOVA-III/RunMode"), "QC") << "no question, nothing written";

    LoaderBench::button(*dialog, "BUTTON_RESTART")->click();
    EXPECT_EQ(bench.setting("KOVA-III/RunMode"), "App");
    ASSERT_TRUE(LoaderBench::waitFor([&] { return bench.root.readFile("/run/systemctl.calls").endsWith('\n'); }));
    EXPECT_EQ(bench.root.readFile("/run/systemctl.calls"), "systemctl reboot\n");
}

TEST(LoaderPanel, CameraResetRunsItsScriptWhenInstalled)
{
    LoaderBench bench;
    const auto dialog = LoaderBench::makeDialog();
    dialog->resetCamera();  // none installed: nothing to run
    bench.root.writeScript("/opt/KOVA3/bin/camera_reset.sh", "touch \"$KOVA3_ROOT/run/camera.reset\"\n");
    dialog->resetCamera();
    EXPECT_TRUE(QFile::exists(bench.root.path("/run/camera.reset"))) << "waited for";
}
