#include "usbfs_testbed.h"

// umockdev's header is C with GLib; its ioctl numbers come from the kernel's usbfs header.
#include <fcntl.h>
#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <termios.h>
#include <umockdev.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <thread>
#include <utility>

namespace realusb {

namespace {

using namespace std::chrono_literals;

constexpr std::uint8_t kDeviceDescriptor = 1;
constexpr std::uint8_t kConfigurationDescriptor = 2;
constexpr std::uint8_t kInterfaceDescriptor = 4;
constexpr std::uint8_t kEndpointDescriptor = 5;

// What a host controller with scatter-gather tells usbfs: one URB carries a whole transfer.
constexpr std::uint32_t kCapabilities = USBDEVFS_CAP_BULK_SCATTER_GATHER | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                        USBDEVFS_CAP_ZERO_PACKET | USBDEVFS_CAP_REAP_AFTER_DISCONNECT;

std::uint16_t word(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// Memory of the client's ioctl, copied here; changes go back when the ioctl completes.
class Resolved {
public:
    Resolved(UMockdevIoctlData* parent, std::size_t offset, std::size_t length)
        : data_(umockdev_ioctl_data_resolve(parent, offset, length, nullptr)) {}
    ~Resolved() {
        if (data_) g_object_unref(data_);
    }
    Resolved(const Resolved&) = delete;
    Resolved& operator=(const Resolved&) = delete;
    explicit operator bool() const { return data_ != nullptr; }
    UMockdevIoctlData* get() const { return data_; }
    std::uint8_t* bytes() const { return data_->data; }
    template <class T>
    T& as() const {
        return *reinterpret_cast<T*>(data_->data);
    }
    UMockdevIoctlData* release() { return std::exchange(data_, nullptr); }

private:
    UMockdevIoctlData* data_;
};

// A URB between its submission and its reaping. The client's memory (`fields`, `data`) is
// touched on umockdev's thread only, at submission and at reaping; the controller works on
// a copy of the bytes.
struct Urb {
    UMockdevIoctlData* fields = nullptr;  // the client's usbdevfs_urb
    UMockdevIoctlData* data = nullptr;    // its buffer; none when empty
    gulong address = 0;                   // the URB in the client, as DISCARDURB names it
    std::uint8_t type = 0;
    std::uint8_t endpoint = 0;
    std::vector<std::uint8_t> bytes;  // OUT: what the client sent; IN: what came so far
    std::uint32_t done = 0;
    int status = 0;
    bool zeroPacketOwed = false;  // OUT: a zero-length packet ends the data

    Urb() = default;
    Urb(const Urb&) = delete;
    Urb& operator=(const Urb&) = delete;
    ~Urb() {
        if (data) g_object_unref(data);
        if (fields) g_object_unref(fields);
    }
    std::uint32_t length() const { return static_cast<std::uint32_t>(bytes.size()); }
};

struct Endpoint {
    std::uint8_t address = 0;
    std::uint16_t maxPacket = 64;
    bool halted = false;
    std::deque<std::unique_ptr<Urb>> queue;
};

void answer(UMockdevIoctlClient* client, int error) { umockdev_ioctl_client_complete(client, error ? -1 : 0, error); }

}  // namespace

struct Device {
    UsbfsTestbed::State* bed = nullptr;
    usb::Function* function = nullptr;
    std::string node, syspath;
    UMockdevIoctlBase* handler = nullptr;
    int master = -1, slave = -1;  // the node's pseudo-terminal; libusb opens the slave side
    bool doorbell = false;        // the node polls writable
    bool gone = false;
    std::uint8_t configurationValue = 0;
    std::vector<std::uint8_t> interfaces;
    std::map<std::uint8_t, Endpoint> endpoints;
    std::deque<std::unique_ptr<Urb>> reapable;
    std::vector<UsbfsTestbed::Submitted> submitted;
};

struct UsbfsTestbed::State {
    UMockdevTestbed* testbed = nullptr;
    std::string root;
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    // Every device ever plugged: a pulled one still answers the nodes libusb holds open.
    std::vector<std::unique_ptr<Device>> devices;
    Device* current = nullptr;
    int address = 1;  // the root hub's
    std::vector<unsigned long> unserved;
    std::thread controller;

