// kova-usb-sim: plugs the virtual instrument's USB sticks in and out.
#include "UsbSticks.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

namespace {

int usage()
{
    QTextStream(stderr) << "usage: kova-usb-sim ROOT install\n"
                           "       kova-usb-sim ROOT insert NAME [DEVICE [UUID]]\n"
                           "       kova-usb-sim ROOT pull NAME\n"
                           "       kova-usb-sim ROOT full NAME [FREE_BYTES]\n"
                           "       kova-usb-sim ROOT fail-mount|busy on|off\n"
                           "       kova-usb-sim ROOT calls\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2)
        return usage();
    const kovasim::UsbSticks sticks(args[0]);
    const QString command = args[1];
    const QString name = args.value(2);
    QTextStream out(stdout);

    if (command == QLatin1String("install"))
        return sticks.installStandIns() ? 0 : 1;
    if (command == QLatin1String("insert") && !name.isEmpty()) {
        const QString device = sticks.insert(name, args.value(3), args.value(4));
        if (device.isEmpty())
            return 1;
        out << device << " " << sticks.stickFolder(name) << "\n";
        return 0;
    }
    if (command == QLatin1String("pull") && !name.isEmpty())
        return sticks.pull(name) ? 0 : 1;
    if (command == QLatin1String("full") && !name.isEmpty()) {
        bool ok = true;
        const quint64 freeBytes = args.size() > 3 ? args[3].toULongLong(&ok) : 0;
        return ok && sticks.setFreeSpace(name, freeBytes) ? 0 : 1;
    }
    if ((command == QLatin1String("fail-mount") || command == QLatin1String("busy"))
        && (name == QLatin1String("on") || name == QLatin1String("off"))) {
        const bool on = name == QLatin1String("on");
        command == QLatin1String("busy") ? sticks.setBusy(on) : sticks.setMountFails(on);
        return 0;
    }
    if (command == QLatin1String("calls")) {
        for (const QString& line : sticks.calls())
            out << line << "\n";
        return 0;
    }
    return usage();
}
