#include "runtime/events.h"

#include <utility>

namespace runtime {

namespace {
std::function<void()>& hook() {
    static std::function<void()> h;
    return h;
}
}  // namespace

void doEvents() {
    if (auto& h = hook()) h();
}

std::function<void()> setDoEventsHook(std::function<void()> h) { return std::exchange(hook(), std::move(h)); }

}  // namespace runtime
