#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

class I2cBus;

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
