#include "platform/I2cBus.h"

#include "platform/Root.h"
#include "platform/SimulatedI2c.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

I2cBus::~I2cBus()
{
    close();
}

bool I2cBus::open(const QString& logicalPath)
{
    close();
    const QString physical = rootPath(logicalPath);
    const QByteArray native = QFile::encodeName(physical);
    struct stat info {};
    const bool exists = ::stat(native.constData(), &info) == 0;
    if (isRealInstrument() || (exists && S_ISCHR(info.st_mode))) {
        m_fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
        return m_fd >= 0;
    }
    if (!exists || !S_ISREG(info.st_mode)) {
        errno = exists ? ENODEV : ENOENT;
        return false;
    }
    m_simulated = true;
    m_physicalPath = physical;
    return true;
}

bool I2cBus::claim(int address)
{
    if (m_fd >= 0)
        return ::ioctl(m_fd, I2C_SLAVE_FORCE, address) >= 0;
    if (!m_simulated) {
        errno = EBADF;
        return false;
    }
    if (!SimulatedI2c::claimAllowed(m_physicalPath, address))
        return false;
    m_address = address;
    return true;
}

int I2cBus::openSlave(const QString& logicalPath, int address)
{
    if (!open(logicalPath))
        return I2C_NO_BUS;
    if (!claim(address)) {
        close();
        return I2C_NO_SLAVE;
    }
    return I2C_DONE;
}

long I2cBus::write(const std::uint8_t* data, std::size_t size)
{
    if (m_fd >= 0)
        return ::write(m_fd, data, size);
    return SimulatedI2c::transfer(m_physicalPath, m_simulated ? m_address : -1, data, nullptr, size);
}

long I2cBus::read(std::uint8_t* data, std::size_t size)
{
    if (m_fd >= 0)
        return ::read(m_fd, data, size);
    return SimulatedI2c::transfer(m_physicalPath, m_simulated ? m_address : -1, nullptr, data, size);
}

void I2cBus::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_simulated = false;
    m_physicalPath.clear();
    m_address = -1;
}

}  // namespace platform
