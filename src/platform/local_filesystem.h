#pragma once
// The real file system: POSIX calls on real files, with the read-only rule of FileSystem.

#include "platform/filesystem.h"

namespace platform {

class LocalFileSystem final : public FileSystem {
public:
    bool folderExists(const std::filesystem::path& p) const override;
    bool fileExists(const std::filesystem::path& p) const override;
    bool exists(const std::filesystem::path& p) const override;
    bool isReadOnly(const std::filesystem::path& p) const override;
    std::error_code createFolder(const std::filesystem::path& p) const override;
    std::optional<LocalTime> lastModified(const std::string& p, std::error_code& ec) const override;
    std::optional<LocalTime> creationTime(const std::filesystem::path& p) const override;
    std::error_code setLastModified(const std::filesystem::path& p, LocalTime t) const override;
    std::error_code copyFile(const std::filesystem::path& source, const std::filesystem::path& target,
                             Durability durability = Durability::Cached) const override;
    std::error_code copyFolder(const std::filesystem::path& source, const std::filesystem::path& targetParent,
                               Durability durability = Durability::Cached,
                               std::filesystem::path* failedAt = nullptr) const override;
    std::error_code appendToFile(const std::filesystem::path& p, std::string_view bytes) const override;
    std::error_code deleteFile(const std::filesystem::path& p) const override;
    std::error_code deleteFolder(const std::filesystem::path& p) const override;
    std::vector<DirEntry> list(const std::filesystem::path& folder, std::string_view pattern, EntryKinds kinds,
                               std::error_code& ec) const override;
    std::vector<DirEntry> listWithTimes(const std::filesystem::path& folder, std::string_view filePattern,
                                        std::error_code& ec) const override;
};

} // namespace platform
