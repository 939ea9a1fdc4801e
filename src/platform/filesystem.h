#pragma once
// The file-system access object of a run stage. Real files only.
//
// Read-only follows Windows: a file or folder whose owner-write bit is clear is read-only, and
// deleting or replacing it is refused with "Permission denied", also when the process runs as
// root. Errors are reported as std::error_code; their message() is the text that goes into logs.

#include "platform/datetime.h"

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
};

// Matches `*` and `?` without regard to ASCII case; "*.*" matches every name.
bool wildcardMatch(std::string_view pattern, std::string_view name);

// Orders names as NTFS returns them: by name, without regard to ASCII case.
bool ntfsNameLess(std::string_view a, std::string_view b);

class FileSystem {
public:
    bool folderExists(const std::filesystem::path& p) const;
    bool fileExists(const std::filesystem::path& p) const;
    // A file or a folder.
    bool exists(const std::filesystem::path& p) const;
    bool isReadOnly(const std::filesystem::path& p) const;

    // Creates one level; the parent must exist.
    std::error_code createFolder(const std::filesystem::path& p) const;

    std::optional<LocalTime> lastModified(const std::filesystem::path& p, std::error_code& ec) const;
    // Birth time where the file system records one; nullopt when it cannot be read.
    std::optional<LocalTime> creationTime(const std::filesystem::path& p) const;
    std::error_code setLastModified(const std::filesystem::path& p, LocalTime t) const;

    // Copies a regular file to `target` (a file path), replacing an existing file unless it is
    // read-only. The data goes through the kernel's copy path; the copy keeps the source's
    // last-modified time. A copy that fails part-way is removed, so nothing at the target looks
    // like a good copy; an existing target is only replaced once the new copy is complete (the
    // copy is written under a temporary name and renamed over the target).
    std::error_code copyFile(const std::filesystem::path& source, const std::filesystem::path& target) const;

    // Copies folder `source` with everything below it into `targetParent`/<name of source>.
    // `targetParent` must exist. Files of the same name are replaced (a read-only one makes the
    // copy fail), files the source does not have are kept, symbolic links are not followed.
    // On failure what was copied stays.
    std::error_code copyFolder(const std::filesystem::path& source, const std::filesystem::path& targetParent) const;

    std::error_code deleteFile(const std::filesystem::path& p) const;
    // Deletes a folder with its contents; stops at the first item that cannot be deleted.
    std::error_code deleteFolder(const std::filesystem::path& p) const;

    // Entries of `folder` whose names match `pattern`, hidden ones included, in NTFS order.
    std::vector<DirEntry> list(const std::filesystem::path& folder, std::string_view pattern, EntryKinds kinds,
                               std::error_code& ec) const;
};

} // namespace platform
