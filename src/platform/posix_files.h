#pragma once
// The POSIX pieces the real file system's parts share: descriptors that close themselves, the
// read-only rule, and one walk over a folder's entries. Internal to the platform library.

#include "platform/filesystem.h"

#include <cerrno>
#include <dirent.h>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace platform::posix {

inline std::error_code lastError() {
    return {errno, std::generic_category()};
}
inline std::error_code errorOf(std::errc e) {
    return std::make_error_code(e);
}

inline bool ownerWritable(const struct stat& st) {
    return (st.st_mode & S_IWUSR) != 0;
}

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    // Network file systems write the data back when the file is closed and report failures only
    // here, so a copy is not complete before its descriptor closed without error.
    std::error_code close() {
        const int f = fd;
        fd = -1;
        if (f >= 0 && ::close(f) != 0)
            return lastError();
        return {};
    }
};

// A folder whose owner-write bit is clear is read-only: nothing new is created in it, also when
// the process runs as root, so that the program behaves the same under every account.
std::error_code refuseReadOnlyFolder(const std::filesystem::path& folder);

using DirPtr = std::unique_ptr<DIR, int (*)(DIR*)>;

// Opens folder `name` relative to `at` for reading its entries.
DirPtr openFolder(int at, const char* name);

// Hands every entry of an open folder but "." and ".." to `onEntry`, in the order the folder
// gives them; a failed read of the folder is returned. The caller sorts what it keeps.
template <class OnEntry> std::error_code walkFolder(DIR* dir, OnEntry&& onEntry) {
    errno = 0;
    while (const dirent* d = ::readdir(dir)) {
        const std::string_view name = d->d_name;
        if (name != "." && name != "..")
            onEntry(*d);
        errno = 0;
    }
    return errno != 0 ? lastError() : std::error_code();
}

struct NamedEntry {
    std::string name;
    unsigned char type; // as the folder reports it: DT_UNKNOWN where the file system does not say
};

// Every entry of an open folder but "." and "..", whatever it is, in NTFS order.
std::vector<NamedEntry> readEntries(DIR* dir, std::error_code& ec);

// Whether `inner` is `outer` or lies below it (both resolved).
bool isInside(const std::filesystem::path& inner, const std::filesystem::path& outer);

// Copies one regular file, reached relative to open folders (AT_FDCWD for whole paths).
// `targetMayExist` is false only in a folder a copy has just made, where the test for a file to
// replace would find nothing. On failure `sourceFailed` tells whether the error concerns the
// source; the temporary copy is removed.
std::error_code copyRegularFile(int srcAt, const char* srcName, int dstAt, const char* dstName, bool targetMayExist,
                                Durability durability, bool& sourceFailed);

} // namespace platform::posix
