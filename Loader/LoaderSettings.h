#pragma once

#include <QString>
#include <QVariant>

// The launcher's access to the main settings file "/opt/KOVA3/conf/KOVA3.ini"
// (INI format; the file as a whole belongs to the main program). Each call
// opens the file afresh, so the launcher always sees what a child wrote.
namespace loader {

// The value of "group/key", or `defaultValue` when the file or key is missing.
QVariant readSetting(const QString& key, const QVariant& defaultValue);

// Writes the run mode and syncs it to the disk before returning; a failed
// write is logged and returns false. A run mode the file already holds is
// not written again (the file is the main program's, on flash).
bool writeRunMode(const QString& mode);

}  // namespace loader
