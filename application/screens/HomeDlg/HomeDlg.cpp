#include "HomeDlg/HomeDlg.h"

#include "ui_HomeDlg.h"

#include "Camera/OV5642Camera.h"
#include "Controller/Controller.h"
#include "Controller/I2CController.h"
#include "Count/CountDlg.h"
#include "File_IO/CSVReaderWriter.h"
#include "File_IO/ImReaderWriter.h"
#include "MediaMonitor/MediaMonitor.h"
#include "MouseCursorSelector/MouseCursorSelector.h"
#include "Network/NetworkManager.h"
#include "File_IO/copy.h"
#include "File_IO/ini.h"
#include "HomeDlg/PowerControl.h"
#include "InitDlg/InitDlg.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/ResultTree.h"
#include "Message/MessageDlg.h"
#include "KovaCore/ProtocolFiles.h"
#include "Protocol/ProtocolDlg.h"
#include "Settings/SetupDlg.h"
#include "Review/ReviewDlg.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QSettings>
#include <QThread>

#include <unistd.h>

namespace {

constexpr unsigned char kPmicProbe = 0xA3;

bool physicalExists(const QString& logical)
{
    return QFile::exists(platform::rootPath(logical));
}

// The screen open over the home screen, by current-dialog id; null when none.
QWidget* currentScreen()
{
    switch (theApp.m_nCurrentDialog) {
    case KOVACORE_COUNT_DIALOG:
        return theApp.m_pCountDlg;
    case KOVACORE_REVIEW_DIALOG:
        return theApp.m_pReviewDlg;
    case KOVACORE_PROTOCOL_DIALOG:
        return theApp.m_pProtocolDlg;
    case KOVACORE_SETUP_DIALOG:
        return theApp.m_pSetupDlg;
    default:
        return nullptr;
    }
}

// Creates screen `id` (unless one is open), lets `prepare` ready it, runs it
// modally and deletes it; meanwhile the button is checked and the home
// buttons are off. False when another screen was current.
template <class Screen>
bool runScreen(HomeDlg& home, QPushButton* button, int id, Screen*& screen,
               const std::function<void(Screen*)>& prepare = {})
{
    if (theApp.m_nCurrentDialog != KOVACORE_HOME_DIALOG)
        return false;
    button->setChecked(true);
    home.HomeButtonState(false);
    if (!screen) {
        theApp.m_nCurrentDialog = id;
        screen = new Screen;
        if (prepare)
            prepare(screen);
        screen->exec();
        delete screen;
        screen = nullptr;
        // However the screen closed, the home screen is current again.
        if (theApp.m_nCurrentDialog == id)
            theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
    }
    button->setChecked(false);
    home.HomeButtonState(true);
    return true;
}

}  // namespace

HomeDlg::Seams& HomeDlg::seams()
{
    static Seams s;
    return s;
}

