#include "CameraTestSupport.h"

#include "Camera/GrabThread.h"
#include "Camera/OV5642Camera.h"
#include "KovaCore/KovaPaths.h"

#include "platform/SimulatedVideo.h"

#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A 1280 × 960 camera whose first `bad` frames are green-striped.
class ScriptedCamera : public OV5642Camera
{
public:
    using OV5642Camera::getFrame;

    explicit ScriptedCamera(int bad, bool running = true)
        : m_bad(bad), m_running(running)
    {
        setGeometry(1);
        m_good.assign(frameSize(), 128);
        m_corrupt = m_good;
        for (int row = 0; row < 2; ++row) {
            unsigned char* pixel = &m_corrupt[(row * width() + width() / 2) * 3];
            pixel[0] = 0;
            pixel[1] = 200;
            pixel[2] = 0;
        }
    }

    bool isRunning() const override { return m_running; }

    unsigned char* getFrame(bool, unsigned char, unsigned char, unsigned char) override
    {
        return ++calls <= m_bad ? m_corrupt.data() : m_good.data();
    }

    std::atomic<int> calls{0};

private:
    int m_bad;
    bool m_running;
    std::vector<unsigned char> m_good;
    std::vector<unsigned char> m_corrupt;
};

// Records the thread's signals as they are emitted, with their time and the
// number of frames taken so far.
struct Recorder
{
    struct Event
    {
        Clock::time_point at;
        int framesTaken;
    };

    Recorder(GrabThread& thread, ScriptedCamera* camera)
    {
        QObject::connect(&thread, &GrabThread::grabDone, &thread, [this, camera] {
            std::lock_guard<std::mutex> lock(mutex);
            grabs.push_back({Clock::now(), camera ? camera->calls.load() : 0});
        }, Qt::DirectConnection);
        QObject::connect(&thread, &GrabThread::signalCameraInitialize, &thread, [this] { ++initialize; },
                         Qt::DirectConnection);
        QObject::connect(&thread, &GrabThread::signalTransmissionError, &thread, [this] { ++transmission; },
                         Qt::DirectConnection);
    }

    std::size_t grabCount()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return grabs.size();
    }

    Event grab(std::size_t i)
    {
        std::lock_guard<std::mutex> lock(mutex);
        return grabs.at(i);
    }

    std::mutex mutex;
    std::vector<Event> grabs;
    std::atomic<int> initialize{0};
    std::atomic<int> transmission{0};
};

class GrabThreadTest : public ::testing::Test
{
protected:
    ~GrabThreadTest() override
    {
        thread.requestStop();
        thread.wait();
    }

    // Cameras live in the fixture, so a thread still running at the end of a
    // test stops before its camera goes.
    template <typename Camera, typename... Args>
    Camera& make(Args... args)
    {
        m_camera = std::make_unique<Camera>(args...);
        return static_cast<Camera&>(*m_camera);
    }

    Recorder& record(ScriptedCamera* camera)
    {
        m_recorder = std::make_unique<Recorder>(thread, camera);
        return *m_recorder;
    }

    void start(OV5642Camera& camera)
    {
        preview.assign(camera.frameSize(), 0);
        thread.registerCamera(&camera, preview.data());
        thread.start();
    }

    CameraRoot root;
    std::unique_ptr<OV5642Camera> m_camera;
    std::unique_ptr<Recorder> m_recorder;
    std::vector<unsigned char> preview;
    GrabThread thread;
};

TEST_F(GrabThreadTest, NineBadStartFramesThenAGoodOneGoLive)
{
    auto& camera = make<ScriptedCamera>(9);
    Recorder& recorder = record(&camera);
    start(camera);
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.grabCount() >= 1; }, 5000));
    EXPECT_EQ(recorder.initialize, 0);
    // Ten frames for the check, then the first frame shown.
    EXPECT_EQ(recorder.grab(0).framesTaken, 11);
    EXPECT_EQ(preview[0], 128);
}

class GrabThreadStartupChoice : public GrabThreadTest, public ::testing::WithParamInterface<bool> {};

TEST_P(GrabThreadStartupChoice, TenBadStartFramesAreReportedOnceAsChosen)
{
    const bool report = GetParam();
    auto& camera = make<ScriptedCamera>(1000);
    Recorder& recorder = record(&camera);
    thread.setReportStartupError(report);
    start(camera);
    ASSERT_TRUE(thread.wait(5000));
    EXPECT_EQ(recorder.initialize, report ? 0 : 1);
    EXPECT_EQ(recorder.transmission, report ? 1 : 0);
    EXPECT_EQ(recorder.grabCount(), 0u);
    EXPECT_EQ(camera.calls, 10);
}

