#include "app/scheduling.h"

#include "app/settings_opener.h"
#include "backup/db_list.h"
#include "backup/run_driver.h"

#include <QCoreApplication>

namespace app {

scheduler::DueTickServices dueTickServices(std::function<void(core::DbSession&)> openSettings) {
    return {backup::fnLoadDBList, backup::sbScheduleBackupRun, std::move(openSettings)};
}

std::function<void(core::DbSession&)> dialogFromTheJob(core::ProgramContext& ctx) {
    return [&ctx](core::DbSession& session) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&] { openSettingsDialog(ctx, session, nullptr); },
            Qt::BlockingQueuedConnection);
    };
}

int tickOnceStatus(const std::optional<scheduler::DueTickResult>& result) {
    if (!result)
        return 0;
    const bool clean =
        result->end == scheduler::DueTickEnd::RunCompleted && result->report && result->report->failures.empty();
    return clean ? 0 : 1;
}

void Scheduling::wire(scheduler::DueTickServices services, std::function<void(bool)> duringJob) {
    driver.tick().setDueTickWork(
        [services](scheduler::DueTickJob& job) { return scheduler::runDueTick(job, services); });
    driver.tick().setJobObservers(
        [duringJob] {
            if (duringJob)
                duringJob(true);
        },
        [this, duringJob](const scheduler::DueTickResult& result) {
            lastResult = result;
            if (duringJob)
                duringJob(false);
            if (once && !ending.requested())
                QCoreApplication::exit(0);
            ending.jobFinished();
        });
}

int Scheduling::tickOnce() {
    once = true;
    driver.tick().Timer1_Timer();
    if (driver.tick().jobRunning()) {
        const int status = QCoreApplication::exec();
        if (ending.requested())
            return status;
    }
    return tickOnceStatus(lastResult);
}

} // namespace app
