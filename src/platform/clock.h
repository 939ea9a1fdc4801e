#pragma once
// The one source of "now". Production reads the system clock; --clock starts at a given instant
// and runs on in real time; tests move a manual clock by hand.

#include "platform/datetime.h"

#include <chrono>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    LocalTime now() const override;
};

// Starts at a given local instant and advances with the machine's steady clock.
class OffsetClock final : public Clock {
public:
    explicit OffsetClock(LocalTime start);
    LocalTime now() const override;

private:
    LocalTime start_;
    std::chrono::steady_clock::time_point origin_;
};

class ManualClock final : public Clock {
public:
    explicit ManualClock(LocalTime start) : now_(start) {}
    LocalTime now() const override { return now_; }
    void set(LocalTime t) { now_ = t; }
    void advance(std::chrono::seconds d) { now_ += d; }

private:
    LocalTime now_;
};

} // namespace platform
