#include "Settings/NetworkSelectDlg.h"
#include "Settings/NetworksFrame.h"
#include "Settings/SetupDlg.h"

#include "ClippedText.h"
#include "HeldTool.h"
#include "Keyboard/KeyboardDlg.h"
#include "Keyboard/NumberKeypadDlg.h"
#include "KovaCore/KovaCoreApp.h"
#include "ModalAnswerer.h"
#include "NetSim.h"
#include "Network/NetworkManager.h"
#include "QtPrinters.h"
#include "SettingsTestSupport.h"
#include "TempRoot.h"
#include "WhenModal.h"
#include "platform/CommandRunner.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

constexpr int kWaitMs = 10000;
const QString kEth0File = "/etc/network/interfaces.d/eth0";

// The reason in a box of the look of message 30 saying the settings could
// not be applied; empty when the box says something else.
QString applyFailureReason(const QString& shown)
{
    const QString prefix = "<p><b>Error (Code : 0030)</b><br/>The network settings could not be applied.<br/>";
    if (!shown.startsWith(prefix))
        return QString();
    QString reason = shown.mid(prefix.size());
    reason.chop(QStringLiteral("</p>").size());
    return reason.replace("<br/>", " ");
}

TEST(NetworksAddress, CleanupKeepsThePartsAndDropsLeadingZeros)
{
    const std::pair<QString, QString> cases[] = {
        {"192.168.001.010", "192.168.1.10"}, {"192.168..1", "192.168.0.1"}, {"300.1.2.3", "300.1.2.3"},
        {"", "0"},                           {"a.-1.2", "0.0.2"},          {"010.001.002.003", "10.1.2.3"},
    };
    for (const auto& [typed, clean] : cases)
        EXPECT_EQ(cleanup_hostaddr(typed), clean) << typed.toStdString();
}

TEST(NetworksAddress, StaticSettingsAreCheckedTheGatewayNever)
{
    const struct
    {
        const char *ip, *mask, *gateway;
        bool valid;
        const char *address, *netmask, *storedGateway;
    } cases[] = {
        {"192.168.001.010", "255.255.255.000", "192.168.1.1", true, "192.168.1.10", "255.255.255.0", "192.168.1.1"},
        {"192.168.1.10", "255.255.255.0", "10.0.0.1", true, "192.168.1.10", "255.255.255.0", "0.0.0.0"},
        {"192.168.1.10", "255.255.255.255", "192.168.1.1", true, "192.168.1.10", "255.255.255.255", "0.0.0.0"},
        {"10.1.2.3", "255.0.0.0", "", true, "10.1.2.3", "255.0.0.0", "0.0.0.0"},
        {"192.168.1.10", "255.255.0.255", "192.168.1.1", false, "192.168.1.10", "255.255.0.255", "0.0.0.0"},
        {"0.0.0.0", "255.255.255.0", "192.168.1.1", false, "0.0.0.0", "255.255.255.0", "0.0.0.0"},
        {"", "255.255.255.0", "192.168.1.1", false, "0.0.0.0", "255.255.255.0", "0.0.0.0"},
        {"300.1.2.3", "255.255.255.0", "192.168.1.1", false, "", "255.255.255.0", "0.0.0.0"},
        {"192.168.1.10", "0.0.0.0", "192.168.1.1", false, "192.168.1.10", "0.0.0.0", "0.0.0.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.ip) + " " + c.mask + " " + c.gateway);
        const StaticAddress s = StaticAddress::check(c.ip, c.mask, c.gateway);
        EXPECT_EQ(s.valid, c.valid);
        EXPECT_EQ(s.ip.toString(), c.address);
        EXPECT_EQ(s.mask.toString(), c.netmask);
        EXPECT_EQ(s.gateway.toString(), c.storedGateway);
        if (c.valid)
            EXPECT_EQ(s.config(), (QMap<QString, QString>{
                                      {"ADDRESSv4", c.address}, {"NETMASKv4", c.netmask}, {"GATEWAYv4", c.storedGateway}}));
    }
}

// The networks page and the Wi-Fi dialog on a simulated network, with a
// network manager of their own in theApp.
class NetworksTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        saved = platform::LinkProbe::timing();
        platform::LinkProbe::timing().bringUpPauseMs = 0;
        previous = theApp.m_pNetworkManager;
        theApp.m_pNetworkManager = &manager;
        ASSERT_TRUE(sim.installStandIns());
    }
    void TearDown() override
    {
        page.reset();
        theApp.m_pNetworkManager = previous;
        platform::LinkProbe::timing() = saved;
    }

    // eth0 up with its DHCP address, as after the start-up; nothing recorded.
    void ethernetUp(const QByteArray& stanza = "iface eth0 inet dhcp\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n")
    {
        ASSERT_TRUE(sim.add("eth0"));
        root.writeFile(kEth0File, stanza);
        ASSERT_TRUE(platform::CommandRunner::run("/sbin/ifup", {"eth0"}).succeeded());
        QFile::remove(sim.statePath("calls"));
    }

    void showPage()
    {
        page = std::make_unique<NetworksFrame>();
        page->show();
    }

    bool waitIdle() { return QTest::qWaitFor([this] { return !manager.isBusy(); }, kWaitMs); }

    template <class T>
    T* child(const char* name) const
    {
        return page->findChild<T*>(QString::fromLatin1(name));
    }
    QString text(const char* label) const { return child<QLabel>(label)->text(); }
    QString statusStyle() const { return child<QLabel>("LABEL_NETWORK_STATUS")->styleSheet(); }

    TempRoot root;
    kovasim::NetSim sim{root.root()};
    NetworkManager manager;
    NetworkManager* previous = nullptr;
    platform::LinkProbe::Timing saved;
    std::unique_ptr<NetworksFrame> page;
};

}  // namespace

