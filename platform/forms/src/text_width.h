#pragma once
// Counting a UTF-8 text in display cells: a half-width character takes one cell,
// any other character two.
#include <string_view>

namespace forms::detail {

inline int displayCells(std::string_view s) {
    int cells = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        char32_t cp;
        std::size_t n;
        if (b < 0x80) { cp = b; n = 1; }
        else if ((b >> 5) == 0x6) { cp = b & 0x1F; n = 2; }
        else if ((b >> 4) == 0xE) { cp = b & 0x0F; n = 3; }
        else { cp = b & 0x07; n = 4; }
        for (std::size_t k = 1; k < n && i + k < s.size(); ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        i += n;
        const bool half = cp < 0x80 || (cp >= 0xFF61 && cp <= 0xFF9F);
        cells += half ? 1 : 2;
    }
    return cells;
}

}  // namespace forms::detail
