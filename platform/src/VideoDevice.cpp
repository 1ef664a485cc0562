#include "platform/VideoDevice.h"

#include "VideoDeviceV4l2.h"
#include "platform/Root.h"
#include "platform/SimulatedVideo.h"

#include <QFile>

#include <sys/stat.h>

namespace platform {

std::unique_ptr<VideoDevice> VideoDevice::open(const QString& logicalPath)
{
    const QByteArray native = QFile::encodeName(rootPath(logicalPath));
    struct stat info {};
    if (isRealInstrument() || (::stat(native.constData(), &info) == 0 && S_ISCHR(info.st_mode)))
        return openV4l2Device(native);
    return SimulatedVideo::open();
}

}  // namespace platform
