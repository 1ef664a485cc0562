#include "Settings/NetworkSelectDlg.h"

#include "ui_NetworkSelectDlg.h"

#include "Keyboard/KeyboardDlg.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "Network/NetworkManager.h"
#include "Settings/SettingsLook.h"

#include <QIcon>

namespace {

const QString kIconPath = QStringLiteral(":/Settings/networks/Select/wifi %1%2-%3.png");

}  // namespace

NetworkSelectDlg::NetworkSelectDlg(NetInfoPtr nic, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::NetworkSelectDlg)
    , m_nic(std::move(nic))
{
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::X11BypassWindowManagerHint);
    setGeometry(156, 90, 500, 300);
    setFont();
    ui->LIST_NETWORK->setSortingEnabled(true);
    connect(ui->LIST_NETWORK, &QListWidget::itemSelectionChanged, this,
            &NetworkSelectDlg::slot_LIST_NETWORK_itemSelectionChanged);
    if (m_nic) {
        m_scanConnection = connect(theApp.m_pNetworkManager, &NetworkManager::signalScanComplete, this,
                                   &NetworkSelectDlg::slot_ListUpdate);
        theApp.m_pNetworkManager->registerWifiScan(m_nic.get());
    }
}

NetworkSelectDlg::~NetworkSelectDlg()
{
    theApp.m_pNetworkManager->unregisterWifiScan();
    delete ui;
}

void NetworkSelectDlg::setFont()
{
    ui->LABEL_TITLE->setFont(notoSans(22, QFont::Normal));
    ui->LIST_NETWORK->setFont(notoSans(20, QFont::Normal));
    setFonts({ui->BUTTON_OK, ui->BUTTON_CANCEL}, notoSans(22, 63));
}

void NetworkSelectDlg::showEvent(QShowEvent* event)
{
    qCWarning(nm_wlan) << "SHOW EVENT";
    QDialog::showEvent(event);
}

void NetworkSelectDlg::init_Networklist()
{
    m_networks.clear();
    ui->LIST_NETWORK->clear();
}

void NetworkSelectDlg::slot_ListUpdate()
{
    const QHash<QString, APInfo> results = theApp.m_pNetworkManager->scanResults();
    init_Networklist();
    for (const APInfo& ap : results) {
        m_networks.insert(ap.ssid, ap);
        const QString icon =
            kIconPath.arg(ap.secured ? QStringLiteral("password ") : QString(), QStringLiteral("1")).arg(ap.level);
        ui->LIST_NETWORK->addItem(new QListWidgetItem(QIcon(icon), QStringLiteral("   ") + ap.ssid));
    }
}

void NetworkSelectDlg::slot_LIST_NETWORK_itemSelectionChanged()
{
    const QList<QListWidgetItem*> selected = ui->LIST_NETWORK->selectedItems();
    if (selected.isEmpty())
        return;
    disconnect(m_scanConnection);
    theApp.m_pNetworkManager->unregisterWifiScan();
    m_strSSID = selected.first()->text().trimmed();
}

void NetworkSelectDlg::on_BUTTON_OK_clicked()
{
    if (m_strSSID.isEmpty()) {
        qCDebug(nm_wlan) << "No SSID selected";
        return;
    }
    const auto network = m_networks.constFind(m_strSSID);
    if (network == m_networks.constEnd()) {
        qCWarning(nm_wlan) << "Invalid SSID";
        return;
    }
    if (!network->secured) {
        qCWarning(nm_wlan) << "Selecting unsecure WLAN:" << m_strSSID;
        slotSetPass(QString());
        accept();
        return;
    }
    qCWarning(nm_wlan) << "Selecting secure WLAN:" << m_strSSID;
    {
        KeyboardDlg keyboard;
        keyboard.setWifiname(m_strSSID);
        keyboard.setMode(KeyboardDlg::MODE_WIFI_PASSWORD);
        connect(&keyboard, &KeyboardDlg::signalSetName, this, &NetworkSelectDlg::slotSetPass);
        keyboard.exec();
    }
    accept();
}

void NetworkSelectDlg::slotSetPass(QString pwd)
{
    emit signal_sendNetInfo(m_nic.get(), m_strSSID, pwd);
}

void NetworkSelectDlg::on_BUTTON_CANCEL_clicked()
{
    reject();
}
