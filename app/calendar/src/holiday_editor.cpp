// The holiday-rule editor: the rule grid, loading a rule into the inputs, storing and
// deleting a rule, the default rules of Master.dat, and the Enter key's focus moves.
#include "calendar/holiday_editor.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

#include "core/calendar.h"
#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/help.h"
#include "core/input_filters.h"
#include "core/messages.h"
#include "core/strings.h"
#include "core/uc_numeric.h"
#include "dao/database.h"
#include "forms/controls.h"
#include "forms/grid.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/error.h"
#include "runtime/numeric.h"
#include "schedule_colours.h"
#include "wizard/host.h"

namespace {

constexpr int kColumns = 7;
constexpr int kGridRows = 25;
constexpr int kNameBytes = 20;

QString qs(const char* utf8) { return QString::fromUtf8(utf8); }

std::string rtrim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

int number(const std::string& s) { return static_cast<int>(runtime::val(s)); }

bool isVariableDay(int code) { return code > 40 && code <= 87; }

// Unselects both option buttons of a pair, which an exclusive group does not allow.
void clearOptions(forms::OptionButton* const (&opts)[2]) {
    for (auto* o : opts) o->setAutoExclusive(false);
    for (auto* o : opts) o->setChecked(false);
    for (auto* o : opts) o->setAutoExclusive(true);
}

}  // namespace

frmSyukujitu::frmSyukujitu(QWidget* parent) : QDialog(parent) {
    setObjectName("frmSyukujitu");
    setWindowTitle(qs("祝日の編集"));
    setWindowModality(Qt::ApplicationModal);
    buildControls();
}

frmSyukujitu::~frmSyukujitu() = default;

void frmSyukujitu::guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (const runtime::Error& e) {
        gsbErrorMsg(e, true);
    }
}

