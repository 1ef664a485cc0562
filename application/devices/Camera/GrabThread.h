#pragma once

#include <QStringList>
#include <QThread>

#include <atomic>

class OV5642Camera;

// The live view's frame thread. It first checks that the freshly opened
// camera delivers frames that are not colour-corrupt, then copies the newest
// frame into the screen's preview buffer and emits grabDone(), one frame at a
// time: the next frame follows the screen's answer grab(), or, when the
// screen does not answer, a little more than 100 polls later.
class GrabThread : public QThread
{
    Q_OBJECT

public:
    static constexpr int kStartupAttempts = 10;
    static constexpr unsigned kIdlePolls = 100;
    static constexpr float kBlackRatio = 0.3f;

    explicit GrabThread(QObject* parent = nullptr);
    ~GrabThread() override = default;

    // The camera to read and the RGB24 buffer to fill (at least one frame of
    // the camera's current mode); neither is owned. Precedes start().
    void registerCamera(OV5642Camera* camera, unsigned char* preview);

    // Ends the live loop at its next poll; set before quit() and wait().
    void requestStop() { m_bStop = true; }
    // What a failed start-up check does: false (the default) emits
    // signalCameraInitialize(); true emits signalTransmissionError() for the
    // owner to show the image transmission error (message 48) in the GUI thread.
    void setReportStartupError(bool report) { m_bReportStartupError = report; }
    // Time between two polls of the live loop (10 ms by default), and the polls
    // without an answer after which a frame is sent anyway (kIdlePolls).
    void setPollInterval(unsigned long microseconds) { m_nPollInterval = microseconds; }
    void setIdlePolls(unsigned polls) { m_nIdlePolls = polls; }

public slots:
    // The screen has drawn the last frame: the next one may come.
    void grab();
    // Writes an RGB24 frame of the camera's mode as the next numbered TIFF file
    // of the developer image folder.
    void saveError(uchar* buf);

signals:
    void grabDone();
    void signalCameraInitialize();
    void signalTransmissionError();
    void sig_debug_Message(QStringList msg);

protected:
    void run() override;

private:
    // Copies the newest frame into the preview buffer; false when there is none.
    bool copyFrame();

    OV5642Camera* m_camera = nullptr;
    unsigned char* m_pPreview = nullptr;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bReady{false};
    int m_nFrameSize = 0;
    int m_nSaveCount = 0;
    std::atomic<int> m_nBadFrames{0};
    std::atomic<unsigned> m_nWaitCount{0};
    std::atomic<bool> m_bReportStartupError{false};
    std::atomic<unsigned long> m_nPollInterval{10000};
    std::atomic<unsigned> m_nIdlePolls{kIdlePolls};
};
