#include "control/card.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <numeric>

#include "control/errors.h"
#include "control/host.h"
#include "control/link.h"
#include "control/state.h"
#include "journal.h"

namespace control {
namespace {

using namespace cardError;

std::atomic<int> lastKind{KindBlank};

constexpr std::size_t kHeaderSectors = kHeaderBytes / kSectorBytes;

std::size_t sectorsFor(std::size_t bytes) { return (bytes + kSectorBytes - 1) / kSectorBytes; }

std::uint32_t firstSectorOf(std::size_t block) { return rdxFirstSector(block); }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

std::uint16_t findTyped(const CardHeader& header, std::uint8_t type) { return rdxFindTyped(header, type); }

// A typed block of a card whose header is known: its sectors, then its sum (110 leaves the
// data in place). A block that fails its sum is read once more: a bit flipped on the way in
// does not come twice. Any other failure leaves no data.
int readTypedAt(const CardHeader& header, std::uint8_t type, std::vector<std::uint8_t>& data) {
    data.clear();
    const std::size_t bytes = typedBlockBytes(type);
    if (bytes == 0) return BadBlockType;
    if (type == kBlockHeader) {
        data.assign(header.bytes.begin(), header.bytes.end());
        return Done;
    }
    const std::uint16_t block = findTyped(header, type);
    if (block == kNoJournal) return Broken;
    std::vector<std::uint8_t> read(sectorsFor(bytes) * kSectorBytes, 0);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (const int e = rdxReadRange(block, 0, sectorsFor(bytes), read)) {
            data.clear();
            return e;
        }
        data.assign(read.begin(), read.begin() + static_cast<std::ptrdiff_t>(bytes));
        if (type == kBlockJournal || blockSumMatches(data)) return Done;
    }
    return SumError;
}

// The header sectors, read once more when they fail the sum.
int readHeaderSectors(CardHeader& header) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (const int e = rdxReadRange(0, 0, kHeaderSectors, header.bytes)) return e;
        lastKind = header.kind();
        if (header.kind() != KindOwn || header.sumMatches()) return Done;
    }
    return SumError;
}

// The header sectors alone, for a check that has just asked the status.
int readHeader(CardHeader& header) { return readHeaderSectors(header); }

// Block 0 holds no valid header: a change or a format under way says so in its journal.
int brokenHeader(int error) {
    std::uint16_t journal = kNoJournal;
    if (const int e = findMarkedJournal(journal)) return e;
    if (journal != kNoJournal) return JournalSet;
    if (error == HeaderSum)
        if (const int e = rdxConfirmCard()) return e;
    return error;
}

int identifyOwn(CardHeader& header) { return rdxIdentifyOwnCard(header); }

bool isBlank(const std::vector<std::uint8_t>& block) { return !block.empty() && block[0] == 0xFF; }

bool erasedBytes(const std::vector<std::uint8_t>& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b == 0xFF; });
}

// One typed block of the full check: blank blocks pass whatever their sum; a wrong sum is
// what a card pulled during the read leaves too, so the reader is asked first.
int checkTyped(CardSnapshot& snapshot, std::uint8_t type, int sumError) {
    std::vector<std::uint8_t> block;
    const int e = readTypedAt(snapshot.header, type, block);
    if (e == SumError && !isBlank(block)) {
        if (const int gone = rdxConfirmCard()) return gone;
        return sumError;
    }
    if (e != Done && e != SumError) return e;
    snapshot.typed[type] = std::move(block);
    return Done;
}

// Erases a block for a scan; an erase failure marks the entry bad and the scan goes on.
int eraseOrMarkBad(std::size_t block, std::uint8_t& entry) {
    const int e = rdxEraseBlock(static_cast<std::uint32_t>(block));
    if (e == EraseFailed) {
        entry = kBlockBad;
        return Done;
    }
    return e;
}

// A message write left the journal at anything but idle, or there is no journal: blocks the
// map calls free may hold data.
int freeBlocksMayHoldData(const CardHeader& old, bool& mayHoldData) {
    mayHoldData = true;
    const std::uint16_t journal = rdxFindJournal(old, old.mapLength());
    if (journal == kNoJournal) return Done;
    std::uint8_t value = 0;
    if (const int e = rdxReadJournal(journal, value)) return e;
    mayHoldData = value != kJournalIdle;
    return Done;
}

