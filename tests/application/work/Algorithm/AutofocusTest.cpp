#include "Algorithm/alg_Autofocus.h"

#include "Camera/OV5642Camera.h"
#include "KovaCore/KovaPaths.h"

#include "TestInstrument.h"

#include <QCoreApplication>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QRegularExpression>

#include <opencv2/imgcodecs.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <cstdlib>
#include <ostream>
#include <type_traits>

// The receiver of the end signal must not delete the object under process().
static_assert(!std::is_destructible<alg_Autofocus>::value, "alg_Autofocus is released with deleteLater()");

TEST(BrennerGradient, SumsSquaredDifferencesTwoColumnsApart)
{
    const cv::Mat ramp = (cv::Mat_<uchar>(2, 5) << 0, 10, 20, 30, 40, 5, 5, 5, 5, 255);
    const struct {
        const char* name;
        cv::Mat plane;
        double expected;
    } cases[] = {
        // Row 0: three differences of 20; row 1: one of 250.
        {"ramp", ramp, (3 * 400 + 250 * 250) / 1e6},
        {"two columns", cv::Mat(4, 2, CV_8UC1, cv::Scalar(200)), 0.0},
        {"no rows", cv::Mat(0, 10, CV_8UC1), 0.0},
        {"not one channel", cv::Mat(4, 8, CV_8UC3, cv::Scalar(0, 255, 0)), 0.0},
        // A full frame of the largest differences: every row sum near the 32-bit limit, the total far above it.
        {"full frame", [] {
             cv::Mat stripes(1944, 2592, CV_8UC1);
             for (int c = 0; c < stripes.cols; ++c)
                 stripes.col(c).setTo((c / 2) % 2 ? 255 : 0);
             return stripes;
         }(), 1944.0 * 2590 * 65025 / 1e6},
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ(alg_Autofocus::brennerGradient(c.plane), c.expected) << c.name;
}

TEST(AutofocusSamples, AFrameGivesOneSampleOfItsGreenPlaneAndNoFrameAZero)
{
    cv::Mat rgb(2, 4, CV_8UC3, cv::Scalar(0, 0, 0));
    rgb.at<cv::Vec3b>(0, 2) = cv::Vec3b(255, 30, 255);  // only green counts
    auto* af = new alg_Autofocus(nullptr, nullptr, rgb.cols, rgb.rows);

    af->analyze_grabbed_image_bG(rgb.data);
    af->analyze_grabbed_image_bG(nullptr);

    ASSERT_EQ(af->samples().size(), 2u);
    EXPECT_DOUBLE_EQ(af->samples()[0].focus_value, 900 / 1e6);
    EXPECT_EQ(af->samples()[1].focus_value, 0.0);
    delete static_cast<QObject*>(af);
}

namespace {

constexpr int kStep = alg_Autofocus::kStepSize;

// One run as the counting screen makes it, the object released from the end signal's slot.
struct SearchRun
{
    int ends = 0;
    int end = -1;
    std::vector<int> moves;  // sig_move_z_position
    std::vector<AutoFocusingData_s> samples;
};

class Autofocus : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(vi.error(), "");
        ASSERT_TRUE(camera.open(1, kova::kCalibrationBfnIni, false));
    }

    // One run on the instrument's camera, or on `source`.
    SearchRun autofocus(int centre, int offset, bool earlyStop, bool saveImages = false,
                        int stageWaitMs = alg_Autofocus::kStageWaitMs, OV5642Camera* source = nullptr)
    {
        SearchRun run;
        OV5642Camera* frames = source ? source : &camera;
        QPointer<alg_Autofocus> af = new alg_Autofocus(nullptr, frames, frames->width(), frames->height());
        af->setParam(centre, offset, earlyStop, saveImages);
        af->setWaitTimes(stageWaitMs, 100);
        QObject::connect(af, &alg_Autofocus::sig_move_z_position, [this, &run](int position) {
            run.moves.push_back(position);
            if (onMove)
                onMove(position);
        });
        alg_Autofocus* object = af;
        QObject::connect(af, &alg_Autofocus::sig_endAutoFocusing, [&run, object](int position) {
            ++run.ends;
            run.end = position;
            run.samples = object->samples();
            object->deleteLater();
        });
        af->process();
        EXPECT_FALSE(af.isNull()) << "released while process() was running";
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_TRUE(af.isNull());
        return run;
    }

    int stagePosition() const { return vi.mcu.state().position; }
    // The last stage move sent.
    std::string lastMove() const
    {
        const std::vector<std::string> frames = vi.mcu.frames();
        const auto move = std::find_if(frames.rbegin(), frames.rend(),
                                       [](const std::string& f) { return f.rfind("$,STM1,MV", 0) == 0; });
        return move == frames.rend() ? std::string() : *move;
    }

    TestInstrument vi;
    OV5642Camera camera;
    // Told every position the run reports while it runs.
    std::function<void(int position)> onMove;
};

