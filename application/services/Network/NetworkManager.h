#pragma once

#include "Network/NetInfo.h"
#include "Network/WpaCliParser.h"

#include "platform/InterfaceFiles.h"

#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QSet>
#include <QString>
#include <QTimer>

#include <optional>

// The one object through which the application controls its network: the
// records of the Ethernet and wireless interfaces, a media check on a timer
// (interfaces that come and go, links that come up or go down), ifupdown
// for bringing interfaces up and down, the interface and supplicant files
// (platform::netconf), the connection at start-up (Ethernet first, else
// Wi-Fi), and the Wi-Fi scan cycle through one long-lived wpa_cli.
//
// GUI thread only; the signals are delivered directly. It blocks while
// ifdown runs (up to 30 s), while ifup or wpa_cli start (2 s, 3 s) and while
// a record brings a down interface up (NetInfo::isMediaOk), never while
// ifup runs: a configuring request made then is held (one at a time) and
// carried out when that ifup or ifdown has ended, or refused when it still
// runs after kHeldRequestLimitMs. The configuring operations return false
// with errorString() set when they did nothing (a refused value, a request
// held already) or could not write a file, and never run ifup after a failed
// write; what fails after they returned true comes as signalChangeFailed.
class NetworkManager : public QObject
{
    Q_OBJECT

public:
    enum ConnectFlag { ConnectNone = 0, ConnectLAN = 1, ConnectWiFi = 2 };
    using NetConfType = platform::netconf::NetConfType;

    static constexpr int kNotifyIntervalMs = 2000;   // while the networks page is shown
    static constexpr int kIdleIntervalMs = 10000;    // otherwise
    static constexpr int kIfupStartMs = 2000;
    static constexpr int kIfdownMs = 30000;
    static constexpr int kMonitorStartMs = 3000;
    static constexpr int kHeldRequestLimitMs = 30000;

    // What a configuring request changes: an interface's address (Apply, or
    // DHCP at start-up) or the Wi-Fi network it joins.
    enum class Change { Address, WifiNetwork };

    explicit NetworkManager(QObject* parent = nullptr);
    ~NetworkManager() override;

    // Reads the interfaces, then brings a connection up (slotConnect).
    void initialize();

    // The current records in the system's order; read first when `force`
    // or while there are none (unless a refresh is reporting).
    QList<NetInfoPtr> currentConnections(bool force);
    // An ifup or ifdown runs, or a request waits to be carried out.
    bool isBusy() const;
    // ConnectLAN and ConnectWiFi bits of the running records.
    int isConnected();

    NetConfType connectionType(const NetInfo& nic) const;
    QMap<QString, QString> connectionConfig(const NetInfo& nic) const;
    // A static address (keys ADDRESSv4, NETMASKv4, GATEWAYv4) or DHCP for
    // the interface: ifdown while it runs, the file, then ifup; held while
    // ifup or ifdown runs.
    bool setStaticConfig(const NetInfo& nic, const QMap<QString, QString>& config);
    bool setAutoConfig(const NetInfo& nic);
    // Writes the wireless base files where they are missing or too short
    // to hold anything (supplicant file under 5 bytes, stanza under 10).
    bool createWlanBaseConfig(const NetInfo* nic);

    // ifup, started (not waited for); ifdown, waited for up to 30 s and
    // true only with exit code 0. Either end refreshes the records. Both
    // refused while busy.
    bool startConnection(const NetInfo& nic);
    bool stopConnection(const NetInfo& nic);

    // The media check every 2 s while the networks page is shown; every
    // 10 s after it was hidden; never before it was first shown.
    void registerNotify();
    void unregisterNotify();

    // Starts wpa_cli on the wireless interface (bringing it up first) and
    // wants the scan cycle; a client that runs already just takes it up again.
    void registerWifiScan(const NetInfo* nic);
    // Stops the cycle's commands; the client keeps running.
    void unregisterWifiScan();
    QHash<QString, APInfo> scanResults() const;

    // Why the last configuring operation returned false.
    QString errorString() const { return m_errorString; }

    // How long a request made while ifup or ifdown runs waits for its end
    // before it is refused (kHeldRequestLimitMs).
    void setHeldRequestLimit(int ms) { m_heldLimit.setInterval(ms); }

    const QTimer& mediaTimer() const { return m_mediaTimer; }

public slots:
    // slotConnectLAN, else slotConnectWiFi: which one brought something up.
    int slotConnect();
    // Brings up an Ethernet interface with a cable: nothing when one runs
    // with an address, ifup with its file, or DHCP when it has none.
    bool slotConnectLAN();
    // Brings up the first wireless interface not up, with its base files.
    bool slotConnectWiFi();
    // Joins `nic` to the network `ssid` (as wpa_cli printed it); `pass`
    // empty for an open network. A password or name the supplicant file
    // cannot hold is refused before anything is touched; held while ifup or
    // ifdown runs.
    bool slotConnectWiFi(const NetInfo* nic, const QString& ssid, const QString& pass = QString());

    // Replaces the records by a new reading of the system (`status`: the
    // exit code of the ifup or ifdown that ended, logged only).
    void refreshConnectionInfo(int status = 0);
    void slotMediaCheck();

signals:
    // With a record: its link came up with other IPv4 addresses than last
    // reported. Null: re-read everything.
    void signalConnected(const NetInfo* nic);
    void signalDisconnected(const NetInfo* nic);
    void signalDeviceAdded(QString name);
    void signalDeviceRemoved(QString name);
    // A listing with at least one network ended at the client's prompt.
    void signalScanComplete();
    // The supplicant refused the key.
    void signalBadPassword();
    // A configuring request that returned true failed afterwards: a request
    // held behind a running ifup or ifdown was refused (still running after
    // the limit) or failed when carried out, or the ifup of an address
    // change ended with an error. (A join's ifup is left to the supplicant's
    // report, signalBadPassword, which comes its own way.)
    void signalChangeFailed(NetworkManager::Change change, QString reason);

private:
    void slotWifiMonitorReadyRead();
    void stateNotify();
    void act(const WpaCliParser::Actions& actions);
    void stopMonitor();
    bool fail(const QString& reason);

    // A configuring request: the interface's file to write and the interface
    // to restart with it.
    struct Request
    {
        Change change;
        QString name;
        QString logicalPath;
        QByteArray text;
    };
    // Carries `wanted` out at once, or holds it while ifupdown is busy.
    bool request(const NetInfo& nic, const Request& wanted);
    // ifdown (for a join, or while the interface runs), the file, ifup.
    bool carryOut(const NetInfo& nic, const Request& wanted);
    // The held request, on the interface's current record, once ifupdown has ended.
    void carryOutHeld();
    // The held request's time is up.
    void refuseHeld();
    // The records read again, the held request queued, a failed address ifup reported.
    void ifupdownEnded(int exitCode, QProcess::ExitStatus status);
    // "ifup eth0": what m_ifupdown runs or ran last.
    QString command() const;

    QList<NetInfoPtr> m_interfaces;
    int m_connectFlags = ConnectNone;
    QTimer m_mediaTimer;
    QProcess m_ifupdown;    // ifup or ifdown, one at a time
    QProcess m_wpaMonitor;  // wpa_cli, output and errors merged
    QSet<QString> m_devices;  // /sys/class/net at the last media check
    WpaCliParser m_wpa;
    QString m_errorString;
    std::optional<Request> m_held;      // made while ifupdown was busy
    QTimer m_heldLimit;                 // refuses m_held when it fires
    std::optional<Change> m_ifupChange;  // the running ifup carries this change out
    bool m_bRefreshing = false;  // a refresh is reporting its new list
};
