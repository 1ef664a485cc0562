#include "Calibration/CalibratingThread.h"

#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "ScriptedCalibrationCamera.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

#include <map>
#include <memory>
#include <optional>

namespace {

using Means = CalibrationCamera::Means;
constexpr std::uint16_t kExposure = 0x3501;
constexpr std::uint16_t kGreen = 0x3402;
constexpr std::uint16_t kBlue = 0x3404;

// A worker on a scripted camera (not started: its parts are called directly,
// or run() in its thread), with no settling pauses.
class CalibratingThreadTest : public ::testing::Test
{
protected:
    CalibratingThreadTest()
    {
        auto owned = std::make_unique<ScriptedCalibrationCamera>();
        camera = owned.get();
        camera->registers = {{0x3400, 0x0400}, {kGreen, 0x0400}, {kBlue, 0x0400}, {kExposure, 1000}};
        worker.setCamera(std::move(owned));
        worker.setSettleMs(0);
    }
    // A scene whose green is `green(exposure)`, blue and red the same.
    void sceneOf(std::function<float(int)> green)
    {
        camera->scene = [green](const ScriptedCalibrationCamera& c) {
            const float g = green(c.value(kExposure));
            return Means{g, g, g};
        };
    }
    std::vector<std::uint16_t> exposures() const { return camera->writesTo(kExposure); }

    CalibratingThread worker;
    ScriptedCalibrationCamera* camera;
};

TEST_F(CalibratingThreadTest, SearchBracketsTheFirstPresetAboveTheTarget)
{
    struct Row
    {
        const char* name;
        std::function<float(int)> green;
        int result;
        std::uint16_t exposure;
        int presetsMeasured;
    };
    const Row rows[] = {
        {"first two presets above: the third is measured, presets 2 and 3 bracket",
         [](int e) { return 0.8f * e - 5; }, 0, 193, 3},
        {"the twelfth is the first above: 11 and 12", [](int e) { return 0.1f * e + 21; }, 0, 1290, 12},
        {"none above: estimate 0, too dark there", [](int e) { return 0.1f * e; }, -1000, 0, 12},
        {"none above, but 0 happens to read 148", [](int e) { return e == 0 ? 148.0f : 0.1f * e; }, 0, 0, 12},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        camera->writes.clear();
        sceneOf(row.green);
        const CalibratingThread::Search search =
            worker.calibrateIntensity(1, CalibratingThread::kPresetsStep1, CalibratingThread::kTarget);
        EXPECT_EQ(search.result, row.result);
        EXPECT_EQ(search.exposure, row.exposure);
        ASSERT_EQ(int(search.points.size()), row.presetsMeasured);
        std::vector<std::uint16_t> expected(CalibratingThread::kPresetsStep1,
                                            CalibratingThread::kPresetsStep1 + row.presetsMeasured);
        expected.push_back(row.exposure);
        EXPECT_EQ(exposures(), expected) << "each preset once, then the estimate";
        EXPECT_EQ(camera->value(kExposure), row.exposure) << "the estimate stays in the sensor";
        EXPECT_EQ(camera->writesTo(0x350A), std::vector<std::uint16_t>{0}) << "sensor gain off";
    }
}

// The estimate is checked once: its green, rounded, within 5 of 150.
TEST_F(CalibratingThreadTest, EstimateIsAcceptedWithinFiveOfTheTarget)
{
    const struct
    {
        float verified;
        int result;
    } rows[] = {{145.0f, 0}, {155.0f, 0}, {144.5f, 0}, {144.0f, -1000}, {156.0f, -1000}, {155.5f, -1000}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.verified);
        // 140 at 700, 160 at 800: the estimate is 750, which reads `verified`.
        sceneOf([&](int e) { return e == 750 ? row.verified : 0.2f * e; });
        const CalibratingThread::Search search =
            worker.calibrateIntensity(1, CalibratingThread::kPresetsStep1, CalibratingThread::kTarget);
        EXPECT_EQ(search.exposure, 750);
        EXPECT_EQ(search.result, row.result);
    }
}

TEST_F(CalibratingThreadTest, SearchRefusesLightThatDoesNotFollowTheExposure)
{
    sceneOf([](int) { return 2.0f; });
    EXPECT_EQ(worker.calibrateIntensity(1, CalibratingThread::kPresetsStep1, 150.0f).result, -1001);
    sceneOf([](int e) { return std::min(0.87f * e, 255.0f); });
    EXPECT_EQ(worker.calibrateIntensity(1, CalibratingThread::kPresetsStep1, 150.0f).result, -1002);
}

