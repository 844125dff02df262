#include "runtime/numeric.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "runtime/error.h"

namespace runtime {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Value of &H / &O digits, wrapped as the run time does: up to 16 bits an Integer,
// else a 32-bit Long.
double radixValue(std::string_view digits, int radix) {
    unsigned long long v = 0;
    for (char c : digits) {
        int d = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                : std::isxdigit(static_cast<unsigned char>(c)) ? std::toupper(c) - 'A' + 10
                                                                : radix;
        if (d >= radix) break;
        v = (v * radix + d) & 0xFFFFFFFFull;
    }
    if (v <= 0xFFFF) return static_cast<double>(static_cast<std::int16_t>(v));
    return static_cast<double>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v)));
}

// Length of the longest decimal number at the start of s ("-1.5e3x" -> 6); 0 if none.
std::size_t decimalPrefix(std::string_view s, bool allowCommas) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && (isDigit(s[i]) || (allowCommas && s[i] == ',' && digits > 0))) {
        if (isDigit(s[i])) ++digits;
        ++i;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) ++i, ++digits;
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E' || s[i] == 'd' || s[i] == 'D')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        std::size_t expStart = j;
        while (j < s.size() && isDigit(s[j])) ++j;
        if (j > expStart) i = j;
    }
    return i;
}

double parseDecimal(std::string_view s) {
    std::string t;
    for (char c : s) {
        if (c == ',') continue;
        t += (c == 'd' || c == 'D') ? 'e' : c;
    }
    return std::strtod(t.c_str(), nullptr);
}

bool radixPrefix(std::string_view s, int& radix) {
    if (s.size() < 2 || s[0] != '&') return false;
    char k = static_cast<char>(std::toupper(static_cast<unsigned char>(s[1])));
    if (k == 'H') radix = 16;
    else if (k == 'O') radix = 8;
    else return false;
    return true;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

double val(std::string_view text) {
    std::string s;
    for (char c : text)
        if (!isBlank(c) && c != '\r') s += c;
    int radix = 0;
    if (radixPrefix(s, radix)) return radixValue(std::string_view(s).substr(2), radix);
    std::size_t n = decimalPrefix(s, false);
    return n ? parseDecimal(std::string_view(s).substr(0, n)) : 0.0;
}

bool isNumeric(std::string_view text) {
    std::string_view s = trimBlanks(text);
    if (s.empty()) return false;
    int radix = 0;
    if (radixPrefix(s, radix)) {
        if (s.size() == 2) return false;
        for (char c : s.substr(2)) {
            bool ok = radix == 16 ? std::isxdigit(static_cast<unsigned char>(c)) : (c >= '0' && c <= '7');
            if (!ok) return false;
        }
        return true;
    }
    return decimalPrefix(s, true) == s.size();
}

double cdbl(std::string_view text) {
    if (!isNumeric(text)) raise(err::TypeMismatch);
    std::string_view s = trimBlanks(text);
    int radix = 0;
    if (radixPrefix(s, radix)) return radixValue(s.substr(2), radix);
    return parseDecimal(s);
}

double roundHalfEven(double value, int digits) {
    if (!std::isfinite(value)) return value;
    if (digits == 0) return std::nearbyint(value);
    double scale = std::pow(10.0, digits);
    double scaled = value * scale;
    if (!std::isfinite(scaled)) return value;
    return std::nearbyint(scaled) / scale;
}

std::int16_t cint(double value) {
    double r = roundHalfEven(value);
    if (!(r >= std::numeric_limits<std::int16_t>::min() && r <= std::numeric_limits<std::int16_t>::max()))
        raise(err::Overflow);
    return static_cast<std::int16_t>(r);
}

std::int32_t clng(double value) {
    double r = roundHalfEven(value);
    if (!(r >= std::numeric_limits<std::int32_t>::min() && r <= std::numeric_limits<std::int32_t>::max()))
        raise(err::Overflow);
    return static_cast<std::int32_t>(r);
}

long long intDiv(long long dividend, long long divisor) {
    if (divisor == 0) raise(err::DivisionByZero);
    if (divisor == -1) {
        if (dividend == std::numeric_limits<long long>::min()) raise(err::Overflow);
        return -dividend;
    }
    return dividend / divisor;
}

long long mod(long long dividend, long long divisor) {
    if (divisor == 0) raise(err::DivisionByZero);
    if (divisor == -1) return 0;
    return dividend % divisor;
}

}  // namespace runtime
