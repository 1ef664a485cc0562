#pragma once

#include <QColor>
#include <QPoint>
#include <vector>

// One series of bars: x = left edge in pixels, y = height in pixels.
class GraphData
{
public:
    GraphData() = default;

    std::vector<QPoint> samples() const { return m_Samples; }
    void setSamples(std::vector<QPoint> samples) { m_Samples = std::move(samples); }
    void clear() { m_Samples.clear(); }

    QColor color() const { return m_Color; }
    void setColor(QColor color) { m_Color = color; }
    bool show() const { return m_bShow; }
    void setShow(bool show) { m_bShow = show; }

private:
    std::vector<QPoint> m_Samples;
    QColor m_Color;
    bool m_bShow = true;
};
