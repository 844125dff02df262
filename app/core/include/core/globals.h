#pragma once
// The program's shared state and the codes every part of it agrees on: the files of the
// program folder, the tables of a document, day pattern and channel numbers, holiday
// day codes and the day byte.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "dao/database.h"

// Flags are 16-bit integers with True = -1, as the database stores its yes/no fields.
using VbBool = std::int16_t;
inline constexpr VbBool vbTrue = -1;
inline constexpr VbBool vbFalse = 0;
constexpr VbBool vbBool(bool b) { return b ? vbTrue : vbFalse; }

// ---- Application-wide state (one instance each for the whole run) ----

// The document changed since it was created, opened or saved.
extern VbBool gfChanged;
// Log mode: Soft.log lay in the program folder at start.
extern VbBool gintLogMode;
// The open document, Regist.dat; the windows open and close it (core/database.h).
extern dao::Database gdbWork;
// The user confirmed Cancel in the progress window.
extern VbBool gfCancel;
// The program folder with a trailing separator; the prefix of every file the program
// names. The executable's folder by default; tests point it at a folder of their own.
extern std::string gstrDataPath;
// Some channel 1..9 answers and records.
extern VbBool gfAnsRec;
// Service mode: more wizard steps and card functions.
extern VbBool gfServiceMode;
// The option "動作モード" of Master.dat is "T".
extern VbBool gfBrandMode;

// ---- Application ----

// The caption of the main window and the title of every message box.
inline constexpr std::string_view kAppTitle = "KV-M58Sﾃﾞｰﾀ入力ｿﾌﾄ";
// The version that Master.dat's option "バージョン" must read.
inline constexpr std::string_view kAppVersion = "101";

// ---- Files of the program folder ----

inline constexpr std::string_view kMasterDat = "Master.dat";  // templates and options
inline constexpr std::string_view kRegistDat = "Regist.dat";  // the open document
inline constexpr std::string_view kTempDbDat = "TempDB.dat";  // compaction and open staging
inline constexpr std::string_view kTempDat = "Temp.dat";      // a document file being written
inline constexpr std::string_view kSoftLog = "Soft.log";      // the log; its presence means log mode

// ---- Tables ----

inline constexpr std::string_view kTblMessage = "tblMessage";
inline constexpr std::string_view kTblDayPattern = "tblDayPattern";
inline constexpr std::string_view kTblDayStep = "tblDayStep";
inline constexpr std::string_view kTblBase = "tblBase";
inline constexpr std::string_view kTblSyukujitu = "tblSyukujitu";
inline constexpr std::string_view kTblYear = "tblYear";
inline constexpr std::string_view kTblYearShow = "tblYearShow";
inline constexpr std::string_view kTblSetting = "tblSetting";
inline constexpr std::string_view kTblCardWrite = "tblCardWrite";
inline constexpr std::string_view kTblOption = "tblOption";    // Master.dat only
inline constexpr std::string_view kTblWizard = "tblWizard";    // Master.dat only
inline constexpr std::string_view kTblWork = "tblWork";        // scratch copy of steps
inline constexpr std::string_view kTblWrok = "tblWrok";        // scratch backup of one pattern's steps (spelled so)

// The tables a new document copies whole from Master.dat, in copy order. tblSetting
// follows them with its six document columns.
inline constexpr std::array<std::string_view, 7> kDocumentTables = {
    kTblMessage, kTblDayPattern, kTblDayStep, kTblYear, kTblBase, kTblSyukujitu, kTblCardWrite};
// The columns of a document's tblSetting (Master.dat adds fldKind and fldHint).
inline constexpr std::string_view kDocumentSettingColumns = "fldType, fldOrder, fldNo, fldItem, fldValue, fldAddress";

// Keys of tblOption.
inline constexpr std::string_view kOptSoftName = "ソフト名";
inline constexpr std::string_view kOptVersion = "バージョン";
inline constexpr std::string_view kOptMode = "動作モード";
inline constexpr std::string_view kOptUser = "使用ユーザー";
inline constexpr std::string_view kOptMarginLeft = "印刷の左余白";
inline constexpr std::string_view kOptMarginRight = "印刷の右余白";
inline constexpr std::string_view kOptMarginTop = "印刷の上余白";
inline constexpr std::string_view kOptMarginBottom = "印刷の下余白";
inline constexpr std::string_view kOptLineWidth = "印刷の罫線幅";
inline constexpr std::string_view kOptPaperWidth = "用紙幅";
inline constexpr std::string_view kOptPaperHeight = "用紙高さ";
inline constexpr std::string_view kOptPaperSize = "用紙サイズ";
// The value of "動作モード" that switches brand mode on.
inline constexpr std::string_view kBrandModeValue = "T";

