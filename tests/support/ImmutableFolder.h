#pragma once

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Makes a folder immutable for the fixture's life, so that nothing in it can
// be removed or added, not even by root (the tests run as root in CI, where
// permissions stop nothing). Needs a file system with the attribute and the
// right to set it: check isSet() and skip the case where it is missing.
class ImmutableFolder
{
public:
    explicit ImmutableFolder(const QString& folder) : m_fd(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY))
    {
        m_set = m_fd >= 0 && setFlag(true);
    }
    ~ImmutableFolder()
    {
        if (m_set)
            setFlag(false);
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ImmutableFolder(const ImmutableFolder&) = delete;
    ImmutableFolder& operator=(const ImmutableFolder&) = delete;

    bool isSet() const { return m_set; }

private:
    bool setFlag(bool on)
    {
        int flags = 0;
        if (::ioctl(m_fd, FS_IOC_GETFLAGS, &flags) != 0)
            return false;
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        return ::ioctl(m_fd, FS_IOC_SETFLAGS, &flags) == 0;
    }

    int m_fd;
    bool m_set = false;
};
