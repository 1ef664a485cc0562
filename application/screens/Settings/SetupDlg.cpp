#include "Settings/SetupDlg.h"

#include "ui_SetupDlg.h"

#include "Camera/OV5642Camera.h"
#include "Common/DimOverlay.h"
#include "Common/ScreenHeader.h"
#include "Controller/Controller.h"
#include "HomeDlg/HomeDlg.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "Network/NetworkManager.h"
#include "Settings/SettingsLook.h"
#include "Settings/SettingsResources.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QMovie>

SetupDlg::SetupDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::SetupDlg)
{
    KLOG_ENTER;
    initSettingsResources();
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);
    setFont();
    theApp.m_nCurrentDialog = KOVACORE_SETUP_DIALOG;
    m_pOverlay = std::make_unique<DimOverlay>(this);
    slot_setProgress(false);
    initialize();
}

SetupDlg::~SetupDlg()
{
    // Leaving from the networks page hides it too: the media check slows down again.
    if (m_state == NETWORKS)
        theApp.m_pNetworkManager->unregisterNotify();
    delete ui;
}

void SetupDlg::setFont()
{
    setFonts({ui->LABEL_LOGIN_ID, ui->LABEL_COMMON_TITLE, ui->LABEL_COMMON_TITLE2, ui->LABEL_COMMON_PROTOCOL,
              ui->LABEL_COMMON_DATETIME},
             notoSans(15, 57));
    ui->LABEL_COUNT_TITLE->setFont(notoSans(24, QFont::Bold));
    setFonts({ui->BUTTON_CELL_COUNTING, ui->BUTTON_SAVE_REVIEW, ui->BUTTON_NETWORKS, ui->BUTTON_DATE_POWER,
              ui->BUTTON_UPDATE_CALIBRATION},
             notoSans(20, 57));
    setFonts({ui->LABEL_CONNECTING, ui->LABEL_TEXT}, notoSans(24, 57));
}

void SetupDlg::initialize()
{
    setMainUIState(COUNTING_OPTIONS);
    connect(ui->SaveReview, &SaveReviewframe::signal_setBackStatus, this, &SetupDlg::slot_setBackStatus);
    connect(ui->DatePower, &DatePowerframe::signal_setBackStatus, this, &SetupDlg::slot_setBackStatus);
    connect(ui->Networks, &NetworksFrame::signal_setBackStatus, this, &SetupDlg::slot_setBackStatus);
    connect(ui->Networks, &NetworksFrame::signal_setProgress, this, &SetupDlg::slot_setProgress);
    connect(ui->UpdateCalibration, &UpdateCalibrationFrame::signal_setBackStatus, this,
            &SetupDlg::slot_setBackStatus);
}

void SetupDlg::setMainUIState(SettingsUIState state)
{
    KLOG_ENTER;
    KLOG_VALUE("state", int(state));
    const bool networksShown = !ui->Networks->isHidden();
    switch (state) {
    case COUNTING_OPTIONS:
        if (theApp.m_pCamera && theApp.m_pCamera->isRunning())
            theApp.m_pCamera->close();
        ui->CellCounting->initialize();
        break;
    case SAVE_REVIEW:
        ui->SaveReview->initialize();
        break;
    case UPDATE_CALIBRATION:
        if (Controller::instance)
            Controller::instance->led_brightness(global_ini()->LED);
        break;
    case NETWORKS:
    case DATE_POWER:
        break;
    }
    m_state = state;
    QFrame* const pages[] = {ui->CellCounting, ui->SaveReview, ui->Networks, ui->DatePower, ui->UpdateCalibration};
    QPushButton* const buttons[] = {ui->BUTTON_CELL_COUNTING, ui->BUTTON_SAVE_REVIEW, ui->BUTTON_NETWORKS,
                                    ui->BUTTON_DATE_POWER, ui->BUTTON_UPDATE_CALIBRATION};
    for (int page = 0; page < 5; ++page) {
        pages[page]->setVisible(page == state);
        buttons[page]->setChecked(page == state);
    }
    // The media check runs often only while the networks page is shown.
    if (networksShown != (state == NETWORKS)) {
        if (state == NETWORKS)
            theApp.m_pNetworkManager->registerNotify();
        else
            theApp.m_pNetworkManager->unregisterNotify();
    }
}

void SetupDlg::on_BUTTON_CELL_COUNTING_clicked()
{
    setMainUIState(COUNTING_OPTIONS);
}

void SetupDlg::on_BUTTON_SAVE_REVIEW_clicked()
{
    setMainUIState(SAVE_REVIEW);
}

void SetupDlg::on_BUTTON_NETWORKS_clicked()
{
    setMainUIState(NETWORKS);
}

void SetupDlg::on_BUTTON_DATE_POWER_clicked()
{
    setMainUIState(DATE_POWER);
    if (m_bDatePowerConnected)
        return;
    m_bDatePowerConnected = true;
    connect(ui->DatePower, &DatePowerframe::sig_gotoLoaderMode, this, &SetupDlg::slot_gotoHome);
    connect(ui->DatePower, &DatePowerframe::sig_FactoryReset, this, &SetupDlg::slot_gotoFactoryReset);
}

void SetupDlg::on_BUTTON_UPDATE_CALIBRATION_clicked()
{
    setMainUIState(UPDATE_CALIBRATION);
}

void SetupDlg::on_BUTTON_HOME_clicked()
{
    KLOG_ENTER;
    theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
    const bool modeChanged = ui->CellCounting->modeChanged();
    if (modeChanged && theApp.m_pHomeDlg)
        theApp.m_pHomeDlg->handle_previous_counts();
    // The next camera start takes the calibration file of the mode, not the
    // auto exposure's made with the old mode or the old calibration.
    if (modeChanged || ui->UpdateCalibration->backgroundChanged())
        theApp.m_bAutoExposureOn = false;
    close();
}

void SetupDlg::slot_gotoHome()
{
    if (theApp.m_bProgramExit)
        on_BUTTON_HOME_clicked();
}

void SetupDlg::slot_gotoFactoryReset()
{
    emit sig_setFactoryReset();
}

void SetupDlg::slot_set_backLabel(bool show)
{
    if (ui->DatePower->isVisible() && ui->DatePower->isDateDialogOpen()) {
        ui->DatePower->slot_set_backLabel(show);
        return;
    }
    if (ui->SaveReview->isVisible() && ui->SaveReview->isKeyboardOpen()) {
        ui->SaveReview->slot_set_backLabel(show);
        return;
    }
    m_pOverlay->request(show);
}

void SetupDlg::slot_setBackStatus(bool show)
{
    if (show)
        m_pOverlay->show();
    else
        m_pOverlay->hide();
}

void SetupDlg::slot_setProgress(bool show)
{
    // One movie at a time: each call starts the animation afresh.
    delete m_pProgressMovie;
    m_pProgressMovie = new QMovie(QStringLiteral(":/Settings/networks/loader1.gif"), QByteArray(), this);
    m_pProgressMovie->setScaledSize(QSize(100, 105));
    ui->LABEL_PROGRESS_ICON->setMovie(m_pProgressMovie);
    if (!show) {
        ui->Progress->hide();
        return;
    }
    m_pProgressMovie->start();
    QCoreApplication::processEvents();
    ui->Progress->raise();
    ui->Progress->show();
}

void SetupDlg::paintEvent(QPaintEvent* event)
{
    showCountingMode(ui->LABEL_MODE, ui->LABEL_COMMON_PROTOCOL);
    ui->LABEL_COMMON_DATETIME->setText(theApp.m_strDateTime);
    QDialog::paintEvent(event);
}
