#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>

namespace Ui {
class SavingDlg;
}

// The box a save run shows over the screen: a message, a progress bar painted
// by hand and OK. start() begins a run, setProgress() moves the bar, and
// every paint of a running box adds one more pixel, so the bar creeps on
// while a long file is written. complete() ends the run (the bar goes) and
// setMode() chooses the closing text; OK emits sig_close_dlg() and closes.
class SavingDlg : public QDialog
{
    Q_OBJECT

public:
    enum Mode {
        ModeSaving = 0,        // "Please wait. Saving in progress ...", no OK
        ModeCompleted = 1,     // "Save completed!"
        ModeWriteFailed = 5,   // message 5: a file could not be written
        ModeStickRemoved = -1, // message 9 (0009); so is any value not named here
    };
    static constexpr int kBarLeft = 100;
    static constexpr int kBarTop = 182;
    static constexpr int kBarWidth = 300;
    static constexpr int kBarHeight = 10;

    explicit SavingDlg(QWidget* parent = nullptr);
    ~SavingDlg() override;

    void start();
    // The filled part becomes 3 × percent pixels; repaints.
    void setProgress(int percent);
    void complete();
    void stop();
    // The message and OK of a mode; then pending events are handled and the box repainted.
    void setMode(int mode);

    // The filled part of the bar in pixels, 0 to 300.
    int progress() const { return m_nProgress; }

    // A hand-over with the save job by signals: names the result (file name
    // a, folder b) that SetInitialize announces through SendSavingInfo.
    void SetFilename(QString a, QString b);
    void SetInitialize(int n);

signals:
    void sig_close_dlg();
    void SendSavingInfo(QString fileName, QString path, int n);

public slots:
    // Repaints while a run is under way.
    void InvalidateProgressbar();
    // The job's end: a full bar, then the box closes.
    void ReceiveSavingCompleted(bool pass);

protected:
    void paintEvent(QPaintEvent* event) override;

private slots:
    void on_BUTTON_OK_clicked();

private:
    QString m_strPath;
    QString m_strFileName;
    QTimer m_initTimer;
    QTimer m_refreshTimer;
    bool m_bSaving = false;
    bool m_bSaved = false;
    int m_nProgress = 0;
    Ui::SavingDlg* ui;
};
