// The card window: its controls, load and unload, and the switching of its controls
// around card operations.
#include "card/window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>

#include "com/registry.h"
#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/help.h"
#include "forms/client_area.h"
#include "forms/grid.h"
#include "forms/services.h"
#include "twips.h"
#include "window_hooks.h"
#include "wizard/host.h"
#include "wizard/progress.h"

namespace tw = card::twips;

namespace {

QLabel* label(QWidget* parent, const char* text, int l, int t, int w, int h) {
    auto* lbl = new QLabel(QString::fromUtf8(text), parent);
    tw::place(lbl, l, t, w, h);
    return lbl;
}

QPushButton* button(QWidget* parent, const char* text, int l, int t, int w, int h) {
    auto* b = new QPushButton(QString::fromUtf8(text), parent);
    tw::place(b, l, t, w, h);
    return b;
}

QGroupBox* frame(QWidget* parent, const char* text, int l, int t, int w, int h) {
    auto* f = new QGroupBox(QString::fromUtf8(text), parent);
    tw::place(f, l, t, w, h);
    return f;
}

QCheckBox* check(QWidget* parent, const char* text, int l, int t, int w, int h) {
    auto* c = new QCheckBox(QString::fromUtf8(text), parent);
    tw::place(c, l, t, w, h);
    return c;
}

forms::Grid* grid(QWidget* parent, int cols, int rows, int l, int t, int w) {
    auto* g = new forms::Grid(parent);
    g->setMaxCols(cols);
    g->setMaxRows(rows);
    g->setRowHidden(0, true);
    g->setColHidden(0, true);
    g->setOperationMode(forms::Grid::OperationMode::ReadOnly);
    tw::move(g, l, t);
    g->resize(tw::px(w), g->height());
    g->fitToRows(rows);
    g->resize(tw::px(w), g->height());
    return g;
}

// The width of the card frame and of its inner frames.
constexpr int kCardWidth = 5400;
constexpr int kInnerWidth = kCardWidth - 480;

}  // namespace

frmCard::frmCard(QWidget* parent) : wizard::Page(parent) {
    setObjectName("frmCard");
    setAutoFillBackground(true);  // the page covers what lies behind it in the main window
    setWindowTitle(QString::fromUtf8("カード"));
    buildControls();
    Form_Load();
}

frmCard::~frmCard() { unloadPage(); }

void frmCard::unloadPage() {
    if (unloaded_) return;
    unloaded_ = true;
    // Form_Unload; it runs from the destructor too, so nothing may escape it.
    try {
        setMainEnabled(false);
        if (cmdStop[1]) cmdStop_Click(1);  // a file still playing stops with the window
        unloadWorking();
        if (crd_) {
            crd_->setEnabled(false);
            crd_->StopMessage();
            crd_->putBool(card::dispid::StandbyMonitor, false);
        }
        gsbCloseDatabase(gdbWork);
        crd_.reset();
        setMainEnabled(true);
    } catch (...) {
    }
}

// ---------------------------------------------------------------------------------------
// Controls

void frmCard::buildControls() {
    menuBar = new QMenuBar(this);
    menuBar->setNativeMenuBar(false);
    mnuPrint = menuBar->addMenu(QString::fromUtf8("印刷(&P)"));
    mnuPrintPrint = mnuPrint->addAction(QString::fromUtf8("印刷(&P)"));
    mnuHelp = menuBar->addMenu(QString::fromUtf8("ﾍﾙﾌﾟ(&H)"));
    connect(mnuHelp->addAction(QString::fromUtf8("目次(&C)")), &QAction::triggered, this,
            [this] { mnuHelpContents_Click(); });
    connect(mnuHelp->addAction(QString::fromUtf8("ｷｰﾜｰﾄﾞ(&I)")), &QAction::triggered, this,
            [this] { mnuHelpKeyWord_Click(); });
    connect(mnuHelp->addAction(QString::fromUtf8("この画面に関するﾍﾙﾌﾟ(&W)")), &QAction::triggered, this,
            [this] { mnuHelpWindow_Click(); });
    connect(mnuPrintPrint, &QAction::triggered, this, [this] { mnuPrintPrint_Click(); });
    menuBar->adjustSize();

    body = forms::makeClientArea(this, menuBar);
    body->resize(tw::px(14000), tw::px(9000));
    buildCardFrame();
    buildWriteFrame();
    buildActionFrames();
    buildMessageTabs();
    buildButtons();
}

