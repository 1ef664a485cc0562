#include "platform/Pmic.h"

#include "platform/I2cBus.h"

namespace platform {

namespace {

const char kBus[] = "/dev/i2c-0";
constexpr int kSlave = 0x34;
constexpr unsigned char kRegister = 0x35;

}  // namespace

int setPMIC(unsigned char value)
{
    I2cBus bus;
    if (const int failed = bus.openSlave(QString::fromLatin1(kBus), kSlave))
        return failed;
    const unsigned char message[2] = {kRegister, value};
    const bool complete = bus.write(message, sizeof message) == static_cast<long>(sizeof message);
    bus.close();
    return complete ? I2C_DONE : I2C_SHORT_WRITE;
}

int getPMIC(unsigned char& value)
{
    I2cBus bus;
    if (const int failed = bus.openSlave(QString::fromLatin1(kBus), kSlave))
        return failed;
    unsigned char byte = 0;
    const bool complete = bus.read(&byte, 1) == 1;
    bus.close();
    if (!complete)
        return I2C_SHORT_READ;
    value = byte;
    return I2C_DONE;
}

}  // namespace platform
