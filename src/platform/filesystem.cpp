#include "platform/filesystem.h"

#include "platform/ascii.h"
#include "platform/utf8.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace fs = std::filesystem;

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}
std::error_code errorOf(std::errc e) {
    return std::make_error_code(e);
}

bool matchFrom(std::string_view p, std::size_t pi, std::string_view n, std::size_t ni) {
    // Iterative matcher with one backtracking point for the last "*".
    std::size_t starP = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() && p[pi] == '?') {
            ++pi;
            ni = utf8::next(n, ni);
        } else if (pi < p.size() && asciiUpper(p[pi]) == asciiUpper(n[ni])) {
            ++pi;
            ++ni;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            starN = utf8::next(n, starN);
            ni = starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

bool ownerWritable(const struct stat& st) {
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
std::error_code refuseReadOnlyFolder(const fs::path& folder) {
    struct stat st {};
    if (!folder.empty() && ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && !ownerWritable(st))
        return errorOf(std::errc::permission_denied);
    return {};
}

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

// The hidden name a copy is written under before it is renamed over the target. Long names are
// cut (at a character boundary) so that the temporary name stays within NAME_MAX.
std::string temporaryPathFor(std::string_view target) {
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

// A file or folder as a copy reaches it: a name relative to an open folder, or a whole path with
// AT_FDCWD. Its path is only put together when an error report needs it.
struct Place {
    int at;
    const char* name;
    const fs::path* folder; // the path of `at`; null for a whole path

    fs::path path() const { return folder ? *folder / name : fs::path(name); }
};

Place placeOf(const fs::path& p) {
    return {AT_FDCWD, p.c_str(), nullptr};
}

// Copies one regular file, reached relative to open folders so that a folder copy does not look
// its path up again for every file. `targetMayExist` is false only in a folder this copy has
// just made, where the test for a file to replace would find nothing. On failure `failedAt`
// names the side the error concerns.
std::error_code copyRegularFile(int srcAt, const char* srcName, int dstAt, const char* dstName, bool targetMayExist,
                                Durability durability, bool& sourceFailed) {
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
    std::string tmp = temporaryPathFor(dstName);
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

bool isInside(const fs::path& inner, const fs::path& outer) {
    auto o = outer.begin();
    auto i = inner.begin();
    for (; o != outer.end(); ++o, ++i)
        if (i == inner.end() || *i != *o)
            return false;
    return true;
}

using DirPtr = std::unique_ptr<DIR, int (*)(DIR*)>;

// Opens folder `name` relative to `at` for reading its entries.
DirPtr openFolder(int at, const char* name) {
    const int fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DirPtr dir(fd < 0 ? nullptr : ::fdopendir(fd), ::closedir);
    if (fd >= 0 && !dir) {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    return dir;
}

struct NamedEntry {
    std::string name;
    unsigned char type; // as the folder reports it: DT_UNKNOWN where the file system does not say
};

// Every entry of a folder but "." and "..", whatever it is, in NTFS order.
std::vector<NamedEntry> readEntries(DIR* dir, std::error_code& ec) {
    ec.clear();
    std::vector<NamedEntry> entries;
    errno = 0;
    while (const dirent* d = ::readdir(dir)) {
        const std::string_view name = d->d_name;
        if (name != "." && name != "..")
            entries.push_back({std::string(name), d->d_type});
        errno = 0;
    }
    if (errno != 0)
        ec = lastError();
    std::sort(entries.begin(), entries.end(),
              [](const NamedEntry& x, const NamedEntry& y) { return ntfsNameLess(x.name, y.name); });
    return entries;
}

std::vector<std::string> allNames(const fs::path& folder, std::error_code& ec) {
    std::vector<std::string> names;
    const DirPtr dir = openFolder(AT_FDCWD, folder.c_str());
    if (!dir) {
        ec = lastError();
        return names;
    }
    for (auto& e : readEntries(dir.get(), ec))
        names.push_back(std::move(e.name));
    return names;
}

// Copies a folder tree entry by entry, remembering where it failed. A symbolic link is followed
// only to a place inside the source folder (whose content is copied under the link's name); a
// link leading out of it, or to nothing, is left out. Links themselves are not copied: many of
// the media a copy goes to cannot hold them. Files and sub-folders are reached relative to their
// open folders, and the entries' own types spare a stat of each.
class TreeCopier {
public:
    explicit TreeCopier(fs::path root) : root_(std::move(root)) {}

    std::error_code copyTree(const Place& from, const Place& to) {
        struct stat sst {};
        if (::fstatat(from.at, from.name, &sst, 0) != 0)
            return fail(lastError(), from.path());
        // A folder already being copied further up (reached again through a link) is not
        // entered twice: that would never end.
        const std::pair<dev_t, ino_t> id{sst.st_dev, sst.st_ino};
        if (std::find(open_.begin(), open_.end(), id) != open_.end())
            return {};
        bool made = false;
        if (auto ec = prepareTarget(to, made))
            return ec;
        const DirPtr source = openFolder(from.at, from.name);
        if (!source)
            return fail(lastError(), from.path());
        std::error_code ec;
        const auto entries = readEntries(source.get(), ec);
        if (ec)
            return fail(ec, from.path());
        // O_PATH: files are made in the folder, never read from it, so it needs no read right.
        Fd target(::openat(to.at, to.name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (target.fd < 0)
            return fail(lastError(), to.path());
        open_.push_back(id);
        const fs::path sourcePath = from.path(), targetPath = to.path();
        const int srcFd = ::dirfd(source.get());
        for (const auto& e : entries)
            if (auto err = copyEntry(e, {srcFd, e.name.c_str(), &sourcePath}, {target.fd, e.name.c_str(), &targetPath},
                                     !made)) {
                open_.pop_back();
                return err;
            }
        open_.pop_back();
        return {};
    }

    fs::path failedAt;

private:
    std::error_code fail(std::error_code ec, const fs::path& where) {
        failedAt = where;
        return ec;
    }

    // Makes the target folder unless it is there; `made` tells whether it is new (and empty).
    std::error_code prepareTarget(const Place& to, bool& made) {
        struct stat tst {};
        if (::fstatat(to.at, to.name, &tst, AT_SYMLINK_NOFOLLOW) == 0) {
            if (!S_ISDIR(tst.st_mode))
                return fail(errorOf(std::errc::not_a_directory), to.path());
            if (!ownerWritable(tst))
                return fail(errorOf(std::errc::permission_denied), to.path());
            return {};
        }
        const fs::path parent = to.path().parent_path();
        if (auto ec = refuseReadOnlyFolder(parent))
            return fail(ec, parent);
        if (::mkdirat(to.at, to.name, 0777) != 0)
            return fail(lastError(), to.path());
        made = true;
        return {};
    }

    std::error_code copyEntry(const NamedEntry& e, const Place& from, const Place& to, bool targetMayExist) {
        unsigned char type = e.type;
        if (type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(from.at, from.name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                return fail(lastError(), from.path());
            type = S_ISLNK(st.st_mode) ? DT_LNK : S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : 0;
        }
        if (type == DT_LNK)
            return copyLinked(from.path(), to, targetMayExist);
        if (type == DT_DIR)
            return copyTree(from, to);
        if (type == DT_REG)
            return copyFile(from, to, targetMayExist);
        return {}; // devices, sockets and pipes are not copied
    }

    std::error_code copyFile(const Place& from, const Place& to, bool targetMayExist) {
        bool sourceFailed = false;
        const std::error_code ec =
            copyRegularFile(from.at, from.name, to.at, to.name, targetMayExist, Durability::Cached, sourceFailed);
        return ec ? fail(ec, sourceFailed ? from.path() : to.path()) : ec;
    }

    std::error_code copyLinked(const fs::path& from, const Place& to, bool targetMayExist) {
        std::error_code ec;
        const fs::path resolved = fs::canonical(from, ec);
        if (ec || !isInside(resolved, root_))
            return {};
        struct stat st {};
        if (::stat(resolved.c_str(), &st) != 0)
            return {};
        if (S_ISDIR(st.st_mode))
            return copyTree(placeOf(resolved), to);
        if (S_ISREG(st.st_mode))
            return copyFile(placeOf(resolved), to, targetMayExist);
        return {};
    }

    fs::path root_;
    std::vector<std::pair<dev_t, ino_t>> open_;
};

LocalTime modifiedOf(const struct stat& st) {
    return toLocal(std::chrono::system_clock::from_time_t(st.st_mtim.tv_sec));
}

struct ScanRequest {
    std::string_view filePattern, folderPattern;
    EntryKinds kinds;
    bool times;
};

// What a listing makes of one directory entry. The entry's own type spares a stat for files and
// folders; a link counts as the file it points to, and linked folders are never entered.
std::optional<DirEntry> classify(int dfd, const dirent& d, const ScanRequest& rq) {
    const std::string_view name = d.d_name;
    if (name == "." || name == "..")
        return std::nullopt;
    const bool fileWanted = rq.kinds != EntryKinds::Folders && wildcardMatch(rq.filePattern, name);
    const bool folderWanted = rq.kinds != EntryKinds::Files && wildcardMatch(rq.folderPattern, name);
    if (!fileWanted && !folderWanted)
        return std::nullopt;
    bool isFolder = d.d_type == DT_DIR;
    bool isFile = d.d_type == DT_REG;
    struct stat st {};
    bool statted = false;
    if (d.d_type == DT_UNKNOWN || d.d_type == DT_LNK) {
        if (::fstatat(dfd, d.d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
            const bool link = S_ISLNK(st.st_mode);
            if (link && ::fstatat(dfd, d.d_name, &st, 0) != 0)
                st.st_mode = 0;
            isFile = S_ISREG(st.st_mode);
            isFolder = !link && S_ISDIR(st.st_mode);
            statted = isFile;
        }
    }
    if (isFile && fileWanted) {
        DirEntry e{std::string(name), false, std::nullopt};
        if (rq.times && (statted || ::fstatat(dfd, d.d_name, &st, 0) == 0))
            e.modified = modifiedOf(st);
        return e;
    }
    if (isFolder && folderWanted)
        return DirEntry{std::string(name), true, std::nullopt};
    return std::nullopt;
}

std::vector<DirEntry> scanFolder(const fs::path& folder, const ScanRequest& rq, std::error_code& ec) {
    ec.clear();
    std::vector<DirEntry> out;
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        ec = lastError();
        return out;
    }
    const int dfd = ::dirfd(dir.get());
    errno = 0;
    while (const dirent* d = ::readdir(dir.get())) {
        if (auto e = classify(dfd, *d, rq))
            out.push_back(std::move(*e));
        errno = 0;
    }
    if (errno != 0)
        ec = lastError();
    std::sort(out.begin(), out.end(),
              [](const DirEntry& a, const DirEntry& b) { return ntfsNameLess(a.name, b.name); });
    return out;
}

} // namespace

int openForAppend(const fs::path& p, std::error_code& ec) {
    ec.clear();
    // O_NONBLOCK: a planted FIFO without a reader would otherwise hold the open forever.
    const int fd = ::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) {
        ec = lastError();
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        ec = lastError();
    else if (!S_ISREG(st.st_mode))
        ec = errorOf(std::errc::invalid_argument);
    else if (::fcntl(fd, F_SETFL, O_APPEND) != 0)
        ec = lastError();
    if (ec) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool wildcardMatch(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*")
        return true;
    // "*" and a plain tail ("*.DAT"), the retention's pattern: a suffix test.
    if (pattern.size() > 1 && pattern[0] == '*' && pattern.find_first_of("*?", 1) == std::string_view::npos) {
        const std::string_view tail = pattern.substr(1);
        if (name.size() < tail.size())
            return false;
        const std::string_view end = name.substr(name.size() - tail.size());
        return std::equal(end.begin(), end.end(), tail.begin(),
                          [](char a, char b) { return asciiUpper(a) == asciiUpper(b); });
    }
    return matchFrom(pattern, 0, name, 0);
}

bool ntfsNameLess(std::string_view a, std::string_view b) {
    // Names in one folder often share long beginnings: skip the equal bytes first.
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    for (auto x = ia, y = ib; x != a.end() && y != b.end(); ++x, ++y) {
        const auto ux = static_cast<unsigned char>(asciiUpper(*x));
        const auto uy = static_cast<unsigned char>(asciiUpper(*y));
        if (ux != uy)
            return ux < uy;
    }
    if (a.size() != b.size())
        return a.size() < b.size();
    return a < b;
}

std::string folderCopyName(const fs::path& folder) {
    fs::path p = folder.lexically_normal();
    if (!p.has_filename())
        p = p.parent_path();
    if (p == p.root_path())
        return {};
    if (p.filename() == "." || p.filename() == "..") {
        // Only a resolved path tells which folder "." or ".." is.
        std::error_code ec;
        p = fs::weakly_canonical(folder, ec);
        return ec || p == p.root_path() ? std::string() : p.filename().string();
    }
    return p.filename().string();
}

bool FileSystem::folderExists(const fs::path& p) const {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileSystem::fileExists(const fs::path& p) const {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FileSystem::exists(const fs::path& p) const {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0;
}

bool FileSystem::isReadOnly(const fs::path& p) const {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && !ownerWritable(st);
}

std::error_code FileSystem::createFolder(const fs::path& p) const {
    if (auto ec = refuseReadOnlyFolder(p.parent_path()))
        return ec;
    if (::mkdir(p.c_str(), 0777) != 0)
        return lastError();
    return {};
}

std::optional<LocalTime> FileSystem::lastModified(const std::string& p, std::error_code& ec) const {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) {
        ec = lastError();
        return std::nullopt;
    }
    ec.clear();
    return modifiedOf(st);
}

std::optional<LocalTime> FileSystem::creationTime(const fs::path& p) const {
    struct statx stx {};
    if (::statx(AT_FDCWD, p.c_str(), 0, STATX_BTIME, &stx) != 0 || (stx.stx_mask & STATX_BTIME) == 0)
        return std::nullopt;
    return toLocal(std::chrono::system_clock::from_time_t(std::time_t(stx.stx_btime.tv_sec)));
}

std::error_code FileSystem::setLastModified(const fs::path& p, LocalTime t) const {
    const auto secs = std::chrono::system_clock::to_time_t(fromLocal(t));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {secs, 0}};
    if (::utimensat(AT_FDCWD, p.c_str(), times, 0) != 0)
        return lastError();
    return {};
}

std::error_code FileSystem::copyFile(const fs::path& source, const fs::path& target, Durability durability) const {
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

std::error_code FileSystem::copyFolder(const fs::path& source, const fs::path& targetParent, Durability durability,
                                       fs::path* failedAt) const {
    const auto fail = [&](std::error_code ec, const fs::path& where) {
        if (failedAt)
            *failedAt = where;
        return ec;
    };
    if (!folderExists(source))
        return fail(errorOf(std::errc::no_such_file_or_directory), source);
    if (!folderExists(targetParent))
        return fail(errorOf(std::errc::no_such_file_or_directory), targetParent);
    const std::string name = folderCopyName(source);
    std::error_code ec;
    const fs::path src = fs::canonical(source, ec);
    if (ec)
        return fail(ec, source);
    const fs::path target = targetParent / name;
    const fs::path resolvedTarget = fs::weakly_canonical(target, ec);
    if (ec)
        return fail(ec, target);
    // A copy inside its own source would copy itself again on every level.
    if (name.empty() || isInside(resolvedTarget, src))
        return fail(errorOf(std::errc::invalid_argument), target);
    // Opened before the copy: syncfs then reports every write-back error since this moment.
    Fd targetFs(durability == Durability::OnMedium ? ::open(targetParent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                                   : -1);
    if (durability == Durability::OnMedium && targetFs.fd < 0)
        return fail(lastError(), targetParent);
    TreeCopier copier(src);
    if (auto err = copier.copyTree(placeOf(src), placeOf(target)))
        return fail(err, copier.failedAt);
    if (durability == Durability::OnMedium && ::syncfs(targetFs.fd) != 0)
        return fail(lastError(), target);
    return {};
}

std::error_code FileSystem::deleteFile(const fs::path& p) const {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0)
        return lastError();
    if (S_ISDIR(st.st_mode))
        return errorOf(std::errc::is_a_directory);
    if (!S_ISLNK(st.st_mode) && !ownerWritable(st))
        return errorOf(std::errc::permission_denied);
    if (::unlink(p.c_str()) != 0)
        return lastError();
    return {};
}

std::error_code FileSystem::deleteFolder(const fs::path& p) const {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0)
        return lastError();
    if (!S_ISDIR(st.st_mode))
        return errorOf(std::errc::not_a_directory);
    if (!ownerWritable(st))
        return errorOf(std::errc::permission_denied);
    std::error_code ec;
    const auto names = allNames(p, ec);
    if (ec)
        return ec;
    for (const auto& name : names) {
        const fs::path child = p / name;
        struct stat cst {};
        if (::lstat(child.c_str(), &cst) != 0)
            return lastError();
        // Links, pipes and sockets go as they are, never what they point to.
        std::error_code err = S_ISDIR(cst.st_mode)           ? deleteFolder(child)
                              : S_ISREG(cst.st_mode)         ? deleteFile(child)
                              : ::unlink(child.c_str()) != 0 ? lastError()
                                                             : std::error_code();
        if (err)
            return err;
    }
    if (::rmdir(p.c_str()) != 0)
        return lastError();
    return {};
}

std::vector<DirEntry> FileSystem::list(const fs::path& folder, std::string_view pattern, EntryKinds kinds,
                                       std::error_code& ec) const {
    return scanFolder(folder, {pattern, pattern, kinds, false}, ec);
}

std::vector<DirEntry> FileSystem::listWithTimes(const fs::path& folder, std::string_view filePattern,
                                                std::error_code& ec) const {
    return scanFolder(folder, {filePattern, "*", EntryKinds::Both, true}, ec);
}

// The names temporaryPathFor gives: ".", the target's name (perhaps cut), ".copy-" and the six
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

} // namespace platform
