#pragma once

#include <QString>

#include <functional>

// Runs `job` in a fresh process (runInFreshProcess, FreshProcess.h) whose
// files cannot grow past `limitBytes` (writes beyond fail with EFBIG, as on a
// full medium) and returns what the job returned.
bool runOnFullDisk(long limitBytes, const std::function<bool()>& job);

// A medium that really fills up, as a stick does: writes past it fail with
// ENOSPC (a file-size limit gives EFBIG instead, which is no full medium).
//
// Call it first in a test: `if (!onSmallMedium(folder, bytes)) return;`.
// It runs the current test again in a fresh process (this test program,
// only this test, on the same root) in which the physical folder `folder`
// (made when missing) is a file system of `bytes` of its own: a tmpfs in a
// private user and mount namespace (`unshare -rm`), which the programs that
// test starts see too, and which vanishes with that process, so the test
// looks at what it holds itself. There the call returns true and the test
// goes on; here it waits for that run, adds its failures (with its output)
// to this test and returns false. A kernel that refuses the namespace skips
// the test, saying so.
bool onSmallMedium(const QString& folder, long bytes);
