// Setting a time range on the shown pattern, the remaining-step count, clearing a
// pattern, and giving the range with the mouse on the time chart.
#include <algorithm>

#include <QFrame>
#include <QLabel>

#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/input_filters.h"
#include "core/list_grids.h"
#include "core/messages.h"
#include "core/patterns.h"
#include "core/strings.h"
#include "core/timechart.h"
#include "core/uc_numeric.h"
#include "core/upkeep.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "patterns/frm_pattern.h"
#include "runtime/numeric.h"
#include "widget_props.h"

using namespace patterns::detail;

namespace {
constexpr int kEndOfDay = 1440;
int floorTen(int m) { return m / 10 * 10; }
}  // namespace

// ---- The Set button ----

void frmPattern::cmdSet_Click() {
    setEnabled(false);
    const int start = fieldStart();
    const int end = fieldEnd();
    const int channel = sstMessage_->activeRow() - 1;
    if (end <= start) {
        gfniMsgBox(102);
    } else if (channel < 0) {
        // No channel is chosen (a chosen grid row without a range clears the choice).
        forms::beep();
    } else {
        patterns::typDayStepSet rec;
        rec.iPatternNo = pattern_;
        rec.iStart = static_cast<std::int16_t>(start);
        rec.iEnd = static_cast<std::int16_t>(end);
        rec.iMessage = static_cast<std::int16_t>(channel);
        const int r = sstDayStep_->activeRow();
        if (r > 0 && !sstDayStep_->text(2, r).empty() &&
            sstDayStep_->operationMode() == forms::Grid::OperationMode::SingleSelect) {
            rec.iOldStart = static_cast<std::int16_t>(patterns::gridTimeToMinutes(sstDayStep_->text(2, r)));
            rec.iOldEnd = static_cast<std::int16_t>(patterns::gridTimeToMinutes(sstDayStep_->text(3, r)));
            rec.iOldMessage = static_cast<std::int16_t>(runtime::val(sstDayStep_->text(4, r)));
        }
        if (pfnfSetDayStepData(rec)) {
            psbShowDayStep(pattern_);
            gsbDrawPatternChart(*picTimeChart_, pattern_);
            psbSetStepRemain();
            gsbSetMessageUse();
            gsbShowMessageList(*sstMessage_, 1);
            shpTimeSet_->hide();
            if (unmHour(1)->Value() == 24) {
                for (int i = 0; i < 2; ++i) unmHour(i)->SetValue(0), unmMinute(i)->SetValue(0);
            } else {
                unmHour(0)->SetValue(unmHour(1)->Value());
                unmMinute(0)->SetValue(unmMinute(1)->Value());
            }
            setStepNo("0");
        }
    }
    setEnabled(true);
    gsbSetFocusNum(unmHour(0));
}

bool frmPattern::pfnfSetDayStepData(const patterns::typDayStepSet& rec) {
    int remain = static_cast<int>(runtime::val(stepRemainTag_));
    std::vector<patterns::DayStep> steps = patterns::readDaySteps(rec.iPatternNo);
    const int before = static_cast<int>(steps.size());
    if (patterns::applyRange(steps, rec) == patterns::RangeEdit::MissingOldStep) {
        gsbErrorMsg("更新なのに登録がない（pfnfSetDayStepData）", true);
        return false;
    }
    remain += before - static_cast<int>(steps.size());
    if (remain < 0) {
        gfniMsgBox(106);
        return false;
    }
    // One transaction: the pattern is rewritten whole or stays as it was.
    patterns::writeDaySteps(rec.iPatternNo, steps);
    gfChanged = vbTrue;
    return true;
}

void frmPattern::psbSetStepRemain() {
    const int remain = kMaxStepsPerPattern - gfniGetStepCount(pattern_);
    stepRemainTag_ = std::to_string(remain);
    lblStepRemain_->setText(qs(stepRemainTag_));
    const forms::Colour fore = remain > 4 ? forms::vbButtonText : 255;
    lblStepRemain_->setProperty("foreColor", static_cast<qlonglong>(fore));
    QPalette p = lblStepRemain_->palette();
    p.setColor(QPalette::WindowText, forms::toQColor(fore));
    lblStepRemain_->setPalette(p);
}

bool frmPattern::pfnfClearPattern(int iPatternNo, bool fAsk) {
    auto rs = gdbWork.openRecordset("SELECT * FROM tblDayPattern");
    rs.findFirst("fldNo = " + std::to_string(iPatternNo));
    if (rs.noMatch()) {
        if (fAsk) forms::beep();
        return false;
    }
    const bool special = iPatternNo >= kPatternSpecialFirst;
    if (!rs["fldStep"].toBool() && !(special && !rs["fldName"].toText().empty())) {
        if (fAsk) forms::beep();
        return false;
    }
    if (fAsk) {
        const std::string name = gfnsGetPatternName(iPatternNo);
        const std::string prompt = rs["fldUse"].toBool() && special
                                       ? name + "は特定日で使用されています。\r\n削除してもよろしいですか？"
                                       : name + "を削除してもよろしいですか？";
        if (forms::MsgBox(prompt, forms::vbYesNo | forms::vbQuestion) != forms::vbYes) return false;
    }
    rs.edit();
    if (special) rs.set("fldName", "");
    rs.set("fldStep", false);
    rs.update();
    psbDeleteDayStep(iPatternNo);
    gfChanged = vbTrue;
    return true;
}

