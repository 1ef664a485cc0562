#include "Controller/Controller.h"

#include "McuSimulator.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Fault = McuSimulator::Fault;

namespace {

// The host side of the line without any protocol: bytes in, bytes out.
class RawPort
{
public:
    explicit RawPort(const QString& path)
        : m_fd(::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
    }
    ~RawPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }

    // Writes a frame and collects what comes back until a line feed has
    // arrived or the time-out has passed.
    std::string exchange(const std::string& frame, int timeoutMs = 2000)
    {
        if (::write(m_fd, frame.data(), frame.size()) != static_cast<ssize_t>(frame.size()))
            return "write failed";
        std::string received;
        QDeadlineTimer deadline(timeoutMs);
        while (received.find('\n') == std::string::npos && !deadline.hasExpired()) {
            pollfd fd = {m_fd, POLLIN, 0};
            if (::poll(&fd, 1, static_cast<int>(deadline.remainingTime())) <= 0)
                break;
            char buffer[256];
            const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
            if (got <= 0)
                break;
            received.append(buffer, static_cast<std::size_t>(got));
        }
        return received;
    }

private:
    int m_fd;
};

class McuSimulatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.start());
        ASSERT_TRUE(sim.linkAt());
        controller.setTimeouts(500, 1000);
        QSignalSpy connected(&controller, &Controller::sig_connected_controller);
        controller.openSerialPort();
        ASSERT_EQ(connected.count(), 1);
    }

    McuState stateFile() const
    {
        McuState state;
        state.position = -999;
        McuState::read(root.path(McuState::kStateFile), state);
        return state;
    }

    void waitForFrames(std::size_t count)
    {
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.frames().size() >= count; }, 2000));
    }

    TempRoot root;
    McuSimulator sim;
    Controller controller;
};

}  // namespace

