// The step dispatcher against fake pages: scenarios of menu rows, a start step, moves, and
// the step, highlight and page calls expected.
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include "runtime/error.h"
#include "shell_fixture.h"

namespace {

// What the fake pages were asked, in order: "show 2", "leave frmPattern", ...
std::vector<std::string> gCalls;

class FakePage : public wizard::Page {
public:
    FakePage(const char* name, QWidget* parent) : Page(parent) { setObjectName(name); }
    void msbShowForm(int formNo, int menuNo) override {
        gCalls.push_back("show " + std::to_string(formNo) + " menu " + std::to_string(menuNo));
    }
    void leavePage() override { gCalls.push_back("leave " + objectName().toStdString()); }
    void resumePage() override { gCalls.push_back("resume " + objectName().toStdString()); }
};

// A page whose opening fails with a run-time error.
class FailingPage : public wizard::Page {
public:
    using Page::Page;
    void msbShowForm(int, int) override { runtime::raise(3021); }
};

// A page with buttons of its own that reach the main window only through its host, as the
// real pages do: 次へ moves on, a second button holds the step bar while it works.
class HostedPage : public wizard::Page {
public:
    explicit HostedPage(QWidget* parent) : Page(parent) {
        setObjectName("frmHosted");
        auto* column = new QVBoxLayout(this);
        next = new QPushButton("次へ", this);
        hold = new QPushButton("保持", this);
        column->addWidget(next);
        column->addWidget(hold);
        connect(next, &QPushButton::clicked, this, [] {
            if (wizard::Host* h = wizard::host()) h->msbShowNext();
        });
        connect(hold, &QPushButton::clicked, this, [this] {
            if (wizard::Host* h = wizard::host()) {
                h->setStepBarEnabled(false);
                seenName = h->shownFileName();
            }
        });
    }
    QPushButton* next;
    QPushButton* hold;
    std::string seenName;
};

class Wizard : public shelltest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        gCalls.clear();
        for (int g : {1, 2, 3, 4}) {
            const char* name = g == 1 ? "frmSetting" : g == 4 ? "frmSchedule" : "frmPattern";
            wizard::registerPage(g, [name](QWidget* p) { return new FakePage(name, p); });
        }
        for (int g : {5, 6, 7, 8, 9, 20})
            wizard::registerPage(g, [](QWidget* p) { return new FakePage("frmCard", p); });
        started();
        master("DELETE FROM tblWizard WHERE fldMenuNo >= 8");
    }
    void TearDown() override {
        for (int g : {1, 2, 3, 4, 5, 6, 7, 8, 9, 20, 30}) wizard::registerPage(g, {});
        ProgramFolder::TearDown();
    }
    frmMain& m() { return *main_; }
    // Menu 9 made of (step, form number, caption) rows.
    void menu(std::initializer_list<std::tuple<int, int, const char*>> rows, int no = 9) {
        master("DELETE FROM tblWizard WHERE fldMenuNo = " + std::to_string(no));
        for (const auto& [n, g, caption] : rows)
            master("INSERT INTO tblWizard VALUES (" + std::to_string(no) + ", " + std::to_string(n) + ", " +
                   std::to_string(g) + ", '" + caption + "')");
    }
    std::string visibleSteps() {
        std::string out;
        for (int i = 1; i <= 10; ++i)
            if (!m().lblWizard(i)->isHidden()) out += std::to_string(i);
        return out;
    }
    void expectIdle() {
        EXPECT_TRUE(m().isEnabled());
        EXPECT_TRUE(m().picWizard()->isEnabled());
        EXPECT_EQ(forms::screenPointer(), forms::vbDefault);
    }
};

