#include "Controller/Controller.h"

#include "McuSimulator.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <atomic>
#include <climits>
#include <functional>
#include <thread>

using namespace std::chrono_literals;
using Fault = McuSimulator::Fault;

namespace {

// A link to a simulated microcontroller at <root>/dev/ttyS2, with short time-outs.
class ControllerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QString error;
        ASSERT_TRUE(sim.start(&error)) << error.toStdString();
        ASSERT_TRUE(sim.linkAt());
        sim.setStepTime(0us);
        controller.setTimeouts(500, kReplyMs);
    }

    bool connect()
    {
        QSignalSpy connected(&controller, &Controller::sig_connected_controller);
        controller.openSerialPort();
        return connected.count() == 1 && controller.isOpen();
    }

    // Connects with the stage at `position`, which the link then tracks.
    void connectAt(int position)
    {
        sim.setPosition(position);
        ASSERT_TRUE(connect());
        ASSERT_EQ(controller.z_stage_pos(), position);
    }

    std::vector<std::string> framesAfterHandshake() const
    {
        std::vector<std::string> frames = sim.frames();
        if (!frames.empty() && frames.front() == "$,DEVICE,READY,,\r\n")
            frames.erase(frames.begin());
        return frames;
    }

    // Fences the listener: once this report has been handled, everything sent
    // before it has been handled too.
    void fence()
    {
        QSignalSpy reset(&controller, &Controller::sig_device_reset);
        sim.raiseRestart();
        ASSERT_TRUE(reset.wait(2000));
    }

    // Reply time-outs: ample for a reply that comes on a loaded machine, and
    // short for waiting out one that never comes.
    static constexpr int kReplyMs = 2000;
    static constexpr int kSilentMs = 150;
    TempRoot root;
    McuSimulator sim;
    Controller controller;
};

}  // namespace

