#include "Camera/OV5642Camera.h"

#include "Camera/FrameStats.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaPaths.h"

#include "platform/I2cBus.h"
#include "platform/Log.h"
#include "platform/VideoDevice.h"

extern "C" {
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

namespace {

constexpr char kVideoDevice[] = "/dev/video0";
constexpr char kSensorBus[] = "/dev/i2c-1";
constexpr int kSensorAddress = 0x3C;
constexpr unsigned kRequestedBuffers = 4;
constexpr std::chrono::milliseconds kRegisterDelay{5};
constexpr std::chrono::milliseconds kCapturePoll{10};
constexpr int kCaptureWaitMs = 1000;
constexpr unsigned kMaxBuiltInRecords = 1024;

struct Mode
{
    int width;
    int height;
    const char* i2cError;
};

constexpr Mode kModeTable[OV5642Camera::kModes] = {
    {640, 480, "[Error] I2C failed: VGA"},
    {1280, 960, "[Error] I2C failed: 1280"},
    {2592, 1944, "[Error] I2C failed: 5M"},
};

// The sensor's VGA start-up setting, sent only on a full initialisation
// (which no caller asks for); ends with the end mark.
const reg_value_s ov5642_vga_crop_init_reg[] = {
    {0x3103, 0x93}, {0x3008, 0x82}, {0x3017, 0x7F}, {0x3018, 0xFC}, {0x3615, 0xF0},
    // 640 × 480 output window
    {0x3804, 0x02}, {0x3805, 0x80}, {0x3806, 0x01}, {0x3807, 0xE0},
    {0x3824, 0x13}, {0x3825, 0x08}, {0x3826, 0x01}, {0x3827, 0x00},
    {0xFFFF, 0xFFFF},
};

// The output window registers 0x3804-0x3807 and 0x3824-0x3827 by mode and crop.
constexpr unsigned short kWindowRegisters[8] = {0x3804, 0x3805, 0x3806, 0x3807,
                                                0x3824, 0x3825, 0x3826, 0x3827};
constexpr unsigned short kWindowValues[2][2][8] = {
    {{0x05, 0x00, 0x03, 0xC0, 0x11, 0xB0, 0x00, 0x08}, {0x02, 0x80, 0x01, 0xE0, 0x13, 0x08, 0x01, 0x00}},
    {{0x09, 0xFE, 0x07, 0x98, 0x11, 0xAC, 0x00, 0x0C}, {0x05, 0x00, 0x03, 0xC0, 0x13, 0x06, 0x01, 0x06}},
};

// A bus with the image sensor claimed, or a closed one.
bool openSensor(platform::I2cBus& bus)
{
    return bus.open(kSensorBus) && bus.claim(kSensorAddress);
}

// One 8-bit sensor register: its 16-bit address, high byte first, then the value.
bool writeRegister(platform::I2cBus& bus, unsigned short reg, unsigned short value)
{
    const std::uint8_t message[3] = {std::uint8_t(reg >> 8), std::uint8_t(reg & 0xFF), std::uint8_t(value & 0xFF)};
    return bus.write(message, sizeof message) == long(sizeof message);
}

void writeBlack(std::vector<unsigned char>& yuyv)
{
    for (std::size_t i = 0; i + 1 < yuyv.size(); i += 2) {
        yuyv[i] = 16;
        yuyv[i + 1] = 128;
    }
}

}  // namespace

OV5642Camera::OV5642Camera(QObject* parent)
    : QObject(parent)
{
    KLOG_ENTER;
    m_nMode = 0;
    init();
}

OV5642Camera::~OV5642Camera()
{
    KLOG_ENTER;
    // The capture thread must not outlive the object.
    if (m_thread.joinable())
        close();
}

void OV5642Camera::init()
{
    KLOG_ENTER;
    m_device = platform::VideoDevice::open(kVideoDevice);
    if (!m_device)
        KLOG << "[Error] open" << kVideoDevice << ":" << std::strerror(errno);
    m_pBuffers.clear();
    for (auto& mode : m_RegCache)
        std::fill(std::begin(mode), std::end(mode), reg_value_s{0, 0});
    m_pRGB.reset();
    m_RegList.clear();
    m_bRunning = false;
}

bool OV5642Camera::setGeometry(int mode)
{
    if (mode < 0 || mode >= kModes)
        return false;
    m_nMode = mode;
    m_nWidth = kModeTable[mode].width;
    m_nHeight = kModeTable[mode].height;
    m_nFrameSize = m_nWidth * m_nHeight * 3;
    return true;
}

int OV5642Camera::xioctl(unsigned long request, void* arg, const std::string& what)
{
    int ret = -1;
    if (m_device)
        ret = m_device->ioctl(request, arg);
    else
        errno = EBADF;
    KLOG << QString::fromStdString(what) << "ret :" << ret;
    return ret;
}

bool OV5642Camera::open(int mode, std::string calibration_ini, bool full_init)
{
    report({QStringLiteral("bool OV5642Camera::open(int, std::string, bool)"), QStringLiteral("camera_mode:"),
            QString::number(mode), QStringLiteral(", ini_file"), QString::fromStdString(calibration_ini)});
    if (m_bRunning || m_thread.joinable())
        close();
    if (!setGeometry(mode)) {
        KLOG << "[Error] unknown camera mode" << mode;
        return false;
    }
    KLOG_VALUE("m_nWidth", m_nWidth);
    KLOG_VALUE("m_nHeight", m_nHeight);

    m_RegList.clear();
    if (full_init) {
        unsigned count = 0;
        while (count < kMaxBuiltInRecords && ov5642_vga_crop_init_reg[count].reg != 0xFFFF)
            ++count;
        if (count < kMaxBuiltInRecords)
            m_RegList.assign(ov5642_vga_crop_init_reg, ov5642_vga_crop_init_reg + count);
    }
    if (loadRegisters(calibration_ini))
        m_RegList.insert(m_RegList.end(), std::begin(m_RegCache[m_nMode]), std::end(m_RegCache[m_nMode]));

    v4l2_format format{};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    format.fmt.pix.width = m_nWidth;
    format.fmt.pix.height = m_nHeight;
    format.fmt.pix.pixelformat = V4L2_PIX_FMT_YUYV;
    if (xioctl(VIDIOC_S_FMT, &format, "open:v4l2_src_fmt") < 0) {
        report({QStringLiteral("[Error] VIDIOC_S_FMT !")});
        release();
        return false;
    }
    // A driver that picked another size would hand out frames read at the wrong geometry.
    if (int(format.fmt.pix.width) != m_nWidth || int(format.fmt.pix.height) != m_nHeight
        || format.fmt.pix.pixelformat != V4L2_PIX_FMT_YUYV) {
        report({QStringLiteral("[Error] VIDIOC_S_FMT !"),
                QStringLiteral("format not taken: %1x%2").arg(format.fmt.pix.width).arg(format.fmt.pix.height)});
        release();
        return false;
    }

    v4l2_requestbuffers request{};
    request.count = kRequestedBuffers;
    request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    request.memory = V4L2_MEMORY_MMAP;
    if (xioctl(VIDIOC_REQBUFS, &request, "open:vidioc_reqbuf") < 0 || request.count == 0
        || request.count > VIDEO_MAX_FRAME) {
        report({QStringLiteral("[Error] VIDIOC_REQBUFS !"), QString::number(request.count)});
        release();
        return false;
    }
    m_pBuffers.assign(request.count, MappedBuffer());
    m_nBuffers = 0;
    for (unsigned index = 0; index < request.count; ++index) {
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        buffer.index = index;
        if (xioctl(VIDIOC_QUERYBUF, &buffer, "open:query_buf") < 0) {
            report({QStringLiteral("[Error] VIDIOC_QUERYBUF !")});
            release();
            return false;
        }
        MappedBuffer& mapped = m_pBuffers[index];
        mapped.start = m_device->map(buffer.length, buffer.m.offset);
        if (!mapped.start) {
            KLOG << "[Error] mmap !";
            release();
            return false;
        }
        mapped.length = buffer.length;
        if (xioctl(VIDIOC_QBUF, &buffer, "open:qbuf") < 0) {
            report({QStringLiteral("[Error] VIDIOC_QBUF !")});
            release();
            return false;
        }
        ++m_nBuffers;
    }

    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(VIDIOC_STREAMON, &type, "open:stream on") < 0) {
        report({QStringLiteral("[Error] VIDIOC_STREAMON !")});
        release();
        return false;
    }

    if (setRegisters(static_cast<unsigned>(m_RegList.size())) < 0)
        report({QString::fromLatin1(kModeTable[mode].i2cError)});

    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        for (auto& slot : m_FrameCopy) {
            slot.assign(static_cast<std::size_t>(m_nWidth) * m_nHeight * 2, 0);
            writeBlack(slot);  // what getFrame shows until the first frame comes
        }
        m_pRGB.reset(new unsigned char[m_nFrameSize]);
        m_nNewest = -1;
        m_nReading = -1;
        m_bFirstFrameWaited = false;
    }
    m_bRunning = true;
    try {
        m_thread = std::thread(&OV5642Camera::video_grabber_thread, this);
    } catch (const std::system_error& error) {
        KLOG << "[Error] capture thread:" << error.what();
        m_bRunning = false;
        xioctl(VIDIOC_STREAMOFF, &type, "open:stream off");
        release();
        return false;
    }
    return true;
}

