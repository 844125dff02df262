// The day-pattern editor as a whole: its controls, opening it per kind of pattern,
// choosing a pattern, the step grid and the pattern selector.
#include "patterns/frm_pattern.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>

#include <initializer_list>

#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/help.h"
#include "core/input_filters.h"
#include "core/list_grids.h"
#include "core/messages.h"
#include "core/strings.h"
#include "core/uc_numeric.h"
#include "core/upkeep.h"
#include "forms/client_area.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/error.h"
#include "runtime/numeric.h"
#include "widget_props.h"
#include "wizard/host.h"

using namespace patterns::detail;

namespace {

constexpr forms::Colour kGridBack = 0xE2E2E2;
constexpr forms::Colour kWeekdayColour = 0xFFC0C0;
constexpr forms::Colour kHolidayColour = 0xC0C0FF;
constexpr forms::Colour kSpecialColour = 0xC0FFC0;
constexpr forms::Colour kErrorColour = 0x8080FF;

const char* const kWeekdayCaptions[] = {"日", "月", "火", "水", "木", "金", "土"};
const char* const kWeekdayTips[] = {"日曜日スケジュール", "月曜日スケジュール", "火曜日スケジュール", "水曜日スケジュール",
                                    "木曜日スケジュール", "金曜日スケジュール", "土曜日スケジュール"};

// Pixel layout of the window.
constexpr int kStripHeight = 30;

QLabel* makeLabel(QWidget* parent, const char* caption, QRect at) {
    auto* l = new QLabel(qs(caption), parent);
    l->setGeometry(at);
    return l;
}

forms::CommandButton* makeButton(QWidget* parent, const char* caption, const char* tip, QRect at) {
    auto* b = new forms::CommandButton(qs(caption), parent);
    b->setGeometry(at);
    setTip(b, tip);
    return b;
}

UcNumeric* makeNumeric(QWidget* parent, int index, long max, QRect at) {
    auto* u = new UcNumeric(parent);
    u->SetIndex(index);
    u->SetMin(0);
    u->SetMax(max);
    u->SetWrap(true);
    u->setGeometry(at);
    u->SetValue(0);
    return u;
}

}  // namespace

frmPattern::frmPattern(QWidget* parent) : wizard::Page(parent) {
    setObjectName("frmPattern");
    buildControls();
    buildMenus();
    // The page never gets smaller than its controls: the main window scrolls instead.
    client_->setMinimumSize(std::max(width(), sstAnsRec_->geometry().right() + 10), height());
    Form_Load();
}

frmPattern::~frmPattern() { unloadPage(); }

void frmPattern::unloadPage() {
    if (!unloaded_) Form_Unload();
}

