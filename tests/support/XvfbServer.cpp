#include "XvfbServer.h"

#include "HostTool.h"

#include <QStandardPaths>

#include <cstdio>

namespace {

constexpr int kAttempts = 3;

}  // namespace

XvfbServer::XvfbServer()
    : m_previousDisplay(qgetenv("DISPLAY"))
    , m_hadDisplay(qEnvironmentVariableIsSet("DISPLAY"))
{
    // A server can announce its display and still not take connections on a
    // loaded machine; such a one is replaced rather than failing the test.
    for (int attempt = 0; attempt < kAttempts && m_display.isEmpty(); ++attempt) {
        if (!start())
            continue;
        if (runHostTool(QStringLiteral("xdpyinfo"), {QStringLiteral("-display"), m_display}, 10000)
                .succeeded())
            break;
        std::fprintf(stderr, "Xvfb on %s does not answer; starting another\n", qPrintable(m_display));
        stop();
        m_display.clear();
    }
    if (!m_display.isEmpty())
        qputenv("DISPLAY", m_display.toLatin1());
}

XvfbServer::~XvfbServer()
{
    stop();
    if (m_hadDisplay)
        qputenv("DISPLAY", m_previousDisplay);
    else
        qunsetenv("DISPLAY");
}

bool XvfbServer::start()
{
    // The display number arrives on standard output (descriptor 1). Without
    // -noreset the server resets when its last client leaves (the probe
    // below), and a program connecting during the reset is turned away.
    const QString server = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    if (server.isEmpty())
        return false;
    m_process.setProgram(server);
    m_process.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                            QStringLiteral("0"), QStringLiteral("800x480x24"), QStringLiteral("-nolisten"),
                            QStringLiteral("tcp"), QStringLiteral("-noreset")});
    // Nobody reads the server's warnings; a full pipe must never stall it.
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start();
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
    }
    const QByteArray number = m_process.readLine().trimmed();
    if (number.isEmpty()) {
        stop();
        return false;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
    return true;
}

void XvfbServer::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(1000);
}
