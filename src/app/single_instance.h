#pragma once
// One resident copy per config folder: a lock file in the user's runtime folder named after the
// resident window's caption and the canonical config folder. A lock left by a copy that died is
// taken over; a lock held by a running copy is left untouched (the check writes no file).

#include <QLockFile>

#include <filesystem>
#include <string>

namespace app {

class SingleInstanceLock {
public:
    enum class Result { Acquired, HeldByAnother, Failed };

    explicit SingleInstanceLock(const std::filesystem::path& canonicalConfigDir);

    Result tryAcquire();
    // Why the lock could not be made (Failed).
    std::string errorText() const;

    static std::filesystem::path lockPathFor(const std::filesystem::path& canonicalConfigDir);

private:
    std::filesystem::path path_;
    QLockFile lock_;
};

} // namespace app
