// Assigning and removing special days in the calendar: the two modes, the pattern choice,
// blocks dragged on a month grid, the day pop-up menu, clearing every special day, the
// question to edit a pattern without steps, and the public record operations.
#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QGuiApplication>
#include <QMenu>

#include "calendar/schedule_window.h"
#include "calendar/year_window.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/list_grids.h"
#include "core/messages.h"
#include "core/patterns.h"
#include "core/schedule.h"
#include "core/strings.h"
#include "core/upkeep.h"
#include "dao/database.h"
#include "forms/controls.h"
#include "forms/grid.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "runtime/format.h"
#include "schedule_colours.h"
#include "text/text.h"

namespace {

frmSchedule::PopUpRunner& popUpRunner() {
    static frmSchedule::PopUpRunner runner;
    return runner;
}

// The icons of the modes, by their image number.
Qt::CursorShape modeCursor(int image) { return image == 5 ? Qt::PointingHandCursor : Qt::ForbiddenCursor; }

// Clears a flag on every way out of a scope.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagGuard() { flag_ = false; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& flag_;
};

std::string dateCriteria(const runtime::DateTime& d) {
    return "fldYear = " + std::to_string(d.year) + " And fldMonth = " + std::to_string(d.month) +
           " And fldDay = " + std::to_string(d.day);
}

runtime::DateTime dateOf(const std::string& text) {
    const auto d = runtime::parseDate(text);
    if (!d) runtime::raise(13);
    return *d;
}

}  // namespace

void frmSchedule::setPopUpRunnerForTesting(PopUpRunner runner) { popUpRunner() = std::move(runner); }

// ---- Mode and pattern ----

void frmSchedule::optMode_Click(int index) {
    guarded([&] {
        mintMode = index;
        int p = 255;
        mouseIcon_ = 1;
        if (index == 1) {
            p = sstDayPattern->activeRow() - 1;
            if (p > 0) p += 8;
            mouseIcon_ = 5;
        }
        fraPattern->unsetCursor();
        sstDayPattern->setEnabled(true);
        for (int i = 0; i < 4; ++i) {
            fraMonth[i]->setCursor(modeCursor(mouseIcon_));
            sstMonth[i]->setEnabled(true);
            sstMonth[i]->setSelectBlockOptions(forms::Grid::kSelectBlocks | forms::Grid::kSelectColumns |
                                               forms::Grid::kSelectRows | forms::Grid::kSelectAll);
            sstMonth[i]->clearSelection();
            sstMonth[i]->update();
        }
        if (patternNo() != p)
            setPatternNo(p);
        else
            lblPatternNo_Change();
    });
}

namespace {
int patternOfRow(int row) { return row <= 1 ? 0 : row + 7; }
}  // namespace

void frmSchedule::sstDayPattern_CurrentChanged() { setPatternNo(patternOfRow(sstDayPattern->activeRow())); }

void frmSchedule::sstDayPattern_MouseUp() {
    setPatternNo(patternOfRow(sstDayPattern->activeRow()));
    if (mintMode == 0) optMode[1]->setValue(true);
}

// ---- Month grids ----

void frmSchedule::sstMonth_MouseDown(int index, int button) {
    // A left press lets the user drag a block; the grid rests without cursor otherwise.
    if (button == forms::vbLeftButton) sstMonth[index]->setOperationMode(forms::Grid::OperationMode::Normal);
}

