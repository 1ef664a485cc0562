#include "InstrumentAppTest.h"

#include "dialog.h"

#include <QColor>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QSettings>
#include <QTest>

namespace {

const QString kSettings = QStringLiteral("/opt/KOVA3/conf/KOVA3.ini");
const QString kSerial = QStringLiteral("KO3-21-00042");
const QColor kFrontPanel(85, 130, 255);
const QColor kServicePanel(0, 0, 0);  // behind the information, where the front panel is blue

// The keys of the launcher's on-screen keyboard on the screen: the keyboard
// lies at y 199 of the login dialog, its keys 71 × 57 on a 77-pixel grid.
QPoint keyOnScreen(QChar key)
{
    const char* const rows[] = {"1234567890", "QWERTYUIOP", "ASDFGHJKL", "-ZXCVBNM"};
    const int rowY[] = {1, 63, 126, 189};
    for (int row = 0; row < 4; ++row) {
        const int column = QString::fromLatin1(rows[row]).indexOf(key);
        if (column >= 0)
            return {18 + 77 * column + 35, 199 + rowY[row] + 28};
    }
    return {};
}
const QPoint kEnterKey(634 + 74, 199 + 190 + 28);
const QPoint kPasswordField(400, 284);
const QPoint kOk(417, 395);
const QPoint kBack(40, 40);
const QPoint kAdmin(707, 429);

// The instrument as it starts on the device: the real KOVA3.app installed in
// the root's /opt/KOVA3/bin, then KovaLoader on the screen.
class LauncherTest : public InstrumentAppTest
{
protected:
    void startLauncher(const QByteArray& settings)
    {
        ASSERT_TRUE(startInstrument());
        ASSERT_TRUE(installProgram(QStringLiteral(KOVA3_APP), QStringLiteral("/opt/KOVA3/bin/KOVA3.app")));
        root.writeFile(kSettings, settings);
        ASSERT_NO_FATAL_FAILURE(bootLauncher());
    }
    // The launcher as the instrument's start-up runs it.
    void bootLauncher()
    {
        launcher = startProgram(QStringLiteral(KOVA_LOADER), {}, {QStringLiteral("QT_LOGGING_RULES=kova.debug=true")});
        ASSERT_TRUE(launcher);
    }

    QString runMode() const
    {
        return QSettings(root.path(kSettings), QSettings::IniFormat).value("KOVA-III/RunMode").toString();
    }

    // The screen as it stands; kept beside the test when a check on it fails.
    QImage screen()
    {
        const QString file = root.path(QStringLiteral("/screen.png"));
        EXPECT_TRUE(screenshot(file));
        return QImage(file);
    }
    bool waitForColour(const QPoint& point, const QColor& colour, const char* what)
    {
        QImage image;
        if (QTest::qWaitFor([&] { return (image = screen()).pixelColor(point) == colour; }, kTimeoutMs))
            return true;
        const QString kept = QStringLiteral("LauncherTest-%1.png").arg(QString::fromLatin1(what));
        image.save(kept);
        ADD_FAILURE() << what << ": " << image.pixelColor(point).name().toStdString() << " at (" << point.x() << ", "
                      << point.y() << "), screen kept in " << QDir::current().filePath(kept).toStdString();
        return false;
    }
    // Pixels of the error colour in a region of the screen.
    int errorPixels(const QRect& region)
    {
        const QImage image = screen();
        int count = 0;
        for (int y = region.top(); y <= region.bottom(); ++y) {
            for (int x = region.left(); x <= region.right(); ++x) {
                const QColor c = image.pixelColor(x, y);
                count += c.red() > 200 && c.green() < 120 && c.blue() > 100 && c.blue() < 200 ? 1 : 0;
            }
        }
        return count;
    }

    bool loginShown()
    {
        return QTest::qWaitFor([&] { return windowsOf(*launcher).size() == 2; }, kTimeoutMs);
    }
    // Touches the password field, then the serial's keys and Enter.
    void typeOnTheKeyboard(const QString& text)
    {
        ASSERT_TRUE(touch(kPasswordField));
        for (const QChar c : text)
            ASSERT_TRUE(touch(keyOnScreen(c))) << QString(c).toStdString();
        ASSERT_TRUE(touch(kEnterKey));
    }

