#include "McuSimulator.h"

#include "platform/Root.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kMaxBrightness = 1000;
constexpr long long kMaxPowerKillDelayMs = 24LL * 3600 * 1000;
// Bytes of noise before an overlong line's reply: more than a host keeps of one line.
constexpr std::size_t kOverlongNoise = 2048;

// A whole decimal integer (optional minus sign), nothing else.
bool parseInteger(const std::string& text, long long& number)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    number = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && end && *end == '\0' && !std::isspace(static_cast<unsigned char>(text[0]))
        && text[0] != '+';
}

std::vector<std::string> splitFields(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (;;) {
        const std::size_t comma = text.find(',', begin);
        parts.push_back(text.substr(begin, comma - begin));
        if (comma == std::string::npos)
            return parts;
        begin = comma + 1;
    }
}

bool setCloseOnExec(int fd)
{
    return ::fcntl(fd, F_SETFD, FD_CLOEXEC) == 0;
}

}  // namespace

McuSimulator::McuSimulator() = default;

McuSimulator::~McuSimulator()
{
    stop();
}

bool McuSimulator::start(QString* error)
{
    auto fail = [&](const QString& reason) {
        if (error)
            *error = reason + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        stop();
        return false;
    };
    if (m_thread.joinable())
        return true;
    if (platform::isRealInstrument()) {
        errno = EPERM;
        return fail(QStringLiteral("the simulator needs an instrument root other than /"));
    }
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0 || !setCloseOnExec(m_master) || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail(QStringLiteral("cannot create a pseudo-terminal"));
    char name[128] = {};
    if (::ptsname_r(m_master, name, sizeof name) != 0)
        return fail(QStringLiteral("cannot name the pseudo-terminal"));
    m_slavePath = QString::fromLocal8Bit(name);

    // Held open so the line stays up between the host's sessions, and set up
    // as the real port is: raw, 115200 baud, 8N1.
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio {};
    if (m_slave < 0 || ::tcgetattr(m_slave, &tio) != 0)
        return fail(QStringLiteral("cannot open the pseudo-terminal"));
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B115200);
    ::cfsetospeed(&tio, B115200);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0)
        return fail(QStringLiteral("cannot set the pseudo-terminal to raw"));
    if (::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0
        || ::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return fail(QStringLiteral("cannot set up the simulator"));

    if (m_recordFrames) {
        const QString record = platform::rootPath(QString::fromLatin1(kFrameRecord));
        QDir().mkpath(QFileInfo(record).path());
        m_record = ::open(QFile::encodeName(record).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (m_record < 0)
            return fail(QStringLiteral("cannot write the frame record"));
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_statePath = platform::rootPath(QString::fromLatin1(McuState::kStateFile));
        m_running = true;
        writeState();
    }
    m_thread = std::thread(&McuSimulator::run, this);
    return true;
}

void McuSimulator::stop()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_running = false;
    }
    wake();
    if (m_thread.joinable())
        m_thread.join();
    for (int* fd : {&m_master, &m_slave, &m_wake[0], &m_wake[1], &m_record}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

QString McuSimulator::slavePath() const
{
    return m_slavePath;
}

bool McuSimulator::linkAt(const QString& logicalPath) const
{
    if (m_slavePath.isEmpty() || platform::isRealInstrument())
        return false;
    const QString physical = platform::rootPath(logicalPath);
    if (!QDir().mkpath(QFileInfo(physical).path()))
        return false;
    QFile::remove(physical);
    return QFile::link(m_slavePath, physical);
}

void McuSimulator::setStepTime(std::chrono::microseconds perStep)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stepTime = perStep;
}

void McuSimulator::setLimits(int minimum, int maximum)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_minimum = minimum;
    m_maximum = maximum;
}

void McuSimulator::setPosition(int position)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_state.position = std::clamp(position, m_minimum, m_maximum);
    if (m_running)
        writeState();
}

void McuSimulator::setFirmware(const QString& version, const QString& build)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fwVersion = version;
    m_fwBuild = build;
}

void McuSimulator::setFault(Fault fault)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = fault;
}

void McuSimulator::queueFaults(std::vector<Fault> faults)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queuedFaults.insert(m_queuedFaults.end(), faults.begin(), faults.end());
}

void McuSimulator::setLateReply(std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lateReply = delay;
}

void McuSimulator::setSplitGap(std::chrono::milliseconds gap)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_splitGap = gap;
}

void McuSimulator::setTravelRate(double stepsPerSecondPerSpeed)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_travelRate = stepsPerSecondPerSpeed;
}

