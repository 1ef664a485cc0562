#include "velimbio/CellCounter.h"

#include "Stripes.h"

#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace VelimBio {

namespace {

constexpr int kMargin = 2;           // pixels around the detected circle
constexpr int kEdgeThreshold = -32;  // keep rims that are dark seen from outside in

// A zeroed 8-bit image of rows × cols in a buffer of the calling thread: the
// per-object masks are drawn and read within one call, thousands per count,
// on several threads at once.
cv::Mat scratchMask(int rows, int cols)
{
    thread_local std::vector<uchar> buffer;
    buffer.assign(static_cast<size_t>(rows) * static_cast<size_t>(cols), 0);
    return cv::Mat(rows, cols, CV_8UC1, buffer.data());
}

}  // namespace

float viabilityRatio(float m0, float m1, float m2)
{
    if (m1 < 1.0f)
        m1 = 1.0f;
    if (m2 < 2.0f)
        m2 = 2.0f;
    return m0 >= 35.0f ? m2 / m1 : 100.0f;
}

void CellCounter::prepareBinaryImagesBF()
{
    copyInStripes(m_tagImage, m_overlayImage);
    sobelInStripes(m_grayImage, m_sobelX, m_sobelY);
    cv::Canny(m_sobelX, m_sobelY, m_edgeImage, m_noise_reduction / 2, m_noise_reduction, false);
}

std::vector<cv::Vec6f>& CellCounter::findObjects_BF()
{
    clearArrays();
    // No grey image (the buffers released, or an empty one handed in): nothing
    // to find, and no edge map can be made of it.
    if (m_grayImage.empty()) {
        m_tagImage.copyTo(m_overlayImage);
        return m_detectedCells;
    }
    prepareBinaryImagesBF();

    std::vector<cv::Vec3f> circles;
    if (m_detector) {
        DetectorArgs args;
        args.param1 = static_cast<double>(m_noise_reduction);
        args.param2 = static_cast<double>(m_cell_detection_sensitivity);
        args.minRadius = m_min_search_size >> 1;
        args.maxRadius = m_max_search_size >> 1;
        args.edgeDirection = kEdgeThreshold;
        args.fitToEdges = true;
        // The edge stage's maps are the detector's own: the same derivatives,
        // and Canny at the same thresholds (every noise-reduction value is even).
        args.dx = m_sobelX;
        args.dy = m_sobelY;
        args.edges = m_edgeImage;
        circles = m_detector(m_grayImage, args);
    }

    circles.erase(std::remove_if(circles.begin(), circles.end(),
                                 [](const cv::Vec3f& circle) { return !(circle[2] > 0.0f); }),
                  circles.end());
    // Each refinement only reads the shared images and writes its own slot, so
    // the circles are refined in parallel and kept in the detector's order.
    m_detectedCells.resize(circles.size());
    cv::parallel_for_(cv::Range(0, static_cast<int>(circles.size())), [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i)
            find_newCellSize(circles[static_cast<size_t>(i)], m_detectedCells[static_cast<size_t>(i)], kMargin,
                             kEdgeThreshold);
    });
    return m_detectedCells;
}

float CellCounter::find_newCellSize(const cv::Vec3f& circle, cv::Vec6f& record, int margin, int threshold)
{
    const float r = circle[2];
    record = cv::Vec6f(circle[0], circle[1], r, 0.0f, -1.0f, r);

    cv::Vec4i box;
    cv::Point2f centre;
    box_from_circle(record, m_cols, m_rows, box, centre, margin);

    cv::Mat binary;
    get_roi_sobel(box, centre, r, threshold, binary, margin);

    cv::RotatedRect ellipse;
    if (verifyANDfit_ellipse(binary, centre, r, ellipse, margin) == 0)
        ellipse = cv::RotatedRect(centre, cv::Size2f(r, r), 0.0f);

    record[0] = static_cast<float>(box[0]) + ellipse.center.x;
    record[1] = static_cast<float>(box[2]) + ellipse.center.y;

    cv::Mat grey;
    get_roi_gray(m_grayImage, box, grey);
    const float m0 = findMeanBrightness(grey, ellipse, centre, binary.rows, binary.cols, 0.31622776601683794);
    const float m1 = findMeanBrightness(grey, ellipse, centre, binary.rows, binary.cols, 0.25);
    const float m2 = findMeanBrightness(grey, ellipse, centre, binary.rows, binary.cols, 0.75);
    const float ratio = viabilityRatio(m0, m1, m2);

    record[2] = ellipse.size.width;
    record[3] = static_cast<float>(std::floor(m0 + 0.5));
    record[4] = ratio;
    record[5] = ellipse.size.height;
    return ratio;
}

