#pragma once

#include <QString>
#include <QtGlobal>

// File-system statistics of the medium that holds a path (statvfs).
//
// Under a simulated root a medium cannot really be filled, so a table file at
// the logical path kSimulatedDiskSpaceTable may stand in: one line per folder,
//     <block size> <blocks> <free blocks> <available blocks> <physical folder>
// (decimal numbers, one blank between fields, the folder last so it may hold
// blanks). A path whose canonical physical form lies in a listed folder gets
// that folder's figures (the longest folder wins); every other path gets the
// real statvfs answer. The real instrument never reads the table.
namespace platform {

struct DiskSpace
{
    quint64 blockSize = 0;        // f_frsize
    quint64 blocks = 0;           // f_blocks
    quint64 freeBlocks = 0;       // f_bfree, including the superuser's reserve
    quint64 availableBlocks = 0;  // f_bavail
};

inline constexpr char kSimulatedDiskSpaceTable[] = "/run/kova-sim/statvfs";

// Statistics of the file system holding `logicalPath` (mapped under the root);
// false when they cannot be read (e.g. the path does not exist).
bool diskSpace(const QString& logicalPath, DiskSpace& space);

// Lists `physicalFolder` in the table of the current (simulated) root, replacing
// an earlier line for the same folder. False on the real instrument or when the
// table cannot be written.
bool setSimulatedDiskSpace(const QString& physicalFolder, const DiskSpace& space);

}  // namespace platform
