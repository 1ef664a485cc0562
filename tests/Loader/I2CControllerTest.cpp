#include "I2CController.h"

#include "platform/SimulatedI2c.h"
#include "platform/Root.h"

#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QFile>

using platform::SimulatedI2c;

namespace {

const QString kBus = QStringLiteral("/dev/i2c-1");
constexpr int kBoard = 0x41;
constexpr int kLens = 0x60;

using Bytes = std::vector<std::vector<std::uint8_t>>;

// A bus with the board and the lens driver, each holding the version digits
// at the registers their requests ("0", "1", "2") point to.
struct I2cBench
{
    I2cBench()
    {
        EXPECT_TRUE(SimulatedI2c::attach(kBus));
        for (int slave : {kBoard, kLens})
            SimulatedI2c::addDevice(kBus, slave, 1);
    }
    static void setVersion(int slave, const char* digits)
    {
        for (int part = 0; part < 3; ++part)
            SimulatedI2c::setRegisterValue(kBus, slave, std::uint16_t('0' + part), std::uint8_t(digits[part]));
    }
    TempRoot root;
    I2CController chips;
};

}  // namespace

TEST(LauncherI2c, FirmwareVersionFromTheBoardOrElseTheLensDriver)
{
    const struct
    {
        const char* name;
        bool board;
        bool lens;
        int status;
        std::string version;
    } cases[] = {
        {"board answers", true, true, 0, "1.0.7"},
        {"board absent", false, true, 0, "2.3.4"},
        {"both absent", false, false, 3, "unchanged"},  // the lens driver's first request
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        I2cBench bench;
        I2cBench::setVersion(kBoard, "107");
        I2cBench::setVersion(kLens, "234");
        if (!c.board)
            SimulatedI2c::removeDevice(kBus, kBoard);
        if (!c.lens)
            SimulatedI2c::removeDevice(kBus, kLens);
        std::string version = "unchanged";
        EXPECT_EQ(bench.chips.getFirmwareVersion(version), c.status);
        EXPECT_EQ(version, c.version);
        if (c.board) {
            EXPECT_EQ(SimulatedI2c::writes(kBus, kBoard), (Bytes{{'0'}, {'1'}, {'2'}}));
        }
    }
}

TEST(LauncherI2c, AVersionPartOutOfRangeWritesNothing)
{
    I2cBench bench;
    unsigned char value = 0x55;
    EXPECT_EQ(bench.chips.getFirmwareVersion_1(I2CController::VersionType(3), value), 5);
    EXPECT_EQ(bench.chips.getFirmwareVersion_2(I2CController::VersionType(3), value), 5);
    EXPECT_EQ(value, 0x55);
    EXPECT_TRUE(SimulatedI2c::writes(kBus, kBoard).empty());
    EXPECT_TRUE(SimulatedI2c::writes(kBus, kLens).empty());
    // The bus was closed again: the next request goes through.
    I2cBench::setVersion(kBoard, "9xx");
    EXPECT_EQ(bench.chips.getFirmwareVersion_1(I2CController::VERSION_MAJOR, value), 0);
    EXPECT_EQ(value, '9');
}

TEST(LauncherI2c, LensPositionBytesBothWays)
{
    I2cBench bench;
    EXPECT_EQ(bench.chips.setLiquidLensPosition(0xABC), 0);
    EXPECT_EQ(bench.chips.setLiquidLensPosition(0x1ABC), 0) << "bits above 11 are dropped";
    EXPECT_EQ(SimulatedI2c::writes(kBus, kLens), (Bytes{{0x78, 0xAB, 0xC0}, {0x78, 0xAB, 0xC0}}));

    const std::uint8_t answer[6] = {0x00, 0xAB, 0xC0, 0x11, 0x22, 0x33};
    for (std::uint16_t i = 0; i < 6; ++i)
        SimulatedI2c::setRegisterValue(kBus, kLens, std::uint16_t(0x10 + i), answer[i]);
    SimulatedI2c::setPointer(kBus, kLens, 0x10);
    unsigned int position = 0;
    EXPECT_EQ(bench.chips.getLiquidLensPosition(position), 0);
    EXPECT_EQ(position, 0xABCu);
}

TEST(LauncherI2c, ControllerBoardPowerByte)
{
    I2cBench bench;
    EXPECT_EQ(bench.chips.setControllerBoardPower(0x01), 0);
    EXPECT_EQ(SimulatedI2c::writes(kBus, kBoard), (Bytes{{0x01}}));

    // The written byte points at the register that answers.
    SimulatedI2c::setRegisterValue(kBus, kBoard, 0x02, 0xA5);
    unsigned char reply = 0;
    EXPECT_EQ(bench.chips.setControllerBoardPower2(0x02, reply), 0);
    EXPECT_EQ(reply, 0xA5);

    SimulatedI2c::setPointer(kBus, kBoard, 0x02);
    unsigned char value = 0;
    EXPECT_EQ(bench.chips.getControllerBoardPower(value), 0);
    EXPECT_EQ(value, 0xA5);
}

TEST(LauncherI2c, FailuresGiveTheirStatusAndLeaveTheValues)
{
    const struct
    {
        const char* name;
        void (*arrange)();
        int writeStatus;
        int readStatus;
    } cases[] = {
        {"no bus device", [] { QFile::remove(platform::rootPath(kBus)); }, 1, 1},
        {"claim refused", [] { SimulatedI2c::setClaimRefused(kBus, true); }, 2, 2},
        {"slaves absent",
         [] {
             SimulatedI2c::removeDevice(kBus, kBoard);
             SimulatedI2c::removeDevice(kBus, kLens);
         },
         3, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        I2cBench bench;
        c.arrange();
        unsigned char value = 0x77;
        unsigned int position = 0x777;
        std::string version = "unchanged";
        EXPECT_EQ(bench.chips.setLiquidLensPosition(0x123), c.writeStatus);
        EXPECT_EQ(bench.chips.setControllerBoardPower(1), c.writeStatus);
        EXPECT_EQ(bench.chips.setControllerBoardPower2(1, value), c.writeStatus);
        EXPECT_EQ(bench.chips.getFirmwareVersion_1(I2CController::VERSION_MINOR, value), c.writeStatus);
        EXPECT_EQ(bench.chips.getFirmwareVersion(version), c.writeStatus);
        EXPECT_EQ(bench.chips.getControllerBoardPower(value), c.readStatus);
        EXPECT_EQ(bench.chips.getLiquidLensPosition(position), c.readStatus);
        EXPECT_EQ(value, 0x77);
        EXPECT_EQ(position, 0x777u);
        EXPECT_EQ(version, "unchanged");
        SimulatedI2c::setClaimRefused(kBus, false);
    }
}
