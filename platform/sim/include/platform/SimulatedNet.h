#pragma once

#include "platform/NetInterfaces.h"

#include <QList>
#include <QString>
#include <QtGlobal>

namespace platform {

// The simulated network interfaces of a root other than "/". An interface is
// a folder <root>/sys/class/net/<if>/ as the kernel shows it, holding the
// files the programs read:
//
//   address          the hardware address ("02:4b:56:00:00:01")
//   ifindex          its number; the system lists the interfaces in this order
//   flags            the kernel's IFF_* bits in hex ("0x1043"); unlike the
//                    kernel's file, IFF_RUNNING (0x40) is set while the link is up
//   carrier          "1" or "0" while the interface is up; absent while it is down
//   device/modalias  the driver ("platform:sunxi_gmac" for the on-board controller)
//
// and, under <root>/run/kova-sim/net/<if>/, what sysfs does not show:
//
//   addresses        one address a line with its prefix ("192.168.10.101/24", IPv4 or IPv6)
//   bmsr             the PHY's basic status register in hex ("0x796d"); no file: no PHY
//
// The simulator (simulator/net, kova-net-sim) writes them; this side only reads.
class SimulatedNet
{
public:
    static constexpr char kSysClassNet[] = "/sys/class/net";
    static constexpr char kStateFolder[] = "/run/kova-sim/net";

    // The interfaces of the current root, in the order of their ifindex.
    static QList<NetInterface> interfaces();
    // The PHY register `reg` of interface `name`; false when it has no PHY,
    // is down (the controller's driver then refuses the requests) or the
    // register is not simulated (only the basic status register is).
    static bool phyRegister(const QString& name, int reg, quint16& value);
};

}  // namespace platform
