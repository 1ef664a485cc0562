#include "velimbio/CellCounter.h"

#include "velimbio/Log.h"

#include "Stripes.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <string>
#include <tuple>

namespace VelimBio {

namespace {

// Level tables of the counting protocols.
const int param_Cell_Detection_Sensitivity[] = {18, 16, 14, 12, 10, 7, 5, 3, 2, 1};              // level 1..10
const int param_Noise_Reduction_KOVA3[] = {60, 70, 80, 90, 100, 150, 200, 300, 400, 600};         // level 0..9
const int param_Live_Cell_Sensitivity[] = {180, 165, 150, 135, 120, 105, 90, 75, 60, 45, 30, 15}; // level 1..10
const int param_Live_Cell_Sensitivity_KOVA3[] = {50, 60, 70, 80, 90, 100, 110, 120, 130, 140};   // level 1..10

// An edited protocol file can hold any value; never read outside a table.
int clampedLevel(const char* name, int level, int lowest, int highest)
{
    if (level >= lowest && level <= highest)
        return level;
    const int clamped = std::clamp(level, lowest, highest);
    log(std::string("CellCounter: ") + name + " " + std::to_string(level) + " outside " + std::to_string(lowest) +
        ".." + std::to_string(highest) + ", using " + std::to_string(clamped));
    return clamped;
}

// green = the middle channel of a 3-channel 8-bit image of its size: split
// with the other two into buffers of the thread, since cv::split takes
// vector steps where cv::extractChannel goes pixel by pixel.
void greenOf(const cv::Mat& rgb, cv::Mat green)
{
    thread_local cv::Mat red, blue;
    cv::Mat planes[3] = {red, green, blue};
    cv::split(rgb, planes);
    red = planes[0];
    blue = planes[2];
}

}  // namespace

float round3(float v)
{
    if (v * 10.0f <= 999.0f)
        return v;
    return std::round(v * 10.0f) / 10.0f;
}

bool compare_func1(std::pair<int, cv::Point> a, std::pair<unsigned char, cv::Point> b)
{
    return a.first > b.first;
}

bool compare_func2(std::pair<float, cv::Point> a, std::pair<float, cv::Point> b)
{
    return a.first > b.first;
}

CellCounter::CellCounter()
    : m_rows(1944)
    , m_cols(2592)
    , m_fVolumeFactor(0.000495f)
    , m_fPixelSize(1.4f / 1.41f)
    , m_pixel_size(1.4f / 1.41f)
{
    init();
}

CellCounter::CellCounter(int count_mode, int rows, int cols, float volume_factor, float lens_mag, float pixel_pitch)
    : m_count_mode(count_mode)
    , m_rows(rows)
    , m_cols(cols)
    , m_fVolumeFactor(volume_factor)
    , m_fPixelSize(pixel_pitch / lens_mag)
    , m_pixel_size(1.4f / lens_mag)
{
    init();
}

CellCounter::~CellCounter() = default;

void CellCounter::init()
{
    m_slope = 1.0f;
    m_intercept = 0.0f;
    createArrays();
    warmUp();
}

void CellCounter::warmUp()
{
    // The first count after boot should cost what later ones do: the worker
    // threads, their buffers and the allocator's heaps are made ready by two
    // detections on a frame of ringed cells (the first sets how the allocator
    // serves frame-sized blocks, the second leaves it holding them), and the
    // engine is then put back as constructed, its work images mapped.
    cv::Mat frame(m_rows, m_cols, CV_8UC3, cv::Scalar::all(190));
    for (int y = 32; y + 32 < m_rows; y += 48)
        for (int x = 32; x + 32 < m_cols; x += 48)
            cv::circle(frame, cv::Point(x, y), 8 + (x + y) / 48 % 12, cv::Scalar::all(60), 3);
    const auto kept = std::make_tuple(m_noise_reduction, m_cell_detection_sensitivity, m_min_search_size,
                                      m_max_search_size, m_imageRows, m_imageCols);
    m_noise_reduction = param_Noise_Reduction_KOVA3[5];
    m_cell_detection_sensitivity = param_Cell_Detection_Sensitivity[4];
    m_min_search_size = 8;
    m_max_search_size = 60;
    for (int pass = 0; pass < 2; ++pass) {
        prepareImageData(frame.data);
        findObjects_BF();
    }
    std::tie(m_noise_reduction, m_cell_detection_sensitivity, m_min_search_size, m_max_search_size, m_imageRows,
             m_imageCols) = kept;
    clearArrays();
    m_grayImage.release();
    m_tagImage.release();
    createArrays();
    for (cv::Mat* image : workImages())
        image->setTo(0);
}

std::array<cv::Mat*, 13> CellCounter::workImages()
{
    return {&m_grayImage, &m_edgeImage, &m_auxImage1, &m_auxImage2, &m_channel2Image,
            &m_channel3Image, &m_overlayImage, &m_tagImage, &m_rawImage, &m_overlayOutput,
            &m_rawOutput, &m_sobelX, &m_sobelY};
}

void CellCounter::createArrays()
{
    for (cv::Mat* image : {&m_grayImage, &m_edgeImage, &m_auxImage1, &m_auxImage2, &m_channel2Image, &m_channel3Image})
        image->create(m_rows, m_cols, CV_8UC1);
    for (cv::Mat* image : {&m_overlayImage, &m_tagImage, &m_rawImage, &m_overlayOutput, &m_rawOutput})
        image->create(m_rows, m_cols, CV_8UC3);
    m_sobelX.create(m_rows, m_cols, CV_16SC1);
    m_sobelY.create(m_rows, m_cols, CV_16SC1);
}

void CellCounter::clearArrays()
{
    m_detectedCells.clear();
    clearGating();
}

void CellCounter::cleareAllArrays()
{
    for (cv::Mat* image : workImages())
        image->release();
    clearArrays();
    m_ungatedCellObjects.clear();
    m_lineIntensity.clear();
}

void CellCounter::setSizeCalibration(double slope, double intercept)
{
    m_slope = static_cast<float>(slope);
    m_intercept = static_cast<float>(intercept);
}

void CellCounter::set_countMode(int mode, double, double)
{
    m_countmode = mode;
    m_bViabilityColours = mode != 0 ? 1 : 0;
}

void CellCounter::set_BF_Protocol(int min_search_size, int max_search_size, int histogram_min, int histogram_max,
                                  int cell_detection_level, int live_cell_level, int noise_reduction_level,
                                  int dilution)
{
    m_cell_detection_sensitivity =
        param_Cell_Detection_Sensitivity[clampedLevel("cell detection level", cell_detection_level, 1, 10) - 1];
    m_min_search_size = clampedLevel("min search size", min_search_size, 0, kSizeBins - 1);
    m_max_search_size = clampedLevel("max search size", max_search_size, 0, kSizeBins - 1);
    m_histogramMin = histogram_min;
    m_histogramMax = histogram_max;
    m_noise_reduction = param_Noise_Reduction_KOVA3[clampedLevel("noise reduction level", noise_reduction_level, 0, 9)];
    if (m_countmode == 0) {
        m_live_cell_sensitivity = 1;
        m_threshold_BFViability = 1.0f;
    } else {
        const int index = clampedLevel("live cell level", live_cell_level, 1, 10) - 1;
        m_live_cell_sensitivity = param_Live_Cell_Sensitivity[index];
        m_threshold_BFViability = static_cast<float>(param_Live_Cell_Sensitivity_KOVA3[index]) / 100.0f;
    }
    m_dilution_factor_BF = dilution;
    m_threshold_BF = 128;
    m_new_viabilityAlgorithm = true;

    logValue("m_min_search_size ", std::to_string(m_min_search_size));
    logValue("m_max_search_size ", std::to_string(m_max_search_size));
    logValue("m_cell_detection_sensitivity ", std::to_string(m_cell_detection_sensitivity));
    logValue("m_live_cell_sensitivity ", std::to_string(m_live_cell_sensitivity));
    logValue("m_noise_reduction ", std::to_string(m_noise_reduction));
    logValue("m_dilution_factor_BF ", std::to_string(m_dilution_factor_BF));
    logValue("m_threshold_BF ", std::to_string(m_threshold_BF));
    logValue("m_threshold_BFViability ", std::to_string(m_threshold_BFViability));
    logValue("m_new_viabilityAlgorithm ", m_new_viabilityAlgorithm ? "true" : "false");
}

void CellCounter::setCircleDetector(CircleDetector detector)
{
    m_detector = std::move(detector);
}

void CellCounter::prepareImageData(unsigned char* frame)
{
    // Copied into the buffer the engine owns (recreated if cleareAllArrays
    // released it); each stripe's green channel is taken while the stripe is
    // still in the cache.
    const cv::Mat source(m_rows, m_cols, CV_8UC3, frame);
    m_rawImage.create(m_rows, m_cols, CV_8UC3);
    m_grayImage.release();
    m_tagImage = m_rawImage;
    cv::Mat green(m_rows, m_cols, CV_8UC1);
    forEachStripe(m_rows, kStripeRows, [&](int y0, int y1) {
        const cv::Range rows(y0, y1);
        source.rowRange(rows).copyTo(m_rawImage.rowRange(rows));
        greenOf(m_rawImage.rowRange(rows), green.rowRange(rows));
    });
    setImageData(green, 1, false);
}

void CellCounter::setImageData(cv::Mat& image, int channel, bool flip)
{
    if (flip)
        cv::flip(image, image, 0);
    switch (channel) {
    case 1:
        m_grayImage = image;
        m_imageRows = image.rows;
        m_imageCols = image.cols;
        break;
    case 2:
        m_channel2Image = image;
        break;
    case 3:
        m_channel3Image = image;
        break;
    default:
        break;
    }
}

void CellCounter::setTagImage(cv::Mat& image)
{
    if (image.empty())
        m_tagImage.create(1944, 2592, CV_8UC3);
    else
        m_tagImage = image;
}

}  // namespace VelimBio
