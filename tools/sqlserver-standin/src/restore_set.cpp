#include "restore_set.h"

#include "backup_file.h"
#include "backup_set.h"
#include "database_state.h"
#include "utf.h"

#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace standin {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kPageBytes = 8192;

// Reads a backup file for `statement`, turning what is wrong with it into SQL Server's errors.
BackupRead readForRestore(const std::string& file, bool withContent, const std::string& statement,
                          const std::string& database) {
    BackupRead read = readBackupFile(file, withContent);
    switch (read.error) {
    case BackupReadError::None:
        break;
    case BackupReadError::CannotOpen:
        throw terminating(3201,
                          "Cannot open backup device '" + file + "'. " +
                              operatingSystemError(errno == 0 ? ENOENT : errno) + ".",
                          statement);
    case BackupReadError::Malformed:
        throw terminating(3241,
                          "The media family on device '" + file +
                              "' is incorrectly formed. SQL Server cannot process this media family.",
                          statement);
    case BackupReadError::ContentDamaged:
        throw terminating(3183,
                          "RESTORE detected an error on page (1:" +
                              std::to_string(read.header.contentSize / kPageBytes) + ") in database \"" +
                              (database.empty() ? read.header.database : database) + "\" as read from the backup set.",
                          statement);
    }
    return read;
}

DateTimeValue datetimeOf(std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    const std::chrono::year_month_day day{std::chrono::year{local.tm_year + 1900},
                                          std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)},
                                          std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
    const std::chrono::year_month_day base{std::chrono::year{1900}, std::chrono::January, std::chrono::day{1}};
    const auto days = (std::chrono::sys_days{day} - std::chrono::sys_days{base}).count();
    const auto seconds = local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
    return DateTimeValue{static_cast<std::int32_t>(days), static_cast<std::uint32_t>(seconds * 300)};
}

Cell number(std::uint64_t value) {
    return static_cast<std::int64_t>(value);
}

std::string statementOf(const RestoreRequest& request) {
    return request.log ? "RESTORE LOG" : "RESTORE DATABASE";
}

// Where each file of the backup set goes: WITH MOVE, else where the backup says it was.
std::vector<BackupFileEntry> placeFiles(const BackupHeader& header, const RestoreRequest& request,
                                        const std::string& statement) {
    std::vector<BackupFileEntry> files = header.files;
    for (const auto& [logical, physical] : request.moves) {
        bool found = false;
        for (BackupFileEntry& file : files) {
            if (iequals(file.logicalName, logical)) {
                file.physicalName = physical;
                found = true;
            }
        }
        if (!found) {
            throw terminating(3234,
                              "Logical file '" + logical + "' is not part of database '" + request.database +
                                  "'. Use RESTORE FILELISTONLY to list the logical file names.",
                              statement);
        }
    }
    return files;
}

// A refusal found while planning a restore, as SQL Server ends it: 3119, then 3013.
[[noreturn]] void planningFailed(SqlError error, const std::string& statement) {
    error.follow({3119,
                  1,
                  16,
                  "Problems were identified while planning for the RESTORE statement. Previous messages provide "
                  "details.",
                  {},
                  1});
    error.follow({3013, 1, 16, statement + " is terminating abnormally.", {}, 1});
    throw error;
}

[[noreturn]] void cannotPlace(ServerMessage cause, const BackupFileEntry& file, const std::string& statement) {
    SqlError error(std::move(cause));
    error.follow({3156,
                  1,
                  16,
                  "File '" + file.logicalName + "' cannot be restored to '" + file.physicalName +
                      "'. Use WITH MOVE to identify a valid location for the file.",
                  {},
                  1});
    planningFailed(std::move(error), statement);
}

