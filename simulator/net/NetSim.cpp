#include "NetSim.h"

#include "platform/InterfaceFiles.h"
#include "platform/SimulatedNet.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkAddressEntry>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTextStream>
#include <QThread>

#include <cerrno>
#include <csignal>

#ifndef KOVA_NET_SIM_PROGRAM
#error "KOVA_NET_SIM_PROGRAM names the kova-net-sim program the stand-ins run"
#endif

// Resources of a static library must be registered from the global namespace.
static void initNetResources()
{
    Q_INIT_RESOURCE(net_files);
}

namespace kovasim {

namespace {

using platform::SimulatedNet;

const QString kIfstate = QStringLiteral("/run/network/ifstate");
const QString kInterfacesD = QStringLiteral("/etc/network/interfaces.d");
const char* const kTools[] = {"ip", "ifup", "ifdown", "wpa_cli"};
constexpr unsigned kIffBroadcastMulticast = 0x1002;
constexpr unsigned kIffUp = 0x1;
constexpr unsigned kIffRunning = 0x40;
// The PHY's basic status register with and without the link bit (bit 2).
constexpr unsigned kBmsrLink = 0x796d;
constexpr unsigned kBmsrNoLink = 0x7969;
constexpr int kHoldPollMs = 20;
constexpr int kPreUpTimeoutMs = 30000;

bool writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.close();
    return !executable
           || file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup
                                  | QFileDevice::ExeOther);
}

bool appendLine(const QString& path, const QString& line)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    const QByteArray bytes = line.toUtf8() + '\n';
    return file.open(QIODevice::Append) && file.write(bytes) == bytes.size();
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString shellQuoted(const QString& text)
{
    return QLatin1Char('\'') + QString(text).replace(QLatin1String("'"), QLatin1String("'\\''")) + QLatin1Char('\'');
}

// The name as wpa_cli prints it: quote, backslash and unprintable bytes escaped.
QString printed(const QByteArray& ssid)
{
    QString out;
    for (const char c : ssid) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\')
            out += QStringLiteral("\\") + QLatin1Char(c);
        else if (byte < 0x20 || byte > 0x7E)
            out += QStringLiteral("\\x%1").arg(byte, 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(c);
    }
    return out;
}

// A value of the supplicant file: a quoted text or hex digits.
QByteArray supplicantValue(const QString& value)
{
    if (value.startsWith(QLatin1Char('"')) && value.endsWith(QLatin1Char('"')) && value.size() >= 2)
        return value.mid(1, value.size() - 2).toUtf8();
    return QByteArray::fromHex(value.toLatin1());
}

struct Stanza
{
    QString method;  // empty: no iface line for the interface
    QStringList preUp;
    QString wpaConf;
    QString address;
    QString netmask;
};

Stanza readStanza(const QByteArray& text, const QString& name)
{
    Stanza stanza;
    for (const QByteArray& raw : text.split('\n')) {
        const QStringList words = QString::fromUtf8(raw).simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.size() < 2)
            continue;
        const QString key = words[0];
        const QString rest = words.mid(1).join(QLatin1Char(' '));
        if (key == QLatin1String("iface") && words.size() >= 4 && words[1] == name)
            stanza.method = words[3];
        else if (key == QLatin1String("pre-up"))
            stanza.preUp << rest;
        else if (key == QLatin1String("wpa-conf"))
            stanza.wpaConf = rest;
        else if (key == QLatin1String("address"))
            stanza.address = rest;
        else if (key == QLatin1String("netmask"))
            stanza.netmask = rest;
    }
    return stanza;
}

struct AccessPoint
{
    QString bssid, frequency, level, flags, ssid, key;
};

QList<AccessPoint> readAccessPoints(const QString& path)
{
    QList<AccessPoint> aps;
    for (const QByteArray& line : readAll(path).split('\n')) {
        const QStringList f = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (f.size() == 6)
            aps.append({f[0], f[1], f[2], f[3], f[4], f[5]});
    }
    return aps;
}

// "ip/prefix" from an address and a netmask or prefix length; empty when either is no good.
QString withPrefix(const QString& address, const QString& netmask)
{
    const QHostAddress ip(address);
    if (ip.isNull())
        return QString();
    QNetworkAddressEntry entry;
    entry.setIp(ip);
    bool ok = false;
    const int prefix = netmask.toInt(&ok);
    if (ok)
        entry.setPrefixLength(prefix);
    else
        entry.setNetmask(QHostAddress(netmask));
    if (entry.prefixLength() < 0)
        return QString();
    return ip.toString() + QLatin1Char('/') + QString::number(entry.prefixLength());
}

