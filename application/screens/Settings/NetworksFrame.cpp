#include "Settings/NetworksFrame.h"

#include "ui_NetworksFrame.h"

#include "Keyboard/NumberKeypadDlg.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "Message/MessageDlg.h"
#include "Network/NetworkManager.h"
#include "Settings/NetworkSelectDlg.h"
#include "Settings/SettingsLook.h"

#include "platform/InterfaceFiles.h"
#include "platform/NetInterfaces.h"

#include <QCoreApplication>
#include <QEvent>
#include <QNetworkAddressEntry>

namespace netconf = platform::netconf;

namespace {

constexpr int kMessageConnectCable = 29;
constexpr int kMessageInvalidSettings = 30;
constexpr int kMessageWrongPassword = 55;
constexpr int kMessageWifiFailed = 56;
// The manager's reason names a file or a command: room for a path that wraps.
constexpr int kApplyReasonLines = 3;

const QString kUpdating = QStringLiteral("Updating...");
const QString kIconStyle =
    QStringLiteral("QLabel {  background: transparent;  background-image: url(:/Settings/networks/%1); border: none; }");
const QString kNoIconStyle = QStringLiteral("QLabel {  background: transparent;  border: none; }");

bool isIpv4(const QHostAddress& address)
{
    return !address.isNull() && address.protocol() == QAbstractSocket::IPv4Protocol;
}

// A stored netmask may be a prefix length ("address a/24"); the fields show masks dotted.
QString dottedMask(const QString& mask)
{
    bool ok = false;
    const int prefix = mask.toInt(&ok);
    if (!ok || prefix < 0 || prefix > 32)
        return mask;
    return QHostAddress(prefix == 0 ? 0u : ~0u << (32 - prefix)).toString();
}

}  // namespace

QString cleanup_hostaddr(const QString& text)
{
    QString clean;
    for (const QString& part : text.split(QLatin1Char('.'))) {
        bool ok = false;
        const uint value = part.toUInt(&ok, 10);
        clean += QString::number(ok ? value : 0u) + QLatin1Char('.');
    }
    clean.chop(1);
    return clean;
}

StaticAddress StaticAddress::check(const QString& ipText, const QString& maskText, const QString& gatewayText)
{
    StaticAddress s;
    s.ip = QHostAddress(cleanup_hostaddr(ipText));
    s.mask = QHostAddress(cleanup_hostaddr(maskText));
    s.gateway = QHostAddress(cleanup_hostaddr(gatewayText));
    const quint32 m = s.mask.toIPv4Address();
    s.valid = isIpv4(s.ip) && s.ip.toIPv4Address() != 0 && isIpv4(s.mask) && m != 0 && ((~m + 1) & ~m) == 0;
    bool gatewayInSubnet = false;
    if (s.valid && isIpv4(s.gateway)) {
        QNetworkAddressEntry subnet;
        subnet.setIp(s.ip);
        subnet.setNetmask(s.mask);
        gatewayInSubnet = s.gateway.isInSubnet(s.ip, subnet.prefixLength());
    }
    if (!gatewayInSubnet)
        s.gateway = QHostAddress(QLatin1String(netconf::kNoGateway));
    return s;
}

QMap<QString, QString> StaticAddress::config() const
{
    return {{QLatin1String(netconf::kAddressKey), ip.toString()},
            {QLatin1String(netconf::kNetmaskKey), mask.toString()},
            {QLatin1String(netconf::kGatewayKey), gateway.toString()}};
}

NetworksFrame::NetworksFrame(QWidget* parent)
    : QFrame(parent)
    , ui(new Ui::NetworksFrame)
{
    ui->setupUi(this);
    initialize();
    setFont();
}

NetworksFrame::~NetworksFrame()
{
    delete ui;
}

NetworkManager& NetworksFrame::manager()
{
    return *theApp.m_pNetworkManager;
}

