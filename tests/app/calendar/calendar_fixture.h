#pragma once
// A new document in a fresh program folder for the calendar windows: Master.dat of the
// build copied in, Regist.dat made from it, "today" held at 10 December 2026, dialogs
// scripted, fatal ends thrown, and the calendar's hand-overs recorded.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "calendar/calendar.h"
#include "calendar/schedule_window.h"
#include "calendar/year_window.h"
#include "core/database.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/schedule.h"
#include "dao/database.h"
#include "forms/fatal.h"
#include "forms/grid.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/datetime.h"

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>
#include <QRectF>
#include <QScrollBar>
#include <QGroupBox>

namespace caltest {

// The template Master.dat the build keeps for the tests; the program never runs against
// it, so nothing the program leaves in its own Master.dat reaches a test.
inline std::filesystem::path templateMasterDat() {
    const char* path = std::getenv("KV_MASTER_TEMPLATE");
    if (path) return path;
    // Run by hand: the template lies beside the tests' folder.
    return std::filesystem::read_symlink("/proc/self/exe").parent_path() / ".." / "template" / "Master.dat";
}

struct YearRow {
    int year, month, day, pattern;
    std::string comment;
    bool operator==(const YearRow&) const = default;
};

class Document : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kv-calendar-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        gstrDataPath = dir_.string() + "/";
        setAppPathForTesting(dir_.string());
        gintLogMode = gfChanged = gfAnsRec = vbFalse;
        std::filesystem::copy_file(templateMasterDat(), dir_ / "Master.dat");
        createDocumentFromMaster(file("Regist.dat"));
        gsbOpenDatabase(gdbWork, file("Regist.dat"));
        exec("DELETE FROM tblYear");
        forms::resetBeepCount();
        calendar::setPatternEditorHook([this](int p, const std::string& d) { edited_.push_back({p, d}); });
        calendar::setPrinterHook([this](int mode, int item) { printed_.push_back({mode, item}); });
    }
    void TearDown() override {
        frmYear::setModalRunnerForTesting({});
        frmSchedule::setPopUpRunnerForTesting({});
        calendar::setPatternEditorHook({});
        calendar::setPrinterHook({});
        gsbOpenScheduleTables(false);
        gsbCloseDatabase(gdbWork);
        setAppPathForTesting({});
        gintLogMode = gfChanged = vbFalse;
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::string file(const std::string& name) const { return (dir_ / name).string(); }
    static void exec(const std::string& sql) { gdbWork.execute(sql); }
    static int intOf(const std::string& sql) {
        auto rs = gdbWork.openRecordset(sql);
        if (rs.eof()) return -999;
        const auto& v = rs[rs.fieldNames().front()];
        return v.isNull() ? -999 : v.toInt();
    }
    static void addSpecialDay(int y, int m, int d, int pattern, const std::string& comment = "") {
        gdbWork.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (?1, ?2, ?3, ?4, ?5)",
                        {y, m, d, pattern, comment});
    }
    static std::vector<YearRow> specialDays() {
        std::vector<YearRow> rows;
        for (auto rs = gdbWork.openRecordset("SELECT * FROM tblYear ORDER BY fldYear, fldMonth, fldDay"); !rs.eof();
             rs.moveNext())
            rows.push_back({rs["fldYear"].toInt(), rs["fldMonth"].toInt(), rs["fldDay"].toInt(), rs["fldPattern"].toInt(),
                            rs["fldComment"].toText()});
        return rows;
    }
    static void addStep(int pattern, int hour, int minute, int message) {
        gdbWork.execute("INSERT INTO tblDayStep (fldPatternNo, fldHour, fldMinute, fldMessage) VALUES (?1, ?2, ?3, ?4)",
                        {pattern, hour, minute, message});
    }

    std::filesystem::path dir_;
    forms::ScriptedDialogs dialogs_;
    forms::ThrowOnFatal fatal_;
    runtime::FixedClock clock_{runtime::DateTime{2026, 12, 10, 9, 0, 0}};
    std::vector<std::pair<int, std::string>> edited_;
    std::vector<std::pair<int, int>> printed_;
};

}  // namespace caltest

namespace caltest {

// The calendar page loaded on the document, as the step dispatcher shows it.
class Calendar : public Document {
protected:
    void TearDown() override {
        window_.reset();
        Document::TearDown();
    }
    frmSchedule& load() {
        window_ = std::make_unique<frmSchedule>();
        window_->resize(1100, 760);
        window_->msbShowForm(4, 1);
        return *window_;
    }
    // Shows the months from the given month of this year on (1 = January 2026).
    void scrollTo(int value) { window_->vscJump->setValue(value); }

    // The centre of a cell of month grid i, in twips relative to the grid.
    QPointF centre(int i, int col, int row) const { return QRectF(window_->sstMonth[i]->cellRect(col, row)).center(); }

    // A left drag over the block of cells (columns c1..c2, grid rows r1..r2) of month grid i.
    void drag(int i, const forms::Grid::Block& block) {
        window_->sstMonth_MouseDown(i, forms::vbLeftButton);
        window_->sstMonth[i]->setSelection(block);
        const QPointF p = centre(i, block.col == forms::Grid::kAll ? 1 : block.col, block.row == forms::Grid::kAll ? 1 : block.row);
        window_->sstMonth_MouseUp(i, forms::vbLeftButton, 0, p.x(), p.y());
    }
    // A right click on the day-number cell of a day of month grid i; the menu is handled by
    // the runner given.
    void rightClick(int i, int col, int row, frmSchedule::PopUpRunner runner) {
        frmSchedule::setPopUpRunnerForTesting(std::move(runner));
        const QPointF p = centre(i, col, row);
        window_->sstMonth_MouseUp(i, forms::vbRightButton, 0, p.x(), p.y());
    }

    // Where a cell of month grid i is on the screen: the widget under its centre (a grid's
    // cells or headings) and the point in that widget.
    std::pair<QWidget*, QPoint> screenCell(int i, int col, int row) const {
        forms::Grid& g = *window_->sstMonth[i];
        const QRect twips = g.cellRect(col, row);
        const QPoint inGrid = QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15).center();
        QWidget* under = g.childAt(inGrid);
        return {under, under->mapFrom(&g, inGrid)};
    }
    // A click with the mouse on a cell of month grid i.
    void click(int i, int col, int row, Qt::MouseButton button) {
        const auto [w, p] = screenCell(i, col, row);
        QTest::mouseClick(w, button, {}, p);
    }
    // The mouse moved over a cell of month grid i with the buttons given held.
    void moveTo(int i, int col, int row, Qt::MouseButtons held = Qt::NoButton) {
        const auto [w, p] = screenCell(i, col, row);
        QMouseEvent move(QEvent::MouseMove, p, w->mapToGlobal(p), Qt::NoButton, held, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
    }
    // A drag with the left button from one cell of month grid i to another.
    void mouseDrag(int i, int col, int row, int col2, int row2) {
        const auto [from, p] = screenCell(i, col, row);
        QTest::mousePress(from, Qt::LeftButton, {}, p);
        moveTo(i, col2, row2, Qt::LeftButton);
        const auto [to, q] = screenCell(i, col2, row2);
        QTest::mouseRelease(to, Qt::LeftButton, {}, q);
    }

    std::unique_ptr<frmSchedule> window_;
};

}  // namespace caltest
