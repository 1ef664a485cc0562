#include "Camera/GrabThread.h"

#include "Camera/OV5642Camera.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>
#include <QFile>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstring>

namespace {

// Where saveError writes; a developer's folder, mapped under the root.
constexpr char kErrorImageDir[] = "/KOVA/debug/grab";

}  // namespace

GrabThread::GrabThread(QObject* parent)
    : QThread(parent)
{
    emit sig_debug_Message(QStringList{QStringLiteral("GrabThread::GrabThread(QObject*)")});
}

void GrabThread::registerCamera(OV5642Camera* camera, unsigned char* preview)
{
    emit sig_debug_Message(QStringList{QStringLiteral("void GrabThread::registerCamera(OV5642Camera*, uchar*)")});
    m_camera = camera;
    m_pPreview = preview;
    m_nFrameSize = camera ? camera->frameSize() : 0;
    m_bStop = false;
    m_bReady = true;
}

bool GrabThread::copyFrame()
{
    const unsigned char* frame = m_camera->getFrame();
    if (!frame)
        return false;
    std::memcpy(m_pPreview, frame, m_nFrameSize);
    return true;
}

void GrabThread::run()
{
    if (!m_camera || !m_pPreview || !m_camera->isRunning())
        return;
    m_nBadFrames = 0;

    for (;;) {
        int green = 0, pink = 0, black = 0;
        const bool bad = !copyFrame()
            || m_camera->checkGreenPinkBlackImage(m_pPreview, green, pink, black, kBlackRatio);
        KLOG << " --> green, pink, black : " << green << pink << black;
        if (!bad)
            break;
        if (++m_nBadFrames >= kStartupAttempts) {
            KLOG << " --> grab emit2";
            if (m_bReportStartupError)
                emit signalTransmissionError();
            else
                emit signalCameraInitialize();
            return;
        }
        if (m_bStop)
            return;
    }

    while (!m_bStop) {
        if (m_bReady) {
            if (copyFrame()) {
                // Cleared first: an answer that comes during the emit must stand.
                m_bReady = false;
                emit grabDone();
            }
        } else if (m_nWaitCount++ > m_nIdlePolls) {
            // The screen did not answer: send the next frame anyway.
            m_bReady = true;
            m_nBadFrames = 0;
            m_nWaitCount = 0;
        }
        QThread::usleep(m_nPollInterval);
    }
}

void GrabThread::grab()
{
    m_nBadFrames = 0;
    m_nWaitCount = 0;
    m_bReady = true;
}

void GrabThread::saveError(uchar* buf)
{
    if (!m_camera || !buf)
        return;
    ++m_nSaveCount;
    const QString dir = platform::rootPath(QString::fromLatin1(kErrorImageDir));
    QDir().mkpath(dir);
    const cv::Mat rgb(m_camera->height(), m_camera->width(), CV_8UC3, buf);
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    const QString file = dir + QLatin1Char('/') + QString::number(m_nSaveCount) + QStringLiteral(".tif");
    if (!cv::imwrite(QFile::encodeName(file).toStdString(), bgr))
        KLOG << "[Error] saveError:" << file;
}
