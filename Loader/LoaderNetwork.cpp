// The launcher's network address line: the wired interface put on DHCP and
// its address shown, on request.
#include "dialog.h"
#include "ui_dialog.h"

#include "platform/CommandRunner.h"
#include "platform/InterfaceFiles.h"
#include "platform/Log.h"

#include <QCoreApplication>

namespace {

const QString kEthernet = QStringLiteral("eth0");

const char kLampWaiting[] = "background-color: rgb(255, 165, 0);";
const char kLampFailed[] = "background-color: rgb(255, 0, 0);";
const char kLampAddress[] = "background-color: rgb(0, 255, 0);";

}  // namespace

bool LoaderDlg::isMediaOk()
{
    return m_linkProbe.isMediaOk(platform::netInterfaceFromName(kEthernet), true);
}

void LoaderDlg::on_BUTTON_IP_LOAD_clicked()
{
    ui->LABEL_NETWORK_STATUS->setStyleSheet(QString::fromLatin1(kLampWaiting));
    ui->LABEL_IP_ADDRESS->setText(QStringLiteral("Waiting..."));
    ui->BUTTON_IP_LOAD->setEnabled(false);
    QCoreApplication::processEvents();

    // Every check starts afresh and leaves no socket behind.
    m_linkProbe.reset();
    if (!isMediaOk()) {
        showAddress(QString());
        return;
    }

    platform::CommandRunner::run(QStringLiteral("/sbin/ifdown"), {kEthernet});
    namespace netconf = platform::netconf;
    QString error;
    if (!netconf::writeFile(netconf::interfaceFile(kEthernet), netconf::dhcpText(kEthernet, true), &error)) {
        // Not brought up on a configuration that was never written.
        KLOG << "[Error] cannot write" << netconf::interfaceFile(kEthernet) << error;
        showAddress(QString());
        return;
    }
    platform::CommandRunner::run(QStringLiteral("/sbin/ifup"), {kEthernet});
    m_timerIP.start();
}

void LoaderDlg::slot_check_IP()
{
    const QList<QNetworkAddressEntry> addresses = platform::netInterfaceFromName(kEthernet).ipv4Entries();
    showAddress(addresses.isEmpty() ? QString() : addresses.first().ip().toString());
    m_timerIP.stop();
}

void LoaderDlg::showAddress(const QString& address)
{
    ui->LABEL_NETWORK_STATUS->setStyleSheet(QString::fromLatin1(address.isEmpty() ? kLampFailed : kLampAddress));
    ui->LABEL_IP_ADDRESS->setText(address.isEmpty() ? QStringLiteral("[X]") : address);
    slotIPbtnEnabled();
}
