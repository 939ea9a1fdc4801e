#include "app/restore_command.h"

#include "app/app_texts.h"
#include "data/statement_cancel.h"
#include "platform/clock.h"
#include "platform/local_filesystem.h"
#include "platform/ui_sink.h"
#include "restore/restore_check.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <pthread.h>
#include <thread>

namespace app {
namespace {

// Waits for SIGTERM or SIGINT on a thread of its own (the signals are blocked everywhere else):
// the check is told to stop and the statement it is running is cancelled, so that it can drop the
// scratch database before it ends.
class StopOnSignal {
public:
    explicit StopOnSignal(std::atomic<bool>& stop) : stop_(stop) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGTERM);
        sigaddset(&signals_, SIGINT);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
        waiter_ = std::thread([this] { wait(); });
    }
    ~StopOnSignal() {
        done_ = true;
        waiter_.join();
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

private:
    void wait() {
        const timespec poll{0, 200 * 1000 * 1000};
        while (!done_) {
            if (sigtimedwait(&signals_, nullptr, &poll) > 0) {
                stop_ = true;
                data::cancelRunningStatements();
                return;
            }
        }
    }

    std::atomic<bool>& stop_;
    std::atomic<bool> done_{false};
    sigset_t signals_{};
    std::thread waiter_;
};

void print(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace

int runRestoreCheck(const Options& o) {
    std::atomic<bool> stop{false};
    StopOnSignal onSignal(stop);
    std::unique_ptr<platform::Clock> clock;
    if (o.clockStart)
        clock = std::make_unique<platform::OffsetClock>(*o.clockStart);
    else
        clock = std::make_unique<platform::SystemClock>();
    platform::HeadlessUiSink ui;
    const platform::LocalFileSystem files;
    const core::ProgramContext ctx(*clock, ui, files, o.configDir);
    restore::CheckOptions options{o.restoreFromExternal ? restore::Source::External : restore::Source::Local,
                                  o.restoreDatabases};
    const restore::CheckReport report = restore::RestoreCheck(ctx, options, stop).run();

    for (const restore::DatabaseResult& d : report.databases) {
        char durations[96];
        std::snprintf(durations, sizeof durations, "restore %.1f s, check %.1f s", d.restoreSeconds, d.checkSeconds);
        print(d.ok ? "OK\t" + d.database + "\t" + std::to_string(d.files.size()) + " files, " + durations + "\n"
                   : "FAILED\t" + d.database + "\t" + d.error + "\n");
    }
    if (report.interrupted)
        print("STOPPED\tthe check was ended by a signal; the scratch database was dropped\n");
    else if (!report.cannotRun.empty())
        print("NOT RUN\t" + report.cannotRun + "\n");
    return report.exitStatus();
}

} // namespace app
