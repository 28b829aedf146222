// Starting a shell command beside a test that runs threads. After a plain fork() the child
// may only make async-signal-safe calls until it execs: building a string there can wait
// for ever on an allocator lock another thread held at the fork (seen under ASan).
// posix_spawn does the fork and exec with nothing in between.
#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <string>

extern char** environ;

// The child's pid, or -1 when it could not be started; wait for it with waitpid().
inline pid_t spawnShell(const std::string& command) {
    char sh[] = "sh";
    char dashC[] = "-c";
    std::string text = command;
    char* argv[] = {sh, dashC, text.data(), nullptr};
    pid_t pid = -1;
    return ::posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv, environ) == 0 ? pid : -1;
}
