#include "print_fixture.h"

namespace {

using printer::CanvasOp;
using printtest::errorOf;
using printtest::hasText;

class Framework : public printtest::PrintTest {};

TEST(PrintTitle, EveryModeHasItsTitle) {
    const std::vector<std::pair<int, std::string>> cases = {
        {0, "メッセージ"}, {1, "スケジュール"}, {2, "祝日"}, {3, "特定日スケジュール登録"}, {4, "年間スケジュール"},
        {5, ""}, {6, "機能設定"}, {7, "曜日スケジュール"}, {8, "祝日スケジュール"}, {9, "特定日スケジュール"},
        {10, "書き込み情報"}, {11, "カード情報"}, {100, ""}, {104, ""}, {-1, ""}};
    for (const auto& [mode, title] : cases) EXPECT_EQ(gfnvPrintTitle(mode), title) << mode;
}

TEST_F(Framework, PaperNamesSetThePageSize) {
    struct Case {
        int code, w, h;
        std::string caption;
        int paper, pageW, pageH;
    };
    const std::vector<Case> cases = {
        {9, 0, 0, "Ａ４（210×297mm）", 9, 11907, 16840},
        {11, 0, 0, "Ａ５（148×210mm）", 11, 8392, 11907},
        {12, 0, 0, "Ｂ４（250×354mm）", 12, 14175, 20072},
        {13, 0, 0, "Ｂ５（182×257mm）", 13, 10319, 14572},
        {256, 100, 150, "100×150mm", 256, 5670, 8505},
        {5, 100, 150, "100×150mm", 256, 5670, 8505},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gfnsPaperName(static_cast<print::i16>(c.code), static_cast<print::i16>(c.w), static_cast<print::i16>(c.h)),
                  c.caption);
        const auto& s = print::state();
        EXPECT_EQ(s.paperCode, c.paper) << c.code;
        EXPECT_EQ(s.pageWidth, c.pageW) << c.code;
        EXPECT_EQ(s.pageHeight, c.pageH) << c.code;
    }
}

TEST_F(Framework, PreviewGeometryInBothOrientations) {
    previewDevice(kPortraitText);
    auto& s = print::state();
    EXPECT_EQ(s.out, &canvas_);
    EXPECT_EQ(s.leftMargin, 1418);
    EXPECT_EQ(s.topMargin, 851);
    EXPECT_EQ(s.pageWidth, 11907);
    EXPECT_EQ(s.pageHeight, 16840);
    EXPECT_EQ(s.rightLimit, 11056);
    EXPECT_EQ(s.bottomLimit, 15989);
    EXPECT_EQ(canvas_.width(), 11907);
    EXPECT_TRUE(canvas_.autoRedraw());

    previewDevice(kLandscapeText);
    EXPECT_EQ(s.pageWidth, 16840);
    EXPECT_EQ(s.pageHeight, 11907);
    EXPECT_EQ(s.rightLimit, 15989);
    EXPECT_EQ(s.bottomLimit, 11056);
    EXPECT_EQ(canvas_.height(), 11907);
}

TEST_F(Framework, PreviewHalvesTheLineWidth) {
    for (const auto& [width, previewed] : std::vector<std::pair<int, int>>{{4, 2}, {1, 1}, {3, 1}, {5, 2}}) {
        gfnsPaperName(9, 0, 0);
        gsbSetPrintDevice(PrintMargins{25, 15, 15, 15}, static_cast<print::i16>(width), kPortraitText, true, false, 1);
        EXPECT_EQ(print::state().lineWidth, previewed) << width;
        EXPECT_EQ(canvas_.drawWidth(), previewed) << width;
    }
}

TEST_F(Framework, PrinterOffsetsMoveTheMargins) {
    // 1440 dots per inch: one pixel is one twip; offsets 100 across and 150 down.
    usePrinters({fakePrinter("Offsets", 1440, 100, 150)});
    gfnsPaperName(9, 0, 0);
    gsbSetPrintDevice(PrintMargins{25, 15, 15, 15}, 4, kPortraitText, false, false, 0);
    const auto& s = print::state();
    EXPECT_EQ(s.out, &printer::currentPrinter());
    EXPECT_EQ(s.leftMargin, 1318);
    EXPECT_EQ(s.topMargin, 701);
    EXPECT_EQ(s.rightMargin, 951);
    EXPECT_EQ(s.bottomMargin, 1001);
    EXPECT_EQ(printer::currentPrinter().drawWidth(), 4);
    EXPECT_EQ(printer::currentPrinter().orientation(), printer::kPortrait);
}

TEST_F(Framework, FontMetricsOfSizesSevenToEleven) {
    previewDevice();
    const auto& s = print::state();
    EXPECT_EQ(s.metrics.size(), 6u);
    EXPECT_EQ(s.metric(6).charWidth, 0);
    // Recording metrics: "1" is 10 twips a point wide and 20 twips a point high.
    EXPECT_EQ(s.metric(9).charWidth, 90);
    EXPECT_EQ(s.metric(9).lineHeight, 252);
    EXPECT_EQ(s.metric(9).halfWidth, 45);
    EXPECT_EQ(s.metric(9).textOffset, 50);
    EXPECT_EQ(s.metric(11).lineHeight, 308);
    EXPECT_EQ(canvas_.fontSize(), 11);
    EXPECT_EQ(errorOf([&] { (void)s.metric(12); }), 9);
}

