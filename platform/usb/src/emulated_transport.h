#pragma once
// The emulated bus's transport: a controller thread that moves packets between URBs and
// the functions plugged into the ports, and completes requests at dispatch level, as a
// host controller's deferred routine would. Everything it does runs under the bus
// driver's lock.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "bus_driver.h"
#include "usb/emulated_bus.h"

namespace usb {

struct EmulatedTransfer {
    kernel::Irp* irp = nullptr;
    UrbTransfer* urb = nullptr;
    std::uint8_t* buffer = nullptr;
    std::uint32_t length = 0;
    std::uint32_t done = 0;
    bool claimedByCancel = false;  // its cancel routine runs: only it may complete it
};

struct EmulatedEndpoint {
    std::uint8_t address = 0;
    std::uint8_t type = USB_ENDPOINT_TYPE_BULK;
    std::uint16_t maxPacket = 64;
    bool halted = false;
    std::deque<EmulatedTransfer> queue;
};

struct EmulatedPort : BusPort {
    std::uint32_t uid = 0;  // never reused: handles of a pulled port stay invalid
    Function* function = nullptr;
    PortOptions options;
    std::uint8_t configuration = 0;
    std::uint32_t generation = 0;  // bumped at each configuration: old pipe handles die
    std::map<std::uint8_t, EmulatedEndpoint> endpoints;
};

struct EmulatedBus::State final : Transport {
    State();

    // ---- the transport ----
    // Every request goes to the controller thread; a transfer waits in its endpoint's
    // queue until packets move it, and requests end in the order they finish.
    void accept(int port, kernel::Irp* irp, std::uint32_t code, void* argument) override;
    void transfer(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void end(kernel::Irp* irp, kernel::Status status, Lock& lock) override;
    void complete(kernel::Irp* irp, kernel::Status status) override;
    // Answered at once, on the controller thread.
    void selectConfiguration(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void descriptor(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void control(BusPort& port, kernel::Irp* irp, Urb* urb, const SetupPacket& setup, Lock& lock) override;
    void isochronous(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;  // one try a packet, none waits
    void frameNumber(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void abortPipe(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void resetPipe(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void resetPort(BusPort& port, kernel::Irp* irp, Lock& lock) override;
    void cyclePort(BusPort& port) override;  // a pull and a plug, on a helper thread
    // What the endpoints hold ends when the device is pulled or its stack removed.
    void unplugged(BusPort& port, Lock& lock) override;
    void removed(BusPort& port, Lock& lock) override;

    // ---- the controller (with the lock held) ----
    void run();
    void service();
    enum class Step { Waiting, Finished, Kept };
    Step stepIn(EmulatedPort& port, EmulatedEndpoint& ep, EmulatedTransfer& t);
    Step stepOut(EmulatedPort& port, EmulatedEndpoint& ep, EmulatedTransfer& t);
    bool finish(EmulatedTransfer& t, UsbdStatus usbd, kernel::Status status);
    void flushEndpoint(EmulatedEndpoint& ep, UsbdStatus usbd);
    void flushPort(EmulatedPort& port, UsbdStatus usbd);
    bool spinForWork(Lock& lock);
    void post(std::function<void(Lock&)> job);
    void runOnController(const std::function<void()>& job);
    std::uint32_t frame() const;

    EmulatedEndpoint* endpointOf(EmulatedPort& port, void* handle);
    static void* pipeHandle(const EmulatedPort& port, std::uint8_t address);
    bool takeFailure(std::uint8_t endpoint, kernel::Status* status, UsbdStatus* usbd);
    void logUrb(const BusPort& port, const Urb* urb);

    // ---- ports ----
    int plugPort(Function& function, const PortOptions& options);
    void cycle(int number);

    BusDriver bus;
    std::condition_variable wake;
    std::deque<std::function<void(Lock&)>> jobs;
    struct Completion {
        kernel::Irp* irp;
        kernel::Status status;
    };
    std::vector<Completion> completions;
    std::vector<Completion> held;
    bool holding = false;
    bool stopping = false;
    bool nakPending = false;
    std::uint32_t nextUid = 1;
    std::vector<UrbLogEntry> log;
    std::size_t logLimit = 100000;  // the oldest half goes when it is full
    struct Failure {
        std::uint8_t endpoint;
        kernel::Status status;
        UsbdStatus usbd;
        int count;
    };
    std::vector<Failure> failures;
    std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
    std::thread controller;
    std::vector<std::thread> helpers;  // port cycles
};

}  // namespace usb
