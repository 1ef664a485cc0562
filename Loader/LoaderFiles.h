#pragma once

// The launcher's fixed logical paths and settings keys; mapped under the
// instrument root (platform::rootPath) where they touch the file system.
namespace loader {

inline constexpr char kBinFolder[] = "/opt/KOVA3/bin";
inline constexpr char kSettingsFile[] = "/opt/KOVA3/conf/KOVA3.ini";
inline constexpr char kMountPoint[] = "/mnt";
inline constexpr char kDisplayLayer[] = "/sys/module/disp/parameters/disp_layer_protect";

// The serial number of an instrument whose settings do not name one; it is
// also the service password then.
inline constexpr char kDefaultSerial[] = "KO3-00-00000";

inline constexpr char kRunModeKey[] = "KOVA-III/RunMode";
inline constexpr char kRunModeApp[] = "App";  // start the main program at once
inline constexpr char kRunModeQC[] = "QC";    // show the panel

}  // namespace loader
