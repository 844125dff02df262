#include <gtest/gtest.h>

#include "text/text.h"

using namespace text;

TEST(Cp932, HoldsTheWindowsOnlyCharacters) {
    // U+FF5E and U+FF0D exist in CP932 but not in glibc's SHIFT_JIS.
    EXPECT_EQ(toCp932("～"), "\x81\x60");
    EXPECT_EQ(toCp932("－"), "\x81\x7C");
    EXPECT_EQ(fromCp932("\x81\x60\x81\x7C"), "～－");
    const std::string mixed = "KV-M58Sﾃﾞｰﾀ入力ｿﾌﾄ ①～③";
    EXPECT_EQ(fromCp932(toCp932(mixed)), mixed);
    EXPECT_EQ(toCp932("ｱ"), "\xB1");
}

TEST(Cp932, UnrepresentableAndBrokenInputBecomeQuestionMarks) {
    EXPECT_EQ(toCp932("a😀b"), "a?b");
    EXPECT_EQ(toCp932("a\xFF" "b"), "a?b");
    EXPECT_EQ(fromCp932("a\x81"), "a?");
    EXPECT_EQ(fromCp932("\xA0x"), "?x");
}

TEST(ByteCounts, LengthAndTheTwentyByteCut) {
    struct Case { const char* text; int bytes; const char* cut20; };
    const Case cases[] = {
        {"", 0, ""},
        {"abc", 3, "abc"},
        {"日曜日スケジュール", 18, "日曜日スケジュール"},
        {"特定日スケジュールＡのコピー", 28, "特定日スケジュールＡ"},
        {"a特定日スケジュールＡのコピー", 29, "a特定日スケジュール"},  // 19 bytes: no half character
        {"ﾃﾞｰﾀ入力ｿﾌﾄ", 11, "ﾃﾞｰﾀ入力ｿﾌﾄ"},
        {"12345678901234567890X", 21, "12345678901234567890"},
        {"1234567890123456789あ", 21, "1234567890123456789"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lenB(c.text), c.bytes) << c.text;
        EXPECT_EQ(leftB(c.text, 20), c.cut20) << c.text;
        EXPECT_LE(lenB(leftB(c.text, 20)), 20);
    }
    EXPECT_EQ(leftB("あいう", 3), "あ");
    EXPECT_EQ(leftB("あいう", 0), "");
    EXPECT_EQ(leftB("あいう", -1), "");
}

TEST(Width, WideAndNarrowForms) {
    struct Case { const char* narrow; const char* wide; };
    const Case cases[] = {
        {"2005", "２００５"},
        {"A-z ~", "Ａ－ｚ　～"},
        {"ｼﾞ", "ジ"},
        {"ﾊﾟﾋﾞｳﾞ", "パビヴ"},
        {"ﾃﾞｰﾀ入力ｿﾌﾄ", "データ入力ソフト"},
        {"｢ｱ｣､｡･", "「ア」、。・"},
        {"ひらがな漢字", "ひらがな漢字"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toWide(c.narrow), c.wide) << c.narrow;
        EXPECT_EQ(toNarrow(c.wide), c.narrow) << c.wide;
    }
    // A mark that cannot combine stays a mark of its own.
    EXPECT_EQ(toWide("ｱﾞ"), "ア゛");
    EXPECT_EQ(toNarrow("ア゛"), "ｱﾞ");
    // Katakana without a half-width form are kept.
    EXPECT_EQ(toNarrow("ヵヶ"), "ヵヶ");
}
