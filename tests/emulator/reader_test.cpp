// The reader's protocol through its byte-stream face, and the flash behind it.
#include "packets.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace emulator::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct ReaderWithCard : ::testing::Test {
    Reader reader;
    std::shared_ptr<Card> card = std::make_shared<Card>(0xE6);  // 16 sectors a block, 1024 blocks
    void SetUp() override { reader.insert(card); }
};

Bytes reply(std::uint8_t code, std::uint8_t chip1, std::uint8_t chip2, std::uint8_t echo, std::uint16_t firmware = 0x0100) {
    return {code, 0x00, chip1, 0x00, chip2, echo, static_cast<std::uint8_t>(firmware >> 8),
            static_cast<std::uint8_t>(firmware & 0xFF)};
}

TEST_F(ReaderWithCard, EveryCommandIsAnsweredWithItsEcho) {
    const Bytes sector = filled(512, 0x5A);
    const Bytes block = filled(16 * 512, 0xC3);
    // status, erase, write sector + data, read sector, write block + data, read block
    EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, 0xE6, 0xFF, 0x22));
    EXPECT_EQ(send(reader, packet(0x01, 7, 0)), reply(0x55, 0xE6, 0xFF, 0x33));
    EXPECT_EQ(send(reader, packet(0x03, 7, 2)), reply(0x55, 0xE6, 0xFF, 0x11));
    EXPECT_EQ(reader.write(sector), 512u);
    EXPECT_EQ(next(reader), reply(0x55, 0xE6, 0xFF, 0xCC));
    EXPECT_EQ(send(reader, packet(0x02, 7, 2)), reply(0x55, 0xE6, 0xFF, 0x44));
    EXPECT_EQ(next(reader), sector);
    EXPECT_EQ(send(reader, packet(0x13, 9, 15)), reply(0x55, 0xE6, 0xFF, 0x11));
    EXPECT_EQ(reader.write(block), block.size());
    EXPECT_EQ(next(reader), reply(0x55, 0xE6, 0xFF, 0xCC));
    EXPECT_EQ(send(reader, packet(0x12, 9, 15)), reply(0x55, 0xE6, 0xFF, 0x44));
    EXPECT_EQ(next(reader), block);  // the whole block in one transfer
    EXPECT_EQ(next(reader), std::nullopt);
}

TEST(Reader, StatusReplyCarriesTheChipCodesOfEveryCard) {
    const struct {
        std::uint8_t first, second;
        std::size_t blockBytes, blocks;
    } cases[] = {
        {0xA4, 0xFF, 4096, 128},   {0xEA, 0xFF, 4096, 512},    {0xE3, 0xFF, 8192, 512},
        {0xE5, 0xFF, 8192, 512},   {0xE6, 0xFF, 8192, 1024},   {0x73, 0xFF, 16384, 1024},
        {0x75, 0xFF, 16384, 2048}, {0x76, 0xFF, 16384, 4096},  {0x12, 0xFF, 4096, 128},
        {0xEA, 0xEA, 4096, 1024},  {0x73, 0x73, 16384, 2048},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << int(c.first) << "/" << int(c.second));
        ReaderOptions options;
        options.firmwareWord = 0x1234;
        Reader reader(options);
        auto card = std::make_shared<Card>(c.first, c.second);
        reader.insert(card);
        EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, c.first, c.second, 0x22, 0x1234));
        EXPECT_EQ(card->blockBytes(), c.blockBytes);
        EXPECT_EQ(card->blockCount(), c.blocks);
        // The last block of the card is there, the one after it is not.
        const auto last = static_cast<std::uint16_t>(c.blocks - 1);
        EXPECT_EQ(send(reader, packet(0x01, last, 0)), reply(0x55, c.first, c.second, 0x33, 0x1234));
        EXPECT_EQ(send(reader, packet(0x01, last + 1, 0)), reply(0xAA, c.first, c.second, 0x33, 0x1234));
    }
}

TEST_F(ReaderWithCard, ProgrammingAndsIntoUnerasedFlashUntilTheBlockIsErased) {
    const auto writeSector = [&](std::uint8_t value) {
        ASSERT_EQ(send(reader, packet(0x03, 4, 1)), reply(0x55, 0xE6, 0xFF, 0x11));
        ASSERT_EQ(reader.write(filled(512, value)), 512u);
        ASSERT_EQ(next(reader), reply(0x55, 0xE6, 0xFF, 0xCC));
    };
    writeSector(0x3C);
    writeSector(0x0F);  // written over without an erase: the chip shows 0x3C & 0x0F
    EXPECT_EQ(card->sector(4 * 16 + 1), filled(512, 0x0C));
    EXPECT_EQ(card->sector(4 * 16 + 0), filled(512, 0xFF));  // its neighbour untouched
    ASSERT_EQ(send(reader, packet(0x01, 4, 0)), reply(0x55, 0xE6, 0xFF, 0x33));
    EXPECT_EQ(card->sector(4 * 16 + 1), filled(512, 0xFF));
    writeSector(0x0F);
    EXPECT_EQ(card->sector(4 * 16 + 1), filled(512, 0x0F));
}

