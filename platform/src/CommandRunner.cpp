#include "platform/CommandRunner.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>

namespace platform {

namespace {

// The host tools a program may take from the host PATH under a root other
// than "/": they read, or write only what their arguments name. Everything
// else, above all what changes the machine (power, mounts, network, clock,
// logs, under whatever alias), must have a stand-in under the root.
const QStringList kHostTools = {
    QStringLiteral("awk"),   QStringLiteral("df"),    QStringLiteral("grep"),    QStringLiteral("gzip"),
    QStringLiteral("ls"),    QStringLiteral("md5sum"), QStringLiteral("pidof"), QStringLiteral("readelf"),
    QStringLiteral("sync"),  QStringLiteral("tar"),
};

const QStringList kRootBinFolders = {
    QStringLiteral("/bin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin"),
};

bool liesInside(const QString& path, const QString& folder)
{
    return !folder.isEmpty() && (path == folder || path.startsWith(folder + QLatin1Char('/')));
}

QString canonicalRoot()
{
    return QFileInfo(instrumentRoot()).canonicalFilePath();
}

// `path` when it is an executable file that stays inside the root once its
// links are followed; else an empty string.
QString programInsideRoot(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isFile() || !info.isExecutable() || !liesInside(info.canonicalFilePath(), canonicalRoot()))
        return QString();
    return path;
}

// A relative program path against its working folder. Under a root, the
// folder is taken by its canonical path, so neither ".." nor a link in the
// folder's path leads out of the root.
QString resolveInFolder(const QString& program, const QString& workingDirectory)
{
    const QString folder = workingDirectory.isEmpty() ? QDir::currentPath() : workingDirectory;
    if (isRealInstrument())
        return QDir::cleanPath(QDir(folder).absoluteFilePath(program));

    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    if (!liesInside(canonicalFolder, canonicalRoot()))
        return QString();
    return programInsideRoot(QDir::cleanPath(canonicalFolder + QLatin1Char('/') + program));
}

}  // namespace

QString CommandRunner::resolveProgram(const QString& program, const QString& workingDirectory)
{
    if (program.isEmpty())
        return QString();
    const bool absolute = program.startsWith(QLatin1Char('/'));
    if (!absolute && program.contains(QLatin1Char('/')))
        return resolveInFolder(program, workingDirectory);
    if (isRealInstrument())
        return program;
    if (absolute)
        return programInsideRoot(rootPath(program));

    for (const QString& folder : kRootBinFolders) {
        const QString candidate = programInsideRoot(rootPath(folder + QLatin1Char('/') + program));
        if (!candidate.isEmpty())
            return candidate;
    }
    return kHostTools.contains(program) ? QStandardPaths::findExecutable(program) : QString();
}

bool CommandRunner::prepare(QProcess& process, const QString& program, const QStringList& arguments,
                            const QString& workingDirectory)
{
    const QString resolved = resolveProgram(program, workingDirectory);
    if (resolved.isEmpty()) {
        KLOG << "command not available:" << program;
        return false;
    }
    process.setProgram(resolved);
    process.setArguments(arguments);
    if (!workingDirectory.isEmpty())
        process.setWorkingDirectory(workingDirectory);
    return true;
}

DetachedStart CommandRunner::startDetached(const QString& program, const QStringList& arguments,
                                           const QString& workingDirectory)
{
    DetachedStart result;
    QProcess process;
    if (!prepare(process, program, arguments, workingDirectory)) {
        result.errorString = QStringLiteral("command not available: %1").arg(program);
        return result;
    }
    // A detached start would run the child in the caller's folder instead.
    if (!workingDirectory.isEmpty() && !QFileInfo(workingDirectory).isDir()) {
        result.errorString = QStringLiteral("no working folder %1").arg(workingDirectory);
        KLOG << "command did not start:" << program << result.errorString;
        return result;
    }
    KLOG << "start detached:" << program << arguments.join(QLatin1Char(' '));
    result.started = process.startDetached(&result.pid);
    if (!result.started) {
        result.errorString = process.errorString();
        KLOG << "command did not start:" << program << result.errorString;
    }
    return result;
}

CommandResult CommandRunner::run(const QString& program, const QStringList& arguments, int timeoutMs,
                                 const QString& workingDirectory)
{
    QProcess process;
    if (!prepare(process, program, arguments, workingDirectory))
        return CommandResult();
    return runPrepared(process, timeoutMs);
}

CommandResult CommandRunner::run(const QString& program, const QStringList& arguments, int timeoutMs,
                                 const OutputReader& reader)
{
    CommandResult result;
    QProcess process;
    if (!prepare(process, program, arguments))
        return result;
    KLOG << "run:" << process.program() << arguments.join(QLatin1Char(' '));
    process.start();
    if (!process.waitForStarted(timeoutMs)) {
        KLOG << "command did not start:" << program << process.errorString();
        return result;
    }
    result.started = true;
    const QDeadlineTimer deadline(timeoutMs);
    while (process.state() != QProcess::NotRunning && !result.stopped && !result.timedOut) {
        // Returns with each piece of standard output, so little waits unread.
        process.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 100)));
        const QByteArray piece = process.readAllStandardOutput();
        result.standardError = (result.standardError + process.readAllStandardError()).right(kErrorTailBytes);
        result.stopped = !piece.isEmpty() && !reader(piece);
        result.timedOut = !result.stopped && deadline.hasExpired() && process.state() != QProcess::NotRunning;
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(1000);
        KLOG << "command" << (result.stopped ? "stopped:" : "timed out:") << program;
    }
    // What came with the end.
    const QByteArray last = process.readAllStandardOutput();
    if (!result.stopped && !last.isEmpty())
        result.stopped = !reader(last);
    result.standardError = (result.standardError + process.readAllStandardError()).right(kErrorTailBytes);
    result.crashed = !result.timedOut && !result.stopped && process.exitStatus() == QProcess::CrashExit;
    if (!result.timedOut && !result.stopped && !result.crashed)
        result.exitCode = process.exitCode();
    return result;
}

CommandResult CommandRunner::runPrepared(QProcess& process, int timeoutMs)
{
    CommandResult result;
    const QString program = process.program();
    KLOG << "run:" << program << process.arguments().join(QLatin1Char(' '));
    process.start();
    if (!process.waitForStarted(timeoutMs)) {
        KLOG << "command did not start:" << program << process.errorString();
        return result;
    }
    result.started = true;
    if (!process.waitForFinished(timeoutMs)) {
        result.timedOut = true;
        process.kill();
        process.waitForFinished(1000);
        KLOG << "command timed out:" << program;
    }
    result.crashed = !result.timedOut && process.exitStatus() == QProcess::CrashExit;
    if (!result.timedOut && !result.crashed)
        result.exitCode = process.exitCode();
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    return result;
}

}  // namespace platform
