#include "app/scheduler_driver.h"

#include <QTimer>

#include <cstdlib>
#include <string>

namespace app {

SchedulerDriver::SchedulerDriver(core::ProgramContext& ctx, std::chrono::milliseconds interval, QObject* parent)
    : QObject(parent), timer_(new QTimer(this)), tick_(ctx, jobs_) {
    timer_->setObjectName(QStringLiteral("Timer1"));
    timer_->setInterval(interval);
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

std::chrono::milliseconds tickIntervalFromEnvironment() {
    const char* text = std::getenv("ENCRT_TICK_INTERVAL_MS");
    if (!text || !*text)
        return SchedulerDriver::kInterval;
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    return *end == '\0' && ms > 0 ? std::chrono::milliseconds(ms) : SchedulerDriver::kInterval;
}

} // namespace app
