#include "Report/ReportImages.h"

#include "Histogram/HistogramPainter.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPainter>
#include <QPixmap>
#include <algorithm>

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

// The canvas all four pictures are composed on; labels are grabbed whole
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

// The plot as the counting screen's graph draws it: on the window's
// background, bars three pixels wide and four apart, coloured by the gate
// when the gate is shown or `byGate` asks for it (without a gate its guide
// lines stand at samples 1 and 90, unseen). `second` is stacked on `first`.
QPixmap plot(const std::vector<int>& first, const std::vector<int>& second, int max, QColor colour, bool byGate,
             const HistogramScale& scale)
{
    constexpr float kStep = 4.0f;
    constexpr int kThickness = 3;
    const QSize size = kGraphRect.size();
    const std::vector<QPoint> firstBars = histogram::bars(first, kStep, max, size.height());
    const std::vector<QPoint> secondBars = histogram::bars(second, kStep, max, size.height());
    const std::vector<int> edges = histogram::sampleEdges(first.size(), kStep);
    // A sample past the bars leaves its line at the left edge.
    const auto edge = [&edges](int sample) {
        return sample >= 0 && sample < int(edges.size()) ? edges[size_t(sample)] : 0;
    };
    const bool shown = hasGate(scale);
    const int from = edge(shown ? scale.gateMin : 1);
    const int to = edge(shown ? scale.gateMax : 90);

    QPixmap pixmap(size);
    pixmap.fill(QGuiApplication::palette().color(QPalette::Window));
    QPainter painter(&pixmap);
    histogram::flipY(painter, size);
    if (shown || byGate)
        histogram::paintGatedBars(painter, firstBars, secondBars, from, to, kThickness, {colour, kOutOfRange});
    else
        histogram::paintBars(painter, firstBars, kThickness, colour);
    if (shown) {
        painter.setPen(QColor(0, 0, 255));
        painter.drawLine(QLine(from, 0, from, size.height()));
        painter.drawLine(QLine(to, 0, to, size.height()));
    }
    return pixmap;
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
    Canvas canvas;
    canvas.draw(kGraphRect.topLeft(), plot(histogram, {}, largestBin(histogram), colour, false, scale));
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
    Canvas canvas;
    canvas.draw(kGraphRect.topLeft(), plot(live, dead, max, Qt::green, true, scale));
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
