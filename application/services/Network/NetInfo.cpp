#include "Network/NetInfo.h"

#include "platform/Root.h"

#include <QFile>

Q_LOGGING_CATEGORY(nm, "nm")
Q_LOGGING_CATEGORY(nm_eth, "nm.eth")
Q_LOGGING_CATEGORY(nm_wlan, "nm.wifi")

namespace {

const QString kIfstate = QStringLiteral("/run/network/ifstate");

}  // namespace

int rssi2level(int dBm)
{
    if (dBm >= -66)
        return 3;
    return dBm < -79 ? 1 : 2;
}

NetInfo::NetInfo(const platform::NetInterface& snapshot)
    : m_snapshot(snapshot)
{
    static const int registered = qRegisterMetaType<const NetInfo*>("const NetInfo*");
    Q_UNUSED(registered)
}

QString NetInfo::name() const
{
    return m_snapshot.name;
}

QString NetInfo::hwaddress() const
{
    return m_snapshot.isValid() ? m_snapshot.hardwareAddress : QString();
}

NetInfo::InterfaceType NetInfo::type(const platform::NetInterface& iface)
{
    if (!iface.isValid())
        return Invalid;
    if (iface.name.startsWith(QLatin1String("wl")))
        return Wireless;
    if (iface.name.startsWith(QLatin1String("eth")) || iface.name.startsWith(QLatin1String("enp")))
        return Ethernet;
    return Invalid;
}

QList<QNetworkAddressEntry> NetInfo::ip_addresses(bool all) const
{
    return all ? m_snapshot.addressEntries : m_snapshot.ipv4Entries();
}

bool NetInfo::isActivated() const
{
    QFile file(platform::rootPath(kIfstate));
    return m_snapshot.isValid() && file.open(QIODevice::ReadOnly) && file.readAll().contains(name().toUtf8());
}

bool NetInfo::isMediaOk()
{
    const bool bringUp = !m_bBringUpTried;
    if (!m_snapshot.isUp())
        m_bBringUpTried = true;
    return m_probe.isMediaOk(m_snapshot, bringUp);
}
