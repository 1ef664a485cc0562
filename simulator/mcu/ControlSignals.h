#pragma once

#include <csignal>

class McuSimulator;

// The signals the simulator programs are driven by: SIGINT and SIGTERM stop
// them, SIGUSR1 presses the instrument's power switch, SIGUSR2 restarts the
// microcontroller.
namespace controlsignals {

// Blocks the signals for this thread and every thread started after it, so
// that only serve() sees them. Call before any thread starts.
sigset_t block();

// Acts on the signals until SIGINT or SIGTERM arrives.
void serve(const sigset_t& handled, McuSimulator& simulator);

}  // namespace controlsignals
