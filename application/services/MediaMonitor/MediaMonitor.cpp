#include "MediaMonitor/MediaMonitor.h"

#include "platform/CommandRunner.h"
#include "platform/DiskSpace.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>

#include <filesystem>
#include <system_error>

namespace {

const QString kByUuid = QStringLiteral("/dev/disk/by-uuid");
const QString kMtab = QStringLiteral("/etc/mtab");
const QString kMountPoint = QStringLiteral("/mnt");

bool isUsbStickNode(const QString& device)
{
    return device.left(7) == QLatin1String("/dev/sd") || device.left(7) == QLatin1String("/dev/ub");
}

// The device node a by-uuid link names, as a logical absolute path. udev
// writes relative links ("../../sdb1"); a link that points into the root
// folder is turned back into its logical form.
QString linkTarget(const QString& name)
{
    std::error_code error;
    const std::filesystem::path link = QFile::encodeName(platform::rootPath(kByUuid + QLatin1Char('/') + name)).toStdString();
    const std::filesystem::path target = std::filesystem::read_symlink(link, error);
    if (error)
        return QString();
    QString path = QFile::decodeName(target.c_str());
    if (!path.startsWith(QLatin1Char('/')))
        return QDir::cleanPath(kByUuid + QLatin1Char('/') + path);
    const QString root = platform::instrumentRoot();
    if (root != QLatin1String("/") && path.startsWith(root + QLatin1Char('/')))
        path = path.mid(root.size());
    return QDir::cleanPath(path);
}

// The whole of mtab up to the first NUL byte; false when it cannot be read.
bool readMtab(QString& text)
{
    QFile file(platform::rootPath(kMtab));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    text = QString::fromUtf8(bytes);
    return true;
}

// True when the mtab text has an entry for `mountPoint` (any when empty), from
// `device` when one is given.
bool listsMount(const QString& mtab, const QString& mountPoint, const QString& device = QString())
{
    const QStringList lines = mtab.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() >= 2 && (mountPoint.isEmpty() || fields[1] == mountPoint)
            && (device.isEmpty() || fields[0] == device))
            return true;
    }
    return false;
}

bool mtabHasMount(const QString& mountPoint, const QString& device = QString())
{
    QString text;
    return readMtab(text) && listsMount(text, mountPoint, device);
}

// Unmounts a mount point or a mounted device; a stick pulled while in use
// leaves the mount busy, which only a lazy unmount removes.
void unmountTarget(const QString& target, bool isDevice)
{
    const auto result = platform::CommandRunner::run(QStringLiteral("umount"), {target});
    const bool stillMounted = isDevice ? mtabHasMount(QString(), target) : mtabHasMount(target);
    if (!result.succeeded() && stillMounted) {
        KLOG << "umount busy, detaching lazily:" << target;
        platform::CommandRunner::run(QStringLiteral("umount"), {QStringLiteral("-l"), target});
    }
}

}  // namespace

MediaMonitor::MediaMonitor(QObject* parent, Build build)
    : QObject(parent)
    , m_build(build)
{
    KLOG_ENTER;
    initialize();
    m_pWatcher = new QFileSystemWatcher(this);
    m_pWatcher->addPath(platform::rootPath(kByUuid));
    connect(m_pWatcher, &QFileSystemWatcher::directoryChanged, this, &MediaMonitor::directoryChanged);
}

// The watcher is a child and goes with the monitor.
MediaMonitor::~MediaMonitor() = default;

void MediaMonitor::initialize()
{
    KLOG_ENTER;
    QString mtab;
    if (readMtab(mtab)) {
        // A stale mount left by an earlier run; once per mention, so stacked
        // mounts all go.
        for (int hit = mtab.indexOf(kMountPoint); hit >= 0; hit = mtab.indexOf(kMountPoint, hit + 4))
            platform::CommandRunner::run(QStringLiteral("umount"), {kMountPoint});
    }

    QStringList list;
    if (!searchConnectedDevList(list))
        emit detectSignal(1);
    else
        mountFirstStick();
}