void frmPattern::buildControls() {
    resize(760, 576);
    menuBar_ = new QMenuBar(this);
    client_ = forms::makeClientArea(this, menuBar_);
    client_->installEventFilter(this);
    picPattern_ = new QWidget(client_);
    picPattern_->setGeometry(0, 0, 760, kStripHeight);
    for (int i = 0; i <= 21; ++i) {
        auto* o = new forms::OptionButton(picPattern_);
        optPattern_[static_cast<std::size_t>(i)] = o;
        int slot = i;
        if (i >= 1 && i <= 7) setCaption(o, kWeekdayCaptions[i - 1]), setTip(o, kWeekdayTips[i - 1]);
        if (i == 8) setCaption(o, "祝日"), slot = 1;
        if (i >= 9 && i <= 20) setCaption(o, std::string(1, static_cast<char>('A' + i - 9))), slot = i - 8;
        if (i == 0) setCaption(o, "停止");
        if (i == 21) setCaption(o, "一時");
        o->setProperty("slot", slot);
        if (i == 0 || i == 21) o->hide();
        connect(o, &forms::OptionButton::click, this, [this, i] { optPattern_Click(i); });
    }
    // One slot a button, as wide as the widest caption of a row; the holiday button alone
    // takes two.
    std::vector<QWidget*> row(optPattern_.begin() + 1, optPattern_.begin() + 8);
    row.insert(row.end(), optPattern_.begin() + 9, optPattern_.begin() + 21);
    const int slotWidth = rowButtonWidth(row);
    for (int i = 0; i <= 21; ++i) {
        forms::OptionButton* o = optPattern(i);
        const int width = i == 8 ? std::max(2 * slotWidth, o->sizeHint().width()) : slotWidth;
        o->setGeometry(8 + (o->property("slot").toInt() - 1) * (slotWidth + kRowButtonGap), 3, width, 24);
    }
    cmdSyukujitu_ = makeButton(picPattern_, "祝日の編集", "祝日の追加・削除・編集を行います。", QRect(0, 3, 90, 24));
    cmdCopy_ = makeButton(picPattern_, "一覧表示", "スケジュール内容の一覧を表示／スケジュールのコピー", QRect(0, 3, 80, 24));
    cmdDel_ = makeButton(picPattern_, "削除", "スケジュールの内容を削除します。", QRect(0, 3, 60, 24));

    // The name of a special-day pattern sits over the step grid, clear of the heading of
    // the message grid beside it.
    lblPattern_ = makeLabel(client_, "新しい特定日スケジュール", QRect(10, 36, 165, 20));
    lblComment_ = makeLabel(client_, "スケジュール名", QRect(175, 36, 90, 20));
    txtComment_ = new forms::TextBox(client_);
    txtComment_->setGeometry(265, 34, 165, 22);
    setTip(txtComment_, "スケジュール名を入力してください。");

    picTimeChart_ = new forms::PictureBox(client_);
    picTimeChart_->setGeometry(10, 64, 150, 460);
    picTimeChart_->setBackColor(forms::vbButtonFace);
    picTimeChart_->setAutoRedraw(true);
    picTimeChart_->setMouseTracking(true);
    shpTimeSet_ = new QFrame(picTimeChart_);
    shpTimeSet_->setFrameShape(QFrame::Box);
    shpTimeSet_->setStyleSheet("border: 2px solid #0000ff; background: transparent;");
    shpTimeSet_->setAttribute(Qt::WA_TransparentForMouseEvents);
    shpTimeSet_->hide();
    picTime_ = new QLabel(client_);
    picTime_->setFrameShape(QFrame::Box);
    picTime_->setAutoFillBackground(true);
    picTime_->resize(44, 18);
    picTime_->hide();
    picTime_->installEventFilter(this);

    sstDayStep_ = new forms::Grid(client_);
    sstDayStep_->setGeometry(175, 64, 250, 300);
    sstDayStep_->setMaxCols(4);
    sstDayStep_->setMaxRows(kMaxStepsPerPattern + 1);
    sstDayStep_->setText(1, 0, "番号");
    sstDayStep_->setText(2, 0, "開始");
    sstDayStep_->setText(3, 0, "終了");
    sstDayStep_->setText(4, 0, "ﾒｯｾｰｼﾞ");
    for (int r = 1; r <= sstDayStep_->maxRows(); ++r) sstDayStep_->setText(1, r, std::to_string(r));
    sstDayStep_->setRowHidden(0, false);
    sstDayStep_->setColHidden(0, true);
    sstDayStep_->setColWidth(1, 3);
    for (int c = 2; c <= 4; ++c) sstDayStep_->setColWidth(c, 6);
    sstDayStep_->setOperationMode(forms::Grid::OperationMode::ReadOnly);
    sstDayStep_->setTextTip("登録番号を選択してください。");
    connect(sstDayStep_, &forms::Grid::click, this, [this](int c, int r) { sstDayStep_Click(c, r); });

    lblStepNo_ = makeLabel(client_, "0", QRect(175, 368, 40, 20));
    lblStepNo_->hide();
    lblTitleRemain_ = makeLabel(client_, "残り登録数", QRect(250, 368, 90, 20));
    lblStepRemain_ = makeLabel(client_, "24", QRect(345, 368, 40, 20));
    lblStart_ = makeLabel(client_, "開始時刻", QRect(175, 396, 80, 20));
    lblEnd_ = makeLabel(client_, "終了時刻", QRect(175, 446, 80, 20));
    for (int i = 0; i < 2; ++i) {
        const int y = 416 + 50 * i;
        unmHour_[static_cast<std::size_t>(i)] = makeNumeric(client_, i, i == 0 ? 23 : 24, QRect(175, y, 56, 24));
        makeLabel(client_, "時", QRect(233, y + 2, 16, 20));
        unmMinute_[static_cast<std::size_t>(i)] = makeNumeric(client_, i, 59, QRect(252, y, 56, 24));
        makeLabel(client_, "分", QRect(310, y + 2, 16, 20));
        connect(unmHour_[static_cast<std::size_t>(i)], &UcNumeric::Change, this, [this, i] { unmTime_Change(true, i); });
        connect(unmMinute_[static_cast<std::size_t>(i)], &UcNumeric::Change, this, [this, i] { unmTime_Change(false, i); });
    }
    cmdSet_ = makeButton(client_, "登録", "入力内容を登録します。", QRect(340, 441, 80, 30));
    connect(cmdSet_, &forms::CommandButton::click, this, [this] { cmdSet_Click(); });

    lblMessage_ = makeLabel(client_, "メッセージ", QRect(440, 42, 120, 20));
    sstMessage_ = new forms::Grid(client_);
    sstMessage_->setGeometry(440, 64, 260, 300);
    sstMessage_->setMaxCols(3);
    sstMessage_->setMaxRows(10);
    sstMessage_->setText(1, 0, "番号");
    sstMessage_->setText(2, 0, "メッセージ名");
    sstMessage_->setText(3, 0, "");
    sstMessage_->setColHidden(0, true);
    sstMessage_->setColWidth(1, 4);
    sstMessage_->setColWidth(2, 18);
    sstMessage_->setColWidth(3, 3);
    sstMessage_->setOperationMode(forms::Grid::OperationMode::SingleSelect);
    sstMessage_->setTextTip("登録するメッセージを選択してください。");
    connect(sstMessage_, &forms::Grid::dblClick, this, [this](int c, int r) { sstMessage_DblClick(c, r); });
    lblMessageHint_ = makeLabel(client_, "ダブルクリックでメッセージ名を変更できます。", QRect(440, 368, 300, 20));
    txtMsgName_ = new forms::TextBox(client_);
    txtMsgName_->resize(170, 22);
    txtMsgName_->hide();
    setTip(txtMsgName_, "メッセージ名を入力してください。");
    connect(txtMsgName_, &forms::TextBox::change, this, [this] { txtMsgName_Change(); });
    txtMsgName_->installEventFilter(this);
    sstAnsRec_ = new forms::Grid(client_);
    sstAnsRec_->setGeometry(704, 64, 60, 300);
    sstAnsRec_->setMaxCols(1);
    sstAnsRec_->setMaxRows(10);
    sstAnsRec_->setText(1, 0, "録音");
    sstAnsRec_->setColHidden(0, true);
    sstAnsRec_->setColWidth(1, 4);
    sstAnsRec_->fitToRows(10);
    sstAnsRec_->fitToColumns();
    sstAnsRec_->resize(sstAnsRec_->minimumWidth(), sstAnsRec_->height());
    sstAnsRec_->hide();
    connect(sstAnsRec_, &forms::Grid::click, this, [this](int c, int r) { sstAnsRec_Click(c, r); });

    lblOff_ = makeLabel(client_, "", QRect(440, 396, 80, 20));
    lblAnsOnly_ = makeLabel(client_, "", QRect(525, 396, 80, 20));
    lblAnsRec_ = makeLabel(client_, "", QRect(610, 396, 80, 20));

    chkSyukujitu_ = new forms::CheckBox(qs("祝日を使用する"), client_);
    chkSyukujitu_->setGeometry(440, 426, 200, 22);
    setTip(chkSyukujitu_, "祝日を使用するときにチェックを入れます。");
    connect(chkSyukujitu_, &forms::CheckBox::click, this, [this] { chkSyukujitu_Click(); });
    chkFurikae_ = new forms::CheckBox(qs("振替休日も祝日に従う"), client_);
    chkFurikae_->setGeometry(440, 452, 220, 22);
    setTip(chkFurikae_, "振替休日を祝日スケジュールと同じ動きにするときにチェックを入れます。");
    connect(chkFurikae_, &forms::CheckBox::click, this, [this] { chkFurikae_Click(); });

    cmdBack_ = makeButton(client_, "戻る", "前の登録に戻ります。", QRect(520, 496, 100, 32));
    cmdNext_ = makeButton(client_, "次へ", "次の画面に進みます。", QRect(630, 496, 100, 32));
    cmdOk_ = makeButton(client_, "戻る", "特定日スケジュール登録画面に戻ります。", QRect(630, 536, 100, 32));
    connect(cmdBack_, &forms::CommandButton::click, this, [this] { cmdBack_Click(); });
    connect(cmdNext_, &forms::CommandButton::click, this, [this] { cmdNext_Click(); });
    connect(cmdOk_, &forms::CommandButton::click, this, [this] { cmdOk_Click(); });
    connect(cmdCopy_, &forms::CommandButton::click, this, [this] { cmdCopy_Click(); });
    connect(cmdDel_, &forms::CommandButton::click, this, [this] { cmdDel_Click(); });
    connect(cmdSyukujitu_, &forms::CommandButton::click, this, [this] { cmdSyukujitu_Click(); });
    txtComment_->installEventFilter(this);
    connect(txtComment_, &forms::TextBox::change, this, [this] { txtComment_Change(); });

    connect(picTimeChart_, &forms::PictureBox::mouseDown, this,
            [this](int b, int, double x, double y) { picTimeChart_MouseDown(b, x, y); });
    connect(picTimeChart_, &forms::PictureBox::mouseMove, this,
            [this](int b, int, double x, double y) { picTimeChart_MouseMove(b, x, y); });
    connect(picTimeChart_, &forms::PictureBox::mouseUp, this,
            [this](int b, int, double x, double y) { picTimeChart_MouseUp(b, x, y); });
    connect(picTimeChart_, &forms::PictureBox::dblClick, this, [this] { picTimeChart_DblClick(); });
    setMouseTracking(true);

    keys_ = new forms::KeyPreview(this);
    keys_->keyPress = [this](int& k) { Form_KeyPress(k); };
}

