#pragma once

// Protocol files: one INI file per protocol under "/opt/KOVA3/conf/PROTOCOL",
// in "TOTAL_CELL_COUNTING" (type 0) or "CELL_COUNTING_VIABILITY" (any other
// type). The path, writer and reader operations are members of KovaCoreApp
// (KovaCore/KovaCoreApp.h); here are the built-in names and the start-up
// step that writes their files.

#include <QStringList>

// The folder of a counting mode's protocol files (logical).
QString protocol_folder(int type);

// The names of the built-in protocols of a counting mode in the order the
// protocol list shows them: "DEFAULT" and "PBMC", and in the viability mode
// (any type but 0) the seven cell lines after them. No user protocol takes
// one of them.
QStringList builtin_protocol_names(int type);

// (Re)writes the eleven built-in protocol files from their tables, creating the
// folders as needed. Keys added to a built-in file by hand stay; the table's
// keys get their table values back. True when every file was written.
bool Init_local_protocol();