// Format of a card that holds our layout: keeps its bad blocks, erases what held data. The
// journal block is left for last: it says that a format is under way.
int scanOwnCard(const CardHeader& old, CardHeader& fresh, std::size_t length, bool eraseFree,
                std::uint16_t journal) {
    const int used = old.blocksFirstChip() + old.blocksSecondChip() - old.freeBlocks() - old.badBlocks() - 1;
    setProgressLength(std::max(used, 0) + (eraseFree ? old.freeBlocks() : 0));
    const std::size_t oldLength = old.mapLength();
    for (std::size_t i = 1; i < length; ++i) {
        if (i == journal) continue;
        rdxPumpMessage();
        // Blocks past the old map were never the map's: their content is unknown.
        const bool mapped = i < oldLength;
        const std::uint8_t entry = mapped ? old.map(i) : kBlockFree;
        if (mapped && entry == kBlockBad) {
            fresh.map(i) = kBlockBad;
            continue;
        }
        if (mapped && (entry == kBlockHeader || (entry == kBlockFree && !eraseFree))) continue;
        if (const int e = eraseOrMarkBad(i, fresh.map(i))) return e;
        advanceProgress();
    }
    return Done;
}

// Format of a blank card: a block whose first sector is not blank is not trusted; every
// other block is erased, since data may lie past its first sector.
int scanBlankCard(CardHeader& fresh, std::size_t length, std::uint16_t journal) {
    setProgressLength(static_cast<long>(length) - 1);
    std::array<std::uint8_t, kSectorBytes> sector{};
    for (std::size_t i = 1; i < length; ++i) {
        if (i == journal) continue;
        rdxPumpMessage();
        if (const int e = rdxReadSectors(firstSectorOf(i), 1, sector)) return e;
        if (std::any_of(sector.begin(), sector.end(), [](std::uint8_t b) { return b != 0xFF; }))
            fresh.map(i) = kBlockBad;
        else if (const int e = eraseOrMarkBad(i, fresh.map(i)))
            return e;
        advanceProgress();
    }
    return Done;
}

// A card of unknown content: every block is erased.
int scanUnknownCard(CardHeader& fresh, std::size_t length) {
    setProgressLength(static_cast<long>(length) - 1);
    for (std::size_t i = 1; i < length; ++i) {
        rdxPumpMessage();
        if (const int e = eraseOrMarkBad(i, fresh.map(i))) return e;
        advanceProgress();
    }
    return Done;
}

// The new header of a format, before the scan: every block free but the header.
CardHeader freshHeader(const Geometry& g) {
    CardHeader h;
    std::copy(kModelId.begin(), kModelId.end(), h.bytes.begin());
    std::size_t first = 0, second = 0;
    if (g.chipClass >= 5) {
        first = kMaxMapEntries;
    } else {
        // Two chips may hold more blocks than the map: the rest is not used.
        first = std::min<std::size_t>(static_cast<std::size_t>(g.blocksFirstChip), kMaxMapEntries);
        second = std::min<std::size_t>(static_cast<std::size_t>(g.blocksSecondChip), kMaxMapEntries - first);
    }
    h.setWord(8, static_cast<std::uint16_t>(first));
    h.setWord(10, static_cast<std::uint16_t>(second));
    h.setFreeBlocks(static_cast<std::uint16_t>(first + second - 1));
    std::fill_n(h.bytes.begin() + kMapOffset, first + second, kBlockFree);
    h.map(0) = kBlockHeader;
    return h;
}

// Counts the bad blocks and places the typed blocks on the first free ones.
bool layOutTypedBlocks(CardHeader& h) {
    const std::size_t length = h.mapLength();
    std::uint16_t bad = 0;
    for (std::size_t i = 1; i < length; ++i)
        if (h.map(i) == kBlockBad) ++bad;
    h.setBadBlocks(bad);
    h.setFreeBlocks(static_cast<std::uint16_t>(h.freeBlocks() - bad));
    std::size_t next = 1;
    for (std::uint8_t type : {kBlockJournal, kBlockSettings, kBlockPatterns, kBlockCalendar, kBlockNames}) {
        while (next < length && h.map(next) != kBlockFree) ++next;
        if (next >= length) return false;
        h.map(next) = type;
        h.setFreeBlocks(static_cast<std::uint16_t>(h.freeBlocks() - 1));
    }
    return true;
}

