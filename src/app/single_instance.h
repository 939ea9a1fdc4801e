#pragma once
// One resident copy per settings folder: an flock on a lock file in that folder itself, so that
// every start on the folder agrees whatever its environment (a copy started by cron has no
// XDG_RUNTIME_DIR, another user has another runtime folder). The kernel drops the lock with its
// owner, so a copy that died leaves nothing to clean up; the file itself stays and is never
// written.

#include <filesystem>
#include <string>

namespace app {

class SingleInstanceLock {
public:
    enum class Result { Acquired, HeldByAnother, Failed };

    explicit SingleInstanceLock(std::filesystem::path configDir);
    ~SingleInstanceLock();
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    Result tryAcquire();
    // Why the lock could not be made (Failed).
    std::string errorText() const;

    static std::filesystem::path lockPathFor(const std::filesystem::path& configDir);

private:
    int openLockTarget();

    std::filesystem::path dir_;
    int fd_ = -1;
    int error_ = 0;
};

} // namespace app
