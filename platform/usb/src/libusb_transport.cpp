// The libusb bus's transport: URBs and port requests mapped to a UsbHost.
#include "libusb_transport.h"

#include <algorithm>
#include <cstdio>

#include "kernel/host.h"

namespace usb {

using namespace kernel;
using Result = UsbHost::Result;

namespace {

// The bus's own detail statuses beyond the shared ones.
constexpr UsbdStatus USBD_STATUS_XACT_ERROR = static_cast<UsbdStatus>(0xC0000011);
constexpr UsbdStatus USBD_STATUS_ERROR_SHORT_TRANSFER = static_cast<UsbdStatus>(0xC0000900);

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

void cancelTransfer(DeviceObject* pdo, Irp* irp) {
    static_cast<LibusbBus::State&>(BusDriver::of(pdo).transport()).cancelIrp(irp);
}

// Bytes moved, and the rule of usbfs: a short IN without permission fails.
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

// ---------- the worker thread ----------

Worker::Worker() : thread_([this] { run(); }) {}

Worker::~Worker() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    cv_.notify_all();
    thread_.join();
}

void Worker::post(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    cv_.notify_all();
}

void Worker::drain() {
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

void Worker::run() {
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

// ---------- requests ----------

LibusbEndpoint* LibusbPort::endpoint(void* handle) {
    for (auto& e : endpoints)
        if (e.get() == handle) return e.get();
    return nullptr;
}

LibusbPort* LibusbBus::State::port(int number) const { return static_cast<LibusbPort*>(bus.port(number)); }

void LibusbBus::State::accept(int number, Irp* irp, std::uint32_t code, void* argument) {
    Lock lock(bus.mutex());
    bus.serve(number, irp, code, argument, lock);
}

void LibusbBus::State::end(Irp* irp, Status status, Lock& lock) {
    if (lock.owns_lock()) lock.unlock();
    finish(irp, status);
}

void LibusbBus::State::complete(Irp* irp, Status status) { finish(irp, status); }

void LibusbBus::State::start(int number, Irp* irp, Urb* urb, LibusbEndpoint* ep, const UsbHost::Transfer& t,
                             Apply apply) {
    std::uint64_t key;
    UsbHost::DeviceRef ref;
    {
        Lock lock(bus.mutex());
        LibusbPort* p = port(number);
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
        Lock lock(bus.mutex());
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
        Lock lock(bus.mutex());
        auto it = inflight.find(key);
        if (it == inflight.end()) return;
        done = std::move(it->second);
        inflight.erase(it);
        LibusbPort* p = port(done.port);
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
        Lock lock(bus.mutex());
        for (auto& [key, t] : inflight) {
            if (t.irp != irp) continue;
            t.cancelRequested = true;
            id = t.id;
            break;
        }
    }
    if (id) host->cancel(*id);
}

void LibusbBus::State::transfer(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    UrbTransfer* u = &urb->UrbTransfer;
    LibusbEndpoint* ep = libusbPort(p).endpoint(u->PipeHandle);
    if (!ep || (ep->type != USB_ENDPOINT_TYPE_BULK && ep->type != USB_ENDPOINT_TYPE_INTERRUPT))
        return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE, lock);
    UsbHost::Transfer t;
    t.kind = ep->type == USB_ENDPOINT_TYPE_BULK ? UsbHost::Kind::Bulk : UsbHost::Kind::Interrupt;
    t.endpoint = ep->address;
    t.length = u->TransferBufferLength;
    t.buffer = transferBuffer(urb);
    int number = p.number;
    lock.unlock();
    if (t.length && !t.buffer) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER, lock);
    start(number, irp, urb, ep, t, transferApply(u, (ep->address & USB_ENDPOINT_DIRECTION_IN) != 0));
}

void LibusbBus::State::isochronous(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    auto& r = urb->UrbIsochronousTransfer;
    LibusbEndpoint* ep = libusbPort(p).endpoint(r.PipeHandle);
    if (!ep || ep->type != USB_ENDPOINT_TYPE_ISOCHRONOUS)
        return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE, lock);
    int number = p.number;
    bool in = (ep->address & USB_ENDPOINT_DIRECTION_IN) != 0;
    lock.unlock();
    // usbfs gives no frame number: only "as soon as possible" can be honoured.
    if (!(r.TransferFlags & USBD_START_ISO_TRANSFER_ASAP)) return bus.endUrb(irp, urb, USBD_STATUS_BAD_START_FRAME, lock);
    UsbHost::Transfer t;
    t.kind = UsbHost::Kind::Isochronous;
    t.endpoint = ep->address;
    t.length = r.TransferBufferLength;
    t.buffer = transferBuffer(urb);
    for (std::uint32_t i = 0; i < r.NumberOfPackets; ++i) {
        std::uint32_t end = i + 1 < r.NumberOfPackets ? isoPacketAt(&r, i + 1)->Offset : r.TransferBufferLength;
        std::uint32_t offset = isoPacketAt(&r, i)->Offset;
        if (end < offset || end > r.TransferBufferLength) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER, lock);
        t.isoPackets.push_back(end - offset);
    }
    if (t.length && !t.buffer) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER, lock);
    UrbIsochTransfer* u = &r;
    start(number, irp, urb, ep, t, [u, in](const UsbHost::Outcome& o) {
        std::uint32_t total = 0;
        u->ErrorCount = 0;
        for (std::uint32_t i = 0; i < u->NumberOfPackets; ++i) {
            IsoPacketDescriptor* packet = isoPacketAt(u, i);
            std::uint32_t n = i < o.isoActual.size() ? o.isoActual[i] : 0;
            packet->Status = i < o.isoResults.size() ? usbdOf(o.isoResults[i]) : usbdOf(o.result);
            if (packet->Status != USBD_STATUS_SUCCESS) ++u->ErrorCount;
            if (in) packet->Length = n;
            total += n;
        }
        u->TransferBufferLength = total;
        return usbdOf(o.result);
    });
}

