#include "VideoDeviceV4l2.h"

#include <cerrno>
#include <fcntl.h>
#include <libv4l2.h>
#include <sys/mman.h>
#include <sys/select.h>

namespace platform {

namespace {

// The capture driver through libv4l2.
class V4l2Device : public VideoDevice
{
public:
    explicit V4l2Device(int fd) : m_fd(fd) {}
    ~V4l2Device() override { v4l2_close(m_fd); }

    int ioctl(unsigned long request, void* arg) override { return v4l2_ioctl(m_fd, request, arg); }

    void* map(std::size_t length, std::int64_t offset) override
    {
        void* start = v4l2_mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, m_fd, offset);
        return start == MAP_FAILED ? nullptr : start;
    }

    int unmap(void* start, std::size_t length) override { return v4l2_munmap(start, length); }

    int waitReadable(int timeoutMs) override
    {
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(m_fd, &readable);
        timeval timeout{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
        const int result = ::select(m_fd + 1, &readable, nullptr, nullptr, &timeout);
        return result < 0 ? -1 : (result > 0 ? 1 : 0);
    }

    bool isSimulated() const override { return false; }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<VideoDevice> openV4l2Device(const QByteArray& nativePath)
{
    const int fd = v4l2_open(nativePath.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    return std::make_unique<V4l2Device>(fd);
}

}  // namespace platform
