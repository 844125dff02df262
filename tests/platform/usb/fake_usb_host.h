#pragma once
// A UsbHost without a USB stack: devices are usb::Function models, transfers move their
// packets on the fake's own event thread, and every blocking call is logged.
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "usb/usb_host.h"

namespace ut {

class FakeUsbHost : public usb::UsbHost {
public:
    FakeUsbHost() : thread_([this] { run(); }) {}
    ~FakeUsbHost() override {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }

    // Plugs a device in; a watcher hears of it from the event thread.
    DeviceRef plug(usb::Function& function, std::string location) {
        std::lock_guard lock(mutex_);
        DeviceRef ref = nextRef_++;
        Device& d = devices_[ref];
        d.function = &function;
        d.location = std::move(location);
        auto config = function.descriptor(usb::USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0);
        for (std::size_t at = 0; at + 2 <= config.size() && config[at] >= 2; at += config[at])
            if (config[at + 1] == usb::USB_ENDPOINT_DESCRIPTOR_TYPE && at + 7 <= config.size())
                d.maxPacket[config[at + 2]] = static_cast<std::uint16_t>(config[at + 4] | config[at + 5] << 8);
        events_.push_back({ref, true});
        cv_.notify_all();
        return ref;
    }
    // Pulls it: its transfers end as Gone, its handle dies, a watcher hears of it.
    void unplug(DeviceRef ref) {
        std::lock_guard lock(mutex_);
        devices_[ref].present = false;
        events_.push_back({ref, false});
        cv_.notify_all();
    }
    std::vector<std::string> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void clearCalls() {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }
    void failOpen(Result r) {
        std::lock_guard lock(mutex_);
        openResult_ = r;
    }
    std::size_t pending() {
        std::lock_guard lock(mutex_);
        return transfers_.size();
    }
    std::vector<usb::SetupPacket> setups() {
        std::lock_guard lock(mutex_);
        return setups_;
    }

    std::vector<DeviceRef> devices() override {
        std::lock_guard lock(mutex_);
        std::vector<DeviceRef> refs;
        for (auto& [ref, d] : devices_)
            if (d.present) refs.push_back(ref);
        return refs;
    }
    std::optional<usb::DeviceDescriptor> deviceDescriptor(DeviceRef ref) override {
        usb::Function* f = function(ref);
        if (!f) return std::nullopt;
        auto bytes = f->descriptor(usb::USB_DEVICE_DESCRIPTOR_TYPE, 0, 0);
        if (bytes.size() < sizeof(usb::DeviceDescriptor)) return std::nullopt;
        usb::DeviceDescriptor d;
        std::memcpy(&d, bytes.data(), sizeof d);
        return d;
    }
    std::vector<std::uint8_t> configuration(DeviceRef ref, std::uint8_t index) override {
        usb::Function* f = function(ref);
        return f ? f->descriptor(usb::USB_CONFIGURATION_DESCRIPTOR_TYPE, index, 0) : std::vector<std::uint8_t>{};
    }
    std::string location(DeviceRef ref) override {
        std::lock_guard lock(mutex_);
        return devices_[ref].location;
    }
    Result open(DeviceRef ref) override { return log(ref, "open", openResult_); }
    void close(DeviceRef ref) override { log(ref, "close", Result::Ok); }
    Result setConfiguration(DeviceRef ref, int value) override {
        usb::Function* f = function(ref);
        if (f && value > 0) f->setConfiguration(static_cast<std::uint8_t>(value));
        return log(ref, "setConfiguration " + std::to_string(value), Result::Ok);
    }
    Result claimInterface(DeviceRef ref, int n) override { return log(ref, "claim " + std::to_string(n), Result::Ok); }
    Result releaseInterface(DeviceRef ref, int n) override {
        return log(ref, "release " + std::to_string(n), Result::Ok);
    }
    Result setAlternateSetting(DeviceRef ref, int n, int alt) override {
        return log(ref, "alternate " + std::to_string(n) + " " + std::to_string(alt), Result::Ok);
    }
    Result clearHalt(DeviceRef ref, std::uint8_t endpoint) override {
        if (usb::Function* f = function(ref)) f->clearHalt(endpoint);
        return log(ref, "clearHalt " + std::to_string(endpoint), Result::Ok);
    }
    Result resetDevice(DeviceRef ref) override { return log(ref, "reset", Result::Ok); }

    std::optional<TransferId> submit(DeviceRef ref, const Transfer& t, Done done, Result* failure) override {
        std::lock_guard lock(mutex_);
        if (!devices_[ref].present || !devices_[ref].open) {
            *failure = Result::Gone;
            return std::nullopt;
        }
        TransferId id = nextId_++;
        transfers_.push_back({id, ref, t, std::move(done)});
        if (t.kind == Kind::Control) setups_.push_back(t.setup);
        cv_.notify_all();
        return id;
    }
    void cancel(TransferId id) override {
        std::lock_guard lock(mutex_);
        for (auto& p : transfers_)
            if (p.id == id) p.cancelled = true;
        cv_.notify_all();
    }
    void watch(std::function<void(DeviceRef, bool)> onChange) override {
        std::lock_guard lock(mutex_);
        onChange_ = std::move(onChange);
    }
    // The watcher as the event thread holds it while it calls it.
    std::function<void(DeviceRef, bool)> watcher() {
        std::lock_guard lock(mutex_);
        return onChange_;
    }

private:
    struct Device {
        usb::Function* function = nullptr;
        std::string location;
        bool present = true;
        bool open = false;
        std::map<std::uint8_t, std::uint16_t> maxPacket;
    };
    struct Pending {
        TransferId id;
        DeviceRef ref;
        Transfer transfer;
        Done done;
        std::uint32_t moved = 0;
        bool cancelled = false;
    };

