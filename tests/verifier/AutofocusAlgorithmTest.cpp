#include "Algorithm/VerifierAutofocus.h"

#include "Controller/VerifierController.h"
#include "McuSimulator.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <string>

using verifier::alg_Autofocus;
using verifier::AutoFocusingData_s;
using verifier::AutoFocusingResult_e;

namespace {

// The autofocus without camera or run, its state open to the test.
class AutofocusProbe : public alg_Autofocus
{
public:
    explicit AutofocusProbe(bool save = false)
        : alg_Autofocus(nullptr, nullptr, 20000, 640, 480, save)
    {
        connect(this, &alg_Autofocus::sig_review_AutoFocusing, this,
                [this](int step, std::vector<AutoFocusingData_s> data, int best) {
                    reviews.push_back({step, int(data.size()), best});
                });
        connect(this, &alg_Autofocus::sig_debug_Message, this, [this](QStringList line) { debug << line; });
        connect(this, &alg_Autofocus::sig_progress_AutoFocusing, this, [this](int step) { progress.push_back(step); });
    }

    using alg_Autofocus::dispatch_proc;
    using alg_Autofocus::find_AutoFocusing_Position;
    using alg_Autofocus::m_AutoFocusingData;
    using alg_Autofocus::m_AutoFocusingRef;
    using alg_Autofocus::m_BestFocusValue;
    using alg_Autofocus::m_BestIndex;
    using alg_Autofocus::m_CurrentPosition;
    using alg_Autofocus::m_FocusValues;
    using alg_Autofocus::m_State;

    // Samples of these values, `interval` apart from `first` on.
    void load(const std::vector<double>& values, int first = 10000, int interval = 230)
    {
        m_AutoFocusingData.clear();
        for (double value : values)
            m_AutoFocusingData.push_back({value, first + interval * int(m_AutoFocusingData.size())});
    }

    struct Review
    {
        int step, samples, best;
        bool operator==(const Review& o) const { return step == o.step && samples == o.samples && best == o.best; }
    };
    std::vector<Review> reviews;
    QStringList debug;
    std::vector<int> progress;
};

// A 640 × 480 RGB frame of one grey level.
cv::Mat greyFrame(int level, cv::Size size = {640, 480})
{
    return cv::Mat(size, CV_8UC3, cv::Scalar::all(level));
}

// A white 640 × 480 frame whose first `count` pixels are dark (grey 20).
cv::Mat framewithDarkPixels(int count)
{
    cv::Mat frame = greyFrame(255);
    for (int i = 0; i < count; ++i)
        frame.at<cv::Vec3b>(i / frame.cols, i % frame.cols) = cv::Vec3b(20, 20, 20);
    return frame;
}

}  // namespace

// The sweep's choice: the first of the highest values; 0 when none is above 0.
TEST(VerifierAutofocus, ChoosesTheFirstHighestSample)
{
    const struct {
        std::vector<double> values;
        size_t best;
    } cases[] = {
        {{1, 5, 3, 5, 2}, 1},
        {{0, 0, 0}, 0},
        {{-1, -2}, 0},
        {{2, 1, 9}, 2},
        {{5, 4, 3, 2, 1}, 0},
    };
    AutofocusProbe probe;
    for (const auto& c : cases) {
        probe.load(c.values);
        size_t best = 99;
        EXPECT_EQ(probe.find_best_focus(probe.m_AutoFocusingData, best), verifier::AutoFocusingResult_Found);
        EXPECT_EQ(best, c.best);
    }
    size_t untouched = 7;
    EXPECT_EQ(probe.find_best_focus({}, untouched, true), verifier::AutoFocusingResult_NoSample);
    EXPECT_EQ(untouched, 7u);
    EXPECT_TRUE(probe.debug.isEmpty());
}

