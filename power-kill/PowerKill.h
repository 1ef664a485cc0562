#pragma once

#include <cstdio>

// The power-off tool: on the microcontroller's serial port (argv[1], else
// "/dev/ttyS2"; mapped under the instrument root), raw 115200 8N1, it asks
// for the firmware version and, once that is answered with "OK", sends the
// power kill. Each command is tried up to three times: the input is emptied,
// the command written, and whole lines are read for up to
// replyWaitDeciseconds; only the command's own reply (same target and verb)
// counts, so a late reply to an earlier command never passes for the next
// one's. Every line read is printed to `out` with the progress lines.
// Returns the exit code: 0 once the power kill was acknowledged; 1 when the
// port's settings cannot be read or set or a read fails; kNotAcknowledged,
// with an error line, when a command went unanswered or refused three times
// (the power kill then was never acknowledged).
constexpr int kNotAcknowledged = 2;
int powerKill(int argc, char** argv, std::FILE* out, int replyWaitDeciseconds = 20);
