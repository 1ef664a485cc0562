#pragma once

#include <QFrame>
#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>

struct _XDisplay;

namespace Ui {
class X11ScreenSaverFrame;
}

// Waits in a thread of its own for the screen-saver notifications of the X
// Screen Saver extension on a display connection it is handed.
class X11EventListener : public QObject
{
    Q_OBJECT

public:
    // `programExit` is polled after every wait of at most `pollIntervalMs`.
    X11EventListener(_XDisplay* display, int eventBase, std::function<bool()> programExit,
                     int pollIntervalMs = 1000);
    ~X11EventListener() override;

    // Thread-safe: ends the listening loop at once.
    void requestStop();

signals:
    void sigXssEvent(int new_state);

public slots:
    void slotStartListenning();

private:
    void processPendingEvents();

    _XDisplay* m_pDisplay;
    int m_nXssEventBase;
    std::function<bool()> m_programExit;
    int m_nPollIntervalMs;
    std::atomic<bool> m_bStop{false};
    int m_wakePipe[2] = {-1, -1};
};

// A black full-screen frame that covers the display while the X server's
// screen saver is active.
class X11ScreenSaverFrame : public QFrame
{
    Q_OBJECT

public:
    // `programExit` tells the listener to stop (the application's exit flag).
    explicit X11ScreenSaverFrame(QWidget* parent = nullptr, std::function<bool()> programExit = {});
    ~X11ScreenSaverFrame() override;

    // 0 when registered, -1 without a display, -2 when the extension is missing.
    int registerXssEvent();
    // The screen-saver state of the default screen (0 off, 1 on), -1 without a display.
    int getXssState();

public slots:
    void slotXssEvent(int new_state);

private:
    QThread m_Thread;
    void* m_pXssInfo = nullptr;  // XScreenSaverInfo; opaque so Xlib's macros stay out of Qt code
    int m_nXssEventBase = 0;
    _XDisplay* m_pDisplay = nullptr;
    int m_nXssState = 0;
    X11EventListener* m_pListener = nullptr;
    Ui::X11ScreenSaverFrame* ui;
};

// Switches the screen saver on at once; 0, or -1 when the display cannot be opened.
int screenSaverActive();
