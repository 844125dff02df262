// UsbHost over libusb 1.0: one context, one event thread for transfer callbacks and
// hot-plug notices, one handle per opened device.
#include <libusb.h>

#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "usb/usb_host.h"

namespace usb {

namespace {

UsbHost::Result resultOf(int error) {
    switch (error) {
    case LIBUSB_SUCCESS: return UsbHost::Result::Ok;
    case LIBUSB_ERROR_PIPE: return UsbHost::Result::Stall;
    case LIBUSB_ERROR_NO_DEVICE: return UsbHost::Result::Gone;
    case LIBUSB_ERROR_OVERFLOW: return UsbHost::Result::Overflow;
    case LIBUSB_ERROR_BUSY: return UsbHost::Result::Busy;
    case LIBUSB_ERROR_NOT_FOUND: return UsbHost::Result::NotFound;
    case LIBUSB_ERROR_ACCESS: return UsbHost::Result::Access;
    default: return UsbHost::Result::Error;
    }
}

UsbHost::Result resultOf(libusb_transfer_status status) {
    switch (status) {
    case LIBUSB_TRANSFER_COMPLETED: return UsbHost::Result::Ok;
    case LIBUSB_TRANSFER_STALL: return UsbHost::Result::Stall;
    case LIBUSB_TRANSFER_CANCELLED: return UsbHost::Result::Cancelled;
    case LIBUSB_TRANSFER_NO_DEVICE: return UsbHost::Result::Gone;
    case LIBUSB_TRANSFER_OVERFLOW: return UsbHost::Result::Overflow;
    default: return UsbHost::Result::Error;
    }
}

void append(std::vector<std::uint8_t>& out, const void* data, std::size_t n) {
    auto* p = static_cast<const std::uint8_t*>(data);
    out.insert(out.end(), p, p + n);
}

class LibusbHost final : public UsbHost {
public:
    explicit LibusbHost(libusb_context* context) : context_(context) {
        if (libusb_has_capability(LIBUSB_CAP_HAS_HOTPLUG))
            libusb_hotplug_register_callback(
                context_,
                static_cast<libusb_hotplug_event>(LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED | LIBUSB_HOTPLUG_EVENT_DEVICE_LEFT),
                static_cast<libusb_hotplug_flag>(0), LIBUSB_HOTPLUG_MATCH_ANY, LIBUSB_HOTPLUG_MATCH_ANY,
                LIBUSB_HOTPLUG_MATCH_ANY, &LibusbHost::hotplug, this, &hotplug_);
        events_ = std::thread([this] {
            while (!stopping_.load()) {
                timeval tv{0, 100000};
                libusb_handle_events_timeout_completed(context_, &tv, nullptr);
            }
        });
    }

    ~LibusbHost() override {
        {
            std::unique_lock lock(mutex_);
            onChange_ = nullptr;
            for (auto& [id, t] : transfers_) libusb_cancel_transfer(t.transfer);
        }
        for (;;) {  // the callbacks of cancelled transfers still come
            {
                std::lock_guard lock(mutex_);
                if (transfers_.empty()) break;
            }
            std::this_thread::yield();
        }
        if (hotplug_) libusb_hotplug_deregister_callback(context_, hotplug_);
        stopping_ = true;
        events_.join();
        for (auto& [ref, handle] : handles_) libusb_close(handle);
        for (auto& [ref, device] : devices_) libusb_unref_device(device);
        libusb_exit(context_);
    }

    std::vector<DeviceRef> devices() override {
        libusb_device** list = nullptr;
        ssize_t n = libusb_get_device_list(context_, &list);
        std::vector<DeviceRef> refs;
        for (ssize_t i = 0; i < n; ++i) refs.push_back(known(list[i]));
        if (n >= 0) libusb_free_device_list(list, 1);
        return refs;
    }

