// The pattern copy window: every chart side by side, copies by drag and drop.
#include "patterns/frm_pattern_copy.h"

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>

#include "core/globals.h"
#include "core/help.h"
#include "core/patterns.h"
#include "core/strings.h"
#include "core/timechart.h"
#include "core/upkeep.h"
#include "dao/database.h"
#include "forms/services.h"
#include "patterns/frm_pattern.h"
#include "runtime/numeric.h"
#include "widget_props.h"
#include "wizard/host.h"

using namespace patterns::detail;

namespace {

constexpr forms::Colour kSpecialColour = 0xC0FFC0;
constexpr forms::Colour kErrorColour = 0x8080FF;
constexpr int kIconNoTarget = 22;
constexpr int kIconChart = 23;
const char* const kMime = "application/x-kv-day-pattern";

const char* const kChartCaptions[] = {"特定日", "日曜日", "月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日", "祝日"};

// The pictures of the icon list: a pattern's letter for the drag icons 2..21, a struck
// box over no target, an open hand over a chart.
QPixmap iconImage(int image) {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(Qt::black);
    p.setBrush(QColor(255, 255, 224));
    p.drawRect(2, 2, 27, 27);
    if (image == kIconNoTarget) {
        p.drawLine(4, 4, 28, 28);
    } else if (image >= 2 && image <= 21) {
        p.drawText(QRect(2, 2, 28, 28), Qt::AlignCenter, qs(gfnsGetDayTypeStr(image - 1, 1)));
    }
    return pm;
}

}  // namespace

frmPatternCopy::frmPatternCopy(frmPattern* editor, QWidget* parent)
    : QDialog(parent ? parent : static_cast<QWidget*>(editor)), editor_(editor) {
    setObjectName("frmPatternCopy");
    setWindowTitle(qs("一覧表示"));
    setModal(true);
    resize(820, 470);
    auto* bar = new QMenuBar(this);
    bar->setGeometry(0, 0, 820, 22);
    mnuHelp_ = bar->addMenu(qs("ﾍﾙﾌﾟ(&H)"));
    connect(mnuHelp_->addAction(qs("目次(&C)")), &QAction::triggered, this, [] { gsbHelpContents(); });
    connect(mnuHelp_->addAction(qs("ｷｰﾜｰﾄﾞ(&I)")), &QAction::triggered, this, [] { gsbHelpIndex(); });
    mnuHelpWindow_ = mnuHelp_->addAction(qs("この画面に関するﾍﾙﾌﾟ(&W)"));
    connect(mnuHelpWindow_, &QAction::triggered, this, [] { gsbHelpContext(kHelpPatternCopy); });
    for (int i = 0; i <= 8; ++i) {
        const int x = 10 + 88 * i;
        auto* lbl = new QLabel(qs(kChartCaptions[i]), this);
        lbl->setGeometry(x, 60, 84, 20);
        lbl->setAlignment(Qt::AlignCenter);
        lbl->installEventFilter(this);
        lblPattern_[static_cast<std::size_t>(i)] = lbl;
        auto* pic = new forms::PictureBox(this);
        pic->setGeometry(x, 82, 84, 300);
        pic->setAutoRedraw(true);
        pic->setAcceptDrops(true);
        pic->installEventFilter(this);
        picPattern_[static_cast<std::size_t>(i)] = pic;
        connect(pic, &forms::PictureBox::mouseDown, this, [this, i](int, int, double, double) {
            picPattern_MouseDown(i);
            startDrag(i);
        });
    }
    for (int n = 9; n <= 20; ++n) {
        auto* o = new forms::OptionButton(QString(QChar('A' + n - 9)), this);
        o->setAcceptDrops(true);
        o->installEventFilter(this);
        optPattern_[static_cast<std::size_t>(n)] = o;
        connect(o, &forms::OptionButton::click, this, [this, n] { optPattern_Click(n); });
    }
    const std::vector<QWidget*> row(optPattern_.begin() + 9, optPattern_.begin() + 21);
    const int width = rowButtonWidth(row);
    for (int n = 9; n <= 20; ++n) optPattern(n)->setGeometry(10 + (width + kRowButtonGap) * (n - 9), 30, width, 24);
    lblTimeChart_ = new QLabel(qs("表示項目"), this);
    lblTimeChart_->setGeometry(10, 390, 70, 20);
    lblOff_ = new QLabel(this);
    lblOff_->setGeometry(85, 390, 70, 20);
    lblAnsOnly_ = new QLabel(this);
    lblAnsOnly_->setGeometry(160, 390, 70, 20);
    lblAnsRec_ = new QLabel(this);
    lblAnsRec_->setGeometry(235, 390, 70, 20);
    lblHint_ = new QLabel(qs("コピーしたい場合は、コピーしたいスケジュール表示欄をドラッグして、貼り付けしたいスケジュール表示欄に"
                             "ドロップしてください。"),
                          this);
    lblHint_->setWordWrap(true);
    lblHint_->setGeometry(10, 415, 680, 44);
    cmdBack_ = new forms::CommandButton(qs("戻る"), this);
    cmdBack_->setGeometry(700, 420, 100, 32);
    setTip(cmdBack_, "この画面を閉じて戻ります。");
    connect(cmdBack_, &forms::CommandButton::click, this, [this] { cmdBack_Click(); });
    Form_Load();
}

