// The holiday-rule editor: the rule grid, loading rules into the inputs, storing, deleting,
// the default rules, and the Enter key.
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "calendar/holiday_editor.h"
#include "calendar_fixture.h"
#include "core/strings.h"
#include "core/uc_numeric.h"
#include "forms/controls.h"

namespace {

using caltest::Document;

struct Rule {
    int month, day;
    std::string name;
    int syukujitu, monday;
    bool operator==(const Rule&) const = default;
};

class Holidays : public Document {
protected:
    void TearDown() override {
        editor_.reset();
        Document::TearDown();
    }
    frmSyukujitu& load() {
        editor_ = std::make_unique<frmSyukujitu>();
        editor_->Form_Load();
        return *editor_;
    }
    static std::vector<Rule> rules(dao::Database& db = gdbWork) {
        std::vector<Rule> out;
        for (auto rs = db.openRecordset("SELECT * FROM tblSyukujitu WHERE Not fldDay = 0 ORDER BY fldMonth, fldDay");
             !rs.eof(); rs.moveNext())
            out.push_back({rs["fldMonth"].toInt(), rs["fldDay"].toInt(), rs["fldName"].toText(), rs["fldSyukujitu"].toInt(),
                           rs["fldMonday"].toInt()});
        return out;
    }
    static std::optional<Rule> rule(int month, int day) {
        for (const Rule& r : rules())
            if (r.month == month && r.day == day) return r;
        return std::nullopt;
    }
    // The first empty grid row.
    int emptyRow() const {
        int r = 1;
        while (!editor_->sstSyukujitu->text(7, r).empty()) ++r;
        return r;
    }
    void type(const std::string& name) { editor_->txtComment->setText(QString::fromStdString(name)); }

