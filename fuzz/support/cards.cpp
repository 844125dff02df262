#include "cards.h"

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

#include "card/card_data.h"
#include "control/message.h"
#include "control/methods.h"
#include "control/reader_port.h"
#include "control/state.h"
#include "core/globals.h"
#include "emulator/fixtures.h"
#include "emulator_port.h"
#include "program.h"

namespace fuzz {
namespace {

namespace fx = emulator::fixtures;
namespace hd = emulator::fixtures::header;

struct TypedContent {
    std::vector<std::uint8_t> settings, dayPatterns, calendar, names;
    std::array<std::uint8_t, 3> cardVersion{}, dataVersion{};
};

std::uint16_t word(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

std::uint32_t longAt(const std::vector<std::uint8_t>& b, std::size_t at) {
    return static_cast<std::uint32_t>(word(b, at) | std::uint32_t{word(b, at + 2)} << 16);
}

// A new document with a little of everything, written to a card as the card window does.
TypedContent writtenByTheProgram() {
    useProgramFolder();
    openNewDocument();
    gdbWork.execute("UPDATE tblMessage SET fldComment = '受付 ﾒｯｾｰｼﾞ' WHERE fldCh = 1");
    gdbWork.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (2, 9, 30, 1)");
    card::WriteModeRecord record{};
    card::msbGetWriteMode(record);
    for (std::size_t i = card::kRecordSettings; i < record.size(); ++i) record[i] = 4;
    const std::string image = programFile("Typed.crd");
    if (!card::mfnfMakeCardData(image, record, {})) throw std::runtime_error("no card image");

    auto reader = std::make_shared<emulator::Reader>();
    auto card = fx::formatted(emulator::kKnownChipCodes[0]);
    reader->insert(card);
    control::setReaderPort(std::make_unique<control_test::EmulatorPort>(reader));
    control::setActionMode(control::ModeStandby);
    const int written = control::WriteCardData(image);
    control::setReaderPort(nullptr);
    if (written != 0) throw std::runtime_error("the card write failed: " + std::to_string(written));

    const CardView view = viewOf(*card);
    auto content = [&](std::uint8_t type) {
        std::vector<std::uint8_t> bytes = view.typed.at(type);
        bytes.resize(fx::usedBytes(type) - 2);  // the builder adds the sum
        return bytes;
    };
    TypedContent typed{content(fx::kSettingsBlock), content(fx::kDayPatternBlock), content(fx::kCalendarBlock),
                       content(fx::kNamesBlock)};
    const auto head = card->peek(0, hd::kBytes);
    std::copy_n(head.begin() + hd::kCardVersion, 3, typed.cardVersion.begin());
    std::copy_n(head.begin() + hd::kDataVersion, 3, typed.dataVersion.begin());
    return typed;
}

const TypedContent& programTyped() {
    static const TypedContent typed = writtenByTheProgram();
    return typed;
}

// Message bytes that differ by channel and by block, so that a block in the wrong place shows.
std::vector<std::uint8_t> message(int channel, std::size_t bytes, std::size_t blockBytes) {
    std::vector<std::uint8_t> data(bytes);
    for (std::size_t i = 0; i < bytes; ++i)
        data[i] = static_cast<std::uint8_t>(i * 7 + static_cast<std::size_t>(channel) * 29 + i / blockBytes * 13);
    return data;
}

std::size_t blocksFor(std::size_t bytes, std::size_t blockBytes) { return (bytes + blockBytes - 1) / blockBytes; }

fx::Layout inUse(const CardChoice& choice) {
    const TypedContent& typed = programTyped();
    fx::Layout layout;
    layout.firstChip = choice.firstChip;
    layout.secondChip = choice.secondChip;
    layout.settings = typed.settings;
    layout.dayPatterns = typed.dayPatterns;
    layout.calendar = typed.calendar;
    layout.names = typed.names;
    layout.cardVersion = typed.cardVersion;
    layout.dataVersion = typed.dataVersion;
    const std::size_t block = emulator::Card(choice.firstChip, choice.secondChip).blockBytes();
    layout.messages.push_back({1, message(1, block - 48, block)});
    layout.messages.push_back({2, message(2, 2 * block + 800, block)});
    auto firmware = message(control::kFirmwareChannel, control::kFirmwareAreaBytes, block);
    firmware[0] = 1, firmware[1] = 2, firmware[2] = 3;  // the program's version
    layout.messages.push_back({control::kFirmwareChannel, std::move(firmware)});
    return layout;
}

// Channels 3..12 take every free block of the card in use but `left`.
fx::Layout full(CardChoice choice) {
    choice.firstChip = emulator::kKnownChipCodes[0];
    choice.secondChip = emulator::kNoChip;
    fx::Layout layout = inUse(choice);
    const emulator::Card shape(choice.firstChip);
    const std::size_t block = shape.blockBytes();
    std::size_t taken = 6;  // header, journal, four typed blocks
    for (const auto& m : layout.messages) taken += blocksFor(m.data.size(), block);
    const std::size_t room = fx::mapLength(shape) - taken - static_cast<std::size_t>(choice.count);
    for (int ch = 3; ch <= 12; ++ch) {
        const std::size_t blocks = room / 10 + (static_cast<std::size_t>(ch - 3) < room % 10 ? 1 : 0);
        if (blocks > 0) layout.messages.push_back({ch, message(ch, blocks * block - 16 * static_cast<std::size_t>(ch), block)});
    }
    return layout;
}

bool isTyped(std::uint8_t type) {
    return type == fx::kSettingsBlock || type == fx::kDayPatternBlock || type == fx::kCalendarBlock ||
           type == fx::kNamesBlock;
}

constexpr std::uint8_t kFaultCommands[] = {emulator::kAnyCommand, 1, 2, 3, 4, 0x12, 0x13};
constexpr int kInjectedFaults = 11;  // emulator::Fault, Busy .. SilentAfterData

}  // namespace

CardChoice cardChoice(std::uint8_t byte) {
    CardChoice choice;
    choice.firstChip = emulator::kKnownChipCodes[byte & 7];
    if (byte & 8) choice.secondChip = choice.firstChip;
    choice.fill = static_cast<Fill>(byte >> 4 & 3);
    choice.count = byte >> 6;
    return choice;
}

std::uint8_t cardByte(std::size_t chipIndex, bool secondChip, Fill fill, int count) {
    return static_cast<std::uint8_t>((chipIndex & 7) | (secondChip ? 8 : 0) | static_cast<int>(fill) << 4 |
                                     (count & 3) << 6);
}

namespace {

std::shared_ptr<emulator::Card> build(const CardChoice& choice) {
    switch (choice.fill) {
    case Fill::Formatted: return fx::formatted(choice.firstChip, choice.secondChip);
    case Fill::InUse: return fx::build(inUse(choice));
    case Fill::Full: return fx::build(full(choice));
    case Fill::BrokenOff: return fx::journalLeftSet(static_cast<std::uint8_t>(choice.count), choice.firstChip);
    }
    return nullptr;
}

// Each card is built once; an input gets a copy of it.
struct Template {
    std::shared_ptr<emulator::Card> card;
    CardView view;
};

const Template& templateOf(std::uint8_t byte) {
    static std::map<std::uint8_t, Template> made;
    auto it = made.find(byte);
    if (it == made.end()) {
        auto card = build(cardChoice(byte));
        CardView view = viewOf(*card);
        it = made.emplace(byte, Template{std::move(card), std::move(view)}).first;
    }
    return it->second;
}

}  // namespace

std::shared_ptr<emulator::Card> makeCard(std::uint8_t byte) {
    const emulator::Card& from = *templateOf(byte).card;
    auto card = std::make_shared<emulator::Card>(from.firstChip(), from.secondChip());
    const std::size_t block = from.blockBytes();
    for (std::size_t b = 0; b < from.blockCount(); ++b)
        if (const std::uint8_t* data = from.blockData(b)) card->poke(b * block, std::span(data, block));
    return card;
}

const CardView& viewOfNew(std::uint8_t byte) { return templateOf(byte).view; }

bool applyFault(emulator::Reader& reader, std::uint8_t kind, std::uint8_t param) {
    switch (kind % kFaultKinds) {
    case 0: return false;
    case 1: reader.pullCardAfter(param); return true;
    case 2: reader.failErase(param); return true;
    case 3: reader.refuseDataOn(param); return true;
    case 4: reader.refuseUnerasedWrites(true); return true;
    default: {
        const int fault = kind % kFaultKinds - 5;
        if (fault >= kInjectedFaults) return false;
        reader.inject(static_cast<emulator::Fault>(fault), param % 4 + 1, kFaultCommands[param / 4 % 7]);
        return true;
    }
    }
}

CardView viewOf(const emulator::Card& card) {
    CardView view;
    const auto head = card.peek(0, hd::kBytes);
    view.headerValid = std::equal(head.begin(), head.begin() + 8, fx::kOwnId) &&
                       word(head, hd::kSum) == fx::blockSum(std::span(head).first(hd::kSum));
    if (!view.headerValid) return view;
    const std::size_t block = card.blockBytes();
    const std::size_t length = std::min(fx::mapLength(card), card.blockCount());
    for (std::size_t i = 1; i < length; ++i) {
        const std::uint8_t type = head[hd::kMap + i];
        if (type >= 1 && type <= 24) {
            auto& bytes = view.channels[type - 1];
            const std::uint8_t* data = card.blockData(i);
            if (data)
                bytes.insert(bytes.end(), data, data + block);
            else
                bytes.resize(bytes.size() + block, 0xFF);
        } else if (type == fx::kFreeBlock) {
            ++view.freeBlocks;
            const std::uint8_t* data = card.blockData(i);
            if (data && std::any_of(data, data + block, [](std::uint8_t b) { return b != 0xFF; })) ++view.freeHoldingData;
        } else if (isTyped(type) && !view.typed.count(type)) {
            view.typed[type] = card.peek(i * block, fx::usedBytes(type));
        }
    }
    for (std::size_t ch = 0; ch < 24; ++ch) {
        const std::size_t bytes = std::size_t{longAt(head, hd::kChannelLengths + 4 * ch)} * 16;
        if (view.channels[ch].size() > bytes) view.channels[ch].resize(bytes);
    }
    return view;
}

}  // namespace fuzz