TEST_F(ReaderWithCard, EraseClearsTheWholeBlockAndNothingElse) {
    card->poke(3 * 8192 - 1, Bytes{0x00, 0x00, 0x00});  // last byte of block 2, first two of block 3
    card->poke(4 * 8192 - 1, Bytes{0x00, 0x00});        // last byte of block 3, first of block 4
    ASSERT_EQ(send(reader, packet(0x01, 3, 5)), reply(0x55, 0xE6, 0xFF, 0x33));
    EXPECT_EQ(card->peek(3 * 8192 - 1, 1), Bytes{0x00});
    EXPECT_EQ(card->peek(3 * 8192, 8192), filled(8192, 0xFF));
    EXPECT_EQ(card->peek(4 * 8192, 1), Bytes{0x00});
}

TEST_F(ReaderWithCard, SectorsAreAddressedByBlockAndSectorWithinIt) {
    Bytes data(512);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(send(reader, packet(0x03, 0x0123, 15)), reply(0x55, 0xE6, 0xFF, 0x11));
    ASSERT_EQ(reader.write(data), 512u);
    ASSERT_EQ(next(reader), reply(0x55, 0xE6, 0xFF, 0xCC));
    EXPECT_EQ(card->sector(0x0123 * 16 + 15), data);
    // A sector past the end of its block does not exist.
    EXPECT_EQ(send(reader, packet(0x02, 0x0123, 16)), reply(0xAA, 0xE6, 0xFF, 0x44));
    EXPECT_EQ(next(reader), std::nullopt);
}

TEST_F(ReaderWithCard, ADataPhaseTakesNoMoreThanItsSizeAndMayComeInPieces) {
    ASSERT_EQ(send(reader, packet(0x03, 1, 0)), reply(0x55, 0xE6, 0xFF, 0x11));
    EXPECT_EQ(reader.write(filled(200, 0x11)), 200u);
    EXPECT_EQ(next(reader), std::nullopt);  // still waiting for the rest
    EXPECT_EQ(reader.write(filled(400, 0x22)), 312u);
    EXPECT_EQ(next(reader), reply(0x55, 0xE6, 0xFF, 0xCC));
    Bytes expected = filled(200, 0x11);
    expected.resize(512, 0x22);
    EXPECT_EQ(card->sector(16), expected);
}

TEST_F(ReaderWithCard, MalformedPacketsAreRefused) {
    Packet badHead = packet(0x04);
    badHead[7] = '_';
    Packet badTail = packet(0x04);
    badTail[24] = '_';
    Packet unknown = packet(0x04);
    unknown[8] = 0x05;
    Packet badFlag = packet(0x02);
    badFlag[12] = 2;
    EXPECT_EQ(send(reader, badHead), reply(0xAA, 0xE6, 0xFF, 0x22));
    EXPECT_EQ(send(reader, badTail), reply(0xAA, 0xE6, 0xFF, 0x22));
    EXPECT_EQ(send(reader, unknown), reply(0xAA, 0xE6, 0xFF, 0x00));
    EXPECT_EQ(send(reader, badFlag), reply(0xAA, 0xE6, 0xFF, 0x44));
    EXPECT_EQ(next(reader), std::nullopt);  // no data for a refused read
    EXPECT_EQ(reader.write(filled(31, 0)), 31u);
    EXPECT_EQ(next(reader), reply(0xAA, 0xE6, 0xFF, 0x00));
    EXPECT_EQ(reader.write({}), 0u);  // a zero-length write is no command at all
    EXPECT_EQ(next(reader), std::nullopt);
}

TEST_F(ReaderWithCard, ANewCommandDropsWhatThePreviousOneLeftUnread) {
    ASSERT_EQ(send(reader, packet(0x12, 0, 15)), reply(0x55, 0xE6, 0xFF, 0x44));
    EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, 0xE6, 0xFF, 0x22));
    EXPECT_EQ(next(reader), std::nullopt);
}

TEST_F(ReaderWithCard, ALongTransferGoesOutOverSeveralSmallReads) {
    card->poke(0, filled(512, 0x42));
    ASSERT_EQ(send(reader, packet(0x02, 0, 0)), reply(0x55, 0xE6, 0xFF, 0x44));
    EXPECT_EQ(next(reader, 500), filled(500, 0x42));
    EXPECT_EQ(next(reader, 500), filled(12, 0x42));
}

