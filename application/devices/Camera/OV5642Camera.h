#pragma once

#include <QObject>
#include <QStringList>

#include <linux/videodev2.h>

#include <array>
#include <cstdint>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {
class VideoDevice;
}

// One sensor register and its value.
struct reg_value_s
{
    unsigned short reg;
    unsigned short value;
};

// The instrument's five-megapixel image sensor behind the V4L2 capture driver
// ("/dev/video0") and the I2C bus ("/dev/i2c-1", slave 0x3C). Once open, a
// capture thread dequeues frames without pause; getFrame converts the newest
// one to packed RGB24. Register access, statistics and the corrupt-frame test
// serve the live view, the counting worker, autofocus and calibration.
//
// Frames reach getFrame through three copy slots: the capture thread fills a
// slot that is neither the newest frame nor the one being converted, then
// publishes it, so a conversion never reads a slot being written and never
// holds the capture thread up.
class OV5642Camera : public QObject
{
    Q_OBJECT

public:
    static constexpr int kModes = 3;
    static constexpr int kCalibrationRegisters = 10;
    static constexpr int kCopySlots = 3;
    // How long getFrame waits for the first frame after an open: the wait
    // ends as soon as the frame comes, and on a loaded machine the first one
    // can take several frame periods (at 2592 × 1944 one is 200 ms).
    static constexpr int kFirstFrameTimeoutMs = 5000;

    // Mode 0, the device opened (init); owned by `parent` when one is given.
    explicit OV5642Camera(QObject* parent = nullptr);
    ~OV5642Camera() override;

    void init();
    // Mode 0 (640 × 480), 1 (1280 × 960) or 2 (2592 × 1944); the calibration
    // file's registers are written after stream-on. False when the stream
    // cannot be started (nothing is then held).
    bool open(int mode, std::string calibration_ini, bool full_init);
    virtual bool close();
    // True between a successful open and close.
    virtual bool isRunning() const { return m_bRunning; }

    int mode() const { return m_nMode; }
    int width() const { return m_nWidth; }
    int height() const { return m_nHeight; }
    // The frame size of the open mode, under the names the callers know.
    int getWidth() const { return width(); }
    int getHeight() const { return height(); }
    // Bytes of one RGB24 frame of the current mode.
    int frameSize() const { return m_nFrameSize; }

    // The newest frame as RGB24 in the camera's own buffer (overwritten by the
    // next call); null when the camera is not open. The arguments have no effect.
    virtual unsigned char* getFrame(bool = false, unsigned char = 0, unsigned char = 0, unsigned char = 0);
    // The same, with the driver's index of the buffer the frame came in.
    virtual unsigned char* getFrame(unsigned int& index, bool = false, unsigned char = 0, unsigned char = 0,
                                    unsigned char = 0);
    // The first frame exposed wholly after this call (the one being exposed
    // now saw what came before: the second new frame from now), as
    // getFrame(index) gives it; when no two come within the time-out, the
    // newest there is, and `stalled` (if given) tells whether none came at
    // all. Null when the camera is not open.
    unsigned char* getSettledFrame(int timeoutMs, bool* stalled = nullptr);
    // The newest frame converted straight into `rgb` (one RGB24 frame of the
    // current mode), for a thread that keeps its own copy while another takes
    // frames with getFrame; false when the camera is not open.
    bool copyFrame(unsigned char* rgb);

    bool get(unsigned short reg, unsigned short& value);
    bool set(unsigned short reg, unsigned short value);
    unsigned short getRegister(unsigned short reg);
    bool setRegister(unsigned short reg, unsigned short value);
    int setRegisters(unsigned int count);
    bool loadRegisters(std::string ini);
    static int getRegisterIndex(unsigned short reg);
    bool setCrop(bool crop);

    int getGreenMean(unsigned char* rgb);
    void getIntensityMean(unsigned char* rgb, float& c0, float& c1, float& c2);
    float getIntensityMean(unsigned char* rgb, unsigned short reg);
    void getIntensityMeanStd(unsigned char* rgb, float& m2, float& m1, float& m0, float& s2, float& s1,
                             float& s0);
    bool checkGreenPinkBlackImage(unsigned char* rgb, int& green, int& pink, int& black, float black_ratio);

    // The cached value of a calibration register in the current mode.
    reg_value_s cachedRegister(int column) const { return m_RegCache[m_nMode][column]; }

    static void sws_yuv2rgb24(int width, int height, unsigned char* yuyv, unsigned char* rgb);

signals:
    // A debug line: the opening's signature with its mode and register file,
    // and each failure of an open or close; logged as well. Nothing in the
    // programs shows it yet.
    void sig_debug_Message(QStringList msg);

protected:
    // Takes the frame size of `mode`; false for an unknown mode.
    bool setGeometry(int mode);

private:
    struct MappedBuffer
    {
        void* start = nullptr;
        std::size_t length = 0;
    };

    int xioctl(unsigned long request, void* arg, const std::string& what);
    // Logs `lines` and sends them as sig_debug_Message.
    void report(const QStringList& lines);
    static void video_grabber_thread(OV5642Camera* camera);
    void captureFrame(const v4l2_buffer& buffer);
    int freeSlot() const;
    // Converts the newest frame into `rgb`; under m_convertMutex.
    void convertNewest(unsigned char* rgb, unsigned int& index);
    void release();

    std::unique_ptr<platform::VideoDevice> m_device;  // held for the object's whole life
    std::vector<MappedBuffer> m_pBuffers;
    std::thread m_thread;
    int m_nMode = 0;
    int m_nWidth = 0;
    int m_nHeight = 0;
    int m_nFrameSize = 0;
    reg_value_s m_RegCache[kModes][kCalibrationRegisters] = {};
    std::atomic<bool> m_bRunning{false};
    std::unique_ptr<unsigned char[]> m_pRGB;
    unsigned int m_nBuffers = 0;
    std::vector<reg_value_s> m_RegList;

    // The frame hand-over between the capture thread and getFrame.
    mutable std::mutex m_frameMutex;
    std::condition_variable m_frameArrived;
    std::array<std::vector<unsigned char>, kCopySlots> m_FrameCopy;
    std::array<unsigned int, kCopySlots> m_SlotBufferIndex = {};
    int m_nNewest = -1;   // slot of the newest frame; -1 before the first
    int m_nReading = -1;  // slot getFrame converts
    bool m_bFirstFrameWaited = false;
    unsigned int m_nLastIndex = 0;  // driver buffer of the newest frame, kept across opens
    std::mutex m_convertMutex;      // one conversion into m_pRGB at a time
};
