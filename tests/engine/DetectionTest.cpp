#include "EngineProbe.h"

#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

namespace {

// Bright-field fixture: bright background, live cells with a dark rim and a
// bright core, dead cells uniformly dark.
struct Cell
{
    cv::Point centre;
    int radius;
    bool live;
};

cv::Mat slide(int rows, int cols, const std::vector<Cell>& cells)
{
    cv::Mat frame(rows, cols, CV_8UC3, cv::Scalar(175, 185, 190));
    for (const Cell& cell : cells) {
        if (cell.live) {
            cv::circle(frame, cell.centre, cell.radius, cv::Scalar(55, 60, 70), cv::FILLED);
            cv::circle(frame, cell.centre, cell.radius - 3, cv::Scalar(215, 225, 230), cv::FILLED);
        } else {
            cv::circle(frame, cell.centre, cell.radius, cv::Scalar(20, 25, 60), cv::FILLED);
        }
    }
    return frame;
}

EngineProbe& counted(EngineProbe& engine, const cv::Mat& frame, std::vector<cv::Vec3f> circles)
{
    engine.setCircleDetector(oracle(std::move(circles)));
    feed(engine, frame);
    engine.set_countMode(1, 0.0, 0.0);
    engine.set_BF_Protocol(8, 48, 1, 180, 5, 6, 0, 1);
    engine.findObjects_BF();
    return engine;
}

}  // namespace

TEST(EngineBox, ClippedAtTheBorders)
{
    const struct { cv::Vec6f record; cv::Vec4i box; cv::Point2f centre; } cases[] = {
        {{50.5f, 40.25f, 5, 0, -1, 5}, {43, 58, 33, 48}, {7.5f, 7.25f}},
        {{3, 4, 5, 0, -1, 5}, {0, 10, 0, 11}, {3, 4}},                    // top left: clipped at 0
        {{95.5f, 78.25f, 5, 0, -1, 5}, {88, 100, 71, 80}, {7.5f, 7.25f}},  // bottom right: clipped at the size
        {{0, 79, 3, 0, -1, 9}, {0, 5, 74, 80}, {0, 5}},                   // axis a is the radius used
    };
    EngineProbe engine = smallEngine(80, 100);
    for (const auto& c : cases) {
        cv::Vec4i box;
        cv::Point2f centre;
        engine.box_from_circle(c.record, 100, 80, box, centre, 2);
        EXPECT_EQ(box, c.box) << c.record;
        EXPECT_EQ(centre, c.centre) << c.record;
    }
}

