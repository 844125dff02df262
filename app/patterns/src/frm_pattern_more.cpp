// The editor's message channels (names and answer modes), the holiday switches of the
// holiday pattern, and its buttons, name field and menus.
#include <cmath>

#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMenu>

#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/help.h"
#include "core/input_filters.h"
#include "core/messages.h"
#include "core/strings.h"
#include "core/timechart.h"
#include "core/uc_numeric.h"
#include "core/upkeep.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "patterns/frm_pattern.h"
#include "patterns/frm_pattern_copy.h"
#include "patterns/links.h"
#include "runtime/numeric.h"
#include "widget_props.h"
#include "wizard/host.h"

using namespace patterns::detail;

namespace {

constexpr int kNameBytes = 20;

std::string rtrim(std::string s) {
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// Cuts a typed name to its byte limit with a beep, keeping the caret where it was.
void limitName(forms::TextBox* box) {
    const std::string text = box->text().toStdString();
    if (gfniLenB(text) <= kNameBytes) return;
    forms::beep();
    const int caret = box->cursorPosition();
    box->setText(qs(gfnsLeftB(text, kNameBytes)));
    box->setCursorPosition(std::min(caret, static_cast<int>(box->text().size())));
}

}  // namespace

// ---- Message channels ----

void frmPattern::sstMessage_DblClick(int col, int row) {
    if (row <= 1 || col == 3) return;
    double h0 = sstMessage_->rowHeight(0);
    double h1 = sstMessage_->rowHeight(1);
    const int k = static_cast<int>(runtime::roundHalfEven(15.0 / forms::twipsPerPixelY() * 10));
    const int j = 20 - k;
    h0 = runtime::roundHalfEven(j / 10.0 * h0);
    h1 = runtime::roundHalfEven(k / 10.0 * h1);
    const double offset = (row - 1) * h1 + h0;
    const double w1 = sstMessage_->cellRect(1, 1).width();
    txtMsgName_->move(sstMessage_->x() + static_cast<int>(w1 / forms::twipsPerPixelX()),
                      sstMessage_->y() + static_cast<int>(offset / forms::twipsPerPixelY()));
    sstMessage_->setActiveCell(2, row);
    const std::string name = sstMessage_->text(2, row);
    txtMsgName_->setText(qs(name));
    msgNameTag_ = name;
    txtMsgName_->raise();
    txtMsgName_->show();
    gsbSetFocus(txtMsgName_);
}

void frmPattern::txtMsgName_Change() { limitName(txtMsgName_); }

void frmPattern::txtMsgName_LostFocus() {
    txtMsgName_->hide();
    const std::string name = rtrim(txtMsgName_->text().toStdString());
    const int ch = sstMessage_->activeRow() - 1;
    if (ch > 0 && name != msgNameTag_ && pfnfSetMessageData(ch, name)) sstMessage_->setText(2, ch + 1, name);
}

bool frmPattern::pfnfSetMessageData(int iCh, const std::string& sName) {
    auto rs = gdbWork.openRecordset("SELECT * FROM tblMessage");
    rs.findFirst("fldCh = " + std::to_string(iCh));
    if (rs.noMatch()) {
        gsbErrorMsg("指定メッセージチャンネルがない（pfnfSetMessageData）", true);
        return false;
    }
    rs.edit();
    rs.set("fldComment", sName);
    rs.update();
    gfChanged = vbTrue;
    return true;
}

void frmPattern::psbShowAnsRec() {
    bool any = false;
    auto rs = gdbWork.openRecordset("SELECT * FROM tblMessage WHERE fldCh Between 1 And 9 ORDER BY fldCh ASC;");
    for (; !rs.eof(); rs.moveNext()) {
        const bool rec = rs["fldAnsRec"].toBool();
        sstAnsRec_->setText(1, rs["fldCh"].toInt() + 1, rec ? "1" : "0");
        any = any || rec;
    }
    if (any) {
        mnuMsgAnsRec_->setChecked(false);
        mnuMsgAnsRec_Click();
    }
}

void frmPattern::sstAnsRec_Click(int col, int row) {
    sstAnsRec_->setRedraw(false);
    if (row == 1) {
        forms::beep();
        sstAnsRec_->setRedraw(true);
        return;
    }
    bool on = false;
    std::string where;
    if (row >= 2) {
        on = runtime::val(sstAnsRec_->text(1, row)) == 0;
        sstAnsRec_->setText(1, row, on ? "1" : "0");
        where = "fldCh = " + std::to_string(row - 1);
    } else {
        if (col >= 0) {
            on = true;
            for (int r = 2; r <= sstAnsRec_->maxRows(); ++r)
                if (runtime::val(sstAnsRec_->text(1, r)) == 1) on = false;
        }
        for (int r = 2; r <= sstAnsRec_->maxRows(); ++r) sstAnsRec_->setText(1, r, on ? "1" : "0");
        where = "fldCh Between 1 And 9";
    }
    sstAnsRec_->setRedraw(true);
    // Only rows whose mode really changes count, so an unchanged channel does not mark
    // the document changed.
    const long n = gdbWork.execute("UPDATE tblMessage SET fldAnsRec = " + std::string(on ? "True" : "False") +
                                   " WHERE " + where +
                                   (on ? " And (fldAnsRec Is Null Or fldAnsRec = 0)" : " And fldAnsRec <> 0"));
    if (n > 0) {
        gfChanged = vbTrue;
        gsbDrawPatternChart(*picTimeChart_, pattern_);
    }
    gsbCheckAnsRec();
    lblAnsRec_->setVisible(gfAnsRec != 0);
}

void frmPattern::mnuMsgAnsRec_Click() {
    mnuMsgAnsRec_->setChecked(!mnuMsgAnsRec_->isChecked());
    if (mnuMsgAnsRec_->isChecked()) {
        if (isEnabled()) gfniMsgBox(301);
        sstAnsRec_->show();
    } else {
        sstAnsRec_->hide();
        lblAnsRec_->hide();
        sstAnsRec_Click(-1, -1);
    }
    gsbDrawPatternChart(*picTimeChart_, pattern_);
}

// ---- Holiday switches ----

void frmPattern::psbShowSyukujituOption() {
    auto rs = gdbWork.openRecordset("SELECT fldSyukujitu, fldMonday FROM tblSyukujitu WHERE fldDay = 0");
    if (rs.eof()) {
        gdbWork.execute(
            "INSERT INTO tblSyukujitu (fldMonth, fldDay, fldComment, fldSyukujitu, fldMonday) VALUES (0, 0, ?1, 255, 255)",
            {std::string(kHolidaySettingsComment)});
        rs = gdbWork.openRecordset("SELECT fldSyukujitu, fldMonday FROM tblSyukujitu WHERE fldDay = 0");
    }
    const bool holiday = rs["fldSyukujitu"].toInt() != kPatternNotSet;
    const bool furikae = rs["fldMonday"].toInt() != kPatternNotSet;
    // Showing the stored row is no user's choice: it must not ask or write anything.
    syukujituGuard_ = true;
    showingOptions_ = true;
    chkSyukujitu_->setValue(holiday ? forms::vbChecked : forms::vbUnchecked);
    chkFurikae_->setValue(furikae ? forms::vbChecked : forms::vbUnchecked);
    showingOptions_ = false;
    syukujituGuard_ = false;
    psbSetEditEnabled(holiday);
}

void frmPattern::psbSetSyukujituOption(bool fHoliday, int iFurikae) {
    const int v = fHoliday ? kPatternHoliday : kPatternNotSet;
    long n = gdbWork.execute("UPDATE tblSyukujitu SET fldSyukujitu = " + std::to_string(v) +
                             " WHERE fldDay = 0 And Not fldSyukujitu = " + std::to_string(v));
    if (iFurikae == kPatternHoliday || iFurikae == kPatternNotSet)
        n += gdbWork.execute("UPDATE tblSyukujitu SET fldMonday = " + std::to_string(iFurikae) +
                             " WHERE fldDay = 0 And Not fldMonday = " + std::to_string(iFurikae));
    if (n > 0) gfChanged = vbTrue;
}

void frmPattern::psbSetEditEnabled(bool fEnable) {
    for (QWidget* w : std::initializer_list<QWidget*>{sstDayStep_, cmdSyukujitu_, cmdCopy_, cmdDel_, unmHour_[0],
                                                      unmMinute_[0], unmHour_[1], unmMinute_[1], sstMessage_,
                                                      picTimeChart_, cmdSet_, chkFurikae_, lblPattern_})
        w->setEnabled(fEnable);
    mnuMsgAction_->setEnabled(fEnable);
    sstAnsRec_->setEnabled(fEnable);
}

void frmPattern::chkSyukujitu_Click() {
    if (syukujituGuard_) return;
    syukujituGuard_ = true;
    bool use = true;
    if (chkSyukujitu_->value() != forms::vbChecked) {
        if (gfniMsgBox(12) != forms::vbYes) {
            chkSyukujitu_->setValue(forms::vbChecked);
            syukujituGuard_ = false;
            return;
        }
        use = false;
    }
    shpTimeSet_->hide();
    hideTimeBox();
    psbSetEditEnabled(use);
    psbSetSyukujituOption(use, 0);
    syukujituGuard_ = false;
}

void frmPattern::chkFurikae_Click() {
    if (showingOptions_) return;
    psbSetSyukujituOption(true, chkFurikae_->value() == forms::vbChecked ? kPatternHoliday : kPatternNotSet);
}

void frmPattern::cmdSyukujitu_Click() {
    setEnabled(false);
    patterns::showHolidayEditor(this);
    setEnabled(true);
}

// ---- Buttons ----

void frmPattern::cmdBack_Click() {
    if (shown(optPattern(kPatternSpecialFirst))) {
        if (wizard::Host* h = wizard::host()) h->setStepBarEnabled(true);
        unload();
        patterns::showSchedule();
    } else if (wizard::Host* h = wizard::host()) {
        h->msbShowBack();
    }
}

void frmPattern::cmdOk_Click() {
    unload();
    patterns::showSchedule();
}

void frmPattern::cmdNext_Click() {
    if (wizard::Host* h = wizard::host()) h->msbShowNext();
}

void frmPattern::cmdCopy_Click() {
    frmPatternCopy copy(this);
    if (copy.mfnfShowForm(pattern_, 0)) optPattern_Click(pattern_);
}

void frmPattern::cmdDel_Click() {
    gsbSetPatternError();
    if (pfnfClearPattern(pattern_, true)) {
        commentTag_.clear();
        optPattern_Click(pattern_);
    }
}

void frmPattern::mnuFileSave_Click(bool saveAs) {
    gsbCloseDatabase(gdbWork);
    if (wizard::Host* h = wizard::host()) h->pfnfFileSave(saveAs ? "新規" : "");
    gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat));
}