void frmSyukujitu::buildControls() {
    auto* root = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    root->addLayout(body);

    sstSyukujitu = new forms::Grid(this);
    sstSyukujitu->setMaxCols(kColumns);
    sstSyukujitu->setMaxRows(kGridRows);
    sstSyukujitu->setColHidden(0, true);
    static const char* const kTitles[] = {"日付", "祝日名", "祝日", "振替休日", "日曜祝日", "月", "日にち"};
    static const double kWidths[] = {13.62, 23.75, 4.25, 4.25, 4.25, 4, 4};
    for (int c = 1; c <= kColumns; ++c) {
        sstSyukujitu->setText(c, 0, kTitles[c - 1]);
        sstSyukujitu->setColWidth(c, kWidths[c - 1]);
    }
    sstSyukujitu->setOperationMode(forms::Grid::OperationMode::SingleSelect);
    sstSyukujitu->setTextTip("編集する祝日を選択してください。");
    sstSyukujitu->setMinimumHeight(360);
    body->addWidget(sstSyukujitu);
    connect(sstSyukujitu, &forms::Grid::click, this, [this](int c, int r) { sstSyukujitu_Click(c, r); });
    connect(sstSyukujitu, &forms::Grid::mouseUp, this, [this] { sstSyukujitu_MouseUp(); });

    auto* side = new QVBoxLayout;
    body->addLayout(side);
    fraSet = new QGroupBox(qs("登録"), this);
    auto* set = new QGridLayout(fraSet);
    lblComment = new QLabel(qs("祝日名"), fraSet);
    txtComment = new forms::TextBox(fraSet);
    txtComment->setToolTip(qs("祝日名を入力してください。"));
    txtComment->installEventFilter(this);
    set->addWidget(lblComment, 0, 0);
    set->addWidget(txtComment, 0, 1, 1, 3);
    unmMonth = new UcNumeric(fraSet);
    unmMonth->SetMax(12);
    unmMonth->SetMin(1);
    Label2 = new QLabel(qs("月"), fraSet);
    set->addWidget(unmMonth, 1, 1);
    set->addWidget(Label2, 1, 2);
    optSyukujitu[0] = new forms::OptionButton(qs("固定日"), fraSet);
    optSyukujitu[1] = new forms::OptionButton(qs("変動日"), fraSet);
    unmDay = new UcNumeric(fraSet);
    unmDay->SetMax(31);
    unmDay->SetMin(1);
    Label4 = new QLabel(qs("日"), fraSet);
    set->addWidget(optSyukujitu[0], 2, 0);
    set->addWidget(unmDay, 2, 1);
    set->addWidget(Label4, 2, 2);
    cboWeekNo = new QComboBox(fraSet);
    for (const char* s : {"第１", "第２", "第３", "第４", "第５"}) cboWeekNo->addItem(qs(s));
    cboWeekNo->setToolTip(qs("祝日の週を選択してください。"));
    cboWeek = new QComboBox(fraSet);
    for (const char* s : {"日曜日", "月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日"}) cboWeek->addItem(qs(s));
    cboWeek->setToolTip(qs("祝日の曜日を選択してください。"));
    set->addWidget(optSyukujitu[1], 3, 0);
    set->addWidget(cboWeekNo, 3, 1);
    set->addWidget(cboWeek, 3, 2);
    for (int i = 0; i < 2; ++i) connect(optSyukujitu[i], &forms::OptionButton::click, this, [this] { optSyukujitu_Click(); });
    connect(unmMonth, &UcNumeric::Change, this, [this] { unmMonth_Change(); });
    connect(txtComment, &forms::TextBox::change, this, [this] { txtComment_Change(); });
    cmdSet = new forms::CommandButton(qs("登録"), fraSet);
    cmdSet->setToolTip(qs("入力内容を登録します。"));
    cmdDelete = new forms::CommandButton(qs("削除"), fraSet);
    cmdDelete->setToolTip(qs("登録内容を削除します。"));
    set->addWidget(cmdSet, 4, 1);
    set->addWidget(cmdDelete, 4, 2);
    side->addWidget(fraSet);
    connect(cmdSet, &forms::CommandButton::click, this, [this] { cmdSet_Click(); });
    connect(cmdDelete, &forms::CommandButton::click, this, [this] { cmdDelete_Click(); });

    cmdReadMaster = new forms::CommandButton(qs("既定値を読み込む"), this);
    cmdReadMaster->setToolTip(qs("既定値の祝日を読み込み現在の登録と置き換えます。"));
    cmdSaveMaster = new forms::CommandButton(qs("既定値として保存"), this);
    cmdSaveMaster->setToolTip(
        qs("現在の祝日を既定値として設定します。既定値に設定すると、以後の新規作成時に反映されます。"));
    cmdBack = new forms::CommandButton(qs("戻る"), this);
    cmdBack->setToolTip(qs("祝日スケジュールの登録に戻ります。"));
    lblSyukujituNo = new QLabel("1", this);
    lblSyukujituNo->setVisible(false);
    for (QWidget* w : std::initializer_list<QWidget*>{cmdReadMaster, cmdSaveMaster, lblSyukujituNo}) side->addWidget(w);
    side->addStretch(1);
    side->addWidget(cmdBack);
    connect(cmdReadMaster, &forms::CommandButton::click, this, [this] { cmdReadMaster_Click(); });
    connect(cmdSaveMaster, &forms::CommandButton::click, this, [this] { cmdSaveMaster_Click(); });
    connect(cmdBack, &forms::CommandButton::click, this, [this] { cmdBack_Click(); });

    lblHint = new QLabel(qs("※春分の日、秋分の日は年によって自動計算されますが実際\r\n"
                            "　の日にちと異なる場合があります。\r\n"
                            "※「国民の休日」とは、その前日及び翌日が祝日である日の\r\n"
                            "　ことを言います。但し、その日が祝日のときを除きます。"),
                         this);
    root->addWidget(lblHint);

    menuBar = new QMenuBar(this);
    root->setMenuBar(menuBar);
    mnuHelp = menuBar->addMenu(qs("ﾍﾙﾌﾟ(&H)"));
    mnuHelpContents = mnuHelp->addAction(qs("目次(&C)"), this, [] { gsbHelpContents(); });
    mnuHelpKeyWord = mnuHelp->addAction(qs("ｷｰﾜｰﾄﾞ(&I)"), this, [] { gsbHelpIndex(); });
    mnuHelpWindow = mnuHelp->addAction(qs("この画面に関するﾍﾙﾌﾟ(&W)"), this, [] { gsbHelpContext(kHelpHolidayEditor); });

    keys_ = new forms::KeyPreview(this);
    keys_->keyPress = [this](int& keyAscii) { Form_KeyPress(keyAscii); };
}

