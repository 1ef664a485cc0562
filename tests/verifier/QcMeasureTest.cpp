#include "QC/QC_measure.h"

#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QSignalSpy>

#include <opencv2/imgproc.hpp>

#include <random>

using verifier::MeasureInfo_t;
using verifier::QC_measure;
using verifier::TargetingError_e;

namespace {

constexpr int kWidth = int(QC_measure::kImageWidth);
constexpr int kHeight = int(QC_measure::kImageHeight);

// A bright field with dark discs (radius 8) at the given centres, RGB.
cv::Mat target(const std::vector<cv::Point>& centres)
{
    cv::Mat rgb(kHeight, kWidth, CV_8UC3, cv::Scalar(200, 200, 200));
    for (const cv::Point& c : centres)
        cv::circle(rgb, c, 8, cv::Scalar(20, 20, 20), cv::FILLED);
    return rgb;
}

class QcMeasureTest : public ::testing::Test
{
protected:
    QcMeasureTest() { widget.resize(640, 480); }

    void show(const cv::Mat& rgb) { widget.setImageData(rgb.data); }

    // A touch in targeting mode at a frame point of the first view.
    void touch(QPoint point)
    {
        QMouseEvent press(QEvent::MouseButtonPress, point, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, point, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&widget, &press);
        QCoreApplication::sendEvent(&widget, &release);
    }

    void drag(QPoint from, QPoint to)
    {
        QMouseEvent press(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(&widget, &press);
        QCoreApplication::sendEvent(&widget, &move);
        QCoreApplication::sendEvent(&widget, &release);
    }

    // Pans until the frame point shows, touches it as the target and locates point `index` there.
    void locateAt(int index, QPoint point)
    {
        widget.setTargetingMode(false);
        const QPoint wanted(std::max(0, point.x() - 320), std::max(0, point.y() - 240));
        drag(QPoint(320, 240), QPoint(320, 240) - (wanted - widget.viewOffset()));
        widget.setTargetingMode(true);
        touch(point - widget.viewOffset());
        widget.setPoint(index);
    }

    QC_measure widget;
};

}  // namespace

// The constants from the distance of the two centres.
TEST_F(QcMeasureTest, MeasuresMagnificationAndVolumeFactor)
{
    const struct {
        int distance;
        float lengthMm, pixelSize, magnification, area, volume;
    } cases[] = {
        {1000, 1.0f, 1.0f, 1.4f, 5.038848f, 0.50388f},
        {1430, 1.4f, 0.979021f, 1.43f, 4.829646f, 0.48296f},
        {430, 0.4f, 0.930233f, 1.505f, 4.360277f, 0.43603f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.distance);
        const QPoint first(100, 900);
        const QPoint second(100 + c.distance, 900);
        show(target({{first.x(), first.y()}, {second.x(), second.y()}}));
        QSignalSpy points(&widget, &QC_measure::sig_measure_point);
        QSignalSpy results(&widget, &QC_measure::sig_measure_result);
        locateAt(0, first);
        locateAt(1, second);
        ASSERT_EQ(points.count(), 2);
        EXPECT_EQ(points[0], QVariantList({0, first.x(), first.y()}));
        EXPECT_EQ(points[1], QVariantList({1, second.x(), second.y()}));

        widget.measure2Point();
        ASSERT_EQ(results.count(), 1);
        const auto info = results[0][0].value<MeasureInfo_t>();
        EXPECT_FLOAT_EQ(info.length_pixel, float(c.distance));
        EXPECT_FLOAT_EQ(info.length_mm, c.lengthMm);
        EXPECT_NEAR(info.pixel_size, c.pixelSize, 1e-6);
        EXPECT_FLOAT_EQ(info.Magnification, c.magnification);
        EXPECT_NEAR(info.area_mm, c.area, 1e-5);
        EXPECT_FLOAT_EQ(info.Volume_factor, c.volume);
    }
}

// No object, two objects, unset or close points: an error and no result.
TEST_F(QcMeasureTest, RefusesWhatItCannotMeasure)
{
    QSignalSpy errors(&widget, &QC_measure::sig_measure_error);
    QSignalSpy results(&widget, &QC_measure::sig_measure_result);
    widget.setPoint(0);  // no frame yet
    show(target({{296, 200}, {316, 200}, {500, 200}}));
    widget.measure2Point();  // no point yet
    widget.setTargetingMode(true);
    touch(QPoint(100, 100));
    widget.setPoint(0);  // nothing dark there
    touch(QPoint(306, 200));
    widget.setPoint(0);  // two discs in one window
    locateAt(0, QPoint(500, 200));
    locateAt(1, QPoint(300, 400));  // nothing dark there
    EXPECT_EQ(results.count(), 0);
    show(target({{300, 100}, {340, 100}}));
    locateAt(0, QPoint(300, 100));
    locateAt(1, QPoint(340, 100));
    widget.measure2Point();  // 40 pixels apart: rounds to 0 mm
    const std::vector<TargetingError_e> expected = {
        verifier::TargetingError_CellNotDetected, verifier::TargetingError_PointsNotSet,
        verifier::TargetingError_CellNotDetected, verifier::TargetingError_TooManyCells,
        verifier::TargetingError_CellNotDetected, verifier::TargetingError_PointsTooClose};
    ASSERT_EQ(errors.count(), int(expected.size()));
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(errors[int(i)][0].value<TargetingError_e>(), expected[i]) << i;
    EXPECT_EQ(results.count(), 0);
}

// An object is what is dark in the green plane: 50 or less, whatever red and
// blue are.
TEST_F(QcMeasureTest, AnObjectIsGreenOfFiftyOrLess)
{
    const struct
    {
        cv::Scalar disc;  // red, green, blue
        bool located;
    } cases[] = {{{200, 50, 200}, true}, {{0, 51, 0}, false}, {{255, 0, 255}, true}};
    const QPoint centre(500, 200);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.disc);
        cv::Mat rgb(kHeight, kWidth, CV_8UC3, cv::Scalar(200, 200, 200));
        cv::circle(rgb, {centre.x(), centre.y()}, 8, c.disc, cv::FILLED);
        show(rgb);
        QSignalSpy points(&widget, &QC_measure::sig_measure_point);
        QSignalSpy errors(&widget, &QC_measure::sig_measure_error);
        locateAt(0, centre);
        if (c.located) {
            ASSERT_EQ(points.count(), 1);
            EXPECT_EQ(points[0], QVariantList({0, centre.x(), centre.y()}));
        } else {
            EXPECT_EQ(points.count(), 0);
            ASSERT_EQ(errors.count(), 1);
            EXPECT_EQ(errors[0][0].value<TargetingError_e>(), verifier::TargetingError_CellNotDetected);
        }
    }
}

