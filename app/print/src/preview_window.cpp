#include "print/preview_window.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QScrollBar>
#include <QVBoxLayout>

#include "core/globals.h"
#include "forms/controls.h"
#include "forms/services.h"
#include "printer/preview.h"
#include "runtime/numeric.h"

namespace {
// The viewport, in twips.
constexpr int kViewWidth = 12000;
constexpr int kViewHeight = 9000;
constexpr int kPaperInset = 120;

int px(double twips) { return static_cast<int>(twips / forms::twipsPerPixelX()); }
}  // namespace

frmPrintPreview::frmPrintPreview(std::function<void(int)> printPage, QWidget* parent)
    : QDialog(parent), printPage_(std::move(printPage)) {
    setObjectName("frmPrintPreview");
    setWindowTitle(QStringLiteral("プレビュー"));
    setModal(true);

    picView_ = new QWidget(this);
    picView_->setObjectName("picView");
    picView_->setFixedSize(px(kViewWidth), px(kViewHeight));
    picView_->setAutoFillBackground(true);
    QPalette pal = picView_->palette();
    pal.setColor(QPalette::Window, Qt::darkGray);
    picView_->setPalette(pal);
    picPaper_ = new printer::PreviewPicture(picView_);
    picPaper_->setObjectName("picPaper");
    picPaper_->move(px(kPaperInset), px(kPaperInset));

    hsbPage_ = new QScrollBar(Qt::Horizontal, this);
    hsbPage_->setObjectName("hsbPage");
    vsbPage_ = new QScrollBar(Qt::Vertical, this);
    vsbPage_->setObjectName("vsbPage");
    cmdPageBack_ = new forms::CommandButton(QStringLiteral("前のページ"), this);
    cmdPageBack_->setObjectName("cmdPageBack");
    cmdPageNext_ = new forms::CommandButton(QStringLiteral("次のページ"), this);
    cmdPageNext_->setObjectName("cmdPageNext");
    cmdBack_ = new forms::CommandButton(QStringLiteral("閉じる"), this);
    cmdBack_->setObjectName("cmdBack");
    lblPageNo_ = new QLabel(QStringLiteral("1"), this);
    lblPageNo_->setObjectName("lblPageNo");
    lblPageCount_ = new QLabel(QStringLiteral("0"), this);
    lblPageCount_->setObjectName("lblPageCount");
    line1_ = new QFrame(this);
    line1_->setObjectName("Line1");
    line1_->setFrameShape(QFrame::VLine);

    auto* view = new QHBoxLayout;
    view->addWidget(picView_);
    view->addWidget(vsbPage_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdPageBack_);
    buttons->addWidget(lblPageNo_);
    buttons->addWidget(line1_);
    buttons->addWidget(lblPageCount_);
    buttons->addWidget(cmdPageNext_);
    buttons->addStretch();
    buttons->addWidget(cmdBack_);
    auto* root = new QVBoxLayout(this);
    root->addLayout(view);
    root->addWidget(hsbPage_);
    root->addLayout(buttons);

    connect(cmdPageBack_, &forms::CommandButton::click, this, [this] { cmdPageBack_Click(); });
    connect(cmdPageNext_, &forms::CommandButton::click, this, [this] { cmdPageNext_Click(); });
    connect(cmdBack_, &forms::CommandButton::click, this, [this] { cmdBack_Click(); });
    connect(hsbPage_, &QScrollBar::valueChanged, this,
            [this](int v) { picPaper_->move(px(kPaperInset - v), picPaper_->pos().y()); });
    connect(vsbPage_, &QScrollBar::valueChanged, this,
            [this](int v) { picPaper_->move(picPaper_->pos().x(), px(kPaperInset - v)); });

    // Load.
    cmdPageBack_->setEnabled(false);
    cmdPageNext_->setEnabled(false);
    const bool log = gintLogMode != vbFalse;
    lblPageNo_->setVisible(log);
    lblPageCount_->setVisible(log);
    line1_->setVisible(log);
}

frmPrintPreview::~frmPrintPreview() = default;

int frmPrintPreview::pageNo() const { return static_cast<int>(runtime::val(lblPageNo_->text().toStdString())); }
int frmPrintPreview::pageCount() const { return static_cast<int>(runtime::val(lblPageCount_->text().toStdString())); }

void frmPrintPreview::setPageCount(int count) {
    const QString text = QString::number(count);
    if (lblPageCount_->text() == text) return;
    lblPageCount_->setText(text);
    updatePageButtons();
}

void frmPrintPreview::setPageNo(int page) {
    const QString text = QString::number(page);
    if (lblPageNo_->text() == text) return;
    lblPageNo_->setText(text);
    lblPageNo_Change();
}

void frmPrintPreview::updatePageButtons() {
    const int n = pageNo(), c = pageCount();
    cmdPageNext_->setEnabled(n < c);
    cmdPageBack_->setEnabled(n > 1);
}

void frmPrintPreview::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    Form_Activate();
}

void frmPrintPreview::Form_Activate() {
    const auto w = static_cast<std::int16_t>(picPaper_->width() - kViewWidth + 2 * kPaperInset);
    const auto h = static_cast<std::int16_t>(picPaper_->height() - kViewHeight + 2 * kPaperInset);
    hScrolls_ = picPaper_->width() + 2 * kPaperInset > kViewWidth;
    vScrolls_ = picPaper_->height() + 2 * kPaperInset > kViewHeight;
    // A bar that has nothing to move stays disabled with an empty range.
    if (hScrolls_) {
        hsbPage_->setEnabled(true);
        hsbPage_->setRange(0, w);
        hsbPage_->setPageStep(w);
        hsbPage_->setSingleStep(w / 2);
    } else {
        hsbPage_->setEnabled(false);
        hsbPage_->setRange(0, 0);
    }
    if (vScrolls_) {
        vsbPage_->setEnabled(true);
        vsbPage_->setRange(0, h);
        vsbPage_->setPageStep(h);
        vsbPage_->setSingleStep(h / 2);
    } else {
        vsbPage_->setEnabled(false);
        vsbPage_->setRange(0, 0);
    }
    setEnabled(true);
}

void frmPrintPreview::cmdPageBack_Click() {
    const int n = pageNo();
    if (n == 1)
        forms::beep();
    else
        setPageNo(n - 1);
}

void frmPrintPreview::cmdPageNext_Click() {
    const int n = pageNo(), c = pageCount();
    if (n == c)
        forms::beep();
    else
        setPageNo(n + 1);
}

void frmPrintPreview::lblPageNo_Change() {
    forms::setScreenPointer(forms::vbHourglass);
    for (QWidget* w : std::initializer_list<QWidget*>{cmdPageBack_, cmdPageNext_, cmdBack_, vsbPage_, hsbPage_})
        w->setEnabled(false);
    forms::doEvents();
    const int n = pageNo(), c = pageCount();
    if (printPage_) printPage_(n);
    cmdPageNext_->setEnabled(n < c);
    cmdPageBack_->setEnabled(n > 1);
    cmdBack_->setEnabled(true);
    vsbPage_->setEnabled(vScrolls_);
    hsbPage_->setEnabled(hScrolls_);
    forms::setScreenPointer(forms::vbDefault);
}

void frmPrintPreview::cmdBack_Click() {
    setEnabled(false);
    hide();
    forms::doEvents();
    unloaded_ = true;
    done(QDialog::Rejected);
}
