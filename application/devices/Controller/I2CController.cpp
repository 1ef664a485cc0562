#include "Controller/I2CController.h"

#include "platform/I2cBus.h"
#include "platform/Log.h"

namespace {

const char kBus[] = "/dev/i2c-0";
constexpr int kSlave = 0x34;
constexpr unsigned char kRegister = 0x35;

// Opens the bus and claims the chip; 0, or the result code of the failure.
int openChip(platform::I2cBus& bus)
{
    if (!bus.open(QString::fromLatin1(kBus)))
        return 1;
    if (!bus.claim(kSlave)) {
        bus.close();
        return 2;
    }
    return 0;
}

}  // namespace

I2CController::I2CController() = default;

int I2CController::setPMIC(unsigned char value)
{
    KLOG_ENTER;
    platform::I2cBus bus;
    if (const int failed = openChip(bus))
        return failed;
    const unsigned char message[2] = {kRegister, value};
    const bool complete = bus.write(message, sizeof message) == static_cast<long>(sizeof message);
    bus.close();
    return complete ? 0 : 3;
}

int I2CController::getPMIC(unsigned char& value)
{
    KLOG_ENTER;
    platform::I2cBus bus;
    if (const int failed = openChip(bus))
        return failed;
    unsigned char byte = 0;
    const bool complete = bus.read(&byte, 1) == 1;
    bus.close();
    if (!complete)
        return 4;
    value = byte;
    return 0;
}
