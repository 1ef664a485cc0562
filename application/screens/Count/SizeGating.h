#pragma once

#include "KovaCore/TCountImageInfo.h"

#include <QString>

#include <vector>

namespace VelimBio {
class CellCounter;
}

// The histogram page's size gate: two guide lines over the size axis, one
// index (µm) apart at least, within 1 … 90 µm; and what applying it does to
// the last count.
namespace SizeGating {

inline constexpr int kLowest = 1;
inline constexpr int kHighest = 90;
inline constexpr int kPixelsPerIndex = 4;

enum GuideLine { LowerLine = 0, UpperLine = 1 };

// Where the guide line and the selector of a size index stand on the page.
constexpr int guideLineX(int index)
{
    return kPixelsPerIndex * index + 119;
}
constexpr int selectorX(int index)
{
    return kPixelsPerIndex * index + 100;
}

struct Gate
{
    int low = kLowest;
    int high = kHighest;

    bool operator==(const Gate& other) const { return low == other.low && high == other.high; }
};

// One arrow step (-1 or +1) of a line; at a limit the gate stays as it is:
// 1 <= low < high <= 90.
Gate step(Gate gate, GuideLine line, int direction);

// The shares (percent) of the cluster sizes 1 … 7 and "more than 7" (the
// bins of 8 and of 9 or more together), a ninth entry 0; all 0 without
// clusters.
std::vector<float> clusterShares(const std::vector<int32_t>& bins);

// The concentration axis of a largest bin: its concentration's mantissa, half
// of it, and "(x 10e<exponent> cells/mL)".
struct ConcentrationAxis
{
    QString max;
    QString mid;
    QString exponent;
};
ConcentrationAxis concentrationAxis(VelimBio::CellCounter& engine, int largestBin, int dilution);

// Gates the engine's objects of the last count from `low` to `high` µm and
// recomputes the count from them: numbers (live and dead 0 in counting mode
// 0), viability, average size (0 when the gate holds none), gating range,
// dilution and concentrations; the histograms and the rest stay. The engine's
// ringed image follows the new gate.
void regate(VelimBio::CellCounter& engine, TCountImageInfo& result, int countingMode, float low, float high,
            int dilution);

}  // namespace SizeGating
