// A microcontroller restart during a count of the live sample or Find Cells:
// the LED went dark and the stage was homed under the work, so it yields no
// result, and the screen says so once the restart has been handled.
#include "Count/CountDlg.h"

#include "KovaCore/KovaCoreApp.h"

#include "platform/Log.h"

void CountDlg::slot_device_restarted()
{
    if (!m_bCounting && !m_FindCellsRun)
        return;
    KLOG << "[Error] the microcontroller restarted during the work: its result is void";
    m_bRestartedDuringWork = true;
}

void CountDlg::endCountAfterRestart()
{
    KLOG << "[Error] the microcontroller restarted during the count: nothing of it is kept";
    // The restart's handling waits for the stage; the screen stays locked till it is done.
    m_CountStageUse.reset();
    m_ProgressTimer.stop();
    afterRestartHandled([this] {
        endCounting();
        if (theApp.m_bAgingMode) {
            KLOG << "message" << kTransmissionError << "in the aging run: the count is void, the run goes on";
        } else {
            theApp.m_bBusy = false;
            m_BackLabel.message(kTransmissionError);
        }
        // A restart during the autofocus left the live view running.
        stopCamera(false);
        backToLiveView();
        if (theApp.m_bAgingMode)
            agingStep();
    });
}

void CountDlg::afterRestartHandled(std::function<void()> then)
{
    m_bRestartedDuringWork = false;
    m_AfterRestartHandled = std::move(then);
    QMetaObject::invokeMethod(this, &CountDlg::slot_stage_released, Qt::QueuedConnection);
}

void CountDlg::slot_stage_released()
{
    const Controller* link = Controller::instance;
    if (!m_AfterRestartHandled || (link && link->isStageInUse()))
        return;
    const std::function<void()> then = std::move(m_AfterRestartHandled);
    m_AfterRestartHandled = nullptr;
    then();
}
