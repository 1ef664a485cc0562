#include "Camera/VerifierGrabThread.h"

#include "Camera/OV5642Camera.h"

namespace verifier {

GrabThread::GrabThread(QObject* parent)
    : QThread(parent)
{
}

void GrabThread::registerCamera(OV5642Camera* camera, unsigned char* buffer)
{
    emit sig_debug_Message({QStringLiteral("void GrabThread::registerCamera(OV5642Camera*, uchar*)")});
    m_camera = camera;
    m_pBuffer = buffer;
    m_bStop = false;
    m_bGrab = true;
}

void GrabThread::run()
{
    emit sig_debug_Message({QStringLiteral("virtual void GrabThread::run()")});
    while (!m_bStop) {
        // Converted straight into the window's buffer: the camera's own
        // buffer is the GUI thread's (capture, autofocus, QC).
        if (m_bGrab && m_camera->copyFrame(m_pBuffer)) {
            m_bGrab = false;
            emit grabDone();
        }
        QThread::usleep(kPollMicroseconds);
    }
}

}  // namespace verifier
