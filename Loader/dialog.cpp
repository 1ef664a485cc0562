#include "dialog.h"
#include "ui_dialog.h"

#include "LoaderFiles.h"
#include "LoaderFont.h"
#include "LoaderSettings.h"
#include "LoginDialog.h"
#include "MediaMonitor.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QCoreApplication>
#include <QDir>
#include <QDeadlineTimer>
#include <QFile>

using platform::CommandRunner;

// Resources of a static library must be registered from the global namespace.
static void initLoaderResources()
{
    Q_INIT_RESOURCE(LoaderResources);
}

namespace {

const char kUnexpectedClosure[] =
    "<p><b><br/>Unexpected software closure</b><br/><br/>The software has closed unexpectedly."
    "                            <br/>Please restart the software.<br/><br/>If this issue persists, please contact"
    "                            <br/>our technical support team or distributors for assistance.</p>";

QString binPath(const QString& name)
{
    return QStringLiteral("%1/%2").arg(QLatin1String(loader::kBinFolder), name);
}

// The regular files of "/opt/KOVA3/bin" named exactly `name` (a folder of
// that name is no program).
QFileInfoList installedPrograms(const QString& name)
{
    return QDir(platform::rootPath(QString::fromLatin1(loader::kBinFolder)))
        .entryInfoList({name}, QDir::Files | QDir::CaseSensitive, QDir::Name);
}

void makeBinFolderCurrent()
{
    QDir::setCurrent(platform::rootPath(QString::fromLatin1(loader::kBinFolder)));
}

// Tells the display driver that a program has started (nothing to report
// when the driver is not there).
void releaseDisplayLayer()
{
    QFile layer(platform::rootPath(QString::fromLatin1(loader::kDisplayLayer)));
    if (layer.open(QIODevice::WriteOnly | QIODevice::Truncate))
        layer.write("0");
}


// What follows a normal end of the child.
struct AfterEnd
{
    const char* logLine;
    bool restartMain;     // start the main program again
    const char* runMode;  // else: the panel, with this run mode
    bool systemGoesDown = false;  // the window waits: it shows only if the power-off fails
};

// Codes 10 and 11 ask any program's successor to be the main program. The
// main program's own codes: 1 after it has started the power-off (the next
// boot starts it again, not the panel that tells of an unexpected closure),
// 2 when it wants to be started again; other programs keep the plain table.
AfterEnd afterNormalEnd(int exitCode, bool mainProgram)
{
    switch (exitCode) {
    case 10:
        return {"RunMode_App", true, nullptr};
    case 11:
        return {"RunMode_Restart", true, nullptr};
    case 1:
        return mainProgram ? AfterEnd{"RunMode_PowerOff", false, loader::kRunModeApp, true}
                           : AfterEnd{"RunMode_QC", false, loader::kRunModeQC};
    case 2:
        if (mainProgram)
            return {"RunMode_Restart", true, nullptr};
        break;
    default:
        break;
    }
    return {"RunMode_default", false, loader::kRunModeQC};
}

}  // namespace

LoaderDlg::LoaderDlg(QWidget* parent, const LoaderTiming& timing)
    : QDialog(parent, Qt::FramelessWindowHint)
    , m_nowMs(timing.nowMs ? timing.nowMs : std::function<qint64()>([] { return QDeadlineTimer::current().deadline(); }))
    , ui(new Ui::Dialog)
{
    initLoaderResources();
    ui->setupUi(this);
    releaseDisplayLayer();
    setFont();
    ui->LABEL_MSG->setText(QString::fromLatin1(kUnexpectedClosure));

    connect(&m_process, &QProcess::errorOccurred, this, &LoaderDlg::slot_error);
    connect(&m_process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &LoaderDlg::slot_finished);

    m_timerIP.setSingleShot(true);
    m_timerIP.setInterval(timing.addressCheckMs);
    connect(&m_timerIP, &QTimer::timeout, this, &LoaderDlg::slot_check_IP);
    m_powerOffTimer.setSingleShot(true);
    m_powerOffTimer.setInterval(timing.powerOffGraceMs);
    connect(&m_powerOffTimer, &QTimer::timeout, this, [this] {
        KLOG << "[Error] the system still runs after the power-off";
        show();
    });

    slot_luanch_app();

    // Both always run: a stick present at start is mounted even in Zig mode.
    const bool zigMode = check_ZigMode();
    const bool markerFound = finddotFile();
    if (!zigMode && !markerFound) {
        KLOG << "Front start";
        setMode(0);
    } else {
        KLOG << "Normal start";
        setMode(1);
    }
    displayInformation();
    QTimer::singleShot(timing.buttonsEnableMs, this, &LoaderDlg::slotWidgetEnabled);
}

