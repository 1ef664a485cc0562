#pragma once

#include <QDialog>

namespace Ui {
class InitDlg;
}

// What the splash is shown for.
enum InitState {
    StartupState = 0,   // the start-up picture while the home screen starts
    PowerOffState = 1,  // shutting down: powers the system off, exit code 1
    RestartState = 2,   // shutting down: ends for a restart, exit code 2
    WaitState = 3,      // the shutting-down picture while the last work ends; ends nothing
};

// The full-screen picture over the display while the program starts, and for
// the last second before it powers the system off or ends for a restart. The
// two shutting-down states end the process themselves and never return:
// nothing ends them early (Escape, close, reject or accept are ignored), since
// the hardware is already released when they are shown. The waiting state
// shows the same picture, shown (not run) until one of them follows.
class InitDlg : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kShutdownDelayMs = 1000;
    static constexpr int kPowerOffWaitMs = 3000;
    static constexpr int kExitPowerOff = 1;
    static constexpr int kExitRestart = 2;
    // The display driver's layer-protection parameter (logical path).
    static constexpr char kDisplayLayerFile[] = "/sys/module/disp/parameters/disp_layer_protect";

    explicit InitDlg(InitState state, QWidget* parent = nullptr);
    ~InitDlg() override;

    InitState state() const { return m_eState; }

    void done(int result) override;

public slots:
    void Init();
    void PowerOff();
    void Reboot();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // "0" while the program runs, "2" before it ends; a file that cannot be
    // opened is skipped.
    static void writeDisplayLayer(int value);
    // exit() runs no destructor: what the settings file still holds in the
    // toolkit's cache must reach the medium before the process goes.
    static void settleFiles();
    [[noreturn]] static void end(int code);

    Ui::InitDlg* ui;
    InitState m_eState;
};
