#include "control/message.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <vector>

#include "card_file.h"
#include "control/card.h"
#include "control/errors.h"
#include "control/host.h"
#include "control/link.h"
#include "control/state.h"
#include "control/wave.h"
#include "journal.h"

namespace control {
namespace {

using namespace cardError;

enum class FileKind { Wave, Raw, Firmware, Other };

FileKind kindOf(const std::string& fileName) {
    const auto dot = fileName.find_last_of('.');
    const auto slash = fileName.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return FileKind::Other;
    std::string ext = fileName.substr(dot, 4);
    for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (ext == ".WAV") return FileKind::Wave;
    if (ext == ".DAT") return FileKind::Raw;
    if (ext == ".HEX") return FileKind::Firmware;
    return FileKind::Other;
}

std::size_t blockSize() { return rdxGeometry().blockBytes(); }

void setFree(CardHeader& h, long value) { h.setFreeBlocks(static_cast<std::uint16_t>(std::max(value, 0L))); }

// The next free map entry from `from` on, or 0 when there is none (block 0 is the header).
std::size_t nextFree(const CardHeader& h, std::size_t from) {
    const std::size_t length = h.mapLength();
    for (std::size_t i = std::max<std::size_t>(from, 1); i < length; ++i)
        if (h.map(i) == kBlockFree) return i;
    return 0;
}

// The blocks of a channel, in map order.
std::vector<std::size_t> blocksOf(const CardHeader& h, int channel) {
    std::vector<std::size_t> blocks;
    const std::size_t length = h.mapLength();
    for (std::size_t i = 1; i < length; ++i)
        if (h.map(i) == channel) blocks.push_back(i);
    return blocks;
}

// A card about to change: its journal must be idle, or an earlier change waits for repair.
int openForChange(const CardHeader& h, std::uint16_t& journal) {
    journal = rdxFindJournal(h, h.mapLength());
    if (journal == kNoJournal) return Broken;
    std::uint8_t value = 0;
    if (const int e = rdxReadJournal(journal, value)) return e;
    return value == kJournalIdle ? Done : JournalSet;
}

// A message may take free blocks only down to those the copies of a change need (or down to
// what is left of them on a card filled by other means).
bool leavesRoomForChanges(const CardHeader& h, std::uint64_t own, std::uint64_t needed) {
    const std::uint64_t free = h.freeBlocks();
    if (free + own < needed) return false;
    return free + own - needed >= std::min<std::uint64_t>(rdxKeptBlocks(), free);
}

// The channel gives up its blocks in `next`; they are erased once `next` stands.
std::vector<std::size_t> releaseChannel(CardHeader& next, int channel) {
    const auto blocks = blocksOf(next, channel);
    for (std::size_t b : blocks) next.map(b) = kBlockFree;
    next.setFreeBlocks(static_cast<std::uint16_t>(next.freeBlocks() + blocks.size()));
    next.setChannelBlocks(channel, 0);
    next.setChannelLength(channel, 0);
    return blocks;
}

// Where new blocks of one channel go: free entries in map order, each written whole.
class BlockPlacer {
public:
    BlockPlacer(CardHeader& h, int channel) : h_(h), channel_(channel) {}

    // Writes one block; with `retry`, a block the reader refuses turns bad and the data goes
    // to the next free block. NoFreeWhileWriting when no free block is left.
    int place(std::span<const std::uint8_t> block, bool retry) {
        for (;;) {
            const std::size_t entry = nextFree(h_, from_);
            if (entry == 0) return NoFreeWhileWriting;
            from_ = entry + 1;
            h_.map(entry) = static_cast<std::uint8_t>(channel_);
            const int e = rdxWriteBlock(static_cast<std::uint32_t>(entry), block);
            if (e == Done) {
                ++written_;
                advanceProgress();
                return Done;
            }
            if (e != WriteRefused || !retry) return e;
            h_.map(entry) = kBlockBad;
            h_.setBadBlocks(static_cast<std::uint16_t>(h_.badBlocks() + 1));
            setFree(h_, h_.freeBlocks() - 1L);
        }
    }
    std::size_t written() const { return written_; }

private:
    CardHeader& h_;
    int channel_;
    std::size_t from_ = 1;
    std::size_t written_ = 0;
};

// Writes a channel's new blocks into free blocks while its old ones stay, then lets the
// header switch from the old to the new in one commit. Where the card has no room for
// both, the old message is erased first (its own commit) and the channel may be left empty.
class ChannelWrite {
public:
    ChannelWrite(CardHeader& h, int channel, std::uint16_t journal) : h_(h), channel_(channel), journal_(journal) {}

