// The two buses a reader can be on: the emulated one with a device model plugged in, and
// the libusb one for a real reader.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <vector>

#include "devices/system.h"
#include "kernel/pnp.h"
#include "usb/emulated_bus.h"
#include "usb/libusb_bus.h"

namespace devices {
namespace {

class EmulatedReaderBus final : public ReaderBus {
public:
    explicit EmulatedReaderBus(usb::Function& device) : device_(device) {}

    bool start(kernel::DriverObject* driver, std::string*) override {
        bus_ = std::make_unique<usb::EmulatedBus>();
        // A function is only called from its bus's controller thread.
        std::vector<std::uint8_t> bytes;
        bus_->runOnController([&] { bytes = device_.descriptor(usb::USB_DEVICE_DESCRIPTOR_TYPE, 0, 0); });
        usb::DeviceDescriptor dd{};
        std::memcpy(&dd, bytes.data(), std::min(bytes.size(), sizeof dd));
        kernel::pnp::bindDriver(usb::hardwareId(dd.idVendor, dd.idProduct), driver);
        bus_->plug(device_);
        return true;
    }

private:
    usb::Function& device_;
    std::unique_ptr<usb::EmulatedBus> bus_;
};

class LibusbReaderBus final : public ReaderBus {
public:
    explicit LibusbReaderBus(std::string programFolder) : folder_(std::move(programFolder)) {}

    bool start(kernel::DriverObject* driver, std::string* error) override {
        auto match = usb::readReaderMatch(std::filesystem::path(folder_) / usb::kReaderConfigFile, error);
        if (!match) return false;  // no file: no real reader is configured
        auto host = usb::UsbHost::libusb(error);
        if (!host) return false;
        kernel::pnp::bindDriver(usb::hardwareId(match->vendorId, match->productId), driver);
        bus_ = std::make_unique<usb::LibusbBus>(std::move(host), std::move(*match));
        return true;
    }

private:
    std::string folder_;
    std::unique_ptr<usb::LibusbBus> bus_;
};

}  // namespace

std::unique_ptr<ReaderBus> emulatedBus(usb::Function& device) { return std::make_unique<EmulatedReaderBus>(device); }

std::unique_ptr<ReaderBus> libusbBus(const std::string& programFolder) {
    return std::make_unique<LibusbReaderBus>(programFolder);
}

}  // namespace devices
