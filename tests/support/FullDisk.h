#pragma once

#include <functional>

// Runs `job` in a fresh process whose files cannot grow past `limitBytes`
// (writes beyond fail with EFBIG, as on a full medium) and returns what the
// job returned. A child that crashes or hangs is a test failure, never a
// quiet "false" that a full-disk test would take for success.
//
// The process is this test program started again (exec, never a fork of a
// process whose thread pools are running) with only the current test, on the
// same instrument root: the test runs in it up to this call (earlier calls
// answer as they did here, without running their jobs), so what comes before
// the call must be repeatable; then the job runs and the process ends.
bool runOnFullDisk(long limitBytes, const std::function<bool()>& job);
