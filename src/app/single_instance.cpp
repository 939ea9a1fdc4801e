#include "app/single_instance.h"

#include "app/app_texts.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace app {

SingleInstanceLock::SingleInstanceLock(std::filesystem::path configDir) : dir_(std::move(configDir)) {}

SingleInstanceLock::~SingleInstanceLock() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::filesystem::path SingleInstanceLock::lockPathFor(const std::filesystem::path& configDir) {
    return configDir / (std::string(kProgramName) + ".lock");
}

int SingleInstanceLock::openLockTarget() {
    const std::string path = lockPathFor(dir_).string();
    // Read-write where possible: on NFS an exclusive flock becomes a write lock, which a
    // read-only descriptor cannot take. A link planted in place of the file is not followed.
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    // A folder nobody may write to (settings managed by an administrator) is locked itself.
    if (fd < 0 && errno != ELOOP)
        fd = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    return fd;
}

SingleInstanceLock::Result SingleInstanceLock::tryAcquire() {
    if (fd_ < 0)
        fd_ = openLockTarget();
    if (fd_ < 0) {
        error_ = errno;
        return Result::Failed;
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
        return Result::Acquired;
    error_ = errno;
    return error_ == EWOULDBLOCK ? Result::HeldByAnother : Result::Failed;
}

std::string SingleInstanceLock::errorText() const {
    return "cannot lock " + lockPathFor(dir_).string() + ": " + std::strerror(error_);
}

} // namespace app
