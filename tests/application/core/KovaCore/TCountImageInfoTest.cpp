#include "KovaCore/TCountImageInfo.h"

#include <gtest/gtest.h>

TEST(TCountImageInfo, StartsAtZeroWithEmptyHistograms)
{
    const TCountImageInfo info;
    EXPECT_EQ(info.total, 0.0f);
    EXPECT_EQ(info.total_cell, 0);
    EXPECT_EQ(info.viability, 0.0f);
    EXPECT_EQ(info.gating_max, 0);
    EXPECT_TRUE(info.total_histogram.empty());
    EXPECT_TRUE(info.cluster_histogram.empty());
}

TEST(TCountImageInfo, ACopyCarriesItsHistogramsAndOutlivesAClear)
{
    TCountImageInfo worker;
    worker.total = 2.25f;
    worker.total_exp = 5;
    worker.total_cell = 100;
    worker.total_histogram.assign(181, 1);
    worker.live_histogram.assign(181, 2);
    worker.dead_histogram.assign(181, 3);
    worker.cluster_histogram.assign(9, 4);
    worker.gating_min = 5;
    worker.gating_max = 30;

    const TCountImageInfo result = worker;

    // The worker's record is cleared for the next count.
    worker = TCountImageInfo();
    worker.total_histogram.assign(181, 0);

    EXPECT_EQ(result.total, 2.25f);
    EXPECT_EQ(result.total_exp, 5);
    EXPECT_EQ(result.total_cell, 100);
    EXPECT_EQ(result.gating_min, 5);
    EXPECT_EQ(result.gating_max, 30);
    EXPECT_EQ(result.total_histogram, std::vector<int32_t>(181, 1));
    EXPECT_EQ(result.live_histogram, std::vector<int32_t>(181, 2));
    EXPECT_EQ(result.dead_histogram, std::vector<int32_t>(181, 3));
    EXPECT_EQ(result.cluster_histogram, std::vector<int32_t>(9, 4));
}
