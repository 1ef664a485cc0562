#include "EngineProbe.h"

#include "velimbio/Log.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using VelimBio::CellCounter;

namespace {

// Collects the engine's log lines for the life of the object.
struct LogCapture
{
    std::vector<std::string> lines;
    LogCapture()
    {
        VelimBio::setLogHandler([this](const std::string& line) { lines.push_back(line); });
    }
    ~LogCapture() { VelimBio::setLogHandler(nullptr); }
    bool mentions(const std::string& text) const
    {
        for (const auto& line : lines)
            if (line.find(text) != std::string::npos)
                return true;
        return false;
    }
};

cv::Mat cellFrame(int rows, int cols)
{
    cv::Mat frame(rows, cols, CV_8UC3, cv::Scalar(180, 190, 170));
    cv::circle(frame, {30, 30}, 9, cv::Scalar(60, 60, 60), cv::FILLED);
    cv::circle(frame, {30, 30}, 5, cv::Scalar(220, 230, 210), cv::FILLED);
    cv::circle(frame, {70, 40}, 7, cv::Scalar(40, 45, 90), cv::FILLED);
    return frame;
}

}  // namespace

TEST(EngineLevels, Table)
{
    const struct
    {
        int mode, detection, live, noise;
        int sensitivity, noiseReduction, liveSensitivity;
        float threshold;
        const char* logged;  // clamp notice expected, or nullptr
    } cases[] = {
        {1, 1, 6, 0, 18, 60, 105, 1.00f, nullptr},
        {1, 10, 1, 9, 1, 600, 180, 0.50f, nullptr},
        {1, 5, 10, 2, 10, 80, 45, 1.40f, nullptr},
        {0, 5, 10, 2, 10, 80, 1, 1.0f, nullptr},   // total mode ignores the live level
        {0, 5, 77, 2, 10, 80, 1, 1.0f, nullptr},   // ... even one outside its table
        {1, 0, 5, 4, 18, 100, 120, 0.90f, "cell detection level 0"},
        {1, 11, 5, 4, 1, 100, 120, 0.90f, "cell detection level 11"},
        {1, 3, 0, 4, 14, 100, 180, 0.50f, "live cell level 0"},
        {1, 3, 12, 4, 14, 100, 45, 1.40f, "live cell level 12"},
        {1, 3, 5, -1, 14, 60, 120, 0.90f, "noise reduction level -1"},
        {1, 3, 5, 10, 14, 600, 120, 0.90f, "noise reduction level 10"},
    };
    for (const auto& c : cases) {
        LogCapture log;
        EngineProbe engine = smallEngine(40, 40);
        engine.set_countMode(c.mode, 0.0, 0.0);
        engine.set_BF_Protocol(7, 49, 1, 180, c.detection, c.live, c.noise, 3);
        SCOPED_TRACE(testing::Message() << "mode " << c.mode << " levels " << c.detection << "/" << c.live << "/"
                                        << c.noise);
        EXPECT_EQ(engine.m_cell_detection_sensitivity, c.sensitivity);
        EXPECT_EQ(engine.m_noise_reduction, c.noiseReduction);
        EXPECT_EQ(engine.m_live_cell_sensitivity, c.liveSensitivity);
        EXPECT_EQ(engine.m_threshold_BFViability, c.threshold);
        EXPECT_EQ(engine.m_min_search_size, 7);
        EXPECT_EQ(engine.m_max_search_size, 49);
        EXPECT_EQ(engine.m_dilution_factor_BF, 3);
        EXPECT_EQ(engine.m_threshold_BF, 128);
        EXPECT_TRUE(engine.m_new_viabilityAlgorithm);
        EXPECT_TRUE(log.mentions("---------------------> m_noise_reduction  : " +
                                 std::to_string(c.noiseReduction)));
        if (c.logged)
            EXPECT_TRUE(log.mentions(c.logged));
        else
            EXPECT_FALSE(log.mentions("outside"));
    }
}

