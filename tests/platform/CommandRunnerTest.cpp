#include "platform/CommandRunner.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using platform::CommandRunner;

// Under a test root nothing but a few harmless host tools resolves outside
// it, whatever form the program's name takes.
TEST(CommandRunner, NothingResolvesOutsideTheRoot)
{
    TempRoot root;
    root.writeScript("/usr/bin/tool", "true\n");
    QDir().mkpath(root.path("/pkg"));
    // A stand-in that is only a link to a host program does not count.
    const QString hostProgram = QStandardPaths::findExecutable("true");
    ASSERT_FALSE(hostProgram.isEmpty());
    QDir().mkpath(root.path("/usr/sbin"));
    ASSERT_TRUE(QFile::link(hostProgram, root.path("/usr/sbin/halt")));
    const QString awk = QStandardPaths::findExecutable("awk");
    ASSERT_FALSE(awk.isEmpty());

    const struct
    {
        QString program, folder, expected;
    } cases[] = {
        // Machine-changing commands and their host aliases.
        {"shutdown", {}, {}}, {"reboot", {}, {}}, {"poweroff", {}, {}}, {"halt", {}, {}},
        {"init", {}, {}}, {"telinit", {}, {}}, {"systemctl", {}, {}}, {"mount", {}, {}},
        {"umount", {}, {}}, {"ifup", {}, {}}, {"ifdown", {}, {}}, {"ip", {}, {}},
        {"wpa_cli", {}, {}}, {"timedatectl", {}, {}}, {"logrotate", {}, {}}, {"hwclock", {}, {}},
        // Any other host program by name.
        {"true", {}, {}}, {"sh", {}, {}},
        // Absolute paths, with ".." that would climb out.
        {"/usr/bin/mount", {}, {}}, {"/../../usr/bin/mount", {}, {}}, {"/bin/../../../bin/true", {}, {}},
        {"/usr/bin/../bin/tool", {}, root.path("/usr/bin/tool")},
        // Relative paths: from the working folder, never from the host.
        {"usr/bin/mount", {}, {}}, {"usr/bin/tool", root.root(), root.path("/usr/bin/tool")},
        {"../../../../../../usr/bin/mount", root.path("/pkg"), {}},
        {"../usr/bin/tool", root.path("/pkg"), root.path("/usr/bin/tool")},
        // A link under the root that leads to the host.
        {"halt", {}, {}}, {"/usr/sbin/halt", {}, {}},
        // The harmless host tools.
        {"awk", {}, awk},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program.toStdString() + " in " + c.folder.toStdString());
        EXPECT_EQ(CommandRunner::resolveProgram(c.program, c.folder), c.expected);
        if (c.expected.isEmpty()) {
            EXPECT_FALSE(CommandRunner::run(c.program, {"--help"}, 2000, c.folder).started);
            EXPECT_FALSE(CommandRunner::startDetached(c.program, {"--help"}, c.folder).started);
        }
    }
}

TEST(CommandRunner, StandInUnderTheRootRunsInsteadOfTheHostCommand)
{
    TempRoot root;
    root.writeScript("/usr/bin/systemctl", "echo \"$@\" > \"$KOVA3_ROOT/systemctl.args\"\nexit 3\n");
    const auto result = CommandRunner::run("systemctl", {"poweroff"});
    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(root.readFile("/systemctl.args"), QByteArray("poweroff\n"));
}

TEST(CommandRunner, RootBinFoldersAreSearchedInOrder)
{
    TempRoot root;
    root.writeScript("/usr/sbin/tool", "echo usr-sbin\n");
    root.writeScript("/sbin/tool", "echo sbin\n");
    EXPECT_EQ(CommandRunner::run("tool", {}).standardOutput, QByteArray("sbin\n"));
}

TEST(CommandRunner, AbsoluteProgramPathIsResolvedUnderTheRoot)
{
    TempRoot root;
    root.writeScript("/opt/KOVA3/bin/check-link.sh", "echo linked \"$1\"\n");
    const auto result = CommandRunner::run("/opt/KOVA3/bin/check-link.sh", {"eth0"});
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput, QByteArray("linked eth0\n"));

    // The host's own /bin/true is not under the root.
    ASSERT_TRUE(QFileInfo::exists("/bin/true"));
    EXPECT_FALSE(CommandRunner::run("/bin/true", {}).started);
}

TEST(CommandRunner, HarmlessToolsComeFromTheHostPath)
{
    TempRoot root;
    const auto result = CommandRunner::run("awk", {"BEGIN { print \"hello\" }"});
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput, QByteArray("hello\n"));
}

TEST(CommandRunner, ArgumentsAreNeverInterpretedByAShell)
{
    TempRoot root;
    const QString hostile = "$(touch " + root.path("/pwned") + "); `id`";
    const auto result = CommandRunner::run("awk", {"BEGIN { print ARGV[1] }", hostile});
    EXPECT_EQ(result.standardOutput, (hostile + "\n").toUtf8());
    EXPECT_FALSE(QFileInfo::exists(root.path("/pwned")));
}

TEST(CommandRunner, AHangingCommandIsKilledAtTheTimeOut)
{
    TempRoot root;
    root.writeScript("/usr/bin/hang", "exec sleep 30\n");
    QElapsedTimer clock;
    clock.start();
    // Long enough for the start itself on a loaded machine.
    const auto result = CommandRunner::run("hang", {}, 2000);
    EXPECT_TRUE(result.started);
    EXPECT_TRUE(result.timedOut);
    EXPECT_FALSE(result.succeeded());
    EXPECT_LT(clock.elapsed(), 20000);
}

