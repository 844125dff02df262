// The card image of a document.
#include <algorithm>
#include <cstring>

#include "card/image.h"
#include "core/file_header.h"
#include "core/strings.h"
#include "runtime/numeric.h"
#include "text/text.h"

namespace card {
namespace {

using Image = std::vector<std::uint8_t>;

void put(Image& image, std::size_t at, std::span<const std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
}

void putText(Image& image, std::size_t at, std::string_view ascii) {
    std::memcpy(image.data() + at, ascii.data(), ascii.size());
}

void fill(Image& image, std::size_t at, std::size_t n, std::uint8_t value) {
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at), n, value);
}

std::uint8_t bcd(int value) { return gfnbToBcd(static_cast<std::uint8_t>(value % 100)); }

const CardWriteRow* findBlock(const DocumentSnapshot& doc, int blockNo) {
    auto it = std::find_if(doc.cardWrite.begin(), doc.cardWrite.end(),
                           [&](const CardWriteRow& r) { return r.blockNo == blockNo; });
    return it == doc.cardWrite.end() ? nullptr : &*it;
}

std::uint8_t settingByte(const SettingRow& row) {
    const double v = runtime::val(row.value);
    if (v < 0 || v > 255)
        throw ImageError("機能設定 " + std::to_string(row.no) + " の値がカードの範囲を超えています。");
    return static_cast<std::uint8_t>(v);
}

void encodeSettings(Image& image, const DocumentSnapshot& doc, std::uint8_t mode, Date today) {
    std::array<std::uint8_t, kSettingSize> block{};
    if (mode == 4) {
        for (const SettingRow& row : doc.settings) {
            if (row.address < 0) {
                if (row.no != 1)
                    throw ImageError("機能設定 " + std::to_string(row.no) + " のアドレスが正しくありません。");
                gsbCodeToBytes(row.value, block, 0);
            } else if (static_cast<std::size_t>(row.address) < kSettingSize) {
                block[static_cast<std::size_t>(row.address)] = settingByte(row);
            } else {
                throw ImageError("機能設定 " + std::to_string(row.no) + " のアドレスが正しくありません。");
            }
        }
        block[44] = 1;
        block[45] = bcd(today.year);
        block[46] = bcd(today.month);
        block[47] = bcd(today.day);
    }
    put(image, kSettingAt, block);
    fill(image, kSettingFlagsAt, 2, 0xFF);
}

std::string patternLabel(const DocumentSnapshot& doc, int n) {
    for (const PatternRow& p : doc.patterns)
        if (p.no == n && !p.name.empty()) return p.name;
    return std::to_string(n);
}

// Pattern n's slots: every pattern starts at 0:00, with an "off" step when it has none there.
void encodePatterns(Image& image, const DocumentSnapshot& doc) {
    for (int n = 1; n <= 20; ++n) {
        std::vector<std::array<std::uint8_t, 3>> slots;
        bool first = true;
        for (const StepRow& s : doc.steps) {
            if (s.pattern != n) continue;
            if (first && (s.hour != 0 || s.minute != 0)) slots.push_back({0, 0, 0});
            first = false;
            slots.push_back({static_cast<std::uint8_t>(s.message), bcd(s.hour), bcd(s.minute)});
        }
        if (first) slots.push_back({0, 0, 0});
        if (slots.size() > kPatternSlots)
            throw ImageError("日パターン「" + patternLabel(doc, n) +
                             "」のステップがカードに書き込める数を超えています。ステップを減らしてください。");
        std::size_t at = kPatternAt + static_cast<std::size_t>(n - 1) * kPatternRecordSize;
        for (const auto& slot : slots) {
            put(image, at, slot);
            at += 3;
        }
    }
}

void encodeCalendar(Image& image, const DocumentSnapshot& doc, const CardCalendar& calendar, Date today) {
    if (calendar.dayBytes.size() > kCalendarFirstYear)
        throw ImageError("カレンダーの日数がカードの範囲を超えています。");
    put(image, kCalendarAt, calendar.dayBytes);
    image[kCalendarAt + kCalendarFirstYear] = bcd(calendar.firstYear);
    image[kCalendarAt + kCalendarBuildDate] = bcd(today.year);
    image[kCalendarAt + kCalendarBuildDate + 1] = bcd(today.month);
    image[kCalendarAt + kCalendarBuildDate + 2] = bcd(today.day);
    for (int ch = 1; ch <= 9; ++ch) {
        auto it = std::find_if(doc.messages.begin(), doc.messages.end(), [&](const MessageRow& m) { return m.ch == ch; });
        image[kCalendarAt + kCalendarAnswerModes + static_cast<std::size_t>(ch - 1)] =
            it != doc.messages.end() && it->ansRec ? 1 : 0;
    }
}

