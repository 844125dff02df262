// The special-day list: the window, its opening, the full list of the ten-year range, the
// sortable grid, and the deletions offered in log mode.
#include "calendar/year_window.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/help.h"
#include "core/messages.h"
#include "core/strings.h"
#include "dao/database.h"
#include "forms/controls.h"
#include "forms/grid.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "runtime/format.h"
#include "runtime/numeric.h"
#include "schedule_colours.h"
#include "text/text.h"

namespace {

frmYear::ModalRunner& modalRunner() {
    static frmYear::ModalRunner runner;
    return runner;
}

constexpr int kColumns = 6;
constexpr int kInitialRows = 20;

void setLabelColour(QLabel* l, forms::Colour c) {
    l->setAutoFillBackground(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::Window, forms::toQColor(c));
    l->setPalette(pal);
}

QLabel* legend(const char* text, QWidget* parent) {
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->setFrameShape(QFrame::Box);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

// The first n characters of a text.
std::string leftChars(const std::string& s, int n) {
    const QString q = QString::fromStdString(s);
    const auto ucs = q.toUcs4();
    if (ucs.size() <= n) return s;
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(ucs.constData()), n).toStdString();
}

std::string orderClause(int column, const std::string& order) {
    switch (column) {
    case 1: return " ORDER BY fldYear " + order + ", fldMonth ASC, fldDay ASC";
    case 2: return " ORDER BY fldMonth " + order + ", fldYear ASC, fldDay ASC";
    case 3: return " ORDER BY fldDay " + order + ", fldYear ASC, fldMonth ASC";
    case 4: return " ORDER BY fldWeek " + order + ", fldYear ASC, fldMonth ASC, fldDay ASC";
    case 5: return " ORDER BY fldPattern " + order + ", fldYear ASC, fldMonth ASC, fldDay ASC";
    case 6: return " ORDER BY fldComment " + order + ", fldYear ASC, fldMonth ASC, fldDay ASC";
    default: return " ORDER BY fldYear ASC, fldMonth ASC, fldDay ASC";
    }
}

// The grid is as wide as its columns, so that none is cut at its right edge; room for
// the vertical scroll bar is kept, since the list may be longer than the grid.
void fitGridToColumns(forms::Grid& grid) {
    const QTableWidget* table = grid.table();
    int width = 2 * table->frameWidth() + table->verticalScrollBar()->sizeHint().width();
    if (!table->verticalHeader()->isHidden()) width += table->verticalHeader()->width();
    for (int c = 0; c < table->columnCount(); ++c)
        if (!table->isColumnHidden(c)) width += table->columnWidth(c);
    grid.setMinimumWidth(width);
}

}  // namespace

void frmYear::setModalRunnerForTesting(ModalRunner runner) { modalRunner() = std::move(runner); }

frmYear::frmYear(QWidget* busyPanel) : QDialog(nullptr), busyPanel_(busyPanel) {
    setObjectName("frmYear");
    setWindowModality(Qt::ApplicationModal);
    buildControls();
    // Load: the legend colours, the request labels in log mode, no change yet.
    setLabelColour(lblWeek, gfnlGetPatternColor(0));
    setLabelColour(lblSyukujitu, gfnlGetPatternColor(32));
    setLabelColour(lblYear, gfnlGetPatternColor(96));
    for (QLabel* l : {lblPatternNo, lblDay, lblMode}) l->setVisible(gintLogMode != 0);
    result_ = false;
}

frmYear::~frmYear() = default;

void frmYear::guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (const runtime::Error& e) {
        gsbErrorMsg(e, true);
    }
}

