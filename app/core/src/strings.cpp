#include "core/strings.h"

#include <sys/stat.h>

#include <ctime>
#include <initializer_list>
#include <string_view>

#include "core/calendar.h"
#include "core/errors.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "runtime/format.h"
#include "runtime/numeric.h"
#include "text/text.h"

using runtime::format;

namespace {

constexpr int patternOf(int code) { return code & 0x1F; }
constexpr int sourceOf(int code) { return (code >> 5) & 0x3; }
constexpr bool isWeekday(int p) { return p >= 1 && p <= 7; }
constexpr bool isSpecial(int p) { return p >= 9 && p <= 20; }

constexpr std::int32_t kWeekdayColor = 0xFFC0C0;
constexpr std::int32_t kHolidayColor = 0xC0C0FF;
constexpr std::int32_t kSpecialColor = 0xC0FFC0;
constexpr std::int32_t kWhite = 0xFFFFFF;

// Special-day patterns 9..20 are lettered A..L.
std::string specialLetter(int p) { return std::string(1, static_cast<char>('A' + p - 9)); }

std::string weekdayName(int d) { return format(d, "aaaa"); }

// Characters, not bytes, as the language counts a text's length.
std::size_t charCount(std::string_view s) {
    std::size_t n = 0;
    for (unsigned char c : s) n += (c & 0xC0) != 0x80;
    return n;
}

std::string dashDate() { return text::toWide("----年--月--日"); }

}  // namespace

// ---- Patterns and day codes ----

std::string gfnsGetPatternName(int iCode) {
    const int p = patternOf(iCode);
    if (p == 0) return "停止";
    if (isWeekday(p)) return weekdayName(p) + "スケジュール";
    if (p == 8) return "祝日スケジュール";
    if (isSpecial(p)) return "特定日スケジュール " + text::toWide(specialLetter(p));
    if (p == 21) return "新しい特定日スケジュール";
    return {};
}

std::int32_t gfnlGetPatternColor(int iCode) {
    const int p = patternOf(iCode);
    if (p == 0) {
        // A stopped day still shows where its day came from.
        switch (sourceOf(iCode)) {
        case 0: return kWeekdayColor;
        case 3: return kSpecialColor;
        default: return kHolidayColor;
        }
    }
    if (isWeekday(p)) return kWeekdayColor;
    if (p == 8) return kHolidayColor;
    if (isSpecial(p)) return kSpecialColor;
    return kWhite;
}

std::string gfnsGetDayTypeStr(int iCode, int iStyle) {
    const int p = patternOf(iCode);
    if (p == 0) return "停止";
    if (isSpecial(p)) return iStyle == 1 ? specialLetter(p) : text::toWide(specialLetter(p));
    if (iStyle == 0 && isWeekday(p)) return weekdayName(p);
    if (iStyle != 1 && p == 8) return "祝日";
    return {};
}

// ---- Channels, answer mode, yes/no ----

std::string gfnsGetChannelStr(int iCh, bool fName) {
    if (iCh == 0) return "停止";
    if (!fName) return format(iCh, "@@");
    if (iCh >= 1 && iCh <= 9) return "応答メッセージ";
    switch (iCh) {
    case 10: return "挨拶メッセージ";
    case 11: return "終了メッセージ";
    case 12: return "保留音";
    case 24: return "ﾌｧｰﾑｳｪｱﾃﾞｰﾀ";
    default: return {};
    }
}

std::string gfnsAnsRecStr(bool fAnsRec) { return fAnsRec ? "録音" : "専用"; }
std::string gfnsYesNoStr(bool fYes) { return fYes ? "あり" : "なし"; }

// ---- Device settings ----

namespace {

// The word of a choice setting; the value must be exactly one of the listed numbers.
std::string choiceWord(std::initializer_list<const char*> words, const std::string& value) {
    const double v = runtime::val(value);
    int i = 0;
    for (const char* w : words) {
        if (v == i) return w;
        ++i;
    }
    return {};
}

}  // namespace

