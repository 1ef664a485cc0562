#pragma once

#include "Algorithm/AutoExposure.h"
#include "Common/DimOverlay.h"
#include "Controller/Controller.h"
#include "Count/FocusWindow.h"
#include "Count/ImageNavigation.h"
#include "Count/ResultTexts.h"
#include "Count/SizeGating.h"
#include "Protocol/ProtocolRecords.h"

#include <QDeadlineTimer>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <opencv2/core.hpp>

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class alg_Autofocus;
class DebugMessage;
class DiluionCalculatorDlg;
class SavePrintDlg;
class DoCellCounting;
class GrabThread;
class MessageDlg;
class QPainter;
class QPushButton;
class QThread;

namespace Ui {
class CountDlg;
}

// The counting screen: live view and focus (Count page), the count itself,
// and the Result, Histogram & Gating and Image pages. The home screen builds
// it once at start-up and keeps it; each visit starts with Init(), which
// starts the live view while the screen is still hidden, and the home screen
// shows it when signalFirstFrameUpdated() reports the first live frame. The
// Home button hides it again. Everything runs in the GUI thread except the
// counting worker (its own thread for the screen's life) and the live-view
// thread (from startCamera to stopCamera).
class CountDlg : public QDialog
{
    Q_OBJECT

public:
    // Pages by m_State.
    enum State { StateCount = 0, StateResult = 1, StateHistogram = 2, StateImage = 3, StateCounting = 5 };
    // Camera modes by frame size; index of the frame images.
    enum CameraMode { ModeVga = 0, Mode1280 = 1, ModeFull = 2 };

    static constexpr int kLeaveQuestion = 16;         // leaving resets the results
    static constexpr int kAgingFinished = 37;
    static constexpr int kAgingCameraError = 38;      // with the counts made
    static constexpr int kResultFileError = 40;       // a stored image that cannot be counted
    static constexpr int kTransmissionError = 48;     // corrupt frames, camera given up
    static constexpr int kCameraRestarts = 3;         // restarts after corrupt start-up frames
    static constexpr int kProgressIntervalMs = 100;
    static constexpr int kProgressMax = 360;
    static constexpr int kProgressDone = 365;         // past the bar's end: drawn full
    static constexpr int kFrameChecks = 10;           // takes of getFrame
    static constexpr float kBlackRatio = 0.3f;
    static constexpr double kDarkGreenMean = 200.0;   // brighter pictures get a dark scale bar
    static constexpr int kMemoryQueryTimeoutMs = 30000;
    static constexpr int kExposureFrameSkip = 5;      // frames before an exposure is measured
    static constexpr int kFocusOffsets = 3;           // the offset button's 0, 1, 2
    static constexpr int kNoAutofocusOffsetItem = 7;  // "0" in the service list of offsets
    static constexpr int kApplyMessage = 14;          // "Calculating..." while Apply runs
    static constexpr int kResultRows = 9;
    static constexpr int kResultFirstRowY = 40;
    static constexpr int kResultRowStep = 35;

    // Waits and intervals; tests shorten them before building the screen.
    struct Seams
    {
        int cameraRestartPauseMs = 1000;  // before a camera is made anew
        int newFrameTimeoutMs = 1000;     // longest wait for the next camera frame
        int exposureSearchMs = 30000;     // longest auto-exposure search
        int agingPauseMs = 3000;          // a shown result before the next aging count
        int applyDelayMs = 500;           // Apply's message shown before the gating runs
        int gateRepeatMs = 150;           // a held gate arrow steps again
    };
    static Seams& seams();

    // The histogram page's forms (m_nCellNumOrConcentration) and types (m_histogramType).
    enum CellNumberOrConcentraion { FormCellNumber = 0, FormConcentration = 1, FormCluster = 2 };
    enum HistogramType { TypeTotal = 0, TypeLive = 1, TypeDead = 2 };

    // What the screen asks of the home screen.
    struct Home
    {
        // Opens theApp's camera at 1280 × 960 (attempts, message 49 and the
        // restart when it cannot).
        std::function<void()> openCamera;
        // The screen was left: the home screen takes over again.
        std::function<void()> closed;
    };

