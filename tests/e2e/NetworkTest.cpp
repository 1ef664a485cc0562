#include "InstrumentAppTest.h"

#include <QImage>
#include <QPoint>
#include <QProcess>
#include <QTest>

namespace {

const QString kEth0File = QStringLiteral("/etc/network/interfaces.d/eth0");
const QString kCalls = QStringLiteral("/run/kova-sim/net/calls");

// Where things are on the 800 × 480 screen: the settings screen's menu, and
// the networks page at (200, 80).
const QPoint kHomeSettingsButton(700, 280);
const QPoint kMenuNetworks(100, 280);
const QPoint kStaticRadio(249, 295);
const QPoint kAddressFields[] = {{597, 343}, {597, 387}, {597, 431}};
const QPoint kApply(702, 239);
const QPoint kWifiButton(382, 144);
const QPoint kKeypadApply(598, 323);  // the number key pad's (500 × 300 at 156, 90)

// The networks page of the real application on the virtual instrument's eth0.
class NetworkTest : public InstrumentAppTest
{
protected:
    bool waitForFile(const QString& logical, const QByteArray& content)
    {
        return QTest::qWaitFor([&] { return root.readFile(logical).contains(content); }, kTimeoutMs);
    }
    // Waits until the program has written `text` after the first `from` bytes of its output.
    bool waitForOutputAfter(int from, const QByteArray& text)
    {
        return QTest::qWaitFor([&] { return output(*app).indexOf(text, from) >= 0; }, kTimeoutMs);
    }
    QStringList calls() const { return QString::fromUtf8(root.readFile(kCalls)).split('\n', Qt::SkipEmptyParts); }
};

}  // namespace

// Boot brings eth0 up by DHCP; a static address typed on the keypad is
// applied between ifdown and ifup; a pulled cable is seen by the media check.
TEST_F(NetworkTest, BootDhcpThenAStaticAddressThenAPulledCable)
{
    ASSERT_TRUE(startInstrument());
    ASSERT_TRUE(startApp());
    ASSERT_TRUE(waitForHomeScreen());
    ASSERT_TRUE(waitForFile(kEth0File, "iface eth0 inet dhcp\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n"))
        << output(*app).toStdString();
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls().contains("ifup eth0"); }, kTimeoutMs));

    ASSERT_TRUE(touchThenDialogs(kHomeSettingsButton, 1));
    ASSERT_TRUE(touch(kMenuNetworks));
    const QString shot = root.path("/network-page.png");
    ASSERT_TRUE(screenshot(shot));
    EXPECT_EQ(QImage(shot).pixelColor(kWifiButton), QColor(222, 226, 235)) << "the Wi-Fi button stays hidden";

    ASSERT_TRUE(touch(kStaticRadio));
    for (const QPoint& field : kAddressFields) {
        ASSERT_TRUE(touchThenDialogs(field, 2));  // the keypad, with its default address
        ASSERT_TRUE(touchThenDialogs(kKeypadApply, 1));
    }
    const int beforeApply = output(*app).size();
    ASSERT_TRUE(touch(kApply));
    ASSERT_TRUE(waitForFile(kEth0File, "iface eth0 inet static\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n"
                                       "  address 192.168.10.10\n  netmask 255.255.255.0\n  gateway 192.168.10.254\n"))
        << root.readFile(kEth0File).toStdString();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QStringList made = calls();
            const int ifdown = made.indexOf("ifdown eth0");
            return ifdown >= 0 && made.indexOf("ifup eth0", ifdown) > ifdown;
        },
        kTimeoutMs))
        << "ifdown, then ifup: " << calls().join(", ").toStdString();

    // Once the record of the new address has been seen linked, pull the cable.
    ASSERT_TRUE(waitForOutputAfter(beforeApply, "192.168.10.10\"")) << output(*app).toStdString();
    const int newRecord = output(*app).indexOf("192.168.10.10\"", beforeApply);
    ASSERT_TRUE(waitForOutputAfter(newRecord, "new state true")) << output(*app).toStdString();
    ASSERT_EQ(QProcess::execute(QStringLiteral(KOVA_NET_SIM), {root.root(), "unplug", "eth0"}), 0);
    EXPECT_TRUE(waitForOutputAfter(newRecord, "Media state changed on \"eth0\" new state false"))
        << output(*app).toStdString();
    EXPECT_EQ(app->state(), QProcess::Running);
}
