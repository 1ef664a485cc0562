#include "InstallProgress.h"
#include "ProgressGUI.h"
#include "ProgressTUI.h"
#include "ProgressView.h"

#include "ProgressTestSupport.h"

#include "Processes.h"
#include "platform/InstallScript.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int kWaitMs = 20000;

TEST(InstallProgress, ADisplayGivesTheWindowOtherwiseText)
{
    const QByteArray previous = qgetenv("DISPLAY");
    const bool hadDisplay = qEnvironmentVariableIsSet("DISPLAY");
    const struct {
        const char* display;  // nullptr: unset
        bool window;
    } cases[] = {{nullptr, false}, {"", false}, {":0", true}};
    QProcess process;
    for (const auto& c : cases) {
        if (c.display)
            qputenv("DISPLAY", c.display);
        else
            qunsetenv("DISPLAY");
        EXPECT_EQ(hasDisplay(), c.window) << (c.display ? c.display : "unset");
        const std::unique_ptr<BaseUI> frontEnd = createFrontEnd(hasDisplay(), &process);
        EXPECT_EQ(dynamic_cast<ProgressGUI*>(frontEnd.get()) != nullptr, c.window);
        EXPECT_EQ(dynamic_cast<ProgressTUI*>(frontEnd.get()) != nullptr, !c.window);
    }
    if (hadDisplay)
        qputenv("DISPLAY", previous);
    else
        qunsetenv("DISPLAY");
}

// Each fixture package run whole through both front ends: only a script that
// started and ended by itself with code 0 is a successful installation, and
// standard error that no line followed is shown by the end all the same.
const struct Package
{
    const char* fixture;  // "": no install script in the package
    bool succeeds;
    QByteArrayList shows;  // in the text output
    const char* window;    // in the window's task at the end
} kPackages[] = {
    {"tasks.sh", true, {" Copying files \n"}, "Setting mode=fast"},
    {"split.sh", true, {" Copying files \n"}, "Copying files"},
    {"stderr-only.sh", true, {"Elapsed time: 00:00 ", "warning: <no network>\n"}, "warning: &lt;no network&gt;"},
    {"exit3.sh", false, {" Checking the package \n", "checksum mismatch\n"}, "checksum mismatch"},
    {"crash.sh", false, {" Copying files \n"}, "Installation failed"},
    {"unstartable.sh", false, {}, "Installation failed"},
    {"", false, {}, "Installation failed"},
};

TEST(InstallProgress, TextSaysWhetherTheInstallationWorked)
{
    for (const Package& package : kPackages) {
        TempRoot root;
        const QString folder = layOutPackage(root, package.fixture);
        platform::InstallScriptProcess process;
        CapturedOutput out;
        ProgressTUI tui(nullptr, &process, [] { return 0; }, out.file());
        QSignalSpy ended(&tui, &BaseUI::ended);
        startInstallScript(process, tui, folder);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !ended.isEmpty(); }, kWaitMs)) << package.fixture;

        const QByteArray text = out.text();
        for (const QByteArray& shown : package.shows)
            EXPECT_TRUE(text.contains(shown)) << package.fixture << ": " << text.toStdString();
        EXPECT_TRUE(text.endsWith(package.succeeds ? "Installation complete" : "Installation failed"))
            << package.fixture << ": " << text.toStdString();
        EXPECT_EQ(tui.exitCode(), package.succeeds ? 0 : 1) << package.fixture;
    }
}

TEST(InstallProgress, TheWindowEndsAfterSuccessAndStaysAfterFailure)
{
    for (const Package& package : kPackages) {
        TempRoot root;
        const QString folder = layOutPackage(root, package.fixture);
        platform::InstallScriptProcess process;
        ProgressGUI gui(nullptr, &process);
        QSignalSpy ended(&gui, &BaseUI::ended);
        QLabel* task = gui.view()->findChild<QLabel*>(QStringLiteral("currentTask"));
        startInstallScript(process, gui, folder);
        gui.show();
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return !ended.isEmpty() || task->text().startsWith("Installation failed"); }, kWaitMs))
            << package.fixture;

        EXPECT_EQ(ended.count(), package.succeeds ? 1 : 0) << package.fixture;
        EXPECT_EQ(task->text().startsWith("Installation failed"), !package.succeeds) << package.fixture;
        EXPECT_TRUE(task->text().contains(package.window)) << package.fixture << ": " << task->text().toStdString();
        EXPECT_TRUE(gui.view()->isVisible()) << package.fixture;
        EXPECT_EQ(gui.exitCode(), package.succeeds ? 0 : 1) << package.fixture;
    }
}

