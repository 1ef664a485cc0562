#include "InstallProgress.h"

#include "ProgressGUI.h"
#include "ProgressTUI.h"

#include "platform/CommandRunner.h"

#include <QDir>
#include <QFile>

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

std::unique_ptr<BaseUI> createFrontEnd(bool window, QProcess* process)
{
    if (window)
        return std::make_unique<ProgressGUI>(nullptr, process);
    return std::make_unique<ProgressTUI>(nullptr, process);
}

void startInstallScript(QProcess& process, BaseUI& frontEnd, const QString& packageFolder)
{
    // Unchecked: a script that still cannot be run fails to start, a failed installation.
    QFile::setPermissions(QDir(packageFolder).filePath(QStringLiteral("install.sh")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                              | QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther
                              | QFileDevice::ExeOther);
    if (!platform::CommandRunner::prepare(process, QStringLiteral("./install.sh"), QStringList(), packageFolder)) {
        frontEnd.slotOnProcStateChanged(QProcess::NotRunning);
        return;
    }
    process.start(QIODevice::ReadOnly);
}
