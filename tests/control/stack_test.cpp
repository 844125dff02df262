// The control's card work through the whole stack (device API, I/O manager, pipe driver,
// emulated bus, emulated reader), side by side with the reader's byte-stream face, and what
// only the stack can show: no reader, a pulled cable, bounded reads of a silent reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include "control/errors.h"
#include "control/host.h"
#include "control/link.h"
#include "control/methods.h"
#include "control/wave.h"
#include "stack_fixture.h"

namespace control_test {
namespace {

using namespace control;
namespace fs = std::filesystem;

std::vector<std::uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> sound(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return bytes;
}

NameField name(const std::string& text) {
    NameField field{};
    std::copy(text.begin(), text.end(), field.begin());
    return field;
}

class StackTest : public BothFaces {
protected:
    void SetUp() override {
        BothFaces::SetUp();
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string unique = std::string(test->name()) + "_" + std::to_string(::getpid());
        for (char& c : unique)
            if (c == '/') c = '_';
        dir = fs::temp_directory_path() / ("kv_stack_" + unique);
        fs::create_directories(dir);
    }
    void TearDown() override {
        BothFaces::TearDown();
        fs::remove_all(dir);
    }
    std::string path(const std::string& file) const { return (dir / file).string(); }

    // The steps that change the card, in order: J journal block, H header, D data;
    // e erase, w write.
    std::string steps() const {
        std::string out;
        for (const auto& c : reader->log()) {
            const int low = c.command & 0x0F;
            if (low != 0x01 && low != 0x03) continue;
            out += c.block == 1 ? 'J' : c.block == 0 ? 'H' : 'D';
            out += low == 0x01 ? 'e' : 'w';
        }
        return out;
    }

