#pragma once
// Display strings of the document's codes, byte-counted strings for the card's fixed
// name fields, and the access code's card bytes. Every function is pure: plain values
// in, a new text out. Texts are UTF-8; byte counts are of the Shift-JIS form.
#include <cstdint>
#include <span>
#include <string>

// ---- Patterns and day codes (the pattern number is the low 5 bits of a day code) ----

std::string gfnsGetPatternName(int iCode);
// 0x00BBGGRR background colour of the pattern.
std::int32_t gfnlGetPatternColor(int iCode);
// Short day-type text: style 0 full, style 1 special days as half-width letters, any
// other style holidays and full-width letters only.
std::string gfnsGetDayTypeStr(int iCode, int iStyle);

// ---- Channels, answer mode, yes/no ----

std::string gfnsGetChannelStr(int iCh, bool fName);
std::string gfnsAnsRecStr(bool fAnsRec);
std::string gfnsYesNoStr(bool fYes);

// ---- Device settings, holiday rules, special-day rules ----

// The display words of a setting value (kind = tblSetting.fldNo).
std::string gfnsSettingToStr(int iKind, const std::string& sValue);
// The date text of a holiday rule (day = tblSyukujitu.fldDay).
std::string gfnsGetSyukujituStr(int iMonth, int iDay);
// The text of a special-day repeat rule, kinds 0-3, for a "yyyy/m/d" date text.
std::string gfnsGetYearDayStr(int iKind, const std::string& sDate);

// ---- Times, durations, dates, versions ----

// " 9:05"; not widened.
std::string gfnsTimeToStr(int iHour, int iMinute);
// A length in milliseconds: " 1:05", " 1:05.250", "01:02:03"; "－" when negative.
std::string gfnsMsecToStr(std::int32_t lMsec, bool fFraction);
// "２００４年０２月２９日"; dashes for a year up to 2002 with no month or no day.
std::string gfnsDateToStr(int iYear, int iMonth, int iDay);
// "２００５年 　３月 　１日（火）" for "2005/3/1"; empty for an empty text. A text that is
// not a date raises run-time error 13.
std::string gfnsDateWeekStr(const std::string& sDate);
// The date shown for a card write-list entry: kind 3 the file's modification date,
// kinds 4 and 5 today, any other kind dashes.
std::string gfnvGetFileDate(int iKind, const std::string& sPath);
// A card size in seconds as whole minutes: "６０分用", "　５分用".
std::string gfnsMinuteStr(std::int32_t lSeconds);
// "1.05"; "-.--" when all parts are 0 or all are 255.
std::string gfnsVersionToStr(int iMajor, int iMinor1, int iMinor2);

// ---- Byte-counted strings ----

// The first n bytes of the Shift-JIS form of s, never splitting a two-byte character
// (the cut one is dropped); n < 0 counts as 0.
std::string gfnsLeftB(const std::string& s, int n);
// The Shift-JIS byte length of s.
std::int16_t gfniLenB(const std::string& s);

// ---- Access code on the card ----

// Writes the 8 bytes of an access code ("----" or 4-8 digits) from index start: last
// digit first, 1-9 for the digits, 10 for 0, 0 for an empty position.
void gsbCodeToBytes(const std::string& sCode, std::span<std::uint8_t> bytes, std::size_t start);
// Reads an access code back from 8 bytes at start; "----" when none is set.
std::string gfnsBytesToCode(std::span<const std::uint8_t> bytes, std::size_t start);
