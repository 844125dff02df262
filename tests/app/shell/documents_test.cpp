// Documents: new, save, open and save as round trips, damaged files, the save prompt.
#include <sys/resource.h>

#include <csignal>

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <sstream>

#include "core/file_header.h"
#include "shell_fixture.h"

namespace {

class Documents : public shelltest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        started();
    }
    frmMain& m() { return *main_; }
    std::string docPath(const std::string& name) const { return (dir_ / "docs" / name).string(); }
    void makeDocs() { std::filesystem::create_directories(dir_ / "docs"); }
    // A new document saved through the dialog to the path.
    void newAndSave(const std::string& path) {
        ASSERT_TRUE(m().mfnfMakeNewFile());
        m().msbSetBusy(true);
        dialogs_.expectFile(forms::FileDialogRequest::Save, path);
        ASSERT_TRUE(m().pfnfFileSave(""));
    }
    std::string documentFile(const std::string& name, const std::vector<std::string>& sql = {}) {
        shelltest::writeDocument(docPath(name), sql);
        return docPath(name);
    }
    // Where the program stands: "start" or the highlighted step.
    std::string where() const {
        return main_->startScreen()->isVisible() ? "start" : main_->lblHighlight()->text().toStdString();
    }
    // A click as a hand makes it, then the event loop turns once.
    static void click(QWidget* w) {
        ASSERT_NE(w, nullptr);
        QTest::mouseClick(w, Qt::LeftButton);
        QTest::qWait(0);
    }
    std::string messageOne() {
        dao::Database db = dao::Database::open(file("Regist.dat"));
        auto rs = db.openRecordset("SELECT fldComment FROM tblMessage WHERE fldCh = 1");
        return rs["fldComment"].toText();
    }
};

TEST_F(Documents, NewSaveOpenRoundTripIsByteExact) {
    makeDocs();
    const std::string path = docPath("doc.kvp");
    newAndSave(path);
    ASSERT_EQ(dialogs_.fileDialogs().size(), 1u);
    EXPECT_EQ(dialogs_.fileDialogs()[0].fileName, "新規");
    EXPECT_EQ(m().fileName(), path);
    EXPECT_EQ(m().lblFileName()->text().toStdString(), "doc");
    EXPECT_EQ(m().windowTitle().toStdString(), std::string(kAppTitle) + " - doc");

    const std::string bytes = shelltest::readFile(path);
    const std::string regist = shelltest::readFile(file("Regist.dat"));
    ASSERT_EQ(bytes.size(), 64 + regist.size());
    EXPECT_EQ(bytes.substr(0, 8), "KVM58SPC");
    EXPECT_EQ(bytes.substr(8, 4), "DATA");
    EXPECT_EQ(bytes.substr(12, 3), "101");
    EXPECT_EQ(bytes.substr(15, 10), std::string("\0\2\0\2\6\x12\x10\x14\0\0", 10));
    EXPECT_EQ(bytes.substr(25, 39), std::string(39, '\0'));
    EXPECT_EQ(bytes.substr(64), regist);
    EXPECT_EQ(gfnfCheckDataFile(path), 0);

    // Change the work copy, then open the file again: the saved body comes back.
    {
        dao::Database db = dao::Database::open(file("Regist.dat"));
        db.execute("UPDATE tblMessage SET fldComment = 'changed' WHERE fldCh = 1");
    }
    dialogs_.expectFile(forms::FileDialogRequest::Open, path);
    ASSERT_TRUE(m().mfnfFileOpen());
    EXPECT_EQ(messageOne(), "応答メッセージ１");
    EXPECT_EQ(shelltest::readFile(file("Regist.dat")), regist);
    EXPECT_FALSE(gfChanged);
    EXPECT_TRUE(m().isEnabled());

    // Save to its own file: no dialog.
    gfChanged = vbTrue;
    EXPECT_TRUE(m().pfnfFileSave(""));
    EXPECT_EQ(dialogs_.fileDialogs().size(), 2u);
    EXPECT_FALSE(gfChanged);
    EXPECT_EQ(shelltest::readFile(path).substr(64), shelltest::readFile(file("Regist.dat")));
}

