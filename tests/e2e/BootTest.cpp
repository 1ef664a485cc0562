#include "TempRoot.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

namespace {

const QString kLayer = QStringLiteral("/sys/module/disp/parameters/disp_layer_protect");
constexpr int kBootTimeoutMs = 30000;

// A virtual instrument and the real application on a private X server.
class BootTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        for (QProcess* process : {&app, &instrument}) {
            if (process->state() == QProcess::NotRunning)
                continue;
            process->terminate();
            if (!process->waitForFinished(5000)) {
                process->kill();
                process->waitForFinished();
            }
        }
    }

    void startInstrument(const QStringList& options)
    {
        instrument.start(QStringLiteral(KOVA_INSTRUMENT), QStringList{root.root()} + options);
        ASSERT_TRUE(instrument.waitForStarted());
        while (!instrument.canReadLine())
            ASSERT_TRUE(instrument.waitForReadyRead(60000)) << instrument.readAllStandardError().toStdString();
        ASSERT_TRUE(instrument.readLine().contains("ready"));
        // Whatever the application writes at start shows against this.
        root.writeFile(kLayer, "1");
    }

    void startApp()
    {
        ASSERT_TRUE(x.isRunning());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));  // the real X11 platform
        env.insert(QStringLiteral("DISPLAY"), x.display());
        env.insert(QStringLiteral("KOVA3_ROOT"), root.root());
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kova.debug=true"));
        app.setProcessEnvironment(env);
        app.start(QStringLiteral(KOVA3_APP), QStringList());
        ASSERT_TRUE(app.waitForStarted());
    }

    // Runs xdotool on the private screen; true when it succeeded, with its output in `output`.
    bool xdotool(const QStringList& arguments, QByteArray* output = nullptr)
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), x.display());
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), arguments);
        if (!tool.waitForFinished(10000)) {
            tool.kill();
            tool.waitForFinished();
            return false;
        }
        if (output)
            *output = tool.readAllStandardOutput();
        return tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0;
    }

    // The visible top-level windows with this exact title.
    bool windowShown(const QString& title)
    {
        QByteArray found;
        return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                        QStringLiteral("^%1$").arg(title)},
                       &found)
               && !found.trimmed().isEmpty();
    }

    // A touch at a point of the 800×480 screen.
    bool touch(int x, int y)
    {
        return xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y), QStringLiteral("click"),
                        QStringLiteral("1")});
    }

    // The home screen is up and the splash gone (they swap in one step, which
    // the X server may show a moment apart).
    void waitForHomeScreen()
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return windowShown(QStringLiteral("KOVA3")); }, kBootTimeoutMs))
            << app.readAllStandardError().toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !windowShown(QStringLiteral("Dialog")); }, kBootTimeoutMs))
            << "the splash is gone";
    }

    bool waitForLog(const QByteArray& line)
    {
        return QTest::qWaitFor(
            [&] {
                log += app.readAllStandardError();
                return log.contains(line) || app.state() == QProcess::NotRunning;
            },
            kBootTimeoutMs)
            && log.contains(line);
    }

    TempRoot root;
    XvfbServer x;
    QProcess instrument;
    QProcess app;
    QByteArray log;
};

TEST_F(BootTest, BootsToTheHomeScreen)
{
    ASSERT_NO_FATAL_FAILURE(startInstrument({}));
    ASSERT_NO_FATAL_FAILURE(startApp());

    ASSERT_NO_FATAL_FAILURE(waitForHomeScreen());
    EXPECT_EQ(app.state(), QProcess::Running);

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
    ASSERT_NO_FATAL_FAILURE(startApp());

    ASSERT_TRUE(waitForLog("no answer from the microcontroller")) << log.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return windowShown(QStringLiteral("Dialog")); }, kBootTimeoutMs));
    EXPECT_EQ(app.state(), QProcess::Running);
    EXPECT_FALSE(windowShown(QStringLiteral("KOVA3")));
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
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_TRUE(waitForLog("no answer from the microcontroller")) << log.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return windowShown(QStringLiteral("Dialog")); }, kBootTimeoutMs));

    // Its status is no guide: the window it typed into may be gone before it ends.
    xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
             QStringLiteral("^Dialog$"), QStringLiteral("windowfocus"), QStringLiteral("--sync"), QStringLiteral("key"),
             QStringLiteral("Escape")});

    ASSERT_TRUE(app.waitForFinished(kBootTimeoutMs));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 4);
}

// The power button asks; OK writes the settings, powers off through the
// root's systemctl and ends the program with code 1.
TEST_F(BootTest, ConfirmedPowerOffEndsTheProgramWithCode1)
{
    ASSERT_NO_FATAL_FAILURE(startInstrument({}));
    ASSERT_NO_FATAL_FAILURE(startApp());
    ASSERT_NO_FATAL_FAILURE(waitForHomeScreen());
    const QString settings = QStringLiteral("/opt/KOVA3/conf/KOVA3.ini");
    ASSERT_TRUE(QFile::remove(root.path(settings)));

    ASSERT_TRUE(touch(40, 40));  // the power button
    ASSERT_TRUE(QTest::qWaitFor([&] { return windowShown(QStringLiteral("Dialog")); }, kBootTimeoutMs))
        << "the question";
    ASSERT_TRUE(touch(156 + 88 + 75, 90 + 214 + 23));  // its OK button

    ASSERT_TRUE(app.waitForFinished(kBootTimeoutMs));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 1);
    EXPECT_EQ(root.readFile(QStringLiteral("/run/kova-sim/systemctl.calls")), "systemctl poweroff\n");
    EXPECT_EQ(root.readFile(kLayer), "2");
    EXPECT_TRUE(root.readFile(settings).contains("[KOVA-III]")) << "written again before the end";
    EXPECT_TRUE(root.readFile(QStringLiteral("/opt/KOVA3/conf/KovaShell.ini")).contains("On=0"))
        << "no hand-over to the launcher";
}

}  // namespace
