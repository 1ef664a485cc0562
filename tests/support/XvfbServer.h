#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// A private X server for one test: Xvfb picks a free display number itself
// (-displayfd), so parallel tests never collide. DISPLAY points at it for the
// server's life and is restored afterwards.
class XvfbServer
{
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool isRunning() const { return !m_display.isEmpty(); }
    QString display() const { return m_display; }

private:
    bool start();
    void stop();

    QProcess m_process;
    QString m_display;
    QByteArray m_previousDisplay;
    bool m_hadDisplay;
};
