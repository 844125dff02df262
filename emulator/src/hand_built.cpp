// Three cards written byte by byte from the card layout, sums worked out by hand, so that
// neither the control's codec nor the fixture builder is only checked against itself.
// All are 512 KiB cards (chip 0xA4): 128 blocks of 4096 bytes, a map of 128 entries.
#include "emulator/fixtures.h"

#include <cstring>

namespace emulator::fixtures {

namespace {

using Bytes = std::vector<std::uint8_t>;

// Header bytes 0..15: id, blocks of each chip, free and bad blocks.
Bytes headerStart(std::uint8_t freeBlocks) {
    return {'K', 'V', '-', 'M', '5', '8', 'S', '1', 0x80, 0x00, 0x00, 0x00, freeBlocks, 0x00, 0x00, 0x00};
}

// Block map: header, journal, settings, day patterns, calendar, names, then `more`, and
// the rest of the 128 entries free.
Bytes blockMap(const Bytes& more) {
    Bytes map(128, 0xFF);
    const std::uint8_t typed[] = {0xAA, 0xBB, 0xCC, 0xD0, 0xD1, 0xEE};
    std::memcpy(map.data(), typed, sizeof typed);
    if (!more.empty()) std::memcpy(map.data() + sizeof typed, more.data(), more.size());
    return map;
}

std::shared_ptr<Card> cardWith(const Bytes& start, std::size_t channelAt, const Bytes& channelBlocks,
                               std::size_t lengthAt, const Bytes& length, const Bytes& map, const Bytes& sum) {
    auto card = std::make_shared<Card>(0xA4);
    Bytes head(1536, 0x00);  // a format leaves every byte not listed 0
    std::memcpy(head.data(), start.data(), start.size());
    if (!channelBlocks.empty()) std::memcpy(head.data() + channelAt, channelBlocks.data(), channelBlocks.size());
    if (!length.empty()) std::memcpy(head.data() + lengthAt, length.data(), length.size());
    std::memcpy(head.data() + 160, map.data(), map.size());
    std::memcpy(head.data() + 1534, sum.data(), 2);
    card->poke(0, head);
    return card;
}

}  // namespace

std::shared_ptr<Card> handBuiltFormatted() {
    // Sum: id 524, blocks 128, free 122, map 170+187+204+208+209+238 + 122 x 255 = 33100.
    return cardWith(headerStart(122), 0, {}, 0, {}, blockMap({}), {0x4C, 0x81});
}

std::shared_ptr<Card> handBuiltWithMessage() {
    // Channel 2: its block count at 16 + 2, its length (5000 / 16 = 312) at 64 + 4.
    // Sum: 524 + 128 + 120 + 2 + 0x38 + 0x01 + 1216 + 2 + 2 + 120 x 255 = 32651.
    auto card = cardWith(headerStart(120), 18, {0x02, 0x00}, 68, {0x38, 0x01, 0x00, 0x00},
                         blockMap({0x02, 0x02}), {0x8B, 0x7F});
    Bytes message(5000);
    for (std::size_t i = 0; i < message.size(); ++i) message[i] = static_cast<std::uint8_t>(i & 0xFF);
    card->poke(6 * 4096, message);  // blocks 6 and 7; the rest of block 7 stays 0xFF
    return card;
}

std::shared_ptr<Card> handBuiltJournalSet() {
    // Channel 3: 3 blocks at 16 + 4, length 3 x 4096 / 16 = 768 at 64 + 8.
    // Sum: 524 + 128 + 119 + 3 + 0x03 + 1216 + 3 x 3 + 119 x 255 = 32347.
    auto card = cardWith(headerStart(119), 20, {0x03, 0x00}, 72, {0x00, 0x03, 0x00, 0x00},
                         blockMap({0x03, 0x03, 0x03}), {0x5B, 0x7E});
    card->poke(1 * 4096, Bytes{0x03});             // journal: channel 3 being erased
    card->poke(7 * 4096, Bytes(2 * 4096, 0x00));  // block 6 already erased, 7 and 8 not yet
    return card;
}

}  // namespace emulator::fixtures
