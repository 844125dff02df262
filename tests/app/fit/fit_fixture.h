#pragma once
// The started main window at its default size with a new document and a scripted card
// control; helpers that check a page in the main window's page area or a window of its
// own, and that keep a screenshot when KV_FIT_SHOTS names a folder.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QScrollArea>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <functional>

#include "../card/card_window_fixture.h"
#include "fit_check.h"

namespace fittest {

class Fit : public cardtest::CardWindow {
protected:
    void SetUp() override {
        CardWindow::SetUp();
        newDocument();
        // Making the document leaves the window busy, as its callers expect; here a hand
        // goes on from it.
        main_->setEnabled(true);
    }

    // The part of the screen where the pages can be seen.
    QRect pageArea() const {
        QWidget* viewport = main_->findChild<QScrollArea*>("pageScroller")->viewport();
        return QRect(viewport->mapToGlobal(QPoint(0, 0)), viewport->size());
    }
    void expectPageFits(QWidget* page, const std::string& state) {
        expectNoFaults(fitFaults(page, pageArea()), state);
        shot(main_.get(), state);
    }
    void expectWindowFits(QWidget* window, const std::string& state) {
        expectNoFaults(fitFaults(window), state);
        shot(window, state);
    }
    static void expectNoFaults(const std::vector<std::string>& faults, const std::string& state) {
        std::string all;
        for (const auto& f : faults) all += "\n  " + f;
        EXPECT_TRUE(faults.empty()) << state << ":" << all;
    }
    static void shot(QWidget* w, const std::string& state) {
        if (const char* dir = std::getenv("KV_FIT_SHOTS")) saveScreenshot(w, std::string(dir) + "/" + state + ".png");
    }
    static void shot(QWidget* w, QWidget* box, const std::string& state) {
        if (const char* dir = std::getenv("KV_FIT_SHOTS"))
            saveScreenshot(w, box, std::string(dir) + "/" + state + ".png");
    }

    // Runs `run` with the real message boxes; `look` sees each box as it shows, and a hand
    // then clicks the button `look` names.
    void withRealBoxes(const std::function<void()>& run,
                       const std::function<QMessageBox::StandardButton(QMessageBox&)>& look) {
        struct Real {
            forms::DialogService* scripted;
            Real() : scripted(&forms::dialogService()) { forms::setDialogService(nullptr); }
            ~Real() { forms::setDialogService(scripted); }
        } real;
        QTimer hand;
        hand.setInterval(10);
        QObject::connect(&hand, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            QAbstractButton* button = box->button(look(*box));
            ASSERT_NE(button, nullptr);
            QTest::mouseClick(button, Qt::LeftButton);
        });
        hand.start();
        run();
    }
};

}  // namespace fittest
