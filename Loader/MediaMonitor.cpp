#include "MediaMonitor.h"

#include "LoaderFiles.h"

#include "platform/CommandRunner.h"
#include "platform/DiskSpace.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>

using platform::CommandRunner;

namespace {

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

}  // namespace

bool MediaMonitor::serarchConnectedDevList(std::vector<std::string>& list)
{
    list.clear();
    // Device nodes are "system" entries; under a simulated root they are links.
    const QStringList names = QDir(platform::rootPath(QStringLiteral("/dev")))
                                  .entryList({QStringLiteral("sd*1")}, QDir::AllEntries | QDir::System,
                                             QDir::Name);
    for (const QString& name : names)
        list.push_back(("/dev/" + name).toStdString());
    return !list.empty();
}

bool MediaMonitor::checkMountedUSB(const std::string& dir)
{
    return CommandRunner::run(QStringLiteral("mountpoint"), {q(dir)}).succeeded();
}

bool MediaMonitor::checkMountedUSBSync(const std::string& dir)
{
    return !QDir(platform::rootPath(q(dir))).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).isEmpty();
}

bool MediaMonitor::setMount(const std::string& device, const std::string& dir)
{
    return CommandRunner::run(QStringLiteral("mount"), {q(device), q(dir)}).started;
}

bool MediaMonitor::setUnmount(const std::string& dir)
{
    return CommandRunner::run(QStringLiteral("umount"), {q(dir)}).started;
}

bool MediaMonitor::searchUSB(bool mount)
{
    std::vector<std::string> devices;
    if (!serarchConnectedDevList(devices))
        return false;
    if (!mount)
        return true;

    const std::string mountPoint = loader::kMountPoint;
    if (!checkMountedUSB(mountPoint)) {
        setMount(devices.front(), mountPoint);
    } else if (!checkMountedUSBSync(mountPoint)) {
        // Mounted but no longer answering, as after a pull while mounted.
        setUnmount(mountPoint);
        setMount(devices.front(), mountPoint);
    }
    return true;
}

float MediaMonitor::getDiskFreeSpace(DataType unit, ErrorTable_MediaMonitor& error)
{
    error = NoError;
    if (!checkMountedUSB(loader::kMountPoint))
        return 0;
    platform::DiskSpace space;
    if (!platform::diskSpace(QString::fromLatin1(loader::kMountPoint), space)) {
        error = SpaceUnreadable;
        return 0;
    }
    const double kib = double(space.availableBlocks) * double(space.blockSize) / 1024.0;
    switch (unit) {
    case Bytes:
        return float(kib * 1024.0);
    case MiB:
        return float(kib / 1024.0);
    case GiB:
        return float(kib / 1048576.0);
    case KiB:
        break;
    }
    return float(kib);
}

std::string MediaMonitor::trim(std::string text, char c)
{
    text.erase(text.find_last_not_of(c) + 1);
    text.erase(0, text.find_first_not_of(c));
    return text;
}
