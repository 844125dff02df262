#pragma once
// The driver, loaded from the program folder as the program loads it, over an emulated
// bus with a function plugged in.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "devices/devices.h"
#include "kernel/host.h"
#include "kernel/registry.h"
#include "pipedrv/pipedrv.h"
#include "usb/emulated_bus.h"

namespace drv {

using namespace kernel;
using namespace usb;

// The driver library in the program folder's "Drivers" folder.
inline const char* pipeDriverLibrary = PIPEDRV_LIBRARY;

inline DriverObject* loadPipeDriver() {
    std::string error;
    DriverObject* d = loadDriverModule(pipeDriverLibrary, "pipedrv64", &error);
    EXPECT_NE(d, nullptr) << error;
    return d;
}

// Waits for something other threads bring about (work items, power requests, the bus's
// completions); false if it never comes.
template <class Predicate>
bool eventually(Predicate done) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        power::drain();
        drainWorkItems();
        std::this_thread::yield();
    }
    return true;
}

// A field the driver changes with interlocked operations, read the same way.
template <class T>
T interlockedRead(T& field) {
    return std::atomic_ref<T>(field).load();
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry::clear();
        leaksBefore = pool::usage(pipedrv::PDRV_TAG).allocations;
        driver = loadPipeDriver();
        pnp::bindDriver(hardwareId, driver);
    }
    void TearDown() override {
        bus.reset();
        drainWorkItems();
        unloadDriver(driver);
        registry::clear();
        EXPECT_EQ(pool::usage(pipedrv::PDRV_TAG).allocations, leaksBefore) << "driver allocations left";
    }
    Status plug(Function& function, const PortOptions& options = {}) {
        port = bus->plug(function, options);
        auto found = devices::enumerateInterfaces(devices::ReaderInterfaceClass);
        path = found.empty() ? std::string() : found.back();
        return bus->arrivalStatus(port);
    }
    DeviceObject* pdo() { return bus->pdo(port); }
    DeviceObject* device() { return pnp::topOfStack(pdo()); }
    pipedrv::pipedrv_device_extension* ext() { return pipedrv::extension_of(device()); }
    // The I/O count at rest: the base count only. A request may complete just before
    // its count is lowered.
    bool countReturnsToOne() {
        return eventually([this] { return interlockedRead(ext()->io_count) == 1; });
    }
    std::vector<UrbLogEntry> transfers(std::uint8_t endpoint) {
        std::vector<UrbLogEntry> out;
        for (auto& e : bus->urbLog())
            if (e.function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER && e.endpoint == endpoint) out.push_back(e);
        return out;
    }

    std::string hardwareId = "USB\\VID_0A5C&PID_0700";
    std::unique_ptr<EmulatedBus> bus = std::make_unique<EmulatedBus>();
    EmulatedBus::PortId port = 0;
    DriverObject* driver = nullptr;
    std::string path;
    std::size_t leaksBefore = 0;
};

}  // namespace drv
