#include "ControlSignals.h"

#include "McuSimulator.h"

#include <pthread.h>

namespace controlsignals {

sigset_t block()
{
    sigset_t handled;
    sigemptyset(&handled);
    for (int signal : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaddset(&handled, signal);
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);
    return handled;
}

void serve(const sigset_t& handled, McuSimulator& simulator)
{
    for (;;) {
        int signal = 0;
        if (sigwait(&handled, &signal) != 0)
            continue;
        if (signal == SIGUSR1)
            simulator.raisePowerButton();
        else if (signal == SIGUSR2)
            simulator.raiseRestart();
        else
            return;
    }
}

}  // namespace controlsignals
