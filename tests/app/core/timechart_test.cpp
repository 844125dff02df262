#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPalette>
#include <algorithm>
#include <vector>

#include "core/timechart.h"
#include "forms/surface.h"
#include "runtime/error.h"

using core::ChartStep;

using forms::DrawOp;
using forms::RecordingSurface;

namespace {

// Surfaces with tx = ty = 15, a character 90 twips wide and 180 high: th = 180, tw = 450.
// Upright: W 1500, H = 1695 - 75 = 1620, so one twip a minute: y(t) = t + 90.
RecordingSurface upright() { return RecordingSurface(1500, 1695); }
// Lying: W 1890 = 1440 + tw, H = 900 - 75 = 825, so x(t) = t + 225.
RecordingSurface lying() { return RecordingSurface(1890, 900); }

std::vector<DrawOp> ofKind(const RecordingSurface& s, DrawOp::Kind kind) {
    std::vector<DrawOp> out;
    std::copy_if(s.ops().begin(), s.ops().end(), std::back_inserter(out), [&](const DrawOp& op) { return op.kind == kind; });
    return out;
}

// The ops before the frame: fills, boundaries and labels of the spans.
std::vector<DrawOp> spanOps(const RecordingSurface& s) {
    std::vector<DrawOp> out;
    for (const auto& op : s.ops()) {
        if (op.kind == DrawOp::Box) break;  // the frame starts with its outline
        if (op.kind != DrawOp::Clear) out.push_back(op);
    }
    return out;
}

void expectOp(const DrawOp& op, DrawOp::Kind kind, double x1, double y1, double x2, double y2) {
    EXPECT_EQ(op.kind, kind);
    EXPECT_EQ(op.x1, x1);
    EXPECT_EQ(op.y1, y1);
    EXPECT_EQ(op.x2, x2);
    EXPECT_EQ(op.y2, y2);
}

// Channel colours: channel 2 answers and records, the others answer only.
std::vector<forms::Colour> colours() {
    std::vector<forms::Colour> c(kChartColours, kChartAnsOnly);
    c[0] = kChartOff;
    c[2] = kChartAnsRec;
    c[10] = 0;
    return c;
}

const std::vector<ChartStep> kSample = {{540, 1}, {720, 2}, {780, 1}, {1050, 0}};

}  // namespace

TEST(TimeChart, UprightChartOfASamplePattern) {
    auto pic = upright();
    core::drawChart(pic, kSample, colours());
    const auto ops = spanOps(pic);
    // Bar from xa = 30 to xb = 1500 - 550 - 30 = 920; labels at cx = 950/2 - 90 = 385.
    ASSERT_EQ(ops.size(), 13u);
    expectOp(ops[0], DrawOp::Fill, 30, 90, 920, 630);  // 0:00-9:00, off
    EXPECT_EQ(ops[0].colour, kChartOff);
    expectOp(ops[1], DrawOp::Line, 30, 90, 935, 90);
    expectOp(ops[2], DrawOp::Fill, 30, 630, 920, 810);  // 9:00-12:00, channel 1
    EXPECT_EQ(ops[2].colour, kChartAnsOnly);
    expectOp(ops[3], DrawOp::Line, 30, 630, 935, 630);
    EXPECT_EQ(ops[3].colour, forms::vbBlack);
    expectOp(ops[4], DrawOp::Text, 385, 630, 565, 810);
    EXPECT_EQ(ops[4].text, " 1");
    expectOp(ops[5], DrawOp::Fill, 30, 810, 920, 870);  // 12:00-13:00, channel 2 records
    EXPECT_EQ(ops[5].colour, kChartAnsRec);
    EXPECT_EQ(ops[7].text, " 2");
    EXPECT_EQ(ops[7].y1, 840 - 90);
    expectOp(ops[8], DrawOp::Fill, 30, 870, 920, 1140);  // 13:00-17:30, channel 1
    EXPECT_EQ(ops[10].text, " 1");
    expectOp(ops[11], DrawOp::Fill, 30, 1140, 920, 1530);  // 17:30-24:00, off, no label
    EXPECT_EQ(ops[11].colour, kChartOff);
    expectOp(ops[12], DrawOp::Line, 30, 1140, 935, 1140);
    // The frame: Left 0, Top th/2, Right W - L, Bottom H - th/2.
    const auto boxes = ofKind(pic, DrawOp::Box);
    ASSERT_EQ(boxes.size(), 2u);
    expectOp(boxes[0], DrawOp::Box, 0, 90, 950, 1530);
    expectOp(boxes[1], DrawOp::Box, 15, 105, 935, 1515);
    // Hour ticks 100 twips long ending at x0 = 950 + 15 + 100. Two hours are 120 twips here,
    // less than a label's 180: the labels run every four hours.
    const auto lines = ofKind(pic, DrawOp::Line);
    const std::vector<DrawOp> ticks(lines.end() - 25, lines.end());
    for (int i = 0; i <= 24; ++i) expectOp(ticks[i], DrawOp::Line, 965, 90 + 60 * i, 1065, 90 + 60 * i);
    const auto texts = ofKind(pic, DrawOp::Text);
    const std::vector<DrawOp> hours(texts.end() - 7, texts.end());
    for (int k = 0; k <= 6; ++k) {
        EXPECT_EQ(hours[k].x1, 1065);
        EXPECT_EQ(hours[k].y1, 240 * k);
    }
    EXPECT_EQ(hours[0].text, "00:00");
    EXPECT_EQ(hours[3].text, "12:00");
    EXPECT_EQ(hours[6].text, "24:00");
}