void McuSimulator::setDiagnosis(int value, std::chrono::milliseconds delay)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_diagnosisValue = value;
    m_diagnosisDelay = delay;
}

void McuSimulator::swallowNextMoveReply()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_swallowMoveReply = true;
}

void McuSimulator::raisePowerButton()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    sendReport("PWR SW");
}

void McuSimulator::restartOnNextMove()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_restartOnNextMove = true;
}

void McuSimulator::restartBeforeNextMove()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_restartBeforeNextMove = true;
}

void McuSimulator::raiseRestart()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    restart();
}

void McuSimulator::restart()
{
    ++m_moveId;
    m_moving = false;
    m_travelling = false;
    m_queue.clear();
    m_timed.clear();
    m_state = McuState();
    m_state.position = std::clamp(0, m_minimum, m_maximum);
    writeState();
    sendReport("START");
}

void McuSimulator::recordFrames(bool on)
{
    m_recordFrames = on;
}

std::vector<std::string> McuSimulator::frames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_frames;
}

McuState McuSimulator::state() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    McuState now = m_state;
    now.position = positionNow();
    return now;
}

bool McuSimulator::powerKillReceived() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_powerKillReceived;
}

void McuSimulator::run()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    while (m_running) {
        int timeoutMs = -1;
        if (!m_timed.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                m_timed.begin()->first - Clock::now() + std::chrono::microseconds(999));
            timeoutMs = static_cast<int>(std::max<long long>(0, wait.count()));
        }
        lock.unlock();
        pollfd fds[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        ::poll(fds, 2, timeoutMs);
        char drain[64];
        while (::read(m_wake[0], drain, sizeof drain) > 0) {
        }
        lock.lock();
        if (fds[0].revents & POLLIN) {
            char buffer[512];
            ssize_t got;
            while ((got = ::read(m_master, buffer, sizeof buffer)) > 0)
                m_input.append(buffer, static_cast<std::size_t>(got));
            handleInput();
        }
        while (m_running && !m_timed.empty() && m_timed.begin()->first <= Clock::now()) {
            auto action = std::move(m_timed.begin()->second);
            m_timed.erase(m_timed.begin());
            action();
        }
    }
}

void McuSimulator::wake()
{
    if (m_wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(m_wake[1], &byte, 1);
    }
}

void McuSimulator::schedule(Clock::time_point when, std::function<void()> action)
{
    m_timed.emplace(when, std::move(action));
    wake();
}

void McuSimulator::handleInput()
{
    std::size_t end;
    while ((end = m_input.find('\n')) != std::string::npos) {
        const std::string line = m_input.substr(0, end + 1);
        m_input.erase(0, end + 1);
        m_frames.push_back(line);
        if (m_record >= 0)
            [[maybe_unused]] const ssize_t ignored = ::write(m_record, line.data(), line.size());
        handleFrame(line);
    }
}

void McuSimulator::handleFrame(const std::string& line)
{
    if (!m_state.powerOn)
        return;
    std::string text = line;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    const std::vector<std::string> parts = splitFields(text);
    if (parts.size() != 5 || parts[0] != "$" || !parts[4].empty()) {
        reply("ERR", "", "", "");
        return;
    }
    const std::string& target = parts[1];
    const std::string& verb = parts[2];
    const std::string& argument = parts[3];
    long long number = 0;
    const bool numeric = parseInteger(argument, number);

    if (target == "DEVICE" && verb == "READY") {
        reply("OK", target, verb, "");
    } else if (target == "DEVICE" && verb == "FW VERSION") {
        reply("OK", target, verb, m_fwVersion.toStdString());
    } else if (target == "DEVICE" && verb == "FW BUILD") {
        reply("OK", target, verb, m_fwBuild.toStdString());
    } else if (target == "DEVICE" && verb == "PWR KILL" && numeric && number >= 0) {
        m_powerKillReceived = true;
        reply("OK", target, verb, argument);
        const auto delay = std::chrono::milliseconds(std::min<long long>(number, kMaxPowerKillDelayMs));
        schedule(Clock::now() + delay, [this] {
            m_state.powerOn = false;
            m_moving = false;
            m_travelling = false;
            m_queue.clear();
            writeState();
        });
    } else if (target == "LED4" && (verb == "ON" || verb == "OFF")) {
        m_state.ledOn = verb == "ON";
        writeState();
        reply("OK", target, verb, "");
    } else if (target == "LED4" && verb == "BRT" && numeric) {
        m_state.brightness = static_cast<int>(std::clamp<long long>(number, 0, kMaxBrightness));
        writeState();
        reply("OK", target, verb, std::to_string(m_state.brightness));
    } else if (target == "STM1") {
        handleStage(verb, argument, numeric, number);
    } else {
        reply("ERR", target, verb, "");
    }
}

