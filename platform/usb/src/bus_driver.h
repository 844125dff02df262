#pragma once
// The bus driver both buses share. It owns the device objects of the ports (PDOs),
// answers their plug-and-play and power requests, keeps wait-wake, and dispatches URBs
// and port requests to a transport, which moves the data:
//
//   driver --IRP--> BusDriver (this file) --URB by kind--> Transport
//                                                    emulated: packets to a usb::Function
//                                                    libusb:   transfers to a UsbHost
//
// One lock, the bus driver's, guards its ports and the transport's own state, so that a
// transport sees a port and its transfers change together.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "kernel/host.h"
#include "kernel/pnp.h"
#include "usb/function.h"
#include "usb/urb.h"

namespace usb {

using Lock = std::unique_lock<std::mutex>;

// What the bus driver keeps of a port; each transport derives its own record from it.
struct BusPort {
    virtual ~BusPort() = default;

    int number = 0;
    kernel::DeviceObject* pdo = nullptr;
    std::string hardwareId, instanceId;
    bool present = true;  // false from the moment the device is pulled
    kernel::Status arrival = kernel::STATUS_PENDING;
    kernel::DeviceCapabilities capabilities;
    kernel::DevicePower power = kernel::PowerDeviceD0;
    kernel::Status refuseSet = kernel::STATUS_SUCCESS;    // answer to device set-power requests
    kernel::Status refuseQuery = kernel::STATUS_SUCCESS;  // answer to device query-power requests
    kernel::Irp* waitWake = nullptr;
};

// How a bus moves its data. The URB calls come from BusDriver::serve with the lock held;
// each ends its request, now or later, and may release the lock on the way (from then on
// it must not touch the port).
class Transport {
public:
    virtual ~Transport() = default;

    // An internal device control request, marked pending (and its URB's status with it):
    // the transport calls BusDriver::serve for it, on the thread where it serves requests.
    virtual void accept(int port, kernel::Irp* irp, std::uint32_t code, void* argument) = 0;

    virtual void transfer(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) = 0;  // bulk, interrupt
    virtual void isochronous(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) = 0;
    virtual void control(BusPort& port, kernel::Irp* irp, Urb* urb, const SetupPacket& setup, Lock& lock) = 0;
    virtual void descriptor(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) = 0;
    virtual void selectConfiguration(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) = 0;
    virtual void abortPipe(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) = 0;
    virtual void resetPipe(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) = 0;
    virtual void frameNumber(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) = 0;
    // Port requests of a present device; a cycle is only started here, the request then succeeds.
    virtual void resetPort(BusPort& port, kernel::Irp* irp, Lock& lock) = 0;
    virtual void cyclePort(BusPort& port) = 0;

    // Ends a request. `end` runs where the lock is held (and may release it); `complete`
    // where it is not.
    virtual void end(kernel::Irp* irp, kernel::Status status, Lock& lock) = 0;
    virtual void complete(kernel::Irp* irp, kernel::Status status) = 0;

    // The device was pulled: what it had under way fails. Lock held; may be released.
    virtual void unplugged(BusPort& port, Lock& lock) = 0;
    // Its stack was removed. Lock held; may be released.
    virtual void removed(BusPort& port, Lock& lock) { (void)port; (void)lock; }
    // Its device object goes now, the port already out of the list. Lock held; may be released.
    virtual void forgetting(BusPort& port, Lock& lock) { (void)port; (void)lock; }
};

class BusDriver {
public:
    // Loads a bus driver of that name into the kernel host.
    BusDriver(const std::string& name, Transport& transport);
    ~BusDriver();  // every port gone first
    BusDriver(const BusDriver&) = delete;
    BusDriver& operator=(const BusDriver&) = delete;

    static BusDriver& of(kernel::DeviceObject* pdo);
    Transport& transport() { return transport_; }
    std::mutex& mutex() const { return mutex_; }

    // With the lock held.
    BusPort* port(int number) const;
    const std::map<int, std::unique_ptr<BusPort>>& ports() const { return ports_; }

    // Gives the port a device object and reports it to plug and play, which adds and
    // starts the bound driver's stack. `instance` ends the instance id; empty: the port
    // number. The port's number, or 0 when no device object could be made.
    int arrive(std::unique_ptr<BusPort> port, std::uint16_t vendorId, std::uint16_t productId,
               const std::string& instance);
    // The device is gone: the transport fails what was under way and plug and play hears
    // of it; without a stack the port goes at once, else at its removal.
    void depart(int number);

    // Runs an accepted request; `lock` is held (the transport may release it).
    void serve(int number, kernel::Irp* irp, std::uint32_t code, void* argument, Lock& lock);
    void endUrb(kernel::Irp* irp, Urb* urb, UsbdStatus status, Lock& lock);

    // The device signals a remote wake: a pending wait-wake completes. False when none was.
    bool remoteWake(int number);

    // Snapshots for the buses' faces; an unknown port gives the empty answer.
    kernel::DeviceObject* pdo(int number) const;
    std::vector<kernel::DeviceObject*> presentPdos() const;
    std::string hardwareId(int number) const;
    kernel::Status arrivalStatus(int number) const;
    bool waitWakePending(int number) const;
    kernel::DevicePower devicePower(int number) const;
    void refuseDevicePower(int number, std::uint8_t minor, kernel::Status status);

    // The dispatch routines (internal; the kernel host calls them).
    static kernel::Status dispatchInternal(kernel::DeviceObject* pdo, kernel::Irp* irp);
    static kernel::Status dispatchPnp(kernel::DeviceObject* pdo, kernel::Irp* irp);
    static kernel::Status dispatchPower(kernel::DeviceObject* pdo, kernel::Irp* irp);

private:
    void submitUrb(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock);
    void portRequest(BusPort& port, kernel::Irp* irp, std::uint32_t code, void* argument, Lock& lock);
    kernel::Status waitWake(BusPort* port, kernel::Irp* irp, Lock& lock);
    static void cancelWaitWake(kernel::DeviceObject* pdo, kernel::Irp* irp);
    void forget(int number);

    Transport& transport_;
    kernel::DriverObject* driver_ = nullptr;
    mutable std::mutex mutex_;
    std::map<int, std::unique_ptr<BusPort>> ports_;
};

// ---- helpers both transports use ----

// The bytes of a transfer URB: its MDL's system address, else its buffer.
std::uint8_t* transferBuffer(Urb* urb);
// Copies `data` into a transfer URB, at most its buffer's length, and sets the length moved.
UsbdStatus copyToUrb(Urb* urb, const std::vector<std::uint8_t>& data);
// The setup packet a vendor or class URB stands for.
SetupPacket setupOf(const UrbControlVendorOrClassRequest& request);

// Fills in the interfaces a select-configuration URB asks for from `configuration` (the
// device's configuration descriptor, cut to its real length), with their pipes.
struct InterfaceSelection {
    // Asked first for each interface; anything but success ends the selection with it.
    std::function<UsbdStatus(InterfaceDescriptor&)> open;
    std::function<void*(InterfaceDescriptor&)> interfaceHandle;
    std::function<void*(EndpointDescriptor&)> pipeHandle;
};
UsbdStatus selectInterfaces(Urb* urb, std::vector<std::uint8_t>& configuration, const InterfaceSelection& how);

}  // namespace usb
