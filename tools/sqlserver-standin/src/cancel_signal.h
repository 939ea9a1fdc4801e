#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace standin {

// Set by the connection's reader thread when the client sends ATTENTION; waited on by statements
// that sleep (WAITFOR) so that they end at once.
class CancelSignal {
public:
    void raise() {
        {
            std::lock_guard lock(mutex_);
            raised_ = true;
        }
        changed_.notify_all();
    }
    bool raised() const {
        std::lock_guard lock(mutex_);
        return raised_;
    }
    void clear() {
        std::lock_guard lock(mutex_);
        raised_ = false;
    }
    // Sleeps for the duration; false when the signal was raised first.
    bool sleep_for(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex_);
        return !changed_.wait_for(lock, duration, [this] { return raised_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool raised_ = false;
};

} // namespace standin