TEST_F(ControllerTest, HandshakeOkConnectsOtherAnswersCloseThePort)
{
    const struct {
        Fault fault;
        bool connects;
    } cases[] = {{Fault::None, true}, {Fault::LowerCaseOk, false}, {Fault::Silence, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        sim.setFault(c.fault);
        Controller link;
        link.setTimeouts(500, c.fault == Fault::Silence ? kSilentMs : kReplyMs);
        QSignalSpy connected(&link, &Controller::sig_connected_controller);
        link.openSerialPort();
        EXPECT_EQ(connected.count(), c.connects ? 1 : 0);
        EXPECT_EQ(link.isOpen(), c.connects);
        EXPECT_EQ(sim.frames().back(), "$,DEVICE,READY,,\r\n");
    }
}

TEST_F(ControllerTest, WithoutAPortNothingIsSentAndEveryCommandFails)
{
    QFile::remove(root.path("/dev/ttyS2"));
    EXPECT_FALSE(connect());
    EXPECT_EQ(controller.z_stage_pos(), -1);
    EXPECT_FALSE(controller.led_on());
    EXPECT_FALSE(controller.z_stage_mvn(Controller::MODE_NON_BLOCKING, 10));
    EXPECT_EQ(controller.device_fw_version(), QString());
    EXPECT_TRUE(sim.frames().empty());
}

TEST_F(ControllerTest, InstanceIsTheLastLinkBuiltAndNeverADestroyedOne)
{
    EXPECT_EQ(Controller::instance, &controller);
    {
        Controller other;
        EXPECT_EQ(Controller::instance, &other);
    }
    EXPECT_EQ(Controller::instance, nullptr);
}

TEST_F(ControllerTest, BlockingCommandsSendTheirFramesAndReadTheReply)
{
    ASSERT_TRUE(connect());
    sim.setFirmware("3.1.4", "20260115");
    const struct {
        std::function<QString()> call;
        const char* frame;
        QString result;
    } cases[] = {
        {[&] { return controller.device_fw_version(); }, "$,DEVICE,FW VERSION,,\r\n", "3.1.4"},
        {[&] { return controller.device_fw_build(); }, "$,DEVICE,FW BUILD,,\r\n", "20260115"},
        {[&] { return QString::number(controller.led_on()); }, "$,LED4,ON,,\r\n", "1"},
        {[&] { return QString::number(controller.led_brightness(250)); }, "$,LED4,BRT,250,\r\n", "1"},
        {[&] { return QString::number(controller.led_off()); }, "$,LED4,OFF,,\r\n", "1"},
        {[&] { return QString::number(controller.z_stage_stop()); }, "$,STM1,STOP,,\r\n", "1"},
        {[&] { return QString::number(controller.z_stage_ron(5)); }, "$,STM1,RON,5,\r\n", "1"},
        {[&] { return QString::number(controller.z_stage_rop(6)); }, "$,STM1,ROP,6,\r\n", "1"},
        {[&] { return QString::number(controller.stage_kval_acc(40)); }, "$,STM1,ACC,40,\r\n", "1"},
        {[&] { return QString::number(controller.stage_kval_dec(41)); }, "$,STM1,DEC,41,\r\n", "1"},
        {[&] { return QString::number(controller.stage_kval_run(42)); }, "$,STM1,RUN,42,\r\n", "1"},
        {[&] { return QString::number(controller.stage_kval_hold(-3)); }, "$,STM1,HOLD,-3,\r\n", "1"},
        {[&] { return QString::number(controller.device_poweroff()); }, "$,DEVICE,PWR KILL,3000,\r\n", "1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frame);
        EXPECT_EQ(c.call(), c.result);
        EXPECT_EQ(sim.frames().back(), c.frame);
    }
    EXPECT_EQ(sim.state().brightness, 250);
    EXPECT_FALSE(sim.state().ledOn);
    EXPECT_TRUE(sim.powerKillReceived());
}

TEST_F(ControllerTest, BlockingMovesUpdateThePositionWhateverTheReply)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(1000));
    EXPECT_TRUE(controller.z_stage_mvp(Controller::MODE_BLOCKING, 300));
    EXPECT_EQ(controller.currentPosition(), 1300);
    EXPECT_TRUE(controller.z_stage_abs(Controller::MODE_BLOCKING, -20));
    EXPECT_EQ(controller.currentPosition(), -20);
    EXPECT_EQ(sim.frames().back(), "$,STM1,ABS,-20,\r\n");
    sim.setFault(Fault::Silence);
    controller.setTimeouts(500, kSilentMs);
    EXPECT_FALSE(controller.z_stage_mvn(Controller::MODE_BLOCKING, 5));
    EXPECT_EQ(controller.currentPosition(), -25);
    EXPECT_FALSE(controller.z_stage_origin(Controller::MODE_BLOCKING));
    EXPECT_EQ(controller.currentPosition(), 0);
}

TEST_F(ControllerTest, NonBlockingMovesAreTrackedFromTheirReplies)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(10000));
    QSignalSpy mvn(&controller, &Controller::sig_z_stage_mvn);
    QSignalSpy mvp(&controller, &Controller::sig_z_stage_mvp);
    QSignalSpy abs(&controller, &Controller::sig_z_stage_abs);
    QSignalSpy origin(&controller, &Controller::sig_z_stage_origin);

    controller.z_stage_mvn(Controller::MODE_NON_BLOCKING, 512);
    EXPECT_EQ(controller.currentPosition(), 10000);  // nothing until the reply
    ASSERT_TRUE(mvn.wait(2000));
    EXPECT_EQ(controller.currentPosition(), 9488);

    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 256);
    ASSERT_TRUE(mvp.wait(2000));
    EXPECT_EQ(controller.currentPosition(), 9744);

    controller.z_stage_abs(Controller::MODE_NON_BLOCKING, 4000);
    ASSERT_TRUE(abs.wait(2000));
    EXPECT_EQ(controller.currentPosition(), 4000);

    controller.z_stage_origin(Controller::MODE_NON_BLOCKING);
    ASSERT_TRUE(origin.wait(2000));
    EXPECT_EQ(controller.currentPosition(), 0);

    const std::vector<std::string> expected = {"$,STM1,GET_POS,,\r\n", "$,STM1,MVN,512,\r\n",
                                               "$,STM1,MVP,256,\r\n", "$,STM1,ABS,4000,\r\n",
                                               "$,STM1,ORIGIN,,\r\n"};
    EXPECT_EQ(framesAfterHandshake(), expected);
    EXPECT_EQ(controller.z_stage_pos(), sim.state().position);
}

