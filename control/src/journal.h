#pragma once
// Changes of the card that survive a pull at any moment. New content is staged first: the
// new header and the copies of the typed blocks go into the journal block and, where it has
// no room left, into free blocks; a commit record in the journal then names the copies, and
// only after it are the header and the typed blocks rewritten in place and the blocks let go
// erased. A card pulled before the record rolls back (the blocks the map calls free are
// erased), after it rolls forward from the copies. Either way the repair of the journal
// brings the card back to its old or its new content. A change whose copies have no room is
// refused before anything is written, and message writes leave free the blocks that the
// copies of the largest change need.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "control/card.h"

namespace control {

// States of journal sector 0 beyond the idle 0xFF and the channel numbers.
inline constexpr std::uint8_t kJournalWriting = 0;    // blocks the map calls free may hold data
inline constexpr std::uint8_t kJournalFormat = 0xFE;  // a format is under way: finish it

// New content of one typed block; no content erases it.
struct TypedUpdate {
    std::uint8_t type = 0;
    std::vector<std::uint8_t> content;
};

// Free blocks that the copies of the largest change (the header and all four typed blocks)
// need beside the journal block, on a card of the geometry of the last status command.
std::size_t rdxKeptBlocks();

class CardChange {
public:
    // `onCard` is the header block 0 holds; its journal block must be idle (erased).
    CardChange(const CardHeader& onCard, std::uint16_t journal);

    // Marks the journal: from here on a pull leaves the check at 610.
    int begin();
    // Takes over a journal that is already set (a repair of an older kind of journal).
    void adopt() { begun_ = true; }
    // Writes `next` and the updates through copies, erases `release` (blocks `next` calls
    // free that held data) and leaves the journal idle. Blocks that fail to erase turn bad.
    // 107, with nothing written, when the copies have no room.
    int commit(CardHeader& next, const std::vector<TypedUpdate>& updates, const std::vector<std::size_t>& release);

private:
    const CardHeader& onCard_;
    std::uint16_t journal_;
    bool begun_ = false;
};

// Writes only the header, under the journal.
int writeHeaderSafely(const CardHeader& onCard, CardHeader& next);
// Erases block 0 and writes the header there (its sum stored by the caller).
int writeHeaderBlock(const CardHeader& h);
// Erases every block the map calls free; blocks that do not erase turn bad in `h`.
int eraseAllFree(CardHeader& h, bool& changed);

// The journal block of a card whose block 0 holds no valid header: the first of the first
// few blocks that carries a journal of ours, or kNoJournal.
int findMarkedJournal(std::uint16_t& journal);
// The journal repair (Repair(610)).
int repairJournal();

// Writes the journal's sector 0: a state with our mark.
int markJournal(std::uint16_t journal, std::uint8_t state);
// Marks a format under way on an own card's journal without erasing what it holds: a journal
// already set keeps its state, and the mark goes into its last sector.
int markFormat(std::uint16_t journal, bool journalSet);
// Frees every block of the channel in `header` (blocks that fail to erase become bad).
int eraseChannelBlocks(CardHeader& header, int channel, std::size_t mapLength);

// Format; `keep` is a block the scan leaves alone (the journal of a format under way).
int formatKeeping(std::uint16_t keep);

}  // namespace control