TEST_F(Documents, SaveAsNameRules) {
    makeDocs();
    newAndSave(docPath("plain"));
    EXPECT_TRUE(std::filesystem::exists(docPath("plain.kvp")));
    dialogs_.expectFile(forms::FileDialogRequest::Save, docPath("x.KVP"));
    EXPECT_TRUE(m().pfnfFileSave("新規"));
    EXPECT_TRUE(std::filesystem::exists(docPath("x.KVP")));
    EXPECT_FALSE(std::filesystem::exists(docPath("x.KVP.kvp")));
    EXPECT_EQ(shelltest::readFile(docPath("x.KVP")).substr(0, 8), "KVM58SPC");
    EXPECT_EQ(dialogs_.fileDialogs().back().fileName, "plain");
    // The document's file deleted meanwhile: the dialog opens again.
    std::filesystem::remove(docPath("x.KVP"));
    dialogs_.expectFile(forms::FileDialogRequest::Save, std::nullopt);
    EXPECT_FALSE(m().pfnfFileSave(""));
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_TRUE(m().isEnabled());
    // A path of more than 255 bytes in Shift-JIS.
    dialogs_.expectFile(forms::FileDialogRequest::Save, docPath(std::string(120, 'a') + std::string(30, 'b') + "名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前名前"));
    dialogs_.expect("", forms::vbOK);
    EXPECT_FALSE(m().pfnfFileSave("新規"));
    EXPECT_EQ(dialogs_.shown().back().style & 0x70, forms::vbExclamation);
}

TEST_F(Documents, SavingOverALongerFileLeavesExactLength) {
    makeDocs();
    const std::string path = docPath("long.kvp");
    shelltest::writeFile(path, std::string(1 << 20, 'L'));
    ASSERT_TRUE(m().mfnfMakeNewFile());
    m().msbSetFileName(path);
    EXPECT_TRUE(m().pfnfFileSave(""));
    EXPECT_EQ(std::filesystem::file_size(path), 64 + std::filesystem::file_size(file("Regist.dat")));
}

TEST_F(Documents, FailedSaveKeepsThePreviousFileWhole) {
    makeDocs();
    const std::string path = docPath("keep.kvp");
    newAndSave(path);
    const std::string before = shelltest::readFile(path);
    gfChanged = vbTrue;
    // The disk fills up while the document is written: no file may grow past the
    // compacted database, so the header plus body cannot be written whole.
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = before.size() - 32;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    dialogs_.expect("'" + path + "'\r\nに保存できませんでした。\r\nディスクの空き容量が不足しています。");
    const bool saved_ok = m().pfnfFileSave("");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);
    EXPECT_FALSE(saved_ok);
    EXPECT_EQ(dialogs_.shown().back().style, forms::vbExclamation);
    EXPECT_EQ(shelltest::readFile(path), before);
    EXPECT_TRUE(gfChanged);
    EXPECT_EQ(m().fileName(), path);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "docs"), {}), 1) << "no scratch file left";
    EXPECT_TRUE(m().isEnabled());
}

TEST_F(Documents, ASaveWhoseCompactionFailsStillWritesTheDocument) {
    makeDocs();
    ASSERT_TRUE(m().mfnfMakeNewFile());
    m().msbSetBusy(true);
    // A second handle on the work database keeps the compaction from replacing it.
    dao::Database holder = dao::Database::open(file("Regist.dat"));
    dialogs_.expectFile(forms::FileDialogRequest::Save, docPath("uncompacted.kvp"));
    EXPECT_TRUE(m().pfnfFileSave(""));
    holder.close();
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_EQ(shelltest::readFile(docPath("uncompacted.kvp")).substr(64), shelltest::readFile(file("Regist.dat")));
    EXPECT_EQ(gfnfCheckDataFile(docPath("uncompacted.kvp")), 0);
    EXPECT_FALSE(gfChanged);
}

