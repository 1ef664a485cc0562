#include "Calibration/RegisterFiles.h"

#include "Calibration/CalibrationMath.h"
#include "File_IO/ini.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"

#include <QString>

#include <initializer_list>
#include <utility>

namespace calibration {

namespace {

constexpr std::uint16_t kRedGain = 0x0500;
const char* const kGroups[] = {"VGA", "1280", "5M"};

std::string key(std::uint16_t reg)
{
    return QString::asprintf("0x%04X", reg).toStdString();
}

// Writes the 16-bit values of `registers` (high byte at the register, low at
// the next) into `group`.
bool writePairs(const std::string& file, const char* group,
                std::initializer_list<std::pair<std::uint16_t, std::uint16_t>> registers, QString* error)
{
    for (const auto& [reg, value] : registers) {
        const std::pair<std::uint16_t, std::uint8_t> bytes[] = {{reg, value >> 8}, {reg + 1, value & 0xFF}};
        for (const auto& [address, byte] : bytes) {
            if (!ini_write(group, key(address), hexByte(byte), file)) {
                if (error)
                    *error = QStringLiteral("cannot write %1 of [%2] in %3")
                                 .arg(QString::fromStdString(key(address)), QLatin1String(group),
                                      QString::fromStdString(file));
                return false;
            }
        }
    }
    return true;
}

}  // namespace

bool saveRegisterValue(std::uint16_t exposure1280, std::uint16_t exposure5M, const std::string& file, QString* error)
{
    for (const char* group : kGroups) {
        const std::uint16_t exposure = qstrcmp(group, "5M") == 0 ? exposure5M : exposure1280;
        if (!writePairs(file, group, {{0x350A, 0}, {0x3501, exposure}}, error))
            return false;
    }
    const QString stamp = theApp.m_strDateTime;
    if (!ini_write("Calibration", "Last calibration", stamp.toStdString(), kova::kMainIni)) {
        if (error)
            *error = QStringLiteral("cannot stamp the calibration in %1").arg(QLatin1String(kova::kMainIni));
        return false;
    }
    theApp.m_Calibration.Last_calibration = stamp;
    return true;
}

bool saveGainParam(std::uint16_t greenGain, std::uint16_t blueGain, const std::string& file, QString* error)
{
    for (const char* group : kGroups) {
        if (!writePairs(file, group, {{0x3400, kRedGain}, {0x3402, greenGain}, {0x3404, blueGain}}, error))
            return false;
    }
    return true;
}

}  // namespace calibration
