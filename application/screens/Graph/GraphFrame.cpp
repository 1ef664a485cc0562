#include "Graph/GraphFrame.h"

#include "ui_GraphFrame.h"

#include "Histogram/HistogramPainter.h"
#include "platform/Log.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

GraphFrame::GraphFrame(QWidget* parent) : QFrame(parent), ui(new Ui::GraphFrame)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_MouseTracking);
}

GraphFrame::~GraphFrame()
{
    delete ui;
}

float GraphFrame::autoStepX(size_t n) const
{
    if (m_bAutoScale && n > 0)
        return float(width() - 1) / float(n);
    return float(m_nInterval);
}

void GraphFrame::setHistogram(const std::vector<int>& counts, float stepX, int max, Target target,
                              bool rebuildPositions)
{
    std::vector<QPoint> points = histogram::bars(counts, stepX, max, height());
    if (rebuildPositions)
        m_XPositions = histogram::sampleEdges(counts.size(), stepX);
    if (target == Target::Second) {
        m_GraphData[1].setSamples(std::move(points));
        return;
    }
    m_GraphData[0].setSamples(std::move(points));
    if (target == Target::First)
        m_GraphData[1].clear();
}

int GraphFrame::setSamples(std::vector<int> counts, int max)
{
    int used = max;
    if (used == 0 && !counts.empty())
        used = *std::max_element(counts.begin(), counts.end());
    setHistogram(counts, autoStepX(counts.size()), used, Target::First, true);
    return used;
}

void GraphFrame::setTypeSamples(std::vector<int> counts, int max)
{
    setHistogram(counts, float(m_nInterval), max, Target::First, true);
}

void GraphFrame::setPdfSamples(std::vector<int> counts, int max)
{
    setHistogram(counts, float(m_nInterval), max, Target::FirstKeepSecond, true);
}

void GraphFrame::addSecondSamples(std::vector<int> counts, int max)
{
    KLOG << "width() :  " << width();
    KLOG << "height() :  " << height();
    KLOG << "max :  " << max;
    setHistogram(counts, autoStepX(counts.size()), max, Target::Second, false);
    const auto points = m_GraphData[1].samples();
    for (size_t i = 0; i < points.size(); ++i)
        KLOG << i << counts[i] << points[i].y();
}

int GraphFrame::setClusterSamples(std::vector<float> values, int max)
{
    const size_t n = values.size();
    const float stepX = autoStepX(n);
    float used = float(max);
    if (max == 0 && n > 0)
        used = *std::max_element(values.begin(), values.end());
    const float scaleY = used != 0.0f ? float(height() - 1) / used : 0.0f;

    m_ClusterValues = values;
    std::vector<QPoint> points(n);
    for (size_t i = 0; i + 1 < n; ++i) {
        const float v = values[i];
        const int x = (m_nInterval + m_nThickness) * int(i + 1) + 10 - m_nThickness;
        int h;
        if (v >= 0.0f && v <= 0.5f)
            h = 1;
        else if (v > 0.5f && v < 1.0f)
            h = 2;
        else
            h = int(v * scaleY);
        points[i] = QPoint(x, h);
    }
    m_XPositions.clear();
    for (size_t k = 0; k < n; ++k)
        m_XPositions.push_back(int(float(k) * stepX));
    m_GraphData[0].setSamples(std::move(points));
    m_GraphData[1].clear();
    return int(used);
}

void GraphFrame::setSamples(std::vector<QPoint> points)
{
    if (m_bAutoScale)
        calculateSamples(points);
    m_GraphData[0].setSamples(std::move(points));
    m_XPositions.clear();
    for (int x = 0; x < width() - 1; ++x)
        m_XPositions.push_back(x);
    m_YPositions.clear();
    for (int y = 0; y < height() - 1; ++y)
        m_YPositions.push_back(y);
}

