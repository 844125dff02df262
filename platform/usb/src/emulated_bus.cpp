// The emulated bus: the bus driver's dispatch on the caller's thread, the controller
// thread that moves packets and completes requests.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "kernel/host.h"
#include "usb/emulated_bus.h"

namespace usb {

using namespace kernel;

namespace {

struct Transfer {
    Irp* irp = nullptr;
    UrbTransfer* urb = nullptr;
    std::uint8_t* buffer = nullptr;
    std::uint32_t length = 0;
    std::uint32_t done = 0;
    bool claimedByCancel = false;  // its cancel routine runs: only it may complete it
};

struct Endpoint {
    std::uint8_t address = 0;
    std::uint8_t type = USB_ENDPOINT_TYPE_BULK;
    std::uint16_t maxPacket = 64;
    std::uint8_t interval = 0;
    bool halted = false;
    std::deque<Transfer> queue;
};

struct Port {
    int number = 0;
    std::uint32_t uid = 0;  // never reused: handles of a pulled port stay invalid
    Function* function = nullptr;
    PortOptions options;
    DeviceObject* pdo = nullptr;
    std::string hardwareId, instanceId;
    Status arrival = STATUS_PENDING;
    bool present = true;
    bool enabled = true;
    std::uint8_t configuration = 0;
    std::uint32_t generation = 0;  // bumped at each configuration: old pipe handles die
    std::map<std::uint8_t, Endpoint> endpoints;
    DevicePower power = PowerDeviceD0;
    Irp* waitWake = nullptr;
    Status refuseSet = STATUS_SUCCESS;    // answer to device set-power requests
    Status refuseQuery = STATUS_SUCCESS;  // answer to device query-power requests
};

struct Completion {
    Irp* irp;
    Status status;
};

struct Failure {
    std::uint8_t endpoint;
    Status status;
    UsbdStatus usbd;
    int count;
};

struct PdoExtension {
    EmulatedBus::State* bus;
    int port;
};

std::uint8_t* transferBuffer(UrbTransfer* urb) {
    if (urb->TransferBufferMDL)
        return static_cast<std::uint8_t*>(MmGetSystemAddressForMdlSafe(urb->TransferBufferMDL, NormalPagePriority));
    return static_cast<std::uint8_t*>(urb->TransferBuffer);
}

}  // namespace

struct EmulatedBus::State {
    mutable std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> jobs;
    std::vector<Completion> completions;
    std::vector<Completion> held;
    bool holding = false;
    bool stopping = false;
    bool nakPending = false;
    std::map<int, Port> ports;
    std::uint32_t nextUid = 1;
    std::vector<UrbLogEntry> log;
    std::size_t logLimit = 100000;  // the oldest half goes when it is full
    std::vector<Failure> failures;
    std::chrono::steady_clock::time_point epoch = std::chrono::steady_clock::now();
    DriverObject* driver = nullptr;
    std::thread controller;
    std::vector<std::thread> helpers;  // port cycles

    // --- controller side (called with the mutex held) ---
    std::uint32_t frame() const {
        using namespace std::chrono;
        return static_cast<std::uint32_t>(
            duration_cast<milliseconds>(steady_clock::now() - epoch).count());
    }

    void complete(Irp* irp, Status status) {
        irp->IoStatus.Status = status;
        irp->IoStatus.Information = 0;
        completions.push_back({irp, status});
    }

    void completeUrb(Irp* irp, Urb* urb, UsbdStatus usbd) {
        urb->UrbHeader.Status = usbd;
        complete(irp, statusOfUsbd(usbd));
    }

    // A handle names the port, its configuration and the endpoint; in 32 bits the port's
    // and the configuration's numbers are shorter.
    static constexpr unsigned uidShift = sizeof(std::uintptr_t) == 8 ? 32 : 24;
    static constexpr std::uintptr_t generationMask = (std::uintptr_t(1) << (uidShift - 8)) - 1;
    static constexpr std::uintptr_t uidMask = sizeof(std::uintptr_t) == 8 ? 0xFFFFFFFF : 0xFF;

    static void* pipeHandle(const Port& port, std::uint8_t address) {
        std::uintptr_t v = (std::uintptr_t(port.uid) & uidMask) << uidShift | (port.generation & generationMask) << 8 | address;
        return reinterpret_cast<void*>(v);
    }

    Endpoint* endpointOf(Port& port, void* handle) {
        auto v = reinterpret_cast<std::uintptr_t>(handle);
        if ((v >> uidShift) != (port.uid & uidMask) || ((v >> 8) & generationMask) != (port.generation & generationMask))
            return nullptr;
        auto it = port.endpoints.find(static_cast<std::uint8_t>(v & 0xFF));
        return it == port.endpoints.end() ? nullptr : &it->second;
    }

    bool takeFailure(std::uint8_t endpoint, Status* status, UsbdStatus* usbd) {
        for (auto it = failures.begin(); it != failures.end(); ++it) {
            if (it->endpoint != endpoint) continue;
            *status = it->status;
            *usbd = it->usbd;
            if (--it->count <= 0) failures.erase(it);
            return true;
        }
        return false;
    }

