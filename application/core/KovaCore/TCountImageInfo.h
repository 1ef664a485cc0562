#pragma once

#include <cstdint>
#include <vector>

// The result of one count as the rest of the system sees it. A plain value
// record: copying it copies the histograms, so the application's copy stays
// as it was when the worker clears its own for the next count.
struct TCountImageInfo
{
    float total = 0.0f;  // concentration mantissa of all counted cells (cells/mL = total × 10^total_exp)
    int32_t total_exp = 0;
    int32_t total_cell = 0;
    float live = 0.0f;
    int32_t live_exp = 0;
    int32_t live_cell = 0;
    float dead = 0.0f;
    int32_t dead_exp = 0;
    int32_t dead_cell = 0;
    float viability = 0.0f;          // percent live, 0 in total mode
    float average_cell_size = 0.0f;  // µm, never negative
    float dilution = 0.0f;
    int32_t z_position = 0;                 // stage steps at which the count was taken
    std::vector<int32_t> total_histogram;   // 181 bins of 1 µm once filled
    std::vector<int32_t> live_histogram;
    std::vector<int32_t> dead_histogram;
    std::vector<int32_t> cluster_histogram; // 9 bins: clusters of 1..8, then 9 or more
    int32_t gating_min = 0;
    int32_t gating_max = 0;
};
