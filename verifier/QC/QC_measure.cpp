#include "QC/QC_measure.h"

#include "Camera/FrameStats.h"
#include "Outline.h"

#include <QMouseEvent>
#include <QPainter>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>

namespace verifier {

namespace {

constexpr std::size_t kFrameBytes = std::size_t(QC_measure::kImageWidth) * QC_measure::kImageHeight * 3;
// What the median (radius 1) and the bilateral filter (radius 2) reach.
constexpr int kFilterMargin = 3;

QPoint pointerPosition(const QMouseEvent* event)
{
    return event->localPos().toPoint();
}

// A number as a format writes it, read back: rounding as "%.3f" does.
float formatted(float value, const char* format)
{
    return QString::asprintf(format, double(value)).toFloat();
}

}  // namespace

QC_measure::QC_measure(QWidget* parent)
    : QFrame(parent)
{
    qRegisterMetaType<MeasureInfo_t>();
    qRegisterMetaType<TargetingError_e>();
    m_Navigation.setNavigationColor(255, 255, 0);
    m_Navigation.setNavigationSize(80, 60);
    m_Navigation.setDisplaySize(unsigned(width() / m_dScale), unsigned(height() / m_dScale));
    m_Navigation.setImageSize(m_nWidth, m_nHeight);
    m_Navigation.setNavigationPosition(unsigned(m_Offset.x()), unsigned(m_Offset.y()));
}

void QC_measure::setImageSize(unsigned w, unsigned h)
{
    m_nWidth = w;
    m_nHeight = h;
    m_Navigation.setImageSize(w, h);
}

void QC_measure::setImageData(const unsigned char* rgb)
{
    // One buffer for the life of the widget.
    if (m_Frame.size() != kFrameBytes) {
        m_Frame.assign(kFrameBytes, 0);
        m_nBitsPerPixel = 24;
    }
    std::memcpy(m_Frame.data(), rgb, kFrameBytes);
    m_Display = QImage(m_Frame.data(), int(kImageWidth), int(kImageHeight), int(kImageWidth) * 3,
                       QImage::Format_RGB888);
    setImageSize(kImageWidth, kImageHeight);
    m_Navigation.setNavigationSize(80, 60);
    m_Navigation.setDisplaySize(unsigned(width() / m_dScale), unsigned(height() / m_dScale));
    m_Offset = QPoint(0, 0);
    m_Navigation.setNavigationPosition(0, 0);
    if (m_dScale != 1.0)
        setScale(m_dScale);
    update();
}

void QC_measure::setTargetingMode(bool on)
{
    m_bTargeting = on;
    if (on)
        m_bTargetSet = false;
    update();
}

void QC_measure::setScale(double scale)
{
    if (scale >= 1.0) {
        m_dScale = scale;
        m_Navigation.setDisplaySize(unsigned(width() / scale), unsigned(height() / scale));
    }
    m_Offset = clamped(m_Offset);
    m_Navigation.setNavigationPosition(unsigned(m_Offset.x()), unsigned(m_Offset.y()));
    update();
}

QPoint QC_measure::clamped(QPoint offset) const
{
    const auto clamp = [this](int value, unsigned image, int widget) {
        const double limit = m_dScale >= 1.0 ? image - widget / m_dScale : m_dScale * image - widget;
        if (value > limit)
            return int(limit);
        return value < 0 ? 0 : value;
    };
    return {clamp(offset.x(), m_nWidth, width()), clamp(offset.y(), m_nHeight, height())};
}

void QC_measure::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (m_nBitsPerPixel == 0)
        return;
    QPainter painter(this);
    painter.save();
    painter.scale(m_dScale, m_dScale);
    painter.drawImage(QPoint(0, 0), m_Display, QRect(m_Offset, size()));
    painter.restore();
    painter.setPen(m_Navigation.color());
    outline(painter, m_Navigation.navigationRect());
    outline(painter, m_Navigation.positionRect());
    if (m_bTargeting && m_bTargetSet) {
        painter.setPen(QColor(0, 255, 0));
        const QPoint corner = m_Target - m_Offset - QPoint(kSearchRadius, kSearchRadius);
        outline(painter, QRect(corner, QSize(2 * kSearchRadius, 2 * kSearchRadius)));
    }
}

void QC_measure::mousePressEvent(QMouseEvent* event)
{
    m_bButtonDown = true;
    m_Last = pointerPosition(event);
    if (m_bTargeting) {
        m_bTargetSet = true;
        m_Target = m_Offset + m_Last;
        update();
    }
}

void QC_measure::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_bButtonDown)
        return;
    m_Current = pointerPosition(event);
    const QPoint candidate = clamped(m_Offset + m_Last - m_Current);
    m_Last = m_Current;
    if (m_bTargeting) {
        m_Target = m_Offset + m_Current;
    } else {
        m_Offset = candidate;
        m_Navigation.setNavigationPosition(unsigned(m_Offset.x()), unsigned(m_Offset.y()));
    }
    update();
}

void QC_measure::mouseReleaseEvent(QMouseEvent*)
{
    m_bButtonDown = false;
}