// Step counts no stage can move, in replies or in commands, hold the tracked
// position at the ends of int instead of wrapping it (the replies the fuzzer
// found first).
TEST_F(ControllerTest, MovesPastTheRangeOfIntHoldThePositionAtItsEnds)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(64000));
    sim.sendRaw("$OK,STM1,MVP,2000000000,\r\n$OK,STM1,MVP,2000000000,\r\n");
    fence();
    EXPECT_EQ(controller.currentPosition(), INT_MAX);
    sim.sendRaw("$OK,STM1,MVN,-2147483648,\r\n");
    fence();
    EXPECT_EQ(controller.currentPosition(), INT_MAX);
    sim.sendRaw("$OK,STM1,ABS,0,\r\n$OK,STM1,MVN,2147483647,\r\n$OK,STM1,MVN,2147483647,\r\n");
    fence();
    EXPECT_EQ(controller.currentPosition(), INT_MIN);

    controller.z_stage_mvn(Controller::MODE_BLOCKING, INT_MAX);
    EXPECT_EQ(controller.currentPosition(), INT_MIN);
    controller.z_stage_abs(Controller::MODE_BLOCKING, 64000);
    controller.z_stage_mvp(Controller::MODE_BLOCKING, INT_MAX);
    EXPECT_EQ(controller.currentPosition(), INT_MAX);
}

// A position asked for while a move runs is the stage on its way (or already
// there, with the acknowledgement still to be handled): the acknowledgement
// must take the tracked position to where the move ends, not count the move
// again on top of the answer.
TEST_F(ControllerTest, APositionReadDuringAMoveDoesNotCountTheMoveTwice)
{
    constexpr int kStart = 1000;
    constexpr int kSteps = 50000;
    ASSERT_NO_FATAL_FAILURE(connectAt(kStart));
    sim.setStepTime(20us);  // a second on the way
    QSignalSpy mvp(&controller, &Controller::sig_z_stage_mvp);

    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, kSteps);
    // Blocking queries hand no acknowledgement to the listener, so each one
    // is answered before this move's acknowledgement is handled.
    int during = kStart;
    while (during == kStart)
        during = controller.z_stage_pos();
    ASSERT_GT(during, kStart);
    ASSERT_EQ(mvp.count(), 0);

    ASSERT_TRUE(QTest::qWaitFor([&] { return mvp.count() == 1; }, 10000));
    EXPECT_EQ(sim.state().position, kStart + kSteps);
    EXPECT_EQ(controller.currentPosition(), kStart + kSteps);
    // At rest, a query sets the tracked position again.
    sim.setPosition(700);
    EXPECT_EQ(controller.z_stage_pos(), 700);
    EXPECT_EQ(controller.currentPosition(), 700);
}

// A move whose answer is lost must not keep queries from setting the tracked
// position for good: once a later move is answered, every earlier one has ended.
TEST_F(ControllerTest, ALostMoveAnswerIsForgottenOnceALaterMoveIsAnswered)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(1000));
    sim.swallowNextMoveReply();
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 500);
    EXPECT_TRUE(controller.z_stage_mvp(Controller::MODE_BLOCKING, 200));
    EXPECT_EQ(sim.state().position, 1700);
    EXPECT_EQ(controller.z_stage_pos(), 1700);
    EXPECT_EQ(controller.currentPosition(), 1700);
}