TEST(McuSimulator, RepliesAsTheFirmwareDoes)
{
    TempRoot root;
    McuSimulator sim;
    ASSERT_TRUE(sim.start());
    sim.setStepTime(0us);
    sim.setPosition(700);
    sim.setFirmware("2.0.1", "b77");
    RawPort port(sim.slavePath());
    const struct {
        const char* frame;
        const char* reply;
    } cases[] = {
        {"$,DEVICE,READY,,\r\n", "$OK,DEVICE,READY,,\r\n"},
        {"$,DEVICE,FW VERSION,,\r\n", "$OK,DEVICE,FW VERSION,2.0.1,\r\n"},
        {"$,DEVICE,FW BUILD,,\r\n", "$OK,DEVICE,FW BUILD,b77,\r\n"},
        {"$,STM1,GET_POS,,\r\n", "$OK,STM1,GET_POS,700,\r\n"},
        {"$,STM1,MVN,512,\r\n", "$OK,STM1,MVN,512,\r\n"},
        {"$,STM1,MVN,512,\r\n", "$OK,STM1,MVN,188,\r\n"},  // stops at the lower limit 0
        {"$,STM1,ABS,-20,\r\n", "$OK,STM1,ABS,0,\r\n"},
        {"$,STM1,MVN,-5,\r\n", "$ERR,STM1,MVN,0,\r\n"},
        {"$,STM1,MVP,+5,\r\n", "$ERR,STM1,MVP,0,\r\n"},
        {"$,STM1,ABS,x,\r\n", "$ERR,STM1,ABS,0,\r\n"},  // refused: where the stage stays
        {"$,LED4,BRT,2000,\r\n", "$OK,LED4,BRT,1000,\r\n"},
        {"$,LED4,BRT,x,\r\n", "$ERR,LED4,BRT,,\r\n"},
        {"$,STM1,ACC,12,\r\n", "$OK,STM1,ACC,12,\r\n"},
        {"$,STM1,SELF_DIAG,,\r\n", "$OK,STM1,SELF_DIAG,0,\r\n"},
        {"$,FOO,BAR,1,\r\n", "$ERR,FOO,BAR,,\r\n"},
        {"hello\r\n", "$ERR,,,,\r\n"},
        {"$,DEVICE,PWR KILL,3000,\r\n", "$OK,DEVICE,PWR KILL,3000,\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(port.exchange(c.frame), c.reply) << c.frame;
    EXPECT_EQ(sim.frames().size(), std::size(cases));
    EXPECT_EQ(sim.frames()[4], "$,STM1,MVN,512,\r\n");
}

TEST(McuSimulator, FaultsShapeTheReplyBytes)
{
    TempRoot root;
    McuSimulator sim;
    ASSERT_TRUE(sim.start());
    sim.setPosition(42);
    sim.setLateReply(50ms);
    sim.setSplitGap(20ms);
    RawPort port(sim.slavePath());
    const std::string nul("$OK,STM1,GET_POS,42\0,\r\n", 23);
    const struct {
        Fault fault;
        std::string reply;
    } cases[] = {
        {Fault::None, "$OK,STM1,GET_POS,42,\r\n"},
        {Fault::Silence, ""},
        {Fault::LateReply, "$OK,STM1,GET_POS,42,\r\n"},
        {Fault::LowerCaseOk, "$ok,STM1,GET_POS,42,\r\n"},
        {Fault::Refused, "$ERR,STM1,GET_POS,42,\r\n"},
        {Fault::FourFields, "$OK,STM1,GET_POS,42\r\n"},
        {Fault::SixFields, "$OK,STM1,GET_POS,42,,\r\n"},
        {Fault::Nul, nul},
        {Fault::LfOnly, "$OK,STM1,GET_POS,42,\n"},
        {Fault::CrOnly, "$OK,STM1,GET_POS,42,\r"},
        {Fault::OverlongLine, std::string(2048, '#') + "$OK,STM1,GET_POS,42,\r\n"},
        {Fault::SplitLine, "$OK,STM1,GET_POS,42,\r\n"},
        {Fault::TwoLines, "$OK,STM1,GET_POS,42,\r\n$OK,DEVICE,START,,\r\n"},
        {Fault::EventInExchange, "$OK,DEVICE,PWR SW,,\r\n$OK,STM1,GET_POS,42,\r\n"},
    };
    for (const auto& c : cases) {
        sim.setFault(c.fault);
        // Silence is waited out briefly; the CR-only reply comes, but never ends a line.
        const int wait = c.fault == Fault::Silence ? 200 : c.fault == Fault::CrOnly ? 1000 : 2000;
        std::string reply = port.exchange("$,STM1,GET_POS,,\r\n", wait);
        // The two lines of one write may be read in one piece or two.
        if (c.fault == Fault::TwoLines || c.fault == Fault::EventInExchange)
            reply += port.exchange("", c.reply.size() > reply.size() ? 2000 : 0);
        EXPECT_EQ(reply, c.reply) << static_cast<int>(c.fault);
    }
}

// Queued faults shape the next replies, one each, then the standing fault
// shapes them again.
TEST(McuSimulator, QueuedFaultsShapeOnlyTheNextReplies)
{
    TempRoot root;
    McuSimulator sim;
    ASSERT_TRUE(sim.start());
    sim.setFault(Fault::LowerCaseOk);
    sim.queueFaults({Fault::Silence, Fault::None});
    sim.queueFaults({Fault::Refused});
    RawPort port(sim.slavePath());
    const char* const replies[] = {"", "$OK,DEVICE,READY,,\r\n", "$ERR,DEVICE,READY,,\r\n", "$ok,DEVICE,READY,,\r\n",
                                   "$ok,DEVICE,READY,,\r\n"};
    for (const char* reply : replies)
        EXPECT_EQ(port.exchange("$,DEVICE,READY,,\r\n", *reply ? 2000 : 200), reply);
}

TEST_F(McuSimulatorTest, AMoveTakesTimeAndStopEndsItWhereTheStageIs)
{
    sim.setStepTime(5ms);
    ASSERT_EQ(controller.z_stage_pos(), 0);
    QSignalSpy mvp(&controller, &Controller::sig_z_stage_mvp);
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 1000);  // five seconds
    waitForFrames(3);
    EXPECT_TRUE(controller.z_stage_stop());
    ASSERT_TRUE(mvp.wait(2000));
    const int stoppedAt = sim.state().position;
    EXPECT_LT(stoppedAt, 1000);
    EXPECT_EQ(controller.currentPosition(), stoppedAt);  // the reply carried the steps moved
    EXPECT_EQ(stateFile().position, stoppedAt);
}

TEST_F(McuSimulatorTest, MovesQueueAndStopAnswersTheWaitingOnes)
{
    sim.setStepTime(0us);
    sim.setPosition(100);
    ASSERT_EQ(controller.z_stage_pos(), 100);
    QSignalSpy mvp(&controller, &Controller::sig_z_stage_mvp);
    QSignalSpy mvn(&controller, &Controller::sig_z_stage_mvn);
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 10);
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 20);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mvp.count() == 2; }, 2000));
    EXPECT_EQ(controller.currentPosition(), 130);

    // Five seconds a move: the stop comes long before the first ends.
    sim.setStepTime(50ms);
    controller.z_stage_mvn(Controller::MODE_NON_BLOCKING, 100);
    controller.z_stage_mvn(Controller::MODE_NON_BLOCKING, 100);
    waitForFrames(6);
    EXPECT_TRUE(controller.z_stage_stop());
    ASSERT_TRUE(QTest::qWaitFor([&] { return mvn.count() == 2; }, 2000));
    EXPECT_EQ(controller.currentPosition(), sim.state().position);
    EXPECT_GT(sim.state().position, 30);
}