std::string gfnsSettingToStr(int iKind, const std::string& sValue) {
    switch (iKind) {
    case 1: return charCount(sValue) < 4 ? "－－－－" : text::toWide(sValue);
    case 2: case 4: return text::toWide(sValue + "回");
    case 3: return text::toWide(sValue);
    case 5: case 6: return text::toWide(sValue + "秒");
    case 7: return text::toWide(sValue + "分");
    case 17: return choiceWord({"しない", "する"}, sValue);
    case 18: return choiceWord({"無視", "検出"}, sValue);
    case 19: return choiceWord({"しない", "４５秒後", "９０秒後"}, sValue);
    case 20: return choiceWord({"無視", "６ｍ秒", "３５０ｍ秒"}, sValue);
    case 21: return choiceWord({"検出しない", "１００ｍ秒", "２００ｍ秒", "３００ｍ秒"}, sValue);
    case 22: return choiceWord({"４００Ｈｚ", "５００Ｈｚ"}, sValue);
    case 23: return choiceWord({"無効", "有効"}, sValue);
    default:
        gsbErrorMsg("初期設定値表示変換時エラー（gfnsSettingToStr）", false);
        return {};
    }
}

// ---- Holiday rules ----

std::string gfnsGetSyukujituStr(int iMonth, int iDay) {
    const std::string month = text::toWide(format(iMonth, "@@月"));
    if (iDay >= 1 && iDay <= 31) return month + " " + text::toWide(format(iDay, "@@@@日"));
    if (iDay == 35 && iMonth == 3) return month + "２０,２１日";
    if (iDay == 35 && iMonth == 9) return month + "２２,２３日";
    if (iDay == 36) return "　－月　　 　－日";
    const int week = iDay / 10 - 3, weekday = iDay % 10;
    if (iDay >= 41 && iDay <= 87 && week >= 1 && week <= 5 && weekday >= 1 && weekday <= 7)
        return month + " " + format(text::toWide(std::to_string(week)), "第@") + weekdayName(weekday);
    gsbErrorMsg("祝日登録の表示用文字変換時エラー（gfnsGetSyukujituStr）", false);
    return {};
}

// ---- Special-day rules ----

std::string gfnsGetYearDayStr(int iKind, const std::string& sDate) {
    const auto date = runtime::parseDate(sDate);
    if (!date) return {};
    std::string text;
    switch (iKind) {
    case 0: text = format(*date, "yyyy年mm月dd日"); break;
    case 1: text = "毎月第" + std::to_string(gfniGetWeekNo(date->day, date->year, date->month)) + format(*date, "aaaa"); break;
    case 2: text = "毎月" + std::to_string(date->day) + "日"; break;
    case 3: text = "毎年" + std::to_string(date->month) + "月" + std::to_string(date->day) + "日"; break;
    default: return {};
    }
    return text::toWide(text);
}

// ---- Times and durations ----

std::string gfnsTimeToStr(int iHour, int iMinute) { return format(iHour, "@@:") + format(iMinute, "00"); }

std::string gfnsMsecToStr(std::int32_t lMsec, bool fFraction) {
    if (lMsec < 0) return "－";
    long long h = lMsec / 3600000;
    long long m = (lMsec / 1000 % 3600) / 60;
    long long s = lMsec / 1000 % 60;
    const long long fraction = lMsec % 1000;
    if (fFraction) {
        // Hours are not taken modulo a day: a length is not a time of day.
        if (h <= 0) return format(m, "@@:") + format(s, "00.") + format(fraction, "000");
        return format(h, "00") + ":" + format(m, "00") + ":" + format(s, "00.") + format(fraction, "000");
    }
    if (fraction >= 500 && ++s == 60) {
        s = 0;
        // The carried minute may complete an hour: 59:59.5 reads 01:00:00, not 60:00.
        if (++m == 60) m = 0, ++h;
    }
    if (h <= 0) return format(m, "@@:") + format(s, "00");
    return format(h, "00") + ":" + format(m, "00") + ":" + format(s, "00");
}

