#include <gtest/gtest.h>

#include <limits>

#include "runtime/error.h"
#include "runtime/numeric.h"

using namespace runtime;

namespace {
long errorOf(auto&& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}
}  // namespace

TEST(Val, ReadsTheLeadingNumber) {
    struct Case { const char* text; double expected; };
    const Case cases[] = {
        {"", 0},        {"abc", 0},      {"12ab", 12},   {" 1 2", 12},    {"-3.5x", -3.5},
        {".5", 0.5},    {"1e3", 1000},   {"1e", 1},      {"2D2", 200},    {"&H1A", 26},
        {"&HFFFF", -1}, {"&O17", 15},    {"1,000", 1},   {"+7", 7},       {"\t42\n", 42},
        {"19", 19},     {"1A", 1},       {"A5", 0},      {"0012", 12},    {"3.", 3},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(val(c.text), c.expected) << c.text;
}

TEST(IsNumeric, AcceptsOnlyWholeNumbers) {
    struct Case { const char* text; bool expected; };
    const Case cases[] = {
        {"12", true},   {" 12 ", true}, {"-1.5", true},  {"1,000", true}, {"1e5", true},
        {"&HFF", true}, {"", false},    {" ", false},    {"12a", false},  {"a12", false},
        {"1.2.3", false}, {"&H", false}, {"-", false},   {".", false},    {"１２", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isNumeric(c.text), c.expected) << c.text;
    EXPECT_EQ(errorOf([] { cdbl("x"); }), err::TypeMismatch);
    EXPECT_DOUBLE_EQ(cdbl(" 1,234.5 "), 1234.5);
}

TEST(Rounding, TiesGoToEven) {
    struct Case { double value; int digits; double expected; };
    const Case cases[] = {
        {0.5, 0, 0}, {1.5, 0, 2}, {2.5, 0, 2}, {3.5, 0, 4}, {-2.5, 0, -2}, {-3.5, 0, -4},
        {2.4, 0, 2}, {2.6, 0, 3}, {1.25, 1, 1.2}, {1.35, 1, 1.4},
    };
    for (const auto& c : cases) EXPECT_DOUBLE_EQ(roundHalfEven(c.value, c.digits), c.expected) << c.value;
    EXPECT_EQ(cint(2.5), 2);
    EXPECT_EQ(cint(-0.5), 0);
    EXPECT_EQ(clng(123456.5), 123456);
    EXPECT_EQ(cint(32767.4), 32767);
    EXPECT_EQ(errorOf([] { cint(32767.5); }), err::Overflow);
    EXPECT_EQ(errorOf([] { clng(3e9); }), err::Overflow);
}

TEST(IntegerDivision, TruncatesTowardZero) {
    EXPECT_EQ(intDiv(7, 2), 3);
    EXPECT_EQ(intDiv(-7, 2), -3);
    EXPECT_EQ(intDiv(7, -2), -3);
    EXPECT_EQ(mod(-7, 2), -1);
    EXPECT_EQ(mod(7, -2), 1);
    EXPECT_EQ(mod(87, 10), 7);
    EXPECT_EQ(intDiv(87, 10) - 3, 5);
    EXPECT_EQ(errorOf([] { intDiv(1, 0); }), err::DivisionByZero);
    EXPECT_EQ(errorOf([] { mod(1, 0); }), err::DivisionByZero);
}

TEST(IntegerDivision, QuotientBeyondTheRangeOverflows) {
    constexpr long long min = std::numeric_limits<long long>::min();
    EXPECT_EQ(errorOf([] { intDiv(min, -1); }), err::Overflow);
    EXPECT_EQ(intDiv(min + 1, -1), std::numeric_limits<long long>::max());
    EXPECT_EQ(mod(min, -1), 0);
}
