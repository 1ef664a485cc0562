#pragma once

#include "EndToEndTest.h"

#include <QPoint>

// The end-to-end tests of the instrument application: KOVA3.app on the
// private screen over the virtual instrument, with its debug log on, and the
// places of the message boxes a user touches.
class InstrumentAppTest : public EndToEndTest
{
protected:
    // The buttons of a message box (500 × 300 at 156, 90): OK beside CANCEL,
    // or OK alone in the middle.
    static constexpr QPoint kMessageOk{156 + 88 + 75, 90 + 214 + 23};
    static constexpr QPoint kMessageCancel{156 + 262 + 75, 90 + 214 + 23};
    static constexpr QPoint kMessageOnlyOk{156 + 174 + 75, 90 + 214 + 23};
    static constexpr QPoint kHomePowerButton{40, 40};

    // Starts KOVA3.app; false (with a test failure) when it does not start.
    bool startApp();
    // The home screen is up and the splash gone (they swap in one step, which
    // the X server may show a moment apart).
    bool waitForHomeScreen();
    // Until exactly `count` windows of the title are shown (the screens over
    // the home screen and the message boxes are all called "Dialog").
    bool waitForWindowCount(const QString& title, int count, int timeoutMs = kTimeoutMs);
    bool touch(const QPoint& point) { return EndToEndTest::touch(point.x(), point.y()); }
    using EndToEndTest::touch;
    // Touches `point` and waits until `count` "Dialog" windows are shown.
    bool touchThenDialogs(const QPoint& point, int count);
    // Answers the power button's question with OK and waits for the program
    // to end; true when it ended normally with exit code 1.
    bool powerOffFromHome();

    QProcess* app = nullptr;
};
