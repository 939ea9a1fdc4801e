#pragma once
// A backup run of a settings folder and the restore check of the same folder never overlap: both
// hold an flock on ".backup-run.lock" in the settings folder while they work. The run takes it
// without waiting for anyone but another run; the restore check waits for it. The kernel drops
// the lock with its holder, so a crash leaves nothing to clean up.

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

namespace core {

class RunLock {
public:
    explicit RunLock(std::filesystem::path settingsFolder);
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Waits until the lock is held; false (with errorText) when the lock file cannot be opened.
    bool acquire();
    // Waits as acquire() does, but asks `keepWaiting` between attempts (every `poll`); false when
    // it answered false or the file cannot be opened.
    bool acquireWhile(const std::function<bool()>& keepWaiting, std::chrono::milliseconds poll);
    bool held() const { return held_; }
    std::string errorText() const { return error_; }

    static std::filesystem::path pathFor(const std::filesystem::path& settingsFolder);

private:
    bool open();

    std::filesystem::path file_;
    int fd_ = -1;
    bool held_ = false;
    std::string error_;
};

} // namespace core