    // Ends a queued transfer unless its cancel routine owns it now.
    bool finish(Transfer& t, UsbdStatus usbd, Status status) {
        if (IoSetCancelRoutine(t.irp, nullptr) == nullptr) {
            t.claimedByCancel = true;
            return false;
        }
        t.urb->TransferBufferLength = t.done;
        t.urb->Hdr.Status = usbd;
        complete(t.irp, status);
        return true;
    }

    void flushEndpoint(Endpoint& ep, UsbdStatus usbd) {
        for (auto it = ep.queue.begin(); it != ep.queue.end();) {
            if (!it->claimedByCancel && finish(*it, usbd, statusOfUsbd(usbd)))
                it = ep.queue.erase(it);
            else
                ++it;
        }
    }

    void flushPort(Port& port, UsbdStatus usbd) {
        for (auto& [address, ep] : port.endpoints) flushEndpoint(ep, usbd);
    }

    enum class Step { Waiting, Finished, Kept };

    Step stepIn(Port& port, Endpoint& ep, Transfer& t) {
        for (;;) {
            std::vector<std::uint8_t> packet;
            Handshake h = port.function->in(ep.address, packet);
            if (h == Handshake::Nak) return Step::Waiting;
            if (h == Handshake::Stall) {
                ep.halted = true;
                return finish(t, USBD_STATUS_STALL_PID, STATUS_UNSUCCESSFUL) ? Step::Finished : Step::Kept;
            }
            if (packet.size() > ep.maxPacket || packet.size() > t.length - t.done) {
                ep.halted = true;  // babble: the endpoint halts until its pipe is reset
                return finish(t, USBD_STATUS_DATA_OVERRUN, STATUS_DATA_OVERRUN) ? Step::Finished : Step::Kept;
            }
            if (!packet.empty()) std::memcpy(t.buffer + t.done, packet.data(), packet.size());
            t.done += static_cast<std::uint32_t>(packet.size());
            if (packet.size() < ep.maxPacket || t.done == t.length)
                return finish(t, USBD_STATUS_SUCCESS, STATUS_SUCCESS) ? Step::Finished : Step::Kept;
        }
    }

    Step stepOut(Port& port, Endpoint& ep, Transfer& t) {
        for (;;) {
            std::uint32_t n = std::min<std::uint32_t>(ep.maxPacket, t.length - t.done);
            Handshake h = port.function->out(ep.address, {t.buffer ? t.buffer + t.done : nullptr, n});
            if (h == Handshake::Nak) return Step::Waiting;
            if (h == Handshake::Stall) {
                ep.halted = true;
                return finish(t, USBD_STATUS_STALL_PID, STATUS_UNSUCCESSFUL) ? Step::Finished : Step::Kept;
            }
            t.done += n;
            if (t.done == t.length)
                return finish(t, USBD_STATUS_SUCCESS, STATUS_SUCCESS) ? Step::Finished : Step::Kept;
        }
    }

    // Moves packets on every endpoint until nothing more can move.
    void service() {
        nakPending = false;
        for (bool progress = true; progress;) {
            progress = false;
            for (auto& [number, port] : ports) {
                if (!port.present || !port.enabled) continue;
                for (auto& [address, ep] : port.endpoints) {
                    if (ep.halted || ep.queue.empty() || ep.queue.front().claimedByCancel) continue;
                    Transfer& t = ep.queue.front();
                    Step s = (address & USB_ENDPOINT_DIRECTION_IN) ? stepIn(port, ep, t) : stepOut(port, ep, t);
                    if (s == Step::Finished) {
                        ep.queue.pop_front();
                        progress = true;
                    } else if (s == Step::Waiting) {
                        nakPending = true;
                    }
                }
            }
        }
    }

    void run() {
        std::unique_lock lock(mutex);
        while (!stopping) {
            while (!jobs.empty()) {
                auto job = std::move(jobs.front());
                jobs.pop_front();
                job();
            }
            service();
            if (!completions.empty()) {
                std::vector<Completion> ready;
                ready.swap(completions);
                if (holding) {
                    held.insert(held.end(), ready.begin(), ready.end());
                } else {
                    lock.unlock();
                    IrqlScope dispatch(DISPATCH_LEVEL);
                    for (auto& c : ready) IoCompleteRequest(c.irp, IO_NO_INCREMENT);
                    lock.lock();
                }
                continue;  // completions may have sent new requests
            }
            if (!jobs.empty()) continue;
            if (spinForWork(lock)) continue;
            auto ready = [this] { return !jobs.empty() || !completions.empty() || stopping; };
            if (nakPending)
                wake.wait_for(lock, std::chrono::milliseconds(1), ready);
            else
                wake.wait(lock, ready);
        }
    }

    void runOnController(const std::function<void()>& job) {
        std::mutex doneMutex;
        std::condition_variable doneCv;
        bool done = false;
        post([&] {
            job();
            std::lock_guard lock(doneMutex);
            done = true;
            doneCv.notify_all();
        });
        std::unique_lock lock(doneMutex);
        doneCv.wait(lock, [&] { return done; });
    }