HomeDlg::HomeDlg(QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint)
    , ui(new Ui::HomeDlg)
{
    KLOG_ENTER;
    Q_INIT_RESOURCE(HomeResources);
    ui->setupUi(this);
    setFixedSize(800, 480);

    m_pController = new Controller;
    connect(m_pController, &Controller::sig_connected_controller, this, &HomeDlg::slot_connected_controller,
            Qt::UniqueConnection);
    connect(m_pController, &Controller::sig_z_stage_origin, this, &HomeDlg::slot_z_stage_origin);
    connect(m_pController, &Controller::sig_z_stage_abs, this, &HomeDlg::slot_z_stage_abs);
    connect(m_pController, &Controller::sig_device_poweroff, this, &HomeDlg::slot_device_poweroff);
    connect(m_pController, &Controller::sig_device_reset, this, &HomeDlg::slot_device_reset);
    connect(m_pController, &Controller::sig_z_stage_mvn, this, &HomeDlg::slot_reset_move_ended);
    connect(m_pController, &Controller::sig_z_stage_mvp, this, &HomeDlg::slot_reset_move_ended);
    // Queued: the run that released the stage has returned first.
    connect(m_pController, &Controller::sig_stage_released, this, &HomeDlg::slot_stage_released,
            Qt::QueuedConnection);
    m_pController->openSerialPort();

    setFont();

    m_pBackLabel = new QLabel(this);
    m_pBackLabel->setGeometry(0, 0, 800, 480);
    m_pBackLabel->setStyleSheet(QStringLiteral("background-color: rgba(0, 0, 0, 50%);"));
    m_pBackLabel->setWindowFlags(Qt::WindowStaysOnTopHint | Qt::BypassWindowManagerHint);
    theApp.set_background_ptr(m_pBackLabel);
    m_pBackLabel->hide();

    PowerControl::Home roads;
    roads.dialog = this;
    roads.powerButton = ui->BUTTON_POWER;
    roads.backLabel = m_pBackLabel;
    roads.idle = &m_IdleMinutes;
    roads.iniPath = m_strIniPath;  // set by the start-up chain; empty without it
    roads.setButtonsEnabled = [this](bool enable) { HomeButtonState(enable); };
    roads.dimScreen = [](int screen, bool dim) {
        if (screen == KOVACORE_COUNT_DIALOG && theApp.m_pCountDlg)
            theApp.m_pCountDlg->slot_set_backLabel(dim);
        if (screen == KOVACORE_REVIEW_DIALOG && theApp.m_pReviewDlg)
            theApp.m_pReviewDlg->slot_set_backLabel(dim);
        if (screen == KOVACORE_PROTOCOL_DIALOG && theApp.m_pProtocolDlg)
            theApp.m_pProtocolDlg->slot_set_backLabel(dim);
        if (screen == KOVACORE_SETUP_DIALOG && theApp.m_pSetupDlg)
            theApp.m_pSetupDlg->slot_set_backLabel(dim);
    };
    roads.releaseController = [this] {
        delete m_pController;
        m_pController = nullptr;
    };
    roads.deleteCountScreen = [] {
        delete theApp.m_pCountDlg;
        theApp.m_pCountDlg = nullptr;
    };
    m_pPowerControl = new PowerControl(roads, this);
    connect(ui->BUTTON_POWER, &QPushButton::clicked, m_pPowerControl, &PowerControl::on_BUTTON_POWER_clicked);

    ui->BUTTON_LOGOUT->hide();
    m_pMouseCursorSelector = new MouseCursorSelector(this);
    if (!m_bInitialized)
        KLOG << "no answer from the microcontroller: the splash stays";
}

HomeDlg::~HomeDlg()
{
    if (theApp.get_background_ptr() == m_pBackLabel)
        theApp.set_background_ptr(nullptr);
    delete m_pController;
    delete ui;
}

QPushButton* HomeDlg::powerButton() const
{
    return ui->BUTTON_POWER;
}

void HomeDlg::step(const char* name)
{
    KLOG_VALUE("start-up", name);
    if (seams().onStartupStep)
        seams().onStartupStep(QString::fromLatin1(name));
}

QDateTime HomeDlg::clock()
{
    return seams().now ? seams().now() : QDateTime::currentDateTime();
}

OV5642Camera* HomeDlg::makeCamera() const
{
    return seams().makeCamera ? seams().makeCamera() : new OV5642Camera;
}

void HomeDlg::setFont()
{
    const QFont font = notoSans(26, QFont::Normal);
    for (QPushButton* button : {ui->BUTTON_COUNT, ui->BUTTON_REVIEW, ui->BUTTON_PROTOCOL, ui->BUTTON_SETUP})
        button->setFont(font);
}

std::string HomeDlg::calibrationForMode()
{
    return theApp.m_CountingMode == BF_CELL_COUNTING_VIABILITY ? kova::kCalibrationCusIni
                                                               : kova::kCalibrationBfnIni;
}

void HomeDlg::slot_connected_controller()
{
    KLOG_ENTER;
    step("firmware version");
    global_ini()->IQOQ.FW_version = m_pController->device_fw_version();
    KLOG_VALUE("FW version", global_ini()->IQOQ.FW_version);
    slotInitialize();
}