int eraseTypedBlocks(std::initializer_list<std::uint8_t> types) {
    for (std::uint8_t type : types)
        if (const int e = rdxWriteBlockData(type, {})) return e;
    return Done;
}

}  // namespace

std::size_t typedBlockBytes(std::uint8_t type) {
    switch (type) {
    case kBlockHeader: return kHeaderBytes;
    case kBlockJournal:
    case kBlockSettings: return 512;
    case kBlockPatterns: return 2048;
    case kBlockCalendar:
    case kBlockNames: return 4096;
    default: return 0;
    }
}

std::uint16_t rdxBlockSum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint16_t>(std::accumulate(bytes.begin(), bytes.end(), 0u));
}

std::uint16_t rdxHeaderSum(std::span<const std::uint8_t> header) {
    return rdxBlockSum(header.first(kHeaderSumOffset));
}

void storeBlockSum(std::span<std::uint8_t> block) {
    const std::size_t at = block.size() - 2;
    const std::uint16_t sum = rdxBlockSum(block.first(at));
    block[at] = static_cast<std::uint8_t>(sum & 0xFF);
    block[at + 1] = static_cast<std::uint8_t>(sum >> 8);
}

bool blockSumMatches(std::span<const std::uint8_t> block) {
    const std::size_t at = block.size() - 2;
    return rdxBlockSum(block.first(at)) == (block[at] | block[at + 1] << 8);
}

