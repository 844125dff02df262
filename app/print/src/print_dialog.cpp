#include "print/print_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "core/errors.h"
#include "core/globals.h"
#include "core/help.h"
#include "core/input_filters.h"
#include "core/messages.h"
#include "core/strings.h"
#include "forms/controls.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "print/device.h"
#include "print/framework.h"
#include "print/modal.h"
#include "print/preview_window.h"
#include "print/print.h"
#include "printer/preview.h"
#include "printer/printer.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "runtime/numeric.h"
#include "text/text.h"

using print::i16;

namespace print {
DialogMemory& dialogMemory() {
    static DialogMemory m;
    return m;
}
}  // namespace print

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string str(const QString& s) { return s.toStdString(); }

// The year of a year box: full-width digits read as digits.
double yearOf(const QComboBox* box) { return runtime::val(text::toNarrow(str(box->currentText()))); }

// A right click with Shift and Ctrl on an option button, reported to the dialog.
class MouseUpFilter : public QObject {
public:
    MouseUpFilter(frmPrinter* dialog, int index) : QObject(dialog), dialog_(dialog), index_(index) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            auto* e = static_cast<QMouseEvent*>(event);
            dialog_->optObject_MouseUp(index_, forms::buttonOf(e->button()), forms::shiftOf(e->modifiers()));
        }
        return QObject::eventFilter(watched, event);
    }

private:
    frmPrinter* dialog_;
    int index_;
};

}  // namespace

frmPrinter::frmPrinter(QWidget* parent) : QDialog(parent) {
    setObjectName("frmPrinter");
    setModal(true);
    buildControls();
}

frmPrinter::~frmPrinter() {
    auto& sinks = print::sinks();
    sinks.progress = nullptr;
    sinks.previewPages = nullptr;
    sinks.previewCanvas = nullptr;
}