// A restart ends the moves under way unanswered. Waiting for their answers
// would keep every position query from setting the tracked position, which
// then drifts by whatever moves follow. The restart counts where its report
// came in: a move written after it (the report read but not yet handled)
// will be answered, and a position read during that move must not be
// counted on top of its answer.
TEST_F(ControllerTest, ARestartEndsTheMovesUnderWayItCameAfter)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(1000));
    QSignalSpy reset(&controller, &Controller::sig_device_reset);
    QSignalSpy mvp(&controller, &Controller::sig_z_stage_mvp);
    sim.restartOnNextMove();
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 500);
    ASSERT_EQ(controller.movesUnderWay(), 1);
    ASSERT_TRUE(reset.wait(2000));
    EXPECT_EQ(controller.movesUnderWay(), 0);
    EXPECT_EQ(controller.z_stage_pos(), 0) << "homed by the restart";
    EXPECT_EQ(controller.currentPosition(), 0);

    sim.restartOnNextMove();
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 500);
    // The blocking query reads the restart's report on its way to its own
    // answer, and leaves it to the listener.
    ASSERT_EQ(controller.z_stage_pos(), 0);
    EXPECT_EQ(controller.movesUnderWay(), 0);
    sim.setStepTime(20us);  // 50000 steps: a second on the way
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 50000);
    EXPECT_EQ(controller.movesUnderWay(), 1);
    ASSERT_TRUE(reset.wait(2000));
    EXPECT_EQ(controller.movesUnderWay(), 1) << "the move written after the restart is under way";
    const int during = controller.z_stage_pos();
    ASSERT_GE(during, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mvp.count() == 1; }, 10000));
    EXPECT_EQ(sim.state().position, 50000);
    EXPECT_EQ(controller.currentPosition(), 50000);
    EXPECT_EQ(reset.count(), 2);
}

// A move written just before a restart may reach the microcontroller after
// it: it then runs from home and is answered after the restart's report.
// That late answer once acknowledged the next move, so the link took the
// stage for still while it ran, read a position on the way, and kept a
// position the stage never had. The next move is sent, and the position
// read, only once the stage has settled; each answer is its own move's.
TEST_F(ControllerTest, AMoveAnsweredAfterARestartNeverAcknowledgesTheNextMove)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(1000));
    sim.setStepTime(200us);  // 512 steps: about 0.1 s on the way
    QSignalSpy reset(&controller, &Controller::sig_device_reset);
    QSignalSpy mvp(&controller, &Controller::sig_z_stage_mvp);
    sim.restartBeforeNextMove();
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 512);  // runs from home after the restart
    ASSERT_TRUE(reset.wait(2000));

    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 512);
    ASSERT_TRUE(QTest::qWaitFor([&] { return controller.movesUnderWay() == 0; }, 10000));
    EXPECT_EQ(controller.z_stage_pos(), 1024) << "read as the link took the stage for still";
    EXPECT_EQ(sim.state().position, 1024);
    EXPECT_EQ(controller.currentPosition(), 1024);
    EXPECT_EQ(mvp.count(), 1) << "only the move sent after the restart is acknowledged";
}

// Moves the restart ended for good are never answered: two reads an
// interval apart that agree settle the stage.
TEST_F(ControllerTest, AfterARestartThatEndedAMoveThePositionIsReadOnceTheStageIsStill)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(1000));
    QSignalSpy reset(&controller, &Controller::sig_device_reset);
    sim.restartOnNextMove();
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 512);
    ASSERT_TRUE(reset.wait(2000));
    const std::size_t before = sim.frames().size();

    EXPECT_EQ(controller.z_stage_pos(), 0);

    EXPECT_EQ(controller.currentPosition(), 0);
    const std::vector<std::string> frames = sim.frames();
    ASSERT_EQ(frames.size(), before + 2) << "two reads that agree";
    EXPECT_EQ(frames.back(), "$,STM1,GET_POS,,\r\n");
}

TEST_F(ControllerTest, ReportsBecomeSignals)
{
    ASSERT_TRUE(connect());
    QSignalSpy poweroff(&controller, &Controller::sig_device_poweroff);
    QSignalSpy reset(&controller, &Controller::sig_device_reset);
    sim.raisePowerButton();
    ASSERT_TRUE(poweroff.wait(2000));
    sim.raiseRestart();
    ASSERT_TRUE(reset.wait(2000));
    EXPECT_EQ(poweroff.count(), 1);
    EXPECT_EQ(reset.count(), 1);
}

