#pragma once
// A scripted card control for the card window's tests: results of its methods, values of
// its getters, a log of every call, and events fired at the window on demand.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "card/card_control.h"
#include "com/registry.h"

namespace cardtest {

class FakeCard final : public com::Control {
public:
    // Results of the card methods by dispatch id, taken in order; the last one stays.
    std::map<com::DispId, std::deque<std::int32_t>> results;
    // Property values (by id) and indexed values (by id and index).
    std::map<com::DispId, com::Variant> props;
    std::map<std::pair<com::DispId, int>, com::Variant> indexed;
    // Called before a method returns, with its arguments (for side effects such as files).
    std::map<com::DispId, std::function<void(std::span<com::Variant>)>> onCall;
    // Every call: "23(/path)", "put 13=-1", ...
    std::vector<std::string> log;

    com::HResult invoke(com::DispId id, com::Invoke kind, std::span<com::Variant> args,
                        com::Variant* result) noexcept override {
        std::string entry = kind == com::Invoke::PropertyPut ? "put " + std::to_string(id) + "=" : std::to_string(id);
        for (auto& a : args) entry += (kind == com::Invoke::PropertyPut ? "" : "(") + a.asString() + (kind == com::Invoke::PropertyPut ? "" : ")");
        if (kind == com::Invoke::PropertyPut) {
            props[id] = args[0];
            log.push_back(entry);
            return com::Ok;
        }
        const bool isMethod = id >= card::dispid::ReadCardData && id <= card::dispid::GetCardError;
        if (isMethod || id == card::dispid::CardStatus) log.push_back(entry);
        if (auto it = onCall.find(id); it != onCall.end()) it->second(args);
        com::Variant value;
        if (isMethod || id == card::dispid::CardStatus) {
            value = com::Variant::i4(next(id));
        } else if (!args.empty() && id != card::dispid::ErrorMessage) {
            auto it = indexed.find({id, args[0].asI4()});
            if (it != indexed.end()) value = it->second;
            else value = com::Variant();
        } else if (id == card::dispid::ErrorMessage) {
            value = com::Variant::bstr("text of " + args[0].asString());
        } else {
            auto it = props.find(id);
            value = it != props.end() ? it->second : com::Variant();
        }
        if (result) *result = value;
        return com::Ok;
    }
    com::HResult idOfName(std::string_view, com::DispId&) const noexcept override { return com::UnknownName; }
    void setSite(com::HostSite*) noexcept override {}
    void onTimer(unsigned) noexcept override {}
    void advise(com::EventSink* sink) noexcept override { sink_ = sink; }
    void unadvise(com::EventSink*) noexcept override { sink_ = nullptr; }

    void fire(com::DispId id, std::vector<com::Variant> args) {
        if (sink_) sink_->onEvent(id, args);
    }
    // Calls of one method in the log.
    int calls(com::DispId id) const {
        int n = 0;
        const std::string key = std::to_string(id);
        for (const auto& e : log)
            if (e == key || e.rfind(key + "(", 0) == 0) ++n;
        return n;
    }
    void setStatus(std::int32_t status) { results[card::dispid::CardStatus] = {status}; }
    // A usable card whose schedule and settings were last written on the given dates.
    void setDates(int sy, int sm, int sd, int ty = 0, int tm = 0, int td = 0) {
        const int s[] = {sy, sm, sd}, t[] = {ty, tm, td};
        for (int i = 0; i < 3; ++i) {
            indexed[{card::dispid::UpDateSchedule, i}] = com::Variant::i2(static_cast<std::int16_t>(s[i]));
            indexed[{card::dispid::UpDateSetting, i}] = com::Variant::i2(static_cast<std::int16_t>(t[i]));
        }
    }

private:
    std::int32_t next(com::DispId id) {
        auto it = results.find(id);
        if (it == results.end() || it->second.empty()) return 0;
        const std::int32_t v = it->second.front();
        if (it->second.size() > 1) it->second.pop_front();
        return v;
    }
    com::EventSink* sink_ = nullptr;
};

// Registers the fake under the control's class name for its lifetime; `card` is the last
// one created.
class FakeCardClass {
public:
    FakeCardClass() {
        com::registerClass(card::kControlClass, [this] {
            auto fake = std::make_unique<FakeCard>();
            if (prepare) prepare(*fake);
            card = fake.get();
            return std::unique_ptr<com::Control>(std::move(fake));
        });
    }
    ~FakeCardClass() { com::unregisterClass(card::kControlClass); }
    std::function<void(FakeCard&)> prepare;
    FakeCard* card = nullptr;
};

}  // namespace cardtest
