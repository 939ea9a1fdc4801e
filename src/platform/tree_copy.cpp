#include "platform/local_filesystem.h"
#include "platform/posix_files.h"

#include <algorithm>
#include <fcntl.h>
#include <utility>
#include <vector>

namespace platform {
namespace fs = std::filesystem;
using namespace posix;

namespace {

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

} // namespace

std::error_code LocalFileSystem::copyFolder(const fs::path& source, const fs::path& targetParent, Durability durability,
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

} // namespace platform
