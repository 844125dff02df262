// Wire timing on a manual clock: full-speed frames and the chip's own times.
#include "packets.h"

#include <gtest/gtest.h>

#include <functional>

namespace emulator::test {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

struct WireTimingTest : ::testing::Test {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<Card> card = std::make_shared<Card>(0x73);
    Reader reader = Reader(options());
    ReaderOptions options() {
        ReaderOptions o;
        o.timing = Timing::Wire;
        o.clock = clock;
        return o;
    }
    void SetUp() override { reader.insert(card); }
};

TEST_F(WireTimingTest, EveryTransferTakesWholeFramesAndTheChipTakesItsTime) {
    const struct {
        const char* what;
        std::function<void()> run;
        Clock::duration took;
    } cases[] = {
        {"status: command and reply, a frame each", [&] { send(reader, packet(0x04)); }, 2ms},
        {"sector read: 8 packets fit in a frame", [&] { send(reader, packet(0x02, 1, 0)); next(reader); }, 3ms},
        {"erase: the reply waits for the chip", [&] { send(reader, packet(0x01, 1, 0)); }, 4ms},
        {"whole block write: 256 packets in 14 frames, then 32 sectors programmed",
         [&] {
             send(reader, packet(0x13, 1, 31));
             reader.write(filled(16384, 0));
             next(reader);
         },
         2ms + 14ms + 8ms + 1ms},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto start = clock->now();
        c.run();
        EXPECT_EQ(clock->now() - start, c.took);
    }
}

TEST_F(WireTimingTest, ATransferStartsAtTheNextFrame) {
    clock->advance(300us);
    send(reader, packet(0x04));
    EXPECT_EQ(clock->now(), 3ms);
}

TEST_F(WireTimingTest, TheUsbFaceNaksUntilTheChipIsDone) {
    reader.out(kOutEndpoint, packet(0x01, 1, 0));
    Bytes packet;
    EXPECT_EQ(reader.in(kInEndpoint, packet), usb::Handshake::Nak);
    clock->advance(2ms);
    EXPECT_EQ(reader.in(kInEndpoint, packet), usb::Handshake::Ack);
    EXPECT_EQ(packet[0], 0x55);
}

TEST_F(WireTimingTest, TheUsbFaceSendsNoMorePacketsThanAFrameCarries) {
    reader.out(kOutEndpoint, packet(0x12, 1, 31));
    clock->advance(1ms);  // the chip has read the block long since
    Bytes packet;
    ASSERT_EQ(reader.in(kInEndpoint, packet), usb::Handshake::Ack);  // the reply
    EXPECT_EQ(reader.in(kInEndpoint, packet), usb::Handshake::Nak);
    clock->advance(std::chrono::nanoseconds(1ms) / 19);
    EXPECT_EQ(reader.in(kInEndpoint, packet), usb::Handshake::Ack);
    EXPECT_EQ(packet.size(), 64u);
}

TEST(FastTiming, NothingWaits) {
    auto clock = std::make_shared<ManualClock>();
    ReaderOptions o;
    o.clock = clock;
    Reader reader(o);
    reader.insert(std::make_shared<Card>(0x73));
    send(reader, packet(0x01, 1, 0));
    send(reader, packet(0x12, 1, 31));
    next(reader);
    EXPECT_EQ(clock->now(), 0ns);
}

}  // namespace
}  // namespace emulator::test
