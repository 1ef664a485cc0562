#include "EvaluateCommand.h"

#include <QCommandLineParser>
#include <QFile>

#include <tiffio.h>

#include <algorithm>
#include <iterator>

namespace evaluation {

namespace {

constexpr int kLargestSize = VelimBio::CellCounter::kSizeBins - 1;

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

EvaluateCommand refused(const QString& error)
{
    EvaluateCommand command;
    command.error = error;
    return command;
}

}  // namespace

EvaluateCommand parseEvaluateCommand(const QStringList& arguments)
{
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
    if (!parser.parse(arguments))
        return refused(parser.errorText());
    if (parser.isSet(help) || parser.positionalArguments().size() != 1) {
        EvaluateCommand command;
        command.kind = EvaluateCommand::Help;
        command.code = parser.isSet(help) ? 0 : 2;
        command.helpText = parser.helpText();
        return command;
    }

    EvaluateCommand command;
    Setup& setup = command.setup;
    const QString mode = parser.value("mode");
    if (mode != "total" && mode != "viability")
        return refused("--mode must be total or viability");
    setup.countMode = mode == "total" ? 0 : 1;
    if (!builtInProtocol(parser.value("protocol").toStdString(), setup.countMode, setup.protocol))
        return refused("unknown protocol " + parser.value("protocol"));
    int* fields[] = {&setup.protocol.minSearchSize, &setup.protocol.maxSearchSize, &setup.protocol.detectionLevel,
                     &setup.protocol.liveLevel,     &setup.protocol.noiseLevel,    &setup.protocol.dilution};
    for (size_t i = 0; i < std::size(kLevels); ++i) {
        const Level& level = kLevels[i];
        if (!parser.isSet(level.name))
            continue;
        bool ok = false;
        const int value = parser.value(level.name).toInt(&ok);
        if (!ok || value < level.lowest || value > level.highest)
            return refused(QString("--%1 needs a whole number from %2 to %3").arg(level.name).arg(level.lowest).arg(level.highest));
        *fields[i] = value;
    }
    if (setup.protocol.minSearchSize > setup.protocol.maxSearchSize)
        return refused(QString("the min. search size %1 is above the max. search size %2")
                           .arg(setup.protocol.minSearchSize)
                           .arg(setup.protocol.maxSearchSize));

    command.kind = EvaluateCommand::Count;
    command.code = 0;
    command.image = parser.positionalArguments().front();
    command.writeObjects = parser.isSet("objects");
    command.objects = parser.value("objects");
    return command;
}

cv::Size declaredImageSize(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(24);
    if (head.startsWith("\x89PNG\r\n\x1a\n") && head.mid(12, 4) == "IHDR") {
        // Unsigned, as the header holds them; a value past INT32_MAX is no PNG size, but stays large.
        const auto word = [&](int at) {
            const quint32 value = quint32(quint8(head[at])) << 24 | quint32(quint8(head[at + 1])) << 16
                | quint32(quint8(head[at + 2])) << 8 | quint32(quint8(head[at + 3]));
            return int(std::min<quint32>(value, INT32_MAX));
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

}  // namespace evaluation