// The command field is tested for containment, in a fixed order; a value that
// is no number counts as 0.
TEST_F(ControllerTest, ListenerDispatchesOnTheFirstContainedCommand)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(100));
    QSignalSpy mvn(&controller, &Controller::sig_z_stage_mvn);
    QSignalSpy mvp(&controller, &Controller::sig_z_stage_mvp);
    QSignalSpy poweroff(&controller, &Controller::sig_device_poweroff);
    QSignalSpy reset(&controller, &Controller::sig_device_reset);

    sim.sendRaw("noise$OK,STM1,xMVNx,7,\r\n");
    ASSERT_TRUE(mvn.wait(2000));
    EXPECT_EQ(controller.currentPosition(), 93);
    sim.sendRaw("$ERR,STM1,MVP,abc,\r\n");
    ASSERT_TRUE(mvp.wait(2000));
    EXPECT_EQ(controller.currentPosition(), 93);
    sim.sendRaw("$OK,DEVICE,START PWR SW,,\r\n");
    ASSERT_TRUE(poweroff.wait(2000));
    fence();
    EXPECT_EQ(reset.count(), 1);  // only the fence
    EXPECT_EQ(poweroff.count(), 1);
}

// A malformed line must not make the listener act on the previous reply again.
TEST_F(ControllerTest, ListenerIgnoresLinesThatDoNotParse)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(5000));
    QSignalSpy mvn(&controller, &Controller::sig_z_stage_mvn);
    controller.z_stage_mvn(Controller::MODE_NON_BLOCKING, 512);
    ASSERT_TRUE(mvn.wait(2000));
    ASSERT_EQ(controller.currentPosition(), 4488);

    for (Fault fault : {Fault::FourFields, Fault::SixFields, Fault::Nul}) {
        sim.setFault(fault);
        sim.sendRaw("$OK,STM1,MVN\r\n");
        // After the fence's restart the stage is settled first, by queries the link waits for.
        controller.z_stage_mvn(Controller::MODE_NON_BLOCKING, 512);
        // The reply is shaped when the frame arrives.
        ASSERT_TRUE(QTest::qWaitFor([&] { return sim.frames().back() == "$,STM1,MVN,512,\r\n"; }, 2000));
        sim.setFault(Fault::None);
        fence();
    }
    EXPECT_EQ(mvn.count(), 1);
    EXPECT_EQ(controller.currentPosition(), 4488);
}

// Lines that arrive together are all handled, not one per readyRead.
TEST_F(ControllerTest, ListenerHandlesEveryLineOfAChunk)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(2000));
    QSignalSpy mvp(&controller, &Controller::sig_z_stage_mvp);
    QSignalSpy reset(&controller, &Controller::sig_device_reset);
    QSignalSpy poweroff(&controller, &Controller::sig_device_poweroff);

    sim.sendRaw("$OK,STM1,MVP,10,\r\n$OK,STM1,MVP,20,\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return mvp.count() == 2; }, 2000));
    EXPECT_EQ(controller.currentPosition(), 2030);

    sim.setFault(Fault::TwoLines);  // the reply and a restart report in one write
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 5);
    ASSERT_TRUE(reset.wait(2000));
    EXPECT_EQ(mvp.count(), 3);
    EXPECT_EQ(controller.currentPosition(), 2035);

    sim.setFault(Fault::EventInExchange);  // a power-switch report before the reply
    controller.z_stage_mvp(Controller::MODE_NON_BLOCKING, 5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return mvp.count() == 4; }, 2000));
    EXPECT_EQ(poweroff.count(), 1);
    EXPECT_EQ(controller.currentPosition(), 2040);
}

