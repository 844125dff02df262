// The driver over a scripted USB function: configuration, pipes, segmented transfers,
// and plug and play with requests in flight.
#include <atomic>
#include <thread>

#include "fixture.h"
#include "test_function.h"

namespace drv {
namespace {

using ut::TestFunction;

std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t seed = 1) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i);
    return v;
}

TEST_F(DriverTest, StartReadsTheDescriptorsAndSelectsTheFirstMatchingInterface) {
    TestFunction fn(64);
    fn.configurationLength(600);
    fn.interfaceClass(8, 2);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    std::vector<std::pair<std::uint8_t, std::uint32_t>> reads;
    for (auto& e : bus->urbLog())
        if (e.function == URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE) reads.emplace_back(e.descriptorType, e.length);
    EXPECT_EQ(reads, (std::vector<std::pair<std::uint8_t, std::uint32_t>>{{1, 18}, {2, 521}, {2, 600}}));
    EXPECT_EQ(fn.configuration(), 1);
    EXPECT_TRUE(devices::open(path + "\\PIPE01").valid());
    EXPECT_FALSE(devices::open(path + "\\PIPE02").valid()) << "the second interface's pipes are not in the table";
    EXPECT_EQ(devices::lastError(), devices::errorInvalidHandle);
}

TEST_F(DriverTest, ASmallConfigurationIsReadOnce) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    int reads = 0;
    for (auto& e : bus->urbLog()) reads += e.function == URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE && e.descriptorType == 2;
    EXPECT_EQ(reads, 1);
}

TEST_F(DriverTest, NoMatchingInterfaceFailsTheStart) {
    registry::set(hardwareId, "TargetInterfaceClass", registry::dword(255));
    TestFunction fn(64);
    fn.interfaceClass(8);
    EXPECT_EQ(plug(fn), STATUS_UNSUCCESSFUL);
    EXPECT_TRUE(devices::enumerateInterfaces(devices::ReaderInterfaceClass).empty());
}

// The interface is registered and enabled last, so a failure there leaves no device
// object attached and no interface behind.
TEST_F(DriverTest, AnInterfaceThatCannotBeRegisteredLeavesNothingBehind) {
    pool::failAllocations(makeTag("IoSl"), 0, 1);
    TestFunction fn(64);
    EXPECT_EQ(plug(fn), STATUS_INSUFFICIENT_RESOURCES);
    pool::clearFailures();
    EXPECT_TRUE(devices::enumerateInterfaces(devices::ReaderInterfaceClass).empty());
    EXPECT_EQ(driver->DeviceObject, nullptr);
    EXPECT_EQ(pnp::topOfStack(pdo()), pdo()) << "detached from the bus's device";
}

// Writes `length` bytes on PIPE00 with these registry values and gives the OUT
// segment lengths that reached the bus.
struct SegmentCase {
    const char* what;
    std::vector<std::pair<std::string, registry::Value>> values;
    std::size_t length;
    std::vector<std::uint32_t> segments;
};

class OutSegments : public DriverTest, public ::testing::WithParamInterface<SegmentCase> {};

TEST_P(OutSegments, FollowTheRegistryValues) {
    const SegmentCase& c = GetParam();
    for (auto& [name, value] : c.values) registry::set(hardwareId, name, value);
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle out = devices::open(path + "\\PIPE00");
    bus->clearUrbLog();
    auto data = bytes(c.length);
    EXPECT_EQ(devices::write(out, data.data(), data.size()), static_cast<long>(c.length));
    std::vector<std::uint32_t> segments;
    for (auto& e : transfers(0x01)) segments.push_back(e.length);
    EXPECT_EQ(segments, c.segments) << c.what;
    EXPECT_EQ(fn.outBytes(), data);
}

INSTANTIATE_TEST_SUITE_P(
    Registry, OutSegments,
    ::testing::Values(
        SegmentCase{"defaults", {}, 8192, {4096, 4096}},
        SegmentCase{"a text value is not a number", {{"MaximumTransferSize", registry::text("4096")}}, 8192, {4096, 4096}},
        SegmentCase{"a short value is not a number", {{"MaximumTransferSize", registry::binary({0, 1})}}, 8192, {4096, 4096}},
        SegmentCase{"a maximum of 0 still moves data", {{"MaximumTransferSize", registry::dword(0)}}, 100, {64, 36}},
        SegmentCase{"segment size value", {{"EP1_SegmentSize", registry::dword(100)}}, 300, {128, 128, 44}},
        SegmentCase{"an exact multiple sends nothing more", {{"EP1_SegmentSize", registry::dword(64)}}, 128, {64, 64}},
        SegmentCase{"an empty write is one empty transfer", {}, 0, {0}}));

