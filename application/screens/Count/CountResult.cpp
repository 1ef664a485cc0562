// The counting screen's side of a count: the Count press, the hand-over to
// the counting worker in its thread, the take-over of its result, the result
// texts and pages, the re-count of a stored image, Next Count, and the result
// column's save/print dialog and dilution calculator.
#include "Count/CountDlg.h"

#include "ui_CountDlg.h"

#include "Camera/OV5642Camera.h"
#include "Count/DiluionCalculatorDlg.h"
#include "Count/SavePrintDlg.h"
#include "DoCellCounting/DoCellCounting.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "Common/ScreenHeader.h"

#include "platform/Log.h"

#include "velimbio/CellCounter.h"

#include <QCoreApplication>
#include <QThread>

#include <cstring>
#include <utility>

namespace {

constexpr unsigned char kBlankLiveByte = 10;  // near black until the first new frame

// The loaded protocol as a count's snapshot: no gate chosen yet.
template <class Protocol>
Protocol snapshot(Protocol loaded)
{
    loaded.gating_min_size = -1;
    loaded.gating_max_size = -1;
    return loaded;
}

}  // namespace

void CountDlg::on_BUTTON_COUNT_clicked()
{
    KLOG_ENTER;
    m_bRestartedDuringWork = false;
    useStageForTheCount();
    m_CountAllTimer.start();
    slot_check_intensity();
    ui->BUTTON_AUTO_FOCUS_MINUS->setChecked(false);
    ui->BUTTON_AUTO_FOCUS_PLUS->setChecked(false);
    ui->BUTTON_ZOOM->hide();
    CountButtonState(false);
    m_bCounting = true;
    m_bCounted = false;
    setMainUIState(StateCounting);
    m_nProgress = 0;
    m_ProgressTimer.start(kProgressIntervalMs);
    theApp.m_bBusy = true;
    m_bFocusingBeforeCount = theApp.m_bAutofocusedCounting;
    if (m_bFocusingBeforeCount)
        slot_do_autoFocusing();
    // Nothing is captured in the dark or off the focus.
    if (m_bRestartedDuringWork) {
        endCountAfterRestart();
        return;
    }
    slot_do_counting();
}

void CountDlg::slot_do_counting()
{
    KLOG_ENTER;
    m_CountTimer.start();
    if (theApp.m_bAgingMode) {
        ui->AGING_MODE->setEnabled(true);
        ui->BUTTON_AGING_STOP->setEnabled(true);
    }
    for (QWidget* widget : {static_cast<QWidget*>(ui->BUTTON_AUTO_FOCUS_MINUS),
                            static_cast<QWidget*>(ui->BUTTON_AUTO_FOCUS_PLUS),
                            static_cast<QWidget*>(ui->LABEL_FOCUS_TITLE),
                            static_cast<QWidget*>(ui->LABEL_FIND_CELLS_TITLE)})
        widget->setEnabled(false);
    takeProtocolSnapshot(false);
    // The worker takes the camera over: the live view lets it go first.
    stopCamera(false);
    if (m_bFindCells)
        CUR_CAL_INI = kova::kAutoExposureIni;
    startWorker(false);
}

void CountDlg::takeProtocolSnapshot(bool otherModesAsViability)
{
    const int mode = theApp.m_CountingMode;
    if (mode == BF_TOTAL_CELL_COUNTING) {
        m_TotalProtocol = snapshot(theApp.m_Loaded_Total_Protocol);
        theApp.m_Counted_Total_Protocol = m_TotalProtocol;
    } else if (mode == BF_CELL_COUNTING_VIABILITY || otherModesAsViability) {
        m_ViabilityProtocol = snapshot(theApp.m_Loaded_Viability_Protocol);
        theApp.m_Counted_Viability_Protocol = m_ViabilityProtocol;
    }
}

void CountDlg::startWorker(bool reAnalysis, const QString& storedImage)
{
    // Direct calls: the worker is idle between counts and its thread waits.
    m_pDoCellCounting->registerCellCounter(theApp.m_pCellCounter, theApp.m_pCamera);
    if (reAnalysis)
        m_pDoCellCounting->m_image_path = storedImage;
    m_pDoCellCounting->setCountingParameters(m_fGreenReference, CUR_CAL_INI);
    if (theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING)
        m_pDoCellCounting->set_parameters_BF_TOTAL_CELL_COUNTING(m_TotalProtocol);
    else if (theApp.m_CountingMode == BF_CELL_COUNTING_VIABILITY)
        m_pDoCellCounting->set_parameters_BF_CELL_COUNTING_VIABILITY(m_ViabilityProtocol);
    m_pDoCellCounting->m_bReAnalysis = reAnalysis;
    m_pDoCellCounting->clearCountInfo();
    emit start_do_counting();
}

