#include "Settings/UpdateCalibrationFrame.h"

#include "ui_UpdateCalibrationFrame.h"

#include "Camera/OV5642Camera.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"
#include "Settings/CalibrateAutofocusDlg.h"
#include "Settings/CalibrateBackgroundDlg.h"
#include "Settings/CalibrationSupport.h"
#include "Settings/IQOQDlg.h"
#include "Settings/SettingsLook.h"
#include "Settings/UpdateSoftwareDlg.h"

#include "platform/Log.h"

namespace {

constexpr int kTwoChannelOffset = 2560;
constexpr int kReusableOffset = 5120;

// Runs a dialog of the page between the page's two dimming signals.
template <class Dialog>
void runDimmed(UpdateCalibrationFrame* page, Dialog& dialog)
{
    emit page->signal_setBackStatus(true);
    dialog.exec();
    emit page->signal_setBackStatus(false);
}

}  // namespace

UpdateCalibrationFrame::UpdateCalibrationFrame(QWidget* parent)
    : QFrame(parent)
    , ui(new Ui::UpdateCalibrationFrame)
{
    ui->setupUi(this);
    initialize();
    setFont();
}

UpdateCalibrationFrame::~UpdateCalibrationFrame()
{
    delete ui;
}

void UpdateCalibrationFrame::setFont()
{
    setFonts({ui->LABEL_SW_TITLE, ui->LABEL_FW_TITLE, ui->LABEL_BACKGROUND_CALIBRATION_TITLE,
              ui->LABEL_FOCUS_CALIBRATION_TITLE, ui->BUTTON_SW_UPDATE, ui->BUTTON_CALIBRATE_BACKGROUND,
              ui->BUTTON_CALIBRATE_AUTOFOCUS},
             notoSans(20, 63));
    setFonts({ui->BUTTON_SWUPDATE, ui->BUTTON_CALIBRATION, ui->LABEL_SW_UPDATE_DATE, ui->LABEL_SW_VERSION,
              ui->LABEL_FW_VERSION, ui->LABEL_BACKGROUND_UPDATE_DATE, ui->LABEL_BACKGROUND_VALUE,
              ui->LABEL_FOCUS_UPDATE_DATE, ui->LABEL_FOCUS_VALUE},
             notoSans(20, 57));
    setFonts({ui->LABEL_SW_UPDATE_DATE_TITLE, ui->LABEL_SW_VERSION_TITLE, ui->LABEL_FW_VERSION_TITLE,
              ui->LABEL_BACKGROUND_UPDATE_DATE_TITLE, ui->LABEL_BACKGROUND_VALUE_TITLE,
              ui->LABEL_FOCUS_UPDATE_DATE_TITLE, ui->LABEL_FOCUS_VALUE_TITLE},
             notoSans(20, QFont::Normal));
}

void UpdateCalibrationFrame::initialize()
{
    setUIState(SOFTWARE);
    const IQOQ_s& system = global_ini()->IQOQ;
    const Calibration_s& calibration = theApp.m_Calibration;
    ui->LABEL_SW_UPDATE_DATE->setText(system.Last_update);
    ui->LABEL_SW_VERSION->setText(theApp.m_CurrentVersion);
    ui->LABEL_FW_VERSION->setText(system.FW_version);
    ui->LABEL_BACKGROUND_UPDATE_DATE->setText(calibration.Last_calibration);
    ui->LABEL_BACKGROUND_VALUE->setText(calibration.Background_value);
    ui->LABEL_FOCUS_UPDATE_DATE->setText(calibration.Last_ref_calibration);
    ui->LABEL_FOCUS_VALUE->setText(QString::number(calibration.Z_Reference));
    m_strShownBackground = calibration.Background_value;
    m_bBackgroundChanged = false;
}

void UpdateCalibrationFrame::setUIState(UpdateUIState state)
{
    ui->BUTTON_SWUPDATE->setChecked(state == SOFTWARE);
    ui->SW_UPDATE->setVisible(state == SOFTWARE);
    ui->BUTTON_CALIBRATION->setChecked(state == CALIBRATION);
    ui->CALIBRATION->setVisible(state == CALIBRATION);
}

