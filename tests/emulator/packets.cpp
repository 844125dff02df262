#include "packets.h"

#include <cstring>

namespace emulator::test {

Packet packet(std::uint8_t command, std::uint16_t block, std::uint8_t sector) {
    Packet p{};
    std::memcpy(p.data(), "RDX-700 ", 8);
    p[8] = command & 0x0F;
    p[9] = static_cast<std::uint8_t>(block & 0xFF);
    p[10] = static_cast<std::uint8_t>(block >> 8);
    p[11] = sector;
    p[12] = (command & 0x10) ? 1 : 0;
    std::memcpy(p.data() + 24, " RDX-END", 8);
    return p;
}

std::optional<std::vector<std::uint8_t>> next(Reader& reader, std::size_t room) {
    std::vector<std::uint8_t> bytes(room);
    const auto n = reader.read(bytes);
    if (!n) return std::nullopt;
    bytes.resize(*n);
    return bytes;
}

std::optional<std::vector<std::uint8_t>> send(Reader& reader, const Packet& p) {
    if (reader.write(p) != p.size()) return std::nullopt;
    return next(reader);
}

std::vector<std::uint8_t> filled(std::size_t n, std::uint8_t value) { return std::vector<std::uint8_t>(n, value); }

}  // namespace emulator::test
