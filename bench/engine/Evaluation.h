#pragma once

#include "velimbio/CellCounter.h"

#include <opencv2/core.hpp>

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

// One whole count through the engine, in the counting worker's order, with the
// time of every stage: the core of `kova-evaluate`, of the engine benchmarks
// and of the end-to-end accuracy tests.
namespace evaluation {

// The camera's full frame, which the counting screen's engine is made for.
constexpr int kRows = 1944, kCols = 2592;

struct Protocol
{
    int minSearchSize = 7;
    int maxSearchSize = 24;
    int detectionLevel = 5;
    int liveLevel = 5;
    int noiseLevel = 5;
    int dilution = 2;
};

// The built-in protocols: "DEFAULT" or "PBMC" of counting mode 0 (total) or
// 1 (viability); false for any other name.
bool builtInProtocol(const std::string& name, int countMode, Protocol& protocol);

struct Setup
{
    int countMode = 1;  // 0 total, 1 viability
    Protocol protocol;
    // Instrument calibration, as created at the factory.
    float volumeFactor = 0.48979f;
    float lensMagnification = 1.431f;
    double slope = 0.98946396;
    double intercept = -3.0461858;
};

struct Concentration
{
    float mantissa = 0;
    int exponent = 0;
};

// Milliseconds per stage. `circleDetector` is part of `detection`.
struct StageTimes
{
    double prepare = 0;
    double detection = 0;
    double circleDetector = 0;
    double gating = 0;
    double drawing = 0;
    double total = 0;
};

struct Result
{
    int total = 0;
    int live = 0;           // live, dead, viability and their concentrations:
    int dead = 0;           // 0 in total mode, as on the instrument
    float viability = 0;    // percent
    float averageSize = 0;  // µm
    Concentration totalConcentration, liveConcentration, deadConcentration;
    StageTimes times;
    std::vector<VelimBio::TObj> objects;  // every detected object with its gate flags
};

// A counter set up like the counting screen's, for 2592x1944 frames; a tool
// that reads the engine's state asks for its own subclass.
template <typename Counter = VelimBio::CellCounter>
std::unique_ptr<Counter> makeCounter(const Setup& setup)
{
    auto counter = std::make_unique<Counter>(3, kRows, kCols, setup.volumeFactor, setup.lensMagnification, 1.4f);
    counter->setSizeCalibration(setup.slope, setup.intercept);
    return counter;
}

// Hands in one RGB frame (CV_8UC3, continuous, 2592x1944) and sets the mode
// and the protocol: the start of a count.
void prepare(VelimBio::CellCounter& counter, const cv::Mat& rgb, const Setup& setup);

// Counts one RGB frame (CV_8UC3, continuous, 2592x1944) with the given circle
// detector (by default the engine's own), timed through the detector seam.
// The counter is left with its own detector.
Result evaluate(VelimBio::CellCounter& counter, const cv::Mat& rgb, const Setup& setup,
                const VelimBio::CircleDetector& detector = VelimBio::detectCircles);

// The result as one JSON object on one line.
std::string toJson(const Result& result, const Setup& setup);

// The objects as CSV: x, y, diameter in px, size in µm, live, gated (within 1..181 µm).
void writeObjectsCsv(std::ostream& out, const Result& result);

}  // namespace evaluation
