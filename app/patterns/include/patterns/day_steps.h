#pragma once
// The change points of a day pattern and the edits the day-pattern editor makes to them:
// the ranges its step grid shows, setting one time range (the fewest steps that describe
// the new day, never more than 24), clearing a pattern, and the minute under a point of
// the time chart.
#include <cstdint>
#include <string>
#include <vector>

namespace patterns {

// One change point: from `minute` (hour × 60 + minute) on, `channel` plays.
struct DayStep {
    int minute = 0;
    int channel = 0;
    bool operator==(const DayStep&) const = default;
};

// The request of the Set button (typDayStepSet): the pattern, the new range and its
// channel, and the grid row it replaces (all 0 when the range is new).
struct typDayStepSet {
    std::int16_t iPatternNo = 0;
    std::int16_t iStart = 0;     // 0..1439
    std::int16_t iEnd = 0;       // 1..1440, after iStart
    std::int16_t iMessage = 0;   // 0..9, 0 = stop
    std::int16_t iOldStart = 0;
    std::int16_t iOldEnd = 0;
    std::int16_t iOldMessage = 0;
};

// One row of the step grid: from `start` to `end` (minutes), `channel` plays.
struct StepRange {
    int start = 0;
    int end = 0;
    int channel = 0;
    bool operator==(const StepRange&) const = default;
};

// The steps of a pattern in time order, from gdbWork.
std::vector<DayStep> readDaySteps(int iPatternNo);

// The pattern as contiguous ranges from 00:00 to 24:00: a step at 00:00 opens no silent
// row, and the last range runs to 24:00 unless a step stands at 24:00.
std::vector<StepRange> stepRanges(const std::vector<DayStep>& steps);

enum class RangeEdit {
    Done,           // the steps were rewritten
    MissingOldStep  // the chosen row's start step is not there: an internal fault
};

// The steps after setting the range of `rec` on `steps` (in time order): the old range
// released to stop, the new range's channel from its start, the channel in force before
// resuming at its end, then every step that repeats its predecessor (or a leading stop)
// merged away.
RangeEdit applyRange(std::vector<DayStep>& steps, const typDayStepSet& rec);

// Replaces the steps of a pattern on gdbWork in one transaction.
void writeDaySteps(int iPatternNo, const std::vector<DayStep>& steps);

// "hh:mm" of a grid cell ("12:00", " 9:30", "24:00") as minutes.
int gridTimeToMinutes(const std::string& text);

// The chart's measures, in twips, taken once when the editor loads.
struct ChartMetrics {
    double height = 0;       // ScaleHeight - 5 pixels
    double width = 0;        // ScaleWidth
    double labelHeight = 0;  // TextHeight("0")
    double labelWidth = 0;   // TextWidth("00:00")
    int twipsPerPixelY = 15;
    int twipsPerPixelX = 15;
};

// The minute of the day under a point of the chart, 0..1440: downwards on an upright
// chart, rightwards on a wide one, with half a label free at each end.
int pfniGetChartMinute(const ChartMetrics& m, double x, double y);

// The time a press at a point of the chart means, 0..1440, in ten-minute steps: the hour
// whose tick is drawn on the pointer's pixel, else the minute under the pointer floored
// to ten minutes.
int chartMarkUnderPointer(const ChartMetrics& m, double x, double y);

}  // namespace patterns
