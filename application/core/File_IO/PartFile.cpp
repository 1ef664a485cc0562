#include "File_IO/PartFile.h"

#include "platform/Log.h"
#include "platform/SaveFile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool nameTaken(const QString& physical)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(physical).constData(), &status) == 0;
}

bool writeWhole(const QString& target, const QByteArray& content, QString* errorString)
{
    PartFile file(target);
    if (file.write(content) && file.commit())
        return true;
    if (errorString)
        *errorString = file.errorString();
    return false;
}

PartFile::PartFile(const QString& target) : m_target(target)
{
    for (int n = 0;; ++n) {
        m_part = n == 0 ? target + QStringLiteral(".part") : QStringLiteral("%1.%2.part").arg(target).arg(n);
        // Read and write, as libtiff opens a file it writes.
        m_fd = ::open(QFile::encodeName(m_part).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                      0644);
        if (m_fd >= 0)
            return;
        if (errno != EEXIST) {
            m_error = errno;
            KLOG << "cannot create" << m_part << errorString();
            m_part.clear();  // not ours to remove
            return;
        }
    }
}

PartFile::~PartFile()
{
    discard();
}

bool PartFile::fail()
{
    if (m_error == 0)
        m_error = errno != 0 ? errno : EIO;
    return false;
}

bool PartFile::write(const char* data, qint64 size)
{
    if (m_fd < 0 || m_error != 0)
        return false;
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return fail();
        }
        data += written;
        size -= written;
    }
    return true;
}

bool PartFile::sync()
{
    if (platform::saveFileSeams().atSync) {
        errno = platform::saveFileSeams().atSync(m_target);
        if (errno != 0)
            return false;
    }
    return ::fsync(m_fd) == 0;
}

bool PartFile::commit()
{
    if (m_fd < 0)
        return false;
    bool ok = m_error == 0 && (sync() || fail());
    if (::close(m_fd) != 0 && ok)
        ok = fail();
    m_fd = -1;
    if (ok && platform::saveFileSeams().atCommit)
        platform::saveFileSeams().atCommit(m_target);
    if (ok && std::rename(QFile::encodeName(m_part).constData(), QFile::encodeName(m_target).constData()) != 0)
        ok = fail();
    if (!ok) {
        KLOG << "not put in place:" << m_target << errorString();
        ::unlink(QFile::encodeName(m_part).constData());
    }
    m_part.clear();
    return ok;
}

void PartFile::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_part.isEmpty())
        ::unlink(QFile::encodeName(m_part).constData());
    m_part.clear();
}

QString PartFile::errorString() const
{
    return qt_error_string(m_error);
}
