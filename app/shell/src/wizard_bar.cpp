// The wizard's step bar and the step dispatcher: a menu's steps come from tblWizard of
// Master.dat, and each step's form number shows a page or runs an action.
#include <cmath>

#include <QFontMetrics>
#include <QLabel>
#include <QLayout>

#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "dao/database.h"
#include "forms/services.h"
#include "runtime/error.h"
#include "shell/main_window.h"
#include "shell/start_screen.h"

namespace {

constexpr int kLastLabel = 10;
constexpr int kLabel0Left = 240;
constexpr int kLabel0Width = 630;
constexpr int kLabelTop = 120;
constexpr int kLabelHeight = 180;
constexpr int kBarHeight = 495;

int px(int twips) { return static_cast<int>(std::lround(twips / 15.0)); }
int twips(int pixels) { return pixels * 15; }

// Hidden when the bar is built: read card, new, open, the marker and exit; the settings
// page outside service mode.
bool hiddenInBar(int g) {
    return g == 5 || g == 10 || g == 11 || g == 13 || g == 14 || (g == 1 && !gfServiceMode);
}

// Actions that run even when their label is hidden.
bool runsHidden(int g) { return g == 5 || g == 10 || g == 11 || g == 14 || g == 20; }

void styleLabel(QLabel* l, bool highlight) {
    l->setAutoFillBackground(true);
    QPalette pal = l->palette();
    pal.setColor(QPalette::Window, highlight ? QColor(0, 0, 0xFF) : QColor(0xFF, 0xFF, 0xFF));
    pal.setColor(QPalette::WindowText, highlight ? QColor(0xFF, 0xFF, 0xFF) : QColor(0, 0, 0xFF));
    l->setPalette(pal);
}

// Restores the window on every way out of a step change, errors included.
class IdleOnExit {
public:
    explicit IdleOnExit(frmMain& main) : main_(main) {}
    ~IdleOnExit() {
        if (main_.isUnloaded()) return;
        main_.setEnabled(true);
        main_.picWizard()->setEnabled(true);
        forms::setScreenPointer(forms::vbDefault);
    }

private:
    frmMain& main_;
};

}  // namespace

void frmMain::buildBar() {
    picWizard_ = new QWidget(this);
    picWizard_->setObjectName("picWizard");
    picWizard_->setAutoFillBackground(true);
    QPalette pal = picWizard_->palette();
    pal.setColor(QPalette::Window, QColor(0xFF, 0xFF, 0xFF));
    picWizard_->setPalette(pal);
    picWizard_->setFixedHeight(px(kBarHeight));
    for (int i = 0; i <= kLastLabel; ++i) {
        auto* l = new QLabel(picWizard_);
        l->setObjectName(QString("lblWizard%1").arg(i));
        styleLabel(l, false);
        l->installEventFilter(this);
        l->setCursor(Qt::PointingHandCursor);
        l->hide();
        lblWizard_[static_cast<std::size_t>(i)] = l;
    }
    QLabel* first = lblWizard_[0];
    first->setText("メニュー");
    first->setGeometry(px(kLabel0Left), px(kLabelTop), px(kLabel0Width), px(kLabelHeight));
    first->show();
    lblHighlight_ = new QLabel(picWizard_);
    lblHighlight_->setObjectName("lblHighlight");
    styleLabel(lblHighlight_, true);
    lblHighlight_->installEventFilter(this);
    lblHighlight_->hide();
    picWizard_->hide();
}

QLabel* frmMain::lblWizard(int index) const {
    return index >= 0 && index <= kLastLabel ? lblWizard_[static_cast<std::size_t>(index)] : nullptr;
}

QLabel* frmMain::label(int index) const {
    if (index < 0) runtime::raise(340, "Control array element '" + std::to_string(index) + "' doesn't exist");
    if (index > kLastLabel) runtime::raise(341, "Invalid control array index");
    return lblWizard_[static_cast<std::size_t>(index)];
}