bool processAlive(qint64 pid)
{
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

QString lastArgument(const QStringList& args)
{
    for (int i = args.size() - 1; i >= 0; --i) {
        if (!args[i].startsWith(QLatin1Char('-')))
            return args[i];
    }
    return QString();
}

}  // namespace

NetSim::NetSim(const QString& root)
    : m_root(QDir(root).absolutePath())
{
    initNetResources();
}

QString NetSim::statePath(const QString& relative) const
{
    return physical(QLatin1String(SimulatedNet::kStateFolder) + QLatin1Char('/') + relative);
}

QString NetSim::sysPath(const QString& name, const QString& file) const
{
    return physical(QLatin1String(SimulatedNet::kSysClassNet) + QLatin1Char('/') + name + QLatin1Char('/') + file);
}

bool NetSim::exists(const QString& name) const
{
    return !name.isEmpty() && !name.contains(QLatin1Char('/')) && QFileInfo(sysPath(name, QString())).isDir();
}

bool NetSim::setFlag(const QString& relative, bool on) const
{
    const QString path = statePath(relative);
    return on ? writeFile(path, QByteArray()) : (!QFileInfo::exists(path) || QFile::remove(path));
}

bool NetSim::installStandIns(const QString& program) const
{
    const QString simulator = program.isEmpty() ? QStringLiteral(KOVA_NET_SIM_PROGRAM) : program;
    for (const char* tool : kTools) {
        const QByteArray script = "#!/bin/sh\n"
                                  "# Stand-in for " + QByteArray(tool) + " in a simulated instrument root: the network\n"
                                  "# simulator plays it (see simulator/net).\n"
                                  "root=$(cd \"$(dirname \"$0\")/..\" && pwd)\n"
                                  "exec " + shellQuoted(simulator).toUtf8() + " \"$root\" run " + tool + " \"$@\"\n";
        if (!writeFile(physical(QStringLiteral("/sbin/") + QLatin1String(tool)), script, true))
            return false;
    }
    QFile checkLink(QStringLiteral(":/kovasim/net/check-link.sh"));
    if (!checkLink.open(QIODevice::ReadOnly) || !writeFile(physical(QLatin1String(platform::netconf::kCheckLinkScript)), checkLink.readAll(), true))
        return false;
    // As after power-up: every interface down without addresses, nothing
    // configured, no client running; the cables stay as they are.
    QDir(statePath(QStringLiteral("wpa_cli"))).removeRecursively();
    const QDir net(physical(QLatin1String(SimulatedNet::kSysClassNet)));
    for (const QString& name : net.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        for (const char* state : {"/up", "/addresses", "/associated"})
            QFile::remove(statePath(name + QLatin1String(state)));
        if (!syncLink(name))
            return false;
    }
    return QDir().mkpath(physical(kInterfacesD)) && QDir().mkpath(net.path())
           && QDir().mkpath(statePath(QStringLiteral("wpa_cli"))) && writeFile(physical(kIfstate), QByteArray());
}

bool NetSim::add(const QString& name, const QString& modalias) const
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || exists(name))
        return false;
    int index = 1;  // the loopback's
    const QDir net(physical(QLatin1String(SimulatedNet::kSysClassNet)));
    for (const QString& other : net.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        index = std::max(index, readAll(sysPath(other, QStringLiteral("ifindex"))).trimmed().toInt());
    ++index;
    const QString alias = !modalias.isEmpty() ? modalias
                          : name.startsWith(QLatin1String("eth")) ? QStringLiteral("platform:sunxi_gmac")
                                                                  : QString();
    QDir(statePath(name)).removeRecursively();
    const bool ok = writeFile(sysPath(name, QStringLiteral("ifindex")), QByteArray::number(index) + '\n')
                    && writeFile(sysPath(name, QStringLiteral("address")),
                                 QStringLiteral("02:4b:56:00:00:%1\n").arg(index, 2, 16, QLatin1Char('0')).toLatin1())
                    && (alias.isEmpty()
                        || writeFile(sysPath(name, QStringLiteral("device/modalias")), alias.toUtf8() + '\n'))
                    && (!alias.contains(QLatin1String(":sunxi_gmac"))
                        || writeFile(statePath(name + QStringLiteral("/bmsr")), QByteArray()))
                    && setFlag(name + QStringLiteral("/plugged"), true);
    return ok && syncLink(name);
}