    usb::Function* function(DeviceRef ref) {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(ref);
        return it == devices_.end() || !it->second.present ? nullptr : it->second.function;
    }
    Result log(DeviceRef ref, const std::string& call, Result r) {
        std::lock_guard lock(mutex_);
        auto& d = devices_[ref];
        if (!d.present) return Result::Gone;
        calls_.push_back(call);
        if (call == "open" && r == Result::Ok) d.open = true;
        if (call == "close") d.open = false;
        return r;
    }

    // One step of a transfer; true when it ended (`out` says how).
    bool step(Pending& p, Outcome& out) {
        Device& d = devices_[p.ref];
        Transfer& t = p.transfer;
        out.actual = p.moved;
        if (!d.present || !d.open) return out.result = Result::Gone, true;
        if (p.cancelled) return out.result = Result::Cancelled, true;
        usb::Function& f = *d.function;
        if (t.kind == Kind::Control) {
            std::vector<std::uint8_t> data;
            if (!(t.setup.bmRequestType & 0x80) && t.length) data.assign(t.buffer, t.buffer + t.length);
            if (f.control(t.setup, data) != usb::Handshake::Ack) return out.result = Result::Stall, true;
            if (t.setup.bmRequestType & 0x80) {
                out.actual = std::min<std::uint32_t>(t.length, static_cast<std::uint32_t>(data.size()));
                if (out.actual) std::memcpy(t.buffer, data.data(), out.actual);
            } else {
                out.actual = t.length;
            }
            return out.result = Result::Ok, true;
        }
        std::uint16_t max = d.maxPacket.count(t.endpoint) ? d.maxPacket[t.endpoint] : 64;
        for (;;) {
            if (t.endpoint & usb::USB_ENDPOINT_DIRECTION_IN) {
                std::vector<std::uint8_t> packet;
                usb::Handshake h = f.in(t.endpoint, packet);
                if (h == usb::Handshake::Nak) return false;
                if (h == usb::Handshake::Stall) return out.result = Result::Stall, true;
                if (packet.size() > t.length - p.moved) return out.result = Result::Overflow, true;
                if (!packet.empty()) std::memcpy(t.buffer + p.moved, packet.data(), packet.size());
                p.moved += static_cast<std::uint32_t>(packet.size());
                out.actual = p.moved;
                if (packet.size() < max || p.moved == t.length) return out.result = Result::Ok, true;
            } else {
                std::uint32_t n = std::min<std::uint32_t>(max, t.length - p.moved);
                usb::Handshake h = f.out(t.endpoint, {t.buffer ? t.buffer + p.moved : nullptr, n});
                if (h == usb::Handshake::Nak) return false;
                if (h == usb::Handshake::Stall) return out.result = Result::Stall, true;
                p.moved += n;
                out.actual = p.moved;
                if (p.moved == t.length) return out.result = Result::Ok, true;
            }
        }
    }

    void run() {
        std::unique_lock lock(mutex_);
        while (!stopping_) {
            while (!events_.empty()) {
                auto [ref, arrived] = events_.front();
                events_.pop_front();
                auto onChange = onChange_;
                lock.unlock();
                if (onChange) onChange(ref, arrived);
                lock.lock();
            }
            std::vector<std::pair<Done, Outcome>> ended;
            bool waiting = false;
            for (auto it = transfers_.begin(); it != transfers_.end();) {
                Outcome o;
                if (step(*it, o)) {
                    ended.emplace_back(std::move(it->done), o);
                    it = transfers_.erase(it);
                } else {
                    waiting = true;
                    ++it;
                }
            }
            if (!ended.empty()) {
                lock.unlock();
                for (auto& [done, o] : ended) done(o);
                lock.lock();
                continue;
            }
            if (!events_.empty()) continue;
            // With a predicate: a stop or an event that came while a callback ran has
            // already been signalled, and a bare wait would sleep through it.
            if (waiting)
                cv_.wait_for(lock, std::chrono::milliseconds(1));
            else
                cv_.wait(lock, [&] { return stopping_ || !events_.empty() || !transfers_.empty(); });
        }
    }

    std::mutex mutex_;
    std::condition_variable cv_;
    std::map<DeviceRef, Device> devices_;
    std::deque<Pending> transfers_;
    std::deque<std::pair<DeviceRef, bool>> events_;
    std::vector<std::string> calls_;
    std::vector<usb::SetupPacket> setups_;
    std::function<void(DeviceRef, bool)> onChange_;
    Result openResult_ = Result::Ok;
    DeviceRef nextRef_ = 1;
    TransferId nextId_ = 1;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace ut
