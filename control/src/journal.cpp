#include "journal.h"

#include <algorithm>
#include <numeric>

#include "control/errors.h"
#include "control/host.h"
#include "control/link.h"
#include "control/state.h"
#include "journal_record.h"

namespace control {
namespace {

using namespace cardError;
using namespace journal;

std::size_t sectorsFor(std::size_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }
std::size_t sectorsPerBlock() { return static_cast<std::size_t>(rdxGeometry().sectorsPerBlock); }

// Where the copies go: the journal's sectors from kFirstCopySector up to (not into) its last
// sector, then whole free blocks, each copy in one piece. Larger copies are placed first.
struct Placement {
    struct Spot {
        std::size_t region = 0;  // 0 the journal, n the n-th free block taken
        std::size_t sector = 0;
    };
    std::vector<Spot> spots;  // by item
    std::size_t regions = 1;
};

bool place(std::size_t spb, const std::vector<std::size_t>& sizes, std::size_t spareBlocks, Placement& out) {
    std::vector<std::size_t> order(sizes.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
    std::vector<std::size_t> used = {kFirstCopySector};
    std::vector<std::size_t> limit = {spb - 1};
    out.spots.assign(sizes.size(), {});
    for (std::size_t i : order) {
        if (sizes[i] == 0) continue;
        std::size_t r = 0;
        while (r < used.size() && used[r] + sizes[i] > limit[r]) ++r;
        if (r == used.size()) {
            if (r > spareBlocks || sizes[i] > spb) return false;
            used.push_back(0);
            limit.push_back(spb);
        }
        out.spots[i] = {r, used[r]};
        used[r] += sizes[i];
    }
    out.regions = used.size();
    return true;
}

// A typed block's bytes with their sum, whole sectors, as they go to the card.
std::vector<std::uint8_t> withSum(const TypedUpdate& u) {
    std::vector<std::uint8_t> bytes = u.content;
    bytes.resize(sectorsFor(typedBlockBytes(u.type)) * kSectorBytes, 0xFF);
    storeBlockSum(std::span(bytes).first(typedBlockBytes(u.type)));
    return bytes;
}

// Blocks free in both maps: they may take copies.
std::vector<std::uint16_t> spareBlocks(const CardHeader& onCard, const CardHeader& next) {
    std::vector<std::uint16_t> spare;
    const std::size_t length = std::min(onCard.mapLength(), next.mapLength());
    for (std::size_t b = 1; b < length; ++b)
        if (onCard.map(b) == kBlockFree && next.map(b) == kBlockFree) spare.push_back(static_cast<std::uint16_t>(b));
    return spare;
}

// The copies of one change, laid out: images of the journal and of each free block used.
struct Staging {
    std::vector<CopyEntry> entries;
    std::vector<std::uint8_t> journalImage;
    std::vector<bool> journalUsed;
    std::vector<std::pair<std::uint16_t, std::vector<std::uint8_t>>> blocks;  // block, image
    std::vector<std::size_t> blockSectors;                                    // sectors used of each
};

void put(std::vector<std::uint8_t>& image, std::size_t sector, std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(sector * kSectorBytes));
}

int layOut(const CardHeader& onCard, const CardHeader& next, bool header, std::uint16_t journal,
           const std::vector<TypedUpdate>& updates, Staging& s) {
    const std::size_t spb = sectorsPerBlock();
    std::vector<std::vector<std::uint8_t>> bytes;
    std::vector<std::size_t> sizes;
    for (const TypedUpdate& u : updates) {
        bytes.push_back(u.content.empty() ? std::vector<std::uint8_t>{} : withSum(u));
        sizes.push_back(bytes.back().size() / kSectorBytes);
    }
    const auto spare = spareBlocks(onCard, next);
    Placement p;
    if (!place(spb, sizes, spare.size(), p)) return NoFreeBlock;

    s.journalImage.assign(spb * kSectorBytes, 0xFF);
    s.journalUsed.assign(spb, false);
    for (std::size_t r = 1; r < p.regions; ++r) {
        s.blocks.emplace_back(spare[r - 1], std::vector<std::uint8_t>(spb * kSectorBytes, 0xFF));
        s.blockSectors.push_back(0);
    }
    if (header) {
        put(s.journalImage, kHeaderCopySector, next.bytes);
        for (std::uint32_t i = 0; i < kHeaderCopySectors; ++i) s.journalUsed[kHeaderCopySector + i] = true;
        s.entries.push_back({kBlockHeader, journal, kHeaderCopySector, kHeaderCopySectors, true, crc32(next.bytes)});
    }
    for (std::size_t i = 0; i < updates.size(); ++i) {
        if (bytes[i].empty()) {
            s.entries.push_back({updates[i].type, kEraseEntry, 0, 0, true, 0});
            continue;
        }
        const auto [region, sector] = p.spots[i];
        const std::uint16_t block = region == 0 ? journal : s.blocks[region - 1].first;
        if (region == 0) {
            put(s.journalImage, sector, bytes[i]);
            for (std::size_t k = 0; k < sizes[i]; ++k) s.journalUsed[sector + k] = true;
        } else {
            put(s.blocks[region - 1].second, sector, bytes[i]);
            s.blockSectors[region - 1] = std::max(s.blockSectors[region - 1], sector + sizes[i]);
        }
        s.entries.push_back({updates[i].type, block, static_cast<std::uint8_t>(sector),
                             static_cast<std::uint8_t>(sizes[i]), true, crc32(bytes[i])});
    }
    put(s.journalImage, kRecordSector, recordSector(s.entries));
    s.journalUsed[kRecordSector] = true;
    return Done;
}

int writeJournalSector(std::uint16_t journal, std::size_t sector, const std::vector<std::uint8_t>& image) {
    return rdxWriteSectors(rdxFirstSector(journal) + static_cast<std::uint32_t>(sector), 1,
                           std::span(image).subspan(sector * kSectorBytes, kSectorBytes));
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

}  // namespace

std::size_t rdxKeptBlocks() {
    const std::size_t spb = sectorsPerBlock();
    std::vector<std::size_t> sizes;
    for (std::uint8_t type : {kBlockSettings, kBlockPatterns, kBlockCalendar, kBlockNames})
        sizes.push_back(sectorsFor(typedBlockBytes(type)));
    Placement p;
    return place(spb, sizes, sizes.size(), p) ? p.regions - 1 : sizes.size();
}

int writeHeaderBlock(const CardHeader& h) {
    if (const int e = rdxEraseBlock(0)) return e;
    return rdxWriteRange(0, kHeaderBytes / kSectorBytes, h.bytes);
}

int eraseAllFree(CardHeader& h, bool& changed) {
    setProgressLength(h.freeBlocks());
    const std::size_t length = h.mapLength();
    for (std::size_t i = 1; i < length; ++i) {
        if (h.map(i) != kBlockFree) continue;
        rdxPumpMessage();
        if (const int e = eraseFreeBlock(h, i, changed)) return e;
        advanceProgress();
    }
    return Done;
}

int markJournal(std::uint16_t journal, std::uint8_t state) {
    return rdxWriteSectors(rdxFirstSector(journal), 1, markSector(state));
}

int markFormat(std::uint16_t journal, bool journalSet) {
    if (!journalSet) return markJournal(journal, kJournalFormat);
    const std::uint32_t last = static_cast<std::uint32_t>(sectorsPerBlock() - 1);
    Sector s;
    if (const int e = rdxReadSectors(rdxFirstSector(journal) + last, 1, s)) return e;
    if (erased(s)) return rdxWriteSectors(rdxFirstSector(journal) + last, 1, markSector(kJournalFormat));
    // A format begun before and not finished: its mark stands.
    const Mark m = readMark(s);
    if (m.found == Found::Valid && m.state == kJournalFormat) return Done;
    // A journal that is not what any change leaves: it goes, and the mark starts afresh.
    if (const int e = rdxEraseBlock(journal)) return e;
    return markJournal(journal, kJournalFormat);
}

CardChange::CardChange(const CardHeader& onCard, std::uint16_t journal) : onCard_(onCard), journal_(journal) {}

int CardChange::begin() {
    if (begun_) return Done;
    if (journal_ == kNoJournal) return Broken;
    if (const int e = markJournal(journal_, kJournalWriting)) return e;
    begun_ = true;
    return Done;
}

int CardChange::commit(CardHeader& next, const std::vector<TypedUpdate>& updates,
                       const std::vector<std::size_t>& release) {
    LinkSession session;
    storeBlockSum(next.bytes);
    const bool header = next.bytes != onCard_.bytes;
    if (!header && updates.empty() && release.empty()) return begun_ ? rdxEraseBlock(journal_) : Done;
    if (journal_ == kNoJournal) return Broken;
    Staging s;
    if (const int e = layOut(onCard_, next, header, journal_, updates, s)) return e;

    // Staging. Copies only in the journal go there in one write where that costs less: a
    // pull inside it leaves a record that fails its check, or a mark without a record.
    const auto used = static_cast<std::size_t>(std::count(s.journalUsed.begin(), s.journalUsed.end(), true)) + 1;
    if (!begun_ && s.blocks.empty() && rdxWriteCost(used, true) <= rdxWriteCost(used, false)) {
        put(s.journalImage, 0, markSector(kJournalWriting));
        if (const int e = rdxWriteBlock(journal_, s.journalImage)) return e;
        begun_ = true;
    } else {
        if (const int e = begin()) return e;
        for (std::size_t i = 0; i < s.blocks.size(); ++i)
            if (const int e = rdxWriteRange(s.blocks[i].first, s.blockSectors[i], s.blocks[i].second)) return e;
        for (std::size_t sector = 1; sector < s.journalUsed.size(); ++sector)
            if (s.journalUsed[sector] && sector != kRecordSector)
                if (const int e = writeJournalSector(journal_, sector, s.journalImage)) return e;
        if (const int e = writeJournalSector(journal_, kRecordSector, s.journalImage)) return e;
    }

    // In place.
    if (header)
        if (const int e = writeHeaderBlock(next)) return e;
    for (const TypedUpdate& u : updates) {
        const std::uint16_t target = rdxFindTyped(next, u.type);
        if (target == kNoJournal) return Broken;
        if (const int e = rdxEraseBlock(target)) return e;
        if (u.content.empty()) continue;
        const auto bytes = withSum(u);
        if (const int e = rdxWriteRange(target, bytes.size() / kSectorBytes, bytes)) return e;
    }

    // Let go.
    bool changed = false;
    for (std::size_t block : release)
        if (const int e = eraseFreeBlock(next, block, changed)) return e;
    for (const auto& [block, image] : s.blocks)
        if (const int e = eraseFreeBlock(next, block, changed)) return e;
    // Blocks that turned bad go into the header while the record still stands: a pull here
    // rolls forward again and finds them again.
    if (changed) {
        storeBlockSum(next.bytes);
        if (const int e = writeHeaderBlock(next)) return e;
    }
    return rdxEraseBlock(journal_);
}

int writeHeaderSafely(const CardHeader& onCard, CardHeader& next) {
    CardChange change(onCard, rdxFindJournal(onCard, onCard.mapLength()));
    return change.commit(next, {}, {});
}

}  // namespace control
