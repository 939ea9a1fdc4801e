// Times one pass of the local retention over a backup folder: the listing with its exclusions,
// one modification-time read per file, and the deletion of the expired ones.
//
//   retention_bench FOLDER RUN-DATE(yyyy/MM/dd) TERM-DAYS

#include "backup/local_retention.h"
#include "core/daily_log.h"
#include "platform/clock.h"
#include "platform/local_filesystem.h"

#include <chrono>
#include <cstdio>
#include <iostream>

namespace {

class QuietSink : public platform::HeadlessUiSink {
protected:
    void writeLine(const std::string&) override {}
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: retention_bench FOLDER RUN-DATE(yyyy/MM/dd) TERM-DAYS\n";
        return 2;
    }
    const auto runTime = platform::parseDateTime(std::string(argv[2]) + " 02:00:00");
    if (!runTime) {
        std::cerr << "retention_bench: not a date: " << argv[2] << "\n";
        return 2;
    }
    platform::ManualClock clock(*runTime);
    QuietSink ui;
    const platform::LocalFileSystem files;
    core::ProgramContext ctx(clock, ui, files, argv[1]);
    core::Settings settings;
    settings.path = argv[1];
    settings.localPreserveTerm = core::termFromText(argv[3], 999, "30"); // as the load reads it
    const core::RunPlan plan{settings, *runTime, {}, "/dev/null", {}};
    core::DailyLog log(plan.dailyLog, ctx);

    const auto start = std::chrono::steady_clock::now();
    const auto failures = backup::sbDeleteExpiredBackupFiles(ctx, plan, log);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    std::printf("%.3f\n", std::chrono::duration<double>(elapsed).count());
    return failures.empty() ? 0 : 1;
}
