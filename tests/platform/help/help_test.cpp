#include "help/help.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <fstream>

#include "forms/msgbox.h"
#include "help/book.h"
#include "help/window.h"

namespace fs = std::filesystem;

namespace {

// A small book: two topics, one of them with an anchor, a map with a comment and a line
// that does not read, and three keywords.
class TempBook {
public:
    TempBook() : dir_(fs::temp_directory_path() / ("kv_help_" + std::to_string(::getpid())) / "QPN_RDX.chm") {
        fs::create_directories(dir_);
        write("contents.html", page("テストの本", "<a href=\"a.html\">A</a> <a href=\"b.html#later\">B</a>"));
        write("a.html", page("トピックA", "<p>A の本文</p>"));
        write("b.html", page("トピックB", "<p>B</p><a name=\"later\"></a><p>後半</p>"));
        write("context.map", "# 画面の番号\n10 a.html\n\n20   b.html#later\nthirty c.html\n");
        write("keywords.txt", "初期化\ta.html\nカードの初期化\tb.html#later\n印刷\tb.html\n");
    }
    ~TempBook() { fs::remove_all(dir_.parent_path()); }
    std::string path() const { return dir_.string(); }
    QString file(const char* name) const { return QString::fromStdString((dir_ / name).string()); }
    void write(const char* name, const std::string& text) const { std::ofstream(dir_ / name) << text; }

private:
    static std::string page(const std::string& title, const std::string& body) {
        return "<html><head><meta charset=\"utf-8\"><title>" + title + "</title></head><body>" + body +
               "</body></html>";
    }
    fs::path dir_;
};

// The page shown, as "file#anchor" relative to the book.
std::string shown(const help::Window& w) {
    const QUrl url = w.page();
    const std::string name = fs::path(url.toLocalFile().toStdString()).filename().string();
    return url.hasFragment() ? name + "#" + url.fragment().toStdString() : name;
}

// A click as a hand makes it: through the window system, so a window that a modal
// dialog blocks does not get it.
void handClick(QWidget* w) {
    QWidget* top = w->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, w->mapTo(top, w->rect().center()));
    QTest::qWait(0);
}

// Types into the widget that has the focus, one committed character a key.
void type(const QString& text) {
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, QApplication::focusWidget(), Qt::Key_unknown, QString(c), Qt::NoModifier);
}

class HelpWindow : public ::testing::Test {
protected:
    void TearDown() override {
        viewer_.handle({help::Command::CloseAll, {}, 0, {}, nullptr});
        QTest::qWait(0);
    }
    help::Window& open(help::Command command, long context = 0, const std::string& keyword = {},
                       QWidget* owner = nullptr) {
        viewer_.handle({command, book_.path(), context, keyword, owner});
        help::Window* w = viewer_.window();
        if (!w) throw std::runtime_error("no help window");
        return *w;
    }

    TempBook book_;
    help::WindowViewer viewer_;
    forms::ScriptedDialogs dialogs_;  // no box expected unless a test says so
};

}  // namespace

TEST(Help, RecordingViewerSeesEveryCallWithItsContext) {
    help::RecordingViewer rec;
    help::showContext(nullptr, "/x/QPN_RDX.chm", 60);
    help::showContents(nullptr, "/x/QPN_RDX.chm");
    help::showIndex(nullptr, "/x/QPN_RDX.chm", "");
    help::showContext(nullptr, "/x/QPN_RDX.chm", 180);
    help::closeAll();

    ASSERT_EQ(rec.requests().size(), 5u);
    EXPECT_EQ(rec.contexts(), (std::vector<long>{60, 180}));
    EXPECT_EQ(rec.requests()[1].command, help::Command::Contents);
    EXPECT_EQ(rec.requests()[2].command, help::Command::Index);
    EXPECT_EQ(rec.requests()[2].keyword, "");
    EXPECT_EQ(rec.requests()[4].command, help::Command::CloseAll);
    EXPECT_EQ(rec.requests()[0].file, "/x/QPN_RDX.chm");
}

TEST(Help, RecordingViewerRestoresThePreviousViewer) {
    help::Viewer* before = &help::viewer();
    {
        help::RecordingViewer outer;
        {
            help::RecordingViewer inner;
            help::showContext(nullptr, "f", 10);
            EXPECT_EQ(inner.contexts().size(), 1u);
        }
        EXPECT_EQ(&help::viewer(), &outer);
        EXPECT_TRUE(outer.requests().empty());
    }
    EXPECT_EQ(&help::viewer(), before);
}

TEST(Help, MissingHelpFileSaysHelpIsNotInstalledAndOpensNothing) {
    TempBook book;
    fs::remove(book.file("context.map").toStdString());  // a folder of pages is not yet a book
    help::WindowViewer viewer;
    forms::ScriptedDialogs dialogs;
    dialogs.expect("QPN_RDX.chm）がインストールされていません。")
        .expect("QPN_RDX.chm）がインストールされていません。")
        .expect("インストールされていません。");
    viewer.handle({help::Command::Context, "/nowhere/QPN_RDX.chm", 20, {}, nullptr});
    viewer.handle({help::Command::Index, book.path(), 0, {}, nullptr});
    viewer.handle({help::Command::Contents, "", 0, {}, nullptr});
    EXPECT_EQ(viewer.window(), nullptr);
    EXPECT_EQ(dialogs.pending(), 0u);
}

