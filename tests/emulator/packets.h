#pragma once
// Command packets and replies laid out byte by byte, as the host's side sends and reads
// them, so that the reader is never checked against its own parser.
#include "emulator/reader.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace emulator::test {

using Packet = std::array<std::uint8_t, 32>;

// `command` as the host names it: 0x12 and 0x13 set the whole-block byte.
Packet packet(std::uint8_t command, std::uint16_t block = 0, std::uint8_t sector = 0);

// The next transfer the reader sends (a read of up to `room` bytes); none when silent.
std::optional<std::vector<std::uint8_t>> next(Reader& reader, std::size_t room = 16384);

// Sends the packet and returns the transfer that follows.
std::optional<std::vector<std::uint8_t>> send(Reader& reader, const Packet& p);

std::vector<std::uint8_t> filled(std::size_t n, std::uint8_t value);

}  // namespace emulator::test
