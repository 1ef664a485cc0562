#include "platform/InstallScript.h"

#include "FreshProcess.h"
#include "Processes.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTest>

#include <functional>

namespace {

constexpr long kMiB = 1 << 20;

// Only a script that started and ended by itself with code 0 worked; the
// reason of every other ending is told.
TEST(InstallScript, HowARunEnded)
{
    const struct
    {
        const char* name;
        const char* script;  // nullptr: none in the package
        int timeLimitMs;
        bool succeeded;
        const char* reason;
    } cases[] = {
        {"exit 0", "echo out; echo err >&2\n", 60000, true, ""},
        {"exit 3", "exit 3\n", 60000, false, "ended with code 3"},
        {"crash", "kill -SEGV $$\n", 60000, false, "crashed"},
        {"no script", nullptr, 60000, false, "no install script"},
        {"too long", "sleep 1000\n", 1, false, "ran longer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        root.writeFile("/pkg/VERSION", "1.0.3");
        if (c.script)
            root.writeFile("/pkg/install.sh", QByteArray("#!/bin/sh\n") + c.script);
        const platform::InstallScriptRun run = platform::runInstallScript(root.path("/pkg"), c.timeLimitMs);
        EXPECT_EQ(run.succeeded, c.succeeded);
        EXPECT_TRUE(run.errorString.contains(c.reason)) << run.errorString.toStdString();
        if (c.succeeded) {
            EXPECT_EQ(run.output, "out\nerr\n");
        }
    }
}

// Stopped, the script ends together with what it started.
TEST(InstallScript, StoppingEndsTheScriptAndItsChildren)
{
    TempRoot root;
    root.writeFile("/pkg/install.sh", "#!/bin/sh\nsleep 1000 &\necho $! > child\nwait\n");
    const platform::InstallScriptRun run = platform::runInstallScript(
        root.path("/pkg"), 600000, [&] { return !root.readFile("/pkg/child").trimmed().isEmpty(); });
    EXPECT_FALSE(run.succeeded);
    EXPECT_TRUE(run.errorString.contains("stopped")) << run.errorString.toStdString();
    const qint64 child = root.readFile("/pkg/child").trimmed().toLongLong();
    ASSERT_GT(child, 0);
    EXPECT_FALSE(processRuns(child));
}

// Whatever the script started, however it left it behind, has ended by the
// time the run reports, and the verdict is still the script's own. Each
// script notes its descendants' ids in "pids" before it goes on.
TEST(InstallScript, NothingTheScriptStartedOutlivesTheRun)
{
    // Waits until `n` ids are noted.
    const auto noted = [](int n) {
        return QByteArray("while [ \"$(cat pids 2>/dev/null | wc -l)\" -lt ") + QByteArray::number(n)
               + " ]; do sleep 0.01; done\n";
    };
    const struct
    {
        const char* name;
        QByteArray script;
        int timeLimitMs;
        bool succeeded;
        const char* reason;
    } cases[] = {
        {"a background child, then a failure", "( sleep 3; echo LATE > late ) &\necho $! >> pids\nexit 1\n", 60000,
         false, "code 1"},
        {"a background child, then success", "sleep 1000 &\necho $! >> pids\nexit 0\n", 60000, true, ""},
        {"a child in a session of its own",
         "setsid sh -c 'echo $$ >> pids; exec sleep 1000' &\n" + noted(1) + "exit 0\n", 60000, true, ""},
        {"a daemon, forked twice",
         "( setsid sh -c 'echo $$ >> pids; exec sleep 1000' & ) \n" + noted(1) + "exit 0\n", 60000, true, ""},
        {"a child that ignores TERM",
         "sh -c 'trap \"\" TERM; echo $$ >> pids; while :; do sleep 1; done' &\n" + noted(1) + "exit 0\n", 60000,
         true, ""},
        {"a session of its own, then too long",
         "setsid sh -c 'echo $$ >> pids; exec sleep 1000' &\n" + noted(1) + "sleep 1000\n", 1000, false, "ran longer"},
        // What the supervisor had in its care passes up to the runner.
        {"the supervisor killed",
         "( sleep 3; echo LATE > late ) &\necho $! >> pids\necho $$ >> pids\nkill -KILL $PPID\nsleep 1000\n", 60000,
         false, "crashed"},
        {"the supervisor killed, a session of its own and a child that ignores TERM",
         "setsid sh -c 'echo $$ >> pids; exec sleep 1000' &\n"
         "sh -c 'trap \"\" TERM; echo $$ >> pids; while :; do sleep 1; done' &\n"
             + noted(2) + "kill -KILL $PPID\nexec sleep 1000\n",
         60000, false, "crashed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        root.writeFile("/pkg/install.sh", "#!/bin/sh\n" + c.script);
        const platform::InstallScriptRun run = platform::runInstallScript(root.path("/pkg"), c.timeLimitMs);
        EXPECT_EQ(run.succeeded, c.succeeded);
        EXPECT_TRUE(run.errorString.contains(c.reason)) << run.errorString.toStdString();
        const QList<qint64> pids = notedProcesses(root.readFile("/pkg/pids"));
        ASSERT_FALSE(pids.isEmpty());
        for (const qint64 pid : pids)
            EXPECT_FALSE(processRuns(pid)) << pid;
        EXPECT_FALSE(QFileInfo::exists(root.path("/pkg/late")));
    }
}

// The time limit holds: a script that would run on is ended once it has
// passed, well before ten times as long.
TEST(InstallScript, TheTimeLimitHolds)
{
    constexpr int kLimitMs = 2000;
    TempRoot root;
    root.writeFile("/pkg/install.sh", "#!/bin/sh\nsleep 1000\n");
    QElapsedTimer clock;
    clock.start();
    const platform::InstallScriptRun run = platform::runInstallScript(root.path("/pkg"), kLimitMs);
    const qint64 took = clock.elapsed();
    EXPECT_TRUE(run.errorString.contains("ran longer")) << run.errorString.toStdString();
    EXPECT_GE(took, kLimitMs);
    EXPECT_LT(took, 10 * kLimitMs);
}

// A script that prints without end is read as it prints, in bounded memory:
// the run keeps the end of its output, where the reason of a failure stands,
// and its time limit holds.
TEST(InstallScript, OutputIsReadAsItComesAndOnlyItsTailKept)
{
    const struct
    {
        const char* name;
        QByteArray script;
        int timeLimitMs;
        const char* reason;
        QByteArray ends;  // the last output kept; empty: cut where it was ended
    } cases[] = {
        {"256 MiB, then a failure", "dd if=/dev/zero bs=1M count=256 2>/dev/null\necho\necho 'cp: cannot stat'\nexit 1\n", 600000,
         "code 1", "\ncp: cannot stat\n"},
        {"without end", "yes 'cp: cannot stat'\n", 1000, "ran longer", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        root.writeFile("/pkg/install.sh", "#!/bin/sh\n" + c.script);
        EXPECT_TRUE(runWithAddressSpaceRoom(128 * kMiB, [&] {
            const platform::InstallScriptRun run = platform::runInstallScript(root.path("/pkg"), c.timeLimitMs);
            EXPECT_FALSE(run.succeeded);
            EXPECT_TRUE(run.errorString.contains(c.reason)) << run.errorString.toStdString();
            EXPECT_EQ(run.output.size(), platform::kOutputTailBytes);
            if (!c.ends.isEmpty()) {
                EXPECT_TRUE(run.output.endsWith(c.ends));
            } else {
                // The flood's latest lines, whole between the two cuts.
                QByteArrayList lines = run.output.split('\n');
                EXPECT_GT(lines.size(), 2);
                EXPECT_TRUE(QByteArray("cp: cannot stat").endsWith(lines.takeFirst()));
                EXPECT_TRUE(QByteArray("cp: cannot stat").startsWith(lines.takeLast()));
                EXPECT_EQ(lines.size(), lines.count("cp: cannot stat"));
            }
            EXPECT_GT(run.outputBytes, 2 * platform::kOutputTailBytes);
            return !::testing::Test::HasFailure();
        }));
    }
}

}  // namespace
