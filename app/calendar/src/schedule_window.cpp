// The special-day calendar: building the window, its load and return from the editor, the
// month scroller, drawing and colouring the four months, day tooltips and the busy switch.
#include "calendar/schedule_window.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTableWidget>
#include <QVBoxLayout>

#include "calendar/year_window.h"
#include "core/calendar.h"
#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/help.h"
#include "core/input_filters.h"
#include "core/list_grids.h"
#include "core/schedule.h"
#include "core/strings.h"
#include "core/timechart.h"
#include "core/upkeep.h"
#include "forms/controls.h"
#include "forms/grid.h"
#include "forms/services.h"
#include "forms/surface.h"
#include "hooks.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "runtime/format.h"
#include "schedule_colours.h"
#include "text/text.h"
#include "wizard/host.h"

namespace {

frmSchedule* gInstance = nullptr;

constexpr int kDayRowTwips = 240;
constexpr int kHeadRowTwips = 270;

QString qs(const std::string& s) { return QString::fromStdString(s); }

void setLabelColour(QLabel* l, forms::Colour c) {
    l->setAutoFillBackground(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::Window, forms::toQColor(c));
    pal.setColor(QPalette::WindowText, Qt::black);
    l->setPalette(pal);
}

QLabel* legend(const char* text, QWidget* parent) {
    auto* l = new QLabel(QString::fromUtf8(text), parent);
    l->setFrameShape(QFrame::Box);
    l->setAlignment(Qt::AlignCenter);
    return l;
}

void setupMonthGrid(forms::Grid& g) {
    static const char* const kHeadings[] = {"日", "月", "火", "水", "木", "金", "土"};
    g.setMaxCols(7);
    g.setMaxRows(12);
    g.setColHidden(0, true);
    for (int c = 1; c <= 7; ++c) {
        g.setText(c, 0, kHeadings[c - 1]);
        g.setColWidth(c, 4);  // wide enough for "停止"
    }
    g.setRowHeight(0, kHeadRowTwips);
    for (int r = 1; r <= 12; ++r) g.setRowHeight(r, kDayRowTwips);
    g.fitToRows(12);
    auto* t = g.table();
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    g.setFixedWidth(t->horizontalHeader()->length() + 2 * t->frameWidth());
    g.setOperationMode(forms::Grid::OperationMode::ReadOnly);
}

}  // namespace

frmSchedule::frmSchedule(QWidget* parent) : wizard::Page(parent) {
    setObjectName("frmSchedule");
    setWindowTitle(QString::fromUtf8("特定日スケジュールの登録"));
    buildControls();
    buildMenus();
    gInstance = this;
}

frmSchedule::~frmSchedule() { unloadPage(); }

void frmSchedule::unloadPage() {
    if (unloaded_) return;
    unloaded_ = true;
    if (gInstance == this) gInstance = nullptr;
    gsbCloseDatabase(gdbWork);
}

frmSchedule* frmSchedule::instance() { return gInstance; }

void frmSchedule::guarded(const std::function<void()>& f) {
    try {
        f();
    } catch (const runtime::Error& e) {
        gsbErrorMsg(e, true);
    }
}

