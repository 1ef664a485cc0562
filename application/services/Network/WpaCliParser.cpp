#include "Network/WpaCliParser.h"

#include "Network/NetInfo.h"

#include <QRegularExpression>

namespace {

// The client prints short lines; output this long without a line end is garbage.
constexpr int kMaxLine = 64 * 1024;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

void WpaCliParser::reset()
{
    *this = WpaCliParser();
}

void WpaCliParser::clearScanList()
{
    m_scanList.clear();
    m_bAccessPointSeen = false;
}

WpaCliParser::Actions WpaCliParser::setScanWanted(bool wanted)
{
    Actions actions;
    m_bScanRegistered = wanted;
    sendIfReady(actions);
    return actions;
}

WpaCliParser::Actions WpaCliParser::restartScan()
{
    m_bScanPending = false;
    m_bNextIsScan = false;
    return setScanWanted(true);
}

WpaCliParser::Actions WpaCliParser::feed(const QByteArray& chunk)
{
    Actions actions;
    m_pending += chunk;
    // Taken from the front once at the end: removing each line as it goes
    // made a long read of short lines cost its length squared.
    int at = 0;
    for (;;) {
        // At the start of a line: blanks are nothing, '>' is the prompt.
        while (at < m_pending.size() && isBlank(m_pending[at]))
            ++at;
        if (at < m_pending.size() && m_pending[at] == '>') {
            ++at;
            prompt(actions);
            continue;
        }
        const int end = m_pending.indexOf('\n', at);
        if (end < 0)
            break;  // kept until its line ends
        line(m_pending.mid(at, end - at).trimmed(), actions);
        at = end + 1;
    }
    m_pending.remove(0, at);
    if (m_pending.size() > kMaxLine) {
        qCWarning(nm_wlan) << "Got partial line: " << m_pending.left(80);
        m_pending.clear();
    }
    return actions;
}

void WpaCliParser::line(const QByteArray& text, Actions& actions)
{
    static const QRegularExpression accessPoint(
        QStringLiteral("^([a-f0-9:]+)\\s+([0-9]+)\\s+([0-9-]+)\\s+([^ \\t]+)\\s+(.+)$"));
    const QString line = QString::fromUtf8(text);
    qCDebug(nm_wlan) << "WPA_CLI: " << line;
    if (line.endsWith(QLatin1String("CTRL-EVENT-SCAN-RESULTS"))) {
        qCWarning(nm_wlan) << "Got results";
        m_bScanPending = false;
        clearScanList();
    } else if (line.endsWith(QLatin1String("FAIL-BUSY"))) {
        qCWarning(nm_wlan) << "Oops! too fast";
        m_bPromptSeen = false;
    } else if (line.endsWith(QLatin1String("WRONG_KEY"))) {
        qCWarning(nm_wlan) << "Wrong AP key (password)";
        actions.append({Action::BadPassword, QByteArray()});
    } else {
        const QRegularExpressionMatch m = accessPoint.match(line);
        if (!m.hasMatch())
            return;
        ScanRecord record;
        record.bssid = m.captured(1);
        record.frequency = m.captured(2).toInt();
        record.level = m.captured(3).toInt();
        record.flags = m.captured(4);
        record.ssid = m.captured(5);
        qCDebug(nm_wlan) << "Got AP: " << record.ssid;
        m_scanList.append(record);
        m_bAccessPointSeen = true;
    }
}

void WpaCliParser::prompt(Actions& actions)
{
    m_bPromptSeen = true;
    qCDebug(nm_wlan) << "Got prompt (I/S/W): " << m_bPromptSeen << m_bNextIsScan << m_bScanPending;
    if (m_bAccessPointSeen)
        actions.append({Action::ScanComplete, QByteArray()});
    m_bAccessPointSeen = false;
    sendIfReady(actions);
}

void WpaCliParser::sendIfReady(Actions& actions)
{
    if (!m_bScanRegistered || !m_bPromptSeen || m_bScanPending)
        return;
    actions.append({Action::Send, m_bNextIsScan ? QByteArrayLiteral("scan\r") : QByteArrayLiteral("scan_results\r")});
    m_bPromptSeen = false;
    m_bScanPending = m_bNextIsScan;
    m_bNextIsScan = !m_bNextIsScan;
}

QHash<QString, APInfo> WpaCliParser::scanResults() const
{
    QHash<QString, APInfo> table;
    for (const ScanRecord& record : m_scanList) {
        if (record.ssid.isEmpty() || record.ssid.contains(QLatin1String("\\x")) || table.contains(record.ssid))
            continue;
        APInfo info;
        info.ssid = record.ssid;
        info.level = record.level < 0 ? rssi2level(record.level) : record.level;
        info.frequency = record.frequency;
        info.secured = record.flags.contains(QLatin1String("WPA")) || record.flags.contains(QLatin1String("WEP"));
        table.insert(record.ssid, info);
    }
    return table;
}

QByteArray WpaCliParser::unescape(const QString& printed)
{
    const QByteArray in = printed.toUtf8();
    QByteArray out;
    for (int i = 0; i < in.size(); ++i) {
        if (in[i] != '\\' || i + 1 >= in.size()) {
            out += in[i];
            continue;
        }
        const char c = in[++i];
        bool ok = false;
        switch (c) {
        case 'e': out += '\033'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
            const int value = in.mid(i + 1, 2).toInt(&ok, 16);
            if (ok && i + 2 < in.size()) {
                out += static_cast<char>(value);
                i += 2;
            } else {
                out += "\\x";
            }
            break;
        }
        default: out += c; break;  // \" and \\ stand for themselves
        }
    }
    return out;
}
