#include "platform/InterfaceFiles.h"

#include "platform/Log.h"
#include "platform/Root.h"
#include "platform/SaveFile.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <functional>

namespace platform {
namespace netconf {

namespace {

constexpr int kMaxSsidBytes = 32;
constexpr int kMinPassphrase = 8;
constexpr int kMaxPassphrase = 63;
constexpr int kRawKeyDigits = 64;

bool fail(QString* errorString, const QString& reason)
{
    if (errorString)
        *errorString = reason;
    return false;
}

bool hasControlCharacter(const QString& value)
{
    for (const QChar c : value) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    }
    return false;
}

bool isPrintableAscii(const QByteArray& bytes)
{
    for (const char c : bytes) {
        if (c < 0x20 || c > 0x7E)
            return false;
    }
    return true;
}

bool isHex(const QString& text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]*$"));
    return hex.match(text).hasMatch();
}

// A passphrase the supplicant takes inside quotes, or the raw key as it stands.
bool pskValue(const QString& password, QByteArray& value)
{
    if (password.size() == kRawKeyDigits && isHex(password)) {
        value = password.toLatin1();
        return true;
    }
    const QByteArray bytes = password.toUtf8();
    if (bytes.size() != password.size() || !isPrintableAscii(bytes) || bytes.contains('"')
        || bytes.size() < kMinPassphrase || bytes.size() > kMaxPassphrase)
        return false;
    value = '"' + bytes + '"';
    return true;
}

// Every line of an interface's file, trimmed; a read takes at most 99 bytes,
// so a longer line comes as several.
void forEachLine(const QString& name, const std::function<void(const QString&)>& visit)
{
    if (name.isEmpty())
        return;
    QFile file(rootPath(interfaceFile(name)));
    if (!file.open(QIODevice::ReadOnly))
        return;
    while (!file.atEnd())
        visit(QString::fromUtf8(file.readLine(100)).trimmed());
}

}  // namespace

QString interfaceFile(const QString& name)
{
    return QStringLiteral("/etc/network/interfaces.d/%1").arg(name);
}

QByteArray supplicantBaseText()
{
    return QByteArrayLiteral("fast_reauth=1\n");
}

QByteArray wlanBaseText(const QString& name)
{
    return QStringLiteral("allow-hotplug %1\niface %1 inet dhcp\n  wpa-conf %2\n")
        .arg(name, QLatin1String(kSupplicantFile))
        .toUtf8();
}

namespace {

// The line after an iface line: the link check for Ethernet, else the supplicant file.
QString secondLine(const QString& name, bool ethernet)
{
    return ethernet ? QStringLiteral("  pre-up %2 %1\n").arg(name, QLatin1String(kCheckLinkScript))
                    : QStringLiteral("  wpa-conf %1\n").arg(QLatin1String(kSupplicantFile));
}

}  // namespace

QByteArray dhcpText(const QString& name, bool ethernet)
{
    return (QStringLiteral("iface %1 inet dhcp\n").arg(name) + secondLine(name, ethernet)).toUtf8();
}

bool staticText(const QString& name, bool ethernet, const QMap<QString, QString>& config, QByteArray& text,
                QString* errorString)
{
    for (const char* key : {kAddressKey, kNetmaskKey, kGatewayKey}) {
        const auto value = config.constFind(QLatin1String(key));
        if (value == config.constEnd())
            return fail(errorString, QStringLiteral("no %1 in the configuration").arg(QLatin1String(key)));
        if (hasControlCharacter(*value))
            return fail(errorString, QStringLiteral("%1 holds a control character").arg(QLatin1String(key)));
    }
    QString stanza = QStringLiteral("iface %1 inet static\n").arg(name) + secondLine(name, ethernet)
                     + QStringLiteral("  address %1\n  netmask %2\n")
                           .arg(config.value(QLatin1String(kAddressKey)), config.value(QLatin1String(kNetmaskKey)));
    const QString gateway = config.value(QLatin1String(kGatewayKey));
    if (gateway != QLatin1String(kNoGateway))
        stanza += QStringLiteral("  gateway %1\n").arg(gateway);
    text = stanza.toUtf8();
    return true;
}

bool supplicantText(const QByteArray& ssid, const QString& password, QByteArray& text, QString* errorString)
{
    if (ssid.isEmpty() || ssid.size() > kMaxSsidBytes)
        return fail(errorString, QStringLiteral("a network name has 1 to 32 bytes"));
    QByteArray psk;
    if (!password.isEmpty() && !pskValue(password, psk))
        return fail(errorString, QStringLiteral("a Wi-Fi password has 8 to 63 printable characters without "
                                                "'\"', or 64 hexadecimal digits"));
    // A name with a quote, a backslash or an unprintable byte goes as hex, which the supplicant reads as it is.
    const bool quoted = isPrintableAscii(ssid) && !ssid.contains('"') && !ssid.contains('\\');
    const QByteArray ssidValue = quoted ? '"' + ssid + '"' : ssid.toHex();
    text = "fast_reauth=1\nnetwork={\n  ssid=" + ssidValue + '\n'
           + (password.isEmpty() ? QByteArray("  key_mgmt=NONE\n") : "  psk=" + psk + '\n') + "}\n";
    return true;
}

NetConfType readConnectionType(const QString& name)
{
    NetConfType type = NoConfig;
    forEachLine(name, [&type](const QString& line) {
        if (type != NoConfig || !line.startsWith(QLatin1String("iface")))
            return;
        if (line.contains(QLatin1String("static")))
            type = Static;
        else if (line.contains(QLatin1String("dhcp")))
            type = Dhcp;
    });
    return type;
}

QMap<QString, QString> readConnectionConfig(const QString& name)
{
    static const QRegularExpression address(QStringLiteral("^#?address\\s+([0-9.]+)(/([0-9.]+))?$"));
    static const QRegularExpression netmask(QStringLiteral("^#?netmask\\s+([0-9.]+)$"));
    static const QRegularExpression gateway(QStringLiteral("^#?gateway\\s+([0-9.]+)$"));
    QMap<QString, QString> config;
    forEachLine(name, [&config](const QString& line) {
        QRegularExpressionMatch m = address.match(line);
        if (m.hasMatch()) {
            config[QLatin1String(kAddressKey)] = m.captured(1);
            if (m.capturedLength(2) > 0)
                config[QLatin1String(kNetmaskKey)] = m.captured(3);
        } else if ((m = netmask.match(line)).hasMatch()) {
            config[QLatin1String(kNetmaskKey)] = m.captured(1);
        } else if ((m = gateway.match(line)).hasMatch()) {
            config[QLatin1String(kGatewayKey)] = m.captured(1);
        }
    });
    return config;
}

bool writeFile(const QString& logicalPath, const QByteArray& content, QString* errorString)
{
    QSaveFile file(rootPath(logicalPath));
    if (!openSaveFile(file) || file.write(content) != content.size() || !file.commit()) {
        KLOG << "[Error] cannot write" << logicalPath << file.errorString();
        return fail(errorString, QStringLiteral("cannot write %1: %2").arg(logicalPath, file.errorString()));
    }
    return true;
}

}  // namespace netconf
}  // namespace platform