struct Start
{
    int centreOffset;  // centre - focus
    int startOffset;   // stage at the start - centre
};

std::ostream& operator<<(std::ostream& os, const Start& s)
{
    return os << "centre" << s.centreOffset << "_start" << s.startOffset;
}

class AutofocusFromStart : public Autofocus, public ::testing::WithParamInterface<Start>
{
};

}  // namespace

TEST_P(AutofocusFromStart, EndsWithinOneStopOfTheFocus)
{
    const int focus = TestInstrument::kFocus;
    const int centre = focus + GetParam().centreOffset;
    vi.mcu.setPosition(centre + GetParam().startOffset);

    const SearchRun run = autofocus(centre, 0, true);

    EXPECT_EQ(run.ends, 1);
    EXPECT_LE(std::abs(run.end - focus), kStep);
    EXPECT_EQ(run.end, stagePosition());
    EXPECT_EQ(run.moves.back(), run.end);
}

INSTANTIATE_TEST_SUITE_P(Offsets, AutofocusFromStart,
                         ::testing::Values(Start{-3000, 0}, Start{-1700, 0}, Start{-600, 0}, Start{0, 0},
                                           Start{450, 0}, Start{1300, 0}, Start{3000, 0}, Start{0, -3000},
                                           Start{0, 3000}));

TEST_F(Autofocus, SamplesCarryTheirStopsEvenWithoutAMoveToTheFirst)
{
    // Standing at the first stop: no move, no acknowledgement before the sweep.
    const int centre = TestInstrument::kFocus;
    vi.mcu.setPosition(centre - 7 * kStep);

    const SearchRun run = autofocus(centre, 0, false);

    ASSERT_EQ(run.samples.size(), 15u);
    for (int k = 0; k < 15; ++k)
        EXPECT_EQ(run.samples[k].z_position, centre - 7 * kStep + k * kStep) << k;
    EXPECT_EQ(run.end, centre);
}

// The move to the first stop outlasts its wait; its acknowledgement then comes
// while the first sweep move runs, and must not pass for that move's: every
// sample carries its stop, read with the stage at rest.
TEST_F(Autofocus, ALateAcknowledgementNeverPassesForALaterMove)
{
    using namespace std::chrono_literals;
    const int centre = TestInstrument::kFocus;
    vi.mcu.setStepTime(50us);  // 28416 steps to the first stop: about 1.4 s
    vi.mcu.setPosition(0);

    const SearchRun run = autofocus(centre, 0, false, false, 1000);

    ASSERT_EQ(run.samples.size(), 15u);
    for (int k = 1; k < 15; ++k)
        EXPECT_EQ(run.samples[k].z_position, centre - 7 * kStep + k * kStep) << k;
    EXPECT_EQ(run.end, centre);
    EXPECT_EQ(stagePosition(), centre);
}

namespace {

// A camera whose frame at each stage position has a chosen focus value, to
// the last digit: the green plane of a 1280 × 960 frame holds `value` × 50
// steps of 100 grey levels, each adding 2 × 100² to the Brenner sum.
class FocusValueCamera : public OV5642Camera
{
public:
    FocusValueCamera(const McuSimulator& mcu, std::map<int, double> valueAt)
        : m_mcu(mcu), m_valueAt(std::move(valueAt))
    {
        setGeometry(1);
    }

    bool isRunning() const override { return true; }

    unsigned char* getFrame(unsigned int& index, bool, unsigned char, unsigned char, unsigned char) override
    {
        index = ++m_frames;  // every call a new frame
        const auto value = m_valueAt.find(m_mcu.state().position);
        const int steps = value == m_valueAt.end() ? 0 : int(std::lround(value->second * 50));
        m_frame.create(height(), width(), CV_8UC3);
        m_frame.setTo(cv::Scalar::all(0));
        for (int row = 0; row < steps; ++row)
            m_frame.row(row).colRange(width() / 2, width()).setTo(cv::Scalar(0, 100, 0));
        return m_frame.data;
    }

private:
    const McuSimulator& m_mcu;
    std::map<int, double> m_valueAt;
    unsigned int m_frames = 0;
    cv::Mat m_frame;
};

}  // namespace

