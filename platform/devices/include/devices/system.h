#pragma once
// The device stack of a running program: the pipe driver loaded from the program
// folder's "Drivers" folder, its registry values from "Drivers/pipedrv.conf" when that
// file exists, and the emulated reader plugged into an emulated bus when
// RDX_EMULATOR_CARD asks for one.
#include <memory>
#include <string>

namespace emulator {
class Reader;
}
namespace usb {
class EmulatedBus;
}
namespace kernel {
struct DriverObject;
}

namespace devices {

class System {
public:
    explicit System(const std::string& programFolder);
    ~System();  // pulls the emulated reader and unloads the driver; close handles first
    System(const System&) = delete;
    System& operator=(const System&) = delete;

    bool driverLoaded() const { return driver_ != nullptr; }
    emulator::Reader* emulatedReader() const { return reader_.get(); }
    // Why the driver or the emulated reader is missing; empty when nothing went wrong.
    const std::string& error() const { return error_; }

private:
    kernel::DriverObject* driver_ = nullptr;
    std::unique_ptr<emulator::Reader> reader_;
    std::unique_ptr<usb::EmulatedBus> bus_;
    std::string error_;
};

// The program's one system, started on the first call and kept until the process ends.
System& startSystem(const std::string& programFolder);

}  // namespace devices