void frmPattern::buildMenus() {
    mnuFile_ = menuBar_->addMenu(qs("ﾌｧｲﾙ(&F)"));
    connect(mnuFile_->addAction(qs("上書き保存(&S)")), &QAction::triggered, this, [this] { mnuFileSave_Click(false); });
    connect(mnuFile_->addAction(qs("名前を付けて保存(&A)")), &QAction::triggered, this, [this] { mnuFileSave_Click(true); });
    mnuPrint_ = menuBar_->addMenu(qs("印刷(&P)"));
    connect(mnuPrint_->addAction(qs("スケジュール(&S)")), &QAction::triggered, this, [this] { mnuPrintPrint_Click(); });
    connect(mnuPrint_->addAction(qs("メッセージ(&M)")), &QAction::triggered, this, [this] { mnuPrintMsg_Click(); });
    mnuPrintSplit_ = mnuPrint_->addSeparator();
    mnuPrintSyukujitu_ = mnuPrint_->addAction(qs("祝日(&H)"));
    connect(mnuPrintSyukujitu_, &QAction::triggered, this, [this] { mnuPrintSyukujitu_Click(); });
    mnuMsg_ = menuBar_->addMenu(qs("ﾒｯｾｰｼﾞ(&M)"));
    mnuMsgAction_ = mnuMsg_->menuAction();
    mnuMsgAnsRec_ = mnuMsg_->addAction(qs("応答録音も使う"));
    mnuMsgAnsRec_->setCheckable(true);
    // The item inverts its own mark: Qt's toggle is undone before the handler runs.
    connect(mnuMsgAnsRec_, &QAction::triggered, this, [this] {
        mnuMsgAnsRec_->setChecked(!mnuMsgAnsRec_->isChecked());
        mnuMsgAnsRec_Click();
    });
    mnuHelp_ = menuBar_->addMenu(qs("ﾍﾙﾌﾟ(&H)"));
    connect(mnuHelp_->addAction(qs("目次(&C)")), &QAction::triggered, this, [] { gsbHelpContents(); });
    connect(mnuHelp_->addAction(qs("ｷｰﾜｰﾄﾞ(&I)")), &QAction::triggered, this, [] { gsbHelpIndex(); });
    mnuHelpWindow_ = mnuHelp_->addAction(qs("この画面に関するﾍﾙﾌﾟ(&W)"));
    connect(mnuHelpWindow_, &QAction::triggered, this, [this] { mnuHelpWindow_Click(); });
}

