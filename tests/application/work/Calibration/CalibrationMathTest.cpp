#include "Calibration/CalibrationMath.h"

#include <gtest/gtest.h>

namespace {

using namespace calibration;

TEST(CalibrationMathTest, ExposureProductsInTheFilesPrecision)
{
    const struct
    {
        int step;
        std::uint16_t found;
        std::uint16_t exposure1280;
        std::uint16_t exposure5M;
    } rows[] = {
        {1, 700, 0x031E, 0x00CF},  // 798 and 207: a plain double product would give 797
        {1, 750, 855, 222},        // not 854
        {2, 700, 0x02BC, 0x00B6},  // 700 and 182
        {1, 60000, 65535, 17784},  // above the register: its top, not a wrapped value
    };
    for (const auto& row : rows) {
        const StepExposures exposures = stepExposures(row.step, row.found);
        EXPECT_EQ(exposures.exposure1280, row.exposure1280) << row.found;
        EXPECT_EQ(exposures.exposure5M, row.exposure5M) << row.found;
    }
}

TEST(CalibrationMathTest, RegisterBytesAreUpperCaseHex)
{
    EXPECT_EQ(hexByte(0x03), "0x03");
    EXPECT_EQ(hexByte(0x1E), "0x1E");
    EXPECT_EQ(hexByte(0xCF), "0xCF");
}

TEST(CalibrationMathTest, LineAndItsChecks)
{
    const Line line = linearRegression({{200, 40.0f}, {300, 60.0f}, {400, 80.0f}});
    EXPECT_DOUBLE_EQ(line.slope, 0.2);
    EXPECT_NEAR(line.intercept, 0.0, 1e-9);
    EXPECT_NEAR(line.r2, 1.0, 1e-12);

    EXPECT_EQ(isCorrectSlope({{200, 40.0f}, {300, 60.0f}, {400, 80.0f}}), 0);
    EXPECT_EQ(isCorrectSlope({{200, 40.0f}, {300, 46.0f}, {400, 52.0f}}), -1001) << "slope 0.06";
    EXPECT_EQ(isCorrectSlope({{200, 0.0f}, {300, 0.0f}, {400, 0.0f}}), -1001) << "dark: no line at all";
    EXPECT_EQ(isCorrectSlope({{200, 174.0f}, {300, 255.0f}, {400, 255.0f}}), -1002) << "saturated";
}

TEST(CalibrationMathTest, EstimateFromTheBracket)
{
    EXPECT_EQ(estimateExposure(700, 140.0f, 800, 160.0f, 150.0f), 750);
    EXPECT_EQ(estimateExposure(200, 200.0f, 300, 250.0f, 150.0f), 100) << "extrapolated below the bracket";
    EXPECT_EQ(estimateExposure(200, 400.0f, 300, 450.0f, 150.0f), 0) << "negative";
    EXPECT_EQ(estimateExposure(200, 150.0f, 300, 150.0f, 150.0f), 0) << "flat: undefined";
}

TEST(CalibrationMathTest, SecantStep)
{
    EXPECT_EQ(secantGain(0x0520, 140.0f, 0x0540, 160.0f, 150.0f), 0x0530);
    EXPECT_EQ(secantGain(0x0520, 140.2f, 0x0540, 140.9f, 150.0f), 0x0540) << "equal once truncated: the last gain";
    EXPECT_EQ(secantGain(0x0040, 100.0f, 0x0020, 140.0f, 300.0f), 0) << "never below 0";
}

}  // namespace
