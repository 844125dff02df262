// One menu bar: a page's own menus take the main window's bar while the page is shown,
// and the main window's own menus come back when none is.
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>

#include "shell_fixture.h"

namespace {

std::vector<std::string> gTriggered;

// A page with a bar of its own, as the real pages build theirs.
class MenuPage : public wizard::Page {
public:
    MenuPage(const char* name, std::initializer_list<const char*> menus, QWidget* parent) : Page(parent) {
        setObjectName(name);
        auto* bar = new QMenuBar(this);
        for (const char* title : menus) {
            QMenu* menu = bar->addMenu(QString::fromUtf8(title));
            QAction* item = menu->addAction("目次(&C)");
            const std::string what = std::string(name) + " " + title;
            connect(item, &QAction::triggered, [what] { gTriggered.push_back(what); });
        }
    }
};

class MenuBar : public shelltest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        gTriggered.clear();
        wizard::registerPage(2, [](QWidget* p) { return new MenuPage("frmPattern", {"ﾌｧｲﾙ(&F)", "印刷(&P)", "ﾍﾙﾌﾟ(&H)"}, p); });
        wizard::registerPage(3, [](QWidget* p) { return new MenuPage("frmPattern", {"ﾌｧｲﾙ(&F)", "印刷(&P)", "ﾍﾙﾌﾟ(&H)"}, p); });
        wizard::registerPage(4, [](QWidget* p) { return new MenuPage("frmSchedule", {"ﾌｧｲﾙ(&F)", "ﾍﾙﾌﾟ(&H)"}, p); });
        started();
        m().resize(800, 640);
    }
    void TearDown() override {
        for (int g : {2, 3, 4}) wizard::registerPage(g, {});
        ProgramFolder::TearDown();
    }
    frmMain& m() { return *main_; }

    // The menu titles the user sees, left to right, and how many bars show.
    std::vector<std::string> shownMenus() {
        std::vector<std::string> titles;
        for (QAction* a : m().menuBar()->actions())
            if (a->isVisible()) titles.push_back(a->text().toStdString());
        return titles;
    }
    int shownBars() {
        int n = 0;
        for (QMenuBar* bar : m().findChildren<QMenuBar*>())
            if (bar->isVisible()) ++n;
        return n;
    }
    // Opens a menu of the main bar with the mouse and clicks its first item.
    void clickFirstItem(const std::string& title) {
        QMenuBar* bar = m().menuBar();
        QAction* menuAction = nullptr;
        for (QAction* a : bar->actions())
            if (a->isVisible() && a->text().toStdString() == title) menuAction = a;
        ASSERT_NE(menuAction, nullptr) << title;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menuAction).center());
        QMenu* menu = menuAction->menu();
        ASSERT_TRUE(QTest::qWaitFor([menu] { return menu->isVisible(); }, 1000));
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(menu->actions().front()).center());
    }
};

TEST_F(MenuBar, TheShownPageMenusTakeTheMainBar) {
    const std::vector<std::string> own = {"ﾍﾙﾌﾟ(&H)"};
    const std::vector<std::string> pattern = {"ﾌｧｲﾙ(&F)", "印刷(&P)", "ﾍﾙﾌﾟ(&H)"};
    const std::vector<std::string> calendar = {"ﾌｧｲﾙ(&F)", "ﾍﾙﾌﾟ(&H)"};
    EXPECT_EQ(shownMenus(), own);

    // New document menu: the hidden new step runs and the weekday patterns show.
    QTest::mouseClick(m().startScreen()->cmdItem(0), Qt::LeftButton);
    ASSERT_EQ(m().activePage()->objectName(), "frmPattern");
    EXPECT_EQ(shownMenus(), pattern);
    EXPECT_EQ(shownBars(), 1);

    clickFirstItem("ﾍﾙﾌﾟ(&H)");
    EXPECT_EQ(gTriggered, std::vector<std::string>{"frmPattern ﾍﾙﾌﾟ(&H)"}) << "the page's own help answers";

    struct Step {
        int label;
        const char* page;  // nullptr: the start screen
        std::vector<std::string> menus;
    };
    for (const Step& s : {Step{5, "frmSchedule", calendar}, Step{4, "frmPattern", pattern},
                          Step{0, nullptr, own}}) {
        SCOPED_TRACE(s.label);
        QTest::mouseClick(m().lblWizard(s.label), Qt::LeftButton);
        if (s.page) {
            ASSERT_NE(m().activePage(), nullptr);
            EXPECT_EQ(m().activePage()->objectName(), s.page);
        } else {
            EXPECT_TRUE(m().startScreen()->isVisible());
        }
        EXPECT_EQ(shownMenus(), s.menus);
        EXPECT_EQ(shownBars(), 1);
    }
}

// The calendar hides itself while a day-pattern editor of its own opens in the client
// area; the editor's menus show, and the calendar's come back with it.
TEST_F(MenuBar, AWindowOpenedOverThePageLendsItsMenusUntilItGoes) {
    QTest::mouseClick(m().startScreen()->cmdItem(0), Qt::LeftButton);
    QTest::mouseClick(m().lblWizard(5), Qt::LeftButton);
    wizard::Page* calendar = m().activePage();
    ASSERT_EQ(calendar->objectName(), "frmSchedule");

    calendar->hide();
    auto* editor = new MenuPage("frmPattern", {"ﾌｧｲﾙ(&F)", "印刷(&P)", "ﾒｯｾｰｼﾞ(&M)", "ﾍﾙﾌﾟ(&H)"}, m().clientArea());
    editor->show();
    EXPECT_EQ(shownMenus(), (std::vector<std::string>{"ﾌｧｲﾙ(&F)", "印刷(&P)", "ﾒｯｾｰｼﾞ(&M)", "ﾍﾙﾌﾟ(&H)"}));
    EXPECT_EQ(shownBars(), 1);
    clickFirstItem("ﾒｯｾｰｼﾞ(&M)");
    EXPECT_EQ(gTriggered, std::vector<std::string>{"frmPattern ﾒｯｾｰｼﾞ(&M)"});

    editor->hide();
    delete editor;
    calendar->show();
    EXPECT_EQ(shownMenus(), (std::vector<std::string>{"ﾌｧｲﾙ(&F)", "ﾍﾙﾌﾟ(&H)"}));
    EXPECT_EQ(shownBars(), 1);
}

}  // namespace