void frmMain::msbShowWizard(int iMenuNo) {
    picWizard_->hide();
    const int gap = twips(QFontMetrics(picWizard_->font()).horizontalAdvance("→"));
    dao::Database db;
    gsbOpenDatabase(db, gstrDataPath + std::string(kMasterDat));
    try {
        dao::Recordset rs = db.openRecordset(
            "SELECT * FROM tblWizard WHERE fldMenuNo = ?1 AND NOT fldWizardNo = 0 ORDER BY fldWizardNo ASC",
            {iMenuNo});
        const int top = static_cast<int>(std::lround(twips(picWizard_->height()) / 2.0 - kLabelHeight / 2.0));
        int x = kLabel0Width + kLabel0Left + 120;
        std::array<bool, kLastLabel + 1> written{};
        written[0] = true;
        while (!rs.eof()) {
            const int n = rs["fldWizardNo"].toInt();
            const int g = rs["fldFormNo"].toInt();
            if (n >= 1 && n <= kLastLabel) {
                QLabel* l = lblWizard_[static_cast<std::size_t>(n)];
                const int left = x + gap + 120;
                l->hide();
                l->setText(QString::fromStdString(rs["fldCaption"].toText()));
                l->setProperty("tag", QString::number(g));
                const QSize hint = l->sizeHint();
                l->setGeometry(px(left), px(top), hint.width(), px(kLabelHeight));
                written[static_cast<std::size_t>(n)] = true;
                if (!hiddenInBar(g)) {
                    l->show();
                    x = twips(hint.width()) + left + 120;
                }
            }
            rs.moveNext();
        }
        // Labels this menu does not write keep nothing of an earlier, longer menu: a
        // stale hidden tag would run that menu's action.
        for (int n = 1; n <= kLastLabel; ++n) {
            if (written[static_cast<std::size_t>(n)]) continue;
            QLabel* l = lblWizard_[static_cast<std::size_t>(n)];
            l->hide();
            l->setText({});
            l->setProperty("tag", QString());
        }
        rs.close();
    } catch (...) {
        db.close();
        gsbErrorMsg("", true);
        return;
    }
    db.close();
    menuNo_ = iMenuNo;
    stepNo_ = 1;
    msbShowStep(1);
}

void frmMain::lblWizard_Click(int index) {
    try {
        msbShowStep(index);
    } catch (const runtime::Error& e) {
        gsbErrorMsg(e, false);
    }
}

void frmMain::msbShowNext() {
    try {
        const int n = stepNo_ + 1;
        QLabel* next = label(n);
        if (!next->isHidden()) {
            msbShowStep(next->text() == "終了" ? 0 : n);
        } else {
            msbShowStep(stepNo_ + 2);
        }
    } catch (const runtime::Error& e) {
        if (e.number() != 340 && e.number() != 341) gsbErrorMsg(e, false);
    }
}

void frmMain::msbShowBack() {
    try {
        if (!label(stepNo_ - 1)->isHidden()) {
            msbShowStep(stepNo_ - 1);
        } else if (!label(stepNo_ - 2)->isHidden()) {
            msbShowStep(stepNo_ - 2);
        } else {
            msbShowStep(stepNo_ - 3);
        }
    } catch (const runtime::Error& e) {
        if (e.number() != 340 && e.number() != 341) gsbErrorMsg(e, false);
    }
}

void frmMain::msbWizardEnable(bool fEnable) {
    QPalette pal = picWizard_->palette();
    pal.setColor(QPalette::Window, fEnable ? QColor(0xFF, 0xFF, 0xFF) : QColor(0xE2, 0xE2, 0xE2));
    picWizard_->setPalette(pal);
    picWizard_->setEnabled(fEnable);
    for (QLabel* l : lblWizard_) l->setEnabled(fEnable);
}

void frmMain::setStepBarEnabled(bool on) { picWizard_->setEnabled(on); }

void frmMain::msbMoveHighlight(int i) {
    QLabel* l = label(i);
    lblHighlight_->hide();
    lblHighlight_->raise();
    lblHighlight_->setGeometry(l->geometry());
    lblHighlight_->setText(l->text());
    lblHighlight_->setVisible(!l->isHidden());
    lblHighlight_->update();
}

