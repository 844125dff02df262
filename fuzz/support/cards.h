#pragma once
// The emulated cards and reader faults the card harnesses choose from their input, and a
// view of a card's content for judging what an operation left on it.
//
// A card byte: bits 0-2 the chip (index into the known chip codes, smallest first), bit 3
// a second chip like the first, bits 4-5 the fill, bits 6-7 a count for the fill:
//   0 formatted, nothing on it;
//   1 in use: the typed blocks a card write of a document leaves, a one-block message on
//     channel 1, a three-block message on channel 2, firmware on channel 24;
//   2 full: as in use, on the smallest chip, and channels 3..12 take every free block but
//     the count (0..3);
//   3 a change broken off: the journal left at 0 (count 0) or at channel 1..3 (count 1..3).
#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "emulator/card.h"
#include "emulator/reader.h"

namespace fuzz {

enum class Fill { Formatted, InUse, Full, BrokenOff };

struct CardChoice {
    std::uint8_t firstChip = emulator::kDefaultChip;
    std::uint8_t secondChip = emulator::kNoChip;
    Fill fill = Fill::Formatted;
    int count = 0;
};

CardChoice cardChoice(std::uint8_t byte);
// The card byte of a choice (the inverse of cardChoice, for the seed writer).
std::uint8_t cardByte(std::size_t chipIndex, bool secondChip, Fill fill, int count);

// A fault byte and its parameter: 0 none; 1 the card pulled after `param` commands;
// 2 block `param` will not erase; 3 block `param` refuses data; 4 chip refuses writes over
// unerased bits; 5.. an injected reply fault (emulator::Fault in order), `param` % 4 + 1
// times, on the command `param` / 4 picks (any, erase, read, write, status, the whole-block
// read and write).
inline constexpr int kFaultKinds = 16;
// True when the fault does something (kind 0 and unused kinds do not).
bool applyFault(emulator::Reader& reader, std::uint8_t kind, std::uint8_t param);

// What the layout says a card holds. Blocks are listed in map order.
struct CardView {
    bool headerValid = false;                                // id and sum
    std::array<std::vector<std::uint8_t>, 24> channels;      // each message, length bytes
    std::map<std::uint8_t, std::vector<std::uint8_t>> typed; // type -> used bytes
    std::size_t freeBlocks = 0;                              // free in the map
    std::size_t freeHoldingData = 0;                         // of those, not erased
};
CardView viewOf(const emulator::Card& card);

// A new card of the card byte's choice. The typed blocks come from the program's own
// writers: a new document's card image, written to a card by the control, once per
// process (the control's reader port is left unset afterwards). Needs the control's host
// clock.
std::shared_ptr<emulator::Card> makeCard(std::uint8_t cardByte);
// The view of such a card as it is made.
const CardView& viewOfNew(std::uint8_t cardByte);

}  // namespace fuzz