// Binary edge maps drawn by hand. The arc (radius 30, ±30°) fits an ellipse
// far wider than its points (about 67 × 80, centre above the map) inside an
// enclosing circle of radius 15 centred at (20, 12).
TEST(EngineEllipseFit, Table)
{
    enum Shape { Nothing, Square, Dot, Ring, LongEllipse, Arc, Sliver };
    const cv::Point2f c(20.5f, 20.5f);
    const struct
    {
        const char* name;
        Shape shape;
        float radius;
        int fitted;
        cv::Point2f centre;
        float width, height, tolerance;
    } cases[] = {
        {"no contour", Nothing, 8, 0, {}, 0, 0, 0},
        {"4-point contour", Square, 3, 0, {}, 0, 0, 0},
        {"edge too short for the radius", Dot, 8, 0, {}, 0, 0, 0},
        {"points with no finite ellipse through them", Sliver, 4.4f, 0, {}, 0, 0, 0},
        {"ring", Ring, 8, 1, {20, 20}, 15.06f, 15.06f, 0.01f},
        {"enclosing circle above r + 2 replaced, ellipse cut", LongEllipse, 8, 1, c, 8.41f, 16, 0.01f},
        {"wide ellipse cut and re-centred on the enclosing circle", Arc, 15, 1, {20, 12}, 30, 30, 0.01f},
        {"enclosing circle above r + 2 replaced by the detected circle", Arc, 12, 1, c, 24, 24, 0},
        {"enclosing circle below r / 2 replaced; centre outside the map", Arc, 40, 1, c, 67.18f, 80.35f, 0.01f},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        cv::Mat binary = cv::Mat::zeros(41, 41, CV_8UC1);
        switch (t.shape) {
        case Nothing: break;
        case Square: cv::rectangle(binary, cv::Rect(16, 16, 8, 8), 255, cv::FILLED); break;
        case Dot: cv::rectangle(binary, cv::Rect(20, 20, 3, 2), 255, cv::FILLED); break;
        case Ring: cv::circle(binary, {20, 20}, 8, 255, 1); break;
        case LongEllipse: cv::ellipse(binary, {20, 20}, {4, 14}, 0, 0, 360, 255, 1); break;
        case Arc: cv::ellipse(binary, {20, 38}, {30, 30}, 0, 240, 300, 255, 1); break;
        case Sliver:  // seen on a generated slide: the least-squares ellipse has a NaN axis
            binary.at<uchar>(9, 11) = 255;
            cv::line(binary, {7, 11}, {9, 11}, 255);
            binary.at<uchar>(12, 6) = 255;
            break;
        }
        const cv::RotatedRect untouched({-1, -1}, {-1, -1}, -1);
        cv::RotatedRect e = untouched;
        cv::Point2f centre = c;
        EngineProbe engine = smallEngine(41, 41);
        ASSERT_EQ(engine.verifyANDfit_ellipse(binary, centre, t.radius, e, 2), t.fitted);
        if (!t.fitted) {
            EXPECT_EQ(e.center, untouched.center);
            EXPECT_EQ(e.size, untouched.size);
            continue;
        }
        EXPECT_NEAR(e.center.x, t.centre.x, t.tolerance);
        EXPECT_NEAR(e.center.y, t.centre.y, t.tolerance);
        EXPECT_NEAR(e.size.width, t.width, t.tolerance);
        EXPECT_NEAR(e.size.height, t.height, t.tolerance);
    }
}

// The ellipse fit's checks on their bounds, on the drawn arc above (enclosing
// circle of radius 15 at (20, 12); least-squares ellipse 67.1833 × 80.3500): the
// enclosing circle is kept for r/2 <= 15 <= r + 2 and replaced by (c, r)
// otherwise; an axis longer than 2 rr + 1 is cut to 2 rr; the edge must be at
// least 1.5 r long and hold more than 4 points.
TEST(EngineEllipseFit, ChecksOnTheirBounds)
{
    enum Shape { Arc, Square, SquareAndDot };
    const cv::Point2f c(20.5f, 20.5f);
    const struct
    {
        const char* name;
        Shape shape;
        float radius;
        int fitted;
        cv::Point2f centre;
        float width, height;
    } cases[] = {
        {"15 just above r / 2: kept, both axes cut to 30", Arc, 29.9f, 1, {20, 12}, 30, 30},
        {"15 just below r / 2: replaced, both axes cut to 2r", Arc, 30.1f, 1, c, 60.2f, 60.2f},
        {"15 just below r + 2: kept", Arc, 13.05f, 1, {20, 12}, 30, 30},
        {"15 just above r + 2: replaced", Arc, 12.95f, 1, c, 25.9f, 25.9f},
        {"width just above 2r + 1: cut", Arc, 33.0866f, 1, c, 66.1732f, 66.1732f},
        {"width just below 2r + 1: kept", Arc, 33.0966f, 1, c, 67.1833f, 66.1932f},
        {"height just above 2r + 1: cut", Arc, 39.67f, 1, c, 67.1833f, 79.34f},
        {"height just below 2r + 1: kept", Arc, 39.68f, 1, c, 67.1833f, 80.3500f},
        {"four points", Square, 3, 0, {}, 0, 0},
        {"five points", SquareAndDot, 3, 1, {}, 0, 0},
        {"edge of 24 = 1.5 r", SquareAndDot, 16, 1, {}, 0, 0},
        {"edge of 24 < 1.5 r", SquareAndDot, 16.01f, 0, {}, 0, 0},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        cv::Mat binary = cv::Mat::zeros(41, 41, CV_8UC1);
        if (t.shape == Arc)
            cv::ellipse(binary, {20, 38}, {30, 30}, 0, 240, 300, 255, 1);
        else
            cv::rectangle(binary, cv::Rect(10, 10, 7, 7), 255, cv::FILLED);  // 4 corners, perimeter 24
        if (t.shape == SquareAndDot)
            binary.at<uchar>(35, 35) = 255;
        cv::RotatedRect e;
        cv::Point2f centre = c;
        EngineProbe engine = smallEngine(41, 41);
        ASSERT_EQ(engine.verifyANDfit_ellipse(binary, centre, t.radius, e, 2), t.fitted);
        if (t.shape != Arc)
            continue;
        EXPECT_NEAR(e.center.x, t.centre.x, 0.001);
        EXPECT_NEAR(e.center.y, t.centre.y, 0.001);
        EXPECT_NEAR(e.size.width, t.width, 0.001);
        EXPECT_NEAR(e.size.height, t.height, 0.001);
    }
}