bool OV5642Camera::close()
{
    KLOG_ENTER;
    m_bRunning = false;
    bool result = true;
    if (m_thread.joinable()) {
        try {
            m_thread.join();
        } catch (const std::system_error& error) {
            KLOG << "[Error] join:" << error.what();
            result = false;
        }
    }
    m_frameArrived.notify_all();
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (xioctl(VIDIOC_STREAMOFF, &type, "close:stream off") < 0) {
        report({QStringLiteral("bool OV5642Camera::close()"), QStringLiteral("[Error] VIDIOC_STREAMOFF")});
        result = false;
    }
    release();
    return result;
}

void OV5642Camera::report(const QStringList& lines)
{
    KLOG << lines.join(QLatin1Char(' '));
    emit sig_debug_Message(lines);
}

void OV5642Camera::release()
{
    std::lock_guard<std::mutex> convert(m_convertMutex);
    const bool hadBuffers = !m_pBuffers.empty();
    for (const MappedBuffer& mapped : m_pBuffers) {
        if (mapped.start)
            m_device->unmap(mapped.start, mapped.length);
    }
    m_pBuffers.clear();
    m_nBuffers = 0;
    if (hadBuffers) {
        // Frees the driver's buffers, so the next open may set another format.
        v4l2_requestbuffers request{};
        request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        request.memory = V4L2_MEMORY_MMAP;
        xioctl(VIDIOC_REQBUFS, &request, "close:reqbufs 0");
    }
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        for (auto& slot : m_FrameCopy)
            std::vector<unsigned char>().swap(slot);
        m_nNewest = -1;
        m_nReading = -1;
    }
    m_pRGB.reset();
    m_RegList.clear();
}