LoaderDlg::~LoaderDlg()
{
    // A child still running ends with the launcher; its reports must not
    // reach a half-destroyed window.
    m_process.disconnect(this);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished();
    }
    delete ui;
}

void LoaderDlg::setFont()
{
    ui->LABEL_MSG->setFont(loader::notoSans(22));
    ui->BUTTON_ADMIN->setFont(loader::notoSans(20));
    ui->BUTTON_RESTART->setFont(loader::notoSans(22, QFont::DemiBold));
    const QFont information = loader::notoSans(18);
    for (QWidget* widget : std::initializer_list<QWidget*>{
             ui->LABEL_IP_ADDRESS_TITLE, ui->LABEL_IP_ADDRESS, ui->LABEL_CURRENT_VERSION_TITLE,
             ui->LABEL_CURRENT_VERSION, ui->LABEL_SERIAL_NUMBER_TITLE, ui->LABEL_SERIAL_NUMBER,
             ui->LABEL_LENS_MAGNIFICATION_TITLE, ui->LABEL_LENS_MAGNIFICATION, ui->LABEL_VOLUME_FACTOR_TITLE,
             ui->LABEL_VOLUME_FACTOR, ui->LABEL_LENS_CENTER_POSITION_TITLE, ui->LABEL_LENS_CENTER_POSITION,
             ui->LABEL_FIRMWARE_VERSION_TITLE, ui->LABEL_FIRMWARE_VERSION, ui->LABEL_RUNQC_VERSION_TITLE,
             ui->LABEL_RUNQC_VERSION, ui->LABEL_CURRENT_LOG_SIZE_TITLE, ui->LABEL_CURRENT_LOG_SIZE,
             ui->LABEL_BACKUP_VERSION_TITLE, ui->LABEL_BACKUP_VERSION, ui->BUTTON_IP_LOAD, ui->LABEL_VERSION})
        widget->setFont(information);
    ui->LABEL_NETWORK_STATUS->setStyleSheet(QStringLiteral("background-color: rgb(0, 0, 0);"));
    ui->LABEL_IP_ADDRESS->clear();
}

bool LoaderDlg::check_AppExist(App_FileType type)
{
    static const char* const kPatterns[] = {"KOVA3.app", "capture", "*_Verifier", "PanelTrim"};
    makeBinFolderCurrent();
    if (type < APP_KOVA3 || type > APP_PANELTRIM)
        return false;
    const QDir bin(platform::rootPath(QString::fromLatin1(loader::kBinFolder)),
                   QString::fromLatin1(kPatterns[type]), QDir::Name | QDir::IgnoreCase,
                   QDir::AllEntries | QDir::NoDotAndDotDot);
    return !bin.entryList().isEmpty();
}

bool LoaderDlg::check_ZigMode()
{
    const bool on = loader::readSetting(QStringLiteral("KOVA-III/Zig mode"), QStringLiteral("Off")).toString()
                    == QLatin1String("On");
    KLOG << "bZigmode : " << (on ? "true" : "false");
    return on;
}

bool LoaderDlg::finddotFile()
{
    MediaMonitor monitor;
    if (!monitor.searchUSB(true))
        return false;
    const QFileInfoList markers = QDir(platform::rootPath(QString::fromLatin1(loader::kMountPoint)))
                                      .entryInfoList({QStringLiteral(".KOVA3")}, QDir::Hidden | QDir::Files);
    for (int i = 0; i < markers.size(); ++i)
        KLOG << "[" << i << "] : " << markers[i].absoluteFilePath();
    if (markers.isEmpty()) {
        KLOG << "No exist ---> Hidden file and No Zig mode";
        return false;
    }
    return true;
}

