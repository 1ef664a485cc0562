#include "Network/NetworkManager.h"

#include "HeldTool.h"
#include "NetSim.h"
#include "QtPrinters.h"
#include "TempRoot.h"
#include "platform/CommandRunner.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

namespace {

constexpr int kWaitMs = 10000;
const QString kEth0File = "/etc/network/interfaces.d/eth0";
const QString kSupplicant = "/etc/wpa_supplicant.conf";
const QByteArray kEth0Dhcp = "iface eth0 inet dhcp\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n";

// A manager on a simulated network; what it reports is written down in order.
class NetworkManagerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = platform::LinkProbe::timing();
        platform::LinkProbe::timing().bringUpPauseMs = 0;
        ASSERT_TRUE(sim.installStandIns());
        QObject::connect(&manager, &NetworkManager::signalConnected, [this](const NetInfo* nic) {
            reports << (nic ? "connected " + nic->name() : QString("connected"));
        });
        QObject::connect(&manager, &NetworkManager::signalDisconnected,
                         [this](const NetInfo* nic) { reports << "disconnected " + nic->name(); });
        QObject::connect(&manager, &NetworkManager::signalDeviceAdded, [this](QString name) { reports << "added " + name; });
        QObject::connect(&manager, &NetworkManager::signalDeviceRemoved,
                         [this](QString name) { reports << "removed " + name; });
        QObject::connect(&manager, &NetworkManager::signalChangeFailed,
                         [this](NetworkManager::Change change, const QString& reason) {
                             failures << QString("%1 %2").arg(int(change)).arg(reason);
                         });
    }
    void TearDown() override { platform::LinkProbe::timing() = saved; }

    // eth0 up with its DHCP address, as after an earlier start; nothing recorded.
    void ethernetUp()
    {
        ASSERT_TRUE(sim.add("eth0"));
        root.writeFile(kEth0File, kEth0Dhcp);
        ASSERT_TRUE(platform::CommandRunner::run("/sbin/ifup", {"eth0"}).succeeded());
        QFile::remove(sim.statePath("calls"));
    }

    bool waitIdle() { return QTest::qWaitFor([this] { return !manager.isBusy(); }, kWaitMs); }

    NetInfoPtr record(const QString& name)
    {
        for (const NetInfoPtr& nic : manager.currentConnections(false)) {
            if (nic->name() == name)
                return nic;
        }
        return nullptr;
    }

    // Every report of one media check.
    QStringList check()
    {
        reports.clear();
        manager.slotMediaCheck();
        return reports;
    }

    TempRoot root;
    kovasim::NetSim sim{root.root()};
    NetworkManager manager;
    QStringList reports;
    QStringList failures;  // signalChangeFailed: the change's number and the reason
    platform::LinkProbe::Timing saved;
};

}  // namespace

TEST_F(NetworkManagerTest, StartUpConnectsEthernetElseWifi)
{
    EXPECT_TRUE(manager.currentConnections(false).isEmpty());
    EXPECT_EQ(manager.slotConnect(), NetworkManager::ConnectNone) << "nothing at all";
    EXPECT_TRUE(sim.calls().isEmpty());

    // A cable but no file: DHCP, then ifup.
    ASSERT_TRUE(sim.add("eth0"));
    manager.initialize();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(root.readFile(kEth0File), kEth0Dhcp);
    EXPECT_EQ(sim.calls(), QStringList({"ip link set eth0 up", "ifup eth0"}));
    ASSERT_TRUE(record("eth0"));
    EXPECT_TRUE(record("eth0")->isRunning()) << "refreshed when ifup ended";

    // Up with an address: no command at all.
    QFile::remove(sim.statePath("calls"));
    EXPECT_EQ(manager.slotConnect(), NetworkManager::ConnectLAN);
    EXPECT_TRUE(sim.calls().isEmpty());
    EXPECT_EQ(manager.isConnected(), NetworkManager::ConnectLAN);
}