void HomeDlg::slotInitialize()
{
    KLOG_ENTER;
    theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
    m_bInitialized = false;

    step("release timer");
    connect(&m_ReleaseTimer, &QTimer::timeout, this, &HomeDlg::releaseInitDlg, Qt::UniqueConnection);
    m_ReleaseTimer.start(kReleaseIntervalMs);

    step("settings");
    m_strIniPath = QString::fromLatin1(kova::kMainIni);
    {
        const QString physical = platform::rootPath(m_strIniPath);
        const bool missing = !QFile::exists(physical);
        QDir().mkpath(QFileInfo(physical).path());
        QSettings settings(physical, QSettings::IniFormat);
        if (missing && !MainSettings::create_INI(settings))
            KLOG << "[Error] cannot create" << m_strIniPath;
        MainSettings::read_INI(settings, m_IdleMinutes);
    }

    step("result folders");
    Init_saving_report();

    step("protocols");
    Init_local_protocol();

    step("camera");
    theApp.m_pCamera = makeCamera();
    QThread::msleep(10);

    step("calibration file");
    CUR_CAL_INI = calibrationForMode();

    step("hardware check");
    inspectHardware();

    step("image reader/writer");
    theApp.m_pImReaderWriter = new ImReaderWriter;

    step("previous counts");
    handle_previous_counts();

    step("USB monitor");
    theApp.m_pMediaMonitor = new MediaMonitor;

    step("counting screen");
    createCountScreen();

    step("clock");
    const QDateTime current = clock();
    theApp.m_strDateTime = current.toString(QStringLiteral("dd MMM yyyy hh:mm"));
    m_nLastMinute = current.time().minute();
    connect(&m_ClockTimer, &QTimer::timeout, this, &HomeDlg::notifyDateTime, Qt::UniqueConnection);
    m_ClockTimer.start(kClockIntervalMs);

    m_bInitialized = true;

    step("log rotation");
    m_logrotate.checkConfigurationAndStart();

    step("shell flag");
    if (!ini_write("ShellMode", "On", "0", kova::kShellIni))
        KLOG << "[Error] cannot write" << kova::kShellIni;
    ::sync();

    step("mouse");
    detectMouse();

    step("network");
    theApp.m_pNetworkManager->initialize();
}

void HomeDlg::createCountScreen()
{
    if (theApp.m_pCountDlg)
        return;
    theApp.m_pCountDlg = new CountDlg;
    CountDlg::Home home;
    home.openCamera = [this] { openCamera(); };
    home.closed = [this] { close_CountDlg(); };
    theApp.m_pCountDlg->setHome(std::move(home));
    connect(theApp.m_pCountDlg, &CountDlg::signalFirstFrameUpdated, this, &HomeDlg::slotFirstFrameUpdated);
}

void HomeDlg::releaseInitDlg()
{
    if (!m_bInitialized)
        return;
    KLOG_ENTER;
    m_ReleaseTimer.stop();
    show();
    if (InitDlg* splash = theApp.m_pInitDlg) {
        theApp.m_pInitDlg = nullptr;
        splash->hide();
        delete splash;
    }
}

void HomeDlg::notifyDateTime()
{
    const QDateTime current = clock();
    const int minute = current.time().minute();
    if (minute == m_nLastMinute)
        return;
    m_nLastMinute = minute;
    theApp.m_strDateTime = current.toString(QStringLiteral("dd MMM yyyy hh:mm"));
    // The open screen shows the clock in its header on every paint.
    if (QWidget* screen = currentScreen())
        screen->update();
}

void HomeDlg::HomeButtonState(bool enable)
{
    m_pBackLabel->setVisible(!enable);
    if (!enable)
        m_pBackLabel->raise();
    for (QPushButton* button :
         {ui->BUTTON_COUNT, ui->BUTTON_POWER, ui->BUTTON_REVIEW, ui->BUTTON_PROTOCOL, ui->BUTTON_SETUP}) {
        button->setEnabled(enable);
        if (enable)
            button->setChecked(false);
    }
    QCoreApplication::processEvents();
}

void HomeDlg::on_BUTTON_COUNT_pressed()
{
    if (theApp.m_nCurrentDialog != KOVACORE_HOME_DIALOG || !theApp.m_pCountDlg)
        return;
    KLOG_ENTER;
    ui->BUTTON_COUNT->setChecked(true);
    HomeButtonState(false);
    theApp.m_nCurrentDialog = KOVACORE_COUNT_DIALOG;
    if (!theApp.m_pCamera || !theApp.m_pCamera->isRunning())
        openCamera();
    theApp.m_pCountDlg->Init();
}

void HomeDlg::slotFirstFrameUpdated()
{
    KLOG_ENTER;
    theApp.m_pCountDlg->show();
    HomeButtonState(true);
}

