#include "CameraTestSupport.h"

#include "Camera/OV5642Camera.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaPaths.h"

#include "platform/SimulatedI2c.h"
#include "platform/SimulatedVideo.h"

#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>

using platform::SimulatedI2c;
using platform::SimulatedVideo;

namespace {

std::uint8_t sensorRegister(std::uint16_t reg)
{
    return SimulatedI2c::registerValue(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress, reg).value_or(0xEE);
}

class CameraTest : public ::testing::Test
{
protected:
    CameraTest()
    {
        // A BFN table whose every value tells its mode and column apart.
        for (int mode = 0; mode < 3; ++mode) {
            for (int column = 0; column < kRegisterCount; ++column)
                global_ini()->regTables[REG_TABLE_BFN][mode][column] = 0x10 * (mode + 1) + column;
        }
    }

    // Frames until `done` holds for one, or false after a few seconds.
    bool frameUntil(OV5642Camera& camera, const std::function<bool(unsigned char*)>& done)
    {
        return QTest::qWaitFor([&] { return done(camera.getFrame()); }, 5000);
    }

    CameraRoot root;
};

class CameraModes : public CameraTest, public ::testing::WithParamInterface<int> {};

TEST_P(CameraModes, OpenStreamsAndWritesTheModesCalibrationRegistersInOrder)
{
    const int mode = GetParam();
    const int widths[] = {640, 1280, 2592};
    const int heights[] = {480, 960, 1944};
    OV5642Camera camera;
    SimulatedI2c::clearWrites(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress);
    ASSERT_TRUE(camera.open(mode, kova::kCalibrationBfnIni, false));
    EXPECT_TRUE(camera.isRunning());
    EXPECT_EQ(camera.mode(), mode);
    EXPECT_EQ(camera.width(), widths[mode]);
    EXPECT_EQ(camera.height(), heights[mode]);
    EXPECT_EQ(camera.getWidth(), widths[mode]);
    EXPECT_EQ(camera.getHeight(), heights[mode]);
    EXPECT_EQ(camera.frameSize(), widths[mode] * heights[mode] * 3);

    std::vector<std::vector<std::uint8_t>> expected;
    for (int column = 0; column < kRegisterCount; ++column) {
        const unsigned reg = g_RegIdx[column];
        expected.push_back({std::uint8_t(reg >> 8), std::uint8_t(reg & 0xFF), std::uint8_t(0x10 * (mode + 1) + column)});
        EXPECT_EQ(camera.cachedRegister(column).reg, reg);
    }
    EXPECT_EQ(SimulatedI2c::writes(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress), expected);

    unsigned char* frame = camera.getFrame();
    ASSERT_NE(frame, nullptr);
    int green, pink, black;
    // These calibration values overexpose: the frame is white, but not corrupt.
    camera.checkGreenPinkBlackImage(frame, green, pink, black, 0.3f);
    EXPECT_EQ(green + pink, 0);

    EXPECT_TRUE(camera.close());
    EXPECT_FALSE(camera.isRunning());
    EXPECT_EQ(camera.getFrame(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(All, CameraModes, ::testing::Values(0, 1, 2));

TEST_F(CameraTest, OpenWithAnotherCalibrationFileWritesNoRegister)
{
    OV5642Camera camera;
    ASSERT_TRUE(camera.open(1, "/opt/KOVA3/conf/Other.ini", false));
    EXPECT_TRUE(SimulatedI2c::writes(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress).empty());
    EXPECT_EQ(camera.cachedRegister(0).reg, 0);
}

TEST_F(CameraTest, NoRegisterIsWrittenBeforeTheStreamRuns)
{
    SimulatedVideo::Faults faults;
    faults.streamOnFailure = true;
    ASSERT_TRUE(SimulatedVideo::setFaults(faults));
    OV5642Camera camera;
    EXPECT_FALSE(camera.open(1, kova::kCalibrationBfnIni, false));
    EXPECT_FALSE(camera.isRunning());
    EXPECT_TRUE(SimulatedI2c::writes(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress).empty());
    // Given up cleanly: the next open, with the stream allowed, runs.
    ASSERT_TRUE(SimulatedVideo::setFaults({}));
    EXPECT_TRUE(camera.open(1, kova::kCalibrationBfnIni, false));
}

TEST_F(CameraTest, OpenWithoutSensorBusStillStreams)
{
    QFile::remove(root.path(SimulatedVideo::kSensorBus));
    OV5642Camera camera;
    EXPECT_TRUE(camera.open(1, kova::kCalibrationBfnIni, false));
    EXPECT_NE(camera.getFrame(), nullptr);
}

TEST_F(CameraTest, SetRegisterWritesBothBytesAndCachesThem)
{
    OV5642Camera camera;
    SimulatedI2c::clearWrites(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress);
    ASSERT_TRUE(camera.setRegister(0x3501, 0x1234));
    const std::vector<std::vector<std::uint8_t>> sent = {{0x35, 0x01, 0x12}, {0x35, 0x02, 0x34}};
    EXPECT_EQ(SimulatedI2c::writes(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress), sent);
    EXPECT_EQ(sensorRegister(0x3501), 0x12);
    EXPECT_EQ(sensorRegister(0x3502), 0x34);
    EXPECT_EQ(camera.cachedRegister(0).reg, 0x3501);
    EXPECT_EQ(camera.cachedRegister(0).value, 0x12);
    EXPECT_EQ(camera.cachedRegister(1).reg, 0x3502);
    EXPECT_EQ(camera.cachedRegister(1).value, 0x34);
    EXPECT_EQ(camera.getRegister(0x3501), 0x1234);

    // Without the bus a read gives the cached value, or leaves an uncached register's value alone.
    QFile::remove(root.path(SimulatedVideo::kSensorBus));
    unsigned short value = 0;
    EXPECT_FALSE(camera.get(0x3501, value));
    EXPECT_EQ(value, 0x12);
    value = 77;
    EXPECT_FALSE(camera.get(0x3000, value));
    EXPECT_EQ(value, 77);
    EXPECT_FALSE(camera.set(0x3501, 0x55));
    EXPECT_EQ(camera.cachedRegister(0).value, 0x12);
}

TEST_F(CameraTest, ClosedCameraHandsOutNothing)
{
    OV5642Camera camera;
    EXPECT_EQ(camera.getFrame(), nullptr);
    EXPECT_TRUE(camera.close());
    EXPECT_TRUE(camera.close());
    EXPECT_FALSE(camera.isRunning());
}

TEST_F(CameraTest, ACameraWithAParentGoesWithIt)
{
    auto owner = std::make_unique<QObject>();
    auto* camera = new OV5642Camera(owner.get());
    EXPECT_EQ(camera->parent(), owner.get());
    QObject::connect(camera, &QObject::destroyed, [&camera] { camera = nullptr; });
    owner.reset();
    EXPECT_EQ(camera, nullptr);
}

SimulatedVideo::Faults with(bool SimulatedVideo::Faults::*fault)
{
    SimulatedVideo::Faults faults;
    faults.*fault = true;
    return faults;
}

// What an open tells through its debug lines: the opening with its mode and
// register file, then the step that failed, if one did.
TEST_F(CameraTest, OpenReportsItselfAndItsFailureAsDebugLines)
{
    const QStringList opening = {"bool OV5642Camera::open(int, std::string, bool)", "camera_mode:", "1", ", ini_file",
                                 QString::fromStdString(kova::kCalibrationBfnIni)};
    const struct {
        const char* name;
        SimulatedVideo::Faults faults;
        QList<QStringList> lines;
    } cases[] = {
        {"sound", {}, {opening}},
        {"no device", with(&SimulatedVideo::Faults::openFailure), {opening, {"[Error] VIDIOC_S_FMT !"}}},
        {"stream refused", with(&SimulatedVideo::Faults::streamOnFailure), {opening, {"[Error] VIDIOC_STREAMON !"}}},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(SimulatedVideo::setFaults(c.faults)) << c.name;
        OV5642Camera camera;
        QSignalSpy lines(&camera, &OV5642Camera::sig_debug_Message);
        camera.open(1, kova::kCalibrationBfnIni, false);
        QList<QStringList> got;
        for (const QList<QVariant>& line : lines)
            got << line.at(0).toStringList();
        EXPECT_EQ(got, c.lines) << c.name;
        camera.close();
    }
}

TEST_F(CameraTest, DeviceThatCannotOpenFailsEveryOpen)
{
    SimulatedVideo::Faults faults;
    faults.openFailure = true;
    ASSERT_TRUE(SimulatedVideo::setFaults(faults));
    OV5642Camera camera;
    EXPECT_FALSE(camera.open(1, kova::kCalibrationBfnIni, false));
    EXPECT_FALSE(camera.isRunning());
    EXPECT_EQ(camera.getFrame(), nullptr);
    EXPECT_FALSE(camera.close());
}

TEST_F(CameraTest, MoreBuffersThanAskedAreAllServed)
{
    SimulatedVideo::Faults faults;
    faults.grant = 7;
    ASSERT_TRUE(SimulatedVideo::setFaults(faults));
    OV5642Camera camera;
    ASSERT_TRUE(camera.open(1, "", false));
    // Every buffer index comes round, none beyond the grant.
    std::set<unsigned> seen;
    EXPECT_TRUE(QTest::qWaitFor([&] {
        unsigned index = 99;
        EXPECT_NE(camera.getFrame(index), nullptr);
        EXPECT_LT(index, 7u);
        seen.insert(index);
        return seen.size() == 7;
    }, 10000));
}

struct BytesUsedCase
{
    const char* name;
    unsigned bytesUsed;
    int green;  // centre-column pixels that show as corrupt green
};

class CameraBytesUsed : public CameraTest, public ::testing::WithParamInterface<BytesUsedCase> {};

TEST_P(CameraBytesUsed, CopiesNoMoreThanTheBufferAndShowsAShortFrameAsCorrupt)
{
    const BytesUsedCase& c = GetParam();
    SimulatedVideo::Faults faults;
    faults.bytesUsed = c.bytesUsed;
    ASSERT_TRUE(SimulatedVideo::setFaults(faults));
    OV5642Camera camera;
    ASSERT_TRUE(camera.open(1, "", false));
    int green, pink, black;
    camera.checkGreenPinkBlackImage(camera.getFrame(), green, pink, black, 0.3f);
    EXPECT_EQ(green, c.green);
}

INSTANTIATE_TEST_SUITE_P(Claims, CameraBytesUsed,
                         ::testing::Values(BytesUsedCase{"farBeyondTheBuffer", 0xFFFFFFF0u, 0},
                                           BytesUsedCase{"halfAFrame", 1280 * 960, 480}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CameraTest, NoFrameYetGivesABlackFrame)
{
    SimulatedVideo::Faults faults;
    faults.noFrame = true;
    ASSERT_TRUE(SimulatedVideo::setFaults(faults));
    OV5642Camera camera;
    ASSERT_TRUE(camera.open(1, "", false));
    unsigned char* frame = camera.getFrame();
    ASSERT_NE(frame, nullptr);
    int green, pink, black;
    EXPECT_TRUE(camera.checkGreenPinkBlackImage(frame, green, pink, black, 0.3f));
    EXPECT_EQ(black, 960);
    EXPECT_EQ(camera.getGreenMean(frame), 0);
}

TEST_F(CameraTest, FramesFollowExposureAndStage)
{
    OV5642Camera camera;
    ASSERT_TRUE(camera.open(1, "", false));
    const int reference = camera.getGreenMean(camera.getFrame());
    EXPECT_GT(reference, 100);

    ASSERT_TRUE(camera.setRegister(0x3501, 500));
    EXPECT_TRUE(frameUntil(camera, [&](unsigned char* rgb) { return camera.getGreenMean(rgb) < reference * 0.6; }));
    ASSERT_TRUE(camera.setRegister(0x3501, SimulatedVideo::kReferenceExposure));
    EXPECT_TRUE(frameUntil(camera, [&](unsigned char* rgb) { return camera.getGreenMean(rgb) >= reference - 2; }));

    const double sharp = brenner(greenPlane(camera.getFrame(), 1280, 960));
    root.setStage(CameraRoot::kFocus + 2048);
    EXPECT_TRUE(frameUntil(camera, [&](unsigned char* rgb) {
        return brenner(greenPlane(rgb, 1280, 960)) < sharp / 2;
    }));
}

TEST_F(CameraTest, ReopensInAnotherMode)
{
    OV5642Camera camera;
    ASSERT_TRUE(camera.open(1, kova::kCalibrationBfnIni, false));
    ASSERT_TRUE(camera.close());
    ASSERT_TRUE(camera.open(2, "", false));
    EXPECT_EQ(camera.width(), 2592);
    int green, pink, black;
    EXPECT_FALSE(camera.checkGreenPinkBlackImage(camera.getFrame(), green, pink, black, 0.3f));
    // The register cache keeps the 1280 values apart from the full-size ones.
    EXPECT_EQ(camera.cachedRegister(0).value, 0);
}

// At full size a floating mean of a uniform frame came out just under its
// level, so a frame at exactly the reference was refused by the worker.
TEST_F(CameraTest, GreenMeanOfAUniformFullFrameIsItsLevel)
{
    OV5642Camera camera;
    ASSERT_TRUE(camera.open(2, "", false));
    ASSERT_EQ(camera.width(), 2592);
    for (unsigned char level : {1, 116, 254, 255}) {
        const std::vector<unsigned char> frame(2592 * 1944 * 3, level);
        EXPECT_EQ(camera.getGreenMean(const_cast<unsigned char*>(frame.data())), level);
    }
    std::vector<unsigned char> almost(2592 * 1944 * 3, 116);
    almost[1] = 115;  // one green byte below: the mean truncates to 115
    EXPECT_EQ(camera.getGreenMean(almost.data()), 115);
}

TEST_F(CameraTest, StatisticsOfAFrame)
{
    OV5642Camera camera;
    ASSERT_TRUE(camera.open(0, "", false));
    std::vector<unsigned char> frame(640 * 480 * 3);
    for (std::size_t i = 0; i < frame.size(); i += 3) {
        frame[i] = 30;
        frame[i + 1] = 60;
        frame[i + 2] = (i / 3) % 2 ? 100 : 80;
    }
    EXPECT_EQ(camera.getGreenMean(frame.data()), 60);
    EXPECT_FLOAT_EQ(camera.getIntensityMean(frame.data(), 0x3401), 30);
    EXPECT_FLOAT_EQ(camera.getIntensityMean(frame.data(), 0x3402), 60);
    EXPECT_FLOAT_EQ(camera.getIntensityMean(frame.data(), 0x3405), 90);
    EXPECT_FLOAT_EQ(camera.getIntensityMean(frame.data(), 0x3501), 30);
    float m2, m1, m0, s2, s1, s0;
    camera.getIntensityMeanStd(frame.data(), m2, m1, m0, s2, s1, s0);
    EXPECT_FLOAT_EQ(m2, 90);
    EXPECT_FLOAT_EQ(m0, 30);
    EXPECT_FLOAT_EQ(s2, 10);
    EXPECT_FLOAT_EQ(s0, 0);
}

}  // namespace
