#pragma once

#include <QString>

// Files written whole or not at all: the content goes to a part file beside
// the target (physical paths), which replaces the target only once it was
// written completely, so a failed write (a full disk) keeps the old file.

// "<target>.part".
QString partPath(const QString& target);

// Renames `part` over `target` (one step on one file system); false, with the
// part removed and the target as it was, when that fails.
bool commitPart(const QString& part, const QString& target);
