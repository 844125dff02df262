#pragma once
// A small USB function for the bus's tests: one interface with a bulk OUT endpoint (0x01)
// and a bulk IN endpoint (0x81), scripted packet by packet, or echoing what it receives.
#include <cstdint>
#include <cstring>
#include <deque>
#include <mutex>
#include <vector>

#include "usb/descriptors.h"
#include "usb/function.h"

namespace ut {

class TestFunction : public usb::Function {
public:
    explicit TestFunction(std::uint16_t maxPacket = 64, bool echo = false)
        : maxPacket_(maxPacket), echo_(echo) {}

    // Scripting, from the test's thread.
    void queueIn(std::vector<std::uint8_t> packet) {
        std::lock_guard lock(mutex_);
        inPackets_.push_back(std::move(packet));
    }
    void stallIn(bool on) {
        std::lock_guard lock(mutex_);
        stallIn_ = on;
    }
    void nakOut(bool on) {
        std::lock_guard lock(mutex_);
        nakOut_ = on;
    }
    // Pads the configuration descriptor with a vendor descriptor to this total length.
    void configurationLength(std::uint16_t total) {
        std::lock_guard lock(mutex_);
        configurationLength_ = total;
    }
    void interfaceClass(std::uint8_t cls, int interfaces = 1) {
        std::lock_guard lock(mutex_);
        class_ = cls;
        interfaces_ = interfaces;
    }
    // Adds an isochronous IN endpoint (0x83) to the interface, after the bulk pair.
    void isochronous(bool on) {
        std::lock_guard lock(mutex_);
        isochronous_ = on;
    }
    void remoteWakeup(bool on) {
        std::lock_guard lock(mutex_);
        remoteWakeup_ = on;
    }
    std::vector<std::vector<std::uint8_t>> outPackets() {
        std::lock_guard lock(mutex_);
        return outPackets_;
    }
    std::vector<std::uint8_t> outBytes() {
        std::lock_guard lock(mutex_);
        std::vector<std::uint8_t> all;
        for (auto& p : outPackets_) all.insert(all.end(), p.begin(), p.end());
        return all;
    }
    int configuration() {
        std::lock_guard lock(mutex_);
        return configuration_;
    }
    std::vector<std::uint8_t> clearedHalts() {
        std::lock_guard lock(mutex_);
        return clearedHalts_;
    }
    int resets() {
        std::lock_guard lock(mutex_);
        return resets_;
    }

    // The function's side, on the bus's controller thread.
    std::vector<std::uint8_t> descriptor(std::uint8_t type, std::uint8_t, std::uint16_t) const override {
        std::lock_guard lock(mutex_);
        if (type == usb::USB_DEVICE_DESCRIPTOR_TYPE) {
            usb::DeviceDescriptor d{18, 1, 0x0200, 0, 0, 0, 64, 0x0A5C, 0x0700, 0x0100, 0, 0, 0, 1};
            return bytes(d);
        }
        if (type != usb::USB_CONFIGURATION_DESCRIPTOR_TYPE) return {};
        std::vector<std::uint8_t> out;
        usb::ConfigurationDescriptor c{9, 2, 0, static_cast<std::uint8_t>(interfaces_), 1, 0,
                                       static_cast<std::uint8_t>(0x80 | (remoteWakeup_ ? 0x20 : 0)), 50};
        append(out, bytes(c));
        for (int i = 0; i < interfaces_; ++i) {
            std::uint8_t endpoints = isochronous_ ? 3 : 2;
            usb::InterfaceDescriptor in{9, 4, static_cast<std::uint8_t>(i), 0, endpoints, class_, 0, 0, 0};
            append(out, bytes(in));
            usb::EndpointDescriptor o{7, 5, static_cast<std::uint8_t>(0x01 + 2 * i), 2, maxPacket_, 0};
            usb::EndpointDescriptor n{7, 5, static_cast<std::uint8_t>(0x81 + 2 * i), 2, maxPacket_, 0};
            append(out, bytes(o));
            append(out, bytes(n));
            if (isochronous_) append(out, bytes(usb::EndpointDescriptor{7, 5, 0x83, 1, maxPacket_, 1}));
        }
        while (out.size() < configurationLength_) {
            std::size_t n = std::min<std::size_t>(255, configurationLength_ - out.size());
            if (n < 2) n = 2;
            out.push_back(static_cast<std::uint8_t>(n));
            out.push_back(0xFF);
            out.resize(out.size() + n - 2, 0);
        }
        std::uint16_t total = static_cast<std::uint16_t>(out.size());
        std::memcpy(out.data() + 2, &total, 2);
        return out;
    }

