// The counting screen's focus controls: the stage window around the
// calibrated centre and its indicator.
#include "Count/CountDlg.h"

#include "ui_CountDlg.h"

#include "Controller/Controller.h"
#include "KovaCore/KovaCoreApp.h"

#include "platform/Log.h"

#include <QCoreApplication>

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
