// The message file check: the RIFF header and the chunks of the first 64 KiB.
#include "card/wave_check.h"

#include <cstring>
#include <fstream>
#include <vector>

#include "core/errors.h"
#include "core/files.h"
#include "runtime/error.h"

namespace card {
namespace {

constexpr std::size_t kExamined = 65536;

struct Broken {
    long number;
};

std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t at) {
    if (at + 4 > b.size()) throw Broken{9};  // subscript out of range
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

bool idIs(const std::vector<std::uint8_t>& b, std::size_t at, const char* id) {
    if (at + 4 > b.size()) throw Broken{9};
    return std::memcmp(b.data() + at, id, 4) == 0;
}

// The "fmt " body at `at`: mu-law, mono, 8000 Hz, 8000 bytes a second, 8 bits.
bool formatAccepted(const std::vector<std::uint8_t>& b, std::size_t at) {
    if (at + 16 > b.size()) throw Broken{9};
    const auto u16 = [&](std::size_t i) { return b[at + i] | (b[at + i + 1] << 8); };
    return b[at] == 7 && b[at + 2] == 1 && u16(4) == 0x1F40 && u16(8) == 0x1F40 && b[at + 14] == 8;
}

}  // namespace

std::int32_t checkWaveFile(const std::string& sFileName, WaveData& data) {
    if (!gfnfFileExists(sFileName)) return 0;
    try {
        std::ifstream in(sFileName, std::ios::binary);
        if (!in) throw Broken{75};
        in.seekg(0, std::ios::end);
        const auto size = static_cast<std::size_t>(in.tellg());
        in.seekg(0);
        // One byte more than a short file (that byte is 0); the first 64 KiB of a long one.
        std::vector<std::uint8_t> b(size <= kExamined ? size + 1 : kExamined, 0);
        in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(std::min(size, kExamined)));
        if (in.bad()) throw Broken{75};
        data = {};
        if (size < 12) return 0;  // a header read past the end reads as zeros
        if (!idIs(b, 0, "RIFF") || !idIs(b, 8, "WAVE")) return 0;
        // A walk that ends exactly at the end of a short file found no "data" chunk.
        const std::size_t examined = std::min(size, kExamined);
        std::size_t p = 12;
        while (p < examined) {
            const std::uint32_t chunk = u32(b, p + 4);
            if (chunk >= 0x80000000u) throw Broken{6};  // overflow
            if (idIs(b, p, "fmt ")) {
                if (!formatAccepted(b, p + 8)) return 0;
            } else if (idIs(b, p, "data")) {
                // Samples the file does not hold make a broken file, not a long message: a
                // length taken on trust would be summed, sized and played as if it were there.
                if (p + 8 + chunk > size) return -1;
                data.start = static_cast<std::int32_t>(p + 8);
                data.length = static_cast<std::int32_t>(chunk);
                return data.length;
            }
            if (p + 8 + chunk > 0x7FFFFFFFu) throw Broken{6};
            p += 8 + chunk;
        }
        return 0;
    } catch (const Broken& e) {
        if (e.number != 75) gsbErrorMsg(runtime::Error(e.number, runtime::errorDescription(e.number)), false);
        return -1;
    }
}

}  // namespace card
