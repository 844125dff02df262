// The device settings page: the grid built from the template, the entry frames and
// their value rules, and storing the grid, defaults and imports in the document.
#include "patterns/frm_setting.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <QAction>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTableWidget>

#include "core/database.h"
#include "core/errors.h"
#include "core/file_header.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/help.h"
#include "core/input_filters.h"
#include "core/list_grids.h"
#include "core/messages.h"
#include "core/strings.h"
#include "dao/database.h"
#include "forms/client_area.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "patterns/links.h"
#include "runtime/error.h"
#include "runtime/numeric.h"
#include "widget_props.h"
#include "wizard/host.h"

using namespace patterns::detail;

namespace {

constexpr forms::Colour kGridBack = 0xE2E2E2;
constexpr int kRowTwips = 255;
constexpr int kHeadTwips = 270;
constexpr int kTenKeyClear = 10;
const char* const kBaseTitle = "機能設定";
const char* const kSettingColumns = "fldType, fldOrder, fldNo, fldItem, fldValue, fldAddress";

int twipsToPx(int twips) { return twips / forms::twipsPerPixelY(); }

forms::Colour kindColour(int type) {
    switch (type) {
    case 1: return 0xC0FFFF;
    case 2: return 0xC0E0FF;
    default: return 0xFFFFFF;
    }
}

}  // namespace

frmSetting::frmSetting(QWidget* parent) : wizard::Page(parent) {
    setObjectName("frmSetting");
    buildControls();
    Form_Load();
}

frmSetting::~frmSetting() { unloadPage(); }

void frmSetting::unloadPage() {
    if (unloaded_) return;
    unloaded_ = true;
    setEnabled(false);
    forms::doEvents();
    msbSaveData();
    gsbCloseDatabase(gdbWork);
}

