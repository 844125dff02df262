#pragma once
// The parts of the reader's state that only its own sources see.
#include "emulator/reader.h"

#include <array>

namespace emulator {

// One transfer the reader sends: a few bytes of its own (reply, stray packet, nothing),
// or data straight from the flash, read as it goes out.
struct Reader::Transfer {
    enum class Kind : std::uint8_t { Bytes, Data };
    Kind kind = Kind::Bytes;
    std::array<std::uint8_t, protocol::kReplyBytes> bytes{};
    std::uint32_t length = 0;
    std::uint32_t sent = 0;
    std::uint32_t block = 0;
    std::uint32_t offset = 0;
    std::uint64_t epoch = 0;       // the card the data comes from
    bool flip = false;             // FlipDataBit: one bit arrives flipped
    Clock::duration readyAt{};     // wire timing: not before
};

// The faults taken by one command, by kind.
struct Reader::Faults {
    std::array<int, static_cast<std::size_t>(Fault::FlipDataBit) + 1> count{};
    int operator[](Fault f) const { return count[static_cast<std::size_t>(f)]; }
    int& operator[](Fault f) { return count[static_cast<std::size_t>(f)]; }
};

// The data phase of a write: what the host still owes.
struct Reader::DataOut {
    bool active = false;
    std::uint32_t block = 0;
    std::uint32_t offset = 0;
    std::size_t size = 0;
    std::size_t received = 0;
    std::uint64_t epoch = 0;
    bool refuse = false;
    bool silent = false;
    std::uint64_t logSequence = 0;
    std::vector<std::uint8_t> bytes;
};

}  // namespace emulator
