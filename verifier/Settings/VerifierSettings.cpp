#include "Settings/VerifierSettings.h"

#include "File_IO/ini.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"

#include <QSettings>
#include <QStringList>

#include <cmath>
#include <cstdlib>
#include <string>

namespace verifier {

namespace {

// The register tables the verifier reads and writes: CUS (TB), then BFN (NTB).
constexpr int kTables[] = {REG_TABLE_CUS, REG_TABLE_BFN};

int stageValue(const char* key, const char* defaultValue)
{
    std::string text;
    ini_read("Z stage", key, defaultValue, text, kStageIni);
    return leadingInteger(QString::fromStdString(text));
}

bool writeStageValue(const char* key, int value)
{
    return ini_write("Z stage", key, std::to_string(value), kStageIni);
}

double rounded(double value, double scale)
{
    return std::round(value * scale) / scale;  // half away from zero
}

bool usable(double value)
{
    return std::isfinite(value) && value != 0.0;
}

}  // namespace

global_ini_s* global_ini()
{
    static global_ini_s record;
    return &record;
}

int leadingInteger(const QString& text)
{
    const QByteArray bytes = text.toLatin1();
    return static_cast<int>(std::strtol(bytes.constData(), nullptr, 10));
}

void readSettings(QSettings& kova3)
{
    for (int table : kTables) {
        for (int row = REG_ROW_VGA; row <= REG_ROW_5M; ++row)
            MainSettings::readRegisterRow(table, row);
    }
    global_ini_s* record = global_ini();
    record->nSkip_frame = kova3.value(QStringLiteral("Cell counting/Skip frame"), 5).toInt();
    ::global_ini()->LED = kova3.value(QStringLiteral("Ch. BF/LED"), 225).toInt();
    record->nZ_step = stageValue("Step", "256");
    record->nZ_speed = stageValue("Speed", "250");
    record->nZ_reference = kova3.value(QStringLiteral("Calibration/Z reference"), 32000).toInt();
    record->serial = kova3.value(QStringLiteral("KOVA-III/Serial"), QStringLiteral("KO3-00-00000")).toString();
    record->bZig_mode = kova3.value(QStringLiteral("KOVA-III/Zig mode"), QStringLiteral("On")).toString()
        == QLatin1String("On");
    record->System.Magnification = kova3.value(QStringLiteral("KOVA-III/Magnification"), 1.431).toDouble();
    record->System.Volume_factor = kova3.value(QStringLiteral("KOVA-III/Volume factor"), 0.48242).toDouble();
}

bool writeStageSettings(QSettings& kova3, QString* file)
{
    const global_ini_s* record = global_ini();
    if (!writeStageValue("Step", record->nZ_step) || !writeStageValue("Speed", record->nZ_speed)) {
        if (file)
            *file = QString::fromLatin1(kStageIni);
        return false;
    }
    // Summed in 64 bits: the reference is read unchecked, and a sum past int must not wrap.
    const qint64 reference = record->nZ_reference;
    kova3.beginGroup(QStringLiteral("Calibration"));
    kova3.setValue(QStringLiteral("Z reference"), reference);
    kova3.setValue(QStringLiteral("Z reset pos"), reference);
    kova3.setValue(QStringLiteral("Z ref 2ch"), reference + 2560);
    kova3.setValue(QStringLiteral("Z ref Reusable"), reference + 5120);
    kova3.setValue(QStringLiteral("Z ref Validation"), reference);
    kova3.endGroup();
    return true;
}

bool writeCameraSettings(QSettings& kova3, QString* file)
{
    for (int table : kTables) {
        for (int row = REG_ROW_VGA; row <= REG_ROW_5M; ++row) {
            if (!MainSettings::writeRegisterRow(table, row, file))
                return false;
        }
    }
    kova3.setValue(QStringLiteral("Ch. BF/LED"), ::global_ini()->LED);
    return true;
}

void writeQcSettings(QSettings& kova3, int serialMidfix, int serialSuffix)
{
    const global_ini_s* record = global_ini();
    kova3.beginGroup(QStringLiteral("KOVA-III"));
    kova3.setValue(QStringLiteral("Serial"), QString::asprintf("KO3-%02d-%05d", serialMidfix, serialSuffix));
    // A measurement never made (0) or gone wrong (not finite) keeps the stored values.
    if (usable(record->System.Magnification) && usable(record->System.Volume_factor)) {
        kova3.setValue(QStringLiteral("Magnification"), rounded(record->System.Magnification, 1e4));
        kova3.setValue(QStringLiteral("Volume factor"), rounded(record->System.Volume_factor, 1e5));
    }
    kova3.endGroup();
    kova3.setValue(QStringLiteral("Cell counting/Skip frame"), record->nSkip_frame);
}

void writeVersion(QSettings& kova3, const QString& version)
{
    kova3.setValue(QStringLiteral("Software/Version QC"), version);
}

}  // namespace verifier
