#include "KovaCore/ScaleBar.h"

#include "KovaCore/KovaCoreApp.h"

#include "platform/Log.h"

#include <QFont>
#include <QPainter>

#include <cmath>
#include <vector>

namespace {

constexpr int kBarHeight = 25;
constexpr int kBarTop = 15;
constexpr int kMidTickTop = 5;     // the 50 µm mark of a 100 µm bar
constexpr int kMinorTickTop = 8;
constexpr float kTickStepUm = 10.0f;
constexpr float kObjectiveMicronPerPixel = 1.4f;  // sensor pixel pitch over the lens

// Tick positions: every 10 µm from 0, then the last column. The last stepped
// position lies at or past the last column and falls outside when it is past.
std::vector<int> tickPositions(int width, float micronPerPixel)
{
    std::vector<int> ticks{0};
    const float step = kTickStepUm / micronPerPixel;
    if (width - 1 > 0) {
        float x = 0.0f;
        do {
            x = x + step;
            ticks.push_back(static_cast<int>(x));
        } while (x < static_cast<float>(width - 1));
    }
    ticks.push_back(width - 1);
    return ticks;
}

}  // namespace

namespace scalebar {

float micronPerPixel(double lensMagnification)
{
    return static_cast<float>(static_cast<double>(kObjectiveMicronPerPixel) / lensMagnification);
}

bool draw(float micronPerPixel, float lengthUm, const QColor& color, QImage& bar, QString& label)
{
    const float widthF = lengthUm / micronPerPixel;
    if (!(micronPerPixel > 0.0f) || !std::isfinite(widthF) || widthF < 1.0f
        || widthF > static_cast<float>(KovaCoreApp::kCanvasCols)) {
        KLOG << "scale bar: no bar of" << lengthUm << "um at" << micronPerPixel << "um/px";
        return false;
    }
    const int width = static_cast<int>(widthF);
    label = QStringLiteral("%1 \u00B5m").arg(static_cast<double>(lengthUm), 0, 'g', 6);
    bar = QImage(width, kBarHeight, QImage::Format_RGBA8888);
    bar.fill(Qt::transparent);

    QPainter painter(&bar);
    painter.setPen(QPen(color, 1));
    painter.setBrush(QBrush(color, Qt::SolidPattern));
    painter.fillRect(QRect(QPoint(0, kBarTop), QPoint(width - 1, kBarHeight - 1)), color);

    const std::vector<int> ticks = tickPositions(width, micronPerPixel);
    for (size_t k = 0; k < ticks.size(); ++k) {
        int top = kMinorTickTop;
        if (k == 0 || k + 1 == ticks.size())
            top = 0;
        else if (k == 5)
            top = kMidTickTop;
        painter.drawLine(ticks[k], top, ticks[k], kBarTop);
    }
    return true;
}

void paint(const QImage& bar, const QString& label, const QColor& color, cv::Mat& canvas)
{
    // The painter writes straight into the pixels: refuse anything but the
    // full-resolution canvas rather than write past a smaller one.
    if (canvas.rows != KovaCoreApp::kCanvasRows || canvas.cols != KovaCoreApp::kCanvasCols
        || canvas.type() != CV_8UC3 || !canvas.isContinuous() || bar.isNull()) {
        KLOG << "scale bar: canvas" << canvas.cols << "x" << canvas.rows << "not painted";
        return;
    }
    QImage image(canvas.data, canvas.cols, canvas.rows, canvas.cols * 3, QImage::Format_RGB888);
    QPainter painter(&image);
    painter.setPen(color);
    painter.setFont(QFont(QStringLiteral("Ubuntu"), 15, QFont::Normal, false));
    painter.drawText(QPoint(10, 1914 - bar.height()), label);
    painter.drawImage(QPoint(10, 1924 - bar.height()), bar);
}

}  // namespace scalebar

bool KovaCoreApp::createScaleBar(float micronPerPixel, float lengthUm, int r, int g, int b)
{
    const QColor color(r, g, b);
    if (!scalebar::draw(micronPerPixel, lengthUm, color, m_ScaleBarImage, m_strScaleBarLabel))
        return false;
    m_fMicronPerPixel = micronPerPixel;
    m_fScaleBarLength = lengthUm;
    m_ScaleBarColor = color;
    return true;
}

void KovaCoreApp::paintScaleBar(cv::Mat& canvas) const
{
    scalebar::paint(m_ScaleBarImage, m_strScaleBarLabel, m_ScaleBarColor, canvas);
}

void KovaCoreApp::prepareScalebar(bool black)
{
    if (!m_SaveReview.m_bEnableScaleBar)
        return;
    const int c = black ? 0 : 255;
    if (createScaleBar(scalebar::micronPerPixel(m_fLensMagnification), scalebar::kDefaultLengthUm, c, c, c))
        paintScaleBar(m_ScaleBarMat);
}

void KovaCoreApp::setScaleBarImg(cv::Mat image)
{
    image.copyTo(m_ScaleBarMat);
}

cv::Mat KovaCoreApp::getScaleBarImg()
{
    return m_ScaleBarMat;
}
