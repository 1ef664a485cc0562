#include "InitDlg/InitDlg.h"

#include "ProbeRun.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QSettings>

namespace {

const QString kLayer = QString::fromLatin1(InitDlg::kDisplayLayerFile);
const QString kCalls = QStringLiteral("/run/systemctl.calls");

class InitDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root.writeFile(kLayer, "1");
        root.writeFile(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini"), "[KOVA-III]\nSerial=KO3-00-00001\n");
        root.writeScript(QStringLiteral("/bin/systemctl"),
                         "mkdir -p \"$(dirname \"$0\")/../run\"\n"
                         "echo \"$@\" >> \"$(dirname \"$0\")/../run/systemctl.calls\"\n"
                         "[ -e \"$(dirname \"$0\")/../run/hang\" ] && exec sleep 60\n"
                         "exit 0\n");
    }

    TempRoot root;
};

TEST_F(InitDlgTest, StartUpWritesZeroAndShowsTheStartUpPicture)
{
    InitDlg splash(StartupState);
    EXPECT_EQ(root.readFile(kLayer), "0");
    EXPECT_EQ(splash.size(), QSize(800, 480));
    EXPECT_TRUE(splash.windowFlags() & Qt::FramelessWindowHint);

    const QImage shown = splash.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage intro = QPixmap(QStringLiteral(":/Common/intro.png")).scaled(800, 480).toImage().convertToFormat(QImage::Format_RGB32);
    const QImage closing = QPixmap(QStringLiteral(":/Common/Shutting down.png")).scaled(800, 480).toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(intro.isNull());
    ASSERT_FALSE(closing.isNull());
    EXPECT_EQ(shown, intro);
    EXPECT_NE(shown, closing);
}

TEST_F(InitDlgTest, MissingDisplayLayerFileIsSkipped)
{
    QFile::remove(root.path(kLayer));
    QDir(root.path(QStringLiteral("/sys"))).removeRecursively();
    InitDlg splash(StartupState);
    EXPECT_FALSE(QFile::exists(root.path(kLayer)));
}

// The shutting-down splash ends the process: through the probe program.
TEST_F(InitDlgTest, ShuttingDownRoadsEndWithTheirCodes)
{
    const struct
    {
        const char* name;
        InitState state;
        bool hang;
        bool closeEarly;  // Escape, reject() and close() after 200 ms: all ignored
        int exitCode;
        QByteArray calls;
    } cases[] = {
        {"power-off", PowerOffState, false, false, 1, "poweroff\n"},
        {"power-off, command hangs", PowerOffState, true, false, 1, "poweroff\n"},
        {"power-off, closed early", PowerOffState, false, true, 1, "poweroff\n"},
        {"restart", RestartState, false, false, 2, ""},
        {"restart, closed early", RestartState, false, true, 2, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(root.path(kCalls));
        root.writeFile(kLayer, "0");
        QFile::remove(root.path(QStringLiteral("/run/hang")));
        if (c.hang)
            root.writeFile(QStringLiteral("/run/hang"), "");

        QStringList arguments = {QStringLiteral("splash"), QString::number(c.state)};
        if (c.closeEarly)
            arguments << QStringLiteral("close");
        const ProbeRun run = runProbe(QStringLiteral(HOME_PROBE), root, arguments);
        EXPECT_TRUE(run.exitedNormally);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(root.readFile(kLayer), "2");
        EXPECT_EQ(root.readFile(kCalls), c.calls);
        EXPECT_GE(run.elapsedMs, InitDlg::kShutdownDelayMs);
        if (c.hang) {
            EXPECT_GE(run.elapsedMs, InitDlg::kShutdownDelayMs + InitDlg::kPowerOffWaitMs);
        }
        // exit() runs no destructor: the pending settings change reached the file all the same.
        EXPECT_TRUE(root.readFile(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini")).contains("pending=written"));
    }
}

}  // namespace