// Every target folder exists, no file belongs to another database, and the disk has room.
void checkPlacement(const Catalog& catalog, const std::vector<BackupFileEntry>& files, const std::string& target,
                    const std::string& statement) {
    std::uint64_t needed = 0;
    for (const BackupFileEntry& file : files) {
        const fs::path path(file.physicalName);
        std::error_code ec;
        if (!path.is_absolute() || !fs::is_directory(path.parent_path(), ec)) {
            cannotPlace({5133,
                         1,
                         16,
                         "Directory lookup for the file \"" + file.physicalName +
                             "\" failed with the operating system error 2(The system cannot find the file "
                             "specified.).",
                         {},
                         1},
                        file, statement);
        }
        for (const std::string& other : catalog.names()) {
            if (iequals(other, target)) {
                continue;
            }
            const DatabaseState state = loadDatabaseState(catalog, other);
            const fs::path otherData = state.dataFile.empty() ? catalog.fileOf(other) : fs::path(state.dataFile);
            if (fs::equivalent(path, otherData, ec) || path == otherData || path.string() == state.logFile) {
                cannotPlace({1834,
                             1,
                             16,
                             "The file '" + file.physicalName +
                                 "' cannot be overwritten.  It is being used by database '" + other + "'.",
                             {},
                             1},
                            file, statement);
            }
        }
        needed += file.size;
    }
    struct statvfs volume {};
    const fs::path folder = fs::path(files.front().physicalName).parent_path();
    if (::statvfs(folder.c_str(), &volume) == 0) {
        const std::uint64_t available = std::uint64_t{volume.f_bavail} * volume.f_frsize;
        if (available < needed) {
            planningFailed(SqlError({3257,
                                     1,
                                     16,
                                     "There is insufficient free space on disk volume '" + folder.string() +
                                         "' to create the database. The database requires " + std::to_string(needed) +
                                         " additional free bytes, while only " + std::to_string(available) +
                                         " bytes are available.",
                                     {},
                                     1}),
                           statement);
        }
    }
}

// Which step may follow the database's present state; throws SQL Server's refusal.
void checkStep(const std::optional<std::string>& existing, const DatabaseState& state, const BackupHeader& header,
               const RestoreRequest& request, const std::string& sessionDatabase, const std::string& statement) {
    if (existing && iequals(*existing, sessionDatabase)) {
        throw terminating(3101, "Exclusive access could not be obtained because the database is in use.", statement);
    }
    if (request.log != (header.kind == BackupKind::Log)) {
        throw terminating(3135,
                          "The backup set in file '" + *request.file + "' was created by " +
                              (header.kind == BackupKind::Log ? "BACKUP LOG" : "BACKUP DATABASE") +
                              " and cannot be used for this restore operation.",
                          statement);
    }
    const bool sameDatabase = existing && state.familyGuid == header.familyGuid;
    if (header.kind == BackupKind::Full) {
        if (existing && !request.replace && !sameDatabase) {
            throw terminating(3154,
                              "The backup set holds a backup of a database other than the existing '" + *existing +
                                  "' database.",
                              statement);
        }
        if (existing && !request.replace && !state.restoring && state.recoveryModel != "SIMPLE") {
            throw terminating(3159,
                              "The tail of the log for the database \"" + *existing +
                                  "\" has not been backed up. Use BACKUP LOG WITH NORECOVERY to backup the log if it "
                                  "contains work you do not want to lose. Use the WITH REPLACE or WITH STOPAT clause "
                                  "of the RESTORE statement to just overwrite the contents of the log.",
                              statement);
        }
        return;
    }
    if (!existing || !state.restoring) {
        throw terminating(3117,
                          "The log or differential backup cannot be restored because no files are ready to "
                          "rollforward.",
                          statement);
    }
    if (header.kind == BackupKind::Differential) {
        if (!sameDatabase || header.differentialBaseLsn != state.restoreBaseLsn || state.redoLsn > header.lastLsn) {
            throw terminating(3136,
                              "This differential backup cannot be restored because the database has not been "
                              "restored to the correct earlier state.",
                              statement);
        }
        return;
    }
    const std::string next = std::to_string(state.redoLsn);
    if (!sameDatabase || header.firstLsn > state.redoLsn) {
        throw terminating(4305,
                          "The log in this backup set begins at LSN " + std::to_string(header.firstLsn) +
                              ", which is too recent to apply to the database. An earlier log backup that includes "
                              "LSN " +
                              next + " can be restored.",
                          statement);
    }
    if (header.lastLsn <= state.redoLsn) {
        throw terminating(4326,
                          "The log in this backup set terminates at LSN " + std::to_string(header.lastLsn) +
                              ", which is too early to apply to the database. A more recent log backup that includes "
                              "LSN " +
                              next + " can be restored.",
                          statement);
    }
}

// Writes the data file (and a log file of the recorded size) and points the catalogue at it.
void placeDatabase(const Catalog& catalog, const std::string& name, const std::vector<BackupFileEntry>& files,
                   const std::string& image, DatabaseState& state, const std::string& statement) {
    const auto fail = [&](const std::string& path) {
        throw terminating(3201, "Cannot open backup device '" + path + "'. " + operatingSystemError(errno) + ".",
                          statement);
    };
    for (const BackupFileEntry& file : files) {
        if (file.type == 'D') {
            if (!writeFileAtomically(file.physicalName, image)) {
                fail(file.physicalName);
            }
            const fs::path entry = catalog.fileOf(name);
            std::error_code ec;
            if (fs::path(file.physicalName) != entry) {
                fs::remove(entry, ec);
                fs::create_symlink(file.physicalName, entry, ec);
                if (ec) {
                    fail(entry.string());
                }
                state.dataFile = file.physicalName;
            } else {
                state.dataFile.clear();
            }
        } else {
            const int fd = ::open(file.physicalName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(file.size)) != 0) {
                if (fd >= 0) {
                    ::close(fd);
                }
                fail(file.physicalName);
            }
            ::close(fd);
            state.logFile = file.physicalName;
        }
    }
}

