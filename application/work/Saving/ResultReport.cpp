#include "Saving/ResultReport.h"

#include "platform/Root.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>

namespace {

// The results and protocol rows after the settings header, by key.
const struct
{
    const char* key;
    QString ResultReport::*field;
} kRows[] = {
    {"[Total cell]", &ResultReport::totalConcentration},
    {"[Live cell]", &ResultReport::liveConcentration},
    {"[Dead cell]", &ResultReport::deadConcentration},
    {"Viability", &ResultReport::viability},
    {"Avg. size", &ResultReport::averageSize},
    {"Total cell number", &ResultReport::totalNumber},
    {"Live cell number", &ResultReport::liveNumber},
    {"Dead cell number", &ResultReport::deadNumber},
    {"Protocol name", &ResultReport::protocolName},
    {"Min. search size", &ResultReport::minSearchSize},
    {"Max. search size", &ResultReport::maxSearchSize},
    {"Cell detection sensitivity", &ResultReport::cellDetectionSensitivity},
    {"Live cell sensitivity", &ResultReport::liveCellSensitivity},
    {"Noise reduction", &ResultReport::noiseReduction},
    {"Dilution factor", &ResultReport::dilutionFactor},
    {"Size gating", &ResultReport::sizeGating},
};

const QString kSeparator = QString(42, QLatin1Char('='));

// A report the instrument writes is a few kB; any other file of the name on a
// stick is read only this far, so its size cannot exhaust the memory.
constexpr qint64 kMaxReportBytes = 1 << 20;

// A line's fields: white space simplified, split at commas, the blank in
// front of the second and fourth field dropped.
QStringList fieldsOf(QByteArray line)
{
    const int nul = line.indexOf('\0');
    if (nul >= 0)
        line.truncate(nul);
    QStringList fields = QString::fromUtf8(line).simplified().split(QLatin1Char(','));
    for (int i : {1, 3}) {
        if (fields.size() > i && fields[i].startsWith(QLatin1Char(' ')))
            fields[i].remove(0, 1);
    }
    return fields;
}

}  // namespace

int get_result_from_csv(std::string path, ResultReport& report)
{
    QFile file(platform::rootPath(QString::fromStdString(path)));
    if (!file.exists())
        return -1;
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    QByteArray text = file.read(kMaxReportBytes);
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    const QList<QByteArray> lines = text.split('\n');

    bool inSettings = false;
    bool countModeNext = false;
    for (int i = 0; i < lines.size(); ++i) {
        const QStringList fields = fieldsOf(lines[i]);
        const QString& key = fields[0];
        if (inSettings) {
            if (key == kSeparator)
                continue;
            if (key == QLatin1String("Volume")) {
                i += 2;
                continue;
            }
            for (const auto& row : kRows) {
                if (key == QLatin1String(row.key) && fields.size() > 1)
                    report.*row.field = fields[1];
            }
        } else if (key == QLatin1String("Device setting") || key == QLatin1String("Instrument setting")) {
            inSettings = true;
        } else if (key == QLatin1String("Counting mode")) {
            countModeNext = true;
        } else if (key != QLatin1String("File name") && countModeNext) {
            report.countMode = fields.value(1);
            countModeNext = false;
        }
    }
    return 0;
}

QString extractNumberFromString(QString text)
{
    static const QRegularExpression number(QStringLiteral("(\\d+) um"));
    return number.match(text).captured(1);
}
