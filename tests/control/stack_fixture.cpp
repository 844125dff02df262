#include "stack_fixture.h"

#include "control/host.h"
#include "control/reader_port.h"
#include "emulator/reader.h"
#include "kernel/host.h"
#include "kernel/pnp.h"
#include "kernel/registry.h"

namespace control_test {

namespace {

std::string hardwareId() {
    char id[32];
    std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X", emulator::kVendorId, emulator::kProductId);
    return id;
}

}  // namespace

StackBus::StackBus() {
    kernel::registry::clear();
    std::string error;
    driver_ = kernel::loadDriverModule(PIPEDRV_LIBRARY, "pipedrv64", &error);
    EXPECT_NE(driver_, nullptr) << error;
    if (driver_) kernel::pnp::bindDriver(hardwareId(), driver_);
    bus_ = std::make_unique<usb::EmulatedBus>();
}

StackBus::~StackBus() {
    bus_.reset();
    kernel::drainWorkItems();
    if (driver_) kernel::unloadDriver(driver_);
    kernel::registry::clear();
}

bool StackBus::plug(emulator::Reader& reader) {
    port_ = bus_->plug(reader);
    plugged_ = true;
    return bus_->arrivalStatus(port_) == kernel::STATUS_SUCCESS;
}

void StackBus::pull() {
    if (!plugged_) return;
    bus_->pull(port_);
    plugged_ = false;
}

std::string faceName(const ::testing::TestParamInfo<Face>& info) {
    return info.param == Face::Stack ? "Stack" : "ByteStream";
}

void BothFaces::SetUp() {
    CardTest::SetUp();
    if (!overStack()) return;
    control::setHost({});
    control::setReaderPort(nullptr);
    stack = std::make_unique<StackBus>();
    ASSERT_TRUE(stack->plug(*reader));
}

void BothFaces::TearDown() {
    CardTest::TearDown();
    stack.reset();
}

}  // namespace control_test
