// The simulated camera through the video seam, frame by frame.
#include "CameraTestSupport.h"

#include "Camera/FrameStats.h"
#include "Camera/OV5642Camera.h"
#include "McuState.h"

#include "platform/SimulatedI2c.h"
#include "platform/SimulatedVideo.h"

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <cerrno>

using platform::SimulatedI2c;
using platform::SimulatedVideo;
using platform::VideoDevice;

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 960;

// A streaming simulated camera whose frames are read back as RGB.
class Stream
{
public:
    explicit Stream(unsigned buffers = 2)
        : m_device(VideoDevice::open("/dev/video0"))
    {
        EXPECT_TRUE(m_device && m_device->isSimulated());
        v4l2_format format{};
        format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        format.fmt.pix.width = kWidth;
        format.fmt.pix.height = kHeight;
        format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
        EXPECT_EQ(m_device->ioctl(VIDIOC_S_FMT, &format), 0);
        v4l2_requestbuffers request{};
        request.count = buffers;
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        EXPECT_EQ(m_device->ioctl(VIDIOC_REQBUFS, &request), 0);
        granted = request.count;
        for (unsigned i = 0; i < granted; ++i) {
            v4l2_buffer buffer = bufferRecord(i);
            EXPECT_EQ(m_device->ioctl(VIDIOC_QUERYBUF, &buffer), 0);
            m_maps.push_back(static_cast<unsigned char*>(m_device->map(buffer.length, buffer.m.offset)));
            EXPECT_EQ(m_device->ioctl(VIDIOC_QBUF, &buffer), 0);
        }
        int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        EXPECT_EQ(m_device->ioctl(VIDIOC_STREAMON, &type), 0);
    }

    // The next frame as RGB24.
    cv::Mat frame()
    {
        EXPECT_EQ(m_device->waitReadable(2000), 1);
        v4l2_buffer buffer = bufferRecord(0);
        EXPECT_EQ(m_device->ioctl(VIDIOC_DQBUF, &buffer), 0);
        EXPECT_EQ(buffer.bytesused, unsigned(kWidth * kHeight * 2));
        cv::Mat rgb(kHeight, kWidth, CV_8UC3);
        OV5642Camera::sws_yuv2rgb24(kWidth, kHeight, m_maps[buffer.index], rgb.data);
        EXPECT_EQ(m_device->ioctl(VIDIOC_QBUF, &buffer), 0);
        return rgb;
    }

    double meanGreen() { return cv::mean(frame())[1]; }

    VideoDevice& device() { return *m_device; }
    unsigned granted = 0;

private:
    static v4l2_buffer bufferRecord(unsigned index)
    {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        return buffer;
    }

    std::unique_ptr<VideoDevice> m_device;
    std::vector<unsigned char*> m_maps;
};

void setSensorPair(std::uint16_t reg, unsigned value)
{
    SimulatedI2c::setRegisterValue(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress, reg, value >> 8);
    SimulatedI2c::setRegisterValue(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress, reg + 1,
                                   value & 0xFF);
}

class SimulatedVideoTest : public ::testing::Test
{
protected:
    CameraRoot root;
};

TEST_F(SimulatedVideoTest, InFocusFrameShowsTheSlide)
{
    Stream stream;
    const cv::Mat frame = stream.frame();
    cv::Mat difference;
    cv::absdiff(frame, CameraRoot::slide(), difference);
    // Sensor noise and the 4:2:2 chroma only.
    EXPECT_LT(cv::mean(difference)[1], 3.0);
    int green, pink, black;
    EXPECT_FALSE(camera::isCorruptFrame(frame.data, kWidth, kHeight, 0.3f, green, pink, black));
}

TEST_F(SimulatedVideoTest, MeanGreenRisesWithExposureGainAndLed)
{
    Stream stream;
    const double reference = stream.meanGreen();

    double last = 0;
    for (unsigned exposure : {300u, 600u, 1000u, 1400u}) {
        setSensorPair(0x3501, exposure);
        const double green = stream.meanGreen();
        EXPECT_GT(green, last + 5) << "exposure " << exposure;
        last = green;
    }
    setSensorPair(0x3501, SimulatedVideo::kReferenceExposure);
    EXPECT_NEAR(stream.meanGreen(), reference, 1.0);

    setSensorPair(0x350A, 0x10);  // twice the gain
    EXPECT_GT(stream.meanGreen(), reference + 30);
    setSensorPair(0x350A, 0);

    last = 0;
    for (int brightness : {60, 120, 225, 300}) {
        root.setStage(CameraRoot::kFocus, brightness);
        const double green = stream.meanGreen();
        EXPECT_GT(green, last + 5) << "brightness " << brightness;
        last = green;
    }
}

TEST_F(SimulatedVideoTest, LedOffOrPowerOffGivesADarkFrame)
{
    Stream stream;
    const struct
    {
        bool ledOn;
        bool powerOn;
        bool lit;
    } cases[] = {{true, true, true}, {false, true, false}, {true, false, false}, {true, true, true}};
    for (const auto& c : cases) {
        McuState state;
        state.position = CameraRoot::kFocus;
        state.brightness = SimulatedVideo::kReferenceBrightness;
        state.ledOn = c.ledOn;
        state.powerOn = c.powerOn;
        ASSERT_TRUE(state.write(root.path(McuState::kStateFile)));
        const double green = stream.meanGreen();
        if (c.lit)
            EXPECT_GT(green, 100) << "led " << c.ledOn << " power " << c.powerOn;
        else
            EXPECT_LT(green, 5) << "led " << c.ledOn << " power " << c.powerOn;
    }
}

