// kova-evaluate: counts one image file (RGB, 2592x1944, TIFF or PNG) with the
// engine and prints the result as one JSON object; optionally the objects as CSV.
#include "Evaluation.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "kova-evaluate: %s\n", qPrintable(message));
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kova-evaluate");

    QCommandLineParser parser;
    parser.setApplicationDescription("Counts the cells of one 2592x1944 RGB image (TIFF or PNG) with the counting "
                                     "engine and prints the result as JSON.");
    parser.addHelpOption();
    parser.addPositionalArgument("image", "Image file.");
    parser.addOption({"mode", "Counting mode: total or viability (default).", "mode", "viability"});
    parser.addOption({"protocol", "Built-in protocol the levels start from: DEFAULT or PBMC.", "name", "DEFAULT"});
    const char* levels[][2] = {{"min-size", "Min. search size."},
                               {"max-size", "Max. search size."},
                               {"detection", "Cell detection sensitivity level, 1 to 10."},
                               {"live", "Live cell sensitivity level, 1 to 10."},
                               {"noise", "Noise reduction level, 0 to 9."},
                               {"dilution", "Dilution factor."}};
    for (const auto& level : levels)
        parser.addOption({level[0], level[1], "value"});
    parser.addOption({"objects", "Also write the objects as CSV to this file ('-' for standard output, "
                                 "after the JSON).", "file"});
    parser.process(app);

    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);

    evaluation::Setup setup;
    const QString mode = parser.value("mode");
    if (mode != "total" && mode != "viability")
        return fail("--mode must be total or viability");
    setup.countMode = mode == "total" ? 0 : 1;
    if (!evaluation::builtInProtocol(parser.value("protocol").toStdString(), setup.countMode, setup.protocol))
        return fail("unknown protocol " + parser.value("protocol"));
    int* fields[] = {&setup.protocol.minSearchSize, &setup.protocol.maxSearchSize, &setup.protocol.detectionLevel,
                     &setup.protocol.liveLevel,     &setup.protocol.noiseLevel,    &setup.protocol.dilution};
    for (size_t i = 0; i < std::size(levels); ++i) {
        if (!parser.isSet(levels[i][0]))
            continue;
        bool ok = false;
        *fields[i] = parser.value(levels[i][0]).toInt(&ok);
        if (!ok)
            return fail(QString("--%1 needs a whole number").arg(levels[i][0]));
    }

    const QString path = parser.positionalArguments().front();
    cv::Mat bgr;
    try {
        bgr = cv::imread(path.toStdString(), cv::IMREAD_COLOR);
    } catch (const cv::Exception& e) {
        return fail(QString("cannot read %1: %2").arg(path, e.what()));
    }
    if (bgr.empty())
        return fail("cannot read " + path);
    if (bgr.cols != evaluation::kCols || bgr.rows != evaluation::kRows)
        return fail(QString("%1 is %2x%3, not %4x%5")
                        .arg(path)
                        .arg(bgr.cols)
                        .arg(bgr.rows)
                        .arg(evaluation::kCols)
                        .arg(evaluation::kRows));
    cv::Mat rgb;
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);

    const auto counter = evaluation::makeCounter(setup);
    const evaluation::Result result = evaluation::evaluate(*counter, rgb, setup);
    std::cout << evaluation::toJson(result, setup) << std::endl;

    if (parser.isSet("objects")) {
        const QString target = parser.value("objects");
        if (target == "-") {
            evaluation::writeObjectsCsv(std::cout, result);
        } else {
            std::ofstream csv(target.toStdString());
            evaluation::writeObjectsCsv(csv, result);
            csv.close();
            if (!csv)
                return fail("cannot write " + target);
        }
    }
    return std::cout ? 0 : 1;
}