cv::Rect QC_measure::searchWindow(QPoint target, int imageWidth, int imageHeight)
{
    const auto axis = [](int t, int image, int& start, int& size) {
        if (t < kSearchRadius) {
            start = 0;
            size = t + kSearchRadius;
        } else if (t < image - kSearchRadius + 1) {
            start = t - kSearchRadius;
            size = 2 * kSearchRadius;
        } else {
            start = t - kSearchRadius;
            size = image - t + kSearchRadius;
        }
    };
    cv::Rect window;
    axis(target.x(), imageWidth, window.x, window.width);
    axis(target.y(), imageHeight, window.y, window.height);
    // A target off the frame searches what of the window lies on it.
    return window & cv::Rect(0, 0, imageWidth, imageHeight);
}

cv::Mat QC_measure::objectMask(const cv::Mat& rgb, const cv::Rect& window)
{
    const cv::Rect around =
        cv::Rect(window.x - kFilterMargin, window.y - kFilterMargin, window.width + 2 * kFilterMargin,
                 window.height + 2 * kFilterMargin)
        & cv::Rect(0, 0, rgb.cols, rgb.rows);
    cv::Mat green;
    cv::extractChannel(rgb(around), green, 1);
    cv::Mat dark;
    cv::threshold(green, dark, 50, 255, cv::THRESH_BINARY_INV);
    cv::medianBlur(dark, dark, 3);
    cv::Mat smooth;
    cv::bilateralFilter(dark, smooth, 5, 95, 95);
    return smooth(window - around.tl()).clone();
}

void QC_measure::setPoint(int index)
{
    if (m_nBitsPerPixel == 0) {
        emit sig_measure_error(TargetingError_CellNotDetected);
        return;
    }
    const cv::Mat rgb(int(m_nHeight), int(m_nWidth), CV_8UC3, m_Frame.data());
    const cv::Rect window = searchWindow(m_Target, int(m_nWidth), int(m_nHeight));
    std::vector<std::vector<cv::Point>> contours;
    if (!window.empty())
        cv::findContours(objectMask(rgb, window), contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    if (contours.empty()) {
        emit sig_measure_error(TargetingError_CellNotDetected);
        return;
    }
    if (contours.size() > 1) {
        emit sig_measure_error(TargetingError_TooManyCells);
        return;
    }
    cv::Point2f centre;
    float radius = 0;
    cv::minEnclosingCircle(contours.front(), centre, radius);
    const int x = int(centre.x + float(window.x));
    const int y = int(centre.y + float(window.y));
    if (index == 0 || index == 1) {
        m_Point[index] = QPoint(x, y);
        m_bPointSet[index] = true;
        emit sig_measure_point(index, x, y);
    }
    drawMarkers();
}

void QC_measure::drawMarkers()
{
    cv::Mat marked = cv::Mat(int(m_nHeight), int(m_nWidth), CV_8UC3, m_Frame.data()).clone();
    for (int i = 0; i < 2; ++i) {
        if (!m_bPointSet[i])
            continue;
        const cv::Point p(m_Point[i].x(), m_Point[i].y());
        const cv::Scalar red(255, 0, 0);
        cv::line(marked, p - cv::Point(15, 0), p + cv::Point(15, 0), red, 1, cv::LINE_8);
        cv::line(marked, p - cv::Point(0, 15), p + cv::Point(0, 15), red, 1, cv::LINE_8);
        cv::putText(marked, std::to_string(i + 1), p + cv::Point(8, -8), cv::FONT_HERSHEY_SIMPLEX, 0.35,
                    cv::Scalar(0, 255, 255), 1, cv::LINE_8);
    }
    m_Display = QImage(marked.data, marked.cols, marked.rows, int(marked.step), QImage::Format_RGB888).copy();
    update();
}

void QC_measure::measure2Point()
{
    // Without both points, or with points so close that the length rounds to
    // 0 mm, every constant would be 0 or not finite.
    if (!m_bPointSet[0] || !m_bPointSet[1]) {
        emit sig_measure_error(TargetingError_PointsNotSet);
        return;
    }
    MeasureInfo_t info{};
    info.length_pixel = diameter({m_Point[0].x(), m_Point[0].y()}, {m_Point[1].x(), m_Point[1].y()});
    const float estimate = ((info.length_pixel * 0.1f) / 100) * 1.4f / 1.4f;
    info.length_mm = round2(estimate, 10);
    if (info.length_mm <= 0) {
        emit sig_measure_error(TargetingError_PointsTooClose);
        return;
    }
    info.pixel_size = (info.length_mm * 1000) / info.length_pixel;
    info.Magnification = formatted((info.length_pixel * 1.4f) / (info.length_mm * 1000), "%.3f");
    info.area_mm = (float(m_nWidth) * info.pixel_size * info.pixel_size * float(m_nHeight)) / 1000000;
    info.Volume_factor = formatted(info.area_mm * 0.1f, "%.5f");
    m_MeasureInfo = info;
    emit sig_measure_result(info);
}

void QC_measure::getIntensityMean(const unsigned char* data, int width, int height, float& c0, float& c1, float& c2)
{
    const cv::Scalar mean = camera::channelMeans(data, width, height);
    c0 = float(mean[0]);
    c1 = float(mean[1]);
    c2 = float(mean[2]);
}

float QC_measure::diameter(cv::Point p1, cv::Point p2)
{
    return float(std::hypot(double(p2.x - p1.x), double(p2.y - p1.y)));
}

float QC_measure::round2(float value, float factor)
{
    const double scaled = double(value) * factor;
    return float(int(scaled + (scaled < 0 ? -0.5 : 0.5))) / factor;
}

}  // namespace verifier
