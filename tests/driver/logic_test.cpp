// The driver's pure rules: segment sizes and pipe names.
#include <gtest/gtest.h>

#include <vector>

#include "pipedrv/pipedrv.h"

namespace drv {
namespace {

using namespace pipedrv;

TEST(SegmentSize, RoundsUpToPacketsCapsAndNeverFallsBelowOnePacket) {
    struct Case {
        bool in;
        std::uint32_t packet, maximum;
        bool hasValue;
        std::uint32_t value, segment;
    } cases[] = {
        {true, 64, 4096, false, 0, 64},       // IN: one packet
        {false, 64, 4096, false, 0, 4096},    // OUT: the maximum transfer size
        {false, 64, 4096, true, 100, 128},    // rounded up to whole packets
        {false, 64, 4096, true, 0, 64},       // 0 gives one packet
        {false, 64, 4096, true, 10000, 4096}, // capped
        {false, 64, 0, false, 0, 64},         // a maximum of 0 must not make it 0
        {true, 512, 0, true, 1000, 512},
        {false, 512, 1000, true, 700, 1000},  // rounded before the cap: not whole packets
    };
    for (const auto& c : cases) {
        const std::uint32_t* value = c.hasValue ? &c.value : nullptr;
        EXPECT_EQ(pipedrv_segment_size(c.in, c.packet, c.maximum, value), c.segment)
            << c.in << " " << c.packet << " " << c.maximum << " " << c.value;
    }
}

TEST(PipeNames, MatchByExactLengthHexNumberAndInterfaceOrder) {
    std::vector<std::uint8_t> storage(interfaceInformationSize(3));
    auto* info = reinterpret_cast<InterfaceInformation*>(storage.data());
    info->NumberOfPipes = 3;
    pipeAt(info, 0)->EndpointAddress = 0x81;
    pipeAt(info, 1)->EndpointAddress = 0x01;
    pipeAt(info, 2)->EndpointAddress = 0x02;
    struct Case {
        std::u16string name;
        Status status;
        std::int32_t index;
    } cases[] = {
        {u"", STATUS_SUCCESS, -1},
        {u"\\PIPE00", STATUS_SUCCESS, 0},
        {u"\\pipe02", STATUS_SUCCESS, 2},
        {u"\\PIPE0", STATUS_INVALID_HANDLE, -1},
        {u"\\PIPE000", STATUS_INVALID_HANDLE, -1},
        {u"\\PIPE03", STATUS_INVALID_HANDLE, -1},
        {u"\\PIPE10", STATUS_INVALID_HANDLE, -1},  // hexadecimal: 16
        {u"\\PIPEzz", STATUS_INVALID_HANDLE, -1},  // not pipe 0
        {u"\\EP01", STATUS_SUCCESS, 0},            // the first of 0x81 and 0x01
        {u"\\ep02", STATUS_SUCCESS, 2},
        {u"\\EP81", STATUS_INVALID_HANDLE, -1},    // bit 7 is cleared before comparing
        {u"\\EA81", STATUS_SUCCESS, 0},
        {u"\\EA01", STATUS_SUCCESS, 1},
        {u"\\EA1", STATUS_INVALID_HANDLE, -1},
        {u"\\XX01", STATUS_INVALID_HANDLE, -1},
    };
    for (const auto& c : cases) {
        UnicodeString name{static_cast<std::uint16_t>(c.name.size() * 2), static_cast<std::uint16_t>(c.name.size() * 2),
                           const_cast<char16_t*>(c.name.data())};
        std::int32_t index = 99;
        EXPECT_EQ(pipedrv_parse_pipe_name(&name, info, &index), c.status) << toUtf8(c.name);
        if (c.status == STATUS_SUCCESS) {
            EXPECT_EQ(index, c.index) << toUtf8(c.name);
        }
    }
}

}  // namespace
}  // namespace drv