TEST(Help, BookReadsItsMapKeywordsAndTitleAndSkipsALineThatDoesNotRead) {
    TempBook files;
    const std::optional<help::Book> book = help::Book::open(QString::fromStdString(files.path()));
    ASSERT_TRUE(book.has_value());
    EXPECT_EQ(book->title().toStdString(), "テストの本");
    EXPECT_EQ(book->contexts().size(), 2u);
    EXPECT_EQ(book->topic(10), QUrl::fromLocalFile(files.file("a.html")));
    EXPECT_EQ(book->topic(20)->fragment().toStdString(), "later");
    EXPECT_FALSE(book->topic(30).has_value());
    ASSERT_EQ(book->keywords().size(), 3u);
    EXPECT_EQ(book->keywords()[1].text.toStdString(), "カードの初期化");
    EXPECT_EQ(book->keywords()[1].target.toStdString(), "b.html#later");
}

TEST_F(HelpWindow, OpensAtTheTopicOfAContextNumberAndAtTheContentsForAnyOther) {
    struct Case {
        help::Command command;
        long context;
        const char* page;
        bool note;  // "no help for this screen"
    };
    for (const Case& c : {Case{help::Command::Context, 10, "a.html", false},
                          Case{help::Command::Context, 20, "b.html#later", false},
                          Case{help::Command::Context, -1, "contents.html", true},
                          Case{help::Command::Context, 30, "contents.html", true},
                          Case{help::Command::Contents, 0, "contents.html", false}}) {
        SCOPED_TRACE(c.context);
        help::Window& w = open(c.command, c.context);
        EXPECT_TRUE(w.isVisible());
        EXPECT_EQ(shown(w), c.page);
        EXPECT_EQ(w.note()->isVisible(), c.note);
    }
    EXPECT_EQ(viewer_.window()->windowTitle().toStdString(), "テストの本");
}

TEST_F(HelpWindow, BackForwardAndContentsButtonsWalkThePagesShown) {
    help::Window& w = open(help::Command::Context, 10);
    EXPECT_FALSE(w.backButton()->isEnabled());
    open(help::Command::Context, 20);
    handClick(w.contentsButton());
    EXPECT_EQ(shown(w), "contents.html");
    handClick(w.backButton());
    EXPECT_EQ(shown(w), "b.html#later");
    handClick(w.backButton());
    EXPECT_EQ(shown(w), "a.html");
    EXPECT_FALSE(w.backButton()->isEnabled());
    handClick(w.forwardButton());
    EXPECT_EQ(shown(w), "b.html#later");
}

TEST_F(HelpWindow, TheIndexFindsAKeywordTypedAndEnterOpensItsTopic) {
    help::Window& w = open(help::Command::Index);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    ASSERT_EQ(QApplication::focusWidget(), w.keywordEdit());
    type(QString::fromUtf8("初期化"));
    std::vector<std::string> listed;
    for (int i = 0; i < w.keywordList()->count(); ++i)
        if (!w.keywordList()->item(i)->isHidden()) listed.push_back(w.keywordList()->item(i)->text().toStdString());
    EXPECT_EQ(listed, (std::vector<std::string>{"初期化", "カードの初期化"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(shown(w), "a.html");

    // A keyword handed in is typed in for the user; a click on a listed keyword opens it.
    open(help::Command::Index, 0, "カード");
    ASSERT_NE(w.keywordList()->currentItem(), nullptr);
    EXPECT_EQ(w.keywordList()->currentItem()->text().toStdString(), "カードの初期化");
    QListWidgetItem* item = w.keywordList()->currentItem();
    QTest::mouseClick(w.keywordList()->viewport(), Qt::LeftButton, {},
                      w.keywordList()->visualItemRect(item).center());
    EXPECT_EQ(shown(w), "b.html#later");
}

TEST_F(HelpWindow, CloseAllClosesTheWindowAndANewRequestOpensAFreshOne) {
    QWidget owner;
    owner.show();
    const QPointer<help::Window> first = &open(help::Command::Context, 10, {}, &owner);
    EXPECT_EQ(first->parentWidget(), &owner) << "owned by the window that asked";
    viewer_.handle({help::Command::CloseAll, {}, 0, {}, nullptr});
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(viewer_.window(), nullptr);
    QTest::qWait(0);
    EXPECT_TRUE(first.isNull()) << "deleted once the event loop turns";
    EXPECT_TRUE(open(help::Command::Contents).isVisible());
}

// Help asked for from a modal dialog: the dialog blocks every other window, so the help
// window must be one of its own, and must outlive it.
TEST_F(HelpWindow, HelpFromAModalDialogTakesInputAndOutlivesTheDialog) {
    QWidget owner;
    owner.show();
    auto* dialog = new QDialog(&owner);
    QPointer<help::Window> w;
    std::string whileModal;
    QTimer::singleShot(0, dialog, [&] {
        w = &open(help::Command::Context, 10, {}, &owner);
        handClick(w->contentsButton());
        whileModal = shown(*w);
        dialog->accept();
    });
    dialog->exec();
    delete dialog;
    QTest::qWait(0);
    EXPECT_EQ(whileModal, "contents.html") << "the help window took the click";
    ASSERT_FALSE(w.isNull());
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->parentWidget(), &owner);
    handClick(w->backButton());
    EXPECT_EQ(shown(*w), "a.html");
}
