#include "Network/NetworkManager.h"

#include "platform/CommandRunner.h"
#include "platform/Root.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace netconf = platform::netconf;

namespace {

constexpr qint64 kSupplicantBaseMinBytes = 5;
constexpr qint64 kStanzaBaseMinBytes = 10;
constexpr int kKillWaitMs = 1000;  // a killed child is reaped at once

// "UP,RUN,BRD 192.168.10.102" for the log.
QString describe(const platform::NetInterface& iface)
{
    QStringList words;
    if (iface.flags.testFlag(QNetworkInterface::IsUp))
        words << QStringLiteral("UP");
    if (iface.flags.testFlag(QNetworkInterface::IsRunning))
        words << QStringLiteral("RUN");
    if (iface.flags.testFlag(QNetworkInterface::CanBroadcast))
        words << QStringLiteral("BRD");
    QStringList addresses;
    for (const QNetworkAddressEntry& entry : iface.ipv4Entries())
        addresses << entry.ip().toString();
    return words.join(QLatin1Char(',')) + QLatin1Char(' ') + addresses.join(QLatin1Char(' '));
}

quint64 addressSum(const NetInfo& nic)
{
    quint64 sum = 0;
    for (const QNetworkAddressEntry& entry : nic.ip_addresses(false))
        sum += entry.ip().toIPv4Address();
    return sum;
}

// Needs writing: missing, not a plain file, or too short to hold anything.
bool needsBase(const QString& logicalPath, qint64 minBytes)
{
    const QFileInfo info(platform::rootPath(logicalPath));
    return !info.exists() || !info.isFile() || info.size() < minBytes;
}

}  // namespace

NetworkManager::NetworkManager(QObject* parent)
    : QObject(parent)
{
    qWarning() << "This is a warning from Network Manager";
    connect(&m_ifupdown, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            &NetworkManager::ifupdownEnded);
    connect(&m_mediaTimer, &QTimer::timeout, this, &NetworkManager::slotMediaCheck);
    m_heldLimit.setSingleShot(true);
    m_heldLimit.setInterval(kHeldRequestLimitMs);
    connect(&m_heldLimit, &QTimer::timeout, this, &NetworkManager::refuseHeld);
    m_wpaMonitor.setProcessChannelMode(QProcess::MergedChannels);
    connect(&m_wpaMonitor, &QProcess::readyRead, this, &NetworkManager::slotWifiMonitorReadyRead);
}

NetworkManager::~NetworkManager()
{
    qCDebug(nm) << Q_FUNC_INFO;
    m_mediaTimer.stop();
    m_heldLimit.stop();
    disconnect(&m_ifupdown, nullptr, this, nullptr);
    disconnect(&m_mediaTimer, nullptr, this, nullptr);
    disconnect(&m_wpaMonitor, nullptr, this, nullptr);
    for (QProcess* process : {&m_ifupdown, &m_wpaMonitor}) {
        if (process->state() == QProcess::NotRunning)
            continue;
        process->kill();
        process->waitForFinished(kKillWaitMs);
    }
}

bool NetworkManager::fail(const QString& reason)
{
    m_errorString = reason;
    qCWarning(nm) << reason;
    return false;
}

void NetworkManager::initialize()
{
    qCDebug(nm) << Q_FUNC_INFO;
    refreshConnectionInfo(0);
    slotConnect();
}

QList<NetInfoPtr> NetworkManager::currentConnections(bool force)
{
    // A receiver of the refresh's report asking again must not read again:
    // on a system without interfaces that would never end.
    if (force || (m_interfaces.isEmpty() && !m_bRefreshing))
        refreshConnectionInfo(0);
    return m_interfaces;
}

bool NetworkManager::isBusy() const
{
    return m_ifupdown.state() != QProcess::NotRunning || m_held;
}

int NetworkManager::isConnected()
{
    m_connectFlags = ConnectNone;
    for (const NetInfoPtr& nic : qAsConst(m_interfaces)) {
        if (!nic->isRunning())
            continue;
        if (nic->type() == NetInfo::Wireless)
            m_connectFlags |= ConnectWiFi;
        else if (nic->type() == NetInfo::Ethernet)
            m_connectFlags |= ConnectLAN;
    }
    return m_connectFlags;
}

void NetworkManager::refreshConnectionInfo(int status)
{
    qCDebug(nm) << Q_FUNC_INFO << " status: " << status;
    const QList<platform::NetInterface> system = platform::netInterfaces();
    // Holders of the old records keep them; the list lets them go.
    m_interfaces.clear();
    for (const platform::NetInterface& iface : system) {
        if (NetInfo::type(iface) == NetInfo::Invalid)
            continue;
        auto nic = std::make_shared<NetInfo>(iface);
        m_interfaces.append(nic);
        qCDebug(nm) << nic->name() << describe(iface);
    }
    const bool nested = m_bRefreshing;
    m_bRefreshing = true;
    stateNotify();
    m_bRefreshing = nested;
}

