#pragma once
// What the control needs of its host while it works: a millisecond tick count for its time
// limits, and a message pump that lets the host's window and timers live during long
// transfers. Tests replace both.
#include <cstdint>
#include <functional>

namespace control {

struct Host {
    std::function<std::uint32_t()> tickCount;  // milliseconds, wraps
    std::function<void()> pumpMessage;         // dispatch at most one pending message
};

// Installs the host's services; an empty member falls back to the default (a monotonic
// clock, and a pump that does nothing).
void setHost(Host host);
// Replaces only the message pump (the container's, once the control is sited); the tick
// count stays as it was. An empty pump does nothing.
void setHostPump(std::function<void()> pumpMessage);

std::uint32_t tickCount();
void rdxPumpMessage();

// Marks the calling thread as one without windows of its own (the playback worker): the pump
// does nothing there, since a message pump serves only its own thread's windows.
void rdxNoMessagesOnThisThread();

}  // namespace control
