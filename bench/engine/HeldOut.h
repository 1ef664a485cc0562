#pragma once

#include "BrightField.h"
#include "Evaluation.h"

#include <cstdint>
#include <string>
#include <vector>

// The held-out evaluation: conditions rendered by the second renderer
// (simulator/brightfield) at fixed seeds that no tuning looks at, scored
// against their truth. Tuning (of our detector, of the stock transform's
// settings) uses the same conditions at other seeds only.
namespace heldout {

struct Condition
{
    const char* name;
    brightfield::SceneParams scene;  // seed set per scene, see seedOf
    evaluation::Protocol protocol;
    bool inFocus;  // judged on the in-focus goals
};

// The conditions, all in viability mode.
const std::vector<Condition>& conditions();

enum class Seeds { Tuning, HeldOut };
// Scenes per condition in each set.
constexpr int kScenes = 3;
std::uint64_t seedOf(Seeds set, size_t condition, int scene);

// Counts pooled over the scenes of a condition.
struct Tally
{
    int truth = 0;
    int trueLive = 0;
    int found = 0;
    int foundLive = 0;
    int matched = 0;
    int calledRight = 0;          // matched cells called live or dead as they are
    double diameterErrorSum = 0;  // found - true, pixels, over matched cells

    void add(const Tally& other);
    double countError() const;      // (found - truth) / truth
    double viabilityError() const;  // percentage points
    double precision() const;
    double recall() const;
    double diameterError() const;   // mean, pixels
    double callAccuracy() const;    // share of matched cells called right
};

// The objects inside the open gate held against the truth by position.
Tally score(const std::vector<brightfield::TrueCell>& truth, const evaluation::Result& result);

// The scene with the truth and the count drawn in (blue-green-red order, to
// write as a file): matched cells green, missed cells yellow, objects that
// are no cell red; a cross on each cell called wrongly live or dead.
cv::Mat annotate(const brightfield::Rendered& scene, const evaluation::Result& result);

// The stock gradient circle transform in the engine's detector seam, with the
// protocol's Canny threshold and radii and its own minimum distance and
// accumulator threshold (tuned on the tuning seeds).
VelimBio::CircleDetector stockDetector(double minDist, double votes);
constexpr double kStockMinDist = 8, kStockVotes = 10;

// A detector that answers with the scene's true cells (centre, outer radius):
// what the counting steps after detection make of perfect circles.
VelimBio::CircleDetector truthDetector(const brightfield::Rendered& scene);

// One scene of a condition.
brightfield::Rendered renderScene(const Condition& condition, std::uint64_t seed);

// A scene counted as the counting worker counts it, with the given detector;
// the engine's result also into `result` when given.
Tally count(const Condition& condition, const brightfield::Rendered& scene, const VelimBio::CircleDetector& detector,
            evaluation::Result* result = nullptr);

}  // namespace heldout