void NetworksFrame::setFont()
{
    setFonts({ui->LABEL_NETWORK_TITLE, ui->BUTTON_WIFI_ENABLE, ui->RADIO_IP_AUTO, ui->RADIO_IP_STATIC, ui->BUTTON_APPLY},
             notoSans(20, 63));
    ui->LABEL_IP_ADDRESS->setFont(notoSans(20, 57));
    setFonts({ui->EDIT_IP_STATIC, ui->EDIT_SUBNET_MASK, ui->EDIT_GATEWAY}, notoSans(20, QFont::Normal));
    setFonts({ui->LABEL_IP_TITLE, ui->LABEL_SUBNET_MASK_TITLE, ui->LABEL_GATEWAY_TITLE}, notoSans(18, QFont::Normal));
    ui->LABEL_MAC_ADDRESS->setFont(notoSans(17, QFont::Normal));
}

void NetworksFrame::initialize()
{
    ui->RADIO_IP_AUTO->setChecked(true);
    set_StatusLabel(-1, false);
    ui->LABEL_IP_ADDRESS->clear();
    set_StaticStatus(false);
    // The selection dialog's only way in stays hidden; its state still follows the adapter.
    ui->BUTTON_WIFI_ENABLE->hide();
    for (QLineEdit* edit : {ui->EDIT_IP_STATIC, ui->EDIT_SUBNET_MASK, ui->EDIT_GATEWAY})
        edit->installEventFilter(this);

    NetworkManager* network = &manager();
    connect(network, &NetworkManager::signalConnected, this, &NetworksFrame::slotNetworkStatusChanged);
    connect(network, &NetworkManager::signalDisconnected, this, &NetworksFrame::slotNetworkStatusChanged);
    connect(network, &NetworkManager::signalDeviceAdded, this, &NetworksFrame::slotNetworkDeviceChanged);
    connect(network, &NetworkManager::signalDeviceRemoved, this, &NetworksFrame::slotNetworkDeviceChanged);
    connect(network, &NetworkManager::signalBadPassword, this, &NetworksFrame::slot_BadWiFiPassword);
    connect(network, &NetworkManager::signalChangeFailed, this,
            [this](NetworkManager::Change change, const QString& reason) {
                if (change == NetworkManager::Change::Address)
                    applyFailed(reason);
                else
                    wifiFailed(reason);
            });
    network->refreshConnectionInfo(0);
    updateConnectionInfo();
    updateStaticConfig();
}

void NetworksFrame::set_StaticStatus(bool on)
{
    QWidget* const widgets[] = {ui->IP_STATIC_FRAME, ui->EDIT_IP_STATIC, ui->EDIT_SUBNET_MASK, ui->EDIT_GATEWAY};
    for (QWidget* widget : widgets)
        widget->setEnabled(on);
}

void NetworksFrame::set_StatusLabel(int kind, bool active)
{
    QString image;
    if (kind == 0)
        image = active ? QStringLiteral("Ethernet_1.png") : QStringLiteral("Ethernet_2.png");
    else if (kind == 1 && active)
        image = QStringLiteral("wifi_1.png");
    ui->LABEL_NETWORK_STATUS->setStyleSheet(image.isEmpty() ? kNoIconStyle : kIconStyle.arg(image));
    if (kind == 1 && active)
        set_StaticStatus(false);
}

void NetworksFrame::on_RADIO_IP_AUTO_clicked()
{
    ui->RADIO_IP_AUTO->setChecked(true);
    ui->RADIO_IP_STATIC->setChecked(false);
    set_StaticStatus(false);
}

void NetworksFrame::on_RADIO_IP_STATIC_clicked()
{
    ui->RADIO_IP_STATIC->setChecked(true);
    ui->RADIO_IP_AUTO->setChecked(false);
    set_StaticStatus(true);
}