bool frmSyukujitu::eventFilter(QObject* watched, QEvent* event) {
    if (watched == txtComment && event->type() == QEvent::FocusIn) txtComment_GotFocus();
    return QDialog::eventFilter(watched, event);
}

// ---- Load ----

void frmSyukujitu::Form_Load() {
    guarded([&] {
        setVisible(false);
        setEnabled(false);
        move(0, 0);
        psbShowSyukujitu();
        unmMonth->SetValue(1);
        unmMonth->SetMax(12);
        unmMonth->SetMin(1);
        adjustSize();
        if (gintLogMode) lblSyukujituNo->setVisible(true);
        lblSyukujituNo_Change();
        cmdBack->setEnabled(false);
        setEnabled(true);
        forms::doEvents();
        gsbSetFocus(txtComment);
        update();
        cmdBack->setEnabled(true);
    });
}

// ---- The grid ----

std::int32_t frmSyukujitu::pfnlSyukujituColor(int value) { return value == 255 ? 0xFFFFFF : kHolidayColour; }

void frmSyukujitu::psbShowSyukujitu() {
    psbSetFormEnabled(false);
    {
        dao::Recordset rs =
            gdbWork.openRecordset("SELECT * FROM tblSyukujitu WHERE Not fldDay = 0 ORDER BY fldMonth ASC, fldDay ASC;");
        forms::Grid& g = *sstSyukujitu;
        forms::GridRefill refill(g);
        // Every rule is shown: the grid grows past its design rows when the document holds more.
        g.setMaxRows(std::max<long>(kGridRows, rs.recordCount()));
        g.clearText(1, 1, forms::Grid::kAll, forms::Grid::kAll);
        g.setBlockBackColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, 0xFFFFFF);
        g.setBlockForeColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, forms::vbBlack);
        for (int c = 3; c <= kColumns; ++c) g.setColHidden(c, gintLogMode == 0);
        g.fitToColumns();
        g.setBlockBackColor(1, 1, 2, forms::Grid::kAll, kListBack);
        for (int row = 1; !rs.eof(); rs.moveNext(), ++row) {
            const int month = rs["fldMonth"].toInt(), code = rs["fldDay"].toInt();
            const int holiday = rs["fldSyukujitu"].isNull() ? 255 : rs["fldSyukujitu"].toInt();
            const int monday = rs["fldMonday"].isNull() ? 255 : rs["fldMonday"].toInt();
            g.setText(1, row, gfnsGetSyukujituStr(month, code));
            g.setText(2, row, rs["fldName"].toText());
            const int shown[] = {holiday, monday, holiday};
            for (int c = 3; c <= 5; ++c) {
                g.setText(c, row, gfnsGetDayTypeStr(shown[c - 3], 0));
                g.setBackColor(c, row, pfnlSyukujituColor(shown[c - 3]));
            }
            g.setText(6, row, std::to_string(month));
            g.setText(7, row, std::to_string(code));
            if (isVariableDay(code)) {
                g.clearText(4, row, 5, row);
                g.setBlockBackColor(4, row, 5, row, forms::vbBlack);
            }
        }
    }
    psbSetFormEnabled(true);
}

int frmSyukujitu::selectedRow() const { return lblSyukujituNo->text().toInt(); }

void frmSyukujitu::selectRow(int row) {
    const QString text = QString::number(row);
    if (lblSyukujituNo->text() == text) return;  // an unchanged caption raises no change
    lblSyukujituNo->setText(text);
    lblSyukujituNo_Change();
}

