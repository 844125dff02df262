#pragma once
// The control's pipes over the emulated reader's byte-stream face. A silent reader moves the
// test clock on by the time the link was willing to wait, as a bounded pipe read would.
#include <memory>

#include "control/reader_port.h"
#include "emulator/reader.h"
#include "scripted_port.h"

namespace control_test {

class EmulatorPort final : public control::ReaderPort {
public:
    explicit EmulatorPort(std::shared_ptr<emulator::Reader> reader) : reader_(std::move(reader)) {}

    // An unplugged reader is not found, as the device API finds no interface of it.
    bool find() override { return reader_->plugged(); }
    bool open() override { return true; }
    bool close() override { return true; }
    long write(std::span<const std::uint8_t> data) override {
        return static_cast<long>(reader_->write(data));
    }
    long read(std::span<std::uint8_t> out, unsigned timeoutMs) override {
        const auto got = reader_->read(out);
        if (!got) {
            TestClock::now() += timeoutMs;
            return -1;
        }
        return static_cast<long>(*got);
    }

private:
    std::shared_ptr<emulator::Reader> reader_;
};

}  // namespace control_test
