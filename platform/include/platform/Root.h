#pragma once

#include <QString>
#include <string>

// The instrument root: every fixed system path ("/opt/KOVA3/...", "/mnt",
// "/dev/ttyS2", ...) is kept logical in the code and mapped here, where it
// touches the file system. KOVA3_ROOT unset or "/" is the real instrument;
// any other value is a folder standing for "/".
namespace platform {

// The root folder without a trailing slash; "/" for the real instrument.
QString instrumentRoot();

// True when the root is "/", i.e. the real devices may be opened.
bool isRealInstrument();

// Maps a logical path under the root. The path is cleaned first and a
// relative one counts from the logical "/", so neither ".." nor a relative
// path leads out of the root. A path that already lies under the root comes
// back cleaned but otherwise unchanged, so mapping twice is safe. With the
// root "/" (and for an empty path) the path is returned as it is.
QString rootPath(const QString& logicalPath);
std::string rootPath(const std::string& logicalPath);

// The logical form of a path under the root (what rootPath maps to it),
// cleaned; the root itself is "/". A path outside the root comes back cleaned
// but otherwise unchanged; with the root "/" the path is returned as it is.
QString logicalPath(const QString& physicalPath);

}  // namespace platform
