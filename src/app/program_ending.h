#pragma once
// How the resident program ends (the menu's 終了(&X), SIGTERM, SIGINT): at once when no job runs;
// otherwise it asks the job to stop and ends when the job has stopped, which cancels the statement
// in progress, starts nothing further, writes the stop's line last into the daily log and then
// releases its lock row. A job that has not stopped within the grace (a server that stopped
// answering holds the cancelled statement) is not waited for: the line is written here and the
// process ends without it.

#include "app/scheduler_driver.h"
#include "core/context.h"

#include <QObject>
#include <QTimer>

#include <chrono>
#include <optional>
#include <string>

namespace app {

class ProgramEnding : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kStopGrace{2500};

    ProgramEnding(SchedulerDriver& driver, core::ProgramContext& ctx, QObject* parent = nullptr);

    // Ends the program with `status`; `line` ends a running job's run in the daily log. Only the
    // first request counts.
    void request(const std::string& line, int status);
    // For the tick's observer: the job has ended.
    void jobFinished();
    bool requested() const { return status_.has_value(); }

private:
    SchedulerDriver& driver_;
    core::ProgramContext& ctx_;
    std::optional<int> status_;
    QTimer* grace_; // ends the process when the job has not stopped in time
};

// The line a run stopped from the tray menu ends with.
inline constexpr const char* kMenuEndLine = "---------スケジュールバックアップ 終了メニューにより中断しました---------";

} // namespace app
