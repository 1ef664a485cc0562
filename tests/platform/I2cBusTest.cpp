#include "platform/I2cBus.h"
#include "platform/Pmic.h"
#include "platform/SimulatedI2c.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

using platform::I2cBus;
using platform::SimulatedI2c;

namespace {

const QString kPmicBus = QStringLiteral("/dev/i2c-0");
const QString kSensorBus = QStringLiteral("/dev/i2c-1");
constexpr int kPmic = 0x34;
constexpr int kSensor = 0x3C;

}  // namespace

TEST(Pmic, SetWritesRegister0x35AndGetReadsWhereTheChipPoints)
{
    TempRoot root;
    ASSERT_TRUE(SimulatedI2c::attach(kPmicBus));
    EXPECT_EQ(platform::setPMIC(0x5A), 0);
    EXPECT_EQ(SimulatedI2c::registerValue(kPmicBus, kPmic, 0x35), 0x5A);

    // No register address goes out before the read: the byte comes from the
    // chip's current register.
    SimulatedI2c::setRegisterValue(kPmicBus, kPmic, 0x12, 0xC3);
    SimulatedI2c::setPointer(kPmicBus, kPmic, 0x12);
    unsigned char value = 0;
    EXPECT_EQ(platform::getPMIC(value), 0);
    EXPECT_EQ(value, 0xC3);
}

TEST(Pmic, FailuresGiveTheirCodesAndLeaveTheValue)
{
    const struct {
        const char* name;
        void (*arrange)();
        int setCode;
        int getCode;
    } cases[] = {
        {"no bus device", [] {}, 1, 1},
        {"address claim refused",
         [] {
             SimulatedI2c::attach(kPmicBus);
             SimulatedI2c::setClaimRefused(kPmicBus, true);
         },
         2, 2},
        {"chip does not answer",
         [] {
             SimulatedI2c::attach(kPmicBus);
             SimulatedI2c::removeDevice(kPmicBus, kPmic);
         },
         3, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        c.arrange();
        EXPECT_EQ(platform::setPMIC(0x11), c.setCode);
        unsigned char value = 0x77;
        EXPECT_EQ(platform::getPMIC(value), c.getCode);
        EXPECT_EQ(value, 0x77);
    }
}

// The sensor's registers have 16-bit addresses, high byte first, and
// consecutive bytes go to consecutive registers.
TEST(I2cBus, SixteenBitRegisterAddressesWithAutoIncrement)
{
    TempRoot root;
    ASSERT_TRUE(SimulatedI2c::attach(kSensorBus));
    I2cBus bus;
    ASSERT_TRUE(bus.open(kSensorBus));
    EXPECT_TRUE(bus.isSimulated());
    ASSERT_TRUE(bus.claim(kSensor));

    const std::uint8_t write[4] = {0x35, 0x01, 0x12, 0x34};
    EXPECT_EQ(bus.write(write, sizeof write), 4);
    EXPECT_EQ(SimulatedI2c::registerValue(kSensorBus, kSensor, 0x3501), 0x12);
    EXPECT_EQ(SimulatedI2c::registerValue(kSensorBus, kSensor, 0x3502), 0x34);

    const std::uint8_t address[2] = {0x35, 0x01};
    std::uint8_t read[3] = {0xFF, 0xFF, 0xFF};
    EXPECT_EQ(bus.write(address, sizeof address), 2);
    EXPECT_EQ(bus.read(read, sizeof read), 3);
    EXPECT_EQ(read[0], 0x12);
    EXPECT_EQ(read[1], 0x34);
    EXPECT_EQ(read[2], 0x00);  // never written
    EXPECT_EQ(SimulatedI2c::pointer(kSensorBus, kSensor), 0x3504);
}

TEST(I2cBus, AbsentSlavesAndBadAddressesFail)
{
    TempRoot root;
    ASSERT_TRUE(SimulatedI2c::attach(kSensorBus));
    I2cBus bus;
    ASSERT_TRUE(bus.open(kSensorBus));
    EXPECT_FALSE(bus.claim(0x80));
    ASSERT_TRUE(bus.claim(0x50));  // forced: nobody checks who is there
    const std::uint8_t byte = 0;
    std::uint8_t in = 0;
    errno = 0;
    EXPECT_EQ(bus.write(&byte, 1), -1);
    EXPECT_EQ(errno, ENXIO);
    EXPECT_EQ(bus.read(&in, 1), -1);
    EXPECT_FALSE(SimulatedI2c::registerValue(kSensorBus, 0x50, 0).has_value());
}

// Every root has its own buses, so tests in one process cannot see each other's registers.
TEST(I2cBus, RegistersBelongToTheRoot)
{
    {
        TempRoot first;
        SimulatedI2c::setRegisterValue(kSensorBus, kSensor, 0x3400, 0x44);
        EXPECT_EQ(SimulatedI2c::registerValue(kSensorBus, kSensor, 0x3400), 0x44);
    }
    TempRoot second;
    EXPECT_EQ(SimulatedI2c::registerValue(kSensorBus, kSensor, 0x3400), 0x00);
}
