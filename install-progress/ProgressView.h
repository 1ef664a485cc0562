#pragma once

#include <QDialog>
#include <QProcess>

#include <memory>

namespace Ui {
class ProgressView;
}

// The progress window: a title, an animated indicator, the task the install
// script (`process`, not owned) is at and the elapsed time, centred on the
// screen. While the script runs, nothing closes it: the installation would
// end half way.
class ProgressView : public QDialog
{
    Q_OBJECT

public:
    ProgressView(QWidget* parent, QProcess* process);
    ~ProgressView() override;

    // The script has ended: what standard error still holds is shown, and
    // after a failed installation "Installation failed" above the last error
    // text; the window then stays until it is closed. An error text is shown
    // line by line, wrapped; of one too long for the window, its last lines.
    void showEnd(bool succeeded);
    void reject() override;

public slots:
    // Shows the elapsed time (whole seconds since the front end began) and
    // reads the script's complete lines: the capture of a progress line
    // becomes the task, waiting standard-error text is shown in red, other
    // lines are dropped.
    void slotOnReadyRead(unsigned int timeElapsed);
    // On the change to NotRunning, showEnd() with the script's verdict: it
    // started and ended by itself with code 0. Other states change nothing.
    void slotOnProcStateChanged(QProcess::ProcessState newState);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void readOutput(bool ended);
    void showTask(const QString& text, Qt::TextFormat format);
    // `heading` (plain text, may be empty) above as much of the end of
    // `error` as the task's box holds.
    void showError(const QString& heading, const QString& error);
    bool fitsTheTask(const QString& richText) const;
    bool scriptRuns() const;

    const std::unique_ptr<Ui::ProgressView> m_ui;
    QProcess* const m_process;
    QString m_lastError;  // the last standard-error text shown
    bool m_started = false;  // a script that never started ends NotRunning with code 0 too
};
