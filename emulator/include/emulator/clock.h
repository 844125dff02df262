#pragma once
// The time the reader's wire timing runs on. Tests use a ManualClock, on which waiting
// only moves the time on, so that no test ever sleeps.
#include <atomic>
#include <chrono>

namespace emulator {

class Clock {
public:
    using duration = std::chrono::nanoseconds;
    virtual ~Clock() = default;
    virtual duration now() const = 0;
    // Returns once now() >= t.
    virtual void sleepUntil(duration t) = 0;
};

// Real time, from the clock's creation.
class SteadyClock final : public Clock {
public:
    duration now() const override;
    void sleepUntil(duration t) override;

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// Time that moves only when told, or when somebody waits on it.
class ManualClock final : public Clock {
public:
    duration now() const override { return duration(now_.load()); }
    void sleepUntil(duration t) override;
    void advance(duration d) { now_ += d.count(); }

private:
    std::atomic<duration::rep> now_{0};
};

}  // namespace emulator
