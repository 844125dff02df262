#pragma once
// The device stack of a running program: the pipe driver loaded from the program
// folder's "Drivers" folder, its registry values from "Drivers/pipedrv.conf" when that
// file exists, and the reader: the emulated one on an emulated bus when
// RDX_EMULATOR_CARD asks for one, else the libusb bus serving the real reader that the
// program folder's "pipedrv.conf" names (no file: no reader is served).
#include <memory>
#include <string>

namespace emulator {
class Reader;
}
namespace usb {
class EmulatedBus;
class LibusbBus;
}
namespace kernel {
struct DriverObject;
}

namespace devices {

class System {
public:
    explicit System(const std::string& programFolder);
    ~System();  // pulls the readers and unloads the driver; close handles first
    System(const System&) = delete;
    System& operator=(const System&) = delete;

    bool driverLoaded() const { return driver_ != nullptr; }
    emulator::Reader* emulatedReader() const { return reader_.get(); }
    bool realReaderBus() const { return realBus_ != nullptr; }
    // Why the driver or a reader's bus is missing; empty when nothing went wrong.
    const std::string& error() const { return error_; }

private:
    void startRealReaderBus(const std::string& programFolder);

    kernel::DriverObject* driver_ = nullptr;
    std::unique_ptr<emulator::Reader> reader_;
    std::unique_ptr<usb::EmulatedBus> bus_;
    std::unique_ptr<usb::LibusbBus> realBus_;
    std::string error_;
};

// The program's one system, started on the first call and kept until the process ends.
System& startSystem(const std::string& programFolder);

}  // namespace devices
