#pragma once
// A USB device function as the bus sees it: its descriptors, endpoint 0, and its
// endpoints at packet level. A bus calls a function from its controller thread only.
#include <cstdint>
#include <span>
#include <vector>

namespace usb {

struct SetupPacket {
    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
};

// The answer of a function to one packet.
enum class Handshake { Ack, Nak, Stall };

class Function {
public:
    virtual ~Function() = default;

    // A standard descriptor as its raw bytes: device (1), configuration (2, with its
    // interfaces and endpoints, in order), string (3). Empty when there is none.
    virtual std::vector<std::uint8_t> descriptor(std::uint8_t type, std::uint8_t index,
                                                 std::uint16_t languageId) const = 0;

    // A class, vendor or other request on endpoint 0 that the bus does not answer itself.
    // For IN requests the function fills `data` (at most wLength bytes).
    virtual Handshake control(const SetupPacket& setup, std::vector<std::uint8_t>& data) {
        (void)setup; (void)data;
        return Handshake::Stall;
    }

    // One OUT packet for the endpoint at `address`, at most its maximum packet size.
    // Nak: not taken now, the bus sends it again later.
    virtual Handshake out(std::uint8_t address, std::span<const std::uint8_t> packet) = 0;

    // The endpoint at `address` is polled for one IN packet. Ack with `packet` set (a
    // packet shorter than the maximum, or empty, ends the transfer); Nak: nothing ready.
    virtual Handshake in(std::uint8_t address, std::vector<std::uint8_t>& packet) = 0;

    // Bus reset; the configuration the host selected (0: unconfigured); a halt cleared.
    virtual void reset() {}
    virtual void setConfiguration(std::uint8_t value) { (void)value; }
    virtual void clearHalt(std::uint8_t address) { (void)address; }
};

}  // namespace usb
