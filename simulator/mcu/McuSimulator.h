#pragma once

#include "McuState.h"

#include <QString>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The instrument's microcontroller, simulated on a pseudo-terminal: the host
// opens the slave side as it would open the real serial port, and a thread of
// the simulator serves the master side.
//
// It speaks the command frames "$,<target>,<verb>,<argument>,\r\n" and answers
// each with one line "$<status>,<target>,<verb>,<value>,\r\n" (status "OK", or
// "ERR" for a command or argument it does not take). It models the focus
// stage (position within limits; a move takes stepTime per step and is
// answered when it ends, with the steps actually moved, or for ABS the
// position reached; moves queue behind each other; STOP is answered, then
// ends the running move where it is and answers the queued ones with 0
// steps; ROP and RON start a travel up or down at travelRate steps a second
// per unit of their speed, answered at once, until STOP or a limit; SELF_DIAG
// answers a set number after a set delay), the LED (on/off, brightness 0..1000), the firmware version and
// build, and PWR KILL (answered,
// then the power goes off after the given milliseconds and the simulator falls
// silent until a restart). The power-button ("PWR SW") and restart ("START")
// reports are raised on demand. Every change of the stage position, LED or
// power is written to the state file (McuState) under the instrument root that
// was current at start().
//
// Faults shape every reply until changed, or only the next few replies, one
// each (reports raised on demand are sent as they are), so a test can drive
// the host through each of them.
class McuSimulator
{
public:
    enum class Fault {
        None,
        Silence,          // no reply at all
        LateReply,        // the reply comes lateReply after it is due
        LowerCaseOk,      // "ok" instead of "OK"
        Refused,          // "ERR" instead of "OK"
        FourFields,       // the last comma is missing
        SixFields,        // one comma too many
        Nul,              // a NUL byte before the last comma
        LfOnly,           // ends with LF only
        CrOnly,           // ends with CR only (never a whole line)
        OverlongLine,     // the reply ends a line longer than any reply (noise before it)
        SplitLine,        // the line goes out in two writes, splitGap apart
        TwoLines,         // the reply and a "START" report in one write
        EventInExchange,  // a "PWR SW" report and then the reply, in one write
    };

    McuSimulator();
    ~McuSimulator();
    McuSimulator(const McuSimulator&) = delete;
    McuSimulator& operator=(const McuSimulator&) = delete;

    // Opens the pseudo-terminal (slave in raw 115200 8N1, as the real port
    // is), writes the first state file and starts serving. False with a
    // reason when the terminal cannot be made.
    bool start(QString* error = nullptr);
    void stop();
    // The slave side's device path, e.g. "/dev/pts/7" (empty before start).
    QString slavePath() const;
    // Makes the logical path (under the current root, never the real "/") a
    // symbolic link to the slave side, replacing what is there.
    bool linkAt(const QString& logicalPath = QStringLiteral("/dev/ttyS2")) const;

    // Model and fault settings; may be changed while running.
    void setStepTime(std::chrono::microseconds perStep);
    void setLimits(int minimum, int maximum);
    void setPosition(int position);
    void setFirmware(const QString& version, const QString& build);
    void setFault(Fault fault);
    // The next replies take these faults, one each in order (Silence: that
    // reply is lost); after them the fault of setFault shapes them again.
    void queueFaults(std::vector<Fault> faults);
    void setLateReply(std::chrono::milliseconds delay);
    void setSplitGap(std::chrono::milliseconds gap);
    // Steps a second of a travel (ROP, RON) per unit of its speed.
    void setTravelRate(double stepsPerSecondPerSpeed);
    // What SELF_DIAG answers, and after how long.
    void setDiagnosis(int value, std::chrono::milliseconds delay);
    // The next stage move (MVN, MVP, ABS, ORIGIN) runs, but its answer is lost.
    void swallowNextMoveReply();
    // The next stage move never runs: the microcontroller restarts as it
    // arrives (as raiseRestart), so the move is never answered.
    void restartOnNextMove();
    // The microcontroller restarts as the next stage move arrives, before
    // taking it (as raiseRestart); the move then runs from home and is
    // answered after the "START" report: a move that was on its way when the
    // restart came.
    void restartBeforeNextMove();

