// The help book the build installs: every context number the windows pass opens its own
// topic, every link and index entry leads to a page that is there, and the keyword index
// finds what a user types.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRegularExpression>

#include <set>

#include "core/help.h"
#include "help/book.h"
#include "help_fixture.h"

namespace {

using helptest::programBuild;

QString builtBook(const char* name) { return QString::fromStdString((programBuild() / name).string()); }

QString readPage(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// Whether a target ("page.html#anchor") names a page of the book, and an anchor in it.
bool resolves(const QString& folder, const QString& target, std::string& why) {
    const QStringList parts = target.split('#');
    const QString page = readPage(folder + "/" + parts[0]);
    if (page.isEmpty()) {
        why = "no page " + parts[0].toStdString();
        return false;
    }
    if (parts.size() > 1 && !page.contains("name=\"" + parts[1] + "\"")) {
        why = "no anchor " + target.toStdString();
        return false;
    }
    return true;
}

class HelpBook : public ::testing::Test {
protected:
    void SetUp() override {
        setHelpOwner(nullptr);
        setAppHelpFile(builtBook("QPN_RDX.chm").toStdString());
    }
    void TearDown() override {
        help::closeAll();
        QTest::qWait(0);
        setAppHelpFile("");
    }
    forms::ScriptedDialogs dialogs_;  // help never asks anything
};

}  // namespace

// The topics of the windows, by the context numbers their help items pass.
TEST_F(HelpBook, EveryContextNumberTheWindowsUseOpensItsTopic) {
    struct Case {
        long context;
        const char* title;
    };
    const Case cases[] = {
        {kHelpStartScreen, "スタート画面（メニュー）"},
        {kHelpWeekdayPattern, "曜日スケジュールの編集"},
        {kHelpPatternCopy, "一覧表示（スケジュールのコピー）"},
        {kHelpHolidayPattern, "祝日スケジュールの編集"},
        {kHelpHolidayEditor, "祝日の編集"},
        {kHelpCalendar, "特定日スケジュールの登録"},
        {kHelpSpecialPattern, "特定日スケジュールの編集"},
        {kHelpSpecialListView, "特定日スケジュールの確認"},
        {kHelpSpecialListAdd, "特定日スケジュールの登録（繰り返しの確認）"},
        {kHelpSpecialListDelete, "特定日スケジュールの削除（繰り返しの確認）"},
        {kHelpCardWrite, "カードに書込"},
        {kHelpDataCheck, "エラー一覧（書き込み前のチェック）"},
        {kHelpCardRead, "カードから読込"},
        {kHelpMessageTab0, "メッセージの編集：書込"},
        {kHelpMessageTab1, "メッセージの編集：消去"},
        {kHelpMessageTab2, "メッセージの編集：保存"},
        {kHelpCardAction, "カードのコピー／初期化"},
        {kHelpPrint, "印刷"},
    };
    std::set<std::string> pages;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.context);
        gsbHelpContext(c.context);
        EXPECT_EQ(helptest::shownTitle(), c.title);
        EXPECT_FALSE(help::openWindow()->note()->isVisible());
        pages.insert(helptest::shownPage());
    }
    EXPECT_EQ(pages.size(), std::size(cases)) << "each window has a topic of its own";
    // The restore tab of the message page passes -1, which has no topic: the contents show.
    gsbHelpContext(-1);
    EXPECT_EQ(helptest::shownPage(), "contents.html");
    EXPECT_TRUE(help::openWindow()->note()->isVisible());
}

TEST_F(HelpBook, BothNamesHoldTheWholeBookAndEveryLinkLeadsToAPageOfIt) {
    const std::optional<help::Book> first = help::Book::open(builtBook(helptest::kBookNames[0]));
    ASSERT_TRUE(first.has_value());
    for (const char* name : helptest::kBookNames) {
        SCOPED_TRACE(name);
        const std::optional<help::Book> book = help::Book::open(builtBook(name));
        ASSERT_TRUE(book.has_value());
        EXPECT_EQ(book->title().toStdString(), "KV-M58S データ入力ソフト ヘルプ");
        EXPECT_EQ(book->contexts(), first->contexts());
        EXPECT_EQ(book->keywords().size(), first->keywords().size());
    }

    const QString folder = first->folder();
    std::string why;
    for (const auto& [context, target] : first->contexts())
        EXPECT_TRUE(resolves(folder, target, why)) << "context " << context << ": " << why;
    for (const help::Keyword& k : first->keywords())
        EXPECT_TRUE(resolves(folder, k.target, why)) << k.text.toStdString() << ": " << why;

    static const QRegularExpression href("href=\"([^\"]+)\"");
    const QString contents = readPage(folder + "/contents.html");
    const QStringList pages = QDir(folder).entryList({"*.html"});
    EXPECT_GE(pages.size(), 20);
    for (const QString& page : pages) {
        SCOPED_TRACE(page.toStdString());
        const QString text = readPage(folder + "/" + page);
        EXPECT_TRUE(text.contains("<title>")) << "a title for the window and the index";
        for (auto it = href.globalMatch(text); it.hasNext();) {
            QString target = it.next().captured(1);
            if (target.startsWith('#')) target = page + target;
            EXPECT_TRUE(resolves(folder, target, why)) << why;
        }
        if (page != "contents.html") {
            EXPECT_TRUE(contents.contains("href=\"" + page)) << "every page is on the contents page";
        }
    }
}

TEST_F(HelpBook, TheKeywordIndexFindsAWordTypedAndOpensItsTopic) {
    gsbHelpIndex();
    help::Window* w = help::openWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(helptest::shownPage(), "contents.html");
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    ASSERT_EQ(QApplication::focusWidget(), w->keywordEdit()) << "ready for typing";
    helptest::type(QString::fromUtf8("初期化"));
    std::vector<std::string> listed;
    for (int i = 0; i < w->keywordList()->count(); ++i)
        if (!w->keywordList()->item(i)->isHidden()) listed.push_back(w->keywordList()->item(i)->text().toStdString());
    EXPECT_EQ(listed, (std::vector<std::string>{"初期化", "初期化されていません"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(helptest::shownTitle(), "カードのコピー／初期化");
}
