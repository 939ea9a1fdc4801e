#include "platform/clock.h"

namespace platform {

LocalTime SystemClock::now() const {
    return toLocal(std::chrono::system_clock::now());
}

OffsetClock::OffsetClock(LocalTime start) : start_(start), origin_(std::chrono::steady_clock::now()) {}

LocalTime OffsetClock::now() const {
    const auto elapsed = std::chrono::steady_clock::now() - origin_;
    return start_ + std::chrono::floor<std::chrono::seconds>(elapsed);
}

} // namespace platform
