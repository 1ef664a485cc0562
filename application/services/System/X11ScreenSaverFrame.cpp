#include "System/X11ScreenSaverFrame.h"

#include "platform/Log.h"

#include "ui_X11ScreenSaverFrame.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

// Xlib last: its macros (Bool, Status, None, ...) clash with Qt's names.
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace {

XScreenSaverInfo* xssInfo(void* info)
{
    return static_cast<XScreenSaverInfo*>(info);
}

}  // namespace

X11EventListener::X11EventListener(_XDisplay* display, int eventBase, std::function<bool()> programExit,
                                   int pollIntervalMs)
    : m_pDisplay(display)
    , m_nXssEventBase(eventBase)
    , m_programExit(std::move(programExit))
    , m_nPollIntervalMs(pollIntervalMs)
{
    if (::pipe2(m_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wakePipe[0] = m_wakePipe[1] = -1;
}

X11EventListener::~X11EventListener()
{
    for (int fd : m_wakePipe) {
        if (fd >= 0)
            ::close(fd);
    }
}

void X11EventListener::requestStop()
{
    m_bStop = true;
    if (m_wakePipe[1] >= 0) {
        const char byte = 0;
        [[maybe_unused]] const ssize_t written = ::write(m_wakePipe[1], &byte, 1);
    }
}

void X11EventListener::processPendingEvents()
{
    // Only the newest state matters, but it must not hide behind an exposure
    // event that arrived after it.
    int newState = -1;
    while (XPending(m_pDisplay) > 0) {
        XEvent event;
        XNextEvent(m_pDisplay, &event);
        if (event.type == m_nXssEventBase + ScreenSaverNotify)
            newState = reinterpret_cast<XScreenSaverNotifyEvent*>(&event)->state;
    }
    if (newState >= 0) {
        qCInfo(lcKova).noquote() << QString::asprintf("%s: Processing XSS message: %d", __func__, newState);
        emit sigXssEvent(newState);
    }
}

void X11EventListener::slotStartListenning()
{
    if (!m_pDisplay || m_nXssEventBase == 0) {
        qCWarning(lcKova).noquote() << QString::asprintf("%s: Cannot listen to event %d on display 0x%p", __func__,
                                                         m_nXssEventBase + ScreenSaverNotify,
                                                         static_cast<void*>(m_pDisplay));
        return;
    }
    const int displayFd = ConnectionNumber(m_pDisplay);
    const int wakeFd = m_wakePipe[0];
    while (!m_bStop) {
        // Xlib may already hold events it read along with an earlier reply.
        processPendingEvents();

        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(displayFd, &readable);
        if (wakeFd >= 0)
            FD_SET(wakeFd, &readable);
        timeval timeout{m_nPollIntervalMs / 1000, (m_nPollIntervalMs % 1000) * 1000};
        const int ready = ::select(std::max(displayFd, wakeFd) + 1, &readable, nullptr, nullptr, &timeout);
        if (m_bStop || (m_programExit && m_programExit()))
            break;
        if (ready < 0 && errno != EINTR) {
            qCWarning(lcKova).noquote() << QString::asprintf("%s: select failed: %d", __func__, errno);
            return;
        }
    }
}

X11ScreenSaverFrame::X11ScreenSaverFrame(QWidget* parent, std::function<bool()> programExit)
    : QFrame(parent)
    , ui(new Ui::X11ScreenSaverFrame)
{
    setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    ui->setupUi(this);

    XInitThreads();  // the listener thread and this one share the connection
    m_pDisplay = XOpenDisplay(nullptr);
    registerXssEvent();
    if (!m_pDisplay) {
        qCWarning(lcKova) << "Failed to open display";
        return;
    }

    m_pListener = new X11EventListener(m_pDisplay, m_nXssEventBase, std::move(programExit));
    m_pListener->moveToThread(&m_Thread);
    const bool connected =
        connect(&m_Thread, &QThread::finished, m_pListener, &QObject::deleteLater)
        && connect(&m_Thread, &QThread::started, m_pListener, &X11EventListener::slotStartListenning)
        && connect(m_pListener, &X11EventListener::sigXssEvent, this, &X11ScreenSaverFrame::slotXssEvent);
    if (!connected)
        qCWarning(lcKova) << "Failed to connect signals";

    m_nXssState = getXssState();
    m_Thread.start(QThread::InheritPriority);
    qCInfo(lcKova).noquote() << QString::asprintf("Current XSS state: %d on display 0x%p", m_nXssState,
                                                  static_cast<void*>(m_pDisplay));
    qCInfo(lcKova).noquote() << QString::asprintf("Will start listenning for xss event type: %d",
                                                  m_nXssEventBase + ScreenSaverNotify);
}

X11ScreenSaverFrame::~X11ScreenSaverFrame()
{
    if (m_pListener && m_Thread.isRunning()) {
        m_pListener->requestStop();
        m_Thread.quit();
        m_Thread.wait();
    }
    if (m_pXssInfo)
        XFree(m_pXssInfo);
    if (m_pDisplay)
        XCloseDisplay(m_pDisplay);
    delete ui;
}

int X11ScreenSaverFrame::registerXssEvent()
{
    if (!m_pDisplay)
        return -1;
    int errorBase = 0;
    if (!XScreenSaverQueryExtension(m_pDisplay, &m_nXssEventBase, &errorBase)) {
        m_nXssEventBase = 0;
        return -2;
    }
    if (m_pXssInfo)
        XFree(m_pXssInfo);
    m_pXssInfo = XScreenSaverAllocInfo();
    const Window root = DefaultRootWindow(m_pDisplay);
    XScreenSaverQueryInfo(m_pDisplay, root, xssInfo(m_pXssInfo));
    XSelectInput(m_pDisplay, root, ExposureMask);
    XScreenSaverSelectInput(m_pDisplay, root, ScreenSaverNotifyMask);
    XFlush(m_pDisplay);
    return 0;
}

int X11ScreenSaverFrame::getXssState()
{
    // Without the extension the query would be an X protocol error.
    if (!m_pDisplay || !m_pXssInfo)
        return -1;
    XScreenSaverQueryInfo(m_pDisplay, DefaultRootWindow(m_pDisplay), xssInfo(m_pXssInfo));
    return xssInfo(m_pXssInfo)->state;
}

void X11ScreenSaverFrame::slotXssEvent(int new_state)
{
    qCDebug(lcKova).noquote() << QString::asprintf("%s: new XSS state: %d", __func__, new_state);
    if (new_state == m_nXssState)
        return;
    m_nXssState = new_state;
    if (new_state == ScreenSaverOff) {
        if (!isHidden())
            hide();
    } else if (new_state == ScreenSaverOn) {
        if (isHidden())
            show();
        activateWindow();
        raise();
    }
}

int screenSaverActive()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return -1;
    XForceScreenSaver(display, ScreenSaverActive);
    XCloseDisplay(display);
    return 0;
}