    // A host controller's next request usually follows within microseconds (the caller
    // reads right after it wrote); a short spin saves the sleep and wake of a thread.
    bool spinForWork(std::unique_lock<std::mutex>& lock) {
        auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
        while (std::chrono::steady_clock::now() < until) {
            lock.unlock();
            std::this_thread::yield();
            lock.lock();
            if (!jobs.empty() || !completions.empty() || stopping) return true;
        }
        return false;
    }

    void post(std::function<void()> job) {
        {
            std::lock_guard lock(mutex);
            jobs.push_back(std::move(job));
        }
        wake.notify_one();
    }

    // --- requests ---
    void submitUrb(Port& port, Irp* irp, Urb* urb);
    void queueTransfer(Port& port, Irp* irp, Urb* urb);
    void selectConfiguration(Port& port, Irp* irp, Urb* urb);
    void controlRequest(Port& port, Irp* irp, Urb* urb);
    void isochronous(Port& port, Irp* irp, Urb* urb);
    void portRequest(Port& port, Irp* irp, std::uint32_t code, void* argument);
    void logUrb(Port& port, Urb* urb);

    Port* portOf(DeviceObject* pdo) {
        auto* ext = static_cast<PdoExtension*>(pdo->DeviceExtension);
        auto it = ports.find(ext->port);
        return it == ports.end() ? nullptr : &it->second;
    }

    int plugPort(Function& function, const PortOptions& options);
    void pullPort(int number);
    void cycle(int number);
};

// ---------- URBs ----------

void EmulatedBus::State::logUrb(Port& port, Urb* urb) {
    UrbLogEntry e;
    e.function = urb->UrbHeader.Function;
    switch (e.function) {
    case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER:
    case URB_FUNCTION_ISOCH_TRANSFER:
        e.endpoint = static_cast<std::uint8_t>(reinterpret_cast<std::uintptr_t>(urb->UrbTransfer.PipeHandle) & 0xFF);
        e.length = urb->UrbTransfer.TransferBufferLength;
        e.flags = urb->UrbTransfer.TransferFlags;
        break;
    case URB_FUNCTION_ABORT_PIPE:
    case URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL:
        e.endpoint = static_cast<std::uint8_t>(reinterpret_cast<std::uintptr_t>(urb->UrbPipeRequest.PipeHandle) & 0xFF);
        break;
    case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE:
        e.length = urb->UrbControlDescriptorRequest.TransferBufferLength;
        e.descriptorType = urb->UrbControlDescriptorRequest.DescriptorType;
        break;
    default:
        if (e.function >= URB_FUNCTION_VENDOR_DEVICE && e.function <= URB_FUNCTION_VENDOR_OTHER) {
            e.length = urb->UrbControlVendorClassRequest.TransferBufferLength;
            e.flags = urb->UrbControlVendorClassRequest.TransferFlags;
        }
    }
    e.power = port.power;
    if (log.size() >= logLimit) log.erase(log.begin(), log.begin() + static_cast<long>(log.size() / 2));
    log.push_back(e);
}

void EmulatedBus::State::submitUrb(Port& port, Irp* irp, Urb* urb) {
    if (!port.present) return completeUrb(irp, urb, USBD_STATUS_DEVICE_GONE);
    switch (urb->UrbHeader.Function) {
    case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER:
        return queueTransfer(port, irp, urb);
    case URB_FUNCTION_SELECT_CONFIGURATION:
        return selectConfiguration(port, irp, urb);
    case URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE: {
        auto& r = urb->UrbControlDescriptorRequest;
        std::vector<std::uint8_t> d = port.function->descriptor(r.DescriptorType, r.Index, r.LanguageId);
        if (d.empty()) return completeUrb(irp, urb, USBD_STATUS_STALL_PID);
        std::uint32_t n = std::min<std::uint32_t>(r.TransferBufferLength, static_cast<std::uint32_t>(d.size()));
        std::uint8_t* buffer = transferBuffer(&urb->UrbTransfer);
        if (n && !buffer) return completeUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER);
        if (n) std::memcpy(buffer, d.data(), n);
        r.TransferBufferLength = n;
        return completeUrb(irp, urb, USBD_STATUS_SUCCESS);
    }
    case URB_FUNCTION_ABORT_PIPE: {
        Endpoint* ep = endpointOf(port, urb->UrbPipeRequest.PipeHandle);
        if (!ep) return completeUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE);
        flushEndpoint(*ep, USBD_STATUS_CANCELED);
        return completeUrb(irp, urb, USBD_STATUS_SUCCESS);
    }
    case URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL: {
        Endpoint* ep = endpointOf(port, urb->UrbPipeRequest.PipeHandle);
        if (!ep) return completeUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE);
        ep->halted = false;
        port.function->clearHalt(ep->address);
        return completeUrb(irp, urb, USBD_STATUS_SUCCESS);
    }
    case URB_FUNCTION_GET_CURRENT_FRAME_NUMBER:
        urb->UrbGetCurrentFrameNumber.FrameNumber = frame();
        return completeUrb(irp, urb, USBD_STATUS_SUCCESS);
    case URB_FUNCTION_ISOCH_TRANSFER:
        return isochronous(port, irp, urb);
    case URB_FUNCTION_VENDOR_DEVICE:
    case URB_FUNCTION_VENDOR_INTERFACE:
    case URB_FUNCTION_VENDOR_ENDPOINT:
    case URB_FUNCTION_VENDOR_OTHER:
    case URB_FUNCTION_CLASS_DEVICE:
    case URB_FUNCTION_CLASS_INTERFACE:
    case URB_FUNCTION_CLASS_ENDPOINT:
    case URB_FUNCTION_CLASS_OTHER:
        return controlRequest(port, irp, urb);
    default:
        return completeUrb(irp, urb, USBD_STATUS_INVALID_URB_FUNCTION);
    }
}

