#include "Graph/GraphFrame.h"

#include <gtest/gtest.h>

#include <QImage>

namespace {

const QColor kOrange(255, 127, 0);
const QColor kGrey(130, 130, 130);
const QColor kGreen(Qt::green);
const QColor kRed(Qt::red);
const QColor kBlue(0, 0, 255);

// Set up the way the report sets up its histograms: 4 pixels a bin, bars 3
// wide, grey outside the gate.
void configure(GraphFrame& g, int guideLines = 0)
{
    g.setGeometry(0, 0, 400, 200);
    g.setAutoScale(false);
    g.setInterval(4);
    g.setThickness(3);
    g.setColorForOutofRange(kGrey);
    for (int i = 0; i < guideLines; ++i)
        g.addGuideLine(graph::Vertical);
}

// The counting screen's cluster chart: 20-pixel bars 40 apart.
void configureCluster(GraphFrame& g)
{
    g.setGeometry(0, 0, 360, 236);
    g.setAutoScale(false);
    g.setInterval(20);
    g.setThickness(20);
}

// Height of the run of `colour` standing on the bottom edge at column x.
int barHeight(const QImage& image, int x, const QColor& colour)
{
    int h = 0;
    while (h < image.height() && QColor(image.pixel(x, image.height() - 1 - h)) == colour)
        ++h;
    return h;
}

QColor at(const QImage& image, int x, int y)
{
    return QColor(image.pixel(x, y));
}

std::vector<int> ramp(int n, int step)
{
    std::vector<int> v(n);
    for (int i = 0; i < n; ++i)
        v[i] = i * step;
    return v;
}

}  // namespace

TEST(GraphScale, HistogramOperationsScaleToTheirMaximum)
{
    GraphFrame g;
    g.setGeometry(0, 0, 400, 301);
    std::vector<int> counts(181, 0);
    EXPECT_EQ(g.setSamples(counts, 0), 0);
    for (const QPoint& p : g.series(0).samples())
        EXPECT_EQ(p.y(), 0);

    counts[7] = 50;
    counts[8] = 25;
    EXPECT_EQ(g.setSamples(counts, 0), 50);
    EXPECT_EQ(g.series(0).samples()[7].y(), 300);
    EXPECT_EQ(g.series(0).samples()[8].y(), 150);

    // With max 0 the fixed-maximum operations draw every bar flat.
    g.setTypeSamples(counts, 0);
    g.addSecondSamples(counts, 0);
    for (const auto& series : {g.series(0).samples(), g.series(1).samples()})
        for (const QPoint& p : series)
            EXPECT_EQ(p.y(), 0);
    g.setPdfSamples(counts, 0);
    EXPECT_EQ(g.series(1).samples().size(), 181u) << "setPdfSamples keeps the second series";
    g.setTypeSamples(counts, 50);
    EXPECT_TRUE(g.series(1).samples().empty()) << "setTypeSamples clears the second series";
}

TEST(GraphScale, FixedIntervalPlacesBarsAndGuideLines)
{
    GraphFrame g;
    configure(g, 2);
    g.setSamples(std::vector<int>(181, 1), 1);
    const auto bars = g.series(0).samples();
    ASSERT_EQ(bars.size(), 181u);
    EXPECT_EQ(bars[0].x(), 1);
    for (int k = 1; k < 181; ++k)
        ASSERT_EQ(bars[k].x(), 4 * k);
    ASSERT_EQ(g.xPositions().size(), 182u);

    g.setGuideLinePosition(graph::Vertical, 1, 90);
    EXPECT_EQ(g.verticalLines()[1], QLine(360, 0, 360, 200));
    for (auto [line, sample] : {std::pair{2, 10}, {-1, 10}, {0, -1}, {0, 182}}) {
        g.setGuideLinePosition(graph::Vertical, line, sample);
        EXPECT_EQ(g.verticalLines()[0], QLine(0, 0, 0, 200)) << line << "," << sample;
    }
}

TEST(GraphScale, ClusterBarsHaveAMinimumHeightAndTheLastValueNoBar)
{
    GraphFrame g;
    configureCluster(g);
    const std::vector<float> values{0.0f, 0.5f, 0.7f, 1.0f, 100.0f, 42.0f};
    EXPECT_EQ(g.setClusterSamples(values, 100), 100);
    const auto bars = g.series(0).samples();
    // Single precision: 235/100 is 2.3499999, so 100 % gives 234 rows.
    const int expected[] = {1, 1, 2, 2, 234};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(bars[i].x(), 30 + 40 * i) << i;
        EXPECT_EQ(bars[i].y(), expected[i]) << i;
    }
    EXPECT_EQ(bars[5], QPoint(0, 0));
}

TEST(GraphScale, PointSeriesIsScaledToTheWidget)
{
    GraphFrame g;
    g.setGeometry(0, 0, 400, 200);
    g.setSamples(std::vector<QPoint>{{2, 4}, {4, 8}, {8, 16}});
    const auto bars = g.series(0).samples();
    // x: 2/2-1=0, 4/2-1=1, 8/2-1=3, then ·399/8; y: 0, 1, 3, then ·199/16.
    EXPECT_EQ(bars[0], QPoint(0, 0));
    EXPECT_EQ(bars[1], QPoint(int(1 * 399.0f / 8), int(1 * 199.0f / 16)));
    EXPECT_EQ(bars[2], QPoint(int(3 * 399.0f / 8), int(3 * 199.0f / 16)));
    EXPECT_EQ(g.xPositions().size(), 399u);
}