void frmSyukujitu::sstSyukujitu_Click(int, int row) {
    if (row >= 1) selectRow(row);
}

void frmSyukujitu::sstSyukujitu_MouseUp() {
    const int row = sstSyukujitu->activeRow();
    if (row >= 1) selectRow(row);
    gsbSetFocus(txtComment);
}

void frmSyukujitu::lblSyukujituNo_Change() {
    guarded([&] {
        forms::Grid& g = *sstSyukujitu;
        const int r = selectedRow();
        g.setActiveCell(1, r);
        txtComment->setText(QString::fromStdString(g.text(2, r)));
        const int month = number(g.text(6, r));
        const int code = number(g.text(7, r));
        const bool hasRule = !g.text(7, r).empty();
        unmMonth->SetEnabled(true);
        unmDayTag.clear();
        int weekNo = 0, weekday = 1;
        if (!hasRule) {
            for (auto* o : optSyukujitu) o->setEnabled(true);
            optSyukujitu[0]->setValue(true);
            unmMonth->SetValue(1);
            unmDay->SetValue(1);
        } else if (code >= 1 && code <= 31) {
            for (auto* o : optSyukujitu) o->setEnabled(true);
            optSyukujitu[0]->setValue(true);
            unmMonth->SetValue(month);
            unmDay->SetValue(code);
        } else if (code == kHolidayEquinox || code == kHolidayRuleDay) {
            unmMonth->SetEnabled(false);
            clearOptions(optSyukujitu);
            for (auto* o : optSyukujitu) o->setEnabled(false);
            optSyukujitu_Click();
            unmMonth->SetValue(code == kHolidayRuleDay ? 1 : month);
            unmMonthTag = std::to_string(code == kHolidayRuleDay ? 0 : month);
            unmDay->SetValue(1);
            unmDayTag = std::to_string(code);
        } else {
            for (auto* o : optSyukujitu) o->setEnabled(true);
            optSyukujitu[1]->setValue(true);
            unmMonth->SetValue(month);
            unmDay->SetValue(1);
            weekNo = code / 10 - 4;
            weekday = code % 10 - 1;
        }
        cboWeekNo->setCurrentIndex(weekNo);
        cboWeek->setCurrentIndex(weekday);
    });
}

// ---- Inputs ----

void frmSyukujitu::optSyukujitu_Click() {
    const bool fixed = optSyukujitu[0]->isChecked();
    if (!fixed) unmDay->SetValue(1);
    unmDay->SetEnabled(fixed);
    cboWeekNo->setEnabled(optSyukujitu[1]->isChecked());
    cboWeek->setEnabled(optSyukujitu[1]->isChecked());
}

void frmSyukujitu::unmMonth_Change() {
    unmDay->SetValue(1);
    unmDay->SetMax(gfniGetMonthDays(static_cast<int>(unmMonth->Value()), 0));
    unmDay->SetMin(1);
}

void frmSyukujitu::txtComment_GotFocus() { gsbSelectAll(txtComment); }

void frmSyukujitu::txtComment_Change() {
    const std::string text = txtComment->text().toStdString();
    if (gfniLenB(text) <= kNameBytes) return;
    forms::beep();
    const int caret = txtComment->cursorPosition();
    txtComment->setText(QString::fromStdString(gfnsLeftB(text, kNameBytes)));
    txtComment->setCursorPosition(std::min(caret, static_cast<int>(txtComment->text().size())));
}

// ---- Storing a rule ----