void NetworkManager::stateNotify()
{
    qCDebug(nm) << Q_FUNC_INFO;
    emit signalConnected(nullptr);
}

void NetworkManager::slotMediaCheck()
{
    const QDir folder(platform::rootPath(QStringLiteral("/sys/class/net")));
    const QStringList entries = folder.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    const QSet<QString> current(entries.begin(), entries.end());
    const QSet<QString> removed = m_devices - current;
    const QSet<QString> added = current - m_devices;
    m_devices = current;

    bool changed = false;
    const QList<NetInfoPtr> records = m_interfaces;  // a receiver may refresh the list
    for (const NetInfoPtr& nic : records) {
        if (removed.contains(nic->name())) {
            qCWarning(nm) << "Device removed" << nic->name();
            emit signalDeviceRemoved(nic->name());
            changed = true;
            continue;
        }
        const bool media = nic->isMediaOk();
        if (media == nic->m_bMediaState)
            continue;
        nic->m_bMediaState = media;
        qCWarning(nm) << "Media state changed on" << nic->name() << "new state" << (media ? "true" : "false");
        changed = true;
        if (!media) {
            emit signalDisconnected(nic.get());
            if (nic->type() == NetInfo::Wireless)
                stopMonitor();
            continue;
        }
        const quint64 sum = addressSum(*nic);
        if (sum == 0) {
            nic->m_nAddressSum = 0;
        } else if (sum != nic->m_nAddressSum) {
            nic->m_nAddressSum = sum;
            emit signalConnected(nic.get());
        }
    }
    for (const QString& name : added)
        emit signalDeviceAdded(name);
    if (!added.isEmpty() || !removed.isEmpty())
        refreshConnectionInfo(0);
    if (changed)
        stateNotify();
}

void NetworkManager::registerNotify()
{
    qCDebug(nm) << Q_FUNC_INFO;
    m_mediaTimer.setInterval(kNotifyIntervalMs);
    if (!m_mediaTimer.isActive())
        m_mediaTimer.start();
}

void NetworkManager::unregisterNotify()
{
    qCDebug(nm) << Q_FUNC_INFO;
    m_mediaTimer.setInterval(kIdleIntervalMs);
}

bool NetworkManager::startConnection(const NetInfo& nic)
{
    qCDebug(nm) << Q_FUNC_INFO;
    if (isBusy())
        return fail(QStringLiteral("an ifup or ifdown still runs"));
    if (nic.name().isEmpty())
        return fail(QStringLiteral("no interface"));
    qCDebug(nm) << "Starting connection " << nic.name();
    if (!platform::CommandRunner::prepare(m_ifupdown, QStringLiteral("/sbin/ifup"), {nic.name()}))
        return fail(QStringLiteral("ifup is not available"));
    m_ifupdown.start();
    return m_ifupdown.waitForStarted(kIfupStartMs) || fail(QStringLiteral("ifup did not start"));
}

bool NetworkManager::stopConnection(const NetInfo& nic)
{
    qCDebug(nm) << Q_FUNC_INFO;
    if (isBusy())
        return fail(QStringLiteral("an ifup or ifdown still runs"));
    if (nic.name().isEmpty())
        return fail(QStringLiteral("no interface"));
    qCDebug(nm) << "Stopping connection " << nic.name();
    if (!platform::CommandRunner::prepare(m_ifupdown, QStringLiteral("/sbin/ifdown"), {nic.name()}))
        return fail(QStringLiteral("ifdown is not available"));
    m_ifupdown.start();
    if (!m_ifupdown.waitForFinished(kIfdownMs))
        return fail(QStringLiteral("ifdown %1 did not end").arg(nic.name()));
    return (m_ifupdown.exitStatus() == QProcess::NormalExit && m_ifupdown.exitCode() == 0)
           || fail(QStringLiteral("ifdown %1 failed").arg(nic.name()));
}

int NetworkManager::slotConnect()
{
    qCDebug(nm) << Q_FUNC_INFO;
    if (slotConnectLAN())
        return ConnectLAN;
    return slotConnectWiFi() ? ConnectWiFi : ConnectNone;
}