    explicit CountDlg(QWidget* parent = nullptr);
    ~CountDlg() override;

    void setHome(Home home) { m_home = std::move(home); }

    // Prepares a visit: calibration file by counting mode, LED, stage start
    // position, mode icon and protocol name, live view at 1280 × 960.
    void Init();
    // Focus limits around the calibrated centre and the stage's way back to it.
    void InitPosition();
    // Shows the page of a state; an unknown state only shows the header.
    void setMainUIState(int state);
    // Enables or disables every button of the screen together.
    void CountButtonState(bool enable);
    void setFont();

    // The live view in camera mode `mode`. With `restartAllowed` false a
    // corrupt start is reported (message 48) instead of restarting the camera.
    void startCamera(int mode, bool restartAllowed);
    // Ends the live view; with `closeCamera` also closes the camera.
    void stopCamera(bool closeCamera);

    // Keeps the tagged result image for the Image page: the dark-image flag
    // and, with the scale bar enabled, the scale-bar canvas. An empty image
    // changes nothing.
    void set_ScalebarImage(cv::Mat image);
    // A camera frame that passed the corrupt-frame check, taken after more
    // than `skip` new frames have come (so a changed exposure shows); after
    // ten takes the last one, checked or not. Null without a running camera,
    // and when the camera gives no new frame within the frame time-out or
    // `deadline` passes first: a stale frame would pass for a new one.
    unsigned char* getFrame(int skip, QDeadlineTimer deadline = QDeadlineTimer(QDeadlineTimer::Forever));

    // Moves the focus indicator to a stage position.
    void setFocusIndicator(int position);
    // Keeps an exposure found by auto exposure for the full-resolution capture.
    void save_autoExposure(unsigned short exposure);
    // Puts the result texts into the Result page, four or nine rows by mode.
    void setResult();

    // The count proper: the loaded protocol's snapshot (no gate chosen), the
    // live view stopped, the worker loaded and started in its thread.
    void slot_do_counting();
    // The result texts, the previous-counts row and the Result page.
    void AfterCounting();
    // Appends the count's row to the master previous-counts table of the
    // counting mode, rewrites it and its newest-first copy in the result
    // tree, then emits signalAppendCSVData.
    void savePreviousCount();
    // Saves the shown result without the user through a new save/print
    // dialog's automatic save, under the dimmed screen; it reports through
    // slot_autosave_completed (and, queued, slot_aging_savecompleted or
    // slot_aging_savefailed during an aging run with automatic saving).
    void auto_save();
    // The end of an aging run: message 37.
    void slot_aging_finish();

    const ResultTexts::Texts& resultTexts() const { return m_ResultTexts; }
    SizeGating::Gate gate() const { return {m_MinObjSizeIndex, m_MaxObjSizeIndex}; }

    // The histogram page, once: the graph's two guide lines and the size texts.
    void gating_constructor();
    // The histogram page after a count: its maxima, concentration axes and
    // cluster shares, the gate at 1 … 90 µm, cell numbers of all cells.
    void gating_initialize(std::vector<int32_t> total, std::vector<int32_t> live, std::vector<int32_t> dead,
                           std::vector<int32_t> cluster, int dilution);
    // Builds the page in a form (cell number, concentration, cluster sizes).
    void setCellNumberOrConcentraion(int form);
    void SetHistogramType(int type);
    // Places a gate line and its selector at a size index.
    void setGuideLinePosition(int line, int index);

    int state() const { return m_State; }
    ImageNavigation::View view() const { return {m_nZoom, {m_nViewX, m_nViewY}}; }
    bool darkness() const { return m_bdarkness; }
    float greenReference() const { return m_fGreenReference; }
    int autofocusOffset() const { return m_nAutofocusOffset; }
    bool isLiveViewRunning() const { return m_pGrabThread != nullptr; }
    int cameraRestarts() const { return m_nCameraInitRetry; }

public slots:
    void on_BUTTON_REVIEW_OR_IMAGE_clicked();
    void on_BUTTON_GRAPH_clicked();
    void on_BUTTON_HOME_clicked();
    // Dims (true) or undims the screen around the power-off question; an
    // overlay that was shown before stays. While the save/print dialog or the
    // dilution calculator is shown, the request goes to it instead.
    void slot_set_backLabel(bool bshow);
    // One line of the debug panel.
    void slot_debug_Message(QStringList msg);
    void on_BUTTON_DEBUG_clicked();
    // "mem = %1 KB": free, buffer and cache memory from /proc/meminfo.
    QString getFreeMem();
    void InvalidateProgressbar();

