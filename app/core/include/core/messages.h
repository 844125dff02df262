#pragma once
// The numbered user messages: every question, error and note the program shows comes
// from this one table.
#include <cstdint>

// Shows message n with its buttons and icon, lets pending events run once, and returns
// the button pressed (vbOK 1, vbYes 6, vbNo 7). A number outside the table is a fatal
// internal error.
std::int16_t gfniMsgBox(int n);
