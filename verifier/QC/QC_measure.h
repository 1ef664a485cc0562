#pragma once

#include "QC/Navigation.h"

#include <QFrame>
#include <QImage>
#include <QPoint>

#include <opencv2/core.hpp>

#include <vector>

namespace verifier {

// The optical constants measured from two points of a QC target.
struct MeasureInfo_t
{
    float length_pixel;   // distance of the two centres, pixels
    float length_mm;      // that distance at the nominal scale, to 0.1 mm
    float pixel_size;     // µm per pixel
    float Magnification;  // to 3 decimals
    float area_mm;        // the whole frame on the object side, mm²
    float Volume_factor;  // area × 0.1 mm, to 5 decimals
};

enum TargetingError_e {
    TargetingError_CellNotDetected = 0,  // no object in the search window (or no frame)
    TargetingError_TooManyCells = 1,     // more than one
    TargetingError_PointsNotSet = 2,     // Measure before both points were located
    TargetingError_PointsTooClose = 3,   // under 50 pixels apart: no length to measure with
};

// The QC tab's view of one captured 2592 × 1944 RGB frame: panned by
// dragging, with a navigator; in targeting mode a touch places the target
// square instead. setPoint locates the one dark object in the 40 × 40
// window around the target and marks it; measure2Point turns the distance of
// the two points into pixel size, magnification and volume factor. Results
// and errors go out as signals (delivered directly). GUI thread only.
class QC_measure : public QFrame
{
    Q_OBJECT

public:
    static constexpr unsigned kImageWidth = 2592;
    static constexpr unsigned kImageHeight = 1944;
    // Half the search window's side.
    static constexpr int kSearchRadius = 20;

    explicit QC_measure(QWidget* parent = nullptr);

    // Copies one frame (kImageWidth × kImageHeight, RGB888) and shows it from the top-left.
    void setImageData(const unsigned char* rgb);
    void setTargetingMode(bool on);
    // Locates the object under the target as point 1 (index 0) or 2 (index 1).
    void setPoint(int index);
    void measure2Point();
    void setScale(double scale);
    void setImageSize(unsigned w, unsigned h);

    QPoint viewOffset() const { return m_Offset; }
    QPoint targetPoint() const { return m_Target; }
    const Navigation& navigation() const { return m_Navigation; }
    MeasureInfo_t lastResult() const { return m_MeasureInfo; }

    // The search window around a target in a frame of the given size: 40 × 40
    // pixels centred on it, cut at the frame's left and right, top and bottom.
    static cv::Rect searchWindow(QPoint target, int imageWidth, int imageHeight);
    // The dark objects of a search window of an RGB frame's green plane:
    // pixels of 50 or less, median 3 × 3, bilateral 5 (95, 95); non-zero is
    // object. Filters only the window and the 3 pixels around it, which gives
    // the same pixels as filtering the whole plane.
    static cv::Mat objectMask(const cv::Mat& rgb, const cv::Rect& window);
    static void getIntensityMean(const unsigned char* data, int width, int height, float& c0, float& c1, float& c2);
    static float diameter(cv::Point p1, cv::Point p2);
    static float round2(float value, float factor);

signals:
    void sig_measure_point(int index, int x, int y);
    void sig_measure_result(verifier::MeasureInfo_t MeasureInfo);
    void sig_measure_error(verifier::TargetingError_e error);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The offset held within the frame at the current scale.
    QPoint clamped(QPoint offset) const;
    void drawMarkers();

    unsigned m_nWidth = kImageWidth;
    unsigned m_nHeight = kImageHeight;
    int m_nBitsPerPixel = 0;  // 24 once a frame is held
    std::vector<unsigned char> m_Frame;  // the untouched frame
    double m_dScale = 1.0;
    QImage m_Display;  // the frame, or the frame with the point markers
    bool m_bButtonDown = false;
    Navigation m_Navigation;
    QPoint m_Offset;
    QPoint m_Last;
    QPoint m_Current;
    bool m_bTargeting = false;
    bool m_bTargetSet = false;
    QPoint m_Target;
    bool m_bPointSet[2] = {false, false};
    QPoint m_Point[2];
    MeasureInfo_t m_MeasureInfo{};
};

}  // namespace verifier

Q_DECLARE_METATYPE(verifier::MeasureInfo_t)
Q_DECLARE_METATYPE(verifier::TargetingError_e)
