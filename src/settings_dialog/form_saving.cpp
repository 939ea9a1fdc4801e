#include "settings_dialog/form_saving.h"

#include "common/string_utils.h"
#include "common/vbfile.h"
#include "core/settings.h"

namespace settings_dialog {
namespace {

using common::trim;
using common::trimRight;

// A failed write shows its own message. Saving stops there: a file that refuses one key refuses
// the next ones too, and one message is what the user needs to read.
bool write(const core::ProgramContext& ctx, std::string_view section, std::string_view key, std::string_view value) {
    return core::writeScheduleIni(ctx, section, key, value);
}

bool writeKind(const core::ProgramContext& ctx, std::string_view section, const KindSchedule& kind) {
    return write(ctx, section, "Day", kind.enabled ? maskFromDays(kind.days) : "NON") &&
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

bool fnSaveSchedule(const core::ProgramContext& ctx, const FormValues& v) {
    return write(ctx, "Schedule", "Db", selectedDatabases(v)) &&
           write(ctx, "Schedule", "Path", trimRight(v.dbBackupFolder)) &&
           write(ctx, "Schedule", "LocalPreserveTerm", trim(v.localPreserveTerm)) &&
           writeKind(ctx, "ScheduleAll", v.all) && writeKind(ctx, "ScheduleDiff", v.diff) &&
           writeKind(ctx, "ScheduleLOG", v.log) && write(ctx, "Schedule", "TEMPLOGTERM", trim(v.tempLogTerm)) &&
           common::VBFILE_WriteINI(ctx.ui, "ENCNT", "MAILSRLOGTERM", trim(v.tempLogTerm), core::fnGetZuzorIniPath(ctx));
}

bool fnSaveFileCopy(const core::ProgramContext& ctx, const FormValues& v) {
    if (!write(ctx, "FILE_COPY", "EXECUTE", v.fileCopy ? "1" : "0"))
        return false;
    if (!v.fileCopy)
        return true;
    return write(ctx, "FILE_COPY", "DBBACKUPFILE_DIR", trimRight(v.dbCopyTarget)) &&
           write(ctx, "FILE_COPY", "OutSidePreserveTerm", trim(v.outSidePreserveTerm)) &&
           write(ctx, "FILE_COPY", "KEYFILE_DIR", trimRight(v.keyTarget)) &&
           write(ctx, "FILE_COPY", "GIJYUTUFILE_DIR", trimRight(v.gijyutuTarget));
}

bool fnSaveSettings(const core::ProgramContext& ctx, const FormValues& v) {
    return fnSaveSchedule(ctx, v) && fnSaveFileCopy(ctx, v);
}

} // namespace settings_dialog
