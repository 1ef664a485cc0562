// kova-evaluate: counts one image file (RGB, 2592x1944, TIFF or PNG) with the
// engine and prints the result as one JSON object; optionally the objects as CSV.
#include "Evaluation.h"

#include "platform/SaveFile.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <tiffio.h>

#include <cstdio>
#include <iostream>
#include <sstream>

namespace {

constexpr int kBadOption = 2;
constexpr int kLargestSize = VelimBio::CellCounter::kSizeBins - 1;

int fail(const QString& message, int code = 1)
{
    std::fprintf(stderr, "kova-evaluate: %s\n", qPrintable(message));
    return code;
}

// An option of the protocol and the values it takes.
struct Level
{
    const char* name;
    const char* help;
    int lowest;
    int highest;
};

const Level kLevels[] = {
    {"min-size", "Min. search size, 0 to 180.", 0, kLargestSize},
    {"max-size", "Max. search size, 0 to 180.", 0, kLargestSize},
    {"detection", "Cell detection sensitivity level, 1 to 10.", 1, 10},
    {"live", "Live cell sensitivity level, 1 to 10.", 1, 10},
    {"noise", "Noise reduction level, 0 to 9.", 0, 9},
    {"dilution", "Dilution factor, 1 to 100.", 1, 100},
};

// The width and height an image file declares in its header, read without
// decoding a pixel (PNG and TIFF); an empty size when it declares none.
cv::Size declaredSize(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(24);
    if (head.startsWith("\x89PNG\r\n\x1a\n") && head.mid(12, 4) == "IHDR") {
        const auto word = [&](int at) {
            return int(quint8(head[at])) << 24 | int(quint8(head[at + 1])) << 16 | int(quint8(head[at + 2])) << 8
                | int(quint8(head[at + 3]));
        };
        return {word(16), word(20)};
    }
    if (head.startsWith(QByteArray("II*\0", 4)) || head.startsWith(QByteArray("MM\0*", 4))) {
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandler(nullptr);
        TIFF* tiff = TIFFOpen(QFile::encodeName(path).constData(), "r");  // the directory, not the strips
        uint32_t width = 0, height = 0;
        const bool known = tiff && TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width)
            && TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
        if (tiff)
            TIFFClose(tiff);
        if (known)
            return {int(std::min<uint32_t>(width, INT32_MAX)), int(std::min<uint32_t>(height, INT32_MAX))};
    }
    return {};
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("kova-evaluate");

    QCommandLineParser parser;
    parser.setApplicationDescription("Counts the cells of one 2592x1944 RGB image (TIFF or PNG) with the counting "
                                     "engine and prints the result as JSON.");
    const QCommandLineOption help = parser.addHelpOption();
    parser.addPositionalArgument("image", "Image file.");
    parser.addOption({"mode", "Counting mode: total or viability (default).", "mode", "viability"});
    parser.addOption({"protocol", "Built-in protocol the levels start from: DEFAULT or PBMC.", "name", "DEFAULT"});
    for (const Level& level : kLevels)
        parser.addOption({level.name, level.help, "value"});
    parser.addOption({"objects", "Also write the objects as CSV to this file ('-' for standard output, "
                                 "after the JSON).", "file"});
    if (!parser.parse(QCoreApplication::arguments()))
        return fail(parser.errorText(), kBadOption);
    if (parser.isSet(help))
        parser.showHelp(0);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(kBadOption);

    evaluation::Setup setup;
    const QString mode = parser.value("mode");
    if (mode != "total" && mode != "viability")
        return fail("--mode must be total or viability", kBadOption);
    setup.countMode = mode == "total" ? 0 : 1;
    if (!evaluation::builtInProtocol(parser.value("protocol").toStdString(), setup.countMode, setup.protocol))
        return fail("unknown protocol " + parser.value("protocol"), kBadOption);
    int* fields[] = {&setup.protocol.minSearchSize, &setup.protocol.maxSearchSize, &setup.protocol.detectionLevel,
                     &setup.protocol.liveLevel,     &setup.protocol.noiseLevel,    &setup.protocol.dilution};
    for (size_t i = 0; i < std::size(kLevels); ++i) {
        const Level& level = kLevels[i];
        if (!parser.isSet(level.name))
            continue;
        bool ok = false;
        const int value = parser.value(level.name).toInt(&ok);
        if (!ok || value < level.lowest || value > level.highest)
            return fail(QString("--%1 needs a whole number from %2 to %3").arg(level.name).arg(level.lowest).arg(level.highest),
                        kBadOption);
        *fields[i] = value;
    }
    if (setup.protocol.minSearchSize > setup.protocol.maxSearchSize)
        return fail(QString("the min. search size %1 is above the max. search size %2")
                        .arg(setup.protocol.minSearchSize)
                        .arg(setup.protocol.maxSearchSize),
                    kBadOption);

    const QString path = parser.positionalArguments().front();
    // Refused by its header: a small file may declare a frame that would
    // take gigabytes and minutes to decode.
    const cv::Size declared = declaredSize(path);
    if (declared != cv::Size(evaluation::kCols, evaluation::kRows))
        return fail(declared.empty() ? QString("%1 is no PNG or TIFF image").arg(path)
                                     : QString("%1 is %2x%3, not %4x%5")
                                           .arg(path)
                                           .arg(declared.width)
                                           .arg(declared.height)
                                           .arg(evaluation::kCols)
                                           .arg(evaluation::kRows));
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
            // Whole or not at all: a failed write leaves no cut file.
            std::ostringstream csv;
            evaluation::writeObjectsCsv(csv, result);
            const QByteArray bytes = QByteArray::fromStdString(csv.str());
            QSaveFile file(target);
            if (!platform::openSaveFile(file) || file.write(bytes) != bytes.size() || !file.commit())
                return fail("cannot write " + target);
        }
    }
    return std::cout ? 0 : 1;
}
