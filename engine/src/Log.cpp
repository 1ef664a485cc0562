#include "velimbio/Log.h"

#include <utility>

namespace VelimBio {

namespace {
LogHandler& handler()
{
    static LogHandler instance;
    return instance;
}
}  // namespace

void setLogHandler(LogHandler h)
{
    handler() = std::move(h);
}

void log(const std::string& line)
{
    if (handler())
        handler()(line);
}

void logValue(const std::string& name, const std::string& value)
{
    log("---------------------> " + name + " : " + value);
}

}  // namespace VelimBio
