// WriteMessage end to end against the emulated reader, on a card and under reader faults
// that the input chooses, and the whole card judged afterwards as the next session finds it.
//
// Input: a card byte (support/cards.h), a channel byte (% 24 + 1), a file byte (bits 0-1:
// a .WAV, .DAT or .HEX file, or 3 for an erase; bits 2-7: units of 2048 filler bytes added
// to the file, so that a small input makes a message of many blocks), two faults (kind and
// parameter each, support/cards.h), then the file's bytes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "control/errors.h"
#include "control/methods.h"
#include "control/reader_port.h"
#include "control/state.h"
#include "control/wave.h"
#include "emulator/reader.h"
#include "emulator_port.h"
#include "support/cards.h"
#include "support/scratch.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
namespace err = control::cardError;

constexpr std::size_t kChoiceBytes = 7;
constexpr std::size_t kFillerUnit = 2048;
enum FileKind { Wave, Raw, Firmware, Erase };
const char* const kFileNames[] = {"Msg.wav", "Msg.dat", "Msg.hex"};

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "write_message: %s\n", what.c_str());
    std::abort();
}

std::shared_ptr<emulator::Reader> connect(std::shared_ptr<emulator::Card> card) {
    auto reader = std::make_shared<emulator::Reader>();
    reader->setLogLimit(0);
    if (card) reader->insert(std::move(card));
    control::setReaderPort(std::make_unique<control_test::EmulatorPort>(reader));
    control::setActionMode(control::ModeStandby);
    return reader;
}

Bytes fileBytes(const std::uint8_t* data, std::size_t size, std::size_t filler) {
    Bytes file(data, data + size);
    for (std::size_t i = 0; i < filler; ++i) file.push_back(static_cast<std::uint8_t>(i * 37 + i / 4096 * 11 + 0x7F));
    return file;
}

// The message a file makes: its bytes (at most `room` of them, what a card can hold) and
// its whole length, or nullopt when the file cannot be written at all.
struct Message {
    Bytes bytes;
    std::uint64_t length = 0;
};

std::optional<Message> expectedMessage(FileKind kind, const std::string& path, const Bytes& file, std::size_t block,
                                       std::size_t room) {
    if (kind == Erase) return Message{};
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::nullopt;
    std::optional<Message> out;
    if (kind == Firmware) {
        if (auto image = control::readFirmwareImage(f)) {
            image->resize(std::max<std::size_t>(1, (image->size() + block - 1) / block) * block, 0xFF);
            out = Message{*image, image->size()};
        }
    } else {
        std::optional<control::WaveData> layout =
            kind == Wave ? control::readWaveLayout(f) : control::WaveData{0, file.size()};
        if (layout) {
            // The card keeps whole 16-byte units; past the end of the file it gets 0xFF.
            const std::uint64_t length = layout->size / 16 * 16;
            Bytes bytes(static_cast<std::size_t>(std::min<std::uint64_t>(length, room)), 0xFF);
            for (std::size_t i = 0; i < bytes.size() && layout->offset + i < file.size(); ++i)
                bytes[i] = file[static_cast<std::size_t>(layout->offset) + i];
            out = Message{std::move(bytes), length};
        }
    }
    std::fclose(f);
    return out;
}

bool isPrefix(const Bytes& part, const Bytes& whole) {
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// The check the card window runs, and the repair it offers for a change broken off.
void checkAndRepair() {
    int e = control::GetCardError();
    if (e == err::JournalSet) {
        if (const int r = control::Repair(e)) fail("the repair of a broken-off change gave " + std::to_string(r));
        e = control::GetCardError();
    }
    if (e != err::Done) fail("the card is left with check " + std::to_string(e));
}

// The card takes a new message and gives it back.
void roundTrip(int channel) {
    Bytes samples(1000);
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint8_t>(i * 13 + 5);
    Bytes wave = control::waveHeader(static_cast<std::uint32_t>(samples.size()));
    wave.insert(wave.end(), samples.begin(), samples.end());
    const int e = control::WriteMessage(channel, fuzz::writeInput("Next.wav", wave));
    if (e == err::NoFreeBlock || e == err::NoFreeAfterErase) return;  // a full card may refuse
    if (e != err::Done) fail("a new message after the judge gave " + std::to_string(e));
    const std::string back = (fuzz::scratch() / "Back.dat").string();
    if (const int r = control::ReadMessage(channel, back)) fail("reading the new message back gave " + std::to_string(r));
    std::FILE* f = std::fopen(back.c_str(), "rb");
    Bytes got(samples.size());
    const bool read = f && std::fread(got.data(), 1, got.size(), f) == got.size();
    if (f) std::fclose(f);
    if (!read || got != samples) fail("the new message reads back wrong");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    control_test::TestClock::install();
    // The typed blocks are written by the program once, before any input runs.
    fuzz::makeCard(fuzz::cardByte(0, false, fuzz::Fill::InUse, 0));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kChoiceBytes) return 0;
    const fuzz::CardChoice choice = fuzz::cardChoice(data[0]);
    const int channel = data[1] % 24 + 1;
    const auto kind = static_cast<FileKind>(data[2] & 3);
    const Bytes file = fileBytes(data + kChoiceBytes, size - kChoiceBytes, (data[2] >> 2) * kFillerUnit);

    std::shared_ptr<emulator::Card> card = fuzz::makeCard(data[0]);
    const fuzz::CardView& before = fuzz::viewOfNew(data[0]);
    auto reader = connect(card);
    const bool faulted = fuzz::applyFault(*reader, data[3], data[4]) | fuzz::applyFault(*reader, data[5], data[6]);
    const std::string path = kind == Erase ? std::string() : fuzz::writeInput(kFileNames[kind], file);
    const int result = control::WriteMessage(channel, path);

    // The reader plugged in again, with the card back in it.
    reader->pull();
    connect(card);
    checkAndRepair();
    const fuzz::CardView after = fuzz::viewOf(*card);
    if (after.freeHoldingData) fail(std::to_string(after.freeHoldingData) + " free blocks still hold data");
    if (after.typed != before.typed) fail("a typed block changed");
    if (choice.fill != fuzz::Fill::BrokenOff) {
        for (std::size_t ch = 0; ch < 24; ++ch)
            if (static_cast<int>(ch) + 1 != channel && after.channels[ch] != before.channels[ch])
                fail("channel " + std::to_string(ch + 1) + ", which the write never touched, changed");
        const Bytes& now = after.channels[static_cast<std::size_t>(channel - 1)];
        const auto wanted = expectedMessage(kind, path, file, card->blockBytes(), card->sizeBytes());
        const bool old = now == before.channels[static_cast<std::size_t>(channel - 1)];
        if (!old && !(wanted && isPrefix(now, wanted->bytes)))
            fail("the channel holds neither its old message nor the new one");
        if (result == err::Done && !faulted && (!wanted || now.size() != wanted->length || !isPrefix(now, wanted->bytes)))
            fail("the write reported success but the channel holds something else");
    }
    roundTrip(channel);
    return 0;
}