    std::optional<DeviceDescriptor> deviceDescriptor(DeviceRef ref) override {
        libusb_device* device = deviceOf(ref);
        libusb_device_descriptor d;
        if (!device || libusb_get_device_descriptor(device, &d) != LIBUSB_SUCCESS) return std::nullopt;
        DeviceDescriptor out;
        out.bLength = d.bLength;
        out.bDescriptorType = d.bDescriptorType;
        out.bcdUSB = d.bcdUSB;
        out.bDeviceClass = d.bDeviceClass;
        out.bDeviceSubClass = d.bDeviceSubClass;
        out.bDeviceProtocol = d.bDeviceProtocol;
        out.bMaxPacketSize0 = d.bMaxPacketSize0;
        out.idVendor = d.idVendor;
        out.idProduct = d.idProduct;
        out.bcdDevice = d.bcdDevice;
        out.iManufacturer = d.iManufacturer;
        out.iProduct = d.iProduct;
        out.iSerialNumber = d.iSerialNumber;
        out.bNumConfigurations = d.bNumConfigurations;
        return out;
    }

    // The descriptor set again as it lies on the wire, from libusb's parsed copy.
    std::vector<std::uint8_t> configuration(DeviceRef ref, std::uint8_t index) override {
        libusb_device* device = deviceOf(ref);
        libusb_config_descriptor* c = nullptr;
        if (!device || libusb_get_config_descriptor(device, index, &c) != LIBUSB_SUCCESS) return {};
        std::vector<std::uint8_t> out(9);
        out[0] = 9;
        out[1] = USB_CONFIGURATION_DESCRIPTOR_TYPE;
        out[4] = c->bNumInterfaces;
        out[5] = c->bConfigurationValue;
        out[6] = c->iConfiguration;
        out[7] = c->bmAttributes;
        out[8] = c->MaxPower;
        append(out, c->extra, static_cast<std::size_t>(c->extra_length));
        for (int i = 0; i < c->bNumInterfaces; ++i) {
            for (int a = 0; a < c->interface[i].num_altsetting; ++a) {
                const libusb_interface_descriptor& d = c->interface[i].altsetting[a];
                std::uint8_t id[9] = {9, USB_INTERFACE_DESCRIPTOR_TYPE, d.bInterfaceNumber, d.bAlternateSetting,
                                      d.bNumEndpoints, d.bInterfaceClass, d.bInterfaceSubClass,
                                      d.bInterfaceProtocol, d.iInterface};
                append(out, id, sizeof id);
                append(out, d.extra, static_cast<std::size_t>(d.extra_length));
                for (int e = 0; e < d.bNumEndpoints; ++e) {
                    const libusb_endpoint_descriptor& ep = d.endpoint[e];
                    std::uint8_t ed[7] = {7, USB_ENDPOINT_DESCRIPTOR_TYPE, ep.bEndpointAddress, ep.bmAttributes,
                                          static_cast<std::uint8_t>(ep.wMaxPacketSize & 0xFF),
                                          static_cast<std::uint8_t>(ep.wMaxPacketSize >> 8), ep.bInterval};
                    append(out, ed, sizeof ed);
                    append(out, ep.extra, static_cast<std::size_t>(ep.extra_length));
                }
            }
        }
        libusb_free_config_descriptor(c);
        out[2] = static_cast<std::uint8_t>(out.size() & 0xFF);
        out[3] = static_cast<std::uint8_t>(out.size() >> 8);
        return out;
    }

    std::string location(DeviceRef ref) override {
        libusb_device* device = deviceOf(ref);
        if (!device) return "0";
        std::string s = std::to_string(libusb_get_bus_number(device));
        std::uint8_t ports[8];
        int n = libusb_get_port_numbers(device, ports, sizeof ports);
        for (int i = 0; i < n; ++i) s += (i ? "." : "-") + std::to_string(ports[i]);
        return s;
    }

    Result open(DeviceRef ref) override {
        libusb_device* device = deviceOf(ref);
        if (!device) return Result::Gone;
        std::lock_guard lock(mutex_);
        if (handles_.count(ref)) return Result::Ok;
        libusb_device_handle* handle = nullptr;
        int r = libusb_open(device, &handle);
        if (r != LIBUSB_SUCCESS) return resultOf(r);
        libusb_set_auto_detach_kernel_driver(handle, 1);
        handles_[ref] = handle;
        return Result::Ok;
    }

