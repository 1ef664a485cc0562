#pragma once

#include <functional>
#include <string>

namespace VelimBio {

// The engine has no logging of its own: the application binds a handler that
// forwards the lines to its log. Without one, nothing is written.
using LogHandler = std::function<void(const std::string&)>;

void setLogHandler(LogHandler handler);

// Writes one line through the bound handler, if any.
void log(const std::string& line);

// "---------------------> name : value", the system's value line.
void logValue(const std::string& name, const std::string& value);

}  // namespace VelimBio