TEST(TimeChart, HourLabelsSkipWhereTheyWouldRunIntoEachOther) {
    // A lying chart: a label is 450 wide and wants 100 to spare.
    struct Case {
        int width;
        std::vector<std::string> labels;
    };
    const std::vector<Case> cases = {
        {14000, {"00:00", "02:00", "04:00", "06:00", "08:00", "10:00", "12:00", "14:00", "16:00", "18:00", "20:00", "22:00", "24:00"}},
        {7000, {"00:00", "04:00", "08:00", "12:00", "16:00", "20:00", "24:00"}},
        {1890, {"00:00", "12:00", "24:00"}},
        {1000, {"00:00", "24:00"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width);
        RecordingSurface pic(c.width, 900);
        core::drawChart(pic, {}, colours());
        std::vector<std::string> labels;
        for (const DrawOp& op : ofKind(pic, DrawOp::Text)) labels.push_back(op.text);
        EXPECT_EQ(labels, c.labels);
    }
}

TEST(TimeChart, LyingChartOfASamplePattern) {
    auto pic = lying();
    core::drawChart(pic, kSample, colours());
    const auto ops = spanOps(pic);
    // Bar from ya = th + 200 + 2tx = 410 to yb = H - 3tx = 780; labels at
    // cy = (825 - 280)/2 + 280 - 90 = 462.5.
    ASSERT_EQ(ops.size(), 13u);
    expectOp(ops[0], DrawOp::Fill, 225, 410, 765, 780);
    expectOp(ops[1], DrawOp::Line, 225, 410, 225, 780);
    expectOp(ops[2], DrawOp::Fill, 765, 410, 945, 780);
    expectOp(ops[3], DrawOp::Line, 765, 410, 765, 780);
    EXPECT_EQ(ops[4].text, " 1");
    EXPECT_EQ(ops[4].x1, (765 + 945) / 2 - 90);
    EXPECT_EQ(ops[4].y1, 462.5);
    const auto boxes = ofKind(pic, DrawOp::Box);
    ASSERT_EQ(boxes.size(), 2u);
    expectOp(boxes[0], DrawOp::Box, 225, 280, 1665, 810);
    const auto lines = ofKind(pic, DrawOp::Line);
    const std::vector<DrawOp> ticks(lines.end() - 25, lines.end());
    for (int i = 0; i <= 24; ++i) expectOp(ticks[i], DrawOp::Line, 225 + 60 * i, 180, 225 + 60 * i, 280);
    const auto texts = ofKind(pic, DrawOp::Text);
    EXPECT_EQ(texts.back().text, "24:00");
    EXPECT_EQ(texts.back().x1, 1440);
    EXPECT_EQ(texts.back().y1, 0);
}

TEST(TimeChart, ASquarePictureGetsTheLyingLayout) {
    RecordingSurface pic(1500, 1575);  // W 1500 = H 1500
    core::drawChart(pic, {}, colours());
    const auto ops = spanOps(pic);
    ASSERT_EQ(ops.size(), 2u);  // no steps: one white span and the line at 0:00
    EXPECT_EQ(ops[1].x1, ops[1].x2);  // an upright boundary line: time runs to the right
}

TEST(TimeChart, EdgeSpans) {
    // A step at 0:00 (a zero-size white span, then its boundary), the same channel again
    // (two labelled spans), and a step at 23:59 (a one-minute span to midnight).
    auto pic = upright();
    core::drawChart(pic, {{0, 3}, {600, 3}, {1439, 4}}, colours());
    const auto ops = spanOps(pic);
    ASSERT_EQ(ops.size(), 2 + 3 + 3 + 3u);
    expectOp(ops[0], DrawOp::Fill, 30, 90, 920, 90);
    expectOp(ops[1], DrawOp::Line, 30, 90, 935, 90);
    expectOp(ops[2], DrawOp::Fill, 30, 90, 920, 690);
    EXPECT_EQ(ops[4].text, " 3");
    expectOp(ops[5], DrawOp::Fill, 30, 690, 920, 1529);
    EXPECT_EQ(ops[7].text, " 3");
    expectOp(ops[8], DrawOp::Fill, 30, 1529, 920, 1530);
    EXPECT_EQ(ops[10].text, " 4");
}

TEST(TimeChart, PositionsRoundHalfToEven) {
    RecordingSurface pic(800, 975);  // upright, H - th = 720: half a twip a minute
    core::drawChart(pic, {{1, 1}, {3, 2}}, colours());
    const auto fills = ofKind(pic, DrawOp::Fill);
    EXPECT_EQ(fills[0].y2, 90);  // 0.5 + 90 rounds to 90
    EXPECT_EQ(fills[1].y2, 92);  // 1.5 + 90 rounds to 92
}

TEST(TimeChart, AChannelOutsideTheColourTableRaises9) {
    auto pic = upright();
    for (int ch : {-1, 11, 12}) {
        try {
            core::drawChart(pic, {{360, ch}}, colours());
            FAIL() << "no error for channel " << ch;
        } catch (const runtime::Error& e) {
            EXPECT_EQ(e.number(), 9);
        }
    }
    core::drawChart(pic, {{360, 10}}, colours());  // entry 10 exists: black
    EXPECT_EQ(ofKind(pic, DrawOp::Fill).back().colour, 0);
}

TEST(ChartScale, MarkerLinesOfAMinute) {
    const auto up = upright();
    FrameRect r;
    gsbGetChartScale(up, 600, r);
    EXPECT_EQ(r, (FrameRect{30, 690, 950, 690}));
    const auto flat = lying();
    gsbGetChartScale(flat, 600, r);
    // The marker's top lies 100 twips above the bar's top.
    EXPECT_EQ(r, (FrameRect{825, 310, 825, 780}));
}

TEST(Frames, SunkenAndRaisedAreSevenOperationsInTheirColours) {
    RecordingSurface s(2000, 2000);
    gsbDrawSunken(s, {100, 200, 400, 500});
    ASSERT_EQ(s.ops().size(), 7u);
    expectOp(s.ops()[0], DrawOp::Box, 100, 200, 400, 500);
    EXPECT_EQ(s.ops()[0].colour, forms::vbButtonShadow);
    expectOp(s.ops()[1], DrawOp::Box, 115, 215, 385, 485);
    EXPECT_EQ(s.ops()[1].colour, forms::vb3DDKShadow);
    expectOp(s.ops()[2], DrawOp::Line, 115, 485, 400, 485);
    expectOp(s.ops()[3], DrawOp::Line, 385, 215, 385, 500);
    EXPECT_EQ(s.ops()[3].colour, forms::vb3DLight);
    expectOp(s.ops()[4], DrawOp::Line, 400, 200, 400, 500);
    expectOp(s.ops()[5], DrawOp::Line, 100, 500, 400, 500);
    expectOp(s.ops()[6], DrawOp::Point, 400, 500, 400, 500);
    EXPECT_EQ(s.ops()[6].colour, forms::vb3DHighlight);
    s.clearOps();
    gsbDrawRaised(s, {100, 200, 400, 500});
    EXPECT_EQ(s.ops()[0].colour, forms::vb3DHighlight);
    EXPECT_EQ(s.ops()[1].colour, forms::vb3DLight);
    EXPECT_EQ(s.ops()[2].colour, forms::vbButtonShadow);
    EXPECT_EQ(s.ops()[6].colour, forms::vb3DDKShadow);
    s.clearOps();
    gsbDrawSeparator(s, {100, 200, 999, 500});
    ASSERT_EQ(s.ops().size(), 4u);
    expectOp(s.ops()[3], DrawOp::Line, 145, 200, 145, 500);
    EXPECT_EQ(s.ops()[3].colour, forms::vb3DDKShadow);
}

TEST(Frames, SunkenFrameOnPixelsIsDarkTopLeftAndLightBottomRight) {
    forms::PictureBox pic;
    pic.resize(30, 30);
    pic.setBackColor(forms::vbWhite);
    const int t = pic.twipsPerPixelX();
    gsbDrawSunken(pic, {2 * t, 2 * t, 20 * t, 20 * t});
    const QPalette pal = QGuiApplication::palette();
    auto at = [&](int x, int y) { return pic.image().pixel(x, y); };
    EXPECT_EQ(at(2, 2), pal.color(QPalette::Dark).rgb());      // outer top-left: shadow
    EXPECT_EQ(at(3, 3), pal.color(QPalette::Shadow).rgb());    // inner top-left: dark shadow
    EXPECT_EQ(at(20, 20), pal.color(QPalette::Light).rgb());   // the corner point: highlight
    EXPECT_EQ(at(20, 2), pal.color(QPalette::Light).rgb());    // the whole outer right edge
    EXPECT_EQ(at(2, 20), pal.color(QPalette::Light).rgb());    // the whole outer bottom edge
    EXPECT_EQ(at(10, 19), pal.color(QPalette::Midlight).rgb());  // inner bottom edge: light
    EXPECT_EQ(at(19, 19), pal.color(QPalette::Midlight).rgb());
    EXPECT_EQ(at(19, 3), pal.color(QPalette::Midlight).rgb());   // inner right edge
}