bool NetworkManager::slotConnectLAN()
{
    qCDebug(nm_eth) << Q_FUNC_INFO;
    NetInfoPtr candidate;
    const QList<NetInfoPtr> records = m_interfaces;
    for (const NetInfoPtr& nic : records) {
        if (nic->type() != NetInfo::Ethernet)
            continue;
        qCWarning(nm_eth) << "Trying" << nic->name();
        if (!nic->isMediaOk())
            continue;
        if (nic->isRunning() && !nic->ip_addresses(false).isEmpty()) {
            qCWarning(nm_eth) << "Connection is up and running already";
            return true;
        }
        candidate = nic;
    }
    if (!candidate) {
        qCCritical(nm_eth) << "Unsuccessful";
        return false;
    }
    if (connectionType(*candidate) == netconf::NoConfig) {
        qCWarning(nm_eth) << "Applying auto config for" << candidate->name();
        return setAutoConfig(*candidate);
    }
    qCWarning(nm_eth) << "Starting connection" << candidate->name();
    return startConnection(*candidate);
}

bool NetworkManager::slotConnectWiFi()
{
    qCDebug(nm_wlan) << Q_FUNC_INFO;
    const QList<NetInfoPtr> records = m_interfaces;
    for (const NetInfoPtr& nic : records) {
        if (nic->type() != NetInfo::Wireless || (nic->isRunning() && nic->isActivated()))
            continue;
        return createWlanBaseConfig(nic.get()) && startConnection(*nic);
    }
    return false;
}

bool NetworkManager::slotConnectWiFi(const NetInfo* nic, const QString& ssid, const QString& pass)
{
    qCDebug(nm_wlan) << Q_FUNC_INFO;
    if (!nic)
        return fail(QStringLiteral("no interface"));
    QByteArray text;
    QString reason;
    if (!netconf::supplicantText(WpaCliParser::unescape(ssid), pass, text, &reason))
        return fail(reason);
    // Whatever the interface's state: the supplicant reads its file when ifup starts it.
    return request(*nic, {Change::WifiNetwork, nic->name(), QLatin1String(netconf::kSupplicantFile), text});
}

NetworkManager::NetConfType NetworkManager::connectionType(const NetInfo& nic) const
{
    qCDebug(nm) << Q_FUNC_INFO;
    return netconf::readConnectionType(nic.name());
}

QMap<QString, QString> NetworkManager::connectionConfig(const NetInfo& nic) const
{
    qCDebug(nm) << Q_FUNC_INFO;
    return netconf::readConnectionConfig(nic.name());
}

bool NetworkManager::request(const NetInfo& nic, const Request& wanted)
{
    if (!isBusy())
        return carryOut(nic, wanted);
    // A file written while ifupdown runs would stand unapplied; waiting here
    // would freeze the screen while ifup runs.
    if (m_held)
        return fail(QStringLiteral("another network change waits for %1 to end").arg(command()));
    qCWarning(nm) << "Held until" << command() << "ends:" << wanted.logicalPath;
    m_held = wanted;
    m_heldLimit.start();
    return true;
}

bool NetworkManager::carryOut(const NetInfo& nic, const Request& wanted)
{
    if (wanted.change == Change::WifiNetwork || nic.isRunning())
        stopConnection(nic);
    if (isBusy())
        return fail(QStringLiteral("ifdown %1 did not end").arg(nic.name()));
    QString reason;
    if (!netconf::writeFile(wanted.logicalPath, wanted.text, &reason))
        return fail(reason);
    if (!startConnection(nic))
        return false;
    m_ifupChange = wanted.change;
    return true;
}

void NetworkManager::carryOutHeld()
{
    if (!m_held || m_ifupdown.state() != QProcess::NotRunning)
        return;
    const Request held = *std::exchange(m_held, std::nullopt);
    bool done = false;
    const QList<NetInfoPtr> records = m_interfaces;
    const auto nic = std::find_if(records.begin(), records.end(),
                                  [&](const NetInfoPtr& record) { return record->name() == held.name; });
    if (nic == records.end())
        fail(QStringLiteral("%1 is gone").arg(held.name));
    else
        done = carryOut(**nic, held);
    if (!done)
        emit signalChangeFailed(held.change, m_errorString);
}

void NetworkManager::refuseHeld()
{
    if (!m_held)
        return;
    const Change change = std::exchange(m_held, std::nullopt)->change;
    fail(QStringLiteral("%1 still ran after %2 s").arg(command()).arg(m_heldLimit.interval() / 1000.0));
    emit signalChangeFailed(change, m_errorString);
}