    fs::path dir;
};

class StackOnly : public StackTest {
protected:
    int readsSubmitted() const {
        int n = 0;
        for (const auto& e : stack->bus().urbLog()) n += e.endpoint == emulator::kInEndpoint;
        return n;
    }
};

INSTANTIATE_TEST_SUITE_P(Faces, StackTest, ::testing::Values(Face::ByteStream, Face::Stack), faceName);
INSTANTIATE_TEST_SUITE_P(Faces, StackOnly, ::testing::Values(Face::Stack), faceName);

TEST_P(StackTest, StatusAndIdentification) {
    struct Case {
        const char* what;
        std::function<void()> card;
        int exists;
        std::size_t blockBytes;
        int check;
    };
    const std::vector<Case> cases = {
        {"blank 512 KiB", [&] { insertCard(0xA4); }, 0, 4096, cardError::Unformatted},
        {"formatted 512 KiB", [&] { insertFormatted(0xA4); }, 0, 4096, 0},
        {"blank 16 MiB", [&] { insertCard(0x73); }, 0, 16384, cardError::Unformatted},
        {"two chips of 2 MiB", [&] { insertCard(0xEA, 0xEA); }, 0, 4096, cardError::Unformatted},
        {"unknown chip", [&] { insertCard(0x12); }, cardError::Unrecognised, 0, cardError::Unrecognised},
        {"no card", [&] { reader->pull(); }, cardError::NoCard, 0, cardError::NoCard},
        {"lower-case id", [&] {
             insertFormatted();
             auto h = hand;
             h.id("kv-m58s1");
             putHeader(h);
         }, 0, 4096, cardError::Unrecognised},
        {"sibling card", [&] {
             insertFormatted();
             auto h = hand;
             h.id("LNC-E207");
             putHeader(h);
         }, 0, 4096, cardError::OtherKind},
        {"journal left at channel 3", [&] {
             insertFormatted();
             card->poke(blockSize(), std::vector<std::uint8_t>{3});
         }, 0, 4096, cardError::JournalSet},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.card();
        EXPECT_EQ(CardExists(), c.exists);
        std::size_t blockBytes = 1;
        rdxCardStatus(blockBytes);
        EXPECT_EQ(blockBytes, c.blockBytes);
        if (c.exists != cardError::NoCard) {
            EXPECT_EQ(rdxFirmwareWord(), 0x0100);
        }
        EXPECT_EQ(GetCardError(), c.check);
        EXPECT_FALSE(rdxLinkOpen()) << "every operation closes the link";
    }
}

TEST_P(StackTest, FormatOfABlankCard) {
    insertCard(0xA4);
    card->poke(9 * blockSize(), std::vector<std::uint8_t>{0x00});  // not blank: bad
    ASSERT_EQ(Format(), 0);
    const HandHeader h = header();
    const std::uint8_t layout[] = {0xAA, 0xBB, 0xCC, 0xD0, 0xD1, 0xEE};
    for (std::size_t b = 0; b < 6; ++b) EXPECT_EQ(h.bytes[160 + b], layout[b]) << b;
    EXPECT_EQ(h.bytes[160 + 9], 0x00);
    EXPECT_EQ(h.bytes[160 + 10], 0xFF);
    EXPECT_EQ(h.word(8), 128);
    EXPECT_EQ(h.word(12), 128 - 6 - 1);
    EXPECT_EQ(h.word(14), 1);
    EXPECT_EQ(GetCardError(), 0);
}

TEST_P(StackTest, FullCheckAndRepairOfTypedBlocks) {
    struct Case {
        const char* what;
        std::function<void()> damage;
        int check;
        int repaired;  // the check after Repair(check)
    };
    const std::vector<Case> cases = {
        {"header sum", [&] { card->poke(1534, std::vector<std::uint8_t>{0x12, 0x34}); }, cardError::HeaderSum, -1},
        {"card version 2", [&] {
             auto h = hand;
             h.bytes[1184] = 2;
             putHeader(h);
         }, cardError::CardVersion, -1},
        {"settings sum", [&] { putTyped(2, std::vector<std::uint8_t>(512, 1), false); }, cardError::SettingsSum, 0},
        {"names sum", [&] { putTyped(5, std::vector<std::uint8_t>(4096, 1), false); }, cardError::NamesSum, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        insertFormatted();
        c.damage();
        EXPECT_EQ(GetCardError(), c.check);
        if (c.repaired < 0) {
            EXPECT_EQ(Repair(c.check), cardError::RepairFailed);
        } else {
            EXPECT_EQ(Repair(c.check), 0);
            EXPECT_EQ(GetCardError(), c.repaired);
        }
    }
}

TEST_P(StackTest, CardImageDumpWriteDumpRoundTrip) {
    insertFormatted();
    auto settings = std::vector<std::uint8_t>(512, 0);
    settings[44] = 1;
    settings[45] = 0x24;
    settings[46] = 0x12;
    settings[47] = 0x31;
    putTyped(2, settings);
    auto patterns = std::vector<std::uint8_t>(2048, 0xFF);
    patterns[0] = 3;
    putTyped(3, patterns);
    auto calendar = std::vector<std::uint8_t>(4096, 0xFF);
    calendar[0] = 0x01;
    calendar[3661] = 0x25;
    putTyped(4, calendar);
    auto names = std::vector<std::uint8_t>(4096, 0);
    for (std::size_t i = 0; i < 4; ++i) names[i] = static_cast<std::uint8_t>("CARD"[i]);
    names[256] = 'M';
    names[512 + 20] = 'P';
    putTyped(5, names);

    const fs::path first = dir / "first.crd", second = dir / "second.crd";
    ASSERT_EQ(ReadCardData(first.string()), 0);
    auto image = readFile(first);
    ASSERT_EQ(image.size(), 0x7000u);
    for (int b = 24; b <= 28; ++b) image[0x6010 + b] = 4;
    image[0x6010 + 27] = 6;
    writeFile(first, image);

    insertFormatted();
    ASSERT_EQ(ReadCardInfo(), 0);
    ASSERT_EQ(WriteCardData(first.string()), 0);
    ASSERT_EQ(ReadCardData(second.string()), 0);
    const auto again = readFile(second);
    ASSERT_EQ(again.size(), image.size());
    const std::pair<long, long> taken[] = {{0x2000, 48}, {0x3000, 2048}, {0x4000, 4096}, {0x5000, 20},
                                           {0x5100, 240}, {0x5200, 400}, {0x5400, 552}, {0x6000, 4}};
    for (const auto& [at, size] : taken)
        EXPECT_EQ(std::vector<std::uint8_t>(again.begin() + at, again.begin() + at + size),
                  std::vector<std::uint8_t>(image.begin() + at, image.begin() + at + size)) << at;
    EXPECT_EQ(GetCardError(), 0);
}

// Blocks of 4096 bytes go as one transfer; blocks of 16384 are cut into segments below.
TEST_P(StackTest, MessageRoundTripUnderTheJournal) {
    struct Case {
        const char* file;
        std::uint8_t chip;
    };
    const Case cases[] = {{"in.dat", 0xA4}, {"in.wav", 0xA4}, {"in.dat", 0x73}, {"in.wav", 0x73}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " on chip " + std::to_string(c.chip));
        insertFormatted(c.chip);
        const std::size_t block = blockSize(), blocks = card->blockCount();
        const auto data = sound(2 * block + 1809);  // three blocks; the length drops the last byte
        const std::size_t kept = data.size() / 16 * 16;
        auto bytes = data;
        if (std::string(c.file) == "in.wav") {
            bytes = waveHeader(static_cast<std::uint32_t>(data.size()));
            bytes.insert(bytes.end(), data.begin(), data.end());
            bytes.push_back(0);
        }
        writeFile(path(c.file), bytes);
        reader->clearLog();
        ASSERT_EQ(WriteMessage(3, path(c.file)), 0);
        // Journal marked, the new blocks whole, the header copied into the journal and its
        // commit recorded, the header (a whole-block write where that is cheaper than three
        // sector writes), journal idle.
        EXPECT_EQ(steps(), std::string("Jw" "DwDwDw" "JwJwJwJw") + (c.chip == 0xA4 ? "HeHw" : "HeHwHwHw") + "Je");
        const HandHeader h = header();
        EXPECT_EQ(h.word(16 + 2 * 2), 3);
        EXPECT_EQ(h.word(64 + 4 * 2), data.size() / 16);
        EXPECT_EQ(h.word(12), blocks - 6 - 3);

        ASSERT_EQ(ReadMessage(3, path("out.dat")), 0);
        auto raw = readFile(path("out.dat"));
        ASSERT_EQ(raw.size(), 3 * block) << "every block whole";
        EXPECT_TRUE(std::equal(data.begin(), data.end(), raw.begin()));
        EXPECT_TRUE(std::all_of(raw.begin() + static_cast<long>(data.size()), raw.end(),
                                [](std::uint8_t b) { return b == 0xFF; }));

        ASSERT_EQ(ReadMessage(3, path("out.wav")), 0);
        auto back = readFile(path("out.wav"));
        const auto head = waveHeader(static_cast<std::uint32_t>(kept));
        ASSERT_EQ(back.size(), head.size() + kept + (kept & 1));
        EXPECT_TRUE(std::equal(head.begin(), head.end(), back.begin()));
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + static_cast<long>(kept),
                               back.begin() + static_cast<long>(head.size())));
        EXPECT_EQ(GetCardError(), 0);
    }
}

