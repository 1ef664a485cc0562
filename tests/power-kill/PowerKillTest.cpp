#include "PowerKill.h"

#include "McuSimulator.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

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

// Only the command's own reply, whole and well formed, counts: a late reply
// to the version query, a report or noise never passes for the power kill's
// acknowledgement, and a refusal is no acknowledgement. Each command has
// three tries of its own.
TEST_F(PowerKillTest, OnlyTheCommandsOwnReplyAcknowledgesIt)
{
    using F = Fault;
    const struct
    {
        const char* name;
        std::vector<Fault> replies;  // the faults of the first replies; then none
        int wait;                    // tenths of a second per reply
        int exitCode;
        std::size_t versions, kills;  // the commands sent
    } cases[] = {
        {"answered", {}, 20, 0, 1, 1},
        {"each command silent twice", {F::Silence, F::Silence, F::None, F::Silence, F::Silence, F::None}, 5, 0, 3, 3},
        {"version refused", {F::Refused, F::Refused, F::Refused}, 20, kNotAcknowledged, 3, 0},
        {"kill refused", {F::None, F::Refused, F::Refused, F::Refused}, 20, kNotAcknowledged, 1, 3},
        {"kill answered in lower case", {F::None, F::LowerCaseOk, F::LowerCaseOk, F::LowerCaseOk}, 20,
         kNotAcknowledged, 1, 3},
        // Malformed: no reply, so each try waits its time out.
        {"kill answered in four fields", {F::None, F::FourFields, F::FourFields, F::FourFields}, 5, kNotAcknowledged,
         1, 3},
        {"kill answered in six fields", {F::None, F::SixFields, F::SixFields, F::SixFields}, 5, kNotAcknowledged, 1,
         3},
        // The first version reply comes while the kill waits for its own.
        {"late version reply, kill silent", {F::LateReply, F::None, F::Silence, F::Silence, F::Silence}, 5,
         kNotAcknowledged, 2, 3},
        {"a report before the reply", {F::None, F::EventInExchange}, 20, 0, 1, 1},
        {"the reply in two writes", {F::SplitLine, F::SplitLine}, 20, 0, 1, 1},
        {"line feed only", {F::LfOnly, F::LfOnly}, 20, 0, 1, 1},
        // Not a whole line: neither a reply without its line end nor the tail
        // of a line too long to be a reply acknowledges the kill.
        {"kill answered without a line end", {F::None, F::CrOnly, F::CrOnly, F::CrOnly}, 5, kNotAcknowledged, 1, 3},
        {"kill answered at the end of an overlong line",
         {F::None, F::OverlongLine, F::OverlongLine, F::OverlongLine}, 5, kNotAcknowledged, 1, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot caseRoot;
        McuSimulator mcu;
        ASSERT_TRUE(mcu.start());
        ASSERT_TRUE(mcu.linkAt());
        mcu.setLateReply(std::chrono::milliseconds(150 * c.wait));
        mcu.queueFaults(c.replies);
        const Outcome run = powerKillWith({}, c.wait);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.output;
        const std::vector<std::string> frames = mcu.frames();
        EXPECT_EQ(std::count(frames.begin(), frames.end(), kVersion), c.versions);
        EXPECT_EQ(std::count(frames.begin(), frames.end(), kKill), c.kills);
        EXPECT_EQ(frames.size(), c.versions + c.kills);
    }
}

// What waited on the line before the tool started (here a version reply
// that nobody read) is no answer to its own query.
TEST_F(PowerKillTest, WhatCameBeforeTheCommandIsNoReply)
{
    sim.setFault(Fault::Silence);
    sim.sendRaw("$OK,DEVICE,FW VERSION,1.0.7,\r\n");
    // The bytes wait in the port's input before the tool opens it.
    const int port = ::open(root.path("/dev/ttyS2").toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(port, 0);
    pollfd waiting{port, POLLIN, 0};
    ASSERT_EQ(::poll(&waiting, 1, 10000), 1);
    ::close(port);

    const Outcome run = powerKillWith({}, 1);
    EXPECT_EQ(run.exitCode, kNotAcknowledged) << run.output;
    EXPECT_EQ(sim.frames(), (std::vector<std::string>(3, kVersion)));
    EXPECT_EQ(run.output.find("1.0.7"), std::string::npos);
}

// A reply is read whole however long (a long version passes); a line longer
// than any reply is printed in bounded pieces and never taken for one.
TEST(PowerKill, LongLinesAreReadWholeUpToABound)
{
    for (const int digits : {400, 3000}) {
        SCOPED_TRACE(digits);
        TempRoot root;
        McuSimulator sim;
        ASSERT_TRUE(sim.start());
        ASSERT_TRUE(sim.linkAt());
        const QString version(digits, QLatin1Char('7'));
        sim.setFirmware(version, "1");
        const Outcome run = powerKillWith({}, 5);
        EXPECT_EQ(run.exitCode, digits == 400 ? 0 : kNotAcknowledged);
        EXPECT_EQ(sim.powerKillReceived(), digits == 400);
        const std::string reply = "$OK,DEVICE,FW VERSION," + version.toStdString() + ",\r\n";
        EXPECT_EQ(run.output.find("=> received: " + reply + "\n") != std::string::npos, digits == 400);
        std::size_t at = 0;
        while ((at = run.output.find("=> received: ", at)) != std::string::npos) {
            at += 13;
            EXPECT_LE(run.output.find('\n', at) - at, 1024u);
        }
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
