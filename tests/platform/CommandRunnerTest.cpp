#include "platform/CommandRunner.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>

using platform::CommandRunner;

TEST(CommandRunner, MachineChangingCommandsAreNeverTakenFromTheHost)
{
    TempRoot root;
    for (const char* name : {"shutdown", "reboot", "poweroff", "systemctl", "mount", "umount", "ifup",
                             "ifdown", "ip", "wpa_cli", "timedatectl", "logrotate", "hwclock"}) {
        EXPECT_TRUE(CommandRunner::changesMachine(name)) << name;
        EXPECT_TRUE(CommandRunner::resolveProgram(name).isEmpty()) << name;
        const auto result = CommandRunner::run(name, {"--help"}, 2000);
        EXPECT_FALSE(result.started) << name;
        EXPECT_FALSE(result.succeeded()) << name;
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

TEST(CommandRunner, OrdinaryToolsComeFromTheHostPath)
{
    TempRoot root;
    const auto result = CommandRunner::run("echo", {"hello"});
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput, QByteArray("hello\n"));
}

TEST(CommandRunner, ArgumentsAreNeverInterpretedByAShell)
{
    TempRoot root;
    const QString hostile = "$(touch " + root.path("/pwned") + "); `id`";
    const auto result = CommandRunner::run("echo", {hostile});
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
