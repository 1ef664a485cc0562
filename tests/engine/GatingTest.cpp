#include "EngineProbe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

using VelimBio::TObj;

namespace {

// A detected record of the given axes (pixels = µm at pixel size 1).
cv::Vec6f record(float x, float y, float a, float b, float ratio = 0.5f, float brightness = 200.0f)
{
    return cv::Vec6f(x, y, a, brightness, ratio, b);
}

struct Gated
{
    int live = 0, dead = 0;
};

Gated gate(EngineProbe& engine, std::vector<cv::Vec6f> records, float lo, float hi)
{
    engine.m_detectedCells = std::move(records);
    Gated g;
    engine.histogramsAndGating_BF(lo, hi, g.live, g.dead);
    return g;
}

// Every pair in order, relabelling by a scan of the whole list: the
// straightforward reading of the cluster rule, kept as the reference.
void referenceClusters(std::vector<cv::Vec6f>& o)
{
    for (size_t i = 0; i < o.size(); ++i) {
        if (o[i][4] < 0)
            o[i][4] = static_cast<float>(i);
        for (size_t j = i + 1; j < o.size(); ++j) {
            if (o[j][4] == o[i][4])
                continue;
            const float reach = static_cast<float>(0.7 * (o[i][2] + o[j][2]));
            const float dy = o[i][1] - o[j][1];
            const float dx = o[i][0] - o[j][0];
            if (dy * dy + dx * dx < reach * reach) {
                if (o[j][4] >= 0) {
                    const int li = static_cast<int>(o[i][4]);
                    const int lj = static_cast<int>(o[j][4]);
                    for (cv::Vec6f& k : o)
                        if (static_cast<int>(k[4]) == li)
                            k[4] = static_cast<float>(lj);
                } else {
                    o[j][4] = o[i][4];
                }
            }
        }
    }
}

}  // namespace

TEST(EngineGate, Table)
{
    const float sizes[] = {5.0f, 20.0f, 20.5f, 4.9f, 0.5f, 200.0f, 180.5f};
    const struct
    {
        float lo, hi;
        int position[7];
        bool gated[7];
    } cases[] = {
        {1, 181, {-1, -1, -1, -1, -1, -1, -1}, {1, 1, 1, 1, 0, 0, 1}},  // open: everything counts
        {0, 500, {-1, -1, -1, -1, -1, -1, -1}, {1, 1, 1, 1, 1, 1, 1}},
        {5, 20, {1, 0, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0, 0}},          // 20.0 gated, not counted
        {1, 180, {1, 1, 1, 1, 0, 0, 0}, {1, 1, 1, 1, 0, 0, 0}},         // 180 < 181: closed
        {1.5f, 181, {1, 1, 1, 1, 0, 0, 1}, {1, 1, 1, 1, 0, 0, 1}},  // 1.5 > 1: closed
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "gate " << c.lo << ".." << c.hi);
        EngineProbe engine = smallEngine(40, 40);
        std::vector<cv::Vec6f> records;
        for (size_t i = 0; i < 7; ++i)  // alternately live and dead
            records.push_back(record(5, 5, sizes[i], sizes[i] * 0.5f, i % 2 ? 100.0f : 0.5f));
        const Gated g = gate(engine, records, c.lo, c.hi);
        int live = 0, dead = 0;
        for (size_t i = 0; i < 7; ++i) {
            const TObj& o = engine.m_cellObjects[i];
            EXPECT_EQ(o.size_um, sizes[i]);
            EXPECT_EQ(o.gate_position, c.position[i]) << sizes[i];
            EXPECT_EQ(o.is_gated, c.gated[i]) << sizes[i];
            if (o.gate_position != 0)
                ++(i % 2 ? dead : live);
        }
        EXPECT_EQ(g.live, live);
        EXPECT_EQ(g.dead, dead);
        // the ungated list keeps every object with the flags of this gating
        ASSERT_EQ(engine.getUngatedCellInformation().size(), 7u);
        EXPECT_EQ(engine.getUngatedCellInformation()[2].gate_position, c.position[2]);
    }
}

TEST(EngineGate, SizeCalibrationInFloat)
{
    EngineProbe engine(3, 40, 40, 0.48979f, 1.431f, 1.4f);
    engine.setSizeCalibration(0.98946396, -3.0461858);
    const float diameters[] = {10.0f, 16.5f, 7.25f, 48.0f};
    std::vector<cv::Vec6f> records;
    for (float d : diameters)
        records.push_back(record(5, 5, d, d));
    gate(engine, records, 1, 181);
    const float pixel = 1.4f / 1.431f;
    for (size_t i = 0; i < 4; ++i) {
        const float d = diameters[i];
        const float expected = -3.0461858f + d * pixel * 0.98946396f;
        EXPECT_EQ(engine.m_cellObjects[i].size_um, expected) << d;
        EXPECT_NEAR(engine.m_cellObjects[i].size_um, 1.4 / 1.431 * 0.98946396 * d - 3.0461858, 2e-5) << d;
    }
    EXPECT_NEAR(engine.m_cellObjects[0].size_um, 6.634111, 1e-5);
}