void frmSchedule::sstMonth_MouseUp(int index, int button, int, double x, double y) {
    if (inMouseUp_) return;
    FlagGuard reentry(inMouseUp_);
    guarded([&] {
        forms::Grid& g = *sstMonth[index];
        g.setRedraw(false);
        const auto selected = g.selection();
        restGrid(g);

        typYearBlock block;
        const auto first = dateOf(sstMonthTag[index] + "1");
        block.Year = first.year;
        block.Month = first.month;
        block.Pattern = patternNo();
        const int w1 = runtime::weekday(first);
        if (selected) {
            block.DayFrom = selected->col == forms::Grid::kAll ? 1 : selected->col;
            block.DayTo = selected->col == forms::Grid::kAll ? 7 : selected->col2;
            block.WeekFrom = selected->row == forms::Grid::kAll ? 1 : (selected->row + 1) / 2;
            block.WeekTo = selected->row == forms::Grid::kAll ? 6 : (selected->row2 + 1) / 2;
        }

        const long week = (static_cast<long>(y) - mlngHeadHeight) / std::max(1L, mlngWeekHeight) + 1;
        const long column = (static_cast<long>(x) - mlngLeft) / std::max(1L, mlngColWidth) + 1;
        std::string date;
        // Over the headings (or left of the first column) the pointer is on no day.
        if (static_cast<long>(y) >= mlngHeadHeight && week >= 0 && column >= 0) {
            const int d = mfniCellToDay(static_cast<int>(week), w1, static_cast<int>(column));
            date = runtime::format(sstMonthTag[index] + std::to_string(d), "yyyy年mm月dd日");
        }

        if (button == forms::vbRightButton) {
            if (runtime::isDate(date)) {
                const bool deleting = mintMode == 0;
                mnuPopUpSplit0->setVisible(deleting);
                mnuPopUpAllYear->setVisible(deleting);
                for (int k = 0; k < 4; ++k) mnuPopUpMenu[k]->setText(QString::fromStdString(gfnsGetYearDayStr(k, date)));
                g.setOperationMode(forms::Grid::OperationMode::Normal);
                g.setActiveCell(static_cast<int>(column), static_cast<int>(2 * week - 1));
                mfPopUp = true;
                if (popUpRunner())
                    popUpRunner()(*mnuPopUp);
                else
                    mnuPopUp->exec(QCursor::pos());
                // Closed without a choice: only a click that closed it has a release to
                // come; after Escape the next release is a drag of its own.
                if (mfPopUp && QGuiApplication::mouseButtons() == Qt::NoButton) mfPopUp = false;
            }
        } else if (button == forms::vbLeftButton) {
            if (mfPopUp) {
                // This release belongs to the click that dismissed the pop-up menu.
                mfPopUp = false;
            } else if (selected) {
                const bool changed = mintMode == 1 ? mfnfSetYearBlock(block) : mfnfDelYearBlock(block);
                if (changed) {
                    msbEnableWindow(false);
                    recolourBlock(index, block);
                    if (mintMode == 1) msbAskEditPattern(block.Pattern);
                    if (!minimised_) msbEnableWindow(true);
                }
            }
        }

        g.clearSelection();
        restGrid(g);
        g.setTextTip("");
        g.setRedraw(true);
        gsbSetPatternUse();
        gsbSetPatternError();
        gsbSetSyukujituPattern();
        gsbShowPatternList(*sstDayPattern, true);
    });
}

void frmSchedule::recolourBlock(int index, const typYearBlock& block) {
    core::DayBytes days;
    core::DayNames names;
    gsbOpenScheduleTables(true);
    gsbGetScheduleData(block.Year, block.Month, days, names);
    gsbOpenScheduleTables(false);
    forms::Grid& g = *sstMonth[index];
    const std::string& tag = sstMonthTag[index];
    const int w1 = runtime::weekday(dateOf(tag + "1"));
    g.setRedraw(false);
    for (int week = block.WeekFrom; week <= block.WeekTo; ++week) {
        for (int column = block.DayFrom; column <= block.DayTo; ++column) {
            const int d = mfniCellToDay(week, w1, column);
            if (!runtime::isDate(tag + std::to_string(d))) continue;
            g.setBackColor(column, 2 * week, gfnlGetPatternColor(days(d)));
            g.setText(column, 2 * week, gfnsGetDayTypeStr(days(d), 1));
            // Register mode keeps the tooltips until the four months are coloured again.
            if (mintMode == 0) mstrDayName[index][d] = names(d);
        }
    }
    g.setRedraw(true);
}

// ---- Block writer and deleter ----