void OV5642Camera::video_grabber_thread(OV5642Camera* camera)
{
    while (camera->m_bRunning) {
        std::this_thread::sleep_for(kCapturePoll);
        if (camera->m_device->waitReadable(kCaptureWaitMs) <= 0)
            continue;
        v4l2_buffer buffer{};
        buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
        buffer.memory = V4L2_MEMORY_MMAP;
        if (camera->m_device->ioctl(VIDIOC_DQBUF, &buffer) < 0)
            continue;
        if (buffer.index < camera->m_nBuffers)
            camera->captureFrame(buffer);
        camera->m_device->ioctl(VIDIOC_QBUF, &buffer);
    }
}

int OV5642Camera::freeSlot() const
{
    for (int slot = 0; slot < kCopySlots; ++slot) {
        if (slot != m_nNewest && slot != m_nReading)
            return slot;
    }
    return 0;  // not reached: three slots, at most two taken
}

void OV5642Camera::captureFrame(const v4l2_buffer& buffer)
{
    int slot;
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        slot = freeSlot();
    }
    // Only this thread writes a free slot, so the copy runs unlocked.
    std::vector<unsigned char>& copy = m_FrameCopy[slot];
    const MappedBuffer& mapped = m_pBuffers[buffer.index];
    const std::size_t bytes = std::min({std::size_t(buffer.bytesused), mapped.length, copy.size()});
    std::memcpy(copy.data(), mapped.start, bytes);
    // A short frame shows its missing part as a corrupt (green) one would, never as an older frame.
    std::memset(copy.data() + bytes, 0, copy.size() - bytes);
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        m_nNewest = slot;
        m_SlotBufferIndex[slot] = buffer.index;
        m_nLastIndex = buffer.index;
    }
    m_frameArrived.notify_all();
}

unsigned char* OV5642Camera::getFrame(bool, unsigned char, unsigned char, unsigned char)
{
    unsigned int index = 0;
    return getFrame(index);
}

unsigned char* OV5642Camera::getFrame(unsigned int& index, bool, unsigned char, unsigned char, unsigned char)
{
    std::lock_guard<std::mutex> convert(m_convertMutex);
    if (!m_pRGB)
        return nullptr;
    convertNewest(m_pRGB.get(), index);
    return m_pRGB.get();
}

