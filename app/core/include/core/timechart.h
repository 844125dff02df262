#pragma once
// The time chart of a day pattern: a 24-hour bar, each span between two steps filled in
// its channel's colour, drawn on a picture in twips; the position of a minute on such a
// chart; and the three 3D frames the windows draw round charts and panels.
#include <cstdint>
#include <vector>

#include "forms/colour.h"
#include "forms/surface.h"

// A rectangle in twips: Left, Top, Right, Bottom.
struct FrameRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;
    bool operator==(const FrameRect&) const = default;
};

// Chart colours of the channels.
inline constexpr forms::Colour kChartOff = 0xFFFFFF;         // channel 0: white
inline constexpr forms::Colour kChartAnsRec = 0xC0E0FF;      // answer and record
inline constexpr forms::Colour kChartAnsOnly = 0xC0FFFF;     // answer only
inline constexpr int kChartColours = 11;                     // entries 0..10

// Clears the picture and draws the chart of day pattern `iPatternNo` from the open
// document. The picture is hidden while it is drawn and shown again on every way out; a
// step whose channel lies outside 0..10 raises run-time error 9.
void gsbDrawPatternChart(forms::Surface& pic, std::int16_t iPatternNo);

// The chart line that marks minute `iMinute`: first point in Left/Top, second in Right/Bottom.
void gsbGetChartScale(const forms::Surface& pic, std::int16_t iMinute, FrameRect& rect);

// The colour of each channel 0..10 from tblMessage of the open document.
void gsbGetMessageColor(std::vector<forms::Colour>& colours);

// A vertical groove four pixels wide at Left, from Top to Bottom.
void gsbDrawSeparator(forms::Surface& surface, const FrameRect& rect);
// A two-pixel frame, dark on the top and left, light on the bottom and right.
void gsbDrawSunken(forms::Surface& surface, const FrameRect& rect);
// A two-pixel frame, light on the top and left, dark on the bottom and right.
void gsbDrawRaised(forms::Surface& surface, const FrameRect& rect);

namespace core {

// One change point of a day pattern: from `minute` on, channel `channel` plays.
struct ChartStep {
    int minute;
    int channel;
};

// The drawing itself, from steps in time order and the channel colours (entries 0..10).
// gsbDrawPatternChart reads both from the document and calls this.
void drawChart(forms::Surface& pic, const std::vector<ChartStep>& steps, const std::vector<forms::Colour>& colours);

}  // namespace core
