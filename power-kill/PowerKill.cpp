#include "PowerKill.h"

#include "platform/Root.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

const char* const kCommands[] = {
    "$,DEVICE,FW VERSION,,\r\n",
    "$,DEVICE,PWR KILL,3000,\r\n",
    "",
};
constexpr int kMaxAttempts = 3;

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

}  // namespace

int powerKill(int argc, char** argv, std::FILE* out, int replyWaitDeciseconds)
{
    const char* device = argc > 1 ? argv[1] : "/dev/ttyS2";
    const std::string physical = platform::rootPath(std::string(device));
    // A failed open is reported by the settings read below (EBADF).
    const int port = ::open(physical.c_str(), O_RDWR | O_CLOEXEC);

    termios tty {};
    if (tcgetattr(port, &tty) != 0) {
        std::fprintf(out, "Error %i from tcgetattr: %s\n", errno, std::strerror(errno));
        if (port >= 0)
            ::close(port);
        return 1;
    }
    makeRaw(tty, replyWaitDeciseconds);
    if (tcsetattr(port, TCSANOW, &tty) != 0) {
        std::fprintf(out, "Error %i from tcsetattr: %s\n", errno, std::strerror(errno));
        ::close(port);
        return 1;
    }

    int current = 0;
    int unanswered = 0;
    while (kCommands[current][0] != '\0') {
        const char* command = kCommands[current];
        std::fprintf(out, "Writing %s to %s\n", command, device);
        std::fflush(out);
        [[maybe_unused]] const ssize_t written = ::write(port, command, std::strlen(command));

        // One byte short of the buffer, so the reply always stays terminated.
        char reply[256] = {};
        const ssize_t got = ::read(port, reply, sizeof reply - 1);
        if (got < 0) {
            std::fprintf(out, "Error reading: %s", std::strerror(errno));
            std::fflush(out);
            ::close(port);
            return 1;
        }
        std::fprintf(out, "=> received: %s\n", reply);
        std::fflush(out);
        if (got > 0 && std::strstr(reply, "$OK")) {
            unanswered = 0;
            ++current;
        } else if (++unanswered >= kMaxAttempts) {
            break;
        }
    }
    ::fsync(port);
    ::close(port);
    if (kCommands[current][0] != '\0') {
        const std::string command(kCommands[current], std::strlen(kCommands[current]) - 2);
        std::fprintf(out, "Error: no acknowledgement of %s; the power kill was not acknowledged\n",
                     command.c_str());
        return kNotAcknowledged;
    }
    return 0;
}