// Faults of the reader's protocol that USB carries differently from a byte stream: empty
// transfers, short packets that end a transfer early, replies out of turn.
TEST_P(StackTest, ReaderFaultsGiveTheSameResultOverBothFaces) {
    struct Case {
        const char* what;
        emulator::Fault fault;
        int times;
        std::function<int()> operation;
        int result;
    };
    const auto status = [] { return CardExists(); };
    const auto check = [] { return GetCardError(); };
    const auto write = [] { return WriteCardName(name("NAME")); };
    const std::vector<Case> cases = {
        {"two busy replies", emulator::Fault::Busy, 2, status, 0},
        {"three busy replies", emulator::Fault::Busy, 3, status, cardError::ReceiveFailed},
        {"another command's reply first", emulator::Fault::StrayReply, 1, status, 0},
        {"an empty transfer before the reply", emulator::Fault::ZeroLengthReply, 1, status, 0},
        {"refused", emulator::Fault::Nck, 1, status, cardError::CommandRefused},
        {"an empty transfer before the data", emulator::Fault::ZeroLengthInData, 1, check, 0},
        {"a reply again before the data", emulator::Fault::StrayPacketInData, 1, check, 0},
        {"data 8 bytes short", emulator::Fault::ShortData, 1, check, cardError::ReceiveFailed},
        {"data refused after it was sent", emulator::Fault::RefuseData, 1, write, cardError::WriteRefused},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        insertFormatted();
        reader->inject(c.fault, c.times);
        EXPECT_EQ(c.operation(), c.result);
        EXPECT_FALSE(rdxLinkOpen());
        reader->clearFaults();
        EXPECT_EQ(GetCardError(), 0) << "the next operation is served";
    }
}

// A write whose reply code the link does not know: the reader may wait for the data or not.
// Either way the link leaves it ready for the next command, and nothing is programmed.
TEST_P(StackTest, AGarbledReplyToAWriteLeavesTheReaderReady) {
    const struct {
        const char* what;
        int command;
        std::uint32_t sector;  // a block past the card's end is refused, so nothing waits
    } cases[] = {
        {"a sector write the reader took", CmdWriteSector, 6 * 8},
        {"a block write the reader took", CmdWriteBlock, 6 * 8},
        {"a sector write the reader refused", CmdWriteSector, 200 * 8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        insertFormatted();
        LinkSession session;
        std::size_t bytes = 0;
        ASSERT_EQ(rdxCardStatus(bytes), 0);
        reader->inject(emulator::Fault::CorruptReplyCode, 1, static_cast<std::uint8_t>(c.command));
        std::vector<std::uint8_t> data(c.command == CmdWriteBlock ? 4096 : 512, 0x00);
        EXPECT_EQ(rdxTransact(c.command, c.sector, data), cardError::ReceiveFailed);
        EXPECT_EQ(rdxCardStatus(bytes), 0) << "the next command is heard as one";
        EXPECT_EQ(blockBytes(6), std::vector<std::uint8_t>(4096, 0xFF));
    }
}

TEST_P(StackTest, SilentReaderEndsInATimeOut) {
    struct Case {
        emulator::Fault fault;
        std::function<int()> operation;
        int result;
        int check;  // the card afterwards: a change broken off waits in the journal
    };
    const std::vector<Case> cases = {
        {emulator::Fault::Silence, [] { return CardExists(); }, cardError::ReplyTimeout, 0},
        {emulator::Fault::SilentData, [] { return GetCardError(); }, cardError::DataTimeout, 0},
        {emulator::Fault::SilentAfterData, [] { return WriteCardName(name("CARD")); }, cardError::WriteReplyTimeout,
         cardError::JournalSet},
    };
    insertFormatted();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        reader->inject(c.fault);
        EXPECT_EQ(c.operation(), c.result);
        EXPECT_FALSE(rdxLinkOpen());
        EXPECT_EQ(CardExists(), 0) << "the next command is answered";
        EXPECT_EQ(GetCardError(), c.check);
        if (c.check != 0) {
            EXPECT_EQ(Repair(c.check), 0);
            EXPECT_EQ(GetCardError(), 0);
        }
    }
}

