#pragma once
// The libusb bus: a bus driver in the kernel host whose device objects stand for real
// readers plugged into the machine, served through usbfs. The driver above it runs the
// same code as over the emulated bus.
//
// Which device is the reader comes from "pipedrv.conf" in the program folder, one
// "Name=value" a line, '#' starts a comment, numbers decimal or 0x-hex:
//
//   VendorId=0x0a5c              # required: the reader's USB ids
//   ProductId=0x0700             # required
//   TargetInterfaceClass=255     # optional: the driver's interface selection, -1 = any
//   TargetInterfaceSubClass=-1
//   TargetInterfaceProtocol=-1
//   TargetAlternateSetting=-1
//   MaximumTransferSize=4096     # optional driver values, as in a hardware key
//   DebugLevel=0
//   EP1_SegmentSize=64
//
// Every value but the two ids goes into the registry of the reader's hardware id, where
// the driver reads it. With no file nothing matches: no reader is served.
//
// The user needs access to the reader's device node: platform/usb/udev/60-rdx700.rules
// is the template of the udev rule that grants it.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "kernel/pnp.h"
#include "usb/usb_host.h"

namespace usb {

inline constexpr char kReaderConfigFile[] = "pipedrv.conf";

struct ReaderMatch {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    // Driver registry values, in file order.
    std::vector<std::pair<std::string, std::uint32_t>> values;
};

// Nothing when the file is missing; nothing and `error` set (with the line) when it is
// malformed: a bad line, an unknown name, a value out of range, an id missing.
std::optional<ReaderMatch> readReaderMatch(const std::filesystem::path& file, std::string* error = nullptr);
std::optional<ReaderMatch> parseReaderMatch(const std::string& text, std::string* error = nullptr);

class LibusbBus {
public:
    // Serves every present device that matches and follows arrivals and departures.
    LibusbBus(std::unique_ptr<UsbHost> host, ReaderMatch match);
    ~LibusbBus();  // every device leaves as if pulled; close every handle first
    LibusbBus(const LibusbBus&) = delete;
    LibusbBus& operator=(const LibusbBus&) = delete;

    // The reader's bus for a program folder: libusb and pipedrv.conf. Null when there is
    // nothing to serve (no file, a bad file, or no USB stack); `error` says why when it
    // is a fault the user can mend.
    static std::unique_ptr<LibusbBus> fromProgramFolder(const std::filesystem::path& folder,
                                                        std::string* error = nullptr);

    // Physical device objects of the devices served now, in arrival order.
    std::vector<kernel::DeviceObject*> pdos() const;
    // Waits until arrivals and departures reported so far have been handled.
    void settle();

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace usb