TEST_F(Wizard, NextAndBackScenarios) {
    struct Move {
        char what;  // 'N' next, 'B' back, or a digit: click on that label ('0'..'9'); 'X' = label 10
        int step;   // expected current step afterwards
        bool startScreen;
    };
    struct Scenario {
        const char* name;
        std::vector<std::tuple<int, int, const char*>> rows;
        bool service;
        int firstStep;
        std::vector<Move> moves;
        std::string visible;
    };
    const std::vector<Scenario> scenarios = {
        {"settings hidden outside service mode, skipped by next and passed on",
         {{1, 2, "曜日"}, {2, 1, "設定"}, {3, 4, "カレンダー"}, {4, 0, "終了"}}, false, 1,
         {{'N', 3, false}, {'B', 1, false}, {'2', 3, false}, {'N', 0, true}}, "134"},
        {"settings shown in service mode",
         {{1, 2, "曜日"}, {2, 1, "設定"}, {3, 4, "カレンダー"}}, true, 1,
         {{'N', 2, false}, {'N', 3, false}, {'B', 2, false}, {'B', 1, false}, {'B', 0, true}}, "123"},
        {"a click on 終了 runs its own form number",
         {{1, 2, "曜日"}, {2, 4, "終了"}}, false, 1, {{'2', 2, false}}, "12"},
        {"next on the last step passes the empty labels to the start screen",
         {{1, 2, "曜日"}, {2, 3, "休日"}}, false, 1, {{'N', 2, false}, {'N', 0, true}}, "12"},
        {"a menu without steps ends on the start screen", {}, false, 0, {}, ""},
        {"a hidden marker acts as the start screen",
         {{1, 2, "曜日"}, {2, 13, "印"}}, false, 1, {{'N', 0, true}}, "1"},
        {"next on label 10 does nothing",
         {{1, 2, "a"}, {2, 2, "b"}, {3, 2, "c"}, {4, 2, "d"}, {5, 2, "e"}, {6, 2, "f"}, {7, 2, "g"}, {8, 2, "h"},
          {9, 2, "i"}, {10, 3, "j"}},
         false, 1, {{'X', 10, false}, {'N', 10, false}}, "12345678910"},
    };
    for (const auto& s : scenarios) {
        SCOPED_TRACE(s.name);
        master("DELETE FROM tblWizard WHERE fldMenuNo = 9");
        for (const auto& [n, g, c] : s.rows)
            master("INSERT INTO tblWizard VALUES (9, " + std::to_string(n) + ", " + std::to_string(g) + ", '" + c + "')");
        gfServiceMode = vbBool(s.service);
        m().startScreen()->hide();
        m().msbShowWizard(9);
        EXPECT_EQ(visibleSteps(), s.visible);
        EXPECT_EQ(m().currentStep(), s.firstStep);
        for (const Move& mv : s.moves) {
            SCOPED_TRACE(std::string(1, mv.what));
            if (mv.what == 'N') {
                m().msbShowNext();
            } else if (mv.what == 'B') {
                m().msbShowBack();
            } else {
                m().lblWizard_Click(mv.what == 'X' ? 10 : mv.what - '0');
            }
            EXPECT_EQ(m().currentStep(), mv.step);
            EXPECT_EQ(m().startScreen()->isVisible(), mv.startScreen);
            if (!mv.startScreen) {
                EXPECT_EQ(m().lblHighlight()->text(), m().lblWizard(mv.step)->text());
                EXPECT_TRUE(m().picWizard()->isVisible());
            }
            expectIdle();
        }
    }
}

TEST_F(Wizard, PagesAreShownAndLeftInOrder) {
    menu({{1, 2, "曜日"}, {2, 3, "休日"}, {3, 4, "カレンダー"}, {4, 6, "書込"}});
    m().msbShowWizard(9);
    m().msbShowNext();
    m().msbShowNext();
    m().msbShowNext();
    m().msbShowBack();
    const std::vector<std::string> expected = {"show 2 menu 9",   "leave frmPattern", "show 3 menu 9",
                                               "leave frmPattern", "show 4 menu 9",    "leave frmSchedule",
                                               "show 6 menu 9",    "leave frmCard",    "show 4 menu 9"};
    EXPECT_EQ(gCalls, expected);
    ASSERT_NE(m().activePage(), nullptr);
    EXPECT_EQ(m().activePage()->objectName(), "frmSchedule");
}

TEST_F(Wizard, HiddenNewDocumentStepCreatesTheDocumentAndGoesOn) {
    menu({{1, 10, "新規"}, {2, 2, "曜日"}});
    m().startScreen()->hide();
    m().msbShowWizard(9);
    EXPECT_EQ(m().currentStep(), 2);
    EXPECT_EQ(m().fileName(), "新規");
    EXPECT_TRUE(exists("Regist.dat"));
    EXPECT_EQ(gCalls, std::vector<std::string>{"show 2 menu 9"});
    expectIdle();
}

