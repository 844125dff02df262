#pragma once
// A control talking to an emulated reader with a card, and cards laid out by hand: the bytes
// are placed from the card layout directly, not by the control's own codec.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "emulator/card.h"
#include "emulator/reader.h"

namespace control_test {

// A header block built byte by byte: id, chip blocks, free and bad counts, map, sum.
struct HandHeader {
    std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(1536, 0);

    // A freshly formatted own card of `blocks` blocks: header, journal, settings, day
    // patterns, calendar and names in blocks 0..5, every other block free.
    static HandHeader formatted(std::uint16_t blocks);

    void word(std::size_t offset, std::uint16_t value);
    std::uint16_t word(std::size_t offset) const;
    void entry(std::size_t block, std::uint8_t type) { bytes[160 + block] = type; }
    void id(const std::string& text);
    // Gives the channel its blocks in the map, its block count and its length (16-byte units).
    void channel(int ch, std::vector<std::size_t> blocks, std::uint32_t length);
    void seal();  // the sum of bytes 0..1533 at 1534
};

class CardTest : public ::testing::Test {
public:
    void SetUp() override;
    void TearDown() override;

    // A new card of the given chips in the reader, all 0xFF.
    void insertCard(std::uint8_t chip1 = 0xA4, std::uint8_t chip2 = 0xFF);
    // The own formatted card: the header sealed and written, everything else blank.
    void insertFormatted(std::uint8_t chip1 = 0xA4);
    void putHeader(HandHeader header);
    // A typed block's bytes with their sum, at the start of `block`.
    void putTyped(std::size_t block, std::vector<std::uint8_t> bytes, bool rightSum = true);
    void fillBlock(std::size_t block, std::uint8_t value);
    std::vector<std::uint8_t> blockBytes(std::size_t block) const;
    HandHeader header() const;
    std::size_t blockSize() const { return card->blockBytes(); }
    // Commands of the reader's log that erase or program.
    std::vector<emulator::LoggedCommand> changes() const;

    std::shared_ptr<emulator::Reader> reader;
    std::shared_ptr<emulator::Card> card;
    HandHeader hand;
};

}  // namespace control_test