void frmSetting::buildControls() {
    resize(760, 576);
    menuBar_ = new QMenuBar(this);
    client_ = forms::makeClientArea(this, menuBar_);
    mnuFile_ = menuBar_->addMenu(qs("ﾌｧｲﾙ(&F)"));
    connect(mnuFile_->addAction(qs("上書き保存(&S)")), &QAction::triggered, this, [this] { mnuFileSave_Click(false); });
    connect(mnuFile_->addAction(qs("名前を付けて保存(&A)")), &QAction::triggered, this, [this] { mnuFileSave_Click(true); });
    mnuFile_->addSeparator();
    connect(mnuFile_->addAction(qs("インポート")), &QAction::triggered, this, [this] { mnuFileRead_Click(); });
    mnuPrint_ = menuBar_->addMenu(qs("印刷(&P)"));
    connect(mnuPrint_->addAction(qs("印刷(&P)")), &QAction::triggered, this, [this] { mnuPrintPrint_Click(); });
    mnuHelp_ = menuBar_->addMenu(qs("ﾍﾙﾌﾟ(&H)"));
    connect(mnuHelp_->addAction(qs("目次(&C)")), &QAction::triggered, this, [] { gsbHelpContents(); });
    connect(mnuHelp_->addAction(qs("ｷｰﾜｰﾄﾞ(&I)")), &QAction::triggered, this, [] { gsbHelpIndex(); });
    mnuHelpWindow_ = mnuHelp_->addAction(qs("この画面に関するﾍﾙﾌﾟ(&W)"));

    sstSetting_ = new forms::Grid(client_);
    sstSetting_->setGeometry(10, 10, 430, 400);
    sstSetting_->setMaxCols(7);
    const char* heads[] = {"番号", "項目", "登録内容", "登録値", "登録番号", "タイプ", "ヒント"};
    for (int c = 1; c <= 7; ++c) sstSetting_->setText(c, 0, heads[c - 1]);
    sstSetting_->setColHidden(0, true);
    sstSetting_->setColWidth(1, 4);
    sstSetting_->setColWidth(2, 18);
    sstSetting_->setColWidth(3, 17);  // an eight-digit code in full-width digits
    sstSetting_->setColWidth(4, 9);
    sstSetting_->setOperationMode(forms::Grid::OperationMode::SingleSelect);
    sstSetting_->setTextTip("登録する番号を選択してください。");
    connect(sstSetting_->table(), &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (!settingUp_ && row >= 0) setSettingNo(std::to_string(row + 1));
    });

    fraHint_ = new QGroupBox(qs("説明"), client_);
    fraHint_->setGeometry(455, 10, 290, 110);
    lblHint_ = new QLabel(fraHint_);
    lblHint_->setWordWrap(true);
    lblHint_->setGeometry(10, 22, 270, 80);
    for (int i = 0; i < 4; ++i) {
        fraSet_[static_cast<std::size_t>(i)] = new QGroupBox(client_);
        fraSet_[static_cast<std::size_t>(i)]->resize(290, 250);
    }
    for (int k = 0; k <= kTenKeyClear; ++k) {
        const char* caps[] = {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "クリア"};
        auto* b = new forms::CommandButton(qs(caps[k]), fraSet_[0]);
        const int slot = k == 0 ? 9 : k == kTenKeyClear ? 10 : k - 1;
        b->setGeometry(15 + (slot % 3) * 60, 60 + (slot / 3) * 40, k == kTenKeyClear ? 115 : 55, 36);
        b->installEventFilter(this);
        cmdTenKey_[static_cast<std::size_t>(k)] = b;
        connect(b, &forms::CommandButton::mouseDown, this, [this] { cmdTenKey_MouseDown(); });
        connect(b, &forms::CommandButton::click, this, [this] { cmdTenKey_Click(); });
        connect(b, &forms::CommandButton::mouseUp, this, [this, k] { cmdTenKey_MouseUp(k); });
    }
    txtTenKey_ = new forms::TextBox(fraSet_[0]);
    txtTenKey_->setGeometry(15, 25, 175, 24);
    txtTenKey_->hide();
    connect(txtTenKey_, &forms::TextBox::change, this, [this] { txtTenKey_Change(); });
    for (int i = 0; i < 4; ++i) {
        auto* o = new forms::OptionButton(fraSet_[1]);
        o->setGeometry(20, 30 + 40 * i, 240, 30);
        optMode_[static_cast<std::size_t>(i)] = o;
        connect(o, &forms::OptionButton::click, this, [this, i] { optMode_Click(i); });
    }
    for (int i = 0; i < 10; ++i) {
        auto* o = new forms::OptionButton(QString::number(i), fraSet_[2]);
        o->setGeometry(20 + (i % 5) * 52, 40 + (i / 5) * 50, 48, 30);
        o->installEventFilter(this);
        optTimes_[static_cast<std::size_t>(i)] = o;
        connect(o, &forms::OptionButton::click, this, [this, i] { optTimes_Click(i); });
    }
    sstMessage_ = new forms::Grid(fraSet_[3]);
    sstMessage_->setGeometry(10, 22, 270, 220);
    sstMessage_->setMaxCols(3);
    sstMessage_->setMaxRows(9);
    sstMessage_->setText(1, 0, "番号");
    sstMessage_->setText(2, 0, "メッセージ名");
    sstMessage_->setText(3, 0, "応答");
    sstMessage_->setColHidden(0, true);
    sstMessage_->setColWidth(1, 4);
    sstMessage_->setColWidth(2, 21);  // a name of 20 bytes
    sstMessage_->setColWidth(3, 5);
    sstMessage_->fitToRows(9);
    sstMessage_->fitToColumns();
    sstMessage_->resize(sstMessage_->minimumWidth(), sstMessage_->height());
    sstMessage_->setOperationMode(forms::Grid::OperationMode::SingleSelect);
    connect(sstMessage_->table(), &QTableWidget::currentCellChanged, this, [this](int row, int, int, int) {
        if (!settingUp_ && row >= 0) sstMessage_Select(row + 1);
    });

    chkOption_ = new forms::CheckBox(qs("オプション"), client_);
    chkOption_->setGeometry(10, 420, 120, 24);
    connect(chkOption_, &forms::CheckBox::click, this, [this] { chkOption_Click(); });
    cmdReset_ = new forms::CommandButton(qs("初期値"), client_);
    cmdReset_->setGeometry(340, 420, 100, 30);
    setTip(cmdReset_, "登録値を全て初期値にします。");
    connect(cmdReset_, &forms::CommandButton::click, this, [this] { cmdReset_Click(); });
    cmdBack_ = new forms::CommandButton(qs("戻る"), client_);
    cmdBack_->setGeometry(535, 496, 100, 32);
    setTip(cmdBack_, "前の登録に戻ります。");
    connect(cmdBack_, &forms::CommandButton::click, this, [] {
        if (wizard::Host* h = wizard::host()) h->msbShowBack();
    });
    cmdNext_ = new forms::CommandButton(qs("次へ"), client_);
    cmdNext_->setGeometry(645, 496, 100, 32);
    setTip(cmdNext_, "次の登録に進みます。");
    connect(cmdNext_, &forms::CommandButton::click, this, [] {
        if (wizard::Host* h = wizard::host()) h->msbShowNext();
    });
    lblSettingNo_ = new QLabel(qs("0"), client_);
    lblSettingNo_->setGeometry(140, 420, 40, 24);
    lblSettingNo_->hide();

    // The hint and the entry frames below it share one width, what the message list needs;
    // the page's buttons end at their right edge.
    const int frameWidth = std::max(fraHint_->width(), sstMessage_->width() + 2 * sstMessage_->x());
    fraHint_->resize(frameWidth, fraHint_->height());
    lblHint_->resize(frameWidth - 2 * lblHint_->x(), lblHint_->height());
    for (auto* f : fraSet_) f->resize(frameWidth, std::max(f->height(), sstMessage_->geometry().bottom() + 10));
    cmdNext_->move(fraHint_->geometry().right() + 1 - cmdNext_->width(), cmdNext_->y());
    cmdBack_->move(cmdNext_->x() - 10 - cmdBack_->width(), cmdBack_->y());
}