void HomeDlg::close_CountDlg()
{
    KLOG_ENTER;
    m_pBackLabel->hide();
    ui->BUTTON_COUNT->setChecked(false);
    HomeButtonState(true);
}

void HomeDlg::openCamera()
{
    KLOG_ENTER;
    // The message box and the splash belong to the GUI thread.
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &HomeDlg::openCamera, Qt::BlockingQueuedConnection);
        return;
    }
    if (theApp.m_bAutoExposureOn)
        CUR_CAL_INI = kova::kAutoExposureIni;
    else if (!theApp.m_bCalibrating)
        CUR_CAL_INI = calibrationForMode();

    for (int attempt = 1; attempt <= kCameraAttempts; ++attempt) {
        if (attempt > 1 || !theApp.m_pCamera) {
            delete theApp.m_pCamera;
            theApp.m_pCamera = nullptr;
            if (attempt > 1)
                QThread::msleep(static_cast<unsigned long>(seams().cameraRetryPauseMs));
            theApp.m_pCamera = makeCamera();
        }
        if (theApp.m_pCamera->open(kCameraMode, CUR_CAL_INI, false)) {
            KLOG_VALUE("camera opened at attempt", attempt);
            return;
        }
        KLOG << "[Error] camera attempt" << attempt << "failed";
    }

    showMessage(kCameraNotDetectedMessage);
    // Whatever closed the box: without a camera the instrument can only restart.
    InitDlg restart(RestartState);
    restart.exec();
}

void HomeDlg::handle_previous_counts()
{
    KLOG_ENTER;
    for (int mode : {BF_TOTAL_CELL_COUNTING, BF_CELL_COUNTING_VIABILITY}) {
        const QString master = ResultTree::previousCountMaster(mode);
        const QString copyPath = ResultTree::previousCountCopy(mode);
        QFile::remove(platform::rootPath(copyPath));
        if (physicalExists(master) && copy(master.toUtf8().constData(), copyPath.toUtf8().constData()) != 0)
            KLOG << "[Error] cannot copy" << master << "to" << copyPath;
    }

    delete theApp.m_pPreviousCountCSV;
    const int mode = theApp.m_CountingMode;
    theApp.m_pPreviousCountCSV =
        new CSVReaderWriter(ResultTree::kPreviousCountLines, "%s", ResultTree::previousCountHeader(mode));
    const QString master = ResultTree::previousCountMaster(mode);
    if (physicalExists(master))
        theApp.m_pPreviousCountCSV->read(master.toUtf8().constData());
}

void HomeDlg::Init_saving_report()
{
    KLOG_ENTER;
    for (const QString& folder : {ResultTree::modeFolder(BF_TOTAL_CELL_COUNTING),
                                  ResultTree::modeFolder(BF_CELL_COUNTING_VIABILITY)}) {
        if (!QDir().mkpath(platform::rootPath(folder)))
            KLOG << "[Error] cannot create" << folder;
    }
}

bool HomeDlg::inspectHardware()
{
    KLOG_ENTER;
    I2CController pmic;
    unsigned char value = 0;
    const bool ok = pmic.setPMIC(kPmicProbe) == 0 && pmic.getPMIC(value) == 0 && value == kPmicProbe;
    KLOG_VALUE("power-management chip", ok ? "ok" : "failed");
    return ok;
}

