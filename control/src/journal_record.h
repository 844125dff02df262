#pragma once
// The journal block's own records. Sector 0 holds the mark (a change or a format under way),
// sectors 1..3 the new header, sector 4 the commit record that names every copy, and the
// copies of typed blocks are packed from sector 5; the block's last sector is kept for the
// mark of a format that starts over a journal already set. Each record carries a check: one
// that fails it is read again, and failing still it counts as damaged, never as data.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "control/link.h"

namespace control::journal {

using Sector = std::array<std::uint8_t, kSectorBytes>;

inline constexpr std::uint32_t kHeaderCopySector = 1;
inline constexpr std::uint32_t kHeaderCopySectors = 3;
inline constexpr std::uint32_t kRecordSector = 4;
inline constexpr std::uint32_t kFirstCopySector = 5;
// Entries of a record: the typed block is erased; (older records) no copy was made.
inline constexpr std::uint16_t kEraseEntry = 0xFFFF;
inline constexpr std::uint16_t kNoCopy = 0xFFFE;

std::uint32_t crc32(std::span<const std::uint8_t> bytes);
bool erased(std::span<const std::uint8_t> bytes);

enum class Found { Absent, Valid, Damaged };

struct Mark {
    Found found = Found::Absent;
    std::uint8_t state = 0xFF;
};
// The sector of a mark with its state and check.
Sector markSector(std::uint8_t state);
Mark readMark(const Sector& sector);

// One copy the record names: `sectors` sectors from `sector` of `block`, with the check of
// their bytes (older records carry none: the copy's own sum is its check).
struct CopyEntry {
    std::uint8_t type = 0;
    std::uint16_t block = kEraseEntry;
    std::uint8_t sector = 0;
    std::uint8_t sectors = 0;
    bool checked = false;
    std::uint32_t crc = 0;
};
struct Record {
    Found found = Found::Absent;
    std::vector<CopyEntry> entries;
};
Sector recordSector(const std::vector<CopyEntry>& entries);
// `journal` places the header copy of older records, which name the journal block for it.
Record readRecord(const Sector& sector, std::uint16_t journal);

// Reads one sector of `block` until `judge` finds it valid or absent, at most three times: a
// bit flipped on its way in does not come twice.
int readSettled(std::size_t block, std::uint32_t sector, Sector& out,
                const std::function<Found(const Sector&)>& judge);

// Reads one sector twice and takes it when both agree, or a third time to settle between
// them (106 when it does not): for what carries no check of its own, such as the state byte
// of an older journal.
int readAgreed(std::size_t block, std::uint32_t sector, Sector& out);

}  // namespace control::journal
