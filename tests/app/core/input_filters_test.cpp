#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QWidget>

#include "core/input_filters.h"
#include "core/uc_numeric.h"

TEST(KeyNumeric, DigitsAndBackspacePassFullWidthDigitsBecomeAsciiOthersAreSwallowed) {
    struct Case {
        int key, expected;
    } cases[] = {
        {'0', '0'},    {'9', '9'},       {8, 8},          {65, 0},         {13, 0},  {' ', 0},
        {0x8254, '5'}, {-32172, '5'},    {0x824F, '0'},   {0x8258, '9'},   {0x8259, 0},
        {0xFF15, '5'}, {0xFF10 - 0x10000, '0'}, {0xFF19, '9'}, {0xFF1A, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(gfniKeyNumeric(c.key), c.expected) << c.key;
}

TEST(LimitNum, ClampsRoundsHalfToEvenAndFallsBackToMin) {
    struct Case {
        const char* text;
        int min, max;
        const char* expected;
    } cases[] = {
        {"", 0, 23, "0"},       {"12abc", 1, 9, "1"},  {"7.6", 0, 10, "8"},     {"7.5", 0, 10, "8"},
        {"8.5", 0, 10, "8"},    {"99999", 0, 10, "0"}, {"5", 10, 3, "10"},     {"30", 0, 23, "23"},
        {"-4", 0, 23, "0"},     {"15", 0, 23, "15"},   {" 15 ", 0, 23, "15"},   {"05", 0, 23, "5"},
        {"1e1", 0, 23, "10"},   {"abc", 1, 9, "1"},    {"-32769", -5, 5, "-5"}, {"1,5", 0, 100, "15"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gfnsLimitNum(c.text, static_cast<std::int16_t>(c.min), static_cast<std::int16_t>(c.max)),
                  c.expected)
            << '"' << c.text << '"';
}

TEST(Focus, OnlyAVisibleEnabledControlTakesTheFocus) {
    QWidget window;
    auto* a = new QLineEdit(&window);
    auto* b = new QLineEdit(&window);
    gsbSetFocus(a);  // the window is not shown yet: nothing, no error
    EXPECT_FALSE(a->hasFocus());
    gsbSetFocus(nullptr);
    window.show();
    window.activateWindow();
    QApplication::setActiveWindow(&window);
    gsbSetFocus(b);
    EXPECT_TRUE(b->hasFocus());
    a->setEnabled(false);
    gsbSetFocus(a);
    EXPECT_TRUE(b->hasFocus());
}

TEST(Focus, SelectAllAndTheNumericWidget) {
    QWidget window;
    auto* txt = new QLineEdit("12345", &window);
    gsbSelectAll(txt);
    EXPECT_EQ(txt->selectedText(), "12345");
    auto* unm = new UcNumeric(&window);
    window.show();
    QApplication::setActiveWindow(&window);
    unm->SetEnabled(false);
    gsbSetFocusNum(unm);
    EXPECT_FALSE(unm->textBox()->hasFocus());
    unm->SetEnabled(true);
    gsbSetFocusNum(unm);
    EXPECT_TRUE(unm->textBox()->hasFocus());
    gsbSetFocusNum(nullptr);
}
