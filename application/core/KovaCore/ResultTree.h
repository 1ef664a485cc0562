#pragma once

#include <QString>

// The result tree ("/KOVA/anonymous/<mode folder>/<result>") and the
// previous-counts tables: a master of each counting mode in the installation's
// log folder (header, then oldest row first) and its copy in the mode folder
// (newest row first) that the review screen reads. Paths are logical.
namespace ResultTree {

inline constexpr char kStickMount[] = "/mnt";
inline constexpr int kPreviousCountLines = 1001;  // the header and 1000 rows

// "/KOVA/anonymous/TOTAL_CELL_COUNTING" for mode 0, ".../CELL_COUNTING_VIABILITY"
// for any other mode.
QString modeFolder(int mode);
// The header line of a mode's previous-counts table.
const char* previousCountHeader(int mode);
// The master table and its copy in the result tree.
QString previousCountMaster(int mode);
QString previousCountCopy(int mode);

// Rewrites the copy of a mode from its master, newest row first, and forces it
// to the medium. False, with no copy left, when the master cannot be read or
// the copy not written.
bool refreshPreviousCountCopy(int mode);

}  // namespace ResultTree