void recover(const Catalog& catalog, const std::string& name, DatabaseState& state) {
    state.restoring = false;
    state.lsn = std::max(state.lsn, state.redoLsn) + 1;
    state.fullCheckpointLsn = state.restoreBaseLsn;
    state.logChainLsn = state.redoLsn;
    state.changeCounter = 0;
    advanceLsn(catalog, name, state);
}

void reportPages(const std::string& name, const BackupHeader& header, const std::string& statement,
                 std::chrono::steady_clock::time_point started, Reply& reply) {
    const std::string pages = std::to_string((header.contentSize + kPageBytes - 1) / kPageBytes);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char rate[96];
    std::snprintf(rate, sizeof rate, " in %.3f seconds (%.3f MB/sec).", seconds,
                  seconds > 0 ? static_cast<double>(header.contentSize) / 1048576.0 / seconds : 0.0);
    for (const BackupFileEntry& file : header.files) {
        reply.add(info(4035, "Processed " + (file.type == 'D' ? pages : std::string("1")) + " pages for database '" +
                                 name + "', file '" + file.logicalName + "' on file 1."));
    }
    reply.add(info(3014, statement + " successfully processed " + pages + " pages" + rate));
}

void recoverOnly(const Catalog& catalog, const RestoreRequest& request, const std::string& statement) {
    const auto existing = catalog.find(request.database);
    if (!existing) {
        throw terminating(
            911, "Database '" + request.database + "' does not exist. Make sure that the name is entered correctly.",
            statement);
    }
    DatabaseState state = loadDatabaseState(catalog, *existing);
    if (!state.restoring) {
        throw terminating(3153, "The database is already fully recovered.", statement);
    }
    if (request.recovery) {
        recover(catalog, *existing, state);
        saveDatabaseState(catalog, *existing, state);
    }
}

} // namespace

void restoreDatabase(Catalog& catalog, const RestoreRequest& request, const std::string& sessionDatabase,
                     Reply& reply) {
    const std::string statement = statementOf(request);
    const auto started = std::chrono::steady_clock::now();
    std::lock_guard lock(backupRestoreMutex());
    if (iequals(request.database, "tempdb") || iequals(request.database, "master")) {
        throw terminating(
            3147, "Backup and restore operations are not allowed on database " + request.database + " by this server.",
            statement);
    }
    if (!request.file) {
        recoverOnly(catalog, request, statement);
        return;
    }
    const BackupRead read = readForRestore(*request.file, true, statement, request.database);
    const BackupHeader& header = read.header;
    const auto existing = catalog.find(request.database);
    DatabaseState state = existing ? loadDatabaseState(catalog, *existing) : DatabaseState{};
    checkStep(existing, state, header, request, sessionDatabase, statement);

    const std::string name = existing.value_or(request.database);
    std::vector<BackupFileEntry> files = header.files;
    if (header.kind == BackupKind::Full) {
        files = placeFiles(header, request, statement);
        checkPlacement(catalog, files, name, statement);
        if (!existing) {
            catalog.create(name); // the entry the restored file replaces; fails for an unusable name
        }
        state = DatabaseState{};
        state.familyGuid = header.familyGuid;
        state.recoveryModel = header.recoveryModel;
        state.lsn = header.lastLsn;
        state.restoreBaseLsn = header.checkpointLsn;
    } else {
        for (BackupFileEntry& file : files) { // later steps go where the full step put the files
            if (file.type == 'D') {
                file.physicalName = state.dataFile.empty() ? catalog.fileOf(name).string() : state.dataFile;
            } else if (!state.logFile.empty()) {
                file.physicalName = state.logFile;
            }
        }
        state.differentialRestored = state.differentialRestored || header.kind == BackupKind::Differential;
    }
    state.restoring = true;
    state.redoLsn = header.lastLsn;
    placeDatabase(catalog, name, files, read.content, state, statement);
    if (request.recovery) {
        recover(catalog, name, state);
    }
    saveDatabaseState(catalog, name, state);
    reportPages(name, header, statement, started, reply);
}

