// The card menus with the mouse, against the emulated reader through the control, the
// driver and the bus: a rich document written to a blank card and read back, and the
// copy and message menus.
#include <QCheckBox>
#include <QLineEdit>

#include <map>
#include <sstream>

#include "calendar/schedule_window.h"
#include "card/window.h"
#include "forms/grid.h"
#include "journey.h"
#include "patterns/frm_pattern.h"

namespace journey {
namespace {

// Every cell of a grid: text and back colour, row by row.
std::string cells(const forms::Grid& g) {
    std::ostringstream out;
    for (int r = 0; r <= g.maxRows(); ++r) {
        for (int c = 0; c <= g.maxCols(); ++c) out << g.text(c, r) << '#' << g.backColor(c, r) << '|';
        out << '\n';
    }
    return out.str();
}

class CardJourney : public Journey {
protected:
    // What the schedule pages show, page by page, walking them with 次へ from the weekday
    // page to the write page.
    std::map<std::string, std::string> schedulePages() {
        std::map<std::string, std::string> shown;
        auto* weekdays = page<frmPattern>();
        if (!weekdays) {
            ADD_FAILURE() << "no weekday page at " << where();
            return shown;
        }
        shown["channels"] = cells(*weekdays->sstMessage());
        for (int p = 1; p <= 7; ++p) {
            click(weekdays->optPattern(p));
            shown["pattern " + std::to_string(p)] = cells(*weekdays->sstDayStep());
        }
        walk("次へ", {"休日パターン"});
        if (auto* holiday = page<frmPattern>()) shown["holiday"] = cells(*holiday->sstDayStep());
        walk("次へ", {"特定日スケジュール"});
        if (auto* calendar = page<frmSchedule>()) {
            shown["special patterns"] = cells(*calendar->sstDayPattern);
            for (int m = 0; m < 4; ++m) shown["month " + std::to_string(m)] = cells(*calendar->sstMonth[m]);
        }
        return shown;
    }
};

TEST_F(CardJourney, ARichDocumentWrittenToABlankCardReadsBackTheSame) {
    const std::string document = richDocument();

    // From the file to the write page; the user switches the holiday pattern on.
    dialogs_.expectFile(forms::FileDialogRequest::Open, document);
    answerAt("休日パターン", {{"祝日を使用しますか？", forms::vbYes}});
    chooseMenu(2, "曜日パターン");
    const auto written = schedulePages();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_NE(written.at("pattern 2").find("17:15"), std::string::npos) << written.at("pattern 2");
    EXPECT_NE(written.at("special patterns").find("棚卸し"), std::string::npos);
    EXPECT_NE(written.at("channels").find("始業チャイム"), std::string::npos);
    EXPECT_NE(written.at("holiday").find("10:00"), std::string::npos);
    EXPECT_NE(written.at("month 0").find("|A#"), std::string::npos) << "28 December under pattern A";

    // The blank card is initialised as the write page opens; then the card name is typed
    // and the document written.
    answerAt("カードに書込", {{"今すぐ初期化しますか？", forms::vbYes}, {"初期化が完了しました。", forms::vbOK}});
    walk("次へ", {"カードに書込"});
    auto* write = page<frmCard>();
    ASSERT_NE(write, nullptr);
    if (!write->chkCardName->isChecked()) click(write->chkCardName);
    if (!write->chkMessage->isChecked()) click(write->chkMessage);
    click(write->txtCardName[0]);
    type("東京本社");
    dialogs_.expect("書き込みが終了しました。");
    press("書込");
    ASSERT_EQ(dialogs_.pending(), 0u);
    EXPECT_EQ(write->lblCardName->text().toStdString(), "東京本社");
    // On to the end, not saving the change of name.
    dialogs_.expect("保存しますか？", forms::vbNo);
    walk("次へ", {"start"});

    // Back from the card, whose holiday pattern is in use.
    answerAt("休日パターン", {});
    answerAt("カードに書込", {});
    chooseMenu(3, "カードから読込");
    walk("次へ", {"曜日パターン"});
    const auto read = schedulePages();
    ASSERT_FALSE(HasFatalFailure());
    for (const auto& [name, shown] : written) EXPECT_EQ(read.at(name), shown) << name;
    walk("次へ", {"カードに書込"});
    write = page<frmCard>();
    ASSERT_NE(write, nullptr);
    EXPECT_EQ(write->txtCardName[0]->text().toStdString(), "東京本社");
    EXPECT_EQ(write->lblCardName->text().toStdString(), "東京本社");
    walk("戻る", {"特定日スケジュール", "休日パターン", "曜日パターン"});
    dialogs_.expect("カードから読み込んだファイルです。保存しますか？", forms::vbNo);
    walk("戻る", {"start"});
    exitProgram();
}

// The single-page card menus, each opened on the blank card left blank and left with 戻る.
TEST_F(CardJourney, TheReadCopyAndMessageMenusGoBackToTheStart) {
    for (const auto& [menu, step] : std::map<int, std::string>{{3, "カードから読込"}, {4, "カードのコピー／初期化"}, {5, "メッセージの編集"}}) {
        answerAt(step, {{"今すぐ初期化しますか？", forms::vbNo}});
        chooseMenu(menu, step);
        walk("戻る", {"start"});
    }
    exitProgram();
}

}  // namespace
}  // namespace journey
