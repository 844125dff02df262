// The pages as a person reaches them through the wizard: clicks on the start screen's
// menus, the step bar and the pages' own buttons, through Qt's event queue.
#include <QApplication>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "calendar/calendar.h"
#include "card/window.h"
#include "fit_fixture.h"
#include "patterns/frm_pattern.h"
#include "patterns/links.h"

namespace fittest {
namespace {

QRect globalRect(const QWidget* w) { return QRect(w->mapToGlobal(QPoint(0, 0)), w->size()); }

// The visible windows of the page area, by name.
std::vector<std::string> shownInPageArea(const frmMain& main) {
    std::vector<std::string> names;
    for (QObject* o : main.clientArea()->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (w && !w->isWindow() && w->isVisible()) names.push_back(w->objectName().toStdString());
    }
    return names;
}

class Wizard : public Fit {
protected:
    void SetUp() override {
        Fit::SetUp();
        card::registerPages();
        patterns::registerPages();
        calendar::registerPages();
        QApplication::processEvents();
    }
    void TearDown() override {
        for (int g : {1, 2, 3, 4, 5, 6, 7, 8, 9, 20}) wizard::registerPage(g, {});
        Fit::TearDown();
    }
    void click(QWidget* w) {
        ASSERT_TRUE(w && w->isVisible() && w->isEnabled());
        QTest::mouseClick(w, Qt::LeftButton);
        QApplication::processEvents();
    }
    // A click that the main event loop delivers, as in the program: a page that a click
    // closes is freed only once the loop has the click behind it.
    void clickFromTheLoop(QWidget* w) {
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            click(w);
            loop.quit();
        });
        loop.exec();
    }
    // The shown page's own button of that caption.
    QPushButton* button(const char* caption) {
        for (auto* b : main_->activePage()->findChildren<QPushButton*>())
            if (b->isVisible() && b->text() == QString::fromUtf8(caption)) return b;
        return nullptr;
    }
};

// While the holiday page asks whether holidays are used, the weekday page before it is
// gone from the screen: one set of buttons, one page.
TEST_F(Wizard, TheHolidayQuestionShowsOverTheHolidayPageAlone) {
    master("UPDATE tblSyukujitu SET fldSyukujitu = 255 WHERE fldDay = 0");
    click(main_->startScreen()->cmdItem(0));
    ASSERT_EQ(main_->activePage()->objectName(), "frmPattern");
    std::vector<std::string> shown;
    int backButtons = 0;
    withRealBoxes([&] { clickFromTheLoop(button("次へ")); },
                  [&](QMessageBox& box) {
                      EXPECT_TRUE(box.text().contains(QString::fromUtf8("祝日を使用しますか？")));
                      shown = shownInPageArea(*main_);
                      for (auto* b : main_->clientArea()->findChildren<QPushButton*>())
                          if (b->isVisible() && b->text() == QString::fromUtf8("戻る")) ++backButtons;
                      shot(main_.get(), &box, "holiday_question");
                      return QMessageBox::Yes;
                  });
    EXPECT_EQ(shown, std::vector<std::string>{"frmPattern"});
    EXPECT_EQ(backButtons, 1);
    EXPECT_TRUE(static_cast<frmPattern*>(main_->activePage())->chkSyukujitu()->isChecked());
}

// Every page lies inside the page area, and the start screen comes back where it was at
// start-up, after a card page too.
TEST_F(Wizard, PagesLieInsideThePageAreaAndTheStartScreenComesBackWhereItWas) {
    const QRect start = globalRect(main_->startScreen());
    const auto expectInside = [&](const std::string& state) {
        QApplication::processEvents();
        QWidget* page = main_->activePage();
        ASSERT_NE(page, nullptr) << state;
        EXPECT_TRUE(pageArea().contains(globalRect(page))) << state;
    };
    const auto backToMenu = [&](const std::string& state) {
        click(main_->lblWizard(0));
        ASSERT_TRUE(main_->startScreen()->isVisible()) << state;
        EXPECT_EQ(globalRect(main_->startScreen()), start) << "after " << state;
    };
    // A new document: the pattern pages, the calendar and the card write page.
    dialogs_.expect("祝日を使用しますか？", forms::vbYes);
    click(main_->startScreen()->cmdItem(0));
    for (const char* state : {"weekdays", "holidays", "calendar", "card_write"}) {
        expectInside(state);
        if (std::string(state) != "card_write") click(button("次へ"));
    }
    dialogs_.expect("変更されています", forms::vbNo);
    backToMenu("card_write");
    // The card menus: read, copy and initialise, messages.
    for (int menu : {2, 3, 4}) {
        const std::string state = "card_menu_" + std::to_string(menu + 1);
        click(main_->startScreen()->cmdItem(menu));
        expectInside(state);
        click(button("戻る"));
        ASSERT_TRUE(main_->startScreen()->isVisible()) << state;
        EXPECT_EQ(globalRect(main_->startScreen()), start) << "after " << state;
    }
}

}  // namespace
}  // namespace fittest
