#pragma once
// Counted wide strings, as the I/O manager hands file names and interface links to a
// driver (lengths in bytes), and a class identifier.
#include <cstdint>
#include <string>
#include <string_view>

#include "kernel/status.h"

namespace kernel {

struct UnicodeString {
    std::uint16_t Length = 0;         // bytes in use
    std::uint16_t MaximumLength = 0;  // bytes of Buffer
    char16_t* Buffer = nullptr;
};

void RtlInitUnicodeString(UnicodeString* target, const char16_t* source);
// Case-insensitive (ASCII) when asked, as the driver's name matching needs.
bool RtlPrefixUnicodeString(const UnicodeString* prefix, const UnicodeString* text,
                            bool caseInsensitive);
bool RtlEqualUnicodeString(const UnicodeString* a, const UnicodeString* b,
                           bool caseInsensitive);
// Parses digits in `base` (2, 8, 10 or 16); fails on any character that is not one.
Status RtlUnicodeStringToInteger(const UnicodeString* text, std::uint32_t base,
                                 std::uint32_t* value);
// Frees a string the host allocated (an interface link).
void RtlFreeUnicodeString(UnicodeString* text);

// Conversions for host code (ASCII and UTF-8 paths).
std::u16string toUtf16(std::string_view text);
std::string toUtf8(const UnicodeString& text);
std::string toUtf8(std::u16string_view text);

struct Guid {
    std::uint32_t d1 = 0;
    std::uint16_t d2 = 0, d3 = 0;
    std::uint8_t d4[8] = {};
    friend bool operator==(const Guid&, const Guid&) = default;
};

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in lower case.
std::string toString(const Guid& guid);

}  // namespace kernel
