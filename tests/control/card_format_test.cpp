// Format, repair and the journal, against the emulated reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "card_fixture.h"
#include "control/card.h"
#include "control/errors.h"
#include "control/link.h"
#include "control/methods.h"
#include "control/state.h"

namespace {

using namespace control;
using namespace control_test;

std::vector<std::uint8_t> filled(std::size_t n, std::uint8_t value) { return std::vector<std::uint8_t>(n, value); }

std::vector<std::uint8_t> mapOf(const HandHeader& h, std::size_t first, std::size_t count) {
    return {h.bytes.begin() + 160 + static_cast<long>(first), h.bytes.begin() + 160 + static_cast<long>(first + count)};
}

bool sealed(const HandHeader& h) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < 1534; ++i) sum += h.bytes[i];
    return h.word(1534) == static_cast<std::uint16_t>(sum);
}

TEST_F(CardTest, FormatOfABlankCardLaysOutTheTypedBlocks) {
    insertCard(0xA4);
    ASSERT_EQ(Format(), 0);
    const HandHeader h = header();
    EXPECT_EQ(std::string(h.bytes.begin(), h.bytes.begin() + 8), "KV-M58S1");
    EXPECT_EQ(h.word(8), 128);
    EXPECT_EQ(h.word(10), 0);
    EXPECT_EQ(h.word(12), 122);
    EXPECT_EQ(h.word(14), 0);
    EXPECT_EQ(mapOf(h, 0, 7), (std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC, 0xD0, 0xD1, 0xEE, 0xFF}));
    EXPECT_EQ(h.bytes[160 + 127], 0xFF);
    EXPECT_EQ(h.bytes[160 + 128], 0x00) << "entries past the card stay zero";
    EXPECT_TRUE(sealed(h));
    EXPECT_EQ(progressPosition(), 127);
    EXPECT_EQ(GetCardError(), 0);
}

TEST_F(CardTest, FormatOfABlankCardDistrustsBlocksThatHoldData) {
    insertCard(0xA4);
    card->poke(3 * 4096 + 17, filled(1, 0x00));
    card->poke(9 * 4096 + 4095, filled(1, 0x00));  // past the first sector: the block is erased
    reader->failErase(12);
    ASSERT_EQ(Format(), 0);
    const HandHeader h = header();
    EXPECT_EQ(mapOf(h, 0, 8), (std::vector<std::uint8_t>{0xAA, 0xBB, 0xCC, 0x00, 0xD0, 0xD1, 0xEE, 0xFF}));
    EXPECT_EQ(h.bytes[160 + 12], 0x00) << "a block that does not erase is bad";
    EXPECT_EQ(h.word(14), 2);
    EXPECT_EQ(h.word(12), 120);
    EXPECT_EQ(blockBytes(3)[17], 0x00) << "a distrusted block is not erased";
    EXPECT_EQ(h.bytes[160 + 9], 0xFF);
    EXPECT_EQ(blockBytes(9), filled(4096, 0xFF)) << "every block marked free is erased";

    // The free blocks take a message whole: six blocks from block 7 on, over block 9.
    const std::string file = ::testing::TempDir() + "six_blocks.dat";
    std::vector<std::uint8_t> data(6 * 4096);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7 + 1);
    {
        std::FILE* f = std::fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
    }
    ASSERT_EQ(WriteMessage(1, file), 0);
    std::remove(file.c_str());
    EXPECT_EQ(blockBytes(9), std::vector<std::uint8_t>(data.begin() + 2 * 4096, data.begin() + 3 * 4096));
}

TEST_F(CardTest, FormatOfAnOwnCardKeepsBadBlocksAndErasesWhatHeldData) {
    insertFormatted();
    auto h = hand;
    h.entry(10, 0x00);
    h.word(14, 1);
    h.word(12, static_cast<std::uint16_t>(h.word(12) - 1));
    h.channel(1, {11, 13}, 100);
    h.channel(2, {12}, 10);
    putHeader(h);
    fillBlock(11, 0x11);
    fillBlock(12, 0x22);
    fillBlock(13, 0x33);
    putTyped(2, filled(512, 5));
    reader->failErase(12);
    reader->clearLog();

    ASSERT_EQ(Format(), 0);
    const HandHeader f = header();
    EXPECT_EQ(mapOf(f, 10, 4), (std::vector<std::uint8_t>{0x00, 0xFF, 0x00, 0xFF}));
    EXPECT_EQ(f.word(14), 2);
    EXPECT_EQ(f.word(12), 128 - 6 - 2);
    EXPECT_EQ(f.word(16), 0) << "channel tables start empty";
    EXPECT_EQ(blockBytes(11), filled(4096, 0xFF));
    EXPECT_EQ(blockBytes(13), filled(4096, 0xFF));
    EXPECT_EQ(blockBytes(2), filled(4096, 0xFF)) << "the old settings are gone";
    EXPECT_EQ(progressLength(), 5 + 3);  // typed blocks and message blocks that held data
    // Blocks that the map calls free are taken as erased while the journal is idle.
    for (const auto& c : changes())
        if (c.command == 0x01) {
            EXPECT_TRUE(c.block <= 5 || (c.block >= 11 && c.block <= 13)) << c.block;
        }
    EXPECT_EQ(GetCardError(), 0);
}

