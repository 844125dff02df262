#include "card_fixture.h"

#include <algorithm>

#include "control/link.h"
#include "control/state.h"
#include "emulator_port.h"

namespace control_test {

HandHeader HandHeader::formatted(std::uint16_t blocks) {
    HandHeader h;
    h.id("KV-M58S1");
    h.word(8, blocks);
    h.word(10, 0);
    h.word(12, static_cast<std::uint16_t>(blocks - 6));
    for (std::size_t i = 0; i < blocks && i < 1024; ++i) h.entry(i, 0xFF);
    const std::uint8_t types[] = {0xAA, 0xBB, 0xCC, 0xD0, 0xD1, 0xEE};
    for (std::size_t i = 0; i < 6; ++i) h.entry(i, types[i]);
    return h;
}

void HandHeader::word(std::size_t offset, std::uint16_t value) {
    bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t HandHeader::word(std::size_t offset) const {
    return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

void HandHeader::id(const std::string& text) { std::copy(text.begin(), text.end(), bytes.begin()); }

void HandHeader::channel(int ch, std::vector<std::size_t> blocks, std::uint32_t length) {
    for (std::size_t b : blocks) entry(b, static_cast<std::uint8_t>(ch));
    word(16 + 2 * (ch - 1), static_cast<std::uint16_t>(blocks.size()));
    word(64 + 4 * (ch - 1), static_cast<std::uint16_t>(length & 0xFFFF));
    word(66 + 4 * (ch - 1), static_cast<std::uint16_t>(length >> 16));
    word(12, static_cast<std::uint16_t>(word(12) - blocks.size()));
}

void HandHeader::seal() {
    unsigned sum = 0;
    for (std::size_t i = 0; i < 1534; ++i) sum += bytes[i];
    word(1534, static_cast<std::uint16_t>(sum));
}

void CardTest::SetUp() {
    TestClock::install();
    TestClock::now() = 0;
    reader = std::make_shared<emulator::Reader>();
    control::setReaderPort(std::make_unique<EmulatorPort>(reader));
    control::setActionMode(control::ModeStandby);
}

void CardTest::TearDown() { control::setReaderPort(nullptr); }

void CardTest::insertCard(std::uint8_t chip1, std::uint8_t chip2) {
    card = std::make_shared<emulator::Card>(chip1, chip2);
    reader->insert(card);
}

void CardTest::insertFormatted(std::uint8_t chip1) {
    insertCard(chip1);
    const auto blocks = static_cast<std::uint16_t>(std::min<std::size_t>(card->blockCount(), 1024));
    hand = HandHeader::formatted(blocks);
    putHeader(hand);
}

void CardTest::putHeader(HandHeader header) {
    header.seal();
    hand = header;
    fillBlock(0, 0xFF);
    card->poke(0, header.bytes);
}

void CardTest::putTyped(std::size_t block, std::vector<std::uint8_t> bytes, bool rightSum) {
    unsigned sum = 0;
    for (std::size_t i = 0; i + 2 < bytes.size(); ++i) sum += bytes[i];
    if (!rightSum) ++sum;
    bytes[bytes.size() - 2] = static_cast<std::uint8_t>(sum & 0xFF);
    bytes[bytes.size() - 1] = static_cast<std::uint8_t>((sum >> 8) & 0xFF);
    card->poke(block * card->blockBytes(), bytes);
}

void CardTest::fillBlock(std::size_t block, std::uint8_t value) {
    card->poke(block * card->blockBytes(), std::vector<std::uint8_t>(card->blockBytes(), value));
}

std::vector<std::uint8_t> CardTest::blockBytes(std::size_t block) const {
    return card->peek(block * card->blockBytes(), card->blockBytes());
}

HandHeader CardTest::header() const {
    HandHeader h;
    h.bytes = card->peek(0, 1536);
    return h;
}

std::vector<emulator::LoggedCommand> CardTest::changes() const {
    std::vector<emulator::LoggedCommand> out;
    for (const auto& c : reader->log())
        if ((c.command & 0x0F) == 0x01 || (c.command & 0x0F) == 0x03) out.push_back(c);
    return out;
}

}  // namespace control_test
