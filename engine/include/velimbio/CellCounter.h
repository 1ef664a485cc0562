#pragma once

#include "velimbio/HoughCirclesAdaptive.h"

#include <opencv2/core.hpp>

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace VelimBio {

// One detected object after the gating step.
struct TObj
{
    float diameter_px = 0.0f;  // larger axis, pixels
    float size_um = 0.0f;      // after pixel size and size calibration
    float circularity = 0.0f;  // 2ab / (a² + b²); 0 when b is 0
    float roundness = 0.0f;    // a / b × 100; 0 when b is 0
    int32_t mean_intensity = 0;
    int32_t x = 0;
    int32_t y = 0;
    bool is_live = false;
    bool is_gated = false;       // inside [size_min, size_max] of the last gating
    int32_t gate_position = 0;   // -1 counted (open gate), 1 counted (closed gate), 0 not counted
};

// The circle detector the engine calls once per count: the circles it finds
// in the grey frame; detectCircles unless a test or a tool puts another in
// its place.
using CircleDetector = std::function<std::vector<cv::Vec3f>(const cv::Mat&, const DetectorArgs&)>;

// Unchanged while v × 10 ≤ 999, else rounded half away from zero to one decimal.
float round3(float v);
// Viability ratio of one object from the mean brightness of its centre (m0),
// core (m1) and outer region (m2): m2 / m1 with the floors 1 and 2, or 100
// for a dark centre (m0 below 35).
float viabilityRatio(float m0, float m1, float m2);
// Descending sort predicates on the first member.
bool compare_func1(std::pair<int, cv::Point> a, std::pair<unsigned char, cv::Point> b);
bool compare_func2(std::pair<float, cv::Point> a, std::pair<float, cv::Point> b);

// The counting engine: one bright-field colour frame in; round objects found,
// sized, called live or dead, gated by size; concentration, viability,
// histograms and the ringed overlay out.
//
// Object records (cv::Vec6f): centre x, centre y, axis a, centre brightness,
// viability ratio, axis b. One count: prepareImageData, set_countMode,
// set_BF_Protocol, findObjects_BF, histogramsAndGating_BF, draw_cellsBF, getters.
// Image and list getters return the engine's own objects; callers copy what
// they keep. No locking: two calls on one instance must never overlap.
class CellCounter
{
public:
    CellCounter();
    CellCounter(int count_mode, int rows, int cols, float volume_factor, float lens_mag, float pixel_pitch);
    virtual ~CellCounter();

    CellCounter(const CellCounter&) = delete;
    CellCounter& operator=(const CellCounter&) = delete;

    // --- set-up and buffers
    void init();
    void createArrays();
    void clearArrays();
    void cleareAllArrays();
    void setSizeCalibration(double slope, double intercept);
    void set_countMode(int mode, double, double);
    // Levels outside their tables (detection and live 1..10, noise 0..9) and
    // search sizes outside the size table (0..180 µm) are clamped to the
    // table and logged.
    void set_BF_Protocol(int min_search_size, int max_search_size, int histogram_min, int histogram_max,
                         int cell_detection_level, int live_cell_level, int noise_reduction_level, int dilution);
    void setCircleDetector(CircleDetector detector);

    // --- image input
    // frame: m_rows × m_cols × 3 bytes, rows contiguous.
    void prepareImageData(unsigned char* frame);
    void setImageData(cv::Mat& image, int channel, bool flip);
    void setTagImage(cv::Mat& image);

    // --- detection
    std::vector<cv::Vec6f>& findObjects_BF();
    void prepareBinaryImagesBF();
    float find_newCellSize(const cv::Vec3f& circle, cv::Vec6f& record, int margin, int threshold);
    void box_from_circle(const cv::Vec6f& record, int cols, int rows, cv::Vec4i& box, cv::Point2f& centre,
                         int margin);
    void get_roi_gray(const cv::Mat& image, const cv::Vec4i& box, cv::Mat& region);
    void get_roi_sobel(const cv::Vec4i& box, cv::Point2f centre, double radius, int threshold, cv::Mat& out,
                       int margin);
    int verifyANDfit_ellipse(cv::Mat& binary, cv::Point2f& centre, float radius, cv::RotatedRect& ellipse,
                             int margin);
    float findMeanBrightness(const cv::Mat& region, cv::RotatedRect ellipse, cv::Point2f centre, int rows,
                             int cols, double scale);

    // --- gating, clusters, histograms
    void histogramsAndGating_BF(float size_min, float size_max, int& live, int& dead);
    // Records prepared for clustering: element 2 the radius, element 4 -1.
    // Element 4 comes back as the cluster label (index of one member).
    void check_clusters(std::vector<cv::Vec6f>& objects);
    int* getHistogram2(int which);
    void getAvgCellSize(float& average);
    void getViability(int live, int dead, float& percent);
    std::vector<cv::Vec6f> gating_BF(float size_min, float size_max);
    void histogram_and_viability_BF(std::vector<cv::Vec6f>& objects, std::vector<cv::Vec6f>& live_objects,
                                    std::vector<cv::Vec6f>& dead_objects);
    void saveUngatedData();

    // --- results
    void getConcentration(int count, float dilution, float& mantissa, int& exponent);
    void draw_cellsBF(bool colour_by_viability);
    cv::Mat& getOverlayImageData2(bool bTAGon);
    cv::Mat& getRawImageData();
    std::vector<TObj>& getUngatedCellInformation();
    cv::Mat getOverlayImageData(bool with_rings, bool grey_base, bool use_first, bool use_second,
                                bool first_is_aux1, bool second_is_aux2, int grey_offset, int first_offset,
                                int second_offset);
    void getAvgStdDev(unsigned char* data, float& mean, float& stddev, int width, int height);
    std::vector<int> getLineIntensity(cv::Mat& image, int mode, int channel);
    int getImageSize(int mode);

    static constexpr int kSizeBins = 181;    // 1-µm bins, sizes 0 to 180
    static constexpr int kClusterBins = 9;   // clusters of 1..8, then 9 or more

protected:
    // Readies threads, allocator and work images with detections on a frame
    // of its own (construction); leaves the engine as constructed.
    void warmUp();
    std::array<cv::Mat*, 13> workImages();
    TObj makeObject(const cv::Vec6f& record) const;
    float sizeOf(float diameter_px) const;
    void addClusterSizes(const std::vector<cv::Vec6f>& prepared);
    // Empties the objects of the last gating and zeroes the histograms.
    void clearGating();

    int m_liveThresholdLevel = 0;
    int m_bViabilityColours = 0;
    int m_noise_reduction = 0;
    int m_min_search_size = 0;
    int m_max_search_size = 0;
    int m_histogramMin = 0;
    int m_histogramMax = 0;
    int m_cell_detection_sensitivity = 0;
    int m_live_cell_sensitivity = 0;
    int m_dilution_factor_BF = 0;
    int m_count_mode = 0;
    int m_rows = 0;
    int m_cols = 0;
    int m_imageRows = 0;
    int m_imageCols = 0;
    float m_fVolumeFactor = 0.0f;
    float m_fPixelSize = 0.0f;
    float m_slope = 1.0f;
    float m_intercept = 0.0f;
    int m_threshold_BF = 0;
    float m_threshold_BFViability = 1.0f;
    bool m_new_viabilityAlgorithm = false;
    std::vector<TObj> m_cellObjects;
    std::vector<TObj> m_ungatedCellObjects;
    std::vector<int> m_lineIntensity;
    int m_countmode = 0;
    cv::Mat m_grayImage;
    cv::Mat m_edgeImage;
    cv::Mat m_auxImage1;
    cv::Mat m_auxImage2;
    cv::Mat m_channel2Image;
    cv::Mat m_channel3Image;
    cv::Mat m_overlayImage;
    cv::Mat m_tagImage;
    cv::Mat m_rawImage;
    cv::Mat m_overlayOutput;
    cv::Mat m_rawOutput;
    cv::Mat m_sobelX;
    cv::Mat m_sobelY;
    float m_pixel_size = 0.0f;
    int m_liveHistogram[kSizeBins] = {};
    int m_deadHistogram[kSizeBins] = {};
    int m_clusterHistogram[kClusterBins] = {};
    std::vector<cv::Vec6f> m_detectedCells;

    CircleDetector m_detector = detectCircles;
};

}  // namespace VelimBio
