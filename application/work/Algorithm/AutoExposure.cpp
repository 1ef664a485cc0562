#include "Algorithm/AutoExposure.h"

#include "File_IO/copy.h"
#include "File_IO/ini.h"
#include "KovaCore/GlobalIni.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"

#include "platform/Log.h"
#include "platform/Root.h"

#include <QFile>

#include <algorithm>
#include <cmath>

namespace AutoExposure {

namespace {

bool inBand(int green)
{
    return green >= kBandLow && green <= kBandHigh;
}

bool inRange(long exposure)
{
    return exposure >= kMinExposure && exposure <= kMaxExposure;
}

// Halves away from zero, in single precision, kept to the range.
unsigned short rounded(float exposure)
{
    const long value = std::lround(exposure);
    return static_cast<unsigned short>(std::clamp<long>(value, kMinExposure, kMaxExposure));
}

QString hexByte(unsigned value)
{
    return QString::asprintf("0x%02X", value & 0xFF);
}

bool fail(QString* error, const QString& reason)
{
    KLOG << "[Error]" << reason;
    if (error)
        *error = reason;
    return false;
}

}  // namespace

Result search(const Camera& camera)
{
    Result result;
    unsigned short e0 = 0;
    // One measurement, after writing `exposure` when one is given; false when
    // the camera gave no new picture.
    const auto measure = [&](std::optional<unsigned short> exposure = std::nullopt) {
        if (exposure) {
            camera.writeExposure(*exposure);
            result.exposure = *exposure;
        }
        const std::optional<int> green = camera.measureGreen();
        ++result.measurements;
        if (!green)
            return false;
        result.green = *green;
        if (exposure)
            KLOG << "auto exposure" << *exposure << "green" << result.green;
        return true;
    };
    // Ends the search: the live picture goes back to the exposure it had.
    const auto stalled = [&] {
        KLOG << "[Error] auto exposure: no new picture after" << result.measurements << "measurements";
        if (result.exposure != 0 && result.exposure != e0) {
            camera.writeExposure(e0);
            result.exposure = e0;
        }
        result.outcome = Result::Outcome::CameraStalled;
        return result;
    };

    if (!measure())
        return stalled();
    const int g0 = result.green;
    e0 = camera.readExposure();
    if (g0 == 0) {
        result.outcome = Result::Outcome::BlackPicture;
        return result;
    }
    const long e1 = std::lround(float(e0) * float(kTargetGreen) / float(g0));
    if (!inRange(e1)) {
        result.outcome = Result::Outcome::EstimateOutOfRange;
        return result;
    }

    unsigned short exposure = static_cast<unsigned short>(e1);
    if (!measure(exposure))
        return stalled();
    const int g1 = result.green;
    if (!inBand(g1)) {
        const int step = g1 < kBandLow ? kStep : -kStep;
        int previous = exposure;
        int previousGreen = g1;
        int next = previous;
        int nextGreen = previousGreen;
        for (;;) {
            next = previous + step;
            // Beyond the range the register still takes it for one picture.
            if (!measure(static_cast<unsigned short>(next)))
                return stalled();
            nextGreen = result.green;
            const bool crossed = step < 0 ? nextGreen < kTargetGreen : nextGreen > kTargetGreen;
            if (crossed || !inRange(next))
                break;
            previous = next;
            previousGreen = nextGreen;
        }
        exposure = nextGreen == previousGreen
                       ? rounded(float(next))
                       : rounded(float(kTargetGreen - previousGreen) * float(next - previous)
                                     / float(nextGreen - previousGreen)
                                 + float(previous));
    }
    if (!measure(exposure))
        return stalled();
    result.outcome = inBand(result.green) ? Result::Outcome::Converged : Result::Outcome::OutOfBand;
    return result;
}

bool save(unsigned short exposure, QString* error)
{
    const unsigned fullResolution = static_cast<unsigned>(exposure * kFullResolutionShare) & 0xFFFF;
    const std::string file = kova::kAutoExposureIni;
    if (!QFile::exists(platform::rootPath(QString::fromLatin1(kova::kAutoExposureIni)))
        && copy(kova::kCalibrationCusIni, kova::kAutoExposureIni) != 0)
        return fail(error, QStringLiteral("cannot make %1 from %2").arg(kova::kAutoExposureIni, kova::kCalibrationCusIni));
    const struct
    {
        const char* group;
        unsigned value;
    } rows[] = {{"1280", exposure}, {"5M", fullResolution}};
    for (const auto& row : rows) {
        if (!ini_write(row.group, "0x3501", hexByte(row.value >> 8).toStdString(), file)
            || !ini_write(row.group, "0x3502", hexByte(row.value).toStdString(), file))
            return fail(error, QStringLiteral("cannot write the exposure to %1").arg(kova::kAutoExposureIni));
    }
    MainSettings::readRegisterRow(REG_TABLE_AUTO_EXPOSURE, REG_ROW_1280);
    MainSettings::readRegisterRow(REG_TABLE_AUTO_EXPOSURE, REG_ROW_5M);
    return true;
}

}  // namespace AutoExposure
