// The libusb bus: URBs and port requests of the driver above mapped to a UsbHost.
// Transfers are asynchronous and complete from the host's event thread at dispatch level;
// blocking calls (configuration, halt, reset) run on the bus's worker thread; arrivals
// and departures run on its plug-and-play thread, so that a driver's start, which waits
// for its URBs, never waits on the thread that would serve them.
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "kernel/host.h"
#include "kernel/registry.h"
#include "usb/libusb_bus.h"
#include "usb/urb.h"

namespace usb {

using namespace kernel;
using Result = UsbHost::Result;

namespace {

// The bus's own detail statuses beyond the shared ones.
constexpr UsbdStatus USBD_STATUS_XACT_ERROR = static_cast<UsbdStatus>(0xC0000011);
constexpr UsbdStatus USBD_STATUS_ERROR_SHORT_TRANSFER = static_cast<UsbdStatus>(0xC0000900);

// One thread that runs posted jobs in order.
class Worker {
public:
    Worker() : thread_([this] { run(); }) {}
    ~Worker() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void post(std::function<void()> job) {
        {
            std::lock_guard lock(mutex_);
            jobs_.push_back(std::move(job));
        }
        cv_.notify_all();
    }
    // Waits until every job posted before has run.
    void drain() {
        if (std::this_thread::get_id() == thread_.get_id()) return;
        std::mutex m;
        std::condition_variable done;
        bool ran = false;
        post([&] {
            std::lock_guard lock(m);
            ran = true;
            done.notify_all();
        });
        std::unique_lock lock(m);
        done.wait(lock, [&] { return ran; });
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            cv_.wait(lock, [&] { return stopping_ || !jobs_.empty(); });
            if (jobs_.empty()) return;
            auto job = std::move(jobs_.front());
            jobs_.pop_front();
            lock.unlock();
            job();
            lock.lock();
        }
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread thread_;
};

struct Endpoint {
    std::uint8_t address = 0;
    std::uint8_t type = USB_ENDPOINT_TYPE_BULK;
    std::uint16_t maxPacket = 0;
    int inFlight = 0;
    std::vector<std::pair<Irp*, Urb*>> aborts;  // abort requests waiting for the last callback
};

struct Port {
    int number = 0;
    UsbHost::DeviceRef ref = 0;
    DeviceObject* pdo = nullptr;
    std::string hardwareId, instanceId;
    bool present = true;
    std::vector<std::uint8_t> device, configuration;
    std::vector<std::unique_ptr<Endpoint>> endpoints;  // a pipe handle is one of these
    std::vector<int> claimed;
    Irp* waitWake = nullptr;

    Endpoint* endpoint(void* handle) {
        for (auto& e : endpoints)
            if (e.get() == handle) return e.get();
        return nullptr;
    }
};

// What a finished transfer writes back into its URB; returns the URB's status.
using Apply = std::function<UsbdStatus(const UsbHost::Outcome&)>;

struct InFlight {
    Irp* irp = nullptr;
    Urb* urb = nullptr;
    int port = 0;
    Endpoint* endpoint = nullptr;  // null for control transfers
    std::optional<UsbHost::TransferId> id;
    bool cancelRequested = false;
    Apply apply;
};

struct PdoExtension {
    LibusbBus::State* bus;
    int port;
};

UsbdStatus usbdOf(Result r) {
    switch (r) {
    case Result::Ok: return USBD_STATUS_SUCCESS;
    case Result::Stall: return USBD_STATUS_STALL_PID;
    case Result::Cancelled: return USBD_STATUS_CANCELED;
    case Result::Gone: return USBD_STATUS_DEVICE_GONE;
    case Result::Overflow: return USBD_STATUS_DATA_OVERRUN;
    default: return USBD_STATUS_XACT_ERROR;
    }
}

// Completes a request as a host controller's deferred routine would.
void finish(Irp* irp, Status status) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    IrqlScope dispatch(DISPATCH_LEVEL);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

void finishUrb(Irp* irp, Urb* urb, UsbdStatus usbd) {
    urb->UrbHeader.Status = usbd;
    finish(irp, statusOfUsbd(usbd));
}

std::uint8_t* transferBuffer(UrbTransfer* urb) {
    if (urb->TransferBufferMDL)
        return static_cast<std::uint8_t*>(MmGetSystemAddressForMdlSafe(urb->TransferBufferMDL, NormalPagePriority));
    return static_cast<std::uint8_t*>(urb->TransferBuffer);
}

std::string hex4(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
    return buf;
}

std::string hardwareIdOf(const ReaderMatch& m) {
    return "USB\\VID_" + hex4(m.vendorId) + "&PID_" + hex4(m.productId);
}

}  // namespace

struct LibusbBus::State {
    std::unique_ptr<UsbHost> host;
    ReaderMatch match;
    DriverObject* driver = nullptr;
    mutable std::mutex mutex;
    std::map<int, Port> ports;
    std::map<std::uint64_t, InFlight> inflight;
    std::uint64_t nextKey = 1;
    std::unique_ptr<Worker> worker;  // blocking calls of the host
    std::unique_ptr<Worker> pnp;     // arrivals, departures, port cycles

