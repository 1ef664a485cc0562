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

enum AutoFocusingResult_e { AutoFocusingResult_NoSample = 0, AutoFocusingResult_Found = 1 };

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
// "/mnt/KOVA-II/Autofocus/<start time>/Step1".
class alg_Autofocus : public QObject
{
    Q_OBJECT

public:
    static constexpr int kSamples = 15;
    static constexpr int kInterval = 640;

    alg_Autofocus(QObject* parent, OV5642Camera* camera, int reference, int width, int height, bool save_image);

    void process();
    // Why the run ended early; empty for a run that found its position.
    QString errorString() const { return m_error; }

    // The index of the highest focus value (the first of equal ones; 0 when
    // none is above 0); NoSample for an empty list, `best` then unchanged.
    static AutoFocusingResult_e find_best_focus(const std::vector<AutoFocusingData_s>& data, size_t& best);
    // The green plane's Brenner gradient, by the application's autofocus.
    static double brennerGradient(const cv::Mat& plane);

signals:
    void sig_move_z_position(int position);
    void sig_endAutoFocusing(int position);
    void sig_debug_Message(QStringList msg);
    void sig_progress_AutoFocusing(int step);
    void sig_review_AutoFocusing(int step, std::vector<verifier::AutoFocusingData_t> data, int best_index);

private slots:
    void slot_z_stage_moved();

private:
    enum State { kStarted = 0, kSweeping = 2, kEnding = 7, kEnded = 8 };

    void dispatch_proc();
    void prepareAutoFocusing_Step2(int interval, int count);
    void function_Z_stage();
    // Scores a frame exposed after the last move; ends the run when none comes.
    void trigger_image_grab();
    void analyze_grabbed_image_bG(const cv::Mat& frame);
    int find_AutoFocusing_Position();
    void adjust_z_position(int interval);
    void prepareEndAutoFocusing();
    void endAutoFocusing();
    // Sends a move the listener answers, watched by the reply window.
    void sendMove(int interval);
    // Ends the run at once, for `reason`.
    void fail(const QString& reason);
    void saveFrame(const cv::Mat& rgb, const AutoFocusingData_s& sample) const;
    void saveSamples(size_t best) const;

    OV5642Camera* m_pCamera;
    int m_InitialRef;
    int m_Width;
    int m_Height;
    bool m_bSaveImage;
    QString m_SavePath;  // logical; empty when nothing is saved
    int m_State = kStarted;
    int m_AutoFocusingRef = 0;
    int m_TargetPosition = 0;
    int m_CurrentPosition = 0;
    std::vector<AutoFocusingData_s> m_AutoFocusingData;
    QTimer m_replyWindow;  // runs while a send-only move waits for its answer
    QString m_error;
};

}  // namespace verifier

Q_DECLARE_METATYPE(std::vector<verifier::AutoFocusingData_s>)
