#pragma once
// A one-shot completion signal for host code that waits on a request it sent.
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace kernel::detail {

struct Signal {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;

    void set() {
        std::lock_guard lock(mutex);
        done = true;
        cv.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex);
        cv.wait(lock, [this] { return done; });
    }
    template <class Clock, class Duration>
    bool waitUntil(std::chrono::time_point<Clock, Duration> deadline) {
        std::unique_lock lock(mutex);
        return cv.wait_until(lock, deadline, [this] { return done; });
    }
};

}  // namespace kernel::detail
