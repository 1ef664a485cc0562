#include "Calibration/CalibratingThread.h"

#include "Camera/OV5642Camera.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"
#include "TestInstrument.h"
#include "VirtualInstrument.h"

#include "platform/SimulatedI2c.h"
#include "platform/SimulatedVideo.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <opencv2/imgcodecs.hpp>

namespace {

// The illumination calibration with the real camera on the tests' virtual
// instrument: the sensor's registers are the ones the simulated camera
// renders with, so a step converges only if the search does.
class CalibrationConvergenceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(instrument.error().isEmpty()) << instrument.error().toStdString();
        theApp.m_strDateTime = QStringLiteral("09 Feb 2024 08:05");
    }
    void TearDown() override
    {
        delete theApp.m_pCamera;
        theApp.m_pCamera = nullptr;
    }

    // Runs a step in its own thread with theApp's camera, opened as the
    // home screen would (1280 × 960, the register file the step chose).
    int runStep(int step)
    {
        CalibratingThread worker;
        worker.setCamera(std::make_unique<AppCalibrationCamera>([] {
            if (!theApp.m_pCamera)
                theApp.m_pCamera = new OV5642Camera;
            theApp.m_pCamera->open(1, CUR_CAL_INI, false);
        }));
        worker.setSettleMs(0);
        worker.setStep(step);
        QSignalSpy completed(&worker, &CalibratingThread::Calibrate_completed);
        worker.start();
        EXPECT_TRUE(completed.wait(120000));
        worker.wait();
        return completed.value(0).value(0).toInt();
    }
    bool showField(double r, double g, double b)
    {
        return instrument.showSlide(cv::Mat(960, 1280, CV_8UC3, cv::Scalar(r, g, b)));
    }
    // The channel means of a frame taken with the calibration files as written.
    cv::Scalar meansWithTheNewFile(const char* file)
    {
        MainSettings::loadCalibrationFiles();
        OV5642Camera camera;
        EXPECT_TRUE(camera.open(1, file, false));
        // Two new frames: the first may have been exposed while the registers were set.
        unsigned index = 0;
        camera.getFrame(index);
        for (int fresh = 0; fresh < 2; ++fresh) {
            const unsigned before = index;
            EXPECT_TRUE(QTest::qWaitFor([&] { return camera.getFrame(index), index != before; }, 30000));
        }
        float r = 0, g = 0, b = 0;
        camera.getIntensityMean(camera.getFrame(index), r, g, b);
        camera.close();
        return cv::Scalar(r, g, b);
    }

    TestInstrument instrument;
};

TEST_F(CalibrationConvergenceTest, StepOneBalancesABlankFieldAndAFieldShortOfBlue)
{
    for (const double blue : {196.0, 196.0 * 0.85}) {
        SCOPED_TRACE(blue);
        ASSERT_TRUE(showField(196, 196, blue));
        EXPECT_EQ(runStep(1), 0);
        const cv::Scalar means = meansWithTheNewFile(kova::kCalibrationBfnIni);
        EXPECT_NEAR(means[1], 171, 8) << "green at 1.14 × the exposure for 150";
        EXPECT_NEAR(means[2], 171, 8) << "blue balanced to green";
        EXPECT_EQ(theApp.m_Calibration.Last_calibration, "09 Feb 2024 08:05");
    }
}

// The virtual instrument is a calibrated instrument: with its factory files
// an empty field is as red as it is green and blue, and a calibration (which
// keeps the red gain at 0x0500) leaves it so.
TEST_F(CalibrationConvergenceTest, VirtualInstrumentsBlankFieldStaysNeutralThroughACalibration)
{
    ASSERT_TRUE(kovasim::VirtualInstrument::writeFactoryCalibration(instrument.root()));
    ASSERT_TRUE(instrument.showBlankSlide());
    const auto expectNeutral = [](const cv::Scalar& rgb, const char* when) {
        EXPECT_NEAR(rgb[0], rgb[1], 0.02 * rgb[1]) << when << ": red against green";
        EXPECT_NEAR(rgb[2], rgb[1], 0.02 * rgb[1]) << when << ": blue against green";
    };
    expectNeutral(meansWithTheNewFile(kova::kCalibrationBfnIni), "factory");
    ASSERT_EQ(runStep(1), 0);
    expectNeutral(meansWithTheNewFile(kova::kCalibrationBfnIni), "calibrated");
}

TEST_F(CalibrationConvergenceTest, StepTwoOnTheGeneratedSlideAfterStepOne)
{
    ASSERT_TRUE(instrument.showBlankSlide());
    ASSERT_EQ(runStep(1), 0);
    ASSERT_TRUE(instrument.showSlide(TestInstrument::generatedSlide().rgb));
    EXPECT_EQ(runStep(2), 0);
    EXPECT_NEAR(meansWithTheNewFile(kova::kCalibrationCusIni)[1], 150, 5) << "the slide at the viability exposure";
}

TEST_F(CalibrationConvergenceTest, LightThatCannotBeCalibratedIsRefusedWithItsCode)
{
    ASSERT_TRUE(instrument.showBlankSlide());
    ASSERT_TRUE(instrument.controller->led_off());
    EXPECT_EQ(runStep(1), -1001) << "LED off";

    ASSERT_TRUE(instrument.controller->led_on());
    ASSERT_TRUE(instrument.controller->led_brightness(1000));
    EXPECT_EQ(runStep(1), -1002) << "a saturating field";
}

TEST_F(CalibrationConvergenceTest, SearchesThatCannotEndStopWithTheirCode)
{
    ASSERT_TRUE(showField(196, 196, 0));
    EXPECT_EQ(runStep(1), -1003) << "a field without blue";

    platform::SimulatedI2c::removeDevice(platform::SimulatedVideo::kSensorBus, platform::SimulatedVideo::kSensorAddress);
    EXPECT_EQ(runStep(1), -1003) << "a sensor that takes no register";
    platform::SimulatedI2c::addDevice(platform::SimulatedVideo::kSensorBus, platform::SimulatedVideo::kSensorAddress, 2);
    EXPECT_EQ(instrument.readFile(kova::kCalibrationBfnIni), QByteArray()) << "nothing written";
}

}  // namespace
