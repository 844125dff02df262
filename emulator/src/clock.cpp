#include "emulator/clock.h"

#include <thread>

namespace emulator {

Clock::duration SteadyClock::now() const {
    return std::chrono::duration_cast<duration>(std::chrono::steady_clock::now() - start_);
}

void SteadyClock::sleepUntil(duration t) { std::this_thread::sleep_until(start_ + t); }

void ManualClock::sleepUntil(duration t) {
    auto current = now_.load();
    while (current < t.count() && !now_.compare_exchange_weak(current, t.count())) {
    }
}

}  // namespace emulator
