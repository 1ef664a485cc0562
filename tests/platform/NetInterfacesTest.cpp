#include "platform/NetInterfaces.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QFile>

using platform::LinkProbe;
using platform::NetInterface;

namespace {

// A fake sysfs entry as the simulator lays it out (platform/SimulatedNet.h).
void writeInterface(const TempRoot& root, const QString& name, int index, const QByteArray& flags,
                    const QByteArray& addresses = QByteArray())
{
    const QString sys = "/sys/class/net/" + name + "/";
    root.writeFile(sys + "ifindex", QByteArray::number(index) + "\n");
    root.writeFile(sys + "address", "02:4b:56:00:00:0" + QByteArray::number(index) + "\n");
    root.writeFile(sys + "flags", flags + "\n");
    if (!addresses.isEmpty())
        root.writeFile("/run/kova-sim/net/" + name + "/addresses", addresses);
}

class LinkProbeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = LinkProbe::timing();
        LinkProbe::timing().bringUpPauseMs = 0;
        // Records its call and brings the link up, as the simulator's does.
        root.writeScript("/sbin/ip", "root=$(dirname \"$0\")/..\n"
                                     "echo \"$@\" >> \"$root/ip.calls\"\n"
                                     "echo 0x1003 > \"$root/sys/class/net/$3/flags\"\n");
    }
    void TearDown() override { LinkProbe::timing() = saved; }

    NetInterface iface(const QString& name, bool up)
    {
        NetInterface i;
        i.name = name;
        if (up)
            i.flags = QNetworkInterface::IsUp;
        return i;
    }

    TempRoot root;
    LinkProbe::Timing saved;
};

}  // namespace

// Under a test root the interfaces are the fake sysfs's, in the order of their
// index, with Qt's flags and the simulator's addresses; nothing of the host.
TEST(NetInterfaces, ListsTheSimulatedInterfacesInIndexOrder)
{
    TempRoot root;
    EXPECT_TRUE(platform::netInterfaces().isEmpty()) << "a root without interfaces lists no host interface";

    writeInterface(root, "wlan0", 3, "0x1002");
    writeInterface(root, "eth0", 2, "0x1043", "192.168.10.5/24\nfe80::4b:56ff:fe00:2/64\n10.1.2.3/8\n");
    writeInterface(root, "lo", 1, "0x49", "127.0.0.1/8\n");

    const QList<NetInterface> all = platform::netInterfaces();
    ASSERT_EQ(all.size(), 3);
    EXPECT_EQ(all[0].name, "lo");
    EXPECT_EQ(all[1].name, "eth0");
    EXPECT_EQ(all[2].name, "wlan0");

    const NetInterface& eth = all[1];
    EXPECT_EQ(eth.hardwareAddress, "02:4B:56:00:00:02");
    EXPECT_EQ(eth.flags, QNetworkInterface::IsUp | QNetworkInterface::IsRunning | QNetworkInterface::CanBroadcast
                             | QNetworkInterface::CanMulticast);
    EXPECT_TRUE(eth.isRunning());
    ASSERT_EQ(eth.addressEntries.size(), 3);
    EXPECT_EQ(eth.addressEntries[0].ip(), QHostAddress("192.168.10.5"));
    EXPECT_EQ(eth.addressEntries[0].netmask(), QHostAddress("255.255.255.0"));
    EXPECT_EQ(eth.addressEntries[0].broadcast(), QHostAddress("192.168.10.255"));
    const QList<QNetworkAddressEntry> v4 = eth.ipv4Entries();
    ASSERT_EQ(v4.size(), 2);
    EXPECT_EQ(v4[1].ip(), QHostAddress("10.1.2.3"));

    EXPECT_EQ(all[0].flags, QNetworkInterface::IsUp | QNetworkInterface::IsLoopBack | QNetworkInterface::IsRunning);
    EXPECT_FALSE(all[2].isUp());
    EXPECT_FALSE(all[2].isRunning());
    EXPECT_TRUE(all[2].addressEntries.isEmpty());

    EXPECT_EQ(platform::netInterfaceFromName("wlan0").hardwareAddress, "02:4B:56:00:00:03");
    EXPECT_FALSE(platform::netInterfaceFromName("eth1").isValid());
}

// The carrier file decides, unless the on-board controller's PHY does: its
// basic status register's bit 2.
TEST_F(LinkProbeTest, CarrierFileOrThePhysLinkBit)
{
    writeInterface(root, "eth0", 2, "0x1003");
    const struct
    {
        const char* modalias;  // nullptr: no file
        const char* carrier;
        const char* bmsr;
        bool expected;
    } cases[] = {
        {nullptr, "1\n", nullptr, true},
        {nullptr, "0\n", nullptr, false},
        {nullptr, nullptr, nullptr, false},
        {"pci:v000010ECd00008168\n", "1\n", "0x7969", true},  // another driver: its carrier
        {"platform:sunxi_gmac\n", "0\n", "0x796d", true},
        {"platform:sunxi_gmac\n", "1\n", "0x0004", true},
        {"platform:sunxi_gmac\n", "1\n", "0x7969", false},
        {"platform:sunxi_gmac\n", "1\n", "0xfffb", false},
        {"platform:sunxi_gmac\n", "1\n", nullptr, false},  // the PHY does not answer
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.modalias ? c.modalias : "-") + " " + (c.carrier ? c.carrier : "-") + " "
                     + (c.bmsr ? c.bmsr : "-"));
        for (const auto& [file, content] : {std::pair{"/sys/class/net/eth0/device/modalias", c.modalias},
                                            std::pair{"/sys/class/net/eth0/carrier", c.carrier},
                                            std::pair{"/run/kova-sim/net/eth0/bmsr", c.bmsr}}) {
            QFile::remove(root.path(file));
            if (content)
                root.writeFile(file, content);
        }
        LinkProbe probe;
        EXPECT_EQ(probe.isMediaOk(platform::netInterfaceFromName("eth0"), false), c.expected);
    }
    EXPECT_FALSE(LinkProbe().isMediaOk(NetInterface(), false)) << "no interface";
}

// A down interface is brought up first when asked, with a bounded `ip`;
// the controller's PHY answers only once it is up.
TEST_F(LinkProbeTest, BringsADownInterfaceUpWhenAsked)
{
    writeInterface(root, "eth0", 2, "0x1002");
    root.writeFile("/sys/class/net/eth0/device/modalias", "platform:sunxi_gmac\n");
    root.writeFile("/run/kova-sim/net/eth0/bmsr", "0x796d\n");
    LinkProbe probe;

    EXPECT_FALSE(probe.isMediaOk(iface("eth0", false), false)) << "down: the PHY refuses";
    EXPECT_TRUE(root.readFile("/ip.calls").isEmpty());

    EXPECT_TRUE(probe.isMediaOk(iface("eth0", false), true));
    EXPECT_EQ(root.readFile("/ip.calls"), "link set eth0 up\n");

    EXPECT_TRUE(probe.isMediaOk(iface("eth0", true), true)) << "up already: nothing to do";
    EXPECT_EQ(root.readFile("/ip.calls"), "link set eth0 up\n");

    // An `ip` that never ends is killed after the time-out.
    LinkProbe::timing().bringUpTimeoutMs = 200;
    root.writeScript("/sbin/ip", "exec sleep 60\n");
    root.writeFile("/sys/class/net/eth0/flags", "0x1002\n");
    EXPECT_FALSE(probe.isMediaOk(iface("eth0", false), true));
}