    void updateFrame();
    void slotCameraInitialize();
    void on_BUTTON_ZOOM_clicked();
    void on_BUTTON_RESULT_ZOOM_clicked();
    void slot_z_stage_moved();

    // One focus step of 256 motor steps up or down; the window is applied
    // when the stage answers.
    void on_BUTTON_AUTO_FOCUS_PLUS_clicked();
    void on_BUTTON_AUTO_FOCUS_MINUS_clicked();
    // Runs autofocus around the calibrated centre to its end (stage moves are
    // awaited in nested event loops); ends with sig_endAutoFocusing().
    void slot_do_autoFocusing();
    void slot_move_z_position(int position);
    void slot_endAutoFocusing(int position);
    // The next autofocus offset, 0 → 1 → 2 → 0 (× 512 steps above the focus found).
    void on_BUTTON_AUTO_FOCUS_OFFSET_clicked();
    // The hidden service list of offsets (7 … -7): logged, nothing changes.
    void on_COMBO_AF_OFFSET_currentTextChanged(const QString& arg1);
    // The live picture's green mean, the reference of the next count.
    void slot_check_intensity();
    // The running camera as the auto-exposure search measures it: each
    // measurement a checked frame (getFrame with kExposureFrameSkip and
    // `deadline`).
    AutoExposure::Camera exposureCamera(QDeadlineTimer deadline);
    // Sets the exposure for a green mean of 150 and keeps it when it is
    // reached. The search is bounded (exposureSearchMs); a camera that gives
    // no new frame ends it with message 48 and the exposure it had, and the
    // result is false.
    bool slot_do_autoExposure();
    void on_BUTTON_AUTO_EXPOSURE_clicked();
    void on_BUTTON_AUTO_FOCUS_clicked();
    // Auto exposure, then autofocus, with the screen locked until the
    // autofocus ends; the counts until the next entry use the exposure found,
    // kept at the end. A microcontroller restart during the run voids it: the
    // exposure as it was, and message 48 once the restart is handled.
    void on_BUTTON_FIND_CELLS_clicked();
    void slot_start_findcells();
    void slot_end_findcells();

    // A count of the live sample: green reference, autofocus when autofocused
    // counting is on, then the worker. The stage counts as in use until the
    // count ends (as for a re-count).
    void on_BUTTON_COUNT_clicked();
    // The worker's count is in: images and record taken over, the camera
    // reopened, the Result page shown, and what follows (saving, aging).
    void receiveCountingCompleted();
    // The camera did not switch to full resolution: reopened and the count
    // started again, at most three times for one count.
    void slotCameraModeChangeFailed();
    // The microcontroller reported a restart: the count of the live sample
    // or Find Cells that runs yields no result (its LED was dark and its stage
    // homed). A re-count of a stored image is not concerned.
    void slot_device_restarted();
    // The stage was released: what waits for a restart's handling runs once
    // nothing has the stage in use any more.
    void slot_stage_released();
    // Counts a stored raw image (a "_RAW.tif") again, as the review screen asks.
    void slot_analysis(QString path);
    // Back to the live view for the next count (message 16 first, unless an
    // aging run goes on, which then takes its next step).
    void on_BUTTON_NEXT_COUNT_clicked();
    // The result column's dialogs, each made new for a press: the save/print
    // dialog (its signalFilenameReplaced relayed) and the dilution calculator
    // on the shown result's concentrations.
    void on_BUTTON_SAVE_PRINT_clicked();
    void on_BUTTON_DILUTION_clicked();
    // The automatic save has ended: undimmed, and the dialog's end signal let go.
    void slot_autosave_completed();
    void slot_aging_countingcompleted();
    void slot_aging_savecompleted();
    // The count's automatic save failed: the run ends here, its box closed.
    void slot_aging_savefailed();
    void on_BUTTON_AGING_STOP_toggled(bool checked);

