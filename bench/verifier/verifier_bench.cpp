// The factory verifier's costs: the QC point search on a full frame, one
// autofocus sample, live frames shown a second per resolution, and the
// camera tab's save of both register files.
#include "KOVA_II_Plus_Verifier.h"

#include "Algorithm/VerifierAutofocus.h"
#include "Camera/OV5642Camera.h"
#include "Controller/VerifierController.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaPaths.h"
#include "QC/QC_measure.h"
#include "Settings/VerifierSettings.h"

#include "McuSimulator.h"
#include "Slide.h"
#include "TempRoot.h"

#include "platform/SimulatedI2c.h"
#include "platform/SimulatedVideo.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QSettings>
#include <QTest>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <memory>

using platform::SimulatedVideo;

namespace {

// A QC target: two discs 430 pixels apart in the first view.
const slide::Slide& qcTarget()
{
    static const slide::Slide target = slide::drawTarget(2592, 1944, {{100, 240}, {530, 240}}, 30);
    return target;
}

// The point search as QC_measure::setPoint does it: its whole-frame filters
// (`wholeFrame`) or the search window and its margin only.
void BM_SetPoint(benchmark::State& state)
{
    verifier::QC_measure widget;
    widget.resize(640, 480);
    widget.setImageData(qcTarget().rgb.data);
    widget.setTargetingMode(true);
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(100, 240), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget, &press);
    const bool wholeFrame = state.range(0) != 0;
    for (auto _ : state) {
        if (wholeFrame) {
            cv::Mat green;
            cv::extractChannel(qcTarget().rgb, green, 1);
            cv::Mat dark;
            cv::threshold(green, dark, 50, 255, cv::THRESH_BINARY_INV);
            cv::medianBlur(dark, dark, 3);
            cv::Mat smooth;
            cv::bilateralFilter(dark, smooth, 5, 95, 95);
            benchmark::DoNotOptimize(smooth.data);
        } else {
            widget.setPoint(0);
        }
    }
    state.SetLabel(wholeFrame ? "whole-frame filters" : "window and margin (setPoint)");
}
BENCHMARK(BM_SetPoint)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// The microcontroller, the image sensor's bus and a slide before the
// simulated camera, in a root of its own; register files at the sensor's
// reference levels.
struct Instrument
{
    Instrument()
    {
        platform::SimulatedI2c::attach(SimulatedVideo::kSensorBus);
        QByteArray registers;
        for (const char* group : {"VGA", "1280", "5M"})
            registers += QByteArray("[") + group
                + "]\n0x3501=0x03\n0x3502=0xE8\n0x3400=0x04\n0x3402=0x04\n0x3404=0x04\n";
        root.writeFile(kova::kCalibrationBfnIni, registers);
        root.writeFile(kova::kMainIni, "[KOVA-III]\nZig%20mode=Off\n");
        slide::SlideParams params;
        params.cellCount = 400;
        cv::Mat bgr;
        cv::cvtColor(slide::generateSlide(params).rgb, bgr, cv::COLOR_RGB2BGR);
        root.writeFile(QStringLiteral("/sim/slide.png"), QByteArray());
        ready = cv::imwrite(root.path(QStringLiteral("/sim/slide.png")).toStdString(), bgr)
            && SimulatedVideo::setSlide(QStringLiteral("/sim/slide.png"), 32000) && mcu.start() && mcu.linkAt();
        mcu.setStepTime(std::chrono::microseconds(0));
        mcu.setPosition(32000);
    }

    TempRoot root;
    McuSimulator mcu;
    bool ready = false;
};

// One autofocus sample at 1280 × 960: a frame exposed after the call (the
// camera's wait for it included) and the Brenner gradient of its green plane.
void BM_AutofocusSample(benchmark::State& state)
{
    Instrument instrument;
    std::copy(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx);
    OV5642Camera camera;
    if (!instrument.ready || !camera.open(1, kova::kCalibrationBfnIni, false)) {
        state.SkipWithError("no simulated instrument");
        return;
    }
    double brennerSeconds = 0;
    for (auto _ : state) {
        const unsigned char* rgb = camera.getSettledFrame(1000);
        QElapsedTimer clock;
        clock.start();
        cv::Mat green;
        cv::extractChannel(cv::Mat(960, 1280, CV_8UC3, const_cast<unsigned char*>(rgb)), green, 1);
        benchmark::DoNotOptimize(verifier::alg_Autofocus::brennerGradient(green));
        brennerSeconds += clock.nsecsElapsed() / 1e9;
    }
    state.counters["brenner_ms"] = brennerSeconds * 1000 / state.iterations();
    camera.close();
}
BENCHMARK(BM_AutofocusSample)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// Live frames drawn a second in the verifier's window, shown, per
// resolution (0 VGA, 1 1280, 2 5M; scaled to fit): each drawn frame asks the
// frame thread for the next.
void BM_LiveFramesShown(benchmark::State& state)
{
    Instrument instrument;
    verifier::Controller link;
    auto window = std::make_unique<verifier::KOVA_II_Plus_Verifier>();
    window->setCameraSettleTime(0);
    window->show();
    const char* const buttons[] = {"BUTTON_RESOLUTION_VGA", "BUTTON_RESOLUTION_1280", "BUTTON_RESOLUTION_5M"};
    window->findChild<QPushButton*>(buttons[state.range(0)])->click();
    if (!instrument.ready || !QTest::qWaitForWindowExposed(window.get())) {
        state.SkipWithError("no simulated instrument");
        return;
    }
    constexpr int kFrames = 20;
    int drawn = 0;
    QObject::connect(window.get(), &verifier::KOVA_II_Plus_Verifier::updateFrameDone, [&drawn] { ++drawn; });
    double seconds = 0;
    for (auto _ : state) {
        drawn = 0;
        QElapsedTimer clock;
        clock.start();
        while (drawn < kFrames && !clock.hasExpired(30000))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        const double elapsed = clock.nsecsElapsed() / 1e9;
        seconds += elapsed;
        state.SetIterationTime(elapsed);
    }
    state.counters["frames_per_s"] = benchmark::Counter(double(kFrames) * state.iterations() / seconds);
    state.SetLabel(buttons[state.range(0)] + 18);
}
BENCHMARK(BM_LiveFramesShown)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Save on the camera tab: the 30 registers of each register file, one
// ini_write (one rewrite of its file) per resolution's row, and the LED into
// KOVA3.ini.
void BM_CameraTabSave(benchmark::State& state)
{
    TempRoot root;
    std::copy(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx);
    for (auto _ : state) {
        QSettings kova3(root.path(kova::kMainIni), QSettings::IniFormat);
        QString failed;
        if (!verifier::writeCameraSettings(kova3, &failed))
            state.SkipWithError("not written");
        kova3.sync();
    }
}
BENCHMARK(BM_CameraTabSave)->Unit(benchmark::kMillisecond);

}  // namespace
