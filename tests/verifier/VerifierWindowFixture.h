#pragma once

#include "KOVA_II_Plus_Verifier.h"

#include "Controller/VerifierController.h"
#include "McuSimulator.h"
#include "MessageBoxAnswerer.h"
#include "TempRoot.h"
#include "UsbSticks.h"

#include "platform/SimulatedI2c.h"
#include "platform/SimulatedVideo.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QSignalSpy>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <QTest>
#include <QTimer>

#include <memory>
#include <string>
#include <vector>

// The verifier's window on the simulated microcontroller (its link is the
// test's, with short waits), the simulated camera and the root's stick
// stand-ins; every message box is answered by `boxes`.
class VerifierWindowTest : public ::testing::Test
{
protected:
    static constexpr int kWaitMs = 10000;  // for what comes at once on an idle machine
    static constexpr char kNormalMode[] = "[KOVA-III]\nZig%20mode=Off\n";

    void SetUp() override
    {
        ASSERT_TRUE(platform::SimulatedI2c::attach(platform::SimulatedVideo::kSensorBus));
        ASSERT_TRUE(sticks.installStandIns());
        ASSERT_TRUE(mcu.start());
        ASSERT_TRUE(mcu.linkAt());
        mcu.setStepTime(std::chrono::microseconds(0));
    }

    void TearDown() override
    {
        window.reset();
        link.reset();
        mcu.stop();
        EXPECT_EQ(boxes.unplanned, 0) << boxes.lastText().toStdString();
    }

    // Register files with the sensor's reference levels (exposure 1000, gain
    // and colour gains 1x) in every mode, so the camera shows the slide's own
    // light.
    void writeReferenceCalibration() const
    {
        QByteArray text;
        for (const char* group : {"VGA", "1280", "5M"})
            text += QByteArray("[") + group
                + "]\n0x3501=0x03\n0x3502=0xE8\n0x350A=0x00\n0x350B=0x00\n0x3400=0x04\n0x3401=0x00\n"
                  "0x3402=0x04\n0x3403=0x00\n0x3404=0x04\n0x3405=0x00\n";
        root.writeFile(QStringLiteral("/opt/KOVA3/conf/Calibration_BFN.ini"), text);
        root.writeFile(QStringLiteral("/opt/KOVA3/conf/Calibration_CUS.ini"), text);
    }

    // Puts a slide (RGB) before the camera, sharp at `focus`.
    bool showSlide(const cv::Mat& rgb, int focus) const
    {
        cv::Mat bgr;
        cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
        root.writeFile(QStringLiteral("/sim/slide.png"), QByteArray());
        return cv::imwrite(root.path(QStringLiteral("/sim/slide.png")).toStdString(), bgr)
            && platform::SimulatedVideo::setSlide(QStringLiteral("/sim/slide.png"), focus);
    }

    // Writes KOVA3.ini and opens the window on it.
    void open(const QByteArray& kova3 = kNormalMode)
    {
        root.writeFile(QStringLiteral("/opt/KOVA3/conf/KOVA3.ini"), kova3);
        link = std::make_unique<verifier::Controller>();
        link->setTimeouts(500, 1000);
        window = std::make_unique<verifier::KOVA_II_Plus_Verifier>();
        window->setCameraSettleTime(0);
    }

    // Whether the code asked the application to quit (no event loop runs
    // then: each returns at once), and the request withdrawn, so the tests
    // after it can run modal boxes again.
    static bool takeQuitRequest()
    {
        QEventLoop probe;
        QTimer::singleShot(0, &probe, [&] { probe.exit(1); });
        const bool requested = probe.exec() == -1;
        // The application's own loop starts by clearing the request.
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        return requested;
    }

    template <class Widget>
    Widget* widget(const char* name) const
    {
        auto* found = window->findChild<Widget*>(QLatin1String(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // The command frames the microcontroller received from `from` on.
    std::vector<std::string> framesFrom(std::size_t from) const
    {
        const std::vector<std::string> all = mcu.frames();
        return from < all.size() ? std::vector<std::string>(all.begin() + long(from), all.end())
                                 : std::vector<std::string>();
    }

    TempRoot root;
    kovasim::UsbSticks sticks{root.root()};
    McuSimulator mcu;
    MessageBoxAnswerer boxes;
    std::unique_ptr<verifier::Controller> link;
    std::unique_ptr<verifier::KOVA_II_Plus_Verifier> window;
};
