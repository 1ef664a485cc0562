#include "I2CController.h"

#include "platform/I2cBus.h"
#include "platform/Pmic.h"

#include <QThread>

#include <cstdint>

using platform::I2cBus;

namespace {

const char kBus[] = "/dev/i2c-1";
constexpr int kControllerBoard = 0x41;
constexpr int kLiquidLens = 0x60;
constexpr int kBadVersionPart = 5;
// The chips need this long between a request and its answer.
constexpr unsigned long kAnswerDelayMs = 5;

// One transfer with a slave of the bus: `out` written (when not empty), then
// after the answer delay `inSize` bytes read into `in` (when not zero).
int transfer(int slave, const std::uint8_t* out, std::size_t outSize, std::uint8_t* in, std::size_t inSize)
{
    I2cBus bus;
    if (const int failed = bus.openSlave(QString::fromLatin1(kBus), slave))
        return failed;
    int status = platform::I2C_DONE;
    if (outSize > 0 && bus.write(out, outSize) != long(outSize)) {
        status = platform::I2C_SHORT_WRITE;
    } else if (inSize > 0) {
        if (outSize > 0)
            QThread::msleep(kAnswerDelayMs);
        if (bus.read(in, inSize) != long(inSize))
            status = platform::I2C_SHORT_READ;
    }
    bus.close();
    return status;
}

int versionPart(int slave, I2CController::VersionType part, unsigned char& value)
{
    if (part < I2CController::VERSION_MAJOR || part > I2CController::VERSION_PATCH) {
        // The bus is opened and claimed first, as for every request.
        I2cBus bus;
        const int failed = bus.openSlave(QString::fromLatin1(kBus), slave);
        bus.close();
        return failed ? failed : kBadVersionPart;
    }
    const std::uint8_t request = std::uint8_t('0' + part);
    std::uint8_t answer = 0;
    const int status = transfer(slave, &request, 1, &answer, 1);
    if (status == platform::I2C_DONE)
        value = answer;
    return status;
}

// The parts from `first` on from one slave; the first failure ends it.
int versionFrom(int slave, int first, unsigned char (&parts)[3])
{
    for (int part = first; part <= I2CController::VERSION_PATCH; ++part) {
        if (const int failed = versionPart(slave, I2CController::VersionType(part), parts[part]))
            return failed;
    }
    return platform::I2C_DONE;
}

}  // namespace

int I2CController::getFirmwareVersion_1(VersionType part, unsigned char& value)
{
    return versionPart(kControllerBoard, part, value);
}

int I2CController::getFirmwareVersion_2(VersionType part, unsigned char& value)
{
    return versionPart(kLiquidLens, part, value);
}

int I2CController::getFirmwareVersion(std::string& version)
{
    unsigned char parts[3] = {};
    // Only a board that does not answer its first request hands over to the lens driver.
    const int status = getFirmwareVersion_1(VERSION_MAJOR, parts[0]) == platform::I2C_DONE
                           ? versionFrom(kControllerBoard, VERSION_MINOR, parts)
                           : versionFrom(kLiquidLens, VERSION_MAJOR, parts);
    if (status == platform::I2C_DONE)
        version = {char(parts[0]), '.', char(parts[1]), '.', char(parts[2])};
    return status;
}

int I2CController::setControllerBoardPower2(unsigned char value, unsigned char& reply)
{
    std::uint8_t answer = 0;
    const int status = transfer(kControllerBoard, &value, 1, &answer, 1);
    if (status == platform::I2C_DONE)
        reply = answer;
    return status;
}

int I2CController::setControllerBoardPower(unsigned char value)
{
    return transfer(kControllerBoard, &value, 1, nullptr, 0);
}

int I2CController::getControllerBoardPower(unsigned char& value)
{
    std::uint8_t answer = 0;
    const int status = transfer(kControllerBoard, nullptr, 0, &answer, 1);
    if (status == platform::I2C_DONE)
        value = answer;
    return status;
}

int I2CController::setLiquidLensPosition(unsigned int position)
{
    const std::uint8_t message[3] = {'x', std::uint8_t(position >> 4), std::uint8_t((position & 0x0F) << 4)};
    return transfer(kLiquidLens, message, sizeof message, nullptr, 0);
}

int I2CController::getLiquidLensPosition(unsigned int& position)
{
    std::uint8_t answer[6] = {};
    const int status = transfer(kLiquidLens, nullptr, 0, answer, sizeof answer);
    if (status == platform::I2C_DONE)
        position = (unsigned(answer[1]) << 4) + (answer[2] >> 4);
    return status;
}

int I2CController::setPMIC(unsigned char value)
{
    return platform::setPMIC(value);
}

int I2CController::getPMIC(unsigned char& value)
{
    return platform::getPMIC(value);
}