TEST_F(SimulatedVideoTest, WhiteBalanceGainScalesItsChannelOnly)
{
    Stream stream;
    const cv::Scalar before = cv::mean(stream.frame());
    setSensorPair(0x3400, 0x200);  // red at one half
    const cv::Scalar after = cv::mean(stream.frame());
    EXPECT_NEAR(after[0], before[0] / 2, 3.0);
    EXPECT_NEAR(after[1], before[1], 1.5);
}

TEST_F(SimulatedVideoTest, BrennerSharpnessPeaksAtTheFocusPosition)
{
    Stream stream;
    std::vector<double> sharpness;
    std::vector<double> green;
    for (int step = -3; step <= 3; ++step) {
        root.setStage(CameraRoot::kFocus + step * 512);
        const cv::Mat frame = stream.frame();
        cv::Mat plane;
        cv::extractChannel(frame, plane, 1);
        sharpness.push_back(brenner(plane));
        green.push_back(cv::mean(plane)[0]);
    }
    // Falls on both sides of the focus, step by step.
    for (int i = 0; i < 3; ++i) {
        EXPECT_LT(sharpness[i], sharpness[i + 1]) << i;
        EXPECT_LT(sharpness[6 - i], sharpness[5 - i]) << i;
    }
    // Defocus spreads the light but keeps it.
    for (double g : green)
        EXPECT_NEAR(g, green[3], 1.5);
}

// A slide of another type sits where the focus references derived from one
// calibration put it (2-chamber + 2560 over the validation slide, reusable
// + 5120), so a centre calibrated on one type is sharp on the others.
TEST_F(SimulatedVideoTest, SlideIsSharpWhereItsTypesReferenceIs)
{
    const struct
    {
        const char* settings;
        int sharpAt;
    } cases[] = {
        {nullptr, CameraRoot::kFocus},
        {"[Cell%20counting]\nSlide%20type=2\n", CameraRoot::kFocus},
        {"[Cell%20counting]\nSlide%20type=10\n", CameraRoot::kFocus - 2560},
        {"[Cell%20counting]\nSlide%20type=9\n", CameraRoot::kFocus + 2560},
    };
    Stream stream;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings ? c.settings : "no settings");
        if (c.settings)
            root.writeFile(SimulatedVideo::kSettingsFile, c.settings);
        std::vector<double> sharpness;
        for (int step = -1; step <= 1; ++step) {
            root.setStage(c.sharpAt + step * 512);
            const cv::Mat frame = stream.frame();
            cv::Mat plane;
            cv::extractChannel(frame, plane, 1);
            sharpness.push_back(brenner(plane));
        }
        EXPECT_GT(sharpness[1], sharpness[0]);
        EXPECT_GT(sharpness[1], sharpness[2]);
    }
}

TEST_F(SimulatedVideoTest, FramesAreRepeatable)
{
    const cv::Mat first = Stream().frame();
    const cv::Mat again = Stream().frame();
    EXPECT_EQ(cv::norm(first, again, cv::NORM_INF), 0);
}

struct CorruptCase
{
    const char* name;
    SimulatedVideo::Corruption kind;
    double share;
    int green, pink, black;
};

class SimulatedVideoCorruption : public SimulatedVideoTest, public ::testing::WithParamInterface<CorruptCase> {};

TEST_P(SimulatedVideoCorruption, FramesFailTheCorruptFrameTestAsConfigured)
{
    const CorruptCase& c = GetParam();
    SimulatedVideo::Faults faults;
    faults.corrupt = c.kind;
    faults.corruptShare = c.share;
    ASSERT_TRUE(SimulatedVideo::setFaults(faults));
    ASSERT_EQ(SimulatedVideo::faults(), faults);

    Stream stream;
    const cv::Mat frame = stream.frame();
    int green, pink, black;
    EXPECT_TRUE(camera::isCorruptFrame(frame.data, kWidth, kHeight, 0.3f, green, pink, black));
    EXPECT_EQ(green, c.green);
    EXPECT_EQ(pink, c.pink);
    EXPECT_EQ(black, c.black);
}

INSTANTIATE_TEST_SUITE_P(Kinds, SimulatedVideoCorruption,
                         ::testing::Values(CorruptCase{"green", SimulatedVideo::Corruption::Green, 1.0, kHeight, 0, 0},
                                           CorruptCase{"pink", SimulatedVideo::Corruption::Pink, 1.0, 0, kHeight, 0},
                                           CorruptCase{"blackHalf", SimulatedVideo::Corruption::Black, 0.5, 0, 0,
                                                       kHeight / 2},
                                           CorruptCase{"greenQuarter", SimulatedVideo::Corruption::Green, 0.25,
                                                       kHeight / 4, 0, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedVideoTest, DeviceFaults)
{
    SimulatedVideo::Faults faults;
    faults.grant = 6;
    ASSERT_TRUE(SimulatedVideo::setFaults(faults));
    {
        Stream stream(4);
        EXPECT_EQ(stream.granted, 6u);
    }

    faults = {};
    faults.noFrame = true;
    ASSERT_TRUE(SimulatedVideo::setFaults(faults));
    {
        Stream stream;
        EXPECT_EQ(stream.device().waitReadable(100), 0);
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        EXPECT_EQ(stream.device().ioctl(VIDIOC_DQBUF, &buffer), -1);
        EXPECT_EQ(errno, EAGAIN);
    }

    faults = {};
    faults.openFailure = true;
    ASSERT_TRUE(SimulatedVideo::setFaults(faults));
    errno = 0;
    EXPECT_EQ(VideoDevice::open("/dev/video0"), nullptr);
    EXPECT_EQ(errno, ENODEV);

    ASSERT_TRUE(SimulatedVideo::setFaults({}));
    EXPECT_NE(VideoDevice::open("/dev/video0"), nullptr);
}

}  // namespace