void EmulatedBus::State::queueTransfer(Port& port, Irp* irp, Urb* urb) {
    UrbTransfer* u = &urb->UrbTransfer;
    Endpoint* ep = endpointOf(port, u->PipeHandle);
    if (!ep) return completeUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE);
    Status injected;
    UsbdStatus usbd;
    if (takeFailure(ep->address, &injected, &usbd)) {
        u->TransferBufferLength = 0;
        urb->UrbHeader.Status = usbd;
        return complete(irp, injected);
    }
    if (ep->halted) {
        u->TransferBufferLength = 0;
        return completeUrb(irp, urb, USBD_STATUS_ENDPOINT_HALTED);
    }
    Transfer t;
    t.irp = irp;
    t.urb = u;
    t.length = u->TransferBufferLength;
    t.buffer = transferBuffer(u);
    if (t.length && !t.buffer) return completeUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER);
    if (t.length == 0 && (ep->address & USB_ENDPOINT_DIRECTION_IN))
        return completeUrb(irp, urb, USBD_STATUS_SUCCESS);
    IoSetCancelRoutine(irp, [](DeviceObject* pdo, Irp* cancelled) {
        auto* ext = static_cast<PdoExtension*>(pdo->DeviceExtension);
        State* bus = ext->bus;
        {
            std::lock_guard lock(bus->mutex);
            for (auto& [number, p] : bus->ports)
                for (auto& [address, e] : p.endpoints)
                    for (auto it = e.queue.begin(); it != e.queue.end(); ++it) {
                        if (it->irp != cancelled) continue;
                        it->urb->TransferBufferLength = it->done;
                        it->urb->Hdr.Status = USBD_STATUS_CANCELED;
                        bus->complete(cancelled, STATUS_CANCELLED);
                        e.queue.erase(it);
                        goto found;
                    }
        found:;
        }
        bus->wake.notify_one();
    });
    if (irp->Cancel.load() && IoSetCancelRoutine(irp, nullptr) != nullptr) {
        u->TransferBufferLength = 0;
        return completeUrb(irp, urb, USBD_STATUS_CANCELED);
    }
    ep->queue.push_back(t);
}

void EmulatedBus::State::selectConfiguration(Port& port, Irp* irp, Urb* urb) {
    auto& r = urb->UrbSelectConfiguration;
    flushPort(port, USBD_STATUS_CANCELED);
    port.endpoints.clear();
    ++port.generation;
    if (!r.ConfigurationDescriptor) {
        port.configuration = 0;
        port.function->setConfiguration(0);
        r.ConfigurationHandle = nullptr;
        return completeUrb(irp, urb, USBD_STATUS_SUCCESS);
    }
    std::vector<std::uint8_t> config = port.function->descriptor(USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0);
    if (config.size() < sizeof(ConfigurationDescriptor)) return completeUrb(irp, urb, USBD_STATUS_STALL_PID);
    auto* cd = reinterpret_cast<ConfigurationDescriptor*>(config.data());
    cd->wTotalLength = static_cast<std::uint16_t>(std::min<std::size_t>(cd->wTotalLength, config.size()));
    std::size_t offset = offsetof(UrbSelectConfiguration, Interface);
    std::map<std::uint8_t, Endpoint> endpoints;
    while (offset + interfaceInformationSize(0) <= urb->UrbHeader.Length) {
        auto* info = reinterpret_cast<InterfaceInformation*>(reinterpret_cast<std::byte*>(urb) + offset);
        if (info->Length == 0) break;
        InterfaceDescriptor* d = USBD_ParseConfigurationDescriptorEx(cd, cd, info->InterfaceNumber,
                                                                     info->AlternateSetting, -1, -1, -1);
        if (!d || info->Length < interfaceInformationSize(d->bNumEndpoints))
            return completeUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER);
        info->Class = d->bInterfaceClass;
        info->SubClass = d->bInterfaceSubClass;
        info->Protocol = d->bInterfaceProtocol;
        info->NumberOfPipes = d->bNumEndpoints;
        info->InterfaceHandle = reinterpret_cast<void*>((std::uintptr_t(port.uid) & uidMask) << uidShift | 0x100u | d->bInterfaceNumber);
        auto* at = reinterpret_cast<std::uint8_t*>(d) + d->bLength;
        auto* end = config.data() + cd->wTotalLength;
        std::uint32_t pipe = 0;
        while (pipe < d->bNumEndpoints && at + 2 <= end && at[0] >= 2) {
            if (at[1] == USB_INTERFACE_DESCRIPTOR_TYPE) break;
            if (at[1] == USB_ENDPOINT_DESCRIPTOR_TYPE && at[0] >= sizeof(EndpointDescriptor)) {
                auto* e = reinterpret_cast<EndpointDescriptor*>(at);
                Endpoint ep;
                ep.address = e->bEndpointAddress;
                ep.type = e->bmAttributes & 3;
                ep.maxPacket = static_cast<std::uint16_t>(e->wMaxPacketSize & 0x7FF);
                ep.interval = e->bInterval;
                PipeInformation* p = pipeAt(info, pipe++);
                p->MaximumPacketSize = ep.maxPacket;
                p->EndpointAddress = ep.address;
                p->Interval = ep.interval;
                p->PipeType = static_cast<UsbdPipeType>(ep.type);
                p->PipeHandle = pipeHandle(port, ep.address);
                endpoints[ep.address] = ep;
            }
            at += at[0];
        }
        offset += info->Length;
    }
    port.endpoints = std::move(endpoints);
    port.configuration = cd->bConfigurationValue;
    port.function->setConfiguration(port.configuration);
    r.ConfigurationHandle = reinterpret_cast<void*>((std::uintptr_t(port.uid) & uidMask) << uidShift | 0x200u);
    completeUrb(irp, urb, USBD_STATUS_SUCCESS);
}

