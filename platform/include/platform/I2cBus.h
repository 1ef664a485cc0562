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
// process see the same registers. See SimulatedI2c below.
namespace platform {

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

// The simulated buses of the registry. A slave is either declared (then it
// answers: transfers go to its register map) or absent (transfers fail with
// ENXIO, as a missing chip does not acknowledge). A write transfer starts with
// the register address (one or two bytes, high byte first, by the device) and
// goes on with data bytes stored from there on; a read transfer returns bytes
// from the register pointer. The pointer moves on by one after every data
// byte written or read. Registers never written read 0.
//
// The instrument's own chips are declared on first use of a bus: the
// power-management chip 0x34 (8-bit registers) on "/dev/i2c-0" and the image
// sensor 0x3C (16-bit registers) on "/dev/i2c-1". All calls are thread-safe.
class SimulatedI2c
{
public:
    // Creates the plain file that stands for the bus under the current root.
    static bool attach(const QString& logicalBus);

    // Declares a slave (an existing one starts again with empty registers).
    static void addDevice(const QString& logicalBus, int address, int registerAddressBytes);
    static void removeDevice(const QString& logicalBus, int address);

    // Register access from the simulator's side; nullopt / false for an absent slave.
    static std::optional<std::uint8_t> registerValue(const QString& logicalBus, int address,
                                                     std::uint16_t reg);
    static bool setRegisterValue(const QString& logicalBus, int address, std::uint16_t reg,
                                 std::uint8_t value);
    static std::optional<std::uint16_t> pointer(const QString& logicalBus, int address);
    static bool setPointer(const QString& logicalBus, int address, std::uint16_t reg);

    // The write transfers to a slave since it was declared or the record was
    // cleared, oldest first, each as its bytes were sent (register address
    // first); the latest kWriteRecord are kept.
    static constexpr std::size_t kWriteRecord = 4096;
    static std::vector<std::vector<std::uint8_t>> writes(const QString& logicalBus, int address);
    static void clearWrites(const QString& logicalBus, int address);

    // Fault for tests: the bus refuses every address claim.
    static void setClaimRefused(const QString& logicalBus, bool refused);

private:
    friend class I2cBus;
    static bool claimAllowed(const QString& physicalBus, int address);
    static long transfer(const QString& physicalBus, int address, const std::uint8_t* out,
                         std::uint8_t* in, std::size_t size);
};

}  // namespace platform
