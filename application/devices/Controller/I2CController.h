#pragma once

// The board's power-management chip (platform/Pmic.h, shared with the
// launcher). Result codes: 0 done, 1 the bus could not be opened, 2 the
// slave address could not be claimed, 3 short write, 4 short read.
class I2CController
{
public:
    I2CController();

    // Writes `value` to register 0x35.
    int setPMIC(unsigned char value);
    // Reads one byte from the register the chip currently points at (no
    // register address is sent first). `value` changes only on 0.
    int getPMIC(unsigned char& value);
};