// The edge map keeps an edge pixel inside the disc of radius round(r) + 2
// (halves away from zero) round the centre when its gradient's dot product
// with the way to the centre is below 32.
TEST(EngineEdgeMap, KeepRuleAndDiscOnTheirBounds)
{
    const struct
    {
        const char* name;
        cv::Point pixel;
        bool edge;
        short gx, gy;
        double radius;
        bool kept;
    } cases[] = {
        {"dot product 31", {10, 11}, true, 0, -31, 4.5, true},
        {"dot product 32", {10, 11}, true, 0, -32, 4.5, false},
        {"dot product -500", {10, 11}, true, 0, 500, 4.5, true},
        {"on the disc: round(4.5) + 2 = 7", {17, 10}, true, 0, 0, 4.5, true},
        {"just off the disc", {18, 10}, true, 0, 0, 4.5, false},
        {"off the disc: round(4.4) + 2 = 6", {17, 10}, true, 0, 0, 4.4, false},
        {"not an edge", {10, 11}, false, 0, 0, 4.5, false},
    };
    for (const auto& t : cases) {
        SCOPED_TRACE(t.name);
        EngineProbe engine = smallEngine(21, 21);
        feed(engine, cv::Mat(21, 21, CV_8UC3, cv::Scalar::all(100)));
        engine.set_BF_Protocol(8, 48, 1, 180, 5, 1, 0, 1);
        engine.prepareBinaryImagesBF();
        engine.m_edgeImage.setTo(0);
        engine.m_sobelX.setTo(0);
        engine.m_sobelY.setTo(0);
        engine.m_edgeImage.at<uchar>(t.pixel) = t.edge ? 255 : 0;
        engine.m_sobelX.at<short>(t.pixel) = t.gx;
        engine.m_sobelY.at<short>(t.pixel) = t.gy;
        cv::Mat out;
        engine.get_roi_sobel({0, 21, 0, 21}, {10, 10}, t.radius, -32, out, 2);
        EXPECT_EQ(cv::countNonZero(out), t.kept ? 1 : 0);
        EXPECT_EQ(out.at<uchar>(t.pixel), t.kept ? 255 : 0);
    }
}

