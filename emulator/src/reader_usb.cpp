// The reader as a USB device: descriptors, and its two bulk endpoints at packet level.
#include "reader_state.h"

#include <algorithm>
#include <string_view>

namespace emulator {

namespace {

constexpr std::uint8_t kDeviceDescriptor = 1;
constexpr std::uint8_t kConfigurationDescriptor = 2;
constexpr std::uint8_t kStringDescriptor = 3;
constexpr std::uint8_t kInterfaceDescriptor = 4;
constexpr std::uint8_t kEndpointDescriptor = 5;
constexpr std::uint8_t kBulk = 0x02;
constexpr std::uint16_t kEnglishUs = 0x0409;

std::uint8_t low(unsigned v) { return static_cast<std::uint8_t>(v & 0xFF); }
std::uint8_t high(unsigned v) { return static_cast<std::uint8_t>((v >> 8) & 0xFF); }

std::vector<std::uint8_t> stringDescriptor(std::string_view text) {
    std::vector<std::uint8_t> d{low(2 + 2 * text.size()), kStringDescriptor};
    for (char c : text) {
        d.push_back(static_cast<std::uint8_t>(c));
        d.push_back(0);
    }
    return d;
}

}  // namespace

std::vector<std::uint8_t> Reader::descriptor(std::uint8_t type, std::uint8_t index,
                                             std::uint16_t languageId) const {
    const bool highSpeed = maxPacket_ == 512;
    switch (type) {
    case kDeviceDescriptor:
        if (index != 0) return {};
        return {18, kDeviceDescriptor,
                low(highSpeed ? 0x0200 : 0x0110), high(highSpeed ? 0x0200 : 0x0110),
                0x00, 0x00, 0x00,  // class, subclass, protocol: by interface
                64,                // endpoint 0
                low(options_.vendorId), high(options_.vendorId),
                low(options_.productId), high(options_.productId),
                0x00, 0x01,        // device release 1.00
                1, 2, 3,           // manufacturer, product, serial number strings
                1};
    case kConfigurationDescriptor:
        if (index != 0) return {};
        return {9, kConfigurationDescriptor, 32, 0, 1, 1, 0, 0x80, 50,  // bus powered, 100 mA
                9, kInterfaceDescriptor, 0, 0, 2, 0xFF, 0x00, 0x00, 0,   // vendor-specific
                // Bulk OUT first: the host's driver takes the pipes by position.
                7, kEndpointDescriptor, kOutEndpoint, kBulk, low(maxPacket_), high(maxPacket_), 0,
                7, kEndpointDescriptor, kInEndpoint, kBulk, low(maxPacket_), high(maxPacket_), 0};
    case kStringDescriptor:
        if (index == 0) return {4, kStringDescriptor, low(kEnglishUs), high(kEnglishUs)};
        if (languageId != kEnglishUs) return {};
        if (index == 1) return stringDescriptor("KV-M58S emulator");
        if (index == 2) return stringDescriptor("RDX-700");
        if (index == 3) return stringDescriptor(options_.serialNumber);
        return {};
    default:
        return {};
    }
}

usb::Handshake Reader::out(std::uint8_t address, std::span<const std::uint8_t> packet) {
    if (address != kOutEndpoint || packet.size() > maxPacket_) return usb::Handshake::Stall;
    std::lock_guard lock(mutex_);
    if (wire_) {
        const auto t = clock_->now();
        if (t < outFreeAt_) return usb::Handshake::Nak;
        outFreeAt_ = t + options_.wire.frame / static_cast<int>(options_.wire.packetsPerFrame);
    }
    if (dataOut_->active) {
        takeData(packet);  // bytes past the data phase's end have nowhere to go
        return usb::Handshake::Ack;
    }
    // A command is one transfer: packets until a short one.
    if (commandBytes_.size() <= protocol::kCommandBytes) {
        const std::size_t room = protocol::kCommandBytes + 1 - commandBytes_.size();
        commandBytes_.insert(commandBytes_.end(), packet.begin(),
                             packet.begin() + static_cast<std::ptrdiff_t>(std::min(room, packet.size())));
    }
    // A short packet ends the transfer; a zero-length transfer carries no command.
    if (packet.size() < maxPacket_ && !commandBytes_.empty()) {
        if (commandBytes_.size() == protocol::kCommandBytes)
            command(commandBytes_);
        else
            refuseMalformed();
        commandBytes_.clear();
    }
    return usb::Handshake::Ack;
}

usb::Handshake Reader::in(std::uint8_t address, std::vector<std::uint8_t>& packet) {
    if (address != kInEndpoint) return usb::Handshake::Stall;
    std::lock_guard lock(mutex_);
    if (head_ == queue_.size()) return usb::Handshake::Nak;
    Transfer& transfer = queue_[head_];
    if (wire_) {
        const auto t = clock_->now();
        if (t < transfer.readyAt || t < inFreeAt_) return usb::Handshake::Nak;
        inFreeAt_ = t + options_.wire.frame / static_cast<int>(options_.wire.packetsPerFrame);
    }
    packet.resize(std::min<std::size_t>(maxPacket_, transfer.length - transfer.sent));
    const std::size_t n = copyOut(transfer, packet);
    transfer.sent += static_cast<std::uint32_t>(n);
    // Full packets keep the transfer going; it ends with its last byte or with a short packet.
    if (transfer.sent >= transfer.length) popFront();
    return usb::Handshake::Ack;
}

void Reader::reset() {
    std::lock_guard lock(mutex_);
    dropQueue();
    commandBytes_.clear();
    dataOut_->active = false;
}

// A new configuration starts the endpoints afresh, as a reset does.
void Reader::setConfiguration(std::uint8_t) { reset(); }

}  // namespace emulator
