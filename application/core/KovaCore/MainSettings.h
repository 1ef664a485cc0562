#pragma once

#include <QString>

class QSettings;

// The main settings file "/opt/KOVA3/conf/KOVA3.ini" and what it loads into
// theApp and global_ini(): the settings themselves, the three camera register
// files and the two loaded protocols. The home screen owns the moments (start-up,
// power-off, settings button) and calls these with a QSettings object in INI
// format on the mapped path.
namespace MainSettings {

// The home screen's idle count that read_INI resets.
struct IdleMinutes
{
    int limit = 0;  // auto shutdown hours × 60
    int count = 0;
};

// Writes the first-creation values. False when the file could not be written.
bool create_INI(QSettings& s);

// Loads everything into theApp and global_ini(); `idle` gets the new limit and
// a zero count. Missing keys and files give the built-in defaults; a protocol
// that is missing (or whose name cannot be a file of the protocol folder:
// empty, "..", with "/" or NUL) loads as "DEFAULT".
void read_INI(QSettings& s, IdleMinutes& idle);

// Writes the current values back and syncs. False, with nothing changed,
// when `s` is not writable, and false when the write failed. A file with
// malformed lines is rewritten clean, and that is a success.
bool update_INI(QSettings& s);

// update_INI on the file at `logicalPath` (the main settings file by default).
bool before_loseINI(const QString& logicalPath = QString());

// Loads the two protocols named in theApp into its loaded records. With
// `fallBackWhenMissing`, a name whose file does not exist becomes "DEFAULT"
// (start-up); without it the name stays and the DEFAULT values load (factory
// reset). A name that is not a file of the protocol folder is never used in
// a path.
void loadProtocols(bool fallBackWhenMissing);

// Reads the three camera register files into global_ini()'s register tables
// (columns in the order of kSensorRegisters, which g_RegIdx is set to) and
// builds theApp's background value "BFN, CUS" from their exposure texts.
void loadCalibrationFiles();

// Reloads one row (register_row_e) of one register table (register_table_e)
// of global_ini() from its file, in the column order of g_RegIdx; a missing
// key reads as 0.
void readRegisterRow(int table, int row);
// Writes one row of one register table into its file (one write for its
// ten keys), each value as "0x%02X" (two hexadecimal digits at least); false
// when it fails, with the file's logical path in `error`.
bool writeRegisterRow(int table, int row, QString* error = nullptr);

// The exposure registers (0x3501, 0x3502 of "1280") of a calibration file as
// one hexadecimal text: "0x01" and "0x2A" give "0x012A"; "" when missing.
QString exposureText(const char* file);

}  // namespace MainSettings
