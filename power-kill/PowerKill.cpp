#include "PowerKill.h"

#include "platform/Root.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kCommands[] = {
    "$,DEVICE,FW VERSION,,\r\n",
    "$,DEVICE,PWR KILL,3000,\r\n",
};
constexpr int kMaxAttempts = 3;
// No reply of the microcontroller comes near it; a longer line is noise.
constexpr std::size_t kMaxLineBytes = 1024;

// Raw 8N1 at 115200 without flow control; a read returns with the first
// bytes or after `wait` tenths of a second.
void makeRaw(termios& tty, int wait)
{
    tty.c_cflag &= ~(PARENB | CSTOPB | CSIZE | CRTSCTS);
    tty.c_cflag |= CS8 | CREAD | CLOCAL;
    tty.c_lflag &= ~(ICANON | ECHO | ECHOE | ECHONL | ISIG);
    tty.c_iflag &= ~(IXON | IXOFF | IXANY);
    tty.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
    tty.c_oflag &= ~(OPOST | ONLCR);
    tty.c_cc[VTIME] = static_cast<cc_t>(wait);
    tty.c_cc[VMIN] = 0;
    cfsetispeed(&tty, B115200);
    cfsetospeed(&tty, B115200);
}

// Status, target and verb of a command frame or a reply line: the text after
// its last "$" (and before any NUL), cut at "," into exactly five parts, as
// the link reads replies. A command's status is empty.
struct Frame
{
    std::string status;
    std::string target;
    std::string verb;
};

bool parseFrame(const std::string& line, Frame& frame)
{
    std::string text = line.substr(0, line.find('\0'));
    text.erase(0, text.rfind('$') + 1);
    std::vector<std::string> parts;
    std::size_t begin = 0;
    for (std::size_t comma; (comma = text.find(',', begin)) != std::string::npos; begin = comma + 1)
        parts.push_back(text.substr(begin, comma - begin));
    parts.push_back(text.substr(begin));
    if (parts.size() != 5)
        return false;
    frame = {parts[0], parts[1], parts[2]};
    return true;
}

// What the port gave within an attempt's wait.
struct Received
{
    enum Kind {
        Line,     // a whole line, its "\n" included
        Piece,    // bytes of a line too long to be a reply, or unfinished at the deadline
        Nothing,  // the deadline passed, or the line hung up
        Error,    // the read failed
    } kind;
    std::string text;
    int error = 0;  // errno of a failed read
};

// The microcontroller's port, read in lines however the reads cut them.
class LinePort
{
public:
    explicit LinePort(int fd)
        : m_fd(fd)
    {
    }

    // Writes a command on an emptied input: what came before it (unread
    // bytes, a line begun) cannot pass for its reply.
    void send(const char* command)
    {
        ::tcflush(m_fd, TCIFLUSH);
        m_pending.clear();
        m_dropping = false;
        [[maybe_unused]] const ssize_t written = ::write(m_fd, command, std::strlen(command));
    }

    Received next(Clock::time_point deadline)
    {
        for (;;) {
            const std::size_t end = m_pending.find('\n');
            if (end != std::string::npos) {
                Received line{m_dropping ? Received::Piece : Received::Line, m_pending.substr(0, end + 1)};
                m_pending.erase(0, end + 1);
                m_dropping = false;
                return line;
            }
            if (m_pending.size() >= kMaxLineBytes) {
                m_dropping = true;
                return {Received::Piece, takePending()};
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd readable{m_fd, POLLIN, 0};
            const int ready = left.count() > 0 ? ::poll(&readable, 1, static_cast<int>(left.count())) : 0;
            ssize_t got = 0;
            char bytes[256];
            if (ready > 0)
                got = ::read(m_fd, bytes, std::min(sizeof bytes, kMaxLineBytes - m_pending.size()));
            if ((ready < 0 || got < 0) && errno == EINTR)
                continue;
            if (ready < 0 || got < 0)
                return {Received::Error, {}, errno};
            if (got == 0)
                return {m_pending.empty() ? Received::Nothing : Received::Piece, takePending()};
            m_pending.append(bytes, static_cast<std::size_t>(got));
        }
    }

private:
    std::string takePending()
    {
        std::string text;
        text.swap(m_pending);
        return text;
    }

    int m_fd;
    std::string m_pending;    // bytes after the last whole line
    bool m_dropping = false;  // the line begun is too long to be a reply
};

enum class Answer { Acknowledged, Unanswered, ReadError };

// One attempt of `command`: sent on an emptied input, then the lines read
// until its own reply or the wait's end. Every line is printed; lines that
// are not its reply (a late reply to an earlier command, a report, noise)
// are passed over, and a reply without "OK" refuses the command.
Answer attempt(LinePort& port, const char* command, const char* device, std::chrono::milliseconds wait,
               std::FILE* out)
{
    Frame sent;
    parseFrame(command, sent);
    std::fprintf(out, "Writing %s to %s\n", command, device);
    std::fflush(out);
    port.send(command);

    const Clock::time_point deadline = Clock::now() + wait;
    for (bool printed = false;; printed = true) {
        const Received received = port.next(deadline);
        if (received.kind == Received::Error) {
            std::fprintf(out, "Error reading: %s", std::strerror(received.error));
            std::fflush(out);
            return Answer::ReadError;
        }
        if (received.kind == Received::Nothing) {
            if (!printed)
                std::fprintf(out, "=> received: \n");
            std::fflush(out);
            return Answer::Unanswered;
        }
        std::fprintf(out, "=> received: %s\n", received.text.c_str());
        std::fflush(out);
        Frame reply;
        if (received.kind == Received::Line && parseFrame(received.text, reply) && reply.target == sent.target
            && reply.verb == sent.verb)
            return reply.status == "OK" ? Answer::Acknowledged : Answer::Unanswered;
    }
}

}  // namespace

int powerKill(int argc, char** argv, std::FILE* out, int replyWaitDeciseconds)
{
    const char* device = argc > 1 ? argv[1] : "/dev/ttyS2";
    const std::string physical = platform::rootPath(std::string(device));
    // A failed open is reported by the settings read below (EBADF).
    const int fd = ::open(physical.c_str(), O_RDWR | O_CLOEXEC);

    termios tty {};
    if (tcgetattr(fd, &tty) != 0) {
        std::fprintf(out, "Error %i from tcgetattr: %s\n", errno, std::strerror(errno));
        if (fd >= 0)
            ::close(fd);
        return 1;
    }
    makeRaw(tty, replyWaitDeciseconds);
    if (tcsetattr(fd, TCSANOW, &tty) != 0) {
        std::fprintf(out, "Error %i from tcsetattr: %s\n", errno, std::strerror(errno));
        ::close(fd);
        return 1;
    }

    LinePort port(fd);
    const std::chrono::milliseconds wait(100 * replyWaitDeciseconds);
    int code = 0;
    for (const char* command : kCommands) {
        Answer answer = Answer::Unanswered;
        for (int tries = 0; tries < kMaxAttempts && answer == Answer::Unanswered; ++tries)
            answer = attempt(port, command, device, wait, out);
        if (answer == Answer::ReadError) {
            code = 1;
            break;
        }
        if (answer == Answer::Unanswered) {
            const std::string shown(command, std::strlen(command) - 2);
            std::fprintf(out, "Error: no acknowledgement of %s; the power kill was not acknowledged\n",
                         shown.c_str());
            code = kNotAcknowledged;
            break;
        }
    }
    if (code != 1)
        ::fsync(fd);
    ::close(fd);
    return code;
}
