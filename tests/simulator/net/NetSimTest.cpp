#include "NetSim.h"

#include "TempRoot.h"
#include "platform/CommandRunner.h"
#include "platform/NetInterfaces.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

using platform::CommandRunner;
using platform::netInterfaceFromName;

namespace {

constexpr int kWaitMs = 10000;

// A root with the network simulator's stand-ins, run as the application runs them.
class NetSimTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(sim.installStandIns()); }

    static platform::CommandResult run(const QString& tool, const QStringList& args)
    {
        return CommandRunner::run("/sbin/" + tool, args, kWaitMs);
    }

    void writeStanza(const QString& name, const QByteArray& text) const
    {
        root.writeFile("/etc/network/interfaces.d/" + name, text);
    }

    QStringList addresses(const QString& name) const
    {
        QStringList result;
        for (const QNetworkAddressEntry& entry : netInterfaceFromName(name).addressEntries)
            result << entry.ip().toString() + "/" + QString::number(entry.prefixLength());
        return result;
    }

    // Reads the client's output until it holds `text`; everything read so far.
    static QByteArray readUntil(QProcess& client, QByteArray& seen, const QByteArray& text)
    {
        const QDeadlineTimer deadline(kWaitMs);
        while (!seen.contains(text) && !deadline.hasExpired() && client.state() == QProcess::Running) {
            client.waitForReadyRead(100);
            seen += client.readAll();
        }
        return seen;
    }

    TempRoot root;
    kovasim::NetSim sim{root.root()};
};

}  // namespace

// The cable, the link and the PHY as the seam sees them.
TEST_F(NetSimTest, LinkFollowsTheCableWhileUp)
{
    ASSERT_TRUE(sim.add("eth0"));
    EXPECT_FALSE(sim.add("eth0")) << "once";
    platform::LinkProbe probe;
    auto eth0 = [] { return netInterfaceFromName("eth0"); };
    ASSERT_TRUE(eth0().isValid());
    EXPECT_FALSE(eth0().isUp());
    EXPECT_FALSE(probe.isMediaOk(eth0(), false)) << "down: the PHY does not answer";

    ASSERT_TRUE(run("ip", {"link", "set", "eth0", "up"}).succeeded());
    EXPECT_TRUE(eth0().isRunning());
    EXPECT_TRUE(probe.isMediaOk(eth0(), false));
    EXPECT_EQ(root.readFile("/sys/class/net/eth0/carrier"), "1\n");

    ASSERT_TRUE(sim.unplug("eth0"));
    EXPECT_TRUE(eth0().isUp());
    EXPECT_FALSE(eth0().isRunning());
    EXPECT_FALSE(probe.isMediaOk(eth0(), false));
    EXPECT_EQ(root.readFile("/sys/class/net/eth0/carrier"), "0\n");

    ASSERT_TRUE(sim.plug("eth0"));
    EXPECT_TRUE(probe.isMediaOk(eth0(), false));
    ASSERT_TRUE(run("ip", {"link", "set", "dev", "eth0", "down"}).succeeded());
    EXPECT_FALSE(QFile::exists(root.path("/sys/class/net/eth0/carrier")));

    EXPECT_EQ(run("ip", {"link", "set", "eth1", "up"}).exitCode, 1);
    EXPECT_EQ(sim.calls(), QStringList({"ip link set eth0 up", "ip link set dev eth0 down", "ip link set eth1 up"}));

    ASSERT_TRUE(sim.remove("eth0"));
    EXPECT_TRUE(platform::netInterfaces().isEmpty());
}

// ifup follows the interface's stanza, runs its pre-up check under the root and
// keeps ifstate; ifdown undoes it.
TEST_F(NetSimTest, IfupAndIfdownFollowTheStanza)
{
    ASSERT_TRUE(sim.add("eth0"));
    EXPECT_EQ(run("ifup", {"eth0"}).exitCode, 1) << "no stanza";

    writeStanza("eth0", "iface eth0 inet dhcp\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n");
    ASSERT_TRUE(sim.setDhcpAddress("eth0", "192.168.7.20/24"));
    ASSERT_TRUE(run("ifup", {"eth0"}).succeeded());
    EXPECT_EQ(addresses("eth0"), QStringList{"192.168.7.20/24"});
    EXPECT_TRUE(netInterfaceFromName("eth0").isRunning());
    EXPECT_EQ(root.readFile("/run/network/ifstate"), "eth0=eth0\n");
    EXPECT_TRUE(run("ifup", {"eth0"}).succeeded()) << "already configured";
    EXPECT_EQ(sim.calls(), QStringList({"ifup eth0", "ifup eth0", "ip link set dev eth0 up", "ifup eth0"}))
        << "the link check brought the link up";

    ASSERT_TRUE(run("ifdown", {"eth0"}).succeeded());
    EXPECT_TRUE(addresses("eth0").isEmpty());
    EXPECT_FALSE(netInterfaceFromName("eth0").isUp());
    EXPECT_EQ(root.readFile("/run/network/ifstate"), "");

    writeStanza("eth0", "iface eth0 inet static\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n"
                        "  address 10.1.2.3\n  netmask 255.255.0.0\n  gateway 10.1.0.1\n");
    ASSERT_TRUE(run("ifup", {"eth0"}).succeeded());
    EXPECT_EQ(addresses("eth0"), QStringList{"10.1.2.3/16"});

    // The link check refuses an interface the system does not have.
    ASSERT_TRUE(run("ifdown", {"eth0"}).succeeded());
    root.writeFile("/etc/network/interfaces.d/eth0", "iface eth0 inet dhcp\n  pre-up /opt/KOVA3/bin/check-link.sh eth1\n");
    EXPECT_EQ(run("ifup", {"eth0"}).exitCode, 1);
    EXPECT_EQ(root.readFile("/run/network/ifstate"), "");
}

