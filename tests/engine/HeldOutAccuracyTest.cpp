// The whole engine on scenes of the held-out set (the second renderer, at
// seeds no tuning looked at): loose and tightly packed clumps of touching
// cells, cell-sized debris, as much debris as cells, and faint cells. A
// failure writes the scene with the count drawn over it next to the test.
#include "HeldOut.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ostream>
#include <string>

namespace {

struct HeldOutCase
{
    const char* name;
    const char* condition;
    int scene;
    double countTolerance;  // largest |reported - true| / true
    double minRecall;
    bool viabilityBound;    // whether the viability must lie within 3 points
};

std::ostream& operator<<(std::ostream& os, const HeldOutCase& c)
{
    return os << c.condition << ", scene " << c.scene;
}

class HeldOutScene : public ::testing::TestWithParam<HeldOutCase>
{
};

TEST_P(HeldOutScene, CountViabilityAndPrecisionWithinTheGoals)
{
    const auto& all = heldout::conditions();
    size_t index = 0;
    while (index < all.size() && std::strcmp(all[index].name, GetParam().condition) != 0)
        ++index;
    ASSERT_LT(index, all.size()) << GetParam().condition;
    const heldout::Condition& condition = all[index];
    const brightfield::Rendered scene =
        heldout::renderScene(condition, heldout::seedOf(heldout::Seeds::HeldOut, index, GetParam().scene));

    evaluation::Result result;
    const heldout::Tally t = heldout::count(condition, scene, VelimBio::detectCircles, &result);
    EXPECT_LE(std::abs(t.countError()), GetParam().countTolerance) << t.found << " counted, " << t.truth << " cells";
    if (GetParam().viabilityBound) {
        EXPECT_LE(std::abs(t.viabilityError()), 3.0);
    }
    EXPECT_GE(t.precision(), 0.97);
    EXPECT_GE(t.recall(), GetParam().minRecall);
    if (HasFailure()) {
        const std::string file = std::string("heldout_") + GetParam().name + ".png";
        cv::imwrite(file, heldout::annotate(scene, result));
        ADD_FAILURE() << "the count drawn over the scene: " << file
                      << " (green: found, yellow: missed, red: no cell, cross: called wrongly)";
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, HeldOutScene,
                         ::testing::Values(
                             HeldOutCase{"clumps", "half in clumps of 2-6", 0, 0.05, 0.95, true},
                             HeldOutCase{"tight_clumps_300", "tight clumps of 2-8, 300 cells", 0, 0.03, 0.95, true},
                             HeldOutCase{"tight_clumps_1500", "tight clumps of 2-8, 1500 cells", 0, 0.03, 0.95, true},
                             HeldOutCase{"debris", "sparse, cell-sized debris", 0, 0.05, 0.95, true},
                             // At this contrast the live/dead call is the protocol's thresholds' own.
                             HeldOutCase{"faint_cells", "contrast 0.35, thin rims", 0, 0.08, 0.92, false}),
                         [](const ::testing::TestParamInfo<HeldOutCase>& info) { return info.param.name; });

// A goal the detector does not reach yet (run with --gtest_also_run_disabled_tests):
// blobs of overlapping discs that came out as round as a dead cell, as dark
// and as flat inside, are taken for small cells.
INSTANTIATE_TEST_SUITE_P(DISABLED_NotMetYet, HeldOutScene,
                         ::testing::Values(HeldOutCase{"debris_as_many_as_cells",
                                                       "debris as many as cells, a fifth blobs of discs", 0, 0.03,
                                                       0.95, true}),
                         [](const ::testing::TestParamInfo<HeldOutCase>& info) { return info.param.name; });

// Every held-out scene of one condition: no object is counted twice, that
// is, no two objects' centres lie closer than half the smaller radius.
class HeldOutCondition : public ::testing::TestWithParam<size_t>
{
};

TEST_P(HeldOutCondition, EveryObjectIsCountedOnce)
{
    const heldout::Condition& condition = heldout::conditions()[GetParam()];
    for (int s = 0; s < heldout::kScenes; ++s) {
        const brightfield::Rendered scene =
            heldout::renderScene(condition, heldout::seedOf(heldout::Seeds::HeldOut, GetParam(), s));
        evaluation::Result result;
        heldout::count(condition, scene, VelimBio::detectCircles, &result);
        const std::vector<VelimBio::TObj>& objects = result.objects;
        int twice = 0;
        for (size_t i = 0; i < objects.size(); ++i)
            for (size_t j = i + 1; j < objects.size(); ++j) {
                const float half = std::min(objects[i].diameter_px, objects[j].diameter_px) / 4;
                if (std::hypot(objects[i].x - objects[j].x, objects[i].y - objects[j].y) < half) {
                    ++twice;
                    ADD_FAILURE() << condition.name << ", scene " << s << ": objects at (" << objects[i].x << ", "
                                  << objects[i].y << ") and (" << objects[j].x << ", " << objects[j].y << ")";
                }
            }
        if (twice > 0) {
            const std::string file = "heldout_twice_" + std::to_string(GetParam()) + "_" + std::to_string(s) + ".png";
            cv::imwrite(file, heldout::annotate(scene, result));
            ADD_FAILURE() << "the count drawn over the scene: " << file;
        }
    }
}

std::string conditionName(const ::testing::TestParamInfo<size_t>& info)
{
    return "condition_" + std::to_string(info.param);
}

INSTANTIATE_TEST_SUITE_P(AllConditions, HeldOutCondition, ::testing::Range<size_t>(0, heldout::conditions().size()),
                         conditionName);

}  // namespace