void frmPattern::Form_Load() {
    forms::setScreenPointer(forms::vbHourglass);
    setEnabled(false);
    lblOff_->setText(qs("停止"));
    setBackColor(lblOff_, 0xFFFFFF);
    lblAnsOnly_->setText(qs("応答専用"));
    setBackColor(lblAnsOnly_, 0xC0FFFF);
    lblAnsRec_->setText(qs("応答録音"));
    setBackColor(lblAnsRec_, 0xC0E0FF);
    cmdOk_->move(cmdOk_->x(), cmdNext_->y());
    mnuMsgAction_->setVisible(gfBrandMode != 0);
    picTimeChart_->setBorderStyle(0);
    metrics_.height = picTimeChart_->scaleHeight() - 5.0 * picTimeChart_->twipsPerPixelY();
    metrics_.width = picTimeChart_->scaleWidth();
    metrics_.labelHeight = picTimeChart_->textHeight("0");
    metrics_.labelWidth = picTimeChart_->textWidth("00:00");
    metrics_.twipsPerPixelY = picTimeChart_->twipsPerPixelY();
    metrics_.twipsPerPixelX = picTimeChart_->twipsPerPixelX();
    chartLeft_ = picTimeChart_->x() * forms::twipsPerPixelX();
    chartTop_ = picTimeChart_->y() * forms::twipsPerPixelY();
    gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat));
    gsbCheckAnsRec();
    lblAnsRec_->setVisible(gfAnsRec != 0);
    lblStepNo_->setVisible(gintLogMode != 0);
    move(0, 0);
    show();
}

