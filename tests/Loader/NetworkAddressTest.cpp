#include "LoaderBench.h"

#include "NetSim.h"

#include "platform/NetInterfaces.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>

namespace {

const QString kInterfaceFile = QStringLiteral("/etc/network/interfaces.d/eth0");
const QByteArray kDhcpStanza = "iface eth0 inet dhcp\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n";

// A launcher on a root with the simulated network (eth0, cable in, down),
// the address check right after the interface's restart.
struct NetworkBench : LoaderBench
{
    NetworkBench()
    {
        platform::LinkProbe::timing().bringUpPauseMs = 0;
        EXPECT_TRUE(net.installStandIns());
        EXPECT_TRUE(net.add("eth0"));
        writeSettings("[KOVA-III]\nZig mode=On\n");
        LoaderTiming timing;
        timing.buttonsEnableMs = 0;
        timing.addressCheckMs = 0;
        dialog = std::make_unique<LoaderDlg>(nullptr, timing);
    }
    ~NetworkBench() { platform::LinkProbe::timing() = platform::LinkProbe::Timing(); }

    QString address() { return labelText(*dialog, "LABEL_IP_ADDRESS"); }
    QString lamp() { return dialog->findChild<QLabel*>("LABEL_NETWORK_STATUS")->styleSheet(); }
    QPushButton* refresh() { return button(*dialog, "BUTTON_IP_LOAD"); }
    // Refresh, and the address check that follows it.
    void refreshAndWait()
    {
        refresh()->click();
        EXPECT_TRUE(waitFor([&] { return refresh()->isEnabled(); }));
    }
    // The calls of the network tools, without the link checks' bring-ups.
    QStringList commands() const { return net.calls().filter(QRegularExpression("^if(up|down) ")); }

    kovasim::NetSim net{root.root()};
    std::unique_ptr<LoaderDlg> dialog;
};

const char kRed[] = "background-color: rgb(255, 0, 0);";
const char kGreen[] = "background-color: rgb(0, 255, 0);";

}  // namespace

TEST(LoaderNetwork, ALinkPutsEth0OnDhcpAndShowsItsAddress)
{
    NetworkBench bench;
    ASSERT_TRUE(bench.net.setDhcpAddress("eth0", "192.168.10.5/24"));
    bench.root.writeFile(kInterfaceFile, "iface eth0 inet static\n  address 10.0.0.2/8\n");

    bench.refresh()->click();
    EXPECT_EQ(bench.address(), "Waiting...") << "until the check";
    EXPECT_EQ(bench.lamp(), "background-color: rgb(255, 165, 0);");
    EXPECT_FALSE(bench.refresh()->isEnabled());
    EXPECT_EQ(bench.root.readFile(kInterfaceFile), kDhcpStanza);
    EXPECT_EQ(bench.net.calls().mid(0, 3), (QStringList{"ip link set eth0 up", "ifdown eth0", "ifup eth0"}))
        << "a down interface is brought up for the link check";

    ASSERT_TRUE(LoaderBench::waitFor([&] { return bench.refresh()->isEnabled(); }));
    EXPECT_EQ(bench.address(), "192.168.10.5");
    EXPECT_EQ(bench.lamp(), kGreen);
}

TEST(LoaderNetwork, IPbtnEnabledGivesRefreshBack)
{
    NetworkBench bench;
    bench.refresh()->setEnabled(false);
    bench.dialog->slotIPbtnEnabled();
    EXPECT_TRUE(bench.refresh()->isEnabled());
}

TEST(LoaderNetwork, NoLinkIsRedAndTouchesNothing)
{
    NetworkBench bench;
    ASSERT_TRUE(bench.net.unplug("eth0"));
    bench.root.writeFile(kInterfaceFile, "old\n");
    bench.refreshAndWait();
    EXPECT_EQ(bench.address(), "[X]");
    EXPECT_EQ(bench.lamp(), kRed);
    EXPECT_TRUE(bench.commands().isEmpty());
    EXPECT_EQ(bench.root.readFile(kInterfaceFile), "old\n");
}

TEST(LoaderNetwork, OnlyTheFirstIpv4AddressOfEth0Counts)
{
    NetworkBench bench;
    ASSERT_TRUE(bench.net.add("eth1"));
    bench.root.writeFile("/run/kova-sim/net/eth1/addresses", "10.0.0.9/8\n");
    ASSERT_TRUE(bench.net.setDhcpAddress("eth0", "fd00::5/64"));
    bench.refreshAndWait();
    EXPECT_EQ(bench.address(), "[X]") << "IPv6 only; other interfaces are not looked at";
    EXPECT_EQ(bench.lamp(), kRed);

    bench.root.writeFile("/run/kova-sim/net/eth0/addresses", "fd00::5/64\n192.168.10.7/24\n192.168.10.8/24\n");
    bench.dialog->slot_check_IP();
    EXPECT_EQ(bench.address(), "192.168.10.7");
    EXPECT_EQ(bench.lamp(), kGreen);
}

// The interface is not brought up on a configuration that was never written.
TEST(LoaderNetwork, AnUnwritableInterfaceFileIsRedWithoutIfup)
{
    NetworkBench bench;
    ASSERT_TRUE(QDir(bench.root.path("/etc/network/interfaces.d")).removeRecursively());
    bench.refreshAndWait();
    EXPECT_EQ(bench.address(), "[X]");
    EXPECT_EQ(bench.lamp(), kRed);
    EXPECT_EQ(bench.commands(), QStringList{"ifdown eth0"});
}

// The on-board controller answers from its PHY, never from the carrier file;
// any other from the carrier file.
TEST(LoaderNetwork, LinkFromThePhyOrTheCarrier)
{
    NetworkBench bench;
    ASSERT_TRUE(bench.dialog->isMediaOk());  // brings eth0 up
    bench.root.writeFile("/sys/class/net/eth0/carrier", "0\n");
    EXPECT_TRUE(bench.dialog->isMediaOk()) << "the PHY says link";
    ASSERT_TRUE(bench.net.unplug("eth0"));
    bench.root.writeFile("/sys/class/net/eth0/carrier", "1\n");
    EXPECT_FALSE(bench.dialog->isMediaOk()) << "the PHY says none";

    bench.root.writeFile("/sys/class/net/eth0/device/modalias", "pci:v00008086d0000100E\n");
    EXPECT_TRUE(bench.dialog->isMediaOk()) << "the carrier says link";
    bench.root.writeFile("/sys/class/net/eth0/carrier", "0\n");
    EXPECT_FALSE(bench.dialog->isMediaOk());
}

TEST(LoaderNetwork, RepeatedChecksLeaveNoSocketOpen)
{
    NetworkBench bench;
    ASSERT_TRUE(bench.net.unplug("eth0"));
    bench.refreshAndWait();
    const int open = QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
    for (int i = 0; i < 20; ++i)
        bench.refreshAndWait();
    EXPECT_EQ(QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size(), open);
}
