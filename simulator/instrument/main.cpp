// kova-instrument: a virtual instrument for the demo and the end-to-end tests.
// Lays out ROOT, starts the simulated microcontroller there and runs until
// SIGINT or SIGTERM; SIGUSR1 presses the power button, SIGUSR2 restarts the
// microcontroller. Prints "ready" once the application may start.
#include "VirtualInstrument.h"

#include <QCoreApplication>
#include <QCommandLineParser>

#include <csignal>
#include <cstdio>

int main(int argc, char** argv)
{
    sigset_t handled;
    sigemptyset(&handled);
    for (int signal : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        sigaddset(&handled, signal);
    // Blocked before any thread starts, so only sigwait sees them.
    pthread_sigmask(SIG_BLOCK, &handled, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kova-instrument"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Runs a virtual KOVA3 instrument in ROOT."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("silent"), QStringLiteral("The microcontroller never answers.")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the generated slide."), QStringLiteral("n"),
                      QStringLiteral("1")});
    parser.addPositionalArgument(QStringLiteral("root"), QStringLiteral("Folder standing for \"/\"."));
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1 || args.front() == QLatin1String("/"))
        parser.showHelp(2);

    kovasim::VirtualInstrument instrument(args.front());
    kovasim::VirtualInstrument::Options options;
    options.silent = parser.isSet(QStringLiteral("silent"));
    options.slideSeed = parser.value(QStringLiteral("seed")).toULongLong();
    QString error;
    if (!instrument.assemble(options, &error) || !instrument.start(options, &error)) {
        std::fprintf(stderr, "kova-instrument: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("kova-instrument: ready %s%s\n", qPrintable(instrument.root()),
                options.silent ? " (silent microcontroller)" : "");
    std::fflush(stdout);

    for (;;) {
        int signal = 0;
        if (sigwait(&handled, &signal) != 0)
            continue;
        if (signal == SIGUSR1)
            instrument.mcu().raisePowerButton();
        else if (signal == SIGUSR2)
            instrument.mcu().raiseRestart();
        else
            break;
    }
    instrument.stop();
    return 0;
}
