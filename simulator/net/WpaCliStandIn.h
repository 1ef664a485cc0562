#pragma once

#include "NetSim.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

class QSocketNotifier;

namespace kovasim {

// The supplicant's interactive client for one interface (wpa_cli -iIF), as
// the simulated root's stand-in. It reads commands from its standard input,
// each ended by a carriage return or a line feed, and writes to its standard
// output, with the prompt "> " after every answer and event:
//
//   scan          "OK"; the event CTRL-EVENT-SCAN-RESULTS follows a moment
//                 later ("FAIL-BUSY" and no event while scan-busy is set)
//   scan_results  the header line and one tab-separated line per access point
//   quit          ends the client
//
// Events that `ifup` raises for the interface (a wrong key, a connection)
// are printed as they come, as "<3>EVENT". Without the interface it says it
// cannot reach the supplicant and tries again every second. It ends when
// its standard input closes.
class WpaCliStandIn : public QObject
{
    Q_OBJECT

public:
    static constexpr int kScanMs = 100;
    static constexpr int kPollMs = 50;

    WpaCliStandIn(const NetSim& sim, const QString& interface);
    ~WpaCliStandIn() override;

private:
    void readInput();
    void command(const QByteArray& line);
    void poll();
    void say(const QByteArray& text) const;

    const NetSim& m_sim;
    QString m_interface;
    QString m_events;      // this client's event queue
    qint64 m_eventsRead = 0;
    bool m_connected = false;
    QByteArray m_input;    // a command not yet ended
    QSocketNotifier* m_stdin = nullptr;
    QTimer m_poll;
    QTimer m_scan;
};

}  // namespace kovasim
