#include "Count/SizeGating.h"

#include "KovaCore/KovaCoreApp.h"

#include "velimbio/CellCounter.h"

#include <numeric>

namespace SizeGating {

namespace {

constexpr int kClusterBars = 8;  // 1 … 7 and "more than 7"

}  // namespace

Gate step(Gate gate, GuideLine line, int direction)
{
    int& moved = line == LowerLine ? gate.low : gate.high;
    const int next = moved + direction;
    const bool keeps = next >= kLowest && next <= kHighest && (line == LowerLine ? next < gate.high : next > gate.low);
    if (keeps)
        moved = next;
    return gate;
}

std::vector<float> clusterShares(const std::vector<int32_t>& bins)
{
    std::vector<float> shares(bins.size(), 0.0f);
    const float sum = float(std::accumulate(bins.begin(), bins.end(), 0LL));
    if (sum == 0.0f || bins.size() < kClusterBars)
        return shares;
    for (int k = 0; k < kClusterBars - 1; ++k)
        shares[k] = float(bins[k]) / sum * 100.0f;
    const int32_t more = bins[kClusterBars - 1] + (bins.size() > kClusterBars ? bins[kClusterBars] : 0);
    shares[kClusterBars - 1] = float(more) / sum * 100.0f;
    return shares;
}

ConcentrationAxis concentrationAxis(VelimBio::CellCounter& engine, int largestBin, int dilution)
{
    float mantissa = 0.0f;
    int exponent = 0;
    engine.getConcentration(largestBin, float(dilution), mantissa, exponent);
    return {QString::number(double(mantissa), 'f', 2), QString::number(double(mantissa) * 0.5, 'f', 2),
            QStringLiteral("(x 10e%1 cells/mL)").arg(exponent)};
}

void regate(VelimBio::CellCounter& engine, TCountImageInfo& r, int countingMode, float low, float high,
            int dilution)
{
    int live = 0;
    int dead = 0;
    engine.histogramsAndGating_BF(low, high, live, dead);
    // The rings and histograms follow the gate flags just set.
    engine.draw_cellsBF(false);
    const int total = live + dead;
    if (countingMode == BF_TOTAL_CELL_COUNTING)
        live = dead = 0;
    r.total_cell = total;
    engine.getViability(live, dead, r.viability);
    // The engine leaves the average as it was when the gate holds no object.
    r.average_cell_size = 0.0f;
    engine.getAvgCellSize(r.average_cell_size);
    if (r.average_cell_size < 0.0f)
        r.average_cell_size = 0.0f;
    r.live_cell = live;
    r.dead_cell = dead;
    r.gating_min = int(low);
    r.gating_max = int(high);
    r.dilution = float(dilution);
    if (countingMode != BF_TOTAL_CELL_COUNTING) {
        engine.getConcentration(live, r.dilution, r.live, r.live_exp);
        engine.getConcentration(dead, r.dilution, r.dead, r.dead_exp);
    }
    engine.getConcentration(total, r.dilution, r.total, r.total_exp);
}

}  // namespace SizeGating
