#include "Controller/VerifierController.h"

#include "McuSimulator.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

using namespace std::chrono_literals;
using Link = verifier::Controller;

namespace {

constexpr int kReplyMs = 1000;

// The verifier's link on the simulated microcontroller, connected (unless a
// test opens it itself), with its replies fast and its waits short.
class VerifierLinkTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(mcu.start());
        ASSERT_TRUE(mcu.linkAt());
        mcu.setStepTime(0us);
        link.setTimeouts(500, kReplyMs);
    }

    void connect()
    {
        QSignalSpy connected(&link, &Link::sig_connected_controller);
        link.openSerialPort();
        ASSERT_EQ(connected.count(), 1);
    }

    // Sends reply lines as the microcontroller would, and waits until the
    // listener has taken them: a last ABS report carries `marker`.
    void listen(const std::string& lines, int marker)
    {
        QSignalSpy abs(&link, &Link::sig_z_stage_abs);
        mcu.sendRaw(lines + "$OK,STM1,ABS," + std::to_string(marker) + ",\r\n");
        ASSERT_TRUE(QTest::qWaitFor([&] { return link.currentPosition() == marker && abs.count() > 0; }, 5000));
    }

    TempRoot root;
    McuSimulator mcu;
    Link link;
};

}  // namespace

TEST_F(VerifierLinkTest, TheFirstLinkIsTheInstance)
{
    EXPECT_EQ(Link::getInstance(), &link);
}

// Zig mode opens the port and sends nothing; the handshake waits for Connect,
// which opens a port that a refused handshake closed.
TEST_F(VerifierLinkTest, ZigModeDefersTheHandshake)
{
    QSignalSpy connected(&link, &Link::sig_connected_controller);
    link.setZigMode(true);
    link.openSerialPort();
    EXPECT_TRUE(link.isOpen());
    QTest::qWait(50);
    EXPECT_TRUE(mcu.frames().empty());
    EXPECT_EQ(connected.count(), 0);

    mcu.setFault(McuSimulator::Fault::LowerCaseOk);
    EXPECT_FALSE(link.trySerialPort()) << "\"ok\" is no handshake";
    EXPECT_FALSE(link.isOpen());
    EXPECT_EQ(connected.count(), 0);

    mcu.setFault(McuSimulator::Fault::None);
    EXPECT_TRUE(link.trySerialPort());
    EXPECT_TRUE(link.isOpen());
    EXPECT_EQ(connected.count(), 1);
    const std::vector<std::string> ready(2, "$,DEVICE,READY,,\r\n");
    EXPECT_EQ(mcu.frames(), ready);
}

// A blocking move down never takes the kept position to 0 or below; a move
// up and a listened move down have no bound.
TEST_F(VerifierLinkTest, KeptPositionAfterMoves)
{
    ASSERT_NO_FATAL_FAILURE(connect());
    mcu.setLimits(-100000, 100000);
    const struct {
        int from;
        const char* verb;
        int steps;
        bool blocking;
        int kept;
    } cases[] = {
        {1000, "MVN", 300, true, 700},
        {300, "MVN", 300, true, 300},
        {256, "MVN", 300, true, 256},
        {-100, "MVP", 256, true, 156},
        {256, "MVN", 300, false, -44},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.verb) + " from " + std::to_string(c.from));
        ASSERT_NO_FATAL_FAILURE(listen("", c.from));
        if (!c.blocking) {
            QSignalSpy mvn(&link, &Link::sig_z_stage_mvn);
            mcu.sendRaw("$OK,STM1,MVN," + std::to_string(c.steps) + ",\r\n");
            ASSERT_TRUE(mvn.wait(5000));
        } else if (QByteArray(c.verb) == "MVN") {
            EXPECT_TRUE(link.z_stage_mvn(Link::MODE_BLOCKING, c.steps));
        } else {
            EXPECT_TRUE(link.z_stage_mvp(Link::MODE_BLOCKING, c.steps));
        }
        EXPECT_EQ(link.currentPosition(), c.kept);
    }
}

// The listener acts on every stage answer, in order, whatever its status,
// and on nothing else.
TEST_F(VerifierLinkTest, ListenedLinesInOrderAndReportsIgnored)
{
    ASSERT_NO_FATAL_FAILURE(connect());
    QStringList seen;
    QObject::connect(&link, &Link::sig_z_stage_mvp, [&] { seen << QStringLiteral("MVP %1").arg(link.currentPosition()); });
    QObject::connect(&link, &Link::sig_z_stage_mvn, [&] { seen << QStringLiteral("MVN %1").arg(link.currentPosition()); });
    QSignalSpy origin(&link, &Link::sig_z_stage_origin);
    QSignalSpy powerOff(&link, &Link::sig_device_poweroff);
    QSignalSpy reset(&link, &Link::sig_device_reset);

    ASSERT_NO_FATAL_FAILURE(listen("", 100));
    // Two answers in one write: both, in order, as they came.
    ASSERT_NO_FATAL_FAILURE(listen("$OK,STM1,MVP,10,\r\n$OK,STM1,MVN,3,\r\n$OK,DEVICE,PWR SW,,\r\n"
                                   "$OK,DEVICE,START,,\r\n$OK,STM1,xORIGINx,,\r\n",
                                   500));
    EXPECT_EQ(seen, QStringList({"MVP 110", "MVN 107"}));
    EXPECT_EQ(origin.count(), 1) << "a verb that holds the word counts";
    EXPECT_EQ(powerOff.count(), 0);
    EXPECT_EQ(reset.count(), 0);

    QSignalSpy abs(&link, &Link::sig_z_stage_abs);
    mcu.sendRaw("$ERR,STM1,ABS,123,\r\n");
    ASSERT_TRUE(abs.wait(5000));
    EXPECT_EQ(link.currentPosition(), 123) << "the status is not looked at";
}

TEST_F(VerifierLinkTest, UnansweredQueriesFailAndKeepThePosition)
{
    ASSERT_NO_FATAL_FAILURE(connect());
    ASSERT_NO_FATAL_FAILURE(listen("", 4321));
    mcu.setFault(McuSimulator::Fault::Silence);
    link.setTimeouts(500, 100);
    EXPECT_EQ(link.z_stage_pos(), -1);
    EXPECT_EQ(link.currentPosition(), 4321);
    link.setDiagnosisTimeout(100);
    EXPECT_EQ(link.z_stage_diagnosis(), -1);
}

// The self-diagnosis has a reply window of its own, far longer than the
// other commands'.
TEST_F(VerifierLinkTest, DiagnosisAnsweredAfterTheOrdinaryReplyWindow)
{
    ASSERT_NO_FATAL_FAILURE(connect());
    link.setTimeouts(500, 100);
    link.setDiagnosisTimeout(10000);
    mcu.setDiagnosis(42, 400ms);
    EXPECT_EQ(link.z_stage_diagnosis(), 42);
    EXPECT_EQ(mcu.frames().back(), "$,STM1,SELF_DIAG,,\r\n");
}