void LoaderDlg::setMode(int mode)
{
    QFrame* top = mode == 0 ? ui->frontframe : mode == 1 ? ui->mainframe : nullptr;
    QFrame* below = mode == 0 ? ui->mainframe : ui->frontframe;
    if (!top)
        return;
    top->show();
    top->raise();
    below->hide();
}

void LoaderDlg::setButtonState(bool enabled)
{
    for (QWidget* button : {ui->BUTTON_RUN_APP, ui->BUTTON_RUN_QCAPP, ui->BUTTON_TOUCH_CALIBRATION,
                            ui->BUTTON_POWER, ui->BUTTON_DEVELOPER_MODE})
        button->setEnabled(enabled);
    QCoreApplication::processEvents();
}

void LoaderDlg::slotWidgetEnabled()
{
    setButtonState(true);
}

void LoaderDlg::slotIPbtnEnabled()
{
    ui->BUTTON_IP_LOAD->setEnabled(true);
}

void LoaderDlg::slot_set_normal()
{
    setMode(1);
}

void LoaderDlg::refreshProgramButtons()
{
    ui->BUTTON_RUN_APP->setEnabled(check_AppExist(APP_KOVA3));
    ui->BUTTON_RUN_CAPTURE->setEnabled(check_AppExist(APP_CAPTURE));
    ui->BUTTON_RUN_QCAPP->setEnabled(check_AppExist(APP_VERIFIER));
    ui->BUTTON_TOUCH_CALIBRATION->setEnabled(check_AppExist(APP_PANELTRIM));
}

void LoaderDlg::slot_luanch_app()
{
    displayInformation();
    refreshProgramButtons();
    const QString runMode = loader::readSetting(QString::fromLatin1(loader::kRunModeKey),
                                                QString::fromLatin1(loader::kRunModeQC))
                                .toString();
    KLOG_ENTER;
    KLOG << "RunMode:" << runMode;
    // Whenever nothing was started, the window is the only thing on screen.
    if (runMode == QLatin1String(loader::kRunModeApp) && check_AppExist(APP_KOVA3) && startMainProgram())
        return;
    show();
}

bool LoaderDlg::startMainProgram()
{
    QCoreApplication::processEvents();
    makeBinFolderCurrent();
    const QFileInfoList applications = installedPrograms(QStringLiteral("KOVA3.app"));
    KLOG << "applications.size() " << applications.size();
    for (const QFileInfo& application : applications)
        KLOG << "applications  " << application.absoluteFilePath();
    if (applications.isEmpty()) {
        KLOG << "No exist ---> KOVA3";
        repaint();
        return false;
    }
    if (m_process.state() != QProcess::NotRunning) {
        KLOG << "QProcess::Running!! or Starting ";
        return true;
    }
    loader::writeRunMode(QString::fromLatin1(loader::kRunModeApp));
    startChild(Child::Main, QStringLiteral("KOVA3.app"));
    return m_process.state() != QProcess::NotRunning;
}

void LoaderDlg::startChild(Child child, const QString& name)
{
    m_child = child;
    if (!CommandRunner::prepare(m_process, binPath(name), {})) {
        slot_error(QProcess::FailedToStart);
        return;
    }
    // Nobody reads the child: its output goes where the launcher's goes.
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setProcessChannelMode(QProcess::ForwardedChannels);
    m_process.start();
}

void LoaderDlg::on_BUTTON_RUN_APP_clicked()
{
    startMainProgram();
}

void LoaderDlg::on_BUTTON_RUN_QCAPP_clicked()
{
    makeBinFolderCurrent();
    if (installedPrograms(QStringLiteral("KOVA3_Verifier")).isEmpty()) {
        KLOG << "No exist ---> Verifier";
        return;
    }
    if (m_process.state() != QProcess::NotRunning) {
        KLOG << "QProcess::Running!! or Starting ";
        return;
    }
    startChild(Child::Verifier, QStringLiteral("KOVA3_Verifier"));
}

