#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

// One access-point line of wpa_cli's scan listing.
struct ScanRecord
{
    QString bssid;
    int frequency = 0;  // MHz
    int level = 0;      // dBm (negative), or a driver's quality
    QString flags;      // "[WPA2-PSK-CCMP][ESS]"
    QString ssid;       // as the client prints it
};

// One network of the scan-result table.
struct APInfo
{
    QString ssid;
    int level = 0;  // signal bars 1 to 3 for a negative level, else the level itself
    int frequency = 0;
    bool secured = false;  // the flags name WPA or WEP
};

// The supplicant's interactive client (wpa_cli) read as a stream: fed the
// bytes it prints, in chunks of any size, it recognises the prompt, the
// supplicant's events and the listing's access-point lines, keeps the scan
// list, and, while a scan is wanted, drives the endless cycle
// scan_results, scan, wait for CTRL-EVENT-SCAN-RESULTS, scan_results, ...
// one command after each prompt. A line is handled once it is whole, so
// how the output is cut never changes what comes out. No process here: the
// network manager writes the commands and emits the reports.
class WpaCliParser
{
public:
    // What the output asks for, in order.
    struct Action
    {
        enum Kind { Send, ScanComplete, BadPassword };
        Kind kind;
        QByteArray command;  // for Send: "scan\r" or "scan_results\r"

        bool operator==(const Action& other) const { return kind == other.kind && command == other.command; }
    };
    using Actions = QList<Action>;

    // A fresh client: nothing seen, nothing pending, the cycle not wanted.
    void reset();
    // Wants the cycle or stops its commands (the client still reads). When
    // it is wanted again while the client already waits at its prompt, the
    // next command goes at once; otherwise at the next prompt.
    Actions setScanWanted(bool wanted);
    // Wants the cycle and starts it again from a listing, without waiting
    // for the results of a scan still pending: a supplicant whose scan was
    // cut short by a connection attempt may never report them. The listing
    // goes at once when the client waits at its prompt, else at the next.
    Actions restartScan();
    bool isScanWanted() const { return m_bScanRegistered; }

    Actions feed(const QByteArray& chunk);

    const QList<ScanRecord>& scanList() const { return m_scanList; }
    void clearScanList();
    // The networks of the scan list by name: names empty or with escaped
    // bytes ("\x") left out, the first line of a name wins.
    QHash<QString, APInfo> scanResults() const;

    // The bytes of a name as the client printed it, its escapes undone
    // (\" \\ \e \n \r \t \xHH).
    static QByteArray unescape(const QString& printed);

private:
    void line(const QByteArray& text, Actions& actions);
    void prompt(Actions& actions);
    void sendIfReady(Actions& actions);

    QByteArray m_pending;  // output not yet a whole line
    QList<ScanRecord> m_scanList;
    bool m_bPromptSeen = false;      // the prompt came since the last command
    bool m_bNextIsScan = false;      // the next command is "scan", else "scan_results"
    bool m_bScanPending = false;     // "scan" went out, its results event has not come
    bool m_bScanRegistered = false;  // the cycle is wanted
    bool m_bAccessPointSeen = false;  // in the listing since the last prompt
};
