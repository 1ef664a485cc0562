#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// Runs `job` in a child process whose files cannot grow past `limitBytes`
// (writes beyond fail with EFBIG, as on a full medium) and returns what the
// job returned. A child that crashes or hangs (ended after a minute) is a test
// failure, never a quiet "false" that a full-disk test would take for success.
inline bool runOnFullDisk(long limitBytes, const std::function<bool()>& job)
{
    const pid_t child = fork();
    if (child < 0) {
        ADD_FAILURE() << "fork failed";
        return false;
    }
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(limitBytes), static_cast<rlim_t>(limitBytes)};
        setrlimit(RLIMIT_FSIZE, &limit);
        alarm(60);
        _exit(job() ? 0 : 1);
    }
    int status = 0;
    pid_t ended;
    while ((ended = waitpid(child, &status, 0)) < 0 && errno == EINTR) {
    }
    if (ended != child || !WIFEXITED(status)) {
        ADD_FAILURE() << "the full-disk job did not end normally"
                      << (WIFSIGNALED(status) ? ", signal " + std::to_string(WTERMSIG(status)) : std::string());
        return false;
    }
    return WEXITSTATUS(status) == 0;
}