    Port* port(int number) {
        auto it = ports.find(number);
        return it == ports.end() ? nullptr : &it->second;
    }

    // --- transfers ---
    void start(int number, Irp* irp, Urb* urb, Endpoint* ep, const UsbHost::Transfer& t, Apply apply);
    void transferDone(std::uint64_t key, const UsbHost::Outcome& outcome);
    void cancelIrp(Irp* irp);
    void bulk(Port& port, Irp* irp, Urb* urb, std::unique_lock<std::mutex>& lock);
    void isochronous(Port& port, Irp* irp, Urb* urb, std::unique_lock<std::mutex>& lock);
    void control(Port& port, Irp* irp, Urb* urb, std::unique_lock<std::mutex>& lock);
    void descriptor(Port& port, Irp* irp, Urb* urb, std::unique_lock<std::mutex>& lock);
    void abort(Port& port, Irp* irp, Urb* urb, std::unique_lock<std::mutex>& lock);

    // --- blocking calls, on the worker ---
    void selectConfiguration(int number, Irp* irp, Urb* urb);
    void releaseClaimed(UsbHost::DeviceRef ref, std::vector<int> claimed);
    void resetPipe(int number, Irp* irp, Urb* urb);

    void submitUrb(int number, Irp* irp, Urb* urb);
    void portRequest(int number, Irp* irp, std::uint32_t code, void* argument);

    // --- plug and play, on the pnp thread ---
    void arrive(UsbHost::DeviceRef ref);
    void depart(UsbHost::DeviceRef ref);
    void cycle(int number);
    void forget(int number);  // the port's device object is gone: let the device go
};

// ---------- transfers ----------

namespace {

void cancelTransfer(DeviceObject* pdo, Irp* irp) {
    static_cast<PdoExtension*>(pdo->DeviceExtension)->bus->cancelIrp(irp);
}

}  // namespace

void LibusbBus::State::start(int number, Irp* irp, Urb* urb, Endpoint* ep, const UsbHost::Transfer& t,
                             Apply apply) {
    std::uint64_t key;
    UsbHost::DeviceRef ref;
    {
        std::lock_guard lock(mutex);
        Port* p = port(number);
        ref = p ? p->ref : 0;
        key = nextKey++;
        inflight[key] = InFlight{irp, urb, number, ep, std::nullopt, false, std::move(apply)};
        if (ep) ++ep->inFlight;
    }
    IoSetCancelRoutine(irp, cancelTransfer);
    Result failure = Result::Error;
    std::optional<UsbHost::TransferId> id;
    if (!irp->Cancel.load())
        id = host->submit(ref, t, [this, key](const UsbHost::Outcome& o) { transferDone(key, o); }, &failure);
    else
        failure = Result::Cancelled;
    if (!id) {
        UsbHost::Outcome o;
        o.result = failure;
        return transferDone(key, o);
    }
    bool cancelNow = false;
    {
        std::lock_guard lock(mutex);
        auto it = inflight.find(key);
        if (it != inflight.end()) {
            it->second.id = id;
            cancelNow = it->second.cancelRequested;
        }
    }
    if (cancelNow) host->cancel(*id);
}

void LibusbBus::State::transferDone(std::uint64_t key, const UsbHost::Outcome& outcome) {
    InFlight done;
    std::vector<std::pair<Irp*, Urb*>> aborts;
    {
        std::lock_guard lock(mutex);
        auto it = inflight.find(key);
        if (it == inflight.end()) return;
        done = std::move(it->second);
        inflight.erase(it);
        Port* p = port(done.port);
        if (done.endpoint && p && p->endpoint(done.endpoint) && --done.endpoint->inFlight == 0)
            aborts.swap(done.endpoint->aborts);
    }
    IoSetCancelRoutine(done.irp, nullptr);  // the cancel routine only asks: this completes it
    finishUrb(done.irp, done.urb, done.apply(outcome));
    for (auto [irp, urb] : aborts) finishUrb(irp, urb, USBD_STATUS_SUCCESS);
}

void LibusbBus::State::cancelIrp(Irp* irp) {
    std::optional<UsbHost::TransferId> id;
    {
        std::lock_guard lock(mutex);
        for (auto& [key, t] : inflight) {
            if (t.irp != irp) continue;
            t.cancelRequested = true;
            id = t.id;
            break;
        }
    }
    if (id) host->cancel(*id);
}

namespace {

// Bytes moved, and the rule of both buses: a short IN without permission fails.
Apply transferApply(UrbTransfer* u, bool in) {
    std::uint32_t asked = u->TransferBufferLength;
    bool shortOk = (u->TransferFlags & USBD_SHORT_TRANSFER_OK) != 0;
    return [u, in, asked, shortOk](const UsbHost::Outcome& o) {
        u->TransferBufferLength = std::min(o.actual, asked);
        UsbdStatus s = usbdOf(o.result);
        if (s == USBD_STATUS_SUCCESS && in && !shortOk && o.actual < asked) s = USBD_STATUS_ERROR_SHORT_TRANSFER;
        return s;
    };
}

}  // namespace

void LibusbBus::State::bulk(Port& p, Irp* irp, Urb* urb, std::unique_lock<std::mutex>& lock) {
    UrbTransfer* u = &urb->UrbTransfer;
    Endpoint* ep = p.endpoint(u->PipeHandle);
    if (!ep || (ep->type != USB_ENDPOINT_TYPE_BULK && ep->type != USB_ENDPOINT_TYPE_INTERRUPT)) {
        lock.unlock();
        return finishUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE);
    }
    UsbHost::Transfer t;
    t.kind = ep->type == USB_ENDPOINT_TYPE_BULK ? UsbHost::Kind::Bulk : UsbHost::Kind::Interrupt;
    t.endpoint = ep->address;
    t.length = u->TransferBufferLength;
    t.buffer = transferBuffer(u);
    int number = p.number;
    lock.unlock();
    if (t.length && !t.buffer) return finishUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER);
    start(number, irp, urb, ep, t, transferApply(u, (ep->address & USB_ENDPOINT_DIRECTION_IN) != 0));
}

