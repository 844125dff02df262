#pragma once
// A control of a few members, enough to drive the dispatch layer.
#include <string>
#include <vector>

#include "com/dispatch.h"

class FakeControl : public com::Control {
public:
    // 1: Value (I4 get/put); 2: Add(I2, I2) -> I4; 3: Name(I2 index) -> BSTR; 4: Fire(); 5: Pump()
    com::HResult invoke(com::DispId id, com::Invoke kind, std::span<com::Variant> args,
                        com::Variant* result) noexcept override {
        using namespace com;
        switch (id) {
        case 1:
            if (kind == Invoke::PropertyGet) return *result = Variant::i4(value), Ok;
            if (kind == Invoke::PropertyPut) return args.size() == 1 ? args[0].toI4(value) : BadParamCount;
            return MemberNotFound;
        case 2: {
            if (args.size() != 2) return BadParamCount;
            std::int16_t a = 0, b = 0;
            if (HResult r = args[0].toI2(a); r != Ok) return r;
            if (HResult r = args[1].toI2(b); r != Ok) return r;
            if (result) *result = Variant::i4(a + b);
            return Ok;
        }
        case 3: {
            std::int16_t i = 0;
            if (args.size() != 1 || args[0].toI2(i) != Ok) return BadParamCount;
            *result = Variant::bstr(i >= 1 && i <= 2 ? "名前" + std::to_string(i) : "");
            return Ok;
        }
        case 4: {
            Variant status = Variant::i4(101);
            for (auto* s : sinks) s->onEvent(1, std::span<const Variant>(&status, 1));
            return Ok;
        }
        case 5:
            if (site) site->pumpMessages();
            return Ok;
        default: return MemberNotFound;
        }
    }
    com::HResult idOfName(std::string_view name, com::DispId& id) const noexcept override {
        if (name == "Value") return id = 1, com::Ok;
        return com::UnknownName;
    }
    void setSite(com::HostSite* s) noexcept override { site = s; }
    void onTimer(unsigned id) noexcept override { timersFired.push_back(id); }
    void advise(com::EventSink* s) noexcept override { sinks.push_back(s); }
    void unadvise(com::EventSink* s) noexcept override { std::erase(sinks, s); }

    std::int32_t value = 0;
    com::HostSite* site = nullptr;
    std::vector<com::EventSink*> sinks;
    std::vector<unsigned> timersFired;
};
