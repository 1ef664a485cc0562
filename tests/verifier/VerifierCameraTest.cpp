#include "VerifierWindowFixture.h"

#include "Camera/OV5642Camera.h"
#include "Camera/VerifierGrabThread.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaPaths.h"

#include "Settings/VerifierSettings.h"
#include "WhenModal.h"

#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>

#include <opencv2/imgcodecs.hpp>

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

namespace {

class VerifierCamTabTest : public VerifierWindowTest
{
protected:
    QString text(const char* name) const { return widget<QLineEdit>(name)->text(); }
    bool enabled(const char* name) const { return widget<QPushButton>(name)->isEnabled(); }
    void setSensor(int reg, int value) const
    {
        SimulatedI2c::setRegisterValue(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress,
                                       std::uint16_t(reg), std::uint8_t(value));
    }
};

}  // namespace

// The sensor values read back and stepped: each step is written to the
// sensor and into the row of the staining and resolution in use.
TEST_F(VerifierCamTabTest, SensorValuesReadBackAndStepped)
{
    open();
    setSensor(0x350A, 0x01);
    setSensor(0x350B, 0xEF);
    window->getCamera_reg();
    EXPECT_EQ(text("EDIT_GAIN"), "0x01EF");
    EXPECT_TRUE(enabled("BUTTON_GAIN_FINE_UP"));
    EXPECT_FALSE(enabled("BUTTON_GAIN_COARSE_UP"));

    auto& tables = ::global_ini()->regTables;
    const auto before = std::vector<uint16_t>(&tables[0][0][0], &tables[0][0][0] + 3 * 3 * kRegisterCount * 2);
    widget<QPushButton>("BUTTON_GAIN_FINE_UP")->click();  // 0x1F0: a step enables both up buttons
    EXPECT_EQ(text("EDIT_GAIN"), "0x01F0");
    EXPECT_TRUE(enabled("BUTTON_GAIN_COARSE_UP"));
    widget<QLineEdit>("EDIT_GAIN")->setText("0x01F8");
    widget<QPushButton>("BUTTON_GAIN_COARSE_UP")->click();
    EXPECT_EQ(text("EDIT_GAIN"), "0x01FF");
    EXPECT_FALSE(enabled("BUTTON_GAIN_FINE_UP"));
    EXPECT_FALSE(enabled("BUTTON_GAIN_COARSE_UP"));
    EXPECT_EQ(SimulatedI2c::registerValue(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress, 0x350B), 0xFF);
    // NTB at 1280: only the 1280 row of the BFN table changed, columns 2 and 3.
    auto after = std::vector<uint16_t>(&tables[0][0][0], &tables[0][0][0] + 3 * 3 * kRegisterCount * 2);
    const std::size_t row = (REG_TABLE_BFN * 3 + REG_ROW_1280) * kRegisterCount;
    EXPECT_EQ(after[row + 2], 0x01);
    EXPECT_EQ(after[row + 3], 0xFF);
    after[row + 2] = before[row + 2];
    after[row + 3] = before[row + 3];
    EXPECT_EQ(after, before);

    widget<QPushButton>("BUTTON_EXPOSURE_FINE_UP")->click();  // a step up enables both down buttons
    widget<QLineEdit>("EDIT_EXPOSURE")->setText("0x0005");
    widget<QPushButton>("BUTTON_EXPOSURE_COARSE_DOWN")->click();
    EXPECT_EQ(text("EDIT_EXPOSURE"), "0x0000");
    EXPECT_FALSE(enabled("BUTTON_EXPOSURE_FINE_DOWN"));
    EXPECT_FALSE(enabled("BUTTON_EXPOSURE_COARSE_DOWN"));

    SimulatedI2c::clearWrites(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress);
    window->set_EXPOSURE(0x1234);
    EXPECT_EQ(text("EDIT_EXPOSURE"), "0x1234");
    EXPECT_EQ(sensorWrites(), (std::vector<std::pair<int, int>>{{0x3501, 0x12}, {0x3502, 0x34}}));
}

