#include "Settings/CellCountingFrame.h"

#include "ui_CellCountingFrame.h"

#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "Settings/SettingsLook.h"

CellCountingFrame::CellCountingFrame(QWidget* parent)
    : QFrame(parent)
    , ui(new Ui::CellCountingFrame)
    , m_nReferenceMode(theApp.m_CountingMode)
{
    ui->setupUi(this);
    initialize();
    setFont();
}

CellCountingFrame::~CellCountingFrame()
{
    delete ui;
}

void CellCountingFrame::setFont()
{
    setFonts({ui->LABEL_COUNTING_MODE, ui->LABEL_SLIDE_SETTING, ui->LABEL_AUTOFOCUSED_COUNTING_TITLE,
              ui->BUTTON_AUTOFOCUSED_COUNTING},
             notoSans(20, 63));
    setFonts({ui->RADIO_MODE_BF_T, ui->RADIO_MODE_BF_V, ui->RADIO_SLIDE_2CH, ui->RADIO_SLIDE_REUSABLE,
              ui->RADIO_SLIDE_VALIDATION},
             notoSans(20, QFont::Normal));
}

void CellCountingFrame::initialize()
{
    setModeState(theApp.m_CountingMode);
    setSlideState(theApp.m_nSlideType);
    setOnOff(ui->BUTTON_AUTOFOCUSED_COUNTING, theApp.m_bAutofocusedCounting);
}

void CellCountingFrame::setModeState(int mode)
{
    ui->RADIO_MODE_BF_T->setChecked(mode == BF_TOTAL_CELL_COUNTING);
    ui->RADIO_MODE_BF_V->setChecked(mode == BF_CELL_COUNTING_VIABILITY);
    theApp.m_CountingMode = mode;
    m_bModeChanged = mode != m_nReferenceMode;
}

void CellCountingFrame::setSlideState(int slide)
{
    const Calibration_s& calibration = theApp.m_Calibration;
    switch (slide) {
    case SLIDE_TYPE_2CH:
        ui->RADIO_SLIDE_2CH->setChecked(true);
        theApp.m_nZstageCenterPos = calibration.Z_Reference_2ch;
        break;
    case SLIDE_TYPE_REUSABLE:
        ui->RADIO_SLIDE_REUSABLE->setChecked(true);
        theApp.m_nZstageCenterPos = calibration.Z_Reference_Reusable;
        break;
    case SLIDE_TYPE_VALIDATION:
        ui->RADIO_SLIDE_VALIDATION->setChecked(true);
        theApp.m_nZstageCenterPos = calibration.Z_Reference_Validation;
        break;
    default:
        break;
    }
    theApp.m_nSlideType = slide;
}

void CellCountingFrame::on_RADIO_MODE_BF_T_clicked()
{
    setModeState(BF_TOTAL_CELL_COUNTING);
}

void CellCountingFrame::on_RADIO_MODE_BF_V_clicked()
{
    setModeState(BF_CELL_COUNTING_VIABILITY);
}

void CellCountingFrame::on_RADIO_SLIDE_2CH_clicked()
{
    setSlideState(SLIDE_TYPE_2CH);
}

void CellCountingFrame::on_RADIO_SLIDE_REUSABLE_clicked()
{
    setSlideState(SLIDE_TYPE_REUSABLE);
}

void CellCountingFrame::on_RADIO_SLIDE_VALIDATION_clicked()
{
    setSlideState(SLIDE_TYPE_VALIDATION);
}

void CellCountingFrame::on_BUTTON_AUTOFOCUSED_COUNTING_clicked(bool checked)
{
    setOnOff(ui->BUTTON_AUTOFOCUSED_COUNTING, checked);
    theApp.m_bAutofocusedCounting = checked;
}
