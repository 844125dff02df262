#include "core/strings.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include <array>
#include <filesystem>
#include <fstream>
#include <vector>

#include "core/globals.h"
#include "forms/msgbox.h"
#include "runtime/datetime.h"
#include "runtime/error.h"

namespace fs = std::filesystem;

TEST(DisplayStrings, PatternNamesColoursAndDayTypes) {
    struct Case { int code; const char* name; std::int32_t colour; const char* style0; const char* style1; const char* style2; };
    const Case cases[] = {
        {0, "停止", 0xFFC0C0, "停止", "停止", "停止"},
        {1, "日曜日スケジュール", 0xFFC0C0, "日曜日", "", ""},
        {7, "土曜日スケジュール", 0xFFC0C0, "土曜日", "", ""},
        {8, "祝日スケジュール", 0xC0C0FF, "祝日", "", "祝日"},
        {0xA8, "祝日スケジュール", 0xC0C0FF, "祝日", "", "祝日"},  // holiday bits do not matter
        {9, "特定日スケジュール Ａ", 0xC0FFC0, "Ａ", "A", "Ａ"},
        {20, "特定日スケジュール Ｌ", 0xC0FFC0, "Ｌ", "L", "Ｌ"},
        {0x6B, "特定日スケジュール Ｃ", 0xC0FFC0, "Ｃ", "C", "Ｃ"},
        {21, "新しい特定日スケジュール", 0xFFFFFF, "", "", ""},
        {31, "", 0xFFFFFF, "", "", ""},
        {255, "", 0xFFFFFF, "", "", ""},
        {0x20, "停止", 0xC0C0FF, "停止", "停止", "停止"},  // stopped holiday
        {0x40, "停止", 0xC0C0FF, "停止", "停止", "停止"},  // stopped substitute holiday
        {0x60, "停止", 0xC0FFC0, "停止", "停止", "停止"},  // stopped special day
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gfnsGetPatternName(c.code), c.name) << c.code;
        EXPECT_EQ(gfnlGetPatternColor(c.code), c.colour) << c.code;
        EXPECT_EQ(gfnsGetDayTypeStr(c.code, 0), c.style0) << c.code;
        EXPECT_EQ(gfnsGetDayTypeStr(c.code, 1), c.style1) << c.code;
        EXPECT_EQ(gfnsGetDayTypeStr(c.code, 2), c.style2) << c.code;
    }
}

TEST(DisplayStrings, ChannelsAnswerModeAndYesNo) {
    struct Case { int ch; const char* number; const char* name; };
    for (const Case c : {Case{0, "停止", "停止"}, {1, " 1", "応答メッセージ"}, {9, " 9", "応答メッセージ"},
                         {10, "10", "挨拶メッセージ"}, {11, "11", "終了メッセージ"}, {12, "12", "保留音"},
                         {24, "24", "ﾌｧｰﾑｳｪｱﾃﾞｰﾀ"}, {13, "13", ""}, {123, "123", ""}}) {
        EXPECT_EQ(gfnsGetChannelStr(c.ch, false), c.number) << c.ch;
        EXPECT_EQ(gfnsGetChannelStr(c.ch, true), c.name) << c.ch;
    }
    EXPECT_EQ(gfnsAnsRecStr(true), "録音");
    EXPECT_EQ(gfnsAnsRecStr(false), "専用");
    EXPECT_EQ(gfnsYesNoStr(true), "あり");
    EXPECT_EQ(gfnsYesNoStr(false), "なし");
}

