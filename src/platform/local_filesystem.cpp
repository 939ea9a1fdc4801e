#include "platform/local_filesystem.h"
#include "platform/posix_files.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>

namespace platform {
namespace fs = std::filesystem;
using namespace posix;

namespace {

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
        DirEntry e{std::string(name), false, std::nullopt, 0};
        if (rq.times && (statted || ::fstatat(dfd, d.d_name, &st, 0) == 0)) {
            e.modified = modifiedOf(st);
            e.size = std::uintmax_t(st.st_size);
        }
        return e;
    }
    if (isFolder && folderWanted)
        return DirEntry{std::string(name), true, std::nullopt, 0};
    return std::nullopt;
}

std::vector<DirEntry> scanFolder(const fs::path& folder, const ScanRequest& rq, std::error_code& ec) {
    std::vector<DirEntry> out;
    const DirPtr dir(::opendir(folder.c_str()), ::closedir);
    if (!dir) {
        ec = lastError();
        return out;
    }
    const int dfd = ::dirfd(dir.get());
    ec = walkFolder(dir.get(), [&](const dirent& d) {
        if (auto e = classify(dfd, d, rq))
            out.push_back(std::move(*e));
    });
    std::sort(out.begin(), out.end(),
              [](const DirEntry& a, const DirEntry& b) { return ntfsNameLess(a.name, b.name); });
    return out;
}

} // namespace

bool LocalFileSystem::folderExists(const fs::path& p) const {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool LocalFileSystem::fileExists(const fs::path& p) const {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool LocalFileSystem::exists(const fs::path& p) const {
    struct stat st {};
    return !p.empty() && ::stat(p.c_str(), &st) == 0;
}

bool LocalFileSystem::isReadOnly(const fs::path& p) const {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 && !ownerWritable(st);
}

std::error_code LocalFileSystem::createFolder(const fs::path& p) const {
    if (auto ec = refuseReadOnlyFolder(p.parent_path()))
        return ec;
    if (::mkdir(p.c_str(), 0777) != 0)
        return lastError();
    return {};
}

std::optional<LocalTime> LocalFileSystem::lastModified(const std::string& p, std::error_code& ec) const {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) {
        ec = lastError();
        return std::nullopt;
    }
    ec.clear();
    return modifiedOf(st);
}

std::optional<LocalTime> LocalFileSystem::creationTime(const fs::path& p) const {
    struct statx stx {};
    if (::statx(AT_FDCWD, p.c_str(), 0, STATX_BTIME, &stx) != 0 || (stx.stx_mask & STATX_BTIME) == 0)
        return std::nullopt;
    return toLocal(std::chrono::system_clock::from_time_t(std::time_t(stx.stx_btime.tv_sec)));
}

std::error_code LocalFileSystem::setLastModified(const fs::path& p, LocalTime t) const {
    const auto secs = std::chrono::system_clock::to_time_t(fromLocal(t));
    const struct timespec times[2] = {{0, UTIME_OMIT}, {secs, 0}};
    if (::utimensat(AT_FDCWD, p.c_str(), times, 0) != 0)
        return lastError();
    return {};
}
std::error_code LocalFileSystem::deleteFile(const fs::path& p) const {
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

std::error_code LocalFileSystem::deleteFolder(const fs::path& p) const {
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

std::vector<DirEntry> LocalFileSystem::list(const fs::path& folder, std::string_view pattern, EntryKinds kinds,
                                            std::error_code& ec) const {
    return scanFolder(folder, {pattern, pattern, kinds, false}, ec);
}

std::vector<DirEntry> LocalFileSystem::listWithTimes(const fs::path& folder, std::string_view filePattern,
                                                     std::error_code& ec) const {
    return scanFolder(folder, {filePattern, "*", EntryKinds::Both, true}, ec);
}

} // namespace platform
