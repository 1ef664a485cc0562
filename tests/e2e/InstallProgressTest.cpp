#include "ProgramUnderTest.h"
#include "TempRoot.h"
#include "XdoTool.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

namespace {

constexpr int kTimeoutMs = 30000;
const QString kWindow = QStringLiteral("ProgressView");

// The real InstallProgress in a package folder inside a test root, whose
// install script shows a task and then waits for the test's word.
class InstallProgressTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root.copyFile(QStringLiteral(KOVA_FIXTURES "/install-progress/waits.sh"), QStringLiteral("/pkg/install.sh"));
    }
    void TearDown() override { stopProgram(viewer); }

    void start(const QProcessEnvironment& env)
    {
        viewer.setProcessEnvironment(env);
        viewer.setWorkingDirectory(root.path(QStringLiteral("/pkg")));
        viewer.start(QStringLiteral(INSTALL_PROGRESS), QStringList());
        ASSERT_TRUE(viewer.waitForStarted());
    }

    // Tells the script how to end: "crash" or an exit code. Renamed into
    // place, so the script never reads half a word.
    void tellScript(const QByteArray& word)
    {
        root.writeFile(QStringLiteral("/pkg/go.new"), word);
        ASSERT_TRUE(QFile::rename(root.path(QStringLiteral("/pkg/go.new")), root.path(QStringLiteral("/pkg/go"))));
    }

    void expectExit(int code)
    {
        ASSERT_TRUE(viewer.waitForFinished(kTimeoutMs)) << log.toStdString();
        EXPECT_EQ(viewer.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(viewer.exitCode(), code);
    }

    TempRoot root;
    QProcess viewer;
    QByteArray log;
};

class InstallProgressWindowTest : public InstallProgressTest
{
protected:
    void startWindow()
    {
        ASSERT_TRUE(x.isRunning());
        QProcessEnvironment env = x.programEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("kova.debug=true"));
        ASSERT_NO_FATAL_FAILURE(start(env));
        ASSERT_TRUE(QTest::qWaitFor([&] { return screen.windowShown(kWindow); }, kTimeoutMs))
            << viewer.readAllStandardError().toStdString();
    }

    XvfbServer x;
    XdoTool screen{x.display()};
};

TEST_F(InstallProgressWindowTest, TheCentredWindowGoesWithASuccessfulScript)
{
    ASSERT_NO_FATAL_FAILURE(startWindow());
    EXPECT_EQ(screen.windowGeometry(kWindow), QRect(90, 55, 620, 370));
    EXPECT_EQ(root.readFile(QStringLiteral("/pkg/ran-in")),
              QFileInfo(root.path(QStringLiteral("/pkg"))).canonicalFilePath().toUtf8() + "\n");

    ASSERT_NO_FATAL_FAILURE(tellScript("0"));
    ASSERT_NO_FATAL_FAILURE(expectExit(0));
    EXPECT_FALSE(screen.windowShown(kWindow));
}

TEST_F(InstallProgressWindowTest, AfterACrashTheWindowStaysUntilClosed)
{
    ASSERT_NO_FATAL_FAILURE(startWindow());
    ASSERT_NO_FATAL_FAILURE(tellScript("crash"));
    ASSERT_TRUE(waitForLog(viewer, log, "install script ended: crashed", kTimeoutMs)) << log.toStdString();
    EXPECT_EQ(viewer.state(), QProcess::Running);
    EXPECT_TRUE(screen.windowShown(kWindow));

    screen.key(kWindow, QStringLiteral("Escape"));  // the dialog's reject
    ASSERT_NO_FATAL_FAILURE(expectExit(1));
}

// Without a display the same package gives text lines and the script's verdict.
TEST_F(InstallProgressTest, WithoutADisplayItWritesText)
{
    const struct {
        const char* word;
        const char* verdict;
        int exitCode;
    } ends[] = {{"0", "Installation complete", 0}, {"3", "Installation failed", 1}, {"crash", "Installation failed", 1}};
    for (const auto& end : ends) {
        SCOPED_TRACE(end.word);
        QFile::remove(root.path(QStringLiteral("/pkg/go")));
        ASSERT_NO_FATAL_FAILURE(tellScript(end.word));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        ASSERT_NO_FATAL_FAILURE(start(env));
        ASSERT_NO_FATAL_FAILURE(expectExit(end.exitCode));
        // The seconds are the clock's; the rest is exact.
        const QRegularExpression text(QStringLiteral("^Elapsed time: 00:\\d\\d  Waiting for the test \\n%1$")
                                          .arg(QString::fromLatin1(end.verdict)));
        const QString output = QString::fromUtf8(viewer.readAllStandardOutput());
        EXPECT_TRUE(text.match(output).hasMatch()) << output.toStdString();
    }
}

}  // namespace
