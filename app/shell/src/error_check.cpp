// The data check before a card write, and its list of findings.
#include "shell/error_check.h"

#include <algorithm>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTreeWidget>

#include "core/database.h"
#include "core/globals.h"
#include "core/help.h"
#include "core/input_filters.h"
#include "core/strings.h"
#include "core/upkeep.h"
#include "dao/database.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/datetime.h"

namespace {

constexpr int kTwips = 15;
constexpr const char* kNotRegistered = "は内容が登録されていません。";
constexpr int kColumnTwips[] = {2000, 6000, 700};

int px(int twips) { return twips / kTwips; }

// Restores the ordinary pointer however the check ends.
struct PointerGuard {
    ~PointerGuard() { forms::setScreenPointer(forms::vbDefault); }
};

}  // namespace

frmError::frmError(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("frmError");
    setWindowTitle("エラー一覧");
    auto* bar = new QMenuBar(this);
    mnuPrint_ = bar->addAction("印刷(&P)");
    mnuHelp_ = bar->addMenu("ﾍﾙﾌﾟ(&H)");
    connect(mnuHelp_->addAction("目次(&C)"), &QAction::triggered, [] { gsbHelpContents(); });
    connect(mnuHelp_->addAction("ｷｰﾜｰﾄﾞ(&I)"), &QAction::triggered, [] { gsbHelpIndex(); });
    connect(mnuHelp_->addAction("この画面に関するﾍﾙﾌﾟ(&W)"), &QAction::triggered,
            [] { gsbHelpContext(kHelpDataCheck); });
    // The print menu exists but prints nothing; the window hides it on load.
    mnuPrint_->setVisible(false);

    lblHint_ = new QLabel("以下のエラーが見つかりました。\nエラーの種類に警告がある場合は警告エラーを解決するまで"
                          "カードに書き込みできません。",
                          this);
    lvwError_ = new QTreeWidget(this);
    lvwError_->setRootIsDecorated(false);
    lvwError_->setColumnCount(3);
    lvwError_->setHeaderLabels({"登録の種類", "エラー情報", "種類"});
    for (int c = 0; c < 3; ++c) lvwError_->setColumnWidth(c, px(kColumnTwips[c]));
    lvwError_->header()->setSectionsClickable(true);
    connect(lvwError_->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { lvwError_ColumnClick(column); });

    cmdBack_ = new QPushButton("戻る", this);
    cmdBack_->setToolTip("カードに書込みに戻ります。");
    cmdNext_ = new QPushButton("次へ", this);
    cmdNext_->setToolTip("書き込みデータの作成を続けます。");
    cmdNext_->setDefault(true);
    connect(cmdBack_, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
    connect(cmdNext_, &QPushButton::clicked, this, [this] { cmdNext_Click(); });

    fraWorking_ = new QGroupBox("動作中", this);
    pgbWorking_ = new QProgressBar(fraWorking_);
    pgbWorking_->setRange(0, 100);
    lblWorking_ = new QLabel("エラーの検索中", fraWorking_);
    fraWorking_->setGeometry(0, 0, px(4800), px(1100));
    lblWorking_->setGeometry(px(240), px(300), px(4300), px(300));
    pgbWorking_->setGeometry(px(240), px(660), px(4300), px(300));
    fraWorking_->hide();

    const int top = bar->sizeHint().height();
    lblHint_->setGeometry(px(120), top + px(120), px(9255), px(540));
    lvwError_->setGeometry(px(120), top + px(720), px(9255), px(4920));
    cmdBack_->setGeometry(px(6120), top + px(5820), px(1500), px(420));
    cmdNext_->setGeometry(px(7800), top + px(5820), px(1500), px(420));
    setFixedSize(px(9495), top + px(6420));
}

bool frmError::gfnfCheckDataError(int iMode, QWidget* owner) {
    frmError window(owner);
    return window.run(iMode);
}

bool frmError::run(int iMode) {
    PointerGuard pointer;
    if (iMode != 0) {
        fraWorking_->move(0, 0);
        fraWorking_->show();
        setFixedSize(fraWorking_->width(), fraWorking_->height());
        cmdNext_->hide();
        show();
        psbEnableControls(false);
    }
    forms::setScreenPointer(forms::vbHourglass);
    psbSetProgress(5, "");
    gsbSetPatternUse();
    psbSetProgress(15, "");
    gsbSetMessageUse();
    psbSetProgress(50, "");
    gsbSetPatternError();
    if (iMode == 0) lvwError_->hide();
    lvwError_->clear();
    psbSetProgress(74, "");

    checkSpecialDayPatterns();
    const bool blocking = lvwError_->topLevelItemCount() > 0;
    psbSetProgress(78, "");
    checkWeekdayPatterns();
    checkHolidayPattern();
    checkCalendarYears();
    psbSetProgress(100, "");

    lvwError_->show();
    fitColumns();
    cmdNext_->setEnabled(!blocking);
    const bool found = lvwError_->topLevelItemCount() > 0;
    bool answer;
    if (iMode == 0) {
        forms::setScreenPointer(forms::vbDefault);
        if (!found) return true;
        forms::beep();
        exec();
        answer = !mfBack_;
    } else {
        hide();
        if (found) {
            fraWorking_->hide();
            setFixedSize(px(9585), px(6720));
            psbEnableControls(true);
            forms::beep();
            exec();
            answer = true;
        } else {
            forms::MsgBox("エラーは見つかりませんでした。", forms::vbOKOnly);
            answer = false;
        }
    }
    return answer;
}

// The designed widths are a minimum: no heading or finding is shown cut.
void frmError::fitColumns() {
    for (int c = 0; c < 3; ++c) {
        lvwError_->resizeColumnToContents(c);
        lvwError_->setColumnWidth(c, std::max(lvwError_->columnWidth(c), px(kColumnTwips[c])));
    }
}

// A special-day pattern the calendar uses but that has no steps blocks the card write.
void frmError::checkSpecialDayPatterns() {
    auto rs = gdbWork.openRecordset(
        "SELECT fldNo FROM tblDayPattern WHERE fldUse <> 0 And fldStep = 0 And fldNo Between 9 And 20");
    for (; !rs.eof(); rs.moveNext())
        psbAddErrorItem("特定日スケジュール", gfnsGetPatternName(rs["fldNo"].toInt()) + kNotRegistered, 1);
}

void frmError::checkWeekdayPatterns() {
    auto rs = gdbWork.openRecordset(
        "SELECT fldNo, fldStep FROM tblDayPattern WHERE fldNo Between 1 And 7 ORDER BY fldNo ASC");
    if (rs.eof()) {
        psbAddErrorItem("曜日スケジュール", "曜日スケジュールが１つも登録されていません。", 2);
        return;
    }
    rs.findFirst("fldStep = True");
    if (rs.noMatch()) {
        psbAddErrorItem("曜日スケジュール", "曜日スケジュールが１つも登録されていません。", 2);
        return;
    }
    for (rs.findFirst("fldStep = False"); !rs.noMatch(); rs.findNext("fldStep = False"))
        psbAddErrorItem("曜日スケジュール", gfnsGetPatternName(rs["fldNo"].toInt()) + kNotRegistered, 2);
}

void frmError::checkHolidayPattern() {
    auto settings = gdbWork.openRecordset("SELECT fldSyukujitu, fldMonday FROM tblSyukujitu WHERE fldDay = 0");
    settings.moveFirst();  // a missing settings row surfaces as "no current record"
    const bool inUse = settings["fldSyukujitu"].toInt() != 255;
    psbSetProgress(84, "");
    auto rs = gdbWork.openRecordset("SELECT fldNo, fldStep FROM tblDayPattern WHERE fldNo =8 ORDER BY fldNo ASC");
    rs.moveFirst();
    const bool hasSteps = rs["fldStep"].toInt() != 0;
    psbSetProgress(90, "");
    if (inUse && !hasSteps)
        psbAddErrorItem("祝日スケジュール", gfnsGetPatternName(rs["fldNo"].toInt()) + kNotRegistered, 2);
    else if (hasSteps && !inUse)
        psbAddErrorItem("祝日スケジュール", "祝日の使用が設定されていません。", 2);
    psbSetProgress(92, "");
    psbSetProgress(96, "");
}

void frmError::checkCalendarYears() {
    const int y = runtime::today().year;
    auto rs = gdbWork.openRecordset("SELECT * FROM tblYear WHERE fldYear Between " + std::to_string(y) + " And " +
                                    std::to_string(y + 9));
    if (rs.recordCount() == 0)
        psbAddErrorItem("特定日スケジュール", "特定日スケジュールの登録が１つもされていません。", 2);
}

void frmError::psbAddErrorItem(const std::string& sKind, const std::string& sMessage, int iLevel) {
    auto* item = new QTreeWidgetItem(lvwError_, {QString::fromStdString(sKind), QString::fromStdString(sMessage),
                                                 iLevel == 1 ? "警告" : "注意"});
    item->setIcon(0, style()->standardIcon(iLevel == 1 ? QStyle::SP_MessageBoxCritical
                                                       : QStyle::SP_MessageBoxWarning));
    item->setData(0, Qt::UserRole, iLevel);
}

void frmError::psbSetProgress(int iValue, const std::string& sText) {
    forms::setScreenPointer(forms::vbDefault);
    if (!sText.empty()) {
        lblWorking_->setText(QString::fromStdString(sText));
        lblWorking_->repaint();
    }
    pgbWorking_->setValue(iValue);
    forms::setScreenPointer(forms::vbHourglass);
    update();
}

void frmError::psbEnableControls(bool fEnable) {
    if (!fEnable) forms::setScreenPointer(forms::vbHourglass);
    cmdNext_->setEnabled(fEnable);
    cmdBack_->setEnabled(fEnable);
    mnuHelp_->setEnabled(fEnable);
    mnuPrint_->setEnabled(fEnable);
    pgbWorking_->setValue(0);
    lblWorking_->setVisible(!fEnable);
    pgbWorking_->setVisible(!fEnable);
    if (fEnable) forms::setScreenPointer(forms::vbDefault);
    forms::doEvents();
}

void frmError::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    gsbSetFocus(cmdNext_->isEnabled() ? static_cast<QWidget*>(cmdNext_) : cmdBack_);
}

void frmError::leave(bool back) {
    mfBack_ = back;
    setEnabled(false);
    hide();
    forms::doEvents();
    done(back ? QDialog::Rejected : QDialog::Accepted);
}

void frmError::cmdBack_Click() { leave(true); }
void frmError::cmdNext_Click() { leave(false); }
void frmError::reject() { cmdBack_Click(); }

// A click on the sort column flips the order; another column sorts ascending.
void frmError::lvwError_ColumnClick(int column) {
    if (column == sortColumn_) {
        sortDescending_ = !sortDescending_;
    } else {
        sortColumn_ = column;
        sortDescending_ = false;
    }
    lvwError_->sortItems(sortColumn_, sortDescending_ ? Qt::DescendingOrder : Qt::AscendingOrder);
}
