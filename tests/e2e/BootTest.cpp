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

    // The visible top-level windows with this exact title.
    bool windowShown(const QString& title)
    {
        QProcess search;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), x.display());
        search.setProcessEnvironment(env);
        search.start(QStringLiteral("xdotool"),
                     {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                      QStringLiteral("^%1$").arg(title)});
        return search.waitForFinished(5000) && search.exitCode() == 0 && !search.readAll().trimmed().isEmpty();
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
    startInstrument({});
    startApp();

    ASSERT_TRUE(QTest::qWaitFor([&] { return windowShown(QStringLiteral("KOVA3")); }, kBootTimeoutMs))
        << app.readAllStandardError().toStdString();
    EXPECT_EQ(app.state(), QProcess::Running);
    EXPECT_FALSE(windowShown(QStringLiteral("Dialog"))) << "the splash is gone";

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
    startInstrument({QStringLiteral("--silent")});
    startApp();

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
    startInstrument({QStringLiteral("--silent")});
    startApp();
    ASSERT_TRUE(waitForLog("no answer from the microcontroller")) << log.toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return windowShown(QStringLiteral("Dialog")); }, kBootTimeoutMs));

    QProcess key;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x.display());
    key.setProcessEnvironment(env);
    key.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                          QStringLiteral("--name"), QStringLiteral("^Dialog$"),
                                          QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                          QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(key.waitForFinished(10000));

    ASSERT_TRUE(app.waitForFinished(10000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 4);
}

}  // namespace