void frmSyukujitu::cmdSet_Click() {
    guarded([&] {
        setEnabled(false);
        const std::string name = rtrim(txtComment->text().toStdString());
        int month = static_cast<int>(unmMonth->Value());
        int code = static_cast<int>(unmDay->Value());
        const int week = cboWeekNo->currentIndex() + 1;
        const int weekday = cboWeek->currentIndex() + 1;
        if (optSyukujitu[1]->isChecked()) {
            code = holidayNthCode(week, weekday);
        } else if (!optSyukujitu[0]->isChecked()) {
            code = number(unmDayTag) == kHolidayRuleDay ? kHolidayRuleDay : kHolidayEquinox;
            month = number(unmMonthTag);
            if (code == kHolidayEquinox) unmMonth->SetValue(month);
        }
        const std::string date = gfnsGetSyukujituStr(month, code);
        forms::Grid& g = *sstSyukujitu;
        const int sel = selectedRow();
        const bool hadRule = !g.text(7, sel).empty();
        const int oldMonth = hadRule ? number(g.text(6, sel)) : 0;
        const int oldCode = hadRule ? number(g.text(7, sel)) : 0;
        if (pfnfSetSyukujitu(oldMonth, oldCode, name, month, code)) {
            int target = sel;
            if (!hadRule) {
                for (int r = 1; r <= g.maxRows(); ++r) {
                    if (g.text(1, r) == date) {
                        target = r;
                        break;
                    }
                }
            }
            writeRuleRow(target, date, name, month, code);
            if (target != g.maxRows()) selectRow(target + 1);
        }
        setEnabled(true);
        gsbSetFocus(txtComment);
    });
}

void frmSyukujitu::writeRuleRow(int row, const std::string& date, const std::string& name, int month, int code) {
    forms::Grid& g = *sstSyukujitu;
    g.setText(1, row, date);
    g.setText(2, row, name);
    g.setText(6, row, std::to_string(month));
    g.setText(7, row, std::to_string(code));
    for (int c = 4; c <= 5; ++c) {
        if (isVariableDay(code)) {
            g.setText(c, row, "");
            g.setBackColor(c, row, forms::vbBlack);
        } else if (g.backColor(c, row) == forms::vbBlack) {
            g.setBackColor(c, row, 0xFFFFFF);
        }
    }
}

bool frmSyukujitu::pfnfSetSyukujitu(int iOldMonth, int iOldDay, const std::string& sName, int iMonth, int iDay) {
    const std::string pair = "fldMonth = " + std::to_string(iMonth) + " And fldDay = " + std::to_string(iDay);
    dao::Recordset rs;
    if (iOldMonth != 0 || iOldDay != 0) {
        const std::string old = "fldMonth = " + std::to_string(iOldMonth) + " And fldDay = " + std::to_string(iOldDay);
        {
            dao::Recordset others = gdbWork.openRecordset("SELECT * FROM tblSyukujitu WHERE Not (" + old + ")");
            others.findFirst(pair);
            if (!others.noMatch()) {
                gfniMsgBox(105);
                return false;
            }
        }
        rs = gdbWork.openRecordset("SELECT * FROM tblSyukujitu");
        rs.findFirst(old);
        if (rs.noMatch()) {
            gsbErrorMsg("更新なのに登録がない（pfnfSetSyukujitu）", true);
            return false;
        }
        if (gfniMsgBox(4) != forms::vbYes) return false;
        rs.edit();
    } else {
        rs = gdbWork.openRecordset("SELECT * FROM tblSyukujitu");
        rs.findFirst(pair);
        if (rs.noMatch()) {
            rs.addNew();
            rs.set("fldSyukujitu", kPatternNotSet);
            rs.set("fldMonday", kPatternNotSet);
        } else {
            if (gfniMsgBox(5) != forms::vbYes) return false;
            rs.edit();
        }
    }
    rs.set("fldMonth", iMonth);
    rs.set("fldDay", iDay);
    rs.set("fldName", sName);
    // A variable-day rule has no substitute holiday of its own.
    if (isVariableDay(iDay)) rs.set("fldMonday", kPatternNotSet);
    rs.update();
    gfChanged = vbTrue;
    return true;
}

// ---- Deleting a rule ----

void frmSyukujitu::cmdDelete_Click() {
    guarded([&] {
        forms::Grid& g = *sstSyukujitu;
        const int r = selectedRow();
        if (!g.text(6, r).empty() && pfnfDeleteSyukujitu(number(g.text(6, r)), number(g.text(7, r)))) {
            g.clearText(1, r, kColumns, r);
            g.setBlockBackColor(3, r, 5, r, 0xFFFFFF);
            lblSyukujituNo_Change();
        }
        gsbSetFocus(txtComment);
    });
}

