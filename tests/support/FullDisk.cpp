#include "FullDisk.h"

#include "FreshProcess.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

namespace {

constexpr char kSmallMediumVariable[] = "KOVA_SMALL_MEDIUM";  // set in the process that runs on it
constexpr int kSmallMediumWaitMs = 600000;                    // a whole end-to-end test

// `command` in a private user and mount namespace whose `folder` is a tmpfs of `bytes`.
QStringList onTmpfs(const QString& folder, long bytes, const QStringList& command)
{
    return QStringList{QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
                       QStringLiteral("mount -t tmpfs -o size=%1 tmpfs \"$0\" && exec \"$@\"").arg(bytes), folder}
           + command;
}

}  // namespace

bool runOnFullDisk(long limitBytes, const std::function<bool()>& job)
{
    return runInFreshProcess(
        [limitBytes] {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(limitBytes), static_cast<rlim_t>(limitBytes)};
            setrlimit(RLIMIT_FSIZE, &limit);
        },
        job);
}

bool onSmallMedium(const QString& folder, long bytes)
{
    if (qEnvironmentVariableIsSet(kSmallMediumVariable))
        return true;
    QDir().mkpath(folder);

    QProcess probe;
    probe.start(QStringLiteral("unshare"), onTmpfs(folder, bytes, {QStringLiteral("true")}));
    if (!probe.waitForFinished(30000) || probe.exitStatus() != QProcess::NormalExit) {
        ADD_FAILURE() << "unshare did not run: " << probe.errorString().toStdString();
        return false;
    }
    if (probe.exitCode() != 0) {
        const QByteArray why = probe.readAllStandardError().trimmed();
        if (probe.exitCode() == 127)
            ADD_FAILURE() << "a command is missing: " << why.toStdString();
        else  // GTEST_SKIP returns, from a function returning nothing
            [&] { GTEST_SKIP() << "the kernel refuses a private mount namespace (unshare -rm): " << why.data(); }();
        return false;
    }

    QProcessEnvironment environment = sharedRootEnvironment();
    environment.insert(QString::fromLatin1(kSmallMediumVariable), QStringLiteral("1"));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QStringLiteral("unshare"), onTmpfs(folder, bytes, thisTestAgain()));
    const bool ended = child.waitForFinished(kSmallMediumWaitMs);
    if (!ended) {
        child.kill();
        child.waitForFinished();
    }
    if (!ended || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
        ADD_FAILURE() << "the test on a small medium failed (" << (ended ? "exit code " : "hung, ")
                      << child.exitCode() << "):\n" << child.readAll().toStdString();
    return false;
}