namespace {

// Runs f(day, recordset, valid) for every cell of the block over the month's tblYear rows.
template <class F>
bool forEachBlockDay(const typYearBlock& block, F&& f) {
    dao::Recordset rs = gdbWork.openRecordset("SELECT * FROM tblYear WHERE fldYear = " + std::to_string(block.Year) +
                                              " And fldMonth = " + std::to_string(block.Month));
    const std::string prefix = std::to_string(block.Year) + "/" + std::to_string(block.Month) + "/";
    const int w1 = runtime::weekday(dateOf(prefix + "1"));
    bool changed = false;
    for (int week = block.WeekFrom; week <= block.WeekTo; ++week) {
        for (int column = block.DayFrom; column <= block.DayTo; ++column) {
            const int d = frmSchedule::mfniCellToDay(week, w1, column);
            rs.findFirst("fldDay = " + std::to_string(d));
            if (!runtime::isDate(prefix + std::to_string(d))) continue;
            if (f(d, rs)) {
                changed = true;
                gfChanged = vbTrue;
            }
        }
    }
    return changed;
}

}  // namespace

bool frmSchedule::mfnfSetYearBlock(const typYearBlock& block) {
    return forEachBlockDay(block, [&](int d, dao::Recordset& rs) {
        if (rs.noMatch()) {
            rs.addNew();
            rs.set("fldYear", block.Year);
            rs.set("fldMonth", block.Month);
            rs.set("fldDay", d);
        } else {
            rs.edit();
        }
        rs.set("fldComment", block.Comment);
        rs.set("fldPattern", block.Pattern);
        rs.update();
        return true;
    });
}

bool frmSchedule::mfnfDelYearBlock(const typYearBlock& block) {
    return forEachBlockDay(block, [&](int, dao::Recordset& rs) {
        if (rs.noMatch()) return false;
        rs.deleteRecord();
        return true;
    });
}

// ---- Pop-up menu ----

void frmSchedule::mnuPopUpMenu_Click(int index) {
    guarded([&] {
        msbEnableWindow(false);
        showLoadMessage("スケジュール検索中");
        const std::string date = text::toNarrow(mnuPopUpMenu[0]->text().toStdString());
        const runtime::DateTime d = dateOf(date);
        const int w1 = runtime::weekday(runtime::DateTime{d.year, d.month, 1});
        const int wd = runtime::weekday(d);
        const int week = mfniDayToRow(d.day, w1, wd);
        int p = patternNo();
        if (mintMode == 0) p = 255;
        bool changed = false;
        if (index == 0) {
            const typYearBlock block{d.year, d.month, week, week, wd, wd, p, ""};
            changed = mintMode == 1 ? mfnfSetYearBlock(block) : mfnfDelYearBlock(block);
        } else {
            frmYear list(picLoadMessage);
            changed = list.mfnfShowForm(p, index, date);
        }
        if (changed) {
            msbDrawYear();
            msbAskEditPattern(p);
        }
        hideLoadMessage();
        if (!minimised_) msbEnableWindow(true);
        mfPopUp = false;
    });
}

void frmSchedule::mnuPopUpAllYear_Click() {
    guarded([&] {
        if (mfnfClearYear()) msbDrawYear();
        mfPopUp = false;
    });
}

void frmSchedule::mnuPopUpCancel_Click() { mfPopUp = false; }

bool frmSchedule::mfnfClearYear() {
    if (gfniMsgBox(6) != forms::vbYes) return false;
    if (gdbWork.execute("DELETE FROM tblYear") == 0) return false;
    gfChanged = vbTrue;
    return true;
}

// ---- The question to edit a pattern without steps ----

void frmSchedule::msbAskEditPattern(int iPatternNo) {
    if (iPatternNo < kPatternSpecialFirst || iPatternNo > kPatternSpecialLast) return;
    if (sstDayPattern->backColor(1, iPatternNo - 7) == kSpecialColour) return;
    const std::string prompt = gfnsGetPatternName(iPatternNo) + "は内容が登録されていません。今すぐ登録しますか？";
    if (forms::MsgBox(prompt, forms::vbQuestion | forms::vbYesNo, gfnsAppTitle()) == forms::vbYes) handToEditor(iPatternNo);
}

// ---- Public record operations ----