ResultSet backupHeaderRows(const std::string& file) {
    const BackupHeader header = readForRestore(file, false, "RESTORE HEADERONLY", "").header;
    ResultSet result;
    const auto text = [&](const char* name, int size) { result.columns.push_back({name, SqlType::NVarChar, size}); };
    const auto integer = [&](const char* name, int size) { result.columns.push_back({name, SqlType::Int, size}); };
    const auto bit = [&](const char* name) { result.columns.push_back({name, SqlType::Bit, 1}); };
    const auto datetime = [&](const char* name) { result.columns.push_back({name, SqlType::DateTime, 8}); };
    text("BackupName", 128);
    text("BackupDescription", 255);
    integer("BackupType", 2);
    datetime("ExpirationDate");
    integer("Compressed", 1);
    integer("Position", 2);
    integer("DeviceType", 1);
    text("UserName", 128);
    text("ServerName", 128);
    text("DatabaseName", 128);
    integer("DatabaseVersion", 4);
    datetime("DatabaseCreationDate");
    integer("BackupSize", 8);
    integer("FirstLSN", 8);
    integer("LastLSN", 8);
    integer("CheckpointLSN", 8);
    integer("DatabaseBackupLSN", 8);
    datetime("BackupStartDate");
    datetime("BackupFinishDate");
    integer("CompatibilityLevel", 1);
    text("MachineName", 128);
    text("Collation", 128);
    text("FamilyGUID", 36);
    bit("HasBackupChecksums");
    bit("IsDamaged");
    bit("BeginsLogChain");
    bit("IsCopyOnly");
    text("RecoveryModel", 60);
    integer("DifferentialBaseLSN", 8);
    text("BackupTypeDescription", 60);
    const bool differential = header.kind == BackupKind::Differential;
    const Cell none = std::monostate{};
    result.rows.push_back(Row{header.backupName,
                              none,
                              std::int64_t{backupTypeCode(header.kind)},
                              none,
                              std::int64_t{0},
                              std::int64_t{1},
                              std::int64_t{2},
                              std::string("standin"),
                              std::string("standin"),
                              header.database,
                              std::int64_t{957},
                              datetimeOf(header.started),
                              number(header.contentSize),
                              number(header.firstLsn),
                              number(header.lastLsn),
                              number(header.checkpointLsn),
                              number(header.databaseBackupLsn),
                              datetimeOf(header.started),
                              datetimeOf(header.finished),
                              std::int64_t{160},
                              std::string("standin"),
                              header.collation,
                              header.familyGuid,
                              std::int64_t{1},
                              std::int64_t{0},
                              std::int64_t{header.kind == BackupKind::Log && header.databaseBackupLsn == 0 ? 1 : 0},
                              std::int64_t{0},
                              header.recoveryModel,
                              differential ? number(header.differentialBaseLsn) : none,
                              std::string(backupTypeDescription(header.kind))});
    return result;
}

ResultSet backupFileListRows(const std::string& file) {
    const BackupHeader header = readForRestore(file, false, "RESTORE FILELIST", "").header;
    ResultSet result;
    result.columns = {{"LogicalName", SqlType::NVarChar, 128},
                      {"PhysicalName", SqlType::NVarChar, 260},
                      {"Type", SqlType::NVarChar, 1},
                      {"FileGroupName", SqlType::NVarChar, 128},
                      {"Size", SqlType::Int, 8},
                      {"MaxSize", SqlType::Int, 8},
                      {"FileId", SqlType::Int, 8},
                      {"BackupSizeInBytes", SqlType::Int, 8},
                      {"SourceBlockSize", SqlType::Int, 4},
                      {"FileGroupId", SqlType::Int, 4},
                      {"IsReadOnly", SqlType::Bit, 1},
                      {"IsPresent", SqlType::Bit, 1}};
    std::int64_t id = 1;
    for (const BackupFileEntry& entry : header.files) {
        const bool data = entry.type == 'D';
        result.rows.push_back(Row{entry.logicalName, entry.physicalName, std::string(1, entry.type),
                                  data ? Cell{std::string("PRIMARY")} : Cell{std::monostate{}}, number(entry.size),
                                  std::int64_t{35184372080640}, id++,
                                  data ? number(header.contentSize) : Cell{std::int64_t{0}}, std::int64_t{512},
                                  std::int64_t{data ? 1 : 0}, std::int64_t{0}, std::int64_t{1}});
    }
    return result;
}

void verifyBackup(const std::string& file, Reply& reply) {
    readForRestore(file, true, "VERIFY DATABASE", "");
    reply.add(info(3262, "The backup set on file 1 is valid."));
}

} // namespace standin
