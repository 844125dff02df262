// The emulated bus's face: ports that functions plug into, and the hooks tests use.
#include "usb/emulated_bus.h"

#include <atomic>
#include <cstring>

#include "emulated_transport.h"

namespace usb {

using namespace kernel;

kernel::DeviceCapabilities PortOptions::defaultCapabilities() {
    kernel::DeviceCapabilities c;
    c.Removable = 1;
    c.SurpriseRemovalOK = 0;
    c.DeviceD2 = 1;
    c.WakeFromD2 = 1;
    c.DeviceState[PowerSystemWorking] = PowerDeviceD0;
    c.DeviceState[PowerSystemSleeping1] = PowerDeviceD2;
    c.DeviceState[PowerSystemSleeping2] = PowerDeviceD2;
    c.DeviceState[PowerSystemSleeping3] = PowerDeviceD2;
    c.DeviceState[PowerSystemHibernate] = PowerDeviceD3;
    c.DeviceState[PowerSystemShutdown] = PowerDeviceD3;
    c.SystemWake = PowerSystemSleeping3;
    c.DeviceWake = PowerDeviceD2;
    return c;
}

namespace {

std::string nextBusName() {
    static std::atomic<int> buses{0};
    return "usbemul" + std::to_string(++buses);
}

}  // namespace

EmulatedBus::State::State() : bus(nextBusName(), *this) {
    controller = std::thread([this] { run(); });
}

EmulatedBus::EmulatedBus() : state_(std::make_shared<State>()) {}

EmulatedBus::~EmulatedBus() {
    State& s = *state_;
    std::vector<int> numbers;
    {
        Lock lock(s.bus.mutex());
        for (auto& [number, port] : s.bus.ports()) numbers.push_back(number);
    }
    for (int n : numbers) pull(n);
    for (auto& t : s.helpers) t.join();
    {
        Lock lock(s.bus.mutex());
        s.stopping = true;
    }
    s.wake.notify_all();
    s.controller.join();
}

int EmulatedBus::State::plugPort(Function& function, const PortOptions& options) {
    std::vector<std::uint8_t> device;
    runOnController([&] { device = function.descriptor(USB_DEVICE_DESCRIPTOR_TYPE, 0, 0); });
    DeviceDescriptor dd{};
    std::memcpy(&dd, device.data(), std::min(device.size(), sizeof dd));
    auto port = std::make_unique<EmulatedPort>();
    {
        Lock lock(bus.mutex());
        port->uid = nextUid++;
    }
    port->function = &function;
    port->options = options;
    port->capabilities = options.capabilities;
    return bus.arrive(std::move(port), dd.idVendor, dd.idProduct, options.serial);
}

EmulatedBus::PortId EmulatedBus::plug(Function& function, const PortOptions& options) {
    return state_->plugPort(function, options);
}

Status EmulatedBus::arrivalStatus(PortId port) const { return state_->bus.arrivalStatus(port); }

void EmulatedBus::pull(PortId number) { state_->bus.depart(number); }

// A cycle is a pull and a plug of the same function; it comes back on the same path.
void EmulatedBus::State::cycle(int number) {
    Function* function = nullptr;
    PortOptions options;
    {
        Lock lock(bus.mutex());
        auto* port = static_cast<EmulatedPort*>(bus.port(number));
        if (!port) return;
        function = port->function;
        options = port->options;
        if (options.serial.empty()) options.serial = std::to_string(number);
    }
    bus.depart(number);
    plugPort(*function, options);
}

DeviceObject* EmulatedBus::pdo(PortId port) const { return state_->bus.pdo(port); }

std::string EmulatedBus::hardwareId(PortId port) const { return state_->bus.hardwareId(port); }

bool EmulatedBus::remoteWake(PortId number) { return state_->bus.remoteWake(number); }

bool EmulatedBus::waitWakePending(PortId number) const { return state_->bus.waitWakePending(number); }

DevicePower EmulatedBus::devicePower(PortId number) const { return state_->bus.devicePower(number); }

void EmulatedBus::refuseDevicePower(PortId number, std::uint8_t minor, Status status) {
    state_->bus.refuseDevicePower(number, minor, status);
}

std::uint32_t EmulatedBus::frameNumber() const { return state_->frame(); }

std::vector<UrbLogEntry> EmulatedBus::urbLog() const {
    Lock lock(state_->bus.mutex());
    return state_->log;
}

void EmulatedBus::clearUrbLog() {
    Lock lock(state_->bus.mutex());
    state_->log.clear();
}

void EmulatedBus::holdCompletions() {
    Lock lock(state_->bus.mutex());
    state_->holding = true;
}

void EmulatedBus::releaseCompletions() {
    {
        Lock lock(state_->bus.mutex());
        state_->holding = false;
        state_->completions.insert(state_->completions.begin(), state_->held.begin(), state_->held.end());
        state_->held.clear();
    }
    state_->wake.notify_one();
}

std::size_t EmulatedBus::heldCompletions() const {
    Lock lock(state_->bus.mutex());
    return state_->held.size();
}

void EmulatedBus::injectFailure(std::uint8_t endpoint, Status status, UsbdStatus usbdStatus, int count) {
    Lock lock(state_->bus.mutex());
    state_->failures.push_back({endpoint, status, usbdStatus, count});
}

void EmulatedBus::runOnController(const std::function<void()>& job) { state_->runOnController(job); }

}  // namespace usb
