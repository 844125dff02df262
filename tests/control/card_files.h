#pragma once
// Files and cards the card tests share: byte patterns, card data files as the card window
// writes them, and a card in use, filled as far as a test asks.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/message.h"
#include "emulator/card.h"
#include "emulator/fixtures.h"
#include "test_files.h"

namespace control_test {

using Bytes = std::vector<std::uint8_t>;

Bytes pattern(std::size_t n, unsigned seed);
using test_support::readFile;
using test_support::writeFile;
Bytes waveFile(const Bytes& data);
control::NameField nameOf(const std::string& text);

// A card data file that changes every typed block; `record` is bytes 24..28 of its
// write-mode record.
void writeCardDataFile(const std::filesystem::path& p, std::array<std::uint8_t, 5> record = {4, 4, 4, 6, 4});

// A card in use: every typed block holds data, the card name and the names of channels 1
// and 3, messages on channels 1 to 4; with `spare`, channel 9 holds every free block but
// that many.
emulator::fixtures::Layout layoutInUse(std::uint8_t first, std::uint8_t second = emulator::kNoChip);
std::shared_ptr<emulator::Card> cardInUse(std::uint8_t first, std::uint8_t second = emulator::kNoChip,
                                          std::optional<std::size_t> spare = std::nullopt);

// A copy of the card, block by block.
std::shared_ptr<emulator::Card> clone(const emulator::Card& card);
// Makes `to` (a card of the same chips) equal to `from`, touching only the blocks that differ.
void copyInto(const emulator::Card& from, emulator::Card& to);

}  // namespace control_test