void EmulatedBus::State::controlRequest(Port& port, Irp* irp, Urb* urb) {
    auto& r = urb->UrbControlVendorClassRequest;
    std::uint16_t f = r.Hdr.Function;
    bool vendor = f >= URB_FUNCTION_VENDOR_DEVICE && f <= URB_FUNCTION_VENDOR_ENDPOINT;
    vendor = vendor || f == URB_FUNCTION_VENDOR_OTHER;
    std::uint8_t recipient = 0;
    switch (f) {
    case URB_FUNCTION_VENDOR_INTERFACE: case URB_FUNCTION_CLASS_INTERFACE: recipient = 1; break;
    case URB_FUNCTION_VENDOR_ENDPOINT: case URB_FUNCTION_CLASS_ENDPOINT: recipient = 2; break;
    case URB_FUNCTION_VENDOR_OTHER: case URB_FUNCTION_CLASS_OTHER: recipient = 3; break;
    default: break;
    }
    bool in = (r.TransferFlags & USBD_TRANSFER_DIRECTION_IN) != 0;
    SetupPacket setup;
    setup.bmRequestType = static_cast<std::uint8_t>((in ? 0x80 : 0) | (vendor ? 0x40 : 0x20) | recipient);
    setup.bRequest = r.Request;
    setup.wValue = r.Value;
    setup.wIndex = r.Index;
    setup.wLength = static_cast<std::uint16_t>(r.TransferBufferLength);
    std::uint8_t* buffer = transferBuffer(&urb->UrbTransfer);
    std::vector<std::uint8_t> data;
    if (!in && buffer) data.assign(buffer, buffer + r.TransferBufferLength);
    if (port.function->control(setup, data) != Handshake::Ack) {
        r.TransferBufferLength = 0;
        return completeUrb(irp, urb, USBD_STATUS_STALL_PID);
    }
    if (in) {
        std::uint32_t n = std::min<std::uint32_t>(r.TransferBufferLength, static_cast<std::uint32_t>(data.size()));
        if (n) std::memcpy(buffer, data.data(), n);
        r.TransferBufferLength = n;
    }
    completeUrb(irp, urb, USBD_STATUS_SUCCESS);
}

void EmulatedBus::State::isochronous(Port& port, Irp* irp, Urb* urb) {
    auto& r = urb->UrbIsochronousTransfer;
    Endpoint* ep = endpointOf(port, r.PipeHandle);
    if (!ep || ep->type != USB_ENDPOINT_TYPE_ISOCHRONOUS) return completeUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE);
    std::uint32_t now = frame();
    if (r.TransferFlags & USBD_START_ISO_TRANSFER_ASAP) {
        r.StartFrame = now;
    } else if (r.StartFrame + 1024 < now || r.StartFrame > now + 1024) {
        return completeUrb(irp, urb, USBD_STATUS_BAD_START_FRAME);
    }
    std::uint8_t* buffer = transferBuffer(&urb->UrbTransfer);
    std::uint32_t total = 0;
    r.ErrorCount = 0;
    for (std::uint32_t i = 0; i < r.NumberOfPackets; ++i) {
        IsoPacketDescriptor* p = isoPacketAt(&r, i);
        std::uint32_t room = (i + 1 < r.NumberOfPackets ? isoPacketAt(&r, i + 1)->Offset : r.TransferBufferLength) - p->Offset;
        p->Status = USBD_STATUS_SUCCESS;
        if (ep->address & USB_ENDPOINT_DIRECTION_IN) {
            std::vector<std::uint8_t> packet;
            std::uint32_t n = 0;
            if (port.function->in(ep->address, packet) == Handshake::Ack) {
                n = std::min<std::uint32_t>(room, static_cast<std::uint32_t>(packet.size()));
                if (n) std::memcpy(buffer + p->Offset, packet.data(), n);
            }
            p->Length = n;
            total += n;
        } else {
            port.function->out(ep->address, {buffer + p->Offset, room});
            total += room;
        }
    }
    r.TransferBufferLength = total;
    completeUrb(irp, urb, USBD_STATUS_SUCCESS);
}