TEST(EngineGate, LiveCallShapeAndPosition)
{
    EngineProbe engine = smallEngine(40, 40, 1);
    engine.set_countMode(1, 0, 0);
    engine.set_BF_Protocol(8, 48, 1, 180, 5, 6, 0, 1);  // threshold 1.00
    gate(engine,
         {record(10.5f, 11.5f, 10, 5, 0.99f, 77.9f), record(12.5f, -3.5f, 5, 10, 1.0f), record(1, 2, 8, 0, 100.0f),
          record(1, 2, 0, 0, 0.5f)},
         1, 181);
    const auto& o = engine.m_cellObjects;
    EXPECT_TRUE(o[0].is_live);
    EXPECT_FALSE(o[1].is_live);  // ratio equal to the threshold: dead
    EXPECT_FALSE(o[2].is_live);
    EXPECT_EQ(o[0].x, 10);       // ties to even
    EXPECT_EQ(o[0].y, 12);
    EXPECT_EQ(o[1].x, 12);
    EXPECT_EQ(o[1].y, -4);
    EXPECT_EQ(o[0].mean_intensity, 77);
    EXPECT_FLOAT_EQ(o[0].circularity, 0.8f);
    EXPECT_FLOAT_EQ(o[0].roundness, 200.0f);
    EXPECT_EQ(o[1].diameter_px, 10.0f);
    EXPECT_FLOAT_EQ(o[1].roundness, 50.0f);
    EXPECT_EQ(o[2].circularity, 0.0f);  // axis b 0: no shape numbers, size from a
    EXPECT_EQ(o[2].roundness, 0.0f);
    EXPECT_EQ(o[2].size_um, 8.0f);
    EXPECT_EQ(o[3].size_um, 0.0f);

    float average = -7.0f;
    engine.getAvgCellSize(average);
    EXPECT_FLOAT_EQ(average, (10.0f + 10.0f + 8.0f + 0.0f) / 4);

    gate(engine, engine.m_detectedCells, 50, 60);  // nothing counted: the average stays
    average = -7.0f;
    engine.getAvgCellSize(average);
    EXPECT_EQ(average, -7.0f);
    EXPECT_EQ(engine.m_detectedCells.size(), 4u);  // re-gating keeps the detection
}

TEST(EngineGate, Viability)
{
    EngineProbe engine = smallEngine(40, 40);
    const struct { int live, dead; float percent; } cases[] = {
        {0, 0, 0.0f}, {3, 1, 75.0f}, {1, 2, 100.0f / 3.0f}, {5, 0, 100.0f}, {0, 4, 0.0f}};
    for (const auto& c : cases) {
        float p = -1;
        engine.getViability(c.live, c.dead, p);
        EXPECT_FLOAT_EQ(p, c.percent) << c.live << "/" << c.dead;
    }
    EXPECT_EQ(engine.getHistogram2(3), nullptr);
    EXPECT_EQ(engine.getHistogram2(-1), nullptr);
}

