#include "System/X11ScreenSaverFrame.h"

#include "LogCapture.h"
#include "XvfbServer.h"

#include <gtest/gtest.h>

#include <QTest>

#include <atomic>

#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace {

// A second client of the test's X server, as another program would be.
class XClient
{
public:
    XClient() : m_display(XOpenDisplay(nullptr)) {}
    ~XClient()
    {
        if (m_display)
            XCloseDisplay(m_display);
    }
    Display* display() const { return m_display; }
    void resetScreenSaver() const
    {
        XForceScreenSaver(m_display, ScreenSaverReset);
        XFlush(m_display);
    }

private:
    Display* m_display;
};

TEST(ScreenSaver, WithoutADisplayNothingMoreHappens)
{
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    {
        LogCapture log;
        X11ScreenSaverFrame frame;
        EXPECT_TRUE(log.contains("Failed to open display"));
        EXPECT_FALSE(log.contains("Current XSS state"));
        EXPECT_EQ(frame.registerXssEvent(), -1);
        EXPECT_EQ(frame.getXssState(), -1);
        EXPECT_EQ(frame.objectName(), QString("X11ScreenSaverFrame"));
        EXPECT_EQ(frame.size(), QSize(800, 480));
        EXPECT_EQ(frame.windowTitle(), QString("Frame"));
        EXPECT_EQ(frame.styleSheet(), QString("QFrame {\t\n\tbackground-color: rgb(0, 0, 0);\n}"));
        EXPECT_TRUE(frame.windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_TRUE(frame.windowFlags().testFlag(Qt::X11BypassWindowManagerHint));
        EXPECT_EQ(screenSaverActive(), -1);
    }
    if (!display.isEmpty())
        qputenv("DISPLAY", display);
}

TEST(ScreenSaver, FrameCoversTheScreenWhileTheSaverIsActive)
{
    XvfbServer server;
    ASSERT_TRUE(server.isRunning());
    LogCapture log;
    X11ScreenSaverFrame frame;
    EXPECT_FALSE(log.contains("Failed to open display"));
    EXPECT_TRUE(log.contains("Current XSS state: 0"));
    EXPECT_EQ(frame.getXssState(), 0);
    EXPECT_FALSE(frame.isVisible());

    ASSERT_EQ(screenSaverActive(), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return frame.isVisible(); }, 5000));
    EXPECT_EQ(frame.getXssState(), 1);

    XClient().resetScreenSaver();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !frame.isVisible(); }, 5000));
    EXPECT_EQ(frame.getXssState(), 0);
}

TEST(ScreenSaver, ListenerEndsOnTheProgramExitFlag)
{
    XvfbServer server;
    ASSERT_TRUE(server.isRunning());
    XClient client;
    int eventBase = 0;
    int errorBase = 0;
    ASSERT_TRUE(XScreenSaverQueryExtension(client.display(), &eventBase, &errorBase));

    int polls = 0;
    X11EventListener listener(client.display(), eventBase, [&] { return ++polls == 3; }, 10);
    listener.slotStartListenning();  // returns once the flag is seen
    EXPECT_EQ(polls, 3);
}

TEST(ScreenSaver, ListenerWithoutADisplayReturnsAtOnce)
{
    LogCapture log;
    X11EventListener listener(nullptr, 0, [] { return false; });
    listener.slotStartListenning();
    EXPECT_TRUE(log.contains("Cannot listen to event"));
}

}  // namespace