std::uint16_t CardHeader::word(std::size_t offset) const {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

void CardHeader::setWord(std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint32_t CardHeader::dword(std::size_t offset) const {
    return static_cast<std::uint32_t>(word(offset)) | static_cast<std::uint32_t>(word(offset + 2)) << 16;
}

void CardHeader::setDword(std::size_t offset, std::uint32_t value) {
    setWord(offset, static_cast<std::uint16_t>(value & 0xFFFF));
    setWord(offset + 2, static_cast<std::uint16_t>(value >> 16));
}

std::size_t CardHeader::mapLength() const {
    return std::min<std::size_t>(std::size_t{blocksFirstChip()} + blocksSecondChip(), kMaxMapEntries);
}

std::string_view CardHeader::id() const {
    return {reinterpret_cast<const char*>(bytes.data()), kModelId.size()};
}

CardKind CardHeader::kind() const {
    if (equalsIgnoringCase(id(), kModelId)) return KindOwn;
    if (equalsIgnoringCase(id(), "LNC-E207")) return KindLnc;
    if (equalsIgnoringCase(id(), "MQT512-H")) return KindMqt;
    if (bytes[0] == 0xFF && bytes[1] == 0xFF && bytes[2] == 0xFF) return KindBlank;
    return KindOther;
}

bool CardHeader::sumMatches() const { return blockSumMatches(bytes); }

CardKind rdxCardKind() { return static_cast<CardKind>(lastKind.load()); }

int rdxIdentifyCard(CardHeader& header) {
    LinkSession session;
    if (const int e = rdxTransact(CmdStatus, 0)) return e;
    return readHeaderSectors(header);
}

int rdxIdentifyOwnCard(CardHeader& header) {
    if (const int e = rdxIdentifyCard(header)) return e;
    if (header.kind() == KindBlank) return Unformatted;
    if (header.kind() != KindOwn) return OtherKind;
    return Done;
}

int rdxReadBlockData(std::uint8_t type, std::vector<std::uint8_t>& data) {
    LinkSession session;
    CardHeader header;
    data.clear();
    if (const int e = identifyOwn(header)) return e;
    return readTypedAt(header, type, data);
}

int rdxWriteBlockData(std::uint8_t type, std::span<const std::uint8_t> data) {
    LinkSession session;
    CardHeader header;
    if (const int e = identifyOwn(header)) return e;
    const std::size_t bytes = typedBlockBytes(type);
    if (bytes == 0 || (!data.empty() && data.size() != bytes)) return BadBlockType;
    const std::uint16_t block = findTyped(header, type);
    if (block == kNoJournal) return Broken;
    if (const int e = rdxEraseBlock(block)) return e;
    if (data.empty()) return Done;
    std::vector<std::uint8_t> buffer(data.begin(), data.end());
    if (type != kBlockJournal) storeBlockSum(buffer);
    return rdxWriteSectors(firstSectorOf(block), sectorsFor(bytes), buffer);
}

int rdxWriteHeader(CardHeader& header) {
    LinkSession session;
    storeBlockSum(header.bytes);
    return writeHeaderBlock(header);
}

std::uint16_t rdxFindJournal(const CardHeader& header, std::size_t mapLength) {
    const std::size_t length = std::min(mapLength, kMaxMapEntries);
    for (std::size_t i = 0; i < length; ++i)
        if (header.map(i) == kBlockJournal) return static_cast<std::uint16_t>(i);
    return kNoJournal;
}

int rdxSetJournal(std::uint8_t value, std::uint16_t journalBlock) {
    if (journalBlock == kNoJournal) return Broken;
    LinkSession session;
    if (const int e = rdxEraseBlock(journalBlock)) return e;
    if (value == kJournalIdle) return Done;
    std::array<std::uint8_t, kSectorBytes> sector;
    sector.fill(0xFF);
    sector[0] = value;
    return rdxWriteSectors(firstSectorOf(journalBlock), 1, sector);
}

int rdxReadJournal(std::uint16_t journalBlock, std::uint8_t& value) {
    if (journalBlock == kNoJournal) return Broken;
    LinkSession session;
    std::array<std::uint8_t, kSectorBytes> sector{};
    if (const int e = rdxReadSectors(firstSectorOf(journalBlock), 1, sector)) return e;
    value = sector[0];
    return Done;
}

int eraseChannelBlocks(CardHeader& header, int channel, std::size_t mapLength) {
    const std::size_t length = std::min(mapLength, kMaxMapEntries);
    std::uint16_t freed = 0;
    for (std::size_t i = 1; i < length; ++i) {
        if (header.map(i) != channel) continue;
        rdxPumpMessage();
        header.map(i) = kBlockFree;
        const int e = rdxEraseBlock(static_cast<std::uint32_t>(i));
        if (e == EraseFailed) {
            header.map(i) = kBlockBad;
            header.setBadBlocks(static_cast<std::uint16_t>(header.badBlocks() + 1));
        } else if (e != Done) {
            return e;
        } else {
            ++freed;
        }
        advanceProgress();
    }
    header.setFreeBlocks(static_cast<std::uint16_t>(header.freeBlocks() + freed));
    header.setChannelBlocks(channel, 0);
    header.setChannelLength(channel, 0);
    return Done;
}

int rdxEraseChannel(CardHeader& header, int channel, std::size_t mapLength) {
    if (channel < 1 || channel > kChannels) return BadChannel;
    if (header.channelBlocks(channel) == 0) return Done;
    LinkSession session;
    if (const int e = eraseChannelBlocks(header, channel, mapLength)) return e;
    return rdxWriteHeader(header);
}

int rdxCheckCard() {
    CardSnapshot snapshot;
    return rdxCheckCard(snapshot);
}

int rdxCheckCard(CardSnapshot& snapshot) {
    LinkSession session;
    snapshot = {};
    std::size_t blockBytes = 0;
    if (const int e = rdxCardStatus(blockBytes)) return e;
    if (blockBytes == 0 || blockBytes > 16384) return Unrecognised;
    snapshot.blockBytes = blockBytes;

    CardHeader& header = snapshot.header;
    const int read = readHeader(header);
    if (read != Done && read != SumError) return read;
    if (header.kind() == KindBlank) return brokenHeader(Unformatted);
    if (header.kind() != KindOwn) return OtherKind;
    if (read == SumError) return brokenHeader(HeaderSum);
    if (header.id() != kModelId) return Unrecognised;
    if (header.bytes[kCardVersionOffset] > 1 || header.bytes[kDataVersionOffset] > 1) return CardVersion;

    if (const int e = readTypedAt(header, kBlockJournal, snapshot.journal)) return e;
    // An idle journal is erased whole; a sector that is not is read once more, so that a bit
    // flipped on the way in is neither reported nor handed on in a dump. Read alike twice it
    // is what the card holds, idle when its state byte says so.
    if (!erasedBytes(snapshot.journal)) {
        const std::vector<std::uint8_t> first = snapshot.journal;
        if (const int e = readTypedAt(header, kBlockJournal, snapshot.journal)) return e;
        if (!erasedBytes(snapshot.journal) && (snapshot.journal != first || first[0] != kJournalIdle))
            return JournalSet;
    }

    if (const int r = checkTyped(snapshot, kBlockSettings, SettingsSum)) return r;
    if (const int r = checkTyped(snapshot, kBlockPatterns, PatternsSum)) return r;
    if (const int r = checkTyped(snapshot, kBlockCalendar, CalendarSum)) return r;
    return checkTyped(snapshot, kBlockNames, NamesSum);
}

int rdxConfirmCard() {
    std::size_t blockBytes = 0;
    return rdxCardStatus(blockBytes);
}

std::uint32_t rdxFirstSector(std::size_t block) {
    return static_cast<std::uint32_t>(block) * static_cast<std::uint32_t>(rdxGeometry().sectorsPerBlock);
}

std::uint16_t rdxFindTyped(const CardHeader& header, std::uint8_t type) {
    if (type == kBlockHeader) return 0;
    const std::size_t length = header.mapLength();
    for (std::size_t i = 0; i < length; ++i)
        if (header.map(i) == type) return static_cast<std::uint16_t>(i);
    return kNoJournal;
}

int rdxFormat() { return formatKeeping(kNoJournal); }

int formatKeeping(std::uint16_t keep) {
    LinkSession session;
    setProgress(0, 0);
    CardHeader old;
    const int identified = rdxIdentifyCard(old);
    // A format broken off while it rewrote block 0 is finished over whatever block 0 holds.
    const bool resumed = keep != kNoJournal;
    if (identified != Done && !(resumed && identified == SumError)) return identified;
    const Geometry g = rdxGeometry();
    if (g.chipClass < 1 || g.chipClass > 7) return OtherKind;
    // A sibling card belongs to another device: its data is kept.
    if (old.kind() == KindLnc || old.kind() == KindMqt) return OtherKind;

    CardHeader fresh = freshHeader(g);
    const std::size_t length = fresh.mapLength();
    const bool own = old.kind() == KindOwn && identified == Done;
    // The journal says "format under way" until the new header stands, so that a pull
    // never leaves the old header over erased blocks.
    std::uint16_t journal = own ? rdxFindJournal(old, old.mapLength()) : keep;
    bool eraseFree = false;
    if (own)
        if (const int e = freeBlocksMayHoldData(old, eraseFree)) return e;
    if (own && journal != kNoJournal && journal != keep)
        if (const int e = markFormat(journal, eraseFree)) return e;
    int scanned = Done;
    if (own)
        scanned = scanOwnCard(old, fresh, length, eraseFree, journal);
    else if (old.kind() == KindBlank || resumed)
        scanned = scanBlankCard(fresh, length, journal);
    else
        scanned = scanUnknownCard(fresh, length);
    if (scanned != Done) return scanned;

    const bool placed = layOutTypedBlocks(fresh);
    // A card that held no journal of ours gets it now, before block 0 is touched.
    if (journal == kNoJournal) {
        journal = rdxFindJournal(fresh, length);
        if (journal != kNoJournal)
            if (const int e = markJournal(journal, kJournalFormat)) return e;
    }
    if (const int e = rdxWriteHeader(fresh)) return e;
    if (journal != kNoJournal)
        if (const int e = rdxEraseBlock(journal)) return e;
    return placed ? Done : RepairFailed;
}

int rdxRepair(int error) {
    switch (error) {
    case SettingsSum: return eraseTypedBlocks({kBlockSettings});
    case PatternsSum:
    case CalendarSum:
    case NamesSum: return eraseTypedBlocks({kBlockPatterns, kBlockCalendar, kBlockNames});
    case JournalSet: return rdxRepairJournal();
    default: return RepairFailed;
    }
}

int rdxRepairJournal() { return repairJournal(); }

}  // namespace control
