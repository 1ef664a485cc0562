#pragma once

// The launcher's fixed logical paths and settings keys; mapped under the
// instrument root (platform::rootPath) where they touch the file system.
namespace loader {

inline constexpr char kBinFolder[] = "/opt/KOVA3/bin";
inline constexpr char kSettingsFile[] = "/opt/KOVA3/conf/KOVA3.ini";
inline constexpr char kMountPoint[] = "/mnt";
inline constexpr char kDisplayLayer[] = "/sys/module/disp/parameters/disp_layer_protect";

inline constexpr char kRunModeKey[] = "KOVA-III/RunMode";
inline constexpr char kRunModeApp[] = "App";  // start the main program at once
inline constexpr char kRunModeQC[] = "QC";    // show the panel

}  // namespace loader