TEST_P(StackOnly, NoReaderGivesNoDriverForEveryCardMethod) {
    insertFormatted();
    stack->pull();
    writeFile(path("in.dat"), sound(100));
    const std::vector<std::pair<const char*, std::function<int()>>> methods = {
        {"CardExists", [] { return CardExists(); }},
        {"GetCardError", [] { return GetCardError(); }},
        {"Format", [] { return Format(); }},
        {"ReadCardInfo", [] { return ReadCardInfo(); }},
        {"ReadCardData", [&] { return ReadCardData(path("dump.crd")); }},
        {"WriteMessage", [&] { return WriteMessage(1, path("in.dat")); }},
        {"ReadMessage", [&] { return ReadMessage(1, path("out.dat")); }},
        {"Repair", [] { return Repair(cardError::JournalSet); }},
    };
    for (const auto& [what, method] : methods) EXPECT_EQ(method(), cardError::NoDriver) << what;
    EXPECT_TRUE(reader->log().empty());
    ASSERT_TRUE(stack->plug(*reader));
    EXPECT_EQ(GetCardError(), 0) << "found again once plugged in";
}

// The cable pulled while a message is written: between two blocks, or while the control
// waits for the reader's answer to a block it has sent (that wait ends with the pull, not
// with the time-out). Plugged in again, the journal leads the repair.
TEST_P(StackOnly, ReaderPulledMidWriteIsFoundAgainAndRepaired) {
    struct Case {
        const char* what;
        bool whileAwaitingAnswer;
        int result;
    };
    const Case cases[] = {
        {"between blocks", false, cardError::SendFailed},
        {"while the answer is awaited", true, cardError::ReceiveFailed},
    };
    writeFile(path("in.dat"), sound(5 * 4096));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        insertFormatted();
        int pumps = 0;
        std::thread puller;
        // The program's message pump runs before each block.
        setHost({{}, [&] {
                     if (++pumps != 3) return;
                     if (!c.whileAwaitingAnswer) return stack->pull();
                     reader->inject(emulator::Fault::SilentAfterData);
                     stack->bus().clearUrbLog();
                     puller = std::thread([&] {
                         // The block's command answered and its data sent, the control's
                         // read for the answer after the data reaches the bus.
                         for (int i = 0; i < 10000 && readsSubmitted() < 2; ++i)
                             std::this_thread::sleep_for(std::chrono::milliseconds(1));
                         stack->pull();
                     });
                 }});
        EXPECT_EQ(WriteMessage(5, path("in.dat")), c.result);
        if (puller.joinable()) puller.join();
        setHost({});
        EXPECT_EQ(CardExists(), cardError::NoDriver);
        EXPECT_EQ(header().word(12), 128 - 6) << "the header was not written";
        EXPECT_NE(blockBytes(6), std::vector<std::uint8_t>(blockSize(), 0xFF)) << "a block was written";

        ASSERT_TRUE(stack->plug(*reader));
        EXPECT_EQ(GetCardError(), cardError::JournalSet);
        EXPECT_EQ(Repair(cardError::JournalSet), 0);
        EXPECT_EQ(GetCardError(), 0);
        for (std::size_t b = 6; b < 128; ++b)
            ASSERT_EQ(blockBytes(b), std::vector<std::uint8_t>(blockSize(), 0xFF)) << "free block " << b << " erased";
        EXPECT_EQ(header().word(12), 128 - 6);

        ASSERT_EQ(WriteMessage(5, path("in.dat")), 0);
        ASSERT_EQ(ReadMessage(5, path("out.dat")), 0);
        EXPECT_EQ(readFile(path("out.dat")), readFile(path("in.dat")));
    }
}

}  // namespace
}  // namespace control_test