frmPatternCopy::~frmPatternCopy() = default;

void frmPatternCopy::Form_Load() {
    lblOff_->setText(qs("停止"));
    setBackColor(lblOff_, 0xFFFFFF);
    lblAnsOnly_->setText(qs("応答専用"));
    setBackColor(lblAnsOnly_, 0xC0FFFF);
    lblAnsRec_->setText(qs("応答録音"));
    setBackColor(lblAnsRec_, 0xC0E0FF);
    gsbCheckAnsRec();
    if (!gfAnsRec) lblAnsRec_->hide();
    gsbSetPatternError();
    for (int i = 1; i <= 8; ++i) gsbDrawPatternChart(*picPattern(i), static_cast<std::int16_t>(i));
    psbShowPatternList();
}

bool frmPatternCopy::mfnfShowForm(int iPatternNo, int iMode) {
    const int n = iPatternNo < kPatternSpecialFirst ? kPatternSpecialFirst : iPatternNo;
    if (optPattern(n)->value())
        optPattern_Click(n);
    else
        optPattern(n)->setValue(true);
    viewOnly_ = iMode != 0;
    if (viewOnly_) {
        lblHint_->setText(qs("スケジュールの編集は、各スケジュールの編集画面で行ってください。"));
        for (auto* pic : picPattern_) pic->setEnabled(false);
        mnuHelpWindow_->setVisible(false);
    } else {
        const QCursor pointer(iconImage(kIconChart), 0, 0);
        for (auto* pic : picPattern_) pic->setCursor(pointer);
    }
    changed_ = false;
    exec();
    return changed_;
}

void frmPatternCopy::psbShowPatternList() {
    auto rs = gdbWork.openRecordset(
        "SELECT fldNo, fldName, fldError, fldPatternNo ,Count(fldPatternNo) AS fldCount FROM tblDayPattern LEFT JOIN "
        "tblDayStep ON tblDayPattern.fldNo = tblDayStep.fldPatternNo WHERE fldNo Between 9 And 20 GROUP BY fldNo, "
        "fldName, fldError, fldPatternNo ORDER BY fldNo ASC;");
    for (; !rs.eof(); rs.moveNext()) {
        const int n = rs["fldNo"].toInt();
        std::string name = rs["fldName"].toText();
        name.erase(name.find_last_not_of(' ') + 1);
        setTip(optPattern(n), name);
        const int count = rs["fldCount"].toInt();
        setBackColor(optPattern(n), rs["fldError"].toBool() ? kErrorColour
                                    : count < 1             ? forms::vbButtonFace
                                                            : kSpecialColour);
        setTag(optPattern(n), std::to_string(count));
    }
}

int frmPatternCopy::shownSpecial() const { return static_cast<int>(runtime::val(tag(lblPattern(0)))); }

void frmPatternCopy::optPattern_Click(int i) {
    setTag(lblPattern(0), std::to_string(i));
    gsbDrawPatternChart(*picPattern(0), static_cast<std::int16_t>(i));
}

void frmPatternCopy::picPattern_MouseDown(int i) {
    source_ = i == 0 ? shownSpecial() : i;
    dragIcon_ = source_ + 1;
}

