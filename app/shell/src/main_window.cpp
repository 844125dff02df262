// The main window: its parts, the start-up and shut-down sequences, the help menu and the
// debug strip.
#include "shell/main_window.h"

#include <filesystem>

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QVBoxLayout>

#include "core/database.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/help.h"
#include "core/log.h"
#include "dao/database.h"
#include "forms/fatal.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "page_area.h"
#include "page_menus.h"
#include "shell/about.h"
#include "shell/start_screen.h"
#include "shell/startup.h"
#include "shell/translations.h"

namespace {

frmMain* gMain = nullptr;

int px(int twips) { return twips / 15; }

constexpr int kStatusHeightTwips = 255;

}  // namespace

frmMain* mainWindow() { return gMain; }

frmMain::frmMain(QWidget* parent) : QMainWindow(parent) {
    gMain = this;
    wizard::setHost(this);
    setObjectName("frmMain");
    // Room for the widest page (the calendar, the card write page) and the tallest.
    resize(960, 720);
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    buildBar();
    // The pages live in a scroll area: where the screen is smaller than a page, the page
    // scrolls rather than losing its right or bottom edge.
    auto* pages = new shell::PageScroller(central);
    pages->setObjectName("pageScroller");
    pages->setFrameShape(QFrame::NoFrame);
    pages->setWidgetResizable(true);
    client_ = new shell::PageArea;
    client_->setObjectName("mdiClient");
    client_->setAutoFillBackground(true);
    QPalette pal = client_->palette();
    pal.setColor(QPalette::Window, QColor(0xAB, 0xAB, 0xAB));
    client_->setPalette(pal);
    pages->setWidget(client_);
    buildStatus();
    column->addWidget(picWizard_);
    column->addWidget(pages, 1);
    column->addWidget(picStatus_);
    setCentralWidget(central);
}

frmMain::~frmMain() {
    if (gMain == this) gMain = nullptr;
    wizard::clearHost(this);
}

void frmMain::buildMenu() {
    mnuHelp_ = menuBar()->addMenu("ﾍﾙﾌﾟ(&H)");
    connect(mnuHelp_->addAction("目次(&C)"), &QAction::triggered, this, [] { gsbHelpContents(); });
    connect(mnuHelp_->addAction("ｷｰﾜｰﾄﾞ(&I)"), &QAction::triggered, this, [] { gsbHelpIndex(); });
    mnuHelp_->addSeparator();
    connect(mnuHelp_->addAction("ﾊﾞｰｼﾞｮﾝ情報(&A)"), &QAction::triggered, this, [this] {
        frmAbout about(this);
        about.exec();
    });
    mnuHelpBar1_ = mnuHelp_->addSeparator();
    mnuHelpBar1_->setVisible(false);
    mnuHelpFimware_ = mnuHelp_->addAction("ﾌｧｰﾑｳｪｱのﾊﾞｰｼﾞｮﾝｱｯﾌﾟ(&V)");
    mnuHelpFimware_->setVisible(false);
    connect(mnuHelpFimware_, &QAction::triggered, this, [this] {
        wizard_->hide();
        forms::doEvents();
        msbShowWizard(7);
    });
    pageMenus_ = new shell::PageMenus(menuBar(), client_, {mnuHelp_->menuAction()}, this);
}

void frmMain::buildStatus() {
    picStatus_ = new QWidget(this);
    picStatus_->setObjectName("picStatus");
    picStatus_->setFixedHeight(px(kStatusHeightTwips) + 2);
    auto* row = new QHBoxLayout(picStatus_);
    row->setContentsMargins(4, 0, 4, 0);
    lblFileName_ = new QLabel(picStatus_);
    lblDatabase_ = new QLabel("Open", picStatus_);
    lblUserName_ = new QLabel(picStatus_);
    for (QLabel* l : {lblFileName_, lblDatabase_, lblUserName_}) {
        l->setFrameShape(QFrame::Panel);
        l->setFrameShadow(QFrame::Sunken);
        l->installEventFilter(this);
    }
    row->addWidget(lblFileName_, 1);
    row->addWidget(lblDatabase_);
    row->addWidget(lblUserName_);
    picStatus_->setVisible(false);
}