    // Makes room for `needed` blocks.
    int prepare(std::size_t needed) {
        if (h_.freeBlocks() >= needed) return Done;
        const CardHeader onCard = h_;
        const auto old = releaseChannel(h_, channel_);
        if (const int e = CardChange(onCard, journal_).commit(h_, {}, old)) return e;
        return h_.freeBlocks() < needed ? NoFreeAfterErase : Done;
    }

    // From here on new blocks may be written: the journal is marked.
    int begin() {
        onCard_ = h_;
        change_.emplace(onCard_, journal_);
        return change_->begin();
    }
    BlockPlacer& placer() { return placer_; }

    // The channel holds the blocks written: the old ones are let go.
    int finish(std::uint32_t length) {
        const std::size_t written = placer_.written();
        const std::size_t ownBefore = onCard_.channelBlocks(channel_);
        std::vector<std::size_t> old;
        for (std::size_t b = 1; b < onCard_.mapLength(); ++b)
            if (onCard_.map(b) == channel_) {
                h_.map(b) = kBlockFree;
                old.push_back(b);
            }
        setFree(h_, static_cast<long>(h_.freeBlocks()) - static_cast<long>(written) + static_cast<long>(ownBefore));
        h_.setChannelBlocks(channel_, static_cast<std::uint16_t>(written));
        h_.setChannelLength(channel_, length);
        return change_->commit(h_, {}, old);
    }