TEST_F(NetworksTest, ShowsTheWiredConnectionAndItsDhcpChoice)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    showPage();
    EXPECT_EQ(text("LABEL_IP_ADDRESS"), "192.168.10.102");
    EXPECT_TRUE(statusStyle().contains("Ethernet_1.png"));
    EXPECT_EQ(text("LABEL_MAC_ADDRESS"), "MAC address : 02-4B-56-00-00-02");
    EXPECT_TRUE(child<QRadioButton>("RADIO_IP_AUTO")->isChecked());
    EXPECT_FALSE(child<QLineEdit>("EDIT_IP_STATIC")->isEnabled());
    EXPECT_TRUE(child<QPushButton>("BUTTON_WIFI_ENABLE")->isHidden()) << "hidden, as it is on the instrument";
    EXPECT_TRUE(sim.calls().isEmpty());
    const QList<ClippedText> clipped = clippedTexts(page.get());
    EXPECT_TRUE(clipped.isEmpty()) << "the address and the MAC show whole:\n" << describe(clipped);
}

// Without any interface the page shows nothing, and does not loop on the empty list.
TEST_F(NetworksTest, NoInterfaceShowsNothing)
{
    showPage();
    EXPECT_EQ(text("LABEL_IP_ADDRESS"), "");
    EXPECT_FALSE(statusStyle().contains("url("));
    EXPECT_EQ(text("LABEL_MAC_ADDRESS"), "MAC address : ");
}

TEST_F(NetworksTest, ShowsTheStoredStaticAddress)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp("iface eth0 inet static\n  address 10.1.2.3/24\n  gateway 10.1.2.1\n"));
    showPage();
    EXPECT_TRUE(child<QRadioButton>("RADIO_IP_STATIC")->isChecked());
    EXPECT_FALSE(child<QRadioButton>("RADIO_IP_AUTO")->isChecked());
    EXPECT_TRUE(child<QLineEdit>("EDIT_IP_STATIC")->isEnabled());
    EXPECT_EQ(child<QLineEdit>("EDIT_IP_STATIC")->text(), "10.1.2.3");
    EXPECT_EQ(child<QLineEdit>("EDIT_SUBNET_MASK")->text(), "255.255.255.0") << "a prefix length shown dotted";
    EXPECT_EQ(child<QLineEdit>("EDIT_GATEWAY")->text(), "10.1.2.1");
    EXPECT_EQ(text("LABEL_IP_ADDRESS"), "10.1.2.3");
}