void frmSetting::Form_Load() {
    forms::setScreenPointer(forms::vbHourglass);
    hide();
    setEnabled(false);
    move(0, 0);
    resize(fraHint_->x() + fraHint_->width() + twipsToPx(300), height());
    // A smaller main window scrolls rather than cutting the page's controls off.
    client_->setMinimumSize(width(), cmdNext_->geometry().bottom() + 1 + twipsToPx(120));
    gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat));
    for (auto* f : fraSet_) {
        f->move(fraHint_->x(), fraHint_->y() + fraHint_->height() + twipsToPx(105));
        f->setTitle(qs("登録"));
        f->hide();
    }
    mnuHelpWindow_->setVisible(false);
    optionsShown_ = true;
    sbIniSetting();
    psbReadSettingData();
    settingUp_ = true;
    gsbShowMessageList(*sstMessage_, 0);
    settingUp_ = false;
    pressed_ = false;
    baseTitle_ = kBaseTitle;
    setCaption(baseTitle_);
    show();
    keys_ = new forms::KeyPreview(this);
    keys_->keyPress = [this](int& k) { Form_KeyPress(k); };
    forms::doEvents();
    if (gintLogMode) {
        txtTenKey_->show();
        lblSettingNo_->show();
    }
    setEnabled(true);
    showNormal();
    setSettingNo("1");
    forms::setScreenPointer(forms::vbDefault);
}

std::string frmSetting::caption() const { return windowTitle().toStdString(); }
void frmSetting::setCaption(const std::string& text) { setWindowTitle(qs(text)); }

