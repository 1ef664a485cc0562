#pragma once

#include "Graph/GraphData.h"

#include <QColor>
#include <QFrame>
#include <QLine>
#include <QPoint>
#include <vector>

namespace Ui {
class GraphFrame;
}

namespace graph {
enum DirectionType { Vertical = 0, Horizontal = 1 };
enum GraphType : int { Bar = 0 };
}  // namespace graph

// Bar histogram: one series, or two stacked, with an optional gating range
// marked by two vertical guide lines. Samples are turned into bar rectangles
// when they are set, against the widget's size at that moment, so callers set
// the geometry and options first, then the samples, then colours and guide
// lines, then call update().
class GraphFrame : public QFrame
{
    Q_OBJECT

public:
    explicit GraphFrame(QWidget* parent = nullptr);
    ~GraphFrame() override;

    void setAutoScale(bool on) { m_bAutoScale = on; }
    void setInterval(int interval) { m_nInterval = interval; }
    void setThickness(int thickness) { m_nThickness = thickness; }
    void setGraphType(graph::GraphType type) { m_GraphType = type; }
    void setShowGuideLine(bool show) { m_bShowGuideLine = show; }
    void setPDFmode(bool on) { m_bPDFmode = on; }
    void setColorForInRange(QColor color) { m_ColorForInRange = color; }
    void setColorForOutofRange(QColor color) { m_ColorForOutofRange = color; }

    // Histogram counts to bars; max 0 scales to the largest count. Returns the
    // maximum used for scaling.
    int setSamples(std::vector<int> counts, int max);
    void setTypeSamples(std::vector<int> counts, int max);
    void setPdfSamples(std::vector<int> counts, int max);
    void addSecondSamples(std::vector<int> counts, int max);
    int setClusterSamples(std::vector<float> values, int max);
    void setSamples(std::vector<QPoint> points);

    void addGuideLine(graph::DirectionType direction);
    void setGuideLinePosition(graph::DirectionType direction, int line, int sample);
    void moveVerticalLine(QMouseEvent* event);
    void moveHorizontalLine(QMouseEvent* event);

    // Raw values kept for callers; drawing does not read them.
    void setValue(int mode, int* first, int* second, int* cluster);
    void setCellSize(int width, int height);
    void setCellType(int type);
    void setClustermap(bool on);
    void setControlPoint(QPoint first, QPoint second);

    void drawHistogram(QPainter* painter);
    void calculateSamples(std::vector<QPoint>& points);
    void calculateMinAndMaxValue(const std::vector<QPoint>& points, int& minX, int& minY, int& maxX, int& maxY);

    // Read access for the owners' checks.
    const GraphData& series(int index) const { return m_GraphData[index]; }
    const std::vector<QLine>& verticalLines() const { return m_VerticalLines; }
    const std::vector<int>& xPositions() const { return m_XPositions; }
    int totalMax() const { return m_nTotalMax; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    enum class Target { First, FirstKeepSecond, Second };
    void setHistogram(const std::vector<int>& counts, float stepX, int max, Target target, bool rebuildPositions);
    float autoStepX(size_t n) const;
    void drawLabels(QPainter& painter, const std::vector<QPoint>& bars);

    bool m_bClustermap = false;
    int m_nCellType = 2;
    int m_nFirstValues[181] = {};
    int m_nSecondValues[181] = {};
    int m_nTotalValues[181] = {};
    int m_nClusterValues[9] = {};
    int m_nTotalMax = 0;
    QPoint m_ControlPoint[2];
    int m_nCellSize[2] = {};
    int m_nValueMode = 0;
    bool m_bAutoScale = true;
    graph::GraphType m_GraphType = graph::Bar;
    GraphData m_GraphData[2];
    int m_nInterval = 1;
    int m_nThickness = 1;
    bool m_bShowGuideLine = false;
    bool m_bPDFmode = false;
    std::vector<QLine> m_VerticalLines;
    std::vector<QLine> m_HorizontalLines;
    std::vector<int> m_XPositions;
    std::vector<int> m_YPositions;
    std::vector<float> m_ClusterValues;
    QColor m_ColorForOutofRange;
    QColor m_ColorForInRange = QColor(255, 127, 0);
    QPoint m_MousePos;
    Ui::GraphFrame* ui;
};
