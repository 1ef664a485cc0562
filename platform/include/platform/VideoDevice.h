#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>

// The video seam: the few V4L2 calls the camera makes, on the real capture
// driver or on a simulated camera with the same behaviour.
//
//  - a character device at the mapped path, or any path on the real
//    instrument (root "/"), is opened through libv4l2;
//  - under any other root the simulated camera stands there
//    (platform/SimulatedVideo.h). It takes the same requests with the same
//    structures (linux/videodev2.h) and renders every frame it hands out.
namespace platform {

class VideoDevice
{
public:
    // Opens the device at `logicalPath` read-write and non-blocking; null
    // (errno set) when it cannot be opened.
    static std::unique_ptr<VideoDevice> open(const QString& logicalPath);

    virtual ~VideoDevice() = default;

    // VIDIOC_S_FMT, VIDIOC_REQBUFS, VIDIOC_QUERYBUF, VIDIOC_QBUF, VIDIOC_DQBUF,
    // VIDIOC_STREAMON, VIDIOC_STREAMOFF with their usual argument; 0 when
    // done, -1 with errno set otherwise (EAGAIN: no frame ready yet).
    virtual int ioctl(unsigned long request, void* arg) = 0;
    // Maps a buffer at the offset VIDIOC_QUERYBUF gave; null on failure.
    virtual void* map(std::size_t length, std::int64_t offset) = 0;
    virtual int unmap(void* start, std::size_t length) = 0;
    // Waits until a frame can be dequeued: 1 ready, 0 time-out, -1 error.
    virtual int waitReadable(int timeoutMs) = 0;

    virtual bool isSimulated() const = 0;
};

}  // namespace platform
