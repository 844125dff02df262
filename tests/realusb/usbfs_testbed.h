#pragma once
// A USB device that real libusb finds, opens and talks to on a machine without a USB bus.
// A umockdev testbed carries the device's sysfs entry, with the descriptors the device model
// gives, and its node under /dev/bus/usb; the usbfs requests on that node are served by the
// model, packet by packet, from a controller thread of our own, as a host controller would.
//
// The node is a pseudo-terminal, so that it polls as a usbfs node does: writable while a
// finished URB waits to be reaped, an error once the device is gone. libusb's event thread
// then sleeps between events as it does over a real device, and sees a pull as one.
//
// The process must run under umockdev-wrapper (its preload library reroutes /sys, /dev,
// uevents and the node's ioctls into the testbed).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "usb/function.h"

namespace realusb {

class UsbfsTestbed {
public:
    UsbfsTestbed();
    // End libusb (the device stack) first: its open nodes talk to this testbed.
    ~UsbfsTestbed();
    UsbfsTestbed(const UsbfsTestbed&) = delete;
    UsbfsTestbed& operator=(const UsbfsTestbed&) = delete;

    // True when umockdev's preload library is in the process.
    static bool preloaded();

    // Plugs the device in at port 1-1 under the next free address: its sysfs entry, its
    // node, then the "add" uevent. The function must outlive the testbed.
    void plug(usb::Function& function);
    // Pulls it out as the kernel sees a disconnect: URBs under way end with ESHUTDOWN and
    // every request after fails with ENODEV, the node hangs up, then the "remove" uevent,
    // and the sysfs entry and node go.
    void pull();

    struct Submitted {
        std::uint8_t endpoint = 0;
        std::uint32_t length = 0;
    };
    // URBs submitted to the device plugged now, oldest first.
    std::vector<Submitted> submitted() const;
    void clearSubmitted();
    // usbfs requests that were answered ENOTTY because nothing here serves them.
    std::vector<unsigned long> unserved() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

}  // namespace realusb