void frmSchedule::buildControls() {
    auto* root = new QVBoxLayout(this);
    auto* body = new QHBoxLayout;
    root->addLayout(body);

    auto* months = new QGridLayout;
    for (int i = 0; i < 4; ++i) {
        fraMonth[i] = new QGroupBox(this);
        auto* box = new QVBoxLayout(fraMonth[i]);
        sstMonth[i] = new forms::Grid(fraMonth[i]);
        setupMonthGrid(*sstMonth[i]);
        box->addWidget(sstMonth[i]);
        months->addWidget(fraMonth[i], i / 2, i % 2);
        forms::Grid* g = sstMonth[i];
        connect(g, &forms::Grid::mouseDown, this, [this, i](int b, int, double, double) { sstMonth_MouseDown(i, b); });
        connect(g, &forms::Grid::mouseMove, this, [this, i](int, int, double x, double y) { sstMonth_MouseMove(i, x, y); });
        connect(g, &forms::Grid::mouseUp, this,
                [this, i](int b, int s, double x, double y) { sstMonth_MouseUp(i, b, s, x, y); });
    }
    body->addLayout(months);

    vscJump = new QScrollBar(Qt::Vertical, this);
    vscJump->setTracking(false);
    vscJump->setPageStep(4);
    connect(vscJump, &QScrollBar::valueChanged, this, [this] { vscJump_Change(); });
    connect(vscJump, &QScrollBar::sliderMoved, this, [this] { vscJump_Scroll(); });
    body->addWidget(vscJump);

    auto* side = new QVBoxLayout;
    fraPattern = new QGroupBox(this);
    auto* patternBox = new QVBoxLayout(fraPattern);
    lblPattern = new QLabel(QString::fromUtf8("特定日スケジュール"), fraPattern);
    patternBox->addWidget(lblPattern);
    sstDayPattern = new forms::Grid(fraPattern);
    sstDayPattern->setMaxCols(2);
    sstDayPattern->setMaxRows(13);
    sstDayPattern->setColHidden(0, true);
    sstDayPattern->setColWidth(1, 4);
    sstDayPattern->setColWidth(2, 20);
    sstDayPattern->setText(1, 0, "");
    sstDayPattern->setText(2, 0, "スケジュール名");
    sstDayPattern->setText(1, 1, "停止");
    sstDayPattern->setTextTip("登録するスケジュールを選択してください。");
    sstDayPattern->setOperationMode(forms::Grid::OperationMode::SingleSelect);
    sstDayPattern->fitToRows(13);
    patternBox->addWidget(sstDayPattern);
    connect(sstDayPattern->table(), &QTableWidget::currentCellChanged, this, [this] { sstDayPattern_CurrentChanged(); });
    connect(sstDayPattern, &forms::Grid::mouseUp, this, [this] { sstDayPattern_MouseUp(); });
    side->addWidget(fraPattern);

    picTimeChart = new forms::PictureBox(this);
    picTimeChart->setMinimumHeight(90);
    picTimeChart->setBackColor(0xFFFFFF);
    picTimeChart->setAutoRedraw(true);
    side->addWidget(picTimeChart);

    auto* chartLegend = new QHBoxLayout;
    lblOff = legend("停止", this);
    lblAnsOnly = legend("応答専用", this);
    lblAnsRec = legend("応答録音", this);
    for (QLabel* l : {lblOff, lblAnsOnly, lblAnsRec}) chartLegend->addWidget(l);
    side->addLayout(chartLegend);

    lblSchedule = new QLabel(QString::fromUtf8("表示項目"), this);
    side->addWidget(lblSchedule);
    auto* dayLegend = new QHBoxLayout;
    lblWeek = legend("曜日スケジュール", this);
    lblSyukujitu = legend("祝日スケジュール", this);
    lblYear = legend("特定日スケジュール", this);
    for (QLabel* l : {lblWeek, lblSyukujitu, lblYear}) dayLegend->addWidget(l);
    side->addLayout(dayLegend);

    lblMode = new QLabel(QString::fromUtf8("モード切替"), this);
    side->addWidget(lblMode);
    auto* modes = new QHBoxLayout;
    optMode[0] = new forms::OptionButton(QString::fromUtf8("削除"), this);
    optMode[0]->setToolTip(QString::fromUtf8("特定日スケジュールを削除します。"));
    optMode[1] = new forms::OptionButton(QString::fromUtf8("登録"), this);
    optMode[1]->setToolTip(QString::fromUtf8("特定日スケジュールを登録します。"));
    for (int i = 0; i < 2; ++i) {
        modes->addWidget(optMode[i]);
        connect(optMode[i], &forms::OptionButton::click, this, [this, i] { optMode_Click(i); });
    }
    side->addLayout(modes);

    auto* actions = new QHBoxLayout;
    cmdYear = new forms::CommandButton(QString::fromUtf8("確認"), this);
    cmdYear->setToolTip(QString::fromUtf8("特定日スケジュールの確認をします。"));
    cmdEdit = new forms::CommandButton(QString::fromUtf8("編集"), this);
    cmdEdit->setToolTip(QString::fromUtf8("特定日スケジュールの内容を編集します。"));
    actions->addWidget(cmdYear);
    actions->addWidget(cmdEdit);
    side->addLayout(actions);
    connect(cmdYear, &forms::CommandButton::click, this, [this] { cmdYear_Click(); });
    connect(cmdEdit, &forms::CommandButton::click, this, [this] { cmdEdit_Click(); });

    lblPatternNo = new QLabel("0", this);
    lblPatternNo->setVisible(false);
    side->addWidget(lblPatternNo);
    side->addStretch(1);

    auto* steps = new QHBoxLayout;
    cmdBack = new forms::CommandButton(QString::fromUtf8("戻る"), this);
    cmdBack->setToolTip(QString::fromUtf8("祝日スケジュールの登録に戻ります。"));
    cmdNext = new forms::CommandButton(QString::fromUtf8("次へ"), this);
    cmdNext->setToolTip(QString::fromUtf8("カードに書込みへ進みます。"));
    steps->addWidget(cmdBack);
    steps->addWidget(cmdNext);
    side->addLayout(steps);
    connect(cmdBack, &forms::CommandButton::click, this, [this] { cmdBack_Click(); });
    connect(cmdNext, &forms::CommandButton::click, this, [this] { cmdNext_Click(); });
    body->addLayout(side);

    picJump = new QLabel(this);
    picJump->setFrameShape(QFrame::Box);
    picJump->setAutoFillBackground(true);
    picJump->setVisible(false);

    picLoadMessage = new QFrame(this);
    static_cast<QFrame*>(picLoadMessage)->setFrameShape(QFrame::Panel);
    picLoadMessage->setAutoFillBackground(true);
    auto* load = new QVBoxLayout(picLoadMessage);
    lblLoadMessage = new QLabel(picLoadMessage);
    lblLoadMessage->setAlignment(Qt::AlignCenter);
    load->addWidget(lblLoadMessage);
    picLoadMessage->resize(240, 60);
    picLoadMessage->setVisible(false);
}