void frmCard::buildCardFrame() {
    fraCard = frame(body, "カード情報", 120, 120, kCardWidth, 8000);
    cmdRefresh = button(fraCard, "更新", kCardWidth - 1140, 180, 900, 330);
    connect(cmdRefresh, &QPushButton::clicked, this, [this] { cmdRefresh_Click(); });
    lblCardError = label(fraCard, "カードエラー", 120, 240, 3000, 300);
    lblCardError->installEventFilter(this);
    lblCardStatus = label(fraCard, "", 3240, 240, 800, 300);

    fraCardName = new QWidget(fraCard);
    tw::place(fraCardName, 240, 600, kInnerWidth, 360);
    label(fraCardName, "カード名：", 0, 30, 1100, 300);
    lblCardName = label(fraCardName, "", 1100, 30, 3000, 300);
    lblCardName->installEventFilter(this);
    txtCardName[1] = new QLineEdit(fraCardName);
    tw::place(txtCardName[1], 1100, 0, 3000, 360);
    txtCardName[1]->hide();

    fraCardInfo = new QWidget(fraCard);
    tw::place(fraCardInfo, 240, 1080, kInnerWidth, 660);
    lblSize = label(fraCardInfo, "種類：", 0, 0, 700, 300);
    lblCardTime = label(fraCardInfo, "－－", 700, 0, 1300, 300);
    label(fraCardInfo, "録音残時間：", 2100, 0, 1300, 300);
    lblCardRemain = label(fraCardInfo, "--:--", 3400, 0, 1400, 300);
    lblCardVersion = label(fraCardInfo, "本体Ver. -.--", 0, 330, 2400, 300);
    lblPCVersion = label(fraCard, "DataVer. 1.00", 2520, 120, 1600, 300);

    fraCardSchedule = frame(fraCard, "スケジュール", 240, 1860, kInnerWidth, 1500);
    lblCScheduleTitle = label(fraCardSchedule, "更新日：", 120, 270, 900, 300);
    lblCScheduleUpdate = label(fraCardSchedule, "", 1020, 270, 3000, 300);
    sstCardSchedule = grid(fraCardSchedule, 2, 3, 120, 600, kInnerWidth - 240);
    sstCardSchedule->setText(1, 1, "曜日パターン");
    sstCardSchedule->setText(1, 2, "祝日パターン");
    sstCardSchedule->setText(1, 3, "特定日パターン");
    sstCardSchedule->setColWidth(1, 16);
    tw::setHeight(fraCardSchedule, tw::bottom(sstCardSchedule) + 120);

    fraCardSetting = frame(fraCard, "機能設定", 240, 3480, kInnerWidth, 660);
    label(fraCardSetting, "更新日：", 120, 270, 900, 300);
    lblCSettingUpdate = label(fraCardSetting, "", 1020, 270, 3000, 300);
    fraCardSetting->hide();

    fraCardMessage = frame(fraCard, "メッセージ", 240, 4260, kInnerWidth, 3300);
    sstCardMsg = grid(fraCardMessage, 5, 13, 120, 270, kInnerWidth - 240);
    sstCardMsg->setColWidth(1, 3);
    sstCardMsg->setColWidth(2, 20);
    sstCardMsg->setColWidth(3, 7);
    sstCardMsg->setColWidth(4, 6);
    tw::setHeight(fraCardMessage, tw::bottom(sstCardMsg) + 120);

    fraCardFirmware = frame(fraCard, "ファームウェア", 240, 4260, kInnerWidth, 700);
    sstCardFirmware = grid(fraCardFirmware, 2, 1, 120, 270, kInnerWidth - 240);
    sstCardFirmware->setText(1, 1, "プログラム");
    sstCardFirmware->setColWidth(1, 16);
    tw::setHeight(fraCardFirmware, tw::bottom(sstCardFirmware) + 120);
    fraCardFirmware->hide();

    picLoadMessage = new QLabel(QString::fromUtf8("カードを読み込んでいます..."), fraCard);
    picLoadMessage->setAlignment(Qt::AlignCenter);
    picLoadMessage->setFrameShape(QFrame::Box);
    picLoadMessage->setAutoFillBackground(true);
    tw::place(picLoadMessage, 600, 0, kCardWidth - 1200, 900);
    picLoadMessage->hide();
}

