#include "runtime/datetime.h"

#include <cmath>
#include <ctime>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "runtime/error.h"

namespace runtime {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (any month/day in range).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void civilFromDays(long long z, int& y, int& m, int& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

const long long kSerialEpoch = daysFromCivil(1899, 12, 30);
const double kMinSerial = static_cast<double>(daysFromCivil(100, 1, 1) - kSerialEpoch);
const double kMaxSerial = static_cast<double>(daysFromCivil(9999, 12, 31) - kSerialEpoch);

int windowYear(int year) {
    if (year >= 0 && year <= 29) return year + 2000;
    if (year >= 30 && year <= 99) return year + 1900;
    return year;
}

DateTime fromDays(long long days) {
    DateTime d;
    civilFromDays(days, d.year, d.month, d.day);
    d.hour = d.minute = d.second = 0;
    return d;
}

std::mutex clockMutex;
std::function<DateTime()>& clockSource() {
    static std::function<DateTime()> source;
    return source;
}

DateTime systemNow() {
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

// Splits "12/3/4" on any of `seps` into numbers; false when a part is not all digits.
bool splitNumbers(std::string_view s, std::string_view seps, std::vector<int>& out,
                  std::vector<std::size_t>* widths = nullptr) {
    out.clear();
    std::string part;
    auto flush = [&]() {
        if (part.empty() || part.size() > 4) return false;
        out.push_back(std::stoi(part));
        if (widths) widths->push_back(part.size());
        part.clear();
        return true;
    };
    for (char c : s) {
        if (c >= '0' && c <= '9') part += c;
        else if (seps.find(c) != std::string_view::npos) {
            if (!flush()) return false;
        } else
            return false;
    }
    return flush();
}

std::string replaceAll(std::string s, std::string_view from, std::string_view to) {
    for (std::size_t p = s.find(from); p != std::string::npos; p = s.find(from, p + to.size()))
        s.replace(p, from.size(), to);
    return s;
}

bool parseTime(std::string_view s, DateTime& d) {
    std::vector<int> t;
    if (!splitNumbers(s, ":", t) || t.size() < 2 || t.size() > 3) return false;
    if (t[0] > 23 || t[1] > 59 || (t.size() == 3 && t[2] > 59)) return false;
    d.hour = t[0];
    d.minute = t[1];
    d.second = t.size() == 3 ? t[2] : 0;
    return true;
}

bool parseDay(std::string_view s, DateTime& d) {
    std::vector<int> p;
    std::vector<std::size_t> widths;
    std::string norm = replaceAll(replaceAll(replaceAll(std::string(s), "年", "/"), "月", "/"), "日", "");
    if (!splitNumbers(norm, "/-", p, &widths) || p.size() != 3) return false;
    int year = widths[0] <= 2 ? windowYear(p[0]) : p[0];
    if (year < 100 || year > 9999 || p[1] < 1 || p[1] > 12) return false;
    if (p[2] < 1 || p[2] > daysInMonth(year, p[1])) return false;
    d.year = year;
    d.month = p[1];
    d.day = p[2];
    return true;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

DateTime dateSerial(int year, int month, int day) {
    long long months = static_cast<long long>(windowYear(year)) * 12 + (static_cast<long long>(month) - 1);
    long long y = months >= 0 ? months / 12 : -((-months + 11) / 12);
    unsigned m = static_cast<unsigned>(months - y * 12 + 1);
    if (y < 0 || y > 10000) raise(err::InvalidCall);
    DateTime d = fromDays(daysFromCivil(y, m, 1) + (static_cast<long long>(day) - 1));
    if (d.year < 100 || d.year > 9999) raise(err::InvalidCall);
    return d;
}

int weekday(const DateTime& d) {
    long long days = daysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day));
    long long w = (days + 4) % 7;  // 1970-01-01 was a Thursday
    if (w < 0) w += 7;
    return static_cast<int>(w) + 1;
}

double toSerial(const DateTime& d) {
    double days = static_cast<double>(
        daysFromCivil(d.year, static_cast<unsigned>(d.month), static_cast<unsigned>(d.day)) - kSerialEpoch);
    double frac = (d.hour * 3600 + d.minute * 60 + d.second) / 86400.0;
    return days < 0 ? days - frac : days + frac;
}

DateTime fromSerial(double serial) {
    // Serials of the years 100 to 9999 only, as the run time's dates.
    if (!(serial > kMinSerial - 1 && serial < kMaxSerial + 1)) raise(err::Overflow);
    double whole = std::trunc(serial);
    double frac = std::fabs(serial - whole);
    DateTime d = fromDays(static_cast<long long>(whole) + kSerialEpoch);
    long secs = std::lround(frac * 86400.0);
    if (secs >= 86400) secs = 86399;
    d.hour = static_cast<int>(secs / 3600);
    d.minute = static_cast<int>(secs / 60 % 60);
    d.second = static_cast<int>(secs % 60);
    return d;
}

std::optional<DateTime> parseDate(std::string_view text) {
    std::string_view s = trim(text);
    if (s.empty()) return std::nullopt;
    DateTime d;
    std::size_t space = s.find(' ');
    std::string_view first = s.substr(0, space);
    std::string_view rest = space == std::string_view::npos ? std::string_view{} : trim(s.substr(space));
    if (first.find(':') != std::string_view::npos) {
        if (!rest.empty() || !parseTime(first, d)) return std::nullopt;
        return d;
    }
    if (!parseDay(first, d)) return std::nullopt;
    if (!rest.empty() && !parseTime(rest, d)) return std::nullopt;
    return d;
}

bool isDate(std::string_view text) { return parseDate(text).has_value(); }

DateTime now() {
    std::function<DateTime()> source;
    {
        std::lock_guard lock(clockMutex);
        source = clockSource();
    }
    return source ? source() : systemNow();
}

DateTime today() { return now().date(); }

void setClock(std::function<DateTime()> clock) {
    std::lock_guard lock(clockMutex);
    clockSource() = std::move(clock);
}

FixedClock::FixedClock(DateTime moment) : moment_(moment) {
    std::lock_guard lock(clockMutex);
    previous_ = std::exchange(clockSource(), [this] { return moment_; });
}

FixedClock::~FixedClock() { setClock(std::move(previous_)); }

}  // namespace runtime
