#include "platform/InterfaceFiles.h"

#include "FullDisk.h"
#include "TempRoot.h"
#include "platform/SaveFile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

namespace netconf = platform::netconf;

namespace {

QMap<QString, QString> config(const QString& address, const QString& netmask, const QString& gateway)
{
    return {{"ADDRESSv4", address}, {"NETMASKv4", netmask}, {"GATEWAYv4", gateway}};
}

QByteArray staticText(const QString& name, bool ethernet, const QMap<QString, QString>& values)
{
    QByteArray text = "untouched";
    netconf::staticText(name, ethernet, values, text);
    return text;
}

QByteArray supplicant(const QByteArray& ssid, const QString& password)
{
    QByteArray text = "untouched";
    netconf::supplicantText(ssid, password, text);
    return text;
}

}  // namespace

TEST(InterfaceFiles, TextsAreByteExact)
{
    const struct
    {
        const char* what;
        QByteArray text, expected;
    } cases[] = {
        {"wireless base", netconf::wlanBaseText("wlan0"),
         "allow-hotplug wlan0\niface wlan0 inet dhcp\n  wpa-conf /etc/wpa_supplicant.conf\n"},
        {"Ethernet DHCP", netconf::dhcpText("eth0", true),
         "iface eth0 inet dhcp\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n"},
        {"wireless DHCP", netconf::dhcpText("wlan0", false),
         "iface wlan0 inet dhcp\n  wpa-conf /etc/wpa_supplicant.conf\n"},
        {"Ethernet static", staticText("eth0", true, config("192.168.1.10", "255.255.255.0", "192.168.1.1")),
         "iface eth0 inet static\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n"
         "  address 192.168.1.10\n  netmask 255.255.255.0\n  gateway 192.168.1.1\n"},
        {"no gateway", staticText("wlan0", false, config("10.0.0.2", "255.0.0.0", "0.0.0.0")),
         "iface wlan0 inet static\n  wpa-conf /etc/wpa_supplicant.conf\n  address 10.0.0.2\n  netmask 255.0.0.0\n"},
        {"markers in values stay", staticText("eth0", true, config("%2", "%1", "")),
         "iface eth0 inet static\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n  address %2\n  netmask %1\n"
         "  gateway \n"},
        {"supplicant base", netconf::supplicantBaseText(), "fast_reauth=1\n"},
        {"open network", supplicant("Lab Net", ""), "fast_reauth=1\nnetwork={\n  ssid=\"Lab Net\"\n  key_mgmt=NONE\n}\n"},
        {"passphrase", supplicant("LabNet", "secret 12"),
         "fast_reauth=1\nnetwork={\n  ssid=\"LabNet\"\n  psk=\"secret 12\"\n}\n"},
        {"raw key", supplicant("LabNet", QString(64, 'a')),
         "fast_reauth=1\nnetwork={\n  ssid=\"LabNet\"\n  psk=" + QByteArray(64, 'a') + "\n}\n"},
        {"quote in the name", supplicant("a\"b", ""), "fast_reauth=1\nnetwork={\n  ssid=612262\n  key_mgmt=NONE\n}\n"},
        {"backslash in the name", supplicant("a\\b", ""), "fast_reauth=1\nnetwork={\n  ssid=615c62\n  key_mgmt=NONE\n}\n"},
        {"unprintable name", supplicant(QByteArray("a\nb\x00", 4), ""),
         "fast_reauth=1\nnetwork={\n  ssid=610a6200\n  key_mgmt=NONE\n}\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, c.expected) << c.what;
}

// What would break the file, or add directives of its own, is refused with a reason.
TEST(InterfaceFiles, RefusesWhatTheFileCannotHold)
{
    const QString good = "secret123";
    const struct
    {
        const char* what;
        QByteArray ssid;
        QString password;
    } passwords[] = {
        {"7 characters", "LabNet", "1234567"},
        {"64 characters, not hex", "LabNet", QString(63, 'a') + 'g'},
        {"65 hex digits", "LabNet", QString(65, 'a')},
        {"a quote", "LabNet", "secret\"12"},
        {"a line end", "LabNet", "secret12\n  psk=1"},
        {"a tab", "LabNet", "secret\t12"},
        {"not ASCII", "LabNet", QString::fromUtf8("geheim\xc3\xa4\xc3\xa4")},
        {"no name", "", good},
        {"a name of 33 bytes", QByteArray(33, 'n'), good},
    };
    for (const auto& c : passwords) {
        QString error;
        QByteArray text = "untouched";
        EXPECT_FALSE(netconf::supplicantText(c.ssid, c.password, text, &error)) << c.what;
        EXPECT_EQ(text, "untouched") << c.what;
        EXPECT_FALSE(error.isEmpty()) << c.what;
    }
    EXPECT_EQ(supplicant("LabNet", QString(63, '~')).count('~'), 63) << "63 characters";
    EXPECT_EQ(supplicant(QByteArray(32, 'n'), "12345678").count('n'), 32 + 1) << "32 bytes (and the n of network)";

    const QMap<QString, QString> missing = {{"ADDRESSv4", "10.0.0.2"}, {"NETMASKv4", "255.0.0.0"}};
    EXPECT_EQ(staticText("eth0", true, missing), "untouched");
    EXPECT_EQ(staticText("eth0", true, config("10.0.0.2\n  pre-up reboot", "255.0.0.0", "0.0.0.0")), "untouched");
}

TEST(InterfaceFiles, ReadersTakeTheStanzaBack)
{
    TempRoot root;
    const struct
    {
        const char* file;  // nullptr: none
        netconf::NetConfType type;
        QMap<QString, QString> config;
    } cases[] = {
        {nullptr, netconf::NoConfig, {}},
        {"iface eth0 inet dhcp\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n", netconf::Dhcp, {}},
        {"iface eth0 inet manual\niface eth0 inet static\n  address 10.0.0.2\n  netmask 255.0.0.0\n", netconf::Static,
         {{"ADDRESSv4", "10.0.0.2"}, {"NETMASKv4", "255.0.0.0"}}},
        {"# iface eth0 inet static\nallow-hotplug eth0\niface eth0 inet dhcp\n", netconf::Dhcp, {}},
        {"iface eth0 inet static\n  address 192.168.0.10/24\n  gateway 192.168.0.1\n", netconf::Static,
         {{"ADDRESSv4", "192.168.0.10"}, {"NETMASKv4", "24"}, {"GATEWAYv4", "192.168.0.1"}}},
        {"iface eth0 inet dhcp\n#address 1.2.3.4\n#gateway 1.2.3.1\naddress 1.2.3.5\n", netconf::Dhcp,
         {{"ADDRESSv4", "1.2.3.5"}, {"GATEWAYv4", "1.2.3.1"}}},
        {"iface eth0 inet loopback\n  address not-an-address\n", netconf::NoConfig, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file ? c.file : "no file");
        QFile::remove(root.path("/etc/network/interfaces.d/eth0"));
        if (c.file)
            root.writeFile("/etc/network/interfaces.d/eth0", c.file);
        EXPECT_EQ(netconf::readConnectionType("eth0"), c.type);
        EXPECT_EQ(netconf::readConnectionConfig("eth0"), c.config);
    }
    EXPECT_EQ(netconf::readConnectionType(""), netconf::NoConfig);
}

TEST(InterfaceFiles, WritesWholeOrNotAtAll)
{
    TempRoot root;
    const QString file = "/etc/network/interfaces.d/eth0";
    QString error;
    EXPECT_FALSE(netconf::writeFile(file, "iface eth0 inet dhcp\n", &error)) << "no folder";
    EXPECT_TRUE(error.contains(file));
    EXPECT_FALSE(QDir(root.path("/etc/network")).exists()) << "no folder is made";

    root.writeFile(file, "iface eth0 inet static\n  address 10.0.0.2\n  netmask 255.0.0.0\n");
    ASSERT_TRUE(netconf::writeFile(file, "iface eth0 inet dhcp\n"));
    EXPECT_EQ(root.readFile(file), "iface eth0 inet dhcp\n");
    EXPECT_EQ(QDir(root.path("/etc/network/interfaces.d")).entryList(QDir::Files), QStringList{"eth0"})
        << "no temporary file is left";
}

// A full disk, and a folder gone as the file is put in place: the writer
// says so, and a full disk keeps the old file whole.
TEST(InterfaceFiles, AWriteOrACommitThatFailsIsReported)
{
    TempRoot root;
    const QString file = "/etc/network/interfaces.d/eth0";
    const QByteArray old = "iface eth0 inet dhcp\n";
    root.writeFile(file, old);
    const QByteArray large = "iface eth0 inet static\n" + QByteArray(8192, '#') + "\n";
    EXPECT_FALSE(runOnFullDisk(4096, [&] { return netconf::writeFile(file, large); }));
    EXPECT_EQ(root.readFile(file), old);
    EXPECT_EQ(QDir(root.path("/etc/network/interfaces.d")).entryList(QDir::Files), QStringList{"eth0"});

    platform::saveFileSeams().atCommit = [&](const QString&) {
        QDir(root.path("/etc/network/interfaces.d")).removeRecursively();
    };
    QString error;
    const bool written = netconf::writeFile(file, large, &error);
    platform::saveFileSeams() = {};
    EXPECT_FALSE(written);
    EXPECT_TRUE(error.contains(file)) << error.toStdString();
}
