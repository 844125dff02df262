// Documents through the whole program's pages: a document with unusual but workable
// values opened from a file and shown on every page, and a failed save that leaves the
// page and its document as they were. Clicks go through Qt's event queue.
#include <sys/resource.h>

#include <QAbstractButton>
#include <QLabel>
#include <QTest>

#include <csignal>

#include "forms/controls.h"
#include "patterns/frm_pattern.h"
#include "shell/program.h"
#include "shell_fixture.h"

namespace {

class DocumentPages : public shelltest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        static const bool wired = [] {
            shell::setUpProgram(shelltest::builtMasterDat().parent_path().string());
            return true;
        }();
        (void)wired;
        started();
        std::filesystem::create_directories(dir_ / "docs");
    }
    std::string docPath(const std::string& name) const { return (dir_ / "docs" / name).string(); }
    std::string where() const {
        return main_->startScreen()->isVisible() ? "start" : main_->lblHighlight()->text().toStdString();
    }
    QAbstractButton* button(const std::string& caption) const {
        for (QAbstractButton* b : main_->findChildren<QAbstractButton*>())
            if (b->text() == QString::fromStdString(caption) && b->isVisible() && b->isEnabled()) return b;
        return nullptr;
    }
    QLabel* stepLabel(const std::string& caption) const {
        for (int i = 1; i <= 10; ++i)
            if (main_->lblWizard(i)->isVisible() && main_->lblWizard(i)->text().toStdString() == caption)
                return main_->lblWizard(i);
        return nullptr;
    }
    static void click(QWidget* w) {
        ASSERT_NE(w, nullptr);
        QTest::mouseClick(w, Qt::LeftButton);
        QTest::qWait(0);
    }
};

// Answers every box as a cautious user does (OK, No, Cancel) and remembers it; the open
// dialog gets the document.
class CautiousUser final : public forms::DialogService {
public:
    explicit CautiousUser(std::string document) : document_(std::move(document)) { forms::setDialogService(this); }
    ~CautiousUser() override { forms::setDialogService(nullptr); }
    int messageBox(const forms::MessageBoxRequest& request) override {
        boxes.push_back(request.prompt);
        switch (request.style & 0x0F) {
        case forms::vbOKOnly: return forms::vbOK;
        case forms::vbYesNo:
        case forms::vbYesNoCancel: return forms::vbNo;
        default: return forms::vbCancel;
        }
    }
    std::optional<std::string> fileDialog(const forms::FileDialogRequest& request) override {
        if (request.kind != forms::FileDialogRequest::Open) return std::nullopt;
        return document_;
    }
    std::vector<std::string> boxes;

private:
    std::string document_;
};

