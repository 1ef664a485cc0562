#pragma once

#include <QColor>
#include <QPoint>
#include <QSize>
#include <vector>

class QPainter;

// The bars of a size histogram as plain painting, shared by the graph widget
// of the screens and the report's pictures. A bar is a QPoint: x its left
// edge, y its height, both in pixels of the plot.
namespace histogram {

// Bars of `counts`: bar i at x = i × step (bar 0 at x 1), count × (plot
// height − 1) / max high (0 when max is 0). Single precision, truncated
// toward zero, so every drawing of a count matches pixel for pixel.
std::vector<QPoint> bars(const std::vector<int>& counts, float step, int max, int plotHeight);

// The x of sample k = 0 .. n (n + 1 values), where guide lines stand.
std::vector<int> sampleEdges(size_t n, float step);

// Makes y grow upwards from the bottom edge of a plot of `size`; applying it
// twice restores the plot's own coordinates.
void flipY(QPainter& painter, QSize size);

// Every bar of one series in `colour`, `thickness` pixels wide. The painter
// is flipped (flipY).
void paintBars(QPainter& painter, const std::vector<QPoint>& bars, int thickness, QColor colour);

struct GateColours
{
    QColor inRange;     // a single series inside the gate
    QColor outOfRange;  // any bar outside it, at the stacked height
};

// Bars coloured by the gate [from, to) in x: outside it in the out-of-range
// colour at their stacked height; inside, `first` green with `second` red on
// top, or a lone `first` (no second series at all) in the in-range colour.
// A second series shorter than the first stacks nothing on the rest.
void paintGatedBars(QPainter& painter, const std::vector<QPoint>& first, const std::vector<QPoint>& second,
                    int from, int to, int thickness, const GateColours& colours);

}  // namespace histogram
