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
constexpr float kDefaultBarUm = 100.0f;

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

bool KovaCoreApp::createScaleBar(float micronPerPixel, float lengthUm, int r, int g, int b)
{
    // A bar must fit the image; anything else (including a zero or non-finite
    // pixel size from a bad magnification) leaves the last bar as it was.
    const float widthF = lengthUm / micronPerPixel;
    if (!(micronPerPixel > 0.0f) || !std::isfinite(widthF) || widthF < 1.0f || widthF > static_cast<float>(kCanvasCols)) {
        KLOG << "createScaleBar: no bar of" << lengthUm << "um at" << micronPerPixel << "um/px";
        return false;
    }
    const int width = static_cast<int>(widthF);

    m_fMicronPerPixel = micronPerPixel;
    m_fScaleBarLength = lengthUm;
    m_strScaleBarLabel = QStringLiteral("%1 \u00B5m").arg(static_cast<double>(lengthUm), 0, 'g', 6);
    m_ScaleBarColor = QColor(r, g, b);

    m_ScaleBarImage = QImage(width, kBarHeight, QImage::Format_RGBA8888);
    m_ScaleBarImage.fill(Qt::transparent);

    QPainter painter(&m_ScaleBarImage);
    painter.setPen(QPen(m_ScaleBarColor, 1));
    painter.setBrush(QBrush(m_ScaleBarColor, Qt::SolidPattern));
    painter.fillRect(QRect(QPoint(0, kBarTop), QPoint(width - 1, kBarHeight - 1)), m_ScaleBarColor);

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

void KovaCoreApp::paintScaleBar(cv::Mat& canvas) const
{
    // The painter writes straight into the pixels: refuse anything but the
    // full-resolution canvas rather than write past a smaller one.
    if (canvas.rows != kCanvasRows || canvas.cols != kCanvasCols || canvas.type() != CV_8UC3
        || !canvas.isContinuous() || m_ScaleBarImage.isNull()) {
        KLOG << "paintScaleBar: canvas" << canvas.cols << "x" << canvas.rows << "not painted";
        return;
    }
    QImage image(canvas.data, kCanvasCols, kCanvasRows, kCanvasCols * 3, QImage::Format_RGB888);
    QPainter painter(&image);
    painter.setPen(m_ScaleBarColor);
    painter.setFont(QFont(QStringLiteral("Ubuntu"), 15, QFont::Normal, false));
    const int barHeight = m_ScaleBarImage.height();
    painter.drawText(QPoint(10, 1914 - barHeight), m_strScaleBarLabel);
    painter.drawImage(QPoint(10, 1924 - barHeight), m_ScaleBarImage);
}

void KovaCoreApp::prepareScalebar(bool black)
{
    if (!m_SaveReview.m_bEnableScaleBar)
        return;
    const int c = black ? 0 : 255;
    const float micronPerPixel = static_cast<float>(static_cast<double>(kObjectiveMicronPerPixel) / m_fLensMagnification);
    if (createScaleBar(micronPerPixel, kDefaultBarUm, c, c, c))
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
