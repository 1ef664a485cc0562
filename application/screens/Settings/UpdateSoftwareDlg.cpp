#include "Settings/UpdateSoftwareDlg.h"

#include "ui_UpdateSoftwareDlg.h"

#include "File_IO/ini.h"
#include "HomeDlg/HomeDlg.h"
#include "HomeDlg/PowerControl.h"
#include "InitDlg/InitDlg.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"
#include "Settings/CalibrationSupport.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QCloseEvent>
#include <QLocale>

#include <algorithm>
#include <cstdio>

namespace {

struct StateLook
{
    SoftWareMessageType state;
    const char* text;
    const char* ok;      // nullptr: the button's text stays
    const char* cancel;  // likewise
    MessageButtonVisibility buttons;
};

const StateLook kStates[] = {
    {SOFTWARE_DOWNGRADE,
     "Downgrade is not allowed.<br/>Insert a USB drive that contains<br/>the latest version of software.", nullptr,
     "OK", MESSAGE_BUTTON_CANCEL},
    {SOFTWARE_INVALID_VERSION,
     "Invalid version<br/>Insert a USB drive that contains<br/>the correct version of software.", nullptr, "OK",
     MESSAGE_BUTTON_CANCEL},
    {SOFTWARE_INVALID_FILENAME,
     "Invalid filename<br/>Insert a USB drive that contains<br/>the latest version of software.", nullptr, "OK",
     MESSAGE_BUTTON_CANCEL},
    {SOFTWARE_NOT_FOUND,
     "No software update was a found.<br/>Insert a USB drive that contains<br/>the latest version of software.",
     nullptr, "OK", MESSAGE_BUTTON_CANCEL},
    {SOFTWARE_INSERT_USB, "Insert a USB drive that contains<br/>the latest version of software.", "START", "EXIT",
     MESSAGE_BUTTON_OK_CANCEL},
    {SOFTWARE_SEARCHING, "Searching for the file to update...<br/>", nullptr, nullptr, MESSAGE_BUTTON_NONE},
    {SOFTWARE_FOUND, "A software update (ver.%1) has been<br/>found. Do you want to continue?", "OK", "CANCEL",
     MESSAGE_BUTTON_OK_CANCEL},
    {SOFTWARE_PREPARING,
     "Preparing for updates ...<br/><br/>Do not remove the USB or turn off<br/>the instrument while preparing for<br/>"
     "the update.",
     nullptr, nullptr, MESSAGE_BUTTON_NONE},
    {SOFTWARE_READY, "The software update is ready.<br/>Do you want to continue?", "OK", "CANCEL",
     MESSAGE_BUTTON_OK_CANCEL},
    {SOFTWARE_UPDATING,
     "Update in Progress ...<br/><br/>Do not remove the USB or turn off<br/>the instrument during the update.", nullptr,
     nullptr, MESSAGE_BUTTON_NONE},
    {SOFTWARE_COMPLETE, "The software update is complete!<br/>Press Restart to finish the process.", "RESTART",
     nullptr, MESSAGE_BUTTON_OK},
    {SOFTWARE_FAILURE,
     "Update Failure<br/><br/>The update probably failed due to incorrectly<br/>saved or damaged software.<br/>"
     "Delete the existing file, redownload,<br/>and try the update again.",
     nullptr, "OK", MESSAGE_BUTTON_CANCEL},
    {SOFTWARE_UNAUTHORIZED,
     "An unauthorized update has been detected.<br/>Contact <b>service@kova3.example</b><br/>for further "
     "information.",
     nullptr, "OK", MESSAGE_BUTTON_CANCEL},
};

// A power-off confirmed while the worker runs waits for its end: unpacking,
// the install script and the restore after a failed one are never cut.
void holdPowerOff(bool hold)
{
    if (PowerControl* power = PowerControl::instance())
        power->setUpdating(hold);
}

}  // namespace

