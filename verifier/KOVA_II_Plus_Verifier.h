#pragma once

#include "Algorithm/VerifierAutofocus.h"
#include "MediaMonitor/MediaMonitor.h"
#include "QC/QC_measure.h"

#include "platform/CommandRunner.h"

#include <QMainWindow>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <string>
#include <vector>

class OV5642Camera;
class QLineEdit;
class QPainter;
class QPushButton;
class QSettings;
class QTimer;
class DebugController;

namespace Ui {
class KOVA_II_Plus_Verifier;
}

namespace verifier {

class DebugMessage;
class GrabThread;

// The verifier's one window, 800 × 480: the view area (the left 640 × 480:
// the live camera image, a captured QC frame or the focus graph) and the
// STAGE, CAM and QC tabs with the top bar (version, Connect, Save, Exit).
// Construction mounts a present stick, loads the settings, starts the live
// view at 1280 × 960 with the unstained registers and opens the
// microcontroller link (in Zig mode the handshake waits for Connect). Every
// operation runs in the GUI thread; the frame thread hands one frame at a
// time to updateFrame() and gets the next after the view has drawn it.
class KOVA_II_Plus_Verifier : public QMainWindow
{
    Q_OBJECT

public:
    // The state of the QC measurement's controls.
    enum QC_widget_e { QC_widget_Hidden = 0, QC_widget_Captured = 1, QC_widget_Targeting = 2 };
    // The five sensor values of the CAM tab.
    enum SensorValueIndex { kGain, kExposure, kRed, kGreen, kBlue };

    // The verifier's version, shown in the top bar and saved as "Software/Version QC".
    static constexpr char kVersion[] = "0.0.2";
    static constexpr char kSettingsPath[] = "/opt/KOVA3/conf/KOVA3.ini";
    static constexpr char kTitle[] = "KOVA-III";
    static constexpr char kHighlight[] = "background-color: rgb(0, 170, 255);";
    static constexpr char kPlain[] = "background-color: none;";
    // Gives `button` the highlight or the plain style. Its font stays: Qt 5
    // drops the font a widget inherited when its style sheet is replaced.
    static void setHighlighted(QPushButton* button, bool on);
    static constexpr unsigned kMaxLed = 1000;

    explicit KOVA_II_Plus_Verifier(QWidget* parent = nullptr);
    ~KOVA_II_Plus_Verifier() override;

    // The live view of a resolution (0 VGA, 1 1280, 2 5M) on the open camera.
    void startCamera(int mode);
    // Stops the live view and closes the camera.
    void stopCamera();
    // Reads the five sensor values back into the CAM tab and sets their step buttons.
    void getCamera_reg();
    // The settings applied to the hardware and the widgets, once connected.
    void apply_INI_value();

    // One sensor value to the sensor (high byte, then low) and into the
    // register table of the staining and resolution in use; shown "0x%04X".
    void set_EXPOSURE(unsigned int value) { setSensorValue(kExposure, value); }
    void set_GAIN(unsigned int value) { setSensorValue(kGain, value); }
    void set_COLOR_RED(unsigned int value) { setSensorValue(kRed, value); }
    void set_COLOR_GREEN(unsigned int value) { setSensorValue(kGreen, value); }
    void set_COLOR_BLUE(unsigned int value) { setSensorValue(kBlue, value); }
    // The LED level to the settings, the field and the microcontroller.
    void set_LED(unsigned int level);

    // What the sync timer runs while a stick is mounted (the system's sync()
    // by default); tests count it.
    void setFileSync(std::function<void()> sync) { m_fileSync = std::move(sync); }
    // The pause after the camera closes (500 ms by default; tests shorten it).
    void setCameraSettleTime(int ms) { m_nCameraSettleMs = ms; }
    // The wait for full-resolution frames after QC's switch to 5M (2.5 s by default).
    void setQcCaptureDelay(int ms) { m_nQcCaptureDelayMs = ms; }
    // How long the password script may run before it is ended and reported
    // unfinished (30 s by default).
    void setPasswordScriptTimeout(int ms) { m_nPasswordScriptTimeoutMs = ms; }

    int currentResolution() const { return m_nCurrentResolution; }
    const unsigned char* frameBuffer(int mode) const { return m_FrameBuffer[mode].data(); }
    // The navigator's marker for the resolution and view offset in use; null
    // before a resolution is set. SetNavigatorRect fills `rect` with it.
    QRect navigatorRect() const;
    void SetNavigatorRect(QRect& rect) const { rect = navigatorRect(); }
    QPoint viewOffset() const { return QPoint(m_nCurrX, m_nCurrY); }
    // The samples last reviewed for a step number (1 to 3), and the chosen one's index.
    const std::vector<AutoFocusingData_s>& autofocusRecord(int step) const { return m_AutoFocusingData[step - 1]; }
    int autofocusBest(int step) const { return m_nBestIndex[step - 1]; }
    bool autofocusRunning() const { return m_pAutofocus != nullptr; }