unsigned char* OV5642Camera::getSettledFrame(int timeoutMs, bool* stalled)
{
    constexpr int kFramesToSettle = 2;
    constexpr auto kPoll = std::chrono::milliseconds(5);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    unsigned int index = 0;
    unsigned char* rgb = getFrame(index);
    int newer = 0;
    while (rgb && newer < kFramesToSettle && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(kPoll);
        unsigned int next = index;
        rgb = getFrame(next);
        if (next != index) {
            ++newer;
            index = next;
        }
    }
    if (stalled)
        *stalled = rgb && newer == 0;
    return rgb;
}

bool OV5642Camera::copyFrame(unsigned char* rgb)
{
    std::lock_guard<std::mutex> convert(m_convertMutex);
    if (!m_pRGB)
        return false;
    unsigned int index = 0;
    convertNewest(rgb, index);
    return true;
}

void OV5642Camera::convertNewest(unsigned char* rgb, unsigned int& index)
{
    int slot;
    {
        std::unique_lock<std::mutex> lock(m_frameMutex);
        if (m_nNewest < 0 && !m_bFirstFrameWaited) {
            m_frameArrived.wait_for(lock, std::chrono::milliseconds(kFirstFrameTimeoutMs),
                                    [this] { return m_nNewest >= 0 || !m_bRunning; });
            m_bFirstFrameWaited = true;
        }
        slot = m_nNewest >= 0 ? m_nNewest : 0;
        index = m_nNewest >= 0 ? m_SlotBufferIndex[slot] : m_nLastIndex;
        m_nReading = slot;
    }
    sws_yuv2rgb24(m_nWidth, m_nHeight, m_FrameCopy[slot].data(), rgb);
    {
        std::lock_guard<std::mutex> lock(m_frameMutex);
        m_nReading = -1;
    }
}

void OV5642Camera::sws_yuv2rgb24(int width, int height, unsigned char* yuyv, unsigned char* rgb)
{
    SwsContext* context = sws_getContext(width, height, AV_PIX_FMT_YUYV422, width, height, AV_PIX_FMT_RGB24,
                                         SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!context) {
        KLOG << "[Error] sws_getContext";
        return;
    }
    const uint8_t* source[1] = {yuyv};
    const int sourceStride[1] = {width * 2};
    uint8_t* destination[1] = {rgb};
    const int destinationStride[1] = {width * 3};
    sws_scale(context, source, sourceStride, 0, height, destination, destinationStride);
    sws_freeContext(context);
}

bool OV5642Camera::set(unsigned short reg, unsigned short value)
{
    platform::I2cBus bus;
    bool written = false;
    if (openSensor(bus)) {
        written = writeRegister(bus, reg, value);
        std::this_thread::sleep_for(kRegisterDelay);
    }
    bus.close();
    const int column = getRegisterIndex(reg);
    if (written && column >= 0)
        m_RegCache[m_nMode][column] = {reg, value};
    return written;
}

bool OV5642Camera::get(unsigned short reg, unsigned short& value)
{
    platform::I2cBus bus;
    std::uint8_t byte = 0;
    bool done = false;
    if (openSensor(bus)) {
        const std::uint8_t address[2] = {std::uint8_t(reg >> 8), std::uint8_t(reg & 0xFF)};
        const bool sent = bus.write(address, 2) == 2;
        std::this_thread::sleep_for(kRegisterDelay);
        done = sent && bus.read(&byte, 1) == 1;
    }
    std::this_thread::sleep_for(kRegisterDelay);
    bus.close();
    if (done) {
        value = byte;
        return true;
    }
    const int column = getRegisterIndex(reg);
    if (column >= 0)
        value = m_RegCache[m_nMode][column].value;
    return false;
}

unsigned short OV5642Camera::getRegister(unsigned short reg)
{
    unsigned short high = 0;
    unsigned short low = 0;
    get(reg, high);
    get(reg + 1, low);
    return static_cast<unsigned short>((high << 8) + (low & 0xFF));
}

bool OV5642Camera::setRegister(unsigned short reg, unsigned short value)
{
    const bool high = set(reg, value >> 8);
    const bool low = set(reg + 1, value & 0xFF);
    return high && low;
}

