#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace standin {

enum class BackupKind { Full, Differential, Log };

// One file of a backup set as RESTORE FILELISTONLY lists it.
struct BackupFileEntry {
    std::string logicalName;
    std::string physicalName;
    char type = 'D'; // 'D' data, 'L' log
    std::uint64_t size = 0;
};

// The header every backup file of this server begins with; the layout is described in the
// server's README ("Backup files").
struct BackupHeader {
    std::string database;
    BackupKind kind = BackupKind::Full;
    std::time_t started = 0;
    std::time_t finished = 0;
    std::uint64_t firstLsn = 0;
    std::uint64_t lastLsn = 0;
    std::uint64_t checkpointLsn = 0;
    std::uint64_t databaseBackupLsn = 0;
    std::uint64_t differentialBaseLsn = 0; // differential backups only
    std::string familyGuid;                // the database's identity, kept across restores
    std::string recoveryModel;             // FULL, BULK_LOGGED or SIMPLE
    std::string collation = "Japanese_CI_AS";
    std::string backupName;
    std::vector<BackupFileEntry> files;
    std::uint32_t contentChecksum = 0; // CRC-32 of the content
    std::uint64_t contentSize = 0;
};

// SQL Server's BackupType codes (RESTORE HEADERONLY): 1 database, 5 differential, 2 log.
int backupTypeCode(BackupKind kind);
const char* backupTypeDescription(BackupKind kind);

std::uint32_t crc32(const std::string& bytes);

// The file's bytes: the header (with a checksum of its own) followed by the content.
std::string encodeBackupFile(BackupHeader header, const std::string& content);

// How reading a backup file went wrong.
enum class BackupReadError { None, CannotOpen, Malformed, ContentDamaged };

struct BackupRead {
    BackupReadError error = BackupReadError::None;
    std::string osError; // CannotOpen: the system's reason
    BackupHeader header;
    std::string content; // only when asked for
};

// Reads and checks the header; with `withContent` also reads the content and checks its checksum.
BackupRead readBackupFile(const std::filesystem::path& file, bool withContent);

} // namespace standin