bool NetSim::remove(const QString& name) const
{
    if (!exists(name))
        return false;
    setIfstate(name, false);
    QDir(statePath(name)).removeRecursively();
    return QDir(sysPath(name, QString())).removeRecursively();
}

bool NetSim::plug(const QString& name) const
{
    return exists(name) && setFlag(name + QStringLiteral("/plugged"), true) && syncLink(name);
}

bool NetSim::unplug(const QString& name) const
{
    return exists(name) && setFlag(name + QStringLiteral("/plugged"), false) && syncLink(name);
}

bool NetSim::setDhcpAddress(const QString& name, const QString& addressWithPrefix) const
{
    return exists(name) && !withPrefix(addressWithPrefix.section(QLatin1Char('/'), 0, 0),
                                       addressWithPrefix.section(QLatin1Char('/'), 1)).isEmpty()
           && writeFile(statePath(name + QStringLiteral("/dhcp")), addressWithPrefix.toLatin1() + '\n');
}

bool NetSim::isUp(const QString& name) const
{
    return QFileInfo::exists(statePath(name + QStringLiteral("/up")));
}

bool NetSim::setUp(const QString& name, bool up) const
{
    return setFlag(name + QStringLiteral("/up"), up) && syncLink(name);
}

bool NetSim::syncLink(const QString& name) const
{
    const bool up = isUp(name);
    const bool plugged = QFileInfo::exists(statePath(name + QStringLiteral("/plugged")));
    const bool wireless = name.startsWith(QLatin1String("wl"));
    const bool link = plugged && (!wireless || QFileInfo::exists(statePath(name + QStringLiteral("/associated"))));
    const unsigned flags = kIffBroadcastMulticast | (up ? kIffUp : 0) | (up && link ? kIffRunning : 0);
    bool ok = writeFile(sysPath(name, QStringLiteral("flags")), QStringLiteral("0x%1\n").arg(flags, 0, 16).toLatin1());
    const QString carrier = sysPath(name, QStringLiteral("carrier"));
    ok = ok && (up ? writeFile(carrier, link ? "1\n" : "0\n") : (!QFileInfo::exists(carrier) || QFile::remove(carrier)));
    const QString bmsr = statePath(name + QStringLiteral("/bmsr"));
    if (QFileInfo::exists(bmsr))
        ok = ok && writeFile(bmsr, QStringLiteral("0x%1\n").arg(plugged ? kBmsrLink : kBmsrNoLink, 4, 16, QLatin1Char('0')).toLatin1());
    return ok;
}

