// Single keys read from any INI file, and the camera register rows and the
// exposure text read from any calibration file through them.
#include "FuzzSupport.h"

#include "File_IO/ini.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    FuzzedDataProvider input(data, size);
    const std::string section = input.ConsumeRandomLengthString(16);
    const std::string key = input.ConsumeRandomLengthString(16);
    const QByteArray file = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    const QString path = QStringLiteral("/fuzz/input.ini");
    fuzz::writeFile(path, file);
    std::string value;
    ini_read(section, key, "default", value, path.toStdString());

    fuzz::writeFile(QString::fromLatin1(kova::kCalibrationCusIni), file);
    std::copy(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx);
    for (int row = REG_ROW_VGA; row <= REG_ROW_5M; ++row)
        MainSettings::readRegisterRow(REG_TABLE_CUS, row);
    MainSettings::exposureText(kova::kCalibrationCusIni);
    return 0;
}
