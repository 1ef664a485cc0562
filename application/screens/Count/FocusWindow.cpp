#include "Count/FocusWindow.h"

#include <algorithm>

namespace FocusWindow {

int indicatorY(int position, int lowerEdge)
{
    const int step = std::clamp((position - lowerEdge) / kStep, 0, kIndicatorSteps);
    return kIndicatorBottom - kIndicatorPixelsPerStep * step;
}

Moves allowedMoves(int current, int centre)
{
    return {current < centre + kHalfWidth, current > centre - kHalfWidth};
}

}  // namespace FocusWindow