// Search sizes outside the size table (an edited protocol file) are clamped
// and logged: the detector never sees a radius past the table.
TEST(EngineLevels, SearchSizesStayInTheSizeTable)
{
    const struct
    {
        int min, max;
        int expectedMin, expectedMax;
        const char* logged;
    } cases[] = {
        {7, 49, 7, 49, nullptr},
        {0, 180, 0, 180, nullptr},
        {-5, 49, 0, 49, "min search size -5"},
        {7, 181, 7, 180, "max search size 181"},
        {7, 2147483647, 7, 180, "max search size 2147483647"},
        {-2147483647 - 1, 49, 0, 49, "min search size -2147483648"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.min << ".." << c.max);
        LogCapture log;
        EngineProbe engine = smallEngine(80, 100);
        feed(engine, cellFrame(80, 100));
        engine.set_countMode(0, 0.0, 0.0);
        engine.set_BF_Protocol(c.min, c.max, 1, 180, 4, 1, 2, 1);
        EXPECT_EQ(engine.m_min_search_size, c.expectedMin);
        EXPECT_EQ(engine.m_max_search_size, c.expectedMax);
        if (c.logged)
            EXPECT_TRUE(log.mentions(c.logged));
        else
            EXPECT_FALSE(log.mentions("outside"));
        engine.findObjects_BF();  // the stock detector, with the clamped radii
    }
}

// Every level of the four tables.
TEST(EngineLevels, WholeTables)
{
    const int detection[] = {18, 16, 14, 12, 10, 7, 5, 3, 2, 1};         // levels 1..10
    const int live[] = {180, 165, 150, 135, 120, 105, 90, 75, 60, 45};   // levels 1..10
    const float threshold[] = {0.5f, 0.6f, 0.7f, 0.8f, 0.9f, 1.0f, 1.1f, 1.2f, 1.3f, 1.4f};
    const int noise[] = {60, 70, 80, 90, 100, 150, 200, 300, 400, 600};  // levels 0..9
    for (int level = 1; level <= 10; ++level) {
        SCOPED_TRACE(testing::Message() << "level " << level);
        EngineProbe engine = smallEngine(40, 40);
        engine.set_countMode(1, 0.0, 0.0);
        engine.set_BF_Protocol(7, 49, 1, 180, level, level, level - 1, 3);
        EXPECT_EQ(engine.m_cell_detection_sensitivity, detection[level - 1]);
        EXPECT_EQ(engine.m_live_cell_sensitivity, live[level - 1]);
        EXPECT_EQ(engine.m_threshold_BFViability, threshold[level - 1]);
        EXPECT_EQ(engine.m_noise_reduction, noise[level - 1]);
    }
}

TEST(EngineLevels, ModesDifferOnlyInLiveFields)
{
    EngineProbe total = smallEngine(40, 40), viability = smallEngine(40, 40);
    total.set_countMode(0, 0.0, 0.0);
    viability.set_countMode(1, 0.0, 0.0);
    for (EngineProbe* e : {&total, &viability})
        e->set_BF_Protocol(8, 40, 1, 180, 4, 3, 5, 2);
    EXPECT_EQ(total.m_cell_detection_sensitivity, viability.m_cell_detection_sensitivity);
    EXPECT_EQ(total.m_noise_reduction, viability.m_noise_reduction);
    EXPECT_EQ(total.m_live_cell_sensitivity, 1);
    EXPECT_EQ(viability.m_live_cell_sensitivity, 150);
    EXPECT_EQ(total.m_threshold_BFViability, 1.0f);
    EXPECT_EQ(viability.m_threshold_BFViability, 0.7f);
}

