// Every fault the reader can be told to show, as the host sees it.
#include "packets.h"

#include <gtest/gtest.h>

#include <sstream>

namespace emulator::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes reply(std::uint8_t code, std::uint8_t echo) { return {code, 0x00, 0xA4, 0x00, 0xFF, echo, 0x01, 0x00}; }

struct Faults : ::testing::Test {
    Reader reader;
    std::shared_ptr<Card> card = std::make_shared<Card>(0xA4);  // 4096-byte blocks
    void SetUp() override {
        reader.insert(card);
        card->poke(0, filled(4096, 0x42));
    }
    void writeSector(std::uint16_t block, std::uint8_t value, const Bytes& dataReply) {
        ASSERT_EQ(send(reader, packet(0x03, block, 0)), reply(0x55, 0x11));
        ASSERT_EQ(reader.write(filled(512, value)), 512u);
        ASSERT_EQ(next(reader), dataReply);
    }
};

TEST_F(Faults, BusyRepliesCarryTheEchoAndLeaveTheCommandUndone) {
    reader.inject(Fault::Busy, 2);
    EXPECT_EQ(send(reader, packet(0x01, 0, 0)), reply(0xEE, 0x33));
    EXPECT_EQ(send(reader, packet(0x01, 0, 0)), reply(0xEE, 0x33));
    EXPECT_EQ(card->sector(0), filled(512, 0x42));
    EXPECT_EQ(send(reader, packet(0x01, 0, 0)), reply(0x55, 0x33));  // the third send goes through
    EXPECT_EQ(card->sector(0), filled(512, 0xFF));
}

TEST_F(Faults, StrayRepliesAndZeroLengthTransfersComeBeforeTheReply) {
    reader.inject(Fault::StrayReply);
    reader.inject(Fault::ZeroLengthReply);
    reader.inject(Fault::StrayReply);
    ASSERT_EQ(reader.write(packet(0x04)), 32u);
    EXPECT_EQ(next(reader, 8), Bytes{});
    EXPECT_EQ(next(reader, 8), reply(0x55, 0x33));
    EXPECT_EQ(next(reader, 8), reply(0x55, 0x33));
    EXPECT_EQ(next(reader, 8), reply(0x55, 0x22));
    // A stray reply to a status command carries another echo than the status one.
    reader.inject(Fault::StrayReply);
    ASSERT_EQ(reader.write(packet(0x01, 1, 0)), 32u);
    EXPECT_EQ(next(reader, 8), reply(0x55, 0x22));
    EXPECT_EQ(next(reader, 8), reply(0x55, 0x33));
}

TEST_F(Faults, SilenceAndNckLeaveTheCommandUndone) {
    reader.inject(Fault::Silence);
    EXPECT_EQ(send(reader, packet(0x01, 0, 0)), std::nullopt);
    reader.inject(Fault::Nck);
    EXPECT_EQ(send(reader, packet(0x01, 0, 0)), reply(0xAA, 0x33));
    EXPECT_EQ(card->sector(0), filled(512, 0x42));
    const auto log = reader.log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].reply, std::nullopt);
    EXPECT_EQ(log[1].reply, 0xAA);
}