    void setState_QC_widget(QC_widget_e state);

signals:
    void sig_debug_Message(QStringList list);
    // The view has drawn the last frame: the frame thread may copy the next.
    void updateFrameDone();

public slots:
    void slot_Timer_sync();
    void slot_debug_Message(QStringList list);
    void slot_debug_Controller(QString text);
    void updateFrame();
    // What the running autofocus reports.
    void slot_move_z_position(int position);
    void slot_endAutoFocusing(int position);
    void slot_progress_AutoFocusing(int step);
    void slot_review_AutoFocusing(int step, std::vector<verifier::AutoFocusingData_t> data, int best_index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    // Top bar.
    void on_BUTTON_EXIT_clicked();
    void on_BUTTON_DEBUG_clicked(bool checked);
    void on_BUTTON_SAVE_INI_clicked();
    void on_BUTTON_CONNECT_clicked();

    // STAGE tab.
    void on_SPIN_Z_STEP_valueChanged(int value);
    void on_SPIN_Z_SPEED_valueChanged(int value);
    void on_BUTTON_Z_MOVE_PLUS_clicked();
    void on_BUTTON_Z_MOVE_MINUS_clicked();
    void on_BUTTON_Z_ROTATE_PLUS_pressed();
    void on_BUTTON_Z_ROTATE_MINUS_pressed();
    void on_BUTTON_Z_ROTATE_PLUS_released();
    void on_BUTTON_Z_ROTATE_MINUS_released();
    void on_BUTTON_Z_STOP_clicked();
    void on_BUTTON_Z_ORIGIN_clicked();
    void on_BUTTON_Z_POSITION_clicked();
    void on_BUTTON_Z_ABS_clicked();
    void on_BUTTON_Z_SET_REFERENCE_clicked();
    void on_BUTTON_Z_MOVE_REFERENCE_clicked();
    void on_BUTTON_Z_DIAGNOSIS_clicked();
    void on_RADIO_VALIDATION_SLIDE_clicked();
    void on_RADIO_2CH_SLIDE_clicked();
    void slot_connected_controller();
    void slot_z_stage_origin();
    void slot_z_stage_mvn();
    void slot_z_stage_mvp();
    void slot_z_stage_abs();

    // CAM tab: resolution and staining.
    void on_BUTTON_RESOLUTION_5M_clicked();
    void on_BUTTON_RESOLUTION_1280_clicked();
    void on_BUTTON_RESOLUTION_VGA_clicked();
    void on_BUTTON_STAINING_NTB_clicked();
    void on_BUTTON_STAINING_TB_clicked();

    // CAM tab: sensor values, LED, capture; the QC tab's skip frame.
    void on_BUTTON_GAIN_FINE_UP_clicked() { stepSensorValue(kGain, 1); }
    void on_BUTTON_GAIN_COARSE_UP_clicked() { stepSensorValue(kGain, 16); }
    void on_BUTTON_GAIN_FINE_DOWN_clicked() { stepSensorValue(kGain, -1); }
    void on_BUTTON_GAIN_COARSE_DOWN_clicked() { stepSensorValue(kGain, -16); }
    void on_BUTTON_EXPOSURE_FINE_UP_clicked() { stepSensorValue(kExposure, 1); }
    void on_BUTTON_EXPOSURE_COARSE_UP_clicked() { stepSensorValue(kExposure, 16); }
    void on_BUTTON_EXPOSURE_FINE_DOWN_clicked() { stepSensorValue(kExposure, -1); }
    void on_BUTTON_EXPOSURE_COARSE_DOWN_clicked() { stepSensorValue(kExposure, -16); }
    void on_BUTTON_COLOR_RED_FINE_UP_clicked() { stepSensorValue(kRed, 1); }
    void on_BUTTON_COLOR_RED_COARSE_UP_clicked() { stepSensorValue(kRed, 16); }
    void on_BUTTON_COLOR_RED_FINE_DOWN_clicked() { stepSensorValue(kRed, -1); }
    void on_BUTTON_COLOR_RED_COARSE_DOWN_clicked() { stepSensorValue(kRed, -16); }
    void on_BUTTON_COLOR_GREEN_FINE_UP_clicked() { stepSensorValue(kGreen, 1); }
    void on_BUTTON_COLOR_GREEN_COARSE_UP_clicked() { stepSensorValue(kGreen, 16); }
    void on_BUTTON_COLOR_GREEN_FINE_DOWN_clicked() { stepSensorValue(kGreen, -1); }
    void on_BUTTON_COLOR_GREEN_COARSE_DOWN_clicked() { stepSensorValue(kGreen, -16); }
    void on_BUTTON_COLOR_BLUE_FINE_UP_clicked() { stepSensorValue(kBlue, 1); }
    void on_BUTTON_COLOR_BLUE_COARSE_UP_clicked() { stepSensorValue(kBlue, 16); }
    void on_BUTTON_COLOR_BLUE_FINE_DOWN_clicked() { stepSensorValue(kBlue, -1); }
    void on_BUTTON_COLOR_BLUE_COARSE_DOWN_clicked() { stepSensorValue(kBlue, -16); }
    void on_EDIT_LED_returnPressed();
    void on_BUTTON_LED_clicked(bool checked);
    void on_BUTTON_LED_FINE_UP_clicked() { stepLed(1); }
    void on_BUTTON_LED_COARSE_UP_clicked() { stepLed(10); }
    void on_BUTTON_LED_FINE_DOWN_clicked() { stepLed(-1); }
    void on_BUTTON_LED_COARSE_DOWN_clicked() { stepLed(-10); }
    void on_BUTTON_CAPTURE_clicked();
    void on_BUTTON_SKIP_FRAME_clicked();
    void on_CHECK_SCALED_TO_FIT_clicked(bool checked);

    // STAGE tab: the autofocus run.
    void on_BUTTON_AUTOFOCUS_clicked();

    // QC tab.
    void on_BUTTON_INTENSITY_clicked();
    void on_BUTTON_QC_CAPTURE_clicked();
    void slot_prepare_QC_measure();
    void on_CHECK_TARGET_clicked(bool checked);
    void on_BUTTON_POINT_1_clicked();
    void on_BUTTON_POINT_2_clicked();
    void slot_measure_point(int index, int x, int y);
    void on_BUTTON_QC_MEASURE_clicked();
    void slot_measure_result(verifier::MeasureInfo_t info);
    void slot_measure_error(verifier::TargetingError_e error);
    void on_BUTTON_PASSWORD_clicked();

private:
    // One sensor value of the CAM tab: its field, step buttons, registers
    // (high byte, then low at the next), largest value and first column of
    // the register tables.
    struct SensorValue
    {
        QLineEdit* edit;
        QPushButton* fineUp;
        QPushButton* coarseUp;
        QPushButton* fineDown;
        QPushButton* coarseDown;
        unsigned short highRegister;
        unsigned maximum;
        int column;
    };
    void initSensorValues();
    void setSensorValue(SensorValueIndex index, unsigned value);
    void stepSensorValue(SensorValueIndex index, int step);
    void stepLed(int step);
    void enableLedSteps(bool up, bool down);
    // Whether a stick is mounted at "/mnt"; tells the user when not.
    bool stickMounted();

    // --- settings files
    void get_INI_value(QSettings& settings);
    // Writes the current tab's values and the version; false with the
    // logical path of the file that could not be written.
    bool set_INI_value(QSettings& settings, QString* failedFile);

    // --- stage
    // Runs a blocking stage command on a highlighted, disabled button.
    template <class Command>
    void busyButton(QPushButton* button, Command command);
    void showPosition(int position);
    // The window disabled by an ABS click, enabled again by its answer, or
    // after the answer's window when none comes.
    void enableAfterAbs();

    // --- camera
    // Closes the live view, then opens the camera at `mode` with the staining's
    // register file and starts the live view again.
    void restartCamera(int mode);
    void highlightResolution(int mode);
    void SetNavigatorPos();

    // --- view
    void paintLive(QPainter& painter);
    void paintGraph(QPainter& painter);
    void takeScreenshot();
    // Starts a QC point search or the measurement with the window disabled.
    template <class Work>
    void busyWindow(Work work);

    MediaMonitor m_UsbMonitor{nullptr, MediaMonitor::Build::Verifier};
    int m_nScreenshotCount = 1;
    std::function<void()> m_fileSync;
    int m_nCameraSettleMs = 500;
    std::array<SensorValue, 5> m_SensorValues{};
    QTimer* m_pTimerSync = nullptr;
    DebugMessage* m_pDebugMessage = nullptr;
    DebugController* m_pDebugController = nullptr;
    bool m_bFocusGraph = false;
    std::string m_strCalibrationFile;
    OV5642Camera* m_pCamera = nullptr;
    GrabThread* m_pGrabThread = nullptr;
    int m_nCurrentResolution = -1;
    bool m_bStaining = false;  // true: TB (Calibration_CUS.ini); false: NTB (Calibration_BFN.ini)
    std::vector<unsigned char> m_FrameBuffer[3];
    int m_nFrameWidth = 0;
    int m_nFrameHeight = 0;
    QRect m_ViewRect{0, 0, 640, 480};
    int m_nCurrX = 0;
    int m_nCurrY = 0;
    int m_QC_mode = 0;  // 0 live view, 1 a captured frame in QC_MEASURE
    int m_nQcCaptureDelayMs = 2500;
    int m_nPasswordScriptTimeoutMs = platform::CommandRunner::kDefaultTimeoutMs;
    bool m_bDragging = false;
    QPoint m_LastPos;
    alg_Autofocus* m_pAutofocus = nullptr;
    std::vector<AutoFocusingData_s> m_AutoFocusingData[3];
    int m_nBestIndex[3] = {0, 0, 0};
    int m_nProgressCount = 0;
    QTimer* m_pAbsTimer = nullptr;  // the ABS answer's window
    Ui::KOVA_II_Plus_Verifier* ui;
    QString m_strSettingsPath;
};

}  // namespace verifier
