#include "InstrumentAppTest.h"

#include <QDir>
#include <QFile>

namespace {

const QString kLayer = QStringLiteral("/sys/module/disp/parameters/disp_layer_protect");

// A virtual instrument and the real application on a private X server.
class BootTest : public InstrumentAppTest
{
protected:
    void startInstrument(const QStringList& options)
    {
        ASSERT_TRUE(EndToEndTest::startInstrument(options));
        // Whatever the application writes at start shows against this.
        root.writeFile(kLayer, "1");
    }
};

TEST_F(BootTest, BootsToTheHomeScreen)
{
    ASSERT_NO_FATAL_FAILURE(startInstrument({}));
    ASSERT_TRUE(startApp());

    ASSERT_TRUE(waitForHomeScreen());
    EXPECT_EQ(app->state(), QProcess::Running);

    EXPECT_TRUE(QFile::exists(root.path(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini"))));
    for (const char* folder : {"/KOVA/anonymous/TOTAL_CELL_COUNTING", "/KOVA/anonymous/CELL_COUNTING_VIABILITY"})
        EXPECT_TRUE(QDir(root.path(folder)).exists()) << folder;
    EXPECT_EQ(QDir(root.path(QStringLiteral("/opt/KOVA3/conf/PROTOCOL/TOTAL_CELL_COUNTING")))
                  .entryList(QDir::Files)
                  .size(),
              2);
    EXPECT_EQ(QDir(root.path(QStringLiteral("/opt/KOVA3/conf/PROTOCOL/CELL_COUNTING_VIABILITY")))
                  .entryList(QDir::Files)
                  .size(),
              9);
    EXPECT_TRUE(root.readFile(QStringLiteral("/opt/KOVA3/conf/KovaShell.ini")).contains("[ShellMode]\nOn=0"));
    EXPECT_EQ(root.readFile(kLayer), "0");
}

TEST_F(BootTest, SilentMicrocontrollerKeepsTheSplashAndWritesNothing)
{
    ASSERT_NO_FATAL_FAILURE(startInstrument({QStringLiteral("--silent")}));
    ASSERT_TRUE(startApp());

    ASSERT_TRUE(waitForOutput(*app, "no answer from the microcontroller")) << output(*app).toStdString();
    ASSERT_TRUE(waitForWindow(QStringLiteral("Dialog")));
    EXPECT_EQ(app->state(), QProcess::Running);
    EXPECT_TRUE(windows(QStringLiteral("KOVA3")).isEmpty());
    EXPECT_EQ(root.readFile(kLayer), "0") << "the splash itself still marks the start";
    EXPECT_FALSE(QFile::exists(root.path(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini"))));
    EXPECT_FALSE(QFile::exists(root.path(QStringLiteral("/opt/KOVA3/conf/KovaShell.ini"))));
    EXPECT_FALSE(QDir(root.path(QStringLiteral("/KOVA/anonymous"))).exists());
    EXPECT_FALSE(QDir(root.path(QStringLiteral("/opt/KOVA3/conf/PROTOCOL"))).exists());
}

// Until the settings screen offers the way to the launcher, the loop ends
// only when its last window closes: here the splash of a silent instrument.
TEST_F(BootTest, EndOfTheEventLoopEndsTheProgramWithCode4)
{
    ASSERT_NO_FATAL_FAILURE(startInstrument({QStringLiteral("--silent")}));
    ASSERT_TRUE(startApp());
    ASSERT_TRUE(waitForOutput(*app, "no answer from the microcontroller")) << output(*app).toStdString();
    ASSERT_TRUE(waitForWindow(QStringLiteral("Dialog")));

    keyToWindow(windows(QStringLiteral("Dialog")).value(0), QStringLiteral("Escape"));

    ASSERT_TRUE(app->waitForFinished(kTimeoutMs));
    EXPECT_EQ(app->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app->exitCode(), 4);
}

// The power button asks; OK writes the settings, powers off through the
// root's systemctl and ends the program with code 1.
TEST_F(BootTest, ConfirmedPowerOffEndsTheProgramWithCode1)
{
    ASSERT_NO_FATAL_FAILURE(startInstrument({}));
    ASSERT_TRUE(startApp());
    ASSERT_TRUE(waitForHomeScreen());
    const QString settings = QStringLiteral("/opt/KOVA3/conf/KOVA3.ini");
    ASSERT_TRUE(QFile::remove(root.path(settings)));

    ASSERT_TRUE(powerOffFromHome()) << output(*app).toStdString();
    EXPECT_EQ(root.readFile(QStringLiteral("/run/kova-sim/systemctl.calls")), "systemctl poweroff\n");
    EXPECT_EQ(root.readFile(kLayer), "2");
    EXPECT_TRUE(root.readFile(settings).contains("[KOVA-III]")) << "written again before the end";
    EXPECT_TRUE(root.readFile(QStringLiteral("/opt/KOVA3/conf/KovaShell.ini")).contains("On=0"))
        << "no hand-over to the launcher";
}

}  // namespace
