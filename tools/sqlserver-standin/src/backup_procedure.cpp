#include "backup_procedure.h"

#include "datetime.h"
#include "reply.h"
#include "utf.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace standin {
namespace {

namespace fs = std::filesystem;

[[noreturn]] void refuse(const std::string& why) {
    throw SqlError(50000, why, kBackupProcedure);
}

// A folder counts as not writable when writing is refused or its owner-write bit is clear; the
// bit check keeps the refusal working for a server that runs as root.
void checkFolder(const fs::path& folder) {
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        refuse("Backup folder '" + folder.string() + "' does not exist.");
    }
    if (::access(folder.c_str(), W_OK) != 0 || (info.st_mode & S_IWUSR) == 0) {
        refuse("Backup folder '" + folder.string() + "' is not writable.");
    }
}

// Copies the database page by page into memory through the online backup API, so a consistent
// snapshot is taken even while other clients write.
std::string snapshot(const fs::path& sourceFile) {
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
        refuse("Cannot read the database: " + error + ".");
    }
    return image;
}

// Writes to a temporary file beside the target and renames it, so the target is never half-written.
void writeFile(const fs::path& target, const std::string& image) {
    std::string temporary = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        refuse("Cannot write backup file '" + target.string() + "': " + std::strerror(errno) + ".");
    }
    std::size_t done = 0;
    while (done < image.size()) {
        const ssize_t n = ::write(fd, image.data() + done, image.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    const int saved = errno;
    const bool ok = done == image.size() && ::fsync(fd) == 0 && ::fchmod(fd, 0644) == 0;
    ::close(fd);
    if (!ok || ::rename(temporary.c_str(), target.c_str()) != 0) {
        const int why = ok ? errno : saved;
        ::unlink(temporary.c_str());
        refuse("Cannot write backup file '" + target.string() + "': " + std::strerror(why) + ".");
    }
}

void setModifiedTime(const fs::path& file, std::time_t when) {
    const timespec times[2] = {{when, 0}, {when, 0}};
    if (::utimensat(AT_FDCWD, file.c_str(), times, 0) != 0) {
        refuse("Cannot set the time of backup file '" + file.string() + "': " + std::strerror(errno) + ".");
    }
}

} // namespace

void runBackup(const Catalog& catalog, const std::vector<std::string>& failing, const BackupCall& call) {
    const std::string kind = asciiLower(call.kind);
    if (kind != "init" && kind != "diff" && kind != "log") {
        refuse("Unknown backup kind '" + call.kind + "': expected INIT, DIFF or LOG.");
    }
    const auto database = catalog.find(call.database);
    if (!database) {
        refuse("Database '" + call.database + "' does not exist.");
    }
    if (std::any_of(failing.begin(), failing.end(),
                    [&](const std::string& name) { return iequals(name, *database); })) {
        refuse("Backup of database '" + *database + "' failed: the server was started to refuse it (--fail-backup).");
    }
    const auto runTime = parseRunTime(call.runTime);
    if (!runTime) {
        refuse("Run time '" + call.runTime + "' is not in the form yyyy/MM/dd HH:mm:ss.");
    }
    const fs::path target(call.file);
    if (call.file.empty() || !target.is_absolute() || !target.has_filename()) {
        refuse("Backup file '" + call.file + "' is not a full file path.");
    }
    checkFolder(target.parent_path());
    writeFile(target, snapshot(catalog.fileOf(*database)));
    setModifiedTime(target, *runTime);
}

} // namespace standin