void frmCard::buildWriteFrame() {
    fraWrite = frame(body, "書込データ", 120, 120, 5400, 6000);
    chkCardName = check(fraWrite, "カード名", 240, 300, 1400, 300);
    txtCardName[0] = new QLineEdit(fraWrite);
    tw::place(txtCardName[0], 1680, 270, 3480, 360);
    chkSchedule = check(fraWrite, "スケジュール", 240, 780, 1800, 300);
    lblWScheduleUpdate = label(fraWrite, "－－－－年－－月－－日", 2100, 780, 3000, 300);
    sstWriteSchedule = grid(fraWrite, 2, 3, 240, 1140, 3600);
    sstWriteSchedule->setText(1, 1, "曜日パターン");
    sstWriteSchedule->setText(1, 2, "祝日パターン");
    sstWriteSchedule->setText(1, 3, "特定日パターン");
    sstWriteSchedule->setColWidth(1, 16);
    cmdPattern = button(fraWrite, "確認", 3960, 1140, 1200, 360);
    fraWriteMessage = frame(fraWrite, "", 240, tw::bottom(sstWriteSchedule) + 120, 4920, 3000);
    chkMessage = check(fraWriteMessage, "メッセージ", 120, 120, 1800, 300);
    sstWriteMsg = grid(fraWriteMessage, 2, 9, 120, 480, 4680);
    sstWriteMsg->setColWidth(1, 3);
    sstWriteMsg->setColWidth(2, 30);
    tw::setHeight(fraWriteMessage, tw::bottom(sstWriteMsg) + 120);
    fraWriteSetting = frame(fraWrite, "", 240, tw::bottom(fraWriteMessage) + 120, 4920, 480);
    chkSetting = check(fraWriteSetting, "機能設定", 120, 120, 1800, 300);
    lblWSettingUpdate = label(fraWriteSetting, "－－－－年－－月－－日", 2100, 120, 2700, 300);

    connect(chkSchedule, &QCheckBox::clicked, this, [this] { chkSchedule_Click(); });
    connect(chkMessage, &QCheckBox::clicked, this, [this] { chkMessage_Click(); });
    connect(chkCardName, &QCheckBox::clicked, this, [this] { chkCardName_Click(); });
    connect(chkSetting, &QCheckBox::clicked, this, [this] { chkSetting_Click(); });
    connect(cmdPattern, &QPushButton::clicked, this, [this] { cmdPattern_Click(); });
    connect(txtCardName[0], &QLineEdit::editingFinished, this, [this] { txtCardName_LostFocus(0); });
    connect(txtCardName[1], &QLineEdit::editingFinished, this, [this] { txtCardName_LostFocus(1); });
    for (int i = 0; i < 2; ++i)
        connect(txtCardName[static_cast<std::size_t>(i)], &QLineEdit::textEdited, this, [this, i] { txtCardName_Change(i); });
}

void frmCard::buildActionFrames() {
    fraAction = frame(body, "操作", 5760, 120, 3600, 2400);
    fraCopy = frame(fraAction, "コピー", 240, 300, 3120, 1260);
    chkCopyProgram = check(fraCopy, "ﾌｧｰﾑｳｪｱ", 120, 300, 1400, 300);
    chkCopySetting = check(fraCopy, "機能設定", 1560, 300, 1400, 300);
    cmdCopy = button(fraCopy, "コピー", 120, 720, 1200, 360);
    cmdInitial = button(fraAction, "初期化", 240, 1680, 1200, 360);
    fraProgram = frame(fraAction, "ファームウェアデータ", 240, 2160, 3120, 900);
    cmdWriteProgram = button(fraProgram, "書込", 120, 360, 1200, 360);
    cmdEraseProgram = button(fraProgram, "消去", 1440, 360, 1200, 360);
    lblHint = label(body, "※バージョンアップデータの書き込みには　RDX-700のCD-ROMが必要です。", 5760, 3000, 5400,
                    600);
    lblHint->setWordWrap(true);
    lblHint->hide();
    connect(cmdCopy, &QPushButton::clicked, this, [this] { cmdCopy_Click(); });
    connect(cmdInitial, &QPushButton::clicked, this, [this] { cmdInitial_Click(); });
}

