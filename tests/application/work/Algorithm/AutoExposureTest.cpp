#include "Algorithm/AutoExposure.h"

#include "File_IO/ini.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaPaths.h"
#include "TempRoot.h"

#include <QSettings>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <vector>

namespace {

using Outcome = AutoExposure::Result::Outcome;

// In a script of greens: the camera gives no new picture.
constexpr int kNothingNew = -1;

// A camera whose picture's green follows a model of the exposure, or a
// script of greens one per measurement; it records every exposure written.
struct ScriptedCamera
{
    AutoExposure::Camera access()
    {
        AutoExposure::Camera camera;
        camera.measureGreen = [this]() -> std::optional<int> {
            if (!script.empty()) {
                const int green = script.front();
                script.erase(script.begin());
                if (green == kNothingNew)
                    return std::nullopt;
                return green;
            }
            return model(exposure);
        };
        camera.readExposure = [this] { return exposure; };
        camera.writeExposure = [this](unsigned short e) {
            exposure = e;
            written.push_back(e);
        };
        return camera;
    }

    unsigned short exposure = 1000;
    std::function<int(int)> model = [](int) { return 0; };
    std::vector<int> script;
    std::vector<int> written;
};

struct SearchCase
{
    const char* name;
    int start;
    std::function<int(int)> model;
    std::vector<int> script;
    Outcome outcome;
    int exposure;       // the last exposure written (0: none)
    std::vector<int> firstWrites;
    int measurements;
};

class Search : public ::testing::TestWithParam<SearchCase> {};

TEST_P(Search, FindsTheExposureForGreen150OrStopsAsItShould)
{
    const SearchCase& c = GetParam();
    ScriptedCamera camera;
    camera.exposure = static_cast<unsigned short>(c.start);
    if (c.model)
        camera.model = c.model;
    camera.script = c.script;

    const AutoExposure::Result result = AutoExposure::search(camera.access());

    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.exposure, c.exposure);
    EXPECT_EQ(result.measurements, c.measurements);
    const std::vector<int> first(camera.written.begin(),
                                 camera.written.begin() + std::min(camera.written.size(), c.firstWrites.size()));
    EXPECT_EQ(first, c.firstWrites);
    if (c.exposure) {
        EXPECT_EQ(camera.written.back(), c.exposure);
    }
}

const auto linear = [](double perStep) { return [perStep](int e) { return std::min(255, int(e * perStep)); }; };

INSTANTIATE_TEST_SUITE_P(
    Cases, Search,
    ::testing::Values(
        // Green 120 at 1000: the estimate 1250 gives 150 and is measured once more.
        SearchCase{"estimateHits", 1000, linear(0.12), {}, Outcome::Converged, 1250, {1250, 1250}, 3},
        SearchCase{"blackPicture", 1000, linear(0.0), {}, Outcome::BlackPicture, 0, {}, 1},
        // Green 9 at 4000: the estimate 66667 is out of range.
        SearchCase{"nearlyBlack", 4000, {}, {9}, Outcome::EstimateOutOfRange, 0, {}, 1},
        // Never brighter than 140: steps up to 4100, which changes nothing, so the result is the range's end.
        SearchCase{"stillTooDarkAt4000", 1000, [](int e) { return std::min(140, e * 14 / 100); }, {},
                   Outcome::OutOfBand, 4000, {1071, 1171, 1271}, 33},
        // Always brighter than 160: steps down below 200, the interpolation is held at 200.
        SearchCase{"tooBright", 1000, [](int e) { return 160 + e / 100; }, {}, Outcome::OutOfBand, 200,
                   {882, 782, 682}, 10},
        SearchCase{"bandLowEdge", 1000, {}, {150, 145, 145}, Outcome::Converged, 1000, {1000, 1000}, 3},
        SearchCase{"bandHighEdge", 1000, {}, {150, 155, 155}, Outcome::Converged, 1000, {1000, 1000}, 3},
        // Just below the band: one step up crosses 150, interpolated between 144 and 152.
        SearchCase{"belowBandInterpolated", 1000, {}, {150, 144, 152, 150}, Outcome::Converged, 1075,
                   {1000, 1100, 1075}, 4},
        SearchCase{"aboveBandInterpolated", 1000, {}, {150, 156, 148, 150}, Outcome::Converged, 925,
                   {1000, 900, 925}, 4},
        SearchCase{"interpolatedOutOfBand", 1000, {}, {150, 144, 152, 160}, Outcome::OutOfBand, 1075,
                   {1000, 1100, 1075}, 4},
        // A camera that gives nothing new ends the search at that measurement,
        // with the exposure it started from written back when another was written.
        SearchCase{"stalledAtOnce", 1000, {}, {kNothingNew}, Outcome::CameraStalled, 0, {}, 1},
        SearchCase{"stalledAfterTheEstimate", 1000, {}, {120, kNothingNew}, Outcome::CameraStalled, 1000,
                   {1250, 1000}, 2},
        SearchCase{"stalledWhileStepping", 1000, {}, {150, 140, 142, kNothingNew}, Outcome::CameraStalled, 1000,
                   {1000, 1100, 1200, 1000}, 4},
        SearchCase{"stalledAtTheLastMeasurement", 1000, {}, {150, 144, 152, kNothingNew}, Outcome::CameraStalled,
                   1000, {1000, 1100, 1075, 1000}, 4}),
    [](const auto& info) { return std::string(info.param.name); });

