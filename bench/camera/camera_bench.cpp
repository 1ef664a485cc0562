// kova_camera_bench: getFrame at 1280 × 960 and 2592 × 1944 on the simulated
// camera, which bounds the live frame rate and the count's capture step, and
// the simulated camera's cost of rendering one frame; the illumination
// calibration's reading (a frame and its channel means) and a whole
// calibration step without its settling pauses.
#include "Calibration/CalibratingThread.h"
#include "Camera/OV5642Camera.h"
#include "KovaCore/KovaCoreApp.h"
#include "Slide.h"

#include "platform/SimulatedI2c.h"
#include "platform/SimulatedVideo.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <linux/videodev2.h>

namespace {

// A simulated instrument root with a generated full-size slide at focus.
class BenchRoot
{
public:
    BenchRoot()
    {
        qputenv("KOVA3_ROOT", m_dir.path().toLocal8Bit());
        platform::SimulatedVideo::setSlide("/sim/slide.png", platform::SimulatedVideo::kDefaultFocus);
        cv::Mat bgr;
        cv::cvtColor(slide::generateSlide(slide::SlideParams()).rgb, bgr, cv::COLOR_RGB2BGR);
        cv::imwrite(QFile::encodeName(m_dir.path() + "/sim/slide.png").toStdString(), bgr);
    }

private:
    QTemporaryDir m_dir;
};

BenchRoot& root()
{
    static BenchRoot instance;
    return instance;
}

void BM_GetFrame(benchmark::State& state)
{
    root();
    OV5642Camera camera;
    if (!camera.open(static_cast<int>(state.range(0)), "", false)) {
        state.SkipWithError("the camera does not open");
        return;
    }
    camera.getFrame();  // waits for the first frame
    for (auto _ : state)
        benchmark::DoNotOptimize(camera.getFrame());
    state.SetLabel(std::to_string(camera.width()) + "x" + std::to_string(camera.height()));
    camera.close();
}
BENCHMARK(BM_GetFrame)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Repetitions(5)->ReportAggregatesOnly(true);

void BM_SimulatedFrame(benchmark::State& state)
{
    root();
    const int width = static_cast<int>(state.range(0));
    const int height = width * 3 / 4;
    auto device = platform::VideoDevice::open("/dev/video0");
    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = width;
    format.fmt.pix.height = height;
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    v4l2_requestbuffers request{};
    request.count = 1;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    v4l2_buffer buffer{};
    buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buffer.memory = V4L2_MEMORY_MMAP;
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!device || device->ioctl(VIDIOC_S_FMT, &format) || device->ioctl(VIDIOC_REQBUFS, &request)
        || device->ioctl(VIDIOC_QBUF, &buffer) || device->ioctl(VIDIOC_STREAMON, &type)) {
        state.SkipWithError("the simulated camera does not stream");
        return;
    }
    for (auto _ : state) {
        // The frame period is the device's pacing, not its cost: wait outside the timing.
        state.PauseTiming();
        device->waitReadable(1000);
        state.ResumeTiming();
        device->ioctl(VIDIOC_DQBUF, &buffer);
        device->ioctl(VIDIOC_QBUF, &buffer);
    }
}
BENCHMARK(BM_SimulatedFrame)->Arg(1280)->Arg(2592)->Unit(benchmark::kMillisecond)->UseRealTime()
    ->Iterations(20)->Repetitions(3)->ReportAggregatesOnly(true);

// theApp's camera at 1280 × 960 on an empty bright field, with the sensor's
// bus standing, as the calibration worker uses it.
class CalibrationCameraScope
{
public:
    CalibrationCameraScope()
    {
        root();
        platform::SimulatedI2c::attach(platform::SimulatedVideo::kSensorBus);
        platform::SimulatedVideo::setSlide("/sim/none.png", platform::SimulatedVideo::kDefaultFocus);
        theApp.m_pCamera = new OV5642Camera;
    }
    ~CalibrationCameraScope()
    {
        delete theApp.m_pCamera;
        theApp.m_pCamera = nullptr;
        platform::SimulatedVideo::setSlide("/sim/slide.png", platform::SimulatedVideo::kDefaultFocus);
    }
    static std::unique_ptr<CalibrationCamera> camera()
    {
        return std::make_unique<AppCalibrationCamera>([] { theApp.m_pCamera->open(1, CUR_CAL_INI, false); });
    }
};

// One reading of the calibration: the newest frame converted to RGB and its
// three channel means (exact sums over the 1.2 million pixels).
void BM_CalibrationReading(benchmark::State& state)
{
    CalibrationCameraScope scope;
    const std::unique_ptr<CalibrationCamera> camera = CalibrationCameraScope::camera();
    if (!camera->open()) {
        state.SkipWithError("the camera does not open");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(camera->reading());
    camera->close();
}
BENCHMARK(BM_CalibrationReading)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Step 1 of the illumination calibration on the empty field, in its thread,
// without the settling pauses (two of 500 ms per exposure setting on the
// instrument): what the readings, the settling polls, the register traffic
// and the file writes cost.
void BM_CalibrationStep(benchmark::State& state)
{
    CalibrationCameraScope scope;
    int result = 0;
    for (auto _ : state) {
        CalibratingThread worker;
        worker.setCamera(CalibrationCameraScope::camera());
        worker.setSettleMs(0);
        worker.setStep(1);
        QObject::connect(&worker, &CalibratingThread::Calibrate_completed, [&result](int code) { result = code; });
        worker.start();
        // The camera is opened in this (the GUI) thread.
        while (!worker.wait(5))
            QCoreApplication::processEvents();
    }
    if (result != 0)
        state.SkipWithError(("the step ended with " + std::to_string(result)).c_str());
}
BENCHMARK(BM_CalibrationStep)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3)->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
