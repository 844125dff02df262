// The start screen: menu buttons from tblWizard, the clock, and the hidden switches.
#include "shell/start_screen.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>

#include "core/database.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/help.h"
#include "core/input_filters.h"
#include "core/log.h"
#include "dao/database.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/datetime.h"
#include "runtime/format.h"
#include "shell/main_window.h"

namespace {

int px(int twips) { return twips / 15; }

constexpr int kPictureWidth = 560;  // pixels of either background picture
constexpr int kPictureHeight = 470;

QRect twipsRect(int left, int top, int width, int height) { return {px(left), px(top), px(width), px(height)}; }

}  // namespace

frmWizard::frmWizard(frmMain* main, QWidget* parent) : QWidget(parent), main_(main) {
    setObjectName("frmWizard");
    setAutoFillBackground(true);
    const std::array<QRect, 6> places = {twipsRect(600, 2760, 3375, 855), twipsRect(600, 3720, 3375, 855),
                                         twipsRect(600, 4680, 3375, 855), twipsRect(4560, 2760, 3375, 855),
                                         twipsRect(4560, 3720, 3375, 855), twipsRect(6360, 4680, 1575, 855)};
    for (int i = 0; i < 6; ++i) {
        auto* b = new QPushButton(this);
        b->setObjectName(QString("cmdItem%1").arg(i));
        b->setGeometry(places[static_cast<std::size_t>(i)]);
        connect(b, &QPushButton::clicked, this, [this, i] { cmdItem_Click(i); });
        cmdItem_[static_cast<std::size_t>(i)] = b;
    }
    cmdHelp_ = new QPushButton("ヘルプ", this);
    cmdHelp_->setGeometry(twipsRect(4560, 4680, 1575, 855));
    connect(cmdHelp_, &QPushButton::clicked, this, [this] { cmdHelp_Click(); });
    lblToday_ = new QLabel(this);
    lblToday_->setGeometry(twipsRect(4800, 1200, 2900, 300));
    lblNow_ = new QLabel(this);
    lblNow_->setGeometry(twipsRect(4800, 1560, 2900, 300));
    for (QLabel* l : {lblToday_, lblNow_}) {
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, Qt::white);
        l->setPalette(pal);
    }
    lblVersion_ = new QLabel(this);
    lblVersion_->setGeometry(twipsRect(6600, 6480, 1700, 255));
    lblService_ = new QLabel(this);
    lblService_->setGeometry(twipsRect(240, 6480, 900, 255));
    lblService_->hide();
    lblDebug_ = new QLabel(this);
    lblDebug_->setGeometry(twipsRect(1200, 6480, 900, 255));
    lblDebug_->hide();
    lblHidden_ = new QLabel(this);
    // The hidden corner lies wholly inside the picture (470 pixels, 7050 twips, high).
    lblHidden_->setGeometry(twipsRect(0, 6795, 135, 255));
    for (QLabel* l : {lblHidden_, lblService_, lblDebug_}) l->installEventFilter(this);
    tmrNow_ = new forms::Timer(this);
    tmrNow_->setEnabled(false);
    connect(tmrNow_, &forms::Timer::timer, this, [this] { tmrNow_Timer(); });
    setFocusPolicy(Qt::StrongFocus);
}

QString frmWizard::cmdItemTag(int i) const { return cmdItem(i)->property("tag").toString(); }

std::string frmWizard::todayText() {
    static constexpr const char* kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
    const runtime::DateTime today = runtime::now();
    return runtime::format(today, "yyyy/m/d") + "(" + kWeekdays[runtime::weekday(today) - 1] + ")";
}

void frmWizard::tmrNow_Timer() {
    lblToday_->setText(QString::fromStdString(todayText()));
    lblNow_->setText(QString::fromStdString(runtime::format(runtime::now(), "h:mm:ss")));
}

void frmWizard::centre() {
    const QWidget* area = parentWidget();
    move(area->width() / 2 - width() / 2, area->height() / 2 - height() / 2);
}

void frmWizard::Form_Load() {
    main_->setEnabled(false);
    setEnabled(false);
    centre();
    tmrNow_Timer();
    lblVersion_->setText(QString::fromStdString("Ver. " + runtime::format(kAppMajor, "#0") + "." +
                                                runtime::format(kAppMinor, "00")));
    lblHidden_->setFrameShape(QFrame::NoFrame);
    tmrNow_->setInterval(200);
    tmrNow_->setEnabled(true);
    if (gintLogMode) {
        lblDebug_->show();
        psbShowMode();
        lblService_->show();
    }
    psbShowMenuItem();
    centre();
    setEnabled(true);
    show();
    forms::doEvents();
    gsbSetFocus(cmdItem_[0]);
    main_->setEnabled(true);
}

