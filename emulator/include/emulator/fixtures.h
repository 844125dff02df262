#pragma once
// Memory cards for tests, laid out as this system lays out its cards: block 0 holds the
// header (model id, block counts, channel tables, block map, versions, sum), and the map
// gives every other block its type. These builders are written from the layout alone and
// share no code with the control, so the control's codec is checked against them.
#include "emulator/card.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace emulator::fixtures {

// The header in block 0.
namespace header {
inline constexpr std::size_t kId = 0;                 // 8 bytes
inline constexpr std::size_t kFirstChipBlocks = 8;    // 16-bit words, little endian
inline constexpr std::size_t kSecondChipBlocks = 10;
inline constexpr std::size_t kFreeBlocks = 12;
inline constexpr std::size_t kBadBlocks = 14;
inline constexpr std::size_t kChannelBlocks = 16;     // 24 words: channels 1..24
inline constexpr std::size_t kChannelLengths = 64;    // 24 x 32-bit: 16-byte units
inline constexpr std::size_t kMap = 160;              // one type byte per block
inline constexpr std::size_t kCardVersion = 1184;     // 3 bytes
inline constexpr std::size_t kDataVersion = 1187;     // 3 bytes
inline constexpr std::size_t kSum = 1534;
inline constexpr std::size_t kBytes = 1536;
inline constexpr std::size_t kMaxMap = 1024;
}  // namespace header

// Block map values.
inline constexpr std::uint8_t kHeaderBlock = 0xAA;
inline constexpr std::uint8_t kJournalBlock = 0xBB;
inline constexpr std::uint8_t kSettingsBlock = 0xCC;
inline constexpr std::uint8_t kDayPatternBlock = 0xD0;
inline constexpr std::uint8_t kCalendarBlock = 0xD1;
inline constexpr std::uint8_t kNamesBlock = 0xEE;
inline constexpr std::uint8_t kFreeBlock = 0xFF;
inline constexpr std::uint8_t kBadBlock = 0x00;

inline constexpr char kOwnId[] = "KV-M58S1";
inline constexpr char kSiblingIds[2][9] = {"LNC-E207", "MQT512-H"};

// The bytes a typed block uses; its sum sits in the last two (none for the journal).
std::size_t usedBytes(std::uint8_t type);
// The 16-bit total of the bytes, modulo 65536.
std::uint16_t blockSum(std::span<const std::uint8_t> bytes);

struct Message {
    int channel = 1;                  // 1..24
    std::vector<std::uint8_t> data;   // takes ceil(size / block bytes) blocks, padded with 0xFF
};

// A card as this system's format leaves it, then filled as described.
struct Layout {
    std::string id = kOwnId;              // 8 bytes (cut or padded with zero bytes)
    std::uint8_t firstChip = kDefaultChip;
    std::uint8_t secondChip = kNoChip;
    std::vector<std::size_t> badBlocks;   // mapped 0x00; typed blocks go round them
    std::optional<std::uint8_t> journal;  // byte 0 of the journal; none: idle (erased)
    // The content of the typed blocks (at most their bytes before the sum, the rest 0);
    // empty leaves the block erased, as a format does.
    std::vector<std::uint8_t> settings, dayPatterns, calendar, names;
    std::vector<Message> messages;        // in map order, on the first free blocks
    std::array<std::uint8_t, 3> cardVersion{}, dataVersion{};
    bool brokenHeaderSum = false;
    std::vector<std::uint8_t> brokenSums; // types whose stored sum is one off
};

// Throws std::invalid_argument when the layout does not fit the card.
std::shared_ptr<Card> build(const Layout& layout);

// The map length of a card: 1024 on chips of class 5 and up, else both chips' blocks.
std::size_t mapLength(const Card& card);

// Shorthands.
std::shared_ptr<Card> blank(std::uint8_t firstChip = kDefaultChip, std::uint8_t secondChip = kNoChip);
std::shared_ptr<Card> formatted(std::uint8_t firstChip = kDefaultChip, std::uint8_t secondChip = kNoChip);
// A card formatted under another id: "LNC-E207", "MQT512-H", "kv-m58s1", anything.
std::shared_ptr<Card> withId(std::string_view id, std::uint8_t firstChip = kDefaultChip);
std::shared_ptr<Card> withMessages(std::vector<Message> messages, std::uint8_t firstChip = kDefaultChip);
// A message write or channel erase broken off, the journal left at `value`: 0, a message
// write (the first block mapped free holds data, all 0x00); or the channel 1..24 whose
// blocks were being erased (it still holds three blocks of 0x00).
std::shared_ptr<Card> journalLeftSet(std::uint8_t value, std::uint8_t firstChip = kDefaultChip);

// Cards written byte by byte from the layout, with their sums worked out by hand, on a
// 512 KiB card (chip 0xA4: 128 blocks of 4096 bytes). They check the builder above too.
// Freshly formatted: map AA BB CC D0 D1 EE, then 122 free blocks.
std::shared_ptr<Card> handBuiltFormatted();
// Channel 2 holds 5000 bytes (byte i is i & 0xFF) in blocks 6 and 7; length 312.
std::shared_ptr<Card> handBuiltWithMessage();
// Channel 3 was being erased when the card was pulled: journal 3, blocks 6, 7 and 8 still
// mapped to it, block 6 already erased, 7 and 8 all 0x00; length 768.
std::shared_ptr<Card> handBuiltJournalSet();

}  // namespace emulator::fixtures
