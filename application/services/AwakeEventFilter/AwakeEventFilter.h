#pragma once

#include <QObject>
#include <QTimer>

// Watches every input event of the application for two things the home
// screen needs: whether the user did anything during each minute (the idle
// power-off counts quiet minutes), and a long press of the hardware power
// key, which arrives as auto-repeated key events.
class AwakeEventFilter : public QObject
{
    Q_OBJECT

public:
    static constexpr int kReportIntervalMs = 60000;
    static constexpr int kPowerKeyWindowMs = 5000;
    // More releases than this within the window make a long press.
    static constexpr int kLongPressReleases = 10;

    explicit AwakeEventFilter(QObject* parent = nullptr);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

    int reportTimerId() const { return m_nReportTimerId; }
    // The power-key window; tests shorten it.
    void setPowerKeyWindow(int ms) { m_PowerKeyTimer.setInterval(ms); }

signals:
    void signal_ReportActivity(bool active);
    void signal_PowerOffActivity(bool pressed);

private:
    static bool isActivity(const QEvent* event);
    static bool isPowerKey(const QEvent* event);

    bool m_bActivity = false;
    int m_nReportTimerId = 0;
    QTimer m_PowerKeyTimer;
    bool m_bPowerKeyArmed = false;
    int m_nPowerKeyReleaseCount = 0;
};
