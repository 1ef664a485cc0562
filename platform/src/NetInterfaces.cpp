#include "platform/NetInterfaces.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"
#include "platform/Root.h"
#include "platform/SimulatedNet.h"

#include <QFile>
#include <QThread>

#include <cstring>

#include <linux/mii.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace platform {

namespace {

NetInterface fromQt(const QNetworkInterface& qt)
{
    NetInterface iface;
    if (!qt.isValid())
        return iface;
    iface.name = qt.name();
    iface.hardwareAddress = qt.hardwareAddress();
    iface.flags = qt.flags();
    iface.addressEntries = qt.addressEntries();
    return iface;
}

// The whole file; empty when it is missing or unreadable.
QByteArray readSysFile(const QString& name, const char* file)
{
    QFile f(rootPath(QStringLiteral("/sys/class/net/%1/%2").arg(name, QLatin1String(file))));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The MII requests on the real controller.
bool readMiiRegister(int socket, const QString& name, int reg, quint16& value)
{
    struct ifreq request {};
    const QByteArray local = name.toLocal8Bit();
    std::strncpy(request.ifr_name, local.constData(), IFNAMSIZ - 1);
    if (::ioctl(socket, SIOCGMIIPHY, &request) < 0)
        return false;
    auto* mii = reinterpret_cast<struct mii_ioctl_data*>(&request.ifr_ifru);
    mii->reg_num = static_cast<__u16>(reg);
    if (::ioctl(socket, SIOCGMIIREG, &request) < 0)
        return false;
    value = mii->val_out;
    return true;
}

}  // namespace

QList<QNetworkAddressEntry> NetInterface::ipv4Entries() const
{
    QList<QNetworkAddressEntry> entries;
    for (const QNetworkAddressEntry& entry : addressEntries) {
        if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol)
            entries << entry;
    }
    return entries;
}

QList<NetInterface> netInterfaces()
{
    if (!isRealInstrument())
        return SimulatedNet::interfaces();
    QList<NetInterface> result;
    for (const QNetworkInterface& qt : QNetworkInterface::allInterfaces())
        result << fromQt(qt);
    return result;
}

NetInterface netInterfaceFromName(const QString& name)
{
    if (isRealInstrument())
        return fromQt(QNetworkInterface::interfaceFromName(name));
    for (const NetInterface& iface : SimulatedNet::interfaces()) {
        if (iface.name == name)
            return iface;
    }
    return NetInterface();
}

LinkProbe::Timing& LinkProbe::timing()
{
    static Timing timing;
    return timing;
}

LinkProbe::~LinkProbe()
{
    reset();
}

void LinkProbe::reset()
{
    if (m_socket >= 0)
        ::close(m_socket);
    m_socket = -1;
}

bool LinkProbe::openSocket()
{
    if (m_socket < 0)
        m_socket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    return m_socket >= 0;
}

bool LinkProbe::readPhyRegister(const QString& name, int reg, quint16& value)
{
    if (!isRealInstrument())
        return SimulatedNet::phyRegister(name, reg, value);
    return openSocket() && readMiiRegister(m_socket, name, reg, value);
}

bool LinkProbe::isMediaOk(const NetInterface& iface, bool bringUp)
{
    if (!openSocket() || !iface.isValid())
        return false;
    if (bringUp && !iface.isUp()) {
        const Timing t = timing();
        const CommandResult up =
            CommandRunner::run(QStringLiteral("/sbin/ip"), {QStringLiteral("link"), QStringLiteral("set"), iface.name,
                                                             QStringLiteral("up")},
                               t.bringUpTimeoutMs);
        if (up.succeeded())
            QThread::msleep(static_cast<unsigned long>(t.bringUpPauseMs));
    }
    if (readSysFile(iface.name, "device/modalias").contains(":sunxi_gmac")) {
        quint16 status = 0;
        if (!readPhyRegister(iface.name, kBasicStatusRegister, status))
            return false;
        return (status & kLinkStatusBit) != 0;
    }
    return readSysFile(iface.name, "carrier").contains('1');
}

}  // namespace platform