void HomeDlg::detectMouse()
{
    const QDir byId(platform::rootPath(QStringLiteral("/dev/input/by-id")));
    const QStringList mice =
        byId.entryList({QStringLiteral("*-mouse")}, QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    if (mice.isEmpty())
        return;
    KLOG << "mouse:" << mice.first();
    QApplication::setOverrideCursor(QCursor(Qt::ArrowCursor));
    QApplication::changeOverrideCursor(QCursor(Qt::ArrowCursor));
}

void HomeDlg::Init_local_protocol()
{
    if (!::Init_local_protocol())
        KLOG << "[Error] built-in protocols not all written";
}

void HomeDlg::slotFactoryReset()
{
    KLOG_ENTER;
    theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
    Init_local_protocol();
    MainSettings::loadProtocols(false);
    CUR_CAL_INI = calibrationForMode();
    handle_previous_counts();
}

void HomeDlg::slot_device_reset()
{
    KLOG_ENTER;
    // Moves of this handler between those of an autofocus, a count or an
    // earlier handling would answer in each other's place, and both would
    // lose the stage's position.
    if (m_pController->isStageInUse()) {
        KLOG << "restart handled when the stage is released";
        m_bResetPending = true;
        // This restart cut the earlier handling's move short.
        m_ResetStageUse.reset();
        return;
    }
    m_bResetPending = false;
    m_ResetStageUse.emplace(m_pController);
    m_pController->led_brightness(global_ini()->LED);
    m_pController->z_stage_move_to(theApp.m_nZstageCurrentPos);
    slot_reset_move_ended();
}

void HomeDlg::slot_reset_move_ended()
{
    if (m_ResetStageUse && m_pController->movesUnderWay() == 0)
        m_ResetStageUse.reset();
}

void HomeDlg::slot_stage_released()
{
    if (m_bResetPending)
        slot_device_reset();
}

void HomeDlg::showMessage(int type)
{
    MessageDlg box;
    box.setMsgType(type);
    m_pBackLabel->show();
    m_pBackLabel->raise();
    box.exec();
    m_pBackLabel->hide();
}

void HomeDlg::on_BUTTON_LOGOUT_clicked()
{
    showMessage(1);
}

void HomeDlg::on_BUTTON_PROTOCOL_pressed()
{
    runScreen(*this, ui->BUTTON_PROTOCOL, KOVACORE_PROTOCOL_DIALOG, theApp.m_pProtocolDlg);
}

void HomeDlg::on_BUTTON_SETUP_pressed()
{
    KLOG_ENTER;
    const auto prepare = [this](SetupDlg* setup) {
        connect(setup, &SetupDlg::sig_setFactoryReset, this, &HomeDlg::slotFactoryReset);
        if (theApp.m_pCamera && theApp.m_pCamera->isRunning()) {
            theApp.m_pCamera->close();
            QThread::msleep(static_cast<unsigned long>(seams().cameraSettleMs));
        }
    };
    if (!runScreen<SetupDlg>(*this, ui->BUTTON_SETUP, KOVACORE_SETUP_DIALOG, theApp.m_pSetupDlg, prepare))
        return;
    if (theApp.m_bProgramExit) {
        m_pPowerControl->writeSettings();
        m_pPowerControl->slotProgramExit(true);
        return;
    }
    if (theApp.m_bFactoryReset) {
        slotFactoryReset();
        // Done once: a later visit to the settings must not reset again.
        theApp.m_bFactoryReset = false;
    }
    m_pPowerControl->writeSettings();
}

void HomeDlg::on_BUTTON_REVIEW_pressed()
{
    const auto prepare = [this](ReviewDlg* review) {
        connect(review, &ReviewDlg::signal_analysis, this, &HomeDlg::slot_Count_start);
        if (theApp.m_pCountDlg)
            connect(review, &ReviewDlg::signal_analysis, theApp.m_pCountDlg, &CountDlg::slot_analysis);
    };
    runScreen<ReviewDlg>(*this, ui->BUTTON_REVIEW, KOVACORE_REVIEW_DIALOG, theApp.m_pReviewDlg, prepare);
}

void HomeDlg::slot_Count_start(QString)
{
    KLOG_ENTER;
    theApp.m_nCurrentDialog = KOVACORE_COUNT_DIALOG;
    if (!theApp.m_pCamera || !theApp.m_pCamera->isRunning())
        openCamera();
    if (theApp.m_pCountDlg) {
        theApp.m_pCountDlg->Init();
        theApp.m_pCountDlg->show();
    }
    if (theApp.m_pReviewDlg)
        theApp.m_pReviewDlg->close();
}

void HomeDlg::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->ignore();
        return;
    }
    event->accept();
}

void HomeDlg::on_POWER_OFF_TIMER(bool active)
{
    m_pPowerControl->on_POWER_OFF_TIMER(active);
}

void HomeDlg::slot_POWER_OFF_KEY_forOld(bool pressed)
{
    m_pPowerControl->slot_POWER_OFF_KEY_forOld(pressed);
}

void HomeDlg::slot_device_poweroff()
{
    // The switch may be reported while the start-up chain still runs.
    if (m_pPowerControl)
        m_pPowerControl->slot_device_poweroff();
}
