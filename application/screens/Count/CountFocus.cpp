// The counting screen's focus and exposure: focus steps in the window around
// the calibrated centre with its indicator, autofocus, the live picture's
// green reference, auto exposure, and Find Cells.
#include "Count/CountDlg.h"

#include "ui_CountDlg.h"

#include "Algorithm/AutoExposure.h"
#include "Algorithm/alg_Autofocus.h"
#include "Camera/OV5642Camera.h"
#include "Controller/Controller.h"
#include "Debug/DebugMessage.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <utility>

namespace {

constexpr unsigned short kExposureRegister = 0x3501;

// A focus step: one move of 256 motor steps, the pressed button kept down and
// the other one usable again.
void step(bool up, QPushButton* pressed, QPushButton* other)
{
    if (Controller* controller = Controller::instance) {
        if (up)
            controller->z_stage_mvp(Controller::MODE_NON_BLOCKING, FocusWindow::kStep);
        else
            controller->z_stage_mvn(Controller::MODE_NON_BLOCKING, FocusWindow::kStep);
    }
    pressed->setChecked(true);
    if (!other->isEnabled())
        other->setEnabled(true);
}

}  // namespace

void CountDlg::setFocusIndicator(int position)
{
    QLabel* line = ui->LABEL_FOCUS_GUIDE_LINE;
    line->move(line->x(), FocusWindow::indicatorY(position, m_nZstageMinPos));
    // The indicator moves visibly during long operations.
    QCoreApplication::processEvents();
}

void CountDlg::applyFocusWindow(int position)
{
    const FocusWindow::Moves moves = FocusWindow::allowedMoves(position, theApp.m_nZstageCenterPos);
    for (const auto& [button, allowed] :
         {std::pair{ui->BUTTON_AUTO_FOCUS_PLUS, moves.up}, std::pair{ui->BUTTON_AUTO_FOCUS_MINUS, moves.down}}) {
        // A button at the window's edge stays pressed and cannot be used.
        if (!allowed)
            button->setChecked(true);
        button->setEnabled(allowed);
    }
}

void CountDlg::slot_z_stage_moved()
{
    if (!Controller::instance)
        return;
    theApp.m_nZstageCurrentPos = Controller::instance->currentPosition();
    KLOG_VALUE("m_nZstageCurrentPos", theApp.m_nZstageCurrentPos);
    if (!m_bFocusingBeforeCount && m_State != StateCounting) {
        setFocusIndicator(theApp.m_nZstageCurrentPos);
        applyFocusWindow(theApp.m_nZstageCurrentPos);
    }
}

void CountDlg::on_BUTTON_AUTO_FOCUS_PLUS_clicked()
{
    step(true, ui->BUTTON_AUTO_FOCUS_PLUS, ui->BUTTON_AUTO_FOCUS_MINUS);
}

void CountDlg::on_BUTTON_AUTO_FOCUS_MINUS_clicked()
{
    step(false, ui->BUTTON_AUTO_FOCUS_MINUS, ui->BUTTON_AUTO_FOCUS_PLUS);
}

void CountDlg::slot_do_autoFocusing()
{
    KLOG_ENTER;
    QElapsedTimer clock;
    clock.start();
    if (theApp.m_bAgingMode) {
        ui->AGING_MODE->setEnabled(true);
        ui->BUTTON_AGING_STOP->setEnabled(true);
    }
    theApp.m_nAutofocusOffset = m_nAutofocusOffset;
    theApp.m_bAutofocusing = true;
    OV5642Camera* camera = theApp.m_pCamera;
    m_pAutofocus = new alg_Autofocus(this, camera, camera ? camera->width() : 0, camera ? camera->height() : 0);
    connect(m_pAutofocus, &alg_Autofocus::sig_move_z_position, this, &CountDlg::slot_move_z_position);
    connect(m_pAutofocus, &alg_Autofocus::sig_endAutoFocusing, this, &CountDlg::slot_endAutoFocusing);
    connect(m_pAutofocus, &alg_Autofocus::sig_debug_Message, this, &CountDlg::slot_debug_Message);
    m_pAutofocus->setParam(theApp.m_nZstageCenterPos, m_nAutofocusOffset, true, !m_DebugMessage->isHidden());
    m_pAutofocus->process();
    KLOG_VALUE("autofocus ms", clock.elapsed());
}

void CountDlg::slot_move_z_position(int position)
{
    emit sig_debug_Message({});
    setFocusIndicator(position);
    theApp.m_nZstageCurrentPos = position;
}

void CountDlg::slot_endAutoFocusing(int position)
{
    KLOG_VALUE("position", position);
    emit sig_debug_Message({});
    setFocusIndicator(position);
    theApp.m_nZstageCurrentPos = position;
    applyFocusWindow(position);
    // Emitted from inside the run: released once its call has returned.
    m_pAutofocus->deleteLater();
    m_pAutofocus = nullptr;
    m_bFocusingBeforeCount = false;
    theApp.m_bAutofocusing = false;
    emit sig_endAutoFocusing();
}

void CountDlg::showAutofocusOffset()
{
    const bool none = m_nAutofocusOffset == 0;
    ui->BUTTON_AUTO_FOCUS_OFFSET->setFont(notoSans(none ? 18 : 24, QFont::Medium));
    ui->BUTTON_AUTO_FOCUS_OFFSET->setText(none ? QStringLiteral("Offset") : QString::number(m_nAutofocusOffset));
}