    usb::Handshake control(const usb::SetupPacket& setup, std::vector<std::uint8_t>& data) override {
        if ((setup.bmRequestType & 0x60) != 0x40) return usb::Handshake::Stall;
        if (setup.bmRequestType & 0x80) data = {1, 2, 3, 4, 5, 6};
        return usb::Handshake::Ack;
    }

    usb::Handshake out(std::uint8_t, std::span<const std::uint8_t> packet) override {
        std::lock_guard lock(mutex_);
        if (nakOut_) return usb::Handshake::Nak;
        outPackets_.emplace_back(packet.begin(), packet.end());
        if (echo_) {
            echo_bytes_.insert(echo_bytes_.end(), packet.begin(), packet.end());
            if (packet.size() < maxPacket_) echoShort_ = true;
        }
        return usb::Handshake::Ack;
    }

    usb::Handshake in(std::uint8_t, std::vector<std::uint8_t>& packet) override {
        std::lock_guard lock(mutex_);
        if (stallIn_) return usb::Handshake::Stall;
        if (echo_) {
            if (echo_bytes_.empty()) return usb::Handshake::Nak;
            std::size_t n = std::min<std::size_t>(maxPacket_, echo_bytes_.size());
            packet.assign(echo_bytes_.begin(), echo_bytes_.begin() + static_cast<long>(n));
            echo_bytes_.erase(echo_bytes_.begin(), echo_bytes_.begin() + static_cast<long>(n));
            return usb::Handshake::Ack;
        }
        if (inPackets_.empty()) return usb::Handshake::Nak;
        packet = std::move(inPackets_.front());
        inPackets_.pop_front();
        return usb::Handshake::Ack;
    }

    void reset() override {
        std::lock_guard lock(mutex_);
        ++resets_;
    }
    void setConfiguration(std::uint8_t value) override {
        std::lock_guard lock(mutex_);
        configuration_ = value;
    }
    void clearHalt(std::uint8_t address) override {
        std::lock_guard lock(mutex_);
        clearedHalts_.push_back(address);
        stallIn_ = false;
    }

private:
    template <class T>
    static std::vector<std::uint8_t> bytes(const T& v) {
        std::vector<std::uint8_t> out(sizeof v);
        std::memcpy(out.data(), &v, sizeof v);
        return out;
    }
    static void append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& from) {
        to.insert(to.end(), from.begin(), from.end());
    }

    mutable std::mutex mutex_;
    std::uint16_t maxPacket_;
    bool echo_;
    std::deque<std::uint8_t> echo_bytes_;
    bool echoShort_ = false;
    std::deque<std::vector<std::uint8_t>> inPackets_;
    std::vector<std::vector<std::uint8_t>> outPackets_;
    bool stallIn_ = false;
    bool nakOut_ = false;
    std::uint16_t configurationLength_ = 0;
    std::uint8_t class_ = 0xFF;
    int interfaces_ = 1;
    bool remoteWakeup_ = false;
    bool isochronous_ = false;
    int configuration_ = -1;
    std::vector<std::uint8_t> clearedHalts_;
    int resets_ = 0;
};

}  // namespace ut
