// Card information and card data files, against the emulated reader.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>

#include "card_fixture.h"
#include "control/card_info.h"
#include "control/errors.h"
#include "control/methods.h"

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

void put(std::vector<std::uint8_t>& bytes, std::size_t at, const std::vector<std::uint8_t>& part) {
    std::copy(part.begin(), part.end(), bytes.begin() + static_cast<long>(at));
}

class TransferTest : public CardTest {
protected:
    void SetUp() override {
        CardTest::SetUp();
        dir = fs::temp_directory_path() / ("kv_control_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override {
        fs::remove_all(dir);
        CardTest::TearDown();
    }

    // A card with something in every block the information reads.
    void insertFilledCard() {
        insertFormatted();
        auto h = hand;
        h.channel(3, {30, 31}, 1000);
        h.channel(24, {40}, 256);
        h.bytes[1184] = 1;
        h.bytes[1187] = 1; h.bytes[1188] = 5; h.bytes[1189] = 0;
        putHeader(h);
        card->poke(40 * 4096, std::vector<std::uint8_t>{0x01, 0x02, 0x03});
        auto settings = filled(512, 0);
        settings[44] = 1; settings[45] = 0x24; settings[46] = 0x12; settings[47] = 0x31;
        settings[286] = 1; settings[287] = 0;
        putTyped(2, settings);
        auto patterns = filled(2048, 0xFF);
        patterns[0] = 3;                        // pattern 1 answers on channel 3
        patterns[78] = 0; patterns[78 + 3] = 9;  // pattern 2 starts off, then channel 9
        patterns[156] = 0;                      // pattern 3 starts off and has no second step
        putTyped(3, patterns);
        auto calendar = filled(4096, 0xFF);
        calendar[0] = 0x01;  // 1 January: weekday pattern 1
        calendar[3661] = 0x25; calendar[3662] = 0x01; calendar[3663] = 0x09;
        calendar[3664] = 1; calendar[3665] = 0;
        putTyped(4, calendar);
        auto names = filled(4096, 0);
        put(names, 0, {'C', 'A', 'R', 'D', ' ', ' '});
        put(names, 256, {'H', 'i', 0xFF, 'x'});
        put(names, 512 + 20, {0x83, 0x65, 0x83, 0x58, 0x83, 0x67});  // Shift-JIS
        putTyped(5, names);
    }

    fs::path dir;
};

TEST_F(TransferTest, CardInformationFromEveryBlock) {
    insertFilledCard();
    ASSERT_EQ(ReadCardInfo(), 0);
    const CardInfo i = cardInfo();
    EXPECT_EQ(i.blockMs, 512);
    EXPECT_EQ(i.totalBlocks, 128);
    EXPECT_EQ(i.freeBlocks, 119);
    // Three blocks of this card are kept for the copies of a change.
    EXPECT_EQ(i.cardTime, (128 - 6 - 3) * 512);
    EXPECT_EQ(i.cardRemain, (119 - 3) * 512);
    EXPECT_EQ(i.cardSize, 60);
    EXPECT_EQ(i.messageTime[2], 2 * 512);
    EXPECT_EQ(i.msgRecTime[2], 2000);
    EXPECT_EQ(i.versionCard, (std::array<int, 3>{1, 0, 0}));
    EXPECT_EQ(i.versionPC, (std::array<int, 3>{1, 5, 0}));
    EXPECT_EQ(i.versionProgram, (std::array<int, 3>{1, 2, 3}));
    EXPECT_EQ(i.upDateSetting.year, 24);
    EXPECT_EQ(i.upDateSetting.month, 12);
    EXPECT_EQ(i.upDateSetting.day, 31);
    EXPECT_TRUE(i.recBoard);
    EXPECT_FALSE(i.busyCircuit);
    EXPECT_TRUE(i.patternSet[0]);
    EXPECT_TRUE(i.patternSet[1]);
    EXPECT_FALSE(i.patternSet[2]);
    EXPECT_EQ(i.upDateSchedule.year, 25);
    EXPECT_TRUE(i.messageAnsRec[0]);
    EXPECT_FALSE(i.messageAnsRec[1]);
    EXPECT_EQ(i.cardName, "CARD");
    EXPECT_EQ(i.messageName[0], "Hi");
    EXPECT_EQ(i.patternName[1], "\x83\x65\x83\x58\x83\x67");
}

TEST_F(TransferTest, CardInformationOfAFreshCardAndOfAFailure) {
    insertFormatted();
    auto settings = filled(512, 0);
    settings[44] = 1;
    putTyped(2, settings);
    ASSERT_EQ(ReadCardInfo(), 0);
    CardInfo i = cardInfo();
    EXPECT_EQ(i.versionProgram, (std::array<int, 3>{0, 0, 0})) << "channel 24 is empty";
    EXPECT_EQ(i.upDateSetting.year, 2) << "a settings block without a date";
    EXPECT_EQ(i.upDateSetting.month, 1);
    EXPECT_EQ(i.upDateSetting.day, 1);
    EXPECT_EQ(i.cardName, "");

    card->poke(1 * 4096, filled(1, 5));
    EXPECT_EQ(ReadCardInfo(), 610);
    EXPECT_EQ(cardInfo().totalBlocks, 0) << "the cache is cleared first";
}

TEST_F(TransferTest, BcdAndNameRules) {
    const std::pair<std::uint8_t, int> bcd[] = {{0x00, 0}, {0x09, 9}, {0x0A, 10}, {0x12, 12}, {0x99, 99}, {0x9A, 0}, {0xFF, 0}};
    for (const auto& [byte, value] : bcd) EXPECT_EQ(decodeBcd(byte), value) << int(byte);
    const std::uint8_t field[20] = {'a', 'b', ' ', 'c', ' ', ' ', 0, 'z'};
    EXPECT_EQ(nameFromField(field), "ab c");
    std::uint8_t blank[20];
    std::fill(std::begin(blank), std::end(blank), 0xFF);
    EXPECT_EQ(nameFromField(blank), "");
}

TEST_F(TransferTest, DumpHoldsEveryTypedBlockAndTheBlockSize) {
    insertFilledCard();
    const fs::path file = dir / "CardData.crd";
    ASSERT_EQ(ReadCardData(file.string()), 0);
    const auto dump = readFile(file);
    ASSERT_EQ(dump.size(), 0x7000u);
    EXPECT_EQ(std::vector<std::uint8_t>(dump.begin(), dump.begin() + 1536), card->peek(0, 1536));
    EXPECT_EQ(std::vector<std::uint8_t>(dump.begin() + 0x1000, dump.begin() + 0x1200), filled(512, 0xFF));
    EXPECT_EQ(std::vector<std::uint8_t>(dump.begin() + 0x5000, dump.begin() + 0x6000), card->peek(5 * 4096, 4096));
    EXPECT_EQ(dump[0x6000], 0x00);
    EXPECT_EQ(dump[0x6001], 0x10);

    insertFormatted();
    ASSERT_EQ(ReadCardData(file.string()), 0);
    const auto fresh = readFile(file);
    EXPECT_EQ(std::vector<std::uint8_t>(fresh.begin() + 0x5000, fresh.begin() + 0x6000), filled(4096, 0xFF))
        << "a blank names block is dumped as it is";
    EXPECT_EQ(ReadCardData((dir / "missing" / "x.crd").string()), cardError::ReadFailed);
}

TEST_F(TransferTest, DumpThenWriteThenDumpGivesTheSameBlocks) {
    insertFilledCard();
    const fs::path first = dir / "first.crd", second = dir / "second.crd";
    ASSERT_EQ(ReadCardData(first.string()), 0);
    auto image = readFile(first);
    for (int b = 24; b <= 28; ++b) image[0x6010 + b] = 4;
    image[0x6010 + 27] = 6;
    writeFile(first, image);

    insertFormatted();
    ASSERT_EQ(ReadCardInfo(), 0);
    ASSERT_EQ(WriteCardData(first.string()), 0);
    ASSERT_EQ(ReadCardData(second.string()), 0);
    const auto again = readFile(second);
    const std::pair<long, long> taken[] = {{0x3000, 2048}, {0x4000, 4096}, {0x5000, 20},
                                           {0x5100, 240}, {0x5200, 400}, {0x5400, 552}};
    for (const auto& [at, size] : taken)
        EXPECT_EQ(std::vector<std::uint8_t>(again.begin() + at, again.begin() + at + size),
                  std::vector<std::uint8_t>(image.begin() + at, image.begin() + at + size)) << at;
    EXPECT_EQ(again[0x2000 + 45], 0x24);
    EXPECT_EQ(again[0x2000 + 286], 0) << "the blank card had no recording board";
    EXPECT_EQ(again[1187], 1);
    EXPECT_EQ(again[1188], 5);
    EXPECT_EQ(GetCardError(), 0);
}

TEST_F(TransferTest, WriteModeRecordSelectsAndMerges) {
    auto image = filled(0x7900, 0);
    put(image, 0, {'K', 'V', '-', 'M', '5', '8', 'S', '1'});
    image[1187] = 1;
    image[0x2000 + 0] = 0x42;
    image[0x2000 + 47] = 0x47;
    image[0x2000 + 100] = 0x99;  // beyond the 48 bytes: never taken
    for (int n = 0; n < 12; ++n) image[0x5100 + 20 * n] = static_cast<std::uint8_t>('A' + n);
    image[0x5400] = 7;

    struct Case {
        const char* what;
        std::array<std::uint8_t, 5> record;  // bytes 24..28
        std::uint8_t fileFlags;              // file bytes 286 and 287
        bool cardSettingsBlank;
    };
    const Case cases[] = {
        {"keep flags", {4, 0, 0, 0, 0}, 0xFF, false},
        {"clear flags", {4, 0, 0, 0, 0}, 0x00, false},
        {"blank card settings", {4, 0, 0, 0, 0}, 0xFF, true},
        {"nine names", {0, 0, 0, 4, 0}, 0xFF, false},
        {"twelve names", {0, 0, 0, 6, 0}, 0xFF, false},
        {"clear schedule", {0, 2, 0, 0, 0}, 0xFF, false},
    };
    const fs::path file = dir / "CardData.crd";
    for (const Case& c : cases) {
        insertFormatted();
        auto settings = filled(512, 0x01);
        if (!c.cardSettingsBlank) putTyped(2, settings);
        putTyped(3, filled(2048, 0x03));
        auto names = filled(4096, 0x20);
        putTyped(5, names);
        image[0x2000 + 286] = image[0x2000 + 287] = c.fileFlags;
        std::copy(c.record.begin(), c.record.end(), image.begin() + 0x6010 + 24);
        writeFile(file, image);
        ASSERT_EQ(WriteCardData(file.string()), 0) << c.what;

        const auto s = blockBytes(2);
        const auto n = blockBytes(5);
        if (c.record[0] != 0) {
            EXPECT_EQ(s[0], 0x42) << c.what;
            EXPECT_EQ(s[47], 0x47) << c.what;
            EXPECT_EQ(s[100], 0x00) << c.what;
            const std::uint8_t flag = c.cardSettingsBlank ? 0 : (c.fileFlags & 0x01);
            EXPECT_EQ(s[286], flag) << c.what;
            EXPECT_EQ(s[287], flag) << c.what;
        }
        if (c.record[3] != 0) {
            EXPECT_EQ(n[256 + 20 * 8], 'I') << c.what;
            EXPECT_EQ(n[256 + 20 * 9], c.record[3] == 6 ? 'J' : 0x20) << c.what;
            EXPECT_EQ(n[256 + 20 * 11], c.record[3] == 6 ? 'L' : 0x20) << c.what;
        }
        if (c.record[1] == 2) {
            EXPECT_EQ(blockBytes(3), filled(4096, 0xFF)) << c.what;
            EXPECT_EQ(n[1024], 0xFF) << c.what;
            EXPECT_EQ(n[1575], 0xFF) << c.what;
            EXPECT_EQ(n[1576], 0x20) << c.what;
        }
        EXPECT_EQ(GetCardError(), 0) << c.what;
    }
}

TEST_F(TransferTest, WriteCardDataRefusesFilesItCannotTrust) {
    auto image = filled(0x7900, 0);
    put(image, 0, {'K', 'V', '-', 'M', '5', '8', 'S', '1'});
    image[0x6010 + 24] = 4;
    const fs::path file = dir / "CardData.crd";
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> change;
        int result;
    };
    const Case cases[] = {
        {"nothing selected", [](auto& b) { b[0x6010 + 24] = 0; }, 0},
        {"half-built", [](auto& b) { put(b, 0, {'E', 'r', 'r', 'o', 'r', '!', 0, 0}); }, cardError::FileFormat},
        {"newer data version", [](auto& b) { b[1187] = 2; }, cardError::FileVersion},
        {"short file", [](auto& b) { b.resize(0x6010); }, cardError::FileRead},
    };
    for (const Case& c : cases) {
        insertFormatted();
        auto bytes = image;
        c.change(bytes);
        writeFile(file, bytes);
        reader->clearLog();
        EXPECT_EQ(WriteCardData(file.string()), c.result) << c.what;
        EXPECT_TRUE(changes().empty()) << c.what;
    }
    EXPECT_EQ(WriteCardData((dir / "none.crd").string()), cardError::FileOpen);
}

