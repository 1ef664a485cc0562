#pragma once

#include <QSaveFile>

namespace platform {

// Opens `file` for writing (with `extra` modes, e.g. QIODevice::Text) so that
// its commit() tells a write that failed, on a full disk above all: Qt 5's
// buffered QSaveFile writes what its buffer still holds when it commits,
// misses that write's error and puts the cut file in place.
inline bool openSaveFile(QSaveFile& file, QIODevice::OpenMode extra = QIODevice::NotOpen)
{
    return file.open(QIODevice::WriteOnly | QIODevice::Unbuffered | extra);
}

}  // namespace platform
