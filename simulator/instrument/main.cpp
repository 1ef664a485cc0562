// kova-instrument: a virtual instrument for the demo and the end-to-end tests.
// Lays out ROOT, starts the simulated microcontroller there and runs until
// SIGINT or SIGTERM; SIGUSR1 presses the power button, SIGUSR2 restarts the
// microcontroller. Prints "ready" once the application may start.
#include "ControlSignals.h"
#include "VirtualInstrument.h"

#include <QCoreApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char** argv)
{
    const sigset_t handled = controlsignals::block();

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kova-instrument"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Runs a virtual KOVA3 instrument in ROOT."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("silent"), QStringLiteral("The microcontroller never answers.")});
    parser.addOption({QStringLiteral("seed"),
                      QStringLiteral("Seed of the slide generated where the root has no /sim/slide.png."),
                      QStringLiteral("n"),
                      QStringLiteral("1")});
    parser.addPositionalArgument(QStringLiteral("root"), QStringLiteral("Folder standing for \"/\"."));
    parser.process(app);
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1 || args.front() == QLatin1String("/"))
        parser.showHelp(2);

    kovasim::VirtualInstrument instrument(args.front());
    kovasim::VirtualInstrument::Options options;
    options.silent = parser.isSet(QStringLiteral("silent"));
    bool seedOk = false;
    options.slideSeed = parser.value(QStringLiteral("seed")).toULongLong(&seedOk);
    if (!seedOk) {
        std::fprintf(stderr, "kova-instrument: --seed needs a whole number from 0, not \"%s\"\n",
                     qPrintable(parser.value(QStringLiteral("seed"))));
        return 2;
    }
    QString error;
    if (!instrument.assemble(options, &error) || !instrument.start(options, &error)) {
        std::fprintf(stderr, "kova-instrument: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("kova-instrument: ready %s%s\n", qPrintable(instrument.root()),
                options.silent ? " (silent microcontroller)" : "");
    std::fflush(stdout);

    controlsignals::serve(handled, instrument.mcu());
    instrument.stop();
    return 0;
}