TEST(QcMeasure, SearchWindowAtTheEdges)
{
    const struct {
        QPoint target;
        cv::Rect window;
    } cases[] = {
        {{5, 5}, {0, 0, 25, 25}},
        {{kWidth - 10, 900}, {kWidth - 30, 880, 30, 40}},
        {{1000, 900}, {980, 880, 40, 40}},
        {{20, kHeight - 19}, {0, kHeight - 39, 40, 39}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QC_measure::searchWindow(c.target, kWidth, kHeight), c.window) << c.target.x() << "," << c.target.y();
}

// Filtering the window and 3 pixels around it gives the pixels of filtering
// the whole plane, in the middle and at every edge.
TEST(QcMeasure, WindowFilteringEqualsWholePlaneFiltering)
{
    std::mt19937 random(7);
    cv::Mat green(kHeight, kWidth, CV_8UC1);
    cv::randu(green, 0, 256);
    std::uniform_int_distribution<int> level(0, 255);
    for (int i = 0; i < 3000; ++i)
        cv::circle(green, {int(random() % kWidth), int(random() % kHeight)}, 4, level(random), cv::FILLED);
    cv::Mat rgb;
    cv::merge(std::vector<cv::Mat>{green / 2, green, green / 3}, rgb);
    cv::Mat whole;
    cv::threshold(green, whole, 50, 255, cv::THRESH_BINARY_INV);
    cv::medianBlur(whole, whole, 3);
    cv::Mat smooth;
    cv::bilateralFilter(whole, smooth, 5, 95, 95);
    for (const QPoint target : {QPoint(5, 5), QPoint(1000, 900), QPoint(kWidth - 1, kHeight - 1), QPoint(21, 1500),
                                QPoint(kWidth - 22, 3)}) {
        const cv::Rect window = QC_measure::searchWindow(target, kWidth, kHeight);
        const cv::Mat mask = QC_measure::objectMask(rgb, window);
        EXPECT_EQ(cv::norm(mask, smooth(window), cv::NORM_INF), 0.0) << target.x() << "," << target.y();
    }
}

// Panning stops at the frame's far corner; the navigator's marker is 20 × 15.
TEST_F(QcMeasureTest, PanningAndNavigator)
{
    show(target({}));
    EXPECT_EQ(widget.navigation().navigationRect(), QRect(0, 0, 80, 60));
    EXPECT_EQ(widget.navigation().positionRect(), QRect(0, 0, 20, 15));
    for (int i = 0; i < 10; ++i)
        drag(QPoint(630, 470), QPoint(10, 10));
    EXPECT_EQ(widget.viewOffset(), QPoint(1952, 1464));
    EXPECT_EQ(widget.navigation().positionRect(), QRect(60, 45, 20, 15));
    drag(QPoint(10, 10), QPoint(630, 470));
    drag(QPoint(10, 10), QPoint(630, 470));
    drag(QPoint(10, 10), QPoint(630, 470));
    drag(QPoint(10, 10), QPoint(630, 470));
    EXPECT_EQ(widget.viewOffset(), QPoint(0, 0));
}
