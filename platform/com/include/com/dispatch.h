#pragma once
// Late-bound calls by dispatch id, the event sinks a control reports to, and the host
// site through which a control asks its container for timers and the message pump.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "com/result.h"
#include "com/variant.h"

namespace com {

using DispId = std::int32_t;

enum class Invoke { Method, PropertyGet, PropertyPut };

class Dispatch {
public:
    virtual ~Dispatch() = default;
    // `args` in the order the caller wrote them. `result` may be null.
    virtual HResult invoke(DispId id, Invoke kind, std::span<Variant> args, Variant* result) noexcept = 0;
    virtual HResult idOfName(std::string_view name, DispId& id) const noexcept = 0;
};

// Receives the events of one control, on the container's thread.
class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void onEvent(DispId id, std::span<const Variant> args) noexcept = 0;
};

// The container's services to a control it hosts.
class HostSite {
public:
    virtual ~HostSite() = default;
    // Starts or restarts timer `id`; the container calls Control::onTimer on its thread.
    virtual bool setTimer(unsigned id, unsigned intervalMs) = 0;
    virtual void killTimer(unsigned id) = 0;
    // One pass of the container's message pump, so that it stays responsive.
    virtual void pumpMessages() = 0;
};

// A control: a dispatch object that a container sites, drives by timers and listens to.
class Control : public Dispatch {
public:
    virtual void setSite(HostSite* site) noexcept = 0;
    virtual void onTimer(unsigned id) noexcept = 0;
    virtual void advise(EventSink* sink) noexcept = 0;
    virtual void unadvise(EventSink* sink) noexcept = 0;
};

// Calls for the container's code.
HResult callMethod(Dispatch& d, DispId id, std::vector<Variant> args, Variant* result = nullptr);
HResult getProperty(Dispatch& d, DispId id, Variant& result, std::vector<Variant> index = {});
HResult putProperty(Dispatch& d, DispId id, Variant value);

}  // namespace com
