#pragma once
// Colours of the calendar windows (0x00BBGGRR).
#include "forms/colour.h"

inline constexpr forms::Colour kDayBack = 0xFFFFFF;        // a cell before colouring
inline constexpr forms::Colour kSundayText = 0x0000FF;     // red: Sundays and public holidays
inline constexpr forms::Colour kSaturdayText = 0xFF0000;   // blue
inline constexpr forms::Colour kWeekdayColour = 0xFFC0C0;  // weekday patterns
inline constexpr forms::Colour kHolidayColour = 0xC0C0FF;  // the holiday pattern and holidays
inline constexpr forms::Colour kSpecialColour = 0xC0FFC0;  // special-day patterns and special days
inline constexpr forms::Colour kListBack = 0xE2E2E2;       // display-only list cells