TEST_F(Documents, SaveRefusesAReadOnlyTargetAndKeepsAWritableOnesMode) {
    makeDocs();
    const std::string path = docPath("mode.kvp");
    newAndSave(path);
    struct Case {
        const char* name;
        std::filesystem::perms mode;
        bool asNew;  // through Save As, choosing the file in the dialog
        bool saved;
    };
    using P = std::filesystem::perms;
    const Case cases[] = {
        {"read-only, save", P::owner_read | P::group_read, false, false},
        {"read-only, save as", P::owner_read, true, false},
        {"group may read, save", P::owner_read | P::owner_write | P::group_read, false, true},
        {"private, save as", P::owner_read | P::owner_write, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        shelltest::writeFile(path, "earlier");
        std::filesystem::permissions(path, c.mode);
        gfChanged = vbTrue;
        if (c.asNew) dialogs_.expectFile(forms::FileDialogRequest::Save, path);
        if (!c.saved) dialogs_.expect("", forms::vbOK);
        EXPECT_EQ(m().pfnfFileSave(c.asNew ? "新規" : ""), c.saved);
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_EQ(std::filesystem::status(path).permissions(), c.mode);
        EXPECT_EQ(shelltest::readFile(path) == "earlier", !c.saved);
        if (!c.saved) {
            EXPECT_EQ(dialogs_.shown().back().style, forms::vbExclamation);
        }
        EXPECT_EQ(gfChanged, c.saved ? vbFalse : vbTrue);
        std::filesystem::permissions(path, P::owner_read | P::owner_write);
    }
}

TEST_F(Documents, SaveAsHandsTheDialogItsExtension) {
    makeDocs();
    newAndSave(docPath("テスト文書"));
    EXPECT_EQ(dialogs_.fileDialogs().back().defaultExt, "kvp");
    EXPECT_TRUE(dialogs_.fileDialogs().back().overwritePrompt);
    EXPECT_TRUE(std::filesystem::exists(docPath("テスト文書.kvp")));
}

TEST_F(Documents, SaveDropsPastYears) {
    makeDocs();
    ASSERT_TRUE(m().mfnfMakeNewFile());
    {
        dao::Database db = dao::Database::open(file("Regist.dat"));
        db.execute("DELETE FROM tblYear");
        db.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern) VALUES (2025, 1, 1, 9)");
        db.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern) VALUES (2026, 1, 1, 9)");
    }
    dialogs_.expectFile(forms::FileDialogRequest::Save, docPath("y.kvp"));
    ASSERT_TRUE(m().pfnfFileSave(""));
    dao::Database db = dao::Database::open(file("Regist.dat"));
    auto rs = db.openRecordset("SELECT fldYear FROM tblYear");
    ASSERT_EQ(rs.recordCount(), 1);
    EXPECT_EQ(rs["fldYear"].toInt(), 2026);
}