TEST(DisplayStrings, SettingValues) {
    struct Case { int kind; const char* value; const char* text; };
    const Case cases[] = {
        {1, "----", "－－－－"}, {1, "123", "－－－－"}, {1, "", "－－－－"}, {1, "1234", "１２３４"},
        {1, "90817263", "９０８１７２６３"},
        {2, "3", "３回"}, {4, "10", "１０回"}, {3, "12", "１２"}, {5, "45", "４５秒"}, {6, "0", "０秒"}, {7, "5", "５分"},
        {17, "0", "しない"}, {17, "1", "する"}, {17, "1.5", ""}, {17, "2", ""}, {17, "-1", ""},
        {18, "1", "検出"}, {19, "2", "９０秒後"}, {19, "3", ""}, {20, "1", "６ｍ秒"}, {20, "2", "３５０ｍ秒"},
        {21, "0", "検出しない"}, {21, "3", "３００ｍ秒"}, {21, "4", ""}, {22, "0", "４００Ｈｚ"}, {22, "1", "５００Ｈｚ"},
        {23, "0", "無効"}, {23, "1", "有効"}, {23, " 1 ", "有効"},
        {8, "1", ""}, {0, "1", ""}, {24, "0", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(gfnsSettingToStr(c.kind, c.value), c.text) << c.kind << " " << c.value;
}

TEST(DisplayStrings, HolidayRules) {
    struct Case { int month, day; const char* text; };
    const Case cases[] = {
        {1, 1, "　１月 　　　１日"},
        {3, 20, "　３月 　　２０日"},
        {11, 23, "１１月 　　２３日"},
        {3, 35, "　３月２０,２１日"},
        {9, 35, "　９月２２,２３日"},
        {5, 35, ""},
        {0, 36, "　－月　　 　－日"},
        {1, 52, "　１月 第２月曜日"},
        {10, 42, "１０月 第１月曜日"},
        {7, 87, "　７月 第５土曜日"},
        {1, 40, ""}, {1, 48, ""}, {1, 32, ""}, {1, 0, ""}, {1, 88, ""}, {1, 99, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(gfnsGetSyukujituStr(c.month, c.day), c.text) << c.month << "/" << c.day;
}

TEST(DisplayStrings, SpecialDayRules) {
    struct Case { int kind; const char* date; const char* text; };
    const Case cases[] = {
        {0, "2005/3/1", "２００５年０３月０１日"},
        {1, "2005/3/12", "毎月第２土曜日"},
        {1, "2005/3/29", "毎月第５火曜日"},
        {2, "2005/3/1", "毎月１日"},
        {3, "2005/12/31", "毎年１２月３１日"},
        {4, "2005/3/1", ""},
        {0, "", ""}, {0, "2005/2/30", ""}, {2, "abc", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(gfnsGetYearDayStr(c.kind, c.date), c.text) << c.kind << " " << c.date;
}

TEST(DisplayStrings, UnknownCodesAreReportedOnlyInLogMode) {
    const VbBool savedMode = gintLogMode;
    const std::string savedPath = gstrDataPath;
    gstrDataPath = (fs::temp_directory_path() / "kv_strings_log_").string();  // log file prefix of this test
    {
        forms::ScriptedDialogs quiet;  // outside log mode: no box at all
        gintLogMode = vbFalse;
        EXPECT_EQ(gfnsSettingToStr(99, "1"), "");
        EXPECT_EQ(gfnsGetSyukujituStr(4, 35), "");
    }
    {
        forms::ScriptedDialogs dialogs;
        dialogs.expect("エラー！\r\n初期設定値表示変換時エラー（gfnsSettingToStr）")
            .expect("エラー！\r\n祝日登録の表示用文字変換時エラー（gfnsGetSyukujituStr）");
        gintLogMode = vbTrue;
        EXPECT_EQ(gfnsSettingToStr(99, "1"), "");
        EXPECT_EQ(gfnsGetSyukujituStr(4, 35), "");
        EXPECT_EQ(dialogs.pending(), 0u);
    }
    fs::remove(gstrDataPath + "Soft.log");
    gintLogMode = savedMode;
    gstrDataPath = savedPath;
}

TEST(DisplayStrings, TimesOfDayAtTheirBoundaries) {
    struct Case { int h, m; const char* text; };
    for (const Case c : {Case{0, 0, " 0:00"}, {9, 5, " 9:05"}, {8, 5, " 8:05"}, {12, 30, "12:30"}, {23, 59, "23:59"},
                         {24, 0, "24:00"}})
        EXPECT_EQ(gfnsTimeToStr(c.h, c.m), c.text);
}

TEST(DisplayStrings, Durations) {
    struct Case { std::int32_t ms; const char* fraction; const char* whole; };
    const Case cases[] = {
        {-1, "－", "－"},
        {0, " 0:00.000", " 0:00"},
        {499, " 0:00.499", " 0:00"},
        {500, " 0:00.500", " 0:01"},
        {59500, " 0:59.500", " 1:00"},
        {65250, " 1:05.250", " 1:05"},
        {599999, " 9:59.999", "10:00"},
        {3599499, "59:59.499", "59:59"},
        {3599500, "59:59.500", "01:00:00"},  // the carried minute completes the hour
        {3600000, "01:00:00.000", "01:00:00"},
        {3723456, "01:02:03.456", "01:02:03"},
        {7199500, "01:59:59.500", "02:00:00"},
        {90000000, "25:00:00.000", "25:00:00"},  // a length, not a time of day
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gfnsMsecToStr(c.ms, true), c.fraction) << c.ms;
        EXPECT_EQ(gfnsMsecToStr(c.ms, false), c.whole) << c.ms;
    }
}

TEST(DisplayStrings, DatesAtTheirBoundaries) {
    struct Case { int y, m, d; const char* text; };
    const char* dashes = "－－－－年－－月－－日";
    const Case cases[] = {
        {0, 0, 0, dashes},
        {2002, 5, 0, dashes},
        {2002, 0, 5, dashes},
        {1999, 0, 0, dashes},
        {2002, 12, 31, "２００２年１２月３１日"},
        {2003, 5, 0, "２００３年０４月３０日"},  // rolls back into April
        {2003, 0, 1, "２００２年１２月０１日"},
        {2004, 2, 29, "２００４年０２月２９日"},
        {2005, 2, 29, "２００５年０３月０１日"},
        {19, 9, 13, "２０１９年０９月１３日"},  // card years are two digits
        {29, 1, 1, "２０２９年０１月０１日"},
        {99, 12, 31, "１９９９年１２月３１日"},
    };
    for (const Case& c : cases) EXPECT_EQ(gfnsDateToStr(c.y, c.m, c.d), c.text) << c.y << "-" << c.m << "-" << c.d;
}

TEST(DisplayStrings, DateWithWeekday) {
    EXPECT_EQ(gfnsDateWeekStr("2005/3/1"), "２００５年 　３月 　１日（火）");
    EXPECT_EQ(gfnsDateWeekStr("2019/12/25"), "２０１９年 １２月 ２５日（水）");
    EXPECT_EQ(gfnsDateWeekStr(""), "");
    try {
        gfnsDateWeekStr("not a date");
        FAIL() << "a text that is not a date must raise";
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.number(), 13);
    }
}

TEST(DisplayStrings, FileDatesOfTheCardWriteList) {
    runtime::FixedClock clock({2019, 9, 13, 8, 5, 1});
    const fs::path file = fs::temp_directory_path() / ("kv_filedate_" + std::to_string(::getpid()) + ".wav");
    std::ofstream(file) << "x";
    // 2010-06-15 12:00 local time
    std::tm tm{};
    tm.tm_year = 110, tm.tm_mon = 5, tm.tm_mday = 15, tm.tm_hour = 12, tm.tm_isdst = -1;
    const timespec when[2] = {{std::mktime(&tm), 0}, {std::mktime(&tm), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), when, 0), 0);

    EXPECT_EQ(gfnvGetFileDate(3, file.string()), "２０１０年０６月１５日");
    EXPECT_EQ(gfnvGetFileDate(4, ""), "２０１９年０９月１３日");
    EXPECT_EQ(gfnvGetFileDate(5, file.string()), "２０１９年０９月１３日");
    for (int kind : {0, 1, 2, 6}) EXPECT_EQ(gfnvGetFileDate(kind, file.string()), "－－－－年－－月－－日");
    fs::remove(file);
    EXPECT_THROW(gfnvGetFileDate(3, file.string()), runtime::Error);
}

TEST(DisplayStrings, CardSizesAndVersions) {
    struct Size { std::int32_t seconds; const char* text; };
    for (const Size s : {Size{3600, "６０分用"}, {300, "　５分用"}, {359, "　５分用"}, {0, "　０分用"}, {7200, "１２０分用"}})
        EXPECT_EQ(gfnsMinuteStr(s.seconds), s.text) << s.seconds;
    struct Version { int a, b, c; const char* text; };
    for (const Version v : {Version{0, 0, 0, "-.--"}, {255, 255, 255, "-.--"}, {255, 0, 0, "255.00"}, {1, 0, 5, "1.05"},
                            {2, 1, 0, "2.10"}, {0, 0, 1, "0.01"}})
        EXPECT_EQ(gfnsVersionToStr(v.a, v.b, v.c), v.text);
}

TEST(ByteStrings, TwentyByteCutOfCardNames) {
    struct Case { const char* text; int n; const char* cut; int length; };
    const Case cases[] = {
        {"あいう", 3, "あ", 6},                          // the half character is dropped
        {"あいう", 4, "あい", 6},
        {"あいう", -1, "", 6},
        {"あいう", 0, "", 6},
        {"abc", 10, "abc", 3},
        {"", 20, "", 0},
        {"特定日スケジュールAのコピー", 20, "特定日スケジュールA", 27},
        {"特定日ｽｹｼﾞｭｰﾙAのｺﾋﾟｰ", 20, "特定日ｽｹｼﾞｭｰﾙAのｺﾋﾟｰ", 20},  // half-width kana count one byte
        {"応答メッセージ１２３４５６", 20, "応答メッセージ１２３", 26},
        {"ABCDEFGHIJKLMNOPQRSあ", 20, "ABCDEFGHIJKLMNOPQRS", 21},
        {"－～", 4, "－～", 4},  // full-width minus and wave dash are single characters of the code page
    };
    for (const Case& c : cases) {
        EXPECT_EQ(gfnsLeftB(c.text, c.n), c.cut) << c.text << " " << c.n;
        EXPECT_EQ(gfniLenB(c.text), c.length) << c.text;
        EXPECT_LE(gfniLenB(gfnsLeftB(c.text, c.n)), std::max(c.n, 0));
    }
}

TEST(ByteStrings, LengthBeyondSixteenBitsIsAnOverflow) {
    EXPECT_EQ(gfniLenB(std::string(16383, 'a') + "あ"), 16385);
    try {
        gfniLenB(std::string(32768, 'a'));
        FAIL() << "a length past 16 bits must raise";
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.number(), 6);
    }
}

TEST(AccessCode, CardBytesBothWays) {
    using Bytes = std::array<std::uint8_t, 8>;
    struct Case { const char* code; Bytes bytes; };
    const Case cases[] = {
        {"1234", {4, 3, 2, 1, 0, 0, 0, 0}},
        {"9081", {1, 8, 10, 9, 0, 0, 0, 0}},
        {"----", {0, 0, 0, 0, 0, 0, 0, 0}},
        {"12345678", {8, 7, 6, 5, 4, 3, 2, 1}},
        {"00000000", {10, 10, 10, 10, 10, 10, 10, 10}},
        {"10203", {3, 10, 2, 10, 1, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> card(12, 0xEE);
        gsbCodeToBytes(c.code, card, 2);
        EXPECT_EQ(card[0], 0xEE);
        EXPECT_EQ(card[1], 0xEE);
        EXPECT_TRUE(std::equal(c.bytes.begin(), c.bytes.end(), card.begin() + 2)) << c.code;
        EXPECT_EQ(card[10], 0xEE) << "nothing written past the 8 bytes";
        EXPECT_EQ(gfnsBytesToCode(card, 2), c.code);
    }
}

TEST(AccessCode, OutOfRangeStartIsAnError) {
    std::vector<std::uint8_t> card(8);
    EXPECT_THROW(gsbCodeToBytes("1234", card, 1), runtime::Error);
    EXPECT_THROW(gfnsBytesToCode(card, 9), runtime::Error);
    EXPECT_EQ(gfnsBytesToCode(card, 0), "----");
}