// A message write that was cut off leaves data in blocks the map still calls free; the
// reader programs by AND, so a later write onto such a block would come back corrupt.
TEST_F(CardTest, FormatAfterAnInterruptedWriteErasesTheFreeBlocks) {
    insertFormatted();
    card->poke(1 * 4096, filled(1, 0x00));  // journal 0: new blocks were being written
    fillBlock(20, 0x0F);
    ASSERT_EQ(Format(), 0);
    EXPECT_EQ(blockBytes(20), filled(4096, 0xFF));

    const auto data = filled(4096, 0xF0);
    std::vector<std::uint8_t> back(4096);
    {
        LinkSession session;
        std::size_t bytes = 0;
        ASSERT_EQ(rdxCardStatus(bytes), 0);
        ASSERT_EQ(rdxWriteBlock(20, data), 0);
        ASSERT_EQ(rdxReadBlock(20, back), 0);
    }
    EXPECT_EQ(back, data);
}

TEST_F(CardTest, FormatStopsWhereItCannotTrustTheCard) {
    insertFormatted();
    card->poke(100, filled(1, 0x01));  // header sum broken
    reader->clearLog();
    EXPECT_EQ(Format(), cardError::SumError);
    EXPECT_TRUE(changes().empty());

    insertFormatted();
    auto h = hand;
    h.id("MQT512-H");
    putHeader(h);
    reader->clearLog();
    EXPECT_EQ(Format(), cardError::OtherKind) << "another device's card keeps its data";
    EXPECT_TRUE(changes().empty());

    insertCard(0x12);
    EXPECT_EQ(Format(), cardError::OtherKind) << "a chip of no known class";

    insertFormatted();
    reader->inject(emulator::Fault::Silence, 1, 0x01);
    EXPECT_EQ(Format(), cardError::ReplyTimeout);
    EXPECT_FALSE(rdxLinkOpen());
}

TEST_F(CardTest, FormatOfACardWithAnUnknownIdErasesEveryBlock) {
    insertFormatted();
    auto h = hand;
    h.id("SOMEID01");
    putHeader(h);
    fillBlock(40, 0x00);
    ASSERT_EQ(Format(), 0);
    EXPECT_EQ(blockBytes(40), filled(4096, 0xFF));
    EXPECT_EQ(header().word(14), 0);
    EXPECT_EQ(GetCardError(), 0);
}

TEST_F(CardTest, LargeCardsUseNoMoreThanTheMapHolds) {
    struct Case {
        std::uint8_t chip1, chip2;
        std::uint16_t first, second;
    };
    const Case cases[] = {{0x76, 0xFF, 1024, 0}, {0xE6, 0xE6, 1024, 0}, {0xEA, 0xEA, 512, 512}};
    for (const Case& c : cases) {
        insertCard(c.chip1, c.chip2);
        ASSERT_EQ(Format(), 0) << int(c.chip1);
        const HandHeader h = header();
        EXPECT_EQ(h.word(8), c.first);
        EXPECT_EQ(h.word(10), c.second);
        EXPECT_EQ(h.word(12), 1024 - 6);
        EXPECT_EQ(h.bytes[160 + 1023], 0xFF);
        EXPECT_EQ(h.bytes[1184], 0) << "the map stops before the version bytes";
        EXPECT_TRUE(sealed(h));
        EXPECT_EQ(GetCardError(), 0);
    }
}

TEST_F(CardTest, EraseFailuresDuringFormatMarkBlocksBad) {
    insertFormatted();
    auto h = hand;
    h.channel(4, {1, 2, 3}, 0);  // typed blocks taken over: all three held data
    h.entry(6, 0xBB);
    h.entry(7, 0xCC);
    putHeader(h);
    reader->failErase(2);
    reader->failErase(7);
    ASSERT_EQ(Format(), 0);
    const HandHeader f = header();
    EXPECT_EQ(mapOf(f, 0, 9), (std::vector<std::uint8_t>{0xAA, 0xBB, 0x00, 0xCC, 0xD0, 0xD1, 0xEE, 0x00, 0xFF}));
    EXPECT_EQ(f.word(14), 2);
}