void NetworksFrame::updateConnectionInfo()
{
    QString hardware;
    const NetInfo* chosen = nullptr;
    for (const NetInfoPtr& nic : manager().currentConnections(false)) {
        const bool walked = nic->type() == NetInfo::Wireless || (nic->type() == NetInfo::Ethernet && nic->isMediaOk());
        if (!walked)
            continue;
        hardware = nic->hwaddress().replace(QLatin1Char(':'), QLatin1Char('-'));
        if (!nic->ip_addresses(false).isEmpty()) {
            chosen = nic.get();
            ui->LABEL_IP_ADDRESS->setText(nic->ip_addresses(false).first().ip().toString());
            set_StatusLabel(nic->type() == NetInfo::Ethernet ? 0 : 1, true);
            break;
        }
    }
    if (!chosen) {
        set_StatusLabel(-1, false);
        ui->LABEL_IP_ADDRESS->setText(manager().isBusy() ? kUpdating : QString());
    }
    ui->LABEL_MAC_ADDRESS->setText(QStringLiteral("MAC address : %1").arg(hardware));
}

void NetworksFrame::updateStaticConfig()
{
    const QList<NetInfoPtr> records = manager().currentConnections(false);
    if (records.isEmpty())
        return;
    switch (manager().connectionType(*records.first())) {
    case netconf::Dhcp:
        on_RADIO_IP_AUTO_clicked();
        break;
    case netconf::Static: {
        on_RADIO_IP_STATIC_clicked();
        const QMap<QString, QString> config = manager().connectionConfig(*records.first());
        if (config.isEmpty())
            break;
        ui->EDIT_IP_STATIC->setText(config.value(QLatin1String(netconf::kAddressKey)));
        ui->EDIT_SUBNET_MASK->setText(dottedMask(config.value(QLatin1String(netconf::kNetmaskKey))));
        ui->EDIT_GATEWAY->setText(config.value(QLatin1String(netconf::kGatewayKey)));
        break;
    }
    case netconf::NoConfig:
        break;
    }
}

int NetworksFrame::runFramed(QDialog& dialog)
{
    emit signal_setBackStatus(true);
    const int result = dialog.exec();
    emit signal_setBackStatus(false);
    return result;
}

int NetworksFrame::showMessage(int type, const QString& arg2, const QString& arg3, const QString& arg4)
{
    MessageDlg box;
    box.m_strArg2 = arg2;
    box.m_strArg3 = arg3;
    box.m_strArg4 = arg4;
    box.setMsgType(type);
    return runFramed(box);
}

void NetworksFrame::applyFailed(const QString& reason)
{
    // Nothing more will report back: the page shows what stands and may be applied again.
    qCWarning(nm) << "Apply:" << reason;
    ui->BUTTON_APPLY->setEnabled(true);
    updateConnectionInfo();
    MessageDlg box;
    box.setFailure(kMessageInvalidSettings, QStringLiteral("The network settings could not be applied."), reason,
                   kApplyReasonLines);
    runFramed(box);
}

bool NetworksFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        const QLineEdit* fields[] = {ui->EDIT_IP_STATIC, ui->EDIT_SUBNET_MASK, ui->EDIT_GATEWAY};
        for (int field = 0; field < 3; ++field) {
            if (watched == fields[field] && fields[field]->isEnabled())
                editAddress(field);
        }
    }
    return QFrame::eventFilter(watched, event);
}

void NetworksFrame::editAddress(int field)
{
    const struct
    {
        QLineEdit* edit;
        eNumberKeyPadMode mode;
        void (NetworksFrame::*slot)(QString);
    } fields[] = {
        {ui->EDIT_IP_STATIC, NUMBER_KEYPAD_IP_ADDRESS, &NetworksFrame::slot_set_value_IP_Address},
        {ui->EDIT_SUBNET_MASK, NUMBER_KEYPAD_SUBNET_MASK, &NetworksFrame::slot_set_value_Subnet_Mask},
        {ui->EDIT_GATEWAY, NUMBER_KEYPAD_DEFAULT_GATEWAY, &NetworksFrame::slot_set_value_Default_Gateway},
    };
    NumberKeypadDlg keypad;
    keypad.set_mode(fields[field].mode);
    keypad.set_value(fields[field].edit->text());
    connect(&keypad, &NumberKeypadDlg::signal_set_value, this, fields[field].slot);
    runFramed(keypad);
}

