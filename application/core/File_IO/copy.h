#pragma once

// Copies the file `source` to `target` (logical paths, mapped under the
// instrument root) byte for byte and forces it to the medium before it
// reports success, which matters for sticks that are pulled soon after.
// An existing target is truncated once the source is open (a source that
// cannot be opened leaves it as it was); a target that is the source itself
// (the same file under any name or link) is refused and left as it was.
// Returns 0 on success, -1 on any failure (open, read, short or failed write,
// fsync, source as target); a target created before the failure stays behind.
int copy(char const* source, char const* target);

// Prints the usage line of a command-line form of the copy.
void usage(char* program);
