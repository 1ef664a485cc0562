#include "EngineProbe.h"

#include <gtest/gtest.h>

#include <cmath>
#include <iterator>
#include <numeric>
#include <vector>

namespace {

const cv::Vec3b kBackground(100, 100, 100);
const cv::Vec3b kOrange(255, 127, 0), kGreen(0, 255, 0), kRed(255, 0, 0);

// A uniform frame with the given records as the detection, gated open.
struct Scene
{
    EngineProbe engine = smallEngine(60, 120);
    int live = 0, dead = 0;

    Scene(int mode, std::vector<cv::Vec6f> records, float lo = 1, float hi = 181)
    {
        feed(engine, cv::Mat(60, 120, CV_8UC3, cv::Scalar::all(100)));
        engine.set_countMode(mode, 0, 0);
        engine.set_BF_Protocol(8, 48, 1, 180, 5, 6, 0, 1);
        engine.m_detectedCells = std::move(records);
        engine.histogramsAndGating_BF(lo, hi, live, dead);
    }
};

cv::Vec6f object(float x, float y, float diameter, bool live)
{
    return cv::Vec6f(x, y, diameter, 200, live ? 0.5f : 100.0f, diameter);
}

}  // namespace

TEST(EngineConcentration, Table)
{
    const struct
    {
        int count;
        float dilution, volume, mantissa;
        int exponent;
    } cases[] = {
        {100, 1, 0.48979f, 2.25f, 5},
        {100, 2, 0.48979f, 4.49f, 5},
        {1, 1, 1100.0f / 5.678f, 5.68f, 0},
        {9996, 0.01f, 1.1f, 10.00f, 4},  // 9.996 rounds up, no renormalisation
        {9999, 1, 1.1f, 10.00f, 6},
        {0, 1, 0.48979f, 0.0f, 0},
        {1, 1, 1000.0f, 1.10f, 0},        // one cell per mL times 1.1 is above 1
        {1, 1.2f, 1000.0f, 1.32f, 0},
        {1, 0.9f, 1000.0f, 0.0f, 0},      // 0.99: up to one cell per mL reads as 0
        {-5, 1, 0.48979f, -1.0f, -1},
        {7, 1, 0.0f, -1.0f, -1},          // no volume factor: no endless normalisation
        {0, 1, 0.0f, -1.0f, -1},
    };
    for (const auto& c : cases) {
        EngineProbe engine(3, 8, 8, c.volume, 1.4f, 1.4f);
        float mantissa = 123;
        int exponent = 123;
        engine.getConcentration(c.count, c.dilution, mantissa, exponent);
        EXPECT_EQ(mantissa, c.mantissa) << c.count << " cells, dilution " << c.dilution << ", volume " << c.volume;
        EXPECT_EQ(exponent, c.exponent) << c.count << " cells, dilution " << c.dilution << ", volume " << c.volume;
    }
}

TEST(EngineOverlay, RingRadiiAndColours)
{
    const struct
    {
        int mode;
        bool byViability;
        cv::Vec3b live, dead;
    } colourCases[] = {
        {0, false, kOrange, kOrange},
        {0, true, kGreen, kRed},
        {1, false, kGreen, kRed},
    };
    // (x, diameter, ring radius): ceil(d / 2) + 3
    const struct { float x, diameter; int radius; } rings[] = {
        {12, 10, 8}, {35, 9.2f, 8}, {58, 8.2f, 8}, {82, 11, 9}, {106, 0, 3}};
    for (const auto& c : colourCases) {
        std::vector<cv::Vec6f> records;
        for (size_t i = 0; i < std::size(rings); ++i)
            records.push_back(object(rings[i].x, 30, rings[i].diameter, i % 2 == 0));
        Scene scene(c.mode, records);
        scene.engine.draw_cellsBF(c.byViability);
        const cv::Mat& overlay = scene.engine.getOverlayImageData2(true);
        for (size_t i = 0; i < std::size(rings); ++i) {
            SCOPED_TRACE(testing::Message() << "mode " << c.mode << ", diameter " << rings[i].diameter);
            const cv::Vec3b colour = i % 2 == 0 ? c.live : c.dead;
            const int x = int(rings[i].x), r = rings[i].radius;
            EXPECT_EQ(overlay.at<cv::Vec3b>(30, x + r), colour);
            EXPECT_EQ(overlay.at<cv::Vec3b>(30, x + r + 1), colour);
            EXPECT_EQ(overlay.at<cv::Vec3b>(30 - r, x), colour);
            EXPECT_EQ(overlay.at<cv::Vec3b>(31 + r, x), colour);
            EXPECT_EQ(overlay.at<cv::Vec3b>(30, x + r - 1), kBackground);
            EXPECT_EQ(overlay.at<cv::Vec3b>(30, x + r + 2), kBackground);
            EXPECT_EQ(overlay.at<cv::Vec3b>(30, x), kBackground);
        }
    }
}