UpdateSoftwareDlg::UpdateSoftwareDlg(QWidget* parent) : QDialog(parent), ui(new Ui::UpdateSoftwareDlg)
{
    ui->setupUi(this);
    setMessageType(SOFTWARE_INSERT_USB);
    setFont();
    ui->BUTTON_RESTART->hide();
    m_ProgressTimer.setInterval(kProgressIntervalMs);
    connect(&m_thread, &UpdateSoftwareThread::signalUpdated, this, &UpdateSoftwareDlg::slotUpdated);
    connect(&m_ProgressTimer, &QTimer::timeout, this, QOverload<>::of(&QWidget::update));
    // The prepare run's end may be reported once the install run has begun.
    connect(&m_thread, &QThread::finished, this, [this] {
        if (!m_thread.isRunning())
            holdPowerOff(false);
    });
}

UpdateSoftwareDlg::~UpdateSoftwareDlg()
{
    delete ui;
}

void UpdateSoftwareDlg::setFont()
{
    applyMessageBoxLook(this, ui->LABEL_MESSAGE, ui->BUTTON_OK, ui->BUTTON_CANCEL);
    ui->BUTTON_RESTART->setFont(ui->BUTTON_OK->font());
}

void UpdateSoftwareDlg::setMessageType(SoftWareMessageType type)
{
    KLOG_VALUE("setMessageType", type);
    m_MessageType = type;
    for (const StateLook& look : kStates) {
        if (look.state != type)
            continue;
        QString text = QString::fromLatin1(look.text);
        if (type == SOFTWARE_FOUND)
            text = text.arg(m_strNewVersion.toHtmlEscaped());  // the stick's text, shown as rich text
        ui->LABEL_MESSAGE->setText(text);
        if (look.ok)
            ui->BUTTON_OK->setText(QString::fromLatin1(look.ok));
        if (look.cancel)
            ui->BUTTON_CANCEL->setText(QString::fromLatin1(look.cancel));
        setMessageButtonVisibility(look.buttons);
    }
}

void UpdateSoftwareDlg::setMessageButtonVisibility(MessageButtonVisibility visibility)
{
    placeMessageButtons(ui->BUTTON_OK, ui->BUTTON_CANCEL, visibility, kUpdateDialogAloneX);
}

SoftWareMessageType UpdateSoftwareDlg::checkNewSoftware(QFileInfo& package)
{
    setMessageType(SOFTWARE_SEARCHING);
    repaint();  // the search blocks: its text must stand before it starts
    const UpdateSoftwareThread::PackageCheck check = UpdateSoftwareThread::checkPackage(theApp.m_CurrentVersion);
    m_ProgramVersionType = 0;
    package = check.package;
    m_strNewVersion = check.version;
    return check.outcome;
}

int UpdateSoftwareDlg::getVersion(const QString& text)
{
    return UpdateSoftwareThread::getVersion(text);
}

void UpdateSoftwareDlg::prepareforupdate()
{
    const QString installation = QString::fromLatin1(UpdateSoftwareThread::kInstallDir);
    m_ProgressTimer.start();
    m_thread.setBackupOn(true);
    m_thread.setBackupDirPath(QString::fromLatin1(UpdateSoftwareThread::kBackupDir));
    m_thread.setBackupFileName(UpdateSoftwareThread::backupFileName(theApp.m_CurrentVersion));
    m_thread.setUpdateFilePath(platform::logicalPath(m_NewSoftware.filePath()));
    m_thread.setUpdatePath(platform::logicalPath(m_NewSoftware.path()));
    m_thread.setUpdateDirPath(installation);
    m_thread.setUpdateVersionType(m_ProgramVersionType);
    m_thread.setFileInfoList(UpdateSoftwareThread::programFiles(installation));
    m_thread.setMode(UpdateSoftwareThread::Prepare);
    holdPowerOff(true);
    m_thread.start();
}

void UpdateSoftwareDlg::updateSoftware() {}

