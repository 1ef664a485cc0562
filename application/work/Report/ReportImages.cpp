#include "Report/ReportImages.h"

#include "Graph/GraphFrame.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <memory>

namespace ReportImages {
namespace {

constexpr int kCanvasWidth = 528;
constexpr int kCanvasHeight = 376;
const QRect kGraphRect(90, 80, 360, 236);
const QRect kUpperLabel(455, 75, 61, 26);
const QRect kMiddleLabel(455, 185, 61, 26);
const QRect kUnitLabel(100, 54, 141, 21);
const QColor kCanvasColour(230, 230, 230);
const QColor kOutOfRange(130, 130, 130);

// The canvas all four pictures are composed on; widgets are grabbed whole
// and drawn at their own positions.
class Canvas
{
public:
    Canvas() : m_pixmap(kCanvasWidth, kCanvasHeight), m_painter()
    {
        m_pixmap.fill(kCanvasColour);
        m_painter.begin(&m_pixmap);
    }

    void draw(QWidget& widget) { m_painter.drawPixmap(widget.pos(), widget.grab()); }
    void draw(const QPoint& at, const QPixmap& pixmap) { m_painter.drawPixmap(at, pixmap); }

    void label(const QRect& rect, const QString& text, int pixelSize)
    {
        QLabel label;
        label.setAttribute(Qt::WA_TranslucentBackground);
        QFont font(QStringLiteral("Ubuntu"), 15, 50, false);
        font.setPixelSize(pixelSize);
        label.setFont(font);
        label.setGeometry(rect);
        label.setText(text);
        draw(label);
    }

