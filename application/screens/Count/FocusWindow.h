#pragma once

// The focus stage's window around the calibrated centre, in motor steps, and
// the indicator that shows the stage within it on the Count page.
namespace FocusWindow {

inline constexpr int kHalfWidth = 6144;
inline constexpr int kStep = 256;  // one press of a focus button
inline constexpr int kIndicatorBottom = 267;  // y of the lower window edge
inline constexpr int kIndicatorPixelsPerStep = 3;
inline constexpr int kIndicatorSteps = 48;

// The indicator's y for a stage position: 3 pixels per 256 steps above the
// lower edge, kept on the scale (267 at the lower edge, 195 at the centre,
// 123 at the upper edge).
int indicatorY(int position, int lowerEdge);

// Which focus buttons may move further. Positions are signed: a centre below
// the half width has a negative lower edge, and every position lies above it.
struct Moves
{
    bool up = false;    // current < centre + half width
    bool down = false;  // current > centre - half width
};
Moves allowedMoves(int current, int centre);

}  // namespace FocusWindow
