#include "ProgressGUI.h"
#include "ProgressView.h"

#include "ProgressTestSupport.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QLabel>
#include <QMovie>
#include <QScreen>
#include <QVBoxLayout>

namespace {

QLabel* label(const ProgressGUI& gui, const char* name)
{
    return gui.view()->findChild<QLabel*>(QString::fromLatin1(name));
}

// The window of a running scripted child; the clock reads `seconds`.
class ProgressGUITest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(child.start()); }

    void write(ScriptedChild::Channel channel, const QByteArray& text, unsigned int atSeconds = 0)
    {
        now = atSeconds * 1000;
        ASSERT_TRUE(child.write(channel, text)) << text.toStdString();
    }
    QString task() const { return label(gui, "currentTask")->text(); }

    TempRoot root;
    ScriptedChild child{root};
    qint64 now = 0;
    ProgressGUI gui{nullptr, &child.process, [this] { return now; }};
};

TEST_F(ProgressGUITest, TheFormIsCentredWithItsAnimation)
{
    ProgressView* view = gui.view();
    EXPECT_EQ(view->windowTitle(), "ProgressView");
    EXPECT_FALSE(view->isModal());
    EXPECT_EQ(view->size(), QSize(620, 370));
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 800, 600)) << "the offscreen screen";
    EXPECT_EQ(view->pos(), QPoint(90, 115));

    for (const char* name : {"title", "progressIndicator", "currentTask", "elapsedTime"})
        ASSERT_NE(label(gui, name), nullptr) << name;
    EXPECT_NE(view->findChild<QWidget*>("widget"), nullptr);
    EXPECT_NE(view->findChild<QWidget*>("verticalLayoutWidget"), nullptr);
    EXPECT_NE(view->findChild<QVBoxLayout*>("bottomVL"), nullptr);
    EXPECT_NE(view->findChild<QHBoxLayout*>("elapsedTimeHL"), nullptr);
    EXPECT_EQ(label(gui, "title")->text(), "Installing Updates...");
    EXPECT_EQ(task(), "<task>");

    QMovie* movie = label(gui, "progressIndicator")->movie();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->fileName(), ":/loader3.gif");
    EXPECT_EQ(movie->scaledSize(), QSize(400, 20));
    EXPECT_EQ(movie->state(), QMovie::Running);
}

TEST_F(ProgressGUITest, LoaderAnimationsAreInTheResources)
{
    const struct {
        const char* name;
        QSize size;
    } loaders[] = {{":/loader1.gif", {32, 32}}, {":/loader2.gif", {220, 19}}, {":/loader3.gif", {126, 22}}};
    for (const auto& loader : loaders) {
        QMovie movie(loader.name);
        ASSERT_TRUE(movie.isValid()) << loader.name;
        EXPECT_GT(movie.frameCount(), 1) << loader.name;
        ASSERT_TRUE(movie.jumpToFrame(0));
        EXPECT_EQ(movie.currentImage().size(), loader.size) << loader.name;
    }
}

TEST_F(ProgressGUITest, ElapsedTimeHasTwoMinuteDigitsOnceOutputCame)
{
    EXPECT_EQ(label(gui, "elapsedTime")->text(), "Elapsed Time     0:00");
    write(ScriptedChild::Out, "no line end yet", 7);
    EXPECT_EQ(label(gui, "elapsedTime")->text(), "Elapsed Time     00:07");
    write(ScriptedChild::Err, "warning\n", 6000);
    EXPECT_EQ(label(gui, "elapsedTime")->text(), "Elapsed Time     100:00");
}

TEST_F(ProgressGUITest, TheTaskIsTheGreedyCaptureOfCompleteProgressLines)
{
    write(ScriptedChild::Out, "=== a === b ===\n");
    EXPECT_EQ(task(), "a === b");
    write(ScriptedChild::Out, "copied 12 files\n");
    EXPECT_EQ(task(), "a === b") << "an unmarked line changes nothing";
    write(ScriptedChild::Out, "=== Copying ");
    EXPECT_EQ(task(), "a === b") << "no line end yet";
    write(ScriptedChild::Out, "<b>files</b> ===\n");
    EXPECT_EQ(task(), "Copying <b>files</b>");
    EXPECT_EQ(label(gui, "currentTask")->textFormat(), Qt::PlainText) << "a task is text, not markup";
}

TEST_F(ProgressGUITest, StandardErrorShowsRedAndEscapedOnceALineWaits)
{
    write(ScriptedChild::Err, "cannot copy <lib> & more\n");
    EXPECT_EQ(task(), "<task>") << "standard error waits for a line";
    write(ScriptedChild::Out, "copied 12 files\n");
    EXPECT_EQ(task(), "<p style=\"color:Red;\">cannot copy &lt;lib&gt; &amp; more</p>");
    EXPECT_EQ(label(gui, "currentTask")->textFormat(), Qt::RichText);
    write(ScriptedChild::Out, "=== Copying ===\n");
    EXPECT_EQ(task(), "Copying");
}

// The window's own end: only the change to NotRunning counts, and only a
// script that started and ended by itself with code 0 succeeded (no closing
// text); anything else shows "Installation failed" and keeps the window.
TEST(ProgressViewEnd, TheScriptsEndIsJudgedByItsVerdict)
{
    const struct {
        const char* name;
        const char* script;  // nullptr: never started
        QProcess::ProcessState state;
        const char* task;
    } cases[] = {
        {"ended with 0", "exit 0", QProcess::NotRunning, "<task>"},
        {"ended with 3", "exit 3", QProcess::NotRunning, "Installation failed"},
        {"crashed", "kill -9 $$", QProcess::NotRunning, "Installation failed"},
        {"never started", nullptr, QProcess::NotRunning, "Installation failed"},
        {"a state other than NotRunning", "exit 3", QProcess::Running, "<task>"},
    };
    for (const auto& c : cases) {
        QProcess script;
        ProgressView view(nullptr, &script);
        if (c.script) {
            script.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromLatin1(c.script)});
            ASSERT_TRUE(script.waitForFinished()) << c.name;
        }
        view.slotOnProcStateChanged(c.state);
        EXPECT_EQ(view.findChild<QLabel*>(QStringLiteral("currentTask"))->text(), c.task) << c.name;
    }
}

}  // namespace