void CellCounter::box_from_circle(const cv::Vec6f& record, int cols, int rows, cv::Vec4i& box, cv::Point2f& centre,
                                  int margin)
{
    const float x = record[0];
    const float y = record[1];
    const float grown = record[2] + static_cast<float>(margin);
    int x0 = static_cast<int>(std::floor(x - grown));
    int x1 = static_cast<int>(std::ceil(x + grown));
    int y0 = static_cast<int>(std::floor(y - grown));
    int y1 = static_cast<int>(std::ceil(y + grown));
    if (x0 < 0)
        x0 = 0;
    if (x1 > cols)
        x1 = cols;
    if (y0 < 0)
        y0 = 0;
    if (y1 > rows)
        y1 = rows;
    box = cv::Vec4i(x0, x1, y0, y1);
    centre = cv::Point2f(x - static_cast<float>(x0), y - static_cast<float>(y0));
}

void CellCounter::get_roi_gray(const cv::Mat& image, const cv::Vec4i& box, cv::Mat& region)
{
    region = image(cv::Rect(box[0], box[2], box[1] - box[0], box[3] - box[2]));
}

void CellCounter::get_roi_sobel(const cv::Vec4i& box, cv::Point2f centre, double radius, int threshold, cv::Mat& out,
                                int margin)
{
    const cv::Rect area(box[0], box[2], box[1] - box[0], box[3] - box[2]);
    const cv::Mat dx = m_sobelX(area);
    const cv::Mat dy = m_sobelY(area);
    const cv::Mat edges = m_edgeImage(area);

    out = cv::Mat::zeros(area.size(), CV_8UC1);
    cv::Mat disc = scratchMask(area.height, area.width);
    cv::circle(disc, cv::Point(cvRound(centre.x), cvRound(centre.y)), static_cast<int>(std::lround(radius)) + margin,
               cv::Scalar(255), cv::FILLED, cv::LINE_8);

    const float limit = static_cast<float>(-threshold);
    for (int row = 0; row < area.height; ++row) {
        const uchar* e = edges.ptr<uchar>(row);
        const uchar* d = disc.ptr<uchar>(row);
        const short* gx = dx.ptr<short>(row);
        const short* gy = dy.ptr<short>(row);
        uchar* o = out.ptr<uchar>(row);
        const float toCentreY = centre.y - static_cast<float>(row);
        for (int col = 0; col < area.width; ++col) {
            if (e[col] == 0 || d[col] == 0)
                continue;
            // Positive when the image brightens towards the centre.
            const float dot = static_cast<float>(gy[col]) * toCentreY +
                              static_cast<float>(gx[col]) * (centre.x - static_cast<float>(col));
            bool keep;
            if (threshold > 0)
                keep = dot > static_cast<float>(threshold);
            else if (threshold == 0)
                keep = true;
            else
                keep = dot < limit;
            if (keep)
                o[col] = 255;
        }
    }
}

