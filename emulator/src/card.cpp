#include "emulator/card.h"

#include <algorithm>
#include <cstring>

namespace emulator {

namespace {
std::size_t blocksOf(std::uint8_t code) { return chipInfo(code).blocks; }

// Programming can only clear bits. Eight bytes at a time: this is the hot loop of a write.
void andInto(std::uint8_t* flash, std::span<const std::uint8_t> bytes) {
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t a, b;
        std::memcpy(&a, flash + i, 8);
        std::memcpy(&b, bytes.data() + i, 8);
        a &= b;
        std::memcpy(flash + i, &a, 8);
    }
    for (; i < bytes.size(); ++i) flash[i] &= bytes[i];
}
}  // namespace

Card::Card(std::uint8_t firstChip, std::uint8_t secondChip)
    : firstChip_(firstChip),
      secondChip_(secondChip),
      sectorsPerBlock_(chipInfo(firstChip).sectorsPerBlock),
      blocks_(blocksOf(firstChip) + (secondChip == kNoChip ? 0 : blocksOf(secondChip))) {}

std::uint8_t* Card::writable(std::size_t block) {
    auto& data = blocks_[block];
    if (!data) {
        data = std::make_unique<std::uint8_t[]>(blockBytes());
        std::memset(data.get(), 0xFF, blockBytes());
    }
    return data.get();
}

bool Card::erase(std::size_t block) {
    auto old = std::move(blocks_[block]);
    if (!writeThrough(block)) {
        blocks_[block] = std::move(old);
        return false;
    }
    return true;
}

bool Card::program(std::size_t block, std::size_t offset, std::span<const std::uint8_t> bytes) {
    const bool wasErased = !blocks_[block];
    std::vector<std::uint8_t> before;
    if (fd_ >= 0 && !wasErased)
        before.assign(blocks_[block].get() + offset, blocks_[block].get() + offset + bytes.size());
    std::uint8_t* flash = writable(block) + offset;
    if (wasErased) {
        std::memcpy(flash, bytes.data(), bytes.size());  // 0xFF AND x is x
    } else {
        andInto(flash, bytes);
    }
    if (writeThrough(block)) return true;
    if (wasErased)
        blocks_[block].reset();
    else
        std::memcpy(flash, before.data(), before.size());
    return false;
}

void Card::read(std::size_t block, std::size_t offset, std::span<std::uint8_t> out) const {
    if (const std::uint8_t* data = blocks_[block].get())
        std::memcpy(out.data(), data + offset, out.size());
    else
        std::memset(out.data(), 0xFF, out.size());
}

void Card::poke(std::size_t offset, std::span<const std::uint8_t> bytes) {
    if (offset > sizeBytes() || bytes.size() > sizeBytes() - offset)
        throw std::out_of_range("poke past the end of the card");
    while (!bytes.empty()) {
        const std::size_t block = offset / blockBytes(), within = offset % blockBytes();
        const std::size_t n = std::min(bytes.size(), blockBytes() - within);
        std::memcpy(writable(block) + within, bytes.data(), n);
        if (!writeThrough(block)) throw CardFileError("cannot write the card file " + file_.string());
        bytes = bytes.subspan(n);
        offset += n;
    }
}

std::vector<std::uint8_t> Card::peek(std::size_t offset, std::size_t count) const {
    if (offset > sizeBytes() || count > sizeBytes() - offset)
        throw std::out_of_range("peek past the end of the card");
    std::vector<std::uint8_t> out(count);
    std::size_t done = 0;
    while (done < count) {
        const std::size_t block = (offset + done) / blockBytes(), within = (offset + done) % blockBytes();
        const std::size_t n = std::min(count - done, blockBytes() - within);
        read(block, within, std::span(out).subspan(done, n));
        done += n;
    }
    return out;
}

}  // namespace emulator
