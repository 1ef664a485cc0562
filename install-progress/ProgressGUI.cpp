#include "ProgressGUI.h"

#include "ProgressView.h"

ProgressGUI::ProgressGUI(QObject* parent, QProcess* process, ElapsedClock clock)
    : BaseUI(parent, process, std::move(clock))
    , m_view(std::make_unique<ProgressView>(nullptr, process))
{
}

ProgressGUI::~ProgressGUI() = default;

void ProgressGUI::show()
{
    m_view->show();
}

void ProgressGUI::slotOnReadyRead()
{
    m_view->slotOnReadyRead(elapsedSeconds());
}

void ProgressGUI::slotOnProcStateChanged(QProcess::ProcessState newState)
{
    m_view->slotOnProcStateChanged(newState);
    if (newState == QProcess::NotRunning && succeeded())
        emit ended();
}