INSTANTIATE_TEST_SUITE_P(Choices, GrabThreadStartupChoice, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "report" : "newCamera"; });

TEST_F(GrabThreadTest, CameraNotRunningEndsAtOnce)
{
    auto& camera = make<ScriptedCamera>(0, false);
    Recorder& recorder = record(&camera);
    start(camera);
    ASSERT_TRUE(thread.wait(5000));
    EXPECT_EQ(camera.calls, 0);
    EXPECT_EQ(recorder.grabCount(), 0u);
    EXPECT_EQ(recorder.initialize, 0);
}

TEST_F(GrabThreadTest, OneFrameInFlightUntilTheScreenAnswers)
{
    auto& camera = make<ScriptedCamera>(0);
    Recorder& recorder = record(&camera);
    // 101 polls of 50 ms: no forced frame within five seconds.
    thread.setPollInterval(50000);
    start(camera);
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.grabCount() == 1; }, 5000));
    const int taken = camera.calls;
    thread.grab();
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.grabCount() == 2; }, 4000));
    EXPECT_EQ(recorder.grab(1).framesTaken, taken + 1);
    EXPECT_LT(recorder.grab(1).at - recorder.grab(0).at, std::chrono::milliseconds(101 * 50));
}

// A screen that answers while the frame is still being announced (here at
// once, in the thread's own emit) gets its next frame at the next poll: with
// no resend after idle polls, a lost answer would stall the view for good.
TEST_F(GrabThreadTest, AnAnswerDuringTheAnnouncementIsNotLost)
{
    auto& camera = make<ScriptedCamera>(0);
    Recorder& recorder = record(&camera);
    QObject::connect(&thread, &GrabThread::grabDone, &thread, &GrabThread::grab, Qt::DirectConnection);
    thread.setPollInterval(1000);
    thread.setIdlePolls(std::numeric_limits<unsigned>::max());
    start(camera);
    constexpr std::size_t kFrames = 300;
    EXPECT_TRUE(QTest::qWaitFor([&] { return recorder.grabCount() >= kFrames; }, 30000))
        << recorder.grabCount() << " frames";
}

TEST_F(GrabThreadTest, UnansweredFrameIsResentAfterTheIdlePolls)
{
    auto& camera = make<ScriptedCamera>(0);
    Recorder& recorder = record(&camera);
    thread.setPollInterval(2000);
    start(camera);
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.grabCount() >= 3; }, 10000));
    for (std::size_t i = 1; i < 3; ++i) {
        // One frame taken per frame sent, and not before 101 idle polls.
        EXPECT_EQ(recorder.grab(i).framesTaken, recorder.grab(i - 1).framesTaken + 1);
        EXPECT_GE(recorder.grab(i).at - recorder.grab(i - 1).at, std::chrono::microseconds(101 * 2000));
    }
}

TEST_F(GrabThreadTest, StopEndsTheLoopWithAFrameInFlight)
{
    auto& camera = make<ScriptedCamera>(0);
    Recorder& recorder = record(&camera);
    start(camera);
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.grabCount() == 1; }, 5000));
    thread.requestStop();
    EXPECT_TRUE(thread.wait(5000));
}

TEST_F(GrabThreadTest, LiveViewOfTheSimulatedCamera)
{
    auto& camera = make<OV5642Camera>();
    ASSERT_TRUE(camera.open(1, "", false));
    Recorder& recorder = record(nullptr);
    QObject::connect(&thread, &GrabThread::grabDone, &thread, &GrabThread::grab, Qt::QueuedConnection);
    start(camera);
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.grabCount() >= 3; }, 5000));
    thread.requestStop();
    ASSERT_TRUE(thread.wait(5000));
    int green, pink, black;
    EXPECT_FALSE(camera.checkGreenPinkBlackImage(preview.data(), green, pink, black, 0.3f));
    EXPECT_GT(camera.getGreenMean(preview.data()), 100);
}

TEST_F(GrabThreadTest, GreenFramesOfTheSimulatedCameraAskForANewCamera)
{
    platform::SimulatedVideo::Faults faults;
    faults.corrupt = platform::SimulatedVideo::Corruption::Green;
    ASSERT_TRUE(platform::SimulatedVideo::setFaults(faults));
    auto& camera = make<OV5642Camera>();
    ASSERT_TRUE(camera.open(1, kova::kCalibrationBfnIni, false));
    Recorder& recorder = record(nullptr);
    start(camera);
    ASSERT_TRUE(thread.wait(15000));
    EXPECT_EQ(recorder.initialize, 1);
    EXPECT_EQ(recorder.grabCount(), 0u);
}

}  // namespace
