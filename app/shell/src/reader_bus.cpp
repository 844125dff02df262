// The program's choice of reader. The emulated reader is made when its bus starts, after
// the driver has loaded, so that a program without a driver leaves the card file alone.
#include "shell/reader_bus.h"

#include <cstdlib>

#include "devices/system.h"
#include "emulator/environment.h"

namespace shell {
namespace {

emulator::Reader* gEmulatedReader = nullptr;

class EnvironmentReaderBus final : public devices::ReaderBus {
public:
    ~EnvironmentReaderBus() override {
        bus_.reset();  // the reader goes after its bus
        if (gEmulatedReader == reader_.get()) gEmulatedReader = nullptr;
    }

    bool start(kernel::DriverObject* driver, std::string* error) override {
        try {
            reader_ = emulator::readerFromEnvironment();
        } catch (const std::exception& e) {
            *error = e.what();
            return false;
        }
        if (!reader_) return false;
        bus_ = devices::emulatedBus(*reader_);
        if (!bus_->start(driver, error)) return false;
        gEmulatedReader = reader_.get();
        return true;
    }

private:
    std::unique_ptr<emulator::Reader> reader_;
    std::unique_ptr<devices::ReaderBus> bus_;
};

}  // namespace

std::unique_ptr<devices::ReaderBus> readerBus(const std::string& programFolder) {
    const char* card = std::getenv(emulator::kCardVariable);
    if (card && *card) return std::make_unique<EnvironmentReaderBus>();
    return devices::libusbBus(programFolder);
}

emulator::Reader* emulatedReader() { return gEmulatedReader; }

}  // namespace shell
