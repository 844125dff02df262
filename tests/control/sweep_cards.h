#pragma once
// The cards and operations of the cut sweep: the card kinds users have, in use with room to
// spare or filled to their last blocks, and every operation that changes or reads a card, as
// the card window issues it.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "card_files.h"
#include "control/card_info.h"
#include "emulator/card.h"
#include "emulator/reader.h"

namespace control_test::sweep {

struct CardKind {
    std::string name;
    std::uint8_t first = 0xA4;
    std::uint8_t second = emulator::kNoChip;
    std::vector<std::optional<std::size_t>> fills;  // the free blocks of its full cards
};
const std::vector<CardKind>& cardKinds();

// How full a card is: room to spare, or channel 9 holding every free block but `spare`.
struct Fill {
    std::string name;
    std::optional<std::size_t> spare;
};
std::vector<Fill> fillsOf(const CardKind& kind);

// The card in use (card_files.h) of that kind and fill.
std::shared_ptr<emulator::Card> cardInUse(const CardKind& kind, const Fill& fill);

// The folder the operations take their files from; made before the sweep starts.
struct Files {
    std::filesystem::path dir;
    std::string at(const std::string& name) const { return (dir / name).string(); }
};
void makeFiles(const Files& files);

using Call = std::function<int(const Files&)>;
enum class Output { None, CardData, CardInfo, Message };

struct Operation {
    std::string name;
    std::vector<Call> calls;  // in order; the first that fails ends them, as in the window
    Output output = Output::None;
    bool fromBlank = false;   // a blank card: cut early it is still blank, and takes a format
    int mayEmpty = 0;         // a channel a write without room for old and new may leave empty
    // A card made for the operation from the card in use (a change broken off, for a repair),
    // and the cards whose content a repair of it may also end with (the card in use, and the
    // card had the change gone through).
    std::function<std::shared_ptr<emulator::Card>(emulator::Reader&, const Files&)> card;
    std::function<std::vector<std::shared_ptr<emulator::Card>>(emulator::Reader&, const Files&)> accepted;
};

// The operations on a card of this kind and fill. `info` is what the card window knows of
// the card (its last ReadCardInfo) when the message-set restore starts.
// Every operation runs on a card with room of each block size; a full card gets those that
// depend on its free blocks.
std::vector<Operation> operationsFor(const CardKind& kind, const Fill& fill, const control::CardInfo& info);

// What a read operation handed out, for comparison.
std::string outputOf(Output output, const Files& files);

}  // namespace control_test::sweep
