#include "core/run_lock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace core {

RunLock::RunLock(std::filesystem::path settingsFolder) : file_(pathFor(settingsFolder)) {}

RunLock::~RunLock() {
    if (fd_ >= 0)
        ::close(fd_); // releases the lock
}

std::filesystem::path RunLock::pathFor(const std::filesystem::path& settingsFolder) {
    return settingsFolder / ".backup-run.lock";
}

bool RunLock::open() {
    if (fd_ >= 0)
        return true;
    fd_ = ::open(file_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd_ < 0)
        error_ = "cannot open the lock file " + file_.string() + ": " + std::strerror(errno);
    return fd_ >= 0;
}

bool RunLock::acquire() {
    if (held_)
        return true;
    if (!open())
        return false;
    while (::flock(fd_, LOCK_EX) != 0) {
        if (errno != EINTR) {
            error_ = "cannot lock " + file_.string() + ": " + std::strerror(errno);
            return false;
        }
    }
    return held_ = true;
}

bool RunLock::acquireWhile(const std::function<bool()>& keepWaiting, std::chrono::milliseconds poll) {
    if (held_)
        return true;
    if (!open())
        return false;
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            error_ = "cannot lock " + file_.string() + ": " + std::strerror(errno);
            return false;
        }
        if (!keepWaiting())
            return false;
        std::this_thread::sleep_for(poll);
    }
    return held_ = true;
}

} // namespace core