void CountDlg::receiveCountingCompleted()
{
    KLOG_ENTER;
    const bool reAnalysis = m_pDoCellCounting->m_bReAnalysis;
    if (std::exchange(m_bRestartedDuringWork, false) && !reAnalysis) {
        reopenCamera();
        endCountAfterRestart();
        return;
    }
    m_nProgress = kProgressDone;
    repaint();

    // Each call of the engine rewrites its one output image: the plain one is copied first.
    VelimBio::CellCounter* engine = theApp.m_pCellCounter;
    copyResultImage(engine->getOverlayImageData2(false));
    set_ScalebarImage(engine->getOverlayImageData2(true));
    // An aging run keeps its camera errors to its next step.
    if (!theApp.m_bAgingMode)
        m_nAgingCameraError = 0;
    m_nModeChangeFailures = 0;
    theApp.m_CountResult = m_pDoCellCounting->m_CountInfo;
    m_FramePixmap[ModeFull] = QPixmap::fromImage(m_FrameImage[ModeFull]);
    endCounting();
    m_nProgress = kProgressDone;
    m_bCounted = true;

    reopenCamera();
    AfterCounting();
    setEnabled(true);

    if (theApp.m_bAgingMode) {
        QThread::msleep(static_cast<unsigned long>(seams().agingPauseMs));
        if (theApp.m_SaveReview.m_bAutoSave)
            auto_save();
        else
            on_BUTTON_NEXT_COUNT_clicked();
    } else if (theApp.m_SaveReview.m_bAutoSave) {
        auto_save();
    } else {
        theApp.m_bBusy = false;
    }
    KLOG << "-------------Finish Count !!" << m_CountTimer.elapsed();
    KLOG << "-------------Finish Count ALL !!" << m_CountAllTimer.elapsed();
    update();
}

void CountDlg::reopenCamera()
{
    stopCamera(true);
    if (!theApp.m_pCamera)
        theApp.m_pCamera = new OV5642Camera;
    if (m_home.openCamera)
        m_home.openCamera();
}

void CountDlg::useStageForTheCount()
{
    // Kept through the count's new start after a failed switch to full resolution.
    if (!m_CountStageUse)
        m_CountStageUse.emplace(Controller::instance);
}

void CountDlg::endCounting()
{
    m_CountStageUse.reset();
    m_ProgressTimer.stop();
    m_bCounting = false;
    CountButtonState(true);
}

void CountDlg::AfterCounting()
{
    KLOG_ENTER;
    const bool total = theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING;
    m_ResultTexts = ResultTexts::fromResult(
        theApp.m_CountResult, total ? m_TotalProtocol.dilution_factor : m_ViabilityProtocol.dilution_factor);
    m_nZoom = 4;
    m_nCameraMode = ModeFull;
    m_nViewX = ImageNavigation::kResultView.x();
    m_nViewY = ImageNavigation::kResultView.y();
    theApp.m_CountResult.z_position = theApp.m_nZstageCurrentPos;
    if (total || theApp.m_CountingMode == BF_CELL_COUNTING_VIABILITY) {
        const TCountImageInfo& r = theApp.m_CountResult;
        gating_initialize(r.total_histogram, r.live_histogram, r.dead_histogram, r.cluster_histogram,
                          total ? m_TotalProtocol.dilution_factor : m_ViabilityProtocol.dilution_factor);
    }
    savePreviousCount();
    ui->BUTTON_REVIEW_OR_IMAGE->setText(QStringLiteral("Image"));
    setResult();
    setMainUIState(StateResult);
    QCoreApplication::processEvents();
    ui->BUTTON_ZOOM->setText(ImageNavigation::zoomCaption(1));
    ui->BUTTON_RESULT_ZOOM->setText(ImageNavigation::zoomCaption(4));
}

void CountDlg::slotCameraModeChangeFailed()
{
    KLOG_ENTER;
    m_ProgressTimer.stop();
    if (theApp.m_bAgingMode)
        ++m_nAgingCameraError;
    delete theApp.m_pCamera;
    theApp.m_pCamera = nullptr;
    QThread::msleep(static_cast<unsigned long>(seams().cameraRestartPauseMs));
    // Three attempts at most; a camera that never opens is message 49 and a restart.
    if (m_home.openCamera)
        m_home.openCamera();
    // No new start of a count the restart voided.
    if (std::exchange(m_bRestartedDuringWork, false)) {
        m_nModeChangeFailures = 0;
        endCountAfterRestart();
        return;
    }
    if (++m_nModeChangeFailures >= kCameraRestarts || !theApp.m_pCamera || !theApp.m_pCamera->isRunning()) {
        // The camera opens but never at full resolution: the count is given up.
        KLOG << "[Error] no full-resolution frame after" << m_nModeChangeFailures << "attempts";
        m_nModeChangeFailures = 0;
        endCounting();
        theApp.m_bBusy = false;
        m_BackLabel.message(kTransmissionError);
        setMainUIState(StateCount);
        startCamera(Mode1280, true);
        return;
    }
    on_BUTTON_COUNT_clicked();
}

