// Message channels: wave, raw and firmware files to and from the card, under the journal.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numeric>

#include "card_fixture.h"
#include "control/card.h"
#include "control/card_info.h"
#include "control/errors.h"
#include "control/message.h"
#include "control/methods.h"
#include "control/state.h"
#include "control/wave.h"

namespace {

using namespace control;
using namespace control_test;
namespace fs = std::filesystem;

std::vector<std::uint8_t> filled(std::size_t n, std::uint8_t value) { return std::vector<std::uint8_t>(n, value); }

std::vector<std::uint8_t> readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const fs::path& p, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(p, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void writeText(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }

std::vector<std::uint8_t> sound(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 31 + 7);
    return bytes;
}

std::vector<std::uint8_t> waveFile(const std::vector<std::uint8_t>& data) {
    auto bytes = waveHeader(static_cast<std::uint32_t>(data.size()));
    bytes.insert(bytes.end(), data.begin(), data.end());
    if (data.size() & 1) bytes.push_back(0);
    return bytes;
}

// One S-record with its checksum.
std::string srecord(char type, std::uint32_t address, const std::vector<std::uint8_t>& data) {
    std::vector<std::uint8_t> bytes = {static_cast<std::uint8_t>(data.size() + 4), static_cast<std::uint8_t>(address >> 16),
                                       static_cast<std::uint8_t>(address >> 8), static_cast<std::uint8_t>(address)};
    bytes.insert(bytes.end(), data.begin(), data.end());
    const unsigned sum = std::accumulate(bytes.begin(), bytes.end(), 0u);
    bytes.push_back(static_cast<std::uint8_t>(~sum));
    std::string line = {'S', type};
    char hex[3];
    for (std::uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        line += hex;
    }
    return line + "\n";
}

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

class MessageTest : public CardTest {
protected:
    void SetUp() override {
        CardTest::SetUp();
        dir = fs::temp_directory_path() / ("kv_message_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::remove_all(dir);
        CardTest::TearDown();
    }
    std::string path(const char* name) const { return (dir / name).string(); }

    // Blocks of the map that belong to the channel, in map order.
    std::vector<std::size_t> blocksOf(int ch) const {
        std::vector<std::size_t> out;
        const HandHeader h = header();
        for (std::size_t i = 1; i < 128; ++i)
            if (h.bytes[160 + i] == ch) out.push_back(i);
        return out;
    }
    // Every block is accounted for: typed, free, bad or a channel's, and the counts agree.
    void expectConsistentMap() const {
        const HandHeader h = header();
        std::size_t free = 0, bad = 0, channels = 0;
        for (std::size_t i = 1; i < 128; ++i) {
            const std::uint8_t e = h.bytes[160 + i];
            if (e == 0xFF) ++free;
            else if (e == 0x00) ++bad;
            else if (e >= 1 && e <= 24) ++channels;
        }
        EXPECT_EQ(h.word(12), free);
        EXPECT_EQ(h.word(14), bad);
        std::size_t counted = 0;
        for (int ch = 1; ch <= 24; ++ch) counted += h.word(16 + 2 * (ch - 1));
        EXPECT_EQ(counted, channels);
    }

    fs::path dir;
};

TEST_F(MessageTest, RawAndWaveFilesRoundTrip) {
    insertFormatted();
    const auto data = sound(10001);
    writeFile(path("in.wav"), waveFile(data));
    ASSERT_EQ(WriteMessage(3, path("in.wav")), 0);
    HandHeader h = header();
    EXPECT_EQ(h.word(16 + 4), 3);
    EXPECT_EQ(h.word(64 + 8), 10001 / 16);
    EXPECT_EQ(blocksOf(3), (std::vector<std::size_t>{6, 7, 8}));
    EXPECT_EQ(blockBytes(8)[10001 - 8192], 0xFF) << "the rest of the last block stays erased";
    EXPECT_EQ(progressPosition(), 3);

    ASSERT_EQ(ReadMessage(3, path("out.WAV")), 0);
    const auto wave = readFile(path("out.WAV"));
    ASSERT_EQ(wave.size(), 58u + 10000u);
    EXPECT_EQ(std::vector<std::uint8_t>(wave.begin(), wave.begin() + 58), waveHeader(10000));
    EXPECT_TRUE(std::equal(wave.begin() + 58, wave.end(), data.begin()));

    ASSERT_EQ(ReadMessage(3, path("out.dat")), 0);
    const auto raw = readFile(path("out.dat"));
    ASSERT_EQ(raw.size(), 3u * 4096u) << "a raw file holds the channel's blocks whole";
    EXPECT_TRUE(std::equal(data.begin(), data.end(), raw.begin()));

    writeFile(path("ten.dat"), sound(10));
    ASSERT_EQ(WriteMessage(5, path("ten.dat")), 0);
    h = header();
    EXPECT_EQ(h.word(16 + 8), 1);
    EXPECT_EQ(h.word(64 + 16), 0) << "10 bytes are no whole 16-byte unit";
    EXPECT_EQ(blockBytes(9)[10], 0xFF);
    EXPECT_EQ(ReadMessage(5, path("ten.wav")), 0);
    EXPECT_FALSE(fs::exists(path("ten.wav"))) << "a wave file without data is not left behind";
    expectConsistentMap();
    EXPECT_EQ(GetCardError(), 0);
}

TEST_F(MessageTest, ReplacingAMessageFollowsTheJournal) {
    insertFormatted();
    writeFile(path("a.dat"), sound(5000));
    ASSERT_EQ(WriteMessage(2, path("a.dat")), 0);
    reader->clearLog();
    writeFile(path("b.dat"), sound(100));
    ASSERT_EQ(WriteMessage(2, path("b.dat")), 0);

    // J = the journal block (1), H = the header (0), D = a data block.
    std::string steps;
    for (const auto& c : reader->log()) {
        if (c.command == 0x04 || (c.command & 0x0F) == 0x02) continue;
        const char what = c.block == 1 ? 'J' : c.block == 0 ? 'H' : 'D';
        steps += what;
        steps += c.command == 0x01 ? 'e' : 'w';
    }
    // Journal marked, the new block beside the old ones, the new header copied into the
    // journal and its commit recorded; then the header in place (one whole-block write on
    // this card), the old blocks erased and the journal idle.
    EXPECT_EQ(steps, "JwDw" "JwJwJwJw" "HeHw" "DeDeJe");
    expectConsistentMap();
    EXPECT_EQ(header().word(12), 128 - 6 - 1);
}

TEST_F(MessageTest, CardPulledBetweenAnyTwoStepsIsRepaired) {
    const auto before = sound(9000), after = sound(13000);
    auto holds = [&](const std::vector<std::uint8_t>& data) {
        const auto back = readFile(path("back.dat"));
        return back.size() >= data.size() && std::equal(data.begin(), data.end(), back.begin());
    };
    for (int k = 1;; ++k) {
        insertFormatted();
        writeFile(path("a.dat"), before);
        ASSERT_EQ(WriteMessage(4, path("a.dat")), 0);
        writeFile(path("b.dat"), after);
        reader->clearLog();
        reader->pullCardAfter(k);
        const int result = WriteMessage(4, path("b.dat"));
        reader->insert(card);
        if (result == 0) break;  // the whole write fitted before the card went
        const int check = GetCardError();
        ASSERT_TRUE(check == 0 || check == 610) << "after " << k << " commands: " << check;
        if (check == 610) {
            EXPECT_EQ(Repair(610), 0) << k;
        }
        EXPECT_EQ(GetCardError(), 0) << k;
        expectConsistentMap();
        ASSERT_EQ(ReadMessage(4, path("back.dat")), 0) << k;
        EXPECT_TRUE(holds(before) || holds(after)) << "after " << k << " commands the message is neither";
        ASSERT_LT(k, 200);
    }
}

TEST_F(MessageTest, TooFewBlocks) {
    // Three free blocks: what this card keeps for the copies of a change.
    insertFormatted();
    auto h = hand;
    std::vector<std::size_t> taken;
    for (std::size_t b = 6; b < 120; ++b) taken.push_back(b);
    h.channel(9, taken, 0);
    h.channel(2, {120, 121, 122, 123, 124}, 512);
    putHeader(h);
    fillBlock(124, 0x24);

    writeFile(path("six.dat"), sound(6 * 4096));
    reader->clearLog();
    EXPECT_EQ(WriteMessage(2, path("six.dat")), cardError::NoFreeBlock);
    EXPECT_TRUE(changes().empty());
    writeFile(path("one.dat"), sound(4096));
    EXPECT_EQ(WriteMessage(5, path("one.dat")), cardError::NoFreeBlock) << "the kept blocks are not for messages";
    EXPECT_TRUE(changes().empty());

    writeFile(path("five.dat"), sound(5 * 4096));
    ASSERT_EQ(WriteMessage(2, path("five.dat")), 0) << "the free blocks and the channel's own, less the kept ones";
    EXPECT_EQ(header().word(12), 3);
    expectConsistentMap();

    // The old blocks of the channel fail to erase: not enough room is left.
    for (std::size_t b : blocksOf(2)) reader->failErase(b);
    writeFile(path("four.dat"), sound(4 * 4096));
    EXPECT_EQ(WriteMessage(2, path("four.dat")), cardError::NoFreeAfterErase);
    EXPECT_EQ(header().word(16 + 2), 0) << "the old message is gone";
    EXPECT_EQ(GetCardError(), 0);
    expectConsistentMap();
}

TEST_F(MessageTest, RefusedBlocksTurnBadAndTheWriteMovesOn) {
    insertFormatted();
    reader->refuseDataOn(7);
    const auto data = sound(3 * 4096);
    writeFile(path("m.dat"), data);
    ASSERT_EQ(WriteMessage(1, path("m.dat")), 0);
    HandHeader h = header();
    EXPECT_EQ(blocksOf(1), (std::vector<std::size_t>{6, 8, 9}));
    EXPECT_EQ(h.bytes[160 + 7], 0x00);
    EXPECT_EQ(h.word(14), 1);
    EXPECT_EQ(h.word(12), 128 - 6 - 1 - 3);
    EXPECT_EQ(blockBytes(8), std::vector<std::uint8_t>(data.begin() + 4096, data.begin() + 8192));
    expectConsistentMap();

    // With no block to spare, a refused block leaves the channel what was written.
    insertFormatted();
    auto tight = hand;
    std::vector<std::size_t> taken;
    for (std::size_t b = 6; b < 122; ++b) taken.push_back(b);
    tight.channel(9, taken, 0);
    putHeader(tight);  // free: 122..127, three of them kept for changes
    for (std::size_t b : {122, 123, 124, 126}) reader->refuseDataOn(b);
    ASSERT_EQ(WriteMessage(1, path("m.dat")), cardError::NoFreeWhileWriting);
    h = header();
    EXPECT_EQ(h.word(16), 2);
    EXPECT_EQ(h.word(64), 2 * 4096 / 16);
    EXPECT_EQ(h.word(12), 0);
    EXPECT_EQ(GetCardError(), 0);
}

TEST_F(MessageTest, FilesThatAreNotAcceptedLeaveTheCardAlone) {
    insertFormatted();
    auto pcm = waveFile(sound(100));
    pcm[20] = 1;   // PCM, not mu-law
    writeFile(path("pcm.wav"), pcm);
    auto sixteen = waveFile(sound(100));
    sixteen[34] = 16;
    writeFile(path("sixteen.wav"), sixteen);
    writeFile(path("short.wav"), {'R', 'I', 'F', 'F', 4, 0});
    writeFile(path("m.mp3"), sound(100));
    struct Case {
        const char* file;
        int result;
    };
    fs::create_directories(dir / "folder.dat");
    const Case cases[] = {{"pcm.wav", 306}, {"sixteen.wav", 306}, {"short.wav", 306}, {"m.mp3", 304},
                          {"none.wav", 300}, {"folder.dat", 300}};
    for (const Case& c : cases) {
        reader->clearLog();
        EXPECT_EQ(WriteMessage(1, path(c.file)), c.result) << c.file;
        EXPECT_TRUE(changes().empty()) << c.file;
    }
    EXPECT_EQ(WriteMessage(0, path("m.dat")), 201);
    EXPECT_EQ(WriteMessage(25, path("m.dat")), 201);
}

TEST_F(MessageTest, WaveFilesMadeBySox) {
    if (!run("command -v sox >/dev/null 2>&1")) GTEST_SKIP() << "sox is not installed";
    const std::string made = path("sox.wav"), pcm = path("pcm.wav");
    ASSERT_TRUE(run("sox -n -r 8000 -c 1 -e mu-law -b 8 '" + made + "' synth 0.5 sine 440 2>/dev/null"));
    ASSERT_TRUE(run("sox -n -r 8000 -c 1 -e signed -b 16 '" + pcm + "' synth 0.5 sine 440 2>/dev/null"));
    insertFormatted();
    ASSERT_EQ(WriteMessage(1, made), 0);
    EXPECT_EQ(header().word(64), 4000 / 16);
    reader->clearLog();
    EXPECT_EQ(WriteMessage(2, pcm), 306);
    EXPECT_TRUE(changes().empty());
}

TEST_F(MessageTest, FirmwareFromAnSRecordFileMadeByObjcopy) {
    if (!run("command -v objcopy >/dev/null 2>&1")) GTEST_SKIP() << "objcopy is not installed";
    const auto firmware = sound(5000);
    writeFile(path("fw.bin"), firmware);
    ASSERT_TRUE(run("objcopy -I binary -O srec --change-addresses 0x10000 '" + path("fw.bin") + "' '" +
                    path("fw.hex") + "'"));
    insertFormatted();
    ASSERT_EQ(WriteMessage(24, path("fw.hex")), 0);
    const auto blocks = blocksOf(24);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blockBytes(blocks[0]), std::vector<std::uint8_t>(firmware.begin(), firmware.begin() + 4096));
    EXPECT_EQ(blockBytes(blocks[1])[5000 - 4096 - 1], firmware.back());
    EXPECT_EQ(blockBytes(blocks[1])[5000 - 4096], 0xFF);
    EXPECT_EQ(header().word(64 + 4 * 23), 2 * 4096 / 16);
    ASSERT_EQ(ReadCardInfo(), 0);
    EXPECT_EQ(cardInfo().versionProgram, (std::array<int, 3>{firmware[0], firmware[1], firmware[2]}));
    expectConsistentMap();
}

TEST_F(MessageTest, FirmwareFilesAreCheckedBeforeTheOldFirmwareGoes) {
    insertFormatted();
    writeText(path("ok.hex"), srecord('0', 0, {'h'}) + srecord('2', 0x10000, {1, 2, 3}) +
                                  srecord('2', 0x10010, {4}) + srecord('8', 0, {}));
    ASSERT_EQ(WriteMessage(24, path("ok.hex")), 0);
    const auto old = blocksOf(24);
    ASSERT_EQ(old.size(), 1u);
    auto first = blockBytes(old[0]);
    EXPECT_EQ(std::vector<std::uint8_t>(first.begin(), first.begin() + 18),
              (std::vector<std::uint8_t>{1, 2, 3, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                         0xFF, 0xFF, 4, 0xFF}));

    std::string corrupt = srecord('2', 0x10000, {1, 2, 3});
    corrupt[10] = corrupt[10] == '0' ? '1' : '0';
    const std::pair<const char*, std::string> refused[] = {
        {"checksum", corrupt},
        {"far away", srecord('2', 0x10000, {1}) + srecord('2', 0xFF0000, {2})},
        {"past the area", srecord('2', 0x1FFFE, {1, 2, 3})},
        {"backwards", srecord('2', 0x10100, {1}) + srecord('2', 0x10000, {2})},
        {"malformed", "S2041000\n"},
    };
    for (const auto& [what, text] : refused) {
        writeText(path("bad.hex"), text);
        reader->clearLog();
        EXPECT_EQ(WriteMessage(24, path("bad.hex")), cardError::FileFormat) << what;
        EXPECT_TRUE(changes().empty()) << what;
    }
    EXPECT_EQ(blocksOf(24), old);

    writeText(path("low.hex"), srecord('2', 0x8000, {1, 2}) + "not a record\n" + srecord('8', 0, {}));
    ASSERT_EQ(WriteMessage(24, path("low.hex")), 0);
    ASSERT_EQ(blocksOf(24).size(), 1u);
    EXPECT_EQ(blockBytes(blocksOf(24)[0]), filled(4096, 0xFF)) << "nothing in the area: one erased block";
}

TEST_F(MessageTest, ReadingNeedsAMessageAndAName) {
    insertFormatted();
    EXPECT_EQ(ReadMessage(3, ""), cardError::NoMessage);
    EXPECT_EQ(ReadMessage(3, path("x.wav")), cardError::NoMessage);
    writeFile(path("m.dat"), sound(100));
    ASSERT_EQ(WriteMessage(3, path("m.dat")), 0);
    EXPECT_EQ(ReadMessage(3, ""), cardError::NoFileName);
    EXPECT_EQ(ReadMessage(3, path("x.txt")), cardError::FileExtension);
    EXPECT_EQ(ReadMessage(3, path("missing/x.wav")), cardError::FileCreate);
    reader->injectAfter(2, emulator::Fault::Nck);  // after the status and the header: the data
    EXPECT_EQ(ReadMessage(3, path("x.dat")), cardError::CommandRefused);
    EXPECT_FALSE(fs::exists(path("x.dat"))) << "a failed output is deleted";
}

TEST_F(MessageTest, EmptyNameErasesTheChannel) {
    insertFormatted();
    writeFile(path("m.dat"), sound(9000));
    ASSERT_EQ(WriteMessage(3, path("m.dat")), 0);
    ASSERT_EQ(WriteMessage(3, ""), 0);
    EXPECT_TRUE(blocksOf(3).empty());
    EXPECT_EQ(header().word(12), 122);
    EXPECT_EQ(blockBytes(6), filled(4096, 0xFF));
    EXPECT_EQ(GetCardError(), 0);
}

TEST_F(MessageTest, ReplaceSwapsMessagesAndNames) {
    insertFormatted();
    writeFile(path("m.dat"), sound(5000));
    ASSERT_EQ(WriteMessage(2, path("m.dat")), 0);
    NameField name{};
    std::copy_n("Two", 3, name.begin());
    ASSERT_EQ(WriteMsgName(2, name), 0);
    const auto blocks = blocksOf(2);

    ASSERT_EQ(ReplaceMessage(2, 5), 0);
    EXPECT_TRUE(blocksOf(2).empty());
    EXPECT_EQ(blocksOf(5), blocks);
    EXPECT_EQ(header().word(16 + 8), 2);
    EXPECT_EQ(header().word(64 + 16), 5000 / 16);
    ASSERT_EQ(ReadCardInfo(), 0);
    EXPECT_EQ(cardInfo().messageName[4], "Two");
    EXPECT_EQ(cardInfo().messageName[1], "");

    EXPECT_EQ(ReplaceMessage(7, 8), 0) << "neither holds a message: the names still swap";
    EXPECT_EQ(ReplaceMessage(2, 10), cardError::BadChannel);
    EXPECT_EQ(rdxSwapChannels(7, 8), cardError::NoMessage);
}

TEST_F(MessageTest, NamesStayInsideTheNameArea) {
    insertFormatted();
    NameField name{};
    std::copy_n("CardName", 8, name.begin());
    ASSERT_EQ(WriteCardName(name), 0);
    ASSERT_EQ(WriteMsgName(12, name), 0);
    const auto names = blockBytes(5);
    EXPECT_EQ(names[0], 'C');
    EXPECT_EQ(names[256 + 20 * 11], 'C');
    for (int ch : {0, 13, 24, -1}) EXPECT_EQ(WriteMsgName(ch, name), cardError::BadChannel) << ch;
    EXPECT_EQ(blockBytes(5), names);
    EXPECT_EQ(GetCardError(), 0);
}

TEST_F(MessageTest, MessageBlocksForPlayback) {
    insertFormatted();
    auto h = hand;
    h.channel(6, {20, 21}, 4096 / 16 + 10);  // 4256 bytes: 160 in the second block
    h.channel(7, {22}, 10000);               // a length longer than its block
    h.channel(8, {23}, 0);
    putHeader(h);
    fillBlock(21, 0x21);
    std::vector<std::uint8_t> out(4096);
    std::size_t bytes = 0;
    EXPECT_EQ(rdxMessageBlock(6, 1, out, bytes), 0);
    EXPECT_EQ(bytes, 4096u);
    EXPECT_EQ(rdxMessageBlock(6, 2, out, bytes), 0);
    EXPECT_EQ(bytes, 160u);
    EXPECT_EQ(out[0], 0x21);
    EXPECT_EQ(rdxMessageBlock(7, 1, out, bytes), 0);
    EXPECT_EQ(bytes, 4096u);
    EXPECT_EQ(rdxMessageBlock(8, 1, out, bytes), 0);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(rdxMessageBlock(6, 3, out, bytes), cardError::NoSuchBlock);
    EXPECT_EQ(rdxMessageBlock(9, 1, out, bytes), cardError::NoMessage);
    EXPECT_EQ(rdxMessageBlock(25, 1, out, bytes), cardError::BadChannel);

    h.word(16 + 2 * 5, 3);  // the header claims a block the map does not hold
    h.word(64 + 4 * 5, 0);
    putHeader(h);
    EXPECT_EQ(rdxMessageBlock(6, 3, out, bytes), cardError::NoSuchBlock);
    EXPECT_EQ(rdxMessageBlock(6, 2, out, bytes), 0);
    EXPECT_EQ(bytes, 4096u);
    EXPECT_EQ(rdxMessageLength(7), 20000);
}

}  // namespace
