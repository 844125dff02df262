#pragma once
// The flash chips a memory card may carry, by the code the reader reports for them.
#include <array>
#include <cstddef>
#include <cstdint>

namespace emulator {

inline constexpr std::size_t kSectorBytes = 512;
// Byte 4 of the status reply when the card carries no second chip.
inline constexpr std::uint8_t kNoChip = 0xFF;

struct ChipInfo {
    int chipClass = 0;              // 1..7; 0 for a code the reader does not know
    std::size_t sectorsPerBlock = 8;
    std::size_t blocks = 128;       // erase blocks on the chip
};

// The geometry of a chip code. An unknown code still has a geometry (class 0, 8 sectors
// a block, 128 blocks), so that a card with a foreign chip can be modelled and read.
ChipInfo chipInfo(std::uint8_t code);

// Every chip code the reader knows, smallest chip first.
inline constexpr std::array<std::uint8_t, 8> kKnownChipCodes = {0xA4, 0xEA, 0xE3, 0xE5,
                                                                  0xE6, 0x73, 0x75, 0x76};

}  // namespace emulator
