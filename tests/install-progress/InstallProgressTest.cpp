#include "InstallProgress.h"
#include "ProgressGUI.h"
#include "ProgressTUI.h"
#include "ProgressView.h"

#include "ProgressTestSupport.h"

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
// started and ended by itself with code 0 is a successful installation.
const struct Package
{
    const char* fixture;  // "": no install script in the package
    bool succeeds;
    const char* shows;  // in the text output
} kPackages[] = {
    {"tasks.sh", true, " Copying files \n"},
    {"split.sh", true, " Copying files \n"},
    {"stderr-only.sh", true, "Elapsed time: 00:00 "},
    {"exit3.sh", false, " Checking the package \n"},
    {"crash.sh", false, " Copying files \n"},
    {"unstartable.sh", false, ""},
    {"", false, ""},
};

TEST(InstallProgress, TextSaysWhetherTheInstallationWorked)
{
    for (const Package& package : kPackages) {
        TempRoot root;
        const QString folder = layOutPackage(root, package.fixture);
        QProcess process;
        CapturedOutput out;
        ProgressTUI tui(nullptr, &process, [] { return 0; }, out.file());
        QSignalSpy ended(&tui, &BaseUI::ended);
        startInstallScript(process, tui, folder);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !ended.isEmpty(); }, kWaitMs)) << package.fixture;

        const QByteArray text = out.text();
        EXPECT_TRUE(text.contains(package.shows)) << package.fixture << ": " << text.toStdString();
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
        QProcess process;
        ProgressGUI gui(nullptr, &process);
        QSignalSpy ended(&gui, &BaseUI::ended);
        QLabel* task = gui.view()->findChild<QLabel*>(QStringLiteral("currentTask"));
        startInstallScript(process, gui, folder);
        gui.show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !ended.isEmpty() || task->text() == "Installation failed"; },
                                    kWaitMs))
            << package.fixture;

        EXPECT_EQ(ended.count(), package.succeeds ? 1 : 0) << package.fixture;
        EXPECT_EQ(task->text() == "Installation failed", !package.succeeds) << package.fixture;
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
    QProcess process;
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
    QProcess process;
    CapturedOutput out;
    ProgressTUI tui(nullptr, &process, [] { return 0; }, out.file());
    startInstallScript(process, tui, outside);
    EXPECT_EQ(process.state(), QProcess::NotRunning);
    EXPECT_EQ(out.text(), "Installation failed");
    EXPECT_EQ(tui.exitCode(), 1);
}

}  // namespace
