#include "FreshProcess.h"
#include "Processes.h"

#include "TempRoot.h"

#include <QCoreApplication>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr char kJobVariable[] = "KOVA_FRESH_PROCESS_JOB";          // the call whose job the child runs
constexpr char kResultsVariable[] = "KOVA_FRESH_PROCESS_RESULTS";  // earlier calls' results, "0" or "1" each
constexpr int kJobTrue = 10;
constexpr int kJobFalse = 11;
constexpr int kChildWaitMs = 180000;

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

[[noreturn]] void runJobHere(const std::function<void()>& limit, const std::function<bool()>& job)
{
    limit();
    const bool result = job();
    std::fflush(nullptr);
    _exit(result ? kJobTrue : kJobFalse);
}

}  // namespace

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

bool runWithAddressSpaceRoom(long roomBytes, const std::function<bool()>& job)
{
    return runInFreshProcess(
        [roomBytes] {
            const rlim_t most = static_cast<rlim_t>(mappedBytes(getpid()) + roomBytes);
            const rlimit limit{most, most};
            setrlimit(RLIMIT_AS, &limit);
        },
        job);
}

bool runInFreshProcess(const std::function<void()>& limit, const std::function<bool()>& job)
{
    QByteArray& results = resultsOfThisTest();
    if (qEnvironmentVariableIsSet(kJobVariable)) {
        const int jobIndex = qEnvironmentVariableIntValue(kJobVariable);
        if (results.size() == jobIndex)
            runJobHere(limit, job);
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
        ADD_FAILURE() << "the job in a fresh process did not end normally (" << (ended ? "exit code " : "hung, ")
                      << code << "):\n" << child.readAll().toStdString();
        results += '0';
        return false;
    }
    results += code == kJobTrue ? '1' : '0';
    return code == kJobTrue;
}