// The LED level typed (0 to 999) or stepped, and switched off and on.
TEST_F(VerifierCamTabTest, LedLevelAndSwitch)
{
    open();
    auto* field = widget<QLineEdit>("EDIT_LED");
    std::size_t before = mcu.frames().size();
    field->setText("abc");
    QTest::keyClick(field, Qt::Key_Return);
    field->setText("1000");
    QTest::keyClick(field, Qt::Key_Return);
    EXPECT_EQ(framesFrom(before), std::vector<std::string>({"$,LED4,BRT,0,\r\n"}));
    EXPECT_EQ(::global_ini()->LED, 0);

    field->setText("995");
    widget<QPushButton>("BUTTON_LED_COARSE_UP")->click();
    EXPECT_EQ(field->text(), "1000");
    EXPECT_FALSE(enabled("BUTTON_LED_FINE_UP"));
    EXPECT_FALSE(enabled("BUTTON_LED_COARSE_UP"));
    field->setText("7");
    widget<QPushButton>("BUTTON_LED_COARSE_DOWN")->click();
    EXPECT_EQ(field->text(), "0");
    EXPECT_FALSE(enabled("BUTTON_LED_FINE_DOWN"));
    EXPECT_TRUE(enabled("BUTTON_LED_FINE_UP"));
    EXPECT_EQ(mcu.state().brightness, 0);

    before = mcu.frames().size();
    auto* led = widget<QPushButton>("BUTTON_LED");
    led->click();
    EXPECT_FALSE(field->isEnabled());
    EXPECT_FALSE(enabled("BUTTON_LED_FINE_UP"));
    EXPECT_FALSE(mcu.state().ledOn);
    led->click();
    EXPECT_TRUE(field->isEnabled());
    EXPECT_TRUE(enabled("BUTTON_LED_COARSE_UP"));
    EXPECT_FALSE(enabled("BUTTON_LED_COARSE_DOWN"));
    EXPECT_EQ(framesFrom(before), std::vector<std::string>({"$,LED4,OFF,,\r\n", "$,LED4,ON,,\r\n"}));
}

TEST_F(VerifierCamTabTest, SkipFrameFrom1To30)
{
    open();
    const struct {
        const char* typed;
        int stored;
        const char* box;
    } cases[] = {
        {"30", 30, "Skip frame value is set. \nPress [Save Ini] to save the value."},
        {"31", 30, "Possible range: 1 to 30"},
        {"0", 30, "Possible range: 1 to 30"},
        {"x", 30, "Possible range: 1 to 30"},
        {"1", 1, "Skip frame value is set. \nPress [Save Ini] to save the value."},
    };
    for (const auto& c : cases) {
        widget<QLineEdit>("EDIT_SKIP_FRAME")->setText(c.typed);
        boxes.plan(QMessageBox::Ok);
        widget<QPushButton>("BUTTON_SKIP_FRAME")->click();
        EXPECT_EQ(boxes.lastText(), c.box) << c.typed;
        EXPECT_EQ(verifier::global_ini()->nSkip_frame, c.stored) << c.typed;
    }
}

// Capture writes the frame as TIFF under the chosen name with one ".tif";
// without a stick, or cancelled, nothing.
TEST_F(VerifierCamTabTest, CaptureToTheStick)
{
    open();
    auto* capture = widget<QPushButton>("BUTTON_CAPTURE");
    boxes.plan(QMessageBox::Ok);
    capture->click();
    EXPECT_EQ(boxes.lastText(), "Please insert USB disk !!!");
    window.reset();
    link.reset();

    ASSERT_FALSE(sticks.insert(QStringLiteral("stick")).isEmpty());
    open();
    const QString folder = sticks.stickFolder(QStringLiteral("stick"));
    // Capture, answering the save dialog with `name` (empty: cancel). The
    // name is typed: selectFile() leaves the name field alone while it has
    // the focus.
    const auto captureAs = [&](const QString& name) {
        WhenModal<QFileDialog> save([&](QFileDialog* dialog) {
            if (name.isEmpty()) {
                dialog->reject();
                return;
            }
            dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(root.path("/mnt/") + name);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        widget<QPushButton>("BUTTON_CAPTURE")->click();
        EXPECT_TRUE(save.done());
        EXPECT_TRUE(window->isEnabled());
    };
    const struct {
        const char* name;
        const char* written;
    } cases[] = {{"", nullptr}, {"frame", "frame.tif"}, {"again.tif", "again.tif"}, {"linked", "linked.tif"}};
    // A link planted at a chosen name is replaced, never written through.
    ASSERT_TRUE(QFile::link(root.path("/outside.tif"), folder + "/linked.tif"));
    for (const auto& c : cases) {
        captureAs(c.name);
        if (c.written) {
            const cv::Mat written = cv::imread((folder + "/" + c.written).toStdString());
            EXPECT_EQ(written.cols, 1280) << c.written;
            EXPECT_EQ(written.rows, 960) << c.written;
        }
    }
    EXPECT_FALSE(QFileInfo::exists(root.path("/outside.tif")));
    const QStringList captured{"again.tif", "frame.tif", "linked.tif"};
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), captured);

    // A camera that gives no frame: nothing written, and said so.
    platform::SimulatedVideo::Faults faults;
    faults.streamOnFailure = true;
    ASSERT_TRUE(platform::SimulatedVideo::setFaults(faults));
    widget<QPushButton>("BUTTON_RESOLUTION_1280")->click();
    boxes.plan(QMessageBox::Ok);
    captureAs(QStringLiteral("dark"));
    EXPECT_EQ(boxes.lastText(), "/mnt/dark.tif saving failed !!!");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), captured);
}