void LoaderDlg::on_BUTTON_TOUCH_CALIBRATION_clicked()
{
    if (installedPrograms(QStringLiteral("PanelTrim")).isEmpty()) {
        KLOG << "No exist ---> GlassTrim";
        return;
    }
    // One child at a time: the process object takes no second program.
    if (m_process.state() != QProcess::NotRunning)
        return;
    startChild(Child::PanelTrim, QStringLiteral("PanelTrim"));
}

void LoaderDlg::on_BUTTON_RUN_CAPTURE_clicked()
{
    MediaMonitor monitor;
    if (!monitor.searchUSB(true))
        return;
    makeBinFolderCurrent();
    if (installedPrograms(QStringLiteral("capture")).isEmpty()) {
        KLOG << "No exist ---> capture";
        return;
    }
    const QString path = binPath(QStringLiteral("capture"));
    // A running copy shows under the path it was started from, the mapped one.
    QByteArray running = CommandRunner::run(QStringLiteral("pidof"), {platform::rootPath(path)}).standardOutput;
    running.truncate(running.indexOf('\0') < 0 ? running.size() : running.indexOf('\0'));
    if (!running.isEmpty()) {
        KLOG << "test is already running.";
        return;
    }
    KLOG << "Starting test...";
    CommandRunner::startDetached(path, {});
}

void LoaderDlg::on_BUTTON_POWER_clicked()
{
    CommandRunner::startDetached(QStringLiteral("shutdown"), {QStringLiteral("-h"), QStringLiteral("now")});
}

void LoaderDlg::on_BUTTON_RESTART_clicked()
{
    // Written before the reboot can take the file system away.
    loader::writeRunMode(QString::fromLatin1(loader::kRunModeApp));
    CommandRunner::startDetached(QStringLiteral("systemctl"), {QStringLiteral("reboot")});
}

void LoaderDlg::on_BUTTON_DEVELOPER_MODE_clicked()
{
    QCoreApplication::exit(0);
}

void LoaderDlg::on_BUTTON_ADMIN_clicked()
{
    LoginDialog login;
    // Without a settings file no serial was read: the instrument's default
    // is the password then, never an empty one.
    login.m_strPassword = m_strSerialNumber.isEmpty() ? QString::fromLatin1(loader::kDefaultSerial) : m_strSerialNumber;
    connect(&login, &LoginDialog::sig_normal_login, this, &LoaderDlg::slot_set_normal);
    login.exec();
}

void LoaderDlg::on_BUTTON_COPY_LOG_clicked()
{
}

void LoaderDlg::resetCamera()
{
    const QString script = binPath(QStringLiteral("camera_reset.sh"));
    if (QFile::exists(platform::rootPath(script)))
        CommandRunner::run(script, {});
}

void LoaderDlg::fallBackToPanel(const char* runMode)
{
    displayInformation();
    refreshProgramButtons();
    loader::writeRunMode(QString::fromLatin1(runMode));
}

void LoaderDlg::restartMainProgram()
{
    if (!m_restartGuard.allowRestart(m_nowMs())) {
        KLOG << "[Error] the main program ended at once too often; not started again";
        fallBackToPanel(loader::kRunModeQC);
        return;
    }
    on_BUTTON_RUN_APP_clicked();
}

void LoaderDlg::slot_error(QProcess::ProcessError error)
{
    KLOG_ENTER;
    fallBackToPanel(loader::kRunModeQC);
    // A crash is followed by its end, which shows the window; a failed start
    // is not, and nothing else would.
    if (error == QProcess::FailedToStart)
        show();
}

void LoaderDlg::slot_finished(int exitCode, QProcess::ExitStatus status)
{
    if (status != QProcess::NormalExit) {
        show();
        return;
    }
    const AfterEnd after = afterNormalEnd(exitCode, m_child == Child::Main);
    KLOG << after.logLine;
    // A deliberate power-off is no unexpected closure to report.
    if (after.systemGoesDown)
        m_powerOffTimer.start();
    else
        show();
    if (after.restartMain)
        restartMainProgram();
    else
        fallBackToPanel(after.runMode);
}