void GraphFrame::calculateMinAndMaxValue(const std::vector<QPoint>& points, int& minX, int& minY, int& maxX,
                                         int& maxY)
{
    if (points.empty())
        return;
    minX = maxX = points[0].x();
    minY = maxY = points[0].y();
    for (const QPoint& p : points) {
        minX = std::min(minX, p.x());
        maxX = std::max(maxX, p.x());
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
}

void GraphFrame::calculateSamples(std::vector<QPoint>& points)
{
    if (points.empty())
        return;
    int minX = 0, minY = 0, maxX = 0, maxY = 0;
    calculateMinAndMaxValue(points, minX, minY, maxX, maxY);
    for (QPoint& p : points) {
        int x = p.x();
        int y = p.y();
        if (minX > 0)
            x = x / minX - 1;
        if (minY > 0)
            y = y / minY - 1;
        // A zero maximum would divide by zero; such a series has nothing to scale.
        p.setX(maxX != 0 ? int(float(x) * float(width() - 1) / float(maxX)) : 0);
        p.setY(maxY != 0 ? int(float(y) * float(height() - 1) / float(maxY)) : 0);
    }
}

void GraphFrame::addGuideLine(graph::DirectionType direction)
{
    if (direction == graph::Vertical)
        m_VerticalLines.emplace_back(0, 0, 0, height());
    else if (direction == graph::Horizontal)
        m_HorizontalLines.emplace_back(0, 0, width(), 0);
}

void GraphFrame::setGuideLinePosition(graph::DirectionType direction, int line, int sample)
{
    if (direction == graph::Vertical) {
        if (line < 0 || line >= int(m_VerticalLines.size()) || sample < 0 || sample >= int(m_XPositions.size()))
            return;
        const int x = m_XPositions[sample];
        m_VerticalLines[line] = QLine(x, 0, x, height());
    } else if (direction == graph::Horizontal) {
        if (line < 0 || line >= int(m_HorizontalLines.size()) || sample < 0 ||
            sample >= int(m_YPositions.size()))
            return;
        const int y = m_YPositions[sample];
        m_HorizontalLines[line] = QLine(0, y, width(), y);
    }
}

void GraphFrame::moveVerticalLine(QMouseEvent* event)
{
    if (m_VerticalLines.empty())
        return;
    const int dx = event->pos().x() - m_MousePos.x();
    m_VerticalLines[0].translate(dx, 0);
}

void GraphFrame::moveHorizontalLine(QMouseEvent* event)
{
    if (m_HorizontalLines.empty())
        return;
    const int dy = m_MousePos.y() - event->pos().y();
    m_HorizontalLines[0].translate(0, dy);
}

void GraphFrame::setValue(int mode, int* first, int* second, int* cluster)
{
    std::memset(m_nFirstValues, 0, sizeof m_nFirstValues);
    std::memset(m_nSecondValues, 0, sizeof m_nSecondValues);
    std::memset(m_nClusterValues, 0, sizeof m_nClusterValues);
    std::memcpy(m_nFirstValues, first, sizeof m_nFirstValues);
    if (mode == 1)
        std::memcpy(m_nSecondValues, second, sizeof m_nSecondValues);
    std::memcpy(m_nClusterValues, cluster, sizeof m_nClusterValues);
    m_nValueMode = mode;
    m_nTotalMax = 0;
    for (int i = 1; i < 181; ++i) {
        m_nTotalValues[i] = m_nFirstValues[i] + m_nSecondValues[i];
        m_nTotalMax = std::max(m_nTotalMax, m_nTotalValues[i]);
    }
}

void GraphFrame::setCellSize(int width, int height)
{
    m_nCellSize[0] = width;
    m_nCellSize[1] = height;
}

void GraphFrame::setCellType(int type)
{
    m_nCellType = type;
    update();
}

void GraphFrame::setClustermap(bool on)
{
    m_bClustermap = on;
    update();
}

void GraphFrame::setControlPoint(QPoint first, QPoint second)
{
    m_ControlPoint[0] = first;
    m_ControlPoint[1] = second;
}

void GraphFrame::mousePressEvent(QMouseEvent* event)
{
    m_MousePos = event->pos();
}

void GraphFrame::mouseReleaseEvent(QMouseEvent*)
{
}

void GraphFrame::mouseMoveEvent(QMouseEvent* event)
{
    m_MousePos = event->pos();
    update();
}

void GraphFrame::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    histogram::flipY(painter, size());
    drawHistogram(&painter);
    if (m_bShowGuideLine && m_VerticalLines.size() == 2) {
        painter.setPen(QColor(0, 0, 255));
        painter.drawLine(m_VerticalLines[0]);
        painter.drawLine(m_VerticalLines[1]);
    }
}

void GraphFrame::drawHistogram(QPainter* painter)
{
    const std::vector<QPoint> first = m_GraphData[0].samples();
    const std::vector<QPoint> second = m_GraphData[1].samples();
    const bool gated = m_bShowGuideLine || m_bPDFmode;

    if (!gated) {
        histogram::paintBars(*painter, first, m_nThickness, m_ColorForInRange);
    } else if (m_VerticalLines.size() == 2) {
        histogram::paintGatedBars(*painter, first, second, m_VerticalLines[0].x1(), m_VerticalLines[1].x1(),
                                  m_nThickness, {m_ColorForInRange, m_ColorForOutofRange});
    }

    if (m_bShowGuideLine)
        return;
    histogram::flipY(*painter, size());
    drawLabels(*painter, first);
}

void GraphFrame::drawLabels(QPainter& painter, const std::vector<QPoint>& bars)
{
    if (bars.size() < 2 || m_ClusterValues.empty())
        return;
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(QColor(255, 255, 255));
    // Cluster values set on a widget whose bars came from elsewhere may be fewer.
    const size_t labelled = std::min(bars.size() - 1, m_ClusterValues.size());
    for (size_t i = 0; i < labelled; ++i) {
        const float v = m_ClusterValues[i];
        const int top = height() - bars[i].y();
        const QString text = QStringLiteral("%1%").arg(double(v), 0, 'f', 1, QLatin1Char(' '));
        if (v >= 90.0f) {
            painter.fillRect(QRect(bars[i].x() - 5, top + 10, 60, 15), QColor(40, 40, 40));
            painter.drawText(QRect(bars[i].x() - 5, top + 10, 60, 24), 0, text);
        } else {
            painter.drawText(QRect(bars[i].x() - 5, top - 20, 60, 24), 0, text);
        }
    }
}