void NetworkManager::ifupdownEnded(int exitCode, QProcess::ExitStatus status)
{
    const std::optional<Change> change = std::exchange(m_ifupChange, std::nullopt);
    refreshConnectionInfo(exitCode);
    if (m_held) {
        m_heldLimit.stop();
        // Not from inside the process's own report: the request may run it again.
        QMetaObject::invokeMethod(this, &NetworkManager::carryOutHeld, Qt::QueuedConnection);
    }
    if (change != Change::Address || (status == QProcess::NormalExit && exitCode == 0))
        return;
    QString reason = status == QProcess::NormalExit
                         ? QStringLiteral("%1 failed (exit code %2)").arg(command()).arg(exitCode)
                         : QStringLiteral("%1 crashed").arg(command());
    const QList<QByteArray> said = m_ifupdown.readAllStandardError().trimmed().split('\n');
    if (!said.last().isEmpty())
        reason += QStringLiteral(": ") + QString::fromLocal8Bit(said.last()).trimmed();
    fail(reason);
    emit signalChangeFailed(*change, reason);
}

QString NetworkManager::command() const
{
    return (QStringList{QFileInfo(m_ifupdown.program()).fileName()} + m_ifupdown.arguments()).join(QLatin1Char(' '));
}

bool NetworkManager::setStaticConfig(const NetInfo& nic, const QMap<QString, QString>& config)
{
    qCDebug(nm) << Q_FUNC_INFO;
    QByteArray text;
    QString reason;
    if (nic.name().isEmpty())
        return fail(QStringLiteral("no interface"));
    if (!netconf::staticText(nic.name(), nic.type() == NetInfo::Ethernet, config, text, &reason))
        return fail(reason);
    qCWarning(nm) << "Applying static configuration for" << nic.name();
    return request(nic, {Change::Address, nic.name(), netconf::interfaceFile(nic.name()), text});
}

bool NetworkManager::setAutoConfig(const NetInfo& nic)
{
    qCDebug(nm) << Q_FUNC_INFO;
    if (nic.name().isEmpty())
        return fail(QStringLiteral("no interface"));
    qCWarning(nm) << "Applying dynamic configuration for" << nic.name();
    return request(nic, {Change::Address, nic.name(), netconf::interfaceFile(nic.name()),
                         netconf::dhcpText(nic.name(), nic.type() == NetInfo::Ethernet)});
}

bool NetworkManager::createWlanBaseConfig(const NetInfo* nic)
{
    if (!nic || nic->name().isEmpty() || nic->type() != NetInfo::Wireless)
        return fail(QStringLiteral("no wireless interface"));
    QString reason;
    const QString supplicant = QLatin1String(netconf::kSupplicantFile);
    const QString stanza = netconf::interfaceFile(nic->name());
    if (needsBase(supplicant, kSupplicantBaseMinBytes)
        && !netconf::writeFile(supplicant, netconf::supplicantBaseText(), &reason))
        return fail(reason);
    if (needsBase(stanza, kStanzaBaseMinBytes) && !netconf::writeFile(stanza, netconf::wlanBaseText(nic->name()), &reason))
        return fail(reason);
    return true;
}

void NetworkManager::registerWifiScan(const NetInfo* nic)
{
    qCWarning(nm_wlan) << Q_FUNC_INFO;
    if (m_wpaMonitor.state() != QProcess::NotRunning) {
        act(m_wpa.restartScan());
        return;
    }
    slotConnectWiFi();
    m_wpa.reset();
    if (!nic || !platform::CommandRunner::prepare(m_wpaMonitor, QStringLiteral("wpa_cli"),
                                                 {QStringLiteral("-i") + nic->name()}))
        return;
    m_wpaMonitor.start();
    m_wpaMonitor.waitForStarted(kMonitorStartMs);
    act(m_wpa.setScanWanted(true));
}

void NetworkManager::unregisterWifiScan()
{
    qCWarning(nm_wlan) << Q_FUNC_INFO;
    m_wpa.setScanWanted(false);
}

QHash<QString, APInfo> NetworkManager::scanResults() const
{
    return m_wpa.scanResults();
}

void NetworkManager::slotWifiMonitorReadyRead()
{
    act(m_wpa.feed(m_wpaMonitor.readAll()));
}

void NetworkManager::act(const WpaCliParser::Actions& actions)
{
    for (const WpaCliParser::Action& action : actions) {
        switch (action.kind) {
        case WpaCliParser::Action::Send:
            m_wpaMonitor.write(action.command);
            break;
        case WpaCliParser::Action::ScanComplete:
            emit signalScanComplete();
            break;
        case WpaCliParser::Action::BadPassword:
            emit signalBadPassword();
            break;
        }
    }
}

void NetworkManager::stopMonitor()
{
    if (m_wpaMonitor.state() == QProcess::NotRunning)
        return;
    m_wpaMonitor.kill();
    m_wpaMonitor.waitForFinished(kKillWaitMs);
    m_wpaMonitor.close();
    m_wpa.clearScanList();
}