void frmCard::buildMessageTabs() {
    tabMessage = new QTabWidget(body);
    tw::place(tabMessage, 5760, 120, 5400, 3900);
    const char* captions[] = {"書込", "消去", "保存", "復元"};
    std::array<QWidget*, 4> pages{};
    for (int i = 0; i < 4; ++i) {
        pages[static_cast<std::size_t>(i)] = new QWidget;
        tabMessage->addTab(pages[static_cast<std::size_t>(i)], QString::fromUtf8(captions[i]));
    }
    // Write or replace.
    QWidget* write = pages[0];
    optWriteMode[3] = new QRadioButton(QString::fromUtf8("ファイルを書き込む"), write);
    tw::place(optWriteMode[3], 240, 240, 2100, 300);
    optWriteMode[1] = new QRadioButton(QString::fromUtf8("他のメッセージと入れ替える"), write);
    tw::place(optWriteMode[1], 2400, 240, 2800, 300);
    lblMsgData = label(write, "", 240, 720, 4000, 300);
    cboMessage = new QComboBox(write);
    tw::place(cboMessage, 240, 720, 1800, 360);
    lblReplace = label(write, "と入れ替える", 2160, 720, 1600, 300);
    cmdOpenFile = button(write, "参照", 4200, 690, 900, 360);
    lblMsgTime = label(write, " 0:00", 240, 1140, 1200, 300);
    cmdPlay[1] = button(write, "再生", 1560, 1110, 900, 360);
    cmdStop[1] = button(write, "停止", 2520, 1110, 900, 360);
    cmdStop[2] = button(body, "停止", 2520, 1110, 900, 360);  // placed over cmdStop(1) while a file plays
    cmdStop[2]->hide();
    lblFileHint = label(write, "", 240, 1560, 4900, 600);
    lblFileHint->setWordWrap(true);
    cmdDo = button(write, "実行", 240, 2880, 1200, 420);
    // Erase.
    optErease[0] = new QRadioButton(QString::fromUtf8("選択メッセージ"), pages[1]);
    tw::place(optErease[0], 240, 240, 2400, 300);
    optErease[1] = new QRadioButton(QString::fromUtf8("すべてのメッセージ"), pages[1]);
    tw::place(optErease[1], 240, 600, 2400, 300);
    cmdErease = button(pages[1], "消去", 240, 2880, 1200, 420);
    // Save and restore.
    for (std::size_t i = 0; i < 2; ++i) {
        lblFolder[i] = label(pages[i + 2], "", 240, 240, 4900, 600);
        lblFolder[i]->setWordWrap(true);
        lblFolder[i]->setProperty("tag", QString::fromUtf8(i == 0 ? "保存先のフォルダを選択してください。"
                                                                   : "復元もとのフォルダを選択してください。"));
        cmdFolder[i] = button(pages[i + 2], "参照", 240, 960, 900, 360);
    }
    cmdSave = button(pages[2], "保存", 240, 2880, 1200, 420);
    cmdRestore = button(pages[3], "復元", 240, 2880, 1200, 420);

    // Playing and the channel, below the card's message grid.
    fraEditMessage = new QWidget(fraCardMessage);
    tw::place(fraEditMessage, 120, tw::bottom(sstCardMsg) + 120, kInnerWidth - 240, 900);
    cmdPlay[0] = button(fraEditMessage, "再生", 0, 0, 1000, 360);
    cmdStop[0] = button(fraEditMessage, "停止", 1080, 0, 1000, 360);
    cboSpeed = new QComboBox(fraEditMessage);
    cboSpeed->addItems({"50", "100", "150", "200", "250", "300"});
    tw::place(cboSpeed, 2160, 0, 1100, 360);
    lblCh = label(fraEditMessage, "1", 0, 480, 600, 300);
    lblWriteMode = label(fraEditMessage, "", 600, 480, 600, 300);
    lblMsgPlay = label(fraEditMessage, "", 1200, 480, 1000, 300);
    lblMsgLength = label(fraEditMessage, "", 2200, 480, 1000, 300);
    fraEditMessage->hide();
    txtMsgName = new QLineEdit(sstCardMsg);
    txtMsgName->hide();

    tmrSound = new forms::Timer(this);
    tmrSound->setEnabled(false);
    tmrSound->setInterval(70);
    connect(tmrSound, &forms::Timer::timer, this, [this] { tmrSound_Timer(); });
    connect(tabMessage, &QTabWidget::currentChanged, this, [this] { tabMessage_Click(); });
    for (int i : {1, 3})
        connect(optWriteMode[static_cast<std::size_t>(i)], &QRadioButton::clicked, this,
                [this, i] { optWriteMode_Click(i); });
    connect(cboMessage, qOverload<int>(&QComboBox::activated), this, [this] { cboMessage_Click(); });
    connect(cmdOpenFile, &QPushButton::clicked, this, [this] { cmdOpenFile_Click(); });
    connect(cmdDo, &QPushButton::clicked, this, [this] { cmdDo_Click(); });
    connect(cmdErease, &QPushButton::clicked, this, [this] { cmdErease_Click(); });
    for (int i = 0; i < 2; ++i)
        connect(cmdPlay[static_cast<std::size_t>(i)], &QPushButton::clicked, this, [this, i] { cmdPlay_Click(i); });
    for (int i = 0; i < 3; ++i)
        connect(cmdStop[static_cast<std::size_t>(i)], &QPushButton::clicked, this, [this, i] { cmdStop_Click(i); });
    connect(sstCardMsg, &forms::Grid::click, this, [this](int, int row) {
        if (!tabMessage->isHidden() && row >= 1) {
            lblCh->setText(QString::number(row));
            lblCh_Change();
        }
    });
    // The current channel follows the highlighted row, however it moved (the arrow keys
    // too), so that an erase never hits another channel than the one shown.
    connect(sstCardMsg->table(), &QTableWidget::currentCellChanged, this, [this](int row) {
        if (!tabMessage->isHidden() && row >= 0 && row + 1 != currentChannel()) selectChannel(row + 1);
    });
    connect(sstCardMsg, &forms::Grid::dblClick, this, [this](int col, int row) { sstCardMsg_DblClick(col, row); });
    connect(txtMsgName, &QLineEdit::textEdited, this, [this] { txtMsgName_Change(); });
    connect(txtMsgName, &QLineEdit::editingFinished, this, [this] { txtMsgName_LostFocus(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdRestore, &QPushButton::clicked, this, [this] { cmdRestore_Click(); });
    for (int i = 0; i < 2; ++i)
        connect(cmdFolder[static_cast<std::size_t>(i)], &QPushButton::clicked, this, [this, i] { cmdFolder_Click(i); });
    connect(cmdWriteProgram, &QPushButton::clicked, this, [this] { cmdWriteProgram_Click(); });
    connect(cmdEraseProgram, &QPushButton::clicked, this, [this] { cmdEraseProgram_Click(); });
}

void frmCard::buildButtons() {
    cmdBack = button(body, "戻る", 120, 8300, 1200, 420);
    cmdNext = button(body, "次へ", 4320, 8300, 1200, 420);
    cmdRead = button(body, "読込", 4320, 8300, 1200, 420);
    cmdWrite = button(body, "書込", 5760, 3000, 1200, 420);
    lblMode = label(body, "", 1440, 8300, 900, 300);
    lblPosition = label(body, "", 2340, 8300, 900, 300);
    lblLength = label(body, "", 3240, 8300, 900, 300);
    connect(cmdBack, &QPushButton::clicked, this, [this] { cmdBack_Click(); });
    connect(cmdNext, &QPushButton::clicked, this, [this] { cmdNext_Click(); });
    connect(cmdRead, &QPushButton::clicked, this, [this] { cmdRead_Click(); });
    connect(cmdWrite, &QPushButton::clicked, this, [this] { cmdWrite_Click(); });
}

// ---------------------------------------------------------------------------------------
// Load

void frmCard::Form_Load() {
    cboSpeed->setCurrentIndex(1);
    tw::move(lblCardError, 120, 240);
    for (QLabel* l : lblFolder) l->setText(l->property("tag").toString());
    txtCardName[1]->setGeometry(lblCardName->geometry());
    mnuPrint->menuAction()->setVisible(false);
    msbShowCardInfo();
    const bool log = gintLogMode != vbFalse;
    for (QWidget* w : std::initializer_list<QWidget*>{lblCh, lblWriteMode, lblMode, lblPosition, lblLength,
                                                     lblCardStatus, lblMsgPlay, lblMsgLength, lblPCVersion,
                                                     cmdRefresh, cboSpeed})
        w->setVisible(log);
    createControl();
    if ((crdWindow = crd_->createWindow(body))) {
        crdWindow->move(tw::px(1440), tw::px(8300));
        crdWindow->setVisible(log);
    }
    loaded_ = true;
    forms::doEvents();
}

void frmCard::createControl() {
    std::unique_ptr<com::Control> control;
    com::createInstance(card::kControlClass, control);
    com::EventSink* sink = this;
    crd_ = std::make_unique<card::CardCtl>(std::move(control), sink);
}

// ---------------------------------------------------------------------------------------
// Pages

void frmCard::msbShowForm(int iFormNo, int iMenuNo) {
    (void)iMenuNo;
    setEnabled(false);
    msbEnableControls(false, false);
    msbArrangeFrames(gfServiceMode != vbFalse, iFormNo);
    mintFormNo_ = iFormNo;
    setUpPage(iFormNo);
    forms::doEvents();
    crd_->putBool(card::dispid::StandbyMonitor, true);
    crd_->putBool(card::dispid::AutoRead, false);
    crd_->putLong(card::dispid::CheckInterval, 1000);
    crd_->putLong(card::dispid::UpDateInterval, 500);
    crd_->setCheckCard(true);
    crd_->setEnabled(true);
    msbEnableControls(true, true);
}

void frmCard::leavePage() {
    if (crd_) crd_->setEnabled(false);
    cmdStop[0]->click();
}

void frmCard::resumePage() {
    if (crd_) crd_->setEnabled(true);
}

void frmCard::setUpPage(int iFormNo) {
    const auto show = [](std::initializer_list<QWidget*> ws, bool on) {
        for (QWidget* w : ws) w->setVisible(on);
    };
    int lRight = 0;
    int lBottom = 0;
    const auto fit = [&](QWidget* last) {
        lRight = tw::right(last) + 240;
        lBottom = tw::bottom(last) + 120;
    };
    const QString back = QString::fromUtf8("メニューに戻ります。");
    switch (iFormNo) {
    case 5:
        setWindowTitle(QString::fromUtf8("カードから読込"));
        show({fraCard, cmdBack, cmdRead}, true);
        show({fraWrite, tabMessage, fraAction, cmdWrite, cmdNext}, false);
        cmdRead->setText(QString::fromUtf8("次へ"));
        cmdBack->setToolTip(back);
        tw::move(fraCard, 120, 120);
        tw::move(cmdBack, tw::left(fraCard), tw::bottom(fraCard) + 120);
        tw::move(cmdRead, tw::left(fraCard) + tw::width(fraCard) - tw::width(cmdBack), tw::bottom(fraCard) + 120);
        fit(cmdRead);
        break;
    case 6:
        setWindowTitle(QString::fromUtf8("カードに書込"));
        show({fraCard, fraWrite, cmdWrite, cmdBack, cmdNext}, true);
        show({tabMessage, fraAction, cmdRead}, false);
        cmdBack->setToolTip(QString::fromUtf8("特定日スケジュールの登録に戻ります。"));
        cmdNext->setToolTip(QString::fromUtf8("ファイルに保存へ進みます。"));
        gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat));
        msbLoadWriteList();
        msbLoadMessageWriteList();
        tw::move(fraWrite, 120, 120);
        tw::move(cmdWrite, tw::right(fraWrite) + 240, 120 + tw::height(fraWrite) / 2 - tw::height(cmdWrite) / 2);
        tw::move(fraCard, tw::right(cmdWrite) + 240, 120);
        tw::move(cmdBack, tw::left(fraCard), tw::bottom(fraCard) + 120);
        tw::move(cmdNext, tw::right(fraCard) - tw::width(cmdNext), tw::bottom(fraCard) + 120);
        fit(cmdNext);
        break;
    case 7:
    case 8:
    case 20: {
        QWidget* second = iFormNo == 7 ? static_cast<QWidget*>(fraAction)
                          : iFormNo == 8 ? static_cast<QWidget*>(tabMessage)
                                         : static_cast<QWidget*>(fraProgram);
        show({fraCard, cmdBack}, true);
        show({fraWrite, cmdWrite, cmdRead, cmdNext}, false);
        cmdBack->setToolTip(back);
        if (iFormNo == 7) {
            setWindowTitle(QString::fromUtf8("カードのコピー／初期化"));
            show({fraAction}, true);
            show({tabMessage}, false);
            mnuPrint->menuAction()->setVisible(true);
        } else if (iFormNo == 8) {
            setWindowTitle(QString::fromUtf8("メッセージの編集"));
            show({tabMessage}, true);
            show({fraAction}, false);
            sstCardMsg->setTextTip("編集するメッセージを選択してください。");
            tabMessage->setCurrentIndex(0);
            tabMessage_Click();
            lblCh->setText("1");
            lblCh_Change();
        } else {
            setWindowTitle(QString::fromUtf8("ファームウェアのバージョンアップ"));
            show({fraAction, tabMessage}, false);
            fraProgram->setParent(body);
            fraProgram->setTitle(QString::fromUtf8("操作"));
            show({fraCardFirmware, fraProgram, lblHint}, true);
        }
        tw::move(fraCard, 120, 120);
        tw::move(second, tw::right(fraCard) + 240, 120);
        if (iFormNo == 20) tw::move(lblHint, tw::left(fraProgram), tw::bottom(fraProgram) + 120);
        tw::move(cmdBack, tw::right(second) - tw::width(cmdBack), tw::bottom(fraCard) + 120);
        fit(cmdBack);
        if (iFormNo == 20) lRight = std::max(lRight, tw::right(lblHint) + 240);
        break;
    }
    default:
        return;  // no page of its own: the window stays as it was
    }
    // The control's window and the diagnostic labels sit in the button row.
    int x = tw::right(cmdBack) + 120;
    if (crdWindow) {
        tw::move(crdWindow, x, tw::top(cmdBack));
        x = tw::right(crdWindow) + 120;
    }
    for (QLabel* l : {lblMode, lblPosition, lblLength}) {
        tw::move(l, x, tw::top(cmdBack));
        x += 900;
    }
    body->setMinimumSize(tw::px(lRight), tw::px(lBottom));
}

