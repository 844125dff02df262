// The card window against a scripted control: its pages, the card status and information
// it shows, and initialising and repairing a card.
#include "card_window_fixture.h"
#include "help/help.h"

namespace cardtest {
namespace {

using card::dispid::CardStatus;
using card::dispid::Format;
using card::dispid::ReadCardInfo;
using card::dispid::Repair;

class Pages : public CardWindow {};

TEST_F(Pages, EachPageShowsItsFramesAndButtons) {
    struct Case {
        int formNo;
        const char* caption;
        std::vector<const char*> shown, hidden;
    };
    const std::vector<Case> cases = {
        {5, "カードから読込", {"fraCard", "cmdBack", "cmdRead"}, {"fraWrite", "tabMessage", "fraAction", "cmdWrite", "cmdNext"}},
        {6, "カードに書込", {"fraCard", "fraWrite", "cmdWrite", "cmdBack", "cmdNext"}, {"tabMessage", "fraAction", "cmdRead"}},
        {7, "カードのコピー／初期化", {"fraCard", "fraAction", "cmdBack"}, {"fraWrite", "tabMessage", "cmdWrite", "cmdRead", "cmdNext"}},
        {8, "メッセージの編集", {"fraCard", "tabMessage", "cmdBack"}, {"fraWrite", "fraAction", "cmdWrite", "cmdRead", "cmdNext"}},
        {20, "ファームウェアのバージョンアップ", {"fraCard", "fraCardFirmware", "fraProgram", "lblHint", "cmdBack"},
         {"fraWrite", "tabMessage", "fraAction", "cmdWrite", "cmdRead", "cmdNext"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.formNo);
        if (c.formNo == 6) newDocument();
        window_.reset();
        frmCard& f = open(c.formNo);
        const std::map<std::string, QWidget*> widgets = {
            {"fraCard", f.fraCard}, {"fraWrite", f.fraWrite}, {"tabMessage", f.tabMessage}, {"fraAction", f.fraAction},
            {"cmdWrite", f.cmdWrite}, {"cmdNext", f.cmdNext}, {"cmdBack", f.cmdBack}, {"cmdRead", f.cmdRead},
            {"fraCardFirmware", f.fraCardFirmware}, {"fraProgram", f.fraProgram}, {"lblHint", f.lblHint}};
        EXPECT_EQ(f.windowTitle().toStdString(), c.caption);
        for (const char* name : c.shown) EXPECT_FALSE(widgets.at(name)->isHidden()) << name;
        for (const char* name : c.hidden) EXPECT_TRUE(widgets.at(name)->isHidden()) << name;
        EXPECT_EQ(f.mnuPrint->menuAction()->isVisible(), c.formNo == 7);
        // Copying, the settings write and the restore tab are service functions.
        EXPECT_TRUE(f.fraCopy->isHidden());
        EXPECT_TRUE(f.chkSchedule->isHidden());
        EXPECT_FALSE(f.tabMessage->isTabVisible(3));
    }
}

TEST_F(Pages, ReadButtonIsTheForwardButtonAndFormNineKeepsThePage) {
    frmCard& f = open(5);
    EXPECT_EQ(f.cmdRead->text().toStdString(), "次へ");
    EXPECT_EQ(tip(f.cmdBack), "メニューに戻ります。");
    f.msbShowForm(9, 0);
    EXPECT_EQ(f.windowTitle().toStdString(), "カードから読込");
    EXPECT_FALSE(f.cmdRead->isHidden());
}

TEST_F(Pages, ServiceModeShowsTheServiceFunctions) {
    gfServiceMode = vbTrue;
    frmCard& f = open(7);
    EXPECT_FALSE(f.fraCopy->isHidden());
    EXPECT_FALSE(f.fraProgram->isHidden());
    EXPECT_TRUE(f.tabMessage->isTabVisible(3));
}

TEST_F(Pages, OpeningAPageStartsThePollWithAutoReadOff) {
    frmCard& f = open(7);
    (void)f;
    std::vector<std::string> puts;
    for (const auto& e : fake().log)
        if (e.rfind("put ", 0) == 0) puts.push_back(e);
    // StandbyMonitor, AutoRead, CheckInterval, UpDateInterval, CheckCard, Enabled, in order.
    const std::vector<std::string> start = {"put 22=True", "put 4=False", "put 14=1000", "put 2=500", "put 13=True", "put 1=True"};
    auto it = std::search(puts.begin(), puts.end(), start.begin(), start.end());
    EXPECT_NE(it, puts.end());
}

TEST_F(Pages, HelpContextFollowsWhatIsVisible) {
    help::RecordingViewer viewer;
    const std::pair<int, std::vector<long>> cases[] = {{5, {130}}, {6, {110}}, {7, {170}}, {8, {140, 150, 160, -1}}, {20, {}}};
    for (const auto& [formNo, contexts] : cases) {
        SCOPED_TRACE(formNo);
        if (formNo == 6) newDocument();
        window_.reset();
        frmCard& f = open(formNo);
        viewer.clear();
        if (formNo == 8) {
            for (int tab = 0; tab < 4; ++tab) {
                f.tabMessage->setCurrentIndex(tab);
                f.mnuHelpWindow_Click();
            }
        } else {
            f.mnuHelpWindow_Click();
        }
        EXPECT_EQ(viewer.contexts(), contexts);
    }
}

TEST_F(Pages, CardNameEditorOpensEverywhereButOnTheWritePage) {
    prepare = [](FakeCard& c) {
        c.setStatus(0);
        c.props[card::dispid::CardName] = com::Variant::bstr("ＡＢＣ");
    };
    frmCard& f = open(7);
    f.lblCardName_DblClick();
    EXPECT_FALSE(f.txtCardName[1]->isHidden());
    EXPECT_EQ(f.txtCardName[1]->text().toStdString(), "ＡＢＣ");
    EXPECT_TRUE(f.lblCardName->isHidden());

    window_.reset();
    newDocument();
    frmCard& g = open(6);
    g.lblCardName_DblClick();
    EXPECT_TRUE(g.txtCardName[1]->isHidden());
}

// ---------------------------------------------------------------------------------------

class Status : public CardWindow {};

TEST_F(Status, UnusableCardsAreShownAndReportedOnce) {
    struct Case {
        std::int32_t status;
        const char* headline;
        const char* tooltip;
        const char* report;  // nullptr: no message box
    };
    const Case cases[] = {
        {101, "カードなし", "カードを挿入してください。", nullptr},
        {112, "アダプタが認識できません", "カードアダプタの接続を確認してください。", nullptr},
        {102, "無効なカード", "ＫＶ－Ｍ５８Ｓのカードではありません。(102)", "ＫＶ－Ｍ５８Ｓのカードではありません。[102]"},
        {103, "壊れたカード", "このカードは使用できません。", "カードが壊れています。このカードは使用できません。[103]"},
        {601, "無効なカード", "カードのバージョンが違います。(601)", "カードのバージョンが違います。[601]"},
        {602, "壊れたカード", "管理用データが壊れています。このカードは使用できません。",
         "管理用データが壊れています。このカードは使用できません。[602]"},
        {999, "不明なエラー", "不明なエラーです。(999)", nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        if (c.report) dialogs_.expect(c.report);
        prepare = [&](FakeCard& f) { f.setStatus(c.status); };
        window_.reset();
        frmCard& f = open(7);
        EXPECT_EQ(text(f.lblCardError), c.headline);
        EXPECT_EQ(tip(f.lblCardError), c.tooltip);
        EXPECT_FALSE(f.lblCardError->isHidden());
        EXPECT_EQ(f.lblCardError->property("foreColor").toInt(), c.status == 101 ? forms::vbButtonText : 255);
        EXPECT_EQ(dialogs_.pending(), 0u);
        // Nothing but navigation works without a usable card.
        EXPECT_FALSE(f.cmdInitial->isEnabled());
        EXPECT_FALSE(f.sstCardMsg->isEnabled());
        EXPECT_TRUE(f.cmdBack->isEnabled());
        EXPECT_EQ(fake().calls(ReadCardInfo), 0);
        // The same status again changes nothing and reports nothing.
        fake().fire(card::eventid::StatusChange, {com::Variant::i4(c.status)});
        EXPECT_EQ(dialogs_.pending(), 0u);
    }
}

TEST_F(Status, DecliningToInitialiseLeavesOnlyInitialiseUsable) {
    prepare = [](FakeCard& c) { c.setStatus(111); };
    dialogs_.expect("初期化されていません。\r\n今すぐ初期化しますか？", forms::vbNo);
    frmCard& f = open(7);
    EXPECT_EQ(text(f.lblCardError), "初期化されていません");
    EXPECT_TRUE(f.cmdInitial->isEnabled());
    EXPECT_FALSE(f.cmdCopy->isEnabled());
    EXPECT_EQ(fake().calls(Format), 0);
}

TEST_F(Status, RepairRunsWithTheStatusAndTheCardIsReadAgain) {
    prepare = [](FakeCard& c) { c.results[CardStatus] = {605, 0}; };
    dialogs_.expect("スケジュールデータが壊れています。\r\n今すぐ修復しますか？", forms::vbYes)
        .expect("修復が完了しました。");
    frmCard& f = open(7);
    EXPECT_EQ(fake().calls(Repair), 1);
    EXPECT_NE(std::find(fake().log.begin(), fake().log.end(), "36(605)"), fake().log.end());
    EXPECT_EQ(fake().calls(ReadCardInfo), 1);
    EXPECT_TRUE(f.lblCardError->isHidden());
    EXPECT_TRUE(f.cmdInitial->isEnabled());
    // The poll is left as the repair found it.
    EXPECT_TRUE(fake().props[card::dispid::CheckCard].asBool());
}

TEST_F(Status, InitialiseOfferedByTheStatusReportsAFailedFormat) {
    prepare = [](FakeCard& c) {
        c.results[CardStatus] = {111, 111};
        c.results[Format] = {108};
    };
    dialogs_.expect("今すぐ初期化しますか？", forms::vbYes)
        .expect("初期化中にエラーが発生しました。[108]");
    // After a format that ran the status is read again; a second 111 equal to the one shown
    // is not classified again.
    open(7);
    EXPECT_EQ(fake().calls(Format), 1);
}

TEST_F(Status, CardInformationIsShown) {
    prepare = [](FakeCard& c) {
        c.setStatus(0);
        c.props[card::dispid::CardName] = com::Variant::bstr("営業所");
        c.props[card::dispid::CardSize] = com::Variant::i4(3600);
        c.props[card::dispid::CardRemain] = com::Variant::i4(65000);
        c.props[card::dispid::RecBoard] = com::Variant::boolean(true);
        c.props[card::dispid::BusyCircuit] = com::Variant::boolean(true);
        c.indexed[{card::dispid::VersionCard, 0}] = com::Variant::i2(1);
        c.indexed[{card::dispid::VersionCard, 1}] = com::Variant::i2(0);
        c.indexed[{card::dispid::VersionCard, 2}] = com::Variant::i2(5);
        c.indexed[{card::dispid::PatternSet, 8}] = com::Variant::boolean(true);
        c.indexed[{card::dispid::MessageAnsRec, 3}] = com::Variant::boolean(true);
        c.indexed[{card::dispid::MessageName, 3}] = com::Variant::bstr("受付");
        c.indexed[{card::dispid::MessageTime, 3}] = com::Variant::i4(65000);
        c.setDates(2026, 12, 1);
    };
    frmCard& f = open(7);
    EXPECT_TRUE(f.lblCardError->isHidden());
    EXPECT_EQ(text(f.lblCardName), "営業所");
    EXPECT_EQ(text(f.lblCardVersion), "本体Ver. 1.05 Rec Busy");
    EXPECT_EQ(f.lblCardTime->property("tag").toString().toStdString(), "3600");
    EXPECT_EQ(f.sstCardSchedule->text(2, 1), "なし");
    EXPECT_EQ(f.sstCardSchedule->text(2, 2), "あり");
    EXPECT_EQ(text(f.lblCScheduleUpdate), "２０２６年１２月０１日");
    EXPECT_EQ(f.sstCardMsg->text(2, 3), "受付");
    EXPECT_EQ(f.sstCardMsg->text(4, 3), "録音");
    EXPECT_EQ(f.sstCardMsg->text(5, 3), "65000");
    // An answer-and-record channel shows the answer column, except on the write page.
    EXPECT_FALSE(f.sstCardMsg->colHidden(4));
    // No program on the card.
    EXPECT_EQ(f.sstCardMsg->text(2, 13), "ﾌｧｰﾑｳｪｱﾃﾞｰﾀ Ver.-.--");
    EXPECT_TRUE(f.cmdInitial->isEnabled());

    window_.reset();
    newDocument();
    frmCard& g = open(6);
    EXPECT_TRUE(g.sstCardMsg->colHidden(4));
}

TEST_F(Status, AFailedInformationReadIsReported) {
    prepare = [](FakeCard& c) {
        c.setStatus(0);
        c.results[ReadCardInfo] = {106};
    };
    dialogs_.expect("カード情報読み込み中にエラーが発生しました。[106]");
    frmCard& f = open(7);
    EXPECT_EQ(text(f.lblCardError), "カード情報読取エラー");
    EXPECT_EQ(tip(f.lblCardError), "カード情報を読み込み中にエラーが発生しました。(106)");
    EXPECT_EQ(text(f.lblCardStatus), "106");
}

TEST_F(Status, EventsOfTheControlReachTheDiagnosticLabels) {
    frmCard& f = open(7);
    fake().fire(card::eventid::ModeChange, {com::Variant::i4(3)});
    fake().fire(card::eventid::PositionChange, {com::Variant::i4(5), com::Variant::i4(40)});
    EXPECT_EQ(text(f.lblMode), "Mode：3");
    EXPECT_EQ(text(f.lblPosition), "5");
    EXPECT_EQ(text(f.lblLength), "40");
    EXPECT_EQ(f.workingLength(), 40);
}

// ---------------------------------------------------------------------------------------

class Initialise : public CardWindow {
protected:
    void SetUp() override {
        prepare = [](FakeCard& c) { c.setStatus(0); };
        CardWindow::SetUp();
    }
};

TEST_F(Initialise, NoLeavesTheCardAloneAndDoesNotReadItAgain) {
    open(7);
    const int reads = fake().calls(CardStatus);
    dialogs_.expect("このカードを初期化してもよろしいですか？", forms::vbNo);
    w().cmdInitial_Click();
    EXPECT_EQ(fake().calls(Format), 0);
    EXPECT_EQ(fake().calls(CardStatus), reads);
    EXPECT_TRUE(w().cmdInitial->isEnabled());
}

TEST_F(Initialise, ResultsAreReportedAndTheCardIsReadAgain) {
    const std::pair<std::int32_t, const char*> cases[] = {
        {0, "カードを初期化しました。"}, {108, "カードの初期化中にエラーが発生しました。[108]"}};
    for (const auto& [result, message] : cases) {
        SCOPED_TRACE(result);
        window_.reset();
        open(7);
        fake().results[Format] = {result};
        const int reads = fake().calls(CardStatus);
        dialogs_.expect("初期化すると、すべてのデータが消去されます。", forms::vbYes).expect(message);
        w().cmdInitial_Click();
        EXPECT_EQ(fake().calls(Format), 1);
        EXPECT_EQ(fake().calls(CardStatus), reads + 1);
        EXPECT_EQ(w().working(), nullptr);
        EXPECT_TRUE(w().cmdInitial->isEnabled());
        EXPECT_TRUE(w().isEnabled());
    }
}

}  // namespace
}  // namespace cardtest
