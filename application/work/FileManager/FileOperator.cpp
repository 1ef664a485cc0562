#include "FileManager/FileOperator.h"

#include "File_IO/PartFile.h"
#include "File_IO/copy.h"
#include "KovaCore/ResultTree.h"
#include "MediaMonitor/MediaMonitor.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <sys/stat.h>

namespace {

constexpr unsigned long kFolderBytes = 4096;
constexpr double kBytesToMiB = 9.5367431640625e-07;

QString child(const QString& folder, const QString& name)
{
    return folder + QLatin1Char('/') + name;
}

// The entries a folder is copied with: files and folders, neither hidden nor
// system ones (a link leading nowhere, a FIFO), which no result holds and no
// copy could take.
QFileInfoList entriesOf(const QString& logicalFolder)
{
    return QDir(platform::rootPath(logicalFolder)).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::NoSort);
}

// Whether anything stands at `name` in the logical `folder`.
bool taken(const QString& folder, const QString& name)
{
    return nameTaken(platform::rootPath(child(folder, name)));
}

// The canonical physical form of a logical path; empty when it does not exist.
QString canonical(const QString& logical)
{
    return QFileInfo(platform::rootPath(logical)).canonicalFilePath();
}

// The previous-counts tables that copying all results passes over.
bool isPreviousCountTable(const QString& name)
{
    return name.startsWith(QLatin1String("PreviousCount")) && name.endsWith(QLatin1String(".csv"));
}

// Makes the folder of a copy of `name` in `folder`, under a free name and
// never through a link (mkdir makes the folder or fails). Its logical path;
// empty, errno set, when it could not be made.
QString makeFolderCopy(const QString& folder, const QString& name)
{
    const QString made = child(folder, FileOperator::rename_for_dir(folder, name));
    if (::mkdir(QFile::encodeName(platform::rootPath(made)).constData(), 0777) != 0) {
        const int error = errno;
        KLOG << "[Error] folder not made:" << made;
        errno = error;
        return QString();
    }
    return made;
}

// Where a copy of the file `fileName` goes in `folder`: a free name.
// "archive.tar.gz" is "archive.tar" and ".gz"; a name without a dot, or with
// its only dot in front (".profile"), is kept whole.
QString fileCopyTarget(const QString& folder, const QString& fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? fileName.left(dot) : (dot == 0 ? QString() : fileName);
    const QString extension = dot >= 0 ? fileName.mid(dot) : QString();
    return child(folder, FileOperator::rename_for_file(folder, base, extension));
}

}  // namespace

void FileOperator::setData(file_operations_t data)
{
    m_operation = data.operation;
    m_sources = data.sources;
}

void FileOperator::setDst(QFileInfo dst)
{
    m_dst = dst;
}

QString FileOperator::rename_for_file(QString folder, QString base, QString extension)
{
    QString candidate = base + extension;
    for (qint64 n = 1; taken(folder, candidate); ++n)
        candidate = QStringLiteral("%1(%2)%3").arg(base).arg(n).arg(extension);
    return candidate;
}

QString FileOperator::rename_for_dir(QString folder, QString name)
{
    QString candidate = name;
    for (qint64 n = 1; taken(folder, candidate); ++n)
        candidate = QStringLiteral("%1(%2)").arg(name).arg(n);
    return candidate;
}

void FileOperator::erase(QFileInfo fi)
{
    const QString path = platform::rootPath(fi.filePath());
    const QFileInfo physical(path);
    const bool removed = physical.isDir() && !physical.isSymLink() ? QDir(path).removeRecursively()
                                                                   : QFile::remove(path);
    if (!removed)
        KLOG << "[Error] not all of it removed:" << fi.filePath();
}

void FileOperator::calculateCopyList(const QFileInfo& source, int& count, unsigned long& size)
{
    const QString path = source.filePath();
    if (QFileInfo(platform::rootPath(path)).isDir()) {
        size += kFolderBytes;
        for (const QFileInfo& entry : entriesOf(path))
            calculateCopyList(QFileInfo(child(path, entry.fileName())), count, size);
        return;
    }
    struct stat status {};
    if (::stat(QFile::encodeName(platform::rootPath(path)).constData(), &status) == 0) {
        ++count;
        size += static_cast<unsigned long>(status.st_size);
    }
}

bool FileOperator::holds(const QFileInfo& source, const QString& folder)
{
    const QString src = canonical(source.filePath());
    const QString dst = canonical(folder);
    return !src.isEmpty() && (dst == src || dst.startsWith(src + QLatin1Char('/')));
}

