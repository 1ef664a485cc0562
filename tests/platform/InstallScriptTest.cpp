#include "platform/InstallScript.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTest>

#include <functional>

namespace {

bool alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    return stat.open(QIODevice::ReadOnly) && !stat.readAll().contains(") Z ");
}

// Only a script that started and ended by itself with code 0 worked; the
// reason of every other ending is told.
TEST(InstallScript, HowARunEnded)
{
    const struct
    {
        const char* name;
        const char* script;  // nullptr: none in the package
        bool succeeded;
        const char* reason;
    } cases[] = {
        {"exit 0", "echo out; echo err >&2\n", true, ""},
        {"exit 3", "exit 3\n", false, "ended with code 3"},
        {"crash", "kill -SEGV $$\n", false, "crashed"},
        {"no script", nullptr, false, "no install script"},
        {"too long", "sleep 1000\n", false, "ran longer"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        root.writeFile("/pkg/VERSION", "1.0.3");
        if (c.script)
            root.writeFile("/pkg/install.sh", QByteArray("#!/bin/sh\n") + c.script);
        const platform::InstallScriptRun run = platform::runInstallScript(root.path("/pkg"), c.succeeded ? 60000 : 1);
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
    EXPECT_TRUE(QTest::qWaitFor([&] { return !alive(child); }, 30000));
}

}  // namespace
