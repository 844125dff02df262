#include "core/strings.h"
#include "core/upkeep.h"
#include "print/print.h"
#include "print_fixture.h"

namespace {

using printer::CanvasOp;
using printtest::errorOf;
using printtest::hasText;

class Reports : public printtest::PrintTest {
protected:
    // Every page on the recording canvas, as a printed run draws them.
    void printDevice() {
        previewDevice();
        print::state().preview = false;
    }
    void stepsOn(int pattern, const std::vector<coretest::StepRow>& steps) {
        addSteps(pattern, steps);
        exec("UPDATE tblDayPattern SET fldStep = -1 WHERE fldNo = " + std::to_string(pattern));
    }
    int pages() const { return canvas_.page(); }
    // The texts of one table column on a page: the texts whose left edge is x.
    std::vector<std::string> textsAt(double x, int page = 1) const {
        std::vector<std::string> out;
        for (const auto& op : canvas_.ops())
            if (op.kind == CanvasOp::Text && op.page == page && op.x1 == x) out.push_back(op.text);
        return out;
    }
    bool anyTextContains(const std::string& part) const {
        for (const auto& t : canvas_.texts())
            if (t.find(part) != std::string::npos) return true;
        return false;
    }
};

TEST_F(Reports, PatternTableListsRangesNotSteps) {
    stepsOn(2, {{8, 0, 1}, {12, 0, 3}, {13, 0, 2}});
    printDevice();
    ASSERT_TRUE(gfnfPrintPattern(2, 2));
    const auto t = canvas_.texts();
    auto at = [&](const std::string& s) { return std::find(t.begin(), t.end(), s) - t.begin(); };
    // Row 1 runs from midnight, stopped; row 4 to the end of the day on channel 2.
    EXPECT_LT(at(" 0:00"), at(" 8:00"));
    EXPECT_EQ(t[static_cast<std::size_t>(at(" 0:00")) + 2], "停止");
    EXPECT_TRUE(hasText(canvas_, "13:00"));
    EXPECT_TRUE(hasText(canvas_, "24:00"));
    EXPECT_TRUE(hasText(canvas_, "25"));
    EXPECT_FALSE(hasText(canvas_, "26"));
    EXPECT_TRUE(hasText(canvas_, "スケジュール一覧"));
    EXPECT_TRUE(hasText(canvas_, gfnsGetPatternName(2)));
    EXPECT_FALSE(anyTextContains("スケジュール名："));
    EXPECT_FALSE(anyTextContains("応答録音"));
    EXPECT_EQ(pages(), 1);
}

TEST_F(Reports, PatternStopStepEndsItsRangeAndMidnightStepOpensTheDay) {
    stepsOn(1, {{0, 0, 4}, {9, 0, 1}, {17, 30, 0}});
    printDevice();
    ASSERT_TRUE(gfnfPrintPattern(1, 1));
    // A row: its number (plain digits), then start, end and message.
    const auto t = canvas_.texts();
    const auto row = [&](const std::string& number) {
        for (std::size_t i = 0; i + 3 < t.size(); ++i)
            if (t[i] == number && t[i + 1].find(':') != std::string::npos)
                return std::vector<std::string>(t.begin() + static_cast<long>(i) + 1, t.begin() + static_cast<long>(i) + 4);
        return std::vector<std::string>{};
    };
    EXPECT_EQ(row("1"), (std::vector<std::string>{" 0:00", " 9:00", " 4"}));
    EXPECT_EQ(row("2"), (std::vector<std::string>{" 9:00", "17:30", " 1"}));
    EXPECT_EQ(row("3"), (std::vector<std::string>{"17:30", "24:00", "停止"}));
    EXPECT_EQ(row("4"), std::vector<std::string>{});
}

TEST_F(Reports, PatternRangeRulesAndQuestions) {
    printDevice();
    dialogs_.expect("スケジュールの内容はありません。");
    EXPECT_FALSE(gfnfPrintPattern(1, 7));
    dialogs_.expect("登録がありません。", forms::vbNo);
    EXPECT_FALSE(gfnfPrintPattern(3, 3));
    EXPECT_TRUE(canvas_.ops().empty());
    dialogs_.expect("登録がありません。", forms::vbYes);
    EXPECT_TRUE(gfnfPrintPattern(3, 3));
    EXPECT_TRUE(hasText(canvas_, "24:00"));
}

TEST_F(Reports, AllWeekdayPatternsSkipEmptyOnesAndPreviewDrawsOnePage) {
    for (int p : {1, 4, 6}) stepsOn(p, {{9, 0, 1}});
    printDevice();
    ASSERT_TRUE(gfnfPrintPattern(1, 7));
    EXPECT_EQ(pages(), 3);
    EXPECT_EQ(canvas_.ops(CanvasOp::NewPage).size(), 2u);
    EXPECT_TRUE(hasText(canvas_, "3／3"));

    previewDevice(kPortraitText, 3);
    ASSERT_TRUE(gfnfPrintPattern(1, 7));
    EXPECT_TRUE(hasText(canvas_, gfnsGetPatternName(6)));
    EXPECT_FALSE(hasText(canvas_, gfnsGetPatternName(1)));
    EXPECT_TRUE(hasText(canvas_, "3／3"));
}

TEST_F(Reports, SpecialPatternNameAndAnswerRecordNote) {
    stepsOn(9, {{9, 0, 3}});
    exec("UPDATE tblDayPattern SET fldName = '夏期休暇  ' WHERE fldNo = 9");
    exec("UPDATE tblMessage SET fldAnsRec = -1 WHERE fldCh = 3");
    gsbCheckAnsRec();
    printDevice();
    ASSERT_TRUE(gfnfPrintPattern(9, 9));
    EXPECT_TRUE(hasText(canvas_, "スケジュール名：夏期休暇"));
    EXPECT_TRUE(hasText(canvas_, "※「*」は応答録音メッセージです"));
    EXPECT_TRUE(hasText(canvas_, " 3*"));  // the chart's label of a recording channel
}

TEST_F(Reports, TimeChartBoxesLabelsAndScale) {
    addSteps(5, {{9, 0, 3}, {17, 30, 0}});
    previewDevice();
    auto& s = print::state();
    s.out->setFontSize(9);
    psbPrintTimeChart(5, 1000, 2000, 1800, 6552);
    // Three ranges and the frame; only the channel range is labelled.
    EXPECT_EQ(canvas_.ops(CanvasOp::Box).size(), 4u);
    EXPECT_TRUE(hasText(canvas_, " 3"));
    EXPECT_FALSE(hasText(canvas_, "停止"));
    std::vector<std::string> hours;
    for (const auto& t : canvas_.texts())
        if (t.size() == 5 && t[2] == ':') hours.push_back(t);
    EXPECT_EQ(hours.size(), 13u);
    EXPECT_EQ(hours.front(), "00:00");
    EXPECT_EQ(hours.back(), "24:00");
    EXPECT_EQ(canvas_.ops(CanvasOp::Line).size(), 3u + 25u);
    // A step at the end of the day closes the last range and adds none.
    canvas_.clearOps();
    addSteps(6, {{8, 0, 1}, {24, 0, 0}});
    psbPrintTimeChart(6, 1000, 2000, 1800, 6552);
    EXPECT_EQ(canvas_.ops(CanvasOp::Box).size(), 3u);
    // No steps: one empty box over the day and the frame.
    canvas_.clearOps();
    psbPrintTimeChart(7, 1000, 2000, 1800, 6552);
    EXPECT_EQ(canvas_.ops(CanvasOp::Box).size(), 2u);
}

TEST_F(Reports, SettingsByLevel) {
    exec("INSERT INTO tblSetting (fldType, fldOrder, fldNo, fldItem, fldValue, fldAddress) VALUES "
         "(1, 1, 17, '標準', '1', 0), (1, 2, 2, '回数', '3', 0), (2, 3, 5, '秒数', '10', 0), (3, 4, 22, 'トーン', '0', 0)");
    const int level1 = intOf("SELECT COUNT(*) FROM tblSetting WHERE fldType = 1");
    const int level2 = intOf("SELECT COUNT(*) FROM tblSetting WHERE fldType <= 2");
    const int level3 = intOf("SELECT COUNT(*) FROM tblSetting WHERE fldType <= 3");
    ASSERT_GT(level1, 0);
    for (const auto& [level, rows] : std::vector<std::pair<int, int>>{{1, level1}, {2, level2}, {3, level3}}) {
        previewDevice();
        ASSERT_TRUE(gfnfPrintSetting(static_cast<print::i16>(level)));
        EXPECT_EQ(print::state().linesPage, rows + 1) << level;
        EXPECT_TRUE(hasText(canvas_, "機能設定一覧"));
        EXPECT_TRUE(hasText(canvas_, "1／1"));
        EXPECT_TRUE(hasText(canvas_, "する"));
        EXPECT_EQ(hasText(canvas_, "トーン"), level == 3);
    }
    exec("DELETE FROM tblSetting");
    previewDevice();
    ASSERT_TRUE(gfnfPrintSetting(1));
    EXPECT_EQ(print::state().linesPage, 1);
    EXPECT_EQ(canvas_.ops(CanvasOp::Box).size(), 4u);
}

TEST_F(Reports, TheTemplateSettingsPrintAtTheirLevels) {
    struct Row {
        int type;
        std::string item, words;
    };
    std::vector<Row> rows;
    {
        auto rs = gdbWork.openRecordset("SELECT * FROM tblSetting ORDER BY fldOrder");
        for (; !rs.eof(); rs.moveNext())
            rows.push_back({rs["fldType"].toInt(), rs["fldItem"].toText(),
                            gfnsSettingToStr(rs["fldNo"].toInt(), rs["fldValue"].toText())});
    }
    ASSERT_EQ(rows.size(), 14u);
    for (int level = 1; level <= 3; ++level) {
        SCOPED_TRACE(level);
        previewDevice();
        ASSERT_TRUE(gfnfPrintSetting(static_cast<print::i16>(level)));
        for (const Row& r : rows) {
            EXPECT_EQ(hasText(canvas_, r.item), r.type <= level) << r.item;
            if (r.type <= level) {
                EXPECT_TRUE(hasText(canvas_, r.words)) << r.item;
            }
        }
    }
}

TEST_F(Reports, TestPageWithoutADocumentReadsTheTemplate) {
    usePrinters({fakePrinter("Probe")});
    gsbCloseDatabase(gdbWork);
    std::filesystem::remove(file("Regist.dat"));
    previewDevice(kLandscapeText);
    print::sinks().orientation = kLandscapeText;
    ASSERT_TRUE(gfnfPrintTest());
    EXPECT_FALSE(gdbWork.isOpen());
    EXPECT_TRUE(hasText(canvas_, "機能設定一覧"));
    EXPECT_TRUE(hasText(canvas_, "    1         2         3         4         5"));
    EXPECT_TRUE(hasText(canvas_, printer::currentPrinter().deviceName().insert(0, "DeviceName          ").substr(0, 20) + "Probe"));
    EXPECT_FALSE(anyTextContains("DriverName"));
    // Twelve corner lines and five width samples, 1 to 5 pixels.
    std::vector<int> widths;
    for (const auto& op : canvas_.ops(CanvasOp::Line))
        if (op.y1 == op.y2 && op.x2 - op.x1 == 4 * 160) widths.push_back(op.drawWidth);  // 4 u, u = 160 at 8 points
    EXPECT_EQ(widths, (std::vector<int>{1, 2, 3, 4, 5}));
    gsbOpenDatabase(gdbWork, file("Master.dat"));  // the fixture closes it
}

TEST_F(Reports, SpecialDayListFiftyToAPage) {
    for (int i = 0; i < 51; ++i)
        exec("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (2027, " +
             std::to_string(1 + i / 28) + ", " + std::to_string(1 + i % 28) + ", " + std::to_string(i == 0 ? 0 : 12) +
             ", 'c" + std::to_string(i) + "')");
    printDevice();
    ASSERT_TRUE(gfnfPrintYear(2027, 2027));
    EXPECT_EQ(pages(), 2);
    EXPECT_EQ(canvas_.texts(1).size(), canvas_.texts(2).size() - 0);
    EXPECT_TRUE(hasText(canvas_, "停止"));
    EXPECT_TRUE(hasText(canvas_, "Ｄ"));
    EXPECT_TRUE(hasText(canvas_, "100"));
    EXPECT_FALSE(hasText(canvas_, "101"));
    EXPECT_TRUE(hasText(canvas_, "２０２７年 　１月 　１日（金）"));

    previewDevice(kPortraitText, 2);
    ASSERT_TRUE(gfnfPrintYear(2027, 2027));
    EXPECT_TRUE(hasText(canvas_, "c50                 "));
    EXPECT_FALSE(hasText(canvas_, "c49                 "));
    EXPECT_TRUE(hasText(canvas_, "51"));
    EXPECT_TRUE(hasText(canvas_, "2／2"));
}

TEST_F(Reports, EmptySpecialDayListAsks) {
    printDevice();
    dialogs_.expect("登録がありません。", forms::vbNo);
    EXPECT_FALSE(gfnfPrintYear(2030, 2031));
    dialogs_.expect("登録がありません。", forms::vbYes);
    EXPECT_TRUE(gfnfPrintYear(2030, 2031));
    EXPECT_EQ(pages(), 1);
    EXPECT_TRUE(hasText(canvas_, "50"));
}

TEST_F(Reports, CalendarPagesByStyle) {
    struct Case {
        int from, to, style, pages;
    };
    for (const auto& c : std::vector<Case>{{2027, 2027, 0, 2}, {2027, 2028, 2, 6}, {2027, 2027, 1, 1}, {2028, 2027, 0, 0}}) {
        printDevice();
        ASSERT_TRUE(gfnfPrintCalendar(static_cast<print::i16>(c.from), static_cast<print::i16>(c.to), static_cast<print::i16>(c.style)));
        EXPECT_EQ(print::state().pageCount, c.pages) << c.style;
        if (c.pages > 0) {
            EXPECT_EQ(pages(), c.pages) << c.style;
        }
    }
    printDevice();
    gfnfPrintCalendar(2027, 2027, 0);
    EXPECT_TRUE(hasText(canvas_, "２０２７年　　１月"));
    EXPECT_TRUE(hasText(canvas_, "２０２７年　１０月"));
    EXPECT_EQ(printtest::countText(canvas_, "２０２７年　　７月", 1), 0);
    EXPECT_TRUE(hasText(canvas_, "※日付のみが表示されている日は、該当の曜日スケジュールが設定されています。"));
}

TEST_F(Reports, CalendarPreviewPageAndDayMarks) {
    exec("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (2029, 3, 10, 10, '特別')");
    previewDevice(kLandscapeText, 5);
    ASSERT_TRUE(gfnfPrintCalendar(2027, 2029, 0));
    EXPECT_TRUE(hasText(canvas_, "２０２９年　　１月"));
    EXPECT_TRUE(hasText(canvas_, "２０２９年　　６月"));
    EXPECT_FALSE(hasText(canvas_, "２０２９年　　７月"));
    EXPECT_TRUE(hasText(canvas_, "Ｂ"));
    EXPECT_TRUE(hasText(canvas_, "停止"));
    const auto* day = canvas_.findText("31");
    ASSERT_NE(day, nullptr);
    EXPECT_EQ(day->fontName, "Arial");
    EXPECT_TRUE(day->fontBold);

    // The list style: February 2027 has 28 days and 4 blank rows, the comment in 備考.
    previewDevice(kLandscapeText, 1);
    exec("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (2027, 2, 3, 9, '節分')");
    ASSERT_TRUE(gfnfPrintCalendar(2027, 2027, 2));
    EXPECT_TRUE(hasText(canvas_, "節分"));
    EXPECT_TRUE(hasText(canvas_, "Ａ"));
    EXPECT_TRUE(hasText(canvas_, "※スケジュール欄が空白で表示されている日は、該当の曜日スケジュールが設定されています。"));
    EXPECT_EQ(canvas_.ops(CanvasOp::Line).size(), 4u * 32u + 2u);  // row rules, and the two page starts
}

TEST_F(Reports, HolidayReport) {
    printDevice();
    exec("UPDATE tblSyukujitu SET fldSyukujitu = 8, fldMonday = 8 WHERE fldMonth = 0 AND fldDay = 0");
    ASSERT_TRUE(gfnfPrintSyuku());
    EXPECT_TRUE(hasText(canvas_, "祝日：使用する　"));
    EXPECT_TRUE(hasText(canvas_, "振替休日：使用する　"));
    EXPECT_TRUE(hasText(canvas_, "祝日一覧"));
    EXPECT_TRUE(hasText(canvas_, "　－月　　 　－日"));  // the rule row comes first
    EXPECT_TRUE(hasText(canvas_, "1／1"));

    exec("DELETE FROM tblSyukujitu WHERE fldMonth = 0 AND fldDay = 0");
    exec("DELETE FROM tblSyukujitu WHERE fldMonth > 1");
    const int rules = intOf("SELECT COUNT(*) FROM tblSyukujitu");
    printDevice();
    ASSERT_TRUE(gfnfPrintSyuku());
    EXPECT_TRUE(hasText(canvas_, "祝日：使用しない"));
    EXPECT_TRUE(hasText(canvas_, "振替休日：使用しない"));
    EXPECT_TRUE(hasText(canvas_, std::to_string(rules)));
    EXPECT_TRUE(hasText(canvas_, "25"));

    exec("DELETE FROM tblSyukujitu");
    printDevice();
    dialogs_.expect("登録がありません。", forms::vbNo);
    EXPECT_FALSE(gfnfPrintSyuku());
    EXPECT_TRUE(canvas_.ops().empty());  // asked before the page was begun
    dialogs_.expect("登録がありません。", forms::vbYes);
    EXPECT_TRUE(gfnfPrintSyuku());
    EXPECT_TRUE(hasText(canvas_, "1／1"));
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(Reports, MessageListColumnsFollowAnswerRecording) {
    exec("UPDATE tblMessage SET fldUse = -1 WHERE fldCh = 2");
    printDevice();
    ASSERT_TRUE(gfnfPrintMessage(0));
    EXPECT_EQ(print::state().columns.size(), 3u);
    EXPECT_EQ(print::state().linesPage, 10);
    EXPECT_EQ(printtest::countText(canvas_, "○"), 1);
    EXPECT_FALSE(hasText(canvas_, "10"));

    exec("UPDATE tblMessage SET fldAnsRec = -1 WHERE fldCh = 3");
    gsbCheckAnsRec();
    printDevice();
    ASSERT_TRUE(gfnfPrintMessage(1));
    EXPECT_EQ(print::state().columns.size(), 4u);
    EXPECT_EQ(print::state().linesPage, 13);
    EXPECT_TRUE(hasText(canvas_, "応答"));
    EXPECT_EQ(printtest::countText(canvas_, "録音"), 1);
    EXPECT_EQ(printtest::countText(canvas_, "専用"), 8);
    EXPECT_TRUE(hasText(canvas_, "12"));
    EXPECT_TRUE(hasText(canvas_, "保留音" + std::string(17, ' ')));
}

}  // namespace
