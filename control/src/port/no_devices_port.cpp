#include "control/reader_port.h"

namespace control {
namespace {

// Where there is no device API there is no reader: every card operation reports 112.
class NoReaderPort final : public ReaderPort {
public:
    bool find() override { return false; }
    bool open() override { return false; }
    bool close() override { return true; }
    long write(std::span<const std::uint8_t>) override { return -1; }
    long read(std::span<std::uint8_t>, unsigned) override { return -1; }
};

}  // namespace

std::unique_ptr<ReaderPort> makeDevicesReaderPort() { return std::make_unique<NoReaderPort>(); }

}  // namespace control