bool frmSyukujitu::pfnfDeleteSyukujitu(int iMonth, int iDay) {
    dao::Recordset rs = gdbWork.openRecordset("SELECT * FROM tblSyukujitu");
    rs.findFirst("fldMonth = " + std::to_string(iMonth) + " And fldDay = " + std::to_string(iDay));
    if (rs.noMatch()) return false;
    if (gfniMsgBox(2) != forms::vbYes) return false;
    rs.deleteRecord();
    gfChanged = vbTrue;
    return true;
}

// ---- Default rules ----

namespace {

// Replaces the rule rows of db by those of the attached file; the settings row stays.
void replaceRules(dao::Database& db, const std::string& from) {
    auto source = db.attach(from, "src");
    dao::Transaction swap(db);
    db.execute("DELETE FROM tblSyukujitu WHERE Not fldDay = 0");
    db.execute("INSERT INTO tblSyukujitu SELECT * FROM src.tblSyukujitu WHERE Not fldDay = 0");
    swap.commit();
}

}  // namespace

void frmSyukujitu::cmdReadMaster_Click() {
    guarded([&] {
        if (gfniMsgBox(14) != forms::vbYes) return;
        psbSetFormEnabled(false);
        replaceRules(gdbWork, gstrDataPath + std::string(kMasterDat));
        gfChanged = vbTrue;
        psbShowSyukujitu();
        if (selectedRow() == 1)
            lblSyukujituNo_Change();
        else
            selectRow(1);
        psbSetFormEnabled(true);
    });
}

void frmSyukujitu::cmdSaveMaster_Click() {
    guarded([&] {
        if (gfniMsgBox(15) != forms::vbYes) return;
        psbSetFormEnabled(false);
        gsbCloseDatabase(gdbWork);
        {
            // The document is reopened however the copy ends.
            struct Reopen {
                ~Reopen() { gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat)); }
            } reopen;
            dao::Database master;
            gsbOpenDatabase(master, gstrDataPath + std::string(kMasterDat));
            replaceRules(master, gstrDataPath + std::string(kRegistDat));
            gsbCloseDatabase(master);
        }
        psbSetFormEnabled(true);
    });
}

// ---- Keys, closing, busy switch ----

void frmSyukujitu::Form_KeyPress(int& keyAscii) {
    if (keyAscii != 13) return;
    keyAscii = 0;
    QWidget* active = QApplication::focusWidget();
    if (!active) return;
    const auto in = [active](QWidget* w) { return w == active || w->isAncestorOf(active); };
    if (in(txtComment)) {
        if (unmMonth->Enabled())
            gsbSetFocusNum(unmMonth);
        else
            gsbSetFocus(cmdSet);
    } else if (in(unmMonth)) {
        gsbSetFocus(optSyukujitu[1]->isChecked() ? optSyukujitu[1] : optSyukujitu[0]);
    } else if (in(optSyukujitu[0])) {
        gsbSetFocusNum(unmDay);
    } else if (in(optSyukujitu[1])) {
        gsbSetFocus(cboWeekNo);
    } else if (in(cboWeekNo)) {
        gsbSetFocus(cboWeek);
    } else if (in(cboWeek) || in(unmDay)) {
        gsbSetFocus(cmdSet);
    }
}

void frmSyukujitu::cmdBack_Click() {
    setEnabled(false);
    setVisible(false);
    forms::doEvents();
    done(0);
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(true);
}

void frmSyukujitu::psbSetFormEnabled(bool fEnable) {
    setEnabled(false);
    if (!fEnable) forms::setScreenPointer(forms::vbHourglass);
    cmdBack->setEnabled(fEnable);
    mnuHelp->setEnabled(fEnable);
    if (fEnable) forms::setScreenPointer(forms::vbDefault);
    setEnabled(fEnable);
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(fEnable);
    forms::doEvents();
}
