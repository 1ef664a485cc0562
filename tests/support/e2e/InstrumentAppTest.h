#pragma once

#include "EndToEndTest.h"

#include <QPoint>

// The end-to-end tests of the instrument application: KOVA3.app on the
// private screen over the virtual instrument, with its debug log on, the
// places of the message boxes and the on-screen keyboard a user touches, and
// a count saved through the counting screen.
class InstrumentAppTest : public EndToEndTest
{
protected:
    // The buttons of a message box (500 × 300 at 156, 90): OK beside CANCEL,
    // or OK alone in the middle.
    static constexpr QPoint kMessageOk{156 + 88 + 75, 90 + 214 + 23};
    static constexpr QPoint kMessageCancel{156 + 262 + 75, 90 + 214 + 23};
    static constexpr QPoint kMessageOnlyOk{156 + 174 + 75, 90 + 214 + 23};
    static constexpr QPoint kHomePowerButton{40, 40};
    // A count with the automatic save after it, or a save with the power-off
    // after it: each file of a save alone can take seconds on a loaded machine.
    static constexpr int kLongTimeoutMs = 3 * kTimeoutMs;

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
    // The instrument's power switch (SIGUSR1 to `instrument`, the virtual
    // instrument) pressed over `dialogs` "Dialog" windows, and its question
    // answered OK.
    bool confirmPowerSwitch(QProcess& instrument, int dialogs);

    // The on-screen keyboard of a full-screen text page (its keys from y 160):
    // a letter's key, the Shift latch and the Enter (Save) key.
    static QPoint letterKey(QChar letter);
    static constexpr QPoint kShiftKey{53, 377};
    static constexpr QPoint kEnterKey{708, 440};
    // Types letters on those keys, a capital with the Shift latch.
    bool typeOnKeys(const QString& letters);

    // The home screen's Count; the counting screen's Count, Save & Print and
    // Home; the save dialog's Back.
    static constexpr QPoint kHomeCount{100, 280};
    static constexpr QPoint kCountKey{100, 120};
    static constexpr QPoint kSavePrintKey{100, 440};
    static constexpr QPoint kCountHome{40, 40};
    static constexpr QPoint kSaveBack{40, 40};
    // From the home screen: the counting screen, one count, its end in the log
    // (after the automatic save, when the settings ask for one).
    bool countOnce();
    // The save dialog's Save, and the box the run ends with closed.
    bool saveAndClose();
    // The shown result saved as `name` through Save & Print; the save dialog
    // closes again with its Back.
    bool saveCountAs(const QString& name);

    QProcess* app = nullptr;
};