void frmCard::msbArrangeFrames(bool fService, int iFormNo) {
    tw::place(lblPCVersion, 2520, 120, 1600, 300);
    arrangeCardFrame(fService, iFormNo);
    // Copying, the settings write and the restore tab are service functions.
    fraWriteSetting->setVisible(fService);
    chkSchedule->setVisible(fService);
    tw::setHeight(fraWrite, tw::bottom(fService ? fraWriteSetting : fraWriteMessage) + 120);
    fraCopy->setVisible(fService);
    fraProgram->setVisible(fService && fraProgram->parentWidget() == fraAction);
    if (fService) {
        tw::move(cmdInitial, 240, tw::bottom(fraCopy) + 120);
        tw::move(fraProgram, 240, tw::bottom(cmdInitial) + 120);
        fraAction->resize(tw::px(tw::right(fraCopy) + 240), tw::px(tw::bottom(fraProgram) + 240));
    } else {
        tw::move(cmdInitial, 240, 300);
        fraAction->resize(tw::px(tw::right(cmdInitial) + 240), tw::px(tw::bottom(cmdInitial) + 240));
    }
    tabMessage->setTabVisible(3, fService);
    forms::doEvents();
}

void frmCard::arrangeCardFrame(bool fService, int iFormNo) {
    // The inner frames of the page, top to bottom; the card frame ends 120 below the last.
    std::vector<QWidget*> order;
    const auto stack = [&](int firstTop) {
        int top = firstTop;
        for (QWidget* w : order) {
            w->show();
            tw::setTop(w, top);
            top = tw::bottom(w) + (w == fraCardInfo ? 0 : 120);
        }
        tw::setHeight(fraCard, tw::bottom(order.back()) + 120);
    };
    for (int row = 1; row <= 13; ++row) sstCardMsg->setRowHidden(row, false);
    fraEditMessage->hide();
    lblSize->show();
    lblCardTime->show();
    fraCardFirmware->hide();
    fraCardSetting->setVisible(false);
    lblCardVersion->setVisible(fService);
    const auto rowsShown = [&](int rows) {
        for (int row = rows + 1; row <= 13; ++row) sstCardMsg->setRowHidden(row, true);
        sstCardMsg->fitToRows(rows);
        tw::setHeight(fraCardMessage, tw::bottom(sstCardMsg) + 120);
    };
    for (QWidget* w : std::initializer_list<QWidget*>{lblCScheduleTitle, lblCScheduleUpdate, fraCardSchedule,
                                                     fraCardMessage})
        w->show();
    tw::setTop(cmdRefresh, 180);
    tw::setTop(lblCardStatus, 240);
    switch (iFormNo) {
    case 5:
        fraCardMessage->hide();
        lblSize->hide();
        lblCardTime->hide();
        order = {fraCardName, fraCardInfo, fraCardSchedule};
        if (fService) {
            order.push_back(fraCardSetting);
            if (gintLogMode == vbFalse) {
                tw::move(lblPCVersion, 3960, 390);
                // It ends inside the card frame, not across its edge.
                lblPCVersion->resize(tw::px(kCardWidth - 120 - 3960), lblPCVersion->height());
            }
            lblPCVersion->show();
        }
        break;
    case 6:
        rowsShown(9);
        order = {fraCardName, fraCardSchedule, fraCardMessage};
        if (fService) order.push_back(fraCardSetting);
        order.push_back(fraCardInfo);
        break;
    case 7:
        rowsShown(fService ? 13 : 12);
        order = {fraCardName, fraCardInfo, fraCardSchedule, fraCardMessage};
        if (fService) order.push_back(fraCardSetting);
        break;
    case 8:
        for (QWidget* w : std::initializer_list<QWidget*>{lblCScheduleTitle, lblCScheduleUpdate, fraCardSchedule})
            w->hide();
        tw::setTop(cmdRefresh, 60);
        tw::setTop(lblCardStatus, 120);
        rowsShown(12);
        sstCardMsg->setOperationMode(forms::Grid::OperationMode::SingleSelect);
        tw::move(fraEditMessage, 120, tw::bottom(sstCardMsg) + 120);
        tw::setHeight(fraEditMessage, tw::bottom(gintLogMode != vbFalse ? static_cast<QWidget*>(lblCh) : cmdPlay[0]) + 120);
        fraEditMessage->show();
        tw::setHeight(fraCardMessage, tw::bottom(fraEditMessage) + 120);
        order = {fraCardName, fraCardMessage, fraCardInfo};
        break;
    case 20:
        for (QWidget* w : std::initializer_list<QWidget*>{lblCScheduleTitle, lblCScheduleUpdate, fraCardSchedule,
                                                         fraCardMessage})
            w->hide();
        tw::setTop(cmdRefresh, 60);
        tw::setTop(lblCardStatus, 120);
        order = {fraCardName, fraCardFirmware, fraCardInfo};
        break;
    default:
        return;
    }
    stack(600);
    if (iFormNo == 8 || iFormNo == 20) tw::move(fraCardName, 240, 360), stack(360);
}

