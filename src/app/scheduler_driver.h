#pragma once
// Timer1, the one-minute timer on the GUI thread, the scheduler tick it drives and the thread its
// jobs run on. The first tick comes one interval after the timer is switched on.

#include "app/job_thread.h"
#include "scheduler/tick.h"

#include <QObject>

#include <chrono>

class QTimer;

namespace app {

class SchedulerDriver : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kInterval{60000};

    explicit SchedulerDriver(core::ProgramContext& ctx, std::chrono::milliseconds interval = kInterval,
                             QObject* parent = nullptr);

    QTimer& Timer1() const { return *timer_; }
    scheduler::SchedulerTick& tick() { return tick_; }
    ThreadJobRunner& jobs() { return jobs_; }

    void setEnabled(bool enabled);
    bool isEnabled() const;

private:
    QTimer* timer_;
    ThreadJobRunner jobs_;
    scheduler::SchedulerTick tick_;
};

// The interval of Timer1: ENCRT_TICK_INTERVAL_MS when set to a number of milliseconds (for tests,
// which must not wait a real minute), else one minute.
std::chrono::milliseconds tickIntervalFromEnvironment();

} // namespace app