int frmSetting::visibleFrame() const {
    for (int i = 0; i < 4; ++i)
        if (shown(fraSet(i))) return i;
    return -1;
}

// ---- Building and filling the grid ----

void frmSetting::sbIniSetting() {
    dao::Database master = dao::Database::open(gstrDataPath + std::string(kMasterDat));
    auto rs = master.openRecordset("SELECT * FROM tblSetting ORDER BY fldOrder ASC");
    const int n = static_cast<int>(rs.recordCount());
    settingUp_ = true;
    sstSetting_->setMaxRows(n);
    sstSetting_->setRedraw(false);
    sstSetting_->setBlockBackColor(forms::Grid::kAll, forms::Grid::kAll, forms::Grid::kAll, forms::Grid::kAll, kGridBack);
    sstSetting_->clearText(1, 1, forms::Grid::kAll, forms::Grid::kAll);
    for (int c = 5; c <= 7; ++c) sstSetting_->setColHidden(c, gintLogMode == 0);
    int previousType = 0;
    int options = 0;
    nonOptionRows_ = 0;
    for (int i = 1; !rs.eof(); rs.moveNext(), ++i) {
        const int type = rs["fldType"].toInt();
        if (type < 1 || type > 3) {
            settingUp_ = false;
            gsbErrorMsg("設定の種類が不正 " + std::to_string(type) + " （sbIniSetting）", true);
            return;
        }
        sstSetting_->setText(1, i, rs["fldOrder"].toText());
        sstSetting_->setText(2, i, rs["fldItem"].toText());
        sstSetting_->setText(4, i, rs["fldValue"].toText());
        sstSetting_->setText(5, i, rs["fldNo"].toText());
        sstSetting_->setText(6, i, std::to_string(type));
        sstSetting_->setText(7, i, rs["fldHint"].toText());
        sstSetting_->setBackColor(1, i, kindColour(type));
        sstSetting_->setRowTopBorder(i, type != previousType);
        sstSetting_->setRowHeight(i, kRowTwips);
        previousType = type;
        sstSetting_->setRowHidden(i, type == 3);
        (type == 3 ? options : nonOptionRows_) += 1;
    }
    const int visible = optionsShown_ ? n : n - options;
    sstSetting_->setFixedHeight(twipsToPx(visible * kRowTwips + kHeadTwips));
    sstSetting_->setRedraw(true);
    settingUp_ = false;
}

void frmSetting::psbReadSettingData() {
    auto rs = gdbWork.openRecordset("SELECT * FROM tblSetting ORDER BY fldOrder ASC;");
    sstSetting_->setRedraw(false);
    for (int i = 1; i <= sstSetting_->maxRows(); ++i) {
        const int k = static_cast<int>(runtime::val(sstSetting_->text(5, i)));
        std::string value;
        rs.findFirst("fldNo = " + std::to_string(k));
        if (!rs.noMatch()) {
            value = rs["fldValue"].toText();
        } else {
            replaceSettingsFrom(gstrDataPath + std::string(kMasterDat), "WHERE fldNo = " + std::to_string(k));
            value = sstSetting_->text(4, i);
        }
        sstSetting_->setText(3, i, shownWords(k, value));
        sstSetting_->setText(4, i, value);
    }
    sstSetting_->setRedraw(true);
}

// Copies template or imported rows into the document's tblSetting.
void frmSetting::replaceSettingsFrom(const std::string& file, const std::string& where) {
    auto source = gdbWork.attach(file, "src");
    gdbWork.execute("INSERT INTO tblSetting SELECT " + std::string(kSettingColumns) + " FROM src.tblSetting " + where);
}

void frmSetting::psbShowSettingValue(const SettingRecord& record) {
    if (!baseTitle_.empty()) setCaption(baseTitle_ + ".");
    const int row = static_cast<int>(runtime::val(lblSettingNo_->text().toStdString()));
    if (row < 1 || row > sstSetting_->maxRows()) return;
    sstSetting_->setText(3, row, shownWords(record.iNo, record.sValue));
    sstSetting_->setText(4, row, record.sValue);
}