void frmYear::buildControls() {
    auto* root = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    root->addLayout(left);

    sstYear = new forms::Grid(this);
    sstYear->setFont(QFont(QString::fromUtf8("ＭＳ ゴシック")));
    sstYear->setMaxCols(kColumns);
    sstYear->setMaxRows(kInitialRows);
    sstYear->setColHidden(0, true);
    static const char* const kTitles[] = {"年", "月", "日", "曜日", "ｽｹｼﾞｭｰﾙ", "備考"};
    static const double kWidths[] = {8.5, 5, 5, 5, 7, 17};
    for (int c = 1; c <= kColumns; ++c) {
        sstYear->setText(c, 0, kTitles[c - 1]);
        sstYear->setColWidth(c, kWidths[c - 1]);
    }
    sstYear->setOperationMode(forms::Grid::OperationMode::ReadOnly);
    sstYear->setMinimumHeight(300);
    fitGridToColumns(*sstYear);
    left->addWidget(sstYear);
    connect(sstYear, &forms::Grid::click, this, [this](int c, int r) { sstYear_Click(c, r); });
    connect(sstYear, &forms::Grid::mouseDown, this, [this](int b, int s, double, double) { sstYear_MouseDown(b, s); });

    lblHint = new QLabel(QString::fromUtf8("※タイトル行をクリックすると、その項目で並び替えが出来ます。"), this);
    left->addWidget(lblHint);

    auto* buttons = new QHBoxLayout;
    cmdResetSort = new forms::CommandButton(QString::fromUtf8("並び替えの解除"), this);
    cmdDelete = new forms::CommandButton(QString::fromUtf8("削除"), this);
    cmdDelete->setToolTip(QString::fromUtf8("選択された特定日を削除します。"));
    cmdDelete->setVisible(false);
    cmdBack = new forms::CommandButton(QString::fromUtf8("戻る"), this);
    cmdBack->setToolTip(QString::fromUtf8("特定日スケジュールの登録に戻ります。"));
    for (QWidget* w : std::initializer_list<QWidget*>{cmdResetSort, cmdDelete, cmdBack}) buttons->addWidget(w);
    left->addLayout(buttons);
    connect(cmdResetSort, &forms::CommandButton::click, this, [this] { cmdResetSort_Click(); });
    connect(cmdDelete, &forms::CommandButton::click, this, [this] { cmdDelete_Click(); });
    connect(cmdBack, &forms::CommandButton::click, this, [this] { cmdBack_Click(); });

    auto* right = new QVBoxLayout;
    root->addLayout(right);
    fraSet = new QGroupBox(this);
    auto* set = new QVBoxLayout(fraSet);
    lblSetTitle = new QLabel(QString::fromUtf8("日付"), fraSet);
    lblSet = new QLabel(fraSet);
    lblTitleSchedule = new QLabel(QString::fromUtf8("スケジュール"), fraSet);
    lblPattern = new QLabel(fraSet);
    lblMessage = new QLabel(fraSet);
    cmdYes = new forms::CommandButton(QString::fromUtf8("はい"), fraSet);
    cmdNo = new forms::CommandButton(QString::fromUtf8("いいえ"), fraSet);
    for (QWidget* w : std::initializer_list<QWidget*>{lblSetTitle, lblSet, lblTitleSchedule, lblPattern, lblMessage})
        set->addWidget(w);
    auto* answers = new QHBoxLayout;
    answers->addWidget(cmdYes);
    answers->addWidget(cmdNo);
    set->addLayout(answers);
    right->addWidget(fraSet);
    connect(cmdYes, &forms::CommandButton::click, this, [this] { cmdYes_Click(); });
    connect(cmdNo, &forms::CommandButton::click, this, [this] { cmdNo_Click(); });

    fraSchedule = new QGroupBox(QString::fromUtf8("表示項目"), this);
    auto* legends = new QVBoxLayout(fraSchedule);
    lblWeek = legend("曜日スケジュール", fraSchedule);
    lblSyukujitu = legend("祝日スケジュール", fraSchedule);
    lblYear = legend("特定日スケジュール", fraSchedule);
    for (QLabel* l : {lblWeek, lblSyukujitu, lblYear}) legends->addWidget(l);
    right->addWidget(fraSchedule);

    lblMode = new QLabel(this);
    lblDay = new QLabel(this);
    lblPatternNo = new QLabel(this);
    for (QLabel* l : {lblMode, lblDay, lblPatternNo}) right->addWidget(l);
    right->addStretch(1);

    menuBar = new QMenuBar(this);
    root->setMenuBar(menuBar);
    mnuHelp = menuBar->addMenu(QString::fromUtf8("ﾍﾙﾌﾟ(&H)"));
    mnuHelpContents = mnuHelp->addAction(QString::fromUtf8("目次(&C)"), this, [] { gsbHelpContents(); });
    mnuHelpKeyWord = mnuHelp->addAction(QString::fromUtf8("ｷｰﾜｰﾄﾞ(&I)"), this, [] { gsbHelpIndex(); });
    mnuHelpWindow = mnuHelp->addAction(QString::fromUtf8("この画面に関するﾍﾙﾌﾟ(&W)"), this,
                                       [this] { mnuHelpWindow_Click(); });

    // Enter does nothing in this window.
    keys_ = new forms::KeyPreview(this);
    keys_->keyPress = [](int& keyAscii) {
        if (keyAscii == 13) keyAscii = 0;
    };
}

void frmYear::storeRequest(int iPattern, int iMode, const std::string& sDate) {
    lblMode->setText(QString::number(iMode));
    lblPatternNo->setText(QString::number(iPattern));
    lblDay->setText(QString::fromStdString(sDate));
    lblPattern->setText(QString::fromStdString(gfnsGetDayTypeStr(iPattern, 0)));
}

