#pragma once

#include <QString>
#include <QStringList>

namespace kovasim {

// The virtual instrument's network, in one simulated root folder: the
// interfaces (the fake sysfs and the state that platform::SimulatedNet
// reads), the cable of each, the access points in reach with their keys,
// and the stand-ins of the system's network tools.
//
// The stand-ins `ip`, `ifup`, `ifdown` and `wpa_cli` in <root>/sbin are
// small scripts that run this simulator (kova-net-sim ROOT run TOOL ...),
// so the tools behave as one: `ifup` reads /etc/network/interfaces.d/<if>,
// runs its pre-up commands under the root, associates a wireless interface
// by /etc/wpa_supplicant.conf, sets the addresses (DHCP: the interface's
// scripted address) and keeps /run/network/ifstate; `ifdown` undoes it;
// `ip link set [dev] IF up|down` sets the link; `wpa_cli -iIF` is the
// supplicant's interactive client (WpaCliStandIn). Every call is recorded
// in calls(); each tool can be made to fail with an exit code or to wait.
//
// Files under the root besides those of platform::SimulatedNet:
//
//   run/kova-sim/net/<if>/plugged     the cable is in (wireless: in reach)
//   run/kova-sim/net/<if>/dhcp        the address DHCP gives ("192.168.10.5/24")
//   run/kova-sim/net/<if>/associated  the network a wireless interface joined
//   run/kova-sim/net/aps              the access points, one a line: bssid,
//                                     frequency, level, flags, SSID and key, tab-separated
//   run/kova-sim/net/calls            "ifup eth0", "ip link set eth0 up", "wpa_cli -iwlan0", ...
//   run/kova-sim/net/<tool>.exit      the tool fails with this code, doing nothing
//   run/kova-sim/net/<tool>.hold      the tool waits while this file exists
//   run/kova-sim/net/scan-busy        wpa_cli answers "scan" with FAIL-BUSY
//   run/kova-sim/net/wpa_cli/         one event queue per running client
class NetSim
{
public:
    // `root` is the physical folder standing for "/".
    explicit NetSim(const QString& root);

    // Installs the stand-ins (running `program`, by default this build's
    // kova-net-sim), the instrument's /opt/KOVA3/bin/check-link.sh and the
    // folders ifupdown expects, and powers up: every
    // interface down without addresses, /run/network/ifstate empty, the
    // cables as they were. False when a file cannot be written.
    bool installStandIns(const QString& program = QString()) const;

    // Adds an interface, down and without addresses, with its cable plugged
    // in. `modalias` empty: "platform:sunxi_gmac" (with its PHY) for a name
    // beginning "eth", none for others. False when it exists already.
    bool add(const QString& name, const QString& modalias = QString()) const;
    bool remove(const QString& name) const;
    bool plug(const QString& name) const;
    bool unplug(const QString& name) const;
    // The address DHCP gives the interface, with its prefix.
    bool setDhcpAddress(const QString& name, const QString& addressWithPrefix) const;

    // An access point in reach; `key` empty: an open network. An existing
    // SSID is replaced.
    bool addAccessPoint(const QString& ssid, int level, const QString& key = QString(), int frequency = 2437) const;

    // Faults: `tool` ("ip", "ifup", "ifdown") fails with `exitCode` (-1: no longer), or waits.
    bool setExitCode(const QString& tool, int exitCode) const;
    bool setHold(const QString& tool, bool hold) const;
    bool setScanBusy(bool busy) const;

    // The access points as wpa_cli lists them: bssid, frequency, level,
    // flags and SSID, tab-separated, one line each.
    QByteArray scanListing() const;

    // The calls of the stand-ins, one line each.
    QStringList calls() const;

    // The stand-ins themselves: arguments as the tool got them; the exit code.
    int runIp(const QStringList& args) const;
    int runIfup(const QStringList& args) const;
    int runIfdown(const QStringList& args) const;

    // Records a call of `tool`, then waits and fails as scripted: the exit
    // code to end with, or -1 to go on.
    int begin(const QString& tool, const QStringList& args) const;
    // The client's event queue of interface `name` (wpa_cli), one for each running client.
    QString eventQueue(const QString& name, qint64 pid) const;
    bool interfaceExists(const QString& name) const { return exists(name); }

    QString root() const { return m_root; }
    // The physical path of a file under the simulator's state folder.
    QString statePath(const QString& relative) const;

private:
    QString physical(const QString& logical) const { return m_root + logical; }
    QString sysPath(const QString& name, const QString& file) const;
    bool exists(const QString& name) const;
    bool isUp(const QString& name) const;
    bool setUp(const QString& name, bool up) const;
    // Writes what follows from the link: flags, carrier, the PHY's link bit.
    bool syncLink(const QString& name) const;
    bool setFlag(const QString& relative, bool on) const;
    bool associate(const QString& name, const QString& wpaConf) const;
    void sendEvent(const QString& name, const QString& event) const;
    bool setIfstate(const QString& name, bool configured) const;
    bool isConfigured(const QString& name) const;
    bool runPreUp(const QString& command) const;

    QString m_root;
};

}  // namespace kovasim
