#pragma once
// The device stack of a running program: the pipe driver loaded from the program
// folder's "Drivers" folder, its registry values from "Drivers/pipedrv.conf" when that
// file exists, and the bus that serves the reader. Which bus that is, the program decides
// where it starts, and hands it down; the stack starts it once the driver is loaded.
#include <memory>
#include <string>

namespace usb {
class Function;
}
namespace kernel {
struct DriverObject;
}

namespace devices {

// The bus the reader is on.
class ReaderBus {
public:
    virtual ~ReaderBus() = default;
    // Binds `driver` to the reader's USB ids, then brings the reader in, so that its
    // arrival finds the driver. False when no reader is served: `error` then says why,
    // unless there was simply nothing to serve.
    virtual bool start(kernel::DriverObject* driver, std::string* error) = 0;
};

// An emulated bus with `device` plugged in (the program's emulated reader). The device
// must outlive the bus.
std::unique_ptr<ReaderBus> emulatedBus(usb::Function& device);

// The libusb bus serving the real reader that "<programFolder>/pipedrv.conf" names
// (`Name=value` lines: the vendor and product ids, driver values). No file: no reader.
std::unique_ptr<ReaderBus> libusbBus(const std::string& programFolder);

class System {
public:
    // Loads the driver, then starts `bus` under it; without a bus no reader is served.
    System(const std::string& programFolder, std::unique_ptr<ReaderBus> bus);
    ~System();  // stops the bus and unloads the driver; close handles first
    System(const System&) = delete;
    System& operator=(const System&) = delete;

    bool driverLoaded() const { return driver_ != nullptr; }
    bool busStarted() const { return started_; }
    // Why the driver or the reader's bus is missing; empty when nothing went wrong.
    const std::string& error() const { return error_; }

private:
    kernel::DriverObject* driver_ = nullptr;
    std::unique_ptr<ReaderBus> bus_;
    bool started_ = false;
    std::string error_;
};

// The program's one system, started on the first call and kept until the process ends;
// a later call returns it as it is.
System& startSystem(const std::string& programFolder, std::unique_ptr<ReaderBus> bus);

}  // namespace devices