    // Unsolicited reports, sent at once.
    void raisePowerButton();
    // The microcontroller restarts to its power-up state (LED on at brightness 0,
    // stage homed, power on), then reports "START".
    void raiseRestart();
    // Any bytes, as they are: lines no firmware sends, for the host's edge
    // cases. Unlike replies, they are never lost to a full terminal: the call
    // waits (up to 10 s) until the host has taken them all, so more than the
    // terminal holds must come from a thread other than the host's.
    void sendRaw(const std::string& bytes);

    // Every command line received, exactly as its bytes came ("$,STM1,MVN,512,\r\n").
    std::vector<std::string> frames() const;
    // From start() on, also appends every command line received to the file
    // kFrameRecord under the root, for a watcher in another process. Call
    // before start().
    void recordFrames(bool on);
    static constexpr char kFrameRecord[] = "/run/kova-sim/frames";
    McuState state() const;
    bool powerKillReceived() const;

private:
    using Clock = std::chrono::steady_clock;

    struct Move
    {
        std::string verb;
        int argument = 0;  // steps, or the position for ABS
    };

    void run();
    void wake();
    void schedule(Clock::time_point when, std::function<void()> action);
    void handleInput();
    void handleFrame(const std::string& line);
    void handleStage(const std::string& verb, const std::string& argument, bool numeric, long long number);
    void startNextMove();
    void finishMove(bool stopped, int position);
    void startTravel(int direction, long long speed);
    void endTravel();
    static std::string stayValue(const std::string& verb, int position);
    int positionNow() const;
    void reply(const std::string& status, const std::string& target, const std::string& verb,
               const std::string& value);
    void sendReport(const std::string& verb);
    // The restart to the power-up state, reported with "START".
    void restart();
    void send(const std::string& bytes);
    void writeState();

    mutable std::mutex m_mutex;
    std::thread m_thread;
    bool m_running = false;
    int m_master = -1;
    int m_slave = -1;
    int m_wake[2] = {-1, -1};
    QString m_slavePath;
    QString m_statePath;

    std::string m_input;
    std::vector<std::string> m_frames;
    std::multimap<Clock::time_point, std::function<void()>> m_timed;

    std::chrono::microseconds m_stepTime{20};
    std::chrono::milliseconds m_lateReply{300};
    std::chrono::milliseconds m_splitGap{20};
    int m_minimum = 0;
    int m_maximum = 64000;
    QString m_fwVersion = QStringLiteral("3.1.4");
    QString m_fwBuild = QStringLiteral("20260115");
    Fault m_fault = Fault::None;
    std::deque<Fault> m_queuedFaults;  // for the next replies, before m_fault; under m_mutex
    double m_travelRate = 10.0;
    int m_diagnosisValue = 0;
    std::chrono::milliseconds m_diagnosisDelay{0};
    bool m_swallowMoveReply = false;
    bool m_restartOnNextMove = false;
    bool m_restartBeforeNextMove = false;  // under m_mutex
    bool m_recordFrames = false;
    int m_record = -1;  // the frame record's file, while it is kept

    McuState m_state;
    bool m_powerKillReceived = false;
    std::vector<Move> m_queue;   // moves waiting behind the running one
    bool m_moving = false;
    std::string m_move;  // verb of the running move
    int m_moveFrom = 0;
    int m_moveTarget = 0;
    Clock::time_point m_moveStart;
    Clock::time_point m_moveEnd;
    std::uint64_t m_moveId = 0;  // tells a stale completion from the running move
    bool m_travelling = false;
    int m_travelFrom = 0;
    int m_travelLimit = 0;           // the limit the travel heads for
    double m_travelStepsPerSecond = 0;  // signed: down is negative
    Clock::time_point m_travelStart;
    std::uint64_t m_travelId = 0;
};