void frmWizard::psbShowMenuItem() {
    dao::Database db;
    gsbOpenDatabase(db, gstrDataPath + std::string(kMasterDat));
    try {
        dao::Recordset rs = db.openRecordset(
            "SELECT fldMenuNo, fldCaption FROM tblWizard WHERE fldFormNo = 0 AND fldMenuNo > 0 ORDER BY fldMenuNo ASC");
        for (; !rs.eof(); rs.moveNext()) {
            const int i = rs["fldMenuNo"].toInt() - 1;
            if (i >= static_cast<int>(cmdItem_.size())) continue;
            const QString caption = QString::fromStdString(rs["fldCaption"].toText());
            // Without the designed pictures the caption is the button's face.
            cmdItem_[static_cast<std::size_t>(i)]->setProperty("tag", caption);
            cmdItem_[static_cast<std::size_t>(i)]->setText(caption);
        }
        rs.close();
    } catch (...) {
        db.close();
        throw;
    }
    db.close();
    resize(kPictureWidth, kPictureHeight);
}

void frmWizard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QColor top = gfBrandMode ? QColor(0x20, 0x60, 0x30) : QColor(0x1E, 0x3C, 0x78);
    const QColor bottom = gfBrandMode ? QColor(0xC8, 0xE8, 0xC8) : QColor(0xD0, 0xDC, 0xF0);
    QLinearGradient fill(0, 0, 0, height());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    p.fillRect(rect(), fill);
    QFont title = font();
    title.setPointSize(20);
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRect(px(600), px(600), width() - px(1200), px(700)), Qt::AlignLeft | Qt::AlignVCenter,
               QString::fromUtf8("KV-M58S データ入力ソフト"));
    psbShowMode();
}

void frmWizard::msbShowForm() {
    centre();
    gsbCloseDatabase(gdbWork);
    for (std::string_view name : {kRegistDat, kTempDbDat, kTempDat, std::string_view("CardData.crd")})
        gsbDeleteFile(gstrDataPath + std::string(name));
    main_->msbSetFileName("");
    gfChanged = vbFalse;
    tmrNow_->setEnabled(true);
    show();
    raise();
    forms::setScreenPointer(forms::vbDefault);
    forms::doEvents();
}

bool frmWizard::Form_QueryUnload(bool byProgram) {
    if (byProgram || isVisible()) return true;
    forms::MsgBox("メニュー画面に戻ってから終了してください。", forms::vbCritical);
    return false;
}

void frmWizard::cmdItem_Click(int index) {
    tmrNow_->setEnabled(false);
    hide();
    forms::doEvents();
    main_->msbShowWizard(index + 1);
}

void frmWizard::cmdHelp_Click() { gsbHelpContext(kHelpStartScreen); }

void frmWizard::psbShowMode() {
    lblService_->setText(gfServiceMode ? "Service" : "Normal");
    lblDebug_->setText(gintLogMode ? "Debug" : "");
}

void frmWizard::Form_KeyPress(int keyAscii) {
    if (keyAscii == 8 || gintLogMode) {
        keys_.clear();
        return;
    }
    keys_ += static_cast<char>(keyAscii);
    if (keys_ == kDebugAccessCode) {
        if (forms::MsgBox("デバッグモードにしますか？\r\n※サービスマン以外は操作しないでください。",
                          forms::vbYesNo | forms::vbDefaultButton2) == forms::vbYes) {
            gintLogMode = vbTrue;
            psbShowMode();
            lblDebug_->show();
            lblService_->show();
            keys_.clear();
            gsbWriteLog("デバッグモード開始");
        }
    }
    if (keys_.size() > std::string_view(kDebugAccessCode).size()) keys_.clear();
}

void frmWizard::lblHidden_DblClick() {
    if (gfServiceMode) return;
    if (forms::MsgBox("サービスモードにしますか？\r\n※サービスマン以外は操作しないでください。\r\n"
                      "　データが壊れることがあります。",
                      forms::vbYesNo | forms::vbDefaultButton2 | forms::vbExclamation) != forms::vbYes)
        return;
    gfServiceMode = vbTrue;
    psbShowMode();
    lblService_->show();
    gsbWriteLog("サービスモード開始");
}

void frmWizard::lblService_DblClick() {
    gfServiceMode = vbBool(!gfServiceMode);
    psbShowMode();
}

void frmWizard::lblDebug_DblClick() {
    gintLogMode = vbBool(!gintLogMode);
    psbShowMode();
}

bool frmWizard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == lblHidden_) lblHidden_DblClick();
        if (watched == lblService_) lblService_DblClick();
        if (watched == lblDebug_) lblDebug_DblClick();
    }
    return QWidget::eventFilter(watched, event);
}

// Every key typed on the screen, or on a button that lets it pass (letters, digits,
// Backspace), reaches the window once.
void frmWizard::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace) {
        Form_KeyPress(8);
        return;
    }
    const QByteArray text = event->text().toLatin1();
    if (text.size() == 1 && static_cast<unsigned char>(text[0]) >= 32) {
        Form_KeyPress(text[0]);
        return;
    }
    QWidget::keyPressEvent(event);
}
