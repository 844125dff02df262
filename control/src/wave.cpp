#include "control/wave.h"

#include <array>
#include <cctype>
#include <cstring>
#include <string>

namespace control {
namespace {

std::uint32_t le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

void put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}
void put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void putId(std::vector<std::uint8_t>& out, const char* id) { out.insert(out.end(), id, id + 4); }

bool readAt(std::FILE* f, std::uint64_t offset, void* out, std::size_t n) {
    return fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0 && std::fread(out, 1, n, f) == n;
}

std::uint64_t fileSize(std::FILE* f) {
    if (fseeko(f, 0, SEEK_END) != 0) return 0;
    const off_t end = ftello(f);
    return end < 0 ? 0 : static_cast<std::uint64_t>(end);
}

bool fmtIsMuLaw(std::FILE* f, std::uint64_t at, std::uint32_t size) {
    std::array<std::uint8_t, 16> fmt{};
    if (size < fmt.size() || !readAt(f, at, fmt.data(), fmt.size())) return false;
    return le16(&fmt[0]) == 7 && le16(&fmt[2]) == 1 && le32(&fmt[4]) == 8000 && le16(&fmt[14]) == 8;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The bytes of an S-record after its type (count, address, data, checksum), checked.
std::optional<std::vector<std::uint8_t>> recordBytes(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::size_t i = 0;
    for (; i + 1 < text.size(); i += 2) {
        const int hi = hexDigit(text[i]), lo = hexDigit(text[i + 1]);
        if (hi < 0 || lo < 0) break;
        bytes.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    if (bytes.empty() || bytes.size() != std::size_t{bytes[0]} + 1u) return std::nullopt;
    unsigned sum = 0;
    for (std::size_t k = 0; k + 1 < bytes.size(); ++k) sum += bytes[k];
    if (static_cast<std::uint8_t>(~sum) != bytes.back()) return std::nullopt;
    return bytes;
}

std::string trimmedLine(std::FILE* f, bool& more) {
    std::string line;
    int c;
    while ((c = std::fgetc(f)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    more = c != EOF;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    return line;
}

}  // namespace

std::optional<WaveData> readWaveLayout(std::FILE* file) {
    const std::uint64_t size = fileSize(file);
    std::array<std::uint8_t, 12> riff{};
    if (!readAt(file, 0, riff.data(), riff.size())) return std::nullopt;
    if (std::memcmp(riff.data(), "RIFF", 4) != 0 || std::memcmp(riff.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    const std::uint32_t riffSize = le32(&riff[4]);
    const std::uint64_t end = std::min<std::uint64_t>(8 + std::uint64_t{riffSize}, size);

    std::uint64_t at = 12;
    while (at + 8 <= end) {
        std::array<std::uint8_t, 8> chunk{};
        if (!readAt(file, at, chunk.data(), chunk.size())) return std::nullopt;
        const std::uint32_t chunkSize = le32(&chunk[4]);
        if (std::memcmp(chunk.data(), "data", 4) == 0) return WaveData{at + 8, chunkSize};
        if (std::memcmp(chunk.data(), "fmt ", 4) == 0 && !fmtIsMuLaw(file, at + 8, chunkSize))
            return std::nullopt;
        at += 8 + std::uint64_t{chunkSize} + (chunkSize & 1u);
    }
    // No data chunk: the message is what the RIFF size says, from where the walk ended.
    return WaveData{at, riffSize};
}

std::vector<std::uint8_t> waveHeader(std::uint32_t dataBytes) {
    std::vector<std::uint8_t> h;
    h.reserve(58);
    putId(h, "RIFF");
    put32(h, 50 + dataBytes + (dataBytes & 1u));
    putId(h, "WAVE");
    putId(h, "fmt ");
    put32(h, 18);
    put16(h, 7);     // mu-law
    put16(h, 1);     // mono
    put32(h, 8000);  // samples a second
    put32(h, 8000);  // bytes a second
    put16(h, 1);     // block align
    put16(h, 8);     // bits a sample
    put16(h, 0);     // no extra format bytes
    putId(h, "fact");
    put32(h, 4);
    put32(h, dataBytes);
    putId(h, "data");
    put32(h, dataBytes);
    return h;
}

std::optional<std::vector<std::uint8_t>> readFirmwareImage(std::FILE* file) {
    constexpr std::uint32_t kAreaStart = 0x10000, kAreaEnd = 0x20000;
    std::vector<std::uint8_t> image;
    std::optional<std::uint32_t> previousEnd;
    if (std::fseek(file, 0, SEEK_SET) != 0) return std::nullopt;
    for (bool more = true; more;) {
        const std::string line = trimmedLine(file, more);
        const auto s = line.find('S');
        if (s == std::string::npos || s + 1 >= line.size() || !std::isdigit(static_cast<unsigned char>(line[s + 1])))
            continue;
        const auto bytes = recordBytes(line.substr(s + 2));
        if (!bytes) return std::nullopt;
        if (line[s + 1] == '8') break;
        if (line[s + 1] != '2') continue;
        if (bytes->size() < 5) return std::nullopt;
        const std::uint32_t address = static_cast<std::uint32_t>((*bytes)[1]) << 16 |
                                      static_cast<std::uint32_t>((*bytes)[2]) << 8 | (*bytes)[3];
        const std::size_t count = bytes->size() - 5;
        if (address < kAreaStart) continue;
        if (address + count > kAreaEnd) return std::nullopt;
        if (previousEnd) {
            if (address < *previousEnd) return std::nullopt;
            image.insert(image.end(), address - *previousEnd, 0xFF);
        }
        image.insert(image.end(), bytes->begin() + 4, bytes->end() - 1);
        previousEnd = address + static_cast<std::uint32_t>(count);
    }
    return image;
}

}  // namespace control