void EmulatedBus::State::portRequest(Port& port, Irp* irp, std::uint32_t code, void* argument) {
    switch (code) {
    case IOCTL_INTERNAL_USB_GET_PORT_STATUS:
        if (!argument) return complete(irp, STATUS_INVALID_PARAMETER);
        *static_cast<std::uint32_t*>(argument) =
            (port.present ? USBD_PORT_CONNECTED : 0) | (port.present && port.enabled ? USBD_PORT_ENABLED : 0);
        return complete(irp, STATUS_SUCCESS);
    case IOCTL_INTERNAL_USB_ENABLE_PORT:
        if (!port.present) return complete(irp, STATUS_DEVICE_NOT_CONNECTED);
        port.enabled = true;
        return complete(irp, STATUS_SUCCESS);
    case IOCTL_INTERNAL_USB_RESET_PORT:
        if (!port.present) return complete(irp, STATUS_DEVICE_NOT_CONNECTED);
        flushPort(port, USBD_STATUS_CANCELED);
        port.function->reset();
        port.function->setConfiguration(port.configuration);  // the bus restores it
        for (auto& [address, ep] : port.endpoints) ep.halted = false;
        port.enabled = true;
        return complete(irp, STATUS_SUCCESS);
    case IOCTL_INTERNAL_USB_CYCLE_PORT:
        if (!port.present) return complete(irp, STATUS_DEVICE_NOT_CONNECTED);
        {
            int number = port.number;
            helpers.emplace_back([this, number] { cycle(number); });
        }
        return complete(irp, STATUS_SUCCESS);
    default:
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST);
    }
}

// ---------- dispatch of the bus driver ----------