void CountDlg::on_BUTTON_AUTO_FOCUS_OFFSET_clicked()
{
    if (m_nAutofocusOffset < 0 || m_nAutofocusOffset >= kFocusOffsets)
        return;
    m_nAutofocusOffset = (m_nAutofocusOffset + 1) % kFocusOffsets;
    KLOG_VALUE("m_nAutofocusOffset", m_nAutofocusOffset);
    showAutofocusOffset();
}

void CountDlg::on_COMBO_AF_OFFSET_currentTextChanged(const QString& arg1)
{
    // A service control: the offset the button chooses stays the one used.
    KLOG_VALUE("COMBO_AF_OFFSET", arg1);
}

void CountDlg::slot_check_intensity()
{
    OV5642Camera* camera = theApp.m_pCamera;
    unsigned char* frame = camera && camera->isRunning() ? camera->getFrame() : nullptr;
    if (!frame) {
        KLOG << "[Error] no live frame for the green reference";
        return;
    }
    float red = 0, green = 0, blue = 0;
    camera->getIntensityMean(frame, red, green, blue);
    m_fGreenReference = green;
    KLOG_VALUE("m_fGreenReference", m_fGreenReference);
}

AutoExposure::Camera CountDlg::exposureCamera(QDeadlineTimer deadline)
{
    OV5642Camera* camera = theApp.m_pCamera;
    AutoExposure::Camera access;
    access.measureGreen = [this, camera, deadline]() -> std::optional<int> {
        unsigned char* frame = getFrame(kExposureFrameSkip, deadline);
        if (!frame)
            return std::nullopt;
        return camera->getGreenMean(frame);
    };
    access.readExposure = [camera] { return camera->getRegister(kExposureRegister); };
    access.writeExposure = [camera](unsigned short exposure) { camera->setRegister(kExposureRegister, exposure); };
    return access;
}

bool CountDlg::slot_do_autoExposure()
{
    std::optional<unsigned short> found;
    if (!searchExposure(found))
        return false;
    if (found)
        save_autoExposure(*found);
    return true;
}

bool CountDlg::searchExposure(std::optional<unsigned short>& found)
{
    KLOG_ENTER;
    found.reset();
    OV5642Camera* camera = theApp.m_pCamera;
    if (!camera || !camera->isRunning())
        return true;
    QElapsedTimer clock;
    clock.start();
    const AutoExposure::Result result = AutoExposure::search(exposureCamera(QDeadlineTimer(seams().exposureSearchMs)));
    KLOG << "auto exposure" << int(result.outcome) << "exposure" << result.exposure << "green" << result.green
         << "measurements" << result.measurements << "ms" << clock.elapsed();
    if (result.outcome == AutoExposure::Result::Outcome::CameraStalled) {
        m_BackLabel.message(kTransmissionError);
        return false;
    }
    if (result.outcome == AutoExposure::Result::Outcome::Converged)
        found = result.exposure;
    return true;
}

void CountDlg::save_autoExposure(unsigned short exposure)
{
    QString error;
    if (!AutoExposure::save(exposure, &error))
        KLOG << "[Error] auto exposure not kept:" << error;
}

void CountDlg::on_BUTTON_AUTO_EXPOSURE_clicked()
{
    setEnabled(false);
    slot_do_autoExposure();
    setEnabled(true);
}

void CountDlg::on_BUTTON_AUTO_FOCUS_clicked()
{
    connect(this, &CountDlg::sig_endAutoFocusing, this, &CountDlg::slot_end_findcells, Qt::UniqueConnection);
    setEnabled(false);
    slot_do_autoFocusing();
}

void CountDlg::on_BUTTON_FIND_CELLS_clicked()
{
    slot_start_findcells();
}

void CountDlg::slot_start_findcells()
{
    KLOG_ENTER;
    FindCellsRun run;
    run.findCells = m_bFindCells;
    run.autoExposureOn = theApp.m_bAutoExposureOn;
    if (OV5642Camera* camera = theApp.m_pCamera; camera && camera->isRunning())
        run.exposure = camera->getRegister(kExposureRegister);
    m_FindCellsRun = run;
    m_bRestartedDuringWork = false;
    m_bFindCells = true;
    theApp.m_bAutoExposureOn = true;
    theApp.m_bBusy = true;
    // Only this run's end unlocks the screen, not an autofocus before a count.
    connect(this, &CountDlg::sig_endAutoFocusing, this, &CountDlg::slot_end_findcells, Qt::UniqueConnection);
    setEnabled(false);
    QCoreApplication::processEvents();
    // A camera that gives nothing new has nothing to focus on either.
    if (!searchExposure(m_FindCellsRun->found)) {
        slot_end_findcells();
        return;
    }
    slot_do_autoFocusing();
}

void CountDlg::slot_end_findcells()
{
    disconnect(this, &CountDlg::sig_endAutoFocusing, this, &CountDlg::slot_end_findcells);
    const std::optional<FindCellsRun> run = std::exchange(m_FindCellsRun, std::nullopt);
    const bool voided = run && std::exchange(m_bRestartedDuringWork, false);
    if (!voided) {
        if (run && run->found)
            save_autoExposure(*run->found);
        setEnabled(true);
        theApp.m_bBusy = false;
        return;
    }
    // Found in the dark or focused on a homed stage: nothing of it is kept.
    KLOG << "[Error] the microcontroller restarted during Find Cells: nothing kept";
    m_bFindCells = run->findCells;
    theApp.m_bAutoExposureOn = run->autoExposureOn;
    if (OV5642Camera* camera = theApp.m_pCamera; camera && camera->isRunning())
        camera->setRegister(kExposureRegister, run->exposure);
    afterRestartHandled([this] {
        m_BackLabel.message(kTransmissionError);
        setEnabled(true);
        theApp.m_bBusy = false;
    });
}
