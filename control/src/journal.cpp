#include "journal.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "control/errors.h"
#include "control/host.h"
#include "control/link.h"
#include "control/state.h"

namespace control {
namespace {

using namespace cardError;
using Sector = std::array<std::uint8_t, kSectorBytes>;

// Journal sector 0 carries the state byte and, at 8..15, the mark of our own journal.
constexpr std::string_view kMark = "KVJOURNL";
constexpr std::size_t kMarkOffset = 8;
// Sectors 1..3 of the journal block hold the new header; sector 4 the commit record:
// "KVC1", a count, per entry the type and the copy's block, then a 16-bit sum.
constexpr std::uint32_t kHeaderCopySector = 1;
constexpr std::uint32_t kRecordSector = 4;
constexpr std::string_view kRecordMark = "KVC1";
constexpr std::size_t kMaxEntries = 8;
// An entry with this block erases its typed block; one with kInPlace had no copy.
constexpr std::uint16_t kErase = 0xFFFF;
constexpr std::uint16_t kInPlace = 0xFFFE;
// How far a journal is looked for while block 0 holds no header: past a few bad blocks.
constexpr std::size_t kMarkSearch = 8;

bool hasMark(const Sector& s) { return std::equal(kMark.begin(), kMark.end(), s.begin() + kMarkOffset); }

bool allErased(std::span<const std::uint8_t> bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

std::size_t sectorsFor(std::size_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

int eraseJournal(std::uint16_t journal) { return rdxEraseBlock(journal); }

// A typed block's bytes with their sum, as they go to the card.
std::vector<std::uint8_t> withSum(const TypedUpdate& u) {
    std::vector<std::uint8_t> bytes = u.content;
    bytes.resize(sectorsFor(typedBlockBytes(u.type)) * kSectorBytes, 0xFF);
    storeBlockSum(std::span(bytes).first(typedBlockBytes(u.type)));
    return bytes;
}

int writeTypedAt(std::uint16_t block, const std::vector<std::uint8_t>& bytes) {
    return rdxWriteSectors(rdxFirstSector(block), bytes.size() / kSectorBytes, bytes);
}

int writeHeaderBlock(const CardHeader& h) {
    if (const int e = rdxEraseBlock(0)) return e;
    return rdxWriteSectors(0, kHeaderBytes / kSectorBytes, h.bytes);
}

// Erases a block the map calls free; one that does not erase turns bad.
int eraseFreeBlock(CardHeader& h, std::size_t block, bool& changed) {
    const int e = rdxEraseBlock(static_cast<std::uint32_t>(block));
    if (e != EraseFailed) return e;
    if (h.map(block) == kBlockFree) {
        h.map(block) = kBlockBad;
        h.setBadBlocks(static_cast<std::uint16_t>(h.badBlocks() + 1));
        h.setFreeBlocks(static_cast<std::uint16_t>(h.freeBlocks() - 1));
        changed = true;
    }
    return Done;
}

struct Record {
    bool valid = false;
    std::vector<std::pair<std::uint8_t, std::uint16_t>> entries;
};

Record readRecord(const Sector& s) {
    Record r;
    if (!std::equal(kRecordMark.begin(), kRecordMark.end(), s.begin())) return r;
    const std::size_t n = s[4];
    if (n > kMaxEntries) return r;
    const std::size_t end = 5 + 3 * n;
    if (rdxBlockSum(std::span(s).first(end)) != (s[end] | s[end + 1] << 8)) return r;
    for (std::size_t i = 0; i < n; ++i)
        r.entries.emplace_back(s[5 + 3 * i], static_cast<std::uint16_t>(s[6 + 3 * i] | s[7 + 3 * i] << 8));
    r.valid = true;
    return r;
}

// Rolls a committed change forward: the header copy and the typed copies go in place.
// Copies already let go read blank or broken: their targets were written before.
int applyRecord(const Record& r, std::uint16_t journal, CardHeader& h, bool& headerOk) {
    for (const auto& [type, block] : r.entries) {
        if (type != kBlockHeader) continue;
        CardHeader copy;
        if (const int e = rdxReadSectors(rdxFirstSector(journal) + kHeaderCopySector, kHeaderBytes / kSectorBytes,
                                         copy.bytes))
            return e;
        if (copy.kind() != KindOwn || !copy.sumMatches()) continue;
        if (!headerOk || copy.bytes != h.bytes)
            if (const int e = writeHeaderBlock(copy)) return e;
        h = copy;
        headerOk = true;
    }
    if (!headerOk) return HeaderSum;
    for (const auto& [type, block] : r.entries) {
        if (type == kBlockHeader || block == kInPlace) continue;
        const std::uint16_t target = rdxFindTyped(h, type);
        if (target == kNoJournal) continue;
        if (block == kErase) {
            if (const int e = rdxEraseBlock(target)) return e;
            continue;
        }
        std::vector<std::uint8_t> bytes(sectorsFor(typedBlockBytes(type)) * kSectorBytes);
        if (const int e = rdxReadSectors(rdxFirstSector(block), bytes.size() / kSectorBytes, bytes)) return e;
        const auto used = std::span(bytes).first(typedBlockBytes(type));
        if (bytes[0] == 0xFF || !blockSumMatches(used)) continue;
        if (const int e = rdxEraseBlock(target)) return e;
        if (const int e = writeTypedAt(target, bytes)) return e;
    }
    return Done;
}

// Erases every block the map calls free, then records blocks that turned bad.
int eraseAllFree(CardHeader& h) {
    setProgressLength(h.freeBlocks());
    bool changed = false;
    const std::size_t length = h.mapLength();
    for (std::size_t i = 1; i < length; ++i) {
        if (h.map(i) != kBlockFree) continue;
        rdxPumpMessage();
        if (const int e = eraseFreeBlock(h, i, changed)) return e;
        advanceProgress();
    }
    if (!changed) return Done;
    storeBlockSum(h.bytes);
    return writeHeaderBlock(h);
}

}  // namespace

int markJournal(std::uint16_t journal, std::uint8_t state) {
    Sector s;
    s.fill(0xFF);
    s[0] = state;
    std::copy(kMark.begin(), kMark.end(), s.begin() + kMarkOffset);
    return rdxWriteSectors(rdxFirstSector(journal), 1, s);
}

CardChange::CardChange(const CardHeader& onCard, std::uint16_t journal) : onCard_(onCard), journal_(journal) {}

int CardChange::begin() {
    if (begun_) return Done;
    if (journal_ == kNoJournal) return Broken;
    if (const int e = markJournal(journal_, kJournalWriting)) return e;
    begun_ = true;
    return Done;
}

int CardChange::stageCopies(const CardHeader& next, const std::vector<TypedUpdate>& updates,
                            std::vector<std::uint16_t>& copies) {
    std::size_t from = 1;
    const std::size_t length = std::min(onCard_.mapLength(), next.mapLength());
    for (const TypedUpdate& u : updates) {
        if (u.content.empty()) {
            copies.push_back(kErase);
            continue;
        }
        while (from < length && (onCard_.map(from) != kBlockFree || next.map(from) != kBlockFree)) ++from;
        if (from >= length) {
            // No free block to spare: the block is rewritten in place, as on a full card it must be.
            copies.push_back(kInPlace);
            continue;
        }
        const auto copy = static_cast<std::uint16_t>(from++);
        if (const int e = writeTypedAt(copy, withSum(u))) return e;
        copies.push_back(copy);
    }
    return Done;
}

int CardChange::writeRecord(bool header, const std::vector<TypedUpdate>& updates,
                            const std::vector<std::uint16_t>& copies) {
    Sector s;
    s.fill(0xFF);
    std::copy(kRecordMark.begin(), kRecordMark.end(), s.begin());
    std::size_t n = 0;
    auto add = [&](std::uint8_t type, std::uint16_t block) {
        s[5 + 3 * n] = type;
        s[6 + 3 * n] = static_cast<std::uint8_t>(block & 0xFF);
        s[7 + 3 * n] = static_cast<std::uint8_t>(block >> 8);
        ++n;
    };
    if (header) add(kBlockHeader, journal_);
    for (std::size_t i = 0; i < updates.size(); ++i) add(updates[i].type, copies[i]);
    s[4] = static_cast<std::uint8_t>(n);
    const std::uint16_t sum = rdxBlockSum(std::span(s).first(5 + 3 * n));
    s[5 + 3 * n] = static_cast<std::uint8_t>(sum & 0xFF);
    s[6 + 3 * n] = static_cast<std::uint8_t>(sum >> 8);
    return rdxWriteSectors(rdxFirstSector(journal_) + kRecordSector, 1, s);
}

int CardChange::commit(CardHeader& next, const std::vector<TypedUpdate>& updates,
                       const std::vector<std::size_t>& release) {
    LinkSession session;
    storeBlockSum(next.bytes);
    const bool header = next.bytes != onCard_.bytes;
    if (!header && updates.empty() && release.empty()) return begun_ ? eraseJournal(journal_) : Done;
    if (updates.size() + 1 > kMaxEntries) return BadBlockType;
    if (const int e = begin()) return e;
    if (header)
        if (const int e = rdxWriteSectors(rdxFirstSector(journal_) + kHeaderCopySector,
                                          kHeaderBytes / kSectorBytes, next.bytes))
            return e;
    std::vector<std::uint16_t> copies;
    if (const int e = stageCopies(next, updates, copies)) return e;
    if (const int e = writeRecord(header, updates, copies)) return e;

    if (header)
        if (const int e = writeHeaderBlock(next)) return e;
    for (const TypedUpdate& u : updates) {
        const std::uint16_t target = rdxFindTyped(next, u.type);
        if (target == kNoJournal) return Broken;
        if (const int e = rdxEraseBlock(target)) return e;
        if (!u.content.empty())
            if (const int e = writeTypedAt(target, withSum(u))) return e;
    }

    bool changed = false;
    for (std::size_t block : release)
        if (const int e = eraseFreeBlock(next, block, changed)) return e;
    for (std::uint16_t copy : copies)
        if (copy != kErase && copy != kInPlace)
            if (const int e = eraseFreeBlock(next, copy, changed)) return e;
    // Blocks that turned bad go into the header while the record still stands: a pull here
    // rolls forward again and finds them again.
    if (changed) {
        storeBlockSum(next.bytes);
        if (const int e = writeHeaderBlock(next)) return e;
    }
    return eraseJournal(journal_);
}

int writeHeaderSafely(const CardHeader& onCard, CardHeader& next) {
    CardChange change(onCard, rdxFindJournal(onCard, onCard.mapLength()));
    return change.commit(next, {}, {});
}

int findMarkedJournal(std::uint16_t& journal) {
    journal = kNoJournal;
    const Geometry g = rdxGeometry();
    const std::size_t blocks = static_cast<std::size_t>(g.blocksFirstChip + g.blocksSecondChip);
    Sector s;
    for (std::size_t b = 1; b <= kMarkSearch && b < blocks; ++b) {
        if (const int e = rdxReadSectors(rdxFirstSector(b), 1, s)) return e;
        if (hasMark(s) && s[0] != kJournalIdle) {
            journal = static_cast<std::uint16_t>(b);
            return Done;
        }
        // Our journal comes before any block that is not bad: an erased one ends the search.
        if (allErased(s)) return Done;
        // A journal of the older kind that a repair was committing a header through.
        Sector r;
        if (const int e = rdxReadSectors(rdxFirstSector(b) + kRecordSector, 1, r)) return e;
        if (readRecord(r).valid) {
            journal = static_cast<std::uint16_t>(b);
            return Done;
        }
    }
    return Done;
}

int repairMarkedJournal(bool& handled) {
    handled = false;
    LinkSession session;
    setProgress(0, 0);
    CardHeader h;
    const int identified = rdxIdentifyCard(h);
    if (identified != Done && identified != SumError) return identified;
    bool headerOk = identified == Done && h.kind() == KindOwn;
    std::uint16_t journal = kNoJournal;
    if (headerOk) {
        journal = rdxFindJournal(h, h.mapLength());
    } else if (h.kind() == KindOwn || h.kind() == KindBlank) {
        if (const int e = findMarkedJournal(journal)) return e;
    }
    if (journal == kNoJournal) return Done;
    Sector s;
    if (const int e = rdxReadSectors(rdxFirstSector(journal), 1, s)) return e;
    if (s[0] == kJournalIdle) return Done;
    Sector r;
    if (const int e = rdxReadSectors(rdxFirstSector(journal) + kRecordSector, 1, r)) return e;
    const Record record = readRecord(r);
    if (!hasMark(s) && !record.valid) return Done;
    handled = true;

    if (hasMark(s) && s[0] == kJournalFormat) return formatKeeping(journal);
    if (s[0] == kJournalWriting || record.valid) {
        if (record.valid)
            if (const int e = applyRecord(record, journal, h, headerOk)) return e;
        if (!headerOk) return h.kind() == KindBlank ? Unformatted : HeaderSum;
        if (const int e = eraseAllFree(h)) return e;
    }
    const int e = eraseJournal(journal);
    setProgressPosition(progressLength());
    return e;
}

}  // namespace control