TEST_F(NetworkManagerTest, ExistingFileIsKeptAndAnUnpluggedPortIsLeftAlone)
{
    ASSERT_TRUE(sim.add("eth0"));
    const QByteArray staticFile = "iface eth0 inet static\n  address 10.0.0.2\n  netmask 255.0.0.0\n";
    root.writeFile(kEth0File, staticFile);
    manager.currentConnections(true);
    EXPECT_EQ(manager.slotConnect(), NetworkManager::ConnectLAN);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(root.readFile(kEth0File), staticFile);
    EXPECT_EQ(sim.calls().last(), "ifup eth0");

    QFile::remove(root.path("/run/network/ifstate"));
    QFile::remove(root.path(kEth0File));
    ASSERT_TRUE(sim.unplug("eth0"));
    manager.currentConnections(true);
    EXPECT_EQ(manager.slotConnect(), NetworkManager::ConnectNone);
    EXPECT_FALSE(QFile::exists(root.path(kEth0File)));
}

TEST_F(NetworkManagerTest, WifiOnlyGetsItsBaseFilesAndIfup)
{
    ASSERT_TRUE(sim.add("wlan0"));
    manager.currentConnections(true);
    EXPECT_EQ(manager.slotConnect(), NetworkManager::ConnectWiFi);
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(root.readFile(kSupplicant), "fast_reauth=1\n");
    EXPECT_EQ(root.readFile("/etc/network/interfaces.d/wlan0"),
              "allow-hotplug wlan0\niface wlan0 inet dhcp\n  wpa-conf /etc/wpa_supplicant.conf\n");
    EXPECT_EQ(sim.calls(), QStringList{"ifup wlan0"});
}

// Files that hold something are kept: a configured network survives.
TEST_F(NetworkManagerTest, WlanBaseFilesOnlyWhereMissingOrTooShort)
{
    ASSERT_TRUE(sim.add("wlan0"));
    const NetInfoPtr wlan = record("wlan0");
    const QByteArray stanza = "allow-hotplug wlan0\niface wlan0 inet dhcp\n  wpa-conf /etc/wpa_supplicant.conf\n";
    const struct
    {
        QByteArray supplicant, stanza;
        bool supplicantKept, stanzaKept;
    } cases[] = {
        {"1234", "123456789", false, false},
        {"12345", "1234567890", true, true},
        {"", "iface wlan0 inet static\n", false, true},
    };
    for (const auto& c : cases) {
        root.writeFile(kSupplicant, c.supplicant);
        root.writeFile("/etc/network/interfaces.d/wlan0", c.stanza);
        ASSERT_TRUE(manager.createWlanBaseConfig(wlan.get()));
        EXPECT_EQ(root.readFile(kSupplicant), c.supplicantKept ? c.supplicant : "fast_reauth=1\n");
        EXPECT_EQ(root.readFile("/etc/network/interfaces.d/wlan0"), c.stanzaKept ? c.stanza : stanza);
    }
    ASSERT_TRUE(sim.add("eth0"));
    EXPECT_FALSE(manager.createWlanBaseConfig(record("eth0").get()));
    EXPECT_FALSE(manager.createWlanBaseConfig(nullptr));
}

// Unplugging is reported for the record, then as a change; plugging back
// reports the record only once a refresh has made it anew.
TEST_F(NetworkManagerTest, MediaCheckReportsLinksAndDevices)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    manager.currentConnections(true);
    EXPECT_EQ(check(), QStringList({"connected eth0", "added eth0", "connected", "connected"}));
    EXPECT_EQ(check(), QStringList({"connected eth0", "connected"})) << "the refresh made new records";
    EXPECT_TRUE(check().isEmpty());

    ASSERT_TRUE(sim.unplug("eth0"));
    EXPECT_EQ(check(), QStringList({"disconnected eth0", "connected"}));
    ASSERT_TRUE(sim.plug("eth0"));
    EXPECT_EQ(check(), QStringList({"connected"})) << "the same addresses as last reported";

    ASSERT_TRUE(sim.unplug("eth0"));
    check();
    ASSERT_TRUE(sim.plug("eth0"));
    manager.refreshConnectionInfo(0);
    EXPECT_EQ(check(), QStringList({"connected eth0", "connected"})) << "a new record starts from no addresses";

    ASSERT_TRUE(sim.add("wlan0"));
    EXPECT_EQ(check(), QStringList({"added wlan0", "connected"}));
    check();  // the refresh's new eth0 record, reported once more
    ASSERT_TRUE(sim.remove("wlan0"));
    EXPECT_EQ(check(), QStringList({"removed wlan0", "connected", "connected"}));
    EXPECT_FALSE(record("wlan0"));
}

