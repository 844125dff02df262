// The reader link and its command protocol, against a reader whose answers are scripted
// byte by byte.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <memory>

#include "control/errors.h"
#include "control/link.h"
#include "control/methods.h"
#include "scripted_port.h"

namespace {

using namespace control;
using namespace control_test;

constexpr std::uint8_t kStatusEcho = 0x22;
constexpr std::uint8_t kEraseEcho = 0x33;
constexpr std::uint8_t kReadEcho = 0x44;
constexpr std::uint8_t kWriteEcho = 0x11;

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        TestClock::install();
        TestClock::now() = 1000;
        setReaderPort(std::make_unique<ScriptedPort>(script));
    }
    void TearDown() override { setReaderPort(nullptr); }

    // Sets the geometry the way every operation does: by a status command.
    void statusOf(std::uint8_t chip1, std::uint8_t chip2 = 0xFF) {
        answer(script, reply(0x55, kStatusEcho, chip1, chip2));
        ASSERT_EQ(rdxTransact(CmdStatus, 0), 0);
        script.writes.clear();
    }

    ScriptedPort::Script script;
};

TEST_F(LinkTest, CommandPacketCarriesBlockSectorAndWholeFlag) {
    struct Case {
        std::uint8_t chip;
        int command;
        std::uint32_t sector;
        std::array<std::uint8_t, 5> fields;  // bytes 8..12
    };
    const Case cases[] = {
        {0xA4, CmdReadSector, 11, {0x02, 1, 0, 3, 0}},        // 8 sectors a block
        {0xE6, CmdWriteSector, 0x1234, {0x03, 0x23, 0x01, 4, 0}},  // 16
        {0x73, CmdErase, 32 * 700 + 5, {0x01, 0xBC, 0x02, 5, 0}},  // 32
        {0x73, CmdReadBlock, 32 * 3, {0x02, 3, 0, 31, 1}},
        {0xEA, CmdWriteBlock, 8 * 9, {0x03, 9, 0, 7, 1}},
        {0x73, CmdStatus, 999, {0x04, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        statusOf(c.chip);
        std::array<std::uint8_t, kPacketBytes> packet{};
        packet.fill(0x5A);
        EXPECT_EQ(rdxMakeCommand(c.command, c.sector, packet), 32u);
        EXPECT_EQ(std::memcmp(packet.data(), "RDX-700 ", 8), 0);
        EXPECT_EQ(std::memcmp(packet.data() + 24, " RDX-END", 8), 0);
        for (int i = 0; i < 5; ++i) EXPECT_EQ(packet[8 + i], c.fields[i]) << "command " << c.command << " byte " << 8 + i;
        for (int i = 13; i < 24; ++i) EXPECT_EQ(packet[i], 0);
    }
}

TEST_F(LinkTest, ChipCodesGiveTheGeometry) {
    struct Case {
        std::uint8_t chip1, chip2;
        int chipClass, spb, blocks1, blocks2;
        int status;
        std::size_t blockBytes;
    };
    const Case cases[] = {
        {0xA4, 0xFF, 1, 8, 128, 0, 0, 4096},     {0xEA, 0xFF, 2, 8, 512, 0, 0, 4096},
        {0xE3, 0xFF, 3, 16, 512, 0, 0, 8192},    {0xE5, 0xE5, 3, 16, 512, 512, 0, 8192},
        {0xE6, 0xE6, 4, 16, 1024, 1024, 0, 8192}, {0x73, 0xFF, 5, 32, 1024, 0, 0, 16384},
        {0x75, 0xFF, 6, 32, 2048, 0, 0, 16384},  {0x76, 0xFF, 7, 32, 4096, 0, 0, 16384},
        {0x12, 0xFF, 0, 8, 128, 0, cardError::Unrecognised, 0},
    };
    for (const Case& c : cases) {
        answer(script, reply(0x55, kStatusEcho, c.chip1, c.chip2, 0x01, 0x23));
        std::size_t bytes = 1;
        EXPECT_EQ(rdxCardStatus(bytes), c.status) << int(c.chip1);
        EXPECT_EQ(bytes, c.blockBytes);
        const Geometry g = rdxGeometry();
        EXPECT_EQ(g.chipClass, c.chipClass);
        EXPECT_EQ(g.sectorsPerBlock, c.spb);
        EXPECT_EQ(g.blocksFirstChip, c.blocks1);
        EXPECT_EQ(g.blocksSecondChip, c.blocks2);
        EXPECT_EQ(rdxFirmwareWord(), 0x0123);
        EXPECT_FALSE(rdxLinkOpen()) << "the status command closes the link";
    }
}

TEST_F(LinkTest, ReplyCodesBecomeCardErrors) {
    struct Case {
        std::uint8_t code;
        int result;
    };
    const Case cases[] = {{0x55, 0}, {0xAA, 152}, {0xBB, 109}, {0xFF, 101}, {0x00, 151}, {0x42, 151}};
    for (const Case& c : cases) {
        answer(script, reply(c.code, kEraseEcho));
        EXPECT_EQ(rdxTransact(CmdErase, 8), c.result) << int(c.code);
    }
}

TEST_F(LinkTest, RepliesWithAnotherEchoAndEmptyTransfersAreSkipped) {
    answer(script, {});
    answer(script, reply(0xAA, kReadEcho));  // a stray answer to something else
    answer(script, reply(0x55, kEraseEcho));
    EXPECT_EQ(rdxTransact(CmdErase, 0), 0);
    EXPECT_EQ(script.writes.size(), 1u);
    EXPECT_TRUE(script.answers.empty());
}

TEST_F(LinkTest, BusyRepliesResendTheSamePacketTwiceAtMost) {
    answer(script, reply(0xEE, kEraseEcho));
    answer(script, reply(0xEE, kEraseEcho));
    answer(script, reply(0x55, kEraseEcho));
    EXPECT_EQ(rdxTransact(CmdErase, 16), 0);
    ASSERT_EQ(script.writes.size(), 3u);
    EXPECT_EQ(script.writes[0], script.writes[2]);

    script.writes.clear();
    for (int i = 0; i < 3; ++i) answer(script, reply(0xEE, kEraseEcho));
    answer(script, reply(0x55, kEraseEcho));
    EXPECT_EQ(rdxTransact(CmdErase, 16), cardError::ReceiveFailed);
    EXPECT_EQ(script.writes.size(), 3u);
}

TEST_F(LinkTest, SectorReadSkipsStrayRepliesInTheDataPhase) {
    std::vector<std::uint8_t> sector(512);
    for (std::size_t i = 0; i < sector.size(); ++i) sector[i] = static_cast<std::uint8_t>(i * 7);
    answer(script, reply(0x55, kReadEcho));
    answer(script, reply(0x55, kReadEcho));  // a stray 8-byte packet
    answer(script, {});
    answer(script, sector);
    std::vector<std::uint8_t> out(512);
    EXPECT_EQ(rdxTransact(CmdReadSector, 3, out), 0);
    EXPECT_EQ(out, sector);
}

TEST_F(LinkTest, WholeBlockReadTakesOneTransferOfTheBlock) {
    statusOf(0x73);
    std::vector<std::uint8_t> block(16384, 0x3C);
    answer(script, reply(0x55, kReadEcho));
    answer(script, block);
    std::vector<std::uint8_t> out(16384);
    EXPECT_EQ(rdxReadBlock(2, out), 0);
    EXPECT_EQ(out, block);
    EXPECT_EQ(script.writes[0][9], 2);
    EXPECT_EQ(script.writes[0][12], 1);

    answer(script, reply(0x55, kReadEcho));
    answer(script, std::vector<std::uint8_t>(512));  // a sector where a block was due
    EXPECT_EQ(rdxReadBlock(2, out), cardError::ReceiveFailed);
}

TEST_F(LinkTest, WriteSendsTheDataThenWaitsForTheDataEcho) {
    struct Case {
        std::uint8_t code;
        int result;
    };
    const Case cases[] = {{0x55, 0}, {0xAA, 105}, {0xBB, 105}, {0xFF, 101}, {0x17, 151}};
    std::vector<std::uint8_t> sector(512, 0x42);
    for (const Case& c : cases) {
        script.writes.clear();
        answer(script, reply(0x55, kWriteEcho));
        answer(script, reply(0x55, kWriteEcho));  // not the data echo: skipped
        answer(script, reply(c.code, 0xCC));
        EXPECT_EQ(rdxTransact(CmdWriteSector, 1, sector), c.result) << int(c.code);
        ASSERT_EQ(script.writes.size(), 2u);
        EXPECT_EQ(script.writes[1], sector);
    }
}

TEST_F(LinkTest, SilenceEndsEachWaitWithItsTimeOut) {
    std::vector<std::uint8_t> sector(512);
    silence(script);
    EXPECT_EQ(rdxTransact(CmdErase, 0), cardError::ReplyTimeout);

    answer(script, reply(0x55, kReadEcho));
    answer(script, reply(0x55, kReadEcho), 1500);
    answer(script, {}, 1500);
    silence(script);
    EXPECT_EQ(rdxTransact(CmdReadSector, 0, sector), cardError::DataTimeout);

    answer(script, reply(0x55, kWriteEcho));
    silence(script);
    EXPECT_EQ(rdxTransact(CmdWriteSector, 0, sector), cardError::WriteReplyTimeout);

    // With nothing scripted the reader never answers again: every wait still ends.
    EXPECT_EQ(GetCardError(), cardError::ReplyTimeout);
}

TEST_F(LinkTest, AReplyThatArrivesLateIsStillTaken) {
    answer(script, {}, 3000);
    answer(script, reply(0x55, kEraseEcho), 1500);
    EXPECT_EQ(rdxTransact(CmdErase, 0), 0);

    answer(script, {}, 3000);
    answer(script, {}, 1500);
    EXPECT_EQ(rdxTransact(CmdErase, 0), cardError::ReplyTimeout);
}

TEST_F(LinkTest, TransferFailuresBecomeCardErrors) {
    failure(script);
    EXPECT_EQ(rdxTransact(CmdErase, 0), cardError::ReceiveFailed);

    std::vector<std::uint8_t> sector(512);
    answer(script, reply(0x55, kReadEcho));
    failure(script);
    EXPECT_EQ(rdxTransact(CmdReadSector, 0, sector), cardError::ReceiveFailed);

    answer(script, reply(0x55, kReadEcho));
    answer(script, std::vector<std::uint8_t>(100));
    EXPECT_EQ(rdxTransact(CmdReadSector, 0, sector), cardError::ReceiveFailed);

    script.shortWriteAt = static_cast<long>(script.writes.size());
    EXPECT_EQ(rdxTransact(CmdErase, 0), cardError::SendFailed);

    answer(script, reply(0x55, kWriteEcho));
    script.shortWriteAt = static_cast<long>(script.writes.size()) + 1;
    EXPECT_EQ(rdxTransact(CmdWriteSector, 0, sector), cardError::SendFailed);
}

TEST_F(LinkTest, NoReaderAndUnopenablePipes) {
    script.present = false;
    EXPECT_EQ(rdxTransact(CmdStatus, 0), cardError::NoDriver);
    EXPECT_EQ(GetCardError(), cardError::NoDriver);
    EXPECT_EQ(CardExists(), cardError::NoDriver);
    EXPECT_EQ(Format(), cardError::NoDriver);
    EXPECT_EQ(Repair(610), cardError::NoDriver);
    EXPECT_TRUE(script.writes.empty());

    script.present = true;
    script.opens = false;
    EXPECT_EQ(rdxTransact(CmdStatus, 0), cardError::NoResponse);
    EXPECT_FALSE(script.isOpen);
}

TEST_F(LinkTest, TheLinkStaysOpenUntilTheOperationEnds) {
    answer(script, reply(0x55, kEraseEcho));
    answer(script, reply(0x55, kStatusEcho, 0xA4, 0xFF));
    answer(script, reply(0x55, kEraseEcho));
    {
        LinkSession session;
        EXPECT_EQ(rdxEraseBlock(1), 0);
        EXPECT_TRUE(rdxLinkOpen());
        std::size_t bytes = 0;
        EXPECT_EQ(rdxCardStatus(bytes), 0);
        EXPECT_TRUE(rdxLinkOpen()) << "a nested operation leaves the link to the outer one";
        EXPECT_EQ(rdxEraseBlock(2), 0);
    }
    EXPECT_FALSE(rdxLinkOpen());
    EXPECT_EQ(script.openCount, 1);
}

TEST_F(LinkTest, OnlyAStatusCommandLeavesTheFirmwareWordSet) {
    answer(script, reply(0x55, kStatusEcho, 0x73, 0xFF, 0x12, 0x34));
    ASSERT_EQ(rdxTransact(CmdStatus, 0), 0);
    EXPECT_EQ(rdxFirmwareWord(), 0x1234);
    answer(script, reply(0x55, kEraseEcho, 0x73, 0xFF, 0x56, 0x78));
    ASSERT_EQ(rdxTransact(CmdErase, 0), 0);
    EXPECT_EQ(rdxFirmwareWord(), 0);
}

}  // namespace
