#pragma once
// The card image CardData.crd: the one format in which a document and a memory card meet.
// The encoder and the decoder here are pure: they turn a snapshot of the document's
// tables into the image's bytes, and the bytes of a card's dump back into rows.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/schedule.h"

namespace card {

// Offsets and sizes of the image's regions.
inline constexpr std::size_t kImageSize = 0x7900;
inline constexpr std::size_t kZeroPrefix = 0x6000;
inline constexpr std::size_t kModelIdAt = 0x0000;
inline constexpr std::size_t kDataVersionAt = 1187;
inline constexpr std::size_t kSettingAt = 0x2000;
inline constexpr std::size_t kSettingSize = 48;
inline constexpr std::size_t kSettingFlagsAt = 0x211E;  // setting-block offsets 286 and 287
inline constexpr std::size_t kPatternAt = 0x3000;
inline constexpr std::size_t kPatternBlockSize = 2048;
inline constexpr std::size_t kPatternRecordSize = 78;
inline constexpr std::size_t kPatternSlots = 26;
inline constexpr std::size_t kCalendarAt = 0x4000;
inline constexpr std::size_t kCalendarSize = 4096;
inline constexpr std::size_t kCalendarFirstYear = 3660;
inline constexpr std::size_t kCalendarBuildDate = 3661;
inline constexpr std::size_t kCalendarAnswerModes = 3664;
inline constexpr std::size_t kCardNameAt = 0x5000;
inline constexpr std::size_t kMessageNamesAt = 0x5100;
inline constexpr std::size_t kPatternNamesAt = 0x5200;
inline constexpr std::size_t kHolidaySettingAt = 0x5400;
inline constexpr std::size_t kHolidayRecordsAt = 0x5402;
inline constexpr std::size_t kHolidayRecordSize = 22;
inline constexpr std::size_t kHolidayRecords = 25;
inline constexpr std::size_t kWriteModeAt = 0x6010;
inline constexpr std::size_t kWritePathsAt = 0x6100;
inline constexpr std::size_t kWritePathSize = 256;
inline constexpr std::size_t kNameSize = 20;
inline constexpr const char* kModelId = "KV-M58S1";
inline constexpr const char* kPlaceholder = "Error!";

// One byte a card part: bytes 0-23 message entries 1-24, then settings, schedule, card
// name, message names, pattern names. 0 leave alone, 4 write from the document, 2 clear.
using WriteModeRecord = std::array<std::uint8_t, 29>;
inline constexpr std::size_t kRecordSettings = 24;
inline constexpr std::size_t kRecordSchedule = 25;
inline constexpr std::size_t kRecordCardName = 26;
inline constexpr std::size_t kRecordMessageNames = 27;
inline constexpr std::size_t kRecordPatternNames = 28;

// The record byte of a tblCardWrite block, or nothing for a block the record has no byte for.
std::optional<std::size_t> recordIndexOfBlock(int blockNo);

// The rows the image is built from, each in the order its table is read.
struct SettingRow {
    int no = 0;
    int address = 0;    // fldAddress as a number; negative only for the access code
    std::string value;  // fldValue
};
struct StepRow {
    int pattern = 0, hour = 0, minute = 0, message = 0;
};
struct MessageRow {
    int ch = 0;
    std::string comment;
    bool ansRec = false;
};
struct PatternRow {
    int no = 0;
    std::string name;
};
struct CardWriteRow {
    int blockNo = 0;
    int writeMode = 0;
    std::string writeData;
    std::string comment;
};
struct DocumentSnapshot {
    std::vector<SettingRow> settings;           // by fldNo
    std::vector<StepRow> steps;                 // by pattern, hour, minute
    std::vector<MessageRow> messages;           // by fldCh
    std::vector<PatternRow> patterns;           // by fldNo
    std::vector<core::HolidayRow> holidays;     // by fldMonth, fldDay
    std::vector<CardWriteRow> cardWrite;        // by fldBlockNo
};

struct Date {
    int year = 0, month = 0, day = 0;
};

// The day bytes of ten years from 1 January of `firstYear`, month after month.
struct CardCalendar {
    int firstYear = 0;
    std::vector<std::uint8_t> dayBytes;
};

// A document that does not fit the image; the text says what and where.
class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The whole image, placeholder replaced by the model id. The calendar is only read when
// the schedule is selected (record byte 25 = 4).
std::vector<std::uint8_t> encodeCardImage(const DocumentSnapshot& doc, const WriteModeRecord& record, Date today,
                                          const CardCalendar& calendar);

// A 20-byte name field: CP932, cut at 20 bytes without splitting a character, blank padded.
std::array<std::uint8_t, kNameSize> nameField(const std::string& name);
// The text of a name field: bytes 0x00 and 0xFF dropped, then trailing blanks.
std::string nameText(std::span<const std::uint8_t> field);

// What a card's dump holds for a document.
struct CardContents {
    std::optional<std::array<std::uint8_t, kSettingSize>> settingBlock;  // absent when blank
    std::vector<StepRow> steps;
    std::array<bool, 9> ansRec{};
    bool calendarPresent = false;
    std::vector<core::SpecialDayRow> specialDays;        // from this year on
    std::uint8_t holidaySyukujitu = 255, holidayMonday = 255;
    std::optional<std::vector<core::HolidayRow>> holidays;  // absent when the list is blank
    std::string cardName;
    std::array<std::string, 12> messageNames;
    std::array<std::string, 20> patternNames;
};

// Reads a card's dump; ImageError when it is shorter than the regions read.
CardContents decodeCardImage(std::span<const std::uint8_t> image, int thisYear);

}  // namespace card