TEST_F(NetworkManagerTest, MediaCheckRunsOnlyOnceTheNetworksPageWasShown)
{
    EXPECT_FALSE(manager.mediaTimer().isActive());
    manager.unregisterNotify();
    EXPECT_FALSE(manager.mediaTimer().isActive());
    manager.registerNotify();
    EXPECT_TRUE(manager.mediaTimer().isActive());
    EXPECT_EQ(manager.mediaTimer().interval(), NetworkManager::kNotifyIntervalMs);
    manager.unregisterNotify();
    EXPECT_TRUE(manager.mediaTimer().isActive());
    EXPECT_EQ(manager.mediaTimer().interval(), NetworkManager::kIdleIntervalMs);
}

// A static address replaces the file of a running interface between ifdown and ifup.
TEST_F(NetworkManagerTest, StaticAndDhcpConfiguration)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    const NetInfoPtr eth0 = record("eth0");
    const QMap<QString, QString> config = {
        {"ADDRESSv4", "192.168.1.10"}, {"NETMASKv4", "255.255.255.0"}, {"GATEWAYv4", "192.168.1.1"}};
    ASSERT_TRUE(manager.setStaticConfig(*eth0, config));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(root.readFile(kEth0File), "iface eth0 inet static\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n"
                                        "  address 192.168.1.10\n  netmask 255.255.255.0\n  gateway 192.168.1.1\n");
    EXPECT_EQ(sim.calls(), QStringList({"ifdown eth0", "ifup eth0", "ip link set dev eth0 up"}));
    EXPECT_EQ(manager.connectionType(*record("eth0")), NetworkManager::NetConfType::Static);
    EXPECT_EQ(manager.connectionConfig(*record("eth0")), config);
    EXPECT_EQ(record("eth0")->ip_addresses(false).value(0).ip().toString(), "192.168.1.10");

    // The record given stays usable after its own ifdown refreshed the list.
    EXPECT_EQ(eth0->name(), "eth0");
    EXPECT_NE(record("eth0"), eth0);

    QMap<QString, QString> noGateway = config;
    noGateway.remove("GATEWAYv4");
    EXPECT_FALSE(manager.setStaticConfig(*record("eth0"), noGateway));
    EXPECT_TRUE(manager.errorString().contains("GATEWAYv4"));
    EXPECT_TRUE(root.readFile(kEth0File).contains("gateway 192.168.1.1")) << "untouched";

    ASSERT_TRUE(manager.setAutoConfig(*record("eth0")));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(root.readFile(kEth0File), kEth0Dhcp);
}

// A request made while ifup runs returns at once, held, with nothing
// written, and the GUI thread goes on (a timer fires, which lets ifup end);
// the held request is carried out once ifup has ended. A third one is refused.
TEST_F(NetworkManagerTest, ARequestDuringIfupIsHeldAndCarriedOutWhenItEnds)
{
    ASSERT_TRUE(sim.add("eth0"));
    manager.currentConnections(true);
    ASSERT_TRUE(sim.setHold("ifup", true));
    ASSERT_TRUE(manager.setAutoConfig(*record("eth0")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !sim.calls().isEmpty(); }, kWaitMs)) << "ifup is held";

    const QMap<QString, QString> config = {
        {"ADDRESSv4", "10.0.0.2"}, {"NETMASKv4", "255.0.0.0"}, {"GATEWAYv4", "0.0.0.0"}};
    EXPECT_TRUE(manager.setStaticConfig(*record("eth0"), config)) << manager.errorString().toStdString();
    EXPECT_TRUE(manager.isBusy());
    EXPECT_EQ(root.readFile(kEth0File), kEth0Dhcp) << "nothing written while ifup runs";
    EXPECT_FALSE(manager.startConnection(*record("eth0")));
    EXPECT_FALSE(manager.setAutoConfig(*record("eth0"))) << "one request waits at a time";
    EXPECT_FALSE(manager.errorString().isEmpty());

    EXPECT_EQ(releaseFromTheEventLoop(sim, "ifup", kWaitMs), QStringList{"ifup eth0"}) << "the request waits";
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(root.readFile(kEth0File),
              "iface eth0 inet static\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n"
              "  address 10.0.0.2\n  netmask 255.0.0.0\n");
    EXPECT_EQ(sim.calls(), QStringList({"ifup eth0", "ip link set dev eth0 up", "ifdown eth0", "ifup eth0",
                                        "ip link set dev eth0 up"}));
    EXPECT_EQ(record("eth0")->ip_addresses(false).value(0).ip().toString(), "10.0.0.2");
}