// Every fault of the microcontroller ends in a defined result within the time-out.
TEST_F(ControllerTest, BlockingCommandsUnderEveryFault)
{
    const struct {
        Fault fault;
        int position;
        bool ledOn;
        QString version;
    } cases[] = {
        {Fault::Silence, -1, false, ""},
        {Fault::LowerCaseOk, -1, false, ""},
        {Fault::FourFields, -1, false, ""},
        {Fault::SixFields, -1, false, ""},
        {Fault::Nul, -1, false, ""},
        {Fault::LfOnly, 1234, true, "3.1.4"},  // a line ends at LF; the CR is optional
        {Fault::CrOnly, -1, false, ""},        // never a whole line
        {Fault::SplitLine, 1234, true, "3.1.4"},
        {Fault::TwoLines, 1234, true, "3.1.4"},
        // The report goes to the listener; the reply is still the reply.
        {Fault::EventInExchange, 1234, true, "3.1.4"},
        // Last: the late replies come after every other case.
        {Fault::LateReply, -1, false, ""},
    };
    sim.setPosition(1234);
    sim.setFirmware("3.1.4", "1");
    sim.setLateReply(3000ms);
    sim.setSplitGap(20ms);
    ASSERT_TRUE(connect());
    QSignalSpy poweroff(&controller, &Controller::sig_device_poweroff);
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        sim.setFault(Fault::None);
        controller.setTimeouts(500, kReplyMs);
        ASSERT_EQ(controller.z_stage_pos(), 1234);  // a good reply is held before each case
        sim.setFault(c.fault);
        const bool replies = c.fault != Fault::Silence && c.fault != Fault::CrOnly && c.fault != Fault::LateReply;
        controller.setTimeouts(500, replies ? kReplyMs : kSilentMs);
        EXPECT_EQ(controller.z_stage_pos(), c.position);
        EXPECT_EQ(controller.led_on(), c.ledOn);
        EXPECT_EQ(controller.device_fw_version(), c.version);
        EXPECT_EQ(controller.currentPosition(), 1234);  // -1 is never taken as a position
    }
    // Each report that came inside an exchange is dispatched once, after it.
    sim.setFault(Fault::None);
    fence();
    EXPECT_EQ(poweroff.count(), 3);
}

// A garbled reply is the command's reply: the command fails on it, and does
// not wait out its time-out for a better one. With a time-out of a minute and
// silence after the garbled line, the bound below is far from either.
TEST_F(ControllerTest, AGarbledReplyFailsTheCommandWithoutWaitingOutItsTimeOut)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(1234));
    controller.setTimeouts(500, 60000);
    for (Fault fault : {Fault::FourFields, Fault::SixFields, Fault::Nul}) {
        SCOPED_TRACE(static_cast<int>(fault));
        sim.setFault(fault);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(controller.z_stage_pos(), -1);
        EXPECT_LT(clock.elapsed(), 10000) << "waited for a reply after the garbled one";
    }
}

// The default reply time-out leaves room for the stage's longest blocking
// moves: one of three seconds is answered in time.
TEST_F(ControllerTest, AMoveOfSecondsSucceedsWithTheDefaultTimeOuts)
{
    sim.setPosition(1000);
    sim.setStepTime(1ms);
    Controller link;
    QSignalSpy connected(&link, &Controller::sig_connected_controller);
    link.openSerialPort();
    ASSERT_EQ(connected.count(), 1);
    EXPECT_TRUE(link.z_stage_mvp(Controller::MODE_BLOCKING, 3000));
    EXPECT_EQ(sim.state().position, 4000);
}

// The longest line taken is kMaxLineBytes with its line end; one byte more
// is dropped. Either way it may come whole or in pieces.
TEST_F(ControllerTest, ALineOfTheLongestLengthIsTakenAndOneByteMoreIsDropped)
{
    const QByteArray reply = "$OK,STM1,MVP,10,";
    const struct
    {
        int bytes;
        int position;
    } cases[] = {{Controller::kMaxLineBytes, 110}, {Controller::kMaxLineBytes + 1, 100}};
    for (const auto& c : cases) {
        for (const bool inPieces : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.bytes << (inPieces ? " bytes in pieces" : " bytes whole"));
            Controller link;
            link.takeReceived("$OK,STM1,ABS,100,\r\n");
            ASSERT_EQ(link.currentPosition(), 100);
            // The ignored fifth field fills the line.
            const QByteArray line = reply + QByteArray(c.bytes - reply.size() - 2, 'x') + "\r\n";
            ASSERT_EQ(line.size(), c.bytes);
            if (inPieces) {
                link.takeReceived(line.left(c.bytes - 1));
                link.takeReceived(line.right(1));
            } else {
                link.takeReceived(line);
            }
            EXPECT_EQ(link.currentPosition(), c.position);
        }
    }
}

