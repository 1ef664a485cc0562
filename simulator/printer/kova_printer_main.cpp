// kova-printer ROOT install|attach [MAKER]|detach|uninstall|resources
// Drives the virtual instrument's label printer and installs the report's
// font and logo, for demos and manual checks.
#include "VirtualPrinter.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTextStream err(stderr);
    if (args.size() < 3) {
        err << "usage: kova-printer ROOT install|attach [MAKER]|detach|uninstall|resources\n";
        return 2;
    }
    sim::VirtualPrinter printer(args[1]);
    const QString command = args[2];
    bool ok = false;
    if (command == QLatin1String("install"))
        ok = printer.install();
    else if (command == QLatin1String("attach"))
        ok = args.size() > 3 ? printer.attach(args[3]) : printer.attach();
    else if (command == QLatin1String("detach"))
        ok = printer.detach();
    else if (command == QLatin1String("uninstall"))
        ok = printer.uninstall();
    else if (command == QLatin1String("resources"))
        ok = sim::installReportResources(args[1]);
    else
        err << "unknown command: " << command << "\n";
    return ok ? 0 : 1;
}