void UpdateSoftwareDlg::startInstall()
{
    setEnabled(false);
    setMessageType(SOFTWARE_UPDATING);
    // Every setting is in the file before the script runs, so what the script
    // changes in it stays.
    if (!MainSettings::before_loseINI())
        KLOG << "the settings could not be written before the install";
    // The prepare run has reported, but its thread may not have ended yet;
    // a start before it has would be ignored.
    m_thread.wait();
    m_thread.setMode(UpdateSoftwareThread::Install);
    if (PowerControl* power = PowerControl::instance())
        power->keepSettingsFile();
    holdPowerOff(true);
    m_thread.start();
}

void UpdateSoftwareDlg::on_BUTTON_OK_clicked()
{
    KLOG_VALUE("on_BUTTON_OK_clicked", m_MessageType);
    switch (m_MessageType) {
    case SOFTWARE_INSERT_USB:
        setMessageType(checkNewSoftware(m_NewSoftware));
        break;
    case SOFTWARE_FOUND:
        setEnabled(false);
        setMessageType(SOFTWARE_PREPARING);
        m_bProgressStopped = false;
        m_bProgressRunning = true;
        repaint();
        prepareforupdate();
        break;
    case SOFTWARE_READY:
        startInstall();
        break;
    case SOFTWARE_COMPLETE:
        on_BUTTON_RESTART_clicked();
        break;
    default:
        break;
    }
}

void UpdateSoftwareDlg::on_BUTTON_CANCEL_clicked()
{
    reject();
}

void UpdateSoftwareDlg::on_BUTTON_RESTART_clicked()
{
    ui->BUTTON_OK->setEnabled(false);
    ui->BUTTON_RESTART->setEnabled(false);
    repaint();
    InitDlg splash(RestartState);
    splash.exec();
}

void UpdateSoftwareDlg::slotUpdated(bool success, SoftwareUpdaterError error)
{
    std::printf("SoftwareUpdateDialog::slotUpdated(%d, %d) \n", success ? 1 : 0, static_cast<int>(error));
    std::fflush(stdout);
    m_ProgressTimer.stop();
    if (!success) {
        KLOG << "software update failed:" << m_thread.errorString();
        setMessageType(SOFTWARE_FAILURE);
    } else if (m_MessageType == SOFTWARE_PREPARING) {
        setMessageType(SOFTWARE_READY);
    } else if (m_MessageType == SOFTWARE_UPDATING) {
        recordUpdate();
        setMessageType(SOFTWARE_COMPLETE);
    }
    repaint();
    setEnabled(true);
}

void UpdateSoftwareDlg::InvalidateProgressbar()
{
    if (m_bProgressRunning && !m_bProgressStopped)
        repaint();
}

void UpdateSoftwareDlg::ReceiveUpdatingResult(bool) {}

void UpdateSoftwareDlg::recordUpdate()
{
    const QString now = QLocale::c().toString(HomeDlg::clock(), QStringLiteral("dd MMM yyyy hh:mm"));
    theApp.m_strLastUpdate = now;
    global_ini()->IQOQ.Last_update = now;
    // This key alone: the rest of the file may be the new software's now. The
    // update is done either way; only the date would be missing.
    if (!ini_write("Software", "Last update", now.toStdString(), kova::kMainIni))
        KLOG << "the date of the update could not be written to the settings file";
}

bool UpdateSoftwareDlg::mustStay() const
{
    return m_MessageType == SOFTWARE_PREPARING || m_MessageType == SOFTWARE_UPDATING
           || m_MessageType == SOFTWARE_COMPLETE;
}

void UpdateSoftwareDlg::reject()
{
    if (mustStay())
        return;
    QDialog::reject();
}

void UpdateSoftwareDlg::closeEvent(QCloseEvent* event)
{
    if (mustStay())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void UpdateSoftwareDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (m_MessageType != SOFTWARE_PREPARING || !m_bProgressRunning || m_bProgressStopped)
        return;
    m_nProgress = std::min(m_nProgress + 1, kCalibrationProgressWidth);
    drawCalibrationProgress(this, m_nProgress, QColor(255, 255, 255, 30));
}