TEST_F(DriverTest, InSegmentsAreOnePacketAtFullAndHighSpeed) {
    for (std::uint16_t packet : {64, 512}) {
        TestFunction fn(packet, true);
        ASSERT_EQ(plug(fn), STATUS_SUCCESS);
        devices::Handle in = devices::open(path + "\\PIPE01");
        devices::Handle out = devices::open(path + "\\PIPE00");
        auto block = bytes(16384, 3);
        ASSERT_EQ(devices::write(out, block.data(), block.size()), 16384);
        bus->clearUrbLog();
        std::vector<std::uint8_t> got(16384);
        EXPECT_EQ(devices::read(in, got.data(), got.size(), 10000), 16384);
        EXPECT_EQ(got, block);
        EXPECT_EQ(transfers(0x81).size(), 16384u / packet) << packet;
        in.close();
        out.close();
        bus->pull(port);
    }
}

TEST_F(DriverTest, ReadsEndOnAShortSegmentAndZeroLengthReadsStayHome) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle in = devices::open(path + "\\PIPE01");
    bus->clearUrbLog();
    std::vector<std::uint8_t> got(129);
    EXPECT_EQ(devices::read(in, got.data(), 0, 1000), 0);
    EXPECT_TRUE(transfers(0x81).empty());
    fn.queueIn(bytes(64));
    fn.queueIn(bytes(64));
    fn.queueIn(bytes(1));
    EXPECT_EQ(devices::read(in, got.data(), 129, 1000), 129);
    EXPECT_EQ(transfers(0x81).size(), 3u) << "two full segments and one byte";
    fn.queueIn(bytes(64));
    fn.queueIn(bytes(10));
    EXPECT_EQ(devices::read(in, got.data(), 129, 1000), 74) << "a short second segment ends the read";
}

TEST_F(DriverTest, AFailedSegmentResetsThePipeBeforeTheRequestCompletes) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle in = devices::open(path + "\\PIPE01");
    std::vector<std::uint8_t> got(64);
    fn.stallIn(true);
    EXPECT_EQ(devices::read(in, got.data(), 64, 1000), -1);
    EXPECT_EQ(devices::lastStatus(), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(fn.clearedHalts(), (std::vector<std::uint8_t>{0x81})) << "reset before the caller saw the failure";
    fn.queueIn(bytes(100));  // more than the room left: an overrun
    EXPECT_EQ(devices::read(in, got.data(), 64, 1000), -1);
    EXPECT_EQ(devices::lastStatus(), STATUS_DATA_OVERRUN);
    fn.queueIn(bytes(5));
    EXPECT_EQ(devices::read(in, got.data(), 64, 1000), 5) << "the reset pipe works again";
}

TEST_F(DriverTest, AnIsochronousReadIsOneTransferStartedAsSoonAsPossible) {
    TestFunction fn(64);
    fn.isochronous(true);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle iso = devices::open(path + "\\PIPE02");
    ASSERT_TRUE(iso.valid());
    fn.queueIn(bytes(64));
    fn.queueIn(bytes(30));
    bus->clearUrbLog();
    std::vector<std::uint8_t> got(150);
    EXPECT_EQ(devices::read(iso, got.data(), got.size(), 1000), 94);
    std::vector<std::uint16_t> functions;
    for (auto& e : bus->urbLog()) functions.push_back(e.function);
    EXPECT_EQ(functions, (std::vector<std::uint16_t>{URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL,
                                                    URB_FUNCTION_ISOCH_TRANSFER}));
    EXPECT_EQ(bus->urbLog().back().flags, USBD_START_ISO_TRANSFER_ASAP | USBD_TRANSFER_DIRECTION_IN);
    EXPECT_EQ(devices::read(iso, got.data(), 0, 1000), -1) << "nothing to move";
}