void frmPrinter::buildControls() {
    auto* menuBar = new QMenuBar(this);
    mnuHelp_ = menuBar->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    mnuHelp_->setObjectName("mnuHelp");
    connect(mnuHelp_->addAction(QStringLiteral("目次(&C)")), &QAction::triggered, this, [] { gsbHelpContents(); });
    connect(mnuHelp_->addAction(QStringLiteral("ｷｰﾜｰﾄﾞ(&I)")), &QAction::triggered, this, [] { gsbHelpIndex(); });
    connect(mnuHelp_->addAction(QStringLiteral("この画面に関するﾍﾙﾌﾟ(&W)")), &QAction::triggered, this,
            [] { gsbHelpContext(180); });

    auto button = [this](const char* caption, const char* name) {
        auto* b = new forms::CommandButton(QString::fromUtf8(caption), this);
        b->setObjectName(name);
        return b;
    };
    cboPrinter_ = new QComboBox(this);
    cboPrinter_->setObjectName("cboPrinter");
    cboPrinter_->setToolTip(QStringLiteral("印刷するプリンタを選択してください。"));
    lblPrinterInfo_ = new QLabel(QStringLiteral("LPT1: "), this);
    lblPrinterInfo_->setObjectName("lblPrinterInfo");
    cmdPreview_ = button("ﾌﾟﾚﾋﾞｭｰ", "cmdPreview");
    cmdProperty_ = button("ﾌﾟﾛﾊﾟﾃｨ", "cmdProperty");
    auto* printerBox = new QGridLayout;
    printerBox->addWidget(new QLabel(QStringLiteral("プリンタ名："), this), 0, 0);
    printerBox->addWidget(cboPrinter_, 0, 1);
    printerBox->addWidget(cmdProperty_, 0, 2);
    printerBox->addWidget(new QLabel(QStringLiteral("場所："), this), 1, 0);
    printerBox->addWidget(lblPrinterInfo_, 1, 1);
    printerBox->addWidget(cmdPreview_, 1, 2);

    auto* fraObject = new QGroupBox(QStringLiteral("印刷対象"), this);
    auto* objectLayout = new QVBoxLayout(fraObject);
    const char* objectCaptions[] = {"日曜日スケジュール", "曜日スケジュール"};
    for (int i = 0; i < 2; ++i) {
        optObject_[i] = new forms::OptionButton(QString::fromUtf8(objectCaptions[i]), fraObject);
        optObject_[i]->setObjectName(QStringLiteral("optObject%1").arg(i));
        optObject_[i]->installEventFilter(new MouseUpFilter(this, i));
        objectLayout->addWidget(optObject_[i]);
    }

    auto* fraMode = new QGroupBox(QStringLiteral("印刷範囲"), this);
    auto* modeLayout = new QGridLayout(fraMode);
    optMode_[0] = new forms::OptionButton(QStringLiteral("今年１年間のスケジュール"), fraMode);
    optMode_[1] = new forms::OptionButton(QStringLiteral("指定"), fraMode);
    const char* yearLabels[] = {"から", "まで"};
    for (int i = 0; i < 2; ++i) {
        optMode_[i]->setObjectName(QStringLiteral("optMode%1").arg(i));
        cboYear_[i] = new QComboBox(fraMode);
        cboYear_[i]->setObjectName(QStringLiteral("cboYear%1").arg(i));
        connect(cboYear_[i], QOverload<int>::of(&QComboBox::activated), this, [this, i] { cboYear_Click(i); });
    }
    modeLayout->addWidget(optMode_[0], 0, 0, 1, 5);
    modeLayout->addWidget(optMode_[1], 1, 0);
    modeLayout->addWidget(cboYear_[0], 1, 1);
    modeLayout->addWidget(new QLabel(QString::fromUtf8(yearLabels[0]), fraMode), 1, 2);
    modeLayout->addWidget(cboYear_[1], 1, 3);
    modeLayout->addWidget(new QLabel(QString::fromUtf8(yearLabels[1]), fraMode), 1, 4);

    auto* fraPaper = new QGroupBox(QStringLiteral("用紙"), this);
    auto* paperLayout = new QGridLayout(fraPaper);
    lblPaperSize_ = new QLabel(QStringLiteral("Ａ４（210×297mm）"), fraPaper);
    lblPaperSize_->setObjectName("lblPaperSize");
    lblOrientation_ = new QLabel(QStringLiteral("縦方向"), fraPaper);
    lblOrientation_->setObjectName("lblOrientation");
    paperLayout->addWidget(new QLabel(QStringLiteral("用紙サイズ："), fraPaper), 0, 0);
    paperLayout->addWidget(lblPaperSize_, 0, 1);
    paperLayout->addWidget(new QLabel(QStringLiteral("印刷方向："), fraPaper), 1, 0);
    paperLayout->addWidget(lblOrientation_, 1, 1);

    auto* fraMargin = new QGroupBox(QStringLiteral("余白"), this);
    auto* marginLayout = new QGridLayout(fraMargin);
    const char* marginLabels[] = {"左：", "上：", "右：", "下："};
    for (int i = 0; i < 4; ++i) {
        txtMargin_[i] = new forms::TextBox(fraMargin);
        txtMargin_[i]->setObjectName(QStringLiteral("txtMargin%1").arg(i));
        marginLayout->addWidget(new QLabel(QString::fromUtf8(marginLabels[i]), fraMargin), i / 2, (i % 2) * 3);
        marginLayout->addWidget(txtMargin_[i], i / 2, (i % 2) * 3 + 1);
        marginLayout->addWidget(new QLabel(QStringLiteral("mm"), fraMargin), i / 2, (i % 2) * 3 + 2);
        auto* box = txtMargin_[i];
        connect(box, &forms::TextBox::change, this, [this, box] { numberChanged(box, kMarginMin, kMarginMax); });
    }
    txtWidthLine_ = new forms::TextBox(fraMargin);
    txtWidthLine_->setObjectName("txtWidthLine");
    connect(txtWidthLine_, &forms::TextBox::change, this,
            [this] { numberChanged(txtWidthLine_, kLineWidthMin, kLineWidthMax); });
    marginLayout->addWidget(new QLabel(QStringLiteral("線の太さ："), fraMargin), 2, 0);
    marginLayout->addWidget(txtWidthLine_, 2, 1);
    chkMargin_ = new forms::CheckBox(fraMargin);
    chkMargin_->setObjectName("chkMargin");
    marginLayout->addWidget(chkMargin_, 2, 3);

    // Digits only; Enter passes in the margins.
    auto* keys = new forms::KeyPreview(this);
    keys->keyPress = [this](int& keyAscii) {
        QWidget* target = focusWidget();
        const bool margin = std::find(txtMargin_.begin(), txtMargin_.end(), target) != txtMargin_.end();
        if (margin && keyAscii == 13) return;
        if (margin || target == txtWidthLine_) keyAscii = gfniKeyNumeric(keyAscii);
    };

    cmdSave_ = button("保存", "cmdSave");
    cmdTest_[0] = button("ﾃｽﾄ印刷（縦）", "cmdTest0");
    cmdTest_[1] = button("ﾃｽﾄ印刷（横）", "cmdTest1");
    cmdPrint_ = button("印刷", "cmdPrint");
    cmdPrint_->setToolTip(QStringLiteral("印刷を開始します。"));
    cmdBack_ = button("中止", "cmdBack");
    cmdBack_->setToolTip(QStringLiteral("印刷を中止します。"));
    lblPrint_ = new QLabel(this);
    lblPrint_->setObjectName("lblPrint");
    // The page progress has its line from the start, so that showing it during a run
    // neither grows the dialog nor moves the buttons under the user's pointer.
    QSizePolicy progressPolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    progressPolicy.setRetainSizeWhenHidden(true);
    lblPrint_->setSizePolicy(progressPolicy);
    lblPrint_->setMinimumHeight(lblPrint_->fontMetrics().height());
    lblPrint_->setVisible(false);

    connect(cboPrinter_, QOverload<int>::of(&QComboBox::activated), this, [this] { cboPrinter_Click(); });
    connect(cmdPrint_, &forms::CommandButton::click, this, [this] { cmdPrint_Click(); });
    connect(cmdPreview_, &forms::CommandButton::click, this, [this] { cmdPreview_Click(); });
    connect(cmdBack_, &forms::CommandButton::click, this, [this] { cmdBack_Click(); });
    connect(cmdSave_, &forms::CommandButton::click, this, [this] { cmdSave_Click(); });
    connect(cmdProperty_, &forms::CommandButton::click, this, [this] { cmdProperty_Click(); });
    for (int i = 0; i < 2; ++i) connect(cmdTest_[i], &forms::CommandButton::click, this, [this, i] { cmdTest_Click(i); });

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdSave_);
    buttons->addWidget(cmdTest_[0]);
    buttons->addWidget(cmdTest_[1]);
    buttons->addStretch();
    buttons->addWidget(cmdPrint_);
    buttons->addWidget(cmdBack_);
    auto* root = new QVBoxLayout(this);
    root->setMenuBar(menuBar);
    root->addLayout(printerBox);
    root->addWidget(fraObject);
    root->addWidget(fraMode);
    auto* paperAndMargins = new QHBoxLayout;
    paperAndMargins->addWidget(fraPaper);
    paperAndMargins->addWidget(fraMargin);
    root->addLayout(paperAndMargins);
    root->addWidget(lblPrint_);
    root->addLayout(buttons);

    for (QWidget* w : std::initializer_list<QWidget*>{cmdPreview_, cmdProperty_, chkMargin_, cmdTest_[0], cmdTest_[1], cmdSave_})
        w->setVisible(false);
}