// Each tool can be told to fail or to wait; a waiting one ends once released.
TEST_F(NetSimTest, ScriptedExitAndHold)
{
    ASSERT_TRUE(sim.add("eth0"));
    writeStanza("eth0", "iface eth0 inet dhcp\n");
    ASSERT_TRUE(sim.setExitCode("ifup", 3));
    EXPECT_EQ(run("ifup", {"eth0"}).exitCode, 3);
    EXPECT_EQ(root.readFile("/run/network/ifstate"), "") << "failed without acting";
    ASSERT_TRUE(sim.setExitCode("ifup", -1));

    ASSERT_TRUE(sim.setHold("ifup", true));
    QProcess ifup;
    ASSERT_TRUE(CommandRunner::prepare(ifup, "/sbin/ifup", {"eth0"}));
    ifup.start();
    ASSERT_TRUE(ifup.waitForStarted(kWaitMs));
    const QDeadlineTimer deadline(kWaitMs);
    while (!sim.calls().contains("ifup eth0") && !deadline.hasExpired())
        QThread::msleep(10);
    EXPECT_EQ(ifup.state(), QProcess::Running) << "held";
    ASSERT_TRUE(sim.setHold("ifup", false));
    ASSERT_TRUE(ifup.waitForFinished(kWaitMs));
    EXPECT_EQ(ifup.exitCode(), 0);
    EXPECT_EQ(root.readFile("/run/network/ifstate"), "eth0=eth0\n");
}

// The client answers scan and scan_results with the prompt after each, and
// passes on what ifup's supplicant reports: a wrong key, or the connection.
TEST_F(NetSimTest, WpaCliScansAndReportsAWrongKey)
{
    ASSERT_TRUE(sim.add("wlan0"));
    ASSERT_TRUE(sim.addAccessPoint("LabNet", -60, "secret123"));
    ASSERT_TRUE(sim.addAccessPoint("Guest \"A\"", -81));
    QProcess client;
    ASSERT_TRUE(CommandRunner::prepare(client, "wpa_cli", {"-iwlan0"}));
    client.setProcessChannelMode(QProcess::MergedChannels);
    client.start();
    ASSERT_TRUE(client.waitForStarted(kWaitMs));
    QByteArray seen;
    readUntil(client, seen, "> ");
    ASSERT_TRUE(seen.endsWith("Interactive mode\n\n> ")) << seen.constData() << client.state();

    client.write("scan_results\r");
    readUntil(client, seen, "Guest");
    readUntil(client, seen, "> ");
    EXPECT_TRUE(seen.contains("bssid / frequency / signal level / flags / ssid\n"));
    EXPECT_TRUE(seen.contains("\t2437\t-60\t[WPA2-PSK-CCMP][ESS]\tLabNet\n"));
    EXPECT_TRUE(seen.contains("\t2437\t-81\t[ESS]\tGuest \\\"A\\\"\n")) << "printed as the client prints names";
    EXPECT_FALSE(seen.contains("secret123"));

    seen.clear();
    client.write("scan\r");
    readUntil(client, seen, "CTRL-EVENT-SCAN-RESULTS");
    EXPECT_TRUE(seen.startsWith("OK\n> ")) << seen.constData();
    ASSERT_TRUE(sim.setScanBusy(true));
    seen.clear();
    client.write("scan\n");
    readUntil(client, seen, "FAIL-BUSY\n> ");
    EXPECT_EQ(seen, "FAIL-BUSY\n> ");

    writeStanza("wlan0", "iface wlan0 inet dhcp\n  wpa-conf /etc/wpa_supplicant.conf\n");
    root.writeFile("/etc/wpa_supplicant.conf", "fast_reauth=1\nnetwork={\n  ssid=\"LabNet\"\n  psk=\"secret12\"\n}\n");
    seen.clear();
    EXPECT_EQ(run("ifup", {"wlan0"}).exitCode, 1);
    readUntil(client, seen, "reason=WRONG_KEY\n> ");
    EXPECT_TRUE(seen.startsWith("<3>CTRL-EVENT-SSID-TEMP-DISABLED")) << seen.constData();
    EXPECT_FALSE(netInterfaceFromName("wlan0").isRunning());

    root.writeFile("/etc/wpa_supplicant.conf", "fast_reauth=1\nnetwork={\n  ssid=4c61624e6574\n  psk=\"secret123\"\n}\n");
    seen.clear();
    ASSERT_TRUE(run("ifup", {"wlan0"}).succeeded());
    readUntil(client, seen, "CTRL-EVENT-CONNECTED");
    EXPECT_TRUE(netInterfaceFromName("wlan0").isRunning());
    EXPECT_EQ(addresses("wlan0"), QStringList{"192.168.10.102/24"});

    client.closeWriteChannel();
    EXPECT_TRUE(client.waitForFinished(kWaitMs)) << "ends with its input";
}