void frmSetting::psbSetFormEnabled(bool fEnable) {
    if (!fEnable) forms::setScreenPointer(forms::vbHourglass);
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{cmdNext_, cmdBack_, chkOption_, cmdReset_}) w->setEnabled(fEnable);
    for (QMenu* m : {mnuHelp_, mnuPrint_, mnuFile_}) m->menuAction()->setEnabled(fEnable);
    for (auto* f : fraSet_) f->setEnabled(fEnable);
    sstSetting_->setEnabled(fEnable);
    if (fEnable) forms::setScreenPointer(forms::vbDefault);
    setEnabled(fEnable);
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(fEnable);
    forms::doEvents();
}

// ---- Rows and options ----

void frmSetting::setSettingNo(const std::string& caption) {
    if (lblSettingNo_->text().toStdString() == caption) return;
    lblSettingNo_->setText(qs(caption));
    lblSettingNo_Change();
}

void frmSetting::Form_KeyPress(int& keyAscii) {
    if (keyAscii == 13) {
        keyAscii = 0;
        stepToNext();
    } else if (keyAscii == 32) {
        keyAscii = 0;
    }
}

void frmSetting::stepToNext() {
    const int r = static_cast<int>(runtime::val(lblSettingNo_->text().toStdString()));
    if (r >= sstSetting_->maxRows()) return;
    const int next = sstSetting_->activeRow() + 1;
    if (next <= sstSetting_->maxRows() && !sstSetting_->rowHidden(next)) setSettingNo(std::to_string(r + 1));
}

void frmSetting::chkOption_Click() {
    const int n = sstSetting_->maxRows();
    if (chkOption_->value() == forms::vbChecked) {
        gfniMsgBox(303);
        forms::GridRefill refill(*sstSetting_);
        for (int r = nonOptionRows_ + 1; r <= n; ++r) {
            sstSetting_->setRowHidden(r, false);
            sstSetting_->setRowHeight(r, sstSetting_->rowHeight(1));
        }
        sstSetting_->fitToRows(n);
        optionsShown_ = true;
    } else {
        {
            forms::GridRefill refill(*sstSetting_);
            for (int r = nonOptionRows_ + 1; r <= n; ++r) sstSetting_->setRowHidden(r, true);
            sstSetting_->fitToRows(nonOptionRows_);
        }
        if (runtime::val(lblSettingNo_->text().toStdString()) > nonOptionRows_) setSettingNo("1");
        optionsShown_ = false;
    }
}

// ---- Saving ----

void frmSetting::msbSaveData() {
    if (caption() != baseTitle_ + ".") return;
    psbSetAllSettingData();
    setCaption(baseTitle_);
}

void frmSetting::psbSetAllSettingData() {
    auto rs = gdbWork.openRecordset("SELECT * FROM tblSetting ORDER BY fldNo ASC;");
    for (int i = 1; i <= sstSetting_->maxRows(); ++i) {
        const std::string v = sstSetting_->text(4, i);
        const int k = static_cast<int>(runtime::val(sstSetting_->text(5, i)));
        rs.findFirst("fldNo = " + std::to_string(k));
        if (rs.noMatch()) {
            gsbErrorMsg("設定の登録項目（" + std::to_string(k) + "）がない（psbSetAllSettingData）", true);
            return;
        }
        rs.edit();
        rs.set("fldValue", v);
        rs.update();
        gfChanged = vbTrue;
    }
}

void frmSetting::psbSetSettingData(const SettingRecord& record) {
    auto rs = gdbWork.openRecordset("SELECT * FROM tblSetting ORDER BY fldNo ASC");
    rs.findFirst("fldNo = " + std::to_string(record.iNo));
    if (rs.noMatch()) {
        gsbErrorMsg("設定の登録項目（" + std::to_string(record.iNo) + "）がない（psbSetSettingData）", true);
        return;
    }
    if (rs["fldValue"].toText() == record.sValue) return;
    rs.edit();
    rs.set("fldValue", record.sValue);
    rs.update();
    gfChanged = vbTrue;
}

