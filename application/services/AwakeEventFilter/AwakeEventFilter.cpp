#include "AwakeEventFilter/AwakeEventFilter.h"

#include "platform/Log.h"

#include <QKeyEvent>
#include <QTimerEvent>

AwakeEventFilter::AwakeEventFilter(QObject* parent)
    : QObject(parent)
{
    m_nReportTimerId = startTimer(kReportIntervalMs, Qt::CoarseTimer);
    m_PowerKeyTimer.setSingleShot(true);
    m_PowerKeyTimer.setInterval(kPowerKeyWindowMs);
    // The armed flag stays as it is: a window that reported stays reported
    // until the next press opens a new one.
    connect(&m_PowerKeyTimer, &QTimer::timeout, this, [this] { m_nPowerKeyReleaseCount = 0; });
}

bool AwakeEventFilter::isPowerKey(const QEvent* event)
{
    return static_cast<const QKeyEvent*>(event)->key() == Qt::Key_PowerOff;
}

bool AwakeEventFilter::isActivity(const QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseMove:
    case QEvent::KeyPress:
    case QEvent::WindowActivate:
    case QEvent::Wheel:
    case QEvent::TouchUpdate:
        return true;
    default:
        return false;
    }
}

bool AwakeEventFilter::eventFilter(QObject* watched, QEvent* event)
{
    Q_UNUSED(watched);
    if (!m_PowerKeyTimer.isActive()) {
        if (event->type() == QEvent::KeyPress && isPowerKey(event)) {
            m_PowerKeyTimer.start();
            m_nPowerKeyReleaseCount = 0;
            m_bPowerKeyArmed = true;
            return true;
        }
    } else if (m_bPowerKeyArmed && event->type() == QEvent::KeyRelease) {
        if (!isPowerKey(event)) {
            event->ignore();
            return false;
        }
        if (++m_nPowerKeyReleaseCount > kLongPressReleases) {
            m_bPowerKeyArmed = false;
            KLOG << "pop up!";
            emit signal_PowerOffActivity(true);
        }
        return true;
    }
    if (isActivity(event))
        m_bActivity = true;
    event->ignore();
    return false;
}

void AwakeEventFilter::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_nReportTimerId)
        return;
    emit signal_ReportActivity(m_bActivity);
    m_bActivity = false;
}
