#pragma once
// A program folder with a started main window and a scripted card control, and helpers
// to open the card window on a page.
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>

#include "../shell/shell_fixture.h"
#include "card/window.h"
#include "fake_control.h"
#include "forms/grid.h"
#include "wizard/progress.h"

namespace cardtest {

class CardWindow : public shelltest::ProgramFolder {
protected:
    void SetUp() override {
        ProgramFolder::SetUp();
        fakes_.prepare = [this](FakeCard& c) {
            c.setStatus(101);
            if (prepare) prepare(c);
        };
        started();
    }
    void TearDown() override {
        window_.reset();
        ProgramFolder::TearDown();
    }

    // The card window on page `formNo`; the fake control is prepared by `prepare` first.
    frmCard& open(int formNo) {
        if (!window_) window_ = std::make_unique<frmCard>(main_->clientArea());
        window_->msbShowForm(formNo, 0);
        return *window_;
    }
    // A new document as Regist.dat, for the write page.
    void newDocument() { ASSERT_TRUE(main_->mfnfMakeNewFile()); }
    FakeCard& fake() const { return *fakes_.card; }
    frmCard& w() { return *window_; }

    std::function<void(FakeCard&)> prepare;
    FakeCardClass fakes_;
    std::unique_ptr<frmCard> window_;
};

inline std::string text(const QLabel* l) { return l->text().toStdString(); }
inline std::string tip(const QWidget* w) { return w->toolTip().toStdString(); }

}  // namespace cardtest