    // The free blocks ran out part-way: the channel keeps what was written.
    int keepPartial() {
        const auto length = static_cast<std::uint32_t>(placer_.written() * blockSize() / 16);
        if (const int e = finish(length)) return e;
        return NoFreeWhileWriting;
    }

private:
    CardHeader& h_;
    int channel_;
    std::uint16_t journal_;
    CardHeader onCard_;
    std::optional<CardChange> change_;
    BlockPlacer placer_{h_, channel_};
};

int writeSound(CardHeader& h, int channel, std::uint16_t journal, CardFile& file, WaveData data) {
    const std::size_t block = blockSize();
    const std::uint64_t needed = (data.size + block - 1) / block;
    const std::uint64_t own = h.channelBlocks(channel);
    if (!leavesRoomForChanges(h, own, needed)) return NoFreeBlock;
    setProgressLength(static_cast<long>(needed + own));
    rdxPumpMessage();
    ChannelWrite write(h, channel, journal);
    if (const int e = write.prepare(static_cast<std::size_t>(needed))) return e;
    if (const int e = write.begin()) return e;

    std::vector<std::uint8_t> buffer(block);
    for (std::uint64_t k = 0; k < needed; ++k) {
        rdxPumpMessage();
        std::fill(buffer.begin(), buffer.end(), 0xFF);
        const std::uint64_t at = k * block;
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(block, data.size - at));
        if (fseeko(file.get(), static_cast<off_t>(data.offset + at), SEEK_SET) == 0)
            static_cast<void>(std::fread(buffer.data(), 1, want, file.get()));  // past the end: 0xFF
        const int e = write.placer().place(buffer, true);
        if (e == NoFreeWhileWriting) return write.keepPartial();
        if (e != Done) return e;
    }
    return write.finish(static_cast<std::uint32_t>(data.size / 16));
}

int writeFirmware(CardHeader& h, int channel, std::uint16_t journal, const std::string& fileName) {
    const std::size_t block = blockSize();
    const std::size_t needed = kFirmwareAreaBytes / block;
    const std::size_t own = h.channelBlocks(channel);
    if (!leavesRoomForChanges(h, own, needed)) return NoFreeBlock;
    setProgressLength(static_cast<long>(needed + own));
    CardFile file(fileName, "r");
    if (!file.valid()) return FileOpen;
    // The whole file is read and checked before the old firmware is touched.
    const auto image = readFirmwareImage(file.get());
    if (!image) return FileFormat;
    rdxPumpMessage();
    ChannelWrite write(h, channel, journal);
    if (const int e = write.prepare(needed)) return e;
    if (const int e = write.begin()) return e;

    std::vector<std::uint8_t> buffer(block);
    for (std::size_t at = 0; at < image->size() || write.placer().written() == 0; at += block) {
        rdxPumpMessage();
        std::fill(buffer.begin(), buffer.end(), 0xFF);
        const std::size_t count = std::min(block, image->size() - std::min(at, image->size()));
        std::copy_n(image->begin() + static_cast<long>(at), count, buffer.begin());
        const int e = write.placer().place(buffer, false);
        if (e == NoFreeWhileWriting) return write.keepPartial();
        if (e != Done) return e;
    }
    return write.finish(static_cast<std::uint32_t>(write.placer().written() * block / 16));
}

int eraseMessage(CardHeader& h, int channel, std::uint16_t journal) {
    rdxPumpMessage();
    setProgressLength(h.channelBlocks(channel));
    const CardHeader onCard = h;
    const auto old = releaseChannel(h, channel);
    return CardChange(onCard, journal).commit(h, {}, old);
}

int writeMessage(CardHeader& h, int channel, const std::string& fileName) {
    // Erasing a channel that holds nothing changes nothing: the header says so.
    if (fileName.empty() && h.channelBlocks(channel) == 0) return Done;
    std::uint16_t journal = kNoJournal;
    if (const int e = openForChange(h, journal)) return e;
    if (fileName.empty()) return eraseMessage(h, channel, journal);
    const FileKind kind = kindOf(fileName);
    if (kind == FileKind::Firmware) return writeFirmware(h, channel, journal, fileName);
    if (kind == FileKind::Other) return FileExtension;

    CardFile file(fileName, "rb");
    if (!file.valid()) return FileOpen;
    std::optional<WaveData> data;
    if (kind == FileKind::Wave) {
        data = readWaveLayout(file.get());
    } else if (fseeko(file.get(), 0, SEEK_END) == 0) {
        data = WaveData{0, static_cast<std::uint64_t>(std::max<off_t>(ftello(file.get()), 0))};
    }
    if (!data) return FileFormat;
    return writeSound(h, channel, journal, file, *data);
}

// Removes a message file that could not be written whole.
int discard(CardFile& file, const std::string& fileName, int result) {
    file.close();
    std::remove(fileName.c_str());
    return result;
}

int readRaw(const CardHeader& h, int channel, const std::string& fileName) {
    CardFile file(fileName, "wb");
    if (!file.valid()) return FileCreate;
    std::vector<std::uint8_t> block(blockSize());
    for (std::size_t b : blocksOf(h, channel)) {
        rdxPumpMessage();
        if (const int e = rdxReadBlock(static_cast<std::uint32_t>(b), block)) return discard(file, fileName, e);
        if (std::fwrite(block.data(), 1, block.size(), file.get()) != block.size())
            return discard(file, fileName, FileWrite);
        advanceProgress();
    }
    // A card pulled during the last block delivers 0xFF: the file stands only when the card
    // was still there after it.
    if (const int e = rdxConfirmCard()) return discard(file, fileName, e);
    if (!file.close()) return discard(file, fileName, FileClose);
    return Done;
}

int readWave(const CardHeader& h, int channel, const std::string& fileName) {
    CardFile file(fileName, "wb");
    if (!file.valid()) return FileCreate;
    if (!file.writeAt(0, waveHeader(0))) return discard(file, fileName, FileCreate);
    std::vector<std::uint8_t> block(blockSize());
    std::uint64_t remaining = std::uint64_t{h.channelLength(channel)} * 16;
    std::uint32_t written = 0;
    const auto blocks = blocksOf(h, channel);
    for (std::size_t k = 0; k < blocks.size() && remaining > 0; ++k) {
        rdxPumpMessage();
        if (const int e = rdxReadBlock(static_cast<std::uint32_t>(blocks[k]), block))
            return discard(file, fileName, e);
        const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(remaining, block.size()));
        remaining -= bytes;
        rdxPumpMessage();
        if (std::fwrite(block.data(), 1, bytes, file.get()) != bytes) return discard(file, fileName, FileWrite);
        written += static_cast<std::uint32_t>(bytes);
        advanceProgress();
    }
    if (const int e = rdxConfirmCard()) return discard(file, fileName, e);
    if (written == 0) return discard(file, fileName, Done);
    if (written & 1u) {
        const std::uint8_t pad = 0;
        if (std::fwrite(&pad, 1, 1, file.get()) != 1) return discard(file, fileName, FileWrite);
    }
    if (!file.writeAt(0, waveHeader(written)) || std::fflush(file.get()) != 0)
        return discard(file, fileName, FileWrite);
    if (!file.close()) return discard(file, fileName, FileClose);
    return Done;
}

