// The whole engine, through the evaluation tool's code, on generated slides
// at the DEFAULT protocol: counts, viability and sizes against the truth.
#include "Evaluation.h"
#include "Slide.h"
#include "SlideMatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <ostream>

namespace {

struct SlideCase
{
    const char* name;
    int cells;
    double liveFraction;
    double clusterFraction;
    double blur;
    double noise;
    double contrast;
    std::uint64_t seed;
};

std::ostream& operator<<(std::ostream& os, const SlideCase& c)
{
    return os << c.name;
}

class EngineAccuracy : public ::testing::TestWithParam<SlideCase>
{
};

TEST_P(EngineAccuracy, CountsViabilityAndSizesMatchTheTruth)
{
    const SlideCase& c = GetParam();
    slide::SlideParams p;
    p.seed = c.seed;
    p.cellCount = c.cells;
    p.liveFraction = c.liveFraction;
    p.clusterFraction = c.clusterFraction;
    p.minDiameter = 8;
    p.maxDiameter = 24;
    p.blur = c.blur;
    p.noise = c.noise;
    p.contrast = c.contrast;
    const slide::Slide s = slide::generateSlide(p);

    evaluation::Setup setup;
    ASSERT_TRUE(evaluation::builtInProtocol("DEFAULT", 1, setup.protocol));
    const auto counter = evaluation::makeCounter(setup);
    const evaluation::Result r = evaluation::evaluate(*counter, s.rgb, setup);

    const int trueTotal = static_cast<int>(s.truth.size());
    int trueLive = 0;
    for (const slide::SlideCell& cell : s.truth)
        trueLive += cell.live ? 1 : 0;
    EXPECT_NEAR(r.total, trueTotal, 0.03 * trueTotal);
    EXPECT_NEAR(r.viability, 100.0 * trueLive / trueTotal, 3.0);

    std::vector<slide::Detection> found;
    for (const VelimBio::TObj& o : r.objects)
        found.push_back({static_cast<float>(o.x), static_cast<float>(o.y), o.diameter_px});
    const slide::Match m = slide::matchDetections(s.truth, found);
    EXPECT_LE(std::abs(m.meanDiameterError), 1.0);
    EXPECT_GE(m.recall, 0.97);
    EXPECT_GE(m.precision, 0.97);
}

// A total count reports the total only, as the instrument does.
TEST(EngineEvaluation, TotalModeHasNoLiveDeadSplit)
{
    slide::SlideParams p;
    p.seed = 36;
    p.liveFraction = 0.5;
    const slide::Slide s = slide::generateSlide(p);

    evaluation::Setup setup;
    setup.countMode = 0;
    ASSERT_TRUE(evaluation::builtInProtocol("DEFAULT", 0, setup.protocol));
    const auto counter = evaluation::makeCounter(setup);
    const evaluation::Result r = evaluation::evaluate(*counter, s.rgb, setup);

    const int trueTotal = static_cast<int>(s.truth.size());
    EXPECT_NEAR(r.total, trueTotal, 0.03 * trueTotal);
    EXPECT_EQ(r.live, 0);
    EXPECT_EQ(r.dead, 0);
    EXPECT_EQ(r.viability, 0.0f);
    EXPECT_EQ(r.liveConcentration.mantissa, 0.0f);
    EXPECT_EQ(r.deadConcentration.mantissa, 0.0f);
    float mantissa = 0;
    int exponent = 0;
    counter->getConcentration(r.total, 1.0f, mantissa, exponent);
    EXPECT_EQ(r.totalConcentration.mantissa, mantissa);
    EXPECT_EQ(r.totalConcentration.exponent, exponent);
}

INSTANTIATE_TEST_SUITE_P(
    GeneratedSlides, EngineAccuracy,
    ::testing::Values(SlideCase{"sparse_300", 300, 0.8, 0.1, 0.0, 2.5, 1.0, 31},
                      SlideCase{"dense_1500_clumped", 1500, 0.7, 0.2, 0.0, 2.5, 1.0, 32},
                      SlideCase{"mostly_dead", 500, 0.2, 0.1, 0.0, 2.5, 1.0, 33},
                      SlideCase{"defocused_noisy", 800, 0.5, 0.1, 0.8, 5.0, 1.0, 34},
                      SlideCase{"faint", 600, 0.9, 0.1, 0.0, 2.5, 0.7, 35}));

}  // namespace
