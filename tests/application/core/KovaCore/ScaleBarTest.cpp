#include "KovaCore/KovaCoreApp.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

struct Tick
{
    int x;
    int top;  // first row of the tick; it runs down into the bar
};

struct BarCase
{
    double magnification;
    float micronPerPixel;
    int width;
    std::vector<Tick> ticks;  // those inside the image
};

// The ticks every 10 µm start at row 8, the 50 µm one at row 5, the two ends
// at row 0; the last stepped tick of 1.431 (x 102) and 1.46 (x 104) lies
// outside the bar.
const BarCase kBars[] = {
    {1.431, 0.9783368f, 102,
     {{0, 0}, {10, 8}, {20, 8}, {30, 8}, {40, 8}, {51, 5}, {61, 8}, {71, 8}, {81, 8}, {91, 8}, {101, 0}}},
    {1.46, 0.9589041f, 104,
     {{0, 0}, {10, 8}, {20, 8}, {31, 8}, {41, 8}, {52, 5}, {62, 8}, {73, 8}, {83, 8}, {93, 8}, {103, 0}}},
};

// Each test gets its own application object: theApp is shared by the binary.
std::unique_ptr<KovaCoreApp> appWithScaleBar(double magnification)
{
    auto app = std::make_unique<KovaCoreApp>();
    app->m_fLensMagnification = magnification;
    app->m_SaveReview.m_bEnableScaleBar = true;
    app->m_ScaleBarMat.setTo(cv::Scalar::all(0));
    return app;
}

// The expected alpha of every pixel of the bar image.
std::vector<std::vector<bool>> expectedBar(const BarCase& bar)
{
    std::vector<std::vector<bool>> opaque(25, std::vector<bool>(bar.width, false));
    for (int y = 15; y < 25; ++y)
        opaque[y].assign(bar.width, true);
    for (const Tick& t : bar.ticks)
        for (int y = t.top; y < 15; ++y)
            opaque[y][t.x] = true;
    return opaque;
}

}  // namespace

TEST(ScaleBar, ImageAndTicksFollowTheMagnification)
{
    for (const BarCase& bar : kBars) {
        auto app = appWithScaleBar(bar.magnification);
        app->prepareScalebar(false);

        EXPECT_FLOAT_EQ(app->m_fMicronPerPixel, bar.micronPerPixel) << bar.magnification;
        EXPECT_EQ(app->m_fScaleBarLength, 100.0f);
        EXPECT_EQ(app->m_strScaleBarLabel, QString::fromUtf8("100 \xC2\xB5m"));
        EXPECT_EQ(app->m_ScaleBarColor, QColor(255, 255, 255));

        const QImage& image = app->m_ScaleBarImage;
        ASSERT_EQ(image.width(), bar.width) << bar.magnification;
        ASSERT_EQ(image.height(), 25);
        const auto opaque = expectedBar(bar);
        for (int y = 0; y < 25; ++y)
            for (int x = 0; x < bar.width; ++x)
                ASSERT_EQ(image.pixelColor(x, y), opaque[y][x] ? QColor(255, 255, 255, 255) : QColor(0, 0, 0, 0))
                    << "magnification " << bar.magnification << " at " << x << "," << y;
    }
}

