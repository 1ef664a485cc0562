#pragma once

#include <QString>

#include <cstdint>
#include <string>

// The writers of the camera register files (Calibration_BFN.ini,
// Calibration_CUS.ini, AutoExposure.ini): groups "VGA", "1280" and "5M",
// keys "0x%04X" of the register, values "0x%02X" of one byte, a 16-bit
// quantity as its high byte under its register and its low byte under the
// next. Each key is one checked ini_write; keys not named keep their values.
// False, with the reason in `error`, at the first write that fails.
namespace calibration {

// Exposure and sensor gain (always 0) of all three groups, the 1280 × 960
// exposure also in "VGA"; then the calibration is stamped: theApp's header
// clock text becomes "Last calibration", in theApp and in KOVA3.ini.
bool saveRegisterValue(std::uint16_t exposure1280, std::uint16_t exposure5M, const std::string& file,
                       QString* error = nullptr);

// The colour gains of all three groups: red fixed at 0x0500, green and blue.
bool saveGainParam(std::uint16_t greenGain, std::uint16_t blueGain, const std::string& file,
                   QString* error = nullptr);

}  // namespace calibration
