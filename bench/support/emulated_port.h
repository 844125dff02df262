#pragma once
// The control's pipes straight over the emulated reader's byte-stream face, for benchmarks
// that measure the control and the card without the driver stack.
#include <memory>
#include <span>

#include "control/reader_port.h"
#include "emulator/reader.h"

namespace bench_support {

class EmulatedPort final : public control::ReaderPort {
public:
    explicit EmulatedPort(std::shared_ptr<emulator::Reader> reader) : reader_(std::move(reader)) {}
    bool find() override { return true; }
    bool open() override { return true; }
    bool close() override { return true; }
    long write(std::span<const std::uint8_t> data) override { return static_cast<long>(reader_->write(data)); }
    long read(std::span<std::uint8_t> out, unsigned) override {
        const auto got = reader_->read(out);
        return got ? static_cast<long>(*got) : -1;
    }

private:
    std::shared_ptr<emulator::Reader> reader_;
};

}  // namespace bench_support