// In third-step mode: a peak at one end with the lowest value at the other
// needs a third step, 690 beyond that end; a peak inside chooses the sample
// below it; a peak at the start stays.
TEST(VerifierAutofocus, ThirdStepDecision)
{
    const struct Case {
        const char* title;
        std::vector<double> values;
        AutoFocusingResult_e result;
        size_t best;
        int reference;  // samples at 10000, 10230, ...
    } cases[] = {
        {"falling: peak first, lowest last", {5, 4, 3, 2, 1}, verifier::AutoFocusingResult_ThirdStepNecessary, 0,
         10000 - 690},
        {"rising: peak last, lowest first", {1, 2, 3, 4, 5}, verifier::AutoFocusingResult_ThirdStepNecessary, 4,
         10920 + 690},
        {"two samples rising", {4, 9}, verifier::AutoFocusingResult_ThirdStepNecessary, 1, 10230 + 690},
        {"peak first, lowest inside", {5, 1, 3, 2, 4}, verifier::AutoFocusingResult_Found, 0, 10000},
        {"peak inside: the sample below it", {1, 3, 5, 2, 4}, verifier::AutoFocusingResult_Found, 1, 10230},
        {"equal peaks inside: below the first", {3, 5, 5, 1}, verifier::AutoFocusingResult_Found, 0, 10000},
        {"flat: nothing above the middle", {2, 2, 2}, verifier::AutoFocusingResult_Found, 0, 10000},
        {"all zero", {0, 0, 0}, verifier::AutoFocusingResult_Found, 0, 10000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        AutofocusProbe probe;
        probe.load(c.values);
        size_t best = 99;
        EXPECT_EQ(probe.find_best_focus(probe.m_AutoFocusingData, best, true), c.result);
        EXPECT_EQ(best, c.best);
        const bool third = c.result == verifier::AutoFocusingResult_ThirdStepNecessary;
        EXPECT_EQ(probe.debug,
                  third ? QStringList({"AutoFocusingResult_e alg_Autofocus::find_best_focus(std::vector<"
                                       "AutoFocusingData_s>&, size_t&, bool)",
                                       "!!! AutoFocusingResult_ThirdStepNecessary !!!"})
                        : QStringList());

        // The position follows the choice, and the review names it.
        probe.m_State = 4;
        EXPECT_EQ(probe.find_AutoFocusing_Position(true), c.result);
        EXPECT_EQ(probe.m_AutoFocusingRef, c.reference);
        EXPECT_EQ(probe.reviews, std::vector<AutofocusProbe::Review>({{2, int(c.values.size()), int(c.best)}}));
    }
}

// No sample: no position, no review.
TEST(VerifierAutofocus, NoSampleChangesNothing)
{
    AutofocusProbe probe;
    EXPECT_EQ(probe.find_AutoFocusing_Position(true), verifier::AutoFocusingResult_NoSample);
    EXPECT_EQ(probe.m_AutoFocusingRef, 0);
    EXPECT_TRUE(probe.reviews.empty());
}

// Stripes of 0 and 255 over a full-resolution plane: a sum far past 32 bits,
// counted whole.
TEST(VerifierAutofocus, BrennerOfAHighContrastFullFrame)
{
    cv::Mat plane(1944, 2592, CV_8UC1);
    for (int c = 0; c < plane.cols; ++c)
        plane.col(c).setTo((c / 2) % 2 ? 255 : 0);
    std::uint64_t reference = 0;
    for (int r = 0; r < plane.rows; ++r) {
        for (int c = 0; c + 2 < plane.cols; ++c) {
            const std::int64_t d = plane.at<uchar>(r, c + 2) - plane.at<uchar>(r, c);
            reference += std::uint64_t(d * d);
        }
    }
    ASSERT_GT(reference, std::uint64_t(UINT32_MAX));
    EXPECT_DOUBLE_EQ(alg_Autofocus::brennerGradient(plane), double(reference) / 1000000.0);
    EXPECT_EQ(alg_Autofocus::brennerGradient(cv::Mat(10, 2, CV_8UC1, cv::Scalar(9))), 0.0);
}

// The dark pixels are those of grey 5 to 35 in the centre window: a 640 × 480
// frame is its own window; grey is green (channel 1) or the frame read as BGR
// (channel 3).
TEST(VerifierAutofocus, DarkPixelCount)
{
    using verifier::FOCUS_WINDOW_320x240;
    using verifier::FOCUS_WINDOW_640x480;
    const struct {
        int level;
        int count;
    } levels[] = {{4, 0}, {5, 640 * 480}, {20, 640 * 480}, {35, 640 * 480}, {36, 0}};
    for (const auto& l : levels) {
        SCOPED_TRACE(l.level);
        EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(greyFrame(l.level), 1, FOCUS_WINDOW_640x480), l.count);
        EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(greyFrame(l.level), 3, FOCUS_WINDOW_640x480), l.count);
        EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(greyFrame(l.level), 1, FOCUS_WINDOW_320x240),
                  l.count / 4);
    }

    // A 1280 × 960 frame dark in its centre 640 × 480, one dark pixel just outside.
    cv::Mat large = greyFrame(255, {1280, 960});
    large(cv::Rect(320, 240, 640, 480)).setTo(cv::Scalar::all(20));
    large.at<cv::Vec3b>(239, 640) = cv::Vec3b(20, 20, 20);
    EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(large, 1, FOCUS_WINDOW_640x480), 640 * 480);
    EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(large, 3, FOCUS_WINDOW_320x240), 320 * 240);

    // Bytes 150, 20, 0 read as BGR: grey 29; the reverse, 0, 20, 150: grey 57;
    // green 20 in both.
    const cv::Mat tinted(480, 640, CV_8UC3, cv::Scalar(150, 20, 0));
    EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(tinted, 3, FOCUS_WINDOW_640x480), 640 * 480);
    const cv::Mat swapped(480, 640, CV_8UC3, cv::Scalar(0, 20, 150));
    EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(swapped, 3, FOCUS_WINDOW_640x480), 0);
    EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(swapped, 1, FOCUS_WINDOW_640x480), 640 * 480);

    // A frame smaller than the window is counted whole; no other channel counts.
    EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(greyFrame(20, {320, 240}), 1, FOCUS_WINDOW_640x480),
              320 * 240);
    EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(greyFrame(20), 2, FOCUS_WINDOW_640x480), 0);
    EXPECT_EQ(alg_Autofocus::find_fv_velimbio_dark_edge(cv::Mat(), 1, FOCUS_WINDOW_640x480), 0);
}