    QProcess* launcher = nullptr;
};

// RunMode "App": the launcher starts the application and stays unmapped. A
// power-off through the home screen (exit code 1) keeps the run mode "App",
// so the next boot's launcher starts the application at once and never shows
// its front panel ("Unexpected software closure"). While the system goes
// down the first launcher stays unmapped too.
TEST_F(LauncherTest, APowerOffThroughTheHomeScreenBootsIntoTheApplication)
{
    ASSERT_NO_FATAL_FAILURE(startLauncher("[KOVA-III]\nRunMode=App\n"));
    ASSERT_TRUE(waitForWindow(QStringLiteral("KOVA3"))) << output(*launcher).toStdString();
    ASSERT_TRUE(waitForNoWindow(QStringLiteral("Dialog"))) << "the splash is gone, the launcher unmapped";
    EXPECT_TRUE(windowsOf(*launcher).isEmpty());
    EXPECT_EQ(runMode(), "App");

    ASSERT_TRUE(touchThenDialogs(kHomePowerButton, 1)) << "the question";
    ASSERT_TRUE(touch(kMessageOk));

    ASSERT_TRUE(waitForOutput(*launcher, "RunMode_PowerOff")) << "the application ended with 1";
    EXPECT_TRUE(windowsOf(*launcher).isEmpty()) << "no unexpected-closure panel";
    EXPECT_EQ(runMode(), "App");
    EXPECT_EQ(root.readFile(QStringLiteral("/run/kova-sim/systemctl.calls")), "systemctl poweroff\n");

    // The next boot.
    terminate(*launcher);
    ASSERT_TRUE(waitForNoWindow(QStringLiteral("Dialog")));
    ASSERT_NO_FATAL_FAILURE(bootLauncher());
    ASSERT_TRUE(waitForWindow(QStringLiteral("KOVA3"))) << output(*launcher).toStdString();
    ASSERT_TRUE(waitForNoWindow(QStringLiteral("Dialog"))) << "the splash is gone, no front panel";
    EXPECT_TRUE(windowsOf(*launcher).isEmpty());
    EXPECT_EQ(runMode(), "App");
}

// Admin on the front panel: the serial number typed on the on-screen keys is
// the password; a wrong one is refused and the front panel stays.
TEST_F(LauncherTest, AdminWithTheSerialNumberReachesTheServicePanel)
{
    ASSERT_NO_FATAL_FAILURE(startLauncher("[KOVA-III]\nRunMode=QC\nSerial=" + kSerial.toLatin1() + "\n"));
    ASSERT_TRUE(waitForWindowOf(*launcher)) << output(*launcher).toStdString();
    ASSERT_TRUE(waitForColour(QPoint(400, 200), kFrontPanel, "front-panel"));

    ASSERT_TRUE(touch(kAdmin));
    ASSERT_TRUE(loginShown());
    ASSERT_NO_FATAL_FAILURE(typeOnTheKeyboard(QStringLiteral("KO3-21-00043")));
    ASSERT_TRUE(touch(kOk));
    EXPECT_TRUE(QTest::qWaitFor([&] { return errorPixels(QRect(240, 314, 221, 31)) > 50; }, kTimeoutMs))
        << "Incorrect password!";
    ASSERT_TRUE(touch(kBack));
    EXPECT_TRUE(QTest::qWaitFor([&] { return windowsOf(*launcher).size() == 1; }, kTimeoutMs));
    EXPECT_TRUE(waitForColour(QPoint(400, 200), kFrontPanel, "front-panel-after-a-wrong-serial"));

    ASSERT_TRUE(touch(kAdmin));
    ASSERT_TRUE(loginShown());
    ASSERT_NO_FATAL_FAILURE(typeOnTheKeyboard(kSerial));
    ASSERT_TRUE(touch(kOk));
    EXPECT_TRUE(waitForColour(QPoint(400, 200), kServicePanel, "service-panel"));
    EXPECT_EQ(windowsOf(*launcher).size(), 1);

    // DEVELOPER MODE ends the launcher with 0.
    ASSERT_TRUE(touch(QPoint(110, 430)));
    ASSERT_TRUE(launcher->waitForFinished(kTimeoutMs));
    EXPECT_EQ(launcher->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(launcher->exitCode(), 0);
}

// Refresh on the service panel: the virtual instrument's eth0 (cable in) is
// put on DHCP and its address shown with a green lamp.
TEST_F(LauncherTest, RefreshShowsTheWiredAddress)
{
    ASSERT_NO_FATAL_FAILURE(startLauncher("[KOVA-III]\nRunMode=QC\nZig mode=On\n"));
    ASSERT_TRUE(waitForWindowOf(*launcher)) << output(*launcher).toStdString();
    ASSERT_TRUE(waitForColour(QPoint(400, 200), kServicePanel, "service-panel"));

    ASSERT_TRUE(touch(QPoint(230 + 145 + 50, 10 + 11 + 20)));  // Refresh
    EXPECT_TRUE(waitForColour(QPoint(230 + 250 + 16, 10 + 15 + 16), QColor(0, 255, 0), "network-lamp"));
    EXPECT_EQ(root.readFile(QStringLiteral("/etc/network/interfaces.d/eth0")),
              "iface eth0 inet dhcp\n  pre-up /opt/KOVA3/bin/check-link.sh eth0\n");
    EXPECT_FALSE(platform::netInterfaceFromName(QStringLiteral("eth0")).ipv4Entries().isEmpty());
}

// The application's build metadata as the launcher reads it, with the real
// readelf on the real program.
TEST(LauncherBuildDate, TheApplicationCarriesItsBuildTime)
{
    TempRoot root;
    root.copyFile(QStringLiteral(KOVA3_APP), QStringLiteral("/opt/KOVA3/bin/KOVA3.app"));
    const QDateTime built = QDateTime::fromString(LoaderDlg::getBuildDate(), QStringLiteral("yyyy-MM-dd hh:mm"));
    ASSERT_TRUE(built.isValid()) << LoaderDlg::getBuildDate().toStdString();
    EXPECT_LE(built, QDateTime::currentDateTime());
    EXPECT_GE(built, QFileInfo(QStringLiteral(KOVA3_APP)).lastModified().addSecs(-24 * 3600));
}

}  // namespace
