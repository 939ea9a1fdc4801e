#include "platform/filesystem.h"
#include "platform/local_filesystem.h"
#include "platform/posix_files.h"
#include "platform/utf8.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fcntl.h>
#include <sys/sendfile.h>

namespace platform {
namespace fs = std::filesystem;
using namespace posix;

namespace {

// Moves the data in the kernel: copy_file_range, then sendfile where the file systems differ in
// a way the first refuses, or where it answers 0 before the end (some file systems do).
std::error_code copyData(int in, int out, off_t size) {
    off_t done = 0;
    bool useSendfile = false;
    while (done < size) {
        const std::size_t chunk = std::size_t(std::min<off_t>(size - done, off_t(1) << 30));
        ssize_t n;
        if (!useSendfile) {
            n = ::copy_file_range(in, nullptr, out, nullptr, chunk, 0);
            if ((n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) || n == 0) {
                useSendfile = true;
                continue;
            }
        } else {
            n = ::sendfile(out, in, nullptr, chunk);
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return lastError();
        if (n == 0) // the source shrank while being copied: what we have is no good copy
            return errorOf(std::errc::io_error);
        done += n;
    }
    return {};
}

// mkostemp for a name relative to an open folder: replaces the trailing "XXXXXX" of `name` by
// letters and digits until a new file could be made.
int createTemporary(int dir, std::string& name) {
    static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    // Unpredictable enough: O_EXCL keeps a name another process took from being used.
    thread_local std::uint64_t state = std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                                       (std::uint64_t(::getpid()) << 40) ^ reinterpret_cast<std::uintptr_t>(&state);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        std::uint64_t bits = state >> 16;
        for (std::size_t i = name.size() - 6; i < name.size(); ++i, bits /= kLetters.size())
            name[i] = kLetters[bits % kLetters.size()];
        const int fd = ::openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

// The hidden name a copy is written under before it is renamed over the target. Long names are
// cut (at a character boundary) so that the temporary name stays within NAME_MAX.
std::string copyTemporaryPath(std::string_view target) {
    constexpr std::size_t kMaxNamePart = 200;
    const std::size_t slash = target.rfind('/');
    const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
    std::string_view name = target.substr(start);
    if (name.size() > kMaxNamePart) {
        std::size_t cut = 0;
        while (utf8::next(name, cut) <= kMaxNamePart)
            cut = utf8::next(name, cut);
        name = name.substr(0, cut);
    }
    std::string out(target.substr(0, start));
    return out.append(".").append(name).append(".copy-XXXXXX");
}

// The names copyTemporaryPath gives, once made unique: ".", the target's name (perhaps cut), ".copy-" and the six
// letters or digits mkostemp puts in place of "XXXXXX".
bool isCopyTemporaryName(std::string_view name) {
    constexpr std::string_view kMark = ".copy-";
    constexpr std::size_t kUnique = 6;
    if (name.size() < 1 + 1 + kMark.size() + kUnique || name.front() != '.')
        return false;
    const std::string_view tail = name.substr(name.size() - kMark.size() - kUnique);
    return tail.starts_with(kMark) && std::all_of(tail.begin() + kMark.size(), tail.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
           });
}

std::error_code posix::copyRegularFile(int srcAt, const char* srcName, int dstAt, const char* dstName,
                                       bool targetMayExist, Durability durability, bool& sourceFailed) {
    sourceFailed = false;
    struct stat st {};
    if (targetMayExist && ::fstatat(dstAt, dstName, &st, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(st.st_mode))
            return errorOf(std::errc::is_a_directory);
        if (!ownerWritable(st))
            return errorOf(std::errc::permission_denied);
    }
    Fd in(::openat(srcAt, srcName, O_RDONLY | O_CLOEXEC));
    sourceFailed = in.fd < 0 || ::fstat(in.fd, &st) != 0;
    if (sourceFailed)
        return lastError();
    if (!S_ISREG(st.st_mode)) // replaced by something else since it was listed
        return {};
    std::string tmp = copyTemporaryPath(dstName);
    Fd out(createTemporary(dstAt, tmp));
    if (out.fd < 0)
        return lastError();
    std::error_code ec = copyData(in.fd, out.fd, st.st_size);
    // The copy stays writable for its owner: a read-only source (a private key, say) must not
    // turn into a copy that the next run is refused to replace.
    if (!ec && ::fchmod(out.fd, (st.st_mode & 0777) | S_IWUSR) != 0)
        ec = lastError();
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (!ec && ::futimens(out.fd, times) != 0)
        ec = lastError();
    if (!ec && durability == Durability::OnMedium && ::fsync(out.fd) != 0)
        ec = lastError();
    const std::error_code closed = out.close();
    if (!ec)
        ec = closed;
    if (!ec && ::renameat(dstAt, tmp.c_str(), dstAt, dstName) != 0)
        ec = lastError();
    if (ec)
        ::unlinkat(dstAt, tmp.c_str(), 0);
    return ec;
}

std::error_code LocalFileSystem::copyFile(const fs::path& source, const fs::path& target, Durability durability) const {
    struct stat st {};
    if (::stat(source.c_str(), &st) != 0)
        return lastError();
    if (!S_ISREG(st.st_mode))
        return errorOf(S_ISDIR(st.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
    if (auto ec = refuseReadOnlyFolder(target.parent_path()))
        return ec;
    bool sourceFailed = false;
    return copyRegularFile(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), true, durability, sourceFailed);
}

} // namespace platform