    void close(DeviceRef ref) override {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(ref);
        if (it == handles_.end()) return;
        libusb_close(it->second);
        handles_.erase(it);
    }

    Result setConfiguration(DeviceRef ref, int value) override {
        libusb_device_handle* h = handleOf(ref);
        return h ? resultOf(libusb_set_configuration(h, value)) : Result::Gone;
    }
    Result claimInterface(DeviceRef ref, int number) override {
        libusb_device_handle* h = handleOf(ref);
        return h ? resultOf(libusb_claim_interface(h, number)) : Result::Gone;
    }
    Result releaseInterface(DeviceRef ref, int number) override {
        libusb_device_handle* h = handleOf(ref);
        return h ? resultOf(libusb_release_interface(h, number)) : Result::Gone;
    }
    Result setAlternateSetting(DeviceRef ref, int number, int alternate) override {
        libusb_device_handle* h = handleOf(ref);
        return h ? resultOf(libusb_set_interface_alt_setting(h, number, alternate)) : Result::Gone;
    }
    Result clearHalt(DeviceRef ref, std::uint8_t endpoint) override {
        libusb_device_handle* h = handleOf(ref);
        return h ? resultOf(libusb_clear_halt(h, endpoint)) : Result::Gone;
    }
    Result resetDevice(DeviceRef ref) override {
        libusb_device_handle* h = handleOf(ref);
        return h ? resultOf(libusb_reset_device(h)) : Result::Gone;
    }

    std::optional<TransferId> submit(DeviceRef ref, const Transfer& t, Done done, Result* failure) override;
    void cancel(TransferId id) override {
        std::lock_guard lock(mutex_);
        auto it = transfers_.find(id);
        if (it != transfers_.end()) libusb_cancel_transfer(it->second.transfer);
    }

    void watch(std::function<void(DeviceRef, bool)> onChange) override {
        std::lock_guard lock(mutex_);
        onChange_ = std::move(onChange);
    }

private:
    struct Pending {
        libusb_transfer* transfer = nullptr;
        Done done;
        std::uint8_t* callerBuffer = nullptr;       // control IN: where the data go
        std::vector<std::uint8_t> controlBuffer;     // setup packet and data
    };

    static void LIBUSB_CALL transferDone(libusb_transfer* transfer);
    static int LIBUSB_CALL hotplug(libusb_context*, libusb_device* device, libusb_hotplug_event event, void* self) {
        auto* host = static_cast<LibusbHost*>(self);
        DeviceRef ref = host->known(device);
        std::function<void(DeviceRef, bool)> onChange;
        {
            std::lock_guard lock(host->mutex_);
            onChange = host->onChange_;
        }
        if (onChange) onChange(ref, event == LIBUSB_HOTPLUG_EVENT_DEVICE_ARRIVED);
        return 0;
    }

    // Devices stay referenced until the host ends, so a reference is never reused.
    DeviceRef known(libusb_device* device) {
        auto ref = static_cast<DeviceRef>(reinterpret_cast<std::uintptr_t>(device));
        std::lock_guard lock(mutex_);
        if (devices_.emplace(ref, device).second) libusb_ref_device(device);
        return ref;
    }
    libusb_device* deviceOf(DeviceRef ref) {
        std::lock_guard lock(mutex_);
        auto it = devices_.find(ref);
        return it == devices_.end() ? nullptr : it->second;
    }
    libusb_device_handle* handleOf(DeviceRef ref) {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(ref);
        return it == handles_.end() ? nullptr : it->second;
    }