void frmPrinter::msbInitialize(i16 iPrintMode, i16 iNo) {
    mode_ = iPrintMode;
    no_ = iNo;
    setWindowTitle(qs("印刷 - " + gfnvPrintTitle(iPrintMode)));
}

void frmPrinter::Form_Load() {
    auto& memory = print::dialogMemory();
    setEnabled(false);

    const std::string system = printer::currentPrinter().deviceName();
    cboPrinter_->clear();
    const auto list = printer::printers();
    for (std::size_t i = 0; i < list.size(); ++i) {
        cboPrinter_->addItem(qs(list[i].deviceName));
        if (list[i].deviceName == system) memory.defaultPrinter = static_cast<i16>(i);
    }
    if (memory.chosenPrinter > 0 && cboPrinter_->count() >= memory.chosenPrinter)
        cboPrinter_->setCurrentIndex(memory.chosenPrinter - 1);
    else
        cboPrinter_->setCurrentIndex(memory.defaultPrinter);
    cboPrinter_Click();

    if (gintLogMode != vbFalse)
        for (QWidget* w :
             std::initializer_list<QWidget*>{cmdProperty_, cmdPreview_, chkMargin_, cmdTest_[0], cmdTest_[1], cmdSave_})
            w->setVisible(true);

    psbReadPrintOption();

    const int year = runtime::today().year;
    for (int i = 0; i < 2; ++i) {
        cboYear_[i]->clear();
        for (int y = year; y < year + 10; ++y) cboYear_[i]->addItem(qs(text::toWide(std::to_string(y)) + "年"));
        cboYear_[i]->setCurrentIndex(0);
        cboYear_Click(i);
    }

    optObject_[0]->setText(QStringLiteral("日曜日スケジュールのみ"));
    optObject_[0]->setToolTip(QStringLiteral("日曜日スケジュールの一覧表を印刷します。"));
    optObject_[1]->setText(QStringLiteral("曜日スケジュール"));
    optObject_[1]->setToolTip(QStringLiteral("登録されているすべての曜日スケジュールの一覧表を印刷します。"));
    for (int i = 0; i < 2; ++i) {
        optObject_[i]->setEnabled(false);
        optMode_[i]->setEnabled(false);
        cboYear_[i]->setEnabled(false);
    }
    lblOrientation_->setText(QStringLiteral("縦方向"));

    switch (mode_) {
        case 0: case 2: case 6: case 8: case 10: case 11: break;
        case 3:
            for (int i = 0; i < 2; ++i) {
                optMode_[i]->setEnabled(true);
                cboYear_[i]->setEnabled(true);
            }
            optMode_[0]->setValue(true);
            break;
        case 4:
            lblOrientation_->setText(QStringLiteral("横方向"));
            optObject_[0]->setText(QStringLiteral("カレンダー形式"));
            optObject_[0]->setToolTip(QStringLiteral("年間スケジュールをカレンダー形式で印刷します。"));
            optObject_[1]->setText(QStringLiteral("スケジュール形式"));
            optObject_[1]->setToolTip(QStringLiteral("年間スケジュールをスケジュール形式で印刷します。"));
            for (int i = 0; i < 2; ++i) {
                optObject_[i]->setEnabled(true);
                optMode_[i]->setEnabled(true);
                cboYear_[i]->setEnabled(true);
            }
            optMode_[0]->setValue(true);
            optObject_[0]->setValue(true);
            break;
        case 7: case 9: {
            const std::string name = gfnsGetPatternName(no_);
            const std::string title = gfnvPrintTitle(mode_);
            for (int i = 0; i < 2; ++i) optObject_[i]->setEnabled(true);
            optObject_[0]->setText(qs(name + "のみ"));
            optObject_[0]->setToolTip(qs(name + "の一覧表を印刷します。"));
            optObject_[1]->setText(qs("全ての" + title));
            optObject_[1]->setToolTip(qs("登録されている全ての" + title + "の一覧表を印刷します。"));
            optObject_[0]->setValue(true);
            optObject_[1]->setValue(false);
            break;
        }
        default: gsbErrorMsg("印刷モードエラー（frmSetPrinter_Load）", true);
    }

    setEnabled(true);
    gsbSetFocus(cmdPrint_);
}