// ---------------------------------------------------------------------------------------
// Switching controls around operations

void frmCard::setMainEnabled(bool on) {
    if (QWidget* w = wizard::hostWindow()) w->setEnabled(on);
}

void frmCard::msbEnableControls(bool fEnable, bool fReadInfo) {
    setEnabled(false);
    if (!fEnable) forms::setScreenPointer(forms::vbHourglass);
    setMainEnabled(false);
    for (QWidget* w : std::initializer_list<QWidget*>{cmdBack, cmdNext, cmdRead, cmdWrite, fraWrite, fraCard,
                                                     fraAction, sstCardMsg})
        w->setEnabled(fEnable);
    mnuHelp->setEnabled(fEnable);
    mnuPrint->setEnabled(fEnable);
    for (QWidget* w : std::initializer_list<QWidget*>{cmdPattern, tabMessage, cmdDo, cmdSave, cmdErease, cmdRestore,
                                                     cmdPlay[0], cmdStop[0], cmdCopy, cmdInitial, cboSpeed,
                                                     cmdRefresh, cmdWriteProgram, cmdEraseProgram, lblCardName})
        w->setEnabled(fEnable);
    if (crd_) crd_->setCheckCard(fEnable);
    if (fEnable) forms::setScreenPointer(forms::vbDefault);
    setEnabled(fEnable);
    setMainEnabled(fEnable);
    if (fReadInfo) {
        msbReadCardInfo(true);
    } else {
        forms::doEvents();
    }
}