// find_focus_value measures packed RGB bytes and keeps each value; any other
// criteria measures nothing.
TEST(VerifierAutofocus, FocusValueOfPackedBytes)
{
    AutofocusProbe probe;
    cv::Mat frame = framewithDarkPixels(1000);
    double value = -1;
    EXPECT_GE(probe.find_focus_value(frame.data, 640, 480, value, verifier::FOCUS_VALUE_DARK_EDGE, 3,
                                     verifier::FOCUS_WINDOW_640x480),
              0.0);
    EXPECT_EQ(value, 1000.0);
    value = -1;
    probe.find_focus_value(frame.data, 640, 480, value, verifier::FOCUS_VALUE_CRITERIA(1), 3,
                           verifier::FOCUS_WINDOW_640x480);
    EXPECT_EQ(value, -1.0);
    EXPECT_EQ(probe.m_FocusValues, std::vector<double>({1000.0}));
}

// The variance of the Laplacian of the first channel: one dot of 10 on 8 × 8
// gives -40 and four 10s among 64 values, 2000 / 64.
TEST(VerifierAutofocus, VarianceOfLaplacian)
{
    cv::Mat dot(8, 8, CV_8UC3, cv::Scalar::all(0));
    dot.at<cv::Vec3b>(4, 4) = cv::Vec3b(10, 0, 0);
    EXPECT_DOUBLE_EQ(alg_Autofocus::varianceOfLaplacian(dot), 31.25);
    EXPECT_DOUBLE_EQ(alg_Autofocus::get_focusValue(dot), 31.25);
    dot.at<cv::Vec3b>(4, 4) = cv::Vec3b(0, 10, 0);
    EXPECT_EQ(alg_Autofocus::varianceOfLaplacian(dot), 0.0);
    EXPECT_EQ(alg_Autofocus::varianceOfLaplacian(greyFrame(77)), 0.0);

    AutofocusProbe probe;
    probe.m_CurrentPosition = 12345;
    dot.at<cv::Vec3b>(4, 4) = cv::Vec3b(10, 0, 0);
    probe.analyze_grabbed_image(dot);
    ASSERT_EQ(probe.m_AutoFocusingData.size(), 1u);
    EXPECT_DOUBLE_EQ(probe.m_AutoFocusingData[0].focus_value, 31.25);
    EXPECT_EQ(probe.m_AutoFocusingData[0].position, 12345);
    EXPECT_EQ(probe.progress, std::vector<int>{1});
}

