#include "Network/NetInfo.h"

#include "NetSim.h"
#include "TempRoot.h"
#include "platform/CommandRunner.h"

#include <gtest/gtest.h>

namespace {

platform::NetInterface named(const QString& name)
{
    platform::NetInterface iface;
    iface.name = name;
    return iface;
}

}  // namespace

TEST(NetInfo, TypeByName)
{
    const struct
    {
        const char* name;
        NetInfo::InterfaceType type;
    } cases[] = {
        {"wlan0", NetInfo::Wireless}, {"wlp2s0", NetInfo::Wireless}, {"eth0", NetInfo::Ethernet},
        {"enp1s0", NetInfo::Ethernet}, {"lo", NetInfo::Invalid},     {"can0", NetInfo::Invalid},
        {"usb0", NetInfo::Invalid},    {"Eth0", NetInfo::Invalid},   {"", NetInfo::Invalid},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(NetInfo::type(named(c.name)), c.type) << c.name;
        EXPECT_EQ(NetInfo(named(c.name)).type(), c.type) << c.name;
    }
    const NetInfo invalid{platform::NetInterface()};
    EXPECT_TRUE(invalid.name().isEmpty());
    EXPECT_TRUE(invalid.hwaddress().isEmpty());
    EXPECT_TRUE(invalid.ip_addresses(true).isEmpty());
    EXPECT_FALSE(invalid.isRunning());
}

TEST(NetInfo, SignalBars)
{
    const std::pair<int, int> cases[] = {{-40, 3}, {-66, 3}, {-67, 2}, {-79, 2}, {-80, 1}, {-100, 1}};
    for (const auto& [dBm, bars] : cases)
        EXPECT_EQ(rssi2level(dBm), bars) << dBm;
}

// The snapshot is the interface as it was; the probes read the system now.
TEST(NetInfo, SnapshotAndLiveProbes)
{
    TempRoot root;
    kovasim::NetSim sim(root.root());
    ASSERT_TRUE(sim.installStandIns());
    ASSERT_TRUE(sim.add("eth0"));
    ASSERT_TRUE(sim.add("wlan0"));
    root.writeFile("/etc/network/interfaces.d/eth0", "iface eth0 inet dhcp\n");
    const NetInfo before(platform::netInterfaceFromName("eth0"));
    EXPECT_EQ(before.hwaddress(), "02:4B:56:00:00:02");
    EXPECT_FALSE(before.isActivated());

    ASSERT_TRUE(platform::CommandRunner::run("/sbin/ifup", {"eth0"}).succeeded());
    EXPECT_TRUE(before.isActivated()) << "live";
    EXPECT_FALSE(before.isRunning()) << "the snapshot";
    EXPECT_TRUE(before.ip_addresses(true).isEmpty());

    const NetInfo after(platform::netInterfaceFromName("eth0"));
    EXPECT_TRUE(after.isRunning());
    ASSERT_EQ(after.ip_addresses(false).size(), 1);
    EXPECT_EQ(after.ip_addresses(false)[0].ip().toString(), "192.168.10.102");
    EXPECT_FALSE(NetInfo(platform::netInterfaceFromName("wlan0")).isActivated()) << "eth0=eth0 names only eth0";

    QFile::remove(root.path("/run/network/ifstate"));
    EXPECT_FALSE(after.isActivated()) << "no ifstate";
}

// A record made while its interface was down tries `ip link set up` once.
TEST(NetInfo, BringsItsInterfaceUpOnce)
{
    TempRoot root;
    kovasim::NetSim sim(root.root());
    ASSERT_TRUE(sim.installStandIns());
    ASSERT_TRUE(sim.add("enp1s0"));
    ASSERT_TRUE(sim.setExitCode("ip", 2));
    const auto saved = platform::LinkProbe::timing();
    platform::LinkProbe::timing().bringUpPauseMs = 0;

    NetInfo record(platform::netInterfaceFromName("enp1s0"));
    EXPECT_FALSE(record.isMediaOk());
    EXPECT_FALSE(record.isMediaOk());
    EXPECT_EQ(sim.calls(), QStringList{"ip link set enp1s0 up"});

    ASSERT_TRUE(sim.setExitCode("ip", -1));
    NetInfo next(platform::netInterfaceFromName("enp1s0"));
    EXPECT_TRUE(next.isMediaOk()) << "up, with the carrier of its cable";
    EXPECT_EQ(sim.calls().size(), 2);
    platform::LinkProbe::timing() = saved;
}