void frmPattern::psbDeleteDayStep(int iPatternNo) {
    gdbWork.execute("DELETE FROM tblDayStep WHERE fldPatternNo = " + std::to_string(iPatternNo));
}

// ---- The time fields ----

int frmPattern::fieldStart() const { return static_cast<int>(unmHour(0)->Value() * 60 + unmMinute(0)->Value()); }
int frmPattern::fieldEnd() const { return static_cast<int>(unmHour(1)->Value() * 60 + unmMinute(1)->Value()); }

void frmPattern::setStart(int minute) {
    unmHour(0)->SetValue(minute / 60);
    unmMinute(0)->SetValue(minute % 60);
}

void frmPattern::setEnd(int minute) {
    unmHour(1)->SetValue(minute / 60);
    unmMinute(1)->SetValue(minute % 60);
}

void frmPattern::unmTime_Change(bool hour, int index) {
    if (hour && index == 1) {
        if (unmHour(1)->Value() == 24) {
            unmMinute(1)->SetValue(0);
            unmMinute(1)->SetEnabled(false);
        } else {
            unmMinute(1)->SetEnabled(true);
        }
    }
    psbShowTimeSet();
}

void frmPattern::psbShowTimeSet() {
    const int start = fieldStart();
    const int end = fieldEnd();
    if (start >= end) {
        shpTimeSet_->hide();
        return;
    }
    FrameRect s, e;
    gsbGetChartScale(*picTimeChart_, static_cast<std::int16_t>(start), s);
    gsbGetChartScale(*picTimeChart_, static_cast<std::int16_t>(end), e);
    shpRect_ = FrameRect{s.Left, s.Top, s.Right, e.Bottom + 19};
    const int tx = picTimeChart_->twipsPerPixelX(), ty = picTimeChart_->twipsPerPixelY();
    shpTimeSet_->setGeometry(shpRect_.Left / tx, shpRect_.Top / ty, std::max(1, (shpRect_.Right - shpRect_.Left) / tx),
                             std::max(1, (shpRect_.Bottom - shpRect_.Top) / ty));
    shpTimeSet_->show();
}

// ---- Mouse on the chart ----

void frmPattern::setChartPointer(int image) {
    chartPointer_ = image;
    picTimeChart_->setCursor(image == 2 ? Qt::SizeVerCursor : Qt::CrossCursor);
}

void frmPattern::hideTimeBox() {
    picTime_->hide();
    picTimeTag_.clear();
}

void frmPattern::picTimeChart_MouseDown(int button, double x, double y) {
    if (button != forms::vbLeftButton) return;
    const int m = patterns::chartMarkUnderPointer(metrics_, x, y);
    const int start = fieldStart();
    const int end = fieldEnd();
    if (shown(shpTimeSet_)) {
        if (m == floorTen(start)) {
            dragMode_ = 1;
            return;
        }
        if (m == floorTen(end)) {
            dragMode_ = 2;
            return;
        }
    }
    setChartPointer(1);
    dragMode_ = 0;
    if (m < floorTen(start)) {
        setEnd(m);
        setStart(m);
    } else if (m == kEndOfDay) {
        setStart(23 * 60);
        setEnd(23 * 60);
        dragMode_ = 3;
    } else {
        setStart(m);
        setEnd(m);
    }
    setStepNo("0");
}

void frmPattern::picTimeChart_MouseMove(int button, double x, double y) {
    const int m = patterns::chartMarkUnderPointer(metrics_, x, y);
    const std::string text = gfnsTimeToStr(m / 60, m % 60);
    if (picTimeTag_ != text) {
        const int tx = forms::twipsPerPixelX(), ty = forms::twipsPerPixelY();
        const double h = picTime_->height() * ty;
        picTime_->move(static_cast<int>((x + chartLeft_) / tx), static_cast<int>((y + chartTop_ - 1.5 * h) / ty));
        picTime_->raise();
        picTimeTag_ = text;
        picTime_->setText(qs(text));
        picTime_->show();
    }
    const int start = fieldStart();
    const int end = fieldEnd();
    if (button & forms::vbLeftButton) {
        if (dragMode_ == 0 || dragMode_ == 2)
            setEnd(m < start ? start : m);
        else if (dragMode_ == 1)
            setStart(end < m ? end : m);
        return;
    }
    const bool edge = shown(shpTimeSet_) && (m == floorTen(start) || m == floorTen(end));
    setChartPointer(edge ? 2 : 1);
}

void frmPattern::picTimeChart_MouseUp(int button, double x, double y) {
    if (button == forms::vbLeftButton && dblClick_) {
        const int m = patterns::pfniGetChartMinute(metrics_, x, y);
        for (int r = 1; r <= sstDayStep_->maxRows(); ++r) {
            const std::string from = sstDayStep_->text(2, r);
            if (from.empty()) break;
            const int s = patterns::gridTimeToMinutes(from);
            const int e = patterns::gridTimeToMinutes(sstDayStep_->text(3, r));
            if (s == m || (s < m && e >= m)) {
                if (lblStepNo_->text().toStdString() == std::to_string(r))
                    lblStepNo_Change();
                else
                    setStepNo(std::to_string(r));
                sstDayStep_->setOperationMode(forms::Grid::OperationMode::SingleSelect);
                sstDayStep_->setActiveCell(1, r);
                gsbSetFocusNum(unmHour(0));
                break;
            }
        }
    }
    dblClick_ = false;
    hideTimeBox();
}
