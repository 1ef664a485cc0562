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

}  // namespace fuzz

// A property every input must keep: when it does not, the input is a finding
// like a crash (libFuzzer keeps it), with the condition in the log.
#define FUZZ_CHECK(condition)                                                   \
    do {                                                                        \
        if (!(condition))                                                       \
            fuzz::fail(#condition, __FILE__, __LINE__);                         \
    } while (false)

namespace fuzz {
[[noreturn]] void fail(const char* condition, const char* file, int line);
}  // namespace fuzz