// A field typed on the keypad, then Apply: the interface's file is replaced
// between ifdown and ifup, and its new address shows once ifup has ended.
TEST_F(NetworksTest, ApplyAStaticAddressTypedOnTheKeypad)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    showPage();
    QSignalSpy dimming(page.get(), &NetworksFrame::signal_setBackStatus);
    child<QRadioButton>("RADIO_IP_STATIC")->click();
    {
        WhenModal<NumberKeypadDlg> keypad([](NumberKeypadDlg* pad) {
            const char* octets[] = {"192", "168", "001", "010"};
            for (int i = 0; i < 4; ++i)
                pad->findChild<QLineEdit*>(QStringLiteral("EDIT_IP_STATIC_%1").arg(i + 1))->setText(octets[i]);
            pad->findChild<QPushButton*>(QStringLiteral("BUTTON_KEY_APPLY"))->click();
        });
        QTest::mousePress(child<QLineEdit>("EDIT_IP_STATIC"), Qt::LeftButton);
        ASSERT_TRUE(keypad.done());
    }
    EXPECT_EQ(child<QLineEdit>("EDIT_IP_STATIC")->text(), "192.168.001.010");
    EXPECT_EQ(dimming.size(), 2);
    page->slot_set_value_Subnet_Mask("255.255.255.0");
    page->slot_set_value_Default_Gateway("192.168.1.1");

    child<QPushButton>("BUTTON_APPLY")->click();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(root.readFile(kEth0File), "iface eth0 inet static\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n"
                                        "  address 192.168.1.10\n  netmask 255.255.255.0\n  gateway 192.168.1.1\n");
    const QStringList calls = sim.calls();
    ASSERT_TRUE(calls.contains("ifdown eth0"));
    EXPECT_LT(calls.indexOf("ifdown eth0"), calls.indexOf("ifup eth0"));
    EXPECT_EQ(text("LABEL_IP_ADDRESS"), "192.168.1.10");
    EXPECT_TRUE(child<QPushButton>("BUTTON_APPLY")->isEnabled());
}

// Invalid settings show message 30 with what was read, and nothing is applied.
TEST_F(NetworksTest, InvalidSettingsShowMessage30)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    showPage();
    child<QRadioButton>("RADIO_IP_STATIC")->click();
    const struct
    {
        const char *ip, *mask, *shown;
    } cases[] = {
        {"192.168.1.10", "255.255.0.255", "MASK : 255.255.0.255"},
        {"0.0.0.0", "255.255.255.0", "IP ADDR : 0.0.0.0"},
        {"", "255.255.255.0", "GATEWAY : 0.0.0.0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ip);
        page->slot_set_value_IP_Address(c.ip);
        page->slot_set_value_Subnet_Mask(c.mask);
        page->slot_set_value_Default_Gateway("192.168.1.1");
        ModalAnswerer answerer;
        answerer.plan(true);
        child<QPushButton>("BUTTON_APPLY")->click();
        ASSERT_EQ(answerer.shown.size(), 1);
        EXPECT_TRUE(answerer.shown[0].contains(c.shown)) << answerer.shown[0].toStdString();
        EXPECT_EQ(child<QLineEdit>("EDIT_IP_STATIC")->text(), c.ip) << "kept as typed";
    }
    EXPECT_TRUE(sim.calls().isEmpty());
    EXPECT_TRUE(root.readFile(kEth0File).contains("inet dhcp"));
}

