#include <gtest/gtest.h>

#include "runtime/events.h"
#include "runtime/format.h"

using namespace runtime;

TEST(Format, TextAndNumberPatterns) {
    struct Case { double value; const char* pattern; const char* expected; };
    const Case cases[] = {
        {9, "@@:", " 9:"},        {24, "@@:", "24:"},       {5, "00", "05"},         {7, "000", "007"},
        {5, "00.", "05."},        {250, "000", "250"},      {1, "0", "1"},           {12, "0", "12"},
        {3, "@@月", " 3月"},      {20, "@@@@日", "  20日"}, {5, "@@分用", " 5分用"}, {60, "@@分用", "60分用"},
        {2005, "@@@@", "2005"},   {7, "@@", " 7"},          {12, "@@", "12"},        {123, "@@", "123"},
        {1, "aaaa", "日曜日"},    {7, "aaaa", "土曜日"},    {2.5, "0", "3"},         {1.25, "0.0", "1.3"},
        {-5, "00", "-05"},        {0, "0", "0"},            {1.5, "", "1.5"},        {3, "", "3"},
    };
    for (const auto& c : cases) EXPECT_EQ(format(c.value, c.pattern), c.expected) << c.pattern << " " << c.value;
}

TEST(Format, Texts) {
    struct Case { const char* value; const char* pattern; const char* expected; };
    const Case cases[] = {
        {"ERROR!", "!@@@@@@@@", "ERROR!  "},
        {"２", "第@", "第２"},
        {"12345", "@@-@@", "123-45"},
        {"ab", "!@@@@x", "ab  x"},
        {"abc", "&&", "abc"},
        {"2005/3/1", "yyyy年mm月dd日", "2005年03月01日"},
        {"2005/3/1", "(aaa)", "(火)"},
        {"2005/2/30", "yyyy年mm月dd日", "2005/2/30"},
        {"12", "000", "012"},
        {"abc", "00", "abc"},
        {"x", "", "x"},
    };
    for (const auto& c : cases) EXPECT_EQ(format(c.value, c.pattern), c.expected) << c.pattern << " " << c.value;
}

TEST(Format, Dates) {
    const DateTime t{2019, 9, 3, 8, 5, 1};
    struct Case { const char* pattern; const char* expected; };
    const Case cases[] = {
        {"yyyy/mm/dd hh:mm:ss ", "2019/09/03 08:05:01 "},
        {"yyyy/m/d h:m:s", "2019/9/3 8:5:1"},
        {"yyyy/m/", "2019/9/"},
        {"yyyy/mm", "2019/09"},
        {"yyyy", "2019"},
        {"yy", "19"},
        {"hh:mm:ss.", "08:05:01."},
        {"hh:nn", "08:05"},
        {"aaaa", "火曜日"},
        {"(aaa)", "(火)"},
        {"yyyy年mm月dd日", "2019年09月03日"},
        {"m\\m", "9m"},
    };
    for (const auto& c : cases) EXPECT_EQ(format(t, c.pattern), c.expected) << c.pattern;
}

TEST(DoEvents, RunsTheInstalledHook) {
    int calls = 0;
    doEvents();
    auto previous = setDoEventsHook([&] { ++calls; });
    doEvents();
    doEvents();
    setDoEventsHook(previous);
    doEvents();
    EXPECT_EQ(calls, 2);
}