// Z+ and Z- of the verifier: a travel runs until STOP or a limit, at a rate
// set by its speed; a travel to a limit needs no STOP.
TEST_F(McuSimulatorTest, TravelRunsUntilStopOrALimit)
{
    sim.setLimits(0, 5000);
    sim.setPosition(1000);
    sim.setTravelRate(10.0);  // speed 100: 1000 steps a second
    ASSERT_TRUE(controller.z_stage_rop(100));
    ASSERT_TRUE(QTest::qWaitFor([&] { return sim.state().position > 1000; }, 2000));
    ASSERT_TRUE(controller.z_stage_stop());
    const int stoppedAt = stateFile().position;
    EXPECT_GT(stoppedAt, 1000);
    EXPECT_EQ(controller.z_stage_pos(), stoppedAt) << "no further travel after STOP";

    ASSERT_TRUE(controller.z_stage_ron(1000));  // 10000 steps a second: the lower limit within a second
    ASSERT_TRUE(QTest::qWaitFor([&] { return stateFile().position == 0; }, 5000));
    EXPECT_EQ(controller.z_stage_pos(), 0);
    EXPECT_FALSE(controller.z_stage_rop(0)) << "a travel needs a speed";
}

// The self-diagnosis answers its number after its delay, and a lost move
// answer loses only that one.
TEST_F(McuSimulatorTest, DiagnosisDelayAndALostMoveAnswer)
{
    sim.setDiagnosis(7, 100ms);
    RawPort port(sim.slavePath());
    EXPECT_EQ(port.exchange("$,STM1,SELF_DIAG,,\r\n"), "$OK,STM1,SELF_DIAG,7,\r\n");

    sim.setStepTime(0us);
    sim.swallowNextMoveReply();
    EXPECT_EQ(port.exchange("$,STM1,MVP,10,\r\n", 300), "");
    EXPECT_EQ(port.exchange("$,STM1,MVP,10,\r\n"), "$OK,STM1,MVP,10,\r\n");
    EXPECT_EQ(sim.state().position, 20);
}