TEST(Reader, WithoutACardEveryReplyIsNoCard) {
    Reader reader;
    for (std::uint8_t command : {0x04, 0x01, 0x02, 0x03, 0x12, 0x13}) {
        SCOPED_TRACE(int(command));
        const std::uint8_t echo = protocol::echoOf(command);
        EXPECT_EQ(send(reader, packet(command, 0, 0)), (Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, echo, 0x01, 0x00}));
        EXPECT_EQ(next(reader), std::nullopt);  // no data phase either way
    }
    EXPECT_EQ(reader.card(), nullptr);
}

TEST_F(ReaderWithCard, ACardCanBePulledAndInsertedAtAnyMoment) {
    card->poke(0, filled(512, 0x42));
    // Pulled between the reply and the data: the data does not come from thin air.
    ASSERT_EQ(send(reader, packet(0x02, 0, 0)), reply(0x55, 0xE6, 0xFF, 0x44));
    EXPECT_EQ(reader.pull(), card);
    EXPECT_EQ(next(reader), filled(512, 0xFF));
    // Reinserted during a write's data phase: the data is taken, then no card.
    reader.insert(card);
    ASSERT_EQ(send(reader, packet(0x03, 0, 1)), reply(0x55, 0xE6, 0xFF, 0x11));
    reader.pull();
    reader.insert(card);
    EXPECT_EQ(reader.write(filled(512, 0x00)), 512u);
    EXPECT_EQ(next(reader), (Bytes{0xFF, 0x00, 0xE6, 0x00, 0xFF, 0xCC, 0x01, 0x00}));
    EXPECT_EQ(card->sector(1), filled(512, 0xFF));
    // Another card: its own chips.
    reader.insert(std::make_shared<Card>(0xA4));
    EXPECT_EQ(send(reader, packet(0x04)), reply(0x55, 0xA4, 0xFF, 0x22));
}

TEST_F(ReaderWithCard, TheLogKeepsTheCommandsInOrderWithTheirReplies) {
    send(reader, packet(0x04));
    send(reader, packet(0x01, 2, 0));
    send(reader, packet(0x13, 2, 15));
    reader.write(filled(8192, 0));
    next(reader);
    send(reader, packet(0x02, 2, 3));
    reader.pull();
    send(reader, packet(0x04));
    const std::vector<LoggedCommand> expected = {
        {0x04, 0, 0, 0x55, std::nullopt}, {0x01, 2, 0, 0x55, std::nullopt}, {0x13, 2, 15, 0x55, 0x55},
        {0x02, 2, 3, 0x55, std::nullopt}, {0x04, 0, 0, 0xFF, std::nullopt},
    };
    EXPECT_EQ(reader.log(), expected);
    reader.setLogLimit(2);
    EXPECT_EQ(reader.log(), std::vector<LoggedCommand>(expected.end() - 2, expected.end()));
    reader.clearLog();
    EXPECT_TRUE(reader.log().empty());
}

}  // namespace
}  // namespace emulator::test

namespace emulator::test {
namespace {

// The bus drives the reader from its own thread while a test pulls and inserts the card.
TEST(ReaderThreads, ACardPulledFromAnotherThreadNeverTearsATransaction) {
    Reader reader;
    auto card = std::make_shared<Card>(0xA4);
    card->poke(0, std::vector<std::uint8_t>(4096, 0x42));
    reader.insert(card);
    std::atomic<bool> done{false};
    std::thread slot([&] {
        while (!done) {
            reader.pull();
            reader.insert(card);
        }
    });
    int acknowledged = 0;
    for (int i = 0; i < 2000; ++i) {
        const auto reply = send(reader, packet(0x02, 0, 1));
        ASSERT_TRUE(reply);
        ASSERT_EQ(reply->size(), 8u);
        ASSERT_EQ(reply->at(5), 0x44);
        const auto data = next(reader, 512);
        if (reply->at(0) == 0xFF) {
            ASSERT_EQ(data, std::nullopt);
            continue;
        }
        ASSERT_EQ(reply->at(0), 0x55);
        ASSERT_TRUE(data);
        ASSERT_EQ(data->size(), 512u);  // the sector, or 0xFF when the card went meanwhile
        ASSERT_TRUE(*data == filled(512, 0x42) || *data == filled(512, 0xFF));
        ++acknowledged;
    }
    done = true;
    slot.join();
    RecordProperty("acknowledged", acknowledged);
}

}  // namespace
}  // namespace emulator::test
