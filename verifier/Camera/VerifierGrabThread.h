#pragma once

#include <QStringList>
#include <QThread>

#include <atomic>

class OV5642Camera;

namespace verifier {

// The verifier's live-view thread: one frame in flight. Once grab() has been
// called (registerCamera does it for the first frame) the next poll copies the
// camera's newest frame into the window's buffer and emits grabDone(); no
// further frame is copied until the window, having drawn it, calls grab()
// again. Polls every 10 ms; stop() ends the loop at its next poll.
class GrabThread : public QThread
{
    Q_OBJECT

public:
    static constexpr unsigned long kPollMicroseconds = 10000;

    explicit GrabThread(QObject* parent = nullptr);

    // The camera to read and the buffer to fill (one RGB24 frame of the
    // camera's current mode); neither is owned. Precedes start().
    void registerCamera(OV5642Camera* camera, unsigned char* buffer);
    void stop() { m_bStop = true; }

public slots:
    void grab() { m_bGrab = true; }

signals:
    void grabDone();
    void sig_debug_Message(QStringList msg);

protected:
    void run() override;

private:
    OV5642Camera* m_camera = nullptr;
    unsigned char* m_pBuffer = nullptr;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bGrab{false};
};

}  // namespace verifier