// The keys of AutoExposure.ini as hexadecimal texts by group and register.
QString key(const char* group, const char* reg)
{
    std::string value;
    ini_read(group, reg, "missing", value, kova::kAutoExposureIni);
    return QString::fromStdString(value);
}

class SaveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::copy(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx);
        root.writeFile(kova::kCalibrationCusIni,
                       "[VGA]\n0x3501=0x07\n0x3502=0x07\n[1280]\n0x3501=0x09\n0x3502=0x09\n0x350A=0x01\n"
                       "[5M]\n0x3501=0x05\n0x3502=0x05\n");
    }

    TempRoot root;
};

TEST_F(SaveTest, WritesTheExposureAndItsFullResolutionShareIntoACopyOfTheTrypanBlueCalibration)
{
    const struct
    {
        unsigned short exposure;
        const char* high1280;
        const char* low1280;
        const char* high5M;
        const char* low5M;
    } cases[] = {
        {1000, "0x03", "0xE8", "0x01", "0x04"},  // 5M: 260
        {1234, "0x04", "0xD2", "0x01", "0x40"},  // 5M: 320
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.exposure);
        QString error;
        ASSERT_TRUE(AutoExposure::save(c.exposure, &error)) << error.toStdString();
        EXPECT_EQ(key("1280", "0x3501"), c.high1280);
        EXPECT_EQ(key("1280", "0x3502"), c.low1280);
        EXPECT_EQ(key("5M", "0x3501"), c.high5M);
        EXPECT_EQ(key("5M", "0x3502"), c.low5M);
        // The rest comes from the calibration copied when the file was missing.
        EXPECT_EQ(key("VGA", "0x3501"), "0x07");
        EXPECT_EQ(key("1280", "0x350A"), "0x01");
        const uint16_t* row1280 = global_ini()->regTables[REG_TABLE_AUTO_EXPOSURE][REG_ROW_1280];
        EXPECT_EQ(row1280[0], QString(c.high1280).toUInt(nullptr, 16));
        EXPECT_EQ(row1280[1], QString(c.low1280).toUInt(nullptr, 16));
        EXPECT_EQ(row1280[2], 0x01);
        EXPECT_EQ(global_ini()->regTables[REG_TABLE_AUTO_EXPOSURE][REG_ROW_5M][1],
                  QString(c.low5M).toUInt(nullptr, 16));
    }
}

TEST_F(SaveTest, AMissingCalibrationIsAFailureWithItsReason)
{
    QFile::remove(root.path(kova::kCalibrationCusIni));
    QString error;
    EXPECT_FALSE(AutoExposure::save(1000, &error));
    EXPECT_TRUE(error.contains("Calibration_CUS.ini")) << error.toStdString();
}

}  // namespace
