#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <opencv2/core.hpp>

#include <vector>

class OV5642Camera;

namespace verifier {

// One sample of the sweep.
struct AutoFocusingData_s
{
    double focus_value = 0.0;  // Brenner gradient of the green plane / 1,000,000
    int position = 0;          // the link's kept stage position when the frame was taken
};
using AutoFocusingData_t = AutoFocusingData_s;

enum AutoFocusingResult_e {
    AutoFocusingResult_NoSample = 0,
    AutoFocusingResult_Found = 1,
    // Third-step mode: the peak at one end of the sweep, the lowest value at the other.
    AutoFocusingResult_ThirdStepNecessary = 2
};

// The centre window the dark-pixel count looks at.
enum FOCUS_WINDOW_SIZE { FOCUS_WINDOW_320x240 = 0, FOCUS_WINDOW_640x480 = 1 };
// What find_focus_value measures; only the dark-pixel count computes anything.
enum FOCUS_VALUE_CRITERIA { FOCUS_VALUE_DARK_EDGE = 0 };

// The verifier's autofocus: one run sweeps the stage through 15 positions
// 640 steps apart (the reference - 3840 to + 5120), scores a frame exposed
// after each acknowledged move by the Brenner gradient of its green plane,
// moves the stage to the sharpest and ends with sig_endAutoFocusing. The run
// is driven by the link's acknowledgements in the GUI thread: process()
// returns once the first move is sent.
//
// A run that cannot go on (no frame from the camera, a send-only move that
// is not answered within the link's reply window, no stage position to end
// from) ends at once without moving the stage further, with its reason in
// errorString(). The receiver of sig_endAutoFocusing releases the object
// with deleteLater().
//
// With saving on, every analysed frame and the sample list are written under
// "/mnt/KOVA-II/Autofocus/<start time>/Step<n>", n the step number.
//
// Besides the run the class offers two other focus measures (the variance of
// the Laplacian, a count of dark pixels in a centre window) with a running
// best, and the dispatcher states of a finer second sweep (230 steps, 7
// samples) and a third step; process() enters none of them.
class alg_Autofocus : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSamples = 15;
    static constexpr int kInterval = 640;
    static constexpr int kFineSamples = 7;
    static constexpr int kFineInterval = 230;
    // How far the third step starts beyond the end of a sweep that holds the peak.
    static constexpr int kThirdStepShift = 690;
    // How far a value may fall below the running best before the search is over.
    static constexpr double kFocusDrop = 50.0;

    alg_Autofocus(QObject* parent, OV5642Camera* camera, int reference, int width, int height, bool save_image);

    void process();
    // Why the run ended early; empty for a run that found its position.
    QString errorString() const { return m_error; }

    // The index of the highest focus value (the first of equal ones; 0 when
    // none is above 0); NoSample for an empty list, `best` then unchanged.
    // With `third_step`: ThirdStepNecessary when the peak is at one end and
    // the lowest value at the other; otherwise, unless the peak is the first
    // sample, the sample just below a peak that stands above the middle of
    // the range.
    AutoFocusingResult_e find_best_focus(const std::vector<AutoFocusingData_s>& data, size_t& best,
                                         bool third_step = false);
    // The green plane's Brenner gradient, by the application's autofocus.
    static double brennerGradient(const cv::Mat& plane);

