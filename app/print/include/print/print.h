#pragma once
// The entry of every print menu, and the report writers the print dialog runs.
#include <cstdint>

#include "print/state.h"

namespace com {
class Control;
}

// Opens the print dialog for a print mode and an item number, modally. Without any
// printer, message 202 instead.
void gsbShowPrinter(std::int16_t iPrintMode, std::int16_t iNo);

// ---- Report writers: True when they produced output ----

bool gfnfPrintPattern(print::i16 iFrom, print::i16 iTo);
bool gfnfPrintSetting(print::i16 iLevel);
bool gfnfPrintTest();
bool gfnfPrintYear(print::i16 iFromYear, print::i16 iToYear);
bool gfnfPrintCalendar(print::i16 iFrom, print::i16 iTo, print::i16 iStyle);
bool gfnfPrintSyuku();
bool gfnfPrintMessage(print::i16 iNo);
bool gfnfPrintCard(print::i16 iService);

// The printed 24-hour chart of a day pattern in the rectangle given (twips).
void psbPrintTimeChart(print::i16 iPatternNo, std::int32_t lX, std::int32_t lY, std::int32_t lW, std::int32_t lH);

namespace print {
// The card window's control, which the card information report reads.
void setCardControl(com::Control* control);
com::Control* cardControl();
}  // namespace print