TEST_F(Wizard, ShortMenuAfterLongOneRunsNoStaleStep) {
    // A long menu leaves the exit step on label 4; a two-step menu must not run it.
    menu({{1, 2, "a"}, {2, 2, "b"}, {3, 2, "c"}, {4, 14, "終了"}}, 10);
    m().msbShowWizard(10);
    menu({{1, 2, "a"}, {2, 3, "b"}});
    m().msbShowWizard(9);
    m().msbShowNext();
    m().msbShowNext();
    EXPECT_FALSE(m().isUnloaded());
    EXPECT_EQ(m().currentStep(), 0);
    EXPECT_TRUE(m().startScreen()->isVisible());
    for (int i = 3; i <= 10; ++i) EXPECT_TRUE(m().lblWizard(i)->property("tag").toString().isEmpty()) << i;
}

TEST_F(Wizard, CancelledStepsRestoreStepHighlightAndCardControl) {
    menu({{1, 2, "曜日"}, {2, 6, "書込"}, {3, 12, "保存"}, {4, 0, "終了"}, {5, 11, "開く"}, {6, 14, "閉"}});
    ASSERT_TRUE(m().mfnfMakeNewFile());
    m().msbSetBusy(true);
    m().msbShowWizard(9);
    m().msbShowNext();  // card write page
    gCalls.clear();
    gfChanged = vbTrue;

    // Save as cancelled: back on the card page, its control enabled again.
    dialogs_.expectFile(forms::FileDialogRequest::Save, std::nullopt);
    m().msbShowNext();
    EXPECT_EQ(m().currentStep(), 2);
    EXPECT_EQ(m().lblHighlight()->text(), "書込");
    EXPECT_EQ(gCalls, (std::vector<std::string>{"leave frmCard", "resume frmCard"}));
    expectIdle();

    // The start screen with the save prompt cancelled: nothing else changes.
    gCalls.clear();
    dialogs_.expect("は変更されています。", forms::vbCancel);
    m().lblWizard_Click(0);
    EXPECT_EQ(m().currentStep(), 2);
    EXPECT_EQ(m().fileName(), "新規");
    EXPECT_EQ(gCalls, (std::vector<std::string>{"leave frmCard", "resume frmCard"}));
    expectIdle();

    // Exit with the save prompt cancelled.
    gCalls.clear();
    dialogs_.expect("は変更されています。", forms::vbCancel);
    m().lblWizard_Click(6);
    EXPECT_FALSE(m().isUnloaded());
    EXPECT_EQ(m().currentStep(), 2);
    EXPECT_EQ(m().lblHighlight()->text(), "書込");

    // Open with the prompt cancelled: rule R back to the previous step, work database open.
    gCalls.clear();
    dialogs_.expect("は変更されています。", forms::vbCancel);
    m().lblWizard_Click(5);
    EXPECT_EQ(m().currentStep(), 2);
    EXPECT_TRUE(m().picWizard()->isVisible());
    EXPECT_TRUE(gdbWork.isOpen());
    EXPECT_EQ(gCalls, (std::vector<std::string>{"leave frmCard", "resume frmCard"}));
    gsbCloseDatabase(gdbWork);
    EXPECT_EQ(dialogs_.pending(), 0u);
    expectIdle();
}

TEST_F(Wizard, CancelledReadAsFirstStepReturnsToStartScreen) {
    menu({{1, 5, "読込"}, {2, 2, "曜日"}});
    gfChanged = vbTrue;
    m().msbSetFileName("カードデータ");
    m().startScreen()->hide();
    dialogs_.expect("カードから読み込んだファイルです。", forms::vbCancel);
    m().msbShowWizard(9);
    EXPECT_TRUE(m().startScreen()->isVisible());
    EXPECT_FALSE(m().picWizard()->isVisible());
    EXPECT_TRUE(gCalls.empty());
    expectIdle();
}

