#include "Settings/CalibrateAutofocusDlg.h"

#include "ui_CalibrateAutofocusDlg.h"

#include "Algorithm/alg_Autofocus.h"
#include "Camera/OV5642Camera.h"
#include "Debug/DebugMessage.h"
#include "HomeDlg/HomeDlg.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "Settings/CalibrationSupport.h"
#include "Settings/SettingsLook.h"

#include "platform/Log.h"


namespace {

// The line height carries its unit: the toolkit reads a bare 120 as 120 lines.
const QString kMessages[] = {
    QStringLiteral("<p><b>Calibration Step 1</b><br/><br/>Please insert the Validation Slide<br/>and press the start "
                   "button.</p>"),
    QStringLiteral("<p><p style=\"line-height:120%\"><b>Calibration Processing ...</b><br/><br/>Do not remove the "
                   "Validation slide or<br/>turn off the instrument during calibration.</p></p>"),
    QStringLiteral("Calibration Complete!"),
};

}  // namespace

CalibrateAutofocusDlg::Seams::Seams()
    : stageWaitMs(alg_Autofocus::kStageWaitMs)
    , settleMs(alg_Autofocus::kSettleMs)
{
}

CalibrateAutofocusDlg::Seams& CalibrateAutofocusDlg::seams()
{
    static Seams s;
    return s;
}

CalibrateAutofocusDlg::CalibrateAutofocusDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::CalibrateAutofocusDlg)
{
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    setGeometry(156, 90, 500, 300);
    setFont();
    setMessageType(MESSAGE_STEP1);
    m_pDebugMessage = new DebugMessage(this);
    m_pDebugMessage->setGeometry(200, 80, 600, 400);
    m_pDebugMessage->hide();
    m_Timer.setInterval(kProgressIntervalMs);
    connect(&m_Timer, &QTimer::timeout, this, QOverload<>::of(&QWidget::update));
    connect(this, &CalibrateAutofocusDlg::sig_debug_Message, this, &CalibrateAutofocusDlg::slot_debug_Message);
}

CalibrateAutofocusDlg::~CalibrateAutofocusDlg()
{
    delete ui;
}

void CalibrateAutofocusDlg::setFont()
{
    ui->LABEL_MESSAGE->setFont(notoSans(22, QFont::Normal));
    setFonts({ui->BUTTON_START, ui->BUTTON_EXIT}, notoSans(22, 63));
}

void CalibrateAutofocusDlg::setMessageType(AF_CALI type)
{
    m_MessageType = type;
    switch (type) {
    case MESSAGE_STEP1:
        ui->BUTTON_START->setGeometry(88, 214, 150, 46);
        ui->BUTTON_EXIT->setGeometry(262, 214, 150, 46);
        ui->BUTTON_START->show();
        ui->BUTTON_EXIT->show();
        break;
    case MESSAGE_PROCESSING:
        ui->BUTTON_START->hide();
        ui->BUTTON_EXIT->hide();
        break;
    case MESSAGE_COMPLETE:
        ui->BUTTON_START->hide();
        ui->BUTTON_EXIT->setGeometry(174, 214, 150, 46);
        ui->BUTTON_EXIT->show();
        break;
    }
    ui->LABEL_MESSAGE->setText(kMessages[type]);
}

void CalibrateAutofocusDlg::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    if (m_MessageType != MESSAGE_PROCESSING || !m_bProgressOn)
        return;
    m_nProgress = std::min(m_nProgress + kProgressStep, kCalibrationProgressWidth);
    drawCalibrationProgress(this, m_nProgress);
}

void CalibrateAutofocusDlg::on_BUTTON_START_clicked()
{
    KLOG_ENTER;
    setMessageType(MESSAGE_PROCESSING);
    m_bProgressOn = true;
    m_nProgress = 0;
    m_Timer.start();
    theApp.m_bCalibrating = true;
    theApp.m_bAutofocusing = true;
    do_autoFocusing();
}

void CalibrateAutofocusDlg::on_BUTTON_EXIT_clicked()
{
    close();
}

void CalibrateAutofocusDlg::do_autoFocusing()
{
    KLOG_ENTER;
    // The search needs the camera opened afresh with the bright-field file.
    closeCamera();
    theApp.m_bAutoExposureOn = false;
    CUR_CAL_INI = kova::kCalibrationBfnIni;
    openCalibrationCamera();
    OV5642Camera* camera = theApp.m_pCamera;
    m_pAutofocus = new alg_Autofocus(this, camera, camera ? camera->width() : 0, camera ? camera->height() : 0);
    m_pAutofocus->setWaitTimes(seams().stageWaitMs, seams().settleMs);
    m_pAutofocus->setParam(theApp.m_nZstageCenterPos, 0, false, false);
    connect(m_pAutofocus, &alg_Autofocus::sig_move_z_position, this, &CalibrateAutofocusDlg::slot_move_z_position);
    connect(m_pAutofocus, &alg_Autofocus::sig_endAutoFocusing, this, &CalibrateAutofocusDlg::slot_endAutoFocusing);
    connect(m_pAutofocus, &alg_Autofocus::sig_debug_Message, this, &CalibrateAutofocusDlg::slot_debug_Message);
    m_pAutofocus->process();
}

void CalibrateAutofocusDlg::slot_move_z_position(int position)
{
    emit sig_debug_Message({});
    theApp.m_nZstageCurrentPos = position;
    update();
}

void CalibrateAutofocusDlg::slot_endAutoFocusing(int position)
{
    KLOG_VALUE("focus reference", position);
    disconnect(m_pAutofocus, nullptr, this, nullptr);
    m_pAutofocus->deleteLater();
    m_pAutofocus = nullptr;
    m_nProgress = kCalibrationProgressWidth;
    update();
    setMessageType(MESSAGE_COMPLETE);
    theApp.m_Calibration.Z_Reference = position;
    theApp.m_Calibration.Last_ref_calibration = theApp.m_strDateTime;
    m_bProgressOn = false;
    theApp.m_bCalibrating = false;
    theApp.m_bAutofocusing = false;
    m_Timer.stop();
    closeCamera();
}

void CalibrateAutofocusDlg::closeCamera()
{
    if (theApp.m_pCamera && theApp.m_pCamera->isRunning())
        theApp.m_pCamera->close();
}

void CalibrateAutofocusDlg::slot_debug_Message(QStringList items)
{
    for (int i = 0; i < items.size(); ++i) {
        QString item = items.at(i);
        if (item.size() >= 3 && item.contains(QLatin1String("\r\n")))
            item.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        m_pDebugMessage->insertPlainText(item + (i == 0 ? QStringLiteral("() ") : QStringLiteral(" ")));
    }
    m_pDebugMessage->insertPlainText(QStringLiteral("\r\n"));
    m_pDebugMessage->ensureCursorVisible();
}