// A restart armed for the next move comes once: in that move's place (no
// answer, the stage homed, "START" reported), or before it (the move then
// runs from home and is answered after the report). Every frame received
// also goes to the record that watchers in another process read.
TEST(McuSimulator, ARestartArmedForTheNextMoveComesOnceAndTheRecordKeepsEveryFrame)
{
    const struct
    {
        const char* name;
        void (McuSimulator::*arm)();
        std::string replies;
        int position;
    } cases[] = {
        {"in its place", &McuSimulator::restartOnNextMove, "$OK,DEVICE,START,,\r\n", 0},
        {"before it", &McuSimulator::restartBeforeNextMove, "$OK,DEVICE,START,,\r\n$OK,STM1,MVP,10,\r\n", 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempRoot root;
        McuSimulator sim;
        sim.recordFrames(true);
        ASSERT_TRUE(sim.start());
        sim.setStepTime(0us);
        sim.setPosition(5000);
        RawPort port(sim.slavePath());

        (sim.*c.arm)();
        std::string replies = port.exchange("$,STM1,MVP,10,\r\n");
        while (replies.size() < c.replies.size()) {
            const std::string more = port.exchange("");
            if (more.empty())
                break;
            replies += more;
        }
        EXPECT_EQ(replies, c.replies);
        EXPECT_EQ(sim.state().position, c.position);
        EXPECT_EQ(port.exchange("$,STM1,MVP,10,\r\n"), "$OK,STM1,MVP,10,\r\n") << "once only";
        EXPECT_EQ(sim.state().position, c.position + 10);
        EXPECT_EQ(root.readFile(QString::fromLatin1(McuSimulator::kFrameRecord)),
                  "$,STM1,MVP,10,\r\n$,STM1,MVP,10,\r\n");
    }
}

TEST_F(McuSimulatorTest, TheStageStaysWithinItsLimits)
{
    sim.setStepTime(0us);
    sim.setLimits(0, 2000);
    sim.setPosition(1900);
    ASSERT_EQ(controller.z_stage_pos(), 1900);
    QSignalSpy mvp(&controller, &Controller::sig_z_stage_mvp);
    QSignalSpy mvn(&controller, &Controller::sig_z_stage_mvn);
    QSignalSpy abs(&controller, &Controller::sig_z_stage_abs);
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 500);
    ASSERT_TRUE(mvp.wait(2000));
    EXPECT_EQ(controller.currentPosition(), 2000);
    controller.z_stage_mvn(Controller::MODE_NON_BLOCKING, 5000);
    ASSERT_TRUE(mvn.wait(2000));
    EXPECT_EQ(controller.currentPosition(), 0);
    controller.z_stage_abs(Controller::MODE_NON_BLOCKING, 99999);
    ASSERT_TRUE(abs.wait(2000));
    EXPECT_EQ(controller.currentPosition(), 2000);
    EXPECT_EQ(controller.z_stage_pos(), 2000);
}

TEST_F(McuSimulatorTest, StateFileFollowsStageLedAndPower)
{
    sim.setStepTime(0us);
    ASSERT_TRUE(controller.led_brightness(300));
    ASSERT_TRUE(controller.led_on());
    ASSERT_TRUE(controller.z_stage_abs(Controller::MODE_BLOCKING, 1500));
    McuState expected;
    expected.position = 1500;
    expected.ledOn = true;
    expected.brightness = 300;
    EXPECT_EQ(stateFile(), expected);
    EXPECT_EQ(sim.state(), expected);

    // The power goes off 3000 ms after the kill; then nothing answers until a restart.
    ASSERT_TRUE(controller.device_poweroff());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !stateFile().powerOn; }, 6000));
    EXPECT_EQ(controller.z_stage_pos(), -1);
    QSignalSpy reset(&controller, &Controller::sig_device_reset);
    sim.raiseRestart();
    ASSERT_TRUE(reset.wait(2000));
    EXPECT_EQ(stateFile(), McuState());  // power-up: LED on at brightness 0, stage homed, power on
    EXPECT_EQ(controller.z_stage_pos(), 0);
}

TEST(McuSimulatorProgram, LinksItsPortRaisesReportsOnSignalsAndCleansUp)
{
    TempRoot root;
    QProcess program;
    program.start(QStringLiteral(KOVA_MCU_SIM_PROGRAM), QStringList());
    ASSERT_TRUE(program.waitForReadyRead(5000));
    EXPECT_TRUE(program.readLine().startsWith("kova-mcu-sim: " + root.path("/dev/ttyS2").toLocal8Bit()));
    EXPECT_TRUE(QFileInfo(root.path("/dev/ttyS2")).isSymLink());

    Controller controller;
    QSignalSpy connected(&controller, &Controller::sig_connected_controller);
    QSignalSpy poweroff(&controller, &Controller::sig_device_poweroff);
    controller.openSerialPort();
    ASSERT_EQ(connected.count(), 1);
    ::kill(static_cast<pid_t>(program.processId()), SIGUSR1);
    ASSERT_TRUE(poweroff.wait(2000));

    program.terminate();
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(root.path("/dev/ttyS2")).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(root.path(McuState::kStateFile)));
}

TEST(McuSimulatorProgram, RefusesTheRealRoot)
{
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("KOVA3_ROOT"), QStringLiteral("/"));
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(KOVA_MCU_SIM_PROGRAM), QStringList());
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 1);
}
