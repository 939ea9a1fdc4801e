#include "backup_procedure.h"

#include "backup_set.h"
#include "database_state.h"
#include "datetime.h"
#include "restore_set.h"
#include "utf.h"

#include <algorithm>

namespace standin {
namespace {

[[noreturn]] void refuse(const std::string& why) {
    throw SqlError(50000, why, kBackupProcedure);
}

const char* kindCode(BackupKind kind) {
    return kind == BackupKind::Full ? "INIT" : kind == BackupKind::Differential ? "DIFF" : "LOG";
}

} // namespace

void runBackup(const Catalog& catalog, const std::vector<std::string>& failing, const BackupCall& call,
               bool inTransaction, Reply& reply) {
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
    if (call.file.empty()) {
        refuse("No backup file was given.");
    }
    BackupRequest request{*database, call.file, BackupKind::Full, {}, true, *runTime};
    request.kind = kind == "init" ? BackupKind::Full : kind == "diff" ? BackupKind::Differential : BackupKind::Log;
    if (request.kind == BackupKind::Log && loadDatabaseState(catalog, *database).recoveryModel == "SIMPLE") {
        refuse("Database '" + *database + "' uses the SIMPLE recovery model, which has no log backups.");
    }
    request.name = (call.label + " " + call.runTime).substr(0, 128);
    try {
        if (inTransaction) {
            throw terminating(3021, "Cannot perform a backup or restore operation within a transaction.",
                              request.kind == BackupKind::Log ? "BACKUP LOG" : "BACKUP DATABASE");
        }
        Reply progress;
        backupDatabase(catalog, request, progress);
        verifyBackup(call.file, progress);
        for (ReplyItem& item : progress.items) {
            if (auto* message = std::get_if<ServerMessage>(&item)) {
                message->procedure = kBackupProcedure;
            }
            reply.items.push_back(std::move(item));
        }
    } catch (const SqlError& e) {
        SqlError failed(e.message());
        for (const ServerMessage& next : e.following()) {
            failed.follow(next);
        }
        failed.follow({50000, 1, 16,
                       std::string(kBackupProcedure) + ": the " + kindCode(request.kind) + " backup of database '" +
                           *database + "' to '" + call.file + "' failed.",
                       kBackupProcedure, 1});
        throw failed;
    }
}

} // namespace standin
