#include "BaseUI.h"

#include "platform/InstallScript.h"
#include "platform/Log.h"

BaseUI::BaseUI(QObject* parent, QProcess* process, ElapsedClock clock)
    : QObject(parent)
    , m_process(process)
    , m_clock(std::move(clock))
{
    m_timer.start();
    connect(process, &QProcess::readyReadStandardOutput, this, &BaseUI::slotOnReadyRead);
    connect(process, &QProcess::readyReadStandardError, this, &BaseUI::slotOnReadyRead);
    connect(process, &QProcess::stateChanged, this, &BaseUI::slotOnProcStateChanged);
    connect(process, &QProcess::started, this, [this] { m_started = true; });
    connect(process, &QProcess::errorOccurred, this,
            [process] { KLOG << "install script:" << process->errorString(); });
    connect(process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), this,
            [](int code, QProcess::ExitStatus status) {
                KLOG << "install script ended:" << (status == QProcess::CrashExit ? "crashed" : "exit code") << code;
            });
}

void BaseUI::show() {}

void BaseUI::slotOnReadyRead() {}

void BaseUI::slotOnProcStateChanged(QProcess::ProcessState) {}

int BaseUI::exitCode() const
{
    return platform::installScriptSucceeded(m_started, *m_process) ? 0 : 1;
}

unsigned int BaseUI::elapsedSeconds() const
{
    return static_cast<unsigned int>((m_clock ? m_clock() : m_timer.elapsed()) / 1000);
}