void frmPrinter::cboPrinter_Click() {
    auto& memory = print::dialogMemory();
    const int index = cboPrinter_->currentIndex();
    if (index < 0) return;
    memory.chosenPrinter = static_cast<i16>(index + 1);
    const auto list = printer::printers();
    if (index < static_cast<int>(list.size())) lblPrinterInfo_->setText(qs(list[static_cast<std::size_t>(index)].port));
}

void frmPrinter::cboYear_Click(int index) {
    optMode_[1]->setValue(true);
    if (cboYear_[1]->currentIndex() < cboYear_[0]->currentIndex()) {
        if (index == 1)
            cboYear_[0]->setCurrentIndex(cboYear_[1]->currentIndex());
        else
            cboYear_[1]->setCurrentIndex(cboYear_[0]->currentIndex());
    }
}

void frmPrinter::optObject_MouseUp(int index, int button, int shift) {
    if (index != 0 || button != forms::vbRightButton || shift != (forms::vbShiftMask | forms::vbCtrlMask)) return;
    if (mode_ == 4) {
        mode_ = 104;
        optObject_[0]->setText(QStringLiteral("カレンダー形式（縮小）"));
    } else if (mode_ == 104) {
        mode_ = 4;
        optObject_[0]->setText(QStringLiteral("カレンダー形式"));
    }
}

bool frmPrinter::checkEntries() {
    if (cboPrinter_->currentText().isEmpty()) {
        forms::MsgBox("プリンターを選択してください。", forms::vbCritical);
        return false;
    }
    if (optMode_[1]->value() && yearOf(cboYear_[0]) > yearOf(cboYear_[1])) {
        gfniMsgBox(112);
        return false;
    }
    return true;
}

void frmPrinter::cmdPrint_Click() {
    if (checkEntries()) msbPrint(0, false);
}

void frmPrinter::cmdPreview_Click() {
    if (checkEntries()) msbPrint(1, true);
}

