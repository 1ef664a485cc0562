#include "Histogram/HistogramPainter.h"

#include <QPainter>
#include <QRect>

namespace histogram {

std::vector<QPoint> bars(const std::vector<int>& counts, float step, int max, int plotHeight)
{
    const float scaleY = max != 0 ? float(plotHeight - 1) / float(max) : 0.0f;
    std::vector<QPoint> points;
    points.reserve(counts.size());
    for (size_t i = 0; i < counts.size(); ++i) {
        const int x = i == 0 ? 1 : int(float(i) * step);
        points.emplace_back(x, int(float(counts[i]) * scaleY));
    }
    return points;
}

std::vector<int> sampleEdges(size_t n, float step)
{
    std::vector<int> edges;
    edges.reserve(n + 1);
    for (size_t k = 0; k <= n; ++k)
        edges.push_back(int(float(k) * step));
    return edges;
}

void flipY(QPainter& painter, QSize size)
{
    const double halfW = double(size.width() / 2);
    const double halfH = double(size.height() / 2);
    painter.translate(halfW, halfH);
    painter.scale(1.0, -1.0);
    painter.translate(-halfW, -halfH);
}

void paintBars(QPainter& painter, const std::vector<QPoint>& bars, int thickness, QColor colour)
{
    for (const QPoint& p : bars)
        painter.fillRect(QRect(p.x(), 0, thickness, p.y()), colour);
}

void paintGatedBars(QPainter& painter, const std::vector<QPoint>& first, const std::vector<QPoint>& second,
                    int from, int to, int thickness, const GateColours& colours)
{
    const int t = thickness;
    for (size_t i = 0; i < first.size(); ++i) {
        const QPoint& p = first[i];
        const bool inRange = from <= p.x() && p.x() < to;
        const bool stacked = i < second.size();
        if (!inRange) {
            const int h = p.y() + (stacked ? second[i].y() : 0);
            painter.fillRect(QRect(p.x(), 0, t, h), colours.outOfRange);
        } else if (!stacked) {
            painter.fillRect(QRect(p.x(), 0, t, p.y()), second.empty() ? colours.inRange : QColor(Qt::green));
        } else {
            painter.fillRect(QRect(p.x(), 0, t, p.y()), Qt::green);
            painter.fillRect(QRect(second[i].x(), p.y(), t, second[i].y()), Qt::red);
        }
    }
}

}  // namespace histogram