void frmSchedule::buildMenus() {
    menuBar = new QMenuBar(this);
    layout()->setMenuBar(menuBar);
    mnuFile = menuBar->addMenu(QString::fromUtf8("ﾌｧｲﾙ(&F)"));
    mnuFileSave = mnuFile->addAction(QString::fromUtf8("上書き保存(&S)"), this, [this] { mnuFileSave_Click(); });
    mnuFileSaveAs = mnuFile->addAction(QString::fromUtf8("名前を付けて保存(&A)"), this, [this] { mnuFileSaveAs_Click(); });
    mnuPrint = menuBar->addMenu(QString::fromUtf8("印刷(&P)"));
    mnuPrintPrint = mnuPrint->addAction(QString::fromUtf8("年間スケジュール(&S)"), this,
                                        [] { calendar::detail::showPrinter(4, 0); });
    mnuPrintYear = mnuPrint->addAction(QString::fromUtf8("特定日スケジュール(&Y)"), this,
                                       [] { calendar::detail::showPrinter(3, 0); });
    mnuHelp = menuBar->addMenu(QString::fromUtf8("ﾍﾙﾌﾟ(&H)"));
    mnuHelpContents = mnuHelp->addAction(QString::fromUtf8("目次(&C)"), this, [] { gsbHelpContents(); });
    mnuHelpKeyWord = mnuHelp->addAction(QString::fromUtf8("ｷｰﾜｰﾄﾞ(&I)"), this, [] { gsbHelpIndex(); });
    mnuHelpWindow = mnuHelp->addAction(QString::fromUtf8("この画面に関するﾍﾙﾌﾟ(&W)"), this,
                                       [] { gsbHelpContext(kHelpCalendar); });

    // The day pop-up menu: never on the menu bar, only shown at the pointer.
    mnuPopUp = new QMenu(QString::fromUtf8("右クリック"), this);
    static const char* const kItems[] = {"この日", "毎月この週曜日", "毎月この日", "毎年この日"};
    for (int i = 0; i < 4; ++i)
        mnuPopUpMenu[i] = mnuPopUp->addAction(QString::fromUtf8(kItems[i]), this, [this, i] { mnuPopUpMenu_Click(i); });
    mnuPopUpSplit0 = mnuPopUp->addSeparator();
    mnuPopUpAllYear = mnuPopUp->addAction(QString::fromUtf8("すべての特定日スケジュール"), this,
                                          [this] { mnuPopUpAllYear_Click(); });
    mnuPopUpSplit1 = mnuPopUp->addSeparator();
    mnuPopUpCancel = mnuPopUp->addAction(QString::fromUtf8("ｷｬﾝｾﾙ"), this, [this] { mnuPopUpCancel_Click(); });
}

