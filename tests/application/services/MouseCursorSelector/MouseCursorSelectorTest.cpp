#include "MouseCursorSelector/MouseCursorSelector.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QSignalSpy>
#include <QGuiApplication>
#include <QTest>

#include <vector>

namespace {

Qt::CursorShape shownCursor()
{
    const QCursor* cursor = QGuiApplication::overrideCursor();
    return cursor ? cursor->shape() : Qt::ArrowCursor;
}

int overrideDepth()
{
    int depth = 0;
    while (QGuiApplication::overrideCursor()) {
        QGuiApplication::restoreOverrideCursor();
        ++depth;
    }
    return depth;
}

// The program starts with the pointer hidden; each test leaves no override behind.
class MouseCursorSelectorTest : public ::testing::Test
{
protected:
    MouseCursorSelectorTest()
    {
        QDir().mkpath(root.path("/dev/input/by-id"));
        QGuiApplication::setOverrideCursor(QCursor(Qt::BlankCursor));
    }
    ~MouseCursorSelectorTest() override { overrideDepth(); }

    // udev's by-id link to an input node (here a node that is absent).
    void plug(const QString& name, const QString& node = "event3")
    {
        QFile::link("../" + node, root.path("/dev/input/by-id/" + name));
    }

    TempRoot root;
};

TEST_F(MouseCursorSelectorTest, ArrowOnlyForALinkEndingInMouse)
{
    struct Case
    {
        std::vector<const char*> links;
        Qt::CursorShape shape;
    };
    const Case cases[] = {
        {{"usb-Logitech_USB_Optical_Mouse-event-mouse"}, Qt::ArrowCursor},
        {{"usb-Logitech_USB_Optical_Mouse-mouse"}, Qt::ArrowCursor},
        {{"usb-Dell_Keyboard-event-kbd", "usb-Logitech_Mouse-event-mouse"}, Qt::ArrowCursor},
        {{"usb-Dell_Keyboard-event-kbd"}, Qt::BlankCursor},
        {{"platform-touchscreen-event"}, Qt::BlankCursor},
        {{"usb-Generic_Pointer-Mouse"}, Qt::BlankCursor},
        {{"usb-Generic_Pointer-mouse1"}, Qt::BlankCursor},
        {{"usb-Generic_Pointer-mouse-kbd"}, Qt::BlankCursor},
        {{}, Qt::BlankCursor},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.links.empty() ? "(none)" : c.links.back());
        QDir(root.path("/dev/input/by-id")).removeRecursively();
        QDir().mkpath(root.path("/dev/input/by-id"));
        for (const char* link : c.links)
            plug(link);
        MouseCursorSelector selector;
        EXPECT_EQ(shownCursor(), c.shape);
    }
}

TEST_F(MouseCursorSelectorTest, OnlyLinksCountAndAMissingFolderIsNoMouse)
{
    root.writeFile("/dev/input/by-id/usb-Logitech_USB_Optical_Mouse-event-mouse", "");
    MouseCursorSelector plainFile;
    EXPECT_EQ(shownCursor(), Qt::BlankCursor);

    QDir(root.path("/dev/input")).removeRecursively();
    MouseCursorSelector noFolder;
    EXPECT_EQ(shownCursor(), Qt::BlankCursor);
}

TEST_F(MouseCursorSelectorTest, LinkToAPresentNodeCounts)
{
    root.writeFile("/dev/input/mouse0", "");
    plug("usb-Logitech_USB_Optical_Mouse-mouse", "mouse0");
    MouseCursorSelector selector;
    EXPECT_EQ(shownCursor(), Qt::ArrowCursor);
}

TEST_F(MouseCursorSelectorTest, FollowsAMousePluggedInAndOut)
{
    MouseCursorSelector selector;
    EXPECT_EQ(shownCursor(), Qt::BlankCursor);

    // The link first: only the node appearing in /dev/input is seen.
    plug("usb-Logitech_USB_Optical_Mouse-event-mouse", "event7");
    root.writeFile("/dev/input/event7", "");
    EXPECT_TRUE(QTest::qWaitFor([] { return shownCursor() == Qt::ArrowCursor; }, 5000));

    QFile::remove(root.path("/dev/input/by-id/usb-Logitech_USB_Optical_Mouse-event-mouse"));
    QFile::remove(root.path("/dev/input/event7"));
    EXPECT_TRUE(QTest::qWaitFor([] { return shownCursor() == Qt::BlankCursor; }, 5000));

    // One override per real change, on top of the program's own.
    EXPECT_EQ(overrideDepth(), 3);
}

// The kernel's node comes first, udev's by-id link after it.
TEST_F(MouseCursorSelectorTest, ALinkMadeAfterItsNodeIsSeen)
{
    root.writeFile("/dev/input/event8", "");
    MouseCursorSelector selector;
    EXPECT_EQ(shownCursor(), Qt::BlankCursor);

    plug("usb-Logitech_USB_Optical_Mouse-event-mouse", "event8");
    EXPECT_TRUE(QTest::qWaitFor([] { return shownCursor() == Qt::ArrowCursor; }, 5000));
}

// A by-id folder made with the first input device is watched from then on.
TEST_F(MouseCursorSelectorTest, AByIdFolderMadeLaterIsWatched)
{
    QDir(root.path("/dev/input/by-id")).removeRecursively();
    MouseCursorSelector selector;

    // Once the change of /dev/input has been handled, the folder is watched.
    QFileSystemWatcher input({root.path("/dev/input")});
    QSignalSpy handled(&input, &QFileSystemWatcher::directoryChanged);
    QDir().mkpath(root.path("/dev/input/by-id"));
    ASSERT_TRUE(handled.wait(5000));
    QCoreApplication::processEvents();

    plug("usb-Logitech_USB_Optical_Mouse-mouse");
    EXPECT_TRUE(QTest::qWaitFor([] { return shownCursor() == Qt::ArrowCursor; }, 5000));
}

}  // namespace
