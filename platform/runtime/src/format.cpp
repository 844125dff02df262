#include "runtime/format.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "runtime/numeric.h"

namespace runtime {

namespace {

const char* const kWeekdayLong[] = {"日曜日", "月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日"};
const char* const kWeekdayShort[] = {"日", "月", "火", "水", "木", "金", "土"};

// UTF-8 text split into its characters.
std::vector<std::string> characters(std::string_view s) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80 ? 1 : c >> 5 == 0x6 ? 2 : c >> 4 == 0xE ? 3 : c >> 3 == 0x1E ? 4 : 1;
        out.emplace_back(s.substr(i, n));
        i += n;
    }
    return out;
}

bool isTextPattern(std::string_view p) { return p.find_first_of("@&") != std::string_view::npos; }

bool isDatePattern(std::string_view p) {
    for (char c : p) {
        switch (c) {
        case 'y': case 'Y': case 'm': case 'M': case 'd': case 'D': case 'h': case 'H':
        case 'n': case 'N': case 's': case 'S': case 'a': case 'A': return true;
        default: break;
        }
    }
    return false;
}

bool isNumberPattern(std::string_view p) { return p.find_first_of("0#") != std::string_view::npos; }

std::string formatText(std::string_view value, std::string_view pattern) {
    bool fromLeft = !pattern.empty() && pattern.front() == '!';
    if (fromLeft) pattern.remove_prefix(1);
    std::vector<std::string> chars = characters(value);
    std::vector<std::string> pat = characters(pattern);
    std::size_t slots = 0;
    for (const auto& c : pat) slots += (c == "@" || c == "&");
    std::vector<std::string> fill(slots);  // the character each position receives
    std::string overflow;
    if (fromLeft) {
        for (std::size_t i = 0; i < chars.size(); ++i) {
            if (i < slots) fill[i] = chars[i];
            else overflow += chars[i];
        }
    } else {
        std::size_t extra = chars.size() > slots ? chars.size() - slots : 0;
        for (std::size_t i = 0; i < extra; ++i) overflow += chars[i];
        std::size_t offset = slots - (chars.size() - extra);
        for (std::size_t i = extra; i < chars.size(); ++i) fill[offset + i - extra] = chars[i];
    }
    std::string out;
    std::size_t slot = 0;
    for (const auto& c : pat) {
        if (c != "@" && c != "&") {
            out += c;
            continue;
        }
        if (!fromLeft && slot == 0) out += overflow;
        if (!fill[slot].empty()) out += fill[slot];
        else if (c == "@") out += ' ';
        ++slot;
        if (fromLeft && slot == slots) out += overflow;
    }
    if (slots == 0) out += std::string(value);
    return out;
}

std::string twoDigits(int v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d", v);
    return buf;
}

std::string formatDateParts(const DateTime& d, std::string_view p) {
    std::string out;
    bool afterHour = false;
    std::size_t i = 0;
    auto run = [&](char c) {
        std::size_t n = 0;
        while (i + n < p.size() && (p[i + n] | 0x20) == c) ++n;
        return n;
    };
    // Whether the next date letter after position j is an 's' (then "m" means minutes).
    auto secondsFollow = [&](std::size_t j) {
        for (; j < p.size(); ++j) {
            char c = static_cast<char>(p[j] | 0x20);
            if (c == 's') return true;
            if (c == 'y' || c == 'd' || c == 'h' || c == 'n' || c == 'm' || c == 'a') return false;
        }
        return false;
    };
    while (i < p.size()) {
        char c = static_cast<char>(p[i] | 0x20);
        if (p[i] == '\\' && i + 1 < p.size()) {
            out += p[i + 1];
            i += 2;
            continue;
        }
        if (p[i] == '"') {
            std::size_t end = p.find('"', i + 1);
            if (end == std::string_view::npos) end = p.size();
            out += p.substr(i + 1, end - i - 1);
            i = end + 1;
            continue;
        }
        std::size_t n = (c >= 'a' && c <= 'z') ? run(c) : 0;
        switch (n ? c : '\0') {
        case 'y':
            out += n >= 3 ? std::to_string(d.year) : twoDigits(d.year % 100);
            break;
        case 'm': {
            bool minute = afterHour || secondsFollow(i + n);
            int v = minute ? d.minute : d.month;
            out += n >= 2 ? twoDigits(v) : std::to_string(v);
            break;
        }
        case 'd':
            out += n >= 2 ? twoDigits(d.day) : std::to_string(d.day);
            break;
        case 'h':
            out += n >= 2 ? twoDigits(d.hour) : std::to_string(d.hour);
            break;
        case 'n':
            out += n >= 2 ? twoDigits(d.minute) : std::to_string(d.minute);
            break;
        case 's':
            out += n >= 2 ? twoDigits(d.second) : std::to_string(d.second);
            break;
        case 'a':
            if (n >= 3) {
                out += (n >= 4 ? kWeekdayLong : kWeekdayShort)[weekday(d) - 1];
                break;
            }
            [[fallthrough]];
        default:
            n = n ? n : 1;
            out += p.substr(i, n);
            break;
        }
        if (c != ' ' && c != ':' && c != '/' && (c >= 'a' && c <= 'z')) afterHour = (c == 'h');
        i += n;
    }
    return out;
}