// The running best by dark pixels: a fall of more than 50 below it after the
// sixth sample ends the search at the best sample.
TEST(VerifierAutofocus, RunningBestOfDarkPixels)
{
    AutofocusProbe probe;
    probe.m_AutoFocusingRef = 1;
    const int counts[] = {100, 300, 100, 290, 280, 270, 260, 249};
    for (int i = 0; i < 8; ++i) {
        probe.m_CurrentPosition = 5000 + 640 * i;
        probe.analyze_grabbed_image_prev(framewithDarkPixels(counts[i]));
        // Sample 3 falls far, but too early to end.
        if (i < 7) {
            EXPECT_EQ(probe.m_AutoFocusingRef, 1) << i;
        }
    }
    EXPECT_EQ(probe.m_BestFocusValue, 300.0);
    EXPECT_EQ(probe.m_BestIndex, 1);
    EXPECT_EQ(probe.m_AutoFocusingRef, 5640);
    EXPECT_EQ(probe.m_AutoFocusingData.back().focus_value, 249.0);
    EXPECT_EQ(probe.progress.size(), 8u);
}

TEST(VerifierAutofocus, CompareFocus)
{
    AutofocusProbe probe;
    probe.load({1, 2, 3, 4, 5, 6, 7, 8, 9}, 7000, 100);
    probe.m_AutoFocusingRef = 1;
    const struct {
        double value;
        int index;
        int result;
        double best;
        int bestIndex;
        int reference;
    } steps[] = {
        {10, 0, 0, 10, 0, 1},   {100, 3, 0, 100, 3, 1},  {10, 6, 0, 100, 3, 1},
        {50, 7, 0, 100, 3, 1},  {49.9, 7, 1, 100, 3, 7300}, {100, 8, 0, 100, 8, 7300},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.value);
        EXPECT_EQ(probe.compare_focus(s.value, s.index), s.result);
        EXPECT_EQ(probe.m_BestFocusValue, s.best);
        EXPECT_EQ(probe.m_BestIndex, s.bestIndex);
        EXPECT_EQ(probe.m_AutoFocusingRef, s.reference);
    }
}

namespace {

// The link on the simulated microcontroller, connected, with short waits.
class AutofocusStatesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mcu.start());
        ASSERT_TRUE(mcu.linkAt());
        mcu.setStepTime(std::chrono::microseconds(0));
        link.setTimeouts(500, 2000);
        QSignalSpy connected(&link, &verifier::Controller::sig_connected_controller);
        link.openSerialPort();
        ASSERT_EQ(connected.count(), 1);
    }

    TempRoot root;
    McuSimulator mcu;
    verifier::Controller link;
};

}  // namespace

