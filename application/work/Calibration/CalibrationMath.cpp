#include "Calibration/CalibrationMath.h"

#include "platform/Log.h"

#include <cmath>
#include <cstdio>

namespace calibration {

namespace {

constexpr double kMinSlope = 0.07;
constexpr double kMinR2 = 0.95;

// Truncation toward zero into a register value; what lies outside stays at its edge.
std::uint16_t toRegister(float value)
{
    if (!(value > 0.0f))
        return 0;
    return value >= 65535.0f ? 65535 : static_cast<std::uint16_t>(value);
}

}  // namespace

StepExposures stepExposures(int step, std::uint16_t found)
{
    const float base = step == 1 ? static_cast<float>(static_cast<double>(found) * kCountingFactor)
                                 : static_cast<float>(found);
    const float full = static_cast<float>(static_cast<double>(base) * kFullResolutionFactor);
    return {toRegister(base), toRegister(full)};
}

std::string hexByte(std::uint8_t value)
{
    char text[5];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

Line linearRegression(const std::vector<std::pair<int, float>>& points)
{
    Line line;
    const double n = static_cast<double>(points.size());
    double sumX = 0.0, sumY = 0.0, sumXY = 0.0, sumXX = 0.0;
    for (const auto& [x, y] : points) {
        sumX += x;
        sumY += y;
        sumXY += static_cast<float>(x) * y;
        sumXX += static_cast<double>(static_cast<long long>(x) * x);
    }
    line.slope = (n * sumXY - sumX * sumY) / (n * sumXX - sumX * sumX);
    line.intercept = (sumY - sumX * line.slope) / n;
    double residual = 0.0, total = 0.0;
    const double meanY = sumY / n;
    for (const auto& [x, y] : points) {
        residual += std::pow(y - (line.intercept + line.slope * x), 2);
        total += std::pow(y - meanY, 2);
    }
    line.r2 = 1.0 - residual / total;
    return line;
}

int isCorrectSlope(const std::vector<std::pair<int, float>>& points)
{
    const Line line = linearRegression(points);
    KLOG << "Slope: " << line.slope;
    KLOG << "R^2: " << line.r2;
    // A NaN (no spread at all) is no line either.
    if (!(line.slope >= kMinSlope))
        return -1001;
    if (!(line.r2 >= kMinR2))
        return -1002;
    return 0;
}

std::uint16_t estimateExposure(int x1, float y1, int x2, float y2, float target)
{
    const float slope = (y2 - y1) / static_cast<float>(x2 - x1);
    const float intercept = y2 - static_cast<float>(x2) * slope;
    return toRegister((target - intercept) / slope);
}

std::uint16_t secantGain(unsigned g1, float i1, unsigned g2, float i2, float target)
{
    const int low = static_cast<int>(i1);
    const int high = static_cast<int>(i2);
    if (low == high)
        return static_cast<std::uint16_t>(g2);
    const float slope = static_cast<float>(static_cast<int>(g2) - static_cast<int>(g1)) / static_cast<float>(high - low);
    return toRegister(static_cast<float>(g1) - static_cast<float>(low) * slope + slope * target);
}

}  // namespace calibration
