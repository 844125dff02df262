#include <gtest/gtest.h>

#include <vector>

#include "chart_fixture.h"
#include "core/timechart.h"
#include "forms/surface.h"
#include "runtime/error.h"

using forms::DrawOp;
using forms::RecordingSurface;

namespace {

struct ChartFromDocument : ::testing::Test {
    test::ChartDocument doc;
    RecordingSurface pic{1500, 1695};  // upright, one twip a minute

    std::vector<DrawOp> fills() const {
        std::vector<DrawOp> out;
        for (const auto& op : pic.ops())
            if (op.kind == DrawOp::Fill) out.push_back(op);
        return out;
    }
};

bool sameOps(const std::vector<DrawOp>& a, const std::vector<DrawOp>& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].kind != b[i].kind || a[i].x1 != b[i].x1 || a[i].y1 != b[i].y1 || a[i].x2 != b[i].x2 ||
            a[i].y2 != b[i].y2 || a[i].colour != b[i].colour || a[i].text != b[i].text)
            return false;
    return true;
}

}  // namespace

TEST_F(ChartFromDocument, DrawsThePatternsStepsHiddenWithPersistentDrawingAndNoBorder) {
    doc.step(1, 17, 30, 0);  // stored out of order: read in time order
    doc.step(1, 9, 0, 1);
    doc.step(1, 12, 0, 2);
    doc.step(1, 13, 0, 1);
    doc.step(2, 6, 0, 3);  // another pattern's step is left out
    doc.ansRec(2, true);
    gsbDrawPatternChart(pic, 1);
    EXPECT_EQ(pic.ops().front().kind, DrawOp::Clear);
    EXPECT_TRUE(pic.autoRedraw());
    EXPECT_EQ(pic.borderStyle(), 0);
    EXPECT_EQ(pic.visibilityChanges(), (std::vector<bool>{false, true}));

    RecordingSurface expected(1500, 1695);
    expected.cls();
    std::vector<forms::Colour> colours(kChartColours, kChartAnsOnly);
    colours[0] = kChartOff;
    colours[2] = kChartAnsRec;
    colours[10] = 0;
    core::drawChart(expected, {{540, 1}, {720, 2}, {780, 1}, {1050, 0}}, colours);
    EXPECT_TRUE(sameOps(pic.ops(), expected.ops()));
}

TEST_F(ChartFromDocument, MessageColoursFollowTheAnswerMode) {
    doc.ansRec(4, true);
    std::vector<forms::Colour> colours;
    gsbGetMessageColor(colours);
    ASSERT_EQ(colours.size(), 11u);
    EXPECT_EQ(colours[0], 0xFFFFFF);
    EXPECT_EQ(colours[1], 0xC0FFFF);
    EXPECT_EQ(colours[4], 0xC0E0FF);
    EXPECT_EQ(colours[9], 0xC0FFFF);
    EXPECT_EQ(colours[10], 0);  // never set: black

    doc.step(3, 8, 0, 5);
    gsbDrawPatternChart(pic, 3);
    EXPECT_EQ(fills().back().colour, kChartAnsOnly);
    doc.ansRec(5, true);
    gsbDrawPatternChart(pic, 3);  // the next drawing shows the change
    EXPECT_EQ(fills().back().colour, kChartAnsRec);
}

TEST_F(ChartFromDocument, AStepOnAChannelOutsideTheTableRaises9AndLeavesTheChartShown) {
    doc.step(5, 6, 0, 11);
    doc.step(5, 9, 0, 1);
    try {
        gsbDrawPatternChart(pic, 5);
        FAIL() << "no error";
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.number(), 9);
    }
    EXPECT_TRUE(pic.isVisible());
    EXPECT_EQ(pic.visibilityChanges(), (std::vector<bool>{false, true}));
    doc.step(6, 9, 0, 1);
    gsbDrawPatternChart(pic, 6);  // the document is still usable
    EXPECT_TRUE(pic.isVisible());
}

TEST_F(ChartFromDocument, AnEmptyPatternIsOneWhiteSpan) {
    gsbDrawPatternChart(pic, 7);
    ASSERT_EQ(fills().size(), 1u);
    EXPECT_EQ(fills()[0].colour, kChartOff);
    for (const auto& op : pic.ops()) {
        if (op.kind == DrawOp::Text) {
            EXPECT_NE(op.text, " 0");
        }
    }
}
