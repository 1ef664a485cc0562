// kova-net-sim: the virtual instrument's network. Adds and removes
// interfaces, plugs and pulls their cables, scripts access points and
// faults, and plays the root's ip, ifup, ifdown and wpa_cli stand-ins.
#include "NetSim.h"
#include "WpaCliStandIn.h"

#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

namespace {

int usage()
{
    QTextStream(stderr) << "usage: kova-net-sim ROOT install\n"
                           "       kova-net-sim ROOT add IF [MODALIAS]\n"
                           "       kova-net-sim ROOT remove|plug|unplug IF\n"
                           "       kova-net-sim ROOT dhcp IF ADDRESS/PREFIX\n"
                           "       kova-net-sim ROOT ap SSID LEVEL [KEY]\n"
                           "       kova-net-sim ROOT exit ip|ifup|ifdown CODE|off\n"
                           "       kova-net-sim ROOT hold ip|ifup|ifdown on|off\n"
                           "       kova-net-sim ROOT scan-busy on|off\n"
                           "       kova-net-sim ROOT calls\n"
                           "       kova-net-sim ROOT run ip|ifup|ifdown|wpa_cli ARGS...   (the stand-ins)\n";
    return 2;
}

int done(bool ok)
{
    return ok ? 0 : 1;
}

int runTool(QCoreApplication& app, const kovasim::NetSim& sim, const QString& tool, const QStringList& args)
{
    if (tool == QLatin1String("ip"))
        return sim.runIp(args);
    if (tool == QLatin1String("ifup"))
        return sim.runIfup(args);
    if (tool == QLatin1String("ifdown"))
        return sim.runIfdown(args);
    if (tool != QLatin1String("wpa_cli"))
        return usage();
    const int scripted = sim.begin(tool, args);
    if (scripted >= 0)
        return scripted;
    QString interface;
    for (const QString& arg : args) {
        if (arg.startsWith(QLatin1String("-i")))
            interface = arg.mid(2);
    }
    kovasim::WpaCliStandIn client(sim, interface);
    return app.exec();
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2 || args[0] == QLatin1String("/"))
        return usage();
    const kovasim::NetSim sim(args[0]);
    const QString command = args[1];
    const QString name = args.value(2);
    const bool on = args.value(3) == QLatin1String("on");

    if (command == QLatin1String("run") && args.size() >= 3)
        return runTool(app, sim, name, args.mid(3));
    if (command == QLatin1String("install"))
        return done(sim.installStandIns(QCoreApplication::applicationFilePath()));
    if (command == QLatin1String("add") && !name.isEmpty())
        return done(sim.add(name, args.value(3)));
    if (command == QLatin1String("remove") && !name.isEmpty())
        return done(sim.remove(name));
    if (command == QLatin1String("plug") && !name.isEmpty())
        return done(sim.plug(name));
    if (command == QLatin1String("unplug") && !name.isEmpty())
        return done(sim.unplug(name));
    if (command == QLatin1String("dhcp") && args.size() == 4)
        return done(sim.setDhcpAddress(name, args[3]));
    if (command == QLatin1String("ap") && (args.size() == 4 || args.size() == 5)) {
        bool ok = false;
        const int level = args[3].toInt(&ok);
        return ok ? done(sim.addAccessPoint(name, level, args.value(4))) : usage();
    }
    if (command == QLatin1String("exit") && args.size() == 4) {
        bool ok = args[3] == QLatin1String("off");
        const int code = ok ? -1 : args[3].toInt(&ok);
        return ok ? done(sim.setExitCode(name, code)) : usage();
    }
    if (command == QLatin1String("hold") && args.size() == 4)
        return done(sim.setHold(name, on));
    if (command == QLatin1String("scan-busy") && args.size() == 3)
        return done(sim.setScanBusy(name == QLatin1String("on")));
    if (command == QLatin1String("calls")) {
        QTextStream out(stdout);
        for (const QString& line : sim.calls())
            out << line << "\n";
        return 0;
    }
    return usage();
}
