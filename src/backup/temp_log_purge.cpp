#include "backup/temp_log_purge.h"

#include "common/string_utils.h"
#include "copy/retention.h"
#include "core/daily_log.h"
#include "core/product_folders.h"
#include "platform/filesystem.h"

#include <algorithm>
#include <string>
#include <vector>

namespace backup {
namespace {

using platform::LocalTime;

enum class DateFrom { Name, CreationTime };

struct Place {
    std::string folder; // ends in "/"
    std::string pattern;
    std::size_t nameLength; // 0: any name
    DateFrom dateFrom;
    bool onlyWhenPresent; // skipped when the folder is missing
};

std::vector<Place> placesBelow(const std::string& base) {
    return {
        {base + "/Temp/", std::string(17, '?'), 17, DateFrom::Name, true},
        {base + "/Temp/logfile/", "*.log", 0, DateFrom::CreationTime, false},
        {base + "/CONTLOG/", "*", 0, DateFrom::CreationTime, false},
        {base + "/Orvanti/MAIL/", std::string(14, '?'), 14, DateFrom::Name, true},
    };
}

struct Purge {
    const core::ProgramContext& ctx;
    core::DailyLog& log;
    const platform::FileSystem& fs;
    LocalTime limit;

    // An unreadable date counts as now, so that the item stays.
    LocalTime dateOf(const Place& place, const std::string& name) const {
        const auto date = place.dateFrom == DateFrom::Name ? dateInName(name) : fs.creationTime(place.folder + name);
        return date ? *date : ctx.clock.now();
    }

    struct Candidate {
        std::string path;
        bool isFolder;
    };

    std::vector<Candidate> candidates(const Place& place) const {
        std::vector<Candidate> out;
        std::error_code ec;
        const auto kinds = place.nameLength ? platform::EntryKinds::Both : platform::EntryKinds::Files;
        for (const auto& e : fs.list(place.folder, place.pattern, kinds, ec)) {
            // Work-folder names are written by the product as digits only; a name the number
            // test would also take (a sign, a decimal point) is not one of them and stays.
            if (place.nameLength && (e.name.size() != place.nameLength || !common::isDigits(e.name)))
                continue;
            if (dateOf(place, e.name) <= limit)
                out.push_back({place.folder + e.name, e.isFolder});
        }
        return out;
    }

    void clean(const Place& place) {
        if (place.onlyWhenPresent && !fs.folderExists(place.folder))
            return;
        for (const auto& [path, isFolder] : candidates(place)) {
            // The line goes first; the outcome of the deletion is not examined. A place of work
            // folders may also hold a file of such a name: it is deleted, and named, as a file.
            log.line((isFolder ? "削除フォルダ名：" : "削除ファイル名：") + path);
            if (isFolder)
                fs.deleteFolder(path);
            else
                fs.deleteFile(path);
        }
    }
};

std::string baseFolder(const core::ProgramContext& ctx, const platform::FileSystem& fs) {
    const std::string product = core::productFolder(ctx);
    return !product.empty() && fs.folderExists(product) ? product : ctx.programDir.string();
}

} // namespace

std::optional<LocalTime> dateInName(std::string_view name) {
    return name.size() < 14 ? std::nullopt : platform::parseYmdHms(name.substr(0, 14));
}

void sbDeleteTempLog(const core::ProgramContext& ctx, const core::RunPlan& plan) {
    core::DailyLog log(plan.dailyLog, ctx.clock);
    const core::Term& term = plan.settings.tempLogTerm;
    const LocalTime limit = LocalTime(platform::dayOf(plan.runTime) - term.days);
    log.section("---Pelmoraログファイルの削除 Start---");
    if (copy::skipForRefusedTerm(log, term)) {
        log.section("---Pelmoraログファイルの削除 End---");
        return;
    }
    log.line(std::string(40, '-'));
    log.line(term.text + "日経過ファイルが対象");
    log.line(std::string(40, '-'));
    Purge purge{ctx, log, ctx.files, limit};
    for (const auto& place : placesBelow(baseFolder(ctx, purge.fs)))
        purge.clean(place);
    log.section("---Pelmoraログファイルの削除 End---");
}

} // namespace backup
