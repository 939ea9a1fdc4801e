#include "status/backup_files.h"

#include "platform/ascii.h"
#include "status/settings_view.h"

#include <system_error>

namespace status {
namespace fs = std::filesystem;

namespace {

constexpr std::size_t kStampDigits = 14;

std::optional<platform::LocalTime> parseStamp(std::string_view digits) {
    if (digits.size() != kStampDigits)
        return std::nullopt;
    for (char c : digits)
        if (c < '0' || c > '9')
            return std::nullopt;
    const auto number = [&](std::size_t from, std::size_t count) {
        int v = 0;
        for (std::size_t i = from; i < from + count; ++i)
            v = v * 10 + (digits[i] - '0');
        return v;
    };
    // Through the date-time reader so that 2026/02/30 or 25:00 is refused, not wrapped around.
    const std::string text = std::to_string(number(0, 4)) + "/" + std::to_string(number(4, 2)) + "/" +
                             std::to_string(number(6, 2)) + " " + std::to_string(number(8, 2)) + ":" +
                             std::to_string(number(10, 2)) + ":" + std::to_string(number(12, 2));
    return platform::parseDateTime(text);
}

} // namespace

std::optional<std::pair<int, platform::LocalTime>> parseBackupName(std::string_view name, std::string_view database) {
    if (name.size() <= database.size() + 1 || !name.starts_with(database) || name[database.size()] != '_')
        return std::nullopt;
    std::string_view rest = name.substr(database.size() + 1);
    if (rest.size() < kStampDigits + 1 || rest[kStampDigits] != '_')
        return std::nullopt;
    const auto stamp = parseStamp(rest.substr(0, kStampDigits));
    rest.remove_prefix(kStampDigits + 1);
    for (int k = kFull; k <= kLog; ++k) {
        const std::string_view code = kKindCodes[std::size_t(k)];
        if (stamp && rest.size() == code.size() + 4 && rest.starts_with(code) &&
            platform::equalsNoCase(rest.substr(code.size()), ".DAT"))
            return std::pair{k, *stamp};
    }
    return std::nullopt;
}

NewestBackups newestBackups(const fs::path& folder, std::string_view database) {
    NewestBackups found;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) {
        if (ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
            found.error = ec.message();
        return found;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        const auto parsed = parseBackupName(it->path().filename().string(), database);
        if (!parsed)
            continue;
        auto& newest = found.byKind[std::size_t(parsed->first)];
        if (!newest || parsed->second > newest->stamp)
            newest = BackupFile{it->path(), parsed->second};
    }
    if (ec)
        found.error = ec.message();
    return found;
}

} // namespace status
