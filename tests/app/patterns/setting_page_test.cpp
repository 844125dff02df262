// The device settings page on a new document: the grid from the template, the entry
// frames and their rules, saving, defaults and import.
#include <gtest/gtest.h>

#include <fstream>

#include <QGroupBox>
#include <QLabel>
#include <QTableWidget>
#include <QTest>

#include "core/database.h"
#include "core/file_header.h"
#include "core/strings.h"
#include "forms/services.h"
#include "patterns/frm_setting.h"
#include "patterns/links.h"
#include "patterns_fixture.h"

namespace {

class Settings : public patterntest::Document {
protected:
    void TearDown() override {
        delete page_;
        patterns::setPrintEntry({});
        Document::TearDown();
    }
    frmSetting& open() {
        page_ = new frmSetting;
        return *page_;
    }
    // The grid row of a setting number.
    int rowOf(int no) const {
        for (int r = 1; r <= page_->sstSetting()->maxRows(); ++r)
            if (page_->sstSetting()->text(5, r) == std::to_string(no)) return r;
        return 0;
    }
    void select(int no) { page_->setSettingNo(std::to_string(rowOf(no))); }
    void press(int key) {
        page_->cmdTenKey_MouseDown();
        page_->cmdTenKey_Click();
        page_->cmdTenKey_MouseUp(key);
    }
    std::string shown(int no) const { return page_->sstSetting()->text(3, rowOf(no)); }
    std::string value(int no) const { return page_->sstSetting()->text(4, rowOf(no)); }
    static std::string stored(int no) {
        return textOf("SELECT fldValue FROM tblSetting WHERE fldNo = " + std::to_string(no));
    }
    std::string tenKey() const { return page_->txtTenKey()->text().toStdString(); }