namespace {

EmulatedBus::State* busOf(DeviceObject* pdo) { return static_cast<PdoExtension*>(pdo->DeviceExtension)->bus; }

Status completeNow(Irp* irp, Status status) {
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

Status dispatchInternal(DeviceObject* pdo, Irp* irp) {
    EmulatedBus::State* bus = busOf(pdo);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    std::uint32_t code = s->Parameters.DeviceIoControl.IoControlCode;
    void* argument = s->Parameters.Others.Argument1;
    int number = static_cast<PdoExtension*>(pdo->DeviceExtension)->port;
    if (code == IOCTL_INTERNAL_USB_SUBMIT_URB) {
        auto* urb = static_cast<Urb*>(argument);
        if (!urb) return completeNow(irp, STATUS_INVALID_PARAMETER);
        {
            std::lock_guard lock(bus->mutex);
            auto it = bus->ports.find(number);
            if (it != bus->ports.end()) bus->logUrb(it->second, urb);
        }
        urb->UrbHeader.Status = USBD_STATUS_PENDING;
    }
    IoMarkIrpPending(irp);
    bus->post([bus, number, irp, code, argument] {
        auto it = bus->ports.find(number);
        if (it == bus->ports.end()) return bus->complete(irp, STATUS_DEVICE_NOT_CONNECTED);
        if (code == IOCTL_INTERNAL_USB_SUBMIT_URB)
            bus->submitUrb(it->second, irp, static_cast<Urb*>(argument));
        else
            bus->portRequest(it->second, irp, code, argument);
    });
    return STATUS_PENDING;
}

Status dispatchPnp(DeviceObject* pdo, Irp* irp) {
    EmulatedBus::State* bus = busOf(pdo);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    int number = static_cast<PdoExtension*>(pdo->DeviceExtension)->port;
    Status status = irp->IoStatus.Status;
    bool deletePdo = false;
    Irp* wake = nullptr;
    {
        std::lock_guard lock(bus->mutex);
        auto it = bus->ports.find(number);
        Port* port = it == bus->ports.end() ? nullptr : &it->second;
        switch (s->MinorFunction) {
        case IRP_MN_START_DEVICE:
            if (port) port->enabled = true;
            status = STATUS_SUCCESS;
            break;
        case IRP_MN_QUERY_CAPABILITIES: {
            DeviceCapabilities* caps = s->Parameters.DeviceCapabilities.Capabilities;
            if (!caps || caps->Version < 1 || caps->Size < sizeof(DeviceCapabilities)) {
                status = STATUS_UNSUCCESSFUL;
                break;
            }
            bool surpriseOk = caps->SurpriseRemovalOK;
            if (port) *caps = port->options.capabilities;
            caps->SurpriseRemovalOK = surpriseOk || caps->SurpriseRemovalOK;
            if (port) caps->Address = caps->UINumber = static_cast<std::uint32_t>(number);
            status = STATUS_SUCCESS;
            break;
        }
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
                bus->flushPort(*port, port->present ? USBD_STATUS_CANCELED : USBD_STATUS_DEVICE_GONE);
                if (port->waitWake && IoSetCancelRoutine(port->waitWake, nullptr) != nullptr) wake = port->waitWake;
                port->waitWake = nullptr;
                if (!port->present) {
                    deletePdo = true;
                    bus->ports.erase(it);
                }
            }
            status = STATUS_SUCCESS;
            break;
        default:
            break;
        }
    }
    bus->wake.notify_one();
    if (wake) completeNow(wake, STATUS_NO_SUCH_DEVICE);
    completeNow(irp, status);
    if (deletePdo) IoDeleteDevice(pdo);
    return status;
}

void cancelWaitWake(DeviceObject* pdo, Irp* irp) {
    EmulatedBus::State* bus = busOf(pdo);
    {
        std::lock_guard lock(bus->mutex);
        for (auto& [number, port] : bus->ports)
            if (port.waitWake == irp) port.waitWake = nullptr;
        bus->complete(irp, STATUS_CANCELLED);
    }
    bus->wake.notify_one();
}

Status dispatchPower(DeviceObject* pdo, Irp* irp) {
    EmulatedBus::State* bus = busOf(pdo);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    int number = static_cast<PdoExtension*>(pdo->DeviceExtension)->port;
    PoStartNextPowerIrp(irp);
    std::unique_lock lock(bus->mutex);
    auto it = bus->ports.find(number);
    Port* port = it == bus->ports.end() ? nullptr : &it->second;
    switch (s->MinorFunction) {
    case IRP_MN_SET_POWER:
    case IRP_MN_QUERY_POWER: {
        bool device = s->Parameters.Power.Type == DevicePowerState;
        bool set = s->MinorFunction == IRP_MN_SET_POWER;
        Status status = port && device ? (set ? port->refuseSet : port->refuseQuery) : STATUS_SUCCESS;
        if (port && device && set && NT_SUCCESS(status)) port->power = s->Parameters.Power.State.DeviceState;
        lock.unlock();
        return completeNow(irp, status);
    }
    case IRP_MN_WAIT_WAKE:
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
            bus->complete(irp, STATUS_CANCELLED);
        } else {
            port->waitWake = irp;
        }
        lock.unlock();
        bus->wake.notify_one();
        return STATUS_PENDING;
    default: {
        Status status = irp->IoStatus.Status;
        lock.unlock();
        return completeNow(irp, status);
    }
    }
}

Status busEntry(DriverObject* driver, const UnicodeString*) {
    driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = dispatchInternal;
    driver->MajorFunction[IRP_MJ_PNP] = dispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = dispatchPower;
    return STATUS_SUCCESS;
}

std::string hex4(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
    return buf;
}

}  // namespace

// ---------- the bus's own face ----------

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

EmulatedBus::EmulatedBus() : state_(std::make_shared<State>()) {
    static std::atomic<int> buses{0};
    state_->driver = loadDriver("usbemul" + std::to_string(++buses), busEntry);
    state_->controller = std::thread([s = state_.get()] { s->run(); });
}

EmulatedBus::~EmulatedBus() {
    std::vector<int> numbers;
    {
        std::lock_guard lock(state_->mutex);
        for (auto& [number, port] : state_->ports) numbers.push_back(number);
    }
    for (int n : numbers) pull(n);
    for (auto& t : state_->helpers) t.join();
    {
        std::lock_guard lock(state_->mutex);
        state_->stopping = true;
    }
    state_->wake.notify_all();
    state_->controller.join();
    unloadDriver(state_->driver);
}

int EmulatedBus::State::plugPort(Function& function, const PortOptions& options) {
    State& s = *this;
    std::vector<std::uint8_t> device;
    runOnController([&] { device = function.descriptor(USB_DEVICE_DESCRIPTOR_TYPE, 0, 0); });
    DeviceDescriptor dd{};
    std::memcpy(&dd, device.data(), std::min(device.size(), sizeof dd));
    DeviceObject* pdo = nullptr;
    IoCreateDevice(s.driver, sizeof(PdoExtension), nullptr, FILE_DEVICE_BUS_EXTENDER,
                   FILE_AUTOGENERATED_DEVICE_NAME, false, &pdo);
    int number;
    pnp::DeviceIdentity identity;
    {
        std::lock_guard lock(s.mutex);
        number = 1;
        while (s.ports.count(number)) ++number;
        Port& port = s.ports[number];
        port.number = number;
        port.uid = s.nextUid++;
        port.function = &function;
        port.options = options;
        port.pdo = pdo;
        port.hardwareId = "USB\\VID_" + hex4(dd.idVendor) + "&PID_" + hex4(dd.idProduct);
        port.instanceId = port.hardwareId + "\\" + (options.serial.empty() ? std::to_string(number) : options.serial);
        identity = {port.hardwareId, port.instanceId};
        new (pdo->DeviceExtension) PdoExtension{&s, number};
    }
    pdo->Flags &= ~DO_DEVICE_INITIALIZING;
    Status status = pnp::deviceArrived(pdo, identity);
    {
        std::lock_guard lock(s.mutex);
        auto it = s.ports.find(number);
        if (it != s.ports.end()) it->second.arrival = status;
    }
    return number;
}

