// The journal repair: a change cut short rolls back or forward, a format under way is
// finished, and an older journal (a state byte alone) is repaired by its state.
#include <algorithm>

#include "control/errors.h"
#include "control/host.h"
#include "control/link.h"
#include "control/state.h"
#include "journal.h"
#include "journal_record.h"

namespace control {
namespace {

using namespace cardError;
using namespace journal;

// How far a journal is looked for while block 0 holds no header: past a few bad blocks.
constexpr std::size_t kMarkSearch = 8;

std::uint32_t lastSector() { return static_cast<std::uint32_t>(rdxGeometry().sectorsPerBlock - 1); }

Found markFound(const Sector& s) { return readMark(s).found; }

bool formatMark(const Sector& s) {
    const Mark m = readMark(s);
    return m.found == Found::Valid && m.state == kJournalFormat;
}

// What a journal block that is not idle holds.
struct JournalState {
    bool idle = false;
    Mark mark;
    std::uint8_t state = kJournalIdle;
    bool formatting = false;
    Record record;
};

int readJournalState(std::uint16_t journal, JournalState& j) {
    Sector s;
    if (const int e = readAgreed(journal, 0, s)) return e;
    if (erased(s)) {
        j.idle = true;
        return Done;
    }
    j.mark = readMark(s);
    j.state = s[0];
    if (j.mark.found == Found::Damaged) {
        if (const int e = readSettled(journal, 0, s, markFound)) return e;
        j.mark = readMark(s);
        j.state = s[0];
    }
    j.formatting = formatMark(s);
    if (!j.formatting) {
        if (const int e = readSettled(journal, lastSector(), s, markFound)) return e;
        j.formatting = formatMark(s);
    }
    if (const int e = readSettled(journal, kRecordSector, s, [&](const Sector& r) { return readRecord(r, journal).found; }))
        return e;
    j.record = readRecord(s, journal);
    return Done;
}

// A copy the record names, read until it passes its check (or reads erased).
struct Copy {
    CopyEntry entry;
    std::vector<std::uint8_t> bytes;
    bool apply = false;
};

bool passes(const Copy& c) {
    if (c.entry.checked) return crc32(c.bytes) == c.entry.crc;
    if (c.entry.type == kBlockHeader) {
        CardHeader h;
        std::copy_n(c.bytes.begin(), kHeaderBytes, h.bytes.begin());
        return h.kind() == KindOwn && h.sumMatches();
    }
    const auto used = std::span(c.bytes).first(typedBlockBytes(c.entry.type));
    return c.bytes[0] != 0xFF && blockSumMatches(used);
}

int readCopy(Copy& c) {
    c.bytes.assign(std::size_t{c.entry.sectors} * kSectorBytes, 0xFF);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (const int e = rdxReadRange(c.entry.block, c.entry.sector, c.entry.sectors, c.bytes)) return e;
        if (passes(c) || erased(c.bytes)) return Done;
    }
    return Done;
}

// Rolls a committed change forward: the header copy and the typed copies go in place. Every
// copy is checked before anything is written; a copy that fails its check means the staging
// never ended (`committed` false). A copy outside the journal that reads erased was let go
// after its target was written.
int rollForward(const Record& record, std::uint16_t journal, CardHeader& h, bool& headerOk, bool& committed) {
    committed = false;
    std::vector<Copy> copies;
    for (const CopyEntry& e : record.entries) {
        Copy c{e, {}, false};
        if (e.block == kNoCopy) continue;
        if (e.block == kEraseEntry) {
            c.apply = true;
        } else {
            if (const int r = readCopy(c)) return r;
            c.apply = passes(c);
            const bool letGo = erased(c.bytes) && e.block != journal;
            if (!c.apply && !letGo && e.checked) return Done;
        }
        copies.push_back(std::move(c));
    }
    committed = true;
    for (const Copy& c : copies) {
        if (!c.apply || c.entry.type != kBlockHeader) continue;
        CardHeader copy;
        std::copy_n(c.bytes.begin(), kHeaderBytes, copy.bytes.begin());
        if (!headerOk || copy.bytes != h.bytes)
            if (const int e = writeHeaderBlock(copy)) return e;
        h = copy;
        headerOk = true;
    }
    if (!headerOk) return HeaderSum;
    for (const Copy& c : copies) {
        if (!c.apply || c.entry.type == kBlockHeader) continue;
        const std::uint16_t target = rdxFindTyped(h, c.entry.type);
        if (target == kNoJournal) continue;
        if (const int e = rdxEraseBlock(target)) return e;
        if (c.entry.block == kEraseEntry) continue;
        const std::size_t sectors = (typedBlockBytes(c.entry.type) + kSectorBytes - 1) / kSectorBytes;
        if (const int e = rdxWriteRange(target, sectors, c.bytes)) return e;
    }
    return Done;
}

// Nothing was committed: the blocks the map calls free are erased. Blocks that turned bad
// go into the header through a change of its own.
int rollBack(CardHeader& h, std::uint16_t journal) {
    const CardHeader onCard = h;
    bool changed = false;
    if (const int e = eraseAllFree(h, changed)) return e;
    if (const int e = rdxEraseBlock(journal)) return e;
    return changed ? writeHeaderSafely(onCard, h) : Done;
}

// An older journal: a state byte alone, repaired by its state; the header goes through the
// journal all the same.
int repairOlder(CardHeader& h, std::uint16_t journal, std::uint8_t state) {
    const CardHeader onCard = h;
    if (state == kJournalWriting) {
        bool changed = false;
        if (const int e = eraseAllFree(h, changed)) return e;
    } else if (state <= kChannels) {
        setProgressLength(h.channelBlocks(state));
        if (const int e = eraseChannelBlocks(h, state, h.mapLength())) return e;
    }
    CardChange change(onCard, journal);
    change.adopt();
    return change.commit(h, {}, {});
}

}  // namespace

