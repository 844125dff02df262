#pragma once
// The libusb bus's transport: URBs become transfers of a UsbHost. Transfers are
// asynchronous and complete from the host's event thread at dispatch level; blocking
// calls (configuration, halt, reset) run on the bus's worker thread; arrivals and
// departures run on its plug-and-play thread, so that a driver's start, which waits for
// its URBs, never waits on the thread that would serve them.
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "bus_driver.h"
#include "usb/libusb_bus.h"

namespace usb {

// One thread that runs posted jobs in order.
class Worker {
public:
    Worker();
    ~Worker();  // runs what was posted, then ends
    void post(std::function<void()> job);
    // Waits until every job posted before has run.
    void drain();

private:
    void run();
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

struct LibusbEndpoint {
    std::uint8_t address = 0;
    std::uint8_t type = USB_ENDPOINT_TYPE_BULK;
    std::uint16_t maxPacket = 0;
    int inFlight = 0;
    std::vector<std::pair<kernel::Irp*, Urb*>> aborts;  // abort requests waiting for the last callback
};

struct LibusbPort : BusPort {
    UsbHost::DeviceRef ref = 0;
    std::vector<std::uint8_t> device, configuration;  // descriptors as read at arrival
    std::vector<std::unique_ptr<LibusbEndpoint>> endpoints;  // a pipe handle is one of these
    std::vector<int> claimed;

    LibusbEndpoint* endpoint(void* handle);
};

inline LibusbPort& libusbPort(BusPort& port) { return static_cast<LibusbPort&>(port); }

// What a finished transfer writes back into its URB; returns the URB's status.
using Apply = std::function<UsbdStatus(const UsbHost::Outcome&)>;

struct InFlight {
    kernel::Irp* irp = nullptr;
    Urb* urb = nullptr;
    int port = 0;
    LibusbEndpoint* endpoint = nullptr;  // null for control transfers
    std::optional<UsbHost::TransferId> id;
    bool cancelRequested = false;
    Apply apply;
};

// Hears the host's arrivals and departures for the bus. The host may be inside its
// callback on its event thread when the bus stops watching, so the callback owns this and
// posts only while the bus still listens.
struct HotplugListener {
    std::mutex mutex;
    Worker* pnp = nullptr;  // null once the bus stopped listening
};

struct LibusbBus::State final : Transport {
    State(std::unique_ptr<UsbHost> host, ReaderMatch match);

    // ---- the transport, on the caller's thread: transfers go to the host at once ----
    void accept(int port, kernel::Irp* irp, std::uint32_t code, void* argument) override;
    void transfer(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void control(BusPort& port, kernel::Irp* irp, Urb* urb, const SetupPacket& setup, Lock& lock) override;
    void isochronous(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void descriptor(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void abortPipe(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void frameNumber(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void end(kernel::Irp* irp, kernel::Status status, Lock& lock) override;
    void complete(kernel::Irp* irp, kernel::Status status) override;
    // Blocking calls of the host, handed to the worker.
    void selectConfiguration(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void resetPipe(BusPort& port, kernel::Irp* irp, Urb* urb, Lock& lock) override;
    void resetPort(BusPort& port, kernel::Irp* irp, Lock& lock) override;
    // Plug and play: a cycle runs on the pnp thread; a departure cancels what is in flight,
    // and the device's handle closes with its last port.
    void cyclePort(BusPort& port) override;
    void unplugged(BusPort& port, Lock& lock) override;
    void forgetting(BusPort& port, Lock& lock) override;

    // ---- transfers ----
    void start(int number, kernel::Irp* irp, Urb* urb, LibusbEndpoint* ep, const UsbHost::Transfer& t, Apply apply);
    void transferDone(std::uint64_t key, const UsbHost::Outcome& outcome);
    void cancelIrp(kernel::Irp* irp);
    LibusbPort* port(int number) const;

    // ---- blocking calls, on the worker ----
    void configure(int number, kernel::Irp* irp, Urb* urb);
    void releaseClaimed(UsbHost::DeviceRef ref, const std::vector<int>& claimed);
    void clearHalt(int number, kernel::Irp* irp, Urb* urb);

    // ---- plug and play, on the pnp thread ----
    void arrive(UsbHost::DeviceRef ref);
    void depart(UsbHost::DeviceRef ref);
    void cycle(int number);

    BusDriver bus;
    std::unique_ptr<UsbHost> host;
    ReaderMatch match;
    std::map<std::uint64_t, InFlight> inflight;
    std::uint64_t nextKey = 1;
    std::unique_ptr<Worker> worker;  // blocking calls of the host
    std::unique_ptr<Worker> pnp;     // arrivals, departures, port cycles
    std::shared_ptr<HotplugListener> listener = std::make_shared<HotplugListener>();
};

}  // namespace usb