void frmPattern::Form_Unload() {
    unloaded_ = true;
    setEnabled(false);
    // Out of sight at once: a page shown minimised would be drawn again under the next
    // page until it is deleted.
    hide();
    forms::doEvents();
    gsbCloseDatabase(gdbWork);
}

void frmPattern::unload() {
    if (unloaded_) return;
    Form_Unload();
    // The wizard owns its active page; any other opening ends with the window.
    if (!wizard::host() || wizard::host()->activePage() != this) deleteLater();
}

void frmPattern::msbShowForm(int formNo, int /*menuNo*/) { msbShowForm(formNo == 3 ? kPatternHoliday : kPatternSunday); }

void frmPattern::msbShowForm(int iPatternNo, const std::string& /*sDate*/) { msbShowForm(iPatternNo); }

void frmPattern::showKind(int n) {
    const bool weekday = isWeekdayPattern(n);
    const bool holiday = n == kPatternHoliday;
    const bool special = isSpecialPattern(n);
    for (int i = 1; i <= 7; ++i) optPattern(i)->setVisible(weekday);
    optPattern(8)->setVisible(holiday);
    for (int i = 9; i <= 20; ++i) optPattern(i)->setVisible(special);
    cmdSyukujitu_->setVisible(holiday);
    chkSyukujitu_->setVisible(holiday);
    chkFurikae_->setVisible(holiday);
    cmdBack_->setVisible(!special);
    cmdNext_->setVisible(!special);
    cmdOk_->setVisible(special);
    lblComment_->setVisible(special);
    txtComment_->setVisible(special);
    mnuPrintSplit_->setVisible(holiday);
    mnuPrintSyukujitu_->setVisible(holiday);
    if (weekday) {
        setTip(cmdBack_, gfServiceMode ? "機能設定の登録に戻ります。" : "メニューに戻ります。");
        setTip(cmdNext_, "祝日スケジュールの登録へ進みます。");
        setWindowTitle(qs("曜日スケジュールの編集"));
    } else if (holiday) {
        setTip(cmdBack_, "曜日スケジュールの登録に戻ります。");
        setTip(cmdNext_, "特定日スケジュールの登録へ進みます。");
        setWindowTitle(qs("祝日スケジュールの編集"));
        psbShowSyukujituOption();
    } else {
        if (wizard::Host* h = wizard::host()) h->setStepBarEnabled(false);
        setTip(cmdOk_, "特定日スケジュールの登録に戻ります。");
        setWindowTitle(qs("特定日スケジュールの編集"));
    }
}

