#pragma once
// The file-system access object of a run stage: an interface, so that tests can hand the stages
// one that fails on demand. LocalFileSystem (local_filesystem.h) is the real one.
//
// Read-only follows Windows: a file or folder whose owner-write bit is clear is read-only, and
// deleting or replacing it is refused with "Permission denied", also when the process runs as
// root. Errors are reported as std::error_code; their message() is the text that goes into logs.

#include "platform/datetime.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace platform {

enum class EntryKinds { Files, Folders, Both };

struct DirEntry {
    std::string name;
    bool isFolder = false;
    std::optional<LocalTime> modified; // listWithTimes only: nullopt when it could not be read
    std::uintmax_t size = 0;           // listWithTimes only, read with the time
};

// Matches `*` and `?` without regard to ASCII case; "*.*" matches every name.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// Orders names as NTFS returns them: by name, without regard to ASCII case.
bool ntfsNameLess(std::string_view a, std::string_view b);

// The name a folder copy gets below its target: the last component of `folder` as written,
// trailing separators ignored ("/p/KEYMANAGE/" gives "KEYMANAGE"). Symbolic links are not
// resolved, so the copy and the listing exclusions that look for it agree on the name.
std::string folderCopyName(const std::filesystem::path& folder);

// Whether `name` is one of the hidden names FileSystem::copyFile writes a copy under before it
// renames it over its target. A file of such a name that is not being written is what is left of a
// copy that was killed part-way.
bool isCopyTemporaryName(std::string_view name);

// The hidden name FileSystem::copyFile writes a copy of `target` under before it renames it over
// the target: the same folder, "." + the target's name (cut at a character boundary to stay within
// NAME_MAX) + ".copy-XXXXXX", where the six X stand for the letters or digits that make it unique.
std::string copyTemporaryPath(std::string_view target);

// Whether a copy may return before its data is on the medium.
enum class Durability {
    Cached,  // the kernel writes the data back later (errors of network file systems still show on close)
    OnMedium // flushed before success is reported: a removable medium may be pulled right after
};

// Opens `p` for appending, creating it (mode 0644) when missing. A final symbolic link is not
// followed and anything but a regular file is refused (ELOOP for a link, EINVAL otherwise): the
// backup and external folders are shared with other accounts, which could otherwise plant a
// link that makes the program append to any file its user may write. Never blocks on a FIFO.
// Returns the descriptor, or -1 with `ec` set.
int openForAppend(const std::filesystem::path& p, std::error_code& ec);

// The file-system access object of a run stage, handed to the code that touches files so that
// tests can make any operation fail. LocalFileSystem is the real one.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual bool folderExists(const std::filesystem::path& p) const = 0;
    virtual bool fileExists(const std::filesystem::path& p) const = 0;
    // A file or a folder.
    virtual bool exists(const std::filesystem::path& p) const = 0;
    virtual bool isReadOnly(const std::filesystem::path& p) const = 0;

    // Creates one level; the parent must exist and be writable.
    virtual std::error_code createFolder(const std::filesystem::path& p) const = 0;

    // Takes the path as text: retention asks for tens of thousands of files, and making a
    // std::filesystem::path of each would split it into components for nothing.
    virtual std::optional<LocalTime> lastModified(const std::string& p, std::error_code& ec) const = 0;
    // Birth time where the file system records one; nullopt when it cannot be read.
    virtual std::optional<LocalTime> creationTime(const std::filesystem::path& p) const = 0;
    virtual std::error_code setLastModified(const std::filesystem::path& p, LocalTime t) const = 0;

    // Copies a regular file to `target` (a file path), replacing an existing file unless it is
    // read-only. The data goes through the kernel's copy path; the copy keeps the source's
    // last-modified time. A copy that fails part-way is removed, so nothing at the target looks
    // like a good copy; an existing target is only replaced once the new copy is complete (the
    // copy is written under a temporary name and renamed over the target). A source that
    // shrinks while it is copied makes the copy fail. A read-only target folder is refused.
    virtual std::error_code copyFile(const std::filesystem::path& source, const std::filesystem::path& target,
                                     Durability durability = Durability::Cached) const = 0;

    // Copies folder `source` with everything below it into `targetParent`/folderCopyName(source).
    // `targetParent` must exist. Files of the same name are replaced (a read-only file or folder
    // makes the copy fail), files the source does not have are kept, symbolic links are copied
    // as links and never followed. On failure what was copied stays and `failedAt`, when given,
    // receives the path the failure concerns. With Durability::OnMedium the target's file system
    // is flushed once at the end, and write-back errors since the start make the copy fail.
    virtual std::error_code copyFolder(const std::filesystem::path& source, const std::filesystem::path& targetParent,
                                       Durability durability = Durability::Cached,
                                       std::filesystem::path* failedAt = nullptr) const = 0;

    virtual std::error_code deleteFile(const std::filesystem::path& p) const = 0;
    // Deletes a folder with its contents; stops at the first item that cannot be deleted.
    virtual std::error_code deleteFolder(const std::filesystem::path& p) const = 0;

    // Entries of `folder` whose names match `pattern`, hidden ones included, in NTFS order.
    virtual std::vector<DirEntry> list(const std::filesystem::path& folder, std::string_view pattern, EntryKinds kinds,
                                       std::error_code& ec) const = 0;
    // Every sub-folder of `folder` and the files matching `filePattern`, in NTFS order, each file
    // with its last-modified time as lastModified reads it. A retention pass reads tens of
    // thousands of times: each is read relative to the open folder, once, while it is listed.
    virtual std::vector<DirEntry> listWithTimes(const std::filesystem::path& folder, std::string_view filePattern,
                                                std::error_code& ec) const = 0;

    // Bytes an ordinary writer may still use on the file system that holds `p`; nullopt (with
    // `ec`) when that cannot be read.
    virtual std::optional<std::uintmax_t> availableSpace(const std::filesystem::path& p, std::error_code& ec) const;
};

} // namespace platform
