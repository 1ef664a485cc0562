#include "XvfbServer.h"

#include "platform/CommandRunner.h"

XvfbServer::XvfbServer()
    : m_previousDisplay(qgetenv("DISPLAY"))
    , m_hadDisplay(qEnvironmentVariableIsSet("DISPLAY"))
{
    // The display number arrives on standard output (descriptor 1).
    if (!platform::CommandRunner::prepare(m_process, QStringLiteral("Xvfb"),
                                          {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                           QStringLiteral("0"), QStringLiteral("800x480x24"),
                                           QStringLiteral("-nolisten"), QStringLiteral("tcp")}))
        return;
    // Nobody reads the server's warnings; a full pipe must never stall it.
    m_process.setStandardErrorFile(QProcess::nullDevice());
    m_process.start();
    while (!m_process.canReadLine() && m_process.waitForReadyRead(10000)) {
    }
    const QByteArray number = m_process.readLine().trimmed();
    if (number.isEmpty())
        return;
    m_display = QStringLiteral(":") + QString::fromLatin1(number);
    qputenv("DISPLAY", m_display.toLatin1());
}

XvfbServer::~XvfbServer()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }
    if (m_hadDisplay)
        qputenv("DISPLAY", m_previousDisplay);
    else
        qunsetenv("DISPLAY");
}