    frmSetting* page_ = nullptr;
};

TEST_F(Settings, BuildsTheGridFromTheTemplateWithOptionRowsHidden) {
    exec("DELETE FROM tblSetting WHERE fldNo = 19");
    exec("INSERT INTO tblSetting (fldType, fldOrder, fldNo, fldItem, fldValue, fldAddress) VALUES (1, 99, 40, 'x', '7', '30')");
    frmSetting& page = open();
    auto& grid = *page.sstSetting();
    EXPECT_EQ(grid.maxRows(), 14);
    EXPECT_EQ(grid.text(1, 1), "1");
    EXPECT_EQ(grid.text(2, 1), "呼出回数");
    EXPECT_EQ(grid.text(3, 1), "５回");
    EXPECT_EQ(grid.backColor(1, 1), 0xC0FFFF);
    EXPECT_TRUE(grid.rowTopBorder(1));
    EXPECT_FALSE(grid.rowTopBorder(2));
    EXPECT_TRUE(grid.rowTopBorder(rowOf(1)));  // first second-level row
    EXPECT_TRUE(grid.rowHidden(rowOf(23)));
    EXPECT_TRUE(grid.colHidden(5));
    EXPECT_EQ(page.caption(), "機能設定");
    EXPECT_EQ(page.lblSettingNo()->text().toStdString(), "1");
    EXPECT_EQ(page.visibleFrame(), 0);
    // The missing setting came back from the template; the foreign one stays unshown.
    EXPECT_EQ(stored(19), "1");
    EXPECT_EQ(stored(40), "7");
    EXPECT_EQ(rowOf(40), 0);
    EXPECT_EQ(gfChanged, vbFalse);
}

// Clicks a grid cell as a hand would.
void clickCell(forms::Grid& grid, int col, int row) {
    QTableWidget* table = grid.table();
    const QRect cell = table->visualRect(table->model()->index(row - 1, col - 1));
    ASSERT_TRUE(table->viewport()->rect().contains(cell.center())) << "row " << row;
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
}

TEST_F(Settings, EveryTemplateSettingIsListedAndEditedByHand) {
    frmSetting& page = open();
    dialogs_.expect("オプション機能");
    QTest::mouseClick(page.chkOption(), Qt::LeftButton);
    ASSERT_TRUE(page.optionsShown());
    // Every template row is listed, with its label and the words of its default.
    dao::Database master = dao::Database::open(file("Master.dat"));
    auto rs = master.openRecordset("SELECT fldNo, fldItem, fldValue FROM tblSetting ORDER BY fldOrder");
    int rows = 0;
    for (; !rs.eof(); rs.moveNext()) {
        const int no = rs["fldNo"].toInt();
        SCOPED_TRACE(no);
        ASSERT_EQ(rowOf(no), ++rows);
        EXPECT_FALSE(page.sstSetting()->rowHidden(rows));
        EXPECT_EQ(page.sstSetting()->text(2, rows), rs["fldItem"].toText());
        EXPECT_EQ(shown(no), gfnsSettingToStr(no, rs["fldValue"].toText()));
        EXPECT_FALSE(shown(no).empty());
    }
    EXPECT_EQ(page.sstSetting()->maxRows(), rows);

    // Each setting edited in its frame: the buttons clicked and the words that follow.
    struct Edit {
        int no;
        int frame;
        std::vector<QWidget*> clicks;
        const char* value;
        const char* words;
    };
    auto* messages = page.sstMessage();
    const std::vector<Edit> edits = {
        {1, 0, {page.cmdTenKey(1), page.cmdTenKey(2), page.cmdTenKey(3), page.cmdTenKey(4)}, "1234", "１２３４"},
        {2, 0, {page.cmdTenKey(1), page.cmdTenKey(2)}, "12", "１２回"},
        {7, 0, {page.cmdTenKey(4), page.cmdTenKey(5)}, "45", "４５分"},
        {4, 2, {page.optTimes(7)}, "7", "７回"},
        {5, 2, {page.optTimes(0)}, "0", "０秒"},
        {6, 2, {page.optTimes(4)}, "4", "４秒"},
        {17, 1, {page.optMode(0)}, "0", "しない"},
        {18, 1, {page.optMode(0)}, "0", "無視"},
        {19, 1, {page.optMode(2)}, "2", "９０秒後"},
        {20, 1, {page.optMode(2)}, "2", "３５０ｍ秒"},
        {21, 1, {page.optMode(3)}, "3", "３００ｍ秒"},
        {22, 1, {page.optMode(1)}, "1", "５００Ｈｚ"},
        {23, 1, {page.optMode(1)}, "1", "有効"},
        {3, 3, {}, "4", "４"},
    };
    for (const Edit& e : edits) {
        SCOPED_TRACE(e.no);
        clickCell(*page.sstSetting(), 2, rowOf(e.no));
        ASSERT_EQ(page.lblSettingNo()->text().toStdString(), std::to_string(rowOf(e.no)));
        ASSERT_EQ(page.visibleFrame(), e.frame);
        EXPECT_FALSE(page.lblHint()->text().isEmpty());
        for (QWidget* w : e.clicks) QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2));
        if (e.frame == 3) clickCell(*messages, 2, 4);
        EXPECT_EQ(value(e.no), e.value);
        EXPECT_EQ(shown(e.no), e.words);
    }
    EXPECT_EQ(page.caption(), "機能設定.");
    page.msbSaveData();
    for (const Edit& e : edits) EXPECT_EQ(stored(e.no), e.value) << e.no;
}

TEST_F(Settings, DigitCodeIsTypedOnTheTenKeyPad) {
    frmSetting& page = open();
    select(1);
    EXPECT_EQ(tenKey(), "----");
    press(5);
    EXPECT_EQ(tenKey(), "5000");
    EXPECT_EQ(page.txtTenKey()->cursorPosition() - page.txtTenKey()->selectedText().size(), 1);
    press(3);
    EXPECT_EQ(tenKey(), "5300");
    for (int d : {1, 2, 3, 4, 5, 6}) press(d);
    EXPECT_EQ(tenKey(), "53123456");
    press(7);
    EXPECT_EQ(tenKey(), "53123456");
    EXPECT_EQ(forms::beepCount(), 1);
    EXPECT_EQ(shown(1), "５３１２３４５６");
    EXPECT_EQ(page.caption(), "機能設定.");
    press(10);
    EXPECT_EQ(tenKey(), "----");
    EXPECT_EQ(shown(1), "－－－－");
}

TEST_F(Settings, TypedNumbersAreHeldToTheirRange) {
    frmSetting& page = open();
    select(7);
    page.txtTenKey()->setText("");
    page.txtTenKey()->setText("0");
    EXPECT_EQ(tenKey(), "1");
    page.txtTenKey()->setText("120");
    EXPECT_EQ(tenKey(), "99");
    EXPECT_EQ(forms::beepCount(), 3);  // the empty text, 0 and 120
    EXPECT_EQ(shown(7), "９９分");
    // After two digits the whole text is selected, so the next digit starts over.
    page.txtTenKey()->setText("");
    page.txtTenKey()->setText("4");
    press(2);
    EXPECT_EQ(tenKey(), "42");
    EXPECT_EQ(page.txtTenKey()->selectedText().toStdString(), "42");
    press(10);
    EXPECT_EQ(tenKey(), "1");
}