void LibusbBus::State::isochronous(Port& p, Irp* irp, Urb* urb, std::unique_lock<std::mutex>& lock) {
    auto& r = urb->UrbIsochronousTransfer;
    Endpoint* ep = p.endpoint(r.PipeHandle);
    if (!ep || ep->type != USB_ENDPOINT_TYPE_ISOCHRONOUS) {
        lock.unlock();
        return finishUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE);
    }
    int number = p.number;
    bool in = (ep->address & USB_ENDPOINT_DIRECTION_IN) != 0;
    lock.unlock();
    // usbfs gives no frame number: only "as soon as possible" can be honoured.
    if (!(r.TransferFlags & USBD_START_ISO_TRANSFER_ASAP)) return finishUrb(irp, urb, USBD_STATUS_BAD_START_FRAME);
    UsbHost::Transfer t;
    t.kind = UsbHost::Kind::Isochronous;
    t.endpoint = ep->address;
    t.length = r.TransferBufferLength;
    t.buffer = transferBuffer(&urb->UrbTransfer);
    for (std::uint32_t i = 0; i < r.NumberOfPackets; ++i) {
        std::uint32_t end = i + 1 < r.NumberOfPackets ? isoPacketAt(&r, i + 1)->Offset : r.TransferBufferLength;
        std::uint32_t offset = isoPacketAt(&r, i)->Offset;
        if (end < offset || end > r.TransferBufferLength) return finishUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER);
        t.isoPackets.push_back(end - offset);
    }
    if (t.length && !t.buffer) return finishUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER);
    UrbIsochTransfer* u = &r;
    start(number, irp, urb, ep, t, [u, in](const UsbHost::Outcome& o) {
        std::uint32_t total = 0;
        u->ErrorCount = 0;
        for (std::uint32_t i = 0; i < u->NumberOfPackets; ++i) {
            IsoPacketDescriptor* p = isoPacketAt(u, i);
            std::uint32_t n = i < o.isoActual.size() ? o.isoActual[i] : 0;
            p->Status = i < o.isoResults.size() ? usbdOf(o.isoResults[i]) : usbdOf(o.result);
            if (p->Status != USBD_STATUS_SUCCESS) ++u->ErrorCount;
            if (in) p->Length = n;
            total += n;
        }
        u->TransferBufferLength = total;
        return usbdOf(o.result);
    });
}

