// The program's help items, clicked as a hand clicks them: the start screen's ヘルプ, a
// page's help menu, and a modal dialog's help menu, each reaching the help window at its
// topic; the help window ends with the program.
#include <QDialog>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <functional>

#include "help_fixture.h"
#include "printer/printer.h"
#include "shell/start_screen.h"

namespace {

using helptest::clickMenuItem;
using helptest::shownPage;

const QString kHelpMenu = QString::fromUtf8("ﾍﾙﾌﾟ(&H)");
const QString kThisScreen = QString::fromUtf8("この画面に関するﾍﾙﾌﾟ(&W)");

// A click through the window system, which a window blocked by a modal dialog never gets.
void handClick(QWidget* w) {
    QWidget* top = w->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, w->mapTo(top, w->rect().center()));
    QTest::qWait(0);
}

// Runs `act` on the modal dialog once one is up; the caller then opens it.
void whenModal(std::function<void(QWidget*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        act(dialog);
    });
    poll->start();
}

class ProgramHelp : public helptest::ProgramWithHelp {
protected:
    frmMain& m() { return *main_; }
    // Chooses a start-screen menu with the mouse.
    void chooseMenu(int index) {
        QTest::mouseClick(m().startScreen()->cmdItem(index), Qt::LeftButton);
        QTest::qWait(0);
    }
};

}  // namespace

TEST_F(ProgramHelp, TheStartScreensHelpButtonOpensItsTopicAndTheHelpWindowEndsWithTheProgram) {
    started();
    ASSERT_TRUE(m().startScreen()->isVisible());
    QPushButton* help = nullptr;
    for (QPushButton* b : m().startScreen()->findChildren<QPushButton*>())
        if (b->text() == QString::fromUtf8("ヘルプ")) help = b;
    ASSERT_NE(help, nullptr);
    QTest::mouseClick(help, Qt::LeftButton);
    const QPointer<help::Window> window = help::openWindow();
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(shownPage(), "start.html");
    EXPECT_EQ(window->book().folder().toStdString(), (dir_ / "QPN_RDX.chm").string()) << "the book beside the program";

    // The start screen's 終了 (menu 6) ends the program.
    chooseMenu(5);
    EXPECT_TRUE(m().isUnloaded());
    EXPECT_TRUE(window.isNull() || !window->isVisible()) << "closed at once";
    QTest::qWait(0);
    EXPECT_TRUE(window.isNull()) << "and gone once the event loop turns";
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(ProgramHelp, APagesHelpMenuOpensTheTopicOfThePageShown) {
    started();
    m().resize(960, 720);
    chooseMenu(0);  // a new document: the weekday patterns
    ASSERT_NE(m().activePage(), nullptr);
    clickMenuItem(m().menuBar(), kHelpMenu, kThisScreen);
    EXPECT_EQ(shownPage(), "pattern-weekday.html");

    // The step bar's 特定日スケジュール: the calendar.
    QLabel* calendarStep = nullptr;
    for (int i = 1; i <= 10; ++i)
        if (m().lblWizard(i)->text() == QString::fromUtf8("特定日スケジュール")) calendarStep = m().lblWizard(i);
    ASSERT_NE(calendarStep, nullptr);
    QTest::mouseClick(calendarStep, Qt::LeftButton);
    QTest::qWait(0);
    ASSERT_EQ(m().activePage()->objectName().toStdString(), "frmSchedule");
    clickMenuItem(m().menuBar(), kHelpMenu, kThisScreen);
    EXPECT_EQ(shownPage(), "calendar.html");
    clickMenuItem(m().menuBar(), kHelpMenu, QString::fromUtf8("目次(&C)"));
    EXPECT_EQ(shownPage(), "contents.html");
    help::Window* w = help::openWindow();
    handClick(w->backButton());
    EXPECT_EQ(shownPage(), "calendar.html");
}

// The print dialog is modal: the help window it opens takes the user's clicks while the
// dialog is up, and stays open once it is closed.
TEST_F(ProgramHelp, HelpFromTheModalPrintDialogTakesClicksAndOutlivesIt) {
    printer::PrinterInfo queue;
    queue.deviceName = "Office";
    printer::setPrintersForTesting(std::vector{queue});
    started();
    m().resize(960, 720);
    chooseMenu(0);
    std::string inDialog, afterClick;
    bool dialogSeen = false;
    whenModal([&](QWidget* dialog) {
        dialogSeen = true;
        clickMenuItem(dialog->findChild<QMenuBar*>(), kHelpMenu, kThisScreen);
        inDialog = shownPage();
        if (help::Window* w = help::openWindow()) handClick(w->contentsButton());
        afterClick = shownPage();
        for (QPushButton* b : dialog->findChildren<QPushButton*>())
            if (b->text() == QString::fromUtf8("中止") && b->isVisible()) handClick(b);
    });
    clickMenuItem(m().menuBar(), QString::fromUtf8("印刷(&P)"), QString::fromUtf8("スケジュール(&S)"));
    printer::setPrintersForTesting(std::nullopt);
    ASSERT_TRUE(dialogSeen);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "the dialog closed";
    EXPECT_EQ(inDialog, "print.html");
    EXPECT_EQ(afterClick, "contents.html") << "the help window took the click";
    help::Window* w = help::openWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->parentWidget(), &m());
}

TEST_F(ProgramHelp, BrandModeOpensItsOwnHelpFileAndAMissingOneIsReported) {
    master("UPDATE tblOption SET fldOptionValue = 'T' WHERE fldOptionItem = '動作モード'");
    std::filesystem::remove(dir_ / "QPN_RDX.chm");
    started();
    clickMenuItem(m().menuBar(), kHelpMenu, QString::fromUtf8("目次(&C)"));
    ASSERT_NE(help::openWindow(), nullptr);
    EXPECT_EQ(std::filesystem::path(help::openWindow()->book().folder().toStdString()).filename(), "RDX.chm");
    EXPECT_EQ(shownPage(), "contents.html");

    std::filesystem::remove(dir_ / "RDX.chm");
    dialogs_.expect("ヘルプファイル（RDX.chm）がインストールされていません。");
    clickMenuItem(m().menuBar(), kHelpMenu, QString::fromUtf8("ｷｰﾜｰﾄﾞ(&I)"));
    EXPECT_EQ(dialogs_.pending(), 0u);
}