void frmCard::msbSetControlState(int iState) {
    const bool fOn = iState == 0;
    if (iState == 0 || iState == 2) {
        forms::setScreenPointer(iState == 0 ? forms::vbDefault : 13);
        if (wizard::Host* h = wizard::host()) h->setStepBarEnabled(fOn);
        cmdBack->setEnabled(fOn);
        cmdNext->setEnabled(fOn);
        cmdRefresh->setEnabled(fOn);
    }
    cmdStop[0]->setEnabled(iState == 0 || iState == 2);
    cmdInitial->setEnabled(iState == 0 || iState == 1);
    for (QWidget* w : std::initializer_list<QWidget*>{tabMessage, sstCardMsg, cmdWrite, cmdRead, cmdCopy, cmdPlay[0],
                                                     cmdDo, cmdErease, cmdSave, cmdRestore, lblCardName,
                                                     cmdWriteProgram, cmdEraseProgram, cboSpeed})
        w->setEnabled(fOn);
    mnuPrint->setEnabled(fOn);
}

// ---------------------------------------------------------------------------------------
// Navigation and small handlers

void frmCard::cmdBack_Click() {
    if (wizard::Host* h = wizard::host()) h->msbShowBack();
}

void frmCard::cmdNext_Click() {
    if (wizard::Host* h = wizard::host()) h->msbShowNext();
}

