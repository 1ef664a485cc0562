#include "HomeDlg/PowerControl.h"

#include "Camera/OV5642Camera.h"
#include "File_IO/CSVReaderWriter.h"
#include "File_IO/ImReaderWriter.h"
#include "MediaMonitor/MediaMonitor.h"
#include "File_IO/ini.h"
#include "InitDlg/InitDlg.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "velimbio/CellCounter.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QThread>

#include <unistd.h>

namespace {

PowerControl* g_instance = nullptr;  // GUI thread only

template <class T>
void deleteAndClear(T*& object)
{
    delete object;
    object = nullptr;
}

}  // namespace

PowerControl::PowerControl(Home home, QObject* parent) : QObject(parent), m_home(std::move(home))
{
    if (!m_home.idle)
        m_home.idle = &m_ownIdle;
    m_cancelPoweroff_timer.setInterval(m_home.cancelGuardMs);
    connect(&m_cancelPoweroff_timer, &QTimer::timeout, this, &PowerControl::slot_stop_cancelPoweroff);
    g_instance = this;
}

PowerControl::~PowerControl()
{
    if (g_instance == this)
        g_instance = nullptr;
}

void PowerControl::on_BUTTON_POWER_clicked(bool)
{
    KLOG_ENTER;
    poweroffdlg.setMsgType(kConfirmMessage);
    poweroffdlg.raise();
    m_home.powerButton->setChecked(true);
    if (!m_home.backLabel->isVisible()) {
        m_home.backLabel->show();
        m_home.backLabel->raise();
    }
    if (poweroffdlg.exec() != 1) {
        slot_cancel_poweroff();
        m_home.powerButton->setChecked(false);
        return;
    }
    KLOG << "power-off confirmed";
    m_home.backLabel->hide();
    if (m_working) {
        KLOG << "power-off waits for the" << waitedWork() << "to end";
        m_bPowerOffWaiting = true;
        m_waitSplash = std::make_unique<InitDlg>(WaitState);
        m_waitSplash->show();
        m_waitSplash->raise();
        return;
    }
    powerOff();
}

void PowerControl::powerOff()
{
    m_bPowerOffWaiting = false;
    writeSettings();
    m_home.setButtonsEnabled(false);
    slotProgramExit(false);
    runSplash(PowerOffState);
}

void PowerControl::setSaving(bool saving)
{
    setWorking(Saving, saving);
}

void PowerControl::setUpdating(bool updating)
{
    setWorking(Updating, updating);
}

void PowerControl::setExporting(bool exporting)
{
    setWorking(Exporting, exporting);
}

void PowerControl::setWorking(Work work, bool running)
{
    m_working = running ? m_working | work : m_working & ~unsigned(work);
    // Queued: the work's own frames return before the screens are released.
    if (!m_working && m_bPowerOffWaiting)
        QTimer::singleShot(0, this, &PowerControl::powerOff);
}

const char* PowerControl::waitedWork() const
{
    if (m_working & Saving)
        return "save";
    return m_working & Updating ? "install" : "export";
}

PowerControl* PowerControl::instance()
{
    return g_instance;
}

void PowerControl::slot_cancel_poweroff()
{
    KLOG_ENTER;
    dimCurrentScreen(false);
    m_bPoweroff_cancel = true;
    m_home.powerButton->setChecked(false);
    m_poweroff_event = false;
    m_cancelPoweroff_timer.start(m_home.cancelGuardMs);
}

void PowerControl::slot_stop_cancelPoweroff()
{
    m_cancelPoweroff_timer.stop();
}

void PowerControl::slot_device_poweroff()
{
    KLOG_ENTER;
    if (m_cancelPoweroff_timer.isActive()) {
        KLOG << "power switch ignored after a cancel";
        return;
    }
    slot_POWER_OFF_KEY(true);
}

void PowerControl::slot_POWER_OFF_KEY_forOld(bool pressed)
{
    KLOG_ENTER;
    if (theApp.m_bAutofocusing) {
        KLOG << "power key ignored while autofocusing";
        return;
    }
    slot_POWER_OFF_KEY(pressed);
}

void PowerControl::slot_POWER_OFF_KEY(bool)
{
    KLOG_ENTER;
    if (m_poweroff_event) {
        m_bPoweroff_cancel = false;
        return;
    }
    m_poweroff_event = true;
    if (poweroffdlg.isVisible())
        return;
    dimCurrentScreen(true);
    on_BUTTON_POWER_clicked(true);
}

