// The emulated bus's transport: URBs become packets on the controller thread.
#include "emulated_transport.h"

#include <algorithm>
#include <cstring>

namespace usb {

using namespace kernel;

namespace {

EmulatedPort& emulated(BusPort& port) { return static_cast<EmulatedPort&>(port); }

}  // namespace

// ---------- completion ----------

void EmulatedBus::State::end(Irp* irp, Status status, Lock&) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = 0;
    completions.push_back({irp, status});
}

void EmulatedBus::State::complete(Irp* irp, Status status) {
    {
        Lock lock(bus.mutex());
        end(irp, status, lock);
    }
    wake.notify_one();
}

// Ends a queued transfer unless its cancel routine owns it now.
bool EmulatedBus::State::finish(EmulatedTransfer& t, UsbdStatus usbd, Status status) {
    if (IoSetCancelRoutine(t.irp, nullptr) == nullptr) {
        t.claimedByCancel = true;
        return false;
    }
    t.urb->TransferBufferLength = t.done;
    t.urb->Hdr.Status = usbd;
    t.irp->IoStatus.Status = status;
    t.irp->IoStatus.Information = 0;
    completions.push_back({t.irp, status});
    return true;
}

void EmulatedBus::State::flushEndpoint(EmulatedEndpoint& ep, UsbdStatus usbd) {
    for (auto it = ep.queue.begin(); it != ep.queue.end();) {
        if (!it->claimedByCancel && finish(*it, usbd, statusOfUsbd(usbd)))
            it = ep.queue.erase(it);
        else
            ++it;
    }
}

void EmulatedBus::State::flushPort(EmulatedPort& port, UsbdStatus usbd) {
    for (auto& [address, ep] : port.endpoints) flushEndpoint(ep, usbd);
}

void EmulatedBus::State::unplugged(BusPort& port, Lock& lock) {
    flushPort(emulated(port), USBD_STATUS_DEVICE_GONE);
    lock.unlock();
    wake.notify_one();
}

void EmulatedBus::State::removed(BusPort& port, Lock& lock) {
    flushPort(emulated(port), port.present ? USBD_STATUS_CANCELED : USBD_STATUS_DEVICE_GONE);
    lock.unlock();
    wake.notify_one();
}

// ---------- the controller thread ----------

std::uint32_t EmulatedBus::State::frame() const {
    using namespace std::chrono;
    return static_cast<std::uint32_t>(duration_cast<milliseconds>(steady_clock::now() - epoch).count());
}

