#pragma once
// The message files: mu-law wave files (RIFF) and firmware S-record files. Every size read
// from a file is checked against the file.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace control {

// Where the message of a wave file lies: 8 kHz mu-law, mono, 8 bits.
struct WaveData {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};
// Walks the chunks of an open file; nullopt when it is no wave file of that kind.
std::optional<WaveData> readWaveLayout(std::FILE* file);

// The header of a mu-law wave file of `dataBytes` message bytes (58 bytes; an odd count is
// followed by a pad byte that the RIFF size counts).
std::vector<std::uint8_t> waveHeader(std::uint32_t dataBytes);

// The firmware image an S-record file carries: the data of its S2 records from address
// 0x10000 on, gaps between records filled with 0xFF. nullopt for a file that must not go to
// the card: a record with a bad checksum or malformed, a record beyond the firmware area, or
// records that go backwards.
std::optional<std::vector<std::uint8_t>> readFirmwareImage(std::FILE* file);

}  // namespace control
