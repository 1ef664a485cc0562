#include "SimulatedVideoInternal.h"

#include "platform/SimulatedI2c.h"
#include "platform/Root.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <linux/videodev2.h>

#include <chrono>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxWidth = 2592;
constexpr int kMaxHeight = 1944;
constexpr unsigned kMaxBuffers = VIDEO_MAX_FRAME;
constexpr std::size_t kPage = 4096;

// The sensor's registers as the renderer reads them.
struct SensorRegisters
{
    unsigned exposure = 0;
    unsigned gain = 0;
    unsigned whiteBalance[3] = {};
};

unsigned readPair(std::uint16_t reg)
{
    const auto high = SimulatedI2c::registerValue(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress, reg);
    const auto low = SimulatedI2c::registerValue(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress,
                                                 reg + 1);
    return (unsigned(high.value_or(0)) << 8) | low.value_or(0);
}

SensorRegisters readSensor()
{
    SensorRegisters sensor;
    sensor.exposure = readPair(0x3501);
    sensor.gain = readPair(0x350A);
    for (int c = 0; c < 3; ++c)
        sensor.whiteBalance[c] = readPair(0x3400 + 2 * c);
    return sensor;
}

// The sensor's power-on values, once per bus and process, as a real sensor
// has them from the board's power-up on.
void powerUpSensor()
{
    static std::mutex mutex;
    static QSet<QString> powered;
    std::lock_guard<std::mutex> lock(mutex);
    const QString bus = rootPath(QString::fromLatin1(SimulatedVideo::kSensorBus));
    if (powered.contains(bus))
        return;
    powered.insert(bus);
    const auto set = [](std::uint16_t reg, unsigned value) {
        SimulatedI2c::setRegisterValue(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress, reg,
                                       value >> 8);
        SimulatedI2c::setRegisterValue(SimulatedVideo::kSensorBus, SimulatedVideo::kSensorAddress, reg + 1,
                                       value & 0xFF);
    };
    set(0x3501, SimulatedVideo::kReferenceExposure);
    set(0x350A, 0);
    for (int c = 0; c < 3; ++c)
        set(0x3400 + 2 * c, 0x400);
}

// The slide as decoded RGB, shared by every simulated camera of the process
// and decoded again only when its file changes: decoding a full-size slide
// costs more than rendering a frame, and every open would pay it before its
// first frame. Read-only for its users.
cv::Mat decodedSlide(const QString& physicalPath, const QString& stamp)
{
    static std::mutex mutex;
    static QString decodedStamp;  // guarded by mutex
    static cv::Mat decoded;       // guarded by mutex
    std::lock_guard<std::mutex> lock(mutex);
    if (stamp != decodedStamp) {
        decodedStamp = stamp;
        decoded.release();
        const cv::Mat bgr = cv::imread(QFile::encodeName(physicalPath).toStdString(), cv::IMREAD_COLOR);
        if (!bgr.empty())
            cv::cvtColor(bgr, decoded, cv::COLOR_BGR2RGB);
    }
    return decoded;
}

class SimulatedDevice : public VideoDevice
{
public:
    SimulatedDevice() { powerUpSensor(); }

    int ioctl(unsigned long request, void* arg) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        switch (request) {
        case VIDIOC_S_FMT:
            return setFormat(*static_cast<v4l2_format*>(arg));
        case VIDIOC_REQBUFS:
            return requestBuffers(*static_cast<v4l2_requestbuffers*>(arg));
        case VIDIOC_QUERYBUF:
            return queryBuffer(*static_cast<v4l2_buffer*>(arg));
        case VIDIOC_QBUF:
            return queueBuffer(*static_cast<v4l2_buffer*>(arg));
        case VIDIOC_DQBUF:
            return dequeueBuffer(*static_cast<v4l2_buffer*>(arg));
        case VIDIOC_STREAMON:
        case VIDIOC_STREAMOFF:
            if (*static_cast<int*>(arg) != V4L2_BUF_TYPE_VIDEO_CAPTURE)
                return fail(EINVAL);
            return request == VIDIOC_STREAMON ? streamOn() : streamOff();
        default:
            return fail(ENOTTY);
        }
    }

    void* map(std::size_t length, std::int64_t offset) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const std::size_t index = offset / stride();
        if (offset < 0 || offset % stride() != 0 || index >= m_buffers.size()
            || length > m_buffers[index].size()) {
            errno = EINVAL;
            return nullptr;
        }
        return m_buffers[index].data();
    }

    int unmap(void*, std::size_t) override { return 0; }

    int waitReadable(int timeoutMs) override
    {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        const bool noFrame = SimulatedVideo::faults().noFrame;
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_streaming)
            return fail(EINVAL);
        for (;;) {
            const bool frameComing = !noFrame && !m_queue.empty();
            if (frameComing && Clock::now() >= m_nextFrame)
                return 1;
            const Clock::time_point until = frameComing ? std::min(deadline, m_nextFrame) : deadline;
            if (m_wake.wait_until(lock, until) == std::cv_status::timeout && until == deadline)
                return frameComing && Clock::now() >= m_nextFrame ? 1 : 0;
            if (!m_streaming)
                return fail(EINVAL);
        }
    }

    bool isSimulated() const override { return true; }

