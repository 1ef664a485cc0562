#include "FullDisk.h"

#include "TempRoot.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr char kJobVariable[] = "KOVA_FULL_DISK_JOB";          // the call whose job the child runs
constexpr char kResultsVariable[] = "KOVA_FULL_DISK_RESULTS";  // earlier calls' results, "0" or "1" each
constexpr int kJobTrue = 10;
constexpr int kJobFalse = 11;
constexpr int kChildWaitMs = 180000;
constexpr char kSmallMediumVariable[] = "KOVA_SMALL_MEDIUM";  // set in the process that runs on it
constexpr int kSmallMediumWaitMs = 600000;                    // a whole end-to-end test

std::string currentTest()
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return info ? std::string(info->test_suite_name()) + "." + info->name() : std::string();
}

// The results of this test's calls so far, one character each.
QByteArray& resultsOfThisTest()
{
    static std::string test;
    static QByteArray results;
    if (test != currentTest()) {
        test = currentTest();
        results.clear();
    }
    return results;
}

[[noreturn]] void runJobHere(long limitBytes, const std::function<bool()>& job)
{
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{static_cast<rlim_t>(limitBytes), static_cast<rlim_t>(limitBytes)};
    setrlimit(RLIMIT_FSIZE, &limit);
    const bool result = job();
    std::fflush(nullptr);
    _exit(result ? kJobTrue : kJobFalse);
}

// This test program again, with only the current test, on the same root.
QStringList thisTestAgain()
{
    return {QCoreApplication::applicationFilePath(),
            QStringLiteral("--gtest_filter=") + QString::fromStdString(currentTest())};
}

QProcessEnvironment sharedRootEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(TempRoot::kSharedRootVariable), qEnvironmentVariable("KOVA3_ROOT"));
    return environment;
}

// `command` in a private user and mount namespace whose `folder` is a tmpfs of `bytes`.
QStringList onTmpfs(const QString& folder, long bytes, const QStringList& command)
{
    return QStringList{QStringLiteral("-rm"), QStringLiteral("sh"), QStringLiteral("-c"),
                       QStringLiteral("mount -t tmpfs -o size=%1 tmpfs \"$0\" && exec \"$@\"").arg(bytes), folder}
           + command;
}

}  // namespace

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

bool runOnFullDisk(long limitBytes, const std::function<bool()>& job)
{
    QByteArray& results = resultsOfThisTest();
    if (qEnvironmentVariableIsSet(kJobVariable)) {
        const int jobIndex = qEnvironmentVariableIntValue(kJobVariable);
        if (results.size() == jobIndex)
            runJobHere(limitBytes, job);
        const bool earlier = qgetenv(kResultsVariable).mid(results.size(), 1) == "1";
        results += earlier ? '1' : '0';
        return earlier;
    }

    QProcessEnvironment environment = sharedRootEnvironment();
    environment.insert(QString::fromLatin1(kJobVariable), QString::number(results.size()));
    environment.insert(QString::fromLatin1(kResultsVariable), QString::fromLatin1(results));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    const QStringList command = thisTestAgain();
    child.start(command.first(), command.mid(1));
    const bool ended = child.waitForFinished(kChildWaitMs);
    if (!ended) {
        child.kill();
        child.waitForFinished();
    }
    const int code = child.exitCode();
    if (!ended || child.exitStatus() != QProcess::NormalExit || (code != kJobTrue && code != kJobFalse)) {
        ADD_FAILURE() << "the full-disk job did not end normally (" << (ended ? "exit code " : "hung, ")
                      << code << "):\n" << child.readAll().toStdString();
        results += '0';
        return false;
    }
    results += code == kJobTrue ? '1' : '0';
    return code == kJobTrue;
}
