// The folder chooser: what it gives back, the new folder it makes, and the summary of a
// saved message set.
#include <QApplication>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <functional>
#include <string>
#include <vector>

#include "../core/core_fixture.h"
#include "core/strings.h"
#include "text/text.h"
#include "wizard/folder_chooser.h"

namespace {

namespace fs = std::filesystem;

// Acts on the chooser once it is shown modally.
template <typename Window>
void whenShown(QTimer& poll, std::function<void(Window&)> act) {
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&poll, act] {
        auto* w = qobject_cast<Window*>(QApplication::activeModalWidget());
        if (!w) return;
        poll.stop();
        act(*w);
    });
    poll.start();
}

class FolderChooser : public coretest::ProgramFolder {
protected:
    std::string choose(const std::string& start, int mode, std::function<void(frmGetFolder&)> act,
                       frmGetFolder::MessageLength length = {}) {
        QTimer poll;
        whenShown<frmGetFolder>(poll, act);
        frmGetFolder window(nullptr, std::move(length));
        return window.mfnsGetFolder(start, "新しいフォルダ", mode);
    }
};

TEST_F(FolderChooser, OkGivesTheFolderAndEveryOtherWayOutGivesNothing) {
    const std::string programFolder = fs::weakly_canonical(dir_).string();
    EXPECT_EQ(choose("", 0, [](frmGetFolder& w) { w.cmdOK_Click(); }), programFolder);
    EXPECT_EQ(choose("/no/such/folder", 0, [](frmGetFolder& w) { w.cmdOK_Click(); }), programFolder);
    fs::create_directory(dir_ / "sub");
    EXPECT_EQ(choose(file("sub"), 0, [](frmGetFolder& w) { w.cmdOK_Click(); }), programFolder + "/sub");
    EXPECT_EQ(choose(file("sub"), 0, [](frmGetFolder& w) { w.cmdCancel_Click(); }), "");
    EXPECT_EQ(choose(file("sub"), 0, [](frmGetFolder& w) { w.close(); }), "");
}

TEST_F(FolderChooser, ANewFolderIsProposedFreeAndItsNameChecked) {
    fs::create_directory(dir_ / "新しいフォルダ");
    fs::create_directory(dir_ / "新しいフォルダ (2)");
    dialogs_.expectInput("フォルダ名を入力してください。", std::string("a,b"));
    dialogs_.expect("フォルダ名には次の文字は使えません。");
    dialogs_.expectInput("フォルダ名を入力してください。", std::string("新しいフォルダ (2)"));
    dialogs_.expect("は既に存在します。");
    dialogs_.expectInput("フォルダ名を入力してください。", std::string("音声メッセージ"));
    const std::string chosen = choose("", 0, [](frmGetFolder& w) {
        QTest::mouseClick(w.cmdCreate(), Qt::LeftButton);
        w.cmdOK_Click();
    });
    ASSERT_EQ(dialogs_.inputs().size(), 3u);
    ASSERT_GE(dialogs_.shown().size(), 1u);
    EXPECT_EQ(dialogs_.shown()[0].prompt, "フォルダ名には次の文字は使えません。\r\n\\ / : , ; * ? ＂ < > |");
    EXPECT_EQ(dialogs_.shown()[0].title, "フォルダの作成");
    EXPECT_EQ(dialogs_.inputs()[0].defaultText, "新しいフォルダ (3)");
    EXPECT_EQ(dialogs_.inputs()[1].defaultText, "a,b") << "the refused answer is offered again";
    EXPECT_TRUE(fs::is_directory(dir_ / "音声メッセージ"));
    EXPECT_EQ(chosen, fs::weakly_canonical(dir_ / "音声メッセージ").string());
    EXPECT_FALSE(fs::exists(dir_ / "a,b"));
}

TEST_F(FolderChooser, TheSummaryShowsASavedMessageSet) {
    fs::create_directory(dir_ / "set");
    coretest::writeFile(dir_ / "set" / "Msg.txt",
                         text::toCp932("カード名 　　　：店舗カード\r\n"
                                       "01 メッセージ名：営業時間\r\n"
                                       "13 メッセージ名：範囲外\r\n"
                                       "00 メッセージ名：範囲外\r\n"
                                       "02 メッセージ名：\r\n"
                                       "01 メッセージ名：最後の名前\r\n"));
    coretest::writeFile(dir_ / "set" / "Msg_01.wav", "x");
    coretest::writeFile(dir_ / "set" / "Msg_03.wav", "x");
    frmGetFolder::MessageLength length{
        [](const std::string& f) { return fs::exists(f) ? 8000 : 0; },
        [](std::int32_t) { return -1; },  // no card in the reader
    };
    std::vector<std::string> names, times;
    std::string card, total;
    bool errorShown = true;
    choose(file("set"), 1,
           [&](frmGetFolder& w) {
               for (int r = 0; r < 12; ++r) {
                   names.push_back(w.sstMessage()->item(r, 1)->text().toStdString());
                   times.push_back(w.sstMessage()->item(r, 2)->text().toStdString());
               }
               card = w.lblCardName()->text().toStdString();
               total = w.lblTotalTime()->text().toStdString();
               errorShown = !w.lblCardError()->isHidden();
               w.cmdOK_Click();
           },
           length);
    EXPECT_EQ(card, "店舗カード");
    EXPECT_EQ(names[0], "最後の名前");
    EXPECT_EQ(names[1], "");
    EXPECT_EQ(names[9], gfnsGetChannelStr(10, true));
    EXPECT_EQ(times[0], gfnsMsecToStr(-1, false));
    EXPECT_EQ(times[1], gfnsMsecToStr(0, false));
    EXPECT_EQ(total, gfnsMsecToStr(-2, false)) << "the total sums what the control answered";
    EXPECT_FALSE(errorShown);
}

