#include "core/file_header.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <istream>
#include <ostream>

#include "core/errors.h"
#include "core/files.h"
#include "core/globals.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "text/text.h"

namespace {

std::string hexUpper(std::uintmax_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%jX", v);
    return buf;
}

// The final file code of a path by its extension.
std::string_view codeFor(const std::string& ext) {
    if (ext == "crd") return kFileCodeCrd;
    if (ext == "kvp") return kFileCodeKvp;
    return "        ";
}

// A fixed-length read of `count` bytes at `offset`; what lies past the end reads as blanks.
std::string readField(std::istream& in, std::size_t offset, std::size_t count) {
    std::string bytes(count, ' ');
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    const auto got = in.gcount();
    std::fill(bytes.begin() + (got > 0 ? got : 0), bytes.end(), ' ');
    return bytes;
}

// The first n characters of a text read from the file, shown as the program's text.
std::string leadingChars(const std::string& ansi, std::size_t n) {
    const std::string text = text::fromCp932(ansi);
    std::size_t i = 0, chars = 0;
    while (i < text.size() && chars < n) {
        const auto c = static_cast<unsigned char>(text[i]);
        i += c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        ++chars;
    }
    return text.substr(0, std::min(i, text.size()));
}

struct Verdict {
    std::int16_t result = kDataFileGood;
    std::string text;
};

Verdict judgeHeader(const std::string& ext, std::uintmax_t length, const std::string& code, const std::string& kind) {
    const bool kvp = ext == "kvp";
    if (!kvp && ext != "crd") return {kDataFileBadExtension, "拡張子（" + ext + "）が一致しない。"};
    if (length <= 65) return {kvp ? kKvpTooShort : kCrdTooShort, "ファイルサイズ（" + hexUpper(length) + "）が小さい。"};
    if (code != (kvp ? kFileCodeKvp : kFileCodeCrd))
        return {kvp ? kKvpBadCode : kCrdBadCode, "ファイルコード（" + code + "）が一致しない。"};
    if (kind != kFileKind) return {kvp ? kKvpBadKind : kCrdBadKind, "ファイルの種類（" + kind + "）が一致しない。"};
    return {};
}

}  // namespace

std::uint8_t gfnbToBcd(std::uint8_t value) {
    const int v = value % 100;
    return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10));
}

std::uint8_t gfnbFromBcd(std::uint8_t value) {
    const int high = value >> 4, low = value & 0x0F;
    if (high > 9) return 0;
    if (high == 0) return static_cast<std::uint8_t>(low > 9 ? 0 : low);
    return static_cast<std::uint8_t>(low > 9 ? high : high * 10 + low);
}

void gsbWriteFileHeader(std::ostream& file) {
    const runtime::DateTime t = runtime::now();  // one reading feeds every field
    std::array<char, kHeaderWrittenBytes> bytes{};
    std::copy(kFileCodeProvisional.begin(), kFileCodeProvisional.end(), bytes.begin() + kHeaderCodeAt);
    std::copy(kFileKind.begin(), kFileKind.end(), bytes.begin() + kHeaderKindAt);
    std::copy(kFileVersion.begin(), kFileVersion.end(), bytes.begin() + kHeaderVersionAt);
    // Byte 16 stays 0: the file grows over it.
    const std::array<int, 9> fields = {t.year / 1000, t.year % 1000 / 100, t.year % 100 / 10, t.year % 10,
                                       t.month, t.day, t.hour, t.minute, t.second};
    for (std::size_t i = 0; i < fields.size(); ++i)
        bytes[kHeaderTimeAt + i] = static_cast<char>(gfnbToBcd(static_cast<std::uint8_t>(fields[i])));
    file.seekp(0);
    file.write(bytes.data(), bytes.size());
    if (!file) runtime::raise(runtime::err::DeviceIo);
}

void gsbSetFileCode(const std::string& path) {
    if (!gfnfFileExists(path)) return;
    const std::string_view code = codeFor(gfnsGetExtension(path));
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    if (!file) runtime::raiseWith(runtime::err::PathFileAccess, path);
    file.seekp(kHeaderCodeAt);
    file.write(code.data(), static_cast<std::streamsize>(code.size()));
    file.close();
    if (file.fail()) runtime::raise(runtime::err::DeviceIo);
}

std::int16_t gfnfCheckDataFile(const std::string& path) {
    const std::string ext = gfnsGetExtension(path);
    Verdict v;
    if (!gfnfCheckFileAttr(path)) {
        v = {kDataFileAttr, "ファイルの属性エラー"};
    } else {
        std::ifstream file(path, std::ios::binary);
        if (!file) runtime::raiseWith(runtime::err::PathFileAccess, path);
        // The three fields are read before the length is known; a short file reads as padded.
        const std::string code = leadingChars(readField(file, kHeaderCodeAt, 20), 8);
        const std::string kind = leadingChars(readField(file, kHeaderKindAt, 20), 4);
        const std::string version = leadingChars(readField(file, kHeaderVersionAt, 20), 3);
        file.clear();
        file.seekg(0, std::ios::end);
        const auto length = static_cast<std::uintmax_t>(file.tellg());
        file.close();
        v = judgeHeader(ext, length, code, kind);
        if (v.text.empty() && version != kFileVersion)
            v = {kDataFileBadVersion, "バージョン（" + version + "）が一致しない。"};
    }
    if (!v.text.empty() && gintLogMode) gsbDebugMsg("ファイルエラー！\r\n" + v.text);
    return v.result;
}