void copyName(std::vector<std::uint8_t>& names, std::size_t at, const NameField& name) {
    std::copy(name.begin(), name.end(), names.begin() + static_cast<long>(at));
}

std::size_t nameOffset(int channel) { return 256 + kNameBytes * static_cast<std::size_t>(channel - 1); }

void swapNames(std::vector<std::uint8_t>& names, int a, int b) {
    std::swap_ranges(names.begin() + static_cast<long>(nameOffset(a)),
                     names.begin() + static_cast<long>(nameOffset(a) + kNameBytes),
                     names.begin() + static_cast<long>(nameOffset(b)));
}

// Channels a and b trade their blocks, counts and lengths.
void swapChannels(CardHeader& h, int a, int b) {
    const std::size_t length = h.mapLength();
    for (std::size_t i = 1; i < length; ++i) {
        if (h.map(i) == a)
            h.map(i) = static_cast<std::uint8_t>(b);
        else if (h.map(i) == b)
            h.map(i) = static_cast<std::uint8_t>(a);
    }
    const std::uint16_t blocksA = h.channelBlocks(a);
    const std::uint32_t lengthA = h.channelLength(a);
    h.setChannelBlocks(a, h.channelBlocks(b));
    h.setChannelLength(a, h.channelLength(b));
    h.setChannelBlocks(b, blocksA);
    h.setChannelLength(b, lengthA);
}

// Stores names in the names block of a card that passes the full check.
template <typename Edit>
int editNames(Edit edit) {
    LinkSession session;
    CardSnapshot card;
    if (const int e = rdxCheckCard(card)) return e;
    std::vector<std::uint8_t> names = card.typed.at(kBlockNames);
    edit(names);
    std::vector<std::uint8_t> withSum = names;
    storeBlockSum(withSum);
    if (withSum == card.typed.at(kBlockNames)) return Done;
    CardHeader next = card.header;
    CardChange change(card.header, rdxFindJournal(card.header, card.header.mapLength()));
    return change.commit(next, {{kBlockNames, names}}, {});
}

}  // namespace

