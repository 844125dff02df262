// Identification, typed blocks and the full card check, against the emulated reader and
// cards laid out by hand.
#include <gtest/gtest.h>

#include <functional>

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

TEST_F(CardTest, FullCheckReportsTheFirstFault) {
    struct Case {
        const char* what;
        std::function<void(CardTest&)> make;
        int result;
    };
    const Case cases[] = {
        {"formatted", [](CardTest&) {}, 0},
        {"blank", [](CardTest& t) { t.fillBlock(0, 0xFF); }, 111},
        {"sibling", [](CardTest& t) { auto h = t.hand; h.id("LNC-E207"); t.putHeader(h); }, 102},
        {"other id", [](CardTest& t) { auto h = t.hand; h.id("ABCDEFGH"); t.putHeader(h); }, 102},
        {"header sum", [](CardTest& t) { t.card->poke(100, filled(1, 0x01)); }, 602},
        {"lower-case id", [](CardTest& t) { auto h = t.hand; h.id("kv-m58s1"); t.putHeader(h); }, 104},
        {"card version", [](CardTest& t) { auto h = t.hand; h.bytes[1184] = 2; t.putHeader(h); }, 601},
        {"data version", [](CardTest& t) { auto h = t.hand; h.bytes[1187] = 2; t.putHeader(h); }, 601},
        {"version 1", [](CardTest& t) { auto h = t.hand; h.bytes[1184] = 1; h.bytes[1187] = 1; t.putHeader(h); }, 0},
        {"journal", [](CardTest& t) { t.card->poke(1 * 4096, filled(1, 3)); }, 610},
        {"settings", [](CardTest& t) { t.putTyped(2, filled(512, 1), false); }, 604},
        {"patterns", [](CardTest& t) { t.putTyped(3, filled(2048, 1), false); }, 605},
        {"calendar", [](CardTest& t) { t.putTyped(4, filled(4096, 1), false); }, 606},
        {"names", [](CardTest& t) { t.putTyped(5, filled(4096, 1), false); }, 607},
        {"good sums", [](CardTest& t) { t.putTyped(2, filled(512, 1)); t.putTyped(5, filled(4096, 7)); }, 0},
        {"blank names, wrong sum", [](CardTest& t) { t.card->poke(5 * 4096 + 100, filled(1, 0)); }, 0},
        {"first fault wins", [](CardTest& t) { t.putTyped(2, filled(512, 1), false); t.putTyped(5, filled(4096, 1), false); }, 604},
        {"no journal", [](CardTest& t) { auto h = t.hand; h.entry(1, 0xFF); t.putHeader(h); }, 103},
        {"no card", [](CardTest& t) { t.reader->pull(); }, 101},
    };
    for (const Case& c : cases) {
        insertFormatted();
        c.make(*this);
        EXPECT_EQ(GetCardError(), c.result) << c.what;
        EXPECT_EQ(actionMode(), ModeStandby);
    }
}

TEST_F(CardTest, ChipsTheControlDoesNotKnowAreUnrecognised) {
    insertCard(0x12);
    EXPECT_EQ(GetCardError(), 104);
    EXPECT_EQ(CardExists(), 104);
    insertCard(0x73);
    EXPECT_EQ(CardExists(), 0);
}

TEST_F(CardTest, IdentificationKeepsTheKind) {
    insertFormatted();
    CardHeader h;
    EXPECT_EQ(rdxIdentifyCard(h), 0);
    EXPECT_EQ(rdxCardKind(), KindOwn);
    EXPECT_EQ(h.freeBlocks(), 122);

    card->poke(100, filled(1, 1));
    EXPECT_EQ(rdxIdentifyCard(h), cardError::SumError);
    fillBlock(0, 0xFF);
    EXPECT_EQ(rdxIdentifyCard(h), 0);
    EXPECT_EQ(rdxCardKind(), KindBlank);
    EXPECT_FALSE(rdxLinkOpen());
}

TEST_F(CardTest, TypedBlocksRoundTripWithTheirSums) {
    insertFormatted();
    std::vector<std::uint8_t> settings(512);
    for (std::size_t i = 0; i < settings.size(); ++i) settings[i] = static_cast<std::uint8_t>(i);
    ASSERT_EQ(rdxWriteBlockData(kBlockSettings, settings), 0);
    const auto onCard = blockBytes(2);
    unsigned sum = 0;
    for (int i = 0; i < 510; ++i) sum += onCard[i];
    EXPECT_EQ(onCard[510] | onCard[511] << 8, static_cast<int>(sum & 0xFFFF));

    std::vector<std::uint8_t> back;
    EXPECT_EQ(rdxReadBlockData(kBlockSettings, back), 0);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 510, settings.begin()));

    // The journal carries no sum: its bytes are written as given.
    std::vector<std::uint8_t> journal(512, 0x12);
    ASSERT_EQ(rdxWriteBlockData(kBlockJournal, journal), 0);
    EXPECT_EQ(blockBytes(1)[511], 0x12);

    ASSERT_EQ(rdxWriteBlockData(kBlockSettings, {}), 0);
    EXPECT_EQ(blockBytes(2), filled(4096, 0xFF)) << "a count of 0 leaves the block erased";
    EXPECT_EQ(rdxReadBlockData(kBlockSettings, back), cardError::SumError);
    EXPECT_EQ(back[0], 0xFF);

    EXPECT_EQ(rdxReadBlockData(0x05, back), cardError::BadBlockType);
    EXPECT_EQ(rdxWriteBlockData(0x42, settings), cardError::BadBlockType);
    auto h = hand;
    h.entry(3, 0xFF);
    putHeader(h);
    EXPECT_EQ(rdxReadBlockData(kBlockPatterns, back), cardError::Broken);
    fillBlock(0, 0xFF);
    EXPECT_EQ(rdxReadBlockData(kBlockSettings, back), cardError::Unformatted);
}

}  // namespace
