#include "WpaCliStandIn.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <unistd.h>

namespace kovasim {

namespace {

constexpr int kRetryMs = 1000;

// Where the first command ends, at a carriage return or a line feed; -1 when none does.
int firstLineEnd(const QByteArray& input)
{
    for (int i = 0; i < input.size(); ++i) {
        if (input[i] == '\r' || input[i] == '\n')
            return i;
    }
    return -1;
}

}  // namespace

WpaCliStandIn::WpaCliStandIn(const NetSim& sim, const QString& interface)
    : m_sim(sim)
    , m_interface(interface)
    , m_events(sim.eventQueue(interface, QCoreApplication::applicationPid()))
{
    QFile queue(m_events);
    queue.open(QIODevice::WriteOnly | QIODevice::Truncate);

    m_stdin = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_stdin, &QSocketNotifier::activated, this, &WpaCliStandIn::readInput);
    m_scan.setSingleShot(true);
    connect(&m_scan, &QTimer::timeout, this, [this] { say("<3>CTRL-EVENT-SCAN-RESULTS \n> "); });
    connect(&m_poll, &QTimer::timeout, this, &WpaCliStandIn::poll);
    m_poll.start(kPollMs);
    say("wpa_cli (simulated)\n\n");
    poll();
}

WpaCliStandIn::~WpaCliStandIn()
{
    QFile::remove(m_events);
}

void WpaCliStandIn::say(const QByteArray& text) const
{
    qint64 done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.constData() + done, static_cast<size_t>(text.size() - done));
        if (n <= 0)
            return;
        done += n;
    }
}

void WpaCliStandIn::poll()
{
    if (!m_connected) {
        if (!m_sim.interfaceExists(m_interface)) {
            say("Could not connect to wpa_supplicant: " + m_interface.toUtf8() + " - re-trying\n");
            m_poll.setInterval(kRetryMs);
            return;
        }
        m_connected = true;
        m_poll.setInterval(kPollMs);
        say("Interactive mode\n\n> ");
    }
    QFile queue(m_events);
    if (!queue.open(QIODevice::ReadOnly) || queue.size() <= m_eventsRead || !queue.seek(m_eventsRead))
        return;
    const QByteArray fresh = queue.readAll();
    const int end = fresh.lastIndexOf('\n') + 1;  // whole lines only
    if (end == 0)
        return;
    m_eventsRead += end;
    say(fresh.left(end) + "> ");
}

void WpaCliStandIn::readInput()
{
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        m_stdin->setEnabled(false);
        QCoreApplication::quit();
        return;
    }
    m_input.append(buffer, static_cast<int>(n));
    for (;;) {
        const int end = firstLineEnd(m_input);
        if (end < 0)
            return;
        const QByteArray line = m_input.left(end).trimmed();
        m_input.remove(0, end + 1);
        command(line);
    }
}

void WpaCliStandIn::command(const QByteArray& line)
{
    if (line.isEmpty() || !m_connected)
        return;
    if (line == "quit" || line == "q") {
        QCoreApplication::quit();
        return;
    }
    if (line == "scan") {
        if (QFileInfo::exists(m_sim.statePath(QStringLiteral("scan-busy")))) {
            say("FAIL-BUSY\n> ");
            return;
        }
        say("OK\n> ");
        m_scan.start(kScanMs);
        return;
    }
    if (line == "scan_results") {
        say("bssid / frequency / signal level / flags / ssid\n" + m_sim.scanListing() + "> ");
        return;
    }
    say("Unknown command '" + line + "'\n> ");
}

}  // namespace kovasim