void frmCard::cmdRefresh_Click() { msbReadCardInfo(true); }

void frmCard::lblCardError_DblClick() {
    if (gfServiceMode != vbFalse) crd_->AboutBox();
}

void frmCard::lblCardName_DblClick() {
    if (mintFormNo_ == 6) return;
    QLineEdit* edit = txtCardName[1];
    edit->setText(lblCardName->text());
    edit->setProperty("tag", lblCardName->text());
    edit->raise();
    edit->show();
    edit->setFocus();
    edit->selectAll();
    lblCardName->hide();
}

bool frmCard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == lblCardName && lblCardName->isEnabled()) lblCardName_DblClick();
        if (watched == lblCardError) lblCardError_DblClick();
    }
    return wizard::Page::eventFilter(watched, event);
}

void frmCard::mnuHelpContents_Click() { gsbHelpContents(); }

void frmCard::mnuHelpKeyWord_Click() { gsbHelpIndex(); }

void frmCard::mnuHelpWindow_Click() {
    long context = 0;
    if (!cmdWrite->isHidden()) {
        context = 110;
    } else if (!cmdRead->isHidden()) {
        context = 130;
    } else if (!fraAction->isHidden()) {
        context = 170;
    } else if (!tabMessage->isHidden()) {
        const int tab = tabMessage->currentIndex();
        context = tab == 0 ? 140 : tab == 1 ? 150 : tab == 2 ? 160 : -1;
    } else {
        return;
    }
    gsbHelpContext(context);
}

void frmCard::cmdPattern_Click() { card::hooks::showPatterns(); }

void frmCard::mnuPrintPrint_Click() {
    crd_->setCheckCard(false);
    card::hooks::printCardReport(11, gfServiceMode != vbFalse ? 1 : 0);
    crd_->setCheckCard(true);
}
