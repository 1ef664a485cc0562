#pragma once

#include "Network/NetInfo.h"
#include "Network/WpaCliParser.h"

#include <QDialog>
#include <QHash>
#include <QString>

namespace Ui {
class NetworkSelectDlg;
}

// The modal dialog in which the user picks a Wi-Fi network for one wireless
// interface. While nothing is selected it keeps the network manager's scan
// cycle running and lists the networks after every completed scan, sorted
// by name, with their signal and a padlock when secured; a selection
// freezes the list and stops the cycle. OK asks for the password of a
// secured network on the keyboard, then hands interface, name and password
// to its opener by signal_sendNetInfo and closes; the dialog never connects
// by itself. Closing it in any way stops the scan cycle.
class NetworkSelectDlg : public QDialog
{
    Q_OBJECT

public:
    // `nic` is held for the dialog's life; null: no scan, an empty list.
    explicit NetworkSelectDlg(NetInfoPtr nic, QWidget* parent = nullptr);
    ~NetworkSelectDlg() override;

    QString chosenName() const { return m_strSSID; }

signals:
    // The password is empty for an open network.
    void signal_sendNetInfo(const NetInfo* nic, QString name, QString password);

public slots:
    void init_Networklist();
    void slot_ListUpdate();
    void slot_LIST_NETWORK_itemSelectionChanged();
    void slotSetPass(QString pwd);

protected:
    void showEvent(QShowEvent* event) override;

private slots:
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();

private:
    void setFont();

    Ui::NetworkSelectDlg* ui;
    QString m_strSSID;                  // the chosen network, trimmed
    QHash<QString, APInfo> m_networks;  // the listed scan, by name
    NetInfoPtr m_nic;
    QMetaObject::Connection m_scanConnection;
};