void NetworksFrame::slot_set_value_IP_Address(QString value)
{
    ui->EDIT_IP_STATIC->setText(value);
}

void NetworksFrame::slot_set_value_Subnet_Mask(QString value)
{
    ui->EDIT_SUBNET_MASK->setText(value);
}

void NetworksFrame::slot_set_value_Default_Gateway(QString value)
{
    ui->EDIT_GATEWAY->setText(value);
}

void NetworksFrame::on_BUTTON_APPLY_clicked()
{
    const bool dhcp = ui->RADIO_IP_AUTO->isChecked();
    StaticAddress address;
    if (!dhcp) {
        address = StaticAddress::check(ui->EDIT_IP_STATIC->text(), ui->EDIT_SUBNET_MASK->text(),
                                       ui->EDIT_GATEWAY->text());
        if (!address.valid) {
            showMessage(kMessageInvalidSettings, address.ip.toString(), address.mask.toString(),
                        address.gateway.toString());
            return;
        }
    }
    for (const NetInfoPtr& nic : manager().currentConnections(false)) {
        if (nic->type() != NetInfo::Ethernet || !nic->isMediaOk())
            continue;
        ui->BUTTON_APPLY->setEnabled(false);
        ui->LABEL_IP_ADDRESS->setText(kUpdating);
        set_StatusLabel(0, nic->isMediaOk());
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const bool started = dhcp ? manager().setAutoConfig(*nic) : manager().setStaticConfig(*nic, address.config());
        if (!started)
            applyFailed(manager().errorString());
        return;
    }
}

void NetworksFrame::slotNetworkStatusChanged(const NetInfo* info)
{
    if (info && info->type() == NetInfo::Wireless)
        emit signal_setProgress(false);
    ui->BUTTON_APPLY->setEnabled(true);
    updateConnectionInfo();
}

void NetworksFrame::slotNetworkDeviceChanged(QString name)
{
    const platform::NetInterface iface = platform::netInterfaceFromName(name);
    if (!iface.isValid() && name.startsWith(QLatin1String("wl")))
        ui->BUTTON_WIFI_ENABLE->setEnabled(false);
    else if (iface.isValid() && NetInfo::type(iface) == NetInfo::Wireless)
        ui->BUTTON_WIFI_ENABLE->setEnabled(true);
}

void NetworksFrame::slot_BadWiFiPassword()
{
    emit signal_setProgress(false);
    showMessage(kMessageWrongPassword);
}

void NetworksFrame::on_BUTTON_WIFI_ENABLE_clicked()
{
    for (const NetInfoPtr& nic : manager().currentConnections(false)) {
        if (nic->type() != NetInfo::Wireless)
            continue;
        NetworkSelectDlg dialog(nic);
        connect(&dialog, &NetworkSelectDlg::signal_sendNetInfo, this, &NetworksFrame::slot_receiveNetInfo);
        runFramed(dialog);
        return;
    }
}

void NetworksFrame::slot_receiveNetInfo(const NetInfo* nic, QString name, QString password)
{
    emit signal_setProgress(true);
    if (!manager().slotConnectWiFi(nic, name, password))
        wifiFailed(manager().errorString());
}

void NetworksFrame::wifiFailed(const QString& reason)
{
    qCWarning(nm_wlan) << "Wi-Fi:" << reason;
    emit signal_setProgress(false);
    showMessage(kMessageWifiFailed);
}

void NetworksFrame::on_BUTTON_NETWORK_INFO_clicked()
{
    showMessage(kMessageConnectCable);
}
