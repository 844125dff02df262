#pragma once
// The few calls the libusb bus makes of the machine's USB stack, behind one interface:
// UsbHost::libusb() serves them with libusb 1.0 (usbfs); tests put a fake in its place.
// Every transfer is asynchronous and ends by its callback on the host's event thread,
// never inside submit or cancel.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "usb/descriptors.h"
#include "usb/function.h"

namespace usb {

class UsbHost {
public:
    // A device, valid from its arrival until its departure.
    using DeviceRef = std::uint64_t;
    using TransferId = std::uint64_t;

    enum class Result { Ok, Stall, Cancelled, Gone, Overflow, Busy, NotFound, Access, Error };

    enum class Kind { Control, Bulk, Interrupt, Isochronous };

    struct Transfer {
        Kind kind = Kind::Bulk;
        std::uint8_t endpoint = 0;    // address with its direction bit; 0 for control
        SetupPacket setup;            // control only: wLength is `length`
        std::uint8_t* buffer = nullptr;
        std::uint32_t length = 0;
        std::vector<std::uint32_t> isoPackets;  // isochronous: the length of each packet
    };

    struct Outcome {
        Result result = Result::Ok;
        std::uint32_t actual = 0;                 // bytes moved
        std::vector<std::uint32_t> isoActual;     // per packet
        std::vector<Result> isoResults;
    };
    using Done = std::function<void(const Outcome&)>;

    virtual ~UsbHost() = default;

    virtual std::vector<DeviceRef> devices() = 0;
    virtual std::optional<DeviceDescriptor> deviceDescriptor(DeviceRef device) = 0;
    // The raw configuration descriptor with its interfaces and endpoints.
    virtual std::vector<std::uint8_t> configuration(DeviceRef device, std::uint8_t index) = 0;
    // Where it is plugged ("<bus>-<port>.<port>"): the same port gives the same name.
    virtual std::string location(DeviceRef device) = 0;

    // One handle per device, kept by the host; kernel drivers bound to it are detached.
    virtual Result open(DeviceRef device) = 0;
    virtual void close(DeviceRef device) = 0;

    // Blocking calls: never made on the event thread.
    virtual Result setConfiguration(DeviceRef device, int value) = 0;  // -1: unconfigured
    virtual Result claimInterface(DeviceRef device, int number) = 0;
    virtual Result releaseInterface(DeviceRef device, int number) = 0;
    virtual Result setAlternateSetting(DeviceRef device, int number, int alternate) = 0;
    virtual Result clearHalt(DeviceRef device, std::uint8_t endpoint) = 0;
    virtual Result resetDevice(DeviceRef device) = 0;

    // Starts a transfer; `done` runs once, on the event thread. Nothing when it could not
    // start (and `done` never runs); `failure` says why.
    virtual std::optional<TransferId> submit(DeviceRef device, const Transfer& transfer, Done done,
                                             Result* failure) = 0;
    // Asks a transfer to end; its callback reports Cancelled (or how it ended anyway).
    virtual void cancel(TransferId transfer) = 0;

    // Hot-plug: arrival (true) and departure (false) of devices, reported from the event
    // thread. Devices present before the call are not reported.
    virtual void watch(std::function<void(DeviceRef device, bool arrived)> onChange) = 0;

    // libusb 1.0 with its own event thread; null (and `error`) when it cannot start.
    static std::unique_ptr<UsbHost> libusb(std::string* error = nullptr);
};

}  // namespace usb