// Noise-reduction level 0 and 9: the edge map is Canny at 30/60 and 300/600
// on the derivative pair; the detector is called once with the protocol's values.
TEST(EngineLevels, EdgeThresholdsAndDetectorCall)
{
    const cv::Mat frame = cellFrame(80, 100);
    cv::Mat green;
    cv::extractChannel(frame, green, 1);
    cv::Mat dx, dy;
    cv::Sobel(green, dx, CV_16S, 1, 0, 3, 1, 0, cv::BORDER_REPLICATE);
    cv::Sobel(green, dy, CV_16S, 0, 1, 3, 1, 0, cv::BORDER_REPLICATE);

    for (const auto& [level, low, high] : {std::tuple{0, 30, 60}, std::tuple{9, 300, 600}, std::tuple{2, 40, 80}}) {
        EngineProbe engine = smallEngine(80, 100);
        int calls = 0;
        engine.setCircleDetector([&](const cv::Mat& image, const VelimBio::DetectorArgs& args) {
            ++calls;
            EXPECT_EQ(cv::norm(image, green, cv::NORM_INF), 0.0);
            EXPECT_EQ(args.method, cv::HOUGH_GRADIENT);
            EXPECT_EQ(args.dp, 1.0);
            EXPECT_EQ(args.minDist, 0.7);
            EXPECT_EQ(args.param1, double(high));
            EXPECT_EQ(args.param2, 12.0);
            EXPECT_EQ(args.minRadius, 3);
            EXPECT_EQ(args.maxRadius, 24);
            EXPECT_EQ(args.edgeDirection, -32);
            EXPECT_TRUE(args.fitToEdges);
            EXPECT_FALSE(args.keepPartial);
            // The edge stage's own maps, not copies.
            EXPECT_EQ(args.dx.data, engine.m_sobelX.data);
            EXPECT_EQ(args.dy.data, engine.m_sobelY.data);
            EXPECT_EQ(args.edges.data, engine.m_edgeImage.data);
            return std::vector<cv::Vec3f>();
        });
        feed(engine, frame);
        engine.set_countMode(0, 0.0, 0.0);
        engine.set_BF_Protocol(7, 49, 1, 180, 4, 1, level, 1);
        engine.findObjects_BF();
        EXPECT_EQ(calls, 1);

        cv::Mat expected;
        cv::Canny(dx, dy, expected, low, high, false);
        EXPECT_EQ(cv::norm(engine.m_edgeImage, expected, cv::NORM_INF), 0.0) << "level " << level;
        EXPECT_EQ(cv::norm(engine.m_sobelX, dx, cv::NORM_INF), 0.0);
        EXPECT_EQ(cv::norm(engine.m_sobelY, dy, cv::NORM_INF), 0.0);
        EXPECT_TRUE(engine.findObjects_BF().empty());
    }
}

TEST(EngineConstruction, PixelSizesAndBuffers)
{
    EngineProbe engine(3, 1944, 2592, 0.48979f, 1.46f, 1.4f);
    EXPECT_EQ(engine.m_pixel_size, 1.4f / 1.46f);
    EXPECT_NEAR(engine.m_pixel_size, 0.9589, 1e-4);
    EXPECT_EQ(engine.m_fPixelSize, engine.m_pixel_size);

    EngineProbe other(3, 1944, 2592, 0.48979f, 1.46f, 2.2f);
    EXPECT_EQ(other.m_pixel_size, 1.4f / 1.46f);  // 1.4 whatever the pitch
    EXPECT_EQ(other.m_fPixelSize, 2.2f / 1.46f);

    EngineProbe standard;
    EXPECT_NEAR(standard.m_pixel_size, 0.9929078, 1e-7);
    EXPECT_EQ(standard.m_rawImage.size(), cv::Size(2592, 1944));
    EXPECT_EQ(standard.m_rawImage.type(), CV_8UC3);
    EXPECT_EQ(standard.m_sobelX.type(), CV_16SC1);
}

// Construction counts a frame of its own to ready the threads and the
// allocator; none of it may show in the engine a caller gets.
TEST(EngineConstruction, TheWarmUpLeavesNoTrace)
{
    EngineProbe engine;
    EXPECT_TRUE(engine.m_detectedCells.empty());
    EXPECT_TRUE(engine.m_cellObjects.empty());
    EXPECT_EQ(engine.m_noise_reduction, 0);
    EXPECT_EQ(engine.m_cell_detection_sensitivity, 0);
    EXPECT_EQ(engine.m_min_search_size, 0);
    EXPECT_EQ(engine.m_max_search_size, 0);
    EXPECT_EQ(engine.m_imageRows, 0);
    EXPECT_EQ(engine.m_imageCols, 0);
    EXPECT_NE(engine.m_tagImage.data, engine.m_rawImage.data);
    EXPECT_NE(engine.m_grayImage.data, nullptr);
    for (const cv::Mat* image : {&engine.m_grayImage, &engine.m_edgeImage, &engine.m_overlayImage,
                                 &engine.m_tagImage, &engine.m_rawImage, &engine.m_sobelX, &engine.m_sobelY}) {
        EXPECT_EQ(image->size(), cv::Size(2592, 1944));
        EXPECT_EQ(cv::countNonZero(image->reshape(1)), 0);
    }
}

