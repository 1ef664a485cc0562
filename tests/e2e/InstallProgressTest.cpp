#include "EndToEndTest.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString kWindow = QStringLiteral("ProgressView");
const QString kPackage = QStringLiteral("/pkg");

// The real InstallProgress in a package folder inside the test's root, whose
// install script notes where it runs, shows a task and then waits for the
// test's word.
class InstallProgressTest : public EndToEndTest
{
protected:
    void SetUp() override
    {
        root.copyFile(QStringLiteral(KOVA_FIXTURES "/install-progress/waits.sh"), kPackage + "/install.sh");
    }

    // Tells the script how to end: "crash" or an exit code. Renamed into
    // place, so the script never reads half a word.
    void tellScript(const QByteArray& word)
    {
        root.writeFile(kPackage + "/go.new", word);
        ASSERT_TRUE(QFile::rename(root.path(kPackage + "/go.new"), root.path(kPackage + "/go")));
    }

    static void expectExit(QProcess& viewer, int code)
    {
        ASSERT_TRUE(viewer.waitForFinished(kTimeoutMs));
        EXPECT_EQ(viewer.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(viewer.exitCode(), code);
    }
};

class InstallProgressWindowTest : public InstallProgressTest
{
protected:
    // The viewer on the private screen, once its window is shown.
    QProcess* startViewer()
    {
        QProcess* viewer = startProgram(QStringLiteral(INSTALL_PROGRESS), {},
                                        {QStringLiteral("QT_LOGGING_RULES=kova.debug=true")}, root.path(kPackage));
        if (viewer && !waitForWindow(kWindow)) {
            ADD_FAILURE() << "no window: " << output(*viewer).toStdString();
            return nullptr;
        }
        return viewer;
    }
};

TEST_F(InstallProgressWindowTest, TheCentredWindowGoesWithASuccessfulScript)
{
    QProcess* viewer = startViewer();
    ASSERT_TRUE(viewer);
    EXPECT_EQ(windowGeometry(windows(kWindow).value(0)), QRect(90, 55, 620, 370));
    EXPECT_EQ(root.readFile(kPackage + "/ran-in"),
              QFileInfo(root.path(kPackage)).canonicalFilePath().toUtf8() + "\n");

    ASSERT_NO_FATAL_FAILURE(tellScript("0"));
    ASSERT_NO_FATAL_FAILURE(expectExit(*viewer, 0));
    EXPECT_TRUE(windows(kWindow).isEmpty());
}

TEST_F(InstallProgressWindowTest, AfterACrashTheWindowStaysUntilClosed)
{
    QProcess* viewer = startViewer();
    ASSERT_TRUE(viewer);
    ASSERT_NO_FATAL_FAILURE(tellScript("crash"));
    ASSERT_TRUE(waitForOutput(*viewer, "install script ended: crashed")) << output(*viewer).toStdString();
    EXPECT_EQ(viewer->state(), QProcess::Running);
    EXPECT_FALSE(windows(kWindow).isEmpty());

    keyToWindow(windows(kWindow).value(0), QStringLiteral("Escape"));  // the dialog's reject
    ASSERT_NO_FATAL_FAILURE(expectExit(*viewer, 1));
}

// Without a display the same package gives text lines and the script's
// verdict; standard output alone, so no log line can come between.
TEST_F(InstallProgressTest, WithoutADisplayItWritesText)
{
    const struct {
        const char* word;
        const char* verdict;
        int exitCode;
    } ends[] = {{"0", "Installation complete", 0}, {"3", "Installation failed", 1}, {"crash", "Installation failed", 1}};
    for (const auto& end : ends) {
        SCOPED_TRACE(end.word);
        QFile::remove(root.path(kPackage + "/go"));
        ASSERT_NO_FATAL_FAILURE(tellScript(end.word));
        QProcess viewer;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        viewer.setProcessEnvironment(env);
        viewer.setWorkingDirectory(root.path(kPackage));
        viewer.start(QStringLiteral(INSTALL_PROGRESS), QStringList());
        ASSERT_NO_FATAL_FAILURE(expectExit(viewer, end.exitCode));
        // The seconds are the clock's; the rest is exact.
        const QRegularExpression text(QStringLiteral("^Elapsed time: 00:\\d\\d  Waiting for the test \\n%1$")
                                          .arg(QString::fromLatin1(end.verdict)));
        const QString output = QString::fromUtf8(viewer.readAllStandardOutput());
        EXPECT_TRUE(text.match(output).hasMatch()) << output.toStdString();
    }
}

}  // namespace