// An ifup that still runs when the held request's time is up: the request
// is refused with the reason, and nothing of it is done when ifup ends.
TEST_F(NetworkManagerTest, AHeldRequestIsRefusedWhenIfupOutlastsTheLimit)
{
    ASSERT_TRUE(sim.add("eth0"));
    manager.currentConnections(true);
    manager.setHeldRequestLimit(100);
    ASSERT_TRUE(sim.setHold("ifup", true));
    ASSERT_TRUE(manager.setAutoConfig(*record("eth0")));
    const QMap<QString, QString> config = {
        {"ADDRESSv4", "10.0.0.2"}, {"NETMASKv4", "255.0.0.0"}, {"GATEWAYv4", "0.0.0.0"}};
    EXPECT_TRUE(manager.setStaticConfig(*record("eth0"), config));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failures.isEmpty(); }, kWaitMs));
    EXPECT_EQ(failures, QStringList{"0 ifup eth0 still ran after 0.1 s"});

    ASSERT_TRUE(sim.setHold("ifup", false));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(root.readFile(kEth0File), kEth0Dhcp);
    EXPECT_EQ(sim.calls(), QStringList({"ifup eth0", "ip link set dev eth0 up"}));
    EXPECT_EQ(failures.size(), 1);
}

// The ifup of an address change that fails is reported with its reason; one
// that succeeds is not.
TEST_F(NetworkManagerTest, AFailedIfupOfAnAddressChangeIsReported)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    ASSERT_TRUE(manager.setAutoConfig(*record("eth0")));
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(failures.isEmpty());

    ASSERT_TRUE(sim.setExitCode("ifup", 1));
    ASSERT_TRUE(manager.setAutoConfig(*record("eth0")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failures.isEmpty(); }, kWaitMs));
    EXPECT_EQ(failures, QStringList{"0 ifup eth0 failed (exit code 1)"});
    EXPECT_FALSE(manager.isBusy());

    // What ifup said goes with it.
    ASSERT_TRUE(sim.setExitCode("ifup", -1));
    ASSERT_TRUE(QFile::remove(root.path("/opt/KOVA3/bin/check-link.sh")));
    failures.clear();
    ASSERT_TRUE(manager.setAutoConfig(*record("eth0")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !failures.isEmpty(); }, kWaitMs));
    EXPECT_EQ(failures, QStringList{"0 ifup eth0 failed (exit code 1): ifup: failed to bring up eth0"});
}

// A file that cannot be written is no success, and ifup does not run on the old one.
TEST_F(NetworkManagerTest, FailedWriteRunsNoIfup)
{
    ASSERT_TRUE(sim.add("eth0"));
    manager.currentConnections(true);
    ASSERT_TRUE(QDir(root.path("/etc/network/interfaces.d")).removeRecursively());
    EXPECT_FALSE(manager.setAutoConfig(*record("eth0")));
    EXPECT_TRUE(manager.errorString().contains("/etc/network/interfaces.d/eth0"));
    EXPECT_FALSE(manager.isBusy());
    EXPECT_TRUE(sim.calls().isEmpty());
}