void frmSetting::cmdReset_Click() {
    if (gfniMsgBox(8) == forms::vbNo) return;
    setEnabled(false);
    {
        auto source = gdbWork.attach(gstrDataPath + std::string(kMasterDat), "src");
        dao::Transaction tx(gdbWork);
        gdbWork.execute("DELETE FROM tblSetting");
        gdbWork.execute("INSERT INTO tblSetting SELECT " + std::string(kSettingColumns) + " FROM src.tblSetting");
        tx.commit();
    }
    gfChanged = vbTrue;
    setCaption(baseTitle_);
    psbReadSettingData();
    lblSettingNo_Change();
    setCaption(baseTitle_);
    setEnabled(true);
}

void frmSetting::mnuFileRead_Click() {
    if (forms::MsgBox("機能設定をファイルからインポートしますか？\r\nインポートすると、登録値はインポートした値に置き換わります。",
                      forms::vbYesNo | forms::vbQuestion) != forms::vbYes)
        return;
    forms::FileDialogRequest request;
    request.kind = forms::FileDialogRequest::Open;
    request.filter = "KV-M58Sﾌｧｲﾙ(*.kvp)|*.kvp";
    request.initDir = gstrDataPath;
    const auto path = forms::ShowOpen(request);
    if (!path || path->empty()) return;
    psbSetFormEnabled(false);
    const std::int16_t c = gfnfCheckDataFile(*path);
    if (c != 0) {
        gsbErrorMsg("機能登録書込み用ファイルエラー。(mnuFileRead_Click)\r\nErrorNo." + std::to_string(c), false);
        forms::MsgBox("ファイル形式を認識できませんでした。(" + std::to_string(c) + ")", forms::vbCritical);
        psbSetFormEnabled(true);
        return;
    }
    const std::string staging = gstrDataPath + std::string(kTempDbDat);
    try {
        std::ifstream in(*path, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(kHeaderSize));
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        gsbDeleteFile(staging);
        {
            std::ofstream out(staging, std::ios::binary | std::ios::trunc);
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            if (!out) runtime::raise(57);
        }
        {
            // The staged settings are read before the document's are cleared, and both
            // steps run in one transaction: a file that is no document (a card image
            // passes the header check) leaves the settings as they were.
            auto source = gdbWork.attach(staging, "src");
            dao::Transaction tx(gdbWork);
            gdbWork.execute("DELETE FROM tblSetting");
            gdbWork.execute("INSERT INTO tblSetting SELECT " + std::string(kSettingColumns) + " FROM src.tblSetting");
            tx.commit();
        }
        gsbDeleteFile(staging);
    } catch (const runtime::Error& e) {
        std::error_code ec;
        std::filesystem::remove(staging, ec);
        forms::MsgBox("ファイルの読み込み中にエラーが発生しました。(" + std::to_string(e.number()) + ")", forms::vbCritical);
        gsbErrorMsg(e, false);
        psbSetFormEnabled(true);
        return;
    }
    gfChanged = vbTrue;
    setCaption(baseTitle_);
    psbReadSettingData();
    lblSettingNo_Change();
    setCaption(baseTitle_);
    psbSetFormEnabled(true);
}

void frmSetting::mnuFileSave_Click(bool saveAs) {
    msbSaveData();
    gsbCloseDatabase(gdbWork);
    if (wizard::Host* h = wizard::host()) h->pfnfFileSave(saveAs ? "新規" : "");
    gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat));
}

void frmSetting::mnuPrintPrint_Click() {
    msbSaveData();
    patterns::gsbShowPrinter(6, optionsShown_ || gintLogMode ? 2 : 1);
}
