#include "status/backup_files.h"

#include "core/backup_names.h"

#include <system_error>

namespace status {

NewestBackups newestBackups(const platform::FileSystem& files, const std::filesystem::path& folder,
                            std::string_view database, platform::LocalTime now) {
    NewestBackups found;
    std::error_code ec;
    const auto entries = files.listWithTimes(folder, "*.DAT", ec);
    if (ec) {
        if (ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
            found.error = ec.message();
        return found;
    }
    for (const auto& entry : entries) {
        const auto name = entry.isFolder ? std::nullopt : core::parseBackupFileName(entry.name);
        if (!name || name->database != database || entry.size == 0)
            continue;
        const BackupFile file{folder / entry.name, name->stamp, entry.size};
        auto& newest = name->stamp > now ? found.future : found.byKind[core::Settings::slotOf(name->kind)];
        if (!newest || file.stamp > newest->stamp)
            newest = file;
    }
    return found;
}

} // namespace status
