#pragma once

#include "Controller/Controller.h"
#include "KovaCore/MainSettings.h"
#include "System/logrotate.h"

#include <QDateTime>
#include <QDialog>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class MouseCursorSelector;
class OV5642Camera;
class PowerControl;
class QLabel;
class QPushButton;

namespace Ui {
class HomeDlg;
}

// The home screen and the conductor of start-up. The constructor opens the
// link to the microcontroller; once it has answered, the whole start-up chain
// runs at once, still inside the constructor, and the first tick of the
// release timer after the event loop starts swaps the splash for this screen.
// Without an answer the splash stays and nothing of the chain runs.
class HomeDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kReleaseIntervalMs = 100;
    static constexpr int kClockIntervalMs = 1000;
    static constexpr int kCameraAttempts = 3;
    static constexpr int kCameraRetryPauseMs = 1000;
    static constexpr int kCameraSettleMs = 500;
    static constexpr int kCameraMode = 1;  // 1280 × 960
    // The message shown when the camera does not open (its only button restarts).
    static constexpr int kCameraNotDetectedMessage = 49;

    // Where the start-up and the camera meet the outside world; tests replace
    // them before constructing the screen, since the chain runs inside it.
    struct Seams
    {
        // Told the name of each start-up step as it begins.
        std::function<void(const QString& step)> onStartupStep;
        // Makes each camera object; null: a plain OV5642Camera.
        std::function<OV5642Camera*()> makeCamera;
        int cameraRetryPauseMs = kCameraRetryPauseMs;
        // The pause after closing the camera before another screen opens.
        int cameraSettleMs = kCameraSettleMs;
        // The clock; null: the system time.
        std::function<QDateTime()> now;
    };
    static Seams& seams();
    // The time of day for every screen: the system's, or the seam's clock.
    static QDateTime clock();

    explicit HomeDlg(QWidget* parent = nullptr);
    ~HomeDlg() override;

    // Opens the camera in theApp at 1280 × 960 with the calibration file in
    // force; up to three attempts, each after the first with a new camera
    // object. When all fail, message 49 and then the restart splash: the
    // program ends with exit code 2. Safe to call from another thread (it
    // then runs in the GUI thread).
    void openCamera();
    // Refreshes the result-tree copies of both previous-counts tables from
    // their masters and loads the table of the current counting mode.
    void handle_previous_counts();
    // Creates the result folders.
    void Init_saving_report();
    // Writes and reads back a register of the power-management chip.
    bool inspectHardware();
    // Arrow cursor when a mouse is attached at start-up.
    void detectMouse();
    // Disables (with the dim overlay) or enables (unchecked) the home buttons.
    void HomeButtonState(bool enable);
    // The counting screen was left: the home buttons work again.
    void close_CountDlg();

    bool isInitialized() const { return m_bInitialized; }
    Controller* controller() const { return m_pController; }
    QLabel* backLabel() const { return m_pBackLabel; }
    QPushButton* powerButton() const;
    const logrotate& logRotation() const { return m_logrotate; }
    const MainSettings::IdleMinutes& idleMinutes() const { return m_IdleMinutes; }
    // The roads out of the program (power-off, idle power-off, leaving for the launcher).
    PowerControl* powerControl() const { return m_pPowerControl; }

public slots:
    void slot_connected_controller();
    void slotInitialize();
    void releaseInitDlg();
    void notifyDateTime();
    void slotFactoryReset();
    // Rewrites the eleven built-in protocol files from their tables (at
    // start-up and at a factory reset); a file that cannot be written is
    // logged and the others are still written.
    void Init_local_protocol();
    // The microcontroller restarted: the LED brightness again and the stage
    // back to the position last known. While an autofocus, a count or the
    // handling of an earlier restart has the stage in use, this waits for its
    // end; the handling itself has the stage in use until its move has been
    // answered or a restart cut it short.
    void slot_device_reset();
    void slot_z_stage_origin() {}
    void slot_z_stage_abs() {}
    void on_BUTTON_LOGOUT_clicked();
    // Only over the home screen (current-dialog id 0): runs the protocol
    // screen until it closes, with the home buttons off meanwhile.
    void on_BUTTON_PROTOCOL_pressed();
    // Opens the camera when it is closed and prepares the counting screen,
    // which reports its first live frame before it is shown.
    void on_BUTTON_COUNT_pressed();
    void slotFirstFrameUpdated();
    // The same for the settings screen; afterwards leaves for the launcher,
    // completes a factory reset, and writes the settings, so no change waits
    // for the next power-off.
    void on_BUTTON_SETUP_pressed();
    // The same for the review screen, whose re-analysis leads to the
    // counting screen.
    void on_BUTTON_REVIEW_pressed();
    // The review screen asks to count a stored raw image again: the counting
    // screen comes up (its camera opened when closed) and the review screen
    // closes; the counting screen's slot_analysis, connected after this, counts it.
    void slot_Count_start(QString path);

    // The power roads, handed to the power control.
    void on_POWER_OFF_TIMER(bool active);
    void slot_POWER_OFF_KEY_forOld(bool pressed);
    void slot_device_poweroff();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void step(const char* name);
    OV5642Camera* makeCamera() const;
    void setFont();
    // Runs a message of the catalogue over the dimmed home screen; the answer is not used.
    void showMessage(int type);
    // The calibration file of the counting mode in force.
    static std::string calibrationForMode();
    // Builds the counting screen once and hands it what it needs of this screen.
    void createCountScreen();

    // A restart reported while the stage was in use, handled once it is released.
    void slot_stage_released();
    // A move was answered: the restart handling's own, once none is under way.
    void slot_reset_move_ended();

    bool m_bInitialized = false;
    bool m_bResetPending = false;
    std::optional<Controller::StageUse> m_ResetStageUse;  // while the restart handling's move runs
    Ui::HomeDlg* ui;
    Controller* m_pController = nullptr;
    QLabel* m_pBackLabel = nullptr;
    int m_nLastMinute = -1;
    QTimer m_ClockTimer;
    QTimer m_ReleaseTimer;
    QString m_strIniPath;
    logrotate m_logrotate;
    MouseCursorSelector* m_pMouseCursorSelector = nullptr;
    PowerControl* m_pPowerControl = nullptr;
    MainSettings::IdleMinutes m_IdleMinutes;
};
