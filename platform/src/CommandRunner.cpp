#include "platform/CommandRunner.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

namespace platform {

namespace {

const QStringList kMachineChangingCommands = {
    QStringLiteral("shutdown"),  QStringLiteral("reboot"),      QStringLiteral("poweroff"),
    QStringLiteral("systemctl"), QStringLiteral("mount"),       QStringLiteral("umount"),
    QStringLiteral("ifup"),      QStringLiteral("ifdown"),      QStringLiteral("ip"),
    QStringLiteral("wpa_cli"),   QStringLiteral("timedatectl"), QStringLiteral("logrotate"),
    QStringLiteral("hwclock"),
};

const QStringList kRootBinFolders = {
    QStringLiteral("/bin"), QStringLiteral("/sbin"), QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin"),
};

bool isExecutableFile(const QString& path)
{
    const QFileInfo info(path);
    return info.isFile() && info.isExecutable();
}

bool liesInside(const QString& path, const QString& folder)
{
    return !folder.isEmpty() && (path == folder || path.startsWith(folder + QLatin1Char('/')));
}

// A relative program path against its working folder. Under a root, both are
// compared by their canonical paths, so neither ".." nor a link in the
// folder's path leads out of the root.
QString resolveInFolder(const QString& program, const QString& workingDirectory)
{
    const QString folder = workingDirectory.isEmpty() ? QDir::currentPath() : workingDirectory;
    if (isRealInstrument())
        return QDir::cleanPath(QDir(folder).absoluteFilePath(program));

    const QString root = QFileInfo(instrumentRoot()).canonicalFilePath();
    const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
    const QString path = QDir::cleanPath(canonicalFolder + QLatin1Char('/') + program);
    if (!liesInside(canonicalFolder, root) || !liesInside(path, root) || !isExecutableFile(path))
        return QString();
    return path;
}

}  // namespace

bool CommandRunner::changesMachine(const QString& program)
{
    return kMachineChangingCommands.contains(QFileInfo(program).fileName());
}

QString CommandRunner::resolveProgram(const QString& program, const QString& workingDirectory)
{
    if (program.isEmpty())
        return QString();
    if (!program.startsWith(QLatin1Char('/')) && program.contains(QLatin1Char('/')))
        return resolveInFolder(program, workingDirectory);
    if (isRealInstrument())
        return program;

    if (program.startsWith(QLatin1Char('/'))) {
        const QString mapped = rootPath(program);
        return isExecutableFile(mapped) ? mapped : QString();
    }

    for (const QString& folder : kRootBinFolders) {
        const QString candidate = rootPath(folder + QLatin1Char('/') + program);
        if (isExecutableFile(candidate))
            return candidate;
    }
    if (changesMachine(program))
        return QString();
    return QStandardPaths::findExecutable(program);
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
    CommandResult result;
    QProcess process;
    if (!prepare(process, program, arguments, workingDirectory))
        return result;

    KLOG << "run:" << program << arguments.join(QLatin1Char(' '));
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
