#include "settings_dialog/form_saving.h"

#include "common/string_utils.h"
#include "scheduler/settings.h"

namespace settings_dialog {
namespace {

using common::trim;
using common::trimRight;

void write(const scheduler::ProgramContext& ctx, std::string_view section, std::string_view key,
           std::string_view value) {
    // A failed write has shown its own message; saving goes on with the next key.
    scheduler::writeScheduleIni(ctx, section, key, value);
}

void writeKind(const scheduler::ProgramContext& ctx, std::string_view section, const KindSchedule& kind) {
    write(ctx, section, "Day", kind.enabled ? maskFromDays(kind.days) : "NON");
    write(ctx, section, "Time", kind.enabled ? kind.time : "NON");
}

} // namespace

std::string selectedDatabases(const FormValues& v) {
    std::string joined;
    for (const DatabaseItem& item : v.databases) {
        if (!item.ticked)
            continue;
        if (!joined.empty())
            joined += '\t';
        joined += item.name;
    }
    return joined;
}

bool fnSaveSchedule(const scheduler::ProgramContext& ctx, const FormValues& v) {
    write(ctx, "Schedule", "Db", selectedDatabases(v));
    write(ctx, "Schedule", "Path", trimRight(v.dbBackupFolder));
    write(ctx, "Schedule", "LocalPreserveTerm", trim(v.localPreserveTerm));
    writeKind(ctx, "ScheduleAll", v.all);
    writeKind(ctx, "ScheduleDiff", v.diff);
    writeKind(ctx, "ScheduleLOG", v.log);
    write(ctx, "Schedule", "TEMPLOGTERM", trim(v.tempLogTerm));
    scheduler::sbSetZuzorIni(ctx, "ENCNT", "MAILSRLOGTERM", trim(v.tempLogTerm));
    return true;
}

bool fnSaveFileCopy(const scheduler::ProgramContext& ctx, const FormValues& v) {
    write(ctx, "FILE_COPY", "EXECUTE", v.fileCopy ? "1" : "0");
    if (!v.fileCopy)
        return true;
    write(ctx, "FILE_COPY", "DBBACKUPFILE_DIR", trimRight(v.dbCopyTarget));
    write(ctx, "FILE_COPY", "OutSidePreserveTerm", trim(v.outSidePreserveTerm));
    write(ctx, "FILE_COPY", "KEYFILE_DIR", trimRight(v.keyTarget));
    write(ctx, "FILE_COPY", "GIJYUTUFILE_DIR", trimRight(v.gijyutuTarget));
    return true;
}

bool fnSaveSettings(const scheduler::ProgramContext& ctx, const FormValues& v) {
    const bool schedule = fnSaveSchedule(ctx, v);
    const bool fileCopy = fnSaveFileCopy(ctx, v);
    return schedule && fileCopy;
}

} // namespace settings_dialog
