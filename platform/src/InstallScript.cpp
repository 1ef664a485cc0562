#include "platform/InstallScript.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <signal.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr int kPollMs = 100;

// A child that leads a process group of its own, so that ending the group
// ends whatever the script started as well.
class GroupProcess : public QProcess
{
protected:
    void setupChildProcess() override { ::setpgid(0, 0); }
};

// TERM to the whole group, KILL to what is left of it after the grace time.
// `group` is the leader's id, taken while it ran: once it is reaped the
// process no longer knows it, but the group lives on in its children.
void endGroup(QProcess& leader, qint64 group)
{
    ::kill(-static_cast<pid_t>(group), SIGTERM);
    leader.waitForFinished(kEndGraceMs);
    ::kill(-static_cast<pid_t>(group), SIGKILL);
    leader.waitForFinished(kEndGraceMs);
}

}  // namespace

bool prepareInstallScript(QProcess& process, const QString& packageFolder)
{
    // Unchecked: a script that still cannot be run fails to start, a failed installation.
    QFile::setPermissions(QDir(packageFolder).filePath(QString::fromLatin1(kInstallScriptName)),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                              | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                              | QFileDevice::ExeOther);
    return CommandRunner::prepare(process, QStringLiteral("./") + QString::fromLatin1(kInstallScriptName),
                                  QStringList(), packageFolder);
}

bool installScriptSucceeded(bool started, const QProcess& process)
{
    return started && process.state() == QProcess::NotRunning && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

InstallScriptRun runInstallScript(const QString& packageFolder, int timeLimitMs, const std::function<bool()>& stop)
{
    InstallScriptRun run;
    GroupProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    if (!prepareInstallScript(process, packageFolder)) {
        run.errorString = QStringLiteral("no install script to run in %1").arg(packageFolder);
        return run;
    }
    KLOG << "run:" << process.program() << "in" << packageFolder;
    process.start(QIODevice::ReadOnly);
    if (!process.waitForStarted()) {
        run.errorString = QStringLiteral("the install script did not start: %1").arg(process.errorString());
        return run;
    }
    const qint64 group = process.processId();
    QElapsedTimer clock;
    clock.start();
    while (!process.waitForFinished(kPollMs) && process.state() != QProcess::NotRunning) {
        const bool timedOut = clock.elapsed() >= timeLimitMs;
        if (timedOut || (stop && stop())) {
            endGroup(process, group);
            run.errorString = timedOut ? QStringLiteral("the install script ran longer than %1 s and was ended")
                                             .arg(timeLimitMs / 1000)
                                       : QStringLiteral("the install script was stopped");
            break;
        }
    }
    run.output = process.readAll();
    if (run.errorString.isEmpty()) {
        run.succeeded = installScriptSucceeded(true, process);
        if (!run.succeeded)
            run.errorString = process.exitStatus() == QProcess::CrashExit
                                  ? QStringLiteral("the install script crashed")
                                  : QStringLiteral("the install script ended with code %1").arg(process.exitCode());
    }
    KLOG << "install script:" << (run.succeeded ? QStringLiteral("done") : run.errorString);
    return run;
}

}  // namespace platform