void McuSimulator::handleStage(const std::string& verb, const std::string& argument, bool numeric,
                               long long number)
{
    const bool relative = verb == "MVN" || verb == "MVP";
    const bool move = relative || verb == "ABS" || verb == "ORIGIN";
    const bool travel = verb == "RON" || verb == "ROP";
    const bool driveLevel = verb == "ACC" || verb == "DEC" || verb == "RUN" || verb == "HOLD";
    if (verb == "GET_POS") {
        reply("OK", "STM1", verb, std::to_string(positionNow()));
    } else if (verb == "STOP") {
        // STOP is answered first, so a host waiting for that answer does not
        // take the stopped move's answer for it.
        const bool wasMoving = m_moving;
        endTravel();
        const int stoppedAt = positionNow();
        reply("OK", "STM1", verb, std::to_string(stoppedAt));
        if (wasMoving)
            finishMove(true, stoppedAt);
        for (const Move& queued : m_queue)
            reply("OK", "STM1", queued.verb, stayValue(queued.verb, stoppedAt));
        m_queue.clear();
    } else if (move && m_restartOnNextMove) {
        m_restartOnNextMove = false;
        restart();
    } else if (verb == "ORIGIN" || (move && numeric && !(relative && number < 0))) {
        if (m_restartBeforeNextMove) {
            m_restartBeforeNextMove = false;
            restart();
        }
        endTravel();
        m_queue.push_back({verb, static_cast<int>(std::clamp<long long>(number, INT32_MIN, INT32_MAX))});
        startNextMove();
    } else if (move) {
        reply("ERR", "STM1", verb, stayValue(verb, positionNow()));
    } else if (travel && numeric && number > 0 && !m_moving) {
        startTravel(verb == "ROP" ? 1 : -1, number);
        reply("OK", "STM1", verb, argument);
    } else if (driveLevel && numeric) {
        reply("OK", "STM1", verb, argument);
    } else if (verb == "SELF_DIAG") {
        const std::string value = std::to_string(m_diagnosisValue);
        if (m_diagnosisDelay.count() > 0)
            schedule(Clock::now() + m_diagnosisDelay, [this, value] { reply("OK", "STM1", "SELF_DIAG", value); });
        else
            reply("OK", "STM1", verb, value);
    } else {
        reply("ERR", "STM1", verb, "");
    }
}

void McuSimulator::startTravel(int direction, long long speed)
{
    endTravel();
    m_travelFrom = m_state.position;
    m_travelLimit = direction > 0 ? m_maximum : m_minimum;
    m_travelStepsPerSecond = direction * m_travelRate * static_cast<double>(speed);
    m_travelStart = Clock::now();
    m_travelling = true;
    const std::uint64_t id = ++m_travelId;
    if (m_travelStepsPerSecond == 0)
        return;
    const double seconds = std::abs(m_travelLimit - m_travelFrom) / std::abs(m_travelStepsPerSecond);
    schedule(m_travelStart + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
             [this, id] {
                 if (m_travelling && m_travelId == id)
                     endTravel();
             });
}

void McuSimulator::endTravel()
{
    if (!m_travelling)
        return;
    m_state.position = positionNow();
    m_travelling = false;
    writeState();
}

std::string McuSimulator::stayValue(const std::string& verb, int position)
{
    // The host applies every move answer to its count, whatever the status:
    // a move that does not run answers 0 steps, or for ABS where the stage is.
    return verb == "ABS" ? std::to_string(position) : "0";
}

void McuSimulator::startNextMove()
{
    if (m_moving || m_queue.empty())
        return;
    const Move next = m_queue.front();
    m_queue.erase(m_queue.begin());
    const long long from = m_state.position;
    long long target = 0;  // ORIGIN
    if (next.verb == "MVN")
        target = from - next.argument;
    else if (next.verb == "MVP")
        target = from + next.argument;
    else if (next.verb == "ABS")
        target = next.argument;
    m_move = next.verb;
    m_moveTarget = static_cast<int>(std::clamp<long long>(target, m_minimum, m_maximum));
    m_moveFrom = m_state.position;
    m_moveStart = Clock::now();
    m_moveEnd = m_moveStart + m_stepTime * std::abs(m_moveTarget - m_moveFrom);
    m_moving = true;
    const std::uint64_t id = ++m_moveId;
    schedule(m_moveEnd, [this, id] {
        if (m_moving && m_moveId == id)
            finishMove(false, m_moveTarget);
    });
}