// ---- Day pattern numbers ----

inline constexpr std::int16_t kPatternStop = 0;          // no answering
inline constexpr std::int16_t kPatternSunday = 1;        // weekday patterns 1..7, 1 = Sunday
inline constexpr std::int16_t kPatternSaturday = 7;
inline constexpr std::int16_t kPatternHoliday = 8;
inline constexpr std::int16_t kPatternSpecialFirst = 9;  // special-day patterns A..L
inline constexpr std::int16_t kPatternSpecialLast = 20;
inline constexpr std::int16_t kPatternNewSpecial = 21;   // a special-day pattern still to be created
inline constexpr std::int16_t kPatternNotSet = 255;      // holiday fields only
inline constexpr std::int16_t kPatternRows = 21;         // tblDayPattern always holds 0..20
inline constexpr std::int16_t kMaxStepsPerPattern = 24;

constexpr bool isWeekdayPattern(int p) { return p >= kPatternSunday && p <= kPatternSaturday; }
constexpr bool isSpecialPattern(int p) { return p >= kPatternSpecialFirst && p <= kPatternSpecialLast; }

// ---- Message channel numbers ----

inline constexpr std::int16_t kChannelOff = 0;
inline constexpr std::int16_t kChannelAnswerFirst = 1;  // answer messages 1..9
inline constexpr std::int16_t kChannelAnswerLast = 9;
inline constexpr std::int16_t kChannelGreeting = 10;
inline constexpr std::int16_t kChannelClosing = 11;
inline constexpr std::int16_t kChannelHoldTone = 12;
inline constexpr std::int16_t kChannelLast = 12;        // tblMessage holds 1..12
inline constexpr std::int16_t kChannelFirmware = 24;    // a card block, not a tblMessage row

// ---- Card write blocks (tblCardWrite.fldBlockNo) ----

inline constexpr std::int16_t kBlockFirmware = 24;
inline constexpr std::int16_t kBlockSetting = 204;
inline constexpr std::int16_t kBlockSchedule = 221;
inline constexpr std::int16_t kBlockCardName = 224;
inline constexpr std::int16_t kBlockMessageNames = 225;
inline constexpr std::int16_t kBlockPatternNames = 226;
inline constexpr std::int16_t kWriteModeNone = 0;
inline constexpr std::int16_t kWriteModeDocument = 4;

// ---- Holiday day codes (tblSyukujitu.fldDay) ----

inline constexpr std::int16_t kHolidaySettingsDay = 0;  // with fldMonth 0: the settings row
inline constexpr std::int16_t kHolidayEquinox = 35;     // March or September equinox
inline constexpr std::int16_t kHolidayRuleDay = 36;     // with fldMonth 0: the rule row
inline constexpr std::int16_t kHolidayNthFirst = 41;    // 1st Sunday
inline constexpr std::int16_t kHolidayNthLast = 87;     // 5th Saturday
inline constexpr std::string_view kHolidaySettingsComment = "登録値保持用";

// The code of the nth (1..5) weekday (1 = Sunday .. 7 = Saturday) of a month.
constexpr std::int16_t holidayNthCode(int nth, int weekday) {
    return static_cast<std::int16_t>(30 + 10 * nth + weekday);
}
// Week and weekday of an nth-weekday code; valid only when isHolidayNthCode(code).
constexpr int holidayNthOf(int code) { return code / 10 - 3; }
constexpr int holidayWeekdayOf(int code) { return code % 10; }
constexpr bool isHolidayNthCode(int code) {
    return code >= kHolidayNthFirst && code <= kHolidayNthLast && holidayWeekdayOf(code) >= 1 &&
           holidayWeekdayOf(code) <= 7;
}

// ---- Day byte: one byte per date of the resolved schedule ----

inline constexpr std::uint8_t kDayPatternMask = 0x1F;   // bits 0-4: the pattern in effect
inline constexpr std::uint8_t kDaySourceMask = 0x60;    // bits 5-6: where it comes from
inline constexpr std::uint8_t kDaySourceWeekday = 0x00;
inline constexpr std::uint8_t kDaySourceHoliday = 0x20;
inline constexpr std::uint8_t kDaySourceSubstitute = 0x40;
inline constexpr std::uint8_t kDaySourceSpecial = 0x60;
inline constexpr std::uint8_t kDayPublicHoliday = 0x80; // bit 7: the date is a public holiday

constexpr int dayPatternOf(std::uint8_t day) { return day & kDayPatternMask; }
constexpr int daySourceOf(std::uint8_t day) { return (day & kDaySourceMask) >> 5; }
constexpr bool isPublicHoliday(std::uint8_t day) { return (day & kDayPublicHoliday) != 0; }
