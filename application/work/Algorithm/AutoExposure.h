#pragma once

#include <QString>

#include <functional>
#include <optional>

// Automatic exposure: finds the sensor exposure (register pair 0x3501/0x3502)
// at which the live picture's green mean is 150, within 200 … 4000, and keeps
// the result for the full-resolution capture in "AutoExposure.ini".
namespace AutoExposure {

inline constexpr int kTargetGreen = 150;
inline constexpr int kBandLow = 145;
inline constexpr int kBandHigh = 155;
inline constexpr int kMinExposure = 200;
inline constexpr int kMaxExposure = 4000;
inline constexpr int kStep = 100;
// The full-resolution exposure as a share of the 1280 × 960 one.
inline constexpr double kFullResolutionShare = 0.26;

// What the search needs of the camera: the green mean of a picture taken at
// the exposure last written (0 … 255; none when the camera gave no new
// picture), and the exposure register.
struct Camera
{
    std::function<std::optional<int>()> measureGreen;
    std::function<unsigned short()> readExposure;
    std::function<void(unsigned short)> writeExposure;
};

struct Result
{
    enum class Outcome {
        Converged,           // the picture's green lies in the band at `exposure`
        BlackPicture,        // the first picture was black: nothing changed
        EstimateOutOfRange,  // the first estimate left 200 … 4000: nothing changed
        OutOfBand,           // `exposure` is written, but its green lies outside the band
        CameraStalled,       // the camera gave no new picture: the exposure found at the start is back
    };
    Outcome outcome = Outcome::BlackPicture;
    unsigned short exposure = 0;  // the exposure written last (0 when none)
    int green = 0;                // its picture's green mean
    int measurements = 0;
};

// The search: a first estimate in proportion to the green mean, then steps of
// 100 toward the target until the green crosses it, then the interpolation
// between the last two steps, written and measured once more. A step that
// does not change the green (at the end of the range) keeps its exposure
// rather than divide by nothing. A measurement without a new picture ends
// the search at once: a stale picture would pass for any exposure.
Result search(const Camera& camera);

// Keeps `exposure` (1280 × 960) and its full-resolution share in the groups
// "1280" and "5M" of "/opt/KOVA3/conf/AutoExposure.ini", made from
// "Calibration_CUS.ini" when missing, and reloads those rows of the
// auto-exposure register table. False, with the reason, when a step failed.
bool save(unsigned short exposure, QString* error = nullptr);

}  // namespace AutoExposure
