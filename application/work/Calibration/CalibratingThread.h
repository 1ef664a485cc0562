#pragma once

#include "Calibration/CalibrationCamera.h"

#include <QThread>

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

// One step of the bright-field illumination calibration, in a thread of its
// own. Step 1 (the slide port empty) searches the exposure that brings the
// green mean of a 1280 × 960 frame to 150, balances blue and then green to
// the same level with their gains, writes the gains into all three register
// files and the exposure × 1.14 into Calibration_BFN.ini. Step 2 (a slide
// with trypan blue) searches the exposure again and writes it into
// Calibration_CUS.ini. One completion code per run, before the camera closes.
class CalibratingThread : public QThread
{
    Q_OBJECT

public:
    // The completion codes; a failed step leaves every file as it was (one
    // written part-way is put back).
    enum Result {
        kCompleted = 0,
        kNotReached = -1000,        // the estimated exposure reads more than 5 from 150
        kNoSlope = -1001,           // the light does not grow with the exposure
        kNotLinear = -1002,         // it grows, but not in a line (R² < 0.95)
        kNoConvergence = -1003,     // a register never took its value, or a colour never reached 150
        kFileNotWritten = -1004,    // a register file or the stamp could not be written
        kCameraNotRunning = -1005,  // the camera did not open
        kStopped = -1006,           // asked to stop (requestInterruption) before the end
    };

    static constexpr float kTarget = 150.0f;
    static constexpr int kTolerance = 5;
    static constexpr std::uint16_t kGainStep = 0x20;
    static constexpr std::uint16_t kNeutralGain = 0x0500;
    static constexpr int kSettleMs = 500;
    static constexpr int kReadBackTries = 10;
    static constexpr int kColourRounds = 64;
    static const std::uint16_t kPresetsStep1[12];
    static const std::uint16_t kPresetsStep2[12];

    explicit CalibratingThread(QObject* parent = nullptr);
    // Stops the step (at its next check) and waits for the thread.
    ~CalibratingThread() override;

    void setStep(int step) { m_nStep = step; }
    // The camera the step works with (owned); set before start().
    void setCamera(std::unique_ptr<CalibrationCamera> camera) { m_camera = std::move(camera); }
    // The settling pause around each exposure setting (500 ms; tests take 0,
    // which still waits for new frames).
    void setSettleMs(int ms) { m_nSettleMs = ms; }

    // The parts of a step, for the worker's own run() and for tests.
    // Opens the camera with the step's register file; 0, or kCameraNotRunning.
    int setCameraMode();
    struct Search
    {
        int result = kCompleted;
        std::uint16_t exposure = 0;     // the estimate, left in the sensor
        std::vector<std::pair<int, float>> points;  // the presets measured
    };
    Search calibrateIntensity(int step, const std::uint16_t* presets, float target);
    struct Balance
    {
        int result = kCompleted;
        std::uint16_t gain = 0;  // left in the sensor
    };
    // The colour search on gain register 0x3404 (blue) or 0x3402 (green).
    Balance balanceColor2(std::uint16_t reg, float target);
    // Waits for the sixth new frame, or for ten polls without one.
    void waitForSettledFrames();

signals:
    void Calibrate_completed(int result);

protected:
    void run() override;

private:
    int stepOne();
    int stepTwo();
    // Writes the exposure and reads it back until it holds, ten times at most.
    bool writeExposure(std::uint16_t exposure);
    // The green (or the register's colour) mean of the last of `count` readings.
    CalibrationCamera::Means readings(int count);
    // After a register write: at least `atLeastMs`, and until two new frames
    // have come (up to 2 s from a camera that gives none), so no reading shows
    // the sensor before the write, however busy the machine; false when asked
    // to stop.
    bool pause(int atLeastMs);
    // After an exposure write: pause, the settling wait, pause; false when asked to stop.
    bool settle();
    bool stopped() const { return isInterruptionRequested(); }

    int m_nStep = 0;
    std::unique_ptr<CalibrationCamera> m_camera;
    int m_nSettleMs = kSettleMs;
    // The last five gains and intensities of the colour searches (rings, not
    // reset between the two searches of a run).
    unsigned m_lastGain[5] = {};
    int m_nLastGainIndex = 0;
    float m_fLastIntensity[5] = {};
    int m_nLastIntensityIndex = 0;
};