void LibusbBus::State::control(BusPort& p, Irp* irp, Urb* urb, const SetupPacket& setup, Lock& lock) {
    auto& r = urb->UrbControlVendorClassRequest;
    int number = p.number;
    lock.unlock();
    if (r.TransferBufferLength > 0xFFFF) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER, lock);
    UsbHost::Transfer t;
    t.kind = UsbHost::Kind::Control;
    t.setup = setup;
    t.length = r.TransferBufferLength;
    t.buffer = transferBuffer(urb);
    if (t.length && !t.buffer) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER, lock);
    start(number, irp, urb, nullptr, t, transferApply(&urb->UrbTransfer, (setup.bmRequestType & 0x80) != 0));
}

// Device and configuration descriptors come from the copies read at arrival; others
// (strings) are asked of the device.
void LibusbBus::State::descriptor(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    auto& r = urb->UrbControlDescriptorRequest;
    LibusbPort& port = libusbPort(p);
    if (r.DescriptorType == USB_DEVICE_DESCRIPTOR_TYPE) return bus.endUrb(irp, urb, copyToUrb(urb, port.device), lock);
    if (r.DescriptorType == USB_CONFIGURATION_DESCRIPTOR_TYPE && r.Index == 0)
        return bus.endUrb(irp, urb, copyToUrb(urb, port.configuration), lock);
    int number = p.number;
    lock.unlock();
    std::uint8_t* buffer = transferBuffer(urb);
    if (r.TransferBufferLength > 0xFFFF || (r.TransferBufferLength && !buffer))
        return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER, lock);
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
void LibusbBus::State::abortPipe(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    LibusbEndpoint* ep = libusbPort(p).endpoint(urb->UrbPipeRequest.PipeHandle);
    if (!ep) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE, lock);
    if (ep->inFlight == 0) return bus.endUrb(irp, urb, USBD_STATUS_SUCCESS, lock);
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

void LibusbBus::State::selectConfiguration(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    int number = p.number;
    lock.unlock();
    worker->post([this, number, irp, urb] { configure(number, irp, urb); });
}

void LibusbBus::State::resetPipe(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    int number = p.number;
    lock.unlock();
    worker->post([this, number, irp, urb] { clearHalt(number, irp, urb); });
}

// usbfs has no frame number.
void LibusbBus::State::frameNumber(BusPort&, Irp* irp, Urb* urb, Lock& lock) {
    bus.endUrb(irp, urb, USBD_STATUS_INVALID_URB_FUNCTION, lock);
}

void LibusbBus::State::resetPort(BusPort& p, Irp* irp, Lock& lock) {
    UsbHost::DeviceRef ref = libusbPort(p).ref;
    lock.unlock();
    worker->post([this, irp, ref] {
        Result r = host->resetDevice(ref);
        finish(irp, r == Result::Ok ? STATUS_SUCCESS : r == Result::Gone ? STATUS_DEVICE_NOT_CONNECTED : STATUS_UNSUCCESSFUL);
    });
}

void LibusbBus::State::cyclePort(BusPort& p) {
    pnp->post([this, number = p.number] { cycle(number); });
}

// ---------- blocking calls ----------

void LibusbBus::State::releaseClaimed(UsbHost::DeviceRef ref, const std::vector<int>& claimed) {
    for (int n : claimed) host->releaseInterface(ref, n);
}

void LibusbBus::State::configure(int number, Irp* irp, Urb* urb) {
    auto& r = urb->UrbSelectConfiguration;
    Lock lock(bus.mutex());
    LibusbPort* p = port(number);
    if (!p || !p->present) return bus.endUrb(irp, urb, USBD_STATUS_DEVICE_GONE, lock);
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
    UsbdStatus status = usbdOf(host->setConfiguration(ref, cd->bConfigurationValue));
    std::vector<std::unique_ptr<LibusbEndpoint>> endpoints;
    InterfaceSelection how;
    how.open = [&](InterfaceDescriptor& d) {
        Result result = host->claimInterface(ref, d.bInterfaceNumber);
        if (result == Result::Ok) claimed.push_back(d.bInterfaceNumber);
        if (result == Result::Ok && d.bAlternateSetting != 0)
            result = host->setAlternateSetting(ref, d.bInterfaceNumber, d.bAlternateSetting);
        return usbdOf(result);
    };
    how.interfaceHandle = [](InterfaceDescriptor& d) { return static_cast<void*>(&d); };
    how.pipeHandle = [&](EndpointDescriptor& e) {
        auto& ep = endpoints.emplace_back(std::make_unique<LibusbEndpoint>());
        ep->address = e.bEndpointAddress;
        ep->type = e.bmAttributes & 3;
        ep->maxPacket = static_cast<std::uint16_t>(e.wMaxPacketSize & 0x7FF);
        return static_cast<void*>(ep.get());
    };
    if (status == USBD_STATUS_SUCCESS) status = selectInterfaces(urb, config, how);
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

void LibusbBus::State::clearHalt(int number, Irp* irp, Urb* urb) {
    Lock lock(bus.mutex());
    LibusbPort* p = port(number);
    LibusbEndpoint* ep = p ? p->endpoint(urb->UrbPipeRequest.PipeHandle) : nullptr;
    if (!ep) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE, lock);
    UsbHost::DeviceRef ref = p->ref;
    std::uint8_t address = ep->address;
    lock.unlock();
    finishUrb(irp, urb, usbdOf(host->clearHalt(ref, address)));
}

}  // namespace usb