bool NetSim::addAccessPoint(const QString& ssid, int level, const QString& key, int frequency) const
{
    const QString path = statePath(QStringLiteral("aps"));
    const QString shown = printed(ssid.toUtf8());
    if (ssid.isEmpty() || key.contains(QLatin1Char('\t')) || key.contains(QLatin1Char('\n')))
        return false;
    QByteArray kept;
    for (const AccessPoint& ap : readAccessPoints(path)) {
        if (ap.ssid != shown)
            kept += QStringList{ap.bssid, ap.frequency, ap.level, ap.flags, ap.ssid, ap.key}.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    const QByteArray digest = QByteArray::number(qHash(shown), 16).rightJustified(8, '0').right(8);
    const QString bssid = QStringLiteral("02:00:%1:%2:%3:%4")
                              .arg(QLatin1String(digest.mid(0, 2)), QLatin1String(digest.mid(2, 2)),
                                   QLatin1String(digest.mid(4, 2)), QLatin1String(digest.mid(6, 2)));
    const QString flags = key.isEmpty() ? QStringLiteral("[ESS]") : QStringLiteral("[WPA2-PSK-CCMP][ESS]");
    kept += QStringList{bssid, QString::number(frequency), QString::number(level), flags, shown, key}
                .join(QLatin1Char('\t'))
                .toUtf8()
            + '\n';
    return writeFile(path, kept);
}

bool NetSim::setExitCode(const QString& tool, int exitCode) const
{
    const QString path = statePath(tool + QStringLiteral(".exit"));
    if (exitCode < 0)
        return !QFileInfo::exists(path) || QFile::remove(path);
    return writeFile(path, QByteArray::number(exitCode) + '\n');
}

bool NetSim::setHold(const QString& tool, bool hold) const
{
    return setFlag(tool + QStringLiteral(".hold"), hold);
}

bool NetSim::setScanBusy(bool busy) const
{
    return setFlag(QStringLiteral("scan-busy"), busy);
}

QByteArray NetSim::scanListing() const
{
    QByteArray listing;
    for (const AccessPoint& ap : readAccessPoints(statePath(QStringLiteral("aps"))))
        listing += QStringList{ap.bssid, ap.frequency, ap.level, ap.flags, ap.ssid}.join(QLatin1Char('\t')).toUtf8() + '\n';
    return listing;
}

QStringList NetSim::calls() const
{
    return QString::fromUtf8(readAll(statePath(QStringLiteral("calls")))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

int NetSim::begin(const QString& tool, const QStringList& args) const
{
    appendLine(statePath(QStringLiteral("calls")), (QStringList{tool} + args).join(QLatin1Char(' ')));
    while (QFileInfo::exists(statePath(tool + QStringLiteral(".hold"))))
        QThread::msleep(kHoldPollMs);
    bool ok = false;
    const int code = readAll(statePath(tool + QStringLiteral(".exit"))).trimmed().toInt(&ok);
    return ok ? code : -1;
}

bool NetSim::isConfigured(const QString& name) const
{
    return readAll(physical(kIfstate)).split('\n').contains((name + QLatin1Char('=') + name).toUtf8());
}

bool NetSim::setIfstate(const QString& name, bool configured) const
{
    QList<QByteArray> lines = readAll(physical(kIfstate)).split('\n');
    lines.removeAll(QByteArray());
    lines.removeAll((name + QLatin1Char('=') + name).toUtf8());
    if (configured)
        lines << (name + QLatin1Char('=') + name).toUtf8();
    return writeFile(physical(kIfstate), lines.isEmpty() ? QByteArray() : lines.join('\n') + '\n');
}

QString NetSim::eventQueue(const QString& name, qint64 pid) const
{
    return statePath(QStringLiteral("wpa_cli/%1.%2.events").arg(name).arg(pid));
}

void NetSim::sendEvent(const QString& name, const QString& event) const
{
    const QDir clients(statePath(QStringLiteral("wpa_cli")));
    for (const QString& file : clients.entryList({name + QStringLiteral(".*.events")}, QDir::Files)) {
        const qint64 pid = file.section(QLatin1Char('.'), -2, -2).toLongLong();
        if (processAlive(pid))
            appendLine(clients.filePath(file), QStringLiteral("<3>") + event);
        else
            QFile::remove(clients.filePath(file));
    }
}

bool NetSim::associate(const QString& name, const QString& wpaConf) const
{
    QFile::remove(statePath(name + QStringLiteral("/associated")));
    QByteArray ssid, psk;
    bool open = false;
    static const QRegularExpression setting(QStringLiteral("^\\s*(ssid|psk|key_mgmt)=(.*)$"));
    for (const QByteArray& line : readAll(physical(wpaConf)).split('\n')) {
        const QRegularExpressionMatch m = setting.match(QString::fromUtf8(line));
        if (!m.hasMatch())
            continue;
        if (m.captured(1) == QLatin1String("ssid"))
            ssid = supplicantValue(m.captured(2).trimmed());
        else if (m.captured(1) == QLatin1String("psk"))
            psk = supplicantValue(m.captured(2).trimmed());
        else
            open = m.captured(2).trimmed() == QLatin1String("NONE");
    }
    if (ssid.isEmpty())
        return false;
    for (const AccessPoint& ap : readAccessPoints(statePath(QStringLiteral("aps")))) {
        if (ap.ssid != printed(ssid))
            continue;
        if (ap.key.isEmpty() != open)
            return false;  // the security does not match: the supplicant never tries
        if (!open && psk != ap.key.toUtf8()) {
            sendEvent(name, QStringLiteral("CTRL-EVENT-SSID-TEMP-DISABLED id=0 ssid=\"%1\" auth_failures=1 "
                                           "duration=10 reason=WRONG_KEY")
                                .arg(ap.ssid));
            return false;
        }
        sendEvent(name, QStringLiteral("CTRL-EVENT-CONNECTED - Connection to %1 completed [id=0 id_str=]").arg(ap.bssid));
        return writeFile(statePath(name + QStringLiteral("/associated")), ssid + '\n');
    }
    return false;
}

bool NetSim::runPreUp(const QString& command) const
{
    const QStringList words = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return true;
    const QString program = words.front().startsWith(QLatin1Char('/')) ? physical(words.front()) : words.front();
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KOVA3_ROOT"), m_root);
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(program, words.mid(1));
    return process.waitForFinished(kPreUpTimeoutMs) && process.exitStatus() == QProcess::NormalExit
           && process.exitCode() == 0;
}

int NetSim::runIp(const QStringList& args) const
{
    const int scripted = begin(QStringLiteral("ip"), args);
    if (scripted >= 0)
        return scripted;
    QStringList rest = args;
    if (rest.size() < 4 || rest.takeFirst() != QLatin1String("link") || rest.takeFirst() != QLatin1String("set")) {
        QTextStream(stderr) << "ip: only \"link set [dev] IF up|down\" is simulated\n";
        return 1;
    }
    if (rest.front() == QLatin1String("dev"))
        rest.removeFirst();
    const QString name = rest.value(0);
    const QString state = rest.value(1);
    if (state != QLatin1String("up") && state != QLatin1String("down")) {
        QTextStream(stderr) << "ip: only \"link set [dev] IF up|down\" is simulated\n";
        return 1;
    }
    if (!exists(name)) {
        QTextStream(stderr) << "Cannot find device \"" << name << "\"\n";
        return 1;
    }
    return setUp(name, state == QLatin1String("up")) ? 0 : 1;
}

int NetSim::runIfup(const QStringList& args) const
{
    const int scripted = begin(QStringLiteral("ifup"), args);
    if (scripted >= 0)
        return scripted;
    QTextStream err(stderr);
    const QString name = lastArgument(args);
    if (isConfigured(name)) {
        err << "ifup: interface " << name << " already configured\n";
        return 0;
    }
    const Stanza stanza = readStanza(readAll(physical(platform::netconf::interfaceFile(name))), name);
    if (stanza.method.isEmpty()) {
        err << "ifup: unknown interface " << name << "\n";
        return 1;
    }
    if (!exists(name)) {
        err << "Cannot find device \"" << name << "\"\n";
        return 1;
    }
    for (const QString& command : stanza.preUp) {
        if (!runPreUp(command)) {
            err << "ifup: failed to bring up " << name << "\n";
            return 1;
        }
    }
    if (!setUp(name, true))
        return 1;
    if (!stanza.wpaConf.isEmpty() && (!associate(name, stanza.wpaConf) || !syncLink(name))) {
        err << "wpa_supplicant: " << name << " not associated\n";
        return 1;
    }
    QString address;
    if (stanza.method == QLatin1String("static")) {
        address = withPrefix(stanza.address.section(QLatin1Char('/'), 0, 0),
                             stanza.address.contains(QLatin1Char('/')) ? stanza.address.section(QLatin1Char('/'), 1)
                                                                        : stanza.netmask);
        if (address.isEmpty()) {
            err << "ifup: bad address " << stanza.address << " for " << name << "\n";
            return 1;
        }
    } else if (stanza.method == QLatin1String("dhcp")) {
        if (readAll(sysPath(name, QStringLiteral("carrier"))).trimmed() != "1") {
            err << "No DHCPOFFERS received.\n";
            return 1;
        }
        address = QString::fromLatin1(readAll(statePath(name + QStringLiteral("/dhcp"))).trimmed());
        if (address.isEmpty()) {
            const int index = readAll(sysPath(name, QStringLiteral("ifindex"))).trimmed().toInt();
            address = QStringLiteral("192.168.10.%1/24").arg(100 + index);
        }
    }
    if (!address.isEmpty() && !writeFile(statePath(name + QStringLiteral("/addresses")), address.toLatin1() + '\n'))
        return 1;
    return setIfstate(name, true) ? 0 : 1;
}

int NetSim::runIfdown(const QStringList& args) const
{
    const int scripted = begin(QStringLiteral("ifdown"), args);
    if (scripted >= 0)
        return scripted;
    const QString name = lastArgument(args);
    if (!isConfigured(name)) {
        QTextStream(stderr) << "ifdown: interface " << name << " not configured\n";
        return 0;
    }
    QFile::remove(statePath(name + QStringLiteral("/addresses")));
    QFile::remove(statePath(name + QStringLiteral("/associated")));
    return setUp(name, false) && setIfstate(name, false) ? 0 : 1;
}

}  // namespace kovasim
