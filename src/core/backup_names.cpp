#include "core/backup_names.h"

namespace core {
namespace {

constexpr std::string_view kExtension = ".DAT";
constexpr std::size_t kStampDigits = 14;

std::optional<BackupKind> kindOfCode(std::string_view code) {
    for (BackupKind kind : kBackupKinds)
        if (kindCode(kind) == code)
            return kind;
    return std::nullopt;
}

} // namespace

std::string backupFileName(std::string_view database, platform::LocalTime runTime, BackupKind kind) {
    return std::string(database) + "_" + platform::formatYmdHms(runTime) + "_" + std::string(kindCode(kind)) +
           std::string(kExtension);
}

std::optional<BackupName> parseBackupFileName(std::string_view name) {
    if (!name.ends_with(kExtension))
        return std::nullopt;
    name.remove_suffix(kExtension.size());
    const auto kindAt = name.rfind('_');
    if (kindAt == std::string_view::npos)
        return std::nullopt;
    const auto kind = kindOfCode(name.substr(kindAt + 1));
    name = name.substr(0, kindAt);
    // "_" + the stamp, after a database name of at least one character.
    if (!kind || name.size() < kStampDigits + 2 || name[name.size() - kStampDigits - 1] != '_')
        return std::nullopt;
    const auto stamp = platform::parseYmdHms(name.substr(name.size() - kStampDigits));
    if (!stamp)
        return std::nullopt;
    return BackupName{std::string(name.substr(0, name.size() - kStampDigits - 1)), *stamp, *kind};
}

} // namespace core