void LibusbBus::State::control(Port& p, Irp* irp, Urb* urb, std::unique_lock<std::mutex>& lock) {
    auto& r = urb->UrbControlVendorClassRequest;
    std::uint16_t f = r.Hdr.Function;
    bool vendor = (f >= URB_FUNCTION_VENDOR_DEVICE && f <= URB_FUNCTION_VENDOR_ENDPOINT) || f == URB_FUNCTION_VENDOR_OTHER;
    std::uint8_t recipient = 0;
    if (f == URB_FUNCTION_VENDOR_INTERFACE || f == URB_FUNCTION_CLASS_INTERFACE) recipient = 1;
    if (f == URB_FUNCTION_VENDOR_ENDPOINT || f == URB_FUNCTION_CLASS_ENDPOINT) recipient = 2;
    if (f == URB_FUNCTION_VENDOR_OTHER || f == URB_FUNCTION_CLASS_OTHER) recipient = 3;
    bool in = (r.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0;
    int number = p.number;
    lock.unlock();
    if (r.TransferBufferLength > 0xFFFF) return finishUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER);
    UsbHost::Transfer t;
    t.kind = UsbHost::Kind::Control;
    t.setup.bmRequestType = static_cast<std::uint8_t>((in ? 0x80 : 0) | (vendor ? 0x40 : 0x20) | recipient);
    t.setup.bRequest = r.Request;
    t.setup.wValue = r.Value;
    t.setup.wIndex = r.Index;
    t.setup.wLength = static_cast<std::uint16_t>(r.TransferBufferLength);
    t.length = r.TransferBufferLength;
    t.buffer = transferBuffer(&urb->UrbTransfer);
    if (t.length && !t.buffer) return finishUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER);
    start(number, irp, urb, nullptr, t, transferApply(&urb->UrbTransfer, in));
}

// Device and configuration descriptors come from the copies read at arrival; others
// (strings) are asked of the device.
void LibusbBus::State::descriptor(Port& p, Irp* irp, Urb* urb, std::unique_lock<std::mutex>& lock) {
    auto& r = urb->UrbControlDescriptorRequest;
    const std::vector<std::uint8_t>* cached = nullptr;
    if (r.DescriptorType == USB_DEVICE_DESCRIPTOR_TYPE) cached = &p.device;
    if (r.DescriptorType == USB_CONFIGURATION_DESCRIPTOR_TYPE && r.Index == 0) cached = &p.configuration;
    std::uint8_t* buffer = transferBuffer(&urb->UrbTransfer);
    if (cached) {
        std::uint32_t n = std::min<std::uint32_t>(r.TransferBufferLength, static_cast<std::uint32_t>(cached->size()));
        if (n && !buffer) {
            lock.unlock();
            return finishUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER);
        }
        if (n) std::memcpy(buffer, cached->data(), n);
        r.TransferBufferLength = n;
        lock.unlock();
        return finishUrb(irp, urb, USBD_STATUS_SUCCESS);
    }
    int number = p.number;
    lock.unlock();
    if (r.TransferBufferLength > 0xFFFF || (r.TransferBufferLength && !buffer))
        return finishUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER);
    UsbHost::Transfer t;
    t.kind = UsbHost::Kind::Control;
    t.setup = {0x80, 6, static_cast<std::uint16_t>(r.DescriptorType << 8 | r.Index), r.LanguageId,
               static_cast<std::uint16_t>(r.TransferBufferLength)};
    t.length = r.TransferBufferLength;
    t.buffer = buffer;
    UrbTransfer* u = &urb->UrbTransfer;
    u->TransferFlags = USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK;
    start(number, irp, urb, nullptr, t, transferApply(u, true));
}

// Cancels every transfer of the pipe; the abort ends after their last callback.
void LibusbBus::State::abort(Port& p, Irp* irp, Urb* urb, std::unique_lock<std::mutex>& lock) {
    Endpoint* ep = p.endpoint(urb->UrbPipeRequest.PipeHandle);
    if (!ep) {
        lock.unlock();
        return finishUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE);
    }
    if (ep->inFlight == 0) {
        lock.unlock();
        return finishUrb(irp, urb, USBD_STATUS_SUCCESS);
    }
    ep->aborts.emplace_back(irp, urb);
    std::vector<UsbHost::TransferId> ids;
    for (auto& [key, t] : inflight) {
        if (t.endpoint != ep) continue;
        t.cancelRequested = true;
        if (t.id) ids.push_back(*t.id);
    }
    lock.unlock();
    for (auto id : ids) host->cancel(id);
}

// ---------- blocking calls ----------

void LibusbBus::State::releaseClaimed(UsbHost::DeviceRef ref, std::vector<int> claimed) {
    for (int n : claimed) host->releaseInterface(ref, n);
}

