#pragma once

#include <string>

// One value of a plain settings file of "[section]" headers and "key=value"
// lines, without Qt, for service code. Names and values are taken exactly
// (no trimming, case-sensitive); lines starting with ";" are comments, empty
// lines are skipped. Outside the wanted section every "[" starts a header.
// The file name is a logical path, mapped under the instrument root.

// 1 with `result` holding the value when `key` stands in `section`; else 0
// with `result` set to `defaultValue` (also when the file cannot be read).
int ReadPrivateProfileString(const std::string& section, const std::string& key, const std::string& defaultValue,
                             std::string& result, const std::string& fileName);

// Sets `key` in `section` to `value`: replaces its value in place, or adds
// the line at the end of the section (creating the section, and the file,
// when missing). The file is replaced through a temporary file, so a failure
// (false) leaves it as it was.
bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& fileName);
