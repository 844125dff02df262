#include "wizard/progress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <QWindow>

#include "core/globals.h"
#include "forms/msgbox.h"
#include "forms/services.h"

frmWorking::frmWorking(QWidget* mainWindow)
    : QDialog(mainWindow, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName("frmWorking");
    setWindowTitle("動作中");
    setModal(false);
    lblWorking_ = new QLabel("データ書き込み中", this);
    pgbWorking_ = new QProgressBar(this);
    pgbWorking_->setRange(0, 100);
    pgbWorking_->setValue(0);
    pgbWorking_->setTextVisible(false);
    cmdCancel_ = new QPushButton("中止", this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblWorking_);
    layout->addWidget(pgbWorking_);
    layout->addWidget(cmdCancel_, 0, Qt::AlignHCenter);
    setFixedWidth(5900 / 15);
    adjustSize();
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    if (mainWindow) {
        const QWidget* area = mainWindow;
        move(area->geometry().left() + (area->width() - width()) / 2,
             area->geometry().top() + (area->height() - height()) / 2);
    }
    gfCancel = vbFalse;
}

frmWorking::~frmWorking() {
    forms::setScreenPointer(forms::vbDefault);
    forms::doEvents();
}

void frmWorking::msbShowForm(int iWorkingMax) {
    pgbWorking_->setRange(0, iWorkingMax);
    update();
}

void frmWorking::setVisible(bool visible) {
    QDialog::setVisible(visible);
    if (visible) paintNow();
}

void frmWorking::paintNow() {
    // The window system maps the window in its own time; wait for it, but never for long.
    constexpr int kWaitMs = 1000;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const QWindow* window = windowHandle();
        if (!window || window->isExposed() || waited.elapsed() >= kWaitMs) break;
        QThread::msleep(5);
    }
    repaint();
}

void frmWorking::cmdCancel_Click() {
    if (forms::MsgBox("中止するとカードが壊れる可能性があります。\r\n中止しますか？",
                      forms::vbYesNo | forms::vbCritical) == forms::vbYes)
        gfCancel = vbTrue;
}

void frmWorking::closeEvent(QCloseEvent* event) {
    // The window has no close command; only its owner ends it.
    event->ignore();
}