// Apply that the manager refuses (here: the interfaces' folder is gone, so
// the file cannot be written) says so with the reason, in the look of message
// 30, and leaves the page ready to apply again.
TEST_F(NetworksTest, RefusedApplySaysWhyAndEnablesApplyAgain)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    showPage();
    ASSERT_TRUE(QDir(root.path("/etc/network/interfaces.d")).removeRecursively());
    for (const char* radio : {"RADIO_IP_STATIC", "RADIO_IP_AUTO"}) {
        SCOPED_TRACE(radio);
        child<QRadioButton>(radio)->click();
        page->slot_set_value_IP_Address("192.168.1.10");
        page->slot_set_value_Subnet_Mask("255.255.255.0");
        page->slot_set_value_Default_Gateway("192.168.1.1");
        ModalAnswerer answerer;
        QList<ClippedText> clipped;  // the reason is broken into lines within the box, not cut at its edge
        answerer.plan(true, [&clipped] { clipped = clippedTexts(QApplication::activeModalWidget()); });
        child<QPushButton>("BUTTON_APPLY")->click();
        ASSERT_TRUE(waitIdle());
        ASSERT_EQ(answerer.shown.size(), 1);
        EXPECT_TRUE(clipped.isEmpty()) << describe(clipped);
        ASSERT_FALSE(manager.errorString().isEmpty());
        EXPECT_EQ(applyFailureReason(answerer.shown[0]), manager.errorString().toHtmlEscaped())
            << answerer.shown[0].toStdString();
        EXPECT_TRUE(child<QPushButton>("BUTTON_APPLY")->isEnabled());
        EXPECT_NE(text("LABEL_IP_ADDRESS"), "Updating...");
        EXPECT_FALSE(sim.calls().contains("ifup eth0"));
    }

    // Without a cable there is nothing to apply to.
    ASSERT_TRUE(sim.unplug("eth0"));
    QFile::remove(sim.statePath("calls"));
    child<QPushButton>("BUTTON_APPLY")->click();
    EXPECT_TRUE(sim.calls().isEmpty());
}

// An ifup that fails after Apply (it runs on its own, after Apply has
// returned) says so with its reason and leaves the page ready to apply again.
TEST_F(NetworksTest, AFailedIfupAfterApplySaysWhy)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    showPage();
    ASSERT_TRUE(sim.setExitCode("ifup", 1));
    ModalAnswerer answerer;
    answerer.plan(true);
    child<QPushButton>("BUTTON_APPLY")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, kWaitMs))
        << sim.calls().join(", ").toStdString();
    EXPECT_EQ(applyFailureReason(answerer.shown[0]), "ifup eth0 failed (exit code 1)")
        << answerer.shown[0].toStdString();
    EXPECT_TRUE(sim.calls().contains("ifup eth0"));
    EXPECT_TRUE(child<QPushButton>("BUTTON_APPLY")->isEnabled());
    EXPECT_NE(text("LABEL_IP_ADDRESS"), "Updating...");
}

// A second Apply while the first one's ifup still runs: the screen goes on
// answering (a timer fires, which lets ifup end), and the second Apply is
// carried out once ifup has ended, with no box.
TEST_F(NetworksTest, ASecondApplyWhileIfupRunsIsCarriedOutWhenItEnds)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    showPage();
    ASSERT_TRUE(sim.setHold("ifup", true));
    ModalAnswerer answerer;
    child<QPushButton>("BUTTON_APPLY")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.calls().contains("ifup eth0"); }, kWaitMs)) << "ifup is held";
    ASSERT_TRUE(child<QPushButton>("BUTTON_APPLY")->isEnabled()) << "its ifdown was reported";

    child<QRadioButton>("RADIO_IP_STATIC")->click();
    page->slot_set_value_IP_Address("192.168.1.10");
    page->slot_set_value_Subnet_Mask("255.255.255.0");
    page->slot_set_value_Default_Gateway("192.168.1.1");
    child<QPushButton>("BUTTON_APPLY")->click();
    EXPECT_EQ(text("LABEL_IP_ADDRESS"), "Updating...");
    const QStringList firstApply = sim.calls();

    // Apply has returned while ifup is held; the screen's events run.
    EXPECT_EQ(releaseFromTheEventLoop(sim, "ifup", kWaitMs), firstApply) << "the second Apply waits";
    ASSERT_TRUE(waitIdle());
    // The page's new record brings the link up after ifdown, as every record made while down does.
    EXPECT_EQ(sim.calls().mid(firstApply.size()), QStringList({"ifdown eth0", "ip link set eth0 up", "ifup eth0"}));
    EXPECT_TRUE(root.readFile(kEth0File).contains("address 192.168.1.10"));
    EXPECT_EQ(text("LABEL_IP_ADDRESS"), "192.168.1.10");
    EXPECT_TRUE(answerer.shown.isEmpty()) << answerer.shown.join("\n").toStdString();
}