// The finer sweep and the third step: each state's move and the state after
// it. Samples stand at 10000, 10230, ...; the stage at 11380.
TEST_F(AutofocusStatesTest, SecondSweepAndThirdStep)
{
    const std::vector<double> falling = {7, 6, 5, 4, 3, 2, 1};
    const std::vector<double> peakInside = {1, 2, 5, 3, 2, 1, 0.5};
    const struct Case {
        const char* title;
        int state;
        std::vector<double> values;
        int nextState;
        std::vector<std::string> frames;
        std::vector<AutofocusProbe::Review> reviews;
    } cases[] = {
        {"1: a move of 640, then sweeping", 1, {}, 2, {"$,STM1,MVP,640,\r\n"}, {}},
        {"3: the finer sweep's first move", 3, {}, 4, {"$,STM1,MVP,230,\r\n"}, {}},
        {"5: the third step's first move", 5, {}, 6, {"$,STM1,MVP,230,\r\n"}, {}},
        {"4: fewer than 7 samples", 4, {1, 2, 3}, 4, {"$,STM1,MVP,230,\r\n"}, {}},
        {"6: fewer than 7 samples", 6, {1, 2, 3, 4, 5, 6}, 6, {"$,STM1,MVP,230,\r\n"}, {}},
        {"4: found below the peak, to 10230", 4, peakInside, 7, {"$,STM1,GET_POS,,\r\n", "$,STM1,MVN,1150,\r\n"},
         {{2, 7, 1}}},
        {"4: third step from 9310 - 690", 4, falling, 5,
         {"$,STM1,GET_POS,,\r\n", "$,STM1,MVN,2760,\r\n", "$,STM1,MVP,230,\r\n"}, {{2, 7, 0}}},
        {"6: no fourth step, to 9310", 6, falling, 7, {"$,STM1,GET_POS,,\r\n", "$,STM1,MVN,2070,\r\n"}, {{3, 7, 0}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        mcu.setPosition(11380);
        AutofocusProbe probe;
        probe.load(c.values);
        probe.m_State = c.state;
        QSignalSpy up(&link, &verifier::Controller::sig_z_stage_mvp);
        QSignalSpy down(&link, &verifier::Controller::sig_z_stage_mvn);
        const std::size_t before = mcu.frames().size();
        probe.dispatch_proc();
        EXPECT_EQ(probe.m_State, c.nextState);
        EXPECT_EQ(probe.reviews, c.reviews);
        // Every state ends in a send-only move; its answer comes before the next case.
        EXPECT_TRUE(QTest::qWaitFor([&] { return up.count() + down.count() == 1; }, 5000));
        const std::vector<std::string> all = mcu.frames();
        EXPECT_EQ(std::vector<std::string>(all.begin() + long(before), all.end()), c.frames);
    }
}

// A frame of a later step goes to that step's own folder, in true colours.
TEST_F(AutofocusStatesTest, ALaterStepSavesInItsOwnFolder)
{
    AutofocusProbe probe(true);
    QSignalSpy ended(&probe, &alg_Autofocus::sig_endAutoFocusing);
    probe.process();
    // Without a camera the first sample ends the run; the run folder stays.
    ASSERT_TRUE(QTest::qWaitFor([&] { return ended.count() == 1; }, 10000));
    const QDir runs(root.path("/mnt/KOVA-II/Autofocus"));
    const QStringList run = runs.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(run.size(), 1);
    const QDir folder(runs.filePath(run.first()));
    EXPECT_EQ(folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"Step1"});

    probe.m_State = 4;
    probe.m_CurrentPosition = 777;
    const cv::Mat red(48, 64, CV_8UC3, cv::Scalar(200, 100, 0));
    probe.analyze_grabbed_image(red);
    const QString file = folder.filePath("Step2/Autofocus_01_777_0.tiff");
    const cv::Mat saved = cv::imread(QFile::encodeName(file).toStdString(), cv::IMREAD_COLOR);
    ASSERT_FALSE(saved.empty()) << file.toStdString();
    EXPECT_EQ(saved.at<cv::Vec3b>(10, 10), cv::Vec3b(0, 100, 200)) << "read back as BGR";
}