int CellCounter::verifyANDfit_ellipse(cv::Mat& binary, cv::Point2f& centre, float radius, cv::RotatedRect& ellipse,
                                      int margin)
{
    std::vector<std::vector<cv::Point>> contours;
    cv::findContours(binary, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    if (contours.empty())
        return 0;

    double longest = 0.0;
    size_t points = 0;
    for (const auto& contour : contours) {
        longest = std::max(longest, cv::arcLength(contour, true));
        points += contour.size();
    }
    if (longest == 0.0 || 1.5 * radius > longest)
        return 0;
    if (points <= 4)
        return 0;

    std::vector<cv::Point> all;
    all.reserve(points);
    for (const auto& contour : contours)
        all.insert(all.end(), contour.begin(), contour.end());

    cv::RotatedRect fitted = cv::fitEllipse(all);
    // Points on a line (or nearly) give no ellipse but NaN axes, which every
    // later comparison lets through and the overlay's ring radius turns into
    // garbage.
    if (!std::isfinite(fitted.size.width) || !std::isfinite(fitted.size.height) || !std::isfinite(fitted.center.x) ||
        !std::isfinite(fitted.center.y))
        return 0;
    cv::Point2f enclosingCentre;
    float enclosingRadius = 0.0f;
    cv::minEnclosingCircle(all, enclosingCentre, enclosingRadius);
    if (enclosingRadius < 0.5f * radius || enclosingRadius > radius + static_cast<float>(margin)) {
        enclosingCentre = centre;
        enclosingRadius = radius;
    }

    if (fitted.size.width > 2.0f * enclosingRadius + 1.0f) {
        fitted.size.width = 2.0f * enclosingRadius;
        fitted.center = enclosingCentre;
    }
    if (fitted.size.height > 2.0f * enclosingRadius + 1.0f) {
        fitted.size.height = 2.0f * enclosingRadius;
        fitted.center = enclosingCentre;
    }
    if (fitted.center.x < 0.0f || fitted.center.x > static_cast<float>(binary.cols) || fitted.center.y < 0.0f ||
        fitted.center.y > static_cast<float>(binary.rows))
        fitted.center = enclosingCentre;

    ellipse = fitted;
    return 1;
}

float CellCounter::findMeanBrightness(const cv::Mat& region, cv::RotatedRect ellipse, cv::Point2f centre, int rows,
                                      int cols, double scale)
{
    if (ellipse.size.width > 0.0f && ellipse.size.height > 0.0f) {
        CV_Assert(region.type() == CV_8UC1 && region.rows == rows && region.cols == cols);
        cv::Mat mask = scratchMask(rows, cols);
        const cv::RotatedRect scaled(ellipse.center,
                                     cv::Size2f(static_cast<float>(ellipse.size.width * scale),
                                                static_cast<float>(ellipse.size.height * scale)),
                                     ellipse.angle);
        cv::ellipse(mask, scaled, cv::Scalar(255), cv::FILLED, cv::LINE_8);
        // Pixels and their sum in one pass (the mask is 0 or 255); the mean is
        // formed as cv::mean forms it.
        int pixels = 0, sum = 0;
        for (int row = 0; row < rows; ++row) {
            const uchar* m = mask.ptr<uchar>(row);
            const uchar* g = region.ptr<uchar>(row);
            for (int col = 0; col < cols; ++col) {
                pixels += m[col] & 1;
                sum += g[col] & m[col];
            }
        }
        if (pixels > 3)
            return static_cast<float>(static_cast<double>(sum) * (1.0 / pixels));
    }

    const int px = static_cast<int>(std::floor(centre.x));
    const int py = static_cast<int>(std::floor(centre.y));
    if (px < 0 || py < 0 || px + 1 >= m_imageCols || py + 1 >= m_imageRows || px + 1 >= region.cols ||
        py + 1 >= region.rows)
        return 0.0f;
    const int sum = region.at<uchar>(py, px) + region.at<uchar>(py, px + 1) + region.at<uchar>(py + 1, px) +
                    region.at<uchar>(py + 1, px + 1);
    return static_cast<float>(sum) * 0.25f;
}

}  // namespace VelimBio
