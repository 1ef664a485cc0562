#pragma once

#include "platform/NetInterfaces.h"

#include <QList>
#include <QLoggingCategory>
#include <QMetaType>
#include <QNetworkAddressEntry>
#include <QString>

#include <memory>

// The network code's logging categories: the manager's general operations,
// the wired connection and Wi-Fi.
Q_DECLARE_LOGGING_CATEGORY(nm)
Q_DECLARE_LOGGING_CATEGORY(nm_eth)
Q_DECLARE_LOGGING_CATEGORY(nm_wlan)

// Signal bars of a level in dBm: 3 from -66 up, 1 below -79, else 2.
int rssi2level(int dBm);

// One Ethernet or wireless interface: a snapshot of what the system said of
// it when the record was made (name, hardware address, flags, addresses),
// never read again, and live probes that read the system on every call
// (isActivated, isMediaOk). The network manager makes the records and keeps
// the two fields of its media check; holders share them (NetInfoPtr), so a
// record stays valid after the manager has replaced it. GUI thread only.
class NetInfo
{
public:
    enum InterfaceType { Invalid = 0, Ethernet = 1, Wireless = 2 };

    explicit NetInfo(const platform::NetInterface& snapshot);
    NetInfo(const NetInfo&) = delete;
    NetInfo& operator=(const NetInfo&) = delete;

    // Empty for an invalid snapshot.
    QString name() const;
    QString hwaddress() const;

    // "wl..." Wireless, "eth..." or "enp..." Ethernet, else (and for an
    // invalid interface) Invalid; case-sensitive.
    static InterfaceType type(const platform::NetInterface& iface);
    InterfaceType type() const { return type(m_snapshot); }
    // Up and running, by the snapshot's flags.
    bool isRunning() const { return m_snapshot.isRunning(); }
    // The snapshot's address entries: all, or the IPv4 ones.
    QList<QNetworkAddressEntry> ip_addresses(bool all) const;

    // ifupdown has the interface up: its name stands in /run/network/ifstate.
    bool isActivated() const;
    // The live link (platform::LinkProbe). A record made while its interface
    // was down brings it up on the first call only, so a failing `ip` costs
    // one bounded wait per record, not one per media check.
    bool isMediaOk();

    // The media check's last view of this record (written by the manager only).
    bool m_bMediaState = false;
    quint64 m_nAddressSum = 0;  // its IPv4 addresses as 32-bit numbers, added up

private:
    platform::NetInterface m_snapshot;
    platform::LinkProbe m_probe;
    bool m_bBringUpTried = false;
};

using NetInfoPtr = std::shared_ptr<NetInfo>;

Q_DECLARE_METATYPE(const NetInfo*)