std::string frmMain::mfnsActiveFormName() const { return page_ ? page_->objectName().toStdString() : std::string(); }

void frmMain::unloadActivePage() {
    if (!page_) return;
    wizard::Page* page = page_;
    page_ = nullptr;
    page->hide();
    // The page's own button may have asked for this step: its work ends now, the widget
    // goes once that event has returned.
    page->unloadPage();
    page->deleteLater();
}

void frmMain::showPage(int g) {
    unloadActivePage();
    page_ = wizard::makePage(g, client_);
    page_->setGeometry(client_->rect());
    page_->show();
    page_->msbShowForm(g, menuNo_);
}

void frmMain::showStartScreen() {
    picWizard_->hide();
    // The page area takes the bar's room now, not at the next layout pass, so the start
    // screen centres in the area it will be seen in.
    centralWidget()->layout()->activate();
    wizard_->msbShowForm();
}

void frmMain::msbShowStep(int i) {
    IdleOnExit idle(*this);
    forms::setScreenPointer(forms::vbHourglass);
    picWizard_->setEnabled(false);
    setEnabled(false);
    const int previous = stepNo_;
    stepNo_ = i;
    if (i > kLastLabel) {
        msbShowStep(0);
        return;
    }
    QLabel* l = label(i);
    int g = l->property("tag").toString().toInt();
    if (l->isHidden()) {
        if (g == 13) {
            g = 0;
        } else if (!runsHidden(g)) {
            msbShowStep(i + 1);
            return;
        }
    }
    const std::string name = mfnsActiveFormName();
    if (page_) page_->leavePage();
    if (g != 0) {
        if (g != 5) picWizard_->show();
    } else {
        if (gfChanged && !mfnfFileChangeSave()) {
            stepNo_ = previous;
            if (page_) page_->resumePage();
            return;
        }
        msbSetFileName("");
    }
    if (!name.empty() && g != 5 && g != 10 && g != 11 && g != 12 && g != 14) unloadActivePage();
    msbMoveHighlight(i);
    dispatch(g, i, previous);
}

void frmMain::backOut(int previous) {
    if (previous == 1) {
        showStartScreen();
        return;
    }
    if (page_) page_->resumePage();
    picWizard_->show();
    gsbOpenDatabase(gdbWork, gstrDataPath + std::string(kRegistDat));
    msbMoveHighlight(previous);
    stepNo_ = previous;
}

void frmMain::dispatch(int g, int i, int previous) {
    switch (g) {
    case 0:
        unloadActivePage();
        showStartScreen();
        break;
    case 5:
        gsbCloseDatabase(gdbWork);
        if (mfnfFileChangeSave()) {
            unloadActivePage();
            picWizard_->hide();
            showPage(5);
        } else {
            backOut(previous);
        }
        break;
    case 10:
        picWizard_->hide();
        if (mfnfFileNew()) {
            msbShowStep(i + 1);
        } else {
            wizard_->show();
        }
        break;
    case 11:
        picWizard_->hide();
        gsbCloseDatabase(gdbWork);
        if (mfnfFileChangeSave() && mfnfFileOpen()) {
            unloadActivePage();
            msbShowStep(i + 1);
        } else {
            backOut(previous);
        }
        break;
    case 12:
        if (pfnfFileSave("新規")) {
            gfChanged = vbFalse;
            unloadActivePage();
            showStartScreen();
        } else {
            if (page_) page_->resumePage();
            msbMoveHighlight(previous);
            stepNo_ = previous;
        }
        break;
    case 14:
        if (mfnfFileChangeSave()) {
            forms::setScreenPointer(forms::vbDefault);
            wizard_->hide();
            unloadByProgram();
        } else {
            if (page_) page_->resumePage();
            msbMoveHighlight(previous);
            stepNo_ = previous;
        }
        break;
    default:
        // Settings (1), day patterns (2, 3), calendar (4), card pages (6-9, 20), and any
        // other number the menus may carry: the page registered for it.
        showPage(g);
        break;
    }
}
