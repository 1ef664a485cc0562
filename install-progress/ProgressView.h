#pragma once

#include <QDialog>

#include <memory>

class QProcess;

namespace Ui {
class ProgressView;
}

// The progress window: a title, an animated indicator, the task the install
// script (`process`, not owned) is at and the elapsed time, centred on the
// screen.
class ProgressView : public QDialog
{
    Q_OBJECT

public:
    ProgressView(QWidget* parent, QProcess* process);
    ~ProgressView() override;

    // The installation did not work; the window stays until it is closed.
    void showFailure();

public slots:
    // Shows the elapsed time (whole seconds since the front end began) and
    // reads the script's complete lines: the capture of a progress line
    // becomes the task, waiting standard-error text is shown in red, other
    // lines are dropped.
    void slotOnReadyRead(unsigned int timeElapsed);

private:
    void showTask(const QString& text, Qt::TextFormat format);

    const std::unique_ptr<Ui::ProgressView> m_ui;
    QProcess* const m_process;
};
