#pragma once

#include "RestartLoopGuard.h"

#include "platform/NetInterfaces.h"

#include <QDialog>
#include <QProcess>
#include <QString>
#include <QTimer>

#include <functional>

namespace Ui {
class Dialog;
}

// The launcher's intervals and clock, injectable so that tests need not wait
// them out.
struct LoaderTiming
{
    int buttonsEnableMs = 500;  // until the service buttons are enabled
    int addressCheckMs = 3000;  // from the interface's restart to the address check
    // From the main program's end after starting the power-off until the
    // window shows: the system still running then means the power-off failed.
    int powerOffGraceMs = 60000;
    // Milliseconds of a monotonic clock: when the child's ends asking for a
    // new start of the main program came (RestartLoopGuard).
    std::function<qint64()> nowMs;
};

// The launcher's one window, a frameless 800×480 dialog of two layers: the
// front panel ("the software closed unexpectedly", Restart, Admin) and the
// service panel (program buttons, instrument information, the wired
// network address, power).
//
// The construction runs the whole start-up: by the stored run mode it starts
// the main program at once and stays hidden, or shows itself; the service
// panel is on top with Zig mode "On" or the marker file ".KOVA3" on a USB
// stick. It runs one watched child at a time (main program, verifier, touch
// calibration) and acts on how it ends: codes 10 and 11 start the main
// program again, and so does the main program's 2 (a restart it asked for);
// the main program's 1 (it has started the power-off) leaves the run mode
// "App", so the next boot starts it, and keeps the window hidden while the
// system goes down: only when the system still runs after powerOffGraceMs
// (the power-off failed) does the window show, Restart at hand; every other
// end, and the third end within a minute that asks for a new start, shows
// the panel with the run mode "QC". Everything runs on the GUI thread.
class LoaderDlg : public QDialog
{
    Q_OBJECT

public:
    // The programs looked for in "/opt/KOVA3/bin" (name patterns ignoring case).
    enum App_FileType {
        APP_KOVA3 = 0,      // "KOVA3.app"
        APP_CAPTURE = 1,    // "capture"
        APP_VERIFIER = 2,   // "*_Verifier"
        APP_PANELTRIM = 3,  // "PanelTrim"
    };

    explicit LoaderDlg(QWidget* parent = nullptr, const LoaderTiming& timing = LoaderTiming());
    ~LoaderDlg() override;

    // Whether a program of `type` is present (files or folders, unhidden).
    // Makes "/opt/KOVA3/bin" the launcher's current folder for good: every
    // child inherits it.
    bool check_AppExist(App_FileType type);
    // Whether "KOVA-III/Zig mode" is exactly "On".
    bool check_ZigMode();
    // Whether a USB stick is present (mounted at "/mnt" by the way) and
    // holds the hidden file ".KOVA3".
    bool finddotFile();
    // 0: front panel on top; 1: service panel on top; other values: no change.
    void setMode(int mode);
    // Enables or disables RUN KOVA-III, RUN QC, Touch Calibration, power and
    // DEVELOPER MODE, then lets the screen catch up once.
    void setButtonState(bool enabled);

    // Fills the information labels from "KOVA3.ini", the main program's
    // build date and the log sizes; keeps the serial number. Does nothing
    // when the settings file is missing.
    void displayInformation();
    // "-" when there are no backup archives in "/opt/KOVA3/restore", else the
    // version in the first one's name ("a_1_0_2.crs" gives "1.0.2").
    void displayBackupVersion();
    // The main program's build time ("yyyy-MM-dd hh:mm", local) from the
    // last BUILD_DATE of its ZX_META section; "-" when there is none.
    static QString getBuildDate();
    // The log rotation size limit in bytes, -1 when it cannot be read.
    static qint64 size_from_rsyslog();
    // The size of the largest system log file, -1 when none exists.
    static qint64 max_size_for_log_files();

    // Runs "/opt/KOVA3/bin/camera_reset.sh" when it exists and waits for it.
    void resetCamera();

    // Whether the wired interface "eth0" has a link; an interface that is
    // down is brought up first.
    bool isMediaOk();

    // The serial number last read by displayInformation.
    QString serialNumber() const { return m_strSerialNumber; }

public slots:
    void slotWidgetEnabled();
    // Enables the network address's Refresh button.
    void slotIPbtnEnabled();
    void slot_error(QProcess::ProcessError error);
    void slot_finished(int exitCode, QProcess::ExitStatus status);
    void slot_luanch_app();
    void slot_set_normal();
    // Shows the first IPv4 address of "eth0" (green), or "[X]" (red).
    void slot_check_IP();

private slots:
    void on_BUTTON_RUN_APP_clicked();
    void on_BUTTON_RUN_QCAPP_clicked();
    void on_BUTTON_TOUCH_CALIBRATION_clicked();
    void on_BUTTON_POWER_clicked();
    void on_BUTTON_RUN_CAPTURE_clicked();
    void on_BUTTON_DEVELOPER_MODE_clicked();
    void on_BUTTON_RESTART_clicked();
    void on_BUTTON_ADMIN_clicked();
    // The button stays disabled; nothing to do.
    void on_BUTTON_COPY_LOG_clicked();
    // Puts "eth0" on DHCP with the link check as pre-up hook and restarts it;
    // the address is checked a moment later.
    void on_BUTTON_IP_LOAD_clicked();

private:
    void setFont();
    // Enables each program button by its presence check.
    void refreshProgramButtons();
    // The programs the launcher watches as its child.
    enum class Child { None, Main, Verifier, PanelTrim };

    // Panel refreshed and run mode `runMode` ("QC" after any end of a child
    // that starts nothing).
    void fallBackToPanel(const char* runMode);
    // Starts the main program again after an end that asks for it, unless
    // such ends come too fast; then the panel stays, with the run mode "QC".
    void restartMainProgram();
    // Starts the main program as the child (run mode "App" first); false
    // when no child was started.
    bool startMainProgram();
    // Starts `name` from "/opt/KOVA3/bin" as the child; a start the runner
    // refuses is handled as a failed start.
    void startChild(Child child, const QString& name);

    // Ends a network-address check: the address, or a failure when empty.
    void showAddress(const QString& address);

    QProcess m_process;          // the one watched child
    Child m_child = Child::None; // which program m_process runs or last ran
    RestartLoopGuard m_restartGuard;
    std::function<qint64()> m_nowMs;
    QString m_strSerialNumber;   // the expected service password
    QTimer m_timerIP;            // the address check after a restart of the interface
    QTimer m_powerOffTimer;      // shows the window when the power-off has not happened
    platform::LinkProbe m_linkProbe;
    Ui::Dialog* ui;
};