private:
    static int fail(int error)
    {
        errno = error;
        return -1;
    }

    std::size_t frameBytes() const { return static_cast<std::size_t>(m_width) * m_height * 2; }
    std::size_t stride() const { return (frameBytes() + kPage - 1) / kPage * kPage; }

    int setFormat(v4l2_format& format)
    {
        if (format.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
            return fail(EINVAL);
        if (!m_buffers.empty())
            return fail(EBUSY);
        v4l2_pix_format& pix = format.fmt.pix;
        m_width = std::clamp<int>(pix.width & ~1u, 2, kMaxWidth);
        m_height = std::clamp<int>(pix.height, 1, kMaxHeight);
        pix.width = m_width;
        pix.height = m_height;
        pix.pixelformat = V4L2_PIX_FMT_YUYV;
        pix.field = V4L2_FIELD_NONE;
        pix.bytesperline = m_width * 2;
        pix.sizeimage = frameBytes();
        pix.colorspace = V4L2_COLORSPACE_SMPTE170M;
        return 0;
    }

    int requestBuffers(v4l2_requestbuffers& request)
    {
        if (request.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || request.memory != V4L2_MEMORY_MMAP)
            return fail(EINVAL);
        if (m_streaming)
            return fail(EBUSY);
        const int grant = SimulatedVideo::faults().grant;
        const unsigned count = request.count == 0 ? 0 : (grant > 0 ? unsigned(grant) : request.count);
        request.count = std::min(count, kMaxBuffers);
        m_queue.clear();
        m_buffers.assign(request.count, std::vector<std::uint8_t>(stride()));
        return 0;
    }

    int queryBuffer(v4l2_buffer& buffer) const
    {
        if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.index >= m_buffers.size())
            return fail(EINVAL);
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.length = frameBytes();
        buffer.m.offset = buffer.index * stride();
        buffer.flags = isQueued(buffer.index) ? V4L2_BUF_FLAG_QUEUED : 0;
        return 0;
    }

    bool isQueued(unsigned index) const
    {
        return std::find(m_queue.begin(), m_queue.end(), index) != m_queue.end();
    }

    int queueBuffer(const v4l2_buffer& buffer)
    {
        if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.memory != V4L2_MEMORY_MMAP
            || buffer.index >= m_buffers.size() || isQueued(buffer.index))
            return fail(EINVAL);
        m_queue.push_back(buffer.index);
        m_wake.notify_all();
        return 0;
    }

    int dequeueBuffer(v4l2_buffer& buffer)
    {
        if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.memory != V4L2_MEMORY_MMAP || !m_streaming)
            return fail(EINVAL);
        const SimulatedVideo::Faults faults = SimulatedVideo::faults();
        const Clock::time_point now = Clock::now();
        if (m_queue.empty() || faults.noFrame || now < m_nextFrame)
            return fail(EAGAIN);
        const unsigned index = m_queue.front();
        m_queue.pop_front();
        std::uint8_t* frame = m_buffers[index].data();
        render(frame);
        videosim::corruptYuyv(frame, m_width, m_height, faults.corrupt, faults.corruptShare);

        const auto period = std::chrono::milliseconds(SimulatedVideo::framePeriodMs(m_width));
        m_nextFrame = std::max(m_nextFrame + period, now);
        const auto since = std::chrono::duration_cast<std::chrono::microseconds>(now.time_since_epoch());
        buffer.index = index;
        buffer.bytesused = faults.bytesUsed > 0 ? faults.bytesUsed : frameBytes();
        buffer.length = frameBytes();
        buffer.m.offset = index * stride();
        buffer.flags = V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_DONE | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
        buffer.field = V4L2_FIELD_NONE;
        buffer.sequence = m_sequence++;
        buffer.timestamp.tv_sec = since.count() / 1000000;
        buffer.timestamp.tv_usec = since.count() % 1000000;
        return 0;
    }

    int streamOn()
    {
        if (m_buffers.empty())
            return fail(EINVAL);
        if (SimulatedVideo::faults().streamOnFailure)
            return fail(EIO);
        if (!m_streaming) {
            m_streaming = true;
            m_sequence = 0;
            m_nextFrame = Clock::now() + std::chrono::milliseconds(SimulatedVideo::framePeriodMs(m_width));
        }
        return 0;
    }

    int streamOff()
    {
        m_streaming = false;
        m_queue.clear();
        m_wake.notify_all();
        return 0;
    }

    // The scene at this moment, through the optics and the sensor.
    void render(std::uint8_t* yuyv)
    {
        QHash<QByteArray, QByteArray> slide;
        readKeyValues(SimulatedVideo::kSlideFile, slide);
        bool ok = false;
        int focus = slide.value("focus").toInt(&ok);
        if (!ok)
            focus = SimulatedVideo::kDefaultFocus;
        focus = slideTypeFocus(focus);
        const QString image = QString::fromUtf8(slide.value("image", SimulatedVideo::kDefaultSlideImage));

        int position = focus;
        double light = 1.0;
        QHash<QByteArray, QByteArray> mcu;
        if (readKeyValues(SimulatedVideo::kMcuStateFile, mcu)) {
            position = mcu.value("position").toInt();
            const bool dark = mcu.value("power") == "off" || mcu.value("led") == "off";
            light = dark ? 0.0 : mcu.value("brightness").toDouble() / SimulatedVideo::kReferenceBrightness;
        }

        // Blur in full-resolution pixels, as the optics make it, then at the frame's scale.
        const double sigma = std::abs(position - focus) * SimulatedVideo::kDefocusPerStep * m_width / kMaxWidth;
        const cv::Mat& optical = opticalImage(image, std::round(sigma * 100) / 100);

        const SensorRegisters sensor = readSensor();
        // At full resolution a sensor line takes longer: 0.26 of the preview's
        // exposure lines give the same light, as the calibration stores them.
        const double lineTime = m_width == kMaxWidth ? 1.0 / 0.26 : 1.0;
        const double exposure = light * lineTime * videosim::exposureFactor(sensor.exposure, sensor.gain);
        const cv::Vec3d led(SimulatedVideo::kLedRedShare, 1.0, 1.0);
        cv::Vec3d gains;
        for (int c = 0; c < 3; ++c)
            gains[c] = exposure * led[c] * videosim::whiteBalanceFactor(sensor.whiteBalance[c]);
        videosim::exposeYuyv(optical, gains, SimulatedVideo::kNoiseSigma, m_sequence, yuyv);
    }

    // The slide fitted to the frame and defocused; kept while nothing changes.
    const cv::Mat& opticalImage(const QString& logicalImage, double sigma)
    {
        const QFileInfo file(rootPath(logicalImage));
        const QString stamp = file.exists()
            ? file.filePath() + QString::number(file.lastModified().toMSecsSinceEpoch()) + '/'
                + QString::number(file.size())
            : QString();
        if (stamp != m_slideStamp) {
            m_slideStamp = stamp;
            m_slide = stamp.isEmpty() ? cv::Mat() : decodedSlide(file.filePath(), stamp);
            m_fitted.release();
        }
        const cv::Size size(m_width, m_height);
        if (m_fitted.size() != size) {
            m_fitted = videosim::fitSlide(m_slide, size);
            m_optical.release();
        }
        if (m_optical.empty() || sigma != m_opticalSigma) {
            m_optical = videosim::defocus(m_fitted, sigma);
            m_opticalSigma = sigma;
        }
        return m_optical;
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_width = 640;
    int m_height = 480;
    std::vector<std::vector<std::uint8_t>> m_buffers;
    std::deque<unsigned> m_queue;
    bool m_streaming = false;
    std::uint32_t m_sequence = 0;
    Clock::time_point m_nextFrame;

    QString m_slideStamp;
    cv::Mat m_slide;
    cv::Mat m_fitted;
    cv::Mat m_optical;
    double m_opticalSigma = 0;
};

}  // namespace

std::unique_ptr<VideoDevice> SimulatedVideo::open()
{
    if (faults().openFailure) {
        errno = ENODEV;
        return nullptr;
    }
    return std::make_unique<SimulatedDevice>();
}

}  // namespace platform
