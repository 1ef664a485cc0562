#pragma once

// Copies the file `source` to `target` (logical paths, mapped under the
// instrument root) byte for byte and forces it to the medium before it
// reports success, which matters for sticks that are pulled soon after.
// The bytes go to a part file beside the target that takes the target's
// place only once complete (File_IO/PartFile.h): a failed copy leaves no cut
// file under the target's name and keeps a file that was there; a file or
// link standing at the target is replaced, never written through. A target
// that is the source itself (the same file under any name or link) is
// refused and left as it was.
// Returns 0 on success, -1 on any failure with errno telling why (ENOSPC a
// full medium, ENOENT from a missing folder or source, EFBIG a file-size
// limit, EINVAL the source as target, ...).
int copy(char const* source, char const* target);

// Prints the usage line of a command-line form of the copy.
void usage(char* program);
