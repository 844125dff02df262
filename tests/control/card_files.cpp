#include "card_files.h"

#include <algorithm>
#include <cstring>

#include "control/wave.h"
#include "emulator/fixtures.h"

namespace control_test {

namespace fx = emulator::fixtures;

Bytes pattern(std::size_t n, unsigned seed) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * seed + seed / 3 + 1);
    return bytes;
}

Bytes waveFile(const Bytes& data) {
    auto bytes = control::waveHeader(static_cast<std::uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (data.size() & 1) bytes.push_back(0);
    return bytes;
}

control::NameField nameOf(const std::string& text) {
    control::NameField field{};
    std::copy_n(text.begin(), std::min(text.size(), field.size()), field.begin());
    return field;
}

void writeCardDataFile(const std::filesystem::path& p, std::array<std::uint8_t, 5> record) {
    Bytes f(0x7000, 0);
    std::copy_n("KV-M58S1", 8, f.begin());
    f[1187] = 1;
    f[1188] = 7;
    const auto put = [&](std::size_t at, const Bytes& b) { std::copy(b.begin(), b.end(), f.begin() + static_cast<long>(at)); };
    put(0x2000, pattern(512, 37));
    f[0x2000 + 44] = 1;
    put(0x3000, pattern(2048, 41));
    put(0x4000, pattern(4096, 43));
    put(0x5000, pattern(4096, 47));
    put(0x6010 + 24, Bytes(record.begin(), record.end()));
    writeFile(p, f);
}

fx::Layout layoutInUse(std::uint8_t first, std::uint8_t second) {
    fx::Layout l;
    l.firstChip = first;
    l.secondChip = second;
    l.settings = pattern(510, 3);
    l.settings[44] = 1;
    l.dayPatterns = pattern(2046, 5);
    l.calendar = pattern(4094, 7);
    l.names = Bytes(4094, 0);
    std::copy_n("Card", 4, l.names.begin());
    std::copy_n("One", 3, l.names.begin() + 256);
    std::copy_n("Three", 5, l.names.begin() + 256 + 40);
    l.dataVersion = {1, 2, 3};
    const std::size_t bb = emulator::Card(first).blockBytes();
    l.messages = {{1, pattern(2 * bb, 13)}, {2, pattern(bb + 100, 17)}, {3, pattern(3 * bb - 7, 19)},
                  {4, pattern(bb / 2, 23)}};
    return l;
}

std::shared_ptr<emulator::Card> cardInUse(std::uint8_t first, std::uint8_t second, std::optional<std::size_t> spare) {
    fx::Layout l = layoutInUse(first, second);
    const std::size_t bb = emulator::Card(first).blockBytes();
    if (spare) {
        // Every block of the map but the header and the five typed blocks, less the messages'.
        std::size_t free = fx::mapLength(emulator::Card(first, second)) - 6;
        for (const auto& m : l.messages) free -= (m.data.size() + bb - 1) / bb;
        l.messages.push_back({9, Bytes((free - *spare) * bb, 0x29)});
    }
    return fx::build(l);
}

std::shared_ptr<emulator::Card> clone(const emulator::Card& card) {
    auto copy = std::make_shared<emulator::Card>(card.firstChip(), card.secondChip());
    const std::size_t bb = card.blockBytes();
    for (std::size_t b = 0; b < card.blockCount(); ++b)
        if (const std::uint8_t* data = card.blockData(b)) copy->poke(b * bb, std::span(data, bb));
    return copy;
}

void copyInto(const emulator::Card& from, emulator::Card& to) {
    const std::size_t bb = from.blockBytes();
    for (std::size_t b = 0; b < from.blockCount(); ++b) {
        const std::uint8_t* want = from.blockData(b);
        const std::uint8_t* have = to.blockData(b);
        if (!want && have)
            to.erase(b);
        else if (want && (!have || std::memcmp(want, have, bb) != 0))
            to.poke(b * bb, std::span(want, bb));
    }
}

}  // namespace control_test