TEST_F(Faults, DataPhaseFaultsOfAReadComeBetweenTheReplyAndTheData) {
    const struct {
        Fault fault;
        std::vector<Bytes> transfers;  // after the reply
    } cases[] = {
        {Fault::ZeroLengthInData, {Bytes{}, filled(512, 0x42)}},
        {Fault::StrayPacketInData, {reply(0x55, 0x44), filled(512, 0x42)}},
        {Fault::ShortData, {filled(504, 0x42)}},
        {Fault::SilentData, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        reader.inject(c.fault);
        ASSERT_EQ(send(reader, packet(0x04)), reply(0x55, 0x22));  // waits for a read
        ASSERT_EQ(send(reader, packet(0x02, 0, 0)), reply(0x55, 0x44));
        for (const Bytes& transfer : c.transfers) EXPECT_EQ(next(reader, 512), transfer);
        EXPECT_EQ(next(reader, 512), std::nullopt);
    }
}

TEST_F(Faults, ShortDataOfAWholeBlockIsShortOfAPacketBoundary) {
    reader.inject(Fault::ShortData, 1, protocol::kReadBlock);
    ASSERT_EQ(send(reader, packet(0x02, 0, 0)), reply(0x55, 0x44));
    EXPECT_EQ(next(reader, 512), filled(512, 0x42));  // a sector read was not the target
    ASSERT_EQ(send(reader, packet(0x12, 0, 7)), reply(0x55, 0x44));
    EXPECT_EQ(next(reader)->size(), 4096u - 8);
}

TEST_F(Faults, RefusedDataIsNotProgrammed) {
    reader.inject(Fault::RefuseData);
    writeSector(1, 0x00, reply(0xAA, 0xCC));
    EXPECT_EQ(card->sector(8), filled(512, 0xFF));
    reader.refuseDataOn(2);
    writeSector(2, 0x00, reply(0xAA, 0xCC));
    writeSector(2, 0x00, reply(0xAA, 0xCC));
    writeSector(3, 0x00, reply(0x55, 0xCC));
    EXPECT_EQ(card->sector(16), filled(512, 0xFF));
    EXPECT_EQ(card->sector(24), filled(512, 0x00));
    EXPECT_EQ(reader.log()[0].dataReply, 0xAA);
}

TEST_F(Faults, SilenceAfterDataStillProgramsTheData) {
    reader.inject(Fault::SilentAfterData);
    ASSERT_EQ(send(reader, packet(0x03, 1, 0)), reply(0x55, 0x11));
    ASSERT_EQ(reader.write(filled(512, 0x00)), 512u);
    EXPECT_EQ(next(reader), std::nullopt);
    EXPECT_EQ(card->sector(8), filled(512, 0x00));
    EXPECT_EQ(reader.log()[0].dataReply, std::nullopt);
}

TEST_F(Faults, ACorruptReplyCodeHidesACommandThatWasCarriedOut) {
    reader.inject(Fault::CorruptReplyCode);
    EXPECT_EQ(send(reader, packet(0x01, 0, 0)), reply(kCorruptCode, 0x33));
    EXPECT_EQ(card->sector(0), filled(512, 0xFF)) << "the erase was done";
    // A write behind such a reply waits for its data: a command sent now is taken as data.
    reader.inject(Fault::CorruptReplyCode);
    EXPECT_EQ(send(reader, packet(0x03, 1, 0)), reply(kCorruptCode, 0x11));
    EXPECT_EQ(send(reader, packet(0x04)), std::nullopt);
    ASSERT_EQ(reader.write(filled(512 - 32, 0xFF)), 512u - 32);
    EXPECT_EQ(next(reader), reply(0x55, 0xCC));
    const auto log = reader.log();
    ASSERT_EQ(log.size(), 2u) << "the status command never reached the reader as one";
    EXPECT_EQ(log[1].reply, kCorruptCode);
    EXPECT_EQ(log[1].dataReply, 0x55);
}

TEST_F(Faults, AFlippedBitReachesTheHostButNotTheFlash) {
    reader.flipBitAt(300, 0x10);
    reader.inject(Fault::FlipDataBit, 1, protocol::kReadSector);
    ASSERT_EQ(send(reader, packet(0x02, 0, 0)), reply(0x55, 0x44));
    Bytes expected = filled(512, 0x42);
    expected[300] ^= 0x10;
    EXPECT_EQ(next(reader, 512), expected);
    ASSERT_EQ(send(reader, packet(0x02, 0, 0)), reply(0x55, 0x44));
    EXPECT_EQ(next(reader, 512), filled(512, 0x42)) << "the next read is whole";
    // Over a whole block the byte counts from the block's start, across several reads.
    reader.flipBitAt(4000);
    reader.inject(Fault::FlipDataBit);
    ASSERT_EQ(send(reader, packet(0x12, 0, 7)), reply(0x55, 0x44));
    Bytes block;
    while (block.size() < 4096) {
        const auto piece = next(reader, 512);
        ASSERT_TRUE(piece);
        block.insert(block.end(), piece->begin(), piece->end());
    }
    EXPECT_EQ(block[4000], 0x43);
    EXPECT_EQ(card->peek(4000, 1), Bytes{0x42});
}

TEST_F(Faults, AnUnpluggedReaderTakesAndSendsNothingUntilPluggedIn) {
    reader.unplugAfter(1);
    EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, 0x22));
    EXPECT_FALSE(reader.plugged());
    EXPECT_EQ(reader.write(packet(0x01, 0, 0)), 0u);
    EXPECT_EQ(next(reader), std::nullopt);
    EXPECT_EQ(card->sector(0), filled(512, 0x42));
    reader.plugIn();
    EXPECT_TRUE(reader.plugged());
    EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, 0x22));
}

