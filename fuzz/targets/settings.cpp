// The main settings file as any bytes, read at start-up: every value that
// reaches the hardware or a timer must come out within its meaning.
#include "FuzzSupport.h"

#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/MainSettings.h"
#include "KovaCore/ProtocolFiles.h"
#include "platform/Root.h"

#include <QSettings>

#include <cmath>

namespace {

bool isStagePosition(int steps)
{
    return steps >= 0 && steps <= 64000;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::setUp();
    static const bool protocolsWritten = Init_local_protocol();
    FUZZ_CHECK(protocolsWritten);

    const QString path = QStringLiteral("/fuzz/input.ini");
    {
        QSettings settings(fuzz::writeFile(path, fuzz::bytes(data, size)), QSettings::IniFormat);
        MainSettings::IdleMinutes idle;
        MainSettings::read_INI(settings, idle);
        FUZZ_CHECK(idle.limit >= 60);
    }

    const KovaCoreApp& app = theApp;
    FUZZ_CHECK(global_ini()->LED >= 0 && global_ini()->LED <= 255);
    FUZZ_CHECK(app.m_nAutoShutdownTime >= 1);
    FUZZ_CHECK(app.m_CountingMode == BF_TOTAL_CELL_COUNTING || app.m_CountingMode == BF_CELL_COUNTING_VIABILITY);
    for (int position : {app.m_Calibration.Z_Reference, app.m_Calibration.Z_ResetPosition, app.m_nZstageCenterPos})
        FUZZ_CHECK(isStagePosition(position));
    for (double factor : {app.m_fLensMagnification, app.m_fVolumeFactor, app.m_fSlope})
        FUZZ_CHECK(std::isfinite(factor) && factor > 0);
    FUZZ_CHECK(std::isfinite(app.m_fIntercept));
    FUZZ_CHECK(app.m_nSlideType == SLIDE_TYPE_2CH || app.m_nSlideType == SLIDE_TYPE_REUSABLE
               || app.m_nSlideType == SLIDE_TYPE_VALIDATION);
    // What names every automatic save: as the settings page could have set it.
    const SaveReview_s& save = app.m_SaveReview;
    FUZZ_CHECK(save.m_strSuffixType == QLatin1String(SaveReview_s::kSequence)
               || save.m_strSuffixType == QLatin1String(SaveReview_s::kTimeStamp));
    FUZZ_CHECK(SaveReview_s::isUsableBaseName(save.m_strBaseName));
    return 0;
}