void UpdateCalibrationFrame::on_BUTTON_SWUPDATE_clicked()
{
    setUIState(SOFTWARE);
}

void UpdateCalibrationFrame::on_BUTTON_CALIBRATION_clicked()
{
    InitPosition();
    setUIState(CALIBRATION);
}

void UpdateCalibrationFrame::InitPosition()
{
    KLOG_ENTER;
    moveStageToCentre();
}

void UpdateCalibrationFrame::update_Background()
{
    Calibration_s& calibration = theApp.m_Calibration;
    const QString value = QStringLiteral("%1, %2").arg(MainSettings::exposureText(kova::kCalibrationBfnIni),
                                                       MainSettings::exposureText(kova::kCalibrationCusIni));
    // Against what the page showed: a completed calibration has already
    // reloaded theApp's value.
    m_bBackgroundChanged = value != m_strShownBackground;
    calibration.Background_value = value;
    m_strShownBackground = value;
    ui->LABEL_BACKGROUND_UPDATE_DATE->setText(calibration.Last_calibration);
    ui->LABEL_BACKGROUND_VALUE->setText(value);
}

void UpdateCalibrationFrame::update_Autofocus()
{
    Calibration_s& calibration = theApp.m_Calibration;
    const int reference = calibration.Z_Reference;
    calibration.Z_Reference_Validation = reference;
    calibration.Z_Reference_2ch = reference + kTwoChannelOffset;
    calibration.Z_Reference_Reusable = reference + kReusableOffset;
    ui->LABEL_FOCUS_UPDATE_DATE->setText(calibration.Last_ref_calibration);
    ui->LABEL_FOCUS_VALUE->setText(QString::number(reference));
    switch (theApp.m_nSlideType) {
    case SLIDE_TYPE_2CH:
        theApp.m_nZstageCenterPos = calibration.Z_Reference_2ch;
        break;
    case SLIDE_TYPE_REUSABLE:
        theApp.m_nZstageCenterPos = calibration.Z_Reference_Reusable;
        break;
    case SLIDE_TYPE_VALIDATION:
        theApp.m_nZstageCenterPos = calibration.Z_Reference_Validation;
        break;
    default:
        break;
    }
    theApp.m_nZstageCurrentPos = theApp.m_nZstageCenterPos;
}

void UpdateCalibrationFrame::on_BUTTON_SW_UPDATE_clicked()
{
    KLOG_ENTER;
    {
        UpdateSoftwareDlg update;
        theApp.m_bBusy = true;
        runDimmed(this, update);
    }
    theApp.m_bBusy = false;
    // What an update changes, were the program not restarted at its end.
    ui->LABEL_SW_UPDATE_DATE->setText(global_ini()->IQOQ.Last_update);
    ui->LABEL_SW_VERSION->setText(theApp.m_CurrentVersion);
}

void UpdateCalibrationFrame::on_BUTTON_IQOQ_clicked()
{
    IQOQDlg information;
    runDimmed(this, information);
}

void UpdateCalibrationFrame::on_BUTTON_CALIBRATE_BACKGROUND_clicked()
{
    KLOG_ENTER;
    if (theApp.m_pCamera && theApp.m_pCamera->isRunning())
        theApp.m_pCamera->close();
    {
        CalibrateBackgroundDlg calibration;
        theApp.m_bBusy = true;
        runDimmed(this, calibration);
    }
    update_Background();
    theApp.m_bBusy = false;
    theApp.m_bCalibrating = false;
}

void UpdateCalibrationFrame::on_BUTTON_CALIBRATE_AUTOFOCUS_clicked()
{
    KLOG_ENTER;
    {
        CalibrateAutofocusDlg calibration;
        theApp.m_bBusy = true;
        runDimmed(this, calibration);
    }
    update_Autofocus();
    theApp.m_bBusy = false;
}