TEST(EngineOverlay, OnlyCountedObjectsAreDrawnAndBinned)
{
    // closed gate 5..20: 10 counted, 20 (on the upper bound) and 30 not
    Scene scene(1, {object(20, 30, 10, true), object(60, 30, 20, false), object(95, 30, 30, false)}, 5, 20);
    scene.engine.draw_cellsBF(false);
    const cv::Mat& overlay = scene.engine.getOverlayImageData2(true);
    EXPECT_EQ(overlay.at<cv::Vec3b>(30, 20 + 8), kGreen);
    EXPECT_EQ(overlay.at<cv::Vec3b>(30, 60 + 13), kBackground);
    EXPECT_EQ(overlay.at<cv::Vec3b>(30, 95 + 18), kBackground);
    EXPECT_EQ(histogram(scene.engine, 0)[10], 1);
    EXPECT_EQ(histogram(scene.engine, 1), std::vector<int>(181, 0));
}

TEST(EngineHistograms, BinsByTruncatedSize)
{
    const float diameters[] = {5.0f, 5.99f, 6.0f, 0.5f, 179.99f, 180.0f, 180.99f};
    const int bins[] = {5, 5, 6, 0, 179, 180, 180};
    std::vector<cv::Vec6f> records;
    for (size_t i = 0; i < 7; ++i)
        records.push_back(object(10, 10, diameters[i], i % 2 == 0));
    Scene scene(1, records);
    const std::vector<int> zero(181, 0);
    EXPECT_EQ(histogram(scene.engine, 0), zero);  // emptied by the gating, filled by the drawing
    scene.engine.draw_cellsBF(false);
    std::vector<int> live(181, 0), dead(181, 0);
    for (size_t i = 0; i < 7; ++i)
        ++(i % 2 == 0 ? live : dead)[bins[i]];
    EXPECT_EQ(histogram(scene.engine, 0), live);
    EXPECT_EQ(histogram(scene.engine, 1), dead);
}

// Under the open gate, a negative intercept or a huge object gives sizes with
// no bin: they go to the end bins, and nothing outside the 181 counters is
// touched.
TEST(EngineHistograms, OutOfRangeSizesStayInsideTheBins)
{
    struct Guarded
    {
        Scene scene;
        Guarded(std::vector<cv::Vec6f> records) : scene(0, {})
        {
            scene.engine.setSizeCalibration(1.0, -10.0);
            scene.engine.m_detectedCells = std::move(records);
            scene.engine.histogramsAndGating_BF(1, 181, scene.live, scene.dead);
        }
    };
    Guarded g({object(10, 10, 4, true), object(20, 10, 9.5f, false), object(30, 10, 250, true),
               object(40, 10, 2000, false), object(50, 10, 30, true)});
    // the counters add up to the count, and the neighbouring cluster bins stay as they were
    const int* live = g.scene.engine.getHistogram2(0);
    const int* dead = g.scene.engine.getHistogram2(1);
    const int* clusters = g.scene.engine.getHistogram2(2);
    const std::vector<int> clustersBefore(clusters, clusters + 9);
    g.scene.engine.draw_cellsBF(false);
    EXPECT_EQ(std::vector<int>(clusters, clusters + 9), clustersBefore);
    EXPECT_EQ(live[0], 1);    // -6 µm
    EXPECT_EQ(dead[0], 1);    // -0.5 µm truncates to 0
    EXPECT_EQ(live[180], 1);  // 240 µm and 1990 µm
    EXPECT_EQ(dead[180], 1);
    EXPECT_EQ(live[20], 1);
    EXPECT_EQ(std::accumulate(live, live + 181, 0) + std::accumulate(dead, dead + 181, 0),
              g.scene.live + g.scene.dead);
}

