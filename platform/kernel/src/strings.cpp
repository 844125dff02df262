#include <cstdio>

#include "kernel/pool.h"
#include "kernel/strings.h"

namespace kernel {
namespace {

char16_t lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? c + (u'a' - u'A') : c; }

bool sameChars(const char16_t* a, const char16_t* b, std::size_t n, bool caseInsensitive) {
    for (std::size_t i = 0; i < n; ++i) {
        char16_t x = caseInsensitive ? lower(a[i]) : a[i];
        char16_t y = caseInsensitive ? lower(b[i]) : b[i];
        if (x != y) return false;
    }
    return true;
}

}  // namespace

void RtlInitUnicodeString(UnicodeString* target, const char16_t* source) {
    std::size_t n = 0;
    if (source)
        while (source[n]) ++n;
    target->Buffer = const_cast<char16_t*>(source);
    target->Length = static_cast<std::uint16_t>(n * 2);
    target->MaximumLength = static_cast<std::uint16_t>(source ? n * 2 + 2 : 0);
}

bool RtlPrefixUnicodeString(const UnicodeString* prefix, const UnicodeString* text,
                            bool caseInsensitive) {
    if (prefix->Length > text->Length) return false;
    return sameChars(prefix->Buffer, text->Buffer, prefix->Length / 2, caseInsensitive);
}

bool RtlEqualUnicodeString(const UnicodeString* a, const UnicodeString* b,
                           bool caseInsensitive) {
    return a->Length == b->Length &&
           sameChars(a->Buffer, b->Buffer, a->Length / 2, caseInsensitive);
}

Status RtlUnicodeStringToInteger(const UnicodeString* text, std::uint32_t base,
                                 std::uint32_t* value) {
    if (base != 2 && base != 8 && base != 10 && base != 16) return STATUS_INVALID_PARAMETER;
    std::size_t n = text->Length / 2;
    if (n == 0) return STATUS_INVALID_PARAMETER;
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        char16_t c = lower(text->Buffer[i]);
        std::uint32_t d;
        if (c >= u'0' && c <= u'9')
            d = c - u'0';
        else if (c >= u'a' && c <= u'f')
            d = 10 + (c - u'a');
        else
            return STATUS_INVALID_PARAMETER;
        if (d >= base) return STATUS_INVALID_PARAMETER;
        v = v * base + d;
    }
    *value = v;
    return STATUS_SUCCESS;
}

void RtlFreeUnicodeString(UnicodeString* text) {
    if (text->Buffer) ExFreePool(text->Buffer);
    *text = UnicodeString{};
}

std::u16string toUtf16(std::string_view text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        char32_t cp;
        int extra;
        if (c < 0x80) { cp = c; extra = 0; }
        else if ((c >> 5) == 6) { cp = c & 0x1F; extra = 1; }
        else if ((c >> 4) == 14) { cp = c & 0x0F; extra = 2; }
        else { cp = c & 0x07; extra = 3; }
        ++i;
        for (int k = 0; k < extra && i < text.size(); ++k, ++i)
            cp = cp << 6 | (static_cast<unsigned char>(text[i]) & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string toUtf8(std::u16string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < text.size()) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | cp >> 6));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | cp >> 12));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | cp >> 18));
            out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string toUtf8(const UnicodeString& text) {
    if (!text.Buffer) return {};
    return toUtf8(std::u16string_view(text.Buffer, text.Length / 2));
}

std::string toString(const Guid& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  g.d1, g.d2, g.d3, g.d4[0], g.d4[1], g.d4[2], g.d4[3], g.d4[4], g.d4[5],
                  g.d4[6], g.d4[7]);
    return buf;
}

}  // namespace kernel
