#include "Calibration/CalibrationCamera.h"

#include "Camera/OV5642Camera.h"
#include "KovaCore/KovaCoreApp.h"

#include "platform/Log.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

constexpr int kWaitSliceMs = 20;

// What the GUI thread and the waiting thread share about one opening.
struct Opening
{
    QSemaphore done;
    std::atomic<bool> abandoned{false};
    std::atomic<bool> running{false};
};

bool cameraRuns()
{
    return theApp.m_pCamera && theApp.m_pCamera->isRunning();
}

}  // namespace

AppCalibrationCamera::AppCalibrationCamera(std::function<void()> openInGuiThread)
    : m_open(std::move(openInGuiThread))
{
}

bool AppCalibrationCamera::open()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread()) {
        m_open();
        return cameraRuns();
    }
    auto opening = std::make_shared<Opening>();
    QMetaObject::invokeMethod(
        app,
        [open = m_open, opening] {
            if (opening->abandoned)
                return;
            open();
            opening->running = cameraRuns();
            opening->done.release();
        },
        Qt::QueuedConnection);
    while (!opening->done.tryAcquire(1, kWaitSliceMs)) {
        if (QThread::currentThread()->isInterruptionRequested()) {
            opening->abandoned = true;
            KLOG << "camera opening abandoned: the step was stopped";
            return false;
        }
    }
    return opening->running;
}

void AppCalibrationCamera::close()
{
    if (theApp.m_pCamera)
        theApp.m_pCamera->close();
}

bool AppCalibrationCamera::setRegister(std::uint16_t reg, std::uint16_t value)
{
    return theApp.m_pCamera && theApp.m_pCamera->setRegister(reg, value);
}

std::uint16_t AppCalibrationCamera::getRegister(std::uint16_t reg)
{
    return theApp.m_pCamera ? theApp.m_pCamera->getRegister(reg) : 0;
}

unsigned AppCalibrationCamera::frameIndex()
{
    unsigned index = 0;
    if (theApp.m_pCamera)
        theApp.m_pCamera->getFrame(index);
    return index;
}

CalibrationCamera::Means AppCalibrationCamera::reading()
{
    Means means;
    if (!theApp.m_pCamera)
        return means;
    unsigned index = 0;
    if (unsigned char* rgb = theApp.m_pCamera->getFrame(index))
        theApp.m_pCamera->getIntensityMean(rgb, means.r, means.g, means.b);
    return means;
}
