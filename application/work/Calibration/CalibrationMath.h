#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The arithmetic of the illumination calibration, as plain functions, in the
// precision the calibration files were always written with.
namespace calibration {

// Exposure factor of total cell counting over the found exposure, and the
// full-resolution exposure over the 1280 × 960 one.
inline constexpr double kCountingFactor = 1.14;
inline constexpr double kFullResolutionFactor = 0.26;

// The exposures a step writes: 1280 × 960 (also used for VGA) and 5M.
struct StepExposures
{
    std::uint16_t exposure1280 = 0;
    std::uint16_t exposure5M = 0;
};

// Step 1 writes the found exposure × 1.14 and that × 0.26; step 2 the found
// exposure and it × 0.26. Each product is taken in double precision from the
// single-precision value and rounded to single precision (step 1's 5M value
// from the rounded 1280 one), then truncated; above 65535 it stays 65535.
StepExposures stepExposures(int step, std::uint16_t found);

// One register byte as the files hold it: "0x%02X".
std::string hexByte(std::uint8_t value);

struct Line
{
    double slope = 0.0;
    double intercept = 0.0;
    double r2 = 0.0;
};
// Least squares through (exposure, intensity) points: sums in double
// precision, x·y formed in single precision, x² as an integer.
Line linearRegression(const std::vector<std::pair<int, float>>& points);

// 0, or -1001 when the slope is below 0.07 (the light does not follow the
// exposure), or -1002 when R² is below 0.95 (it does not follow it linearly).
int isCorrectSlope(const std::vector<std::pair<int, float>>& points);

// The exposure at which the line through the bracket (x1, y1), (x2, y2)
// reaches `target`, in single precision, truncated; 0 when it is negative or
// undefined, 65535 at most.
std::uint16_t estimateExposure(int x1, float y1, int x2, float y2, float target);

// The gain at which the line through (g1, i1), (g2, i2) reaches `target`
// (intensities truncated to integers first), in single precision, truncated;
// 0 at least, 65535 at most. Equal intensities give no line: then g2.
std::uint16_t secantGain(unsigned g1, float i1, unsigned g2, float i2, float target);

}  // namespace calibration