// Records the manager has let go stay valid for whoever holds them, and are
// freed once nobody does.
TEST_F(NetworkManagerTest, OldRecordsStayValid)
{
    ASSERT_TRUE(sim.add("eth0"));
    ASSERT_TRUE(sim.add("wlan0"));
    const QList<NetInfoPtr> before = manager.currentConnections(true);
    ASSERT_EQ(before.size(), 2);
    const std::weak_ptr<NetInfo> unheld = record("wlan0");
    const NetInfoPtr held = record("eth0");
    manager.refreshConnectionInfo(0);
    EXPECT_NE(record("eth0"), held);
    EXPECT_EQ(held->name(), "eth0");
    EXPECT_EQ(held->type(), NetInfo::Ethernet);
    EXPECT_FALSE(unheld.expired()) << "still in `before`";
}

// A network is joined through the supplicant file between ifdown and ifup;
// a password the file cannot hold touches nothing.
TEST_F(NetworkManagerTest, JoinsAWifiNetwork)
{
    ASSERT_TRUE(sim.add("wlan0"));
    ASSERT_TRUE(sim.addAccessPoint("Lab \"A\"", -60, "secret123"));
    const NetInfoPtr wlan = record("wlan0");
    root.writeFile(kSupplicant, "fast_reauth=1\n");

    EXPECT_FALSE(manager.slotConnectWiFi(wlan.get(), "Lab \\\"A\\\"", "secret\"1"));
    EXPECT_FALSE(manager.errorString().isEmpty());
    EXPECT_EQ(root.readFile(kSupplicant), "fast_reauth=1\n");
    EXPECT_TRUE(sim.calls().isEmpty());

    root.writeFile("/etc/network/interfaces.d/wlan0", "iface wlan0 inet dhcp\n  wpa-conf /etc/wpa_supplicant.conf\n");
    ASSERT_TRUE(manager.slotConnectWiFi(wlan.get(), "Lab \\\"A\\\"", "secret123"));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(root.readFile(kSupplicant),
              "fast_reauth=1\nnetwork={\n  ssid=" + QByteArray("Lab \"A\"").toHex() + "\n  psk=\"secret123\"\n}\n")
        << "a name with quotes goes as hex";
    EXPECT_EQ(sim.calls(), QStringList({"ifdown wlan0", "ifup wlan0"}));
    EXPECT_TRUE(record("wlan0")->isRunning());
}

// The scan cycle through the real client: listings, a wrong key, and the
// cycle taken up again while the client still runs.
TEST_F(NetworkManagerTest, WifiScanCycle)
{
    ASSERT_TRUE(sim.add("wlan0"));
    ASSERT_TRUE(sim.addAccessPoint("LabNet", -60, "secret123"));
    ASSERT_TRUE(sim.addAccessPoint("Guest", -75));
    QSignalSpy complete(&manager, &NetworkManager::signalScanComplete);
    QSignalSpy badPassword(&manager, &NetworkManager::signalBadPassword);

    manager.registerWifiScan(record("wlan0").get());
    ASSERT_TRUE(complete.wait(kWaitMs));
    QHash<QString, APInfo> results = manager.scanResults();
    ASSERT_EQ(results.size(), 2);
    EXPECT_TRUE(results["LabNet"].secured);
    EXPECT_EQ(results["Guest"].level, 2);
    ASSERT_TRUE(complete.wait(kWaitMs)) << "the cycle goes on: scan, results event, listing";

    manager.unregisterWifiScan();
    ASSERT_TRUE(sim.addAccessPoint("Third", -50));
    manager.registerWifiScan(record("wlan0").get());
    ASSERT_TRUE(QTest::qWaitFor([&] { return manager.scanResults().contains("Third"); }, kWaitMs))
        << "taken up again while the client runs";

    ASSERT_TRUE(waitIdle());
    root.writeFile("/etc/network/interfaces.d/wlan0", "iface wlan0 inet dhcp\n  wpa-conf /etc/wpa_supplicant.conf\n");
    ASSERT_TRUE(manager.slotConnectWiFi(record("wlan0").get(), "LabNet", "wrongpass"));
    ASSERT_TRUE(badPassword.wait(kWaitMs));
}
