#include "restore/check_log.h"

#include <cstdio>

namespace restore {
namespace {

const std::string S(core::kIdeographicSpace);

std::string seconds(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.3f秒", value);
    return buffer;
}

} // namespace

CheckLog::CheckLog(const std::filesystem::path& path, const platform::Clock& clock) : path_(path), clock_(clock) {}

void CheckLog::write(const CheckReport& report, const std::string& folder) {
    if (path_.empty())
        return;
    core::DailyLog log(path_, clock_);
    log.section("---------リストアチェック Start---------");
    log.line(std::string("ﾘｽﾄｱ元：") + (report.source == Source::Local ? "ローカル" : "外部") + S + folder);
    for (const DatabaseResult& d : report.databases) {
        if (d.ok)
            log.line("結果：成功" + S + "DB名：" + d.database + S + "ﾘｽﾄｱ時間：" + seconds(d.restoreSeconds) + S +
                     "ﾁｪｯｸ時間：" + seconds(d.checkSeconds));
        else
            log.line("結果：失敗" + S + "DB名：" + d.database);
        for (const std::string& file : d.files)
            log.line("ﾘｽﾄｱﾌｧｲﾙ名：" + file);
        if (!d.ok)
            core::logErrorDescription(log, d.error);
    }
    if (report.interrupted)
        log.line("【ﾘｽﾄｱﾁｪｯｸ中断】" + S + "原因：終了シグナル");
    else if (!report.cannotRun.empty())
        log.line("【ﾘｽﾄｱﾁｪｯｸ未実行】" + S + "原因：" + report.cannotRun);
    log.section("---------リストアチェック End---------");
}

void CheckLog::stateFileFailed(const std::string& path) {
    if (!path_.empty())
        core::DailyLog(path_, clock_).line("【ﾘｽﾄｱﾁｪｯｸ結果の保存失敗】" + S + "ﾌｧｲﾙ名：" + path);
}

} // namespace restore
