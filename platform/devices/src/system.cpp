#include "devices/system.h"

#include <filesystem>

#include "kernel/host.h"
#include "kernel/registry.h"

namespace devices {

System::System(const std::string& programFolder, std::unique_ptr<ReaderBus> bus) : bus_(std::move(bus)) {
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
    if (!bus_) return;
    problem.clear();
    started_ = bus_->start(driver_, &problem);
    if (!problem.empty()) error_ = problem;
}

System::~System() {
    bus_.reset();
    if (driver_) kernel::unloadDriver(driver_);
}

System& startSystem(const std::string& programFolder, std::unique_ptr<ReaderBus> bus) {
    // Never destroyed: handles may still be open when the process ends.
    static System* system = new System(programFolder, std::move(bus));
    return *system;
}

}  // namespace devices