TEST(InstallProgress, TheScriptIsMadeExecutableForEveryone)
{
    TempRoot root;
    const QString folder = layOutPackage(root, "tasks.sh");
    const QString script = folder + "/install.sh";
    ASSERT_FALSE(QFileInfo(script).isExecutable());
    platform::InstallScriptProcess process;
    BaseUI frontEnd(nullptr, &process);
    startInstallScript(process, frontEnd, folder);
    EXPECT_EQ(QFile::permissions(script),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser
                  | QFileDevice::WriteUser | QFileDevice::ExeUser | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                  | QFileDevice::ReadOther | QFileDevice::ExeOther);
    ASSERT_TRUE(process.waitForFinished(kWaitMs));
    EXPECT_EQ(frontEnd.exitCode(), 0);
}

TEST(InstallProgress, AScriptOutsideTheRootNeverStarts)
{
    TempRoot root;
    const QString outside = layOutPackage(root, "tasks.sh");
    TempRoot other;  // now the root, without the package
    platform::InstallScriptProcess process;
    CapturedOutput out;
    ProgressTUI tui(nullptr, &process, [] { return 0; }, out.file());
    startInstallScript(process, tui, outside);
    EXPECT_EQ(process.state(), QProcess::NotRunning);
    EXPECT_EQ(out.text(), "Installation failed");
    EXPECT_EQ(tui.exitCode(), 1);
}

// The verdict, in text and in the window, comes once nothing the script
// started runs any more: a child left behind would go on changing the
// installation after "Installation complete", or after "Installation failed"
// when the script killed the process that looks after it.
TEST(InstallProgress, NothingTheScriptStartedOutlivesTheVerdict)
{
    const struct
    {
        const char* fixture;
        bool window;
        bool succeeds;
    } cases[] = {
        {"leaves-children.sh", false, true},
        {"leaves-children.sh", true, true},
        {"kills-supervisor.sh", false, false},
        {"kills-supervisor.sh", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.fixture) + (c.window ? ", window" : ", text"));
        TempRoot root;
        const QString folder = layOutPackage(root, c.fixture);
        platform::InstallScriptProcess process;
        CapturedOutput out;
        const std::unique_ptr<BaseUI> frontEnd =
            c.window ? std::unique_ptr<BaseUI>(std::make_unique<ProgressGUI>(nullptr, &process))
                   : std::make_unique<ProgressTUI>(nullptr, &process, ElapsedClock(), out.file());
        QList<qint64> runningAtTheVerdict;
        bool judged = false;
        const auto verdict = [&] {
            judged = true;
            for (const qint64 pid : notedProcesses(root.readFile("/pkg/children"))) {
                if (processRuns(pid))
                    runningAtTheVerdict << pid;
            }
        };
        // Heard right after the front end's own verdict.
        QObject::connect(&process, &QProcess::stateChanged, [&](QProcess::ProcessState state) {
            if (state == QProcess::NotRunning)
                verdict();
        });
        startInstallScript(process, *frontEnd, folder);
        ASSERT_TRUE(QTest::qWaitFor([&] { return judged; }, kWaitMs));
        EXPECT_EQ(frontEnd->exitCode(), c.succeeds ? 0 : 1);
        EXPECT_EQ(notedProcesses(root.readFile("/pkg/children")).size(), 2);
        EXPECT_TRUE(runningAtTheVerdict.isEmpty());
    }
}

// While the script runs, neither Escape nor a close ends the window, and with
// it the installation half way; once the verdict is there, it closes.
TEST(InstallProgress, TheWindowStaysWhileTheScriptRuns)
{
    TempRoot root;
    const QString folder = layOutPackage(root, "waits.sh");
    platform::InstallScriptProcess process;
    ProgressGUI gui(nullptr, &process);
    QLabel* task = gui.view()->findChild<QLabel*>(QStringLiteral("currentTask"));
    startInstallScript(process, gui, folder);
    gui.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(gui.view()));
    ASSERT_TRUE(QTest::qWaitFor([&] { return task->text() == "Waiting for the test"; }, kWaitMs));

    QTest::keyClick(gui.view(), Qt::Key_Escape);
    gui.view()->close();
    gui.view()->reject();
    EXPECT_TRUE(gui.view()->isVisible());
    EXPECT_EQ(process.state(), QProcess::Running);

    root.writeFile("/pkg/go", "3");
    ASSERT_TRUE(QTest::qWaitFor([&] { return task->text().startsWith("Installation failed"); }, kWaitMs));
    QTest::keyClick(gui.view(), Qt::Key_Escape);
    EXPECT_FALSE(gui.view()->isVisible());
}

}  // namespace
