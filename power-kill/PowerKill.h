#pragma once

#include <cstdio>

// The power-off tool: on the microcontroller's serial port (argv[1], else
// "/dev/ttyS2"; mapped under the instrument root), raw 115200 8N1, it asks
// for the firmware version and, once that is answered with "$OK", sends the
// power kill. Each command is tried up to three times; a reply counts when one
// read (waiting up to replyWaitDeciseconds for its first byte) holds "$OK".
// Progress lines go to `out`. Returns the exit code: 0 once the power kill was
// acknowledged; 1 when the port's settings cannot be read or set or a read
// fails; kNotAcknowledged, with an error line, when a command went unanswered
// three times (the power kill then was never acknowledged).
constexpr int kNotAcknowledged = 2;
int powerKill(int argc, char** argv, std::FILE* out, int replyWaitDeciseconds = 20);
