#include "platform/DiskSpace.h"

#include "platform/Root.h"
#include "platform/SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QVector>

#include <sys/statvfs.h>

namespace platform {

namespace {

struct TableLine
{
    DiskSpace space;
    QString folder;
};

QVector<TableLine> readTable()
{
    QVector<TableLine> lines;
    QFile file(rootPath(QString::fromLatin1(kSimulatedDiskSpaceTable)));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return lines;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() < 5)
            continue;
        TableLine entry;
        bool ok[4];
        entry.space.blockSize = parts[0].toULongLong(&ok[0]);
        entry.space.blocks = parts[1].toULongLong(&ok[1]);
        entry.space.freeBlocks = parts[2].toULongLong(&ok[2]);
        entry.space.availableBlocks = parts[3].toULongLong(&ok[3]);
        entry.folder = QStringList(parts.mid(4)).join(QLatin1Char(' '));
        if (ok[0] && ok[1] && ok[2] && ok[3] && !entry.folder.isEmpty())
            lines.append(entry);
    }
    return lines;
}

bool writeTable(const QVector<TableLine>& lines)
{
    const QString path = rootPath(QString::fromLatin1(kSimulatedDiskSpaceTable));
    QDir().mkpath(QFileInfo(path).path());
    QSaveFile file(path);
    if (!openSaveFile(file, QIODevice::Text))
        return false;
    for (const TableLine& entry : lines) {
        const QString line = QStringLiteral("%1 %2 %3 %4 %5\n")
                                 .arg(entry.space.blockSize)
                                 .arg(entry.space.blocks)
                                 .arg(entry.space.freeBlocks)
                                 .arg(entry.space.availableBlocks)
                                 .arg(entry.folder);
        if (file.write(line.toUtf8()) < 0)
            return false;
    }
    return file.commit();
}

bool inFolder(const QString& path, const QString& folder)
{
    return path == folder || path.startsWith(folder + QLatin1Char('/'));
}

QString canonicalFolder(const QString& physicalFolder)
{
    const QString canonical = QFileInfo(physicalFolder).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(physicalFolder) : canonical;
}

bool simulatedSpace(const QString& physicalPath, DiskSpace& space)
{
    const QString path = QFileInfo(physicalPath).canonicalFilePath();
    if (path.isEmpty())
        return false;
    int best = -1;
    for (const TableLine& entry : readTable()) {
        if (inFolder(path, entry.folder) && entry.folder.size() > best) {
            best = entry.folder.size();
            space = entry.space;
        }
    }
    return best >= 0;
}

}  // namespace

bool diskSpace(const QString& logicalPath, DiskSpace& space)
{
    const QString physical = rootPath(logicalPath);
    if (!isRealInstrument() && simulatedSpace(physical, space))
        return true;

    struct statvfs stats {};
    if (::statvfs(QFile::encodeName(physical).constData(), &stats) != 0)
        return false;
    space.blockSize = stats.f_frsize ? stats.f_frsize : stats.f_bsize;
    space.blocks = stats.f_blocks;
    space.freeBlocks = stats.f_bfree;
    space.availableBlocks = stats.f_bavail;
    return true;
}

bool setSimulatedDiskSpace(const QString& physicalFolder, const DiskSpace& space)
{
    if (isRealInstrument())
        return false;
    const QString folder = canonicalFolder(physicalFolder);
    QVector<TableLine> lines = readTable();
    for (int i = lines.size() - 1; i >= 0; --i) {
        if (lines[i].folder == folder)
            lines.remove(i);
    }
    lines.append({space, folder});
    return writeTable(lines);
}

}  // namespace platform
