#include "Report/ReportImages.h"

#include <gtest/gtest.h>

using namespace ReportImages;

namespace {

// Canvas point (x, y) of the 528 × 376 layout in the 728 × 518 output.
QColor canvasPixel(const QImage& image, int x, int y)
{
    return QColor(image.pixel(int(x * 728.0 / 528.0), int(y * 518.0 / 376.0)));
}

bool isBlue(const QColor& c)
{
    return c.blue() > 200 && c.red() < 60 && c.green() < 60;
}

}  // namespace

TEST(ReportImages, ClusterPercentagesJoinTheLastTwoBins)
{
    struct Case
    {
        std::vector<int> bins;
        std::vector<float> percent;
    };
    const Case cases[] = {
        {{}, std::vector<float>(8, 0.0f)},
        {{5}, std::vector<float>(8, 0.0f)},
        {std::vector<int>(9, 0), std::vector<float>(8, 0.0f)},
        {{10, 0, 0, 0, 0, 0, 0, 0, 0}, {100, 0, 0, 0, 0, 0, 0, 0}},
        {{2, 2, 0, 0, 0, 0, 0, 3, 3}, {20, 20, 0, 0, 0, 0, 0, 60}},
        {{1, 1, 1, 1}, {25, 25, 25, 25, 0, 0, 0, 0}},
        {{1, 0, 0, 0, 0, 0, 0, 0, 1, 1000}, {50, 0, 0, 0, 0, 0, 0, 50}},  // bins past the ninth ignored
    };
    for (const Case& c : cases) {
        const auto p = clusterPercentages(c.bins);
        ASSERT_EQ(p.size(), 8u);
        for (int k = 0; k < 8; ++k)
            EXPECT_FLOAT_EQ(p[k], c.percent[k]) << "bin " << k << " of case with " << c.bins.size() << " bins";
    }
}

TEST(ReportImages, ClusterChartBarsFollowTheirPercentages)
{
    QImage image;
    genClusterImage(image, {9, 0, 0, 0, 0, 0, 0, 0, 1});  // 90 % and 10 %
    ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
    ASSERT_EQ(image.format(), QImage::Format_RGB888);
    // Bar k spans canvas x 120 + 40k .. 139 + 40k; rows 80 + top .. 315.
    EXPECT_TRUE(isBlue(canvasPixel(image, 130, 300)));
    EXPECT_TRUE(isBlue(canvasPixel(image, 130, 130)));        // 90 %: top at 80 + 24
    EXPECT_TRUE(isBlue(canvasPixel(image, 130 + 280, 300)));  // 10 %: 23 rows
    EXPECT_FALSE(isBlue(canvasPixel(image, 130 + 280, 280)));
    EXPECT_FALSE(isBlue(canvasPixel(image, 130 + 40, 300)));  // 0 %: one-pixel line only
    EXPECT_EQ(canvasPixel(image, 20, 20), QColor(230, 230, 230));
}

TEST(ReportImages, HistogramsAreGatedAndStacked)
{
    std::vector<int> total(181, 0), live(181, 0), dead(181, 0);
    for (int i = 5; i < 60; ++i) {
        live[i] = 60;
        dead[i] = 40;
        total[i] = 100;
    }
    HistogramScale scale;
    scale.gateMin = 10;
    scale.gateMax = 40;
    QImage image;
    gen_histogram_Total(image, total, live, dead, CellNumber, scale);
    ASSERT_EQ(image.size(), QSize(kWidth, kHeight));
    // Graph at canvas (90, 80), 236 high; bin i at x 90 + 4i, 3 wide.
    const QColor inside = canvasPixel(image, 90 + 4 * 20 + 1, 80 + 230);
    const QColor insideTop = canvasPixel(image, 90 + 4 * 20 + 1, 80 + 40);
    const QColor outside = canvasPixel(image, 90 + 4 * 50 + 1, 80 + 200);
    EXPECT_GT(inside.green(), 200);
    EXPECT_LT(inside.red(), 80);
    EXPECT_GT(insideTop.red(), 200);
    EXPECT_LT(insideTop.green(), 80);
    EXPECT_NEAR(outside.red(), 130, 20);
    EXPECT_NEAR(outside.green(), 130, 20);

    scale.gateMin = scale.gateMax = -1;  // no gate: one colour for every bar
    gen_histogram_Other(image, live, CellNumber, Qt::red, scale);
    const QColor bar = canvasPixel(image, 90 + 4 * 50 + 1, 80 + 200);
    EXPECT_GT(bar.red(), 200);
    EXPECT_LT(bar.green(), 80);
}

TEST(ReportImages, ConcentrationLabelsAskTheEngineForTheScaleMaximum)
{
    std::vector<int> histogram(181, 0);
    histogram[12] = 37;
    std::vector<std::pair<int, float>> asked;
    HistogramScale scale;
    scale.dilution = 2.0f;
    scale.concentration = [&](int count, float dilution, float& mantissa, int& exponent) {
        asked.emplace_back(count, dilution);
        mantissa = 1.0f;
        exponent = 5;
    };
    QImage image;
    gen_histogram_OnlyTotal(image, histogram, CellNumber, QColor(255, 127, 0), scale);
    EXPECT_TRUE(asked.empty()) << "cell-number labels need no concentration";
    gen_histogram_OnlyTotal(image, histogram, Concentration, QColor(255, 127, 0), scale);
    gen_histogram_Other(image, histogram, Concentration, Qt::green, scale);
    gen_histogram_Total(image, histogram, histogram, histogram, Concentration, scale);
    const std::vector<std::pair<int, float>> expected(3, {37, 2.0f});
    EXPECT_EQ(asked, expected);
}

// No counts, as empty or all-zero histograms: the axes and labels, and not
// one bar pixel anywhere in the graphs.
TEST(ReportImages, EmptyHistogramsGiveFlatPictures)
{
    const auto count = [](const QImage& image, bool (*colour)(const QColor&), int top, int bottom) {
        int pixels = 0;
        for (int y = top; y < bottom; ++y)
            for (int x = 80; x < 520; ++x)
                pixels += colour(canvasPixel(image, x, y)) ? 1 : 0;
        return pixels;
    };
    const auto isGreen = [](const QColor& c) { return c.green() > 200 && c.red() < 80 && c.blue() < 80; };
    const auto isRed = [](const QColor& c) { return c.red() > 200 && c.green() < 80 && c.blue() < 80; };

    HistogramScale scale;
    const std::vector<int> zeros(181, 0);
    for (CellNumberOrConcentraion kind : {CellNumber, Concentration}) {
        SCOPED_TRACE(kind);
        QImage empty, zero;
        gen_histogram_Total(empty, {}, {}, {}, kind, scale);
        gen_histogram_Total(zero, zeros, zeros, zeros, kind, scale);
        for (const QImage* image : {&empty, &zero}) {
            ASSERT_EQ(image->size(), QSize(kWidth, kHeight));
            // The graph spans canvas rows 80 to 316; its baseline may carry a line.
            EXPECT_EQ(count(*image, isGreen, 80, 314), 0);
            EXPECT_EQ(count(*image, isRed, 80, 314), 0);
        }
    }

    QImage empty, zero;
    genClusterImage(empty, {});
    genClusterImage(zero, std::vector<int>(9, 0));
    for (const QImage* image : {&empty, &zero}) {
        ASSERT_EQ(image->size(), QSize(kWidth, kHeight));
        // 0 % everywhere: the bars' one-pixel lines at the baseline, nothing above.
        EXPECT_EQ(count(*image, isBlue, 80, 313), 0);
    }
}