// Format of a number with '0' / '#' / '.' positions; literals before and after are kept.
std::string formatNumber(double value, std::string_view p) {
    std::size_t first = p.find_first_of("0#.");
    std::size_t last = p.find_last_of("0#.");
    std::string_view prefix = p.substr(0, first), digits = p.substr(first, last - first + 1),
                     suffix = p.substr(last + 1);
    std::size_t point = digits.find('.');
    std::string_view intPart = digits.substr(0, point);
    std::string_view fracPart = point == std::string_view::npos ? std::string_view{} : digits.substr(point + 1);
    int minInt = 0, minFrac = 0, maxFrac = 0;
    for (char c : intPart) minInt += (c == '0');
    for (char c : fracPart) {
        if (c == '0') ++minFrac;
        if (c == '0' || c == '#') ++maxFrac;
    }
    // Half away from zero, as Format rounds.
    double scale = std::pow(10.0, maxFrac);
    double rounded = std::round(std::fabs(value) * scale) / scale;
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", maxFrac, rounded);
    std::string s = buf;
    std::string whole = s.substr(0, s.find('.'));
    std::string frac = maxFrac ? s.substr(s.find('.') + 1) : std::string{};
    while (static_cast<int>(frac.size()) > minFrac && !frac.empty() && frac.back() == '0') frac.pop_back();
    if (whole == "0" && minInt == 0) whole.clear();
    if (static_cast<int>(whole.size()) < minInt) whole = std::string(minInt - whole.size(), '0') + whole;
    std::string out(prefix);
    if (value < 0 && rounded != 0) out += '-';
    out += whole;
    if (point != std::string_view::npos) out += '.';
    out += frac;
    out += suffix;
    return out;
}

}  // namespace

std::string cstr(double value) {
    char buf[64];
    if (value == std::trunc(value) && std::fabs(value) < 1e15) {
        std::snprintf(buf, sizeof buf, "%.0f", value);
    } else {
        std::snprintf(buf, sizeof buf, "%.15G", value);
        std::string s = buf;
        if (s.find('E') == std::string::npos && s.find('.') != std::string::npos) {
            while (s.back() == '0') s.pop_back();
            if (s.back() == '.') s.pop_back();
        }
        return s == "-0" ? "0" : s;
    }
    std::string s = buf;
    return s == "-0" ? "0" : s;
}

std::string format(const DateTime& value, std::string_view pattern) {
    if (pattern.empty()) return format(toSerial(value), "yyyy/mm/dd hh:nn:ss");
    if (isTextPattern(pattern)) return formatText(format(value, ""), pattern);
    return formatDateParts(value, pattern);
}

std::string format(double value, std::string_view pattern) {
    if (pattern.empty()) return cstr(value);
    if (isTextPattern(pattern)) return formatText(cstr(value), pattern);
    if (isNumberPattern(pattern)) return formatNumber(value, pattern);
    if (isDatePattern(pattern)) return formatDateParts(fromSerial(value), pattern);
    return std::string(pattern);
}

std::string format(std::string_view value, std::string_view pattern) {
    if (pattern.empty()) return std::string(value);
    if (isTextPattern(pattern)) return formatText(value, pattern);
    if (isNumberPattern(pattern) && isNumeric(value)) return formatNumber(cdbl(value), pattern);
    if (isDatePattern(pattern) && !isNumberPattern(pattern)) {
        if (auto d = parseDate(value)) return formatDateParts(*d, pattern);
    }
    return std::string(value);
}

}  // namespace runtime