TEST_F(Settings, ChoiceFramesShowOnlyTheirValues) {
    frmSetting& page = open();
    select(5);
    EXPECT_EQ(page.visibleFrame(), 2);
    EXPECT_FALSE(page.optTimes(0)->isHidden());
    EXPECT_TRUE(page.optTimes(5)->isEnabled());
    EXPECT_FALSE(page.optTimes(6)->isEnabled());
    int seven = '7';
    page.optTimes_KeyPress(seven);
    EXPECT_EQ(value(5), "1");
    int three = '3';
    page.optTimes_KeyPress(three);
    EXPECT_EQ(value(5), "3");
    EXPECT_EQ(shown(5), "３秒");
    select(4);
    EXPECT_TRUE(page.optTimes(0)->isHidden());
    select(17);
    EXPECT_EQ(page.visibleFrame(), 1);
    EXPECT_EQ(page.optMode(0)->text().toStdString(), "しない");
    EXPECT_EQ(page.optMode(1)->text().toStdString(), "する");
    EXPECT_TRUE(page.optMode(2)->isHidden());
    EXPECT_TRUE(page.optMode(3)->isHidden());
    page.optMode(0)->setValue(true);
    EXPECT_EQ(shown(17), "しない");
}

TEST_F(Settings, SelectingARowNeverMarksThePageChanged) {
    exec("UPDATE tblSetting SET fldValue = '12' WHERE fldNo = 1");  // too short a code
    frmSetting& page = open();
    for (int no : {2, 4, 5, 6, 17, 18, 19, 20, 21, 22, 1}) select(no);
    EXPECT_EQ(page.caption(), "機能設定");
    EXPECT_EQ(value(1), "1200");  // corrected in the grid only
    page.msbSaveData();
    EXPECT_EQ(stored(1), "12");
    EXPECT_EQ(gfChanged, vbFalse);
}

TEST_F(Settings, AStoredChoiceNoButtonOffersIsKeptUntilOneIsPicked) {
    struct Case {
        int no;
        const char* value;
    };
    const Case cases[] = {{5, "12"}, {4, "0"}, {6, "-1"}, {17, "2"}, {21, "7"}};
    for (const Case& c : cases) exec("UPDATE tblSetting SET fldValue = '" + std::string(c.value) + "' WHERE fldNo = " + std::to_string(c.no));
    frmSetting& page = open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.no);
        select(c.no);
        for (int i = 0; i < 10; ++i) EXPECT_FALSE(page.optTimes(i)->value()) << i;
        for (int i = 0; i < 4; ++i) EXPECT_FALSE(page.optMode(i)->value()) << i;
        EXPECT_EQ(shown(c.no), "");
        EXPECT_EQ(value(c.no), c.value);
    }
    // Another change saves every row; the odd values go back as they were.
    select(2);
    press(7);
    page.msbSaveData();
    for (const Case& c : cases) EXPECT_EQ(stored(c.no), c.value) << c.no;
    // Picking a button replaces the value.
    select(5);
    page.optTimes(2)->setValue(true);
    EXPECT_EQ(shown(5), "２秒");
    page.msbSaveData();
    EXPECT_EQ(stored(5), "2");
}

TEST_F(Settings, SavingWritesEveryRowOnlyAfterAChange) {
    frmSetting& page = open();
    page.leavePage();
    EXPECT_EQ(gfChanged, vbFalse);
    select(18);
    page.optMode(0)->setValue(true);
    page.leavePage();
    EXPECT_EQ(stored(18), "0");
    EXPECT_EQ(gfChanged, vbTrue);
    EXPECT_EQ(page.caption(), "機能設定");
}