int findMarkedJournal(std::uint16_t& journal) {
    journal = kNoJournal;
    const Geometry g = rdxGeometry();
    const auto blocks = static_cast<std::size_t>(g.blocksFirstChip + g.blocksSecondChip);
    Sector s;
    // The journal is the first block a format found good; bad ones before it may read as
    // anything, erased too, so every one of the first few is looked at.
    for (std::size_t b = 1; b <= kMarkSearch && b < blocks; ++b) {
        const auto block = static_cast<std::uint16_t>(b);
        if (const int e = readSettled(b, 0, s, markFound)) return e;
        if (erased(s)) continue;
        bool ours = readMark(s).found != Found::Absent;
        if (!ours) {
            if (const int e = readSettled(b, kRecordSector, s, [&](const Sector& r) { return readRecord(r, block).found; }))
                return e;
            ours = readRecord(s, block).found != Found::Absent;
        }
        if (!ours) {
            if (const int e = readSettled(b, lastSector(), s, markFound)) return e;
            ours = formatMark(s);
        }
        if (ours) {
            journal = block;
            return Done;
        }
    }
    return Done;
}

int repairJournal() {
    LinkSession session;
    setProgress(0, 0);
    CardHeader h;
    const int identified = rdxIdentifyCard(h);
    if (identified != Done && identified != SumError) return identified;
    if (h.kind() != KindOwn && h.kind() != KindBlank) return OtherKind;
    bool headerOk = identified == Done && h.kind() == KindOwn;
    const int broken = h.kind() == KindBlank ? Unformatted : HeaderSum;
    std::uint16_t journal = kNoJournal;
    if (headerOk)
        journal = rdxFindJournal(h, h.mapLength());
    else if (const int e = findMarkedJournal(journal))
        return e;
    if (journal == kNoJournal) return headerOk ? Broken : broken;

    JournalState j;
    if (const int e = readJournalState(journal, j)) return e;
    // An erased journal is what a card pulled during the read shows too.
    if (j.idle) return headerOk ? rdxConfirmCard() : broken;
    if (j.formatting) return formatKeeping(journal);
    // A state that fails its check is never acted on.
    if (j.mark.found == Found::Damaged && j.record.found != Found::Valid) return RepairFailed;

    if (j.record.found == Found::Valid) {
        bool committed = false;
        if (const int e = rollForward(j.record, journal, h, headerOk, committed)) return e;
        if (committed) {
            bool changed = false;
            if (const int e = eraseAllFree(h, changed)) return e;
            if (changed) {
                storeBlockSum(h.bytes);
                if (const int e = writeHeaderBlock(h)) return e;
            }
            const int e = rdxEraseBlock(journal);
            setProgressPosition(progressLength());
            return e;
        }
    }
    if (!headerOk) return broken;
    if (j.mark.found == Found::Damaged) return RepairFailed;
    const int e = j.mark.found == Found::Valid ? rollBack(h, journal) : repairOlder(h, journal, j.state);
    setProgressPosition(progressLength());
    return e;
}

}  // namespace control