// ---- Pattern number store ----

int frmSchedule::patternNo() const { return lblPatternNo->text().toInt(); }

void frmSchedule::setPatternNo(int p) {
    const QString text = QString::number(p);
    if (lblPatternNo->text() == text) return;  // an unchanged caption raises no change
    lblPatternNo->setText(text);
    lblPatternNo_Change();
}

void frmSchedule::lblPatternNo_Change() {
    guarded([&] {
        const int n = patternNo();
        if (n <= 20) gsbDrawPatternChart(*picTimeChart, static_cast<std::int16_t>(n));
    });
}

// ---- Load and return ----

void frmSchedule::msbShowForm(int, int) { Form_Load(); }

void frmSchedule::Form_Load() {
    guarded([&] {
        forms::setScreenPointer(forms::vbHourglass);
        setEnabled(false);
        setLabelColour(lblWeek, kWeekdayColour);
        setLabelColour(lblSyukujitu, kHolidayColour);
        setLabelColour(lblYear, kSpecialColour);
        setLabelColour(lblOff, kChartOff);
        setLabelColour(lblAnsOnly, kChartAnsOnly);
        setLabelColour(lblAnsRec, kChartAnsRec);
        {
            // The document is not open yet: choosing the row must not draw its chart.
            QSignalBlocker quiet(sstDayPattern->table());
            sstDayPattern->setActiveCell(1, 2);
        }
        {
            QSignalBlocker quiet(vscJump);
            vscJump->setRange(1, 120);
        }
        gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat));
        gsbSetPatternUse();
        gsbSetPatternError();
        gsbSetSyukujituPattern();
        gsbShowPatternList(*sstDayPattern, true);
        gsbCheckAnsRec();
        lblAnsRec->setVisible(gfAnsRec != 0);
        optMode[1]->setValue(true);
        if (gintLogMode) lblPatternNo->setVisible(true);
        show();
        forms::doEvents();
        // Measured once the grids are laid out, so that the hit test follows their geometry.
        const QRect first = sstMonth[0]->cellRect(1, 1);
        mlngHeadHeight = first.top();
        mlngLeft = first.left();
        mlngWeekHeight = sstMonth[0]->cellRect(1, 3).top() - first.top();
        mlngColWidth = sstMonth[0]->cellRect(2, 1).left() - first.left();
        const int month = runtime::today().month;
        if (vscJump->value() == month)
            vscJump_Change();  // an unchanged value raises no change, but the months must be drawn
        else
            vscJump->setValue(month);
        setEnabled(true);
        forms::setScreenPointer(forms::vbDefault);
    });
}

void frmSchedule::msbShowForm() {
    guarded([&] {
        gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat));
        gsbSetPatternUse();
        gsbSetPatternError();
        gsbShowPatternList(*sstDayPattern, true);
        const int row = sstDayPattern->activeRow();
        if (row != 1) gsbDrawPatternChart(*picTimeChart, static_cast<std::int16_t>(row + 7));
        minimised_ = false;
        show();
        msbDrawYear();
        if (wizard::Host* h = wizard::host()) h->msbWizardEnable(true);
        lblAnsRec->setVisible(gfAnsRec != 0);
        setEnabled(true);
    });
}

// ---- Month scroller ----

void frmSchedule::vscJump_Change() {
    guarded([&] {
        const int y0 = runtime::today().year;
        const runtime::DateTime first = runtime::dateSerial(y0, vscJump->value(), 1);
        if (runtime::dateSerial(first.year, first.month + 3, 1).year > y0 + 9) {
            forms::beep();
            vscJump->setValue(117);  // raises the change again with the last four months
        } else {
            msbDrawMonth(first.year, first.month);
        }
        picJump->setVisible(false);
        gsbSetFocus(vscJump);
    });
}

