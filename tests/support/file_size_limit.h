#pragma once
// Runs code in a child process whose files cannot grow beyond a limit, the way a full medium
// stops a copy part-way: writes past the limit fail with EFBIG. Needs no root-only mounts.

#include <csignal>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

// Returns the child's exit status: the value `body` returns (0 to 255); 255 when it threw.
inline int runWithFileSizeLimit(rlim_t limitBytes, const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        int status = 255;
        try {
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{limitBytes, limitBytes};
            if (::setrlimit(RLIMIT_FSIZE, &limit) == 0)
                status = body();
        } catch (...) {
        }
        ::_exit(status);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 256;
}

} // namespace testsupport