void CountDlg::slot_analysis(QString path)
{
    KLOG_VALUE("path", path);
    m_bRestartedDuringWork = false;
    CountButtonState(false);
    setMainUIState(StateCount);
    m_bCounted = m_bImagePage = m_bTagOn = m_bFocusingBeforeCount = false;
    m_bFirstFrameUpdated = false;
    m_bCounting = true;
    ui->BUTTON_TAG->setChecked(false);
    m_nZoom = 1;
    m_nAgingCameraError = 0;
    m_nCameraInitRetry = 0;
    m_nViewX = ImageNavigation::kStartView.x();
    m_nViewY = ImageNavigation::kStartView.y();
    theApp.m_bBusy = true;
    useStageForTheCount();
    ui->BUTTON_REVIEW_OR_IMAGE->setText(QStringLiteral("Image"));
    ui->BUTTON_CELL_TYPE->setText(QStringLiteral("Total"));
    showCountingMode(ui->LABEL_MODE, ui->LABEL_COMMON_PROTOCOL);
    update();

    const int centre = theApp.m_nZstageCenterPos;
    m_nZstageMaxPos = centre + FocusWindow::kHalfWidth;
    m_nZstageMinPos = centre - FocusWindow::kHalfWidth;
    setFocusIndicator(centre);

    setMainUIState(StateCounting);
    for (QPushButton* button : {ui->BUTTON_AUTO_FOCUS_MINUS, ui->BUTTON_AUTO_FOCUS_PLUS}) {
        button->setChecked(false);
        button->setEnabled(false);
    }
    ui->BUTTON_ZOOM->hide();
    CountButtonState(false);
    m_nProgress = 0;
    update(m_ProgressRect);
    m_ProgressTimer.start(kProgressIntervalMs);

    // A re-count takes the viability snapshot in every mode but 0, and the
    // calibration file in force (no switch to the auto-exposure one).
    takeProtocolSnapshot(true);
    startWorker(true, path);
}

void CountDlg::slotReAnalysisFailed()
{
    KLOG_ENTER;
    endCounting();
    theApp.m_bBusy = false;
    setMainUIState(StateCount);
    m_BackLabel.message(kResultFileError);
}

void CountDlg::on_BUTTON_NEXT_COUNT_clicked()
{
    KLOG_ENTER;
    const bool aging = theApp.m_bAgingMode;
    if (!aging && m_BackLabel.message(kLeaveQuestion) != 1)
        return;
    backToLiveView();
    if (aging)
        agingStep();
}

void CountDlg::backToLiveView()
{
    setMainUIState(StateCount);
    m_bCounting = m_bCounted = m_bImagePage = m_bTagOn = false;
    ui->BUTTON_TAG->setChecked(false);
    m_nViewX = ImageNavigation::kStartView.x();
    m_nViewY = ImageNavigation::kStartView.y();
    m_nZoom = 1;
    theApp.m_nAutofocusOffset = 0;
    std::memset(m_pFrameBuffer[Mode1280], kBlankLiveByte, std::size_t(m_FrameImage[Mode1280].sizeInBytes()));
    if (m_bFindCells)
        CUR_CAL_INI = kova::kAutoExposureIni;
    else if (theApp.m_CountingMode == BF_CELL_COUNTING_VIABILITY)
        CUR_CAL_INI = kova::kCalibrationCusIni;
    else if (theApp.m_CountingMode == BF_TOTAL_CELL_COUNTING)
        CUR_CAL_INI = kova::kCalibrationBfnIni;
    startCamera(Mode1280, true);
    ui->BUTTON_CELL_TYPE->setText(QStringLiteral("Total"));
}

void CountDlg::on_BUTTON_SAVE_PRINT_clicked()
{
    KLOG_ENTER;
    delete m_pSavePrintDlg;
    m_pSavePrintDlg = new SavePrintDlg;
    connect(m_pSavePrintDlg, &SavePrintDlg::signalFilenameReplaced, this, &CountDlg::signalFilenameReplaced);
    m_pSavePrintDlg->exec();
    delete m_pSavePrintDlg;
    m_pSavePrintDlg = nullptr;
}

void CountDlg::on_BUTTON_DILUTION_clicked()
{
    KLOG_ENTER;
    delete m_pDiluionCalculatorDlg;
    m_pDiluionCalculatorDlg = new DiluionCalculatorDlg;
    const TCountImageInfo& r = theApp.m_CountResult;
    m_pDiluionCalculatorDlg->setConcentration(r.total, r.total_exp, r.live, r.live_exp, r.dead, r.dead_exp);
    m_pDiluionCalculatorDlg->exec();
}