bool frmSchedule::mfnfSetYearDay(const std::string& sDate, const std::string& sSearch, int iPatternNo,
                                 const std::string& sComment, bool fBeep) {
    const runtime::DateTime date = dateOf(sDate);
    bool result = false;
    if (sSearch.empty()) {
        dao::Recordset rs = gdbWork.openRecordset("SELECT * FROM tblYear");
        rs.findFirst(dateCriteria(date));
        if (rs.noMatch()) {
            rs.addNew();
            rs.set("fldYear", date.year);
            rs.set("fldMonth", date.month);
            rs.set("fldDay", date.day);
        } else if (fBeep && gfniMsgBox(5) == forms::vbNo) {
            return false;
        } else {
            rs.edit();
        }
        rs.set("fldPattern", iPatternNo);
        rs.set("fldComment", sComment);
        rs.update();
        result = true;
    } else {
        const runtime::DateTime from = dateOf(sSearch);
        dao::Recordset others = gdbWork.openRecordset("SELECT * FROM tblYear WHERE Not (" + dateCriteria(from) + ")");
        others.findFirst(dateCriteria(date));
        if (!others.noMatch()) {
            gfniMsgBox(105);
            return false;
        }
        dao::Recordset rs = gdbWork.openRecordset("SELECT * FROM tblYear");
        rs.findFirst(dateCriteria(from));
        if (rs.noMatch()) {
            gsbErrorMsg("更新なのに登録がない（mfnfSetYearDay）", true);
            return false;
        }
        if (fBeep && gfniMsgBox(4) == forms::vbNo) return false;
        rs.edit();
        rs.set("fldYear", date.year);
        rs.set("fldMonth", date.month);
        rs.set("fldDay", date.day);
        rs.set("fldPattern", iPatternNo);
        rs.set("fldComment", sComment);
        rs.update();
        result = true;
    }
    gfChanged = vbTrue;
    return result;
}

bool frmSchedule::mfnfDelYearDay(const std::string& sSearch) {
    dao::Recordset rs = gdbWork.openRecordset("SELECT * FROM tblYear");
    rs.findFirst(dateCriteria(dateOf(sSearch)));
    if (rs.noMatch()) return false;
    if (gfniMsgBox(2) == forms::vbNo) return false;
    rs.deleteRecord();
    gfChanged = vbTrue;
    return true;
}

int frmSchedule::pfniMakeYearData(int iPatternNo, const std::string& sDate) {
    int q = gfniFindSamePattern(iPatternNo, kPatternSpecialFirst);
    bool created = false;
    if (q < 0) {
        const int n = gfniGetFreePattern();
        if (n <= 0) {
            gfniMsgBox(104);
            return 255;
        }
        if (!mfnfCopyPatternData(iPatternNo, n)) return 255;
        q = n;
        created = true;
    }
    const std::string D = runtime::format(sDate, "yyyy年mm月dd日");
    const std::string N = gfnsGetPatternName(iPatternNo);
    const std::string C = gfnsGetPatternName(q);
    std::string first;
    if (iPatternNo == kPatternNewSpecial)
        first = created ? "スケジュールを新しく '" + C + "' に作成しました。" : N + " は '" + C + "' と同じです。";
    else if (created)
        first = N + " と同じスケジュールを新しく '" + C + "' に作成しました。";
    else if (q != 0)
        first = N + "と同じスケジュールが '" + C + "' に見つかりました。";
    else
        first = N + " は '" + C + "' です。";
    const std::string prompt = first + "\r\n" + D + " に '" + C + "' を登録しますか？";
    int result = 255;
    if (forms::MsgBox(prompt, forms::vbQuestion | forms::vbYesNo, gfnsAppTitle()) == forms::vbYes) {
        if (mfnfSetYearDay(sDate, "", q, D, false)) gfChanged = vbTrue;
        result = q;
    } else if (created && forms::MsgBox("新しく作成した '" + C + "' を削除しますか？", forms::vbQuestion | forms::vbYesNo,
                                        gfnsAppTitle()) == forms::vbYes) {
        gdbWork.execute("DELETE FROM tblDayStep WHERE fldPatternNo = " + std::to_string(q));
        gdbWork.execute("UPDATE tblDayPattern SET fldName = '' WHERE fldNo = " + std::to_string(q));
        created = false;
    }
    if (created) {
        gfChanged = vbTrue;
        gsbSetPatternError();
        gsbShowPatternList(*sstDayPattern, true);
    }
    return result;
}