void frmPattern::msbShowForm(int iPatternNo) {
    setEnabled(false);
    if (iPatternNo <= 0 || iPatternNo > kPatternSpecialLast) {
        forms::beep();
        forms::setScreenPointer(forms::vbDefault);
        unload();
        return;
    }
    showKind(iPatternNo);
    if (optPattern(iPatternNo)->value())
        optPattern_Click(iPatternNo);
    else
        optPattern(iPatternNo)->setValue(true);
    layoutStrip();
    showNormal();
    update();
    cmdBack_->setEnabled(false);
    cmdNext_->setEnabled(false);
    setEnabled(true);
    gsbSetFocusNum(unmHour(0));
    if (iPatternNo == kPatternHoliday && chkSyukujitu_->value() == forms::vbUnchecked) {
        if (gfniMsgBox(11) == forms::vbYes) {
            gsbSetFocus(chkSyukujitu_);
            chkSyukujitu_->setValue(forms::vbChecked);
            gsbSetFocusNum(unmHour(0));
        } else {
            psbSetSyukujituOption(false, kPatternNotSet);
            psbSetEditEnabled(false);
        }
    }
    cmdBack_->setEnabled(true);
    cmdNext_->setEnabled(true);
    forms::setScreenPointer(forms::vbDefault);
}

void frmPattern::layoutStrip() {
    const int right = picPattern_->width() - 1;
    cmdDel_->move(right - cmdDel_->width(), cmdDel_->y());
    cmdCopy_->move(cmdDel_->x() - cmdCopy_->width(), cmdCopy_->y());
    cmdSyukujitu_->move(cmdCopy_->x() - cmdSyukujitu_->width(), cmdSyukujitu_->y());
    update();
}

void frmPattern::optPattern_Click(int i) {
    psbSetFormEnabled(false);
    optPattern(i)->setValue(true);
    lblPattern_->setText(qs(gfnsGetPatternName(i)));
    pattern_ = static_cast<std::int16_t>(i);
    gsbSetMessageUse();
    gsbShowMessageList(*sstMessage_, 1);
    gsbSetPatternUse();
    gsbSetPatternError();
    psbShowPatternList();
    psbSetStepRemain();
    psbShowAnsRec();
    gsbCheckAnsRec();
    psbShowDayStep(i);
    gsbDrawPatternChart(*picTimeChart_, static_cast<std::int16_t>(i));
    setStepNo("0");
    unmHour(1)->SetValue(0);
    unmMinute(1)->SetValue(0);
    unmHour(0)->SetValue(0);
    unmMinute(0)->SetValue(0);
    sstMessage_->setActiveCell(1, 2);
    hideTimeBox();
    if (isSpecialPattern(i)) {
        txtComment_->setText(optPattern(i)->toolTip());
        commentTag_.clear();
    }
    if (gintLogMode) setTip(lblPattern_, std::to_string(i));
    psbSetFormEnabled(true);
    gsbSetFocusNum(unmHour(0));
}