void LibusbBus::State::selectConfiguration(int number, Irp* irp, Urb* urb) {
    auto& r = urb->UrbSelectConfiguration;
    std::unique_lock lock(mutex);
    Port* p = port(number);
    if (!p || !p->present) {
        lock.unlock();
        return finishUrb(irp, urb, USBD_STATUS_DEVICE_GONE);
    }
    UsbHost::DeviceRef ref = p->ref;
    std::vector<std::uint8_t> config = p->configuration;
    std::vector<int> claimed;
    claimed.swap(p->claimed);
    p->endpoints.clear();  // old pipe handles die with the old configuration
    lock.unlock();
    releaseClaimed(ref, claimed);
    if (!r.ConfigurationDescriptor) {
        host->setConfiguration(ref, -1);
        r.ConfigurationHandle = nullptr;
        return finishUrb(irp, urb, USBD_STATUS_SUCCESS);
    }
    auto* cd = reinterpret_cast<ConfigurationDescriptor*>(config.data());
    Result result = host->setConfiguration(ref, cd->bConfigurationValue);
    std::vector<std::unique_ptr<Endpoint>> endpoints;
    UsbdStatus status = usbdOf(result);
    std::size_t offset = offsetof(UrbSelectConfiguration, Interface);
    while (status == USBD_STATUS_SUCCESS && offset + interfaceInformationSize(0) <= urb->UrbHeader.Length) {
        auto* info = reinterpret_cast<InterfaceInformation*>(reinterpret_cast<std::byte*>(urb) + offset);
        if (info->Length == 0) break;
        InterfaceDescriptor* d = USBD_ParseConfigurationDescriptorEx(cd, cd, info->InterfaceNumber,
                                                                     info->AlternateSetting, -1, -1, -1);
        if (!d || info->Length < interfaceInformationSize(d->bNumEndpoints)) {
            status = USBD_STATUS_INVALID_PARAMETER;
            break;
        }
        result = host->claimInterface(ref, d->bInterfaceNumber);
        if (result == Result::Ok) claimed.push_back(d->bInterfaceNumber);
        if (result == Result::Ok && d->bAlternateSetting != 0)
            result = host->setAlternateSetting(ref, d->bInterfaceNumber, d->bAlternateSetting);
        if (result != Result::Ok) {
            status = usbdOf(result);
            break;
        }
        info->Class = d->bInterfaceClass;
        info->SubClass = d->bInterfaceSubClass;
        info->Protocol = d->bInterfaceProtocol;
        info->NumberOfPipes = d->bNumEndpoints;
        info->InterfaceHandle = d;
        auto* at = reinterpret_cast<std::uint8_t*>(d) + d->bLength;
        auto* end = config.data() + std::min<std::size_t>(cd->wTotalLength, config.size());
        std::uint32_t pipe = 0;
        while (pipe < d->bNumEndpoints && at + 2 <= end && at[0] >= 2 && at[1] != USB_INTERFACE_DESCRIPTOR_TYPE) {
            if (at[1] == USB_ENDPOINT_DESCRIPTOR_TYPE && at[0] >= sizeof(EndpointDescriptor) && at + at[0] <= end) {
                auto* e = reinterpret_cast<EndpointDescriptor*>(at);
                auto ep = std::make_unique<Endpoint>();
                ep->address = e->bEndpointAddress;
                ep->type = e->bmAttributes & 3;
                ep->maxPacket = static_cast<std::uint16_t>(e->wMaxPacketSize & 0x7FF);
                PipeInformation* pi = pipeAt(info, pipe++);
                pi->MaximumPacketSize = ep->maxPacket;
                pi->EndpointAddress = ep->address;
                pi->Interval = e->bInterval;
                pi->PipeType = static_cast<UsbdPipeType>(ep->type);
                pi->PipeHandle = ep.get();
                endpoints.push_back(std::move(ep));
            }
            at += at[0];
        }
        offset += info->Length;
    }
    if (status != USBD_STATUS_SUCCESS) {
        releaseClaimed(ref, claimed);
        return finishUrb(irp, urb, status);
    }
    lock.lock();
    p = port(number);
    if (p) {
        p->endpoints = std::move(endpoints);
        p->claimed = claimed;
    }
    lock.unlock();
    r.ConfigurationHandle = p;
    finishUrb(irp, urb, USBD_STATUS_SUCCESS);
}

void LibusbBus::State::resetPipe(int number, Irp* irp, Urb* urb) {
    std::unique_lock lock(mutex);
    Port* p = port(number);
    Endpoint* ep = p ? p->endpoint(urb->UrbPipeRequest.PipeHandle) : nullptr;
    if (!ep) {
        lock.unlock();
        return finishUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE);
    }
    UsbHost::DeviceRef ref = p->ref;
    std::uint8_t address = ep->address;
    lock.unlock();
    finishUrb(irp, urb, usbdOf(host->clearHalt(ref, address)));
}