    void serve(Device& d, UMockdevIoctlClient* client);
    void serveLocked(Device& d, UMockdevIoctlClient* client, unsigned long request, UMockdevIoctlData* arg);
    void submit(Device& d, UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    void submitControl(Device& d, UMockdevIoctlClient* client, std::unique_ptr<Urb> urb);
    void controlNow(Device& d, UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    int control(Device& d, const usb::SetupPacket& setup, std::uint8_t* data);
    int standardRequest(Device& d, const usb::SetupPacket& setup, std::uint8_t* data);
    void reap(Device& d, UMockdevIoctlClient* client, UMockdevIoctlData* arg);
    int discard(Device& d, UMockdevIoctlData* arg);
    int setConfiguration(Device& d, int value);
    int clearHalt(Device& d, unsigned address);
    void killQueued(Device& d, int status);
    void giveBack(Device& d, std::unique_ptr<Urb> urb, int status);
    void ring(Device& d, bool on);

    enum class Step { Nak, Moved };
    void run();
    bool service(Device& d);
    Step stepIn(Device& d, Endpoint& ep);
    Step stepOut(Device& d, Endpoint& ep);
    Step finishHead(Device& d, Endpoint& ep, int status);
};

namespace {

gboolean onIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer device) {
    auto* d = static_cast<Device*>(device);
    d->bed->serve(*d, client);
    return TRUE;
}

// The endpoints and interface numbers of a configuration descriptor set.
void readConfiguration(const std::vector<std::uint8_t>& config, Device& d) {
    if (config.size() >= 9) d.configurationValue = config[5];
    for (std::size_t at = 0; at + 2 <= config.size() && config[at] >= 2; at += config[at]) {
        if (config[at + 1] == kInterfaceDescriptor && at + 9 <= config.size())
            d.interfaces.push_back(config[at + 2]);
        if (config[at + 1] != kEndpointDescriptor || at + 7 > config.size()) continue;
        Endpoint& ep = d.endpoints[config[at + 2]];
        ep.address = config[at + 2];
        ep.maxPacket = static_cast<std::uint16_t>(word(&config[at + 4]) & 0x7FF);
    }
}

}  // namespace

// ---------- usbfs requests, on umockdev's worker thread ----------

void UsbfsTestbed::State::serve(Device& d, UMockdevIoctlClient* client) {
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard lock(mutex);
    if (request == USBDEVFS_REAPURBNDELAY || request == USBDEVFS_REAPURB) return reap(d, client, arg);
    if (d.gone) return answer(client, ENODEV);
    serveLocked(d, client, request, arg);
}

void UsbfsTestbed::State::serveLocked(Device& d, UMockdevIoctlClient* client, unsigned long request,
                                      UMockdevIoctlData* arg) {
    const auto hasInterface = [&](unsigned number) {
        return std::count(d.interfaces.begin(), d.interfaces.end(), number) > 0;
    };
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        Resolved caps(arg, 0, sizeof(std::uint32_t));
        caps.as<std::uint32_t>() = kCapabilities;
        return answer(client, 0);
    }
    case USBDEVFS_SETCONFIGURATION:
        return answer(client, setConfiguration(d, Resolved(arg, 0, sizeof(int)).as<int>()));
    case USBDEVFS_CLAIMINTERFACE:
        return answer(client, hasInterface(Resolved(arg, 0, sizeof(unsigned)).as<unsigned>()) ? 0 : EINVAL);
    case USBDEVFS_DISCONNECT_CLAIM: {
        Resolved claim(arg, 0, sizeof(usbdevfs_disconnect_claim));
        return answer(client, hasInterface(claim.as<usbdevfs_disconnect_claim>().interface) ? 0 : EINVAL);
    }
    case USBDEVFS_RELEASEINTERFACE:
        if (!hasInterface(Resolved(arg, 0, sizeof(unsigned)).as<unsigned>())) return answer(client, EINVAL);
        killQueued(d, -ENOENT);  // the kernel kills what the interface had under way
        return answer(client, 0);
    case USBDEVFS_SETINTERFACE: {
        Resolved s(arg, 0, sizeof(usbdevfs_setinterface));
        const auto& set = s.as<usbdevfs_setinterface>();
        return answer(client, hasInterface(set.interface) && set.altsetting == 0 ? 0 : EINVAL);
    }
    case USBDEVFS_CLEAR_HALT:
        return answer(client, clearHalt(d, Resolved(arg, 0, sizeof(unsigned)).as<unsigned>()));
    case USBDEVFS_RESETEP:
        return answer(client, d.endpoints.count(static_cast<std::uint8_t>(Resolved(arg, 0, sizeof(unsigned)).as<unsigned>()))
                                  ? 0 : EINVAL);
    case USBDEVFS_RESET:
        killQueued(d, -ENOENT);
        for (auto& [address, ep] : d.endpoints) ep.halted = false;
        d.function->reset();
        return answer(client, 0);
    case USBDEVFS_SUBMITURB: return submit(d, client, arg);
    case USBDEVFS_DISCARDURB: return answer(client, discard(d, arg));
    case USBDEVFS_CONTROL: return controlNow(d, client, arg);
    case USBDEVFS_GETDRIVER:
    case USBDEVFS_IOCTL: return answer(client, ENODATA);  // no kernel driver is bound to it
    default:
        unserved.push_back(request);
        return answer(client, ENOTTY);
    }
}

int UsbfsTestbed::State::setConfiguration(Device& d, int value) {
    if (value != -1 && value != 0 && value != d.configurationValue) return EINVAL;
    killQueued(d, -ENOENT);
    for (auto& [address, ep] : d.endpoints) ep.halted = false;
    d.function->setConfiguration(static_cast<std::uint8_t>(value < 0 ? 0 : value));
    return 0;
}

int UsbfsTestbed::State::clearHalt(Device& d, unsigned address) {
    auto it = d.endpoints.find(static_cast<std::uint8_t>(address));
    if (it == d.endpoints.end()) return EINVAL;
    it->second.halted = false;
    d.function->clearHalt(it->first);
    wake.notify_all();
    return 0;
}

void UsbfsTestbed::State::submit(Device& d, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    auto urb = std::make_unique<Urb>();
    Resolved fields(arg, 0, sizeof(usbdevfs_urb));
    if (!fields) return answer(client, EFAULT);
    const usbdevfs_urb u = fields.as<usbdevfs_urb>();
    urb->fields = fields.release();
    urb->address = urb->fields->client_addr;
    urb->type = u.type;
    urb->endpoint = u.endpoint;
    if (u.buffer_length < 0) return answer(client, EINVAL);
    if (u.buffer_length > 0) {
        Resolved data(urb->fields, offsetof(usbdevfs_urb, buffer), static_cast<std::size_t>(u.buffer_length));
        if (!data) return answer(client, EFAULT);
        urb->bytes.assign(data.bytes(), data.bytes() + u.buffer_length);
        urb->data = data.release();
    }
    d.submitted.push_back({u.endpoint, urb->length()});
    if (u.type == USBDEVFS_URB_TYPE_CONTROL) return submitControl(d, client, std::move(urb));
    if (u.type != USBDEVFS_URB_TYPE_BULK && u.type != USBDEVFS_URB_TYPE_INTERRUPT) return answer(client, EINVAL);
    auto ep = d.endpoints.find(u.endpoint);
    if (ep == d.endpoints.end()) return answer(client, ENOENT);
    const bool out = (u.endpoint & 0x80) == 0;
    urb->zeroPacketOwed = out && (u.flags & USBDEVFS_URB_ZERO_PACKET) && urb->length() > 0 &&
                          urb->length() % ep->second.maxPacket == 0;
    ep->second.queue.push_back(std::move(urb));
    answer(client, 0);
    // Served at once where the device is ready, as a controller would in this frame; what
    // it Naks waits for the controller thread.
    if (service(d)) wake.notify_all();
}

// A control URB: the setup packet, then the data stage; it ends at once.
void UsbfsTestbed::State::submitControl(Device& d, UMockdevIoctlClient* client, std::unique_ptr<Urb> urb) {
    if (urb->length() < 8) return answer(client, EINVAL);
    const std::uint8_t* b = urb->bytes.data();
    const usb::SetupPacket setup{b[0], b[1], word(b + 2), word(b + 4), word(b + 6)};
    if (8u + setup.wLength > urb->length()) return answer(client, EINVAL);
    const int moved = control(d, setup, urb->bytes.data() + 8);
    urb->done = moved > 0 ? static_cast<std::uint32_t>(moved) : 0;
    answer(client, 0);
    giveBack(d, std::move(urb), moved < 0 ? moved : 0);
}

// The synchronous control request.
void UsbfsTestbed::State::controlNow(Device& d, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    Resolved request(arg, 0, sizeof(usbdevfs_ctrltransfer));
    if (!request) return answer(client, EFAULT);
    const auto& t = request.as<usbdevfs_ctrltransfer>();
    const usb::SetupPacket setup{t.bRequestType, t.bRequest, t.wValue, t.wIndex, t.wLength};
    std::optional<Resolved> data;
    if (t.wLength) data.emplace(request.get(), offsetof(usbdevfs_ctrltransfer, data), t.wLength);
    if (data && !*data) return answer(client, EFAULT);
    const int moved = control(d, setup, data ? data->bytes() : nullptr);
    umockdev_ioctl_client_complete(client, moved < 0 ? -1 : moved, moved < 0 ? -moved : 0);
}

// Bytes moved in the data stage, or -EPIPE for a stall.
int UsbfsTestbed::State::control(Device& d, const usb::SetupPacket& setup, std::uint8_t* data) {
    if ((setup.bmRequestType & 0x60) == 0) return standardRequest(d, setup, data);
    const bool in = (setup.bmRequestType & 0x80) != 0;
    std::vector<std::uint8_t> bytes;
    if (!in && data) bytes.assign(data, data + setup.wLength);
    if (d.function->control(setup, bytes) != usb::Handshake::Ack) return -EPIPE;
    if (!in) return setup.wLength;
    const std::size_t n = std::min<std::size_t>(bytes.size(), setup.wLength);
    if (n) std::memcpy(data, bytes.data(), n);
    return static_cast<int>(n);
}

// What a device answers by itself: its descriptors, its configuration, its status.
int UsbfsTestbed::State::standardRequest(Device& d, const usb::SetupPacket& setup, std::uint8_t* data) {
    std::vector<std::uint8_t> reply;
    switch (setup.bRequest) {
    case 0x00: reply = {0, 0}; break;  // GET_STATUS
    case 0x06:                         // GET_DESCRIPTOR
        reply = d.function->descriptor(static_cast<std::uint8_t>(setup.wValue >> 8),
                                       static_cast<std::uint8_t>(setup.wValue & 0xFF), setup.wIndex);
        if (reply.empty()) return -EPIPE;
        break;
    case 0x08: reply = {d.configurationValue}; break;  // GET_CONFIGURATION
    default: return -EPIPE;
    }
    if (!(setup.bmRequestType & 0x80)) return -EPIPE;
    const std::size_t n = std::min<std::size_t>(reply.size(), setup.wLength);
    if (n) std::memcpy(data, reply.data(), n);
    return static_cast<int>(n);
}

void UsbfsTestbed::State::reap(Device& d, UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    if (d.reapable.empty()) {
        ring(d, false);
        return answer(client, d.gone ? ENODEV : EAGAIN);
    }
    std::unique_ptr<Urb> urb = std::move(d.reapable.front());
    d.reapable.pop_front();
    auto& u = *reinterpret_cast<usbdevfs_urb*>(urb->fields->data);
    u.status = urb->status;
    u.actual_length = static_cast<int>(urb->done);
    if (urb->data) std::memcpy(urb->data->data, urb->bytes.data(), urb->bytes.size());
    Resolved slot(arg, 0, sizeof(void*));
    umockdev_ioctl_data_set_ptr(slot.get(), 0, urb->fields);
    answer(client, 0);
    if (d.reapable.empty()) ring(d, false);
}

// A URB not yet given back ends as unlinked; one already given back is for the reaper.
int UsbfsTestbed::State::discard(Device& d, UMockdevIoctlData* arg) {
    const auto address = reinterpret_cast<gulong>(*reinterpret_cast<void**>(arg->data));
    for (auto& [a, ep] : d.endpoints) {
        for (auto it = ep.queue.begin(); it != ep.queue.end(); ++it) {
            if ((*it)->address != address) continue;
            std::unique_ptr<Urb> urb = std::move(*it);
            ep.queue.erase(it);
            giveBack(d, std::move(urb), -ECONNRESET);
            return 0;
        }
    }
    return EINVAL;
}

void UsbfsTestbed::State::killQueued(Device& d, int status) {
    for (auto& [address, ep] : d.endpoints)
        while (!ep.queue.empty()) finishHead(d, ep, status);
}

void UsbfsTestbed::State::giveBack(Device& d, std::unique_ptr<Urb> urb, int status) {
    urb->status = status;
    d.reapable.push_back(std::move(urb));
    ring(d, true);
}

// Output on the terminal stopped: the node does not poll writable.
void UsbfsTestbed::State::ring(Device& d, bool on) {
    if (d.slave < 0 || d.doorbell == on) return;
    ::tcflow(d.slave, on ? TCOON : TCOOFF);
    d.doorbell = on;
}

// ---------- the controller thread: packets between URBs and the function ----------

void UsbfsTestbed::State::run() {
    std::unique_lock lock(mutex);
    while (!stopping) {
        const bool naks = current && service(*current);
        // A Nak is asked again in the next frame, as a controller polls a bulk endpoint.
        if (naks)
            wake.wait_for(lock, 1ms);
        else
            wake.wait(lock);
    }
}

// Moves packets until nothing more moves; true when an endpoint waits on a Nak.
bool UsbfsTestbed::State::service(Device& d) {
    bool naks = false;
    for (bool progress = !d.gone; progress;) {
        progress = false;
        naks = false;
        for (auto& [address, ep] : d.endpoints) {
            if (ep.halted || ep.queue.empty()) continue;
            const Step s = (address & 0x80) ? stepIn(d, ep) : stepOut(d, ep);
            progress = progress || s == Step::Moved;
            naks = naks || s == Step::Nak;
        }
    }
    return naks;
}

UsbfsTestbed::State::Step UsbfsTestbed::State::stepIn(Device& d, Endpoint& ep) {
    Urb& urb = *ep.queue.front();
    for (;;) {
        std::vector<std::uint8_t> packet;
        const usb::Handshake h = d.function->in(ep.address, packet);
        if (h == usb::Handshake::Nak) return Step::Nak;
        if (h == usb::Handshake::Stall) {
            ep.halted = true;
            return finishHead(d, ep, -EPIPE);
        }
        if (packet.size() > ep.maxPacket || packet.size() > urb.length() - urb.done) {
            ep.halted = true;  // babble halts the endpoint
            return finishHead(d, ep, -EOVERFLOW);
        }
        std::copy(packet.begin(), packet.end(), urb.bytes.begin() + urb.done);
        urb.done += static_cast<std::uint32_t>(packet.size());
        // A short packet ends the transfer.
        if (packet.size() < ep.maxPacket || urb.done == urb.length()) return finishHead(d, ep, 0);
    }
}

UsbfsTestbed::State::Step UsbfsTestbed::State::stepOut(Device& d, Endpoint& ep) {
    Urb& urb = *ep.queue.front();
    for (;;) {
        const std::uint32_t n = std::min<std::uint32_t>(ep.maxPacket, urb.length() - urb.done);
        const usb::Handshake h = d.function->out(ep.address, std::span(urb.bytes).subspan(urb.done, n));
        if (h == usb::Handshake::Nak) return Step::Nak;
        if (h == usb::Handshake::Stall) {
            ep.halted = true;
            return finishHead(d, ep, -EPIPE);
        }
        urb.done += n;
        if (urb.done < urb.length()) continue;
        if (n == ep.maxPacket && urb.zeroPacketOwed) {
            urb.zeroPacketOwed = false;  // the next turn sends it
            continue;
        }
        return finishHead(d, ep, 0);
    }
}

UsbfsTestbed::State::Step UsbfsTestbed::State::finishHead(Device& d, Endpoint& ep, int status) {
    std::unique_ptr<Urb> urb = std::move(ep.queue.front());
    ep.queue.pop_front();
    giveBack(d, std::move(urb), status);
    return Step::Moved;
}

// ---------- the testbed ----------

namespace {

std::string hex4(unsigned v) {
    char s[8];
    std::snprintf(s, sizeof s, "%04x", v & 0xFFFF);
    return s;
}

// A pseudo-terminal whose slave side the node names, output stopped: not writable yet.
// Without pseudo-terminals the node is an empty file, which always polls ready: libusb then
// asks for URBs again and again, and learns of a pull from the uevent alone.
void openNode(Device& d, const std::string& root) {
    const std::filesystem::path node = root + d.node;
    std::filesystem::create_directories(node.parent_path());
    std::filesystem::remove(node);
    d.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (d.master >= 0 && ::grantpt(d.master) == 0 && ::unlockpt(d.master) == 0) {
        const std::string slave = ::ptsname(d.master);
        d.slave = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (d.slave >= 0) {
            ::tcflow(d.slave, TCOOFF);
            std::filesystem::create_symlink(slave, node);
            return;
        }
    }
    if (d.master >= 0) ::close(std::exchange(d.master, -1));
    std::ofstream{node};
}

// The descriptors file goes in before the entry is announced, so that libusb never reads an
// entry without it.
void writeDescriptors(const std::string& root, const std::string& syspath, const std::vector<std::uint8_t>& bytes) {
    const std::filesystem::path dir = root + syspath;
    std::filesystem::create_directories(dir);
    std::ofstream out(dir / "descriptors", std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write the descriptors of " + syspath);
}

std::vector<gchar*> nullTerminated(std::vector<std::string>& strings) {
    std::vector<gchar*> out;
    for (auto& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

}  // namespace

UsbfsTestbed::UsbfsTestbed() : state_(std::make_unique<State>()) {
    // libusb opens the node without O_NOCTTY: in a session leader the terminal would
    // become the controlling one, and its hang-up at a pull would end the process.
    std::signal(SIGHUP, SIG_IGN);
    state_->testbed = umockdev_testbed_new();
    gchar* root = umockdev_testbed_get_root_dir(state_->testbed);
    state_->root = root;
    g_free(root);
    state_->controller = std::thread([s = state_.get()] { s->run(); });
}

UsbfsTestbed::~UsbfsTestbed() {
    State& s = *state_;
    {
        std::lock_guard lock(s.mutex);
        s.stopping = true;
    }
    s.wake.notify_all();
    s.controller.join();
    g_object_unref(s.testbed);  // ends its worker thread and removes the tree
    for (auto& d : s.devices) {
        if (d->slave >= 0) ::close(d->slave);
        if (d->master >= 0) ::close(d->master);
        g_object_unref(d->handler);
    }
}

bool UsbfsTestbed::preloaded() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "libumockdev-preload");
}

void UsbfsTestbed::plug(usb::Function& function) {
    State& s = *state_;
    {
        std::lock_guard lock(s.mutex);
        if (s.current) throw std::logic_error("a device is plugged in at 1-1 already");
    }
    auto owned = std::make_unique<Device>();
    Device& d = *owned;
    d.bed = &s;
    d.function = &function;
    const int address = ++s.address;
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", address);
    d.node = node;
    d.syspath = "/sys/devices/1-1";
    const std::vector<std::uint8_t> device = function.descriptor(kDeviceDescriptor, 0, 0);
    std::vector<std::uint8_t> descriptors = device;
    const std::vector<std::uint8_t> config = function.descriptor(kConfigurationDescriptor, 0, 0);
    descriptors.insert(descriptors.end(), config.begin(), config.end());
    if (device.size() < 18) throw std::runtime_error("the function has no device descriptor");
    readConfiguration(config, d);

    openNode(d, s.root);
    d.handler = umockdev_ioctl_base_new();
    g_signal_connect(d.handler, "handle-ioctl", G_CALLBACK(onIoctl), &d);
    GError* error = nullptr;
    if (!umockdev_testbed_attach_ioctl(s.testbed, d.node.c_str(), d.handler, &error)) {
        std::string why = error ? error->message : "?";
        g_clear_error(&error);
        throw std::runtime_error("cannot serve " + d.node + ": " + why);
    }
    writeDescriptors(s.root, d.syspath, descriptors);
    {
        std::lock_guard lock(s.mutex);
        s.current = &d;
        s.devices.push_back(std::move(owned));
    }
    const bool highSpeed = word(&device[2]) >= 0x0200;
    // Text attributes end with a newline, as the kernel writes them.
    std::vector<std::string> attributes = {
        "busnum", "1\n", "devnum", std::to_string(address) + "\n", "speed", highSpeed ? "480\n" : "12\n",
        "bConfigurationValue", std::to_string(d.configurationValue) + "\n",
        "idVendor", hex4(word(&device[8])) + "\n", "idProduct", hex4(word(&device[10])) + "\n",
        "bcdDevice", hex4(word(&device[12])) + "\n"};
    char number[4];
    std::snprintf(number, sizeof number, "%03d", address);
    std::vector<std::string> properties = {
        "DEVTYPE", "usb_device", "DRIVER", "usb", "BUSNUM", "001", "DEVNUM", number, "DEVNAME", d.node,
        "PRODUCT", hex4(word(&device[8])) + "/" + hex4(word(&device[10])) + "/" + hex4(word(&device[12]))};
    auto a = nullTerminated(attributes);
    auto p = nullTerminated(properties);
    // Announced with its "add" uevent.
    g_free(umockdev_testbed_add_devicev(s.testbed, "usb", "1-1", nullptr, a.data(), p.data()));
}

void UsbfsTestbed::pull() {
    State& s = *state_;
    Device* d = nullptr;
    int master = -1, slave = -1;
    {
        std::lock_guard lock(s.mutex);
        d = s.current;
        if (!d) return;
        s.current = nullptr;
        d->gone = true;
        s.killQueued(*d, -ESHUTDOWN);
        master = std::exchange(d->master, -1);
        slave = std::exchange(d->slave, -1);
    }
    // The node hangs up: it polls an error, as a usbfs node of a disconnected device does.
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
    umockdev_testbed_uevent(s.testbed, d->syspath.c_str(), "remove");
    umockdev_testbed_remove_device(s.testbed, d->syspath.c_str());
}

std::vector<UsbfsTestbed::Submitted> UsbfsTestbed::submitted() const {
    std::lock_guard lock(state_->mutex);
    return state_->current ? state_->current->submitted : std::vector<Submitted>{};
}

void UsbfsTestbed::clearSubmitted() {
    std::lock_guard lock(state_->mutex);
    if (state_->current) state_->current->submitted.clear();
}

std::vector<unsigned long> UsbfsTestbed::unserved() const {
    std::lock_guard lock(state_->mutex);
    return state_->unserved;
}

}  // namespace realusb