TEST_F(Framework, ColumnPositionsAndAlignment) {
    previewDevice();
    auto& s = print::state();
    s.fontSize = 9;
    setColumnTable({{4, "番号", 1}, {10, "名前", 0}, {6, "中", 2}, {4, "他", 7}});
    psbSetColumnPos(9);
    // 4 characters: 4 × 90 + 2 × 45.
    EXPECT_EQ(s.column(0).width, 450);
    EXPECT_EQ(s.column(0).leftX, 45);
    EXPECT_EQ(s.column(0).rightX, 405);
    EXPECT_EQ(s.column(1).leftX, 495);
    EXPECT_EQ(s.column(2).centreX, 450 + 990 + 315);
    EXPECT_EQ(s.tableWidth, 450 + 990 + 630 + 450);

    s.x = 1000;
    s.y = 2000;
    s.column(0).text = "12";
    s.column(1).text = "abc";
    s.column(2).text = "xy";
    s.column(3).text = "z";
    canvas_.setFontSize(9);  // the row prints in whatever font the writer set
    psbPrintRow(true);
    const auto lines = canvas_.ops(CanvasOp::Line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].x2, 1000 + s.tableWidth);
    EXPECT_EQ(canvas_.findText("12")->x1, 1000 + 405 - 180);      // right
    EXPECT_EQ(canvas_.findText("abc")->x1, 1000 + 495);          // left
    EXPECT_EQ(canvas_.findText("xy")->x1, 1000 + 1755 - 90);      // centre
    EXPECT_EQ(canvas_.findText("z")->x1, 1000 + 2070 + 45);       // unknown alignment: left
    EXPECT_EQ(canvas_.findText("z")->y1, 2050);
    EXPECT_EQ(s.x, 1000);
    EXPECT_EQ(s.y, 2000);
}

TEST_F(Framework, ColumnHeaderBoxesSpanTheLinesOfAPage) {
    previewDevice();
    auto& s = print::state();
    setColumnTable({{4, "番号", 1}, {6, "名前", 0}});
    psbSetColumnPos(9);
    s.linesPage = 10;
    s.x = 1000;
    s.y = 2000;
    psbPrintColumnHeader(9);
    const auto boxes = canvas_.ops(CanvasOp::Box);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].y2 - boxes[0].y1, 2520);
    EXPECT_EQ(boxes[1].x1, 1450);
    EXPECT_EQ(canvas_.findText("番号")->x1, 1000 + (450 - 360) / 2);
    EXPECT_EQ(s.x, 1000 + s.tableWidth);
    EXPECT_EQ(s.y, 2252);
}

TEST_F(Framework, HeaderWithAndWithoutADocumentName) {
    runtime::FixedClock at{runtime::DateTime{2027, 3, 4, 5, 6, 0}};
    previewDevice();
    auto& s = print::state();
    psbPrintHeader(6);
    EXPECT_TRUE(hasText(canvas_, "機能設定一覧"));
    EXPECT_EQ(canvas_.findText("機能設定一覧")->fontSize, 14);
    const auto* date = canvas_.findText("印刷日時 2027/03/04 05:06");
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(date->y1, 851 + 252);
    EXPECT_EQ(date->x2, s.rightLimit);
    EXPECT_EQ(s.y, 851 + 2 * 252);
    for (const auto& t : canvas_.texts()) EXPECT_EQ(t.find("ファイル名："), std::string::npos);
    // The preview's page is white behind the drawing.
    EXPECT_EQ(canvas_.ops(CanvasOp::Fill).size(), 1u);

    canvas_.clearOps();
    print::sinks().documentName = [] { return std::string(40, 'a') + "あいうえおかきくけこさしす"; };
    psbPrintHeader(6);
    const std::string cut = "ファイル名：" + std::string(40, 'a') + "あいうえおかきくけこ";
    ASSERT_TRUE(hasText(canvas_, cut));
    EXPECT_EQ(canvas_.findText(cut)->y1, 851);
}

TEST_F(Framework, FooterProgressAndRuleText) {
    previewDevice();
    auto& s = print::state();
    s.pageNo = 3;
    s.pageCount = 12;
    psbPrintFooter(9);
    const auto* footer = canvas_.findText("3／12");
    ASSERT_NE(footer, nullptr);
    EXPECT_EQ(footer->x1, (11907 - 450) / 2);
    EXPECT_EQ(footer->y1, s.bottomLimit - 180);
    psbShowPrintPage();
    ASSERT_EQ(progress_.size(), 1u);
    EXPECT_EQ(progress_[0], " 3/ 12 ﾍﾟｰｼﾞを印刷中です。");

    s.fontSize = 9;
    s.x = 100;
    s.y = 200;
    s.buffer = "abcd";
    EXPECT_EQ(pfniPrintRuleText(true, 0), 360 + 90);
    EXPECT_EQ(pfniPrintRuleText(false, 1000), 1000);
    const auto lines = canvas_.ops(CanvasOp::Line);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].y1, 200 + 252);
    EXPECT_EQ(lines[0].x2, 100 + 450);
}

TEST_F(Framework, CancelIsRaisedOnlyWhilePrinting) {
    previewDevice();
    auto& s = print::state();
    gsbCancelPrint();
    EXPECT_EQ(errorOf(psbShowPrintPage), 0);  // preview: no cancel point
    s.preview = false;
    EXPECT_EQ(errorOf(psbShowPrintPage), 32755);
    EXPECT_FALSE(s.cancelRequest);
    EXPECT_EQ(errorOf(psbShowPrintPage), 0);
}

TEST_F(Framework, PositionsOutsideSixteenBitsOverflow) {
    previewDevice();
    auto& s = print::state();
    setColumnTable({{4, "a", 0}});
    psbSetColumnPos(9);
    s.linesPage = 2;
    s.x = 0;
    s.y = 32700;
    EXPECT_EQ(errorOf([] { psbPrintColumnHeader(9); }), 6);
    EXPECT_EQ(errorOf([] { psbSetColumnPos(12); }), 9);
}

}  // namespace
