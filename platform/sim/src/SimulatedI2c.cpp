#include "platform/SimulatedI2c.h"

#include "platform/Root.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>
#include <mutex>

namespace platform {

namespace {

struct Device
{
    int addressBytes = 1;
    std::uint16_t pointer = 0;
    std::map<std::uint16_t, std::uint8_t> registers;
    std::deque<std::vector<std::uint8_t>> writes;
};

struct Bus
{
    bool claimRefused = false;
    std::map<int, Device> devices;
};

struct BoardChip
{
    const char* bus;
    int address;
    int registerAddressBytes;
};

// The chips the instrument's board carries, declared when a simulated bus is first used.
constexpr BoardChip kBoardChips[] = {
    {"/dev/i2c-0", 0x34, 1},  // power-management chip
    {"/dev/i2c-1", 0x3C, 2},  // image sensor
};

std::mutex g_mutex;
std::map<QString, Bus> g_buses;  // by mapped path

// The bus at a mapped path, created with the board's chips; g_mutex held.
Bus& busAt(const QString& physical)
{
    auto found = g_buses.find(physical);
    if (found != g_buses.end())
        return found->second;
    Bus& bus = g_buses[physical];
    for (const BoardChip& chip : kBoardChips) {
        if (physical == rootPath(QString::fromLatin1(chip.bus)))
            bus.devices[chip.address].addressBytes = chip.registerAddressBytes;
    }
    return bus;
}

Device* deviceAt(const QString& logicalBus, int address)
{
    Bus& bus = busAt(rootPath(logicalBus));
    auto found = bus.devices.find(address);
    return found == bus.devices.end() ? nullptr : &found->second;
}

}  // namespace

bool SimulatedI2c::attach(const QString& logicalBus)
{
    const QString physical = rootPath(logicalBus);
    if (isRealInstrument() || !QDir().mkpath(QFileInfo(physical).path()))
        return false;
    QFile marker(physical);
    return marker.exists() || marker.open(QIODevice::WriteOnly);
}

void SimulatedI2c::addDevice(const QString& logicalBus, int address, int registerAddressBytes)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    Device& device = busAt(rootPath(logicalBus)).devices[address];
    device = Device();
    device.addressBytes = registerAddressBytes == 2 ? 2 : 1;
}

void SimulatedI2c::removeDevice(const QString& logicalBus, int address)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    busAt(rootPath(logicalBus)).devices.erase(address);
}

std::optional<std::uint8_t> SimulatedI2c::registerValue(const QString& logicalBus, int address,
                                                        std::uint16_t reg)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const Device* device = deviceAt(logicalBus, address);
    if (!device)
        return std::nullopt;
    const auto found = device->registers.find(reg);
    return found == device->registers.end() ? std::uint8_t(0) : found->second;
}

bool SimulatedI2c::setRegisterValue(const QString& logicalBus, int address, std::uint16_t reg,
                                    std::uint8_t value)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    Device* device = deviceAt(logicalBus, address);
    if (device)
        device->registers[reg] = value;
    return device != nullptr;
}

std::optional<std::uint16_t> SimulatedI2c::pointer(const QString& logicalBus, int address)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const Device* device = deviceAt(logicalBus, address);
    return device ? std::optional<std::uint16_t>(device->pointer) : std::nullopt;
}

bool SimulatedI2c::setPointer(const QString& logicalBus, int address, std::uint16_t reg)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    Device* device = deviceAt(logicalBus, address);
    if (device)
        device->pointer = reg;
    return device != nullptr;
}

std::vector<std::vector<std::uint8_t>> SimulatedI2c::writes(const QString& logicalBus, int address)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const Device* device = deviceAt(logicalBus, address);
    if (!device)
        return {};
    return {device->writes.begin(), device->writes.end()};
}

void SimulatedI2c::clearWrites(const QString& logicalBus, int address)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (Device* device = deviceAt(logicalBus, address))
        device->writes.clear();
}

void SimulatedI2c::setClaimRefused(const QString& logicalBus, bool refused)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    busAt(rootPath(logicalBus)).claimRefused = refused;
}

bool SimulatedI2c::claimAllowed(const QString& physicalBus, int address)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    // i2c-dev takes 7-bit addresses only.
    if (address < 0 || address > 0x7F) {
        errno = EINVAL;
        return false;
    }
    if (busAt(physicalBus).claimRefused) {
        errno = EBUSY;
        return false;
    }
    return true;
}

long SimulatedI2c::transfer(const QString& physicalBus, int address, const std::uint8_t* out,
                            std::uint8_t* in, std::size_t size)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    if (physicalBus.isEmpty()) {
        errno = EBADF;
        return -1;
    }
    Bus& bus = busAt(physicalBus);
    const auto found = bus.devices.find(address);
    if (found == bus.devices.end()) {
        errno = ENXIO;
        return -1;
    }
    Device& device = found->second;
    std::size_t i = 0;
    if (out) {
        device.writes.emplace_back(out, out + size);
        if (device.writes.size() > SimulatedI2c::kWriteRecord)
            device.writes.pop_front();
        const std::size_t addressBytes = std::min<std::size_t>(device.addressBytes, size);
        if (addressBytes > 0)
            device.pointer = 0;
        for (; i < addressBytes; ++i)
            device.pointer = static_cast<std::uint16_t>((device.pointer << 8) | out[i]);
        for (; i < size; ++i)
            device.registers[device.pointer++] = out[i];
    } else {
        for (; i < size; ++i) {
            const auto reg = device.registers.find(device.pointer++);
            in[i] = reg == device.registers.end() ? 0 : reg->second;
        }
    }
    return static_cast<long>(size);
}

}  // namespace platform