// An ifup that still runs when the second Apply's time is up: that Apply is
// refused with the reason, and not carried out when ifup ends.
TEST_F(NetworksTest, ASecondApplyIsRefusedWhenIfupOutlastsTheLimit)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    showPage();
    manager.setHeldRequestLimit(100);
    ASSERT_TRUE(sim.setHold("ifup", true));
    child<QPushButton>("BUTTON_APPLY")->click();
    ModalAnswerer answerer;
    answerer.plan(true);
    child<QRadioButton>("RADIO_IP_STATIC")->click();
    page->slot_set_value_IP_Address("192.168.1.10");
    page->slot_set_value_Subnet_Mask("255.255.255.0");
    child<QPushButton>("BUTTON_APPLY")->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, kWaitMs));
    EXPECT_EQ(applyFailureReason(answerer.shown[0]), "ifup eth0 still ran after 0.1 s")
        << answerer.shown[0].toStdString();
    EXPECT_TRUE(child<QPushButton>("BUTTON_APPLY")->isEnabled());
    ASSERT_TRUE(sim.setHold("ifup", false));
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(root.readFile(kEth0File).contains("inet dhcp"));
    EXPECT_EQ(answerer.shown.size(), 1);
}

// Apply configures the first Ethernet interface with a cable, never another.
TEST_F(NetworksTest, ApplyGoesToTheFirstLinkedEthernetInterface)
{
    ASSERT_TRUE(sim.add("enp1s0"));
    ASSERT_TRUE(sim.unplug("enp1s0"));
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    showPage();
    child<QPushButton>("BUTTON_APPLY")->click();
    ASSERT_TRUE(waitIdle());
    const QStringList calls = sim.calls();
    EXPECT_TRUE(calls.contains("ifdown eth0"));
    EXPECT_TRUE(calls.contains("ifup eth0"));
    EXPECT_FALSE(calls.contains("ifup enp1s0"));
    EXPECT_FALSE(QFile::exists(root.path("/etc/network/interfaces.d/enp1s0")));
}

// A pulled cable reaches the page with the next media check.
TEST_F(NetworksTest, MediaCheckUpdatesThePage)
{
    ASSERT_NO_FATAL_FAILURE(ethernetUp());
    showPage();
    manager.slotMediaCheck();
    manager.slotMediaCheck();  // the records of the refresh the first one caused
    ASSERT_TRUE(sim.unplug("eth0"));
    manager.slotMediaCheck();
    EXPECT_EQ(text("LABEL_IP_ADDRESS"), "");
    EXPECT_FALSE(statusStyle().contains("url("));
    EXPECT_EQ(text("LABEL_MAC_ADDRESS"), "MAC address : ");
}

// The settings screen wants the frequent media check only while its networks page shows.
TEST_F(NetworksTest, SettingsScreenSpeedsTheMediaCheckUpOnItsNetworksPage)
{
    auto setup = std::make_unique<SetupDlg>();
    EXPECT_FALSE(manager.mediaTimer().isActive());
    setup->findChild<QPushButton*>("BUTTON_NETWORKS")->click();
    EXPECT_TRUE(manager.mediaTimer().isActive());
    EXPECT_EQ(manager.mediaTimer().interval(), NetworkManager::kNotifyIntervalMs);
    setup->findChild<QPushButton*>("BUTTON_DATE_POWER")->click();
    EXPECT_EQ(manager.mediaTimer().interval(), NetworkManager::kIdleIntervalMs);
    setup->findChild<QPushButton*>("BUTTON_NETWORKS")->click();
    setup.reset();
    EXPECT_EQ(manager.mediaTimer().interval(), NetworkManager::kIdleIntervalMs) << "closed on the networks page";
    theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
}

namespace {

// The Wi-Fi dialog over a wireless adapter and three access points.
class WifiTest : public NetworksTest
{
protected:
    void SetUp() override
    {
        NetworksTest::SetUp();
        ASSERT_TRUE(sim.add("wlan0"));
        ASSERT_TRUE(sim.addAccessPoint("Gamma", -85, "gammakey1"));
        ASSERT_TRUE(sim.addAccessPoint("Alpha", -60));
        ASSERT_TRUE(sim.addAccessPoint("Beta", -70, "secret123"));
    }