void LibusbBus::State::submitUrb(int number, Irp* irp, Urb* urb) {
    std::unique_lock lock(mutex);
    Port* p = port(number);
    if (!p || !p->present) {
        lock.unlock();
        return finishUrb(irp, urb, USBD_STATUS_DEVICE_GONE);
    }
    switch (urb->UrbHeader.Function) {
    case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER: return bulk(*p, irp, urb, lock);
    case URB_FUNCTION_ISOCH_TRANSFER: return isochronous(*p, irp, urb, lock);
    case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE: return descriptor(*p, irp, urb, lock);
    case URB_FUNCTION_ABORT_PIPE: return abort(*p, irp, urb, lock);
    case URB_FUNCTION_SELECT_CONFIGURATION:
        lock.unlock();
        return worker->post([this, number, irp, urb] { selectConfiguration(number, irp, urb); });
    case URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL:
        lock.unlock();
        return worker->post([this, number, irp, urb] { resetPipe(number, irp, urb); });
    case URB_FUNCTION_VENDOR_DEVICE:
    case URB_FUNCTION_VENDOR_INTERFACE:
    case URB_FUNCTION_VENDOR_ENDPOINT:
    case URB_FUNCTION_VENDOR_OTHER:
    case URB_FUNCTION_CLASS_DEVICE:
    case URB_FUNCTION_CLASS_INTERFACE:
    case URB_FUNCTION_CLASS_ENDPOINT:
    case URB_FUNCTION_CLASS_OTHER:
        return control(*p, irp, urb, lock);
    case URB_FUNCTION_GET_CURRENT_FRAME_NUMBER:  // usbfs has none
    default:
        lock.unlock();
        return finishUrb(irp, urb, USBD_STATUS_INVALID_URB_FUNCTION);
    }
}