TEST(CommandRunner, MissingProgramDoesNotStart)
{
    TempRoot root;
    EXPECT_FALSE(CommandRunner::run("no-such-program-kova", {}).started);
    EXPECT_FALSE(CommandRunner::run("", {}).started);
}

TEST(CommandRunner, DetachedStartIsResolvedAndRefusedAsARun)
{
    TempRoot root;
    // Each stand-in writes its arguments and working folder, then the test
    // waits for that file: the runner does not watch a detached child.
    const QByteArray record = "echo \"$@ in $(pwd)\" > \"$KOVA3_ROOT/$(basename \"$0\").args\"\n";
    root.writeScript("/usr/bin/systemctl", record);
    root.writeScript("/opt/KOVA3/bin/capture", record);
    QDir().mkpath(root.path("/opt/KOVA3/bin"));
    ASSERT_TRUE(QFileInfo::exists("/bin/true"));

    struct Case
    {
        const char* program;
        QStringList arguments;
        QString workingDirectory;
        bool started;
        const char* argsFile;  // logical path of the stand-in's record, or null
        QByteArray recorded;
    };
    const Case cases[] = {
        {"systemctl", {"reboot"}, {}, true, "/systemctl.args", "reboot in " + QDir::currentPath().toUtf8() + "\n"},
        {"/opt/KOVA3/bin/capture", {}, root.path("/opt/KOVA3/bin"), true, "/capture.args",
         " in " + root.path("/opt/KOVA3/bin").toUtf8() + "\n"},
        {"/opt/KOVA3/bin/../bin/capture", {"x"}, root.path("/"), true, "/capture.args",
         "x in " + root.root().toUtf8() + "\n"},
        {"shutdown", {"-h", "now"}, {}, false, nullptr, {}},  // never the host's
        {"/bin/true", {}, {}, false, nullptr, {}},             // not under the root
        {"no-such-program-kova", {}, {}, false, nullptr, {}},
        {"", {}, {}, false, nullptr, {}},
        {"systemctl", {"reboot"}, root.path("/no-such-folder"), false, nullptr, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        if (c.argsFile)
            QFile::remove(root.path(c.argsFile));
        const auto result = CommandRunner::startDetached(c.program, c.arguments, c.workingDirectory);
        EXPECT_EQ(result.started, c.started);
        EXPECT_EQ(result.errorString.isEmpty(), c.started) << result.errorString.toStdString();
        if (!c.started)
            continue;
        EXPECT_GT(result.pid, 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return root.readFile(c.argsFile).endsWith('\n'); }, 30000));
        EXPECT_EQ(root.readFile(c.argsFile), c.recorded);
    }
}

// A relative program path with a slash comes from its working folder only,
// and under a root only from inside it.
TEST(CommandRunner, RelativeProgramPathIsTakenFromItsWorkingFolder)
{
    TempRoot root;
    const QTemporaryDir outside;
    ASSERT_TRUE(outside.isValid());
    const QString package = QFileInfo(root.writeScript("/pkg/install.sh", "echo package\n")).canonicalPath();
    root.writeScript("/pkg/sub/tool.sh", "true\n");
    root.writeFile("/pkg/plain.sh", "#!/bin/sh\n");
    QFile::link(outside.path(), root.path("/link"));
    const QString outsideFolder = QFileInfo(outside.path()).canonicalFilePath();
    QFile script(outsideFolder + "/install.sh");
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    const QString escape = "../../" + QFileInfo(outsideFolder).fileName() + "/install.sh";

    const struct {
        const char* what;
        QString root, program, folder, expected;
    } cases[] = {
        {"in the package", root.root(), "./install.sh", root.path("/pkg"), package + "/install.sh"},
        {"in a subfolder", root.root(), "sub/tool.sh", root.path("/pkg"), package + "/sub/tool.sh"},
        {"no folder: the current one", root.root(), "./install.sh", "", package + "/install.sh"},
        {"missing", root.root(), "./missing.sh", root.path("/pkg"), ""},
        {"not executable", root.root(), "./plain.sh", root.path("/pkg"), ""},
        {"never the host PATH", root.root(), "./echo", root.path("/pkg"), ""},
        {"folder outside the root", root.root(), "./install.sh", outside.path(), ""},
        {"folder linked outside", root.root(), "./install.sh", root.path("/link"), ""},
        {"\"..\" out of the root", root.root(), escape, root.path("/pkg"), ""},
        {"the real instrument", "/", "./install.sh", outside.path(), outside.path() + "/install.sh"},
    };
    const QString current = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(root.path("/pkg")));
    for (const auto& c : cases) {
        qputenv("KOVA3_ROOT", c.root.toLocal8Bit());
        EXPECT_EQ(CommandRunner::resolveProgram(c.program, c.folder), c.expected) << c.what;
    }
    QDir::setCurrent(current);
    qputenv("KOVA3_ROOT", root.root().toLocal8Bit());

    const auto result = CommandRunner::run("./install.sh", {}, CommandRunner::kDefaultTimeoutMs, root.path("/pkg"));
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput, QByteArray("package\n"));
}
