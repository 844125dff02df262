#include "devices/system.h"

#include <cstdlib>
#include <filesystem>

#include "emulator/environment.h"
#include "kernel/host.h"
#include "kernel/registry.h"
#include "usb/emulated_bus.h"
#include "usb/libusb_bus.h"

namespace devices {
namespace {

std::string hardwareId(std::uint16_t vendor, std::uint16_t product) {
    char id[32];
    std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X", vendor, product);
    return id;
}

}  // namespace

System::System(const std::string& programFolder) {
    std::filesystem::path drivers = std::filesystem::path(programFolder) / "Drivers";
    std::filesystem::path settings = drivers / "pipedrv.conf";
    std::error_code ec;
    if (std::filesystem::exists(settings, ec)) {
        std::string problem;
        if (!kernel::registry::loadFile(settings.string(), &problem)) error_ = problem;
    }
    std::string problem;
    // The driver of the program's own word size.
    const std::string name = sizeof(void*) == 8 ? "pipedrv64" : "pipedrv";
    driver_ = kernel::loadDriverModule((drivers / (name + ".so")).string(), name, &problem);
    if (!driver_) {
        error_ = problem;
        return;
    }
    kernel::pnp::bindDriver(hardwareId(emulator::kVendorId, emulator::kProductId), driver_);
    const char* emulated = std::getenv(emulator::kCardVariable);
    if (!emulated || !*emulated) {
        startRealReaderBus(programFolder);
        return;
    }
    try {
        reader_ = emulator::readerFromEnvironment();
    } catch (const std::exception& e) {
        error_ = e.what();
    }
    if (reader_) {
        bus_ = std::make_unique<usb::EmulatedBus>();
        bus_->plug(*reader_);
    }
}

// The driver must be bound to the reader's ids before the bus reports what is plugged in.
void System::startRealReaderBus(const std::string& programFolder) {
    std::string problem;
    auto match = usb::readReaderMatch(std::filesystem::path(programFolder) / usb::kReaderConfigFile, &problem);
    if (!match) {
        if (!problem.empty()) error_ = problem;  // no file: no real reader is configured
        return;
    }
    auto host = usb::UsbHost::libusb(&problem);
    if (!host) {
        error_ = problem;
        return;
    }
    kernel::pnp::bindDriver(hardwareId(match->vendorId, match->productId), driver_);
    realBus_ = std::make_unique<usb::LibusbBus>(std::move(host), std::move(*match));
}

System::~System() {
    realBus_.reset();
    bus_.reset();
    reader_.reset();
    if (driver_) kernel::unloadDriver(driver_);
}

System& startSystem(const std::string& programFolder) {
    // Never destroyed: handles may still be open when the process ends.
    static System* system = new System(programFolder);
    return *system;
}

}  // namespace devices
