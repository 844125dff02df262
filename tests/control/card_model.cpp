#include "card_model.h"

#include <algorithm>
#include <ostream>
#include <span>
#include <string_view>

#include "emulator/fixtures.h"

namespace control_test {
namespace {

namespace fx = emulator::fixtures;

std::uint16_t word(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

bool blockErased(const emulator::Card& card, std::size_t block) {
    const std::uint8_t* data = card.blockData(block);
    return data == nullptr || std::all_of(data, data + card.blockBytes(), [](std::uint8_t b) { return b == 0xFF; });
}

std::string typeName(std::uint8_t type) {
    switch (type) {
    case fx::kSettingsBlock: return "settings";
    case fx::kDayPatternBlock: return "day patterns";
    case fx::kCalendarBlock: return "calendar";
    case fx::kNamesBlock: return "names";
    default: return "block " + std::to_string(type);
    }
}

constexpr std::uint8_t kTypes[] = {fx::kJournalBlock, fx::kSettingsBlock, fx::kDayPatternBlock, fx::kCalendarBlock,
                                   fx::kNamesBlock};

}  // namespace

std::uint64_t contentHash(const std::uint8_t* bytes, std::size_t count, std::uint64_t hash) {
    if (count == 0) return hash;
    const std::string_view view(reinterpret_cast<const char*>(bytes), count);
    return (hash ^ std::hash<std::string_view>{}(view)) * 1099511628211ull;
}

std::optional<CardContent> readContent(const emulator::Card& card, std::string& fault) {
    const std::size_t bb = card.blockBytes();
    const auto head = card.peek(0, fx::header::kBytes);
    if (std::string(head.begin(), head.begin() + 8) != fx::kOwnId) return fault = "header id", std::nullopt;
    if (fx::blockSum(std::span(head).first(fx::header::kSum)) != word(head, fx::header::kSum))
        return fault = "header sum", std::nullopt;
    const std::size_t length = std::min<std::size_t>(word(head, 8) + word(head, 10), fx::header::kMaxMap);
    if (head[fx::header::kMap] != fx::kHeaderBlock) return fault = "map entry 0", std::nullopt;
    std::map<std::uint8_t, std::vector<std::size_t>> where;
    for (std::size_t i = 1; i < length; ++i) where[head[fx::header::kMap + i]].push_back(i);
    if (where[fx::kFreeBlock].size() != word(head, fx::header::kFreeBlocks)) return fault = "free count", std::nullopt;
    if (where[fx::kBadBlock].size() != word(head, fx::header::kBadBlocks)) return fault = "bad count", std::nullopt;
    for (std::size_t b : where[fx::kFreeBlock])
        if (!blockErased(card, b)) return fault = "free block " + std::to_string(b) + " holds data", std::nullopt;

    CardContent c;
    c.versions.assign(head.begin() + fx::header::kCardVersion, head.begin() + fx::header::kDataVersion + 3);
    for (std::uint8_t type : kTypes) {
        if (where[type].size() != 1) return fault = "count of " + typeName(type) + " blocks", std::nullopt;
        const std::size_t block = where[type][0];
        if (type == fx::kJournalBlock) {
            if (!blockErased(card, block)) return fault = "journal not idle", std::nullopt;
            continue;
        }
        auto bytes = card.peek(block * bb, fx::usedBytes(type));
        if (bytes[0] == 0xFF)
            bytes.clear();
        else if (fx::blockSum(std::span(bytes).first(bytes.size() - 2)) != word(bytes, bytes.size() - 2))
            return fault = typeName(type) + " sum", std::nullopt;
        c.typed[type] = std::move(bytes);
    }
    for (int ch = 1; ch <= 24; ++ch) {
        ChannelContent& m = c.channels[static_cast<std::size_t>(ch)];
        const std::size_t at = static_cast<std::size_t>(ch - 1);
        m.blocks = word(head, fx::header::kChannelBlocks + 2 * at);
        m.length = static_cast<std::uint32_t>(word(head, fx::header::kChannelLengths + 4 * at) |
                                              word(head, fx::header::kChannelLengths + 4 * at + 2) << 16);
        const auto& blocks = where[static_cast<std::uint8_t>(ch)];
        if (blocks.size() != m.blocks) return fault = "channel " + std::to_string(ch) + " block count", std::nullopt;
        std::uint64_t hash = contentHash(nullptr, 0);
        const std::vector<std::uint8_t> erased(bb, 0xFF);
        for (std::size_t b : blocks) {
            const std::uint8_t* data = card.blockData(b);
            hash = contentHash(data ? data : erased.data(), bb, hash);
        }
        m.hash = blocks.empty() ? 0 : hash;
    }
    return c;
}

std::vector<std::string> CardContent::neither(const CardContent& a, const CardContent& b) const {
    std::vector<std::string> out;
    auto either = [](const auto& v, const auto& x, const auto& y) { return v == x || v == y; };
    if (!either(versions, a.versions, b.versions)) out.push_back("versions");
    for (const auto& [type, bytes] : typed)
        if (!either(bytes, a.typed.at(type), b.typed.at(type))) out.push_back(typeName(type));
    for (std::size_t ch = 1; ch < channels.size(); ++ch)
        if (!either(channels[ch], a.channels[ch], b.channels[ch])) out.push_back("channel " + std::to_string(ch));
    return out;
}

std::ostream& operator<<(std::ostream& out, const CardContent& c) {
    out << "{typed";
    for (const auto& [type, bytes] : c.typed) out << " " << std::hex << contentHash(bytes.data(), bytes.size()) % 0x10000 << std::dec;
    out << "; channels";
    for (std::size_t ch = 1; ch < c.channels.size(); ++ch)
        if (c.channels[ch].blocks) out << " " << ch << ":" << c.channels[ch].blocks << "/" << c.channels[ch].hash % 0x10000;
    return out << "}";
}

std::vector<std::string> CardContent::inNone(const std::vector<CardContent>& cards) const {
    std::vector<std::string> out;
    auto any = [&](auto same) { return std::any_of(cards.begin(), cards.end(), same); };
    if (!any([&](const CardContent& c) { return c.versions == versions; })) out.push_back("versions");
    for (const auto& [type, bytes] : typed)
        if (!any([&](const CardContent& c) { return c.typed.at(type) == bytes; })) out.push_back(typeName(type));
    for (std::size_t ch = 1; ch < channels.size(); ++ch)
        if (!any([&](const CardContent& c) { return c.channels[ch] == channels[ch]; }))
            out.push_back("channel " + std::to_string(ch));
    return out;
}

std::string CardContent::firstDifference(const CardContent& other) const {
    const auto items = neither(other, other);
    return items.empty() ? std::string() : items.front();
}

}  // namespace control_test
