#include "VerifierWindowFixture.h"

#include "Camera/OV5642Camera.h"
#include "Camera/VerifierGrabThread.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaPaths.h"

#include <QPushButton>

#include <atomic>

using platform::SimulatedI2c;
using platform::SimulatedVideo;

namespace {

// The sensor writes since the last clear, as (register, value) pairs.
std::vector<std::pair<int, int>> sensorWrites()
{
    std::vector<std::pair<int, int>> pairs;
    for (const auto& bytes : SimulatedI2c::writes(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress)) {
        if (bytes.size() == 3)
            pairs.emplace_back(bytes[0] << 8 | bytes[1], bytes[2]);
    }
    return pairs;
}

}  // namespace

// Each resolution and staining opens the camera with the ten registers of
// that row of that staining's table.
TEST_F(VerifierWindowTest, EachModeWritesItsStainingsRow)
{
    open();
    for (int table : {REG_TABLE_CUS, REG_TABLE_BFN}) {
        for (int row = 0; row < 3; ++row) {
            for (int column = 0; column < kRegisterCount; ++column)
                ::global_ini()->regTables[table][row][column] = static_cast<uint16_t>(table * 100 + row * 10 + column);
        }
    }
    const struct {
        const char* staining;
        const char* resolution;
        int table, row;
    } cases[] = {
        {"BUTTON_STAINING_TB", "BUTTON_RESOLUTION_5M", REG_TABLE_CUS, 2},
        {"BUTTON_STAINING_TB", "BUTTON_RESOLUTION_VGA", REG_TABLE_CUS, 0},
        {"BUTTON_STAINING_NTB", "BUTTON_RESOLUTION_1280", REG_TABLE_BFN, 1},
        {"BUTTON_STAINING_NTB", "BUTTON_RESOLUTION_5M", REG_TABLE_BFN, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.staining) + " " + c.resolution);
        widget<QPushButton>(c.staining)->click();
        SimulatedI2c::clearWrites(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress);
        widget<QPushButton>(c.resolution)->click();
        std::vector<std::pair<int, int>> expected;
        for (int column = 0; column < kRegisterCount; ++column)
            expected.emplace_back(kSensorRegisters[column], c.table * 100 + c.row * 10 + column);
        EXPECT_EQ(sensorWrites(), expected);
        EXPECT_EQ(widget<QPushButton>(c.resolution)->styleSheet(), verifier::KOVA_II_Plus_Verifier::kHighlight);
        EXPECT_EQ(window->currentResolution(), c.row);
    }
    // The navigator's marker by resolution.
    EXPECT_EQ(window->navigatorRect(), QRect(0, 0, 20, 15));
    widget<QPushButton>("BUTTON_RESOLUTION_1280")->click();
    EXPECT_EQ(window->navigatorRect(), QRect(0, 0, 40, 30));
    widget<QPushButton>("BUTTON_RESOLUTION_VGA")->click();
    EXPECT_EQ(window->navigatorRect(), QRect(0, 0, 80, 60));
}

TEST_F(VerifierWindowTest, AnUnknownRegisterFileWritesNoRegister)
{
    OV5642Camera camera;
    SimulatedI2c::clearWrites(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress);
    ASSERT_TRUE(camera.open(1, "/opt/KOVA3/conf/Other.ini", false));
    EXPECT_TRUE(sensorWrites().empty());
    EXPECT_NE(camera.getFrame(false, 40, 20, 100), nullptr);
    camera.close();
    EXPECT_EQ(camera.getFrame(false, 40, 20, 100), nullptr) << "after close";
}

// The frame thread copies one frame, then waits for the window's grab();
// stop() ends it at its next poll whether or not a grab came.
TEST_F(VerifierWindowTest, FrameThreadHasOneFrameInFlight)
{
    OV5642Camera camera;
    ASSERT_TRUE(camera.open(0, kova::kCalibrationBfnIni, false));
    std::vector<unsigned char> buffer(camera.frameSize(), 0);
    verifier::GrabThread thread;
    std::atomic<int> frames{0};
    QObject::connect(&thread, &verifier::GrabThread::grabDone, &thread, [&] { ++frames; }, Qt::DirectConnection);
    thread.registerCamera(&camera, buffer.data());
    thread.start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames == 1; }, kWaitMs));
    EXPECT_NE(std::count(buffer.begin(), buffer.end(), 0), long(buffer.size())) << "a frame was copied";
    QTest::qWait(100);  // ten polls without grab()
    EXPECT_EQ(frames, 1);
    thread.grab();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames == 2; }, kWaitMs));

    thread.stop();
    EXPECT_TRUE(thread.wait(kWaitMs));
    camera.close();
}
