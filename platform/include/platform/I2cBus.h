#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

// The I2C seam. A bus is opened at its logical path ("/dev/i2c-0"), mapped
// under the instrument root:
//
//  - a character device at the mapped path is the real bus: i2c-dev ioctls,
//    read() and write() on the descriptor;
//  - on the real instrument (root "/") nothing else is tried, so a missing
//    device simply fails to open;
//  - under any other root, a plain file at the mapped path (normally empty;
//    SimulatedI2c::attach creates it) stands for a simulated bus, and a
//    missing file is a board without that bus: the open fails.
//
// A simulated bus holds one register map per slave address in a process-wide
// registry keyed by the mapped path of the bus, so every root has its own
// buses and the tests, the simulated camera and the code under test in one
// process see the same registers. See SimulatedI2c (platform/SimulatedI2c.h).
namespace platform {

// Status of the one-transfer chip operations built on the bus (each opens the
// bus, claims its slave, moves a few bytes and closes it again).
enum I2cStatus {
    I2C_DONE = 0,
    I2C_NO_BUS = 1,       // the bus device could not be opened
    I2C_NO_SLAVE = 2,     // the slave address could not be claimed
    I2C_SHORT_WRITE = 3,  // not every byte was written
    I2C_SHORT_READ = 4,   // not every byte was read
};

class I2cBus
{
public:
    I2cBus() = default;
    ~I2cBus();
    I2cBus(const I2cBus&) = delete;
    I2cBus& operator=(const I2cBus&) = delete;

    // Opens the bus read-write; false when it cannot be opened.
    bool open(const QString& logicalPath);
    // Claims a 7-bit slave address even when a driver holds it (I2C_SLAVE_FORCE).
    bool claim(int address);
    // open() and claim() in one: I2C_DONE, or I2C_NO_BUS / I2C_NO_SLAVE with
    // the bus closed again.
    int openSlave(const QString& logicalPath, int address);
    // One plain write or read transfer with the claimed slave; the number of
    // bytes moved, or -1 (errno set) when the slave did not take part.
    long write(const std::uint8_t* data, std::size_t size);
    long read(std::uint8_t* data, std::size_t size);
    void close();

    bool isOpen() const { return m_fd >= 0 || m_simulated; }
    bool isSimulated() const { return m_simulated; }

private:
    int m_fd = -1;
    bool m_simulated = false;
    QString m_physicalPath;  // key of a simulated bus
    int m_address = -1;
};

}  // namespace platform
