#pragma once

#include <QFrame>
#include <QHostAddress>
#include <QMap>
#include <QString>

class NetInfo;
class NetworkManager;
class QDialog;

namespace Ui {
class NetworksFrame;
}

// A dotted address with leading zeros dropped: each part as its decimal
// value, a part that is no number as 0 ("192.168.001.010" → "192.168.1.10",
// "" → "0"); no range check, the number of parts kept.
QString cleanup_hostaddr(const QString& text);

// The static address the user typed, checked: an IPv4 address other than
// 0.0.0.0, a non-zero mask whose ones are contiguous from the top, and a
// gateway that lies in the address's subnet, else "0.0.0.0" (never a reason
// to refuse).
struct StaticAddress
{
    QHostAddress ip, mask, gateway;
    bool valid = false;

    static StaticAddress check(const QString& ipText, const QString& maskText, const QString& gatewayText);
    // ADDRESSv4, NETMASKv4 and GATEWAYv4 in their canonical dotted forms.
    QMap<QString, QString> config() const;
};

// Settings page 2, networks: which interface carries an IPv4 address (its
// address, icon and hardware address), the wired interface's address by DHCP
// or a static address typed on the number keypad, applied through the
// network manager, a Wi-Fi network joined through the selection dialog, and
// a wrong Wi-Fi password reported; an Apply or join that fails after the
// manager took it (its ifup, or a request held too long behind a running
// one) is reported as one refused at once. It keeps no settings: everything shown is
// read back from the network manager and its files. It dims the settings
// screen around its own dialogs (signal_setBackStatus) and drives the
// screen's busy indicator while a Wi-Fi connection is made (signal_setProgress).
class NetworksFrame : public QFrame
{
    Q_OBJECT

public:
    explicit NetworksFrame(QWidget* parent = nullptr);
    ~NetworksFrame() override;

    void initialize();
    void set_StaticStatus(bool on);
    // kind 0 Ethernet (active or not), 1 Wi-Fi (active; also disables the
    // static fields), anything else no icon.
    void set_StatusLabel(int kind, bool active);
    // The first record with an IPv4 address among the linked Ethernet and
    // all wireless ones: its address and icon; the hardware address of the
    // last one walked.
    void updateConnectionInfo();
    // The first record's stored configuration: DHCP or the static fields.
    void updateStaticConfig();

    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    void signal_setBackStatus(bool show);
    void signal_setProgress(bool show);

public slots:
    void slotNetworkStatusChanged(const NetInfo* info);
    void slotNetworkDeviceChanged(QString name);
    void slot_BadWiFiPassword();
    void slot_set_value_IP_Address(QString value);
    void slot_set_value_Subnet_Mask(QString value);
    void slot_set_value_Default_Gateway(QString value);
    // From the Wi-Fi selection dialog: starts the connection, with the busy
    // indicator until the manager reports; message 56 when it cannot start
    // or is refused later.
    void slot_receiveNetInfo(const NetInfo* nic, QString name, QString password);

private slots:
    void on_RADIO_IP_AUTO_clicked();
    void on_RADIO_IP_STATIC_clicked();
    void on_BUTTON_WIFI_ENABLE_clicked();
    void on_BUTTON_NETWORK_INFO_clicked();
    void on_BUTTON_APPLY_clicked();

private:
    void setFont();
    // Runs a dialog of the page with the settings screen dimmed.
    int runFramed(QDialog& dialog);
    int showMessage(int type, const QString& arg2 = QString(), const QString& arg3 = QString(),
                    const QString& arg4 = QString());
    // An Apply the manager refused or that failed afterwards: Apply enabled
    // again, the connection as it stands, and the error box with the reason.
    void applyFailed(const QString& reason);
    // A Wi-Fi join that was refused or failed afterwards: the busy indicator
    // ends, message 56.
    void wifiFailed(const QString& reason);
    void editAddress(int field);
    static NetworkManager& manager();

    Ui::NetworksFrame* ui;
};