    NetInfoPtr wlan()
    {
        for (const NetInfoPtr& nic : manager.currentConnections(false)) {
            if (nic->name() == "wlan0")
                return nic;
        }
        return nullptr;
    }

    static QStringList rows(NetworkSelectDlg* dialog)
    {
        QStringList texts;
        auto* list = dialog->findChild<QListWidget*>("LIST_NETWORK");
        for (int i = 0; i < list->count(); ++i)
            texts << list->item(i)->text();
        return texts;
    }

    static bool waitForRows(NetworkSelectDlg* dialog, int count)
    {
        return QTest::qWaitFor([&] { return rows(dialog).size() == count; }, kWaitMs);
    }

    static void select(NetworkSelectDlg* dialog, int row)
    {
        dialog->findChild<QListWidget*>("LIST_NETWORK")->item(row)->setSelected(true);
    }

    // Through the page's Wi-Fi button: "Beta" chosen in the dialog, `password` typed on the keyboard.
    void joinBeta(const QString& password)
    {
        WhenModal<KeyboardDlg> keyboard([&](KeyboardDlg* keys) {
            EXPECT_EQ(keys->findChild<QLabel*>("LABEL_NETWORK_NAME")->text(), "Beta");
            keys->findChild<QLineEdit*>("EDIT_FILENAME")->setText(password);
            QTest::keyClick(keys, Qt::Key_Return);
        });
        WhenModal<NetworkSelectDlg> dialog([&](NetworkSelectDlg* select) {
            ASSERT_TRUE(waitForRows(select, 3));
            WifiTest::select(select, 1);
            select->findChild<QPushButton*>("BUTTON_OK")->click();
        });
        child<QPushButton>("BUTTON_WIFI_ENABLE")->click();
        ASSERT_TRUE(dialog.done());
        ASSERT_TRUE(keyboard.done());
    }
};

}  // namespace

TEST_F(WifiTest, ListsTheNetworksSortedAndFreezesOnASelection)
{
    const NetInfoPtr given = wlan();
    NetworkSelectDlg dialog(given);
    dialog.show();
    ASSERT_TRUE(waitForRows(&dialog, 3));
    EXPECT_EQ(rows(&dialog), QStringList({"   Alpha", "   Beta", "   Gamma"}));
    auto* list = dialog.findChild<QListWidget*>("LIST_NETWORK");
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(list->item(i)->icon().isNull()) << i;

    select(&dialog, 1);
    EXPECT_EQ(dialog.chosenName(), "Beta");
    ASSERT_TRUE(sim.addAccessPoint("Delta", -50));
    emit manager.signalScanComplete();
    EXPECT_EQ(rows(&dialog).size(), 3) << "frozen";
    EXPECT_TRUE(list->item(1)->isSelected());

    // OK on an open network hands it over with no password and closes.
    QSignalSpy handed(&dialog, &NetworkSelectDlg::signal_sendNetInfo);
    select(&dialog, 0);
    dialog.findChild<QPushButton*>("BUTTON_OK")->click();
    ASSERT_EQ(handed.size(), 1);
    EXPECT_EQ(handed[0][0].value<const NetInfo*>(), given.get()) << "the record it was given, kept alive";
    EXPECT_EQ(handed[0][1].toString(), "Alpha");
    EXPECT_EQ(handed[0][2].toString(), "");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

// A dialog opened again while the client still runs lists again.
TEST_F(WifiTest, ReopenedDialogListsAgain)
{
    {
        NetworkSelectDlg first(wlan());
        first.show();
        ASSERT_TRUE(waitForRows(&first, 3));
        select(&first, 0);
    }
    ASSERT_TRUE(sim.addAccessPoint("Delta", -50));
    NetworkSelectDlg second(wlan());
    second.show();
    ASSERT_TRUE(waitForRows(&second, 4));
    EXPECT_EQ(rows(&second).value(1), "   Beta");
}

// Through the page: a secured network asks for its password on the keyboard;
// the supplicant file is written between ifdown and ifup. A wrong key is
// message 55, a password the file cannot hold message 56; either ends the
// busy indicator.
TEST_F(WifiTest, JoiningASecuredNetworkThroughThePage)
{
    showPage();
    QSignalSpy busy(page.get(), &NetworksFrame::signal_setProgress);
    const struct
    {
        const char* password;
        int message;  // 0: joined
    } cases[] = {{"wrongpass1", 55}, {"short", 56}, {"secret123", 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.password);
        ASSERT_TRUE(waitIdle());
        busy.clear();
        ModalAnswerer answerer;
        if (c.message)
            answerer.plan(true);
        ASSERT_NO_FATAL_FAILURE(joinBeta(c.password));
        if (c.message) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, kWaitMs));
            EXPECT_EQ(answerer.shown, messages({c.message}));
            EXPECT_EQ(busy.last()[0].toBool(), false);
            continue;
        }
        EXPECT_EQ(busy[0][0].toBool(), true);
        EXPECT_EQ(root.readFile("/etc/wpa_supplicant.conf"),
                  "fast_reauth=1\nnetwork={\n  ssid=\"Beta\"\n  psk=\"secret123\"\n}\n");
        ASSERT_TRUE(waitIdle());
        const QStringList calls = sim.calls();
        EXPECT_EQ(calls.mid(calls.size() - 2), QStringList({"ifdown wlan0", "ifup wlan0"}));
        manager.slotMediaCheck();
        EXPECT_EQ(busy.last()[0].toBool(), false) << "ended by the connected wireless record";
        EXPECT_TRUE(statusStyle().contains("wifi_1.png"));
        EXPECT_EQ(text("LABEL_IP_ADDRESS"), "192.168.10.102");
    }
}

