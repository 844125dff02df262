// The header block's fields, sums and card kinds, on hand-built bytes.
#include <gtest/gtest.h>

#include <cstring>

#include "control/card.h"

namespace {

using namespace control;

CardHeader headerWithId(const char* id) {
    CardHeader h;
    std::memcpy(h.bytes.data(), id, 8);
    return h;
}

TEST(CardHeaderTest, FieldsAreLittleEndianAtTheirOffsets) {
    CardHeader h;
    h.bytes[8] = 0x00; h.bytes[9] = 0x04;    // 1024 blocks on the first chip
    h.bytes[12] = 0xFF; h.bytes[13] = 0x03;  // 1023 free
    h.bytes[14] = 0x02;                      // 2 bad
    h.bytes[16 + 2 * 2] = 7;                 // channel 3 holds 7 blocks
    h.bytes[64 + 4 * 23 + 2] = 0x01;         // channel 24's length 0x10000
    h.bytes[kMapOffset + 5] = 0xEE;
    EXPECT_EQ(h.blocksFirstChip(), 1024);
    EXPECT_EQ(h.freeBlocks(), 1023);
    EXPECT_EQ(h.badBlocks(), 2);
    EXPECT_EQ(h.channelBlocks(3), 7);
    EXPECT_EQ(h.channelLength(24), 0x10000u);
    EXPECT_EQ(h.map(5), 0xEE);

    h.setChannelLength(1, 0x12345678);
    EXPECT_EQ(h.bytes[64], 0x78);
    EXPECT_EQ(h.bytes[67], 0x12);
}

TEST(CardHeaderTest, MapLengthNeverPassesTheMapArea) {
    struct Case {
        std::uint16_t first, second;
        std::size_t length;
    };
    const Case cases[] = {{128, 0, 128}, {512, 512, 1024}, {1024, 1024, 1024}, {0xFFFF, 0xFFFF, 1024}};
    for (const Case& c : cases) {
        CardHeader h;
        h.setWord(8, c.first);
        h.setWord(10, c.second);
        EXPECT_EQ(h.mapLength(), c.length);
        EXPECT_LE(kMapOffset + h.mapLength(), kCardVersionOffset);
    }
    EXPECT_EQ(rdxFindJournal(CardHeader{}, 5000), kNoJournal);
}

TEST(CardHeaderTest, SumsAreByteTotalsModulo65536) {
    std::vector<std::uint8_t> bytes(1536, 0xFF);
    EXPECT_EQ(rdxHeaderSum(bytes), static_cast<std::uint16_t>(1534 * 255));  // 391170 wraps to 63490
    EXPECT_EQ(rdxHeaderSum(bytes), 63490);
    std::vector<std::uint8_t> settings(512, 0);
    settings[0] = 1; settings[509] = 2; settings[510] = 0x55;  // the old sum is not counted
    storeBlockSum(settings);
    EXPECT_EQ(settings[510], 3);
    EXPECT_EQ(settings[511], 0);
    EXPECT_TRUE(blockSumMatches(settings));
    settings[100] ^= 1;
    EXPECT_FALSE(blockSumMatches(settings));
}

TEST(CardHeaderTest, TheIdGivesTheKind) {
    struct Case {
        const char* id;
        CardKind kind;
    };
    const Case cases[] = {
        {"KV-M58S1", KindOwn},  {"kv-m58s1", KindOwn},   {"LNC-E207", KindLnc},
        {"lnc-e207", KindLnc},  {"MQT512-H", KindMqt},   {"\xFF\xFF\xFF\0\0\0\0\0", KindBlank},
        {"KV-M58S2", KindOther}, {"\xFF\xFF\0\0\0\0\0\0", KindOther},
    };
    for (const Case& c : cases) EXPECT_EQ(headerWithId(c.id).kind(), c.kind) << c.id;
}

TEST(CardHeaderTest, TypedBlockSizes) {
    EXPECT_EQ(typedBlockBytes(kBlockHeader), 1536u);
    EXPECT_EQ(typedBlockBytes(kBlockJournal), 512u);
    EXPECT_EQ(typedBlockBytes(kBlockSettings), 512u);
    EXPECT_EQ(typedBlockBytes(kBlockPatterns), 2048u);
    EXPECT_EQ(typedBlockBytes(kBlockCalendar), 4096u);
    EXPECT_EQ(typedBlockBytes(kBlockNames), 4096u);
    EXPECT_EQ(typedBlockBytes(0x05), 0u);
}

}  // namespace
