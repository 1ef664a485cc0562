// kova-mcu-sim: the simulated microcontroller as a program for the demo and
// end-to-end tests. It serves a pseudo-terminal, links it at
// <root>/dev/ttyS2 and runs until SIGINT or SIGTERM; SIGUSR1 raises the power
// button report and SIGUSR2 a restart. It refuses the real root "/".
#include "ControlSignals.h"
#include "McuSimulator.h"

#include "platform/Root.h"

#include <QFile>

#include <cstdio>

int main()
{
    const sigset_t handled = controlsignals::block();

    McuSimulator simulator;
    QString error;
    if (!simulator.start(&error)) {
        std::fprintf(stderr, "kova-mcu-sim: %s\n", qPrintable(error));
        return 1;
    }
    const QString link = QStringLiteral("/dev/ttyS2");
    if (!simulator.linkAt(link)) {
        std::fprintf(stderr, "kova-mcu-sim: cannot link %s\n", qPrintable(platform::rootPath(link)));
        return 1;
    }
    std::printf("kova-mcu-sim: %s -> %s\n", qPrintable(platform::rootPath(link)),
                qPrintable(simulator.slavePath()));
    std::fflush(stdout);

    controlsignals::serve(handled, simulator);
    simulator.stop();
    QFile::remove(platform::rootPath(link));
    return 0;
}