// A network chosen while an ifup of the adapter still runs (as the one the
// dialog starts when it opens): the join is held, and carried out once that
// ifup ends; when the ifup outlasts the limit, the join is refused with
// message 56.
TEST_F(WifiTest, AJoinIsHeldWhileAnIfupStillRuns)
{
    showPage();
    QSignalSpy busy(page.get(), &NetworksFrame::signal_setProgress);
    manager.setHeldRequestLimit(200);
    for (const bool outlasts : {true, false}) {
        SCOPED_TRACE(outlasts ? "outlasts the limit" : "ends");
        ASSERT_TRUE(waitIdle());
        root.writeFile("/etc/wpa_supplicant.conf", "fast_reauth=1\n");
        QFile::remove(sim.statePath("calls"));
        busy.clear();
        ASSERT_TRUE(sim.setHold("ifup", true));
        ASSERT_TRUE(manager.startConnection(*wlan()));
        ModalAnswerer answerer;
        if (outlasts)
            answerer.plan(true);
        else
            manager.setHeldRequestLimit(NetworkManager::kHeldRequestLimitMs);
        ASSERT_NO_FATAL_FAILURE(joinBeta("secret123"));
        EXPECT_EQ(root.readFile("/etc/wpa_supplicant.conf"), "fast_reauth=1\n") << "nothing written while ifup runs";
        if (outlasts) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !answerer.shown.isEmpty(); }, kWaitMs));
            EXPECT_EQ(answerer.shown, messages({56}));
            EXPECT_EQ(busy.last()[0].toBool(), false);
        }
        ASSERT_TRUE(sim.setHold("ifup", false));
        ASSERT_TRUE(waitIdle());
        const QStringList calls = sim.calls();
        if (outlasts) {
            EXPECT_FALSE(calls.contains("ifdown wlan0")) << calls.join(", ").toStdString();
            EXPECT_EQ(root.readFile("/etc/wpa_supplicant.conf"), "fast_reauth=1\n");
            continue;
        }
        EXPECT_EQ(answerer.shown, QStringList());
        EXPECT_EQ(root.readFile("/etc/wpa_supplicant.conf"),
                  "fast_reauth=1\nnetwork={\n  ssid=\"Beta\"\n  psk=\"secret123\"\n}\n");
        EXPECT_EQ(calls.mid(calls.size() - 2), QStringList({"ifdown wlan0", "ifup wlan0"}));
    }
}