    libusb_context* context_;
    std::thread events_;
    std::atomic<bool> stopping_{false};
    libusb_hotplug_callback_handle hotplug_ = 0;
    std::mutex mutex_;
    std::map<DeviceRef, libusb_device*> devices_;
    std::map<DeviceRef, libusb_device_handle*> handles_;
    std::map<TransferId, Pending> transfers_;
    TransferId nextId_ = 1;
    std::function<void(DeviceRef, bool)> onChange_;
};

struct CallbackTag {
    LibusbHost* host;
    UsbHost::TransferId id;
};

std::optional<UsbHost::TransferId> LibusbHost::submit(DeviceRef ref, const Transfer& t, Done done, Result* failure) {
    std::lock_guard lock(mutex_);
    auto h = handles_.find(ref);
    if (h == handles_.end()) {
        *failure = Result::Gone;
        return std::nullopt;
    }
    int packets = static_cast<int>(t.isoPackets.size());
    libusb_transfer* tr = libusb_alloc_transfer(packets);
    if (!tr) {
        *failure = Result::Error;
        return std::nullopt;
    }
    TransferId id = nextId_++;
    Pending& p = transfers_[id];
    p.transfer = tr;
    p.done = std::move(done);
    auto* tag = new CallbackTag{this, id};
    int length = static_cast<int>(t.length);
    switch (t.kind) {
    case Kind::Control:
        p.controlBuffer.resize(LIBUSB_CONTROL_SETUP_SIZE + t.length);
        libusb_fill_control_setup(p.controlBuffer.data(), t.setup.bmRequestType, t.setup.bRequest, t.setup.wValue,
                                  t.setup.wIndex, t.setup.wLength);
        if (t.setup.bmRequestType & 0x80)
            p.callerBuffer = t.buffer;
        else if (t.length)
            std::memcpy(p.controlBuffer.data() + LIBUSB_CONTROL_SETUP_SIZE, t.buffer, t.length);
        libusb_fill_control_transfer(tr, h->second, p.controlBuffer.data(), &LibusbHost::transferDone, tag, 0);
        break;
    case Kind::Bulk:
        libusb_fill_bulk_transfer(tr, h->second, t.endpoint, t.buffer, length, &LibusbHost::transferDone, tag, 0);
        break;
    case Kind::Interrupt:
        libusb_fill_interrupt_transfer(tr, h->second, t.endpoint, t.buffer, length, &LibusbHost::transferDone, tag, 0);
        break;
    case Kind::Isochronous:
        libusb_fill_iso_transfer(tr, h->second, t.endpoint, t.buffer, length, packets, &LibusbHost::transferDone, tag, 0);
        for (int i = 0; i < packets; ++i) tr->iso_packet_desc[i].length = t.isoPackets[static_cast<std::size_t>(i)];
        break;
    }
    int r = libusb_submit_transfer(tr);
    if (r != LIBUSB_SUCCESS) {
        transfers_.erase(id);
        libusb_free_transfer(tr);
        delete tag;
        *failure = resultOf(r);
        return std::nullopt;
    }
    return id;
}

void LIBUSB_CALL LibusbHost::transferDone(libusb_transfer* tr) {
    std::unique_ptr<CallbackTag> tag(static_cast<CallbackTag*>(tr->user_data));
    LibusbHost* host = tag->host;
    Pending p;
    {
        std::lock_guard lock(host->mutex_);
        auto it = host->transfers_.find(tag->id);
        if (it == host->transfers_.end()) return;
        p = std::move(it->second);
        host->transfers_.erase(it);
    }
    Outcome o;
    o.result = resultOf(tr->status);
    o.actual = tr->actual_length > 0 ? static_cast<std::uint32_t>(tr->actual_length) : 0;
    if (p.callerBuffer && o.actual)
        std::memcpy(p.callerBuffer, p.controlBuffer.data() + LIBUSB_CONTROL_SETUP_SIZE, o.actual);
    if (tr->type == LIBUSB_TRANSFER_TYPE_ISOCHRONOUS) {
        o.actual = 0;
        for (int i = 0; i < tr->num_iso_packets; ++i) {
            o.isoActual.push_back(tr->iso_packet_desc[i].actual_length);
            o.isoResults.push_back(resultOf(tr->iso_packet_desc[i].status));
            o.actual += tr->iso_packet_desc[i].actual_length;
        }
    }
    libusb_free_transfer(tr);
    p.done(o);
}

}  // namespace

std::unique_ptr<UsbHost> UsbHost::libusb(std::string* error) {
    libusb_context* context = nullptr;
    int r = libusb_init(&context);
    if (r != LIBUSB_SUCCESS) {
        if (error) *error = std::string("libusb cannot start: ") + libusb_error_name(r);
        return nullptr;
    }
    return std::make_unique<LibusbHost>(context);
}

}  // namespace usb
