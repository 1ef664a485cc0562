#pragma once

#include "Message/MessageBoxLook.h"
#include "SoftwareUpdate/UpdateSoftwareThread.h"

#include <QDialog>
#include <QFileInfo>
#include <QString>
#include <QTimer>

namespace Ui {
class UpdateSoftwareDlg;
}

// The software update from a USB stick, one message state at a time:
// START searches the stick and judges its package (-1, -3, -4 end there, with
// OK to close); OK on "found" prepares it (backup and unpacking by the worker,
// with a progress bar; failure is 7); OK on "ready" installs it (state 5, no
// buttons, until the worker reports); success records the date of the update
// in the settings and offers RESTART, which ends the program for a restart;
// a failed install has been rolled back by the worker and shows 7. While the
// worker runs, and after a complete install, nothing else closes the dialog.
class UpdateSoftwareDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kProgressIntervalMs = 100;

    explicit UpdateSoftwareDlg(QWidget* parent = nullptr);
    ~UpdateSoftwareDlg() override;

    // Shows a state's text and buttons; any value outside -4 to 8 is only stored.
    void setMessageType(SoftWareMessageType type);
    SoftWareMessageType messageType() const { return m_MessageType; }
    void setMessageButtonVisibility(MessageButtonVisibility visibility);
    int progress() const { return m_nProgress; }

    // Searches the stick with the searching text on screen and judges the
    // package it chose into `package`: -1, -3, -4 or 2. The screen waits for
    // it, at most twice UpdateSoftwareThread::kVersionWaitMs.
    SoftWareMessageType checkNewSoftware(QFileInfo& package);
    // The number of a version text, -1 when it is not "major.minor.build...".
    static int getVersion(const QString& text);
    // Hands the worker its settings and starts the prepare run.
    void prepareforupdate();
    // Does nothing.
    void updateSoftware();
    // The worker, for its settings while it does not run.
    UpdateSoftwareThread& worker() { return m_thread; }

public slots:
    void on_BUTTON_OK_clicked();
    void on_BUTTON_CANCEL_clicked();
    void on_BUTTON_RESTART_clicked();
    void slotUpdated(bool success, SoftwareUpdaterError error);
    // Repaints while the progress runs and is not stopped.
    void InvalidateProgressbar();
    // Does nothing.
    void ReceiveUpdatingResult(bool success);
    // Ignored while the worker runs, and once the update is installed.
    void reject() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void setFont();
    void startInstall();
    // The date of this update into theApp, the settings record and the file's key.
    void recordUpdate();
    // While the worker runs, and once the new software is in place (the
    // program must restart to run it), the dialog cannot be closed.
    bool mustStay() const;

    Ui::UpdateSoftwareDlg* ui;
    UpdateSoftwareThread m_thread;
    QTimer m_ProgressTimer;
    int m_nProgress = 0;  // pixels of the bar, up to kCalibrationProgressWidth
    bool m_bProgressRunning = false;
    bool m_bProgressStopped = false;  // holds the bar where it is; cleared when preparing starts
    UpdateSoftwareThread::ProgramVersionType m_ProgramVersionType = 0;
    SoftWareMessageType m_MessageType = SOFTWARE_INSERT_USB;
    QFileInfo m_NewSoftware;
    QString m_strNewVersion;  // the package's VERSION
};