TEST(GraphPaint, PlainModeDrawsEveryBarInTheInRangeColour)
{
    GraphFrame g;
    configure(g);
    g.setSamples(ramp(181, 10), 200);
    const QImage image = g.grab().toImage();
    // Bar 10 at x 40..42: 100 of 200 → trunc(100 · 199/200) = 99 rows.
    EXPECT_EQ(barHeight(image, 41, kOrange), 99);
    EXPECT_EQ(barHeight(image, 43, kOrange), 0) << "bars are 3 pixels wide";
    EXPECT_EQ(barHeight(image, 81, kOrange), 199);
}

TEST(GraphPaint, GatedStackedBarsAreGreenAndRedInsideAndGreyOutside)
{
    GraphFrame g;
    configure(g, 2);
    g.setSamples(std::vector<int>(181, 40), 100);
    g.addSecondSamples(std::vector<int>(181, 20), 100);
    g.setPDFmode(true);
    g.setGuideLinePosition(graph::Vertical, 0, 10);
    g.setGuideLinePosition(graph::Vertical, 1, 20);
    const QImage image = g.grab().toImage();
    const int live = int(40 * (199.0f / 100.0f));
    const int dead = int(20 * (199.0f / 100.0f));

    EXPECT_EQ(barHeight(image, 41, kGreen), live);  // bar 10, the first in range
    EXPECT_EQ(at(image, 41, 199 - live), kRed);
    EXPECT_EQ(at(image, 41, 200 - live - dead), kRed);
    EXPECT_NE(at(image, 41, 199 - live - dead), kRed);
    EXPECT_EQ(barHeight(image, 77, kGreen), live);  // bar 19, the last in range
    EXPECT_EQ(barHeight(image, 81, kGrey), live + dead);  // bar 20 outside: one summed bar
    EXPECT_EQ(barHeight(image, 37, kGrey), live + dead);  // bar 9
    EXPECT_NE(at(image, 40, 20), kBlue) << "PDF mode alone draws no guide line";
}

TEST(GraphPaint, GatedDrawingNeedsExactlyTwoGuideLines)
{
    for (int lines = 0; lines <= 3; ++lines) {
        GraphFrame g;
        configure(g, lines);
        g.setSamples(std::vector<int>(181, 50), 100);
        g.setShowGuideLine(true);
        g.setGuideLinePosition(graph::Vertical, 0, 10);
        g.setGuideLinePosition(graph::Vertical, 1, 20);
        const QImage image = g.grab().toImage();
        const bool drawn = lines == 2;
        EXPECT_EQ(barHeight(image, 45, kOrange) == 99, drawn) << lines << " lines";
        EXPECT_EQ(at(image, 40, 20) == kBlue, drawn) << lines << " lines";
        EXPECT_EQ(at(image, 80, 20) == kBlue, drawn) << lines << " lines";
    }
}

TEST(GraphPaint, ShorterSecondSeriesStacksOnlyWhereItHasBars)
{
    GraphFrame g;
    configure(g, 2);
    g.setSamples(std::vector<int>(181, 50), 100);
    g.addSecondSamples(std::vector<int>(12, 50), 100);
    g.setPDFmode(true);
    g.setGuideLinePosition(graph::Vertical, 0, 10);
    g.setGuideLinePosition(graph::Vertical, 1, 20);
    const QImage image = g.grab().toImage();
    EXPECT_EQ(barHeight(image, 41, kGreen), 99);  // bar 10, stacked
    EXPECT_EQ(at(image, 41, 199 - 100), kRed);
    EXPECT_EQ(barHeight(image, 61, kGreen), 99);  // bar 15 has no second value
    EXPECT_NE(at(image, 61, 199 - 100), kRed);
    EXPECT_EQ(barHeight(image, 101, kGrey), 99);  // bar 25 outside, first series alone
}

TEST(GraphPaint, ClusterLabelsSitInADarkBoxFromNinetyPercent)
{
    for (float value : {90.0f, 89.9f}) {
        GraphFrame g;
        configureCluster(g);
        g.setClusterSamples({value, 10.0f, 0.0f}, 100);
        const QImage image = g.grab().toImage();
        // Bar 0 at x 30..49, 211 rows high (top row 25); the box spans x 25..84, y 35..49.
        EXPECT_EQ(at(image, 40, 25), kOrange) << value;
        EXPECT_NE(at(image, 40, 24), kOrange) << value;
        EXPECT_EQ(at(image, 84, 48) == QColor(40, 40, 40), value >= 90.0f) << value;
    }
}

TEST(GraphPaint, LabelsNeverReadPastTheClusterValues)
{
    GraphFrame g;
    configureCluster(g);
    g.setClusterSamples({95.0f, 3.0f}, 100);
    g.setSamples(std::vector<int>(181, 10), 20);  // 181 bars, one label value
    const QImage image = g.grab().toImage();
    EXPECT_EQ(barHeight(image, 110, kOrange), int(10 * (235.0f / 20.0f)));  // bar 5, unlabelled
}

TEST(GraphValues, TotalsSumBothHistogramsInViabilityModeOnly)
{
    GraphFrame g;
    std::vector<int> first(181, 1), second(181, 2), cluster(9, 0);
    first[100] = 7;
    g.setValue(1, first.data(), second.data(), cluster.data());
    EXPECT_EQ(g.totalMax(), 9);
    g.setValue(0, first.data(), second.data(), cluster.data());
    EXPECT_EQ(g.totalMax(), 7);
}
