#include "emulator/fixtures.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace emulator::fixtures {

namespace {

void putWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void putLong(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool breaks(const Layout& layout, std::uint8_t type) {
    return std::find(layout.brokenSums.begin(), layout.brokenSums.end(), type) != layout.brokenSums.end();
}

// Places a typed block's content with its sum, as the control writes it.
void writeTyped(Card& card, std::size_t block, std::uint8_t type, const std::vector<std::uint8_t>& content,
                bool broken) {
    if (content.empty()) return;
    const std::size_t used = usedBytes(type);
    if (content.size() > used - 2) throw std::invalid_argument("typed block content too long");
    std::vector<std::uint8_t> bytes(used, 0);
    std::copy(content.begin(), content.end(), bytes.begin());
    const auto sum = static_cast<std::uint16_t>(blockSum(std::span(bytes).first(used - 2)) + (broken ? 1 : 0));
    putWord(bytes, used - 2, sum);
    card.poke(block * card.blockBytes(), bytes);
}

std::size_t takeFree(std::vector<std::uint8_t>& map, std::size_t& from, std::uint8_t type) {
    while (from < map.size() && map[from] != kFreeBlock) ++from;
    if (from == map.size()) throw std::invalid_argument("the card has no free block left");
    map[from] = type;
    return from++;
}

}  // namespace

std::size_t usedBytes(std::uint8_t type) {
    switch (type) {
    case kHeaderBlock: return header::kBytes;
    case kJournalBlock:
    case kSettingsBlock: return 512;
    case kDayPatternBlock: return 2048;
    case kCalendarBlock:
    case kNamesBlock: return 4096;
    default: throw std::invalid_argument("not a typed block");
    }
}

std::uint16_t blockSum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint16_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

std::size_t mapLength(const Card& card) {
    if (chipInfo(card.firstChip()).chipClass >= 5) return header::kMaxMap;
    return std::min(card.blockCount(), header::kMaxMap);
}

std::shared_ptr<Card> build(const Layout& layout) {
    auto card = std::make_shared<Card>(layout.firstChip, layout.secondChip);
    const bool large = chipInfo(layout.firstChip).chipClass >= 5;
    std::vector<std::uint8_t> map(mapLength(*card), kFreeBlock);
    map[0] = kHeaderBlock;
    for (std::size_t bad : layout.badBlocks) {
        if (bad == 0 || bad >= map.size()) throw std::invalid_argument("bad block outside the map");
        map[bad] = kBadBlock;
    }
    std::size_t next = 1;
    const std::uint8_t types[] = {kJournalBlock, kSettingsBlock, kDayPatternBlock, kCalendarBlock, kNamesBlock};
    std::array<std::size_t, 5> typed{};
    for (std::size_t i = 0; i < 5; ++i) typed[i] = takeFree(map, next, types[i]);

    std::vector<std::uint8_t> head(header::kBytes, 0);
    std::array<std::uint16_t, 24> channelBlocks{};
    for (const Message& m : layout.messages) {
        if (m.channel < 1 || m.channel > 24) throw std::invalid_argument("channel outside 1..24");
        const std::size_t blocks = (m.data.size() + card->blockBytes() - 1) / card->blockBytes();
        for (std::size_t b = 0; b < blocks; ++b) {
            const std::size_t block = takeFree(map, next, static_cast<std::uint8_t>(m.channel));
            const std::size_t at = b * card->blockBytes();
            const std::size_t n = std::min(card->blockBytes(), m.data.size() - at);
            card->poke(block * card->blockBytes(), std::span(m.data).subspan(at, n));
        }
        channelBlocks[static_cast<std::size_t>(m.channel - 1)] += static_cast<std::uint16_t>(blocks);
        putLong(head, header::kChannelLengths + 4 * static_cast<std::size_t>(m.channel - 1),
                static_cast<std::uint32_t>(m.data.size() / 16));
    }

    std::copy_n(layout.id.begin(), std::min<std::size_t>(8, layout.id.size()), head.begin());
    putWord(head, header::kFirstChipBlocks, static_cast<std::uint16_t>(large ? 1024 : chipInfo(layout.firstChip).blocks));
    putWord(head, header::kSecondChipBlocks,
            static_cast<std::uint16_t>(large || layout.secondChip == kNoChip ? 0 : chipInfo(layout.secondChip).blocks));
    putWord(head, header::kFreeBlocks, static_cast<std::uint16_t>(std::count(map.begin(), map.end(), kFreeBlock)));
    putWord(head, header::kBadBlocks, static_cast<std::uint16_t>(std::count(map.begin(), map.end(), kBadBlock)));
    for (std::size_t c = 0; c < 24; ++c) putWord(head, header::kChannelBlocks + 2 * c, channelBlocks[c]);
    std::copy(map.begin(), map.end(), head.begin() + header::kMap);
    std::copy(layout.cardVersion.begin(), layout.cardVersion.end(), head.begin() + header::kCardVersion);
    std::copy(layout.dataVersion.begin(), layout.dataVersion.end(), head.begin() + header::kDataVersion);
    putWord(head, header::kSum,
            static_cast<std::uint16_t>(blockSum(std::span(head).first(header::kSum)) + (layout.brokenHeaderSum ? 1 : 0)));
    card->poke(0, head);

    if (layout.journal) card->poke(typed[0] * card->blockBytes(), std::vector<std::uint8_t>{*layout.journal});
    writeTyped(*card, typed[1], kSettingsBlock, layout.settings, breaks(layout, kSettingsBlock));
    writeTyped(*card, typed[2], kDayPatternBlock, layout.dayPatterns, breaks(layout, kDayPatternBlock));
    writeTyped(*card, typed[3], kCalendarBlock, layout.calendar, breaks(layout, kCalendarBlock));
    writeTyped(*card, typed[4], kNamesBlock, layout.names, breaks(layout, kNamesBlock));
    return card;
}

std::shared_ptr<Card> blank(std::uint8_t firstChip, std::uint8_t secondChip) {
    return std::make_shared<Card>(firstChip, secondChip);
}

std::shared_ptr<Card> formatted(std::uint8_t firstChip, std::uint8_t secondChip) {
    Layout layout;
    layout.firstChip = firstChip;
    layout.secondChip = secondChip;
    return build(layout);
}

std::shared_ptr<Card> withId(std::string_view id, std::uint8_t firstChip) {
    Layout layout;
    layout.id = std::string(id);
    layout.firstChip = firstChip;
    return build(layout);
}

std::shared_ptr<Card> withMessages(std::vector<Message> messages, std::uint8_t firstChip) {
    Layout layout;
    layout.firstChip = firstChip;
    layout.messages = std::move(messages);
    return build(layout);
}

std::shared_ptr<Card> journalLeftSet(std::uint8_t value, std::uint8_t firstChip) {
    Layout layout;
    layout.firstChip = firstChip;
    layout.journal = value;
    if (value >= 1 && value <= 24) {
        const std::size_t blockBytes = Card(firstChip).blockBytes();
        layout.messages.push_back({value, std::vector<std::uint8_t>(3 * blockBytes, 0x00)});
    }
    auto card = build(layout);
    if (value == 0) {
        // The write got as far as the first new block: data where the map still says free.
        const auto map = card->peek(header::kMap, mapLength(*card));
        const auto free = static_cast<std::size_t>(std::find(map.begin(), map.end(), kFreeBlock) - map.begin());
        card->poke(free * card->blockBytes(), std::vector<std::uint8_t>(card->blockBytes(), 0x00));
    }
    return card;
}

}  // namespace emulator::fixtures
