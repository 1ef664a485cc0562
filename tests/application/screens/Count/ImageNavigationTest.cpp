#include "Count/ImageNavigation.h"

#include <gtest/gtest.h>

#include <ostream>

using ImageNavigation::View;

inline void PrintTo(const View& view, std::ostream* os)
{
    *os << view.zoom << "x at (" << view.origin.x() << ", " << view.origin.y() << ")";
}

namespace {

struct ZoomCase
{
    const char* name;
    bool result;
    View from;
    View to;
};

class ZoomSteps : public ::testing::TestWithParam<ZoomCase> {};

TEST_P(ZoomSteps, ShiftTheViewAroundTheSameSpot)
{
    const ZoomCase& c = GetParam();
    EXPECT_EQ(ImageNavigation::zoomStep(c.from, c.result), c.to);
}

INSTANTIATE_TEST_SUITE_P(
    Cycles, ZoomSteps,
    ::testing::Values(ZoomCase{"liveOneToTwo", false, {1, {21, 41}}, {2, {341, 281}}},
                      ZoomCase{"liveTwoToFour", false, {2, {341, 281}}, {4, {494, 380}}},
                      ZoomCase{"liveFourToOne", false, {4, {494, 380}}, {1, {21, 41}}},
                      ZoomCase{"resultFourToOne", true, {4, {997, 773}}, {1, {21, 41}}},
                      ZoomCase{"resultOneToTwo", true, {1, {21, 41}}, {2, {341, 281}}},
                      ZoomCase{"resultTwoToFour", true, {2, {341, 281}}, {4, {997, 893}}},
                      // Back at 1x the view is held within 43 × 82, not the drag's 40 × 80.
                      ZoomCase{"fourToOneClampedHigh", false, {4, {523, 429}}, {1, {43, 82}}},
                      ZoomCase{"fourToOneClampedLow", true, {4, {900, 700}}, {1, {0, 0}}},
                      ZoomCase{"unknownZoomStays", false, {3, {50, 60}}, {3, {50, 60}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct DragCase
{
    const char* name;
    bool result;
    View from;
    QPoint press;
    QPoint move;
    QPoint origin;
};

class Drags : public ::testing::TestWithParam<DragCase> {};

TEST_P(Drags, MoveThePictureWithTheFingerWithinItsEdges)
{
    const DragCase& c = GetParam();
    const View moved = ImageNavigation::drag(c.from, c.press, c.move, c.result);
    EXPECT_EQ(moved.zoom, c.from.zoom);
    EXPECT_EQ(moved.origin, c.origin);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, Drags,
    ::testing::Values(
        // A finger to the left moves the view to the right.
        DragCase{"oneToTheLeft", false, {1, {21, 41}}, {300, 200}, {290, 195}, {31, 46}},
        DragCase{"oneClampedAt40x80", false, {1, {35, 70}}, {300, 200}, {100, 0}, {40, 80}},
        DragCase{"oneClampedAtZero", true, {1, {5, 5}}, {100, 100}, {300, 300}, {0, 0}},
        DragCase{"twoFullMovement", false, {2, {341, 281}}, {300, 200}, {280, 190}, {361, 291}},
        DragCase{"twoClamped", false, {2, {670, 550}}, {300, 200}, {0, 0}, {680, 560}},
        // Live at 4x one picture pixel is two screen pixels; each half truncates.
        DragCase{"liveFourHalf", false, {4, {494, 380}}, {301, 201}, {280, 190}, {504, 385}},
        DragCase{"liveFourClamped", false, {4, {980, 760}}, {500, 300}, {0, 0}, {982, 761}},
        DragCase{"resultFourFull", true, {4, {997, 773}}, {300, 200}, {280, 190}, {1017, 783}},
        DragCase{"resultFourClamped", true, {4, {1990, 1540}}, {300, 200}, {0, 0}, {1992, 1544}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Navigator, BoxStandsForTheVisiblePartInTheHundredBy68Frame)
{
    EXPECT_EQ(ImageNavigation::navigatorRect({1, {40, 80}}, false), QRect(206, 91, 94, 57));
    EXPECT_EQ(ImageNavigation::navigatorRect({1, {21, 41}}, true), QRect(203, 85, 94, 57));
    EXPECT_EQ(ImageNavigation::navigatorRect({2, {680, 560}}, false), QRect(253, 119, 47, 29));
    EXPECT_EQ(ImageNavigation::navigatorRect({4, {982, 761}}, false), QRect(276, 133, 24, 14));
    EXPECT_EQ(ImageNavigation::navigatorRect({4, {1992, 1544}}, true), QRect(276, 134, 24, 14));
    EXPECT_TRUE(ImageNavigation::navigatorRect({3, {0, 0}}, false).isNull());
}

TEST(LiveSource, DrawsTwiceTheAreaAtOneAndNotQuiteHalfAtFour)
{
    EXPECT_EQ(ImageNavigation::liveSource({1, {21, 41}}), QRect(21, 41, 1200, 800));
    EXPECT_EQ(ImageNavigation::liveSource({2, {341, 281}}), QRect(341, 281, 600, 400));
    EXPECT_EQ(ImageNavigation::liveSource({4, {494, 380}}), QRect(494, 380, 298, 199));
    EXPECT_TRUE(ImageNavigation::liveSource({0, {0, 0}}).isNull());
    EXPECT_EQ(ImageNavigation::zoomCaption(4), "    4x");
}

}  // namespace