TEST(EngineImageInput, FramesReplaceEachOtherAndShareBuffers)
{
    EngineProbe engine = smallEngine(80, 100);
    const uchar* rawBuffer = engine.m_rawImage.data;
    const cv::Mat first = cellFrame(80, 100);
    cv::Mat second(80, 100, CV_8UC3);
    cv::randu(second, 0, 256);

    for (const cv::Mat& frame : {first, second}) {
        feed(engine, frame);
        EXPECT_EQ(engine.m_rawImage.data, rawBuffer);  // reused, not reallocated
        EXPECT_EQ(engine.m_tagImage.data, rawBuffer);  // the tag image shares the frame
        EXPECT_EQ(cv::norm(engine.m_rawImage, frame, cv::NORM_INF), 0.0);
        cv::Mat green;
        cv::extractChannel(frame, green, 1);
        EXPECT_EQ(cv::norm(engine.m_grayImage, green, cv::NORM_INF), 0.0);
        EXPECT_EQ(engine.m_imageRows, 80);
        EXPECT_EQ(engine.m_imageCols, 100);
    }
}

TEST(EngineImageInput, ReleasedBuffersAreRecreated)
{
    EngineProbe engine = smallEngine(80, 100);
    engine.cleareAllArrays();
    EXPECT_TRUE(engine.m_rawImage.empty());
    const cv::Mat frame = cellFrame(80, 100);
    feed(engine, frame);
    EXPECT_EQ(cv::norm(engine.m_rawImage, frame, cv::NORM_INF), 0.0);
}

TEST(EngineImageInput, SetImageDataAndTagImage)
{
    EngineProbe engine = smallEngine(80, 100);
    feed(engine, cellFrame(80, 100));
    const cv::Mat grey = engine.m_grayImage;

    cv::Mat image = (cv::Mat_<uchar>(2, 2) << 1, 2, 3, 4);
    engine.setImageData(image, 4, true);
    EXPECT_EQ(image.at<uchar>(0, 0), 3);  // flipped upside down in place
    EXPECT_EQ(image.at<uchar>(1, 1), 2);
    EXPECT_EQ(engine.m_grayImage.data, grey.data);
    EXPECT_EQ(engine.m_imageRows, 80);

    engine.setImageData(image, 1, false);
    EXPECT_EQ(engine.m_grayImage.data, image.data);
    EXPECT_EQ(engine.m_imageRows, 2);
    EXPECT_EQ(engine.m_imageCols, 2);

    cv::Mat empty;
    engine.setTagImage(empty);
    EXPECT_EQ(engine.m_tagImage.size(), cv::Size(2592, 1944));
    EXPECT_EQ(engine.m_tagImage.type(), CV_8UC3);

    cv::Mat colour(5, 6, CV_8UC3, cv::Scalar(1, 2, 3));
    engine.setTagImage(colour);
    EXPECT_EQ(engine.m_tagImage.data, colour.data);
}

TEST(EngineRound3, Table)
{
    const struct { float in, out; } cases[] = {
        {99.9f, 99.9f}, {99.95f, 100.0f}, {150.06f, 150.1f}, {150.04f, 150.0f},
        {-3.47f, -3.47f}, {-1234.56f, -1234.56f}, {0.0f, 0.0f}, {1000.25f, 1000.3f},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VelimBio::round3(c.in), c.out) << c.in;
}

TEST(EngineSortPredicates, Descending)
{
    EXPECT_TRUE(VelimBio::compare_func1({5, {}}, {uchar(4), {}}));
    EXPECT_FALSE(VelimBio::compare_func1({4, {}}, {uchar(4), {}}));
    EXPECT_TRUE(VelimBio::compare_func2({1.5f, {}}, {1.25f, {}}));
    EXPECT_FALSE(VelimBio::compare_func2({1.25f, {}}, {1.5f, {}}));
}
