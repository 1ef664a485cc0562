#include "platform/SimulatedNet.h"

#include "platform/Root.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>

#include <algorithm>

namespace platform {

namespace {

// The kernel's interface flags (linux/if.h) and Qt's names for them.
const struct
{
    unsigned kernelBit;
    QNetworkInterface::InterfaceFlag flag;
} kFlags[] = {
    {0x1, QNetworkInterface::IsUp},           {0x2, QNetworkInterface::CanBroadcast},
    {0x8, QNetworkInterface::IsLoopBack},     {0x10, QNetworkInterface::IsPointToPoint},
    {0x40, QNetworkInterface::IsRunning},     {0x1000, QNetworkInterface::CanMulticast},
};

QByteArray readTrimmed(const QString& logicalPath)
{
    QFile file(rootPath(logicalPath));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray();
}

QString sysFile(const QString& name, const char* file)
{
    return QStringLiteral("%1/%2/%3").arg(QLatin1String(SimulatedNet::kSysClassNet), name, QLatin1String(file));
}

QString stateFile(const QString& name, const char* file)
{
    return QStringLiteral("%1/%2/%3").arg(QLatin1String(SimulatedNet::kStateFolder), name, QLatin1String(file));
}

QNetworkInterface::InterfaceFlags flagsOf(const QString& name)
{
    bool ok = false;
    const unsigned bits = readTrimmed(sysFile(name, "flags")).toUInt(&ok, 16);
    QNetworkInterface::InterfaceFlags flags;
    for (const auto& f : kFlags) {
        if (ok && (bits & f.kernelBit))
            flags |= f.flag;
    }
    return flags;
}

QList<QNetworkAddressEntry> addressesOf(const QString& name, bool canBroadcast)
{
    QList<QNetworkAddressEntry> entries;
    const QList<QByteArray> lines = readTrimmed(stateFile(name, "addresses")).split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> parts = line.trimmed().split('/');
        const QHostAddress ip(QString::fromLatin1(parts[0]));
        bool ok = false;
        const int prefix = parts.value(1).toInt(&ok);
        if (ip.isNull() || parts.size() != 2 || !ok)
            continue;
        QNetworkAddressEntry entry;
        entry.setIp(ip);
        entry.setPrefixLength(prefix);
        if (canBroadcast && ip.protocol() == QAbstractSocket::IPv4Protocol)
            entry.setBroadcast(QHostAddress(ip.toIPv4Address() | ~entry.netmask().toIPv4Address()));
        entries << entry;
    }
    return entries;
}

}  // namespace

QList<NetInterface> SimulatedNet::interfaces()
{
    struct Listed
    {
        int index;
        NetInterface iface;
    };
    QList<Listed> listed;
    const QDir folder(rootPath(QString::fromLatin1(kSysClassNet)));
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        NetInterface iface;
        iface.name = name;
        iface.hardwareAddress = QString::fromLatin1(readTrimmed(sysFile(name, "address"))).toUpper();
        iface.flags = flagsOf(name);
        iface.addressEntries = addressesOf(name, iface.flags.testFlag(QNetworkInterface::CanBroadcast));
        listed.append({readTrimmed(sysFile(name, "ifindex")).toInt(), iface});
    }
    std::stable_sort(listed.begin(), listed.end(), [](const Listed& a, const Listed& b) { return a.index < b.index; });
    QList<NetInterface> result;
    for (const Listed& entry : listed)
        result << entry.iface;
    return result;
}

bool SimulatedNet::phyRegister(const QString& name, int reg, quint16& value)
{
    // Like the controller's driver, the PHY answers only while the interface is up.
    if (reg != LinkProbe::kBasicStatusRegister || !flagsOf(name).testFlag(QNetworkInterface::IsUp))
        return false;
    bool ok = false;
    const uint word = readTrimmed(stateFile(name, "bmsr")).toUInt(&ok, 0);
    if (!ok || word > 0xFFFF)
        return false;
    value = static_cast<quint16>(word);
    return true;
}

}  // namespace platform