TEST_F(Faults, EraseFailsOnChosenBlocksAndLeavesThemAsTheyWere) {
    card->poke(4096, filled(10, 0x00));
    reader.failErase(1);
    EXPECT_EQ(send(reader, packet(0x01, 1, 0)), reply(0xBB, 0x33));
    EXPECT_EQ(card->peek(4096, 10), filled(10, 0x00));
    EXPECT_EQ(send(reader, packet(0x01, 0, 0)), reply(0x55, 0x33));
    reader.clearFaults();
    EXPECT_EQ(send(reader, packet(0x01, 1, 0)), reply(0x55, 0x33));
}

TEST_F(Faults, TheCardGoesOnceTheChosenNumberOfCommandsEnded) {
    reader.pullCardAfter(2);
    EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, 0x22));
    // A write ends with its data: the card is still there for it.
    ASSERT_EQ(send(reader, packet(0x03, 1, 0)), reply(0x55, 0x11));
    ASSERT_EQ(reader.write(filled(512, 0x00)), 512u);
    EXPECT_EQ(next(reader), reply(0x55, 0xCC));
    EXPECT_EQ(send(reader, packet(0x04)), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x22, 0x01, 0x00}));
    EXPECT_EQ(card->sector(8), filled(512, 0x00));
}

TEST_F(Faults, AFaultCanWaitForACountOfCommands) {
    reader.injectAfter(2, Fault::Nck);
    EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, 0x22));
    EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, 0x22));
    EXPECT_EQ(send(reader, packet(0x04)), reply(0xAA, 0x22));
    EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, 0x22));
}

TEST_F(Faults, FaultsWaitForTheCommandTheyWereAimedAt) {
    reader.inject(Fault::Busy, 1, protocol::kWriteBlock);
    EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, 0x22));
    EXPECT_EQ(send(reader, packet(0x03, 0, 0)), reply(0x55, 0x11));
    ASSERT_EQ(reader.write(filled(512, 0xFF)), 512u);
    EXPECT_EQ(next(reader), reply(0x55, 0xCC));
    EXPECT_EQ(send(reader, packet(0x13, 0, 7)), reply(0xEE, 0x11));
    EXPECT_EQ(send(reader, packet(0x13, 0, 7)), reply(0x55, 0x11));
}

TEST_F(Faults, TheFirmwareWordIsTheChosenOne) {
    reader.setFirmwareWord(0xBEEF);
    EXPECT_EQ(send(reader, packet(0x04)), (Bytes{0x55, 0x00, 0xA4, 0x00, 0xFF, 0x22, 0xBE, 0xEF}));
}

}  // namespace
}  // namespace emulator::test

namespace emulator::test {
namespace {

TEST_F(Faults, AReaderThatChecksItsPagesRefusesWritesOntoUnerasedFlash) {
    reader.refuseUnerasedWrites(true);
    writeSector(0, 0x42, reply(0x55, 0xCC));  // the flash holds 0x42 already: nothing to set
    writeSector(0, 0x43, reply(0xBB, 0xCC));
    EXPECT_EQ(card->sector(0), filled(512, 0x42));
    writeSector(1, 0x00, reply(0x55, 0xCC));  // erased
    reader.clearFaults();
    writeSector(0, 0x43, reply(0x55, 0xCC));
    EXPECT_EQ(card->sector(0), filled(512, 0x42));
}

TEST(LoggedCommandText, ReadsAsTheBytesOnTheWire) {
    std::ostringstream text;
    text << LoggedCommand{0x13, 2, 31, 0x55, 0xAA} << "; " << LoggedCommand{0x04, 0, 0, std::nullopt, std::nullopt};
    EXPECT_EQ(text.str(), "13 block 2 sector 31 -> 55/AA; 04 block 0 sector 0 -> --");
}

}  // namespace
}  // namespace emulator::test