void frmMain::MDIForm_Load() {
    // 2. - 3. Before the window is first shown: a second copy ends without showing one, and
    // the system menu never shows Close.
    instance_ = std::make_unique<shell::SingleInstance>(gfnsAppPath());
    if (!instance_->acquired()) {
        shell::installQtTranslations();
        forms::MsgBox("このアプリケーションはすでに起動しています。", forms::vbExclamation);
        forms::endProgram();
    }
    gfnlSetSysMenu(this, kSysMenuClose, false);
    // The window goes up before the rest of the load, empty and under the hourglass, so
    // that the user sees the program at once: Master.dat's lock and checks take about as
    // long as the window's own first showing, and a refused start shows its message over
    // it. The hourglass is set once there is a window to show it on.
    show();
    // 1.
    forms::setScreenPointer(forms::vbHourglass);
    // Qt's standard dialogs in Japanese from the first message on.
    shell::installQtTranslations();
    forms::doEvents();
    // 4. - 7.
    gstrDataPath = gfnsAddBackslash(gfnsAppPath());
    gintLogMode = vbBool(gfnfFileExists(gstrDataPath + std::string(kSoftLog)));
    std::string me;
    if (!mfnfUserLock(true, &me)) forms::endProgram();
    lblUserName_->setText(QString::fromStdString(me));
    lblUserName_->setToolTip(QString::fromStdString(me));
    mfnfCheckEnvironment();
    // 8. - 9.
    forms::setScreenPointer(forms::vbDefault);
    setHelpOwner(this);
    // The menu bar joins the window once it is on screen: its making loads the style's
    // images, and its layout the fonts, which the window's first showing need not wait for.
    buildMenu();
    // The caption comes after the show, as the start-up orders it; a window first shown
    // with its Japanese caption waits for the X library's text conversion.
    setWindowTitle(QString::fromUtf8(kAppTitle.data(), static_cast<int>(kAppTitle.size())));
    forms::doEvents();
    setAppHelpFile(gstrDataPath + (gfBrandMode ? "RDX.chm" : "QPN_RDX.chm"));
    // 10. - 14.
    if (gintLogMode) startupDebugQuestion();
    picStatus_->setVisible(gintLogMode != 0);
    lblFileName_->setText({});
    lblFileName_->setToolTip({});
    gfServiceMode = gintLogMode;
    stepNo_ = 0;
    // 15. The start screen through its load: its show operation would delete Regist.dat,
    // the copy the restore offer below is about. It is made here, where it is first
    // shown, so that the main window reaches the screen without waiting for it.
    wizard_ = new frmWizard(this, client_);
    wizard_->Form_Load();
    forms::doEvents();
    // 16. - 17.
    if (mfnfRestoreFile()) {
        wizard_->tmrNow()->setEnabled(false);
        wizard_->hide();
        forms::doEvents();
        msbShowWizard(0);
    }
    gsbWriteLog("プログラム起動");
}

void frmMain::startupDebugQuestion() {
    const std::string log = gstrDataPath + std::string(kSoftLog);
    std::error_code ec;
    if (gfnfFileExists(log) && std::filesystem::file_size(log, ec) > 0x100000) gsbDeleteFile(log);
    if (forms::MsgBox("デバッグモードです。\r\nデバッグモードを解除しますか？", forms::vbYesNo | forms::vbQuestion) ==
        forms::vbYes) {
        gintLogMode = vbFalse;
        // The developer's marker keeps the log when debug mode is left.
        if (!gfnfFileExists(gstrDataPath + "frmMain.frm")) gsbDeleteFile(log);
    }
}

void frmMain::closeEvent(QCloseEvent* event) {
    // Only the program closes this window; the user's close command is refused.
    if (!closingByProgram_) {
        event->ignore();
        return;
    }
    event->accept();
}

void frmMain::unloadByProgram() {
    if (unloaded_) return;
    closingByProgram_ = true;
    shutDown();
    close();
}

void frmMain::shutDown() {
    unloaded_ = true;
    mfnfUserLock(false);
    gsbHtmlHelpClose();
    unloadActivePage();
    gsbCloseDatabase(gdbWork);
    gsbCompactDatabase(gstrDataPath + std::string(kMasterDat));
    for (std::string_view name : {kRegistDat, kTempDbDat, kTempDat, std::string_view("CardData.crd")})
        gsbDeleteFile(gstrDataPath + std::string(name));
    gsbWriteLog("プログラム終了");
    instance_.reset();
}

void frmMain::lblDatabase_DblClick() {
    if (lblDatabase_->text() != "Open") {
        gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat));
        lblDatabase_->setText("Open");
    } else {
        gsbCloseDatabase(gdbWork);
        lblDatabase_->setText("Close");
    }
}

void frmMain::lblUserName_DblClick() {
    dao::Database db;
    gsbOpenDatabase(db, gstrDataPath + std::string(kMasterDat));
    try {
        db.execute("UPDATE tblOption SET fldOptionValue = '' WHERE fldOptionItem = '使用ユーザー'");
    } catch (...) {
        gsbErrorMsg("", false);
    }
    db.close();
    lblUserName_->setText({});
    lblUserName_->setToolTip({});
}

bool frmMain::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonDblClick) {
        if (watched == lblDatabase_) {
            lblDatabase_DblClick();
            return true;
        }
        if (watched == lblUserName_) {
            lblUserName_DblClick();
            return true;
        }
    }
    if (event->type() == QEvent::MouseButtonPress) {
        for (int i = 0; i <= 10; ++i) {
            if (watched == lblWizard_[static_cast<std::size_t>(i)]) {
                lblWizard_Click(i);
                return true;
            }
        }
        if (watched == lblHighlight_) return true;
    }
    return QMainWindow::eventFilter(watched, event);
}