void frmPattern::psbShowDayStep(int iPatternNo) {
    const auto rows = patterns::stepRanges(patterns::readDaySteps(iPatternNo));
    sstDayStep_->setRedraw(false);
    sstDayStep_->clearText(2, forms::Grid::kAll, forms::Grid::kAll, forms::Grid::kAll);
    sstDayStep_->setBlockBackColor(2, forms::Grid::kAll, forms::Grid::kAll, forms::Grid::kAll, kGridBack);
    int r = 0;
    for (const auto& row : rows) {
        if (++r > sstDayStep_->maxRows()) break;
        sstDayStep_->setText(2, r, gfnsTimeToStr(row.start / 60, row.start % 60));
        sstDayStep_->setText(3, r, gfnsTimeToStr(row.end / 60, row.end % 60));
        sstDayStep_->setText(4, r, gfnsGetChannelStr(row.channel, false));
    }
    sstDayStep_->setRedraw(true);
}

void frmPattern::psbShowPatternList() {
    auto rs = gdbWork.openRecordset(
        "SELECT fldNo, fldName, fldError, fldPatternNo ,Count(fldPatternNo) AS fldCount FROM tblDayPattern "
        "LEFT JOIN tblDayStep ON tblDayPattern.fldNo = tblDayStep.fldPatternNo WHERE Not fldNo = 0 "
        "GROUP BY fldNo, fldName, fldError, fldPatternNo ORDER BY fldNo ASC;");
    for (; !rs.eof(); rs.moveNext()) {
        const int n = rs["fldNo"].toInt();
        if (n < 1 || n > 21) continue;
        const int count = rs["fldCount"].toInt();
        forms::Colour colour = forms::vbButtonFace;
        if (isWeekdayPattern(n)) colour = kWeekdayColour;
        if (n == kPatternHoliday) colour = kHolidayColour;
        if (isSpecialPattern(n)) {
            colour = kSpecialColour;
            std::string name = rs["fldName"].toText();
            name.erase(name.find_last_not_of(' ') + 1);
            setTip(optPattern(n), name);
        }
        if (rs["fldError"].toBool())
            colour = kErrorColour;
        else if (count < 1)
            colour = forms::vbButtonFace;
        setBackColor(optPattern(n), colour);
        setTag(optPattern(n), std::to_string(count));
    }
}

void frmPattern::psbSetFormEnabled(bool fEnable) {
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(false);
    if (!fEnable) forms::setScreenPointer(forms::vbHourglass);
    for (QWidget* w : std::initializer_list<QWidget*>{cmdNext_, cmdBack_, cmdOk_}) w->setEnabled(fEnable);
    for (QMenu* m : {mnuHelp_, mnuPrint_, mnuFile_}) m->menuAction()->setEnabled(fEnable);
    for (QWidget* w : std::initializer_list<QWidget*>{sstDayStep_, picTimeChart_, picPattern_, unmHour_[0], unmMinute_[0],
                                                      unmHour_[1], unmMinute_[1], sstMessage_, sstAnsRec_})
        w->setEnabled(fEnable);
    mnuMsgAction_->setEnabled(fEnable);
    cmdSet_->setEnabled(fEnable);
    if (fEnable) forms::setScreenPointer(forms::vbDefault);
    setEnabled(fEnable);
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(fEnable);
    forms::doEvents();
}

void frmPattern::sstDayStep_Click(int /*col*/, int row) {
    if (row > 0) sstDayStep_->setActiveCell(1, row);
    const int r = sstDayStep_->activeRow();
    if (r > 0 && !sstDayStep_->text(2, r).empty()) {
        setStepNo(std::to_string(r));
        sstDayStep_->setOperationMode(forms::Grid::OperationMode::SingleSelect);
        sstDayStep_->setActiveCell(1, r);
    } else {
        setStepNo("0");
        sstDayStep_->setOperationMode(forms::Grid::OperationMode::ReadOnly);
    }
    gsbSetFocusNum(unmHour(0));
}

void frmPattern::setStepNo(const std::string& caption) {
    if (lblStepNo_->text().toStdString() == caption) return;
    lblStepNo_->setText(qs(caption));
    lblStepNo_Change();
}