    // Samples a frame scored by the variance of its Laplacian.
    void analyze_grabbed_image(const cv::Mat& frame);
    // Samples an RGB frame scored by its dark pixels (the 640 × 480 centre
    // window, grey as if the frame were BGR) and keeps the running best; the
    // search is over when, from the seventh sample on, the value falls more
    // than kFocusDrop below the best, the reference then at the best sample.
    void analyze_grabbed_image_prev(const cv::Mat& frame);
    // The variance of the Laplacian (16-bit, aperture 1) of the first channel.
    static double varianceOfLaplacian(const cv::Mat& image);
    static double get_focusValue(const cv::Mat& image) { return varianceOfLaplacian(image); }
    // Measures the packed RGB frame `data` by `criteria` into `value` (kept
    // in m_FocusValues); returns the seconds it took. Other criteria leave
    // `value` alone.
    double find_focus_value(unsigned char* data, int width, int height, double& value, FOCUS_VALUE_CRITERIA criteria,
                            int channel, FOCUS_WINDOW_SIZE window);
    // The pixels of grey 5 to 35 in the centre window: grey is the green
    // plane for channel 1, the frame as BGR converted to grey for channel 3
    // (0 for any other, and for a frame not of three channels). A window
    // larger than the frame is cut to it.
    static int find_fv_velimbio_dark_edge(const cv::Mat& frame, int channel, FOCUS_WINDOW_SIZE window);
    // The running best: 1 when the search is over (`index` above 6 and
    // `value` more than kFocusDrop below the best; the reference then at the
    // best sample), else 0, the value kept with `index` when it is the best.
    int compare_focus(double value, int index);

signals:
    void sig_move_z_position(int position);
    void sig_endAutoFocusing(int position);
    void sig_debug_Message(QStringList msg);
    void sig_progress_AutoFocusing(int step);
    void sig_review_AutoFocusing(int step, std::vector<verifier::AutoFocusingData_t> data, int best_index);

private slots:
    void slot_z_stage_moved();

protected:
    // Protected so that a test can start the dispatcher in any state and
    // read what the analysers kept.
    enum State {
        kStarted = 0,
        kSecondSweep = 1,  // a move of 640, then the sweep of state 2 goes on
        kSweeping = 2,
        kFineStart = 3,
        kFineSweeping = 4,
        kThirdStart = 5,
        kThirdSweeping = 6,
        kEnding = 7,
        kEnded = 8
    };

    void dispatch_proc();
    // Sweeps `count` samples `interval` apart from the reference -
    // interval × (count / 2) on: from the link's kept position (Step2) or
    // from a position query (Step).
    void prepareAutoFocusing_Step2(int interval, int count);
    void prepareAutoFocusing_Step(int interval, int count);
    // Chooses the sample (see find_best_focus), takes its position as the
    // reference (690 beyond it when a third step is needed), writes the
    // sample list and sends the review; NoSample changes nothing.
    int find_AutoFocusing_Position(bool third_step);
    // 1 up to state 2, 2 for states 3 and 4, 3 above.
    int stepNumber() const;

    int m_State = kStarted;
    int m_AutoFocusingRef = 0;
    int m_CurrentPosition = 0;
    std::vector<AutoFocusingData_s> m_AutoFocusingData;
    std::vector<double> m_FocusValues;  // what find_focus_value measured
    // The running best of compare_focus and analyze_grabbed_image_prev.
    double m_BestFocusValue = 0.0;
    int m_BestIndex = 0;

private:
    void function_Z_stage();
    // Scores a frame exposed after the last move; ends the run when none comes.
    void trigger_image_grab();
    void analyze_grabbed_image_bG(const cv::Mat& frame);
    // Appends a sample taken at the current position, saves its frame and reports progress.
    void addSample(const cv::Mat& frame, double value);
    // The running best with sample `index`; true when the search is over
    // (`mayFinish` and kFocusDrop below the best).
    bool keepBest(double value, int index, bool mayFinish);
    // Starts a sweep of `count` from `current`: the first sample one interval
    // above the target; `logMoves` logs the positions on the way.
    void sweepFrom(int current, int interval, int count, bool logMoves);
    void adjust_z_position(int interval);
    void prepareEndAutoFocusing();
    void endAutoFocusing();
    // Sends a move the listener answers, watched by the reply window.
    void sendMove(int interval);
    // The stage position by a query; false, the run ended, when it is unknown.
    bool queryPosition(int& position);
    // Ends the run at once, for `reason`.
    void fail(const QString& reason);
    // The current step's folder, made when missing.
    QString stepFolder() const;
    void saveFrame(const cv::Mat& rgb, const AutoFocusingData_s& sample) const;
    void saveSamples(size_t best) const;

    OV5642Camera* m_pCamera;
    int m_InitialRef;
    int m_Width;
    int m_Height;
    bool m_bSaveImage;
    QString m_SavePath;  // logical; empty when nothing is saved
    int m_TargetPosition = 0;
    QTimer m_replyWindow;  // runs while a send-only move waits for its answer
    QString m_error;
};

}  // namespace verifier

Q_DECLARE_METATYPE(std::vector<verifier::AutoFocusingData_s>)