void PowerControl::set_top_Poweroffdlg()
{
    if (!m_poweroff_event)
        return;
    poweroffdlg.raise();
    poweroffdlg.activateWindow();
}

void PowerControl::dimCurrentScreen(bool dim)
{
    const int screen = theApp.m_nCurrentDialog;
    if (screen == KOVACORE_HOME_DIALOG) {
        m_home.backLabel->setVisible(dim);
        if (dim)
            m_home.backLabel->raise();
    } else if (screen >= KOVACORE_COUNT_DIALOG && screen <= KOVACORE_SETUP_DIALOG && m_home.dimScreen) {
        m_home.dimScreen(screen, dim);
    }
}

void PowerControl::on_POWER_OFF_TIMER(bool active)
{
    MainSettings::IdleMinutes& idle = *m_home.idle;
    if (active) {
        idle.count = 0;
        return;
    }
    // A changed setting takes effect from the first idle hour on.
    if (idle.count == kMinutesPerHour)
        idle.limit = theApp.m_nAutoShutdownTime * kMinutesPerHour;
    if (!theApp.m_bAutoShutdown)
        return;
    const int before = idle.count++;
    KLOG_VALUE("idle minutes", idle.count);
    if (static_cast<unsigned>(before) > static_cast<unsigned>(idle.limit))
        do_auto_powerOff();
}

void PowerControl::do_auto_powerOff()
{
    KLOG_ENTER;
    writeSettings();
    m_home.setButtonsEnabled(false);
    runSplash(PowerOffState);
}

void PowerControl::slotProgramExit(bool toLoader)
{
    KLOG_ENTER;
    KLOG_VALUE("toLoader", toLoader);
    m_home.dialog->setEnabled(false);
    unmountStick();

    if (m_home.deleteCountScreen)
        m_home.deleteCountScreen();
    releaseCamera();
    deleteAndClear(theApp.m_pCellCounter);
    deleteAndClear(theApp.m_pPreviousCountCSV);
    deleteAndClear(theApp.m_pImReaderWriter);
    deleteAndClear(theApp.m_pMediaMonitor);
    if (m_home.releaseController)
        m_home.releaseController();

    if (!QFileInfo::exists(platform::rootPath(QString::fromLatin1(kLauncherPath)))) {
        KLOG << "no launcher installed; the home screen stays disabled";
        return;
    }
    if (!toLoader)
        return;
    if (!ini_write("ShellMode", "On", "1", kova::kShellIni))
        KLOG << "[Error] cannot write the hand-over flag to" << kova::kShellIni;
    sync();
    m_home.dialog->accept();
}

void PowerControl::unmountStick()
{
    const platform::CommandResult mounted =
        platform::CommandRunner::run(QStringLiteral("mountpoint"), {QString::fromLatin1(kMountPoint)},
                                     kMountpointTimeoutMs);
    if (!mounted.succeeded())
        return;
    const platform::CommandResult unmounted =
        platform::CommandRunner::run(QStringLiteral("umount"), {QString::fromLatin1(kMountPoint)});
    if (!unmounted.succeeded())
        KLOG << "[Error] cannot unmount" << kMountPoint;
}

void PowerControl::releaseCamera()
{
    OV5642Camera*& camera = theApp.m_pCamera;
    if (!camera)
        return;
    if (camera->isRunning()) {
        camera->close();
        QThread::msleep(static_cast<unsigned long>(m_home.cameraSettleMs));
    }
    deleteAndClear(camera);
    QThread::msleep(static_cast<unsigned long>(m_home.cameraSettleMs));
}

void PowerControl::writeSettings()
{
    if (m_home.iniPath.isEmpty()) {
        KLOG << "settings never read; the stored ones are kept";
        return;
    }
    if (m_bKeepSettingsFile) {
        KLOG << "the settings file is the installed software's; kept";
        return;
    }
    if (!MainSettings::before_loseINI(m_home.iniPath))
        KLOG << "[Error] the settings could not be written before leaving";
}

void PowerControl::runSplash(int state)
{
    if (m_home.runSplash) {
        m_home.runSplash(state);
        return;
    }
    InitDlg splash(static_cast<InitState>(state));
    splash.exec();
}