TEST(EngineClusters, Table)
{
    using Bins = std::vector<int>;
    const struct
    {
        const char* name;
        std::vector<cv::Vec6f> records;
        Bins bins;
    } cases[] = {
        {"chain of three", {record(0, 0, 10, 10), record(6, 0, 10, 10), record(12, 0, 10, 10)},
         {0, 0, 1, 0, 0, 0, 0, 0, 0}},
        {"exactly 0.7 (ri + rj) apart", {record(0, 0, 10, 10), record(7, 0, 10, 10)}, {2, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"just inside", {record(0, 0, 10, 10), record(6.99f, 0, 10, 10)}, {0, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"larger axis counts", {record(0, 0, 4, 10), record(0, 6.9f, 10, 2)}, {0, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"pair and single", {record(0, 0, 10, 10), record(100, 0, 10, 10), record(4, 3, 10, 10)},
         {1, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"none", {}, {0, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        EngineProbe engine = smallEngine(40, 40);
        gate(engine, c.records, 50, 60);  // clusters count whatever the gate
        EXPECT_EQ(histogram(engine, 2), c.bins) << c.name;
    }
}

TEST(EngineClusters, TenMutualNeighboursAndLargerClusters)
{
    for (int n : {8, 9, 10, 25}) {
        std::vector<cv::Vec6f> records;
        for (int i = 0; i < n; ++i)
            records.push_back(record(float(i % 5), float(i / 5), 20, 20));
        EngineProbe engine = smallEngine(40, 40);
        gate(engine, records, 1, 181);
        std::vector<int> expected(9, 0);
        expected[std::min(n, 9) - 1] = 1;
        EXPECT_EQ(histogram(engine, 2), expected) << n;
    }
}

// The engine's grid search gives the very labels of the all-pairs scan.
TEST(EngineClusters, GridMatchesAllPairs)
{
    std::mt19937 random(20261210);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Spread { int n; float width, height, rmin, rmax; };
    const Spread spreads[] = {{0, 10, 10, 1, 2},        {1, 10, 10, 1, 2},        {2, 5, 5, 2, 4},
                              {60, 60, 60, 3, 12},      {500, 2592, 1944, 3, 12}, {3000, 2592, 1944, 3, 15},
                              {3000, 400, 300, 3, 12},  {400, 1e6f, 1e6f, 0, 50}, {300, 50, 50, -8, 8},
                              {2000, 2592, 1944, 0.5f, 0.5f}};
    for (int round = 0; round < 3; ++round) {
        for (const Spread& s : spreads) {
            std::uniform_real_distribution<float> x(0, s.width), y(0, s.height), r(s.rmin, s.rmax);
            std::vector<cv::Vec6f> objects;
            for (int i = 0; i < s.n; ++i) {
                // whole pixels now and then, so exact distances occur
                const bool whole = i % 3 == 0;
                objects.push_back(cv::Vec6f(whole ? std::round(x(random)) : x(random),
                                            whole ? std::round(y(random)) : y(random), whole ? 5.0f : r(random),
                                            0, -1.0f, 0));
            }
            if (round == 2 && s.n > 10) {  // records no grid can place
                objects[3][0] = nan;
                objects[5][1] = inf;
                objects[7][0] = -inf;
            }
            std::vector<cv::Vec6f> expected = objects;
            referenceClusters(expected);
            EngineProbe engine = smallEngine(40, 40);
            engine.check_clusters(objects);
            ASSERT_EQ(objects.size(), expected.size());
            EXPECT_EQ(std::memcmp(objects.data(), expected.data(), objects.size() * sizeof(cv::Vec6f)), 0)
                << "round " << round << ", " << s.n << " objects over " << s.width << "×" << s.height;
        }
    }

    // an infinite radius reaches every finite centre
    std::vector<cv::Vec6f> objects = {cv::Vec6f(0, 0, 1, 0, -1, 0), cv::Vec6f(500, 0, inf, 0, -1, 0),
                                      cv::Vec6f(900, 900, 1, 0, -1, 0), cv::Vec6f(3, 0, 1, 0, -1, 0)};
    std::vector<cv::Vec6f> expected = objects;
    referenceClusters(expected);
    EngineProbe engine = smallEngine(40, 40);
    engine.check_clusters(objects);
    EXPECT_EQ(std::memcmp(objects.data(), expected.data(), objects.size() * sizeof(cv::Vec6f)), 0);
}

TEST(EngineGate, OlderViabilityVariantAddsToTheBins)
{
    EngineProbe engine = smallEngine(40, 40);
    engine.set_countMode(1, 0, 0);
    engine.set_BF_Protocol(8, 48, 1, 180, 5, 6, 0, 1);
    gate(engine, {record(0, 0, 10, 10)}, 1, 181);  // one single in bin 0
    std::vector<cv::Vec6f> objects = {record(0, 0, 10, 8, 0.5f), record(5, 0, 10, 10, 1.5f)}, live, dead;
    engine.histogram_and_viability_BF(objects, live, dead);
    ASSERT_EQ(live.size(), 1u);
    ASSERT_EQ(dead.size(), 1u);
    EXPECT_EQ(live[0][4], 0.5f);  // appended unchanged
    EXPECT_EQ(objects[0][2], 5.0f);  // prepared in place: radius
    EXPECT_EQ(objects[0][5], 4.0f);
    EXPECT_EQ(histogram(engine, 2), std::vector<int>({1, 1, 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_EQ(engine.getUngatedCellInformation().size(), 3u);
    EXPECT_EQ(engine.getUngatedCellInformation()[1].gate_position, -1);
    EXPECT_FALSE(engine.getUngatedCellInformation()[1].is_gated);

    const auto inside = engine.gating_BF(9.5f, 10.0f);
    EXPECT_EQ(inside.size(), 1u);  // the detection list (one record of 10 µm)
}
