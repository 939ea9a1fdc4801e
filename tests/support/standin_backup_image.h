#pragma once
// The database image inside a backup file of the stand-in: the bytes after the header's blank
// line (the layout is in tools/sqlserver-standin/README.md, "Backup files").

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

// Empty when the file cannot be read or holds no header.
inline std::string standinBackupImage(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto end = bytes.find("\n\n");
    if (!bytes.starts_with("SQLSERVER-STANDIN-BACKUP ") || end == std::string::npos)
        return {};
    return bytes.substr(end + 2);
}

} // namespace testsupport