bool frmYear::mfnfShowForm(int iPattern, int iMode, const std::string& sDate) {
    guarded([&] {
        storeRequest(iPattern, iMode, sDate);
        if (iMode < 0) {
            if (pfniMakeYearShowList() == 0) {
                gfniMsgBox(120);
                unload();
                return;
            }
            psbShowYearList(-1, "ASC");
            if (busyPanel_) busyPanel_->setVisible(false);
            for (QWidget* w : std::initializer_list<QWidget*>{fraSet, fraSchedule, cmdNo, cmdYes, lblMessage})
                w->setVisible(false);
            cmdBack->setVisible(true);
            setWindowTitle(QString::fromUtf8("特定日スケジュールの確認"));
            psbEnableForm(true);
            if (gintLogMode) {
                sstYear->setOperationMode(forms::Grid::OperationMode::ExtendedSelect);
                cmdDelete->setVisible(true);
            }
        } else {
            const int count = pfniMakeYearShowRule(iMode, sDate, iPattern);
            psbShowYearList(-1, "ASC");
            if (busyPanel_) busyPanel_->setVisible(false);
            if (iPattern == 255 && count == 0) {
                gfniMsgBox(117);
                unload();
                return;
            }
            for (QWidget* w : std::initializer_list<QWidget*>{fraSet, fraSchedule, cmdNo, cmdYes}) w->setVisible(true);
            cmdBack->setVisible(false);
            lblSet->setText(QString::fromStdString(gfnsGetYearDayStr(iMode, sDate)));
            const bool deleting = iPattern == 255;
            setWindowTitle(QString::fromUtf8(deleting ? "特定日スケジュールの削除" : "特定日スケジュールの登録"));
            lblMessage->setText(QString::fromUtf8(deleting ? "これらの登録が削除されます。\r\nよろしいですか？"
                                                           : "これらの登録に上書きされます。\r\nよろしいですか？"));
            fraSet->setTitle(QString::fromUtf8(deleting ? "削除内容" : "登録内容"));
            lblPattern->setVisible(!deleting);
            lblTitleSchedule->setVisible(!deleting);
            lblMessage->setVisible(true);
            psbEnableForm(true);
            forms::beep();
        }
        adjustSize();
        runModal();
    });
    if (!unloaded_) unload();
    return result_;
}

void frmYear::runModal() {
    if (modalRunner())
        modalRunner()(*this);
    else
        exec();
}

void frmYear::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    gsbDropTable(gdbWork, "tblYearShow");
    done(0);
}

// ---- The full list ----

void frmYear::recreateShowTable() {
    gsbDropTable(gdbWork, "tblYearShow");
    gdbWork.selectIntoFrom(gstrDataPath + std::string(kMasterDat), "tblYearShow", "tblYearShow");
}

int frmYear::pfniMakeYearShowList() {
    recreateShowTable();
    const int y0 = runtime::today().year;
    dao::Recordset rs = gdbWork.openRecordset("SELECT * FROM tblYear WHERE fldYear Between " + std::to_string(y0) +
                                              " And " + std::to_string(y0 + 9) +
                                              " ORDER BY fldYear ASC, fldMonth ASC, fldDay ASC");
    int count = 0;
    dao::Transaction batch(gdbWork);
    for (; !rs.eof(); rs.moveNext()) {
        ++count;
        const int y = rs["fldYear"].toInt(), m = rs["fldMonth"].toInt(), d = rs["fldDay"].toInt();
        const int week = runtime::weekday(runtime::dateSerial(y, m, d));
        gdbWork.execute(
            "INSERT INTO tblYearShow (fldNo, fldYear, fldMonth, fldDay, fldWeek, fldPattern, fldSchedule, fldComment) "
            "VALUES (?1, ?2, ?3, ?4, ?5, ?6, 3, ?7)",
            {count, y, m, d, week, rs["fldPattern"].toInt(), gfnsLeftB(rs["fldComment"].toText(), 20)});
    }
    batch.commit();
    return count;
}

// ---- The grid ----