    // Shows the result image with or without the object rings.
    void on_BUTTON_TAG_clicked();
    // The gate's line choice and arrow steps (held arrows repeat).
    void on_BUTTON_MIN_CELL_SIZE_CONTROL_clicked();
    void on_BUTTON_MIN_CELL_SIZE_CONTROL_toggled(bool checked);
    void on_BUTTON_MAX_CELL_SIZE_CONTROL_clicked();
    void on_BUTTON_MAX_CELL_SIZE_CONTROL_toggled(bool checked);
    void on_BUTTON_MINUS_pressed();
    void on_BUTTON_MINUS_released();
    void on_BUTTON_MINUS_clicked();
    void on_BUTTON_PLUS_pressed();
    void on_BUTTON_PLUS_released();
    void on_BUTTON_PLUS_clicked();
    void on_BUTTON_CELL_TYPE_clicked();
    void on_BUTTON_CELL_CONCENTRATION_OR_NUMBER_clicked();
    // Apply: message 14 while the gate is applied to the last count.
    void on_BUTTON_APPLY_clicked();
    void slotSizeGating();

signals:
    void sig_debug_Message(QStringList msg);
    void sig_endAutoFocusing();
    void start_do_counting();
    // The previous-counts row a count added (no line end).
    void signalAppendCSVData(std::string data);
    // Relays the save/print dialog's signal of the same name.
    void signalFilenameReplaced(int, QString);
    void updateFrameDone();
    void signalFirstFrameUpdated();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private slots:
    // The live view gave up on a camera whose frames stay corrupt.
    void slotTransmissionError();
    // The stored image of a re-analysis could not be counted.
    void slotReAnalysisFailed();

private:
    void SetNavigatorRect(QRect& rect);
    // One zoom step for either zoom button; the button shows the new zoom.
    void stepZoom(QPushButton* button);
    // A full-resolution image into the result image; false (and nothing
    // copied) for any other size.
    bool copyResultImage(const cv::Mat& image);
    // The result image with or without tags (or the scale-bar canvas) into
    // the full-resolution image and the pixmap of the current zoom.
    void rebuildResultImage();
    // The offset button's caption and font for m_nAutofocusOffset.
    void showAutofocusOffset();
    // Checks and enables the focus buttons by the window around the centre.
    void applyFocusWindow(int position);
    // Back to the home screen, with no question.
    void leave();
    // The loaded protocol of the counting mode as the running and the counted
    // one, without a gate; optionally the viability one for any mode but 0.
    void takeProtocolSnapshot(bool otherModesAsViability);
    // Loads the idle worker for a count (of the stored raw image for a
    // re-analysis, else of a captured frame) and starts it in its thread.
    void startWorker(bool reAnalysis, const QString& storedImage = QString());
    // The stage in use from a count's start to its end.
    void useStageForTheCount();
    // The count's end in the screen: the stage released, progress stopped, buttons back.
    void endCounting();
    // The search of slot_do_autoExposure without keeping what it found:
    // `found` is the exposure reached, if any.
    bool searchExposure(std::optional<unsigned short>& found);
    // Closes the camera and opens it again for the live view, as after a count.
    void reopenCamera();
    // A count a restart voided: nothing of it shown or kept; once the restart
    // is handled, message 48 (only logged in an aging run, which goes on with
    // its next count) and the live view.
    void endCountAfterRestart();
    // Runs `then` once the restart reported during the work has been handled
    // (the release of the stage queued before this comes first).
    void afterRestartHandled(std::function<void()> then);
    // An aging run's step after a count: the next count, or the run's end
    // (always the end when the run cannot go on).
    void agingStep(bool goOn = true);
    // The live view again for the next count, the result page left.
    void backToLiveView();
    // One arrow step of the chosen gate line.
    void stepGate(int direction);
    // Shows and hides the histogram page's controls for a form.
    void showHistogramForm(int form);
    void paintLive(QPainter& painter);
    void paintProgress(QPainter& painter);
    void paintResult(QPainter& painter);