TEST_F(Settings, EnterStepsDownToTheLastShownRow) {
    frmSetting& page = open();
    const int last = rowOf(22);
    page.setSettingNo(std::to_string(last));
    int enter = 13;
    page.Form_KeyPress(enter);
    EXPECT_EQ(page.lblSettingNo()->text().toStdString(), std::to_string(last));
    dialogs_.expect("オプション機能を使用するには");
    page.chkOption()->setValue(forms::vbChecked);
    EXPECT_FALSE(page.sstSetting()->rowHidden(rowOf(23)));
    enter = 13;
    page.Form_KeyPress(enter);
    EXPECT_EQ(page.lblSettingNo()->text().toStdString(), std::to_string(last + 1));
    EXPECT_EQ(page.visibleFrame(), 3);
    page.chkOption()->setValue(forms::vbUnchecked);
    EXPECT_EQ(page.lblSettingNo()->text().toStdString(), "1");
    EXPECT_FALSE(page.optionsShown());
}

TEST_F(Settings, ResetReturnsTheTemplateDefaults) {
    exec("UPDATE tblSetting SET fldValue = '9' WHERE fldNo = 2");
    frmSetting& page = open();
    dialogs_.expect("登録値を全て初期値にします。", forms::vbNo);
    page.cmdReset()->press();
    EXPECT_EQ(stored(2), "9");
    dialogs_.expect("登録値を全て初期値にします。", forms::vbYes);
    page.cmdReset()->press();
    EXPECT_EQ(stored(2), "5");
    EXPECT_EQ(value(2), "5");
    EXPECT_EQ(gfChanged, vbTrue);
    EXPECT_EQ(page.caption(), "機能設定");
}

TEST_F(Settings, ImportReplacesTheSettingsOrLeavesThemWhole) {
    // Another document: a header, then a database whose settings lack number 19.
    const std::string other = file("other.kvp");
    {
        createDocumentFromMaster(file("o.dat"));
        dao::Database o = dao::Database::open(file("o.dat"));
        o.execute("UPDATE tblSetting SET fldValue = '12' WHERE fldNo = 2");
        o.execute("DELETE FROM tblSetting WHERE fldNo = 19");
    }
    const auto write = [](const std::string& path, const std::string& code, const std::string& body) {
        std::string header(kHeaderSize, ' ');
        header.replace(0, 8, code);
        header.replace(8, 4, "DATA");
        header.replace(12, 3, "101");
        std::ofstream(path, std::ios::binary) << header << body;
    };
    std::ifstream in(file("o.dat"), std::ios::binary);
    write(other, "KVM58SPC", std::string(std::istreambuf_iterator<char>(in), {}));
    write(file("card.crd"), "KV-M58S1", std::string(2000, 'x'));
    write(file("bad.kvp"), "KVM58SPX", std::string(2000, 'x'));

    frmSetting& page = open();
    dialogs_.expect("インポートしますか？", forms::vbYes).expectFile(forms::FileDialogRequest::Open, std::nullopt);
    page.mnuFileRead_Click();
    dialogs_.expect("インポートしますか？", forms::vbYes)
        .expectFile(forms::FileDialogRequest::Open, file("bad.kvp"))
        .expect("ファイル形式を認識できませんでした。(4)");
    page.mnuFileRead_Click();
    dialogs_.expect("インポートしますか？", forms::vbYes)
        .expectFile(forms::FileDialogRequest::Open, file("card.crd"))
        .expect("ファイルの読み込み中にエラーが発生しました。");
    page.mnuFileRead_Click();
    EXPECT_EQ(stored(2), "5");
    EXPECT_EQ(intOf("SELECT Count(*) FROM tblSetting"), 14);
    EXPECT_TRUE(page.isEnabled());
    EXPECT_EQ(gfChanged, vbFalse);
    dialogs_.expect("インポートしますか？", forms::vbYes).expectFile(forms::FileDialogRequest::Open, other);
    page.mnuFileRead_Click();
    EXPECT_EQ(stored(2), "12");
    EXPECT_EQ(value(2), "12");
    EXPECT_EQ(stored(19), "1");
    EXPECT_EQ(gfChanged, vbTrue);
    EXPECT_FALSE(std::filesystem::exists(file("TempDB.dat")));
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(Settings, PrintsAtLevelTwoUntilTheOptionsAreHidden) {
    std::vector<int> levels;
    patterns::setPrintEntry([&](int mode, int level) {
        EXPECT_EQ(mode, 6);
        levels.push_back(level);
    });
    frmSetting& page = open();
    page.mnuPrintPrint_Click();
    dialogs_.expect("オプション機能");
    page.chkOption()->setValue(forms::vbChecked);
    page.chkOption()->setValue(forms::vbUnchecked);
    page.mnuPrintPrint_Click();
    EXPECT_EQ(levels, (std::vector<int>{2, 1}));
}

}  // namespace
