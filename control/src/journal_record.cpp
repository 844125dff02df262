#include "journal_record.h"

#include <algorithm>
#include <string_view>

#include "control/card.h"
#include "control/errors.h"

namespace control::journal {
namespace {

// Sector 0: the state at 0, the mark at 8..15, the layout at 16 (0xFF in the first layout,
// which had no check), the check of bytes 0..16 at 17..20.
constexpr std::string_view kMark = "KVJOURNL";
constexpr std::size_t kMarkAt = 8;
constexpr std::size_t kLayoutAt = 16;
constexpr std::uint8_t kLayout = 2;
constexpr std::size_t kMarkCheckAt = 17;
// The commit record: "KVC2", a count, 9 bytes an entry (type, block, sector, sectors, check
// of the copy), then the check of all before it. "KVC1" records (type, block; a 16-bit sum)
// came before.
constexpr std::string_view kRecordMark = "KVC2";
constexpr std::string_view kOldRecordMark = "KVC1";
constexpr std::size_t kEntryBytes = 9;
constexpr std::size_t kMaxEntries = (kSectorBytes - 9) / kEntryBytes;
constexpr std::size_t kOldMaxEntries = 8;

void put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t get32(const std::uint8_t* at) {
    return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
           static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

bool startsWith(const Sector& s, std::string_view text, std::size_t at = 0) {
    return std::equal(text.begin(), text.end(), s.begin() + static_cast<std::ptrdiff_t>(at));
}

Record readOldRecord(const Sector& s, std::uint16_t journal) {
    Record r;
    const std::size_t n = s[4];
    if (n > kOldMaxEntries) return r.found = Found::Damaged, r;
    const std::size_t end = 5 + 3 * n;
    if (rdxBlockSum(std::span(s).first(end)) != (s[end] | s[end + 1] << 8)) return r.found = Found::Damaged, r;
    for (std::size_t i = 0; i < n; ++i) {
        CopyEntry e;
        e.type = s[5 + 3 * i];
        e.block = static_cast<std::uint16_t>(s[6 + 3 * i] | s[7 + 3 * i] << 8);
        if (e.type == kBlockHeader) {
            e.block = journal;
            e.sector = kHeaderCopySector;
            e.sectors = kHeaderCopySectors;
        } else {
            e.sectors = static_cast<std::uint8_t>((typedBlockBytes(e.type) + kSectorBytes - 1) / kSectorBytes);
        }
        r.entries.push_back(e);
    }
    r.found = Found::Valid;
    return r;
}

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::uint8_t b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

bool erased(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

Sector markSector(std::uint8_t state) {
    Sector s;
    s.fill(0xFF);
    s[0] = state;
    std::copy(kMark.begin(), kMark.end(), s.begin() + kMarkAt);
    s[kLayoutAt] = kLayout;
    put32(&s[kMarkCheckAt], crc32(std::span(s).first(kMarkCheckAt)));
    return s;
}

Mark readMark(const Sector& s) {
    if (!startsWith(s, kMark, kMarkAt)) return {};
    if (s[kLayoutAt] == 0xFF) return {Found::Valid, s[0]};
    if (s[kLayoutAt] == kLayout && crc32(std::span(s).first(kMarkCheckAt)) == get32(&s[kMarkCheckAt]))
        return {Found::Valid, s[0]};
    return {Found::Damaged, s[0]};
}

Sector recordSector(const std::vector<CopyEntry>& entries) {
    Sector s;
    s.fill(0xFF);
    std::copy(kRecordMark.begin(), kRecordMark.end(), s.begin());
    const std::size_t n = std::min(entries.size(), kMaxEntries);
    s[4] = static_cast<std::uint8_t>(n);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* at = &s[5 + kEntryBytes * i];
        const CopyEntry& e = entries[i];
        at[0] = e.type;
        at[1] = static_cast<std::uint8_t>(e.block & 0xFF);
        at[2] = static_cast<std::uint8_t>(e.block >> 8);
        at[3] = e.sector;
        at[4] = e.sectors;
        put32(at + 5, e.crc);
    }
    const std::size_t end = 5 + kEntryBytes * n;
    put32(&s[end], crc32(std::span(s).first(end)));
    return s;
}

Record readRecord(const Sector& s, std::uint16_t journal) {
    if (startsWith(s, kOldRecordMark)) return readOldRecord(s, journal);
    Record r;
    if (!startsWith(s, kRecordMark)) return r;
    const std::size_t n = s[4];
    if (n > kMaxEntries) return r.found = Found::Damaged, r;
    const std::size_t end = 5 + kEntryBytes * n;
    if (crc32(std::span(s).first(end)) != get32(&s[end])) return r.found = Found::Damaged, r;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* at = &s[5 + kEntryBytes * i];
        r.entries.push_back({at[0], static_cast<std::uint16_t>(at[1] | at[2] << 8), at[3], at[4], true, get32(at + 5)});
    }
    r.found = Found::Valid;
    return r;
}

int readSettled(std::size_t block, std::uint32_t sector, Sector& out,
                const std::function<Found(const Sector&)>& judge) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (const int e = rdxReadSectors(rdxFirstSector(block) + sector, 1, out)) return e;
        if (judge(out) != Found::Damaged) return cardError::Done;
    }
    return cardError::Done;
}

}  // namespace control::journal

namespace control::journal {

int readAgreed(std::size_t block, std::uint32_t sector, Sector& out) {
    Sector first, second;
    if (const int e = rdxReadSectors(rdxFirstSector(block) + sector, 1, first)) return e;
    if (const int e = rdxReadSectors(rdxFirstSector(block) + sector, 1, second)) return e;
    if (first != second) {
        if (const int e = rdxReadSectors(rdxFirstSector(block) + sector, 1, out)) return e;
        return out == first || out == second ? cardError::Done : cardError::ReadFailed;
    }
    out = first;
    return cardError::Done;
}

}  // namespace control::journal
