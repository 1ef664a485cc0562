#pragma once

#include <QDialog>
#include <QTimer>

#include <functional>
#include <memory>

class CalibratingThread;
class CalibrationCamera;

namespace Ui {
class CalibrateBackgroundDlg;
}

// The two-step bright-field illumination calibration: step 1 with the slide
// port empty, step 2 through a slide with 1:1 trypan blue. For each step it
// moves the stage to the focus centre, runs one CalibratingThread and shows a
// progress bar; SKIP passes a step by. A failed step ends it with the code
// shown; a complete one reloads the register tables from the files.
class CalibrateBackgroundDlg : public QDialog
{
    Q_OBJECT

public:
    enum CalibrationMessageType {
        MESSAGE_STEP1 = 0,
        MESSAGE_PROCESSING1 = 1,
        MESSAGE_STEP2 = 2,
        MESSAGE_PROCESSING2 = 3,
        MESSAGE_UNCHANGED = 4,
        MESSAGE_COMPLETE = 5,
        MESSAGE_FAILED = 6,
    };
    enum State { STATE_STEP1 = 0, STATE_STEP2 = 1, STATE_COMPLETE = 2, STATE_FAILED = 3 };

    static constexpr int kProgressIntervalMs = 150;
    static constexpr int kStartPauseMs = 100;
    static constexpr int kEndPauseMs = 500;

    // What tests replace: the camera of the steps and the pauses.
    struct Seams
    {
        // Null: theApp's camera, opened through the home screen.
        std::function<std::unique_ptr<CalibrationCamera>()> makeCamera;
        int settleMs;  // the worker's settling pause
        int startPauseMs = kStartPauseMs;
        int endPauseMs = kEndPauseMs;
        Seams();
    };
    static Seams& seams();

    explicit CalibrateBackgroundDlg(QWidget* parent = nullptr);
    // A step still running is stopped and waited for.
    ~CalibrateBackgroundDlg() override;

    void setMessageType(CalibrationMessageType type);
    State state() const { return m_nState; }
    int progress() const { return m_nProgress; }
    int lastResult() const { return m_nLastResult; }

    void InitPosition();
    // The register tables and theApp's background value from the three files.
    void reload_background();
    // Nothing to load: the dialog shows no pictures.
    void LoadImages();

public slots:
    void InvalidateProgressbar();
    void Calibrate_Step_Completed(int result);
    void on_BUTTON_START_clicked();
    void on_BUTTON_SKIP_clicked();
    void on_BUTTON_EXIT_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void setFont();
    void startStep(int step);
    void showButtons(bool start, bool skip, bool exit);
    // EXIT alone in the middle: the calibration has ended.
    void showExitAlone();

    Ui::CalibrateBackgroundDlg* ui;
    CalibratingThread* m_pCalibratingThread = nullptr;  // the running step's
    QTimer m_ProgressTimer;
    State m_nState = STATE_STEP1;
    int m_nProgress = 0;
    bool m_bProcessing = false;
    bool m_bProgressFrozen = false;
    int m_nLastResult = 0;
    CalibrationMessageType m_MessageType = MESSAGE_STEP1;
};