void frmSchedule::vscJump_Scroll() {
    guarded([&] {
        const int v = vscJump->sliderPosition();
        const int y0 = runtime::today().year;
        picJump->setText(qs(runtime::format(runtime::dateSerial(y0, v, 1), "yyyy/mm")));
        picJump->adjustSize();
        const int top = vscJump->y() + 20 + (vscJump->height() - 40) * v / std::max(1, vscJump->maximum()) +
                        picJump->height() * 3 / 2;
        picJump->move(vscJump->x() + vscJump->width() / 2 - picJump->width(), std::min(top, height() - picJump->height()));
        picJump->raise();
        picJump->setVisible(true);
    });
}

// ---- Drawing ----

void frmSchedule::showLoadMessage(const char* text) {
    lblLoadMessage->setText(QString::fromUtf8(text));
    picLoadMessage->move((width() - picLoadMessage->width()) / 2, (height() - picLoadMessage->height()) / 2);
    picLoadMessage->raise();
    picLoadMessage->setVisible(true);
    picLoadMessage->repaint();
}

void frmSchedule::hideLoadMessage() {
    picLoadMessage->setVisible(false);
    update();
}

void frmSchedule::restGrid(forms::Grid& grid) {
    grid.setOperationMode(forms::Grid::OperationMode::ReadOnly);
    grid.clearSelection();
}

void frmSchedule::msbDrawMonth(int year, int month) {
    showLoadMessage("スケジュール表示中");
    for (int i = 0; i < 4; ++i) {
        const runtime::DateTime first = runtime::dateSerial(year, month + i, 1);
        fraMonth[i]->setTitle(qs(text::toWide(std::to_string(first.year) + "年 " + std::to_string(first.month) + "月")));
        const int w1 = runtime::weekday(first);
        forms::Grid& g = *sstMonth[i];
        g.setRedraw(false);
        sstMonthTag[i] = std::to_string(first.year) + "/" + std::to_string(first.month) + "/";
        g.clearText(1, 1, forms::Grid::kAll, forms::Grid::kAll);
        g.setBlockBackColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, kDayBack);
        g.setBlockForeColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, forms::vbBlack);
        const int days = gfniGetMonthDays(first.month, first.year);
        for (int d = 1; d <= days; ++d) {
            const int wd = core::weekdayOf(first.year, first.month, d);
            const int row = gfniGetDayRow(d, w1, wd) - 1;
            g.setText(wd, row, std::to_string(d));
            if (wd == 7) g.setForeColor(wd, row, kSaturdayText);
            if (wd == 1) g.setForeColor(wd, row, kSundayText);
        }
        g.setRedraw(true);
    }
    update();
    msbDrawYear();
}

void frmSchedule::msbDrawYear() {
    msbEnableWindow(false);
    showLoadMessage("スケジュール表示中");
    gsbOpenScheduleTables(true);
    for (int i = 0; i < 4; ++i) {
        forms::Grid& g = *sstMonth[i];
        g.setRedraw(false);
        g.setBlockBackColor(1, 1, forms::Grid::kAll, forms::Grid::kAll, kDayBack);
        const auto first = runtime::parseDate(sstMonthTag[i] + "1");
        if (!first) runtime::raise(13);
        const int w1 = runtime::weekday(*first);
        const int n = gfniGetMonthDays(first->month, first->year);
        core::DayBytes days;
        core::DayNames names;
        gsbGetScheduleData(first->year, first->month, days, names);
        for (int d = 1; d <= n; ++d) {
            const int wd = core::weekdayOf(first->year, first->month, d);
            const int row = gfniGetDayRow(d, w1, wd);
            g.setBackColor(wd, row, gfnlGetPatternColor(days(d)));
            g.setText(wd, row, gfnsGetDayTypeStr(days(d), 1));
            if (isPublicHoliday(days(d))) g.setForeColor(wd, row - 1, kSundayText);
            mstrDayName[i][d] = names(d);
        }
        restGrid(g);
        g.setRedraw(true);
        forms::doEvents();
    }
    gsbOpenScheduleTables(false);
    hideLoadMessage();
    msbEnableWindow(true);
}

// ---- Tooltips ----