EmulatedBus::PortId EmulatedBus::plug(Function& function, const PortOptions& options) {
    return state_->plugPort(function, options);
}

Status EmulatedBus::arrivalStatus(PortId port) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->ports.find(port);
    return it == state_->ports.end() ? STATUS_NO_SUCH_DEVICE : it->second.arrival;
}

void EmulatedBus::State::pullPort(int number) {
    State& s = *this;
    DeviceObject* pdo = nullptr;
    {
        std::lock_guard lock(s.mutex);
        auto it = s.ports.find(number);
        if (it == s.ports.end() || !it->second.present) return;
        Port& port = it->second;
        port.present = false;
        pdo = port.pdo;
        s.flushPort(port, USBD_STATUS_DEVICE_GONE);
    }
    s.wake.notify_one();
    if (!pnp::surpriseRemoval(pdo)) {
        {
            std::lock_guard lock(s.mutex);
            s.ports.erase(number);
        }
        IoDeleteDevice(pdo);
    }
}

void EmulatedBus::pull(PortId number) { state_->pullPort(number); }

void EmulatedBus::State::cycle(int number) {
    Function* function = nullptr;
    PortOptions options;
    {
        std::lock_guard lock(mutex);
        auto it = ports.find(number);
        if (it == ports.end()) return;
        function = it->second.function;
        options = it->second.options;
        if (options.serial.empty()) options.serial = std::to_string(number);
    }
    pullPort(number);
    plugPort(*function, options);
}

DeviceObject* EmulatedBus::pdo(PortId port) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->ports.find(port);
    return it == state_->ports.end() ? nullptr : it->second.pdo;
}

std::string EmulatedBus::hardwareId(PortId port) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->ports.find(port);
    return it == state_->ports.end() ? std::string() : it->second.hardwareId;
}

bool EmulatedBus::remoteWake(PortId number) {
    State& s = *state_;
    {
        std::lock_guard lock(s.mutex);
        auto it = s.ports.find(number);
        if (it == s.ports.end() || !it->second.waitWake) return false;
        Irp* irp = it->second.waitWake;
        if (IoSetCancelRoutine(irp, nullptr) == nullptr) return false;  // being cancelled
        it->second.waitWake = nullptr;
        s.complete(irp, STATUS_SUCCESS);
    }
    s.wake.notify_one();
    return true;
}

bool EmulatedBus::waitWakePending(PortId number) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->ports.find(number);
    return it != state_->ports.end() && it->second.waitWake != nullptr;
}

DevicePower EmulatedBus::devicePower(PortId number) const {
    std::lock_guard lock(state_->mutex);
    auto it = state_->ports.find(number);
    return it == state_->ports.end() ? PowerDeviceUnspecified : it->second.power;
}

void EmulatedBus::refuseDevicePower(PortId number, std::uint8_t minor, Status status) {
    std::lock_guard lock(state_->mutex);
    auto it = state_->ports.find(number);
    if (it == state_->ports.end()) return;
    (minor == IRP_MN_SET_POWER ? it->second.refuseSet : it->second.refuseQuery) = status;
}

std::uint32_t EmulatedBus::frameNumber() const { return state_->frame(); }

std::vector<UrbLogEntry> EmulatedBus::urbLog() const {
    std::lock_guard lock(state_->mutex);
    return state_->log;
}

void EmulatedBus::clearUrbLog() {
    std::lock_guard lock(state_->mutex);
    state_->log.clear();
}

void EmulatedBus::holdCompletions() {
    std::lock_guard lock(state_->mutex);
    state_->holding = true;
}

void EmulatedBus::releaseCompletions() {
    {
        std::lock_guard lock(state_->mutex);
        state_->holding = false;
        state_->completions.insert(state_->completions.begin(), state_->held.begin(), state_->held.end());
        state_->held.clear();
    }
    state_->wake.notify_one();
}

std::size_t EmulatedBus::heldCompletions() const {
    std::lock_guard lock(state_->mutex);
    return state_->held.size();
}

void EmulatedBus::injectFailure(std::uint8_t endpoint, Status status, UsbdStatus usbdStatus, int count) {
    std::lock_guard lock(state_->mutex);
    state_->failures.push_back({endpoint, status, usbdStatus, count});
}

void EmulatedBus::runOnController(const std::function<void()>& job) { state_->runOnController(job); }

}  // namespace usb