void frmPrinter::cmdTest_Click(int index) {
    if (cboPrinter_->currentText().isEmpty()) {
        forms::MsgBox("プリンターを選択してください。", forms::vbCritical);
        return;
    }
    const QString orientation = lblOrientation_->text();
    const i16 mode = mode_;
    mode_ = 100;
    lblOrientation_->setText(index == 0 ? QStringLiteral("縦方向") : QStringLiteral("横方向"));
    msbPrint(0, false);
    mode_ = mode;
    lblOrientation_->setText(orientation);
}

void frmPrinter::cmdBack_Click() {
    if (cmdPrint_->isEnabled()) {
        setEnabled(false);
        hide();
        forms::doEvents();
        unload();
    } else {
        gsbCancelPrint();
    }
}

void frmPrinter::unload() {
    if (unloaded_) return;
    psbGetMargin();
    unloaded_ = true;
    closePreview();
    done(QDialog::Rejected);
}

void frmPrinter::closeEvent(QCloseEvent* e) {
    if (!cmdPrint_->isEnabled()) {  // no leaving in the middle of a run
        e->ignore();
        return;
    }
    psbGetMargin();
    unloaded_ = true;
    QDialog::closeEvent(e);
}

void frmPrinter::numberChanged(forms::TextBox* box, i16 min, i16 max) {
    const std::string text = str(box->text());
    const std::string limited = gfnsLimitNum(text, min, max);
    if (limited != text) {
        forms::beep();
        box->setText(qs(limited));
        gsbSelectAll(box);
    }
}

void frmPrinter::psbGetMargin() {
    auto& memory = print::dialogMemory();
    auto valueOf = [](const forms::TextBox* box) { return runtime::cint(runtime::val(str(box->text()))); };
    memory.margins[0] = valueOf(txtMargin_[0]);
    memory.margins[2] = valueOf(txtMargin_[1]);
    memory.margins[1] = valueOf(txtMargin_[2]);
    memory.margins[3] = valueOf(txtMargin_[3]);
    memory.lineWidth = valueOf(txtWidthLine_);
}

void frmPrinter::psbSetPrinting(bool fEnable) {
    if (fEnable) {
        lblPrint_->setVisible(false);
    } else {
        forms::setScreenPointer(forms::vbHourglass);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{cmdPrint_, cmdPreview_, cmdProperty_, cboPrinter_, cmdSave_,
                                                      cmdTest_[0], cmdTest_[1], chkMargin_, txtMargin_[0], txtMargin_[1],
                                                      txtMargin_[2], txtMargin_[3], txtWidthLine_})
        w->setEnabled(fEnable);
    mnuHelp_->setEnabled(fEnable);
    if (fEnable) forms::setScreenPointer(forms::vbDefault);
    forms::doEvents();
}

frmPrintPreview& frmPrinter::previewWindow() {
    if (!preview_) preview_ = std::make_unique<frmPrintPreview>([this](int page) { msbPrint(static_cast<i16>(page), true); }, this);
    return *preview_;
}

void frmPrinter::closePreview() {
    if (!preview_) return;
    if (preview_->isVisible()) preview_->done(QDialog::Rejected);
    preview_->deleteLater();
    (void)preview_.release();
    print::sinks().previewCanvas = nullptr;
    print::sinks().previewPages = nullptr;
}

bool frmPrinter::runReport() {
    const bool first = optObject_[0]->value();
    const i16 thisYear = static_cast<i16>(runtime::today().year);
    const i16 from = optMode_[0]->value() ? thisYear : runtime::cint(yearOf(cboYear_[0]));
    const i16 to = optMode_[0]->value() ? thisYear : runtime::cint(yearOf(cboYear_[1]));
    switch (mode_) {
        case 0: return gfnfPrintMessage(first ? no_ : i16{0});
        case 2: return gfnfPrintSyuku();
        case 3: return gfnfPrintYear(from, to);
        case 4: return gfnfPrintCalendar(from, to, first ? i16{0} : i16{2});
        case 6: return gfnfPrintSetting(no_);
        case 7: return first ? gfnfPrintPattern(no_, no_) : gfnfPrintPattern(1, 7);
        case 8: return gfnfPrintPattern(no_, no_);
        case 9: return first ? gfnfPrintPattern(no_, no_) : gfnfPrintPattern(9, 20);
        case 10: return false;
        case 11: return gfnfPrintCard(no_);
        case 100: return gfnfPrintTest();
        case 104: return gfnfPrintCalendar(from, to, first ? i16{1} : i16{2});
        default: gsbErrorMsg("印刷モードエラー（msbPrint）", true); return false;
    }
}
