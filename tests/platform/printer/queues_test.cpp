// The system's queues and page set-up come from a module loaded at their first use; the
// page set-up is answered as a user answers it, through the dialog's own buttons.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <functional>
#include <optional>

#include "printer/printer.h"
#include "runtime/error.h"

namespace {

printer::PrinterInfo fakePrinter() {
    printer::PrinterInfo info;
    info.deviceName = "Setup";
    info.pdfFile = "/nonexistent/never-printed.pdf";
    return info;
}

// A click on a widget (at its middle unless a point of it is given), through the window
// system.
void click(QWidget* w, std::optional<QPoint> at = std::nullopt) {
    QWidget* top = w->window();
    QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, w->mapTo(top, at.value_or(w->rect().center())));
}

// Runs `answer` on the page set-up dialog once it is up and waiting for the user.
void whenTheDialogIsUp(std::function<void(QDialog&)> answer) {
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
        answer(*dialog);
    });
}

long errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const runtime::Error& e) {
        return e.number();
    }
    return 0;
}

class Queues : public ::testing::Test {
protected:
    void SetUp() override {
        printer::setQueuesFolderForTesting(std::string(KV_BUILD_BIN_DIR));
        printer::setPrintersForTesting(std::vector{fakePrinter()});
        printer::selectPrinter(0);
    }
    void TearDown() override {
        printer::setQueuesFolderForTesting(std::nullopt);
        printer::setPrintersForTesting(std::nullopt);
    }
};

TEST_F(Queues, ThePageSetUpTakesTheUsersChoiceAndACancelChangesNothing) {
    printer::Printer& p = printer::currentPrinter();
    ASSERT_EQ(p.orientation(), printer::kPortrait);
    whenTheDialogIsUp([](QDialog& dialog) {
        auto* landscape = dialog.findChild<QRadioButton*>("landscape");
        ASSERT_NE(landscape, nullptr);
        click(landscape, QPoint(6, landscape->height() / 2));  // on its round mark
        auto* buttons = dialog.findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        click(buttons->button(QDialogButtonBox::Ok));
    });
    EXPECT_TRUE(p.setupDialog(nullptr));
    EXPECT_EQ(p.orientation(), printer::kLandscape);
    EXPECT_EQ(p.paperSize(), printer::kPaperA4);
    EXPECT_EQ(p.width(), 16838);

    whenTheDialogIsUp([](QDialog& dialog) {
        auto* portrait = dialog.findChild<QRadioButton*>("portrait");
        ASSERT_NE(portrait, nullptr);
        click(portrait, QPoint(6, portrait->height() / 2));
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(errorOf([] { printer::showPrinterSetup(nullptr); }), runtime::err::Cancel);
    EXPECT_EQ(p.orientation(), printer::kLandscape);
}

// A program folder without the module still prints to PDF; the page set-up, which only
// the module can show, reports a printer error rather than a cancel.
TEST_F(Queues, WithoutTheModuleThePdfPrinterIsTheOnlyPrinter) {
    printer::setQueuesFolderForTesting("/nonexistent");
    printer::setPrintersForTesting(std::nullopt);
    const auto list = printer::printers();
    ASSERT_EQ(list.size(), 1U);
    EXPECT_EQ(list.front().deviceName, "PDF");
    EXPECT_EQ(printer::defaultPrinterIndex(), 0);
    EXPECT_EQ(errorOf([] { printer::currentPrinter().setupDialog(nullptr); }), runtime::err::PrinterError);
}

}  // namespace