TEST(ScaleBar, IsPaintedAboveTheBottomLeftCorner)
{
    const BarCase& bar = kBars[0];
    auto app = appWithScaleBar(bar.magnification);
    app->prepareScalebar(false);
    const cv::Mat canvas = app->getScaleBarImg();

    // The bar image sits at (10, 1899); its solid part fills rows 1914 to 1923.
    for (int y = 1914; y <= 1923; ++y) {
        EXPECT_EQ(canvas.at<cv::Vec3b>(y, 10), cv::Vec3b(255, 255, 255)) << y;
        EXPECT_EQ(canvas.at<cv::Vec3b>(y, 10 + bar.width - 1), cv::Vec3b(255, 255, 255)) << y;
        EXPECT_EQ(canvas.at<cv::Vec3b>(y, 9), cv::Vec3b(0, 0, 0)) << y;
        EXPECT_EQ(canvas.at<cv::Vec3b>(y, 10 + bar.width), cv::Vec3b(0, 0, 0)) << y;
    }
    EXPECT_EQ(canvas.at<cv::Vec3b>(1899, 10), cv::Vec3b(255, 255, 255));   // first tick from row 0
    EXPECT_EQ(canvas.at<cv::Vec3b>(1904, 10 + 51), cv::Vec3b(255, 255, 255));  // the 50 µm tick from row 5
    EXPECT_EQ(canvas.at<cv::Vec3b>(1903, 10 + 51), cv::Vec3b(0, 0, 0));
    EXPECT_EQ(cv::countNonZero(canvas.rowRange(1924, 1944).reshape(1)), 0);  // 20 rows left free below

    // Black on a white canvas.
    app->m_ScaleBarMat.setTo(cv::Scalar::all(255));
    app->prepareScalebar(true);
    EXPECT_EQ(app->m_ScaleBarColor, QColor(0, 0, 0));
    EXPECT_EQ(canvas.at<cv::Vec3b>(1920, 50), cv::Vec3b(0, 0, 0));
}

TEST(ScaleBar, DisabledLeavesEverythingUntouched)
{
    auto app = appWithScaleBar(1.431);
    app->prepareScalebar(true);  // a black bar first
    app->m_SaveReview.m_bEnableScaleBar = false;
    const cv::Mat before = app->m_ScaleBarMat.clone();
    const QImage image = app->m_ScaleBarImage;

    app->m_fLensMagnification = 1.46;
    app->prepareScalebar(false);

    EXPECT_EQ(cv::norm(app->m_ScaleBarMat, before, cv::NORM_INF), 0.0);
    EXPECT_EQ(app->m_ScaleBarImage, image);
    EXPECT_EQ(app->m_ScaleBarColor, QColor(0, 0, 0));
    EXPECT_EQ(app->m_strScaleBarLabel, QString::fromUtf8("100 \xC2\xB5m"));
    EXPECT_FLOAT_EQ(app->m_fMicronPerPixel, 0.9783368f);
}

// A zero or garbage pixel size, or a canvas of the wrong shape, must neither
// divide by zero nor write outside the canvas.
TEST(ScaleBar, RefusesBarsAndCanvasesItCannotDraw)
{
    auto app = appWithScaleBar(1.431);
    ASSERT_TRUE(app->createScaleBar(0.9783368f, 100.0f, 1, 2, 3));
    const QImage image = app->m_ScaleBarImage;
    for (float micronPerPixel : {0.0f, -1.0f, std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(), 1e-6f}) {
        EXPECT_FALSE(app->createScaleBar(micronPerPixel, 100.0f, 9, 9, 9)) << micronPerPixel;
        EXPECT_EQ(app->m_ScaleBarImage, image);
        EXPECT_EQ(app->m_ScaleBarColor, QColor(1, 2, 3));
    }

    cv::Mat small(100, 200, CV_8UC3, cv::Scalar::all(7));
    app->paintScaleBar(small);
    EXPECT_EQ(cv::countNonZero(small.reshape(1) != 7), 0);

    app->m_fLensMagnification = 0.0;
    const cv::Mat before = app->m_ScaleBarMat.clone();
    app->prepareScalebar(false);
    EXPECT_EQ(cv::norm(app->m_ScaleBarMat, before, cv::NORM_INF), 0.0);
}

TEST(ScaleBar, CanvasIsCopiedInAndSharedOut)
{
    KovaCoreApp app;
    cv::Mat frame(KovaCoreApp::kCanvasRows, KovaCoreApp::kCanvasCols, CV_8UC3, cv::Scalar(1, 2, 3));
    app.setScaleBarImg(frame);
    frame.setTo(cv::Scalar::all(0));
    EXPECT_EQ(app.m_ScaleBarMat.at<cv::Vec3b>(5, 5), cv::Vec3b(1, 2, 3));  // a deep copy

    cv::Mat shared = app.getScaleBarImg();
    shared.at<cv::Vec3b>(5, 5) = cv::Vec3b(9, 9, 9);
    EXPECT_EQ(app.m_ScaleBarMat.at<cv::Vec3b>(5, 5), cv::Vec3b(9, 9, 9));  // no copy out
}
