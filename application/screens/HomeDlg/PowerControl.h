#pragma once

#include "KovaCore/MainSettings.h"
#include "Message/MessageDlg.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class InitDlg;
class QAbstractButton;
class QDialog;
class QLabel;

// The roads out of the program, owned by the home screen: the power-off
// question (home power button, microcontroller power switch, held power key),
// the idle power-off, and leaving for the launcher. A confirmed or idle
// power-off ends in the power-off splash (exit code 1); leaving for the
// launcher accepts the home screen, the last window, so main returns 4.
class PowerControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int kConfirmMessage = 0;  // "Are you sure you want to power off?"
    static constexpr int kCancelGuardMs = 3000;
    static constexpr int kCameraSettleMs = 500;
    static constexpr int kMountpointTimeoutMs = 30000;
    static constexpr int kMinutesPerHour = 60;
    static constexpr char kMountPoint[] = "/mnt";
    static constexpr char kLauncherPath[] = "/opt/KOVA3/bin/KovaLoader";

    // What the roads use of the home screen and the screens above it.
    struct Home
    {
        QDialog* dialog = nullptr;  // disabled when leaving; accepted for the launcher
        QAbstractButton* powerButton = nullptr;
        QLabel* backLabel = nullptr;  // the home screen's dim overlay
        MainSettings::IdleMinutes* idle = nullptr;  // the idle count read_INI also sets; null: its own
        // The settings file the roads write back (logical). Empty while the
        // settings were never read: writing them then would replace the
        // stored ones with defaults.
        QString iniPath;
        std::function<void(bool enable)> setButtonsEnabled;  // buttons and overlay
        std::function<void()> releaseController;  // deletes the microcontroller link
        std::function<void()> deleteCountScreen;  // deletes theApp's counting screen
        // Dims (or undims) the screen with current-dialog id 1..4 through its own overlay.
        std::function<void(int screen, bool dim)> dimScreen;
        // Shows the shutting-down splash (1 power-off, 2 restart); in the program
        // it ends the process. Empty: the splash of InitDlg.
        std::function<void(int state)> runSplash;
        int cancelGuardMs = kCancelGuardMs;
        int cameraSettleMs = kCameraSettleMs;
    };

    explicit PowerControl(Home home, QObject* parent = nullptr);
    ~PowerControl() override;

    // The power control made last, while it lives (the home screen makes
    // one for the run); null otherwise.
    static PowerControl* instance();

    bool isAsking() const { return m_poweroff_event; }
    // A confirmed power-off waits for a save, an update or an export to end.
    bool isPowerOffWaiting() const { return m_bPowerOffWaiting; }
    bool isCancelGuardActive() const { return m_cancelPoweroff_timer.isActive(); }
    MessageDlg& confirmationBox() { return poweroffdlg; }

public slots:
    // Asks with message 0; OK writes the settings, releases everything and powers off.
    void on_BUTTON_POWER_clicked(bool checked = false);
    // The microcontroller's switch: ignored within the guard time after a cancel.
    void slot_device_poweroff();
    // Dims the screen on top and asks, once per question.
    void slot_POWER_OFF_KEY(bool pressed = true);
    // The held power key: as slot_POWER_OFF_KEY, but not while autofocusing.
    void slot_POWER_OFF_KEY_forOld(bool pressed = true);
    void slot_cancel_poweroff();
    void slot_stop_cancelPoweroff();
    void set_top_Poweroffdlg();
    // Once a minute; true when there was input in that minute.
    void on_POWER_OFF_TIMER(bool active);
    void do_auto_powerOff();
    // Unmounts the stick, releases the screens and the hardware; with a
    // launcher installed and `toLoader`, hands over to it and ends the loop.
    void slotProgramExit(bool toLoader);

    // Writes the settings file the roads keep (not before the settings were read).
    void writeSettings();

    // Long work that a power-off must not cut. A power-off confirmed while
    // any of it runs puts the shutting-down picture up at once and takes its
    // road only after all of it has ended.
    // A save is writing a result (the save dialog, around a run): the result
    // is whole and named, and the settings keep its sequence number.
    void setSaving(bool saving);
    // The update worker runs (unpacking, or the install script and the
    // restore after a failed one): the next boot finds whole programs.
    void setUpdating(bool updating);
    // Stored results are being copied to the stick, which stays mounted
    // until the copy has ended.
    void setExporting(bool exporting);
    // The settings file is the installed software's now (the install wrote
    // it before its script ran): no road writes it any more.
    void keepSettingsFile() { m_bKeepSettingsFile = true; }

private:
    enum Work : unsigned { Saving = 1, Updating = 2, Exporting = 4 };
    void setWorking(Work work, bool running);
    // For the log: the first of the work under way.
    const char* waitedWork() const;
    // Writes the settings, releases everything and powers off.
    void powerOff();
    void dimCurrentScreen(bool dim);
    void runSplash(int state);
    void unmountStick();
    void releaseCamera();

    Home m_home;
    MainSettings::IdleMinutes m_ownIdle;
    MessageDlg poweroffdlg;
    bool m_poweroff_event = false;
    bool m_bPoweroff_cancel = false;
    QTimer m_cancelPoweroff_timer;
    unsigned m_working = 0;  // the Work under way
    bool m_bPowerOffWaiting = false;
    bool m_bKeepSettingsFile = false;
    std::unique_ptr<InitDlg> m_waitSplash;  // up while a confirmed power-off waits
};
