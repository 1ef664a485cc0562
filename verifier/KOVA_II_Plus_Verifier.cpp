#include "KOVA_II_Plus_Verifier.h"

#include "Camera/OV5642Camera.h"
#include "Camera/VerifierGrabThread.h"
#include "Controller/VerifierController.h"
#include "Debug/DebugController.h"
#include "Debug/VerifierDebugMessage.h"
#include "DebugLine.h"
#include "KovaCore/GlobalIni.h"
#include "Settings/VerifierSettings.h"
#include "ui_KOVA_II_Plus_Verifier.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

#include <algorithm>
#include <unistd.h>

// Resources of a static library must be registered from the global namespace.
static void initVerifierResources()
{
    Q_INIT_RESOURCE(VerifierResources);
}

namespace verifier {

namespace {

const char kDisplayLayer[] = "/sys/module/disp/parameters/disp_layer_protect";

// Tells the display driver that a program has started (nothing to report
// when the driver is not there).
void releaseDisplayLayer()
{
    QFile layer(platform::rootPath(QString::fromLatin1(kDisplayLayer)));
    if (layer.open(QIODevice::WriteOnly | QIODevice::Truncate))
        layer.write("0");
}

// Bytes of one RGB24 frame of each resolution.
constexpr int kFrameBytes[3] = {640 * 480 * 3, 1280 * 960 * 3, 2592 * 1944 * 3};

}  // namespace

KOVA_II_Plus_Verifier::KOVA_II_Plus_Verifier(QWidget* parent)
    : QMainWindow(parent)
    , m_fileSync([] { ::sync(); })
    , ui(new Ui::KOVA_II_Plus_Verifier)
{
    initVerifierResources();
    ui->setupUi(this);
    releaseDisplayLayer();
    setFixedSize(800, 480);
    std::copy(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx);

    m_strSettingsPath = QString::fromLatin1(kSettingsPath);
    {
        QSettings settings(platform::rootPath(m_strSettingsPath), QSettings::IniFormat);
        get_INI_value(settings);
    }

    m_pTimerSync = new QTimer(this);
    connect(m_pTimerSync, &QTimer::timeout, this, &KOVA_II_Plus_Verifier::slot_Timer_sync);
    m_pTimerSync->start(1000);

    m_pDebugMessage = new DebugMessage(this);
    m_pDebugMessage->setGeometry(0, 0, 640, 480);
    m_pDebugMessage->hide();
    m_pDebugController = new DebugController(this);
    m_pDebugController->setGeometry(0, 0, 640, 480);
    m_pDebugController->hide();
    connect(this, &KOVA_II_Plus_Verifier::sig_debug_Message, this, &KOVA_II_Plus_Verifier::slot_debug_Message);

    setHighlighted(ui->BUTTON_CAPTURE, true);
    for (int mode = 0; mode < 3; ++mode)
        m_FrameBuffer[mode].assign(kFrameBytes[mode], 0);
    m_pCamera = new OV5642Camera(this);
    initSensorValues();

    setHighlighted(ui->BUTTON_STAINING_NTB, true);
    setHighlighted(ui->BUTTON_STAINING_TB, false);
    m_bStaining = false;
    on_BUTTON_RESOLUTION_1280_clicked();

    ui->RADIO_VALIDATION_SLIDE->setChecked(true);
    ui->BUTTON_CONNECT->setEnabled(global_ini()->bZig_mode);

    m_pAbsTimer = new QTimer(this);
    m_pAbsTimer->setSingleShot(true);
    connect(m_pAbsTimer, &QTimer::timeout, this, [this] {
        KLOG << "no answer to ABS: the window is enabled again";
        setEnabled(true);
    });

    Controller* link = Controller::getInstance();
    connect(link, &Controller::sig_connected_controller, this, &KOVA_II_Plus_Verifier::slot_connected_controller,
            Qt::UniqueConnection);
    connect(link, &Controller::sig_z_stage_origin, this, &KOVA_II_Plus_Verifier::slot_z_stage_origin);
    connect(link, &Controller::sig_z_stage_mvn, this, &KOVA_II_Plus_Verifier::slot_z_stage_mvn);
    connect(link, &Controller::sig_z_stage_mvp, this, &KOVA_II_Plus_Verifier::slot_z_stage_mvp);
    connect(link, &Controller::sig_z_stage_abs, this, &KOVA_II_Plus_Verifier::slot_z_stage_abs);
    link->setZigMode(global_ini()->bZig_mode);
    link->openSerialPort();

    m_QC_mode = 0;
    setState_QC_widget(QC_widget_Hidden);
    connect(ui->QC_MEASURE, &QC_measure::sig_measure_point, this, &KOVA_II_Plus_Verifier::slot_measure_point);
    connect(ui->QC_MEASURE, &QC_measure::sig_measure_result, this, &KOVA_II_Plus_Verifier::slot_measure_result);
    connect(ui->QC_MEASURE, &QC_measure::sig_measure_error, this, &KOVA_II_Plus_Verifier::slot_measure_error);
}

KOVA_II_Plus_Verifier::~KOVA_II_Plus_Verifier()
{
    // The frame thread must not outlive the buffer it fills.
    stopCamera();
    delete ui;
}

void KOVA_II_Plus_Verifier::slot_Timer_sync()
{
    if (m_UsbMonitor.searchUSB())
        m_fileSync();
}

void KOVA_II_Plus_Verifier::setHighlighted(QPushButton* button, bool on)
{
    const QFont font = button->font();
    button->setStyleSheet(QLatin1String(on ? kHighlight : kPlain));
    button->setFont(font);
}

void KOVA_II_Plus_Verifier::on_BUTTON_DEBUG_clicked(bool checked)
{
    setHighlighted(ui->BUTTON_DEBUG, checked);
    if (checked) {
        switch (ui->SPIN_DEBUG->value()) {
        case 1:
            m_pDebugMessage->show();
            m_pDebugMessage->raise();
            break;
        case 2:
            m_pDebugController->show();
            m_pDebugController->raise();
            break;
        case 3:
            m_bFocusGraph = true;
            break;
        }
    } else {
        m_pDebugMessage->hide();
        m_pDebugController->hide();
        m_bFocusGraph = false;
    }
    update();
}

void KOVA_II_Plus_Verifier::slot_debug_Message(QStringList list)
{
    for (int i = 0; i < list.size(); ++i) {
        QString item = list[i];
        if (item.size() >= 3 && item.contains(QLatin1String("\r\n"))) {
            item.remove(QLatin1Char('\r'));
            item.remove(QLatin1Char('\n'));
        }
        m_pDebugMessage->insertPlainText(item);
        if (i == 0)
            m_pDebugMessage->insertPlainText(QStringLiteral("()"));
        m_pDebugMessage->insertPlainText(QStringLiteral(" "));
    }
    m_pDebugMessage->insertPlainText(QStringLiteral("\r\n"));
    m_pDebugMessage->ensureCursorVisible();
}

void KOVA_II_Plus_Verifier::slot_debug_Controller(QString text)
{
    m_pDebugController->insertPlainText(text);
    m_pDebugController->ensureCursorVisible();
}

void KOVA_II_Plus_Verifier::updateFrame()
{
    update(m_ViewRect);
}

void KOVA_II_Plus_Verifier::on_BUTTON_EXIT_clicked()
{
    emit sig_debug_Message({VERIFIER_SIGNATURE});
    const auto answer = QMessageBox::question(this, QLatin1String(kTitle), QStringLiteral("Are you sure quit ?"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
    if (answer != QMessageBox::Yes)
        return;
    emit sig_debug_Message({VERIFIER_SIGNATURE, QStringLiteral("shutdown hardware")});
    if (!global_ini()->bZig_mode) {
        Controller* link = Controller::getInstance();
        link->led_off();
        link->z_stage_origin(Controller::MODE_BLOCKING);
    }
    stopCamera();
    QCoreApplication::quit();
}

}  // namespace verifier
