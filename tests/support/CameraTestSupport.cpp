#include "CameraTestSupport.h"

#include "KovaCore/GlobalIni.h"
#include "McuState.h"
#include "Slide.h"

#include "platform/SimulatedI2c.h"
#include "platform/SimulatedVideo.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <QFile>

#include <gtest/gtest.h>

CameraRoot::CameraRoot()
{
    platform::SimulatedI2c::attach(platform::SimulatedVideo::kSensorBus);
    std::copy(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx);

    platform::SimulatedVideo::setSlide("/sim/slide.png", kFocus);
    cv::Mat bgr;
    cv::cvtColor(slide(), bgr, cv::COLOR_RGB2BGR);
    if (!cv::imwrite(QFile::encodeName(path("/sim/slide.png")).toStdString(), bgr))
        ADD_FAILURE() << "cannot write the slide";
    setStage(kFocus);
}

void CameraRoot::setStage(int position, int brightness) const
{
    McuState state;
    state.position = position;
    state.brightness = brightness;
    state.write(path(McuState::kStateFile));
}

const cv::Mat& CameraRoot::slide()
{
    static const cv::Mat rgb = previewSlide(150);
    return rgb;
}

cv::Mat previewSlide(int cellCount)
{
    slide::SlideParams params;
    params.width = 1280;
    params.height = 960;
    params.cellCount = cellCount;
    params.minDiameter = 5;
    params.maxDiameter = 10;
    params.noise = 0;
    return slide::generateSlide(params).rgb;
}

double brenner(const cv::Mat& plane)
{
    cv::Mat a, b, diff;
    plane.colRange(2, plane.cols).convertTo(a, CV_32F);
    plane.colRange(0, plane.cols - 2).convertTo(b, CV_32F);
    diff = a - b;
    return diff.dot(diff);
}

cv::Mat greenPlane(const unsigned char* rgb, int width, int height)
{
    cv::Mat green;
    cv::extractChannel(cv::Mat(height, width, CV_8UC3, const_cast<unsigned char*>(rgb)), green, 1);
    return green;
}