// ---- Dates ----

std::string gfnsDateToStr(int iYear, int iMonth, int iDay) {
    // Card dates of a block never written hold zeros.
    if (iYear <= 2002 && (iMonth == 0 || iDay == 0)) return dashDate();
    return text::toWide(format(runtime::dateSerial(iYear, iMonth, iDay), "yyyy年mm月dd日"));
}

std::string gfnsDateWeekStr(const std::string& sDate) {
    if (sDate.empty()) return {};
    const auto date = runtime::parseDate(sDate);
    if (!date) runtime::raise(runtime::err::TypeMismatch);
    return text::toWide(format(date->year, "@@@@")) + "年 " + text::toWide(format(date->month, "@@")) + "月 " +
           text::toWide(format(date->day, "@@")) + "日" + text::toWide(format(*date, "(aaa)"));
}

std::string gfnvGetFileDate(int iKind, const std::string& sPath) {
    if (iKind == 3) {
        struct stat st {};
        if (::stat(sPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) runtime::raiseWith(runtime::err::FileNotFound, sPath);
        std::tm tm{};
        localtime_r(&st.st_mtime, &tm);
        return gfnsDateToStr(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
    }
    if (iKind == 4 || iKind == 5) {
        const runtime::DateTime t = runtime::today();
        return gfnsDateToStr(t.year, t.month, t.day);
    }
    return gfnsDateToStr(0, 0, 0);
}

std::string gfnsMinuteStr(std::int32_t lSeconds) { return text::toWide(format(lSeconds / 60, "@@分用")); }

std::string gfnsVersionToStr(int iMajor, int iMinor1, int iMinor2) {
    if ((iMajor == 0 && iMinor1 == 0 && iMinor2 == 0) || (iMajor == 255 && iMinor1 == 255 && iMinor2 == 255))
        return "-.--";
    return format(iMajor, "0") + "." + format(iMinor1, "0") + format(iMinor2, "0");
}

// ---- Byte-counted strings ----

std::string gfnsLeftB(const std::string& s, int n) { return text::leftB(s, n < 0 ? 0 : n); }

// A 16-bit count, as callers store it: a longer text is an overflow, not a wrapped length.
std::int16_t gfniLenB(const std::string& s) { return runtime::cint(text::lenB(s)); }

// ---- Access code ----

namespace {

constexpr std::size_t kCodeBytes = 8;

void checkRange(std::size_t size, std::size_t start) {
    if (start > size || size - start < kCodeBytes) runtime::raise(runtime::err::SubscriptOutOfRange);
}

// One card byte of a code position: 1-9 for the digits, 10 for 0, 0 for an empty one.
std::uint8_t codeByte(char c) {
    if (c >= '1' && c <= '9') return static_cast<std::uint8_t>(c - '0');
    if (c == '0') return 10;
    return 0;
}

}  // namespace

void gsbCodeToBytes(const std::string& sCode, std::span<std::uint8_t> bytes, std::size_t start) {
    checkRange(bytes.size(), start);
    // Right-aligned in 8 positions; "----" and the blanks before a short code are empty.
    std::string s = sCode == "----" ? std::string() : sCode;
    s = std::string(kCodeBytes, '-') + s;
    s = s.substr(s.size() - kCodeBytes);
    for (std::size_t k = 0; k < kCodeBytes; ++k) bytes[start + k] = codeByte(s[kCodeBytes - 1 - k]);
}

std::string gfnsBytesToCode(std::span<const std::uint8_t> bytes, std::size_t start) {
    checkRange(bytes.size(), start);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (std::size_t k = 0; k < kCodeBytes; ++k) {
        const std::uint8_t b = bytes[start + k];
        std::string h = b >= 16 ? std::string{kHex[b >> 4], kHex[b & 15]} : std::string{kHex[b]};
        hex = h + hex;
    }
    std::string code;
    for (char c : hex) {
        if (c == '0') continue;
        code += c == 'A' ? '0' : c;
    }
    return code.empty() ? "----" : code;
}