TEST_F(DriverTest, OneHandlePerPipeAndNoTransfersOnTheDeviceHandle) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle first = devices::open(path + "\\PIPE00");
    ASSERT_TRUE(first.valid());
    EXPECT_FALSE(devices::open(path + "\\pipe00").valid());
    EXPECT_EQ(devices::lastError(), devices::errorInvalidHandle);
    first.close();
    EXPECT_TRUE(devices::open(path + "\\EP01").valid());
    devices::Handle device = devices::open(path);
    ASSERT_TRUE(device.valid());
    std::uint8_t b[4];
    EXPECT_EQ(devices::read(device, b, 4, 1000), -1);
    EXPECT_EQ(devices::lastStatus(), STATUS_INVALID_HANDLE);
}

TEST_F(DriverTest, CapabilitiesOfAnOldVersionAreRefused) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    DeviceCapabilities caps;
    EXPECT_EQ(pnp::sendPnp(pdo(), IRP_MN_QUERY_CAPABILITIES, &caps), STATUS_SUCCESS);
    EXPECT_TRUE(caps.SurpriseRemovalOK);
    caps.Version = 0;
    EXPECT_EQ(pnp::sendPnp(pdo(), IRP_MN_QUERY_CAPABILITIES, &caps), STATUS_UNSUCCESSFUL);
}

// A read that the bus has finished but holds back, on a thread of its own.
class HeldRead {
public:
    HeldRead(EmulatedBus& bus, TestFunction& fn, devices::Handle& in) : bus_(bus) {
        bus_.holdCompletions();
        fn.queueIn({1, 2, 3});
        thread_ = std::thread([&] { result_ = devices::read(in, buffer_, sizeof buffer_, 10000); });
        while (bus_.heldCompletions() == 0) std::this_thread::yield();
    }
    long finish() {
        bus_.releaseCompletions();
        thread_.join();
        return result_;
    }

private:
    EmulatedBus& bus_;
    std::thread thread_;
    std::uint8_t buffer_[8] = {};
    long result_ = 0;
};

// A plug-and-play request on a thread of its own, so that a test can see it wait.
class PnpCall {
public:
    PnpCall(DeviceObject* pdo, std::uint8_t minor)
        : thread_([this, pdo, minor] {
              status_ = pnp::sendPnp(pdo, minor);
              done_ = true;
          }) {}
    bool done() const { return done_; }
    Status finish() {
        thread_.join();
        return status_;
    }

private:
    std::atomic<bool> done_{false};
    Status status_ = STATUS_PENDING;
    std::thread thread_;
};

TEST_F(DriverTest, QueryRemoveAndQueryStopWaitForTheTransferInFlight) {
    for (std::uint8_t minor : {IRP_MN_QUERY_REMOVE_DEVICE, IRP_MN_QUERY_STOP_DEVICE}) {
        TestFunction fn(64);
        ASSERT_EQ(plug(fn), STATUS_SUCCESS);
        auto* ext = pipedrv::extension_of(pnp::topOfStack(pdo()));
        devices::Handle in = devices::open(path + "\\PIPE01");
        HeldRead read(*bus, fn, in);
        EXPECT_EQ(ext->io_count, 2);
        PnpCall query(pdo(), minor);
        for (int i = 0; i < 100; ++i) std::this_thread::yield();
        EXPECT_FALSE(query.done()) << "it waits while a transfer is inside the driver";
        EXPECT_EQ(read.finish(), 3);
        EXPECT_EQ(query.finish(), STATUS_SUCCESS);
        EXPECT_EQ(ext->io_count, 1);
        std::uint8_t b[4];
        EXPECT_EQ(devices::read(in, b, 4, 1000), -1) << "the gate is closed";
        EXPECT_EQ(devices::lastStatus(), STATUS_DELETE_PENDING);
        std::uint8_t cancel = minor == IRP_MN_QUERY_REMOVE_DEVICE ? IRP_MN_CANCEL_REMOVE_DEVICE : IRP_MN_CANCEL_STOP_DEVICE;
        EXPECT_EQ(pnp::sendPnp(pdo(), cancel), STATUS_SUCCESS);
        fn.queueIn({9});
        EXPECT_EQ(devices::read(in, b, 4, 1000), 1) << "open again after the cancel";
        EXPECT_EQ(ext->io_count, 1);
        in.close();
        bus->pull(port);
    }
}

