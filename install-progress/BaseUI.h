#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QProcess>

#include <functional>

// Milliseconds since a front end was created; tests put in their own.
using ElapsedClock = std::function<qint64()>;

// The install-progress viewer's front-end interface. It follows the install
// script (`process`, not owned): both output channels call slotOnReadyRead(),
// every state change slotOnProcStateChanged(); the base does nothing with
// them. The elapsed time counts from the construction, just before the
// script starts.
class BaseUI : public QObject
{
    Q_OBJECT

public:
    // An empty `clock` is the wall clock.
    BaseUI(QObject* parent, QProcess* process, ElapsedClock clock = ElapsedClock());

    virtual void show();

    // The viewer's exit code: 0 once the script has started and ended by
    // itself with code 0; 1 while it runs and after a failed start, any other
    // code or a crash.
    int exitCode() const;

signals:
    // The viewer's work is done and it may end.
    void ended();

public slots:
    virtual void slotOnReadyRead();
    virtual void slotOnProcStateChanged(QProcess::ProcessState newState);

protected:
    // Whole seconds since the construction.
    unsigned int elapsedSeconds() const;
    bool succeeded() const { return exitCode() == 0; }

    QProcess* const m_process;

private:
    QElapsedTimer m_timer;
    ElapsedClock m_clock;
    bool m_started = false;  // a process that never started ends NotRunning with code 0 too
};