bool MediaMonitor::searchConnectedDevList(QStringList& list)
{
    const QDir dir(platform::rootPath(kByUuid));
    const QStringList names =
        dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString& name : names) {
        const QString target = linkTarget(name);
        if (isUsbStickNode(target))
            list.append(target);
    }
    m_DeviceList = list;
    return !list.isEmpty();
}

bool MediaMonitor::checkMountedUSB(QString device)
{
    QString mtab;
    if (!readMtab(mtab))
        return false;
    QStringList list;
    searchConnectedDevList(list);
    return list.contains(device) && listsMount(mtab, kMountPoint, device);
}

bool MediaMonitor::searchUSB()
{
    return checkMountedUSB(m_strCurrentDevice);
}

bool MediaMonitor::mount(QString device, QString mountPoint)
{
    KLOG_ENTER;
    KLOG_VALUE("device", device);
    m_strCurrentDevice = device;
    m_DeviceList.append(device);
    m_DeviceList.removeDuplicates();
    QStringList arguments{device, mountPoint};
    if (m_build == Build::Application)
        arguments.prepend(QStringLiteral("-outf8"));
    platform::CommandRunner::run(QStringLiteral("mount"), arguments);
    // Only a confirmed mount counts: otherwise a save would land in the
    // internal mount-point folder and be reported as done.
    if (mtabHasMount(mountPoint, device))
        return true;
    KLOG << "mount failed:" << device << mountPoint;
    m_strCurrentDevice.clear();
    return false;
}

void MediaMonitor::mountFirstStick()
{
    emit detectSignal(mount(m_DeviceList.first(), kMountPoint) ? 0 : 1);
}

void MediaMonitor::umount(QString path)
{
    KLOG_ENTER;
    KLOG_VALUE("path", path);
    m_DeviceList.removeAll(path);
    unmountTarget(kMountPoint, false);
}

void MediaMonitor::unmount(QString device)
{
    KLOG_ENTER;
    KLOG_VALUE("device", device);
    m_DeviceList.removeAll(device);
    unmountTarget(device, true);
}

void MediaMonitor::umount_usb()
{
    umount(kMountPoint);
}

void MediaMonitor::directoryChanged(QString _dirPath)
{
    Q_UNUSED(_dirPath);
    KLOG_ENTER;
    const QStringList oldList = m_DeviceList;
    QStringList newList;
    searchConnectedDevList(newList);

    if (checkMountedUSB(m_strCurrentDevice))
        return;

    // The stick we mounted is gone. Changes can arrive together (one stick
    // pulled and another put in), so a lost stick counts as a change even when
    // the number of sticks stayed the same.
    const bool lost = !m_strCurrentDevice.isEmpty();
    if (lost) {
        if (m_build == Build::Verifier)
            unmount(m_strCurrentDevice);
        else
            umount(m_strCurrentDevice);
        m_strCurrentDevice.clear();
    }
    if (!lost && newList.size() == oldList.size())
        return;
    if (m_DeviceList.isEmpty()) {
        if (lost || newList.size() < oldList.size())
            emit detectSignal(1);
        return;
    }
    mountFirstStick();
}

float MediaMonitor::freeDiskSpace(QString path)
{
    platform::DiskSpace space;
    quint64 freeBytes = 0;
    if (platform::diskSpace(path, space))
        freeBytes = space.blockSize * space.freeBlocks;
    const float freeMiB = static_cast<float>(freeBytes >> 20);
    KLOG << "path:" << path;
    KLOG << "free:" << freeMiB;
    return freeMiB;
}

bool MediaMonitor::enabletoExport(QString path, QString dst_path)
{
    KLOG << "  path :" << path;
    KLOG << "  dst_path : " << dst_path;
    qint64 size = 0;
    QFile file(platform::rootPath(path));
    if (QFileInfo(file.fileName()).isFile() && file.open(QIODevice::ReadOnly))
        size = file.size();
    return static_cast<float>(size) * 9.5367431640625e-07f <= freeDiskSpace(dst_path);
}

float getDiskFreeSpaceMB(char const* path)
{
    return MediaMonitor::freeDiskSpace(QFile::decodeName(path));
}