void frmSchedule::sstMonth_MouseMove(int index, double x, double y) {
    guarded([&] {
        forms::Grid& g = *sstMonth[index];
        const long ty = static_cast<long>(y), tx = static_cast<long>(x);
        if (ty < mlngHeadHeight || mlngWeekHeight <= 0 || mlngColWidth <= 0) {
            g.setTextTip("");
            lastDay_[index] = 0;
            return;
        }
        const int week = static_cast<int>((ty - mlngHeadHeight) / mlngWeekHeight + 1);
        const int weekday = static_cast<int>((tx - mlngLeft) / mlngColWidth + 1);
        const auto first = runtime::parseDate(sstMonthTag[index] + "1");
        if (!first) return;
        const int d = mfniCellToDay(week, runtime::weekday(*first), weekday);
        if (d == lastDay_[index]) return;
        g.setTextTip("");
        if (runtime::isDate(sstMonthTag[index] + std::to_string(d))) g.setTextTip(mstrDayName[index][d]);
        lastDay_[index] = d;
    });
}

// ---- Busy switch ----

void frmSchedule::msbEnableWindow(bool fEnable) {
    if (!fEnable) forms::setScreenPointer(forms::vbHourglass);
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{cmdNext, cmdBack, cmdYear, cmdEdit, vscJump, optMode[0],
                                                      optMode[1], fraPattern})
        w->setEnabled(fEnable);
    for (QMenu* m : {mnuHelp, mnuPrint, mnuFile}) m->setEnabled(fEnable);
    if (fEnable) forms::setScreenPointer(forms::vbDefault);
    setEnabled(fEnable);
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(fEnable);
    forms::doEvents();
}

// ---- Cell formulas ----

namespace {
int int16(long v) {
    if (v < -32768 || v > 32767) runtime::raise(6);
    return static_cast<int>(v);
}
}  // namespace

int frmSchedule::mfniCellToDay(int week, int w1, int weekday) {
    return int16((static_cast<long>(int16(week)) - 1) * 7 + weekday - w1 + 1);
}

int frmSchedule::mfniDayToRow(int day, int w1, int weekday) {
    return int16((static_cast<long>(day) + w1 - weekday) / 7 + 1);
}

// ---- Buttons and menus ----

void frmSchedule::cmdBack_Click() {
    if (wizard::Host* h = wizard::host()) h->msbShowBack();
}

void frmSchedule::cmdNext_Click() {
    if (wizard::Host* h = wizard::host()) h->msbShowNext();
}

void frmSchedule::saveDocument(const std::string& name) {
    guarded([&] {
        gsbCloseDatabase(gdbWork);
        if (wizard::Host* h = wizard::host()) h->pfnfFileSave(name);
        gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat));
    });
}

void frmSchedule::mnuFileSave_Click() { saveDocument(""); }
void frmSchedule::mnuFileSaveAs_Click() { saveDocument("新規"); }

void frmSchedule::refreshPatternFlags() {
    gsbSetPatternUse();
    gsbSetPatternError();
    gsbShowPatternList(*sstDayPattern, true);
}

void frmSchedule::cmdYear_Click() {
    guarded([&] {
        const int row = sstDayPattern->activeRow();
        const int p = row == 1 ? 0 : row + 7;
        showLoadMessage("スケジュール検索中");
        msbEnableWindow(false);
        frmYear list(picLoadMessage);
        const bool changed = list.mfnfShowForm(p, -1, "");
        if (changed) {
            refreshPatternFlags();
            vscJump_Change();
        }
        hideLoadMessage();
        msbEnableWindow(true);
    });
}

void frmSchedule::cmdEdit_Click() {
    guarded([&] {
        const int row = sstDayPattern->activeRow();
        if (row <= 1) {
            forms::beep();
            return;
        }
        handToEditor(row + 7);
    });
}

void frmSchedule::handToEditor(int pattern) {
    if (wizard::Host* h = wizard::host()) h->msbWizardEnable(false);
    minimised_ = true;
    setVisible(false);
    setEnabled(false);
    forms::doEvents();
    // Without an editor to hand over to, the calendar comes straight back.
    if (!calendar::detail::openPatternEditor(pattern, "")) msbShowForm();
}