// A handler that sends a blocking command (autofocus asks for the position
// on each stage acknowledgement) must not cost the lines that came behind
// the one it handles: every line is dispatched once, in order.
TEST_F(ControllerTest, EveryLineIsDispatchedOnceInOrderWhateverAHandlerDoes)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(3000));
    std::vector<std::string> events;
    QObject::connect(&controller, &Controller::sig_z_stage_mvn, [&] {
        events.push_back(controller.z_stage_pos() >= 0 ? "mvn, then the position" : "mvn, no position");
    });
    QObject::connect(&controller, &Controller::sig_device_poweroff, [&] { events.push_back("power"); });
    QObject::connect(&controller, &Controller::sig_device_reset, [&] { events.push_back("reset"); });

    constexpr int kRounds = 100;
    std::vector<std::string> expected;
    for (int i = 0; i < kRounds; ++i) {
        // One write, so one read: the acknowledgement, then a report behind it.
        sim.sendRaw("$OK,STM1,MVN,1,\r\n$OK,DEVICE,PWR SW,,\r\n");
        expected.insert(expected.end(), {"mvn, then the position", "power"});
    }
    sim.raiseRestart();
    expected.push_back("reset");
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.size() >= expected.size(); }, 20000));
    EXPECT_EQ(events, expected);
}

// A line that never ends is dropped once it passes the cap, with whatever
// completes it; the lines after it are read as before.
TEST_F(ControllerTest, AnOverlongLineIsDropped)
{
    ASSERT_NO_FATAL_FAILURE(connectAt(100));
    QSignalSpy mvp(&controller, &Controller::sig_z_stage_mvp);
    // Parsed whole, the line would read as one more MVP.
    std::string overlong;
    while (overlong.size() < 16 * Controller::kMaxLineBytes)
        overlong += "$OK,STM1,MVP,1,";
    // More than the terminal holds: sent beside the host, which reads it.
    std::thread sender([&] { sim.sendRaw(overlong + "\r\n$OK,STM1,MVP,10,\r\n"); });
    const bool handled = mvp.wait(15000);
    sender.join();
    ASSERT_TRUE(handled);
    fence();
    EXPECT_EQ(mvp.count(), 1);
    EXPECT_EQ(controller.currentPosition(), 110);
}

// A link that hangs up after the handshake (the microcontroller's side is
// gone) is closed once: no busy thread, and commands fail at once.
TEST_F(ControllerTest, ALostLinkIsClosedAndCommandsFail)
{
    ASSERT_TRUE(connect());
    sim.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !controller.isOpen(); }, 5000));
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(controller.z_stage_pos(), -1);
    EXPECT_FALSE(controller.led_on());
    EXPECT_LT(clock.elapsed(), kReplyMs);
}

// Bytes that never end a line keep arriving: the reply wait still ends at its
// time-out, not when the noise stops.
TEST_F(ControllerTest, NoiseWithoutALineEndCannotHoldABlockingCommand)
{
    ASSERT_TRUE(connect());
    sim.setFault(Fault::Silence);
    controller.setTimeouts(500, kSilentMs);
    std::atomic<bool> stop{false};
    std::atomic<bool> noiseRanOut{false};
    std::thread noise([&] {
        const auto end = std::chrono::steady_clock::now() + 20s;
        while (!stop) {
            if (std::chrono::steady_clock::now() > end) {
                noiseRanOut = true;
                return;
            }
            sim.sendRaw("x");
            std::this_thread::sleep_for(10ms);
        }
    });

    const int position = controller.z_stage_pos();
    stop = true;
    noise.join();

    EXPECT_EQ(position, -1);
    EXPECT_FALSE(noiseRanOut);
}
