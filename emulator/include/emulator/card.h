#pragma once
// A memory card: one or two NAND flash chips seen as one row of erase blocks (the first
// chip's blocks, then the second chip's). Like the chip, an erase sets a whole block to
// 0xFF and programming can only clear bits: new bytes are ANDed into the flash.
//
// The erase-block size is the first chip's; a second chip adds its count of blocks. Blocks
// that are erased hold no memory, so a 64 MiB card costs only what was written to it.
//
// A Card is not locked: the Reader that holds it guards it. Touch a card directly only
// while it is pulled or while nothing drives its reader.
#include "emulator/chip.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace emulator {

// The chip of a card that the run command creates, and of fixtures that name none.
inline constexpr std::uint8_t kDefaultChip = 0x73;  // 16 MiB

// A card file that cannot be opened, read, written or locked, or that holds no card.
class CardFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Card {
public:
    explicit Card(std::uint8_t firstChip = kDefaultChip, std::uint8_t secondChip = kNoChip);
    ~Card();
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;

    std::uint8_t firstChip() const { return firstChip_; }
    std::uint8_t secondChip() const { return secondChip_; }
    std::size_t sectorsPerBlock() const { return sectorsPerBlock_; }
    std::size_t blockBytes() const { return sectorsPerBlock_ * kSectorBytes; }
    std::size_t blockCount() const { return blocks_.size(); }
    std::size_t sizeBytes() const { return blockCount() * blockBytes(); }

    // The chip's operations. False when the card's file could not take the change (the
    // flash is left as it was).
    bool erase(std::size_t block);
    bool program(std::size_t block, std::size_t offset, std::span<const std::uint8_t> bytes);
    void read(std::size_t block, std::size_t offset, std::span<std::uint8_t> out) const;

    // The bytes of a block, or nullptr when it is erased (all 0xFF).
    const std::uint8_t* blockData(std::size_t block) const { return blocks_[block].get(); }

    // Raw access across the card by byte offset, for fixtures and tests: poke stores the
    // bytes as they are (no AND), as if the card had been written elsewhere.
    void poke(std::size_t offset, std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> peek(std::size_t offset, std::size_t count) const;
    std::vector<std::uint8_t> sector(std::size_t index) const {
        return peek(index * kSectorBytes, kSectorBytes);
    }
    std::vector<std::uint8_t> image() const { return peek(0, sizeBytes()); }

    // A card kept in a file, so that what is written to it outlives the program. Every
    // change is written through to the file at once. A missing file becomes a blank card
    // (all 0xFF) of chip `chipForNewCard`, as a new card comes from the shop; the user
    // formats it with the program. A file that is not a card file, or that another reader
    // holds, throws CardFileError and is left untouched.
    static std::shared_ptr<Card> open(const std::filesystem::path& file,
                                      std::uint8_t chipForNewCard = kDefaultChip);
    // Writes a copy of the card to `file` (a new file replaces the old one whole).
    void save(const std::filesystem::path& file) const;
    // The file behind the card, empty for a card in memory only.
    const std::filesystem::path& file() const { return file_; }

private:
    std::uint8_t* writable(std::size_t block);
    bool writeThrough(std::size_t block);
    void loadFrom(int fd, const std::filesystem::path& file);

    std::uint8_t firstChip_;
    std::uint8_t secondChip_;
    std::size_t sectorsPerBlock_;
    std::vector<std::unique_ptr<std::uint8_t[]>> blocks_;
    std::filesystem::path file_;
    int fd_ = -1;
};

}  // namespace emulator