void frmYear::psbShowYearList(int column, const std::string& order) {
    dao::Recordset rs = gdbWork.openRecordset("SELECT * FROM tblYearShow" + orderClause(column, order));
    forms::GridRefill refill(*sstYear);
    forms::Grid& g = *sstYear;
    if (column < 0 && g.maxRows() < rs.recordCount()) g.setMaxRows(rs.recordCount());
    g.clearText(1, 1, forms::Grid::kAll, forms::Grid::kAll);
    g.setBlockBackColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, kListBack);
    g.setBlockForeColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, forms::vbBlack);
    static const Qt::Alignment kAlign[] = {Qt::AlignRight, Qt::AlignRight, Qt::AlignRight,
                                           Qt::AlignHCenter, Qt::AlignHCenter, Qt::AlignLeft};
    for (int row = 1; !rs.eof(); rs.moveNext(), ++row) {
        const int y = rs["fldYear"].toInt(), m = rs["fldMonth"].toInt(), d = rs["fldDay"].toInt();
        const int week = rs["fldWeek"].toInt();
        const int code = rs["fldSchedule"].toInt() * 32 | rs["fldPattern"].toInt();
        g.setText(1, row, text::toWide(std::to_string(y)));
        g.setText(2, row, text::toWide(std::to_string(m)));
        g.setText(3, row, text::toWide(std::to_string(d)));
        g.setText(4, row, runtime::format(runtime::dateSerial(y, m, d), "aaa"));
        g.setForeColor(4, row, week == 1 ? kSundayText : week == 7 ? kSaturdayText : forms::vbBlack);
        g.setText(5, row, gfnsGetDayTypeStr(code, 1));
        g.setBackColor(5, row, gfnlGetPatternColor(code));
        g.setText(6, row, leftChars(rs["fldComment"].toText(), 20));
        for (int c = 1; c <= kColumns; ++c)
            if (auto* item = g.table()->item(row - 1, c - 1)) item->setTextAlignment(kAlign[c - 1] | Qt::AlignVCenter);
    }
}

void frmYear::psbEnableForm(bool fEnable) {
    if (!fEnable) forms::setScreenPointer(forms::vbHourglass);
    for (QWidget* w : std::initializer_list<QWidget*>{sstYear, cmdBack, cmdYes, cmdNo, cmdDelete, cmdResetSort})
        w->setEnabled(fEnable);
    mnuHelp->setEnabled(fEnable);
    if (fEnable) forms::setScreenPointer(forms::vbDefault);
    setEnabled(fEnable);
    forms::doEvents();
}

// ---- Sorting ----

void frmYear::sstYear_Click(int col, int row) {
    if (row != 0) return;
    guarded([&] {
        psbEnableForm(false);
        if (col == 0) {
            psbShowYearList(0, "ASC");
            sortCol_ = 0;
        } else if (col == sortCol_) {
            psbShowYearList(col, "DESC");
            sortCol_ = 0;
        } else {
            psbShowYearList(col, "ASC");
            sortCol_ = col;
        }
        psbEnableForm(true);
    });
}

void frmYear::cmdResetSort_Click() {
    psbEnableForm(false);
    sstYear_Click(0, 0);
    psbEnableForm(true);
}

// ---- Deleting (log mode) ----

void frmYear::cmdDelete_Click() {
    guarded([&] {
        QItemSelectionModel* sel = sstYear->table()->selectionModel();
        if (!sel->hasSelection()) {
            forms::beep();
            return;
        }
        if (forms::MsgBox("選択された、登録をすべて削除しますか？", forms::vbYesNo | forms::vbQuestion, gfnsAppTitle()) !=
            forms::vbYes)
            return;
        psbEnableForm(false);
        long total = 0;
        for (int row = 1; row <= sstYear->maxRows() && sel->hasSelection(); ++row) {
            if (!sel->isRowSelected(row - 1, QModelIndex())) continue;
            const auto number = [&](int c) { return static_cast<int>(runtime::val(text::toNarrow(sstYear->text(c, row)))); };
            total += gdbWork.execute("DELETE FROM tblYear WHERE fldYear = ?1 And fldMonth = ?2 And fldDay = ?3",
                                     {number(1), number(2), number(3)});
            sel->select(sstYear->table()->model()->index(row - 1, 0),
                        QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        }
        if (total > 0) {
            gfChanged = vbTrue;
            result_ = true;
            pfniMakeYearShowList();
            psbShowYearList(-1, "ASC");
        }
        psbEnableForm(true);
    });
}

void frmYear::sstYear_MouseDown(int button, int shift) {
    const int both = forms::vbShiftMask | forms::vbCtrlMask;
    if (button != forms::vbRightButton || (shift & both) != both || !fraSet->isHidden()) return;
    guarded([&] {
        if (forms::MsgBox("すべて削除しますか？", forms::vbYesNo | forms::vbQuestion, gfnsAppTitle()) != forms::vbYes)
            return;
        if (gdbWork.execute("DELETE FROM tblYear") == 0) return;
        gfChanged = vbTrue;
        result_ = true;
        pfniMakeYearShowList();
        psbShowYearList(-1, "ASC");
    });
}

// ---- Closing and help ----

void frmYear::cmdBack_Click() { unload(); }

void frmYear::mnuHelpWindow_Click() {
    const QString caption = windowTitle();
    if (caption == QString::fromUtf8("特定日スケジュールの確認"))
        gsbHelpContext(kHelpSpecialListView);
    else if (caption == QString::fromUtf8("特定日スケジュールの登録"))
        gsbHelpContext(kHelpSpecialListAdd);
    else if (caption == QString::fromUtf8("特定日スケジュールの削除"))
        gsbHelpContext(kHelpSpecialListDelete);
}
