#pragma once
// A card read the way the layout describes it, without the control's own codec: what the
// safety tests compare. A card counts as whole when the device could use it as it is: a
// valid header, every typed block in place and passing its sum, the journal idle, the
// free blocks erased and the counts agreeing with the map.
#include <cstdint>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "emulator/card.h"

namespace control_test {

struct ChannelContent {
    std::uint16_t blocks = 0;
    std::uint32_t length = 0;
    std::uint64_t hash = 0;  // of the channel's blocks, whole, in map order
    bool operator==(const ChannelContent&) const = default;
};

struct CardContent {
    std::vector<std::uint8_t> versions;                       // header bytes 1184..1189
    std::map<std::uint8_t, std::vector<std::uint8_t>> typed;  // empty: blank
    std::vector<ChannelContent> channels = std::vector<ChannelContent>(25);
    bool operator==(const CardContent&) const = default;

    // The first item in which the two differ, "" when none does.
    std::string firstDifference(const CardContent& other) const;
    // The items of this card that are neither as in `a` nor as in `b`.
    std::vector<std::string> neither(const CardContent& a, const CardContent& b) const;
    // The items of this card that are as in none of the cards.
    std::vector<std::string> inNone(const std::vector<CardContent>& cards) const;
};

// Short: the typed blocks' sums and the channels' block counts, for failure messages.
std::ostream& operator<<(std::ostream& out, const CardContent& content);

// The card's content, or nothing with what keeps it from being whole in `fault`.
std::optional<CardContent> readContent(const emulator::Card& card, std::string& fault);

// The 64-bit hash the channels are compared by.
std::uint64_t contentHash(const std::uint8_t* bytes, std::size_t count, std::uint64_t hash = 1469598103934665603ull);

}  // namespace control_test
