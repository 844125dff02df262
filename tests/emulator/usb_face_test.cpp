// The reader as the emulated bus sees it: descriptors and packets.
#include "packets.h"

#include <gtest/gtest.h>

namespace emulator::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using usb::Handshake;

// Every IN packet the reader has ready, until it answers Nak.
std::vector<Bytes> drain(Reader& reader) {
    std::vector<Bytes> packets;
    Bytes packet;
    while (reader.in(kInEndpoint, packet) == Handshake::Ack) packets.push_back(packet);
    return packets;
}

void sendOut(Reader& reader, const Bytes& bytes) {
    const std::size_t size = reader.maxPacketSize();
    for (std::size_t at = 0; at < bytes.size(); at += size) {
        const std::size_t n = std::min(size, bytes.size() - at);
        ASSERT_EQ(reader.out(kOutEndpoint, std::span(bytes).subspan(at, n)), Handshake::Ack);
    }
}

Bytes bytesOf(const Packet& p) { return {p.begin(), p.end()}; }

class UsbFace : public ::testing::TestWithParam<std::uint16_t> {
protected:
    UsbFace() : reader(options()) { reader.insert(card); }
    static ReaderOptions options() {
        ReaderOptions o;
        o.maxPacketSize = GetParam();
        return o;
    }
    std::shared_ptr<Card> card = std::make_shared<Card>(0x73);
    Reader reader;
};

TEST_P(UsbFace, DescriptorsListTheBulkOutEndpointBeforeTheBulkInOne) {
    const std::uint16_t size = GetParam();
    const Bytes device = reader.descriptor(1, 0, 0);
    ASSERT_EQ(device.size(), 18u);
    EXPECT_EQ(device[0], 18);
    EXPECT_EQ(device[1], 1);
    EXPECT_EQ(device[7], 64);  // endpoint 0
    EXPECT_EQ(device[8] | device[9] << 8, kVendorId);
    EXPECT_EQ(device[10] | device[11] << 8, kProductId);
    EXPECT_EQ(device[17], 1);  // one configuration

    const Bytes config = reader.descriptor(2, 0, 0);
    ASSERT_EQ(config.size(), 32u);
    EXPECT_EQ(config[2] | config[3] << 8, 32);  // total length
    EXPECT_EQ(config[4], 1);                    // one interface
    const Bytes interface(config.begin() + 9, config.begin() + 18);
    EXPECT_EQ(interface, (Bytes{9, 4, 0, 0, 2, 0xFF, 0, 0, 0}));
    const Bytes out(config.begin() + 18, config.begin() + 25), in(config.begin() + 25, config.end());
    EXPECT_EQ(out, (Bytes{7, 5, 0x01, 0x02, static_cast<std::uint8_t>(size & 0xFF), static_cast<std::uint8_t>(size >> 8), 0}));
    EXPECT_EQ(in, (Bytes{7, 5, 0x82, 0x02, static_cast<std::uint8_t>(size & 0xFF), static_cast<std::uint8_t>(size >> 8), 0}));

    EXPECT_EQ(reader.descriptor(3, 0, 0), (Bytes{4, 3, 0x09, 0x04}));
    EXPECT_EQ(reader.descriptor(3, 2, 0x0409), (Bytes{16, 3, 'R', 0, 'D', 0, 'X', 0, '-', 0, '7', 0, '0', 0, '0', 0}));
    EXPECT_TRUE(reader.descriptor(2, 1, 0).empty());
    EXPECT_TRUE(reader.descriptor(3, 9, 0x0409).empty());
}

TEST_P(UsbFace, RepliesAreShortPacketsAndDataFullOnes) {
    const std::size_t size = GetParam();
    card->poke(5 * 16384, filled(16384, 0x5A));
    sendOut(reader, bytesOf(packet(0x02, 5, 3)));
    auto packets = drain(reader);
    ASSERT_EQ(packets.size(), 1 + 512 / size);
    EXPECT_EQ(packets[0], (Bytes{0x55, 0, 0x73, 0, 0xFF, 0x44, 0x01, 0x00}));
    for (std::size_t i = 1; i < packets.size(); ++i) EXPECT_EQ(packets[i], filled(size, 0x5A));

    sendOut(reader, bytesOf(packet(0x12, 5, 31)));
    packets = drain(reader);
    ASSERT_EQ(packets.size(), 1 + 16384 / size);  // a whole block, and no zero-length packet after it
    EXPECT_EQ(packets[0].size(), 8u);
    for (std::size_t i = 1; i < packets.size(); ++i) EXPECT_EQ(packets[i].size(), size);
}

TEST_P(UsbFace, WrittenDataArrivesInPacketsAndIsAnsweredOnce) {
    sendOut(reader, bytesOf(packet(0x13, 2, 31)));
    EXPECT_EQ(drain(reader), std::vector<Bytes>{(Bytes{0x55, 0, 0x73, 0, 0xFF, 0x11, 0x01, 0x00})});
    sendOut(reader, filled(16384, 0x21));
    EXPECT_EQ(drain(reader), std::vector<Bytes>{(Bytes{0x55, 0, 0x73, 0, 0xFF, 0xCC, 0x01, 0x00})});
    EXPECT_EQ(card->peek(2 * 16384, 16384), filled(16384, 0x21));
}

TEST_P(UsbFace, ASilentReaderNaksAndFaultsShowAsPackets) {
    Bytes packet;
    EXPECT_EQ(reader.in(kInEndpoint, packet), Handshake::Nak);
    reader.inject(Fault::Silence);
    sendOut(reader, bytesOf(test::packet(0x04)));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(reader.in(kInEndpoint, packet), Handshake::Nak);
    reader.inject(Fault::ZeroLengthReply);
    reader.inject(Fault::StrayPacketInData);
    sendOut(reader, bytesOf(test::packet(0x02, 0, 0)));
    const auto packets = drain(reader);
    ASSERT_GE(packets.size(), 3u);
    EXPECT_TRUE(packets[0].empty());
    EXPECT_EQ(packets[1].size(), 8u);
    EXPECT_EQ(packets[2].size(), 8u);  // stray: ends a data read short
}

TEST_P(UsbFace, PacketsForOtherEndpointsStallAndAResetDropsAHalfDoneCommand) {
    Bytes packet;
    EXPECT_EQ(reader.in(0x81, packet), Handshake::Stall);
    EXPECT_EQ(reader.out(0x02, bytesOf(test::packet(0x04))), Handshake::Stall);
    sendOut(reader, bytesOf(test::packet(0x03, 0, 0)));
    drain(reader);
    reader.reset();  // the write's data phase is gone: the next packet is a command again
    sendOut(reader, bytesOf(test::packet(0x04)));
    EXPECT_EQ(drain(reader), std::vector<Bytes>{(Bytes{0x55, 0, 0x73, 0, 0xFF, 0x22, 0x01, 0x00})});
}

INSTANTIATE_TEST_SUITE_P(PacketSizes, UsbFace, ::testing::Values(64, 512));

TEST(UsbFaceOptions, OnlyFullAndHighSpeedPacketSizesExist) {
    ReaderOptions o;
    o.maxPacketSize = 128;
    EXPECT_THROW(Reader{o}, std::invalid_argument);
}

}  // namespace
}  // namespace emulator::test
