// The verifier's settings as any bytes: the main settings file read as the
// verifier reads it, then written back as its stage and QC tabs save it.
#include "FuzzSupport.h"

#include "Settings/VerifierSettings.h"
#include "KovaCore/GlobalIni.h"

#include <QSettings>

#include <algorithm>
#include <iterator>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    std::copy(std::begin(kSensorRegisters), std::end(kSensorRegisters), g_RegIdx);
    QSettings kova3(fuzz::writeFile(QStringLiteral("/fuzz/KOVA3.ini"), fuzz::bytes(data, size)),
                    QSettings::IniFormat);
    verifier::readSettings(kova3);
    QString file;
    verifier::writeStageSettings(kova3, &file);
    verifier::writeQcSettings(kova3, 0, 0);
    return 0;
}