void encodeHolidays(Image& image, const DocumentSnapshot& doc, std::uint8_t mode) {
    std::uint8_t setting[2] = {0, 0};
    std::vector<std::uint8_t> records(kHolidayRecords * kHolidayRecordSize, 0);
    if (mode == 4) {
        setting[0] = setting[1] = 255;
        std::size_t next = 0;
        for (const core::HolidayRow& h : doc.holidays) {
            if (h.day == 0) {
                setting[0] = static_cast<std::uint8_t>(h.syukujitu);
                setting[1] = static_cast<std::uint8_t>(h.monday);
                continue;
            }
            if (next == kHolidayRecords) throw ImageError("祝日の数がカードに書き込める25件を超えています。");
            std::uint8_t* r = records.data() + next++ * kHolidayRecordSize;
            r[0] = static_cast<std::uint8_t>(h.month);
            r[1] = static_cast<std::uint8_t>(h.day);
            const auto name = nameField(h.name);
            std::copy(name.begin(), name.end(), r + 2);
        }
    }
    put(image, kHolidaySettingAt, setting);
    put(image, kHolidayRecordsAt, records);
}

void encodeNames(Image& image, const DocumentSnapshot& doc, const WriteModeRecord& record) {
    if (record[kRecordCardName] != 0) {
        std::array<std::uint8_t, kNameSize> field{};
        if (record[kRecordCardName] == 4)
            if (const CardWriteRow* row = findBlock(doc, 224)) field = nameField(row->comment);
        put(image, kCardNameAt, field);
    }
    const std::uint8_t messageMode = record[kRecordMessageNames];
    if (messageMode != 0) {
        std::vector<std::uint8_t> fields(12 * kNameSize, 0);
        if (messageMode == 4 || messageMode == 6)
            for (const CardWriteRow& row : doc.cardWrite)
                if (row.blockNo >= 1 && row.blockNo <= 12) {
                    const auto f = nameField(row.comment);
                    std::copy(f.begin(), f.end(), fields.begin() + (row.blockNo - 1) * static_cast<int>(kNameSize));
                }
        put(image, kMessageNamesAt, fields);
    }
    if (record[kRecordPatternNames] != 0) {
        std::vector<std::uint8_t> fields(20 * kNameSize, 0);
        if (record[kRecordPatternNames] == 4)
            for (const PatternRow& p : doc.patterns) {
                if (p.no == 0) continue;
                if (p.no < 1 || p.no > 20) throw ImageError("日パターン番号 " + std::to_string(p.no) + " は正しくありません。");
                const auto f = nameField(p.name);
                std::copy(f.begin(), f.end(), fields.begin() + (p.no - 1) * static_cast<int>(kNameSize));
            }
        put(image, kPatternNamesAt, fields);
    }
}

// Informative only: which file each message entry was to be written from.
void encodeWritePaths(Image& image, const DocumentSnapshot& doc, const WriteModeRecord& record) {
    std::vector<std::string> paths;
    for (const CardWriteRow& row : doc.cardWrite)
        if (((row.blockNo >= 1 && row.blockNo <= 12) || row.blockNo == 24) && paths.size() < 24)
            paths.push_back(row.writeData);
    for (std::size_t n = 0; n < 24; ++n) {
        const std::string path = n < paths.size() ? paths[n] : std::string();
        std::string field;
        switch (record[n]) {
        case 1: field = text::toCp932(text::leftB(path + "CH", kWritePathSize)); break;
        case 2: field = "DELETE"; break;
        case 3: field = text::toCp932(text::leftB(path, kWritePathSize)); break;
        default: break;
        }
        field.resize(kWritePathSize, ' ');
        putText(image, kWritePathsAt + n * kWritePathSize, field);
    }
}

}  // namespace

std::optional<std::size_t> recordIndexOfBlock(int blockNo) {
    if (blockNo >= 1 && blockNo <= 12) return static_cast<std::size_t>(blockNo - 1);
    switch (blockNo) {
    case 24: return 23;
    case 204: return kRecordSettings;
    case 221: return kRecordSchedule;
    case 224: return kRecordCardName;
    case 225: return kRecordMessageNames;
    case 226: return kRecordPatternNames;
    default: return std::nullopt;
    }
}

std::array<std::uint8_t, kNameSize> nameField(const std::string& name) {
    std::array<std::uint8_t, kNameSize> field;
    field.fill(' ');
    const std::string bytes = text::toCp932(text::leftB(name, kNameSize));
    std::memcpy(field.data(), bytes.data(), std::min(bytes.size(), kNameSize));
    return field;
}

std::vector<std::uint8_t> encodeCardImage(const DocumentSnapshot& doc, const WriteModeRecord& record, Date today,
                                          const CardCalendar& calendar) {
    Image image(kImageSize, 0);
    put(image, kWriteModeAt, record);
    if (record[kRecordSettings] != 0) encodeSettings(image, doc, record[kRecordSettings], today);
    if (const std::uint8_t schedule = record[kRecordSchedule]; schedule != 0) {
        fill(image, kPatternAt, kPatternBlockSize, 0xFF);
        fill(image, kCalendarAt, kCalendarSize, 0xFF);
        if (schedule != 2) {
            encodePatterns(image, doc);
            encodeCalendar(image, doc, calendar, today);
        }
        encodeHolidays(image, doc, schedule);
    }
    encodeNames(image, doc, record);
    encodeWritePaths(image, doc, record);
    putText(image, kModelIdAt, kModelId);
    const std::uint8_t version[3] = {1, 5, 0};
    put(image, kDataVersionAt, version);
    return image;
}

}  // namespace card