// The rules at their edges: a best value of exactly 10.0 is a focus, one just
// below is none (back to the centre), and of two equal best stops the
// earlier one wins.
TEST_F(Autofocus, ThresholdAndTiesAtTheirEdges)
{
    const int centre = TestInstrument::kFocus;
    const auto stop = [&](int step) { return centre - 7 * kStep + step * kStep; };
    const struct
    {
        const char* name;
        std::map<int, double> valueAt;
        int expected;
    } cases[] = {
        {"exactly the threshold", {{stop(3), 10.0}}, stop(3)},
        {"just below it", {{stop(3), 9.98}}, centre},
        {"a tie keeps the earlier stop", {{stop(2), 12.0}, {stop(9), 12.0}, {stop(5), 11.98}}, stop(2)},
        {"a later, sharper stop", {{stop(2), 12.0}, {stop(9), 12.02}}, stop(9)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        vi.mcu.setPosition(centre);
        FocusValueCamera scripted(vi.mcu, c.valueAt);
        const SearchRun run = autofocus(centre, 0, false, false, alg_Autofocus::kStageWaitMs, &scripted);
        EXPECT_EQ(run.end, c.expected);
        EXPECT_EQ(stagePosition(), c.expected);
    }
}

// A restart of the microcontroller during the sweep ends the move under way
// unanswered and homes the stage. The run must neither wait for that answer
// nor take a later one for it: it goes on from where the stage stands, each
// sample carries the position it was taken at, and the final move still
// reaches the sharpest stop. Meanwhile the stage counts as in use.
TEST_F(Autofocus, ARestartDuringTheSweepKeepsEveryPositionTrue)
{
    const int centre = TestInstrument::kFocus;
    const auto stop = [&](int step) { return centre - 7 * kStep + step * kStep; };
    constexpr int kRestartStep = 4;  // the move to this stop is cut short
    vi.mcu.setPosition(centre);
    FocusValueCamera scripted(vi.mcu, {{stop(2), 15.0}});
    std::vector<bool> inUse;
    onMove = [&](int position) {
        inUse.push_back(vi.controller->isStageInUse());
        if (position == stop(kRestartStep - 1))
            vi.mcu.restartOnNextMove();
    };

    const SearchRun run = autofocus(centre, 0, false, false, 2000, &scripted);

    ASSERT_EQ(run.samples.size(), 15u);
    for (int k = 0; k < 15; ++k) {
        const int taken = k < kRestartStep ? stop(k) : (k - kRestartStep) * kStep;  // from home on
        EXPECT_EQ(run.samples[k].z_position, taken) << k;
    }
    EXPECT_EQ(run.end, stop(2));
    EXPECT_EQ(stagePosition(), stop(2));
    EXPECT_EQ(vi.controller->currentPosition(), stop(2));
    EXPECT_EQ(std::count(inUse.begin(), inUse.end(), false), 0);
    EXPECT_FALSE(vi.controller->isStageInUse());
}

// A restart as the sweep's first move arrives: that move runs from home
// after the restart and is answered late. Taken for the next move's answer,
// it had the sweep read positions on the way and end off the stop it found,
// with the link keeping a position the stage was not at. Every sample
// carries the position it was taken at, and the run ends where the stage is.
TEST_F(Autofocus, AMoveAnsweredAfterARestartNeverEndsTheWaitForTheNext)
{
    using namespace std::chrono_literals;
    const int centre = TestInstrument::kFocus;
    const int firstStop = centre - 7 * kStep;
    const int sharp = 3 * kStep;  // a stop of the sweep from home on
    vi.mcu.setPosition(centre);
    vi.mcu.setStepTime(200us);  // a stop's move: about 0.1 s
    FocusValueCamera scripted(vi.mcu, {{sharp, 15.0}});
    onMove = [&](int position) {
        if (position == firstStop)
            vi.mcu.restartBeforeNextMove();
    };

    const SearchRun run = autofocus(centre, 0, false, false, 5000, &scripted);

    ASSERT_EQ(run.samples.size(), 15u);
    EXPECT_EQ(run.samples[0].z_position, firstStop);
    for (int k = 1; k < 15; ++k)
        EXPECT_EQ(run.samples[k].z_position, k * kStep) << k;
    EXPECT_EQ(run.end, sharp);
    EXPECT_EQ(stagePosition(), sharp);
    EXPECT_EQ(vi.controller->currentPosition(), sharp);
}

TEST_F(Autofocus, FocusRisingToTheLastStopEndsThere)
{
    const int centre = TestInstrument::kFocus - 5000;

    const SearchRun run = autofocus(centre, 0, true);

    ASSERT_EQ(run.samples.size(), 15u);
    for (std::size_t k = 1; k < run.samples.size(); ++k)
        EXPECT_GT(run.samples[k].focus_value, run.samples[k - 1].focus_value) << k;
    EXPECT_EQ(run.end, centre + 7 * kStep);
}

TEST_F(Autofocus, EarlyStopIsTestedFromTheCentreStopOn)
{
    // Sharp at the fourth stop (step 3).
    const int centre = TestInstrument::kFocus + 4 * kStep;
    const struct {
        bool earlyStop;
        std::size_t samples;
        const char* finalMove;  // from one stop past the last analysed one back to the best
    } cases[] = {{true, 8, "$,STM1,MVN,2560,\r\n"}, {false, 15, "$,STM1,MVN,6144,\r\n"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.earlyStop);
        vi.mcu.setPosition(centre);
        const SearchRun run = autofocus(centre, 0, c.earlyStop);
        EXPECT_EQ(run.samples.size(), c.samples);
        EXPECT_EQ(run.end, TestInstrument::kFocus);
        EXPECT_EQ(lastMove(), c.finalMove);
    }
}

TEST_F(Autofocus, ResultIsTheBestStopOrTheCentreShiftedByTheOffset)
{
    const int centre = TestInstrument::kFocus + 2 * kStep;
    const struct {
        bool blank;
        int offset;
        int expected;
    } cases[] = {
        {false, 0, TestInstrument::kFocus},
        {false, -2, TestInstrument::kFocus - 2 * kStep},
        {false, 1, TestInstrument::kFocus + kStep},
        {true, 0, centre},
        {true, 1, centre + kStep},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "blank " << c.blank << " offset " << c.offset);
        if (c.blank) {
            ASSERT_TRUE(vi.showBlankSlide());
        }
        vi.mcu.setPosition(centre);
        const SearchRun run = autofocus(centre, c.offset, true);
        EXPECT_EQ(run.end, c.expected);
        EXPECT_EQ(stagePosition(), c.expected);
        double best = 0;
        for (const AutoFocusingData_s& sample : run.samples)
            best = std::max(best, sample.focus_value);
        EXPECT_EQ(best < alg_Autofocus::kFocusThreshold, c.blank) << best;
    }
}

