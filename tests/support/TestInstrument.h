#pragma once

#include "Controller/Controller.h"
#include "McuSimulator.h"
#include "Protocol/ProtocolRecords.h"
#include "Slide.h"
#include "TempRoot.h"

#include <opencv2/core.hpp>

#include <memory>

// The instrument's parts in one test's process and root (the whole virtual
// instrument of the programs is kovasim::VirtualInstrument): the simulated
// microcontroller linked at /dev/ttyS2 with a connected link, the LED at the camera's
// reference brightness, the image sensor's bus with calibration tables at the
// sensor's reference exposure, and a slide in front of the simulated camera.
class TestInstrument : public TempRoot
{
public:
    static constexpr int kFocus = 32000;

    TestInstrument();
    ~TestInstrument();

    // Empty once every part stands; else what failed.
    const QString& error() const { return m_error; }

    // Puts an RGB image of any size in front of the camera, sharp at `focus`.
    bool showSlide(const cv::Mat& rgb, int focus = kFocus);
    // An empty bright field: nothing to focus on.
    bool showBlankSlide();

    // Writes the built-in protocol files under the current root and reads the
    // DEFAULT protocols back as the counting screen hands them to the worker
    // (gating fields -1).
    static bool loadDefaultProtocols(counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& total,
                                     counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& viability);

    // A generated full-size slide of the DEFAULT protocol's cells (the same
    // for every test in a process), with its truth.
    static const slide::Slide& generatedSlide();

    McuSimulator mcu;
    std::unique_ptr<Controller> controller;

private:
    QString m_error;
};