    QImage finish()
    {
        m_painter.end();
        return m_pixmap.toImage()
            .scaled(kWidth, kHeight, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_RGB888);
    }

private:
    QPixmap m_pixmap;
    QPainter m_painter;
};

int largestBin(const std::vector<int>& histogram)
{
    int max = 0;
    for (int v : histogram)
        max = std::max(max, v);
    return max;
}

bool hasGate(const HistogramScale& scale)
{
    return !(scale.gateMin < 0 && scale.gateMax < 0);
}

std::unique_ptr<GraphFrame> makeGraph()
{
    auto graph = std::make_unique<GraphFrame>();
    graph->setGeometry(kGraphRect);
    graph->addGuideLine(graph::Vertical);
    graph->addGuideLine(graph::Vertical);
    graph->setAutoScale(false);
    graph->setInterval(4);
    graph->setThickness(3);
    graph->setGraphType(graph::Bar);
    return graph;
}

// Guide lines take the x of their sample's bar, so they follow the samples.
void placeGate(GraphFrame& graph, const HistogramScale& scale)
{
    graph.setColorForOutofRange(kOutOfRange);
    if (hasGate(scale)) {
        graph.setShowGuideLine(true);
        graph.setGuideLinePosition(graph::Vertical, 0, scale.gateMin);
        graph.setGuideLinePosition(graph::Vertical, 1, scale.gateMax);
    } else {
        graph.setShowGuideLine(false);
        graph.setGuideLinePosition(graph::Vertical, 0, 1);
        graph.setGuideLinePosition(graph::Vertical, 1, 90);
    }
    graph.update();
}

struct AxisTexts
{
    QString upper;
    QString middle;
    QString unit;  // empty for cell numbers
};

AxisTexts cellNumberTexts(int top)
{
    return {QString::number(top), QString::number(top / 2), QString()};
}

AxisTexts concentrationTexts(int max, const HistogramScale& scale)
{
    float mantissa = 0.0f;
    int exponent = 0;
    if (scale.concentration)
        scale.concentration(max, scale.dilution, mantissa, exponent);
    return {QString::number(double(mantissa), 'f', 2), QString::number(double(mantissa) * 0.5, 'f', 2),
            QStringLiteral("(x 10e%1/mL)").arg(exponent)};
}

void drawAxes(Canvas& canvas, const AxisTexts& texts)
{
    canvas.label(kUpperLabel, texts.upper, 16);
    canvas.label(kMiddleLabel, texts.middle, 16);
    if (!texts.unit.isEmpty())
        canvas.label(kUnitLabel, texts.unit, 16);
    for (int i = 0; i < 10; ++i)
        canvas.label(QRect(81 + 40 * i, 320, 40, 20), QString::number(10 * i), 16);
}

void singleSeries(QImage& out, const std::vector<int>& histogram, QColor colour, const AxisTexts& texts,
                  const HistogramScale& scale)
{
    const int max = largestBin(histogram);
    auto graph = makeGraph();
    graph->setPdfSamples(histogram, max);
    graph->setColorForInRange(colour);
    placeGate(*graph, scale);

    Canvas canvas;
    canvas.draw(*graph);
    drawAxes(canvas, texts);
    out = canvas.finish();
}

}  // namespace

void gen_histogram_OnlyTotal(QImage& out, const std::vector<int>& histogram, CellNumberOrConcentraion kind,
                             QColor colour, const HistogramScale& scale)
{
    // The total count's concentration labels use its own scale maximum, like
    // its cell-number labels do.
    const int max = largestBin(histogram);
    const AxisTexts texts = kind == CellNumber ? cellNumberTexts(max) : concentrationTexts(max, scale);
    singleSeries(out, histogram, colour, texts, scale);
}

void gen_histogram_Other(QImage& out, const std::vector<int>& histogram, CellNumberOrConcentraion kind,
                         QColor colour, const HistogramScale& scale)
{
    const int max = largestBin(histogram);
    const AxisTexts texts = kind == CellNumber ? cellNumberTexts(max + 1) : concentrationTexts(max, scale);
    singleSeries(out, histogram, colour, texts, scale);
}

void gen_histogram_Total(QImage& out, const std::vector<int>& total, const std::vector<int>& live,
                         const std::vector<int>& dead, CellNumberOrConcentraion kind, const HistogramScale& scale)
{
    const int max = largestBin(total);
    auto graph = makeGraph();
    graph->setSamples(live, max);
    graph->addSecondSamples(dead, max);
    graph->setColorForInRange(Qt::green);
    graph->setPDFmode(true);
    placeGate(*graph, scale);

    QFrame background;
    background.setGeometry(kGraphRect);

    Canvas canvas;
    canvas.draw(background);
    canvas.draw(*graph);
    drawAxes(canvas, kind == CellNumber ? cellNumberTexts(max + 1) : concentrationTexts(max, scale));
    out = canvas.finish();
}

std::vector<float> clusterPercentages(const std::vector<int>& cluster)
{
    std::vector<float> p(8, 0.0f);
    // Bins past the ninth are ignored, in the sum as in the bars.
    const size_t bins = std::min<size_t>(cluster.size(), 9);
    long long sum = 0;
    for (size_t i = 0; i < bins; ++i)
        sum += cluster[i];
    if (bins < 2 || sum == 0)
        return p;
    for (size_t k = 0; k < std::min<size_t>(bins, 7); ++k)
        p[k] = float(cluster[k]) / float(sum) * 100.0f;
    if (bins >= 8)
        p[7] = float(cluster[7] + (bins >= 9 ? cluster[8] : 0)) / float(sum) * 100.0f;
    return p;
}

void genClusterImage(QImage& out, const std::vector<int>& cluster)
{
    const std::vector<float> p = clusterPercentages(cluster);
    constexpr float kScale = 2.35f;

    QPixmap chart(kGraphRect.size());
    chart.fill(Qt::white);
    {
        QPainter painter(&chart);
        painter.setPen(Qt::black);
        QFont font = painter.font();
        font.setPixelSize(12);
        painter.setFont(font);
        const QColor bar(0, 0, 255);
        for (int k = 0; k < 8; ++k) {
            const float v = p[k];
            const float top = 236.0f - v * kScale;
            const int x = 30 + 40 * k;
            if (v >= 0.0f && v <= 0.5f)
                painter.fillRect(QRect(x, 235, 20, 1), bar);
            else if (v > 0.5f && v < 1.0f)
                painter.fillRect(QRect(x, 234, 20, 2), bar);
            else
                painter.fillRect(QRect(x, int(top), 20, int(v * kScale)), bar);

            const QString text = QStringLiteral("%1%").arg(double(v), 0, 'f', 1);
            if (v >= 90.0f) {
                painter.fillRect(QRect(25 + 40 * k, int(top + 10), 60, 16), Qt::white);
                painter.drawText(QPoint(25 + 40 * k, int(top + 22)), text);
            } else {
                painter.drawText(QPoint(25 + 40 * k, int(top - 9)), text);
            }
        }
    }

    Canvas canvas;
    canvas.draw(kGraphRect.topLeft(), chart);
    canvas.label(kUpperLabel, QStringLiteral("100"), 16);
    canvas.label(kMiddleLabel, QStringLiteral("50"), 16);
    for (int k = 0; k < 8; ++k) {
        const QString text = k < 7 ? QStringLiteral("%1cell").arg(k + 1) : QStringLiteral(">7cell");
        canvas.label(QRect(115 + 40 * k, 320, 35, 20), text, 12);
    }
    out = canvas.finish();
}

}  // namespace ReportImages
