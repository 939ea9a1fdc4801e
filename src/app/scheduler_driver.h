#pragma once
// Timer1, the one-minute timer on the GUI thread, and the scheduler tick it drives. The tick
// switches the timer through scheduler::TickTimer; the first tick comes one interval after the
// timer is switched on, and each switch-on starts a full interval again.

#include "scheduler/tick.h"

#include <QObject>

class QTimer;

namespace app {

class SchedulerDriver : public QObject, private scheduler::TickTimer {
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 60000;

    explicit SchedulerDriver(core::ProgramContext& ctx, QObject* parent = nullptr);

    QTimer& Timer1() const { return *timer_; }
    scheduler::SchedulerTick& tick() { return tick_; }

    void setEnabled(bool enabled);
    bool isEnabled() const;

private:
    void setTimerEnabled(bool enabled) override { setEnabled(enabled); }

    QTimer* timer_;
    scheduler::SchedulerTick tick_;
};

} // namespace app
