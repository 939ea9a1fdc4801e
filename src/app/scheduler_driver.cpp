#include "app/scheduler_driver.h"

#include <QTimer>

namespace app {

SchedulerDriver::SchedulerDriver(core::ProgramContext& ctx, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)), tick_(ctx, *this) {
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setInterval(kIntervalMs);
    connect(timer_, &QTimer::timeout, this, [this] { tick_.Timer1_Timer(); });
}

void SchedulerDriver::setEnabled(bool enabled) {
    if (enabled)
        timer_->start();
    else
        timer_->stop();
}

bool SchedulerDriver::isEnabled() const {
    return timer_->isActive();
}

} // namespace app
