// The message file check against files built byte by byte.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "card/wave_check.h"
#include "forms/fatal.h"
#include "forms/msgbox.h"

namespace {

std::string le32(std::uint32_t v) {
    return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
}
std::string chunk(const std::string& id, const std::string& body) { return id + le32(static_cast<std::uint32_t>(body.size())) + body; }
// A "fmt " body: format, channels, rate, bytes a second, bits.
std::string fmt(std::uint16_t format = 7, std::uint16_t channels = 1, std::uint32_t rate = 8000,
                std::uint32_t bytesPerSecond = 8000, std::uint16_t bits = 8) {
    std::string b;
    b += std::string{static_cast<char>(format), static_cast<char>(format >> 8)};
    b += std::string{static_cast<char>(channels), static_cast<char>(channels >> 8)};
    b += le32(rate) + le32(bytesPerSecond);
    b += std::string{1, 0};
    b += std::string{static_cast<char>(bits), static_cast<char>(bits >> 8)};
    return chunk("fmt ", b);
}
std::string wave(const std::string& chunks) { return "RIFF" + le32(static_cast<std::uint32_t>(chunks.size() + 4)) + "WAVE" + chunks; }

TEST(WaveCheck, DecidesByTheTestedBytesOnly) {
    const std::string samples(100, '\x7f');
    struct Case {
        const char* name;
        std::string bytes;
        std::int32_t result;
        std::int32_t start;
    };
    const Case cases[] = {
        {"mu-law mono", wave(fmt() + chunk("data", samples)), 100, 12 + 24 + 8},
        {"fact and odd LIST skipped", wave(fmt() + chunk("LIST", "abc") + chunk("data", samples)), 100, 12 + 24 + 11 + 8},
        {"format tag high byte ignored", wave(fmt(0x0107) + chunk("data", samples)), 100, 44},
        {"rate high word ignored", wave(fmt(7, 1, 0x00011F40) + chunk("data", samples)), 100, 44},
        {"data before fmt", wave(chunk("data", samples) + fmt(1)), 100, 20},
        {"data without fmt", wave(chunk("data", samples)), 100, 20},
        {"PCM", wave(fmt(1) + chunk("data", samples)), 0, 0},
        {"stereo", wave(fmt(7, 2) + chunk("data", samples)), 0, 0},
        {"16 bits", wave(fmt(7, 1, 8000, 8000, 16) + chunk("data", samples)), 0, 0},
        {"11025 Hz", wave(fmt(7, 1, 11025) + chunk("data", samples)), 0, 0},
        {"not RIFF", "RIFX" + wave(fmt() + chunk("data", samples)).substr(4), 0, 0},
        {"no data", wave(fmt()), 0, 0},
        {"short file", "RIFF", 0, 0},
        {"truncated chunk header", wave(fmt()) + "da", -1, 0},
        {"huge chunk", wave(fmt() + "LIST" + le32(0x80000000u)), -1, 0},
        {"data longer than the file", wave(fmt() + "data" + le32(101) + samples), -1, 0},
        {"data of about 2 GB in a small file", wave(fmt() + "data" + le32(0x7FFFFF00u) + samples), -1, 0},
    };
    forms::ThrowOnFatal fatal;
    const auto path = std::filesystem::path(::testing::TempDir()) / "wave-check.wav";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::ofstream(path, std::ios::binary | std::ios::trunc) << c.bytes;
        card::WaveData data{7, 7};
        EXPECT_EQ(card::checkWaveFile(path.string(), data), c.result);
        if (c.result > 0) {
            EXPECT_EQ(data.start, c.start);
            EXPECT_EQ(data.length, c.result);
        }
    }
    std::filesystem::remove(path);
    card::WaveData data{7, 7};
    EXPECT_EQ(card::checkWaveFile(path.string(), data), 0);
    EXPECT_EQ(data.start, 7);  // a missing file leaves the values alone
}

TEST(WaveCheck, OnlyTheFirst64KiBAreExamined) {
    forms::ThrowOnFatal fatal;
    const auto path = std::filesystem::path(::testing::TempDir()) / "wave-long.wav";
    const std::string head = wave(fmt());
    for (const auto& [padding, result] : {std::pair{65536 - 44 - 8, 1}, std::pair{65536 - 44 - 4, -1}, std::pair{65536 - 44, 0}}) {
        SCOPED_TRACE(padding);
        std::string bytes = head + chunk("LIST", std::string(static_cast<std::size_t>(padding), 'x')) + chunk("data", "z");
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        card::WaveData data;
        EXPECT_EQ(card::checkWaveFile(path.string(), data), result);
    }
    std::filesystem::remove(path);
}

}  // namespace