bool FileOperator::fail(const QString& folder, int error, FileOperationPasteError otherwise)
{
    if (error == ENOSPC)
        m_failure = PasteErrorDiskSpace;
    else if (!QFileInfo(platform::rootPath(folder)).isDir())
        m_failure = PasteErrorDestination;
    else
        m_failure = otherwise;
    KLOG << "[Error] in" << folder << ":" << qt_error_string(error);
    return false;
}

bool FileOperator::copyInto(const QFileInfo& source, const QString& folder, int& count, unsigned long& size)
{
    const QString path = source.filePath();
    const QFileInfo physical(platform::rootPath(path));
    if (physical.isDir()) {
        const QString made = makeFolderCopy(folder, source.fileName());
        if (made.isEmpty())
            return fail(folder, errno, PasteErrorDestination);
        for (const QFileInfo& entry : entriesOf(path)) {
            if (!copyInto(QFileInfo(child(path, entry.fileName())), made, count, size))
                return false;
        }
        return true;
    }
    if (!physical.isFile()) {
        KLOG << "[Error] neither a file nor a folder:" << path;
        m_failure = PasteErrorCopy;
        return false;
    }

    const QString fileName = source.fileName();
    if (!(m_operation == file_operations_t::CopyAllResults && isPreviousCountTable(fileName))) {
        const QString target = fileCopyTarget(folder, fileName);
        if (::copy(path.toUtf8().constData(), target.toUtf8().constData()) != 0) {
            const int error = errno;
            KLOG << "[Error] file not copied:" << path << "to" << target;
            return fail(folder, error, PasteErrorCopy);
        }
    }
    ++count;
    size += static_cast<unsigned long>(physical.size());
    emit signalSetCurrentFileCountAndSize(count, size);
    return true;
}

bool FileOperator::copyRecursively(QFileInfo source, QFileInfo dst, int& count, unsigned long& size)
{
    if (holds(source, dst.filePath())) {
        KLOG << "[Error] the destination lies in the source:" << source.filePath();
        m_failure = PasteErrorSameFolder;
        return false;
    }
    return copyInto(source, dst.filePath(), count, size);
}

bool FileOperator::copyRecursively(QFileInfo source, QFileInfo dst)
{
    if (holds(source, dst.filePath())) {
        KLOG << "[Error] the destination lies in the source:" << source.filePath();
        return false;
    }
    return copyInto(source, dst.filePath());
}

bool FileOperator::copyInto(const QFileInfo& source, const QString& folder)
{
    const QString path = source.filePath();
    const QFileInfo physical(platform::rootPath(path));
    if (physical.isDir()) {
        const QString made = makeFolderCopy(folder, source.fileName());
        if (made.isEmpty())
            return false;
        // Whatever fails, the other entries are copied all the same.
        bool all = true;
        for (const QFileInfo& entry : entriesOf(path))
            all = copyInto(QFileInfo(child(path, entry.fileName())), made) && all;
        return all;
    }
    if (!physical.isFile()) {
        KLOG << "[Error] neither a file nor a folder:" << path;
        return false;
    }
    const QString target = fileCopyTarget(folder, source.fileName());
    if (::copy(path.toUtf8().constData(), target.toUtf8().constData()) != 0) {
        KLOG << "[Error] file not copied:" << path << "to" << target;
        return false;
    }
    return true;
}

void FileOperator::run()
{
    KLOG_ENTER;
    int totalCount = 0;
    unsigned long totalSize = 0;
    for (const QString& source : m_sources) {
        if (QFileInfo::exists(platform::rootPath(source)))
            calculateCopyList(QFileInfo(source), totalCount, totalSize);
    }
    const float required = static_cast<float>(totalSize * kBytesToMiB);
    if (MediaMonitor::freeDiskSpace(QString::fromLatin1(ResultTree::kStickMount)) < required) {
        KLOG_VALUE("needed MiB", required);
        emit signalPasteError(PasteErrorDiskSpace);
        return;
    }
    emit signalSetTotalFileCountAndSize(totalCount, totalSize);

    int count = 0;
    unsigned long size = 0;
    QStringList copied;
    for (const QString& source : m_sources) {
        if (!QFileInfo::exists(platform::rootPath(source)))
            continue;
        if (!copyRecursively(QFileInfo(source), m_dst, count, size)) {
            emit signalPasteError(m_failure);
            return;
        }
        copied << source;
    }
    if (m_operation == file_operations_t::Move) {
        for (const QString& source : copied)
            erase(QFileInfo(source));
    }
    emit signalCompleted();
}
