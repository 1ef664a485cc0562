// The whole engine on scenes of the held-out set (the second renderer, at
// seeds no tuning looked at): loose and tightly packed clumps of touching
// cells, and cell-sized debris. A failure writes the scene with the count
// drawn over it next to the test.
#include "HeldOut.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

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
    EXPECT_LE(std::abs(t.viabilityError()), 3.0);
    EXPECT_GE(t.precision(), 0.97);
    EXPECT_GE(t.recall(), 0.95);
    if (HasFailure()) {
        const std::string file = std::string("heldout_") + GetParam().name + ".png";
        cv::imwrite(file, heldout::annotate(scene, result));
        ADD_FAILURE() << "the count drawn over the scene: " << file
                      << " (green: found, yellow: missed, red: no cell, cross: called wrongly)";
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, HeldOutScene,
                         ::testing::Values(HeldOutCase{"clumps", "half in clumps of 2-6", 0, 0.05},
                                           HeldOutCase{"tight_clumps_300", "tight clumps of 2-8, 300 cells", 0, 0.03},
                                           HeldOutCase{"tight_clumps_1500", "tight clumps of 2-8, 1500 cells", 0, 0.03},
                                           HeldOutCase{"debris", "sparse, cell-sized debris", 0, 0.05}),
                         [](const ::testing::TestParamInfo<HeldOutCase>& info) { return info.param.name; });

}  // namespace