void LibusbBus::State::portRequest(int number, Irp* irp, std::uint32_t code, void* argument) {
    std::unique_lock lock(mutex);
    Port* p = port(number);
    bool present = p && p->present;
    UsbHost::DeviceRef ref = p ? p->ref : 0;
    lock.unlock();
    switch (code) {
    case IOCTL_INTERNAL_USB_GET_PORT_STATUS:
        if (!argument) return finish(irp, STATUS_INVALID_PARAMETER);
        // Connected and enabled for as long as the device's handle is good.
        *static_cast<std::uint32_t*>(argument) = present ? USBD_PORT_CONNECTED | USBD_PORT_ENABLED : 0;
        return finish(irp, STATUS_SUCCESS);
    case IOCTL_INTERNAL_USB_ENABLE_PORT:
        return finish(irp, present ? STATUS_SUCCESS : STATUS_DEVICE_NOT_CONNECTED);
    case IOCTL_INTERNAL_USB_RESET_PORT:
        if (!present) return finish(irp, STATUS_DEVICE_NOT_CONNECTED);
        return worker->post([this, irp, ref] {
            Result r = host->resetDevice(ref);
            finish(irp, r == Result::Ok ? STATUS_SUCCESS : r == Result::Gone ? STATUS_DEVICE_NOT_CONNECTED : STATUS_UNSUCCESSFUL);
        });
    case IOCTL_INTERNAL_USB_CYCLE_PORT:
        if (!present) return finish(irp, STATUS_DEVICE_NOT_CONNECTED);
        pnp->post([this, number] { cycle(number); });
        return finish(irp, STATUS_SUCCESS);
    default:
        return finish(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
}

// ---------- dispatch of the bus driver ----------

namespace {

LibusbBus::State* busOf(DeviceObject* pdo) { return static_cast<PdoExtension*>(pdo->DeviceExtension)->bus; }
int portOf(DeviceObject* pdo) { return static_cast<PdoExtension*>(pdo->DeviceExtension)->port; }

Status completeNow(Irp* irp, Status status) {
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

Status dispatchInternal(DeviceObject* pdo, Irp* irp) {
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    std::uint32_t code = s->Parameters.DeviceIoControl.IoControlCode;
    void* argument = s->Parameters.Others.Argument1;
    if (code == IOCTL_INTERNAL_USB_SUBMIT_URB && !argument) return completeNow(irp, STATUS_INVALID_PARAMETER);
    IoMarkIrpPending(irp);
    if (code == IOCTL_INTERNAL_USB_SUBMIT_URB) {
        static_cast<Urb*>(argument)->UrbHeader.Status = USBD_STATUS_PENDING;
        busOf(pdo)->submitUrb(portOf(pdo), irp, static_cast<Urb*>(argument));
    } else {
        busOf(pdo)->portRequest(portOf(pdo), irp, code, argument);
    }
    return STATUS_PENDING;
}

// Everything but S0 puts the reader in D3; usbfs offers no remote wake.
void capabilitiesOf(DeviceCapabilities* caps, int number) {
    bool surpriseOk = caps->SurpriseRemovalOK;
    *caps = DeviceCapabilities{};
    caps->Removable = 1;
    caps->SurpriseRemovalOK = surpriseOk;
    caps->DeviceState[PowerSystemWorking] = PowerDeviceD0;
    for (unsigned s = PowerSystemSleeping1; s < PowerSystemMaximum; ++s) caps->DeviceState[s] = PowerDeviceD3;
    caps->Address = caps->UINumber = static_cast<std::uint32_t>(number);
}

Status dispatchPnp(DeviceObject* pdo, Irp* irp) {
    LibusbBus::State* bus = busOf(pdo);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    int number = portOf(pdo);
    Status status = irp->IoStatus.Status;
    bool gone = false;
    Irp* wake = nullptr;
    {
        std::lock_guard lock(bus->mutex);
        Port* port = bus->port(number);
        switch (s->MinorFunction) {
        case IRP_MN_QUERY_CAPABILITIES: {
            DeviceCapabilities* caps = s->Parameters.DeviceCapabilities.Capabilities;
            if (!caps || caps->Version < 1 || caps->Size < sizeof(DeviceCapabilities)) {
                status = STATUS_UNSUCCESSFUL;
                break;
            }
            capabilitiesOf(caps, number);
            status = STATUS_SUCCESS;
            break;
        }
        case IRP_MN_START_DEVICE:
        case IRP_MN_QUERY_REMOVE_DEVICE:
        case IRP_MN_CANCEL_REMOVE_DEVICE:
        case IRP_MN_QUERY_STOP_DEVICE:
        case IRP_MN_CANCEL_STOP_DEVICE:
        case IRP_MN_STOP_DEVICE:
        case IRP_MN_SURPRISE_REMOVAL:
            status = STATUS_SUCCESS;
            break;
        case IRP_MN_REMOVE_DEVICE:
            if (port) {
                if (port->waitWake && IoSetCancelRoutine(port->waitWake, nullptr) != nullptr) wake = port->waitWake;
                port->waitWake = nullptr;
                gone = !port->present;
            }
            status = STATUS_SUCCESS;
            break;
        default:
            break;
        }
    }
    if (wake) completeNow(wake, STATUS_NO_SUCH_DEVICE);
    completeNow(irp, status);
    if (gone) bus->forget(number);
    return status;
}

void cancelWaitWake(DeviceObject* pdo, Irp* irp) {
    LibusbBus::State* bus = busOf(pdo);
    {
        std::lock_guard lock(bus->mutex);
        for (auto& [number, port] : bus->ports)
            if (port.waitWake == irp) port.waitWake = nullptr;
    }
    finish(irp, STATUS_CANCELLED);
}

// Device power is not under the bus's control through usbfs: set and query succeed;
// a wait-wake pends until it is cancelled.
Status dispatchPower(DeviceObject* pdo, Irp* irp) {
    LibusbBus::State* bus = busOf(pdo);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    PoStartNextPowerIrp(irp);
    if (s->MinorFunction == IRP_MN_SET_POWER || s->MinorFunction == IRP_MN_QUERY_POWER)
        return completeNow(irp, STATUS_SUCCESS);
    if (s->MinorFunction != IRP_MN_WAIT_WAKE) return completeNow(irp, irp->IoStatus.Status);
    std::unique_lock lock(bus->mutex);
    Port* port = bus->port(portOf(pdo));
    if (!port || !port->present) {
        lock.unlock();
        return completeNow(irp, STATUS_NO_SUCH_DEVICE);
    }
    if (port->waitWake) {
        lock.unlock();
        return completeNow(irp, STATUS_DEVICE_BUSY);
    }
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, cancelWaitWake);
    if (irp->Cancel.load() && IoSetCancelRoutine(irp, nullptr) != nullptr) {
        lock.unlock();
        finish(irp, STATUS_CANCELLED);
        return STATUS_PENDING;
    }
    port->waitWake = irp;
    return STATUS_PENDING;
}

Status busEntry(DriverObject* driver, const UnicodeString*) {
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatchInternal;
    driver->MajorFunction[IRP_MJ_PNP] = dispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = dispatchPower;
    return STATUS_SUCCESS;
}

}  // namespace

// ---------- plug and play ----------

void LibusbBus::State::arrive(UsbHost::DeviceRef ref) {
    auto dd = host->deviceDescriptor(ref);
    if (!dd || dd->idVendor != match.vendorId || dd->idProduct != match.productId) return;
    {
        std::lock_guard lock(mutex);
        for (auto& [n, p] : ports)
            if (p.ref == ref && p.present) return;
    }
    std::vector<std::uint8_t> config = host->configuration(ref, 0);
    if (config.size() < sizeof(ConfigurationDescriptor)) return;
    auto* cd = reinterpret_cast<ConfigurationDescriptor*>(config.data());
    cd->wTotalLength = static_cast<std::uint16_t>(std::min<std::size_t>(cd->wTotalLength, config.size()));
    config.resize(cd->wTotalLength);
    if (host->open(ref) != Result::Ok) {
        std::fprintf(stderr, "pipedrv: the reader at %s cannot be opened (see the udev rule)\n",
                     host->location(ref).c_str());
        return;
    }
    DeviceObject* pdo = nullptr;
    if (IoCreateDevice(driver, sizeof(PdoExtension), nullptr, FILE_DEVICE_BUS_EXTENDER,
                       FILE_AUTOGENERATED_DEVICE_NAME, false, &pdo) != STATUS_SUCCESS) {
        host->close(ref);
        return;
    }
    int number = 1;
    pnp::DeviceIdentity identity;
    {
        std::lock_guard lock(mutex);
        while (ports.count(number)) ++number;
        Port& p = ports[number];
        p.number = number;
        p.ref = ref;
        p.pdo = pdo;
        p.device.resize(sizeof(DeviceDescriptor));
        std::memcpy(p.device.data(), &*dd, sizeof(DeviceDescriptor));
        p.configuration = std::move(config);
        p.hardwareId = hardwareIdOf(match);
        p.instanceId = p.hardwareId + "\\" + host->location(ref);
        identity = {p.hardwareId, p.instanceId};
        new (pdo->DeviceExtension) PdoExtension{this, number};
    }
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    pnp::deviceArrived(pdo, identity);
}

void LibusbBus::State::depart(UsbHost::DeviceRef ref) {
    DeviceObject* pdo = nullptr;
    int number = 0;
    std::vector<UsbHost::TransferId> ids;
    {
        std::lock_guard lock(mutex);
        for (auto& [n, p] : ports) {
            if (p.ref != ref || !p.present) continue;
            p.present = false;
            pdo = p.pdo;
            number = n;
        }
        if (!pdo) return;
        for (auto& [key, t] : inflight) {
            if (t.port != number) continue;
            t.cancelRequested = true;
            if (t.id) ids.push_back(*t.id);
        }
    }
    for (auto id : ids) host->cancel(id);
    if (!pnp::surpriseRemoval(pdo)) forget(number);
}

void LibusbBus::State::forget(int number) {
    DeviceObject* pdo = nullptr;
    UsbHost::DeviceRef ref = 0;
    std::vector<int> claimed;
    bool shared = false;  // a cycled device came back on a new port with the same handle
    {
        std::lock_guard lock(mutex);
        Port* p = port(number);
        if (!p) return;
        pdo = p->pdo;
        ref = p->ref;
        claimed = p->claimed;
        ports.erase(number);
        for (auto& [n, other] : ports) shared = shared || other.ref == ref;
    }
    if (!shared && host) {
        releaseClaimed(ref, claimed);
        host->close(ref);
    }
    IoDeleteDevice(pdo);
}

// A cycle looks like an unplug and a replug.
void LibusbBus::State::cycle(int number) {
    UsbHost::DeviceRef ref;
    {
        std::lock_guard lock(mutex);
        Port* p = port(number);
        if (!p || !p->present) return;
        ref = p->ref;
    }
    host->resetDevice(ref);
    depart(ref);
    arrive(ref);
}

// ---------- the bus's own face ----------

LibusbBus::LibusbBus(std::unique_ptr<UsbHost> host, ReaderMatch match) : state_(std::make_shared<State>()) {
    static std::atomic<int> buses{0};
    State& s = *state_;
    s.host = std::move(host);
    s.match = std::move(match);
    for (auto& [name, value] : s.match.values) registry::set(hardwareIdOf(s.match), name, registry::dword(value));
    s.driver = loadDriver("usblib" + std::to_string(++buses), busEntry);
    s.worker = std::make_unique<Worker>();
    s.pnp = std::make_unique<Worker>();
    s.host->watch([st = &s](UsbHost::DeviceRef ref, bool arrived) {
        st->pnp->post([st, ref, arrived] { arrived ? st->arrive(ref) : st->depart(ref); });
    });
    for (auto ref : s.host->devices()) s.pnp->post([st = &s, ref] { st->arrive(ref); });
    s.pnp->drain();
}

LibusbBus::~LibusbBus() {
    State& s = *state_;
    s.host->watch(nullptr);
    s.pnp->drain();
    std::vector<UsbHost::DeviceRef> refs;
    {
        std::lock_guard lock(s.mutex);
        for (auto& [n, p] : s.ports)
            if (p.present) refs.push_back(p.ref);
    }
    for (auto ref : refs) s.pnp->post([st = &s, ref] { st->depart(ref); });
    s.pnp.reset();
    s.worker.reset();
    {
        // A port whose handle is still open keeps its device until that close.
        std::lock_guard lock(s.mutex);
        for (auto& [n, p] : s.ports) s.host->close(p.ref);
    }
    s.host.reset();  // its event thread ends after the last callback
    unloadDriver(s.driver);
}

std::unique_ptr<LibusbBus> LibusbBus::fromProgramFolder(const std::filesystem::path& folder, std::string* error) {
    auto match = readReaderMatch(folder / kReaderConfigFile, error);
    if (!match) return nullptr;
    auto host = UsbHost::libusb(error);
    if (!host) return nullptr;
    return std::make_unique<LibusbBus>(std::move(host), std::move(*match));
}

std::vector<DeviceObject*> LibusbBus::pdos() const {
    std::lock_guard lock(state_->mutex);
    std::vector<DeviceObject*> out;
    for (auto& [n, p] : state_->ports)
        if (p.present) out.push_back(p.pdo);
    return out;
}

void LibusbBus::settle() { state_->pnp->drain(); }

}  // namespace usb