TEST(EngineImages, GettersCopyIntoTheirOwnBuffers)
{
    EngineProbe engine = smallEngine(60, 120);
    cv::Mat frame(60, 120, CV_8UC3);
    cv::randu(frame, 0, 256);
    feed(engine, frame);
    engine.set_BF_Protocol(8, 48, 1, 180, 5, 6, 0, 1);
    engine.setCircleDetector(oracle({cv::Vec3f(40, 30, 6)}));
    engine.findObjects_BF();

    cv::Mat& plain = engine.getOverlayImageData2(true);  // detection leaves the plain frame
    EXPECT_EQ(cv::norm(plain, frame, cv::NORM_INF), 0.0);
    const uchar* overlayBuffer = plain.data;

    int live = 0, dead = 0;
    engine.histogramsAndGating_BF(1, 181, live, dead);
    engine.draw_cellsBF(false);
    cv::Mat& ringed = engine.getOverlayImageData2(true);
    EXPECT_EQ(ringed.data, overlayBuffer);
    EXPECT_GT(cv::norm(ringed, frame, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(engine.getOverlayImageData2(false), frame, cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(engine.getRawImageData(), frame, cv::NORM_INF), 0.0);
    EXPECT_NE(engine.getRawImageData().data, engine.m_rawImage.data);
    EXPECT_EQ(engine.getUngatedCellInformation().size(), 1u);
}

TEST(EngineImages, LineIntensityStatisticsAndSizes)
{
    EngineProbe engine = smallEngine(8, 8);
    cv::Mat image(3, 4, CV_8UC3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            image.at<cv::Vec3b>(r, c) = cv::Vec3b(uchar(10 * r + c), uchar(100 + c), 7);

    const struct { int mode, channel; std::vector<int> values; } cases[] = {
        {0, 0, {10, 11, 12, 13}},
        {2, 1, {102, 102, 102}},
        {1, 2, std::vector<int>(12, 7)},
        {3, 0, {}},
        {5, 0, {}},
        {0, 3, {}},  // no fourth byte in a pixel
        {0, -1, {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine.getLineIntensity(image, c.mode, c.channel), c.values) << c.mode << "/" << c.channel;
    cv::Mat grey(3, 4, CV_8UC1, cv::Scalar(1));
    EXPECT_TRUE(engine.getLineIntensity(grey, 1, 0).empty());

    float mean = 0, deviation = 0;
    engine.getAvgStdDev(image.data, mean, deviation, 4, 3);
    EXPECT_FLOAT_EQ(mean, 11.5f);
    EXPECT_FLOAT_EQ(deviation, std::sqrt(200.0f / 3 + 1.25f));  // rows 0, 10, 20; columns 0..3

    const struct { int mode, bytes; } sizes[] = {{0, 921600}, {1, 3686400}, {2, 15116544}, {3, 0}, {-1, 0}};
    for (const auto& s : sizes)
        EXPECT_EQ(engine.getImageSize(s.mode), s.bytes);
}

// The inspection composite: each plane shows the brighter of the grey image
// and its auxiliary image, drawn rings on top; planes in reverse order.
TEST(EngineImages, CompositeOfGreyAuxiliaryAndRings)
{
    EngineProbe engine = smallEngine(2, 3);
    engine.m_grayImage = (cv::Mat_<uchar>(2, 3) << 50, 50, 50, 50, 50, 50);
    engine.m_auxImage1 = (cv::Mat_<uchar>(2, 3) << 80, 20, 80, 20, 80, 20);
    engine.m_channel3Image = (cv::Mat_<uchar>(2, 3) << 10, 10, 10, 90, 90, 90);
    engine.m_overlayImage = cv::Mat(2, 3, CV_8UC3, cv::Scalar::all(0));
    engine.m_overlayImage.at<cv::Vec3b>(1, 2) = cv::Vec3b(1, 2, 3);

    const cv::Mat plain = engine.getOverlayImageData(false, true, true, true, true, false, 0, 0, 0);
    EXPECT_EQ(plain.at<cv::Vec3b>(0, 0), cv::Vec3b(50, 80, 50));  // (second, first, grey)
    EXPECT_EQ(plain.at<cv::Vec3b>(0, 1), cv::Vec3b(50, 50, 50));
    EXPECT_EQ(plain.at<cv::Vec3b>(1, 1), cv::Vec3b(90, 80, 50));

    const cv::Mat ringed = engine.getOverlayImageData(true, false, true, false, true, false, 0, 0, 0);
    EXPECT_EQ(ringed.at<cv::Vec3b>(0, 0), cv::Vec3b(0, 80, 0));
    EXPECT_EQ(ringed.at<cv::Vec3b>(1, 2), cv::Vec3b(3, 2, 1));

    engine.getOverlayImageData(false, true, false, false, true, true, 10, 0, 0);
    EXPECT_EQ(engine.m_grayImage.at<uchar>(0, 0), 60);  // the offset is added in place

    engine.m_auxImage2.release();
    EXPECT_TRUE(engine.getOverlayImageData(false, true, true, true, true, true, 0, 0, 0).empty());
}