void frmPattern::mnuPrintPrint_Click() {
    gsbCheckAnsRec();
    gsbSetPatternError();
    if (isWeekdayPattern(pattern_))
        patterns::gsbShowPrinter(7, pattern_);
    else if (pattern_ == kPatternHoliday)
        patterns::gsbShowPrinter(8, kPatternHoliday);
    else
        patterns::gsbShowPrinter(9, pattern_);
}

void frmPattern::mnuPrintMsg_Click() { patterns::gsbShowPrinter(0, 0); }
void frmPattern::mnuPrintSyukujitu_Click() { patterns::gsbShowPrinter(2, 0); }

void frmPattern::mnuHelpWindow_Click() {
    if (isWeekdayPattern(pattern_))
        gsbHelpContext(kHelpWeekdayPattern);
    else if (pattern_ == kPatternHoliday)
        gsbHelpContext(kHelpHolidayPattern);
    else
        gsbHelpContext(kHelpSpecialPattern);
}

// ---- The special-day pattern's name ----

void frmPattern::txtComment_Change() {
    limitName(txtComment_);
    commentTag_ = "1";
}

void frmPattern::txtComment_LostFocus() {
    const std::string name = rtrim(txtComment_->text().toStdString());
    if (!isSpecialPattern(pattern_) || runtime::val(commentTag_) == 0) return;
    if (pfnfSetPatternName(pattern_, name)) setTip(optPattern(pattern_), name);
}

// ---- Small window events ----

void frmPattern::Form_Click() {
    if (shown(txtMsgName_)) txtMsgName_LostFocus();
}

void frmPattern::Form_MouseMove() { hideTimeBox(); }
