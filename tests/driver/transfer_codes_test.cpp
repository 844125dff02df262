// The device control codes that move data: bulk transfers on the handle's pipe and
// asynchronous control transfers, over the emulated bus.
#include <algorithm>
#include <cstring>
#include <tuple>

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

TEST_F(DriverTest, TransferCodesMoveDataWithTheirBufferingMethods) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle device = devices::open(path);
    devices::Handle in = devices::open(path + "\\PIPE01");
    devices::Handle out = devices::open(path + "\\PIPE00");
    ASSERT_TRUE(device.valid() && in.valid() && out.valid());
    const std::vector<std::uint8_t> vendor4 = {0x41, 5, 0, 0, 0, 0, 4, 0};  // bit 7 clear

    struct Urb {
        std::uint16_t function;
        std::uint32_t length;
        std::uint32_t flags;
    };
    struct Case {
        const char* what;
        devices::Handle* handle;
        std::uint32_t code;
        std::vector<std::uint8_t> in;
        std::vector<std::uint8_t> out;  // what the caller passes as its output
        std::vector<std::vector<std::uint8_t>> deviceIn;
        std::int32_t status;
        std::size_t returned;
        std::vector<std::uint8_t> got;    // the start of the output afterwards
        std::size_t deviceReceived;       // bytes the function took on its OUT endpoint
        std::vector<Urb> urbs;            // data-moving URBs sent, in order
    } cases[] = {
        {"bulk read, buffered", &in, 0x23003C, {}, std::vector<std::uint8_t>(8), {{1, 2, 3}}, STATUS_SUCCESS, 3,
         {1, 2, 3}, 0, {{URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER, 8, 3}}},
        {"bulk read, buffered, no output", &in, 0x23003C, {}, {}, {}, STATUS_INVALID_PARAMETER, 0, {}, 0, {}},
        {"bulk read on the device handle", &device, 0x23003C, {}, std::vector<std::uint8_t>(8), {},
         STATUS_INVALID_HANDLE, 0, {}, 0, {}},
        {"bulk read, direct, in segments", &in, 0x23003E, {}, std::vector<std::uint8_t>(100), {bytes(64), bytes(10, 9)},
         STATUS_SUCCESS, 74, {1, 2}, 0,
         {{URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER, 64, 3}, {URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER, 36, 3}}},
        {"bulk read, direct, no output", &in, 0x23003E, {}, {}, {}, STATUS_INVALID_PARAMETER, 0, {}, 0, {}},
        {"bulk write, buffered", &out, 0x230040, bytes(70), {}, {}, STATUS_SUCCESS, 0, {}, 70,
         {{URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER, 70, 0}}},
        {"bulk write, buffered, empty", &out, 0x230040, {}, {}, {}, STATUS_SUCCESS, 0, {}, 0,
         {{URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER, 0, 0}}},
        {"bulk write, direct", &out, 0x230041, {}, bytes(70), {}, STATUS_SUCCESS, 70, {}, 70,
         {{URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER, 70, 0}}},
        {"bulk write, direct, on the device handle", &device, 0x230041, {}, bytes(4), {}, STATUS_INVALID_HANDLE, 0,
         {}, 0, {}},
        {"control out, asynchronous", &device, 0x230045, vendor4, {9, 9, 9, 9}, {}, STATUS_SUCCESS, 4, {}, 0,
         {{URB_FUNCTION_VENDOR_INTERFACE, 4, 0}}},
        {"control in, asynchronous, reads whatever bit 7 says", &device, 0x23004A, vendor4,
         std::vector<std::uint8_t>(4), {}, STATUS_SUCCESS, 4, {1, 2, 3, 4}, 0, {{URB_FUNCTION_VENDOR_INTERFACE, 4, 3}}},
        {"control in, asynchronous, no setup", &device, 0x23004A, {0x41, 5}, std::vector<std::uint8_t>(4), {},
         STATUS_INVALID_PARAMETER, 0, {}, 0, {}},
        {"control in, asynchronous, output short", &device, 0x23004A, vendor4, std::vector<std::uint8_t>(3), {},
         STATUS_INVALID_PARAMETER, 0, {}, 0, {}},
        {"control in, asynchronous, standard type", &device, 0x23004A, {0x80, 6, 0, 1, 0, 0, 4, 0},
         std::vector<std::uint8_t>(4), {}, STATUS_INVALID_PARAMETER, 0, {}, 0, {}},
    };
    for (const Case& c : cases) {
        for (auto& packet : c.deviceIn) fn.queueIn(packet);
        std::size_t before = fn.outBytes().size();
        bus->clearUrbLog();
        std::vector<std::uint8_t> buffer = c.out;
        std::size_t returned = 0;
        bool ok = devices::deviceControl(*c.handle, c.code, c.in.empty() ? nullptr : c.in.data(), c.in.size(),
                                         buffer.empty() ? nullptr : buffer.data(), buffer.size(), &returned);
        EXPECT_EQ(ok ? STATUS_SUCCESS : devices::lastStatus(), c.status) << c.what;
        EXPECT_EQ(returned, c.returned) << c.what;
        EXPECT_TRUE(std::equal(c.got.begin(), c.got.end(), buffer.begin())) << c.what;
        EXPECT_EQ(fn.outBytes().size() - before, c.deviceReceived) << c.what;
        std::vector<std::tuple<std::uint16_t, std::uint32_t, std::uint32_t>> sent, expected;
        for (auto& e : bus->urbLog())
            if (e.function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER || e.function == URB_FUNCTION_VENDOR_INTERFACE)
                sent.emplace_back(e.function, e.length, e.flags);
        for (auto& u : c.urbs) expected.emplace_back(u.function, u.length, u.flags);
        EXPECT_EQ(sent, expected) << c.what;
        EXPECT_EQ(ext()->io_count, 1) << c.what;
    }
}

// The buffered write's information is what the I/O manager copies back into the
// caller's output: never more than that output, and never more than was sent.
TEST_F(DriverTest, ABufferedBulkWriteReportsNoMoreThanTheOutputHolds) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle out = devices::open(path + "\\PIPE00");
    ASSERT_TRUE(out.valid());
    struct Case {
        std::uint32_t output;
        std::uintptr_t information;
    } cases[] = {{10, 10}, {200, 100}, {0, 0}};
    for (const Case& c : cases) {
        auto data = bytes(100);
        std::vector<std::uint8_t> reply(c.output + 1, 0xEE);
        Event done;
        KeInitializeEvent(&done, NotificationEvent, false);
        IoStatusBlock io;
        DeviceObject* target = fileTarget(out.file());
        Irp* irp = IoBuildDeviceIoControlRequest(pipedrv::IOCTL_PIPEDRV_BULK_WRITE, target, data.data(), 100,
                                                 c.output ? reply.data() : nullptr, c.output, false, &done, &io);
        IoGetNextIrpStackLocation(irp)->FileObject = out.file();
        IoCallDriver(target, irp);
        KeWaitForSingleObject(&done, Executive, KernelMode, false, nullptr);
        EXPECT_EQ(io.Status, STATUS_SUCCESS) << c.output;
        EXPECT_EQ(io.Information, c.information) << c.output;
        EXPECT_EQ(reply[c.output], 0xEE) << "nothing past the output " << c.output;
    }
}

}  // namespace
}  // namespace drv