TEST_F(Documents, DamagedFilesAreRefusedAndRegistStaysAsItWas) {
    makeDocs();
    const std::string good = docPath("good.kvp");
    newAndSave(good);
    const std::string bytes = shelltest::readFile(good);
    const std::string regist = shelltest::readFile(file("Regist.dat"));
    struct Case {
        const char* name;
        std::string content;
        const char* shown;
    };
    const std::vector<Case> cases = {
        {"short.kvp", bytes.substr(0, 65), "認識できませんでした。(3)"},
        {"code.kvp", "KV-M58S1" + bytes.substr(8), "認識できませんでした。(4)"},
        {"body.kvp", bytes.substr(0, 64) + std::string(8192, 'q'), "認識できませんでした。(101)"},
        {"version.kvp", bytes.substr(0, 12) + "100" + bytes.substr(15), "はファイルのバージョンが違います。"},
        {"other.crd", "KV-M58S1" + bytes.substr(8), "認識できませんでした。(12)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = docPath(c.name);
        shelltest::writeFile(path, c.content);
        dialogs_.expect(c.shown);
        EXPECT_FALSE(m().mfnfLoadFile(path));
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_EQ(dialogs_.shown().back().style, forms::vbCritical);
        EXPECT_EQ(shelltest::readFile(file("Regist.dat")), regist);
        EXPECT_EQ(m().fileName(), good);
        EXPECT_FALSE(exists("TempDB.dat"));
    }
}

TEST_F(Documents, SavePromptVariants) {
    struct Case {
        const char* name;
        const char* text;
        int icon;
        int answer;
        bool result;
    };
    const std::vector<Case> cases = {
        {"復元されたファイル", "復元されたファイルです。保存しますか？\r保存しないと", forms::vbExclamation, forms::vbNo, true},
        {"カードデータ", "カードから読み込んだファイルです。保存しますか？", forms::vbExclamation, forms::vbNo, true},
        {"新規", "'新規'\rは変更されています。\r保存しますか？", forms::vbQuestion, forms::vbCancel, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m().msbSetFileName(c.name);
        gfChanged = vbTrue;
        dialogs_.expect(c.text, c.answer);
        EXPECT_EQ(m().mfnfFileChangeSave(), c.result);
        EXPECT_EQ(dialogs_.shown().back().style, forms::vbYesNoCancel | c.icon);
        EXPECT_EQ(gfChanged != 0, !c.result);
    }
    gfChanged = vbFalse;
    EXPECT_TRUE(m().mfnfFileChangeSave());
    // Yes saves as, even for a document with its own file.
    makeDocs();
    newAndSave(docPath("own.kvp"));
    gfChanged = vbTrue;
    dialogs_.expect("'own'\rは変更されています。", forms::vbYes).expectFile(forms::FileDialogRequest::Save, std::nullopt);
    EXPECT_FALSE(m().mfnfFileChangeSave());
    EXPECT_TRUE(gfChanged);
    EXPECT_EQ(dialogs_.pending(), 0u);
}

// Files a user may choose that the program cannot take as its document: damaged ones,
// and ones that hold what no window of the program writes. Each is refused with the
// program's message naming it, through the start screen as a person opens a file, and
// the program goes on from the start screen.
TEST_F(Documents, UnusableDocumentsChosenOnTheStartScreenAreRefused) {
    makeDocs();
    const std::string good = shelltest::readFile(documentFile("good.kvp"));
    const std::string step = "INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES ";
    const std::string day = "INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern) VALUES ";
    struct Case {
        const char* name;
        std::string content;  // empty: made from the statements
        std::vector<std::string> sql;
        int code;
    };
    const std::vector<Case> cases = {
        {"half.kvp", good.substr(0, good.size() / 2), {}, 101},
        {"overwritten.kvp", good.substr(0, 64 + 4096) + std::string(good.size() - 64 - 4096, 'q'), {}, 101},
        {"closing-message.kvp", {}, {step + "(1, 9, 0, 11)"}, 107},
        {"hold-tone-on-holidays.kvp", {}, {step + "(8, 12, 0, 12)"}, 107},
        {"no-channel.kvp", {}, {step + "(2, 9, 0, NULL)"}, 107},
        {"text-hour.kvp", {}, {step + "(2, 'x', 0, 1)"}, 107},
        {"february-30.kvp", {}, {day + "(2027, 2, 30, 9)"}, 107},
        {"month-13.kvp", {}, {day + "(2027, 13, 1, 9)"}, 107},
        {"no-pattern-5.kvp", {}, {"DELETE FROM tblDayPattern WHERE fldNo = 5"}, 107},
        {"no-special-days.kvp", {}, {"DROP TABLE tblYear"}, 107},
        {"no-step-channel.kvp", {}, {"ALTER TABLE tblDayStep DROP COLUMN fldMessage"}, 107},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.content.empty() ? documentFile(c.name, c.sql) : docPath(c.name);
        if (!c.content.empty()) shelltest::writeFile(path, c.content);
        dialogs_.expectFile(forms::FileDialogRequest::Open, path)
            .expect("'" + path + "'\r\nはファイル形式を認識できませんでした。(" + std::to_string(c.code) +
                    ")\r\nファイルが読取専用、又は壊れている可能性があります。");
        click(main_->startScreen()->cmdItem(1));
        EXPECT_EQ(dialogs_.pending(), 0u);
        EXPECT_EQ(dialogs_.shown().back().style, forms::vbCritical);
        EXPECT_EQ(where(), "start");
        EXPECT_EQ(m().fileName(), "");
        EXPECT_FALSE(exists("Regist.dat"));
        EXPECT_FALSE(exists("TempDB.dat"));
        EXPECT_TRUE(m().isEnabled());
    }
}

}  // namespace