void frmPattern::lblStepNo_Change() {
    const int r = static_cast<int>(runtime::val(lblStepNo_->text().toStdString()));
    if (r == 0) {
        sstDayStep_->setOperationMode(forms::Grid::OperationMode::ReadOnly);
        return;
    }
    sstDayStep_->setActiveCell(1, r);
    const std::string from = sstDayStep_->text(2, r);
    if (from.empty()) {
        sstMessage_->clearSelection();
        return;
    }
    const std::string to = sstDayStep_->text(3, r);
    const int start = patterns::gridTimeToMinutes(from);
    unmHour(0)->SetValue(start / 60);
    unmMinute(0)->SetValue(start % 60);
    unmHour(1)->SetValue(static_cast<long>(runtime::val(to.substr(0, 2))));
    unmMinute(1)->SetValue(static_cast<long>(runtime::val(to.size() >= 2 ? to.substr(to.size() - 2) : to)));
    sstMessage_->setActiveCell(1, static_cast<int>(runtime::val(sstDayStep_->text(4, r))) + 1);
}

void frmPattern::Form_KeyPress(int& keyAscii) {
    if (keyAscii != 13) return;
    keyAscii = 0;
    QWidget* next = nullptr;
    if (hasFocusIn(txtComment_))
        next = unmHour(0);
    else if (hasFocusIn(unmHour(0)))
        next = unmMinute(0);
    else if (hasFocusIn(unmMinute(0)))
        next = unmHour(1);
    else if (hasFocusIn(unmHour(1)))
        next = unmHour(1)->Value() == 24 ? static_cast<QWidget*>(sstMessage_) : unmMinute(1);
    else if (hasFocusIn(unmMinute(1)) || hasFocusIn(txtMsgName_))
        next = sstMessage_;
    else if (hasFocusIn(sstMessage_))
        next = cmdSet_;
    if (auto* u = qobject_cast<UcNumeric*>(next))
        gsbSetFocusNum(u);
    else if (next)
        gsbSetFocus(next);
}

bool frmPattern::pfnfSetPatternName(int iPatternNo, const std::string& sName) {
    auto rs = gdbWork.openRecordset("SELECT * FROM tblDayPattern WHERE fldNo = " + std::to_string(iPatternNo));
    if (rs.eof() || rs["fldName"].toText() == sName) return false;
    rs.edit();
    rs.set("fldName", sName);
    rs.update();
    gfChanged = vbTrue;
    return true;
}

void frmPattern::paintClient() {
    // A raised frame round the editing area, below the selector strip.
    QPainter p(client_);
    const QRect r(optPattern(1)->x(), kStripHeight + 2, txtComment_->geometry().right() + 16 - optPattern(1)->x(),
                  picTimeChart_->geometry().bottom() + 8 - kStripHeight);
    p.setPen(palette().color(QPalette::Light));
    p.drawLine(r.topLeft(), r.topRight());
    p.drawLine(r.topLeft(), r.bottomLeft());
    p.setPen(palette().color(QPalette::Dark));
    p.drawLine(r.bottomLeft(), r.bottomRight());
    p.drawLine(r.topRight(), r.bottomRight());
}

void frmPattern::mousePressEvent(QMouseEvent* e) {
    Form_Click();
    wizard::Page::mousePressEvent(e);
}

void frmPattern::mouseMoveEvent(QMouseEvent* e) {
    Form_MouseMove();
    wizard::Page::mouseMoveEvent(e);
}

bool frmPattern::eventFilter(QObject* watched, QEvent* event) {
    if (watched == client_ && event->type() == QEvent::Paint) paintClient();
    if (watched == picTime_ && event->type() == QEvent::Enter) hideTimeBox();
    if (watched == txtMsgName_ && event->type() == QEvent::FocusOut && shown(txtMsgName_)) txtMsgName_LostFocus();
    if (watched == txtMsgName_ && event->type() == QEvent::FocusIn) gsbSelectAll(txtMsgName_);
    if (watched == txtComment_ && event->type() == QEvent::FocusOut) txtComment_LostFocus();
    if (watched == txtComment_ && event->type() == QEvent::FocusIn) gsbSelectAll(txtComment_);
    return wizard::Page::eventFilter(watched, event);
}
