#include "velimbio/CellCounter.h"

#include "velimbio/Log.h"

#include "Stripes.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

namespace VelimBio {

namespace {

// Counted objects outside 0..180 µm (open gate, negative intercept, huge
// objects) go to the end bins, so the histograms still add up to the count.
int sizeBin(float size_um)
{
    if (!(size_um > 0.0f))
        return 0;
    if (size_um >= static_cast<float>(CellCounter::kSizeBins - 1))
        return CellCounter::kSizeBins - 1;
    return static_cast<int>(size_um);
}

}  // namespace

void CellCounter::getConcentration(int count, float dilution, float& mantissa, int& exponent)
{
    const float c = static_cast<float>(count) * (1000.0f / m_fVolumeFactor) * dilution * 1.1f;
    if (count < 0) {
        mantissa = -1.0f;
        exponent = -1;
        return;
    }
    // A volume factor of 0 (or a non-finite one) would never normalise.
    if (!std::isfinite(c)) {
        log("CellCounter: concentration not finite, volume factor " + std::to_string(m_fVolumeFactor));
        mantissa = -1.0f;
        exponent = -1;
        return;
    }
    exponent = 0;
    if (c <= 1.0f) {
        mantissa = 0.0f;
        return;
    }
    float m = c;
    while (m / 10.0f >= 1.0f) {
        m = m / 10.0f;
        ++exponent;
    }
    mantissa = static_cast<float>(std::round(static_cast<double>(m) * 100.0) / 100.0);
}

void CellCounter::draw_cellsBF(bool colour_by_viability)
{
    struct Ring
    {
        cv::Point centre;
        int r;  // the inner one's radius; the outer one's is r + 1
        cv::Scalar colour;
    };
    std::vector<Ring> rings;
    const bool byViability = colour_by_viability || m_bViabilityColours != 0;
    for (const TObj& object : m_cellObjects) {
        if (object.gate_position == 0)
            continue;
        cv::Scalar colour(255, 127, 0);
        if (byViability)
            colour = object.is_live ? cv::Scalar(0, 255, 0) : cv::Scalar(255, 0, 0);
        rings.push_back({cv::Point(object.x, object.y), static_cast<int>(std::ceil(object.diameter_px * 0.5f) + 3.0),
                         colour});
        ++(object.is_live ? m_liveHistogram : m_deadHistogram)[sizeBin(object.size_um)];
    }
    // Each stripe is copied from the frame and gets its rows of the rings, in
    // the objects' order: a one-pixel ring drawn into a stripe sets the very
    // pixels it sets there in the whole image, so the overlay is the same.
    m_overlayImage.create(m_tagImage.size(), m_tagImage.type());
    forEachStripe(m_tagImage.rows, kStripeRows, [&](int y0, int y1) {
        cv::Mat stripe = m_overlayImage.rowRange(y0, y1);
        m_tagImage.rowRange(y0, y1).copyTo(stripe);
        for (const Ring& ring : rings) {
            if (ring.centre.y + ring.r + 1 < y0 || ring.centre.y - ring.r - 1 >= y1)
                continue;
            const cv::Point centre(ring.centre.x, ring.centre.y - y0);
            cv::circle(stripe, centre, ring.r, ring.colour, 1, cv::LINE_8, 0);
            cv::circle(stripe, centre, ring.r + 1, ring.colour, 1, cv::LINE_8, 0);
        }
    });
}

cv::Mat& CellCounter::getOverlayImageData2(bool bTAGon)
{
    copyInStripes(bTAGon ? m_overlayImage : m_rawImage, m_overlayOutput);
    return m_overlayOutput;
}

cv::Mat& CellCounter::getRawImageData()
{
    copyInStripes(m_rawImage, m_rawOutput);
    return m_rawOutput;
}

std::vector<TObj>& CellCounter::getUngatedCellInformation()
{
    return m_ungatedCellObjects;
}

cv::Mat CellCounter::getOverlayImageData(bool with_rings, bool grey_base, bool use_first, bool use_second,
                                         bool first_is_aux1, bool second_is_aux2, int grey_offset, int first_offset,
                                         int second_offset)
{
    cv::Mat result;
    if (m_grayImage.empty() || m_auxImage1.empty() || m_auxImage2.empty())
        return result;

    const cv::Mat zero = cv::Mat::zeros(m_rows, m_cols, CV_8UC1);
    cv::Mat grey = m_grayImage;
    if (grey_offset != 0)
        cv::add(grey, cv::Scalar(grey_offset), grey);

    // An auxiliary image (shared, offset in place) and where it outshines the grey image.
    auto auxiliary = [&](bool use, bool isAux, cv::Mat& aux, cv::Mat& channel, int offset, cv::Mat& brighter) {
        if (!use)
            return zero;
        cv::Mat image = isAux ? aux : channel;
        if (offset != 0)
            cv::add(image, cv::Scalar(offset), image);
        cv::compare(image, grey, brighter, cv::CMP_GT);
        return image;
    };
    cv::Mat firstMask, secondMask;
    const cv::Mat first = auxiliary(use_first, first_is_aux1, m_auxImage1, m_channel2Image, first_offset, firstMask);
    const cv::Mat second =
        auxiliary(use_second, second_is_aux2, m_auxImage2, m_channel3Image, second_offset, secondMask);

    cv::Mat p1, p2, p3;
    if (!grey_base) {
        p1 = zero.clone();
        p2 = first.clone();
        p3 = second.clone();
    } else {
        p1 = grey.clone();
        p2 = grey.clone();
        p3 = grey.clone();
        if (use_second)
            second.copyTo(p3, secondMask);
        if (use_first)
            first.copyTo(p2, firstMask);
    }

    if (with_rings && !m_overlayImage.empty()) {
        cv::Mat planes[3];
        cv::split(m_overlayImage, planes);
        cv::Mat ringGrey;
        cv::cvtColor(m_overlayImage, ringGrey, cv::COLOR_BGR2GRAY);
        const cv::Mat drawn = ringGrey != 0;
        planes[2].copyTo(p3, drawn);
        planes[1].copyTo(p2, drawn);
        planes[0].copyTo(p1, drawn);
    }

    cv::merge(std::vector<cv::Mat>{p3, p2, p1}, result);
    return result;
}

void CellCounter::getAvgStdDev(unsigned char* data, float& mean, float& stddev, int width, int height)
{
    const cv::Mat image(height, width, CV_8UC3, data);
    cv::Scalar means, deviations;
    cv::meanStdDev(image, means, deviations);
    mean = static_cast<float>(means[0]);
    stddev = static_cast<float>(deviations[0]);
}

std::vector<int> CellCounter::getLineIntensity(cv::Mat& image, int mode, int channel)
{
    m_lineIntensity.clear();
    // Reading a byte beyond the pixel would leave the image.
    if (image.empty() || image.type() != CV_8UC3 || channel < 0 || channel > 2)
        return m_lineIntensity;

    int firstRow = 0, lastRow = image.rows, firstCol = 0, lastCol = image.cols;
    switch (mode) {
    case 0:
        firstRow = image.rows / 2;
        lastRow = firstRow + 1;
        break;
    case 1:
        break;
    case 2:
        firstCol = image.cols / 2;
        lastCol = firstCol + 1;
        break;
    default:
        return m_lineIntensity;
    }
    for (int row = firstRow; row < lastRow; ++row) {
        const cv::Vec3b* pixels = image.ptr<cv::Vec3b>(row);
        for (int col = firstCol; col < lastCol; ++col)
            m_lineIntensity.push_back(pixels[col][channel]);
    }
    return m_lineIntensity;
}

int CellCounter::getImageSize(int mode)
{
    switch (mode) {
    case 0:
        return 640 * 480 * 3;
    case 1:
        return 1280 * 960 * 3;
    case 2:
        return 2592 * 1944 * 3;
    default:
        return 0;
    }
}

}  // namespace VelimBio
