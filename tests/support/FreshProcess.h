#pragma once

#include <QProcessEnvironment>
#include <QStringList>

#include <functional>

// Runs `job` in a fresh process, after `limit` has set that process's limits,
// and returns what the job returned. A child that crashes or hangs is a test
// failure, never a quiet "false" that a test of a limit would take for success.
//
// The process is this test program started again (exec, never a fork of a
// process whose thread pools are running) with only the current test, on the
// same instrument root: the test runs in it up to this call (earlier calls
// answer as they did here, without running their jobs), so what comes before
// the call must be repeatable; then the job runs and the process ends.
bool runInFreshProcess(const std::function<void()>& limit, const std::function<bool()>& job);

// `job` in a fresh process whose address space may grow by `roomBytes` past
// what it has mapped when the job starts (Qt and the test are loaded by then;
// the room is for the job's threads and allocations): beyond, an allocation
// fails as when the memory is exhausted, so a job that does not keep its
// memory bounded crashes the child, a test failure.
bool runWithAddressSpaceRoom(long roomBytes, const std::function<bool()>& job);

// The pieces a fresh process is made of: this test program again with only
// the current test, and an environment in which it keeps this test's root.
QStringList thisTestAgain();
QProcessEnvironment sharedRootEnvironment();
