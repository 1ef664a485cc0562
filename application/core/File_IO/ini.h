#pragma once

#include <string>
#include <utility>
#include <vector>

class QSettings;

// Writes `settings` to its file; true when the file now holds them. A settings
// object that met malformed lines in its file keeps reporting that for good,
// even after it rewrote the file clean: the file is then read back instead.
bool syncSettings(QSettings& settings);

// Single keys of an INI file by path, for code that works with byte strings.
// Paths are logical ("/opt/KOVA3/conf/KOVA3.ini") and mapped under the
// instrument root. Each call opens its own settings object; nothing is cached.

// Reads `key` of group `section`. A list value comes back joined with ", ".
// Returns 1 and sets `out` when the key holds a non-empty value; otherwise
// sets `out` to `defaultValue` and returns 0.
int ini_read(std::string section, std::string key, std::string defaultValue, std::string& out,
             std::string path);

// Writes `key` of group `section`, then rewrites the file with every "%20"
// turned into a blank (Latin-1), through a temporary file and a rename so a
// power loss never leaves an empty settings file. Writes from several threads
// take turns. False when either step failed.
bool ini_write(std::string section, std::string key, std::string value, std::string path);
// The same for several keys of one group, in one write and one rewrite.
bool ini_write(const std::string& section, const std::vector<std::pair<std::string, std::string>>& values,
               const std::string& path);
