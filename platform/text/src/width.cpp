// Full-width and half-width forms, as the platform's wide/narrow string conversion makes
// them: ASCII <-> U+FF01..U+FF5E (blank <-> U+3000), half-width katakana <-> katakana,
// a voiced or semi-voiced katakana splitting into its base and a separate mark.
#include <string>

#include "text/text.h"
#include "utf8.h"

namespace text {

namespace {

// Full-width forms of U+FF61..U+FF9F, in order.
constexpr char32_t kKanaWide[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C,
};
constexpr char32_t kHalfFirst = 0xFF61;
constexpr char32_t kVoicedMark = 0xFF9E, kSemiVoicedMark = 0xFF9F;

bool takesVoicedMark(char32_t k) {
    return (k >= 0x30AB && k <= 0x30C2 && (k - 0x30AB) % 2 == 0) ||  // カ..チ
           k == 0x30C4 || k == 0x30C6 || k == 0x30C8 ||             // ツ テ ト
           (k >= 0x30CF && k <= 0x30DB && (k - 0x30CF) % 3 == 0) ||  // ハ ヒ フ ヘ ホ
           k == 0x30A6;                                             // ウ
}
bool takesSemiVoicedMark(char32_t k) { return k >= 0x30CF && k <= 0x30DB && (k - 0x30CF) % 3 == 0; }

char32_t voiced(char32_t k) { return k == 0x30A6 ? 0x30F4 : k + 1; }

// The half-width character of a full-width katakana or mark, 0 when it has none.
char32_t halfOf(char32_t wide) {
    for (char32_t i = 0; i < std::size(kKanaWide); ++i)
        if (kKanaWide[i] == wide) return kHalfFirst + i;
    return 0;
}

std::u32string decode(std::string_view s) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size(); i += utf8Length(s.substr(i))) out += utf8Decode(s.substr(i));
    return out;
}

}  // namespace

std::string toWide(std::string_view utf8) {
    std::u32string s = decode(utf8);
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c == 0x20) {
            utf8Append(out, 0x3000);
        } else if (c >= 0x21 && c <= 0x7E) {
            utf8Append(out, c + 0xFEE0);
        } else if (c >= kHalfFirst && c <= kSemiVoicedMark) {
            char32_t k = kKanaWide[c - kHalfFirst];
            char32_t next = i + 1 < s.size() ? s[i + 1] : 0;
            if (next == kVoicedMark && takesVoicedMark(k)) {
                k = voiced(k);
                ++i;
            } else if (next == kSemiVoicedMark && takesSemiVoicedMark(k)) {
                k += 2;
                ++i;
            }
            utf8Append(out, k);
        } else {
            utf8Append(out, c);
        }
    }
    return out;
}

std::string toNarrow(std::string_view utf8) {
    std::string out;
    for (char32_t c : decode(utf8)) {
        if (c == 0x3000) {
            out += ' ';
        } else if (c >= 0xFF01 && c <= 0xFF5E) {
            out += static_cast<char>(c - 0xFEE0);
        } else if (char32_t h = halfOf(c)) {
            utf8Append(out, h);
        } else if (c == 0x30F4) {  // ヴ
            utf8Append(out, halfOf(0x30A6));
            utf8Append(out, kVoicedMark);
        } else if (c > 0x30A0 && c < 0x30FF && halfOf(c - 1) && takesVoicedMark(c - 1)) {
            utf8Append(out, halfOf(c - 1));
            utf8Append(out, kVoicedMark);
        } else if (c > 0x30A0 && c < 0x30FF && halfOf(c - 2) && takesSemiVoicedMark(c - 2)) {
            utf8Append(out, halfOf(c - 2));
            utf8Append(out, kSemiVoicedMark);
        } else {
            utf8Append(out, c);
        }
    }
    return out;
}

}  // namespace text