void frmPatternCopy::startDrag(int i) {
    if (viewOnly_ || !picPattern(i)->isEnabled()) return;
    auto* drag = new QDrag(picPattern(i));
    auto* data = new QMimeData;
    data->setData(kMime, QByteArray::number(source_));
    drag->setMimeData(data);
    drag->setPixmap(iconImage(dragIcon_));
    drag->exec(Qt::CopyAction);
}

void frmPatternCopy::target_DragOver(int state) {
    if (state == 0) dragIcon_ = source_ + 1;
    if (state == 1) dragIcon_ = kIconNoTarget;
}

void frmPatternCopy::picPattern_DragDrop(int i) {
    const int target = i == 0 ? shownSpecial() : i;
    psbSetFormEnabled(false);
    if (mfnfCopyPatternData(source_, target)) {
        if (target < kPatternSpecialFirst) {
            gsbDrawPatternChart(*picPattern(target), static_cast<std::int16_t>(target));
        } else {
            gsbSetPatternError();
            psbShowPatternList();
            gsbDrawPatternChart(*picPattern(0), static_cast<std::int16_t>(target));
        }
        changed_ = true;
    }
    psbSetFormEnabled(true);
}

void frmPatternCopy::optPattern_DragDrop(int i) {
    if (!mfnfCopyPatternData(source_, i)) return;
    changed_ = true;
    gsbSetPatternError();
    psbShowPatternList();
    if (shownSpecial() != i)
        optPattern(i)->setValue(true);
    else
        gsbDrawPatternChart(*picPattern(0), static_cast<std::int16_t>(i));
}

void frmPatternCopy::psbSetFormEnabled(bool fEnable) {
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(false);
    if (!fEnable) forms::setScreenPointer(forms::vbHourglass);
    cmdBack_->setEnabled(fEnable);
    mnuHelp_->menuAction()->setEnabled(fEnable);
    for (auto* pic : picPattern_) pic->setEnabled(fEnable);
    if (fEnable) forms::setScreenPointer(forms::vbDefault);
    setEnabled(fEnable);
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(fEnable);
    forms::doEvents();
}

void frmPatternCopy::lblPattern_DblClick(int i) {
    if (!picPattern(i)->isEnabled()) return;
    const int n = i == 0 ? shownSpecial() : i;
    if (!editor_ || !shown(editor_->optPattern(n))) {
        forms::beep();
        return;
    }
    hide();
    forms::doEvents();
    done(QDialog::Accepted);
    editor_->optPattern(n)->setValue(true);
}

void frmPatternCopy::cmdBack_Click() {
    hide();
    forms::doEvents();
    done(QDialog::Rejected);
}

bool frmPatternCopy::eventFilter(QObject* watched, QEvent* event) {
    for (int i = 0; i <= 8; ++i) {
        if (watched == lblPattern(i) && event->type() == QEvent::MouseButtonDblClick) lblPattern_DblClick(i);
    }
    auto* w = qobject_cast<QWidget*>(watched);
    const bool chart = std::find(picPattern_.begin(), picPattern_.end(), w) != picPattern_.end();
    const auto button = std::find(optPattern_.begin() + kPatternSpecialFirst, optPattern_.end(), w);
    if (!chart && button == optPattern_.end()) return QDialog::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter: {
        auto* e = static_cast<QDragEnterEvent*>(event);
        if (!e->mimeData()->hasFormat(kMime)) return false;
        e->acceptProposedAction();
        target_DragOver(0);
        return true;
    }
    case QEvent::DragMove:
        target_DragOver(2);
        static_cast<QDragMoveEvent*>(event)->acceptProposedAction();
        return true;
    case QEvent::DragLeave:
        target_DragOver(1);
        return true;
    case QEvent::Drop: {
        static_cast<QDropEvent*>(event)->acceptProposedAction();
        if (chart) {
            for (int i = 0; i <= 8; ++i)
                if (picPattern(i) == w) picPattern_DragDrop(i);
        } else {
            optPattern_DragDrop(static_cast<int>(button - optPattern_.begin()));
        }
        return true;
    }
    default:
        return QDialog::eventFilter(watched, event);
    }
}
