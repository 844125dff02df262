// Device control codes over the emulated bus: statuses and bytes returned, pinned per code.
#include <cstring>

#include "fixture.h"
#include "test_function.h"

namespace drv {
namespace {

using ut::TestFunction;

struct Result {
    bool ok;
    std::int32_t status;
    std::size_t returned;
};

Result control(devices::Handle& h, std::uint32_t code, std::vector<std::uint8_t> in, std::vector<std::uint8_t>& out) {
    std::size_t returned = 0;
    bool ok = devices::deviceControl(h, code, in.empty() ? nullptr : in.data(), in.size(),
                                     out.empty() ? nullptr : out.data(), out.size(), &returned);
    return {ok, ok ? STATUS_SUCCESS : devices::lastStatus(), returned};
}

TEST(SetupPacket, TypeAndRecipientSelectTheUrbFunction) {
    EXPECT_EQ(pipedrv::pipedrv_control_function(0x21), URB_FUNCTION_CLASS_INTERFACE);
    EXPECT_EQ(pipedrv::pipedrv_control_function(0xC0), URB_FUNCTION_VENDOR_DEVICE);
    EXPECT_EQ(pipedrv::pipedrv_control_function(0x42), URB_FUNCTION_VENDOR_ENDPOINT);
    EXPECT_EQ(pipedrv::pipedrv_control_function(0x23), URB_FUNCTION_CLASS_OTHER);
    EXPECT_EQ(pipedrv::pipedrv_control_function(0x43), URB_FUNCTION_VENDOR_OTHER);
    EXPECT_EQ(pipedrv::pipedrv_control_function(0x80), 0);  // standard
    EXPECT_EQ(pipedrv::pipedrv_control_function(0x60), 0);  // reserved
    EXPECT_EQ(pipedrv::pipedrv_control_function(0x44), 0);  // recipient 4
    const std::uint8_t raw[8] = {0xC1, 11, 0x34, 0x12, 0x02, 0x00, 0x04, 0x00};
    SetupPacket s;
    pipedrv::pipedrv_parse_setup(raw, &s);
    EXPECT_EQ(s.wValue, 0x1234);
    EXPECT_EQ(s.wIndex, 2);
    EXPECT_EQ(s.wLength, 4);
}

TEST_F(DriverTest, ControlCodesAnswerWithTheirStatusesAndNoMoreThanTheOutputHolds) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle pipe = devices::open(path + "\\PIPE01");
    devices::Handle device = devices::open(path);
    ASSERT_TRUE(pipe.valid() && device.valid());
    std::uint16_t total = static_cast<std::uint16_t>(fn.descriptor(2, 0, 0).size());
    std::vector<std::uint8_t> vendorIn = {0xC1, 5, 0, 0, 0, 0, 4, 0};
    std::vector<std::uint8_t> vendorOut = {0x41, 5, 0, 0, 0, 0, 4, 0, 9, 9, 9, 9};

    struct Case {
        const char* what;
        devices::Handle* handle;
        std::uint32_t code;
        std::vector<std::uint8_t> in;
        std::size_t out;
        std::int32_t status;
        std::size_t returned;
    } cases[] = {
        {"configuration, one byte short", &device, 0x230000, {}, std::size_t(total - 1), STATUS_BUFFER_TOO_SMALL, 0},
        {"configuration", &device, 0x230000, {}, total, STATUS_SUCCESS, total},
        {"reset device on an enabled port", &device, 0x230004, {}, 0, STATUS_SUCCESS, 0},
        {"reset pipe without a pipe", &device, 0x230008, {}, 0, STATUS_INVALID_PARAMETER, 0},
        {"reset pipe", &pipe, 0x230008, {}, 0, STATUS_SUCCESS, 0},
        {"pipe information without a pipe", &device, 0x23000C, {}, 64, STATUS_INVALID_HANDLE, 0},
        {"pipe information, short", &pipe, 0x23000C, {}, sizeof(PipeInformation) - 1, STATUS_BUFFER_TOO_SMALL, 0},
        {"pipe information", &pipe, 0x23000C, {}, 64, STATUS_SUCCESS, sizeof(PipeInformation)},
        {"vendor interface out", &device, 0x23001C, {1, 2}, 0, STATUS_SUCCESS, 0},
        {"abort without a pipe", &device, 0x230020, {}, 0, STATUS_INVALID_PARAMETER, 0},
        {"abort", &pipe, 0x230020, {}, 0, STATUS_SUCCESS, 0},
        {"control, no setup", &device, 0x230024, {0xC1, 5}, 4, STATUS_INVALID_PARAMETER, 0},
        {"control, standard type", &device, 0x230024, {0x80, 6, 0, 1, 0, 0, 4, 0}, 4, STATUS_INVALID_PARAMETER, 0},
        {"control, vendor in of 4", &device, 0x230024, vendorIn, 4, STATUS_SUCCESS, 4},
        {"control, vendor in, output short", &device, 0x230024, vendorIn, 3, STATUS_INVALID_PARAMETER, 0},
        {"control, vendor out, output shorter than wLength", &device, 0x230024, vendorOut, 2, STATUS_SUCCESS, 0},
        {"control, vendor out, data short", &device, 0x230024, {0x41, 5, 0, 0, 0, 0, 4, 0, 9}, 0,
         STATUS_INVALID_PARAMETER, 0},
        {"max packet, out 3", &pipe, 0x230028, {}, 3, STATUS_INVALID_PARAMETER, 0},
        {"max packet", &pipe, 0x230028, {}, 4, STATUS_SUCCESS, 4},
        {"reset port", &device, 0x23002C, {}, 0, STATUS_SUCCESS, 0},
        {"unknown code", &device, 0x230010, {}, 0, STATUS_INVALID_PARAMETER, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> out(c.out, 0xEE);
        Result r = control(*c.handle, c.code, c.in, out);
        EXPECT_EQ(r.status, c.status) << c.what;
        EXPECT_EQ(r.returned, c.returned) << c.what;
        if (c.code == 0x230024 && c.status == STATUS_SUCCESS && c.returned == 4) {
            EXPECT_EQ(out, (std::vector<std::uint8_t>{1, 2, 3, 4})) << c.what;
        }
    }
    std::vector<std::uint8_t> out(4);
    ASSERT_TRUE(control(pipe, 0x230028, {}, out).ok);
    std::uint32_t packet = 0;
    std::memcpy(&packet, out.data(), 4);
    EXPECT_EQ(packet, 64u);
}

}  // namespace
}  // namespace drv