TEST_F(FolderChooser, TheSummaryReadsTheCardNameLineAndSumsTwelveLongMessages) {
    fs::create_directory(dir_ / "set");
    coretest::writeFile(dir_ / "set" / "Msg.txt", text::toCp932("カード名 　　　：店舗カード\r\n"
                                                                 "03 メッセージ名：カード名の案内\r\n"));
    for (int ch = 1; ch <= 12; ++ch)
        coretest::writeFile(dir_ / "set" / ((ch < 10 ? "Msg_0" : "Msg_") + std::to_string(ch) + ".wav"), "x");
    // Twelve messages of 74 hours 33 minutes each: more than a 32-bit total holds.
    frmGetFolder::MessageLength length{[](const std::string& f) { return fs::exists(f) ? 1 : 0; },
                                       [](std::int32_t) { return 268435455; }};
    std::string card, name3, total;
    choose(file("set"), 1,
           [&](frmGetFolder& w) {
               card = w.lblCardName()->text().toStdString();
               name3 = w.sstMessage()->item(2, 1)->text().toStdString();
               total = w.lblTotalTime()->text().toStdString();
               w.cmdOK_Click();
           },
           length);
    EXPECT_EQ(card, "店舗カード") << "a message name holding the key is no card name";
    EXPECT_EQ(name3, "カード名の案内");
    EXPECT_EQ(total, "894:47:05");
}

// The rectangle of a part in the window's coordinates.
QRect inWindow(const QWidget& part, const QWidget& window) { return {part.mapTo(&window, QPoint()), part.size()}; }

TEST_F(FolderChooser, TheSummaryShowsAllTwelveChannelsWhole) {
    bool looked = false;
    choose(dir_.string(), 1, [&](frmGetFolder& w) {
        looked = true;
        QApplication::processEvents();
        QTableWidget* table = w.sstMessage();
        for (int r = 0; r < 12; ++r) {
            SCOPED_TRACE(r + 1);
            const QModelIndex cell = table->model()->index(r, 1);
            EXPECT_TRUE(table->viewport()->rect().contains(table->visualRect(cell))) << "the channel's row is not shown";
            EXPECT_GE(table->rowHeight(r), table->sizeHintForIndex(cell).height()) << "the row cuts its text";
        }
        for (const QWidget* part : std::initializer_list<const QWidget*>{table, w.lblTotalTime(), w.fraFolder()})
            EXPECT_TRUE(w.rect().contains(inWindow(*part, w))) << part->metaObject()->className();
        EXPECT_FALSE(inWindow(*w.lblTotalTime(), w).intersects(inWindow(*table, w)));
        w.cmdOK_Click();
    });
    EXPECT_TRUE(looked);
}

// The folder list opens at the chosen folder, selected and in view, and keeps it in view
// while the folders around it are still being listed (many of them sort before it).
TEST_F(FolderChooser, TheFolderListOpensAtTheStartingFolder) {
    fs::create_directories(dir_ / "音声" / "保存");
    for (int i = 0; i < 40; ++i) fs::create_directory(dir_ / ("a" + std::to_string(1000 + i)));
    const QString wanted = QString::fromStdString(fs::weakly_canonical(dir_ / "音声" / "保存").string());
    for (int mode : {0, 1}) {
        SCOPED_TRACE(mode);
        bool looked = false;
        choose(file("音声/保存"), mode, [&](frmGetFolder& w) {
            looked = true;
            QTreeView* tree = w.dirFolder();
            QTest::qWait(1000);  // the folder lists fill in meanwhile
            const QModelIndex at = tree->currentIndex();
            EXPECT_EQ(at.data(QFileSystemModel::FilePathRole).toString(), wanted);
            EXPECT_TRUE(tree->viewport()->rect().contains(tree->visualRect(at))) << "the folder is out of view";
            for (QModelIndex p = at.parent(); p.isValid(); p = p.parent())
                EXPECT_TRUE(tree->isExpanded(p)) << p.data(QFileSystemModel::FilePathRole).toString().toStdString();
            w.cmdOK_Click();
        });
        EXPECT_TRUE(looked);
    }
}

}  // namespace
