// The fixture cards hold what the card layout says, and the hand-built images agree.
#include "emulator/fixtures.h"

#include <gtest/gtest.h>

namespace emulator::fixtures {
namespace {

using Bytes = std::vector<std::uint8_t>;

unsigned word(const Card& card, std::size_t at) {
    const Bytes b = card.peek(at, 2);
    return b[0] | b[1] << 8;
}

unsigned headerSumOf(const Card& card) {
    const Bytes head = card.peek(0, header::kSum);
    unsigned sum = 0;
    for (std::uint8_t b : head) sum += b;
    return sum & 0xFFFF;
}

TEST(HandBuilt, TheBuilderLaysOutTheSameBytes) {
    EXPECT_EQ(handBuiltFormatted()->image(), formatted(0xA4)->image());

    Bytes message(5000);
    for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(i);
    EXPECT_EQ(handBuiltWithMessage()->image(), withMessages({{2, message}}, 0xA4)->image());

    Layout interrupted;
    interrupted.firstChip = 0xA4;
    interrupted.journal = 3;
    interrupted.messages = {{3, Bytes(3 * 4096, 0x00)}};
    auto card = build(interrupted);
    card->erase(6);
    EXPECT_EQ(handBuiltJournalSet()->image(), card->image());
}

TEST(Fixtures, FormattedCardsDeclareTheirChipsAsTheFormatDoes) {
    const struct {
        std::uint8_t first, second;
        unsigned words8, words10, mapLength;
    } cases[] = {
        {0xA4, 0xFF, 128, 0, 128},   {0xEA, 0xEA, 512, 512, 1024}, {0xE6, 0xFF, 1024, 0, 1024},
        {0x73, 0xFF, 1024, 0, 1024}, {0x76, 0xFF, 1024, 0, 1024},  // the rest of a 64 MiB chip unused
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.first));
        auto card = formatted(c.first, c.second);
        EXPECT_EQ(card->peek(0, 8), Bytes(kOwnId, kOwnId + 8));
        EXPECT_EQ(word(*card, header::kFirstChipBlocks), c.words8);
        EXPECT_EQ(word(*card, header::kSecondChipBlocks), c.words10);
        EXPECT_EQ(word(*card, header::kFreeBlocks), c.mapLength - 6);
        EXPECT_EQ(word(*card, header::kBadBlocks), 0u);
        Bytes map = card->peek(header::kMap, c.mapLength);
        EXPECT_EQ(Bytes(map.begin(), map.begin() + 7), (Bytes{0xAA, 0xBB, 0xCC, 0xD0, 0xD1, 0xEE, 0xFF}));
        EXPECT_EQ(card->peek(header::kMap + c.mapLength, header::kSum - header::kMap - c.mapLength),
                  Bytes(header::kSum - header::kMap - c.mapLength, 0x00));
        EXPECT_EQ(word(*card, header::kSum), headerSumOf(*card));
        EXPECT_EQ(card->peek(header::kBytes, card->blockBytes() - header::kBytes),
                  Bytes(card->blockBytes() - header::kBytes, 0xFF));
        for (std::size_t b = 1; b < card->blockCount(); ++b)  // journal idle, typed blocks blank
            ASSERT_EQ(card->blockData(b), nullptr) << b;
    }
}

TEST(Fixtures, TypedBlocksGoRoundBadBlocksAndCarryTheirSums) {
    Layout layout;
    layout.firstChip = 0xA4;
    layout.badBlocks = {2, 4};
    layout.settings = {1, 2, 3};
    layout.names = Bytes(4094, 0x01);
    layout.brokenSums = {kNamesBlock};
    auto card = build(layout);
    EXPECT_EQ(card->peek(header::kMap, 9), (Bytes{0xAA, 0xBB, 0x00, 0xCC, 0x00, 0xD0, 0xD1, 0xEE, 0xFF}));
    EXPECT_EQ(word(*card, header::kBadBlocks), 2u);
    EXPECT_EQ(word(*card, header::kFreeBlocks), 128u - 8);
    EXPECT_EQ(card->peek(3 * 4096, 4), (Bytes{1, 2, 3, 0}));
    EXPECT_EQ(word(*card, 3 * 4096 + 510), 6u);
    EXPECT_EQ(word(*card, 7 * 4096 + 4094), (4094u + 1) & 0xFFFF);  // one off
}

TEST(Fixtures, OtherIdsAndBrokenSums) {
    for (const char* id : {"LNC-E207", "MQT512-H", "kv-m58s1"}) {
        auto card = withId(id);
        EXPECT_EQ(card->peek(0, 8), Bytes(id, id + 8));
        EXPECT_EQ(word(*card, header::kSum), headerSumOf(*card));
    }
    Layout broken;
    broken.brokenHeaderSum = true;
    auto card = build(broken);
    EXPECT_EQ(word(*card, header::kSum), (headerSumOf(*card) + 1) & 0xFFFF);
}

TEST(Fixtures, MessagesTakeWholeBlocksAndTheirLengthInSixteenths) {
    auto card = withMessages({{5, Bytes(10, 0x11)}, {24, Bytes(4096 + 33, 0x22)}}, 0xA4);
    EXPECT_EQ(card->peek(header::kMap + 6, 4), (Bytes{5, 24, 24, 0xFF}));
    EXPECT_EQ(word(*card, header::kChannelBlocks + 2 * 4), 1u);
    EXPECT_EQ(word(*card, header::kChannelBlocks + 2 * 23), 2u);
    EXPECT_EQ(card->peek(header::kChannelLengths + 4 * 4, 4), (Bytes{0, 0, 0, 0}));  // 10 / 16
    EXPECT_EQ(card->peek(header::kChannelLengths + 4 * 23, 4), (Bytes{0x02, 0x01, 0, 0}));  // 4129 / 16
    EXPECT_EQ(word(*card, header::kFreeBlocks), 128u - 9);
    EXPECT_EQ(card->peek(6 * 4096, 11), (Bytes{0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0xFF}));
    EXPECT_EQ(card->peek(8 * 4096 + 32, 2), (Bytes{0x22, 0xFF}));
    EXPECT_THROW(withMessages({{1, Bytes(200 * 4096, 0)}}, 0xA4), std::invalid_argument);
}

TEST(Fixtures, AJournalLeftSetShowsWhatWasBrokenOff) {
    auto writing = journalLeftSet(0, 0xA4);
    EXPECT_EQ(writing->peek(1 * 4096, 2), (Bytes{0x00, 0xFF}));
    EXPECT_EQ(writing->peek(header::kMap + 6, 1), Bytes{0xFF});
    EXPECT_EQ(writing->peek(6 * 4096, 4096), Bytes(4096, 0x00));  // mapped free, not erased

    auto erasing = journalLeftSet(7, 0xA4);
    EXPECT_EQ(erasing->peek(1 * 4096, 2), (Bytes{0x07, 0xFF}));
    EXPECT_EQ(erasing->peek(header::kMap + 6, 4), (Bytes{7, 7, 7, 0xFF}));
}

TEST(Fixtures, ABlankCardIsAllErased) {
    auto card = blank(0xA4);
    EXPECT_EQ(card->image(), Bytes(512 * 1024, 0xFF));
}

}  // namespace
}  // namespace emulator::fixtures
