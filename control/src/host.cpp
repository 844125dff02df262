#include "control/host.h"

#include <chrono>
#include <mutex>

namespace control {
namespace {

std::uint32_t steadyTicks() {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::mutex hostMutex;
thread_local bool threadHasNoMessages = false;
Host currentHost{steadyTicks, [] {}};

Host snapshot() {
    std::lock_guard lock(hostMutex);
    return currentHost;
}

}  // namespace

void setHost(Host host) {
    std::lock_guard lock(hostMutex);
    currentHost.tickCount = host.tickCount ? std::move(host.tickCount) : steadyTicks;
    currentHost.pumpMessage =
        host.pumpMessage ? std::move(host.pumpMessage) : std::function<void()>([] {});
}

void setHostPump(std::function<void()> pumpMessage) {
    std::lock_guard lock(hostMutex);
    currentHost.pumpMessage = pumpMessage ? std::move(pumpMessage) : std::function<void()>([] {});
}

std::uint32_t tickCount() { return snapshot().tickCount(); }

void rdxPumpMessage() {
    if (!threadHasNoMessages) snapshot().pumpMessage();
}

void rdxNoMessagesOnThisThread() { threadHasNoMessages = true; }

}  // namespace control
