// The libusb bus's face and its plug and play: the host's matching devices arrive and
// depart as ports of the bus driver.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "kernel/registry.h"
#include "libusb_transport.h"

namespace usb {

using namespace kernel;
using Result = UsbHost::Result;

namespace {

std::string nextBusName() {
    static std::atomic<int> buses{0};
    return "usblib" + std::to_string(++buses);
}

// Everything but S0 puts the reader in D3; usbfs offers no remote wake.
DeviceCapabilities readerCapabilities() {
    DeviceCapabilities caps{};
    caps.Removable = 1;
    caps.DeviceState[PowerSystemWorking] = PowerDeviceD0;
    for (unsigned s = PowerSystemSleeping1; s < PowerSystemMaximum; ++s) caps.DeviceState[s] = PowerDeviceD3;
    return caps;
}

// Why the reader could not be opened, in words its user can act on: only a refusal is
// a matter of the udev rule.
const char* openFailure(Result r) {
    switch (r) {
    case Result::Access: return "cannot be opened: permission denied (see the udev rule)";
    case Result::Gone:
    case Result::NotFound: return "was unplugged before it could be opened";
    case Result::Busy: return "cannot be opened: another program holds it";
    default: return "cannot be opened: the USB stack refused";
    }
}

}  // namespace

LibusbBus::State::State(std::unique_ptr<UsbHost> h, ReaderMatch m)
    : bus(nextBusName(), *this), host(std::move(h)), match(std::move(m)) {}

// ---------- plug and play ----------

void LibusbBus::State::arrive(UsbHost::DeviceRef ref) {
    auto dd = host->deviceDescriptor(ref);
    if (!dd || dd->idVendor != match.vendorId || dd->idProduct != match.productId) return;
    {
        Lock lock(bus.mutex());
        for (auto& [n, p] : bus.ports())
            if (libusbPort(*p).ref == ref && p->present) return;
    }
    std::vector<std::uint8_t> config = host->configuration(ref, 0);
    if (config.size() < sizeof(ConfigurationDescriptor)) return;
    auto* cd = reinterpret_cast<ConfigurationDescriptor*>(config.data());
    cd->wTotalLength = static_cast<std::uint16_t>(std::min<std::size_t>(cd->wTotalLength, config.size()));
    config.resize(cd->wTotalLength);
    if (Result opened = host->open(ref); opened != Result::Ok) {
        std::fprintf(stderr, "pipedrv: the reader at %s %s\n", host->location(ref).c_str(), openFailure(opened));
        return;
    }
    auto port = std::make_unique<LibusbPort>();
    port->ref = ref;
    port->device.resize(sizeof(DeviceDescriptor));
    std::memcpy(port->device.data(), &*dd, sizeof(DeviceDescriptor));
    port->configuration = std::move(config);
    port->capabilities = readerCapabilities();
    if (!bus.arrive(std::move(port), match.vendorId, match.productId, host->location(ref))) host->close(ref);
}

void LibusbBus::State::depart(UsbHost::DeviceRef ref) {
    int number = 0;
    {
        Lock lock(bus.mutex());
        for (auto& [n, p] : bus.ports())
            if (libusbPort(*p).ref == ref && p->present) number = n;
    }
    if (number) bus.depart(number);
}

// What the device had in flight is cancelled; its callbacks fail the requests.
void LibusbBus::State::unplugged(BusPort& port, Lock& lock) {
    std::vector<UsbHost::TransferId> ids;
    for (auto& [key, t] : inflight) {
        if (t.port != port.number) continue;
        t.cancelRequested = true;
        if (t.id) ids.push_back(*t.id);
    }
    lock.unlock();
    for (auto id : ids) host->cancel(id);
}

// The device's handle closes with its last port: a cycled device may be back on a new
// port with the same handle.
void LibusbBus::State::forgetting(BusPort& gone, Lock& lock) {
    UsbHost::DeviceRef ref = libusbPort(gone).ref;
    bool shared = false;
    for (auto& [n, other] : bus.ports()) shared = shared || libusbPort(*other).ref == ref;
    lock.unlock();
    if (shared || !host) return;
    releaseClaimed(ref, libusbPort(gone).claimed);
    host->close(ref);
}

// A cycle looks like an unplug and a replug.
void LibusbBus::State::cycle(int number) {
    UsbHost::DeviceRef ref;
    {
        Lock lock(bus.mutex());
        LibusbPort* p = port(number);
        if (!p || !p->present) return;
        ref = p->ref;
    }
    host->resetDevice(ref);
    depart(ref);
    arrive(ref);
}

// ---------- the bus's own face ----------

LibusbBus::LibusbBus(std::unique_ptr<UsbHost> host, ReaderMatch match)
    : state_(std::make_shared<State>(std::move(host), std::move(match))) {
    State& s = *state_;
    for (auto& [name, value] : s.match.values)
        registry::set(usb::hardwareId(s.match.vendorId, s.match.productId), name, registry::dword(value));
    s.worker = std::make_unique<Worker>();
    s.pnp = std::make_unique<Worker>();
    s.listener->pnp = s.pnp.get();
    s.host->watch([st = &s, listener = s.listener](UsbHost::DeviceRef ref, bool arrived) {
        std::lock_guard lock(listener->mutex);
        if (listener->pnp) listener->pnp->post([st, ref, arrived] { arrived ? st->arrive(ref) : st->depart(ref); });
    });
    for (auto ref : s.host->devices()) s.pnp->post([st = &s, ref] { st->arrive(ref); });
    s.pnp->drain();
}

LibusbBus::~LibusbBus() {
    State& s = *state_;
    {
        // A late arrival would bring back a device whose departure is posted below.
        std::lock_guard lock(s.listener->mutex);
        s.listener->pnp = nullptr;
    }
    s.host->watch(nullptr);
    s.pnp->drain();
    std::vector<UsbHost::DeviceRef> refs;
    {
        Lock lock(s.bus.mutex());
        for (auto& [n, p] : s.bus.ports())
            if (p->present) refs.push_back(libusbPort(*p).ref);
    }
    for (auto ref : refs) s.pnp->post([st = &s, ref] { st->depart(ref); });
    s.pnp.reset();
    s.worker.reset();
    {
        // A port whose handle is still open keeps its device until that close.
        Lock lock(s.bus.mutex());
        for (auto& [n, p] : s.bus.ports()) s.host->close(libusbPort(*p).ref);
    }
    s.host.reset();  // its event thread ends after the last callback
}

std::unique_ptr<LibusbBus> LibusbBus::fromProgramFolder(const std::filesystem::path& folder, std::string* error) {
    auto match = readReaderMatch(folder / kReaderConfigFile, error);
    if (!match) return nullptr;
    auto host = UsbHost::libusb(error);
    if (!host) return nullptr;
    return std::make_unique<LibusbBus>(std::move(host), std::move(*match));
}

std::vector<DeviceObject*> LibusbBus::pdos() const { return state_->bus.presentPdos(); }

void LibusbBus::settle() { state_->pnp->drain(); }

}  // namespace usb
