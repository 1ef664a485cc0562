#include "HostTool.h"

#include <QProcess>
#include <QStandardPaths>

platform::CommandResult runHostTool(const QString& program, const QStringList& arguments, int timeoutMs)
{
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return platform::CommandResult();
    QProcess process;
    process.setProgram(path);
    process.setArguments(arguments);
    return platform::CommandRunner::runPrepared(process, timeoutMs);
}
