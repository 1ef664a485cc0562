#pragma once

#include <QSaveFile>

#include <functional>

namespace platform {

// Where a test reaches the moment a file written whole is put in place: a
// save file's commit (openSaveFile) and a part file's sync and rename
// (File_IO's PartFile). `atCommit` gets the physical path of the file about
// to be put in place, after its content was written; a test pulls the stick
// there. Unset in the programs.
struct SaveFileSeams
{
    std::function<void(const QString& target)> atCommit;
    // Stands in for the part file's sync to the medium (fsync): gets the
    // physical target and returns the error (errno) the sync fails with, 0
    // to let it run; a test fails it there.
    std::function<int(const QString& target)> atSync;
};

inline SaveFileSeams& saveFileSeams()
{
    static SaveFileSeams seams;
    return seams;
}

// Opens `file` for writing (with `extra` modes, e.g. QIODevice::Text) so that
// its commit() tells a write that failed, on a full disk above all: Qt 5's
// buffered QSaveFile writes what its buffer still holds when it commits,
// misses that write's error and puts the cut file in place.
//
// Qt's save file writes through a link standing at its name (to wherever the
// link points): never use it for a file on the USB stick (PartFile is for that).
inline bool openSaveFile(QSaveFile& file, QIODevice::OpenMode extra = QIODevice::NotOpen)
{
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered | extra))
        return false;
    // A commit closes the file before it renames it.
    if (saveFileSeams().atCommit)
        QObject::connect(&file, &QIODevice::aboutToClose, &file, [&file] {
            if (saveFileSeams().atCommit)
                saveFileSeams().atCommit(file.fileName());
        });
    return true;
}

}  // namespace platform
