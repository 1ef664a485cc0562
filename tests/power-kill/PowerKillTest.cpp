#include "PowerKill.h"

#include "McuSimulator.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using Fault = McuSimulator::Fault;

namespace {

const std::string kVersion = "$,DEVICE,FW VERSION,,\r\n";
const std::string kKill = "$,DEVICE,PWR KILL,3000,\r\n";

struct Outcome
{
    int exitCode;
    std::string output;
};

// Runs the tool in-process with the given arguments after the program name,
// waiting `wait` tenths of a second per reply.
Outcome powerKillWith(std::vector<std::string> arguments, int wait = 20)
{
    arguments.insert(arguments.begin(), "PowerKill");
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&buffer, &size);
    const int code = powerKill(static_cast<int>(argv.size()), argv.data(), out, wait);
    std::fclose(out);
    Outcome run{code, std::string(buffer, size)};
    std::free(buffer);
    return run;
}

std::string attempt(const std::string& command, const std::string& device, const std::string& reply)
{
    return "Writing " + command + " to " + device + "\n=> received: " + reply + "\n";
}

class PowerKillTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.start());
        ASSERT_TRUE(sim.linkAt());
        sim.setFirmware("3.1.4", "1");
    }

    TempRoot root;
    McuSimulator sim;
};

}  // namespace

TEST_F(PowerKillTest, AsksTheVersionThenKillsThePower)
{
    // No argument: the instrument's port, under the root.
    const Outcome run = powerKillWith({});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, attempt(kVersion, "/dev/ttyS2", "$OK,DEVICE,FW VERSION,3.1.4,\r\n")
                              + attempt(kKill, "/dev/ttyS2", "$OK,DEVICE,PWR KILL,3000,\r\n"));
    EXPECT_EQ(sim.frames(), (std::vector<std::string>{kVersion, kKill}));
    EXPECT_TRUE(sim.powerKillReceived());
}

// The argument is a logical path too, mapped under the root: neither ".."
// nor a relative path leads to a terminal of the host.
TEST(PowerKill, TalksToTheDeviceGivenAsArgument)
{
    for (const std::string device : {"/dev/ttyUSB0", "/../../dev/ttyUSB0", "../../dev/ttyUSB0", "dev/ttyUSB0"}) {
        SCOPED_TRACE(device);
        TempRoot root;
        McuSimulator sim;
        ASSERT_TRUE(sim.start());
        ASSERT_TRUE(sim.linkAt(QStringLiteral("/dev/ttyUSB0")));
        const Outcome run = powerKillWith({device, "ignored"});
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_NE(run.output.find("Writing " + kVersion + " to " + device + "\n"), std::string::npos);
        EXPECT_TRUE(sim.powerKillReceived());
    }
}

// Without "$OK" a command is tried three times; the power kill then was never
// acknowledged, and the tool says so and fails.
TEST_F(PowerKillTest, StopsAfterThreeUnansweredAttemptsAndFails)
{
    for (Fault fault : {Fault::Silence, Fault::LowerCaseOk}) {
        SCOPED_TRACE(static_cast<int>(fault));
        TempRoot faultRoot;
        McuSimulator silent;
        ASSERT_TRUE(silent.start());
        ASSERT_TRUE(silent.linkAt());
        silent.setFault(fault);
        // Silence is waited out briefly; the wrong reply must come within its read.
        const Outcome run = powerKillWith({}, fault == Fault::Silence ? 1 : 20);
        EXPECT_EQ(run.exitCode, kNotAcknowledged);
        const std::string error = "Error: no acknowledgement of $,DEVICE,FW VERSION,,; the power kill was not "
                                  "acknowledged\n";
        EXPECT_EQ(run.output.substr(run.output.size() - std::min(run.output.size(), error.size())), error);
        EXPECT_EQ(silent.frames(), (std::vector<std::string>(3, kVersion)));
        EXPECT_FALSE(silent.powerKillReceived());
        const std::string reply = fault == Fault::Silence ? "" : "$ok,DEVICE,FW VERSION,3.1.4,\r\n";
        EXPECT_EQ(run.output.substr(0, attempt(kVersion, "/dev/ttyS2", reply).size()),
                  attempt(kVersion, "/dev/ttyS2", reply));
    }
}

// A reply longer than the buffer is read in pieces, each printed terminated:
// the rest of the long version reply counts as an unanswered kill attempt.
TEST_F(PowerKillTest, ALongReplyNeverOverrunsTheBuffer)
{
    sim.setFirmware(QString(400, QLatin1Char('7')), "1");
    const Outcome run = powerKillWith({});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(sim.powerKillReceived());
    std::size_t at = 0;
    while ((at = run.output.find("=> received: ", at)) != std::string::npos) {
        at += 13;
        EXPECT_LE(run.output.find('\n', at) - at, 255u);
    }
}

TEST(PowerKill, PortErrorsEndWithCode1)
{
    TempRoot root;
    const QString notATty = root.writeFile("/dev/ttyS2", "plain file");
    Outcome run = powerKillWith({notATty.toStdString()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "Error 25 from tcgetattr: Inappropriate ioctl for device\n");

    run = powerKillWith({"/dev/ttyS9"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.output, "Error 9 from tcgetattr: Bad file descriptor\n");
}

TEST_F(PowerKillTest, TheProgramPrintsItsLinesAndExits0)
{
    QProcess program;
    program.start(QStringLiteral(POWER_KILL_PROGRAM), QStringList());
    ASSERT_TRUE(program.waitForFinished(10000));
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(program.readAllStandardOutput().toStdString(),
              attempt(kVersion, "/dev/ttyS2", "$OK,DEVICE,FW VERSION,3.1.4,\r\n")
                  + attempt(kKill, "/dev/ttyS2", "$OK,DEVICE,PWR KILL,3000,\r\n"));
}
