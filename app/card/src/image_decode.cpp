// What a card's dump holds for a document.
#include <algorithm>

#include "card/image.h"
#include "core/calendar.h"
#include "core/file_header.h"
#include "text/text.h"

namespace card {
namespace {

using Bytes = std::span<const std::uint8_t>;

constexpr std::size_t kDecodedUpTo = kHolidayRecordsAt + kHolidayRecords * kHolidayRecordSize;

StepRow step(int pattern, const std::uint8_t* slot) {
    return {pattern, gfnbFromBcd(slot[1]), gfnbFromBcd(slot[2]), slot[0]};
}

// The builder's leading 0:00 "off" step is dropped; a channel above 9 ends the pattern.
void decodePatterns(Bytes image, CardContents& out) {
    for (int n = 1; n <= 20; ++n) {
        const std::uint8_t* record = image.data() + kPatternAt + static_cast<std::size_t>(n - 1) * kPatternRecordSize;
        if (record[0] >= 1 && record[0] <= 9) out.steps.push_back(step(n, record));
        for (std::size_t slot = 1; slot < kPatternSlots; ++slot) {
            const std::uint8_t* s = record + slot * 3;
            if (s[0] > 9) break;
            out.steps.push_back(step(n, s));
        }
    }
}

void decodeSpecialDays(Bytes calendar, int thisYear, CardContents& out) {
    const int firstYear = 2000 + gfnbFromBcd(calendar[kCalendarFirstYear]);
    std::size_t index = 0;
    for (int y = firstYear; y <= firstYear + 9; ++y) {
        if (y < thisYear) {
            index += gfnfLeapYear(y) ? 366 : 365;
            continue;
        }
        for (int m = 1; m <= 12; ++m)
            for (int d = 1; d <= gfniGetMonthDays(m, y); ++d, ++index) {
                if (index >= kCalendarFirstYear) return;
                const std::uint8_t b = calendar[index];
                const int pattern = b & 0x1F;
                if ((b & 0x60) == 0x60 && (pattern == 0 || (pattern >= 9 && pattern <= 20)))
                    out.specialDays.push_back({y, m, d, pattern, {}});
            }
    }
}

void decodeHolidays(Bytes image, CardContents& out) {
    out.holidaySyukujitu = image[kHolidaySettingAt];
    out.holidayMonday = image[kHolidaySettingAt + 1];
    const std::uint8_t* first = image.data() + kHolidayRecordsAt;
    if (first[0] == 0xFF && first[1] == 0xFF) return;
    std::vector<core::HolidayRow> rows;
    for (std::size_t i = 0; i < kHolidayRecords; ++i) {
        const std::uint8_t* r = first + i * kHolidayRecordSize;
        if (r[0] == 0xFF || (r[0] == 0 && r[1] != 36)) break;
        rows.push_back({r[0], r[1], nameText(Bytes(r + 2, kNameSize)), 255, 255});
    }
    out.holidays = std::move(rows);
}

}  // namespace

std::string nameText(Bytes field) {
    std::string bytes;
    for (std::uint8_t b : field)
        if (b != 0x00 && b != 0xFF) bytes.push_back(static_cast<char>(b));
    std::string name = text::fromCp932(bytes);
    name.erase(name.find_last_not_of(' ') + 1);
    return name;
}

CardContents decodeCardImage(Bytes image, int thisYear) {
    if (image.size() < kDecodedUpTo) throw ImageError("カードデータのファイルが短すぎます。");
    CardContents out;
    if (image[kSettingAt] != 0xFF) {
        out.settingBlock.emplace();
        std::copy_n(image.begin() + kSettingAt, kSettingSize, out.settingBlock->begin());
    }
    decodePatterns(image, out);
    const Bytes calendar = image.subspan(kCalendarAt, kCalendarSize);
    for (int ch = 1; ch <= 9; ++ch) out.ansRec[static_cast<std::size_t>(ch - 1)] = calendar[kCalendarAnswerModes + ch - 1] == 1;
    out.calendarPresent = calendar[0] != 0xFF;
    if (out.calendarPresent) {
        decodeSpecialDays(calendar, thisYear, out);
        decodeHolidays(image, out);
    }
    out.cardName = nameText(image.subspan(kCardNameAt, kNameSize));
    for (std::size_t i = 0; i < 12; ++i) out.messageNames[i] = nameText(image.subspan(kMessageNamesAt + i * kNameSize, kNameSize));
    for (std::size_t i = 0; i < 20; ++i) out.patternNames[i] = nameText(image.subspan(kPatternNamesAt + i * kNameSize, kNameSize));
    return out;
}

}  // namespace card