TEST_F(CalibratingThreadTest, ExposureThatNeverHoldsEndsAfterTenTries)
{
    sceneOf([](int e) { return 0.2f * e; });
    camera->holdsWrites = false;
    EXPECT_EQ(worker.calibrateIntensity(1, CalibratingThread::kPresetsStep1, 150.0f).result, -1003);
    EXPECT_EQ(exposures(), std::vector<std::uint16_t>(10, 200));
}

TEST_F(CalibratingThreadTest, SettlingEndsAtTheSixthNewFrameOrAfterTenPolls)
{
    const struct
    {
        const char* name;
        std::deque<unsigned> indices;
        int polls;
    } rows[] = {
        {"a new frame every poll", {1, 2, 3, 0, 1, 2, 3}, 6},
        {"none ever", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 10},
        {"one, then none", {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, 10},
        {"two, the second after five polls", {1, 1, 1, 1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, 15},
    };
    for (const auto& row : rows) {
        camera->indices = row.indices;
        camera->indexCalls = 0;
        worker.waitForSettledFrames();
        EXPECT_EQ(camera->indexCalls, row.polls) << row.name;
    }
}

TEST_F(CalibratingThreadTest, ColourSearch)
{
    struct Row
    {
        const char* name;
        std::uint16_t startGain;
        std::map<std::uint16_t, float> blueByGain;  // anything else reads 100
        int result;
        std::uint16_t gain;
        std::vector<std::uint16_t> written;
    };
    const Row rows[] = {
        {"within 145 to 155: nothing written", 0x0500, {{0x0500, 146.0f}}, 0, 0x0500, {}},
        {"up in steps of 32", 0x0500, {{0x0500, 120.0f}, {0x0520, 130.0f}, {0x0540, 152.0f}}, 0, 0x0540,
         {0x0520, 0x0540}},
        {"past the band: the secant", 0x0500, {{0x0500, 120.0f}, {0x0520, 140.0f}, {0x0540, 160.0f}}, 0, 0x0530,
         {0x0520, 0x0540, 0x0530}},
        {"an overshoot in the first round is not examined", 0x0500,
         {{0x0500, 120.0f}, {0x0520, 170.0f}, {0x0540, 200.0f}}, 0, 0x050A, {0x0520, 0x0540, 0x050A}},
        {"equal readings give no secant: the last gain", 0x0500,
         {{0x0500, 120.0f}, {0x0520, 160.4f}, {0x0540, 160.9f}}, 0, 0x0540, {0x0520, 0x0540}},
        {"down to 0 and no further", 0x0040, {{0x0040, 200.0f}, {0x0020, 190.0f}, {0x0000, 180.0f}}, -1003, 0,
         {0x0020, 0x0000}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        camera->writes.clear();
        camera->registers[kBlue] = row.startGain;
        const std::map<std::uint16_t, float> blue = row.blueByGain;
        camera->scene = [blue](const ScriptedCalibrationCamera& c) {
            const auto found = blue.find(c.value(kBlue));
            return Means{0.0f, 150.0f, found == blue.end() ? 100.0f : found->second};
        };
        const CalibratingThread::Balance balance = worker.balanceColor2(kBlue, CalibratingThread::kTarget);
        EXPECT_EQ(balance.result, row.result);
        EXPECT_EQ(balance.gain, row.gain);
        EXPECT_EQ(camera->writesTo(kBlue), row.written);
    }
}

TEST_F(CalibratingThreadTest, ColourThatNeverComesEndsAfter64Rounds)
{
    camera->scene = [](const ScriptedCalibrationCamera&) { return Means{150.0f, 150.0f, 0.0f}; };
    const CalibratingThread::Balance balance = worker.balanceColor2(kBlue, 150.0f);
    EXPECT_EQ(balance.result, -1003);
    EXPECT_EQ(camera->writesTo(kBlue).size(), 64u);
}

// run() in its thread: the files a step writes, on a root with three full
// register files and a settings file.
class CalibrationStepTest : public CalibratingThreadTest
{
protected:
    CalibrationStepTest()
    {
        const QByteArray group = "0x3400=0x04\n0x3401=0x00\n0x3402=0x04\n0x3403=0x00\n0x3404=0x04\n0x3405=0x00\n"
                                 "0x3501=0x03\n0x3502=0xE8\n0x350A=0x00\n0x350B=0x00\n";
        for (const char* file : kFiles)
            root.writeFile(file, "[1280]\n" + group + "\n[5M]\n" + group + "\n[VGA]\n" + group);
        root.writeFile(kova::kMainIni, "[Calibration]\nLast calibration=-\n");
        theApp.m_strDateTime = QStringLiteral("09 Feb 2024 08:05");
        theApp.m_Calibration.Last_calibration = QStringLiteral("-");
    }
    int runStep(int step)
    {
        QSignalSpy completed(&worker, &CalibratingThread::Calibrate_completed);
        worker.setStep(step);
        worker.start();
        EXPECT_TRUE(worker.wait(60000));
        EXPECT_EQ(completed.size(), 1) << "one code per run";
        EXPECT_EQ(camera->closes, 1) << "the camera is closed at the end";
        return completed.value(0).value(0).toInt();
    }
    // Each file a step may write: its bytes, or none when no file is there.
    std::map<QString, std::optional<QByteArray>> files() const
    {
        std::map<QString, std::optional<QByteArray>> contents;
        for (const char* file : {kova::kCalibrationBfnIni, kova::kCalibrationCusIni, kova::kAutoExposureIni,
                                 kova::kMainIni}) {
            if (QFileInfo(root.path(file)).isFile())
                contents[file] = root.readFile(file);
            else
                contents[file] = std::nullopt;
        }
        return contents;
    }
    QByteArray key(const char* file, const char* group, const char* name) const
    {
        const QList<QByteArray> lines = root.readFile(file).split('\n');
        bool inGroup = false;
        for (const QByteArray& line : lines) {
            if (line.startsWith('['))
                inGroup = line == QByteArray("[") + group + "]";
            else if (inGroup && line.startsWith(QByteArray(name) + "="))
                return line.mid(qstrlen(name) + 1);
        }
        return QByteArray();
    }

    static constexpr const char* kFiles[] = {kova::kCalibrationBfnIni, kova::kCalibrationCusIni,
                                              kova::kAutoExposureIni};
    TempRoot root;
};

TEST_F(CalibrationStepTest, StepOneWritesTheGainsEverywhereAndTheCountingExposureIntoBfn)
{
    camera->registers[0x3400] = 0;  // an unset red gain is made neutral first
    camera->scene = evenField(196.0f, 196.0f, 166.6f);  // blue 15 % low
    EXPECT_EQ(runStep(1), 0);
    EXPECT_EQ(camera->writesTo(0x3400), std::vector<std::uint16_t>{0x0500});
    EXPECT_EQ(CUR_CAL_INI, kova::kCalibrationBfnIni);

    // The search finds 765 (green 196 at 1000); blue needs 0x04A0 there.
    for (const char* file : kFiles) {
        for (const char* group : {"VGA", "1280", "5M"}) {
            SCOPED_TRACE(std::string(file) + " " + group);
            EXPECT_EQ(key(file, group, "0x3400"), "0x05");
            EXPECT_EQ(key(file, group, "0x3401"), "0x00");
            EXPECT_EQ(key(file, group, "0x3402"), "0x04");
            EXPECT_EQ(key(file, group, "0x3403"), "0x00");
            EXPECT_EQ(key(file, group, "0x3404"), "0x04");
            EXPECT_EQ(key(file, group, "0x3405"), "0xA0");
        }
    }
    // 765 × 1.14 = 872 (0x0368); × 0.26 = 226 (0xE2).
    for (const char* group : {"VGA", "1280"}) {
        EXPECT_EQ(key(kova::kCalibrationBfnIni, group, "0x3501"), "0x03");
        EXPECT_EQ(key(kova::kCalibrationBfnIni, group, "0x3502"), "0x68");
    }
    EXPECT_EQ(key(kova::kCalibrationBfnIni, "5M", "0x3501"), "0x00");
    EXPECT_EQ(key(kova::kCalibrationBfnIni, "5M", "0x3502"), "0xE2");
    EXPECT_EQ(key(kova::kCalibrationBfnIni, "5M", "0x350A"), "0x00");
    for (const char* file : {kova::kCalibrationCusIni, kova::kAutoExposureIni})
        EXPECT_EQ(key(file, "1280", "0x3502"), "0xE8") << file << ": exposure untouched";
    EXPECT_EQ(key(kova::kMainIni, "Calibration", "Last calibration"), "09 Feb 2024 08:05");
    EXPECT_EQ(theApp.m_Calibration.Last_calibration, "09 Feb 2024 08:05");
    EXPECT_FALSE(theApp.m_bAutoExposureOn);
}

TEST_F(CalibrationStepTest, StepTwoWritesOnlyTheViabilityExposure)
{
    camera->scene = evenField(90.0f, 120.0f, 60.0f);  // 150 at 1250
    const auto before = files();
    EXPECT_EQ(runStep(2), 0);
    EXPECT_EQ(CUR_CAL_INI, kova::kCalibrationCusIni);
    EXPECT_EQ(key(kova::kCalibrationCusIni, "1280", "0x3501"), "0x04");
    EXPECT_EQ(key(kova::kCalibrationCusIni, "1280", "0x3502"), "0xE2");  // 1250
    EXPECT_EQ(key(kova::kCalibrationCusIni, "5M", "0x3502"), "0x45");     // 325
    EXPECT_EQ(key(kova::kCalibrationCusIni, "1280", "0x3404"), "0x04") << "gains stay";
    EXPECT_TRUE(camera->writesTo(kBlue).empty());
    const auto after = files();
    EXPECT_EQ(after.at(kova::kCalibrationBfnIni), before.at(kova::kCalibrationBfnIni));
    EXPECT_EQ(after.at(kova::kAutoExposureIni), before.at(kova::kAutoExposureIni));
}

TEST_F(CalibrationStepTest, FailedStepWritesNothing)
{
    const auto before = files();
    camera->scene = evenField(2.0f, 2.0f, 2.0f);
    EXPECT_EQ(runStep(1), -1001);
    EXPECT_EQ(files(), before);
    EXPECT_EQ(theApp.m_Calibration.Last_calibration, "-");
}

TEST_F(CalibrationStepTest, UnwritableFileEndsTheStepUnstamped)
{
    QFile::remove(root.path(kova::kAutoExposureIni));
    QDir().mkpath(root.path(kova::kAutoExposureIni));  // a folder where the file should be
    camera->scene = evenField(196.0f, 196.0f, 196.0f);
    EXPECT_EQ(runStep(1), -1004);
    EXPECT_EQ(key(kova::kMainIni, "Calibration", "Last calibration"), "-");
    EXPECT_EQ(theApp.m_Calibration.Last_calibration, "-");
    EXPECT_EQ(key(kova::kCalibrationBfnIni, "1280", "0x3502"), "0xE8") << "no exposure after the failure";
}

// A step whose write fails part-way, on a fresh root each.
struct WriteFailure
{
    const char* name;
    int step;
    const char* folder;   // a folder where this file should be: its writes fail
    const char* missing;  // a file that is not there before the step
};

void PrintTo(const WriteFailure& row, std::ostream* out)
{
    *out << row.name;
}

class WriteFailureTest : public CalibrationStepTest, public ::testing::WithParamInterface<WriteFailure>
{
};

TEST_P(WriteFailureTest, LeavesEveryFileAsItWas)
{
    const WriteFailure& row = GetParam();
    camera->scene = row.step == 1 ? evenField(196.0f, 196.0f, 196.0f) : evenField(90.0f, 120.0f, 60.0f);
    QFile::remove(root.path(row.folder));
    ASSERT_TRUE(QDir().mkpath(root.path(row.folder)));
    if (row.missing) {
        ASSERT_TRUE(QFile::remove(root.path(row.missing)));
    }
    const auto before = files();

    EXPECT_EQ(runStep(row.step), -1004);
    EXPECT_EQ(files(), before);
    EXPECT_TRUE(QFileInfo(root.path(row.folder)).isDir());
    EXPECT_EQ(theApp.m_Calibration.Last_calibration, "-");
}

INSTANTIATE_TEST_SUITE_P(
    PartWay, WriteFailureTest,
    ::testing::Values(
        WriteFailure{"StepOneFirstRegisterFile", 1, kova::kCalibrationBfnIni, nullptr},
        WriteFailure{"StepOneSecondRegisterFileAfterTheFirstsGains", 1, kova::kCalibrationCusIni, nullptr},
        WriteFailure{"StepOneThirdRegisterFileAfterTwoFilesGains", 1, kova::kAutoExposureIni, nullptr},
        WriteFailure{"StepOneStampAfterAllGainsAndTheExposure", 1, kova::kMainIni, nullptr},
        WriteFailure{"StepOneStampWithARegisterFileNew", 1, kova::kMainIni, kova::kAutoExposureIni},
        WriteFailure{"StepTwoRegisterFile", 2, kova::kCalibrationCusIni, nullptr},
        WriteFailure{"StepTwoStampAfterTheExposure", 2, kova::kMainIni, nullptr},
        WriteFailure{"StepTwoStampWithItsRegisterFileNew", 2, kova::kMainIni, kova::kCalibrationCusIni}),
    [](const ::testing::TestParamInfo<WriteFailure>& info) { return std::string(info.param.name); });

TEST_F(CalibrationStepTest, CameraThatDoesNotOpenIsItsOwnCode)
{
    camera->opens = false;
    EXPECT_EQ(runStep(1), -1005);
}

}  // namespace