    Home m_home;
    DebugMessage* m_DebugMessage = nullptr;
    alg_Autofocus* m_pAutofocus = nullptr;  // while an autofocus run lasts
    DoCellCounting* m_pDoCellCounting = nullptr;  // lives in m_pCountingThread
    QThread* m_pCountingThread = nullptr;
    float m_fGreenReference = 0.0f;
    bool m_bFindCells = false;  // a Find Cells run since the entry
    // What a Find Cells run found and what it changed, while it runs.
    struct FindCellsRun
    {
        bool findCells = false;          // m_bFindCells before the run
        bool autoExposureOn = false;     // theApp's before the run
        unsigned short exposure = 0;     // the register before the search
        std::optional<unsigned short> found;  // kept at the run's end
    };
    std::optional<FindCellsRun> m_FindCellsRun;
    // A restart was reported during the running count or Find Cells.
    bool m_bRestartedDuringWork = false;
    // The end of work a restart voided, waiting for the restart's handling.
    std::function<void()> m_AfterRestartHandled;
    std::optional<Controller::StageUse> m_CountStageUse;  // while a count runs
    QElapsedTimer m_CountAllTimer;  // the whole count, from the press
    QElapsedTimer m_CountTimer;     // the count proper, from the worker's start
    int m_nZstageMaxPos = 0;
    int m_nZstageMinPos = 0;
    DimOverlay m_BackLabel;  // over the screen while a box of it runs
    // The result column's dialogs, each until the next press (the save/print
    // dialog also until the screen is left).
    SavePrintDlg* m_pSavePrintDlg = nullptr;
    DiluionCalculatorDlg* m_pDiluionCalculatorDlg = nullptr;
    int m_nCameraMode = Mode1280;
    bool m_bdarkness = false;
    bool m_bCounted = false;
    bool m_bCounting = false;
    bool m_bImagePage = false;
    bool m_bFocusingBeforeCount = false;
    bool m_bMousePressed = false;
    // Pixel buffers of m_FrameImage, written by the live-view thread under the
    // frame hand-shake (one frame in flight, see updateFrame).
    uchar* m_pFrameBuffer[3] = {};
    QPixmap m_FramePixmap[3];
    QImage m_FrameImage[3];
    int m_nProgress = 0;
    QTimer m_ProgressTimer;
    int m_nZoom = 1;
    QRect m_ProgressRect = ImageNavigation::kImageArea;
    int m_nPressX = 0;
    int m_nPressY = 0;
    int m_nViewX = ImageNavigation::kStartView.x();
    int m_nViewY = ImageNavigation::kStartView.y();
    bool m_bTagOn = false;
    bool m_bNewFrame = false;
    int m_nAutofocusOffset = 0;
    ResultTexts::Texts m_ResultTexts;
    // The protocol of the running count, as loaded when it started.
    counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t m_TotalProtocol;
    counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t m_ViabilityProtocol;
    GrabThread* m_pGrabThread = nullptr;
    int m_State = StateCount;
    bool m_bFirstFrameUpdated = false;
    // Camera errors of an aging run: a failed switch to full resolution.
    int m_nAgingCameraError = 0;
    int m_nModeChangeFailures = 0;  // of the running count
    int m_nCameraInitRetry = 0;
    // The histogram page (reset by gating_initialize after each count).
    int m_nCellSizeControl = SizeGating::LowerLine;  // the line the arrows move
    int m_MinObjSizeIndex = SizeGating::kLowest;
    int m_MaxObjSizeIndex = SizeGating::kHighest;
    int m_histogramType = TypeTotal;
    int m_nCellNumOrConcentration = FormCellNumber;
    int m_nMaxTotalCount = 0;
    int m_nMaxLiveCount = 0;
    int m_nMaxDeadCount = 0;
    std::array<SizeGating::ConcentrationAxis, 3> m_ConcAxisTexts;  // by HistogramType
    std::vector<int32_t> m_TotalHistogram;
    std::vector<int32_t> m_LiveHistogram;
    std::vector<int32_t> m_DeadHistogram;
    std::vector<float> m_ClusterPercent;
    QTimer m_PlusTimer;
    QTimer m_MinusTimer;
    MessageDlg* m_pApplyMessageDlg = nullptr;  // while Apply runs
    Ui::CountDlg* ui;
};
