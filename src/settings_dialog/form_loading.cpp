#include "settings_dialog/form_loading.h"

#include "common/string_utils.h"
#include "core/product_folders.h"
#include "core/settings.h"

namespace settings_dialog {
namespace {

using common::trim;

// The text as written when its leading number lies in the range, else the fallback.
std::string termOr(std::string text, double low, double high, std::string_view fallback) {
    const double value = common::fnVal(text);
    return value >= low && value <= high ? text : std::string(fallback);
}

void loadKind(const core::ProgramContext& ctx, std::string_view section, KindSchedule& kind) {
    const std::string day = trim(core::fnGetScheduleIni(ctx, section, "Day"));
    if (!core::isValidDay(day)) {
        kind.enabled = false; // days and time keep their defaults
        return;
    }
    kind.enabled = true;
    kind.days = daysFromMask(day);
    const std::string time = trim(core::fnGetScheduleIni(ctx, section, "Time"));
    if (core::isValidTime(time))
        kind.time = time;
}

} // namespace

void sbClearSchedule(FormValues& v) {
    v.databases.clear();
    v.dbBackupFolder.clear();
    v.localPreserveTerm = "30";
    for (KindSchedule* kind : {&v.all, &v.diff, &v.log})
        *kind = KindSchedule{};
    v.tempLogTerm = "90";
}

void sbClearFileCopy(FormValues& v) {
    v.dbCopySource.clear();
    v.dbCopyTarget.clear();
    v.keySource.clear();
    v.keyTarget.clear();
    v.gijyutuSource.clear();
    v.gijyutuTarget.clear();
    v.outSidePreserveTerm = "60";
}

void sbSetDbListAndDefaults(FormValues& v, const std::vector<std::string>& serverDatabases) {
    for (const std::string& name : serverDatabases)
        v.databases.push_back({name, false});
    v.all.days = {true, false, false, false, false, false, false};
    v.all.time = "09:00";
    v.diff.days = {false, true, true, true, true, false, false};
    v.diff.time = "09:00";
    v.log.days = {false, false, false, false, true, false, false};
    v.log.time = "11:00";
}

void sbLoadSchedule(const core::ProgramContext& ctx, const std::vector<std::string>& serverDatabases, FormValues& v) {
    std::vector<std::string> selected;
    if (core::fnCheckDbNames(ctx, serverDatabases, selected)) {
        for (DatabaseItem& item : v.databases)
            for (const std::string& name : selected)
                item.ticked = item.ticked || item.name == name;
    }
    v.dbBackupFolder = trim(core::fnGetScheduleIni(ctx, "Schedule", "Path"));
    v.localPreserveTerm = termOr(trim(core::fnGetScheduleIni(ctx, "Schedule", "LocalPreserveTerm")), 1, 999, "30");
    loadKind(ctx, "ScheduleAll", v.all);
    loadKind(ctx, "ScheduleDiff", v.diff);
    loadKind(ctx, "ScheduleLOG", v.log);
    v.tempLogTerm = trim(core::effectiveTempLogTerm(ctx));
}

void sbLoadFileCopy(const core::ProgramContext& ctx, FormValues& v) {
    v.dbCopySource = trim(core::fnGetScheduleIni(ctx, "Schedule", "Path"));
    v.dbCopyTarget = trim(core::fnGetScheduleIni(ctx, "FILE_COPY", "DBBACKUPFILE_DIR"));
    // Anything but "0", a missing key included, means copying is on.
    v.fileCopy = trim(core::fnGetScheduleIni(ctx, "FILE_COPY", "EXECUTE")) != "0";
    v.outSidePreserveTerm = termOr(trim(core::fnGetScheduleIni(ctx, "FILE_COPY", "OutSidePreserveTerm")), 1, 999, "60");
    v.keySource = core::certificateSourceFolder(ctx);
    v.keyTarget = trim(core::fnGetScheduleIni(ctx, "FILE_COPY", "KEYFILE_DIR"));
    v.gijyutuSource = core::documentsSourceFolder(ctx);
    v.gijyutuTarget = trim(core::fnGetScheduleIni(ctx, "FILE_COPY", "GIJYUTUFILE_DIR"));
}

FormValues loadedValues(const core::ProgramContext& ctx, const std::vector<std::string>& serverDatabases) {
    FormValues v;
    sbClearSchedule(v);
    sbClearFileCopy(v);
    sbSetDbListAndDefaults(v, serverDatabases);
    sbLoadSchedule(ctx, serverDatabases, v);
    sbLoadFileCopy(ctx, v);
    return v;
}

} // namespace settings_dialog
