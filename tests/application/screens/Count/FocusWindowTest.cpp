#include "Count/FocusWindow.h"

#include <gtest/gtest.h>

namespace {

constexpr int kCentre = 30000;
constexpr int kLower = kCentre - FocusWindow::kHalfWidth;

TEST(FocusIndicator, ThreePixelsPer256StepsKeptOnTheScale)
{
    const struct
    {
        int position;
        int y;
    } cases[] = {
        {kLower, 267},         {kLower + 255, 267},   {kLower + 256, 264},   {kCentre, 195},
        {kLower + 12288, 123}, {kLower + 20000, 123}, {kLower - 1, 267},     {kLower - 5000, 267},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FocusWindow::indicatorY(c.position, kLower), c.y) << c.position;
}

TEST(FocusWindowEdges, AButtonStopsAtTheWindowEdgeEvenBelowStep6144)
{
    const struct
    {
        int current;
        int centre;
        bool up;
        bool down;
    } cases[] = {
        {kCentre + 6144, kCentre, false, true},
        {kCentre + 6143, kCentre, true, true},
        {kCentre - 6144, kCentre, true, false},
        {kCentre - 6143, kCentre, true, true},
        // A centre below 6144: the lower edge is negative, compared as a signed number.
        {4000, 3000, true, true},
        {3000 + 6144, 3000, false, true},
        {0, 100, true, true},
    };
    for (const auto& c : cases) {
        const FocusWindow::Moves moves = FocusWindow::allowedMoves(c.current, c.centre);
        EXPECT_EQ(moves.up, c.up) << c.current << " around " << c.centre;
        EXPECT_EQ(moves.down, c.down) << c.current << " around " << c.centre;
    }
}

}  // namespace
