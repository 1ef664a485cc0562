#include "Count/SizeGating.h"

#include <gtest/gtest.h>

namespace {

using SizeGating::Gate;

TEST(SizeGate, ArrowsKeepOneBelowLowerBelowUpperBelowNinety)
{
    const struct
    {
        Gate from;
        SizeGating::GuideLine line;
        int direction;
        Gate to;
    } cases[] = {
        {{1, 90}, SizeGating::LowerLine, -1, {1, 90}},
        {{1, 90}, SizeGating::LowerLine, +1, {2, 90}},
        {{2, 90}, SizeGating::LowerLine, -1, {1, 90}},
        {{1, 90}, SizeGating::UpperLine, +1, {1, 90}},
        {{1, 90}, SizeGating::UpperLine, -1, {1, 89}},
        {{40, 41}, SizeGating::LowerLine, +1, {40, 41}},
        {{40, 41}, SizeGating::UpperLine, -1, {40, 41}},
        {{39, 41}, SizeGating::LowerLine, +1, {40, 41}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SizeGating::step(c.from, c.line, c.direction), c.to)
            << c.from.low << "-" << c.from.high << " line " << c.line << " by " << c.direction;
}

TEST(SizeGate, LinesAndSelectorsStandFourPixelsAnIndexApart)
{
    EXPECT_EQ(SizeGating::guideLineX(1), 123);
    EXPECT_EQ(SizeGating::guideLineX(90), 479);
    EXPECT_EQ(SizeGating::selectorX(1), 104);
    EXPECT_EQ(SizeGating::selectorX(90), 460);
}

TEST(ClusterShares, EighthBarHoldsEightAndMore)
{
    const struct
    {
        std::vector<int32_t> bins;
        std::vector<float> shares;
    } cases[] = {
        {{10, 5, 0, 0, 0, 0, 0, 3, 2}, {50, 25, 0, 0, 0, 0, 0, 25, 0}},
        {{0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
        {{1, 1, 1, 1, 1, 1, 1, 0, 1}, {12.5, 12.5, 12.5, 12.5, 12.5, 12.5, 12.5, 12.5, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SizeGating::clusterShares(c.bins), c.shares);
}

}  // namespace