EmulatedBus::State::Step EmulatedBus::State::stepIn(EmulatedPort& port, EmulatedEndpoint& ep, EmulatedTransfer& t) {
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

EmulatedBus::State::Step EmulatedBus::State::stepOut(EmulatedPort& port, EmulatedEndpoint& ep, EmulatedTransfer& t) {
    for (;;) {
        std::uint32_t n = std::min<std::uint32_t>(ep.maxPacket, t.length - t.done);
        Handshake h = port.function->out(ep.address, {t.buffer ? t.buffer + t.done : nullptr, n});
        if (h == Handshake::Nak) return Step::Waiting;
        if (h == Handshake::Stall) {
            ep.halted = true;
            return finish(t, USBD_STATUS_STALL_PID, STATUS_UNSUCCESSFUL) ? Step::Finished : Step::Kept;
        }
        t.done += n;
        if (t.done == t.length) return finish(t, USBD_STATUS_SUCCESS, STATUS_SUCCESS) ? Step::Finished : Step::Kept;
    }
}

// Moves packets on every endpoint until nothing more can move.
void EmulatedBus::State::service() {
    nakPending = false;
    for (bool progress = true; progress;) {
        progress = false;
        for (auto& [number, p] : bus.ports()) {
            EmulatedPort& port = emulated(*p);
            if (!port.present) continue;
            for (auto& [address, ep] : port.endpoints) {
                if (ep.halted || ep.queue.empty() || ep.queue.front().claimedByCancel) continue;
                EmulatedTransfer& t = ep.queue.front();
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

void EmulatedBus::State::run() {
    Lock lock(bus.mutex());
    while (!stopping) {
        while (!jobs.empty()) {
            auto job = std::move(jobs.front());
            jobs.pop_front();
            job(lock);
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

// A host controller's next request usually follows within microseconds (the caller
// reads right after it wrote); a short spin saves the sleep and wake of a thread.
bool EmulatedBus::State::spinForWork(Lock& lock) {
    auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(50);
    while (std::chrono::steady_clock::now() < until) {
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
        if (!jobs.empty() || !completions.empty() || stopping) return true;
    }
    return false;
}

void EmulatedBus::State::post(std::function<void(Lock&)> job) {
    {
        Lock lock(bus.mutex());
        jobs.push_back(std::move(job));
    }
    wake.notify_one();
}

void EmulatedBus::State::runOnController(const std::function<void()>& job) {
    std::mutex doneMutex;
    std::condition_variable doneCv;
    bool done = false;
    post([&](Lock&) {
        job();
        std::lock_guard lock(doneMutex);
        done = true;
        doneCv.notify_all();
    });
    std::unique_lock lock(doneMutex);
    doneCv.wait(lock, [&] { return done; });
}

// ---------- requests ----------

void EmulatedBus::State::accept(int number, Irp* irp, std::uint32_t code, void* argument) {
    if (code == IOCTL_INTERNAL_USB_SUBMIT_URB) {
        Lock lock(bus.mutex());
        if (BusPort* port = bus.port(number)) logUrb(*port, static_cast<Urb*>(argument));
    }
    post([this, number, irp, code, argument](Lock& lock) { bus.serve(number, irp, code, argument, lock); });
}

// A handle names the port, its configuration and the endpoint; in 32 bits the port's
// and the configuration's numbers are shorter.
namespace {
constexpr unsigned uidShift = sizeof(std::uintptr_t) == 8 ? 32 : 24;
constexpr std::uintptr_t generationMask = (std::uintptr_t(1) << (uidShift - 8)) - 1;
constexpr std::uintptr_t uidMask = sizeof(std::uintptr_t) == 8 ? 0xFFFFFFFF : 0xFF;

void* handleOf(const EmulatedPort& port, std::uintptr_t low) {
    return reinterpret_cast<void*>((std::uintptr_t(port.uid) & uidMask) << uidShift | low);
}
}  // namespace

void* EmulatedBus::State::pipeHandle(const EmulatedPort& port, std::uint8_t address) {
    return handleOf(port, (port.generation & generationMask) << 8 | address);
}

EmulatedEndpoint* EmulatedBus::State::endpointOf(EmulatedPort& port, void* handle) {
    auto v = reinterpret_cast<std::uintptr_t>(handle);
    if ((v >> uidShift) != (port.uid & uidMask) || ((v >> 8) & generationMask) != (port.generation & generationMask))
        return nullptr;
    auto it = port.endpoints.find(static_cast<std::uint8_t>(v & 0xFF));
    return it == port.endpoints.end() ? nullptr : &it->second;
}

bool EmulatedBus::State::takeFailure(std::uint8_t endpoint, Status* status, UsbdStatus* usbd) {
    for (auto it = failures.begin(); it != failures.end(); ++it) {
        if (it->endpoint != endpoint) continue;
        *status = it->status;
        *usbd = it->usbd;
        if (--it->count <= 0) failures.erase(it);
        return true;
    }
    return false;
}

void EmulatedBus::State::logUrb(const BusPort& port, const Urb* urb) {
    UrbLogEntry e;
    e.function = urb->UrbHeader.Function;
    auto endpointOfHandle = [](void* handle) {
        return static_cast<std::uint8_t>(reinterpret_cast<std::uintptr_t>(handle) & 0xFF);
    };
    switch (e.function) {
    case URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER:
    case URB_FUNCTION_ISOCH_TRANSFER:
        e.endpoint = endpointOfHandle(urb->UrbTransfer.PipeHandle);
        e.length = urb->UrbTransfer.TransferBufferLength;
        e.flags = urb->UrbTransfer.TransferFlags;
        break;
    case URB_FUNCTION_ABORT_PIPE:
    case URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL:
        e.endpoint = endpointOfHandle(urb->UrbPipeRequest.PipeHandle);
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

namespace {

// Ends a queued transfer whose request was cancelled before it moved.
void cancelQueued(DeviceObject* pdo, Irp* cancelled) {
    BusDriver& bus = BusDriver::of(pdo);
    auto& state = static_cast<EmulatedBus::State&>(bus.transport());
    {
        Lock lock(bus.mutex());
        for (auto& [number, p] : bus.ports())
            for (auto& [address, e] : static_cast<EmulatedPort&>(*p).endpoints)
                for (auto it = e.queue.begin(); it != e.queue.end(); ++it) {
                    if (it->irp != cancelled) continue;
                    it->urb->TransferBufferLength = it->done;
                    it->urb->Hdr.Status = USBD_STATUS_CANCELED;
                    state.end(cancelled, STATUS_CANCELLED, lock);
                    e.queue.erase(it);
                    goto found;
                }
    found:;
    }
    state.wake.notify_one();
}

}  // namespace

void EmulatedBus::State::transfer(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    EmulatedPort& port = emulated(p);
    UrbTransfer* u = &urb->UrbTransfer;
    EmulatedEndpoint* ep = endpointOf(port, u->PipeHandle);
    if (!ep) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE, lock);
    Status injected;
    UsbdStatus usbd;
    if (takeFailure(ep->address, &injected, &usbd)) {
        u->TransferBufferLength = 0;
        urb->UrbHeader.Status = usbd;
        return end(irp, injected, lock);
    }
    if (ep->halted) {
        u->TransferBufferLength = 0;
        return bus.endUrb(irp, urb, USBD_STATUS_ENDPOINT_HALTED, lock);
    }
    EmulatedTransfer t;
    t.irp = irp;
    t.urb = u;
    t.length = u->TransferBufferLength;
    t.buffer = transferBuffer(urb);
    if (t.length && !t.buffer) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PARAMETER, lock);
    if (t.length == 0 && (ep->address & USB_ENDPOINT_DIRECTION_IN))
        return bus.endUrb(irp, urb, USBD_STATUS_SUCCESS, lock);
    IoSetCancelRoutine(irp, cancelQueued);
    if (irp->Cancel.load() && IoSetCancelRoutine(irp, nullptr) != nullptr) {
        u->TransferBufferLength = 0;
        return bus.endUrb(irp, urb, USBD_STATUS_CANCELED, lock);
    }
    ep->queue.push_back(t);
}

void EmulatedBus::State::selectConfiguration(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    EmulatedPort& port = emulated(p);
    auto& r = urb->UrbSelectConfiguration;
    flushPort(port, USBD_STATUS_CANCELED);
    port.endpoints.clear();
    ++port.generation;
    if (!r.ConfigurationDescriptor) {
        port.configuration = 0;
        port.function->setConfiguration(0);
        r.ConfigurationHandle = nullptr;
        return bus.endUrb(irp, urb, USBD_STATUS_SUCCESS, lock);
    }
    std::vector<std::uint8_t> config = port.function->descriptor(USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0);
    if (config.size() < sizeof(ConfigurationDescriptor)) return bus.endUrb(irp, urb, USBD_STATUS_STALL_PID, lock);
    std::map<std::uint8_t, EmulatedEndpoint> endpoints;
    InterfaceSelection how;
    how.interfaceHandle = [&](InterfaceDescriptor& d) { return handleOf(port, 0x100u | d.bInterfaceNumber); };
    how.pipeHandle = [&](EndpointDescriptor& e) {
        EmulatedEndpoint& ep = endpoints[e.bEndpointAddress];
        ep.address = e.bEndpointAddress;
        ep.type = e.bmAttributes & 3;
        ep.maxPacket = static_cast<std::uint16_t>(e.wMaxPacketSize & 0x7FF);
        return pipeHandle(port, ep.address);
    };
    UsbdStatus status = selectInterfaces(urb, config, how);
    if (status != USBD_STATUS_SUCCESS) return bus.endUrb(irp, urb, status, lock);
    port.endpoints = std::move(endpoints);
    port.configuration = reinterpret_cast<ConfigurationDescriptor*>(config.data())->bConfigurationValue;
    port.function->setConfiguration(port.configuration);
    r.ConfigurationHandle = handleOf(port, 0x200u);
    bus.endUrb(irp, urb, USBD_STATUS_SUCCESS, lock);
}

void EmulatedBus::State::descriptor(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    auto& r = urb->UrbControlDescriptorRequest;
    std::vector<std::uint8_t> d = emulated(p).function->descriptor(r.DescriptorType, r.Index, r.LanguageId);
    bus.endUrb(irp, urb, d.empty() ? USBD_STATUS_STALL_PID : copyToUrb(urb, d), lock);
}

void EmulatedBus::State::abortPipe(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    EmulatedEndpoint* ep = endpointOf(emulated(p), urb->UrbPipeRequest.PipeHandle);
    if (!ep) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE, lock);
    flushEndpoint(*ep, USBD_STATUS_CANCELED);
    bus.endUrb(irp, urb, USBD_STATUS_SUCCESS, lock);
}

void EmulatedBus::State::resetPipe(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    EmulatedEndpoint* ep = endpointOf(emulated(p), urb->UrbPipeRequest.PipeHandle);
    if (!ep) return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE, lock);
    ep->halted = false;
    emulated(p).function->clearHalt(ep->address);
    bus.endUrb(irp, urb, USBD_STATUS_SUCCESS, lock);
}

void EmulatedBus::State::frameNumber(BusPort&, Irp* irp, Urb* urb, Lock& lock) {
    urb->UrbGetCurrentFrameNumber.FrameNumber = frame();
    bus.endUrb(irp, urb, USBD_STATUS_SUCCESS, lock);
}

void EmulatedBus::State::control(BusPort& p, Irp* irp, Urb* urb, const SetupPacket& setup, Lock& lock) {
    auto& r = urb->UrbControlVendorClassRequest;
    bool in = (setup.bmRequestType & 0x80) != 0;
    std::uint8_t* buffer = transferBuffer(urb);
    std::vector<std::uint8_t> data;
    if (!in && buffer) data.assign(buffer, buffer + r.TransferBufferLength);
    if (emulated(p).function->control(setup, data) != Handshake::Ack) {
        r.TransferBufferLength = 0;
        return bus.endUrb(irp, urb, USBD_STATUS_STALL_PID, lock);
    }
    bus.endUrb(irp, urb, in ? copyToUrb(urb, data) : USBD_STATUS_SUCCESS, lock);
}

void EmulatedBus::State::isochronous(BusPort& p, Irp* irp, Urb* urb, Lock& lock) {
    EmulatedPort& port = emulated(p);
    auto& r = urb->UrbIsochronousTransfer;
    EmulatedEndpoint* ep = endpointOf(port, r.PipeHandle);
    if (!ep || ep->type != USB_ENDPOINT_TYPE_ISOCHRONOUS)
        return bus.endUrb(irp, urb, USBD_STATUS_INVALID_PIPE_HANDLE, lock);
    std::uint32_t now = frame();
    if (r.TransferFlags & USBD_START_ISO_TRANSFER_ASAP) {
        r.StartFrame = now;
    } else if (r.StartFrame + 1024 < now || r.StartFrame > now + 1024) {
        return bus.endUrb(irp, urb, USBD_STATUS_BAD_START_FRAME, lock);
    }
    std::uint8_t* buffer = transferBuffer(urb);
    std::uint32_t total = 0;
    r.ErrorCount = 0;
    for (std::uint32_t i = 0; i < r.NumberOfPackets; ++i) {
        IsoPacketDescriptor* packetAt = isoPacketAt(&r, i);
        std::uint32_t next = i + 1 < r.NumberOfPackets ? isoPacketAt(&r, i + 1)->Offset : r.TransferBufferLength;
        std::uint32_t room = next - packetAt->Offset;
        packetAt->Status = USBD_STATUS_SUCCESS;
        if (ep->address & USB_ENDPOINT_DIRECTION_IN) {
            std::vector<std::uint8_t> packet;
            std::uint32_t n = 0;
            if (port.function->in(ep->address, packet) == Handshake::Ack) {
                n = std::min<std::uint32_t>(room, static_cast<std::uint32_t>(packet.size()));
                if (n) std::memcpy(buffer + packetAt->Offset, packet.data(), n);
            }
            packetAt->Length = n;
            total += n;
        } else {
            port.function->out(ep->address, {buffer + packetAt->Offset, room});
            total += room;
        }
    }
    r.TransferBufferLength = total;
    bus.endUrb(irp, urb, USBD_STATUS_SUCCESS, lock);
}

void EmulatedBus::State::resetPort(BusPort& p, Irp* irp, Lock& lock) {
    EmulatedPort& port = emulated(p);
    flushPort(port, USBD_STATUS_CANCELED);
    port.function->reset();
    port.function->setConfiguration(port.configuration);  // the bus restores it
    for (auto& [address, ep] : port.endpoints) ep.halted = false;
    end(irp, STATUS_SUCCESS, lock);
}

void EmulatedBus::State::cyclePort(BusPort& port) {
    helpers.emplace_back([this, number = port.number] { cycle(number); });
}

}  // namespace usb
