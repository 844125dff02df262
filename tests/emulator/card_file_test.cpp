// Cards kept in files: what a reader wrote is there for the next reader.
#include "emulator/environment.h"
#include "packets.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace emulator::test {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct CardFile : ::testing::Test {
    fs::path folder;
    fs::path file;
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("kv-emulator-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        file = folder / "card.img";
    }
    void TearDown() override { fs::remove_all(folder); }

    Bytes contents(const fs::path& f) const {
        std::ifstream in(f, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    void writeFile(const Bytes& bytes) const {
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                      static_cast<std::streamsize>(bytes.size()));
    }
};

TEST_F(CardFile, WhatAReaderWroteIsThereForTheNextOne) {
    {
        Reader reader;
        reader.insert(Card::open(file));
        ASSERT_EQ(send(reader, packet(0x03, 1000, 31))->at(0), 0x55);
        ASSERT_EQ(reader.write(filled(512, 0x12)), 512u);
        ASSERT_EQ(next(reader)->at(0), 0x55);
        ASSERT_EQ(send(reader, packet(0x13, 3, 31))->at(0), 0x55);
        ASSERT_EQ(reader.write(filled(16384, 0x34)), 16384u);
        ASSERT_EQ(next(reader)->at(0), 0x55);
        ASSERT_EQ(send(reader, packet(0x01, 3, 0))->at(0), 0x55);  // and erased again
    }
    Reader reader;
    auto card = Card::open(file);
    reader.insert(card);
    EXPECT_EQ(send(reader, packet(0x04)), (Bytes{0x55, 0, 0x73, 0, 0xFF, 0x22, 0x01, 0x00}));
    EXPECT_EQ(card->sector(1000 * 32 + 31), filled(512, 0x12));
    EXPECT_EQ(card->sector(1000 * 32 + 30), filled(512, 0xFF));
    EXPECT_EQ(card->peek(3 * 16384, 16384), filled(16384, 0xFF));
    EXPECT_EQ(card->file(), file);
}

TEST_F(CardFile, AMissingFileBecomesABlankCardOfTheChosenChip) {
    auto card = Card::open(file, 0xEA);
    EXPECT_EQ(card->firstChip(), 0xEA);
    EXPECT_EQ(card->image(), filled(2 * 1024 * 1024, 0xFF));
    EXPECT_EQ(fs::file_size(file), 64u + 2 * 1024 * 1024);
}

TEST_F(CardFile, ASnapshotKeepsBothChipsAndTheData) {
    Card card(0xA4, 0xA4);
    card.poke(4096 * 200, Bytes{1, 2, 3});  // on the second chip
    card.save(file);
    auto copy = Card::open(file);
    EXPECT_EQ(copy->secondChip(), 0xA4);
    EXPECT_EQ(copy->image(), card.image());
    EXPECT_FALSE(fs::exists(folder / "card.img.new"));
}

TEST_F(CardFile, AFileThatHoldsNoCardIsRefusedAndLeftAlone) {
    const Bytes text = {'h', 'e', 'l', 'l', 'o'};
    writeFile(text);
    EXPECT_THROW(Card::open(file), CardFileError);
    EXPECT_EQ(contents(file), text);

    Card(0xA4).save(file);
    fs::resize_file(file, fs::file_size(file) - 1);  // cut short
    EXPECT_THROW(Card::open(file), CardFileError);

    Card(0xA4).save(file);
    Bytes bytes = contents(file);
    bytes[8] = 0xEA;  // names a chip larger than the image
    writeFile(bytes);
    EXPECT_THROW(Card::open(file), CardFileError);
    EXPECT_EQ(contents(file), bytes);
}

TEST_F(CardFile, OnlyOneReaderHoldsACardFileAtATime) {
    auto first = Card::open(file);
    EXPECT_THROW(Card::open(file), CardFileError);
    EXPECT_THROW(Card(0xA4).save(file), CardFileError);  // not replaced under the reader either
    EXPECT_EQ(Card::open(folder / "other.img")->firstChip(), kDefaultChip);
    first.reset();
    EXPECT_NO_THROW(Card::open(file));
}

TEST_F(CardFile, TheRunCommandsReaderTakesItsCardFromTheEnvironment) {
    ::unsetenv(kCardVariable);
    EXPECT_EQ(readerFromEnvironment(), nullptr);
    ::setenv(kCardVariable, file.c_str(), 1);
    ::setenv(kTimingVariable, "fast", 1);
    auto reader = readerFromEnvironment();
    ::unsetenv(kCardVariable);
    ::unsetenv(kTimingVariable);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(send(*reader, packet(0x04)), (Bytes{0x55, 0, 0x73, 0, 0xFF, 0x22, 0x01, 0x00}));
    EXPECT_EQ(reader->card()->file(), file);
}

}  // namespace
}  // namespace emulator::test