TEST_F(DriverTest, HandlesFromBeforeAStopAreInvalidAfterTheRestart) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle old = devices::open(path + "\\PIPE01");
    ASSERT_TRUE(pnp::rebalance(pdo()));
    std::uint8_t b[4];
    EXPECT_EQ(devices::read(old, b, 4, 1000), -1);
    EXPECT_EQ(devices::lastStatus(), STATUS_INVALID_HANDLE);
    devices::Handle fresh = devices::open(path + "\\PIPE01");
    ASSERT_TRUE(fresh.valid()) << "the new table's pipe is free";
    old.close();  // must not free the new handle's pipe
    EXPECT_FALSE(devices::open(path + "\\PIPE01").valid());
    fn.queueIn({4, 5});
    EXPECT_EQ(devices::read(fresh, b, 4, 1000), 2);
}

TEST_F(DriverTest, ACloseDuringAPendingStopStillFreesThePipe) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle out = devices::open(path + "\\PIPE00");
    ASSERT_EQ(pnp::queryStop(pdo()), STATUS_SUCCESS);
    out.close();
    EXPECT_FALSE(devices::open(path + "\\PIPE00").valid()) << "no creates while the stop is pending";
    ASSERT_EQ(pnp::cancelStop(pdo()), STATUS_SUCCESS);
    EXPECT_TRUE(devices::open(path + "\\PIPE00").valid());
}

TEST_F(DriverTest, SurpriseRemovalDuringAReadFailsItAndFreesEverythingAtTheLastClose) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle in = devices::open(path + "\\PIPE01");
    long result = 0;
    std::thread reader([&] {
        std::uint8_t b[8];
        result = devices::read(in, b, 8, 10000);
    });
    while (transfers(0x81).empty()) std::this_thread::yield();
    bus->runOnController([] {});
    bus->pull(port);
    reader.join();
    EXPECT_EQ(result, -1);
    std::uint8_t b[8];
    EXPECT_EQ(devices::read(in, b, 8, 1000), -1);
    EXPECT_EQ(devices::lastStatus(), STATUS_DELETE_PENDING);
    EXPECT_GT(pool::usage(pipedrv::PDRV_TAG).allocations, leaksBefore);
    in.close();
    EXPECT_EQ(pool::usage(pipedrv::PDRV_TAG).allocations, leaksBefore) << "remove freed the driver's memory";
}

// The reader unplugged while the program closes a pipe: the removal walks the pipes'
// open marks on the bus's side while the close clears one on the program's. The close is
// held at its completion until the unplug is over, so the two always overlap: a thread
// checker sees them race unless they share a lock. Whatever the order, the close stands
// and the last handle frees the device.
TEST_F(DriverTest, AnUnplugMeetingACloseSeesTheCloseWhole) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    FileObject* file = nullptr;
    ASSERT_EQ(fileOpen(path + "\\PIPE00", &file), STATUS_SUCCESS);
    bus->clearUrbLog();

    // Plain flags, never a lock or a fence: the test must not order the two sides itself.
    std::atomic<bool> closed{false}, unplugged{false};
    DeviceObject* target = fileTarget(file);
    Irp* irp = IoAllocateIrp(target->StackSize, false);
    irp->origin = Irp::Origin::Host;
    irp->onFinished = [&](Irp*) {
        closed.store(true, std::memory_order_relaxed);
        while (!unplugged.load(std::memory_order_relaxed)) std::this_thread::yield();
    };
    IoStackLocation* s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_CLOSE;
    s->FileObject = file;
    std::thread unplug([&] {
        while (!closed.load(std::memory_order_relaxed)) std::this_thread::yield();
        bus->pull(port);
        unplugged.store(true, std::memory_order_relaxed);
    });
    IoCallDriver(target, irp);
    unplug.join();
    EXPECT_EQ(irp->IoStatus.Status, STATUS_SUCCESS);
    IoFreeIrp(irp);
    for (auto& e : bus->urbLog()) EXPECT_NE(e.function, URB_FUNCTION_ABORT_PIPE) << "the closed pipe is not aborted";

    fileClose(file);  // the program lets go of the handle: now the device goes
    EXPECT_EQ(pool::usage(pipedrv::PDRV_TAG).allocations, leaksBefore);
}

}  // namespace
}  // namespace drv
