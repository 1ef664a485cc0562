#pragma once

#include "platform/VideoDevice.h"

#include <QByteArray>

namespace platform {

// The capture driver at a native path through libv4l2; null (errno set) when
// it cannot be opened.
std::unique_ptr<VideoDevice> openV4l2Device(const QByteArray& nativePath);

}  // namespace platform