TEST_F(TransferTest, WholeFileRestoreChecksTheFileAndLeavesTheJournalIdle) {
    insertFilledCard();
    const fs::path file = dir / "CardData.crd";
    ASSERT_EQ(ReadCardData(file.string()), 0);
    auto image = readFile(file);
    image[0x1000] = 0;  // a journal byte that would claim an interrupted write
    writeFile(file, image);

    insertFormatted();
    ASSERT_EQ(WriteCardFile(file.string()), 0);
    EXPECT_EQ(blockBytes(1)[0], 0xFF);
    EXPECT_EQ(blockBytes(2)[45], 0x24) << "settings taken: byte 44 is 1";
    EXPECT_EQ(blockBytes(3)[0], 3);
    EXPECT_EQ(GetCardError(), 0);

    auto halfBuilt = image;
    put(halfBuilt, 0, {'E', 'r', 'r', 'o', 'r', '!', 0, 0});
    writeFile(file, halfBuilt);
    reader->clearLog();
    EXPECT_EQ(WriteCardFile(file.string()), cardError::FileFormat);
    EXPECT_TRUE(changes().empty());
    image[1187] = 2;
    writeFile(file, image);
    EXPECT_EQ(WriteCardFile(file.string()), cardError::FileVersion);
    EXPECT_TRUE(changes().empty());
    EXPECT_EQ(WriteCardFile((dir / "none.crd").string()), cardError::WriteRefused);
}

}  // namespace
