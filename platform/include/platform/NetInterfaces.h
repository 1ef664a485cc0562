#pragma once

#include <QList>
#include <QNetworkAddressEntry>
#include <QNetworkInterface>
#include <QString>
#include <QtGlobal>

// The network seam: the interfaces the system has, and the link of one.
//
//  - on the real instrument (root "/") the interfaces are Qt's
//    (QNetworkInterface) and the PHY is read with the MII ioctls
//    SIOCGMIIPHY and SIOCGMIIREG;
//  - under any other root they are the simulated ones
//    (platform/SimulatedNet.h): a fake <root>/sys/class/net/<if>/ plus the
//    simulator's addresses and PHY word. A test root never lists a host
//    interface, and no ioctl reaches a host interface.
//
// The sysfs files of the link check (carrier, device/modalias) are read at
// their mapped paths either way, and `ip` runs through the command runner.
namespace platform {

// One interface as the system described it at one moment.
struct NetInterface
{
    QString name;             // empty: no such interface
    QString hardwareAddress;  // six colon-separated pairs, upper case
    QNetworkInterface::InterfaceFlags flags;
    QList<QNetworkAddressEntry> addressEntries;  // IPv4 and IPv6, in the system's order

    bool isValid() const { return !name.isEmpty(); }
    bool isUp() const { return flags.testFlag(QNetworkInterface::IsUp); }
    bool isRunning() const { return flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning); }
    // The IPv4 entries, in order.
    QList<QNetworkAddressEntry> ipv4Entries() const;
};

// Every interface, in the system's order.
QList<NetInterface> netInterfaces();
// The interface called `name`; an invalid one when there is none.
NetInterface netInterfaceFromName(const QString& name);

// The link state of interfaces, as the instrument tells it: the link bit of
// the PHY's basic status register for the on-board controller (a modalias
// holding ":sunxi_gmac"), else the carrier file. Holds a datagram socket for
// the PHY requests, opened on first use and closed with the probe.
class LinkProbe
{
public:
    struct Timing
    {
        int bringUpTimeoutMs = 10000;  // `ip link set ... up` is killed after this
        int bringUpPauseMs = 1500;     // the link's settling time after it
    };
    // Process-wide; tests shorten the pause.
    static Timing& timing();

    static constexpr int kBasicStatusRegister = 1;
    static constexpr quint16 kLinkStatusBit = 0x0004;

    LinkProbe() = default;
    ~LinkProbe();
    LinkProbe(const LinkProbe&) = delete;
    LinkProbe& operator=(const LinkProbe&) = delete;

    // True when `iface` has a link. False when the socket cannot be opened
    // (the next call tries again), for an invalid interface and when a PHY
    // request fails. With `bringUp`, an interface that `iface` shows down is
    // first brought up with "/sbin/ip link set NAME up" (bounded by the
    // time-out), followed by the settling pause when that succeeded.
    bool isMediaOk(const NetInterface& iface, bool bringUp);

    // Reads register `reg` of the PHY attached to interface `name`.
    bool readPhyRegister(const QString& name, int reg, quint16& value);

    // Closes the socket; the next check opens a new one.
    void reset();

private:
    bool openSocket();

    int m_socket = -1;
};

}  // namespace platform
