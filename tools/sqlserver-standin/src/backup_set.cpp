#include "backup_set.h"

#include "database_state.h"
#include "utf.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {
namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kPageBytes = 8192;
constexpr std::uint64_t kLogFileBytes = 8u << 20; // the log file a new database gets

std::string statementName(BackupKind kind) {
    return kind == BackupKind::Log ? "BACKUP LOG" : "BACKUP DATABASE";
}

// The backup device's folder must exist and take writes; the owner-write bit is checked as well,
// so that the refusal also works for a server that runs as root.
void checkDevice(const fs::path& file, const std::string& statement) {
    struct stat info {};
    const fs::path folder = file.parent_path();
    int error = 0;
    if (!file.is_absolute() || !file.has_filename() || ::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        error = ENOENT;
    } else if (::access(folder.c_str(), W_OK) != 0 || (info.st_mode & S_IWUSR) == 0) {
        error = EACCES;
    }
    if (error != 0) {
        throw terminating(
            3201, "Cannot open backup device '" + file.string() + "'. " + operatingSystemError(error) + ".", statement);
    }
}

void checkChain(const std::string& database, const DatabaseState& state, BackupKind kind,
                const std::string& statement) {
    if (kind == BackupKind::Differential && state.fullCheckpointLsn == 0) {
        throw terminating(3035,
                          "Cannot perform a differential backup for database \"" + database +
                              "\", because a current database backup does not exist. Perform a full database "
                              "backup by reissuing BACKUP DATABASE, omitting the WITH DIFFERENTIAL option.",
                          statement);
    }
    if (kind == BackupKind::Log && state.recoveryModel == "SIMPLE") {
        throw terminating(4208,
                          "The statement BACKUP LOG is not allowed while the recovery model is SIMPLE. Use BACKUP "
                          "DATABASE or change the recovery model using ALTER DATABASE.",
                          statement);
    }
    if (kind == BackupKind::Log && state.logChainLsn == 0) {
        throw terminating(4214, "BACKUP LOG cannot be performed because there is no current database backup.",
                          statement);
    }
}

// Takes the backup's LSNs from the state and moves the state on as SQL Server's log does.
void assignLsns(BackupHeader& header, DatabaseState& state) {
    const std::uint64_t checkpoint = ++state.lsn;
    state.lsn += 2; // the backup's own log records
    header.checkpointLsn = checkpoint;
    header.lastLsn = state.lsn;
    header.databaseBackupLsn = state.fullCheckpointLsn;
    switch (header.kind) {
    case BackupKind::Full:
        header.firstLsn = checkpoint;
        state.fullCheckpointLsn = checkpoint;
        state.logChainLsn = state.logChainLsn == 0 ? checkpoint : state.logChainLsn;
        break;
    case BackupKind::Differential:
        header.firstLsn = checkpoint;
        header.differentialBaseLsn = header.databaseBackupLsn;
        state.logChainLsn = state.logChainLsn == 0 ? checkpoint : state.logChainLsn; // after SIMPLE → FULL
        break;
    case BackupKind::Log:
        header.firstLsn = state.logChainLsn;
        state.logChainLsn = header.lastLsn;
        break;
    }
}

void setModifiedTime(const fs::path& file, std::time_t when, const std::string& statement) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    if (::utimensat(AT_FDCWD, file.c_str(), times, 0) != 0) {
        throw terminating(
            3201, "Cannot open backup device '" + file.string() + "'. " + operatingSystemError(errno) + ".", statement);
    }
}

std::string pagesText(std::uint64_t bytes) {
    return std::to_string((bytes + kPageBytes - 1) / kPageBytes);
}

} // namespace

std::mutex& backupRestoreMutex() {
    static std::mutex mutex;
    return mutex;
}

SqlError terminating(ServerMessage cause, const std::string& statement) {
    SqlError error(std::move(cause));
    error.follow(ServerMessage{3013, 1, 16, statement + " is terminating abnormally.", {}, 1});
    return error;
}

SqlError terminating(std::int32_t number, const std::string& text, const std::string& statement) {
    return terminating(ServerMessage{number, 1, 16, text, {}, 1}, statement);
}

ServerMessage info(std::int32_t number, std::string text) {
    return ServerMessage{number, 1, 0, std::move(text), {}, 1};
}

std::string operatingSystemError(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        return "Operating system error 3(The system cannot find the path specified.)";
    case EACCES:
    case EPERM:
    case EROFS:
        return "Operating system error 5(Access is denied.)";
    case ENOSPC:
        return "Operating system error 112(There is not enough space on the disk.)";
    default:
        return "Operating system error " + std::to_string(error) + "(" + std::strerror(error) + ")";
    }
}

