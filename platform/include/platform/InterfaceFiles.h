#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>

// The system's network configuration files, which ifupdown and the
// supplicant read: one ifupdown stanza per interface in
// "/etc/network/interfaces.d/<if>" and the supplicant's "/etc/wpa_supplicant.conf".
// The texts are fixed here, once, for the application and the launcher.
// Files are written whole through a temporary file and a rename, and every
// write is checked: a failure leaves the old file and says why.
namespace platform {
namespace netconf {

inline constexpr char kSupplicantFile[] = "/etc/wpa_supplicant.conf";
inline constexpr char kCheckLinkScript[] = "/opt/KOVA3/bin/check-link.sh";
inline constexpr char kAddressKey[] = "ADDRESSv4";
inline constexpr char kNetmaskKey[] = "NETMASKv4";
inline constexpr char kGatewayKey[] = "GATEWAYv4";
// The gateway value that means "none": no gateway line is written.
inline constexpr char kNoGateway[] = "0.0.0.0";

// What an interface's file says about its address.
enum NetConfType { NoConfig = 0, Dhcp = 1, Static = 2 };

// "/etc/network/interfaces.d/<name>" (logical).
QString interfaceFile(const QString& name);

// --- texts

// "fast_reauth=1\n"
QByteArray supplicantBaseText();
// The wireless interface's base stanza: hot-plugged, DHCP, the supplicant file.
QByteArray wlanBaseText(const QString& name);
// DHCP; an Ethernet interface runs the link check before it comes up, any
// other names the supplicant file.
QByteArray dhcpText(const QString& name, bool ethernet);
// A static address from the keys ADDRESSv4, NETMASKv4 and GATEWAYv4 (no
// gateway line for "0.0.0.0"). False, `text` untouched, when a key is
// missing or a value holds a control character (a line end would add
// directives of its own).
bool staticText(const QString& name, bool ethernet, const QMap<QString, QString>& config, QByteArray& text,
                QString* errorString = nullptr);
// The supplicant file for one network: `ssid` as raw bytes (quoted when
// printable, else as hex), `password` empty for an open network. False,
// `text` untouched, for an SSID that is empty or longer than 32 bytes, and
// for a password that is neither 8 to 63 printable ASCII characters without
// '"' nor 64 hexadecimal digits (the raw key).
bool supplicantText(const QByteArray& ssid, const QString& password, QByteArray& text,
                    QString* errorString = nullptr);

// --- reading and writing

// The kind of the first "iface" line saying "static" or "dhcp"; NoConfig
// for neither and for a missing file.
NetConfType readConnectionType(const QString& name);
// The address, netmask and gateway lines (commented out or not; an address
// "a/24" gives the netmask "24"); keys no line gave are absent.
QMap<QString, QString> readConnectionConfig(const QString& name);

// Replaces the file at a logical path with `content`; its folder must exist.
bool writeFile(const QString& logicalPath, const QByteArray& content, QString* errorString = nullptr);

}  // namespace netconf
}  // namespace platform