int rdxReadMessage(int channel, const std::string& fileName) {
    if (channel < 1 || channel > kChannels) return BadChannel;
    LinkSession session;
    CardHeader h;
    if (const int e = rdxIdentifyOwnCard(h)) return e;
    rdxPumpMessage();
    if (h.channelBlocks(channel) == 0) return NoMessage;
    if (fileName.empty()) return NoFileName;
    setProgressLength(h.channelBlocks(channel));
    switch (kindOf(fileName)) {
    case FileKind::Raw: return readRaw(h, channel, fileName);
    case FileKind::Wave: return readWave(h, channel, fileName);
    default: return FileExtension;
    }
}

int rdxReplaceMessage(int a, int b) {
    if (a < 1 || a > 9 || b < 1 || b > 9) return BadChannel;
    LinkSession session;
    CardSnapshot card;
    if (const int e = rdxCheckCard(card)) return e;
    CardHeader next = card.header;
    swapChannels(next, a, b);
    std::vector<std::uint8_t> names = card.typed.at(kBlockNames);
    swapNames(names, a, b);
    std::vector<TypedUpdate> updates;
    if (names != card.typed.at(kBlockNames)) updates.push_back({kBlockNames, names});
    CardChange change(card.header, rdxFindJournal(card.header, card.header.mapLength()));
    return change.commit(next, updates, {});
}

int rdxWriteMessage(int channel, const std::string& fileName) {
    if (channel < 1 || channel > kChannels) return BadChannel;
    LinkSession session;
    CardHeader h;
    if (const int e = rdxIdentifyOwnCard(h)) return e;
    return writeMessage(h, channel, fileName);
}

int rdxSwapChannels(int a, int b) {
    LinkSession session;
    CardHeader h;
    if (const int e = rdxIdentifyOwnCard(h)) return e;
    if (a < 1 || a > kChannels || b < 1 || b > kChannels) return BadChannel;
    if (h.channelBlocks(a) == 0 && h.channelBlocks(b) == 0) return NoMessage;
    std::uint16_t journal = kNoJournal;
    if (const int e = openForChange(h, journal)) return e;
    const CardHeader onCard = h;
    swapChannels(h, a, b);
    return writeHeaderSafely(onCard, h);
}

int rdxWriteMsgName(int channel, const NameField& name, int other) {
    // Names of channels 1..12 lie in the names area; past them lie the pattern names.
    if (channel < 1 || channel > 12) return BadChannel;
    if (other != 0 && (other < 1 || other > 9 || channel > 9)) return BadChannel;
    return editNames([&](std::vector<std::uint8_t>& names) {
        if (other != 0) return swapNames(names, channel, other);
        // A blank names block reads as no names at all: the name makes it a names block,
        // with an empty card name.
        if (names[0] == 0xFF) std::fill_n(names.begin(), kNameBytes, 0);
        copyName(names, nameOffset(channel), name);
    });
}

int rdxWriteCardName(const NameField& name) {
    return editNames([&](std::vector<std::uint8_t>& names) { copyName(names, 0, name); });
}

int rdxMessageBlock(int channel, int n, std::span<std::uint8_t> out, std::size_t& bytes) {
    bytes = 0;
    LinkSession session;
    CardHeader h;
    if (const int e = rdxIdentifyOwnCard(h)) return e;
    if (channel < 1 || channel > kChannels) return BadChannel;
    const int count = h.channelBlocks(channel);
    if (count == 0) return NoMessage;
    const auto blocks = blocksOf(h, channel);
    if (n < 1 || n > count || static_cast<std::size_t>(n) > blocks.size()) return NoSuchBlock;
    rdxPumpMessage();
    const std::size_t block = blockSize();
    if (out.size() < block) return ReceiveFailed;
    if (const int e = rdxReadBlock(static_cast<std::uint32_t>(blocks[n - 1]), out.first(block))) return e;
    bytes = block;
    if (n == count) {
        const std::int64_t rest = std::int64_t{h.channelLength(channel)} * 16 - std::int64_t{n - 1} * static_cast<std::int64_t>(block);
        bytes = static_cast<std::size_t>(std::clamp<std::int64_t>(rest, 0, static_cast<std::int64_t>(block)));
    }
    return Done;
}

}  // namespace control