    std::unique_ptr<frmSyukujitu> editor_;
};

TEST_F(Holidays, LoadListsTheRulesByMonthAndDayWithoutTheSettingsRow) {
    frmSyukujitu& w = load();
    const forms::Grid& g = *w.sstSyukujitu;
    EXPECT_EQ(g.text(1, 1), gfnsGetSyukujituStr(0, 36));
    EXPECT_EQ(g.text(2, 1), "国民の休日");
    EXPECT_EQ(g.text(2, 2), "元日");
    EXPECT_EQ(g.text(2, 17), "勤労感謝の日");
    EXPECT_EQ(g.text(2, 18), "");
    EXPECT_TRUE(g.colHidden(3));
    EXPECT_TRUE(g.colHidden(7));
    EXPECT_EQ(g.backColor(1, 20), 0xE2E2E2);
    EXPECT_EQ(g.backColor(4, 3), 0x000000);  // 成人の日, an n-th Monday
    // Row 1 (the rule-day row) is loaded: only the name can be changed.
    EXPECT_EQ(w.selectedRow(), 1);
    EXPECT_EQ(w.txtComment->text().toStdString(), "国民の休日");
    EXPECT_FALSE(w.unmMonth->Enabled());
    EXPECT_FALSE(w.optSyukujitu[0]->isEnabled());
    EXPECT_FALSE(w.optSyukujitu[0]->isChecked() || w.optSyukujitu[1]->isChecked());
    EXPECT_FALSE(w.unmDay->Enabled());
    EXPECT_FALSE(w.cboWeekNo->isEnabled());
    EXPECT_TRUE(w.cmdBack->isEnabled());
}

TEST_F(Holidays, LoadingARowFillsTheInputsByKind) {
    frmSyukujitu& w = load();
    w.selectRow(3);  // 成人の日: 2nd Monday of January
    EXPECT_TRUE(w.optSyukujitu[1]->isChecked());
    EXPECT_EQ(w.unmMonth->Value(), 1);
    EXPECT_EQ(w.cboWeekNo->currentIndex(), 1);
    EXPECT_EQ(w.cboWeek->currentIndex(), 1);
    EXPECT_FALSE(w.unmDay->Enabled());
    EXPECT_TRUE(w.cboWeek->isEnabled());
    w.selectRow(4);  // 建国記念の日: 11 February
    EXPECT_TRUE(w.optSyukujitu[0]->isChecked());
    EXPECT_EQ(w.unmMonth->Value(), 2);
    EXPECT_EQ(w.unmDay->Value(), 11);
    EXPECT_EQ(w.unmDay->Max(), 29);
    EXPECT_TRUE(w.unmDay->Enabled());
    EXPECT_FALSE(w.cboWeekNo->isEnabled());
    w.selectRow(6);  // 春分の日
    EXPECT_FALSE(w.unmMonth->Enabled());
    EXPECT_EQ(w.unmMonth->Value(), 3);
    EXPECT_EQ(w.unmDayTag, "35");
    EXPECT_EQ(w.unmMonthTag, "3");
    // Typed values stay when the selected row is clicked again.
    type("書きかけ");
    w.sstSyukujitu_Click(1, 6);
    EXPECT_EQ(w.txtComment->text().toStdString(), "書きかけ");
}

TEST_F(Holidays, SettingAFixedDayOnAnEmptyRowAddsARule) {
    frmSyukujitu& w = load();
    const int row = emptyRow();
    w.selectRow(row);
    type("テストの日  ");
    w.unmMonth->SetValue(6);
    w.unmDay->SetValue(10);
    w.cmdSet_Click();
    EXPECT_EQ(rule(6, 10), (Rule{6, 10, "テストの日", 255, 255}));
    EXPECT_EQ(w.sstSyukujitu->text(2, row), "テストの日");
    EXPECT_EQ(w.sstSyukujitu->text(1, row), gfnsGetSyukujituStr(6, 10));
    EXPECT_EQ(w.selectedRow(), row + 1);
    EXPECT_TRUE(gfChanged);
}

TEST_F(Holidays, ANewRuleOnAnExistingDateAsksAndRenamesThatRow) {
    frmSyukujitu& w = load();
    w.selectRow(emptyRow());
    type("お正月");
    w.unmMonth->SetValue(1);
    w.unmDay->SetValue(1);
    dialogs_.expect("上書きしますか？", forms::vbYes);
    w.cmdSet_Click();
    EXPECT_EQ(rule(1, 1)->name, "お正月");
    EXPECT_EQ(w.sstSyukujitu->text(2, 2), "お正月");  // the row that showed 1 January
    EXPECT_EQ(w.sstSyukujitu->text(2, 18), "");
    EXPECT_EQ(w.selectedRow(), 3);
}

TEST_F(Holidays, ChangingARuleOntoAnotherRulesDateIsRefused) {
    frmSyukujitu& w = load();
    const auto before = rules();
    w.selectRow(4);  // 11 February
    w.unmDay->SetValue(23);
    dialogs_.expect("同じ日付の登録があります。");
    w.cmdSet_Click();
    EXPECT_EQ(rules(), before);
    EXPECT_FALSE(gfChanged);
    w.unmDay->SetValue(12);
    dialogs_.expect("上書きしてもいいですか？", forms::vbYes);
    w.cmdSet_Click();
    EXPECT_TRUE(rule(2, 12).has_value());
    EXPECT_FALSE(rule(2, 11).has_value());
}

TEST_F(Holidays, AVariableDayIsStoredAsItsCodeWithoutASubstitute) {
    gintLogMode = vbTrue;
    exec("UPDATE tblSyukujitu SET fldSyukujitu = 8, fldMonday = 8 WHERE fldMonth = 4 And fldDay = 29");
    frmSyukujitu& w = load();
    w.selectRow(7);  // 昭和の日, 29 April
    EXPECT_EQ(w.sstSyukujitu->text(4, 7), "祝日");
    w.optSyukujitu[1]->setValue(true);
    EXPECT_FALSE(w.unmDay->Enabled());
    w.unmMonth->SetValue(6);
    w.cboWeekNo->setCurrentIndex(2);
    w.cboWeek->setCurrentIndex(3);
    dialogs_.expect("上書きしてもいいですか？", forms::vbYes);
    w.cmdSet_Click();
    EXPECT_FALSE(rule(4, 29).has_value());
    EXPECT_EQ(rule(6, 64), (Rule{6, 64, "昭和の日", 8, 255}));  // 3rd Wednesday of June
    EXPECT_EQ(w.sstSyukujitu->text(4, 7), "");
    EXPECT_EQ(w.sstSyukujitu->backColor(4, 7), 0x000000);
    EXPECT_EQ(w.sstSyukujitu->backColor(5, 7), 0x000000);
}

TEST_F(Holidays, EquinoxAndRuleDayRowsKeepTheirCodeAndChangeOnlyTheName) {
    frmSyukujitu& w = load();
    type("国民の祝日");
    dialogs_.expect("上書きしてもいいですか？", forms::vbYes);
    w.cmdSet_Click();  // row 1: the rule day
    EXPECT_EQ(rule(0, 36)->name, "国民の祝日");
    w.selectRow(6);
    type("春の日");
    dialogs_.expect("上書きしてもいいですか？", forms::vbYes);
    w.cmdSet_Click();
    EXPECT_EQ(rule(3, 35)->name, "春の日");
    EXPECT_EQ(rules().size(), 17u);
}

TEST_F(Holidays, TheNameIsCutToTwentyBytesWithABeep) {
    frmSyukujitu& w = load();
    forms::resetBeepCount();
    type("一二三四五六七八九十壱");
    EXPECT_EQ(w.txtComment->text().toStdString(), "一二三四五六七八九十");
    EXPECT_EQ(forms::beepCount(), 1);
}

TEST_F(Holidays, DeletingEmptiesTheRowInPlace) {
    frmSyukujitu& w = load();
    w.selectRow(4);
    dialogs_.expect("削除してもいいですか？", forms::vbNo);
    w.cmdDelete_Click();
    EXPECT_TRUE(rule(2, 11).has_value());
    dialogs_.expect("削除してもいいですか？", forms::vbYes);
    w.cmdDelete_Click();
    EXPECT_FALSE(rule(2, 11).has_value());
    EXPECT_EQ(w.sstSyukujitu->text(2, 4), "");
    EXPECT_EQ(w.sstSyukujitu->text(2, 5), "天皇誕生日");
    EXPECT_TRUE(w.optSyukujitu[0]->isChecked());
}

TEST_F(Holidays, DefaultsAreReadIntoTheDocumentAndSavedToMaster) {
    exec("UPDATE tblSyukujitu SET fldSyukujitu = 8 WHERE fldDay = 0");
    exec("DELETE FROM tblSyukujitu WHERE fldMonth = 11");
    frmSyukujitu& w = load();
    w.selectRow(5);
    dialogs_.expect("祝日を既定値と置き換えてもいいですか？", forms::vbYes);
    w.cmdReadMaster_Click();
    EXPECT_EQ(rules().size(), 17u);
    EXPECT_EQ(intOf("SELECT fldSyukujitu FROM tblSyukujitu WHERE fldDay = 0"), 8);
    EXPECT_EQ(w.selectedRow(), 1);
    EXPECT_TRUE(gfChanged);

    gfChanged = vbFalse;
    exec("DELETE FROM tblSyukujitu WHERE fldMonth = 5");
    dialogs_.expect("祝日の既定値を変更しますか？", forms::vbYes);
    w.cmdSaveMaster_Click();
    EXPECT_TRUE(gdbWork.isOpen());
    EXPECT_FALSE(gfChanged);
    dao::Database master = dao::Database::open(file("Master.dat"));
    EXPECT_EQ(rules(master).size(), 14u);
    auto settings = master.openRecordset("SELECT fldSyukujitu FROM tblSyukujitu WHERE fldDay = 0");
    EXPECT_EQ(settings["fldSyukujitu"].toInt(), 255);
}

TEST_F(Holidays, EnterMovesThroughTheInputs) {
    frmSyukujitu& w = load();
    w.show();
    QApplication::setActiveWindow(&w);
    w.selectRow(4);  // a fixed day
    const auto enterFrom = [&](QWidget* from) {
        from->setFocus();
        int key = 13;
        w.Form_KeyPress(key);
        EXPECT_EQ(key, 0);
        return QApplication::focusWidget();
    };
    EXPECT_TRUE(w.unmMonth->isAncestorOf(enterFrom(w.txtComment)));
    EXPECT_EQ(enterFrom(w.unmMonth->textBox()), w.optSyukujitu[0]);
    EXPECT_TRUE(w.unmDay->isAncestorOf(enterFrom(w.optSyukujitu[0])));
    EXPECT_EQ(enterFrom(w.unmDay->textBox()), w.cmdSet);
    w.optSyukujitu[1]->setValue(true);
    EXPECT_EQ(enterFrom(w.optSyukujitu[1]), w.cboWeekNo);
    EXPECT_EQ(enterFrom(w.cboWeekNo), w.cboWeek);
    EXPECT_EQ(enterFrom(w.cboWeek), w.cmdSet);
}

}  // namespace