TEST_F(Wizard, SaveAsStepSavesAndReturnsToStartScreen) {
    menu({{1, 2, "曜日"}, {2, 12, "保存"}});
    ASSERT_TRUE(m().mfnfMakeNewFile());
    m().msbSetBusy(true);
    m().msbShowWizard(9);
    gfChanged = vbTrue;
    std::filesystem::create_directories(dir_ / "docs");
    dialogs_.expectFile(forms::FileDialogRequest::Save, (dir_ / "docs" / "a").string());
    m().msbShowNext();
    EXPECT_TRUE(std::filesystem::exists(dir_ / "docs" / "a.kvp"));
    EXPECT_TRUE(m().startScreen()->isVisible());
    EXPECT_EQ(m().fileName(), "");
    EXPECT_FALSE(gfChanged);
    EXPECT_FALSE(exists("Regist.dat"));
    EXPECT_EQ(m().activePage(), nullptr);
}

TEST_F(Wizard, ErrorDuringStepChangeLeavesTheWindowUsable) {
    wizard::registerPage(30, [](QWidget* p) { return new FailingPage(p); });
    menu({{1, 2, "曜日"}, {2, 30, "壊れ"}});
    m().msbShowWizard(9);
    gintLogMode = vbTrue;  // the non-fatal report is shown in log mode
    dialogs_.expect("3021", forms::vbOK);
    m().msbShowNext();
    EXPECT_EQ(dialogs_.pending(), 0u);
    expectIdle();
    dialogs_.expect("3021", forms::vbOK);
    m().lblWizard_Click(2);
    EXPECT_EQ(dialogs_.pending(), 0u);
    expectIdle();
}

TEST_F(Wizard, UnregisteredFormNumberShowsAPlaceholder) {
    menu({{1, 40, "未定"}});
    m().msbShowWizard(9);
    ASSERT_NE(m().activePage(), nullptr);
    EXPECT_EQ(m().activePage()->objectName(), "frmForm40");
}

TEST_F(Wizard, MenuButtonsOpenTheSeedMenusAndMenuReturns) {
    frmWizard* start = m().startScreen();
    start->cmdItem_Click(0);  // new document menu: the hidden new step runs
    EXPECT_FALSE(start->isVisible());
    EXPECT_EQ(m().fileName(), "新規");
    EXPECT_EQ(m().currentStep(), 3);  // settings hidden outside service mode
    EXPECT_TRUE(m().picWizard()->isVisible());
    m().lblWizard_Click(0);
    EXPECT_TRUE(start->isVisible());
    EXPECT_TRUE(start->tmrNow()->isEnabled());
    EXPECT_FALSE(exists("Regist.dat"));
}

TEST_F(Wizard, EnableGreysTheBar) {
    m().msbWizardEnable(false);
    EXPECT_FALSE(m().picWizard()->isEnabled());
    EXPECT_EQ(m().picWizard()->palette().color(QPalette::Window), QColor(0xE2, 0xE2, 0xE2));
    EXPECT_FALSE(m().lblWizard(3)->isEnabled());
    m().msbWizardEnable(true);
    EXPECT_EQ(m().picWizard()->palette().color(QPalette::Window), QColor(0xFF, 0xFF, 0xFF));
    EXPECT_TRUE(m().lblWizard(3)->isEnabled());
}

TEST_F(Wizard, APageReachesTheMainWindowThroughItsHostWhileTheWindowLives) {
    wizard::registerPage(30, [](QWidget* p) { return new HostedPage(p); });
    menu({{1, 30, "独自"}, {2, 2, "曜日"}});
    m().show();
    m().msbShowWizard(9);
    m().msbSetFileName("新規");
    auto* page = dynamic_cast<HostedPage*>(m().activePage());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(wizard::hostWindow(), &m()) << "the owner of the pages' dialogs";

    QTest::mouseClick(page->hold, Qt::LeftButton);
    EXPECT_FALSE(m().picWizard()->isEnabled());
    EXPECT_EQ(m().picWizard()->palette().color(QPalette::Window), QColor(0xFF, 0xFF, 0xFF)) << "its look stays";
    EXPECT_EQ(page->seenName, "新規");
    m().picWizard()->setEnabled(true);

    QTest::mouseClick(page->next, Qt::LeftButton);
    EXPECT_EQ(m().currentStep(), 2);
    EXPECT_EQ(gCalls, std::vector<std::string>{"show 2 menu 9"});

    main_.reset();
    EXPECT_EQ(wizard::host(), nullptr) << "no page may reach a closed main window";
    EXPECT_EQ(wizard::hostWindow(), nullptr);
}

}  // namespace