TEST_F(CardTest, FormatWithoutRoomForTheTypedBlocksStillWritesTheHeader) {
    insertCard(0xA4);
    for (std::size_t b = 1; b < 128; ++b)
        if (b != 50 && b != 60) card->poke(b * 4096, filled(1, 0));
    EXPECT_EQ(Format(), cardError::RepairFailed);
    const HandHeader h = header();
    EXPECT_EQ(h.bytes[160 + 50], 0xBB);
    EXPECT_EQ(h.bytes[160 + 60], 0xCC);
    EXPECT_TRUE(sealed(h));
}

TEST_F(CardTest, RepairOfAChannelEraseCutShort) {
    insertFormatted();
    auto h = hand;
    h.channel(3, {30, 31}, 1000);
    h.channel(5, {32}, 10);
    putHeader(h);
    fillBlock(30, 0x30);
    fillBlock(31, 0x31);
    fillBlock(32, 0x32);
    card->poke(1 * 4096, filled(1, 3));
    EXPECT_EQ(GetCardError(), 610);

    EXPECT_EQ(Repair(610), 0);
    const HandHeader r = header();
    EXPECT_EQ(mapOf(r, 30, 3), (std::vector<std::uint8_t>{0xFF, 0xFF, 5}));
    EXPECT_EQ(r.word(16 + 4), 0);
    EXPECT_EQ(r.word(64 + 8), 0);
    EXPECT_EQ(r.word(12), 128 - 6 - 1);
    EXPECT_EQ(blockBytes(30), filled(4096, 0xFF));
    EXPECT_EQ(blockBytes(32), filled(4096, 0x32));
    EXPECT_EQ(blockBytes(1)[0], 0xFF);
    EXPECT_EQ(progressPosition(), 2);
    EXPECT_EQ(GetCardError(), 0);
}

TEST_F(CardTest, RepairAfterTheCardWasPulledMidWrite) {
    insertFormatted();
    // A message write: journal 0, then new blocks; the card goes after the first block.
    {
        LinkSession session;
        CardHeader h;
        ASSERT_EQ(rdxIdentifyCard(h), 0);
        ASSERT_EQ(rdxSetJournal(0, 1), 0);  // erase and one sector
        ASSERT_EQ(rdxWriteBlock(40, filled(4096, 0x0F)), 0);
        reader->pull();
        EXPECT_EQ(rdxWriteBlock(41, filled(4096, 0x0F)), cardError::NoCard);
    }
    reader->insert(card);
    reader->failErase(7);
    fillBlock(7, 0x07);
    EXPECT_EQ(GetCardError(), 610);

    EXPECT_EQ(Repair(610), 0);
    const HandHeader r = header();
    EXPECT_EQ(blockBytes(40), filled(4096, 0xFF));
    EXPECT_EQ(r.bytes[160 + 7], 0x00);
    EXPECT_EQ(r.word(14), 1);
    EXPECT_EQ(r.word(12), 128 - 6 - 1);
    EXPECT_EQ(progressLength(), 122);
    EXPECT_EQ(GetCardError(), 0);
}

TEST_F(CardTest, RepairByErrorNumber) {
    insertFormatted();
    putTyped(2, filled(512, 1), false);
    putTyped(3, filled(2048, 1), false);
    putTyped(5, filled(4096, 1));
    reader->clearLog();
    EXPECT_EQ(Repair(601), cardError::RepairFailed);
    EXPECT_TRUE(reader->log().empty()) << "no repair: the card is not touched";

    EXPECT_EQ(Repair(604), 0);
    EXPECT_EQ(blockBytes(2), filled(4096, 0xFF));
    EXPECT_EQ(GetCardError(), 605);

    reader->clearLog();
    EXPECT_EQ(Repair(605), 0);
    std::vector<std::uint16_t> erased;
    for (const auto& c : changes()) erased.push_back(c.block);
    EXPECT_EQ(erased, (std::vector<std::uint16_t>{3, 4, 5}));
    EXPECT_EQ(blockBytes(5), filled(4096, 0xFF)) << "the names go with the schedule";
    EXPECT_EQ(GetCardError(), 0);
}

TEST_F(CardTest, RepairOfACardWithoutAJournal) {
    insertFormatted();
    auto h = hand;
    h.entry(1, 0xFF);
    putHeader(h);
    reader->clearLog();
    EXPECT_EQ(Repair(610), cardError::Broken);
    EXPECT_TRUE(changes().empty());
    for (const auto& c : reader->log()) EXPECT_EQ(c.block, 0) << "nothing beyond the header was read";
}

TEST_F(CardTest, IdleJournalNeedsNoRepair) {
    insertFormatted();
    reader->clearLog();
    EXPECT_EQ(Repair(610), 0);
    EXPECT_TRUE(changes().empty());
}

}  // namespace