// A silent stage costs one wait, not one per move: the run ends with every
// stop analysed. (Frames come at once, so the waits are all the time there is.)
TEST_F(Autofocus, ASilentStageCostsOneWaitNotOnePerMove)
{
    vi.controller->setTimeouts(100, 200);
    vi.mcu.setFault(McuSimulator::Fault::Silence);
    FocusValueCamera scripted(vi.mcu, {});
    constexpr int kWaitMs = 2000;
    QElapsedTimer clock;
    clock.start();

    const SearchRun run = autofocus(TestInstrument::kFocus, 0, false, false, kWaitMs, &scripted);

    // Seventeen moves: a wait for each would take 34 s.
    EXPECT_LT(clock.elapsed(), 17 * kWaitMs / 2);
    EXPECT_EQ(run.ends, 1);
    EXPECT_TRUE(run.moves.empty());
    EXPECT_EQ(run.samples.size(), 15u);
}

// Moves are acknowledged, but every position query fails ("ok" is no "OK"):
// the search goes on the link's tracked count, never on -1.
TEST_F(Autofocus, FailedPositionQueriesAreNeverTakenAsPositions)
{
    const int centre = TestInstrument::kFocus + 1300;
    vi.mcu.setPosition(centre + 2000);
    ASSERT_EQ(vi.controller->z_stage_pos(), centre + 2000);
    vi.mcu.setFault(McuSimulator::Fault::LowerCaseOk);

    const SearchRun run = autofocus(centre, 0, true);

    EXPECT_EQ(run.ends, 1);
    EXPECT_LE(std::abs(run.end - TestInstrument::kFocus), kStep);
    EXPECT_EQ(run.end, stagePosition());
    ASSERT_FALSE(run.moves.empty());
    for (int position : run.moves)
        EXPECT_GE(position, 0);
    for (const AutoFocusingData_s& sample : run.samples)
        EXPECT_GE(sample.z_position, 0);
}

TEST_F(Autofocus, SavesEveryAnalysedFrameUnderTheStick)
{
    const int centre = TestInstrument::kFocus;
    vi.mcu.setPosition(centre);

    const SearchRun run = autofocus(centre, 0, false, true);

    QStringList files;
    QDirIterator it(vi.path("/mnt/KOVA-3/Autofocus"), {"*.tiff"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    ASSERT_EQ(files.size(), 15);
    const QRegularExpression name(R"(/mnt/KOVA-3/Autofocus/\d{8}_\d{6}/Step1/Autofocus_(\d\d)_(\d+)_([0-9.e+]+)\.tiff$)");
    for (int k = 0; k < files.size(); ++k) {
        const QRegularExpressionMatch m = name.match(files[k]);
        ASSERT_TRUE(m.hasMatch()) << files[k].toStdString();
        EXPECT_EQ(m.captured(1).toInt(), k + 1);
        EXPECT_EQ(m.captured(2).toInt(), run.samples[k].z_position);
        EXPECT_EQ(m.captured(3), QString::number(run.samples[k].focus_value, 'g', 6));
    }
    const cv::Mat saved = cv::imread(QFile::encodeName(files.front()).toStdString());
    EXPECT_EQ(saved.size(), cv::Size(1280, 960));
}
