// The card image as readable text.
#include <cstdio>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <sstream>

#include "card/image.h"
#include "core/calendar.h"
#include "core/file_header.h"
#include "core/schedule.h"
#include "core/strings.h"
#include "tool.h"

namespace crdtool {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string hex(unsigned v) {
    char s[3];
    std::snprintf(s, sizeof s, "%02X", v & 0xFF);
    return s;
}

std::string bytesText(const Bytes& b, std::size_t at, std::size_t n) {
    std::string s;
    for (std::size_t i = 0; i < n; ++i) s += (i ? " " : "") + hex(b[at + i]);
    return s;
}

void dumpHeader(const Bytes& b, std::ostream& out) {
    out << "id " << std::string(b.begin(), b.begin() + 8) << "\n";
    out << "data-version " << int{b[1187]} << "." << int{b[1188]} << "." << int{b[1189]} << "\n";
    out << "write-mode " << bytesText(b, card::kWriteModeAt, 29) << "\n";
}

void dumpSettings(const Bytes& b, std::ostream& out) {
    out << "settings " << bytesText(b, card::kSettingAt, card::kSettingSize) << "\n";
    const Bytes block(b.begin() + card::kSettingAt, b.begin() + card::kSettingAt + card::kSettingSize);
    if (block[0] != 0xFF) out << "access-code " << gfnsBytesToCode(block, 0) << "\n";
}

void dumpPatterns(const Bytes& b, const card::CardContents& c, std::ostream& out) {
    for (int n = 1; n <= 20; ++n) {
        out << "pattern " << n << " " << c.patternNames[static_cast<std::size_t>(n - 1)] << "\n";
        for (const card::StepRow& s : c.steps)
            if (s.pattern == n)
                out << "  step " << std::setw(2) << std::setfill('0') << s.hour << ":" << std::setw(2) << s.minute
                    << std::setfill(' ') << " ch " << s.message << "\n";
    }
    (void)b;
}

void dumpNames(const card::CardContents& c, std::ostream& out) {
    out << "card-name " << c.cardName << "\n";
    for (std::size_t i = 0; i < 12; ++i) out << "message-name " << i + 1 << " " << c.messageNames[i] << "\n";
    for (int ch = 1; ch <= 9; ++ch) out << "answer-mode " << ch << " " << (c.ansRec[static_cast<std::size_t>(ch - 1)] ? 1 : 0) << "\n";
}

void dumpHolidays(const Bytes& b, std::ostream& out) {
    out << "holiday-setting " << int{b[card::kHolidaySettingAt]} << " " << int{b[card::kHolidaySettingAt + 1]} << "\n";
    for (std::size_t i = 0; i < card::kHolidayRecords; ++i) {
        const std::size_t at = card::kHolidayRecordsAt + i * card::kHolidayRecordSize;
        if (b[at] == 0 && b[at + 1] == 0) continue;
        out << "holiday " << int{b[at]} << " " << int{b[at + 1]} << " "
            << card::nameText(std::span<const std::uint8_t>(b.data() + at + 2, card::kNameSize)) << "\n";
    }
}

// The holiday list the image carries, so that the calendar's days can be named.
core::ScheduleTables namingTables(const card::CardContents& c) {
    core::ScheduleTables t;
    for (int w = 1; w <= 7; ++w) t.weekdays.push_back({w, w});
    if (c.holidays) t.holidays = *c.holidays;
    t.holidays.insert(t.holidays.begin(), {0, 0, "", c.holidaySyukujitu, c.holidayMonday});
    return t;
}

void dumpCalendar(const Bytes& b, const card::CardContents& c, std::ostream& out) {
    const std::size_t cal = card::kCalendarAt;
    if (b[cal] == 0xFF) {
        out << "calendar blank\n";
        return;
    }
    const int firstYear = 2000 + gfnbFromBcd(b[cal + card::kCalendarFirstYear]);
    out << "calendar-first-year " << firstYear << "\n";
    out << "calendar-build-date " << bytesText(b, cal + card::kCalendarBuildDate, 3) << "\n";
    const core::ScheduleTables tables = namingTables(c);
    std::size_t index = 0;
    for (int y = firstYear; y <= firstYear + 9; ++y)
        for (int m = 1; m <= 12; ++m) {
            const core::MonthSchedule month = core::resolveMonth(tables, y, m);
            for (int d = 1; d <= gfniGetMonthDays(m, y) && index < card::kCalendarFirstYear; ++d, ++index) {
                const std::uint8_t day = b[cal + index];
                const bool named = (day & 0x80) != 0;  // every public holiday, substitute and day between holidays
                char date[40];
                std::snprintf(date, sizeof date, "%04d-%02d-%02d", y, m, d);
                out << "day " << date << " " << hex(day) << " " << (named ? month.names(d) : std::string()) << "\n";
            }
        }
}

}  // namespace

bool dump(const std::string& file, std::ostream& out, std::ostream& err) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        err << "crdtool: cannot read " << file << "\n";
        return false;
    }
    const Bytes b{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    try {
        const card::CardContents c = card::decodeCardImage(b, 0);
        dumpHeader(b, out);
        dumpSettings(b, out);
        dumpPatterns(b, c, out);
        dumpHolidays(b, out);
        dumpNames(c, out);
        dumpCalendar(b, c, out);
        return true;
    } catch (const std::exception& e) {
        err << "crdtool: " << file << ": " << e.what() << "\n";
        return false;
    }
}

}  // namespace crdtool