int OV5642Camera::setRegisters(unsigned int count)
{
    KLOG_ENTER;
    platform::I2cBus bus;
    if (!openSensor(bus))
        return 0;
    count = std::min<unsigned>(count, static_cast<unsigned>(m_RegList.size()));
    int result = static_cast<int>(count);
    for (unsigned i = 0; i < count; ++i) {
        if (!writeRegister(bus, m_RegList[i].reg, m_RegList[i].value))
            result = -1;
        std::this_thread::sleep_for(kRegisterDelay);
    }
    return result;
}

bool OV5642Camera::loadRegisters(std::string ini)
{
    KLOG_ENTER;
    if (ini.empty())
        return false;
    register_table_e table;
    if (ini == kova::kCalibrationCusIni)
        table = REG_TABLE_CUS;
    else if (ini == kova::kCalibrationBfnIni)
        table = REG_TABLE_BFN;
    else if (ini == kova::kAutoExposureIni)
        table = REG_TABLE_AUTO_EXPOSURE;
    else
        return false;
    const global_ini_s* settings = global_ini();
    for (int i = 0; i < kCalibrationRegisters; ++i) {
        reg_value_s& record = m_RegCache[m_nMode][i];
        record = {g_RegIdx[i], settings->regTables[table][m_nMode][i]};
        if (table == REG_TABLE_AUTO_EXPOSURE)
            KLOG << QString("[AE_CAL_INI] 0x%1, 0x%2")
                        .arg(record.reg, 4, 16, QLatin1Char('0'))
                        .arg(record.value, 4, 16, QLatin1Char('0'));
    }
    return true;
}

int OV5642Camera::getRegisterIndex(unsigned short reg)
{
    // The fixed column order of the calibration tables, never the g_RegIdx in force.
    const auto found = std::find(std::begin(kSensorRegisters), std::end(kSensorRegisters), reg);
    return found == std::end(kSensorRegisters) ? -1 : int(found - std::begin(kSensorRegisters));
}

bool OV5642Camera::setCrop(bool crop)
{
    KLOG_ENTER;
    if (m_nMode > 1)
        return false;
    bool result = false;
    for (int i = 0; i < 8; ++i)
        result = set(kWindowRegisters[i], kWindowValues[m_nMode][crop][i]);
    return result;
}

int OV5642Camera::getGreenMean(unsigned char* rgb)
{
    if (!rgb || m_nWidth == 0)
        return 0;
    // Whole sums and an integer division: the floating mean of a uniform frame
    // can fall just below its level and truncate one too low.
    const auto sum = static_cast<uint64_t>(camera::channelSums(rgb, m_nWidth, m_nHeight)[1]);
    return static_cast<int>(sum / (static_cast<uint64_t>(m_nWidth) * static_cast<uint64_t>(m_nHeight)));
}

void OV5642Camera::getIntensityMean(unsigned char* rgb, float& c0, float& c1, float& c2)
{
    if (!rgb || m_nWidth == 0)
        return;
    const cv::Scalar mean = camera::channelMeans(rgb, m_nWidth, m_nHeight);
    c0 = float(mean[0]);
    c1 = float(mean[1]);
    c2 = float(mean[2]);
}

float OV5642Camera::getIntensityMean(unsigned char* rgb, unsigned short reg)
{
    float means[3] = {0, 0, 0};
    getIntensityMean(rgb, means[0], means[1], means[2]);
    KLOG << "-------------> r,g,b : " << means[0] << means[1] << means[2];
    const int column = getRegisterIndex(reg);
    const int channel = column >= 4 ? (column - 4) / 2 : 0;
    return means[channel];
}

void OV5642Camera::getIntensityMeanStd(unsigned char* rgb, float& m2, float& m1, float& m0, float& s2,
                                       float& s1, float& s0)
{
    if (!rgb || m_nWidth == 0)
        return;
    cv::Scalar mean, stdDev;
    camera::channelMeanStdDev(rgb, m_nWidth, m_nHeight, mean, stdDev);
    m2 = float(mean[2]);
    m1 = float(mean[1]);
    m0 = float(mean[0]);
    s2 = float(stdDev[2]);
    s1 = float(stdDev[1]);
    s0 = float(stdDev[0]);
}

bool OV5642Camera::checkGreenPinkBlackImage(unsigned char* rgb, int& green, int& pink, int& black,
                                            float black_ratio)
{
    if (!rgb || m_nWidth == 0) {
        green = pink = black = 0;
        return true;  // no frame is no good frame
    }
    return camera::isCorruptFrame(rgb, m_nWidth, m_nHeight, black_ratio, green, pink, black);
}
