#pragma once

#include <QString>

class QSettings;

// The verifier's settings record and its files. The camera register tables
// and the LED level stay in the application's record (::global_ini()), which
// the camera reads on every open; this record holds the rest.
//
// Files (logical paths): the main settings file "/opt/KOVA3/conf/KOVA3.ini"
// (handed in as a QSettings in INI format), the stage file
// "/root/Kova2/Kova2.ini" and the register files Calibration_CUS.ini (TB) and
// Calibration_BFN.ini (NTB).
namespace verifier {

inline constexpr char kStageIni[] = "/root/Kova2/Kova2.ini";

struct SystemValues
{
    double Magnification = 0.0;
    double Volume_factor = 0.0;
};

struct global_ini_s
{
    int nZ_step = 0;
    int nZ_speed = 0;
    int nZ_reference = 0;  // motor steps
    SystemValues System;
    bool bZig_mode = false;  // the handshake waits for Connect; Exit sends nothing
    int nSkip_frame = 0;
    QString serial;  // "KOVA-III/Serial" as read
};

// The one record; never null.
global_ini_s* global_ini();

// Fills the record, the application's register tables (CUS, BFN) and LED
// level from the files; missing files and keys give the defaults. g_RegIdx
// must hold the register order.
void readSettings(QSettings& kova3);

// The values each tab's Save writes. Each returns false at the first file
// that cannot be written, with its logical path in `file`; `kova3` is only
// set here (its file is written when it is synced).
//  - stage: Kova2.ini "Z stage" Step and Speed; KOVA3.ini "Calibration": the
//    reference as "Z reference", "Z reset pos", "Z ref Validation", + 2560 as
//    "Z ref 2ch", + 5120 as "Z ref Reusable".
bool writeStageSettings(QSettings& kova3, QString* file);
//  - camera: the 30 registers of each register file, then "Ch. BF/LED".
bool writeCameraSettings(QSettings& kova3, QString* file);
//  - QC: the serial "KO3-%02d-%05d"; magnification (4 decimals) and volume
//    factor (5 decimals) only when both are finite and not 0; the skip frame.
void writeQcSettings(QSettings& kova3, int serialMidfix, int serialSuffix);
// Every save ends with the verifier's version.
void writeVersion(QSettings& kova3, const QString& version);

// Text read as a signed decimal integer up to its first non-digit: "12ab"
// is 12, "abc" 0.
int leadingInteger(const QString& text);

}  // namespace verifier
