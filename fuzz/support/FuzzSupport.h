#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// What the fuzz targets share. Each target is a libFuzzer program: it defines
// LLVMFuzzerTestOneInput and calls the parser the programs use on the input.
namespace fuzz {

// Once per process, and again at no cost: every Qt log category silenced (the
// parsers log what they refuse, which would drown the fuzzer's own output), a
// private instrument root (KOVA3_ROOT) removed at exit, and an application
// object for the code that needs one.
void setUp();

// The input bytes, copied (Qt's containers do not keep foreign memory alive).
QByteArray bytes(const uint8_t* data, size_t size);

// Writes `contents` to `logicalPath` under the root, making its folders; the
// mapped path. The file gets a modification time of its own, later than any
// before, so a reader that caches by path and time (QSettings does) always
// reads what was just written.
QString writeFile(const QString& logicalPath, const QByteArray& contents);

// A logical path not used before in this process, in the folder "/fuzz", with
// the given suffix: for readers that take any path.
QString freshPath(const QString& suffix);

// Removes a file written under the root (logical path).
void removeFile(const QString& logicalPath);

}  // namespace fuzz
