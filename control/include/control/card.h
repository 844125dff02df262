#pragma once
// The card's own file system: the header and block map in block 0, the typed blocks with
// their 16-bit sums, identification, the journal that makes message writes recoverable, the
// full card check, format, erasing a channel and repair.
#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <string_view>
#include <vector>

namespace control {

// Block map values, and the types of the typed blocks.
inline constexpr std::uint8_t kBlockHeader = 0xAA;
inline constexpr std::uint8_t kBlockJournal = 0xBB;
inline constexpr std::uint8_t kBlockSettings = 0xCC;
inline constexpr std::uint8_t kBlockPatterns = 0xD0;
inline constexpr std::uint8_t kBlockCalendar = 0xD1;
inline constexpr std::uint8_t kBlockNames = 0xEE;
inline constexpr std::uint8_t kBlockFree = 0xFF;
inline constexpr std::uint8_t kBlockBad = 0x00;

inline constexpr std::uint8_t kJournalIdle = 0xFF;
inline constexpr std::uint16_t kNoJournal = 0xFFFF;

inline constexpr std::string_view kModelId = "KV-M58S1";
inline constexpr std::size_t kHeaderBytes = 1536;
inline constexpr std::size_t kMapOffset = 160;
inline constexpr std::size_t kMaxMapEntries = 1024;
inline constexpr std::size_t kCardVersionOffset = 1184;
inline constexpr std::size_t kDataVersionOffset = 1187;
inline constexpr std::size_t kHeaderSumOffset = 1534;
inline constexpr int kChannels = 24;

enum CardKind : int { KindBlank = 0, KindOwn = 1, KindLnc = 2, KindMqt = 3, KindOther = 9 };

// Bytes a typed block uses (its sum, where it has one, is in the last two); 0 for a type
// outside the six.
std::size_t typedBlockBytes(std::uint8_t type);

// 16-bit total of the bytes.
std::uint16_t rdxBlockSum(std::span<const std::uint8_t> bytes);
std::uint16_t rdxHeaderSum(std::span<const std::uint8_t> header);
// Stores the sum of all bytes but the last two in the last two (little endian); checks it.
void storeBlockSum(std::span<std::uint8_t> block);
bool blockSumMatches(std::span<const std::uint8_t> block);

// The header block as bytes, with named access to its fields.
struct CardHeader {
    std::array<std::uint8_t, kHeaderBytes> bytes{};

    std::uint16_t word(std::size_t offset) const;
    void setWord(std::size_t offset, std::uint16_t value);
    std::uint32_t dword(std::size_t offset) const;
    void setDword(std::size_t offset, std::uint32_t value);

    std::uint16_t blocksFirstChip() const { return word(8); }
    std::uint16_t blocksSecondChip() const { return word(10); }
    std::uint16_t freeBlocks() const { return word(12); }
    std::uint16_t badBlocks() const { return word(14); }
    void setFreeBlocks(std::uint16_t v) { setWord(12, v); }
    void setBadBlocks(std::uint16_t v) { setWord(14, v); }
    std::uint16_t channelBlocks(int channel) const { return word(16 + 2 * (channel - 1)); }
    void setChannelBlocks(int channel, std::uint16_t v) { setWord(16 + 2 * (channel - 1), v); }
    std::uint32_t channelLength(int channel) const { return dword(64 + 4 * (channel - 1)); }
    void setChannelLength(int channel, std::uint32_t v) { setDword(64 + 4 * (channel - 1), v); }

    // Entries of the block map: the two chips' blocks, never more than the map can hold, so
    // that a corrupt header cannot run the map into the version bytes and the sum.
    std::size_t mapLength() const;
    std::uint8_t& map(std::size_t block) { return bytes[kMapOffset + block]; }
    std::uint8_t map(std::size_t block) const { return bytes[kMapOffset + block]; }

    std::string_view id() const;
    CardKind kind() const;
    bool sumMatches() const;
};

// The first sector of an erase block, by the geometry of the last status command.
std::uint32_t rdxFirstSector(std::size_t block);
// The first block of `type` in the map (the header is block 0), or kNoJournal.
std::uint16_t rdxFindTyped(const CardHeader& header, std::uint8_t type);

// What the full check read of a card that passed it, for the operation that goes on from
// there: the header, the journal's first sector and the four typed blocks (blank ones too).
struct CardSnapshot {
    CardHeader header;
    std::size_t blockBytes = 0;
    std::vector<std::uint8_t> journal;
    std::map<std::uint8_t, std::vector<std::uint8_t>> typed;
};

// The kind of the last card identified.
CardKind rdxCardKind();

// Status command, then the header into `header`; the id decides the kind. An own card with a
// wrong header sum gives 110.
int rdxIdentifyCard(CardHeader& header);
// Identification for work on the card's layout: 111 for a blank card, 102 for another kind.
int rdxIdentifyOwnCard(CardHeader& header);

// Reads a typed block (the type's whole size) into `data`. 110 leaves the data in place.
int rdxReadBlockData(std::uint8_t type, std::vector<std::uint8_t>& data);
// Erases the typed block, then writes `data` (the type's size, its sum stored by this call)
// unless `data` is empty: then the block is left erased.
int rdxWriteBlockData(std::uint8_t type, std::span<const std::uint8_t> data);
// Stores the sum, erases block 0 and writes the header's three sectors.
int rdxWriteHeader(CardHeader& header);

// The first journal block in the map, or kNoJournal.
std::uint16_t rdxFindJournal(const CardHeader& header, std::size_t mapLength);
int rdxSetJournal(std::uint8_t value, std::uint16_t journalBlock);
int rdxReadJournal(std::uint16_t journalBlock, std::uint8_t& value);

// Frees every block of the channel (blocks that fail to erase become bad) and writes the
// header.
int rdxEraseChannel(CardHeader& header, int channel, std::size_t mapLength);

// The full card check behind CardStatus, GetCardError and the card poll. A block that
// fails its sum is only reported while the reader still holds a card: else 101.
int rdxCheckCard();
int rdxCheckCard(CardSnapshot& snapshot);
// A status command after reads: 101 when the card went while they ran.
int rdxConfirmCard();
int rdxFormat();
int rdxRepair(int error);
int rdxRepairJournal();

}  // namespace control
