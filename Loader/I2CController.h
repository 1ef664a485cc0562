#pragma once

#include <string>

// The launcher's access to the chips on the instrument's I2C buses: the
// controller board (slave 0x41 on "/dev/i2c-1": a three-part firmware version
// and a power byte), the liquid-lens driver (slave 0x60 on "/dev/i2c-1": a
// 12-bit lens position) and the power-management chip. Each call opens the
// bus, claims the slave, makes one short transfer and closes the bus; the
// answer is a status: 0 done, 1 no bus, 2 no slave, 3 short write, 4 short
// read, 5 a version part other than 0, 1, 2. Out values change only on 0.
class I2CController
{
public:
    // Which part of the firmware version: sent as the ASCII digit.
    enum VersionType { VERSION_MAJOR = 0, VERSION_MINOR = 1, VERSION_PATCH = 2 };

    // One version part (one character) from the controller board (…_1) or
    // the liquid-lens driver (…_2): the digit written, 5 ms, one byte read.
    int getFirmwareVersion_1(VersionType part, unsigned char& value);
    int getFirmwareVersion_2(VersionType part, unsigned char& value);
    // "a.b.c" from the controller board, or from the liquid-lens driver when
    // the board does not answer its first request.
    int getFirmwareVersion(std::string& version);

    // The power byte of the controller board: written and answered (…2),
    // written, or read.
    int setControllerBoardPower2(unsigned char value, unsigned char& reply);
    int setControllerBoardPower(unsigned char value);
    int getControllerBoardPower(unsigned char& value);

    // The lens position, bits 0 to 11: "x", bits 11..4, bits 3..0 in the high nibble.
    int setLiquidLensPosition(unsigned int position);
    int getLiquidLensPosition(unsigned int& position);

    // The power-management chip (shared with the application).
    int setPMIC(unsigned char value);
    int getPMIC(unsigned char& value);
};
