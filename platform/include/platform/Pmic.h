#pragma once

// The board's power-management chip: slave 0x34 on "/dev/i2c-0", 8-bit
// registers. Every call opens and closes the bus itself and answers with an
// I2cStatus (I2cBus.h). Shared by the application and the launcher.
namespace platform {

// Writes `value` to register 0x35.
int setPMIC(unsigned char value);
// Reads one byte from the register the chip currently points at (no register
// address is sent first). `value` changes only on I2C_DONE.
int getPMIC(unsigned char& value);

}  // namespace platform
