#pragma once
// The emulated USB bus: a bus driver in the kernel host whose device objects stand for
// the functions plugged into its ports. Requests are served by a controller thread that
// moves packets between URBs and each function, one packet at a time, and completes
// the requests at dispatch level, as a host controller's deferred routine would.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "kernel/pnp.h"
#include "usb/function.h"
#include "usb/urb.h"

namespace usb {

struct PortOptions {
    // The rest of the instance id after the hardware id; empty: the port number. The same
    // serial plugged again gives the same interface path.
    std::string serial;
    kernel::DeviceCapabilities capabilities = defaultCapabilities();
    static kernel::DeviceCapabilities defaultCapabilities();
};

// One URB as it was submitted.
struct UrbLogEntry {
    std::uint16_t function = 0;
    std::uint8_t endpoint = 0;        // endpoint address for pipe requests, else 0
    std::uint32_t length = 0;         // transfer buffer length
    std::uint32_t flags = 0;          // transfer flags
    std::uint8_t descriptorType = 0;  // for descriptor requests
    kernel::DevicePower power = kernel::PowerDeviceD0;  // the port's device power when it came
};

class EmulatedBus {
public:
    using PortId = int;

    EmulatedBus();
    ~EmulatedBus();  // pulls every function; close every handle first
    EmulatedBus(const EmulatedBus&) = delete;
    EmulatedBus& operator=(const EmulatedBus&) = delete;

    // Plugs a function in: the PnP manager adds and starts a driver for it. The function
    // must outlive its port.
    PortId plug(Function& function, const PortOptions& options = {});
    // The status with which the port's device stack started.
    kernel::Status arrivalStatus(PortId port) const;
    // Pulls it out: outstanding requests fail as the device is gone, and the stack is
    // surprise-removed.
    void pull(PortId port);
    kernel::DeviceObject* pdo(PortId port) const;
    std::string hardwareId(PortId port) const;

    // The function signals a remote wake: a pending wait-wake request completes.
    // False when none was pending.
    bool remoteWake(PortId port);
    bool waitWakePending(PortId port) const;
    kernel::DevicePower devicePower(PortId port) const;
    // The port answers device power requests of `minor` (set or query) with `status`
    // from now on; STATUS_SUCCESS again accepts them. A refused query is a veto.
    void refuseDevicePower(PortId port, std::uint8_t minor, kernel::Status status);

    std::uint32_t frameNumber() const;

    // Test hooks. The log keeps the latest 100000 URBs or so.
    std::vector<UrbLogEntry> urbLog() const;
    void clearUrbLog();
    // While held, finished requests wait; release completes them in order.
    void holdCompletions();
    void releaseCompletions();
    std::size_t heldCompletions() const;
    // The next `count` transfers on `endpoint` fail with these statuses.
    void injectFailure(std::uint8_t endpoint, kernel::Status status, UsbdStatus usbdStatus,
                       int count = 1);
    // Runs `job` on the controller thread (where functions are called) and waits for it.
    void runOnController(const std::function<void()>& job);

    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace usb