// The three regions on a radial ramp (200 - 4 × distance from the centre):
// the means of discs of radius 20 × 0.316, 20 × 0.25 and 20 × 0.75 are close
// to 200 - 8/3 × radius: 183.1, 186.7 and 160. The centre brightness is the
// first rounded half up: a circle of radius 3 has too small an inner region,
// so it is the mean of the 2 × 2 block at the centre, 100.5, and becomes 101.
TEST(EngineRefinement, RegionsAndCentreRounding)
{
    const auto refine = [](const std::function<uchar(int, int)>& grey, cv::Vec3f circle) {
        EngineProbe engine = smallEngine(100, 100);
        cv::Mat frame(100, 100, CV_8UC3);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                frame.at<cv::Vec3b>(y, x) = cv::Vec3b::all(grey(x, y));
        feed(engine, frame);
        engine.set_BF_Protocol(8, 48, 1, 180, 5, 1, 0, 1);
        engine.prepareBinaryImagesBF();
        engine.m_edgeImage.setTo(0);  // no fit: the ellipse is the circle's centre with r as both axes
        cv::Vec6f record;
        engine.find_newCellSize(circle, record, 2, -32);
        return record;
    };
    const cv::Vec6f ramp = refine(
        [](int x, int y) { return cv::saturate_cast<uchar>(200 - 4 * std::hypot(x - 50.0, y - 50.0)); },
        {50, 50, 40});
    EXPECT_EQ(ramp[3], 183.0f);
    EXPECT_NEAR(ramp[4], 0.852967, 1e-6);  // about 160 / 186.7
    const cv::Vec6f half = refine([](int x, int y) { return uchar(x == 51 && (y == 50 || y == 51) ? 101 : 100); },
                                  {50.3f, 50.6f, 3});
    EXPECT_EQ(half[3], 101.0f);
}

TEST(EngineViabilityRatio, Table)
{
    const struct { float m0, m1, m2, ratio; } cases[] = {
        {34.9f, 50, 60, 100.0f},  // dark centre
        {0, 0, 0, 100.0f},
        {35.0f, 50, 60, 1.2f},
        {40, 0.5f, 1.5f, 2.0f},   // floors: m1 1, m2 2
        {40, 0.5f, 3.0f, 3.0f},
        {40, 4.0f, 1.0f, 0.5f},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VelimBio::viabilityRatio(c.m0, c.m1, c.m2), c.ratio) << c.m0 << " " << c.m1 << " " << c.m2;
}

TEST(EngineBrightness, MaskMeanAndTwoByTwoFallback)
{
    EngineProbe engine = smallEngine(40, 40);
    feed(engine, cv::Mat(40, 40, CV_8UC3, cv::Scalar::all(0)));
    cv::Mat region(20, 20, CV_8UC1, cv::Scalar(7));
    cv::circle(region, {10, 10}, 6, 100, cv::FILLED);
    region.at<uchar>(4, 3) = 10;
    region.at<uchar>(4, 4) = 20;
    region.at<uchar>(5, 3) = 30;
    region.at<uchar>(5, 4) = 41;

    const struct
    {
        cv::RotatedRect ellipse;
        cv::Point2f centre;
        double scale;
        float mean;
    } cases[] = {
        {{{10, 10}, {16, 16}, 0}, {3.7f, 4.2f}, 0.5, 100.0f},     // mask inside the disc
        {{{10, 10}, {2, 2}, 0}, {3.7f, 4.2f}, 0.25, 25.25f},      // mask of at most 3 pixels: 2×2 block
        {{{10, 10}, {0, 16}, 0}, {3.7f, 4.2f}, 0.75, 25.25f},     // no width: 2×2 block
        {{{10, 10}, {2, 2}, 0}, {-0.5f, 4.2f}, 0.25, 0.0f},       // block left of the region
        {{{10, 10}, {2, 2}, 0}, {19.2f, 4.2f}, 0.25, 0.0f},       // block past the region's edge
        {{{10, 10}, {1, 1}, 0}, {3.7f, 4.2f}, 1.0, 25.25f},       // mask of 3 pixels: 2×2 block
        {{{10, 10}, {1, 1.5f}, 0}, {3.7f, 4.2f}, 1.0, 100.0f},    // mask of 4 pixels: its mean
    };
    for (const auto& c : cases)
        EXPECT_EQ(engine.findMeanBrightness(region, c.ellipse, c.centre, 20, 20, c.scale), c.mean)
            << c.ellipse.size << " " << c.centre << " " << c.scale;
}

