// The step arithmetic of the day-pattern editor: ranges for the grid, setting a range,
// and the minute under a point of the chart.
#include <gtest/gtest.h>

#include <cmath>

#include <vector>

#include "patterns/day_steps.h"

using patterns::DayStep;
using patterns::RangeEdit;
using patterns::StepRange;

namespace {

constexpr int hm(int h, int m) { return h * 60 + m; }

using Steps = std::vector<DayStep>;

const Steps kDay = {{hm(9, 0), 1}, {hm(17, 0), 0}};
const Steps kLunch = {{hm(9, 0), 1}, {hm(12, 0), 2}, {hm(13, 0), 1}, {hm(17, 0), 0}};

struct RangeCase {
    const char* what;
    Steps before;
    int start, end, channel;
    int oldStart, oldEnd, oldChannel;
    Steps after;
};

class SetRange : public ::testing::TestWithParam<RangeCase> {};

TEST_P(SetRange, LeavesTheFewestSteps) {
    const RangeCase& c = GetParam();
    Steps s = c.before;
    patterns::typDayStepSet rec{1,
                                static_cast<std::int16_t>(c.start),
                                static_cast<std::int16_t>(c.end),
                                static_cast<std::int16_t>(c.channel),
                                static_cast<std::int16_t>(c.oldStart),
                                static_cast<std::int16_t>(c.oldEnd),
                                static_cast<std::int16_t>(c.oldChannel)};
    EXPECT_EQ(patterns::applyRange(s, rec), RangeEdit::Done);
    EXPECT_EQ(s, c.after);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetRange,
    ::testing::Values(
        RangeCase{"empty day, 9-17 to 1", {}, hm(9, 0), hm(17, 0), 1, 0, 0, 0, kDay},
        RangeCase{"lunch inside the day", kDay, hm(12, 0), hm(13, 0), 2, 0, 0, 0, kLunch},
        RangeCase{"whole day to stop", kLunch, 0, 1440, 0, 0, 0, 0, {}},
        RangeCase{"stop from midnight writes no step", {}, 0, hm(1, 0), 0, 0, 0, 0, {}},
        RangeCase{"to the end of the day: no closing step", {}, hm(22, 0), 1440, 3, 0, 0, 0, {{hm(22, 0), 3}}},
        RangeCase{"a step at the end stays", kDay, hm(8, 0), hm(17, 0), 2, 0, 0, 0, {{hm(8, 0), 2}, {hm(17, 0), 0}}},
        RangeCase{"channel already playing", kLunch, hm(10, 0), hm(13, 20), 1, 0, 0, 0, kDay},
        RangeCase{"chosen row released to stop",
                  kLunch, hm(15, 0), hm(16, 0), 2, hm(12, 0), hm(13, 0), 2,
                  {{hm(9, 0), 1}, {hm(12, 0), 0}, {hm(13, 0), 1}, {hm(15, 0), 2}, {hm(16, 0), 1}, {hm(17, 0), 0}}},
        RangeCase{"first row has no stored step", kDay, hm(7, 0), hm(8, 0), 4, 0, hm(9, 0), 0,
                  {{hm(7, 0), 4}, {hm(8, 0), 0}, {hm(9, 0), 1}, {hm(17, 0), 0}}},
        RangeCase{"a step at 24:00 from elsewhere is merged like any",
                  {{hm(9, 0), 1}, {1440, 1}}, hm(10, 0), hm(11, 0), 2, 0, 0, 0,
                  {{hm(9, 0), 1}, {hm(10, 0), 2}, {hm(11, 0), 1}}}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(SetRangeFault, AChosenRowWithoutItsStepIsReported) {
    Steps s = kDay;
    patterns::typDayStepSet rec{1, hm(10, 0), hm(11, 0), 2, hm(10, 30), hm(11, 0), 1};
    EXPECT_EQ(patterns::applyRange(s, rec), RangeEdit::MissingOldStep);
}

TEST(StepRanges, ShowTheDayAsContiguousRows) {
    EXPECT_EQ(patterns::stepRanges({}), (std::vector<StepRange>{{0, 1440, 0}}));
    EXPECT_EQ(patterns::stepRanges({{0, 3}, {hm(8, 0), 0}}), (std::vector<StepRange>{{0, hm(8, 0), 3}, {hm(8, 0), 1440, 0}}));
    EXPECT_EQ(patterns::stepRanges({{hm(23, 50), 2}}), (std::vector<StepRange>{{0, hm(23, 50), 0}, {hm(23, 50), 1440, 2}}));
    EXPECT_EQ(patterns::stepRanges({{hm(9, 0), 1}, {1440, 0}}), (std::vector<StepRange>{{0, hm(9, 0), 0}, {hm(9, 0), 1440, 1}}));
}

TEST(GridTimes, ReadBackAsMinutes) {
    EXPECT_EQ(patterns::gridTimeToMinutes(" 9:05"), hm(9, 5));
    EXPECT_EQ(patterns::gridTimeToMinutes("24:00"), 1440);
    EXPECT_EQ(patterns::gridTimeToMinutes(" 0:00"), 0);
}

TEST(ChartMinute, CoversTheWholeDayWithHalfALabelFreeAtEachEnd) {
    patterns::ChartMetrics upright{6825, 2250, 240, 600, 15};
    const double scale = (6825.0 - 240) / 1440;
    const auto yOf = [&](double minute) { return minute * scale + 120; };
    EXPECT_EQ(patterns::pfniGetChartMinute(upright, 0, 0), 0);
    EXPECT_EQ(patterns::pfniGetChartMinute(upright, 0, yOf(0)), 0);
    EXPECT_EQ(patterns::pfniGetChartMinute(upright, 0, yOf(547)), 547);
    EXPECT_EQ(patterns::pfniGetChartMinute(upright, 0, 99999), 1440);
    patterns::ChartMetrics wide{900, 8000, 240, 600, 15};
    EXPECT_EQ(patterns::pfniGetChartMinute(wide, (8000.0 - 600) / 1440 * 720 + 300, 0), 720);
}

TEST(ChartMinute, APressOnAnHourTickIsThatHourElseTheMinuteFlooredToTen) {
    patterns::ChartMetrics upright{6825, 2250, 240, 600, 15, 15};
    const double scale = (6825.0 - 240) / 1440;
    // The pixel (in twips) on which the chart draws the tick of an hour, and the pixel of a minute.
    const auto tick = [&](int hour) { return std::floor((std::lround(hour * 60 * scale) + 120) / 15.0 + 0.5) * 15; };
    const auto pixel = [&](int minute) { return std::floor((minute * scale + 120) / 15.0 + 0.5) * 15; };
    struct Case {
        double y;
        int time;
    };
    for (const Case& c : {Case{0, 0}, Case{tick(9), 540}, Case{tick(9) - 15, 530}, Case{pixel(547), 540},
                          Case{pixel(565), 560}, Case{tick(20), 1200}, Case{tick(24), 1440}, Case{99990, 1440}}) {
        SCOPED_TRACE(c.y);
        EXPECT_EQ(patterns::chartMarkUnderPointer(upright, 0, c.y), c.time);
    }
    patterns::ChartMetrics wide{900, 8000, 240, 600, 15, 15};
    EXPECT_EQ(patterns::chartMarkUnderPointer(wide, (8000.0 - 600) / 1440 * 725 + 300, 0), 720);
}

}  // namespace
