#pragma once
// Small UTF-8 helpers shared by the text sources.
#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// Length in bytes of the UTF-8 sequence at the start of s (1 for a stray byte).
inline std::size_t utf8Length(std::string_view s) {
    if (s.empty()) return 0;
    unsigned char c = static_cast<unsigned char>(s[0]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
    return n <= s.size() ? n : 1;
}

// Decodes the character at the start of s; a stray byte decodes as itself.
inline char32_t utf8Decode(std::string_view s) {
    std::size_t n = utf8Length(s);
    unsigned char c = static_cast<unsigned char>(s[0]);
    if (n == 1) return c;
    char32_t cp = c & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
    return cp;
}

inline void utf8Append(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace text