std::string snapshotDatabase(const fs::path& sourceFile) {
    sqlite3* source = nullptr;
    sqlite3* copy = nullptr;
    std::string image;
    std::string error;
    if (sqlite3_open_v2(sourceFile.c_str(), &source, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        sqlite3_open(":memory:", &copy) != SQLITE_OK) {
        error = "cannot open the database file";
    } else {
        sqlite3_busy_timeout(source, 10000);
        sqlite3_backup* backup = sqlite3_backup_init(copy, "main", source, "main");
        const int rc = backup != nullptr ? sqlite3_backup_step(backup, -1) : sqlite3_errcode(copy);
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE) {
            error = sqlite3_errstr(rc);
        } else {
            sqlite3_int64 size = 0;
            unsigned char* bytes = sqlite3_serialize(copy, "main", &size, 0);
            if (bytes != nullptr) {
                image.assign(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(size));
            }
            sqlite3_free(bytes);
        }
    }
    sqlite3_close(copy);
    sqlite3_close(source);
    if (!error.empty()) {
        throw SqlError(3203, "Read on \"" + sourceFile.string() + "\" failed: " + error + ".");
    }
    return image;
}

bool writeFileAtomically(const fs::path& target, const std::string& bytes) {
    std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    int saved = done == bytes.size() ? 0 : (errno != 0 ? errno : ENOSPC);
    if (saved == 0 && (::fsync(fd) != 0 || ::fchmod(fd, 0644) != 0)) {
        saved = errno;
    }
    ::close(fd);
    if (saved == 0 && ::rename(temporary.c_str(), target.c_str()) != 0) {
        saved = errno;
    }
    if (saved != 0) {
        ::unlink(temporary.c_str());
        errno = saved;
        return false;
    }
    return true;
}

void backupDatabase(const Catalog& catalog, const BackupRequest& request, Reply& reply) {
    const std::string statement = statementName(request.kind);
    const auto started = std::chrono::steady_clock::now();
    std::lock_guard lock(backupRestoreMutex());
    const auto database = catalog.find(request.database);
    if (!database) {
        throw terminating(
            911, "Database '" + request.database + "' does not exist. Make sure that the name is entered correctly.",
            statement);
    }
    if (iequals(*database, "tempdb")) {
        throw terminating(3147, "Backup and restore operations are not allowed on database tempdb.", statement);
    }
    DatabaseState state = loadDatabaseState(catalog, *database);
    if (state.restoring) {
        throw terminating(927, "Database '" + *database + "' cannot be opened. It is in the middle of a restore.",
                          statement);
    }
    checkChain(*database, state, request.kind, statement);
    const fs::path file(request.file);
    checkDevice(file, statement);
    if (!request.overwrite && fs::exists(file)) {
        throw terminating(3201,
                          "Cannot open backup device '" + request.file +
                              "'. This server keeps one backup set per file: write it WITH INIT or FORMAT.",
                          statement);
    }

    BackupHeader header;
    header.database = *database;
    header.kind = request.kind;
    header.started = std::time(nullptr);
    header.familyGuid = state.familyGuid;
    header.recoveryModel = state.recoveryModel;
    header.collation = catalog.collationOf(*database).name();
    header.backupName = request.name;
    const std::string image = snapshotDatabase(catalog.fileOf(*database));
    advanceLsn(catalog, *database, state);
    assignLsns(header, state);
    const fs::path dataFile = state.dataFile.empty() ? catalog.fileOf(*database) : fs::path(state.dataFile);
    fs::path logFile = state.logFile.empty() ? catalog.fileOf(*database) : fs::path(state.logFile);
    if (state.logFile.empty()) {
        logFile.replace_filename(*database + "_log.ldf");
    }
    header.files = {{*database, dataFile.string(), 'D', image.size()},
                    {*database + "_log", logFile.string(), 'L', kLogFileBytes}};
    header.finished = std::time(nullptr);
    if (!writeFileAtomically(file, encodeBackupFile(header, image))) {
        throw terminating(
            3201, "Cannot open backup device '" + request.file + "'. " + operatingSystemError(errno) + ".", statement);
    }
    if (request.fileTime) {
        setModifiedTime(file, *request.fileTime, statement);
    }
    saveDatabaseState(catalog, *database, state);

    const std::string pages = pagesText(image.size());
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char rate[96];
    std::snprintf(rate, sizeof rate, " in %.3f seconds (%.3f MB/sec).", seconds,
                  seconds > 0 ? static_cast<double>(image.size()) / 1048576.0 / seconds : 0.0);
    if (request.kind != BackupKind::Log) {
        reply.add(info(4035, "Processed " + pages + " pages for database '" + *database + "', file '" + *database +
                                 "' on file 1."));
    }
    reply.add(
        info(4035, "Processed 1 pages for database '" + *database + "', file '" + *database + "_log' on file 1."));
    reply.add(info(3014, statement + " successfully processed " + pages + " pages" + rate));
}

} // namespace standin
