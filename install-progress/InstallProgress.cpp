#include "InstallProgress.h"

#include "ProgressGUI.h"
#include "ProgressTUI.h"

#include "platform/InstallScript.h"

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

void startInstallScript(platform::InstallScriptProcess& process, BaseUI& frontEnd, const QString& packageFolder)
{
    if (!platform::prepareInstallScript(process, packageFolder)) {
        frontEnd.slotOnProcStateChanged(QProcess::NotRunning);
        return;
    }
    process.start(QIODevice::ReadOnly);
}
