#pragma once

// Protocol files: one INI file per protocol under "/opt/KOVA3/conf/PROTOCOL",
// in "TOTAL_CELL_COUNTING" (type 0) or "CELL_COUNTING_VIABILITY" (any other
// type). The path, writer and reader operations are members of KovaCoreApp
// (KovaCore/KovaCoreApp.h); this is the start-up step that uses them.

// (Re)writes the eleven built-in protocol files from their tables, creating the
// folders as needed. Keys added to a built-in file by hand stay; the table's
// keys get their table values back. True when every file was written.
bool Init_local_protocol();
