#include "UsbSticks.h"

#include "platform/DiskSpace.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

// Resources of a static library must be registered from the global namespace.
static void initStandInResources()
{
    Q_INIT_RESOURCE(usb_standins);
}

namespace kovasim {

namespace {

const QString kByUuid = QStringLiteral("/dev/disk/by-uuid");

bool writeFile(const QString& path, const QByteArray& content, bool executable)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        return false;
    file.close();
    if (executable)
        return file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup
                                   | QFileDevice::ExeOther);
    return true;
}

bool makeLink(const QString& target, const QString& link)
{
    QDir().mkpath(QFileInfo(link).path());
    QFile::remove(link);
    return QFile::link(target, link);
}

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString defaultUuid(const QString& name)
{
    const QByteArray hex = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex().toUpper();
    return QString::fromLatin1(hex.left(4) + '-' + hex.mid(4, 4));
}

}  // namespace

UsbSticks::UsbSticks(const QString& root)
    : m_root(QDir(root).absolutePath())
{
    initStandInResources();
}

QString UsbSticks::stateFolder() const
{
    return physical(QStringLiteral("/run/kova-sim/usb"));
}

QString UsbSticks::stickFolder(const QString& name) const
{
    return stateFolder() + QStringLiteral("/sticks/") + name;
}

bool UsbSticks::installStandIns() const
{
    for (const char* name : {"mount", "umount", "mountpoint"}) {
        QFile script(QStringLiteral(":/kovasim/usb/") + QLatin1String(name));
        if (!script.open(QIODevice::ReadOnly)
            || !writeFile(physical(QStringLiteral("/bin/")) + QLatin1String(name), script.readAll(), true))
            return false;
    }
    if (!QFileInfo::exists(physical(QStringLiteral("/etc/mtab")))
        && !writeFile(physical(QStringLiteral("/etc/mtab")), QByteArray(), false))
        return false;
    return QDir().mkpath(physical(kByUuid)) && QDir().mkpath(stateFolder())
           && (QFileInfo(physical(QStringLiteral("/mnt"))).isSymLink() || QDir().mkpath(physical(QStringLiteral("/mnt"))));
}

QString UsbSticks::deviceOf(const QString& name) const
{
    const QString folder = QFileInfo(stickFolder(name)).canonicalFilePath();
    const QDir dev(physical(QStringLiteral("/dev")));
    for (const QFileInfo& entry : dev.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.isSymLink() && !folder.isEmpty() && entry.canonicalFilePath() == folder)
            return QStringLiteral("/dev/") + entry.fileName();
    }
    return QString();
}

QString UsbSticks::insert(const QString& name, QString device, QString uuid) const
{
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || !deviceOf(name).isEmpty())
        return QString();
    if (!QDir().mkpath(stickFolder(name)))
        return QString();
    if (device.isEmpty()) {
        // Like the kernel, never reuse a name that a stale mount still holds.
        const QByteArray mtab = readAll(physical(QStringLiteral("/etc/mtab")));
        for (char letter = 'a'; letter <= 'z' && device.isEmpty(); ++letter) {
            const QString candidate = QStringLiteral("/dev/sd") + QLatin1Char(letter) + QLatin1Char('1');
            if (!QFileInfo(physical(candidate)).isSymLink() && !QFileInfo::exists(physical(candidate))
                && !mtab.contains((candidate + QLatin1Char(' ')).toUtf8()))
                device = candidate;
        }
    }
    if (!device.startsWith(QStringLiteral("/dev/")) || device.count(QLatin1Char('/')) != 2
        || QFileInfo(physical(device)).isSymLink())
        return QString();
    if (uuid.isEmpty())
        uuid = defaultUuid(name);
    // The device node first, so the by-uuid change never shows a dangling link.
    if (!makeLink(stickFolder(name), physical(device))
        || !makeLink(QStringLiteral("../..") + device.mid(4), physical(kByUuid + QLatin1Char('/') + uuid)))
        return QString();
    return device;
}

bool UsbSticks::pull(const QString& name) const
{
    const QString device = deviceOf(name);
    if (device.isEmpty())
        return false;
    const QString folder = QFileInfo(stickFolder(name)).canonicalFilePath();
    const QDir byUuid(physical(kByUuid));
    for (const QFileInfo& entry : byUuid.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.isSymLink() && entry.canonicalFilePath() == folder)
            QFile::remove(entry.filePath());
    }
    return QFile::remove(physical(device));
}

bool UsbSticks::setFreeSpace(const QString& name, quint64 freeBytes) const
{
    // The table lives under this root, whichever root the process is set to.
    const bool hadRoot = qEnvironmentVariableIsSet("KOVA3_ROOT");
    const QByteArray previousRoot = qgetenv("KOVA3_ROOT");
    qputenv("KOVA3_ROOT", QFile::encodeName(m_root));

    // One-byte blocks keep any figure exact; the stick holds 8 GiB.
    platform::DiskSpace space;
    space.blockSize = 1;
    space.freeBlocks = space.availableBlocks = freeBytes;
    space.blocks = std::max<quint64>(freeBytes, quint64(8) << 30);
    const bool ok = QDir().mkpath(stickFolder(name)) && platform::setSimulatedDiskSpace(stickFolder(name), space);

    if (hadRoot)
        qputenv("KOVA3_ROOT", previousRoot);
    else
        qunsetenv("KOVA3_ROOT");
    return ok;
}

bool UsbSticks::setFlag(const QString& flag, bool on) const
{
    const QString path = stateFolder() + QLatin1Char('/') + flag;
    return on ? writeFile(path, QByteArray(), false) : (!QFileInfo::exists(path) || QFile::remove(path));
}

void UsbSticks::setMountFails(bool fails) const
{
    setFlag(QStringLiteral("fail-mount"), fails);
}

void UsbSticks::setBusy(bool busy) const
{
    setFlag(QStringLiteral("busy"), busy);
}

QStringList UsbSticks::calls() const
{
    return QString::fromUtf8(readAll(stateFolder() + QStringLiteral("/calls"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

}  // namespace kovasim