// Refinement on an edge map made by hand: a filled square inside the disc
// gives one contour of 4 points, so no ellipse: the record keeps the circle's
// centre and takes the radius (not the diameter) as both axes.
TEST(EngineRefinement, FourPointContourKeepsTheCircle)
{
    EngineProbe engine = smallEngine(40, 40);
    feed(engine, cv::Mat(40, 40, CV_8UC3, cv::Scalar::all(120)));
    engine.set_BF_Protocol(8, 48, 1, 180, 5, 1, 0, 1);
    engine.prepareBinaryImagesBF();
    engine.m_edgeImage.setTo(0);
    cv::rectangle(engine.m_edgeImage, cv::Rect(17, 17, 6, 6), 255, cv::FILLED);

    cv::Vec6f record;
    const float ratio = engine.find_newCellSize({20.3f, 19.6f, 6.0f}, record, 2, -32);
    EXPECT_EQ(record, cv::Vec6f(20.3f, 19.6f, 6.0f, 120.0f, 120.0f / 120.0f, 6.0f));
    EXPECT_EQ(ratio, 1.0f);
}

TEST(EngineDetection, OracleCirclesAreRefinedInOrder)
{
    const std::vector<Cell> cells = {{{40, 40}, 9, true}, {{100, 35}, 8, false}, {{2, 60}, 8, true},
                                     {{130, 45}, 11, true}};
    const cv::Mat frame = slide(80, 160, cells);
    EngineProbe engine = smallEngine(80, 160);
    std::vector<cv::Vec3f> circles;
    for (const Cell& cell : cells)
        circles.push_back(cv::Vec3f(cell.centre.x + 0.8f, cell.centre.y - 0.6f, float(cell.radius) - 1.0f));
    circles.insert(circles.begin() + 1, cv::Vec3f(60, 60, 0.0f));  // no radius: dropped
    circles.push_back(cv::Vec3f(60, 60, -2.0f));

    const auto& records = counted(engine, frame, circles).findObjects_BF();
    ASSERT_EQ(records.size(), cells.size());
    for (size_t i = 0; i < cells.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "cell " << i);
        const cv::Vec6f& r = records[i];
        const Cell& cell = cells[i];
        EXPECT_NEAR(r[0], cell.centre.x, 0.6);
        EXPECT_NEAR(r[1], cell.centre.y, 0.6);
        if (cell.centre.x > 10) {  // the cell cut by the border fits whatever it can
            EXPECT_NEAR(r[2], 2 * cell.radius, 1.5);
            EXPECT_NEAR(r[5], 2 * cell.radius, 1.5);
        }
        if (cell.live) {
            EXPECT_EQ(r[3], 225.0f);  // bright core
            EXPECT_LT(r[4], 1.0f);
        } else {
            EXPECT_EQ(r[3], 25.0f);   // dark centre
            EXPECT_EQ(r[4], 100.0f);
        }
    }
}

TEST(EngineDetection, NoCirclesNoRecords)
{
    EngineProbe engine = smallEngine(80, 160);
    counted(engine, slide(80, 160, {{{40, 40}, 9, true}}), {});
    EXPECT_TRUE(engine.m_detectedCells.empty());
    for (int which : {0, 1, 2})
        EXPECT_EQ(histogram(engine, which), std::vector<int>(which == 2 ? 9 : 181, 0)) << which;
}

// An empty grey image is a frame without objects, not an error.
TEST(EngineDetection, EmptyGreyImageGivesNoRecords)
{
    EngineProbe released = smallEngine(40, 40);
    released.cleareAllArrays();
    EngineProbe emptied = smallEngine(40, 40);
    cv::Mat empty;
    emptied.setImageData(empty, 1, false);
    for (EngineProbe* engine : {&released, &emptied}) {
        engine->set_BF_Protocol(8, 48, 1, 180, 5, 1, 0, 1);
        engine->setCircleDetector(oracle({cv::Vec3f(20, 20, 6)}));
        EXPECT_TRUE(engine->findObjects_BF().empty());
        int live = -1, dead = -1;
        engine->histogramsAndGating_BF(1, 181, live, dead);
        engine->draw_cellsBF(false);
        EXPECT_EQ(live + dead, 0);
    }
}
