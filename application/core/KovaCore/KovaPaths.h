#pragma once

// Logical paths of the application's own files; map them with
// platform::rootPath where they touch the file system.
namespace kova {

inline constexpr char kInstallDir[] = "/opt/KOVA3";
inline constexpr char kMainIni[] = "/opt/KOVA3/conf/KOVA3.ini";
inline constexpr char kCalibrationCusIni[] = "/opt/KOVA3/conf/Calibration_CUS.ini";
inline constexpr char kCalibrationBfnIni[] = "/opt/KOVA3/conf/Calibration_BFN.ini";
inline constexpr char kAutoExposureIni[] = "/opt/KOVA3/conf/AutoExposure.ini";
inline constexpr char kProtocolDir[] = "/opt/KOVA3/conf/PROTOCOL";
// The hand-over flag for the system's start-up script.
inline constexpr char kShellIni[] = "/opt/KOVA3/conf/KovaShell.ini";

}  // namespace kova
