// Benchmark entry: a Qt application object (offscreen, so widgets can be
// grabbed without a display) and the system's debug log silenced.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QLoggingCategory>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QLoggingCategory::setFilterRules(QStringLiteral("kova.debug=false\nnm*.debug=false"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
