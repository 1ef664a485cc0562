// The slide generator and the truth matching that every accuracy figure rests on.
#include "Slide.h"
#include "SlideMatch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace {

slide::SlideParams smallSlide(std::uint64_t seed)
{
    slide::SlideParams p;
    p.width = 640;
    p.height = 480;
    p.seed = seed;
    p.cellCount = 60;
    p.clusterFraction = 0.3;
    p.debrisCount = 10;
    return p;
}

TEST(Slide, SameSeedSamePixelsOtherSeedOtherSlide)
{
    const slide::Slide a = slide::generateSlide(smallSlide(4));
    const slide::Slide b = slide::generateSlide(smallSlide(4));
    const slide::Slide c = slide::generateSlide(smallSlide(5));
    ASSERT_EQ(a.rgb.size(), cv::Size(640, 480));
    ASSERT_EQ(a.rgb.type(), CV_8UC3);
    EXPECT_EQ(cv::norm(a.rgb, b.rgb, cv::NORM_INF), 0);
    EXPECT_GT(cv::norm(a.rgb, c.rgb, cv::NORM_INF), 0);
    ASSERT_EQ(a.truth.size(), b.truth.size());
    for (size_t i = 0; i < a.truth.size(); ++i)
        EXPECT_EQ(a.truth[i].x, b.truth[i].x);
}

TEST(Slide, TruthFollowsTheParameters)
{
    const slide::SlideParams p = smallSlide(6);
    const slide::Slide s = slide::generateSlide(p);
    ASSERT_EQ(static_cast<int>(s.truth.size()), p.cellCount);
    int clustered = 0;
    for (size_t i = 0; i < s.truth.size(); ++i) {
        const slide::SlideCell& c = s.truth[i];
        EXPECT_GE(c.diameter, p.minDiameter);
        EXPECT_LE(c.diameter, p.maxDiameter);
        EXPECT_LE(c.minorDiameter, c.diameter);
        EXPECT_GE(c.minorDiameter, c.diameter * (1 - p.ellipticity) - 1e-4);
        EXPECT_GE(c.x - c.diameter / 2, 0);
        EXPECT_LE(c.x + c.diameter / 2, p.width - 1);
        clustered += c.cluster > 0 ? 1 : 0;
        // Separate objects keep the gap; members of one cluster touch a fellow.
        bool touchesFellow = false;
        for (size_t j = 0; j < s.truth.size(); ++j) {
            const slide::SlideCell& o = s.truth[j];
            const double d = std::hypot(c.x - o.x, c.y - o.y), radii = (c.diameter + o.diameter) / 2;
            if (i == j)
                continue;
            if (c.cluster > 0 && c.cluster == o.cluster)
                touchesFellow = touchesFellow || d < radii;
            else
                EXPECT_GE(d, radii + p.minGap - 1e-3) << i << " " << j;
        }
        EXPECT_EQ(touchesFellow, c.cluster > 0) << i;
    }
    EXPECT_GE(clustered, p.cellCount * p.clusterFraction - 1);
}

TEST(Slide, ClustersStayWithinTheLargestSize)
{
    for (int largest : {1, 2, 4}) {
        slide::SlideParams p = smallSlide(10);
        p.clusterFraction = 0.6;
        p.maxClusterSize = largest;
        std::map<int, int> members;
        for (const slide::SlideCell& c : slide::generateSlide(p).truth)
            if (c.cluster > 0)
                ++members[c.cluster];
        EXPECT_EQ(members.empty(), largest < 2) << largest;
        for (const auto& [cluster, size] : members)
            EXPECT_LE(size, largest) << "cluster " << cluster;
    }
}

TEST(Slide, CellsLookLikeBrightFieldCells)
{
    // Green channel (the engine's grey image): a live cell has a dark rim and
    // a core brighter than the background; a dead one is dark to the centre
    // and passes more blue than green.
    slide::SlideParams p = smallSlide(7);
    p.noise = 0;
    p.gradient = 0;
    p.minDiameter = p.maxDiameter = 20;
    p.clusterFraction = 0;
    const slide::Slide s = slide::generateSlide(p);
    const double background = s.rgb.at<cv::Vec3b>(0, 0)[1];
    for (const slide::SlideCell& c : s.truth) {
        const cv::Vec3b centre = s.rgb.at<cv::Vec3b>(cvRound(c.y), cvRound(c.x));
        const cv::Vec3b rim = s.rgb.at<cv::Vec3b>(cvRound(c.y), cvRound(c.x + c.minorDiameter / 2 - 1.5f));
        if (c.live) {
            EXPECT_GT(centre[1], background);
            EXPECT_LT(rim[1], background / 2);
        } else {
            EXPECT_LT(centre[1], 35);
            EXPECT_GT(centre[2], centre[1]);
        }
    }
}

TEST(SlideMatch, PairsNearestDetectionsAndCountsTheRest)
{
    std::vector<slide::SlideCell> truth(3);
    truth[0].x = 10, truth[0].y = 10, truth[0].diameter = 10;
    truth[1].x = 40, truth[1].y = 10, truth[1].diameter = 10;
    truth[2].x = 80, truth[2].y = 10, truth[2].diameter = 10;
    const std::vector<slide::Detection> found = {
        {11, 10, 12},  // cell 0
        {13, 10, 10},  // cell 0 again, farther: a duplicate
        {40, 10, 9},   // cell 1
        {60, 10, 10},  // between cells: nobody's
    };
    const slide::Match m = slide::matchDetections(truth, found);
    EXPECT_EQ(m.matched, 2);
    EXPECT_EQ(m.duplicates, 1);
    EXPECT_DOUBLE_EQ(m.recall, 2.0 / 3);
    EXPECT_DOUBLE_EQ(m.precision, 2.0 / 4);
    EXPECT_DOUBLE_EQ(m.maxCentreError, 1.0);
    EXPECT_DOUBLE_EQ(m.meanDiameterError, 0.5);
    EXPECT_DOUBLE_EQ(m.meanAbsDiameterError, 1.5);
    EXPECT_EQ(m.cellOf, (std::vector<int>{0, -1, 1, -1}));
}

}  // namespace
