#include "Histogram/HistogramPainter.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

namespace {

// Paints on a white 40 × 20 plot and returns the colour of plot pixel (x, y),
// y counted from the bottom edge.
template <typename Paint>
QColor paintedAt(Paint paint, int x, int y)
{
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        histogram::flipY(painter, image.size());
        paint(painter);
    }
    return image.pixelColor(x, image.height() - 1 - y);
}

}  // namespace

TEST(HistogramPainter, BarsScaleToTheMaximumAndStartAtXOne)
{
    EXPECT_EQ(histogram::bars({4, 2, 0}, 4.0f, 4, 21), (std::vector<QPoint>{{1, 20}, {4, 10}, {8, 0}}));
    EXPECT_EQ(histogram::bars({3}, 4.0f, 0, 21), (std::vector<QPoint>{{1, 0}})) << "max 0 draws nothing";
    EXPECT_EQ(histogram::sampleEdges(2, 2.5f), (std::vector<int>{0, 2, 5}));
}

TEST(HistogramPainter, GateColoursBarsByWhereTheyStand)
{
    const std::vector<QPoint> first{{1, 5}, {10, 5}, {30, 5}};
    const std::vector<QPoint> second{{1, 4}, {10, 4}};
    const histogram::GateColours colours{Qt::blue, Qt::gray};
    const auto gated = [&](const std::vector<QPoint>& s) {
        return [&first, s, &colours](QPainter& p) { histogram::paintGatedBars(p, first, s, 8, 35, 3, colours); };
    };
    EXPECT_EQ(paintedAt(gated(second), 1, 7), QColor(Qt::gray)) << "outside: grey at the stacked height";
    EXPECT_EQ(paintedAt(gated(second), 10, 2), QColor(Qt::green)) << "inside: first series green";
    EXPECT_EQ(paintedAt(gated(second), 10, 7), QColor(Qt::red)) << "second stacked red";
    EXPECT_EQ(paintedAt(gated(second), 30, 2), QColor(Qt::green)) << "past the second series: green";
    EXPECT_EQ(paintedAt(gated({}), 10, 2), QColor(Qt::blue)) << "a lone series in the in-range colour";
    const auto plain = [&first](QPainter& p) { histogram::paintBars(p, first, 3, Qt::blue); };
    EXPECT_EQ(paintedAt(plain, 1, 2), QColor(Qt::blue));
    EXPECT_EQ(paintedAt(plain, 1, 6), QColor(Qt::white)) << "five pixels high";
}
