#include "BaseUI.h"
#include "InstallProgress.h"

#include "platform/InstallScript.h"

#include <QApplication>
#include <QDir>

int main(int argc, char** argv)
{
    const bool window = hasDisplay();
    std::unique_ptr<QCoreApplication> app = window ? std::make_unique<QApplication>(argc, argv)
                                                   : std::make_unique<QCoreApplication>(argc, argv);
    platform::InstallScriptProcess process;
    std::unique_ptr<BaseUI> frontEnd = createFrontEnd(window, &process);
    QObject::connect(frontEnd.get(), &BaseUI::ended, app.get(), &QCoreApplication::quit, Qt::QueuedConnection);
    startInstallScript(process, *frontEnd, QDir::currentPath());
    frontEnd->show();
    app->exec();
    const int exitCode = frontEnd->exitCode();
    process.close();
    frontEnd.reset();
    return exitCode;
}
