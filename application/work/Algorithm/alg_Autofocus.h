#pragma once

#include <QEventLoop>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <opencv2/core.hpp>

#include <cstdint>
#include <vector>

class OV5642Camera;

// One analysed stop of the sweep.
struct AutoFocusingData_s
{
    double focus_value = 0.0;  // Brenner gradient of the green plane / 1,000,000
    int z_position = 0;        // stage position the frame was taken at, motor steps
    int32_t reserved[5] = {};
};

// Autofocus: sweeps the Z stage over 15 stops 512 motor steps apart around a
// centre (from 3584 below to 3584 above it), scores the live frame at every
// stop by the Brenner gradient of its green plane and moves the stage to the
// sharpest stop, or back to the centre when nothing is sharp enough.
//
// It runs in the GUI thread: process() returns after the final move, and the
// stage counts as in use by the run until then (Controller::StageUse). Each
// stage move is awaited in a nested event loop, in which the link's
// acknowledgements and the GUI's events are handled; the wait ends when the
// link has no move under way (each acknowledged, or ended by a restart of the
// microcontroller), so a late acknowledgement of an earlier move never passes
// for the current one, and positions are read at rest. The wait is
// bounded as the link's replies are (a loaded machine or a long first move
// must not cut it short); a stage that lets a wait run out and does not answer
// a position query either is not waited for again in the run. Each stop is
// scored on a frame the camera took after the stage stopped.
//
// One object serves one run. The receiver of sig_endAutoFocusing releases it
// with deleteLater(): the signal is emitted while process() is still on the
// stack, so the destructor is not public.
class alg_Autofocus : public QObject
{
    Q_OBJECT

public:
    static constexpr double kFocusThreshold = 10.0;
    static constexpr int kSteps = 15;
    static constexpr int kStepSize = 512;
    static constexpr int kStepsBelowCentre = 7;
    // The early stop is considered from the centre stop on, for a drop of more than this.
    static constexpr int kEarlyStopStep = 7;
    static constexpr double kEarlyStopDrop = 1.0;
    static constexpr int kStageWaitMs = 5000;
    static constexpr int kSettleMs = 500;

    alg_Autofocus(QObject* parent, OV5642Camera* camera, int width, int height);

    // The sweep's centre (motor steps), the offset added to the result (units
    // of 512 steps), whether the sweep may stop early and whether every
    // analysed frame is written under "/mnt/KOVA-3/Autofocus".
    void setParam(int center_position, int step_offset, bool early_stop, bool save_images);
    // The longest wait for one stage move and the settling time at the first stop.
    void setWaitTimes(int stageWaitMs, int settleMs);

    // One whole run; emits sig_endAutoFocusing as its last action.
    void process();

    // A relative stage move; 0 steps sends nothing. False when the link refused it.
    bool moveRelZ(int steps, bool wait);
    // Waits for the last move's acknowledgement, when one is outstanding.
    void wait_stage_moved();

    // Sum over the rows of (I(r, c + 2) - I(r, c))², / 1,000,000; 0 for
    // anything but an 8-bit single-channel image.
    static double brennerGradient(const cv::Mat& plane);
    // Scores an RGB24 frame of the run's size (null: a frame that shows nothing).
    void analyze_grabbed_image_bG(unsigned char* rgb24);
    void analyze_grabbed_image_bG(cv::Mat& image);

    // The sweep. Gives the move to the result in `relative_move` and returns 0
    // when no stop reached the threshold (the centre was taken), 1 when the
    // first stop was the sharpest, 2 for a later one.
    int executeAutofocusing(int center_position, int& relative_move);
    // The final move, then sig_endAutoFocusing.
    void endAutoFocusing(int relative_move);

    const std::vector<AutoFocusingData_s>& samples() const { return m_samples; }

public slots:
    // A move was acknowledged or the microcontroller restarted: once no move
    // is under way, the position is read back.
    void slot_stage_moved();

signals:
    // Whenever the stage came to rest (see slot_stage_moved): the position read back.
    void sig_move_z_position(int position);
    // Once, at the end: the absolute position after the final move.
    void sig_endAutoFocusing(int position);
    void sig_debug_Message(QStringList msg);

protected:
    ~alg_Autofocus() override;

private:
    // The newest frame exposed after the stage came to rest, as a private
    // copy; empty when the camera gives none.
    cv::Mat settledFrame();
    // The stage position read back from the microcontroller, or the link's
    // tracked count when the query fails.
    int stagePosition() const;
    void saveFrame(const cv::Mat& rgb, const AutoFocusingData_s& sample) const;

    double m_focus_threshold = kFocusThreshold;
    OV5642Camera* m_pCamera = nullptr;
    int m_width = 0;
    int m_height = 0;
    bool m_bMoving = false;
    bool m_bStageSilent = false;    // a wait ran out and the stage answered no query either
    bool m_bCameraStalled = false;  // a settle wait saw no new frame at all
    bool m_bEarlyStop = false;
    bool m_bSaveImages = false;
    QString m_strSavePath;
    int m_center_position = 0;
    int m_target_position = 0;
    int m_z_position = 0;
    int m_step_offset = 0;
    std::vector<AutoFocusingData_s> m_samples;
    QTimer m_timer;
    QEventLoop m_eventLoop;
    int m_nStageWaitMs = kStageWaitMs;
    int m_nSettleMs = kSettleMs;
};