// Values no window of the program writes, but which a card read, another version or a
// hand can leave in a document, and which every page takes in its stride: the open
// check lets them through, so each page must show them and go on.
TEST_F(DocumentPages, UnusualValuesShowOnEveryPage) {
    const std::string step = "INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES ";
    struct Case {
        const char* name;
        std::vector<std::string> sql;
        bool everyPattern;  // each day pattern shown on the pattern pages, not only the first
    };
    const std::vector<Case> cases = {
        {"steps", {step + "(1, 99, 75, 3)", step + "(2, 0, 0, 0)", step + "(2, 23, 59, 9)", step + "(30, 9, 0, 1)",
                   step + "(21, 9, 0, 2)", step + "(8, 24, 0, 1)"},
         true},
        {"calendar",
         {"UPDATE tblBase SET fldPattern = 40 WHERE fldWeek = 2", "UPDATE tblBase SET fldWeek = 9 WHERE fldWeek = 3",
          "INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern) VALUES (2027, 1, 5, 40), (9999, 2, 1, 9), "
          "(1800, 2, 28, 9), (2028, 2, 29, 0)",
          "INSERT INTO tblSyukujitu (fldMonth, fldDay, fldName, fldSyukujitu, fldMonday) VALUES (13, 5, 'x', 255, 255), "
          "(3, 99, 'y', 7, 40), (2, 31, 'z', 8, 8)",
          "UPDATE tblSyukujitu SET fldSyukujitu = 7, fldMonday = 40 WHERE fldDay = 0"},
         false},
        {"settings",
         {"UPDATE tblSetting SET fldValue = '999' WHERE fldNo = 2", "UPDATE tblSetting SET fldValue = 'abc' WHERE fldNo = 3",
          "UPDATE tblSetting SET fldValue = NULL WHERE fldNo = 4", "UPDATE tblSetting SET fldNo = 99 WHERE fldNo = 5",
          "UPDATE tblSetting SET fldAddress = '99' WHERE fldNo = 6", "UPDATE tblCardWrite SET fldWriteMode = 9",
          "UPDATE tblSetting SET fldType = 9 WHERE fldNo = 7"},
         false},
        {"names",
         {"UPDATE tblMessage SET fldComment = NULL WHERE fldCh < 4",
          "UPDATE tblMessage SET fldComment = CAST(X'FFFE41' AS TEXT) WHERE fldCh = 5",
          "UPDATE tblDayPattern SET fldName = printf('%.*c', 3000, 'x') WHERE fldNo = 9",
          "UPDATE tblDayPattern SET fldName = NULL WHERE fldNo = 2", "DELETE FROM tblMessage WHERE fldCh > 9",
          "INSERT INTO tblDayPattern (fldNo, fldName, fldStep, fldUse, fldError) VALUES (25, 'x', 0, 0, 0)"},
         true},
    };
    gfServiceMode = vbTrue;  // the settings page too
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = docPath(std::string(c.name) + ".kvp");
        shelltest::writeDocument(path, c.sql);
        CautiousUser user(path);
        click(main_->startScreen()->cmdItem(1));
        ASSERT_EQ(main_->fileName(), path);
        std::vector<std::string> shown;
        for (int pages = 0; pages < 8 && where() != "start"; ++pages) {
            shown.push_back(where());
            auto* page = dynamic_cast<frmPattern*>(main_->activePage());
            if (page && c.everyPattern) {
                for (int n = 0; n <= 21; ++n)
                    if (page->optPattern(n)->isVisible() && page->optPattern(n)->isEnabled()) click(page->optPattern(n));
            }
            click(button("次へ"));
        }
        EXPECT_EQ(shown, (std::vector<std::string>{"機器設定", "曜日パターン", "休日パターン", "特定日スケジュール",
                                                   "カードに書込"}));
        EXPECT_EQ(where(), "start");
        for (const std::string& box : user.boxes) EXPECT_EQ(box.find("エラー"), std::string::npos) << box;
    }
}

// A save that fails names the file and why, in the user's words; the page it was asked
// from stays, with its document open, unchanged and unsaved, and can be saved elsewhere.
TEST_F(DocumentPages, AFailedSaveKeepsThePageAndItsDocument) {
    click(main_->startScreen()->cmdItem(0));
    ASSERT_EQ(main_->fileName(), "新規");
    const std::string here = where();
    ASSERT_EQ(here, "曜日パターン");
    gfChanged = vbTrue;

    // A folder nobody may write into, root included.
    const std::string readOnly = "/sys/文書.kvp";
    dialogs_.expectFile(forms::FileDialogRequest::Save, readOnly)
        .expect("'" + readOnly + "'\r\nに保存できませんでした。\r\n書き込みが許可されていません。");
    click(stepLabel("終了"));

    // A disk that fills while the document is written.
    const std::string full = docPath("full.kvp");
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit tight = saved;
    tight.rlim_cur = 16 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    dialogs_.expectFile(forms::FileDialogRequest::Save, full)
        .expect("'" + full + "'\r\nに保存できませんでした。\r\nディスクの空き容量が不足しています。");
    click(stepLabel("終了"));
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);

    EXPECT_EQ(dialogs_.pending(), 0u);
    ASSERT_GE(dialogs_.shown().size(), 2u);
    for (std::size_t i = dialogs_.shown().size() - 2; i < dialogs_.shown().size(); ++i)
        EXPECT_EQ(dialogs_.shown()[i].style, forms::vbExclamation);
    EXPECT_EQ(where(), here);
    EXPECT_EQ(main_->fileName(), "新規");
    EXPECT_TRUE(gfChanged);
    EXPECT_TRUE(gdbWork.isOpen());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / "docs"), {}), 0) << "no file left";

    // The page goes on with its document: another pattern, then a save that works.
    auto* page = dynamic_cast<frmPattern*>(main_->activePage());
    ASSERT_NE(page, nullptr);
    click(page->optPattern(2));
    dialogs_.expectFile(forms::FileDialogRequest::Save, docPath("saved.kvp"));
    click(stepLabel("終了"));
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_EQ(where(), "start");
    EXPECT_EQ(gfnfCheckDataFile(docPath("saved.kvp")), 0);
}

}  // namespace
