#include "control/state.h"

#include <atomic>

#include "control/errors.h"

namespace control {
namespace {

// The playback worker moves the progress while the program's thread reads it.
std::atomic<int> mode{ModeStandby};
std::atomic<long> position{0};
std::atomic<long> length{0};

}  // namespace

int actionMode() { return mode.load(); }
void setActionMode(int value) { mode.store(value); }

long progressPosition() { return position.load(); }
long progressLength() { return length.load(); }
void setProgress(long newPosition, long newLength) {
    position.store(newPosition);
    length.store(newLength);
}
void setProgressLength(long value) { length.store(value); }
void setProgressPosition(long value) { position.store(value); }
void advanceProgress() { position.fetch_add(1); }

MethodScope::MethodScope(int wanted) {
    found_ = mode.load();
    while (found_ == ModeStandby || found_ == ModeEvent) {
        if (mode.compare_exchange_weak(found_, wanted)) {
            accepted_ = true;
            return;
        }
    }
}

MethodScope::~MethodScope() {
    if (accepted_) mode.store(ModeStandby);
}

int MethodScope::refusal() const { return cardError::Busy + found_; }

}  // namespace control
