// The second renderer's clumps, blobs of discs and sensor noise, which the
// held-out conditions of touching and noisy cells and of debris rely on.
#include "BrightField.h"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace {

using brightfield::TrueCell;

brightfield::SceneParams smallScene(std::uint64_t seed)
{
    brightfield::SceneParams p;
    p.seed = seed;
    p.width = 640;
    p.height = 480;
    return p;
}

// Of two cells of a clump: how deep their outlines overlap, pixels (negative: apart).
double overlapOf(const TrueCell& a, const TrueCell& b)
{
    return (a.diameter + b.diameter) / 2 - std::hypot(a.x - b.x, a.y - b.y);
}

struct ClumpStats
{
    int clumps = 0;
    int smallest = 1 << 30, largest = 0;
    double deepestShare = -1;     // deepest overlap of two members over the smaller diameter
    int loners = 0;               // members touching no other member
    double contactsPerCell = 0;
};

ClumpStats clumpStats(bool packed)
{
    std::map<int, std::vector<TrueCell>> clumps;
    for (std::uint64_t seed = 1; seed <= 4; ++seed) {
        brightfield::SceneParams p = smallScene(seed);
        p.cells = 80;
        p.clumpedShare = 1;
        p.largestClump = 8;
        p.packedClumps = packed;
        p.specks = 0;
        for (const TrueCell& c : brightfield::render(p).cells)
            if (c.clump > 0)
                clumps[c.clump + 1000 * static_cast<int>(seed)].push_back(c);
    }
    ClumpStats s;
    int cells = 0, contacts = 0;
    for (const auto& [id, members] : clumps) {
        ++s.clumps;
        s.smallest = std::min(s.smallest, static_cast<int>(members.size()));
        s.largest = std::max(s.largest, static_cast<int>(members.size()));
        for (size_t i = 0; i < members.size(); ++i) {
            int touching = 0;
            for (size_t j = 0; j < members.size(); ++j) {
                if (i == j)
                    continue;
                const double overlap = overlapOf(members[i], members[j]);
                s.deepestShare = std::max(s.deepestShare,
                                          overlap / std::min(members[i].diameter, members[j].diameter));
                touching += overlap > -0.01 ? 1 : 0;
            }
            s.loners += touching == 0 ? 1 : 0;
            contacts += touching;
            ++cells;
        }
    }
    s.contactsPerCell = cells ? static_cast<double>(contacts) / cells : 0;
    return s;
}

TEST(BrightFieldClumps, PackedClumpsTouchEveryMemberOverlapAtMostTheirShareAndCrowdTighterThanStrungOnes)
{
    const ClumpStats packed = clumpStats(true), strung = clumpStats(false);
    ASSERT_GT(packed.clumps, 10);
    EXPECT_GE(packed.smallest, 2);
    EXPECT_LE(packed.largest, 8);
    EXPECT_GT(packed.largest, 6) << "clumps larger than the loose ones' 6";
    EXPECT_EQ(packed.loners, 0);
    EXPECT_LE(packed.deepestShare, 0.15 + 1e-4);
    EXPECT_GT(packed.deepestShare, 0.10);
    EXPECT_GT(packed.contactsPerCell, 1.25 * strung.contactsPerCell)
        << packed.contactsPerCell << " against " << strung.contactsPerCell;
}

TEST(BrightFieldDebris, BlobsOfDiscsAreDarkLumpsSixToSixteenPixelsAcrossAndNoCells)
{
    brightfield::SceneParams p = smallScene(5);
    p.cells = 0;
    p.specks = 0;
    p.dust = 0;
    p.discBlobs = 20;
    const brightfield::Rendered r = brightfield::render(p);
    EXPECT_TRUE(r.cells.empty());
    cv::Mat green, dark, labels, stats, centroids;
    cv::extractChannel(r.rgb, green, 1);
    cv::threshold(green, dark, 0.8 * p.background, 255, cv::THRESH_BINARY_INV);
    const int n = cv::connectedComponentsWithStats(dark, labels, stats, centroids) - 1;
    EXPECT_EQ(n, p.discBlobs);
    int elongated = 0;
    for (int i = 1; i <= n; ++i) {
        const int w = stats.at<int>(i, cv::CC_STAT_WIDTH), h = stats.at<int>(i, cv::CC_STAT_HEIGHT);
        EXPECT_GE(std::max(w, h), 5) << "blob " << i;
        EXPECT_LE(std::max(w, h), 17) << "blob " << i;
        elongated += std::min(w, h) < 0.8 * std::max(w, h) ? 1 : 0;
    }
    EXPECT_GE(elongated, n / 4) << "lumpy, seldom round";
}

// Noise on clear glass, green plane: the standard deviation about the mean.
double glassNoise(double gain)
{
    brightfield::SceneParams p = smallScene(7);
    p.cells = 0;
    p.specks = 0;
    p.dust = 0;
    p.unevenness = 0;
    p.gain = gain;
    cv::Mat green;
    cv::extractChannel(brightfield::render(p).rgb, green, 1);
    cv::Scalar mean, deviation;
    cv::meanStdDev(green(cv::Rect(8, 8, p.width - 16, p.height - 16)), mean, deviation);
    return deviation[0];
}

TEST(BrightFieldSensor, NoiseGrowsAsTheSquareRootOfTheGain)
{
    const double base = glassNoise(4);
    ASSERT_GT(base, 1.0);
    const struct
    {
        double gain, times;
    } cases[] = {{16, 2}, {36, 3}};
    for (const auto& c : cases)
        EXPECT_NEAR(glassNoise(c.gain) / base, c.times, 0.1 * c.times) << "gain " << c.gain;
}

}  // namespace
