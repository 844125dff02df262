#include "patterns/day_steps.h"

#include <algorithm>
#include <cmath>

#include "core/globals.h"
#include "dao/database.h"
#include "runtime/numeric.h"

namespace patterns {

namespace {

constexpr int kEndOfDay = 1440;

auto findAt(std::vector<DayStep>& steps, int minute) {
    return std::find_if(steps.begin(), steps.end(), [&](const DayStep& s) { return s.minute == minute; });
}

// Keeps the steps in time order; a new step goes after any step of the same time, as
// a row added to the table reads after the rows already there.
void insertStep(std::vector<DayStep>& steps, DayStep step) {
    auto at = std::upper_bound(steps.begin(), steps.end(), step.minute,
                               [](int m, const DayStep& s) { return m < s.minute; });
    steps.insert(at, step);
}

}  // namespace

std::vector<DayStep> readDaySteps(int iPatternNo) {
    std::vector<DayStep> steps;
    auto rs = gdbWork.openRecordset(
        "SELECT * FROM tblDayStep WHERE fldPatternNo = " + std::to_string(iPatternNo) +
        " ORDER BY fldHour ASC, fldMinute ASC");
    for (; !rs.eof(); rs.moveNext())
        steps.push_back({rs["fldHour"].toInt() * 60 + rs["fldMinute"].toInt(), rs["fldMessage"].toInt()});
    return steps;
}

std::vector<StepRange> stepRanges(const std::vector<DayStep>& steps) {
    std::vector<StepRange> rows;
    int prev = 0;
    int channel = 0;
    for (const DayStep& s : steps) {
        if (s.minute != 0) rows.push_back({prev, s.minute, channel});
        prev = s.minute;
        channel = s.channel;
    }
    if (prev / 60 != 24) rows.push_back({prev, kEndOfDay, channel});
    return rows;
}

RangeEdit applyRange(std::vector<DayStep>& steps, const typDayStepSet& rec) {
    const int start = rec.iStart;
    const int end = rec.iEnd;
    // The chosen row stops from its start on; its later steps stay.
    if (rec.iOldStart != rec.iOldEnd) {
        auto old = findAt(steps, rec.iOldStart);
        if (old != steps.end()) {
            old->channel = 0;
        } else if (rec.iOldStart != 0 || rec.iOldMessage != 0) {
            return RangeEdit::MissingOldStep;
        }
    }
    // The channel in force at the start.
    int playing = 0;
    for (const DayStep& s : steps)
        if (s.minute <= start) playing = s.channel;
    if (playing != rec.iMessage) {
        if (auto at = findAt(steps, start); at != steps.end()) steps.erase(at);
        if (start != 0 || rec.iMessage != 0) insertStep(steps, {start, rec.iMessage});
    }
    // The steps inside the range go; the last of them is what resumes at the end.
    for (auto it = steps.begin(); it != steps.end();) {
        if (it->minute > start && it->minute < end) {
            playing = it->channel;
            it = steps.erase(it);
        } else {
            ++it;
        }
    }
    if (findAt(steps, end) == steps.end() && end != kEndOfDay) insertStep(steps, {end, playing});
    // Merge: no leading stop, no step repeating the one before it.
    int prev = 0;
    std::erase_if(steps, [&](const DayStep& s) {
        if (s.channel == prev) return true;
        prev = s.channel;
        return false;
    });
    return RangeEdit::Done;
}

void writeDaySteps(int iPatternNo, const std::vector<DayStep>& steps) {
    dao::Transaction tx(gdbWork);
    gdbWork.execute("DELETE FROM tblDayStep WHERE fldPatternNo = ?1", {iPatternNo});
    for (const DayStep& s : steps)
        gdbWork.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (?1, ?2, ?3, ?4)",
                        {iPatternNo, s.minute / 60, s.minute % 60, s.channel});
    tx.commit();
}

int gridTimeToMinutes(const std::string& text) {
    const std::string head = text.substr(0, std::min<std::size_t>(2, text.size()));
    const std::string tail = text.size() >= 2 ? text.substr(text.size() - 2) : text;
    return static_cast<int>(runtime::val(head)) * 60 + static_cast<int>(runtime::val(tail));
}

int pfniGetChartMinute(const ChartMetrics& m, double x, double y) {
    double value = 0;
    if (m.width < m.height) {
        const double scale = (m.height - m.labelHeight) / kEndOfDay;
        // The pointer's position is its hot spot already: a press on a mark is that mark.
        value = (y - m.labelHeight / 2) / scale;
    } else {
        const double scale = (m.width - m.labelWidth) / kEndOfDay;
        value = (x - m.labelWidth / 2) / scale;
    }
    const double minute = runtime::roundHalfEven(value);
    return static_cast<int>(std::clamp(minute, 0.0, double(kEndOfDay)));
}

int chartMarkUnderPointer(const ChartMetrics& m, double x, double y) {
    const bool upright = m.width < m.height;
    const double at = upright ? y : x;
    const double pixel = upright ? m.twipsPerPixelY : m.twipsPerPixelX;
    const double half = (upright ? m.labelHeight : m.labelWidth) / 2;
    const double scale = ((upright ? m.height : m.width) - 2 * half) / kEndOfDay;
    const double value = (at - half) / scale;
    // The chart draws an hour's tick on the pixel nearest to it: a press on that pixel is a
    // press on the hour, whichever side of the tick's exact place the pixel's middle lies.
    const auto pixelOf = [&](double twips) { return std::floor(twips / pixel + 0.5); };
    const double hour = std::clamp(std::round(value / 60), 0.0, 24.0);
    if (pixelOf(runtime::clng(hour * 60 * scale) + half) == pixelOf(at)) return static_cast<int>(hour) * 60;
    const int minute = static_cast<int>(std::clamp(runtime::roundHalfEven(value), 0.0, double(kEndOfDay)));
    return minute / 10 * 10;
}

}  // namespace patterns
