#pragma once
// The database image inside a backup file of the stand-in: the bytes after the header's blank
// line (the layout is in tools/sqlserver-standin/README.md, "Backup files").

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sqlite3.h>
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

// That image opened read-only as an SQLite database in memory; nullptr when there is none. The
// caller closes it.
inline sqlite3* openStandinBackupImage(const std::filesystem::path& file) {
    const std::string image = standinBackupImage(file);
    sqlite3* db = nullptr;
    if (image.empty() || sqlite3_open(":memory:", &db) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    auto* bytes = static_cast<unsigned char*>(sqlite3_malloc64(image.size()));
    std::copy(image.begin(), image.end(), bytes);
    sqlite3_deserialize(db, "main", bytes, sqlite3_int64(image.size()), sqlite3_int64(image.size()),
                        SQLITE_DESERIALIZE_FREEONCLOSE | SQLITE_DESERIALIZE_READONLY);
    return db;
}

} // namespace testsupport
