#include <string>
#include <vector>

#include "control/reader_port.h"
#include "devices/devices.h"

namespace control {
namespace {

// The reader on the device API: the first present interface of the reader's class, its
// read pipe PIPE01 and its write pipe PIPE00. Reads wait no longer than they are told.
class DevicesReaderPort final : public ReaderPort {
public:
    bool find() override {
        const std::vector<std::string> paths = devices::enumerateInterfaces(devices::ReaderInterfaceClass);
        if (paths.empty()) return false;
        path_ = paths.front();
        return true;
    }
    bool open() override {
        read_ = devices::open(path_ + "\\PIPE01");
        if (!read_.valid()) return false;
        write_ = devices::open(path_ + "\\PIPE00");
        return write_.valid();
    }
    bool close() override {
        read_.close();
        write_.close();
        return true;
    }
    long write(std::span<const std::uint8_t> data) override {
        return devices::write(write_, data.data(), data.size());
    }
    long read(std::span<std::uint8_t> out, unsigned timeoutMs) override {
        return devices::read(read_, out.data(), out.size(), timeoutMs);
    }

private:
    std::string path_;
    devices::Handle read_;
    devices::Handle write_;
};

}  // namespace

std::unique_ptr<ReaderPort> makeDevicesReaderPort() { return std::make_unique<DevicesReaderPort>(); }

}  // namespace control
