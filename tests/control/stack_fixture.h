#pragma once
// The control over the whole stack: its device-API port, the pipe driver loaded from the
// program folder, the emulated bus and the emulated reader. The same cases also run over
// the reader's byte-stream face, so that a difference between the two points at the layers
// in between.
#include <memory>
#include <string>

#include "card_fixture.h"
#include "usb/emulated_bus.h"

namespace kernel {
struct DriverObject;
}

namespace control_test {

// The pipe driver, loaded as the program loads it, and an emulated bus for the reader.
class StackBus {
public:
    StackBus();
    ~StackBus();  // close every handle first
    StackBus(const StackBus&) = delete;
    StackBus& operator=(const StackBus&) = delete;

    // True when the reader's device stack started.
    bool plug(emulator::Reader& reader);
    // The reader's cable pulled: requests under way fail, the interface goes away.
    void pull();
    usb::EmulatedBus& bus() { return *bus_; }

private:
    kernel::DriverObject* driver_ = nullptr;
    std::unique_ptr<usb::EmulatedBus> bus_;
    usb::EmulatedBus::PortId port_ = 0;
    bool plugged_ = false;
};

enum class Face { ByteStream, Stack };
std::string faceName(const ::testing::TestParamInfo<Face>& info);

// A card test over either face. Over the stack the control keeps its own port and the real
// tick count, so time-outs come from bounded pipe reads.
class BothFaces : public CardTest, public ::testing::WithParamInterface<Face> {
public:
    void SetUp() override;
    void TearDown() override;
    bool overStack() const { return GetParam() == Face::Stack; }

    std::unique_ptr<StackBus> stack;
};

}  // namespace control_test