void McuSimulator::finishMove(bool stopped, int position)
{
    m_state.position = position;
    m_moving = false;
    writeState();
    const int moved = std::abs(m_state.position - m_moveFrom);
    const bool relative = m_move == "MVN" || m_move == "MVP";
    if (m_swallowMoveReply)
        m_swallowMoveReply = false;
    else
        reply("OK", "STM1", m_move, std::to_string(relative ? moved : m_state.position));
    if (!stopped)
        startNextMove();
}

int McuSimulator::positionNow() const
{
    if (m_travelling) {
        const double seconds = std::chrono::duration<double>(Clock::now() - m_travelStart).count();
        const double travelled = m_travelFrom + m_travelStepsPerSecond * seconds;
        return static_cast<int>(std::clamp<double>(travelled, m_minimum, m_maximum));
    }
    if (!m_moving)
        return m_state.position;
    const auto total = m_moveEnd - m_moveStart;
    const auto done = std::min(Clock::now() - m_moveStart, total);
    if (total.count() <= 0)
        return m_moveTarget;
    const double fraction = static_cast<double>(done.count()) / static_cast<double>(total.count());
    return m_moveFrom + static_cast<int>((m_moveTarget - m_moveFrom) * fraction);
}

void McuSimulator::reply(const std::string& status, const std::string& target, const std::string& verb,
                         const std::string& value)
{
    Fault fault = m_fault;
    if (!m_queuedFaults.empty()) {
        fault = m_queuedFaults.front();
        m_queuedFaults.pop_front();
    }
    std::string shownStatus = status;
    if (status == "OK" && fault == Fault::LowerCaseOk)
        shownStatus = "ok";
    else if (status == "OK" && fault == Fault::Refused)
        shownStatus = "ERR";
    std::string line = "$" + shownStatus + "," + target + "," + verb + "," + value + ",";
    switch (fault) {
    case Fault::Silence:
        return;
    case Fault::LateReply:
        schedule(Clock::now() + m_lateReply, [this, line] { send(line + "\r\n"); });
        return;
    case Fault::FourFields:
        line.pop_back();
        break;
    case Fault::SixFields:
        line += ",";
        break;
    case Fault::Nul:
        line.insert(line.size() - 1, 1, '\0');
        break;
    case Fault::LfOnly:
        send(line + "\n");
        return;
    case Fault::CrOnly:
        send(line + "\r");
        return;
    case Fault::OverlongLine:
        send(std::string(kOverlongNoise, '#') + line + "\r\n");
        return;
    case Fault::SplitLine: {
        const std::string whole = line + "\r\n";
        const std::size_t half = whole.size() / 2;
        send(whole.substr(0, half));
        schedule(Clock::now() + m_splitGap, [this, rest = whole.substr(half)] { send(rest); });
        return;
    }
    case Fault::TwoLines:
        send(line + "\r\n$OK,DEVICE,START,,\r\n");
        return;
    case Fault::EventInExchange:
        send("$OK,DEVICE,PWR SW,,\r\n" + line + "\r\n");
        return;
    case Fault::None:
    case Fault::LowerCaseOk:
    case Fault::Refused:
        break;
    }
    send(line + "\r\n");
}

void McuSimulator::sendRaw(const std::string& bytes)
{
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    std::size_t done = 0;
    while (done < bytes.size() && Clock::now() < deadline) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_master < 0)
            return;
        const ssize_t written = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (written > 0) {
            done += static_cast<std::size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EINTR)
            return;
        // Full: wait for the host to read, without holding up the simulator.
        pollfd room{m_master, POLLOUT, 0};
        lock.unlock();
        ::poll(&room, 1, 100);
    }
}

void McuSimulator::sendReport(const std::string& verb)
{
    if (m_state.powerOn)
        send("$OK,DEVICE," + verb + ",,\r\n");
}

void McuSimulator::send(const std::string& bytes)
{
    // Non-blocking: a host that reads nothing must not stall the simulator;
    // what does not fit into the terminal's buffer is lost, as on a real line.
    std::size_t done = 0;
    while (m_master >= 0 && done < bytes.size()) {
        const ssize_t written = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        done += static_cast<std::size_t>(written);
    }
}

void McuSimulator::writeState()
{
    if (!m_statePath.isEmpty())
        m_state.write(m_statePath);
}
