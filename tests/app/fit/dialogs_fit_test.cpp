// The windows of their own: each as it shows over the main window, with content that fills
// its lists.
#include <QApplication>
#include <QDialog>
#include <QScrollBar>
#include <QTest>
#include <QTableWidget>
#include <QTimer>
#include <QTreeView>

#include "calendar/calendar.h"
#include "calendar/year_window.h"
#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/messages.h"
#include "fit_fixture.h"
#include "patterns/frm_pattern_copy.h"
#include "print/modal.h"
#include "print/preview_window.h"
#include "print/print.h"
#include "print/print_dialog.h"
#include "printer/printer.h"
#include "shell/about.h"
#include "shell/error_check.h"
#include "wizard/folder_chooser.h"
#include "wizard/progress.h"

namespace fittest {
namespace {

// Windows that the shell's engineer puts right on the branch uishell.

class Dialogs : public Fit {
protected:
    void SetUp() override {
        Fit::SetUp();
        gsbOpenDatabase(gdbWork, file("Regist.dat"));
    }
    void TearDown() override {
        frmYear::setModalRunnerForTesting({});
        print::setModalRunner(nullptr);
        printer::setPrintersForTesting(std::nullopt);
        gsbCloseDatabase(gdbWork);
        Fit::TearDown();
    }

    // Runs open; the modal window it shows is checked, then closed as Esc closes it.
    void whenModal(const std::function<void()>& open, const std::function<void(QWidget&)>& check) {
        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (seen || !modal || !modal->isVisible()) return;
            seen = true;
            check(*modal);
            modal->reject();
        });
        poll.start(10);
        open();
        EXPECT_TRUE(seen) << "no modal window showed";
    }
};

TEST_F(Dialogs, AboutBoxAndProgressWindow) {
    frmAbout about(main_.get());
    about.show();
    expectWindowFits(&about, "about");
    frmWorking working(main_.get());
    working.msbShowForm(100);
    expectWindowFits(&working, "progress");
}

// The program's short messages, each in its own box titled with the program's name.
TEST_F(Dialogs, SmallMessageBoxesShowTheirTitleWhole) {
    for (int message : {2, 102, 108, 303}) {
        int seen = 0;
        withRealBoxes([&] { gfniMsgBox(message); },
                      [&](QMessageBox& box) {
                          ++seen;
                          EXPECT_EQ(box.windowTitle().toStdString(), gfnsAppTitle());
                          expectWindowFits(&box, "message_" + std::to_string(message));
                          return box.defaultButton() ? box.standardButton(box.defaultButton()) : QMessageBox::Ok;
                      });
        EXPECT_EQ(seen, 1) << message;
    }
}

TEST_F(Dialogs, PatternOverviewInBothModes) {
    for (int mode : {0, 1}) {
        frmPatternCopy overview(nullptr, main_.get());
        whenModal([&] { overview.mfnfShowForm(9, mode); },
                  [&](QWidget& w) { expectWindowFits(&w, "pattern_overview_" + std::to_string(mode)); });
    }
}

TEST_F(Dialogs, HolidayRuleEditor) {
    whenModal([&] { calendar::showHolidayRuleEditor(main_.get()); },
              [&](QWidget& w) { expectWindowFits(&w, "holiday_rules"); });
}

TEST_F(Dialogs, SpecialDayList) {
    gdbWork.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) "
                    "VALUES (2027, 1, 4, 9, '仕事始めの特別なスケジュール')");
    frmYear::setModalRunnerForTesting([&](frmYear& w) {
        w.show();
        expectWindowFits(&w, "special_day_list");
    });
    frmYear list;
    list.mfnfShowForm(0, -1);
}

TEST_F(Dialogs, DataCheckList) {
    // A special day of a pattern without steps blocks the card write: a warning row.
    gdbWork.execute("INSERT INTO tblYear (fldYear, fldMonth, fldDay, fldPattern, fldComment) VALUES (2027, 1, 4, 9, '')");
    whenModal([&] { frmError::gfnfCheckDataError(0, main_.get()); },
              [&](QWidget& w) { expectWindowFits(&w, "data_check"); });
}

TEST_F(Dialogs, FolderChooserInBothModes) {
    for (int mode : {0, 1}) {
        frmGetFolder chooser(main_.get());
        whenModal([&] { chooser.mfnsGetFolder(gstrDataPath, "新しいフォルダ", mode); },
                  [&](QWidget& w) {
                      const std::string state = "folder_chooser_" + std::to_string(mode);
                      // The tree opens at the chosen folder, and the summary shows all channels.
                      auto* tree = w.findChild<QTreeView*>();
                      const bool shown = tree && tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex()));
                      const bool summary = mode == 0 || chooser.sstMessage()->verticalScrollBar()->maximum() == 0;
                      EXPECT_TRUE(shown) << state << ": the chosen folder is out of view";
                      EXPECT_TRUE(summary) << state << ": the summary hides channels";
                      expectWindowFits(&w, state);
                  });
    }
}

TEST_F(Dialogs, PrintDialogOfEachKindOfPrint) {
    printer::PrinterInfo pdf;
    pdf.deviceName = "Laser";
    pdf.driverName = "fake driver";
    pdf.port = "Laser:";
    pdf.pdfFile = file("Laser.pdf");
    pdf.dpiX = pdf.dpiY = 600;
    printer::setPrintersForTesting(std::vector<printer::PrinterInfo>{pdf}, 0);
    printer::selectDefaultPrinter();
    int shown = 0;
    print::setModalRunner([&](QDialog& w) {
        w.show();
        if (auto* preview = qobject_cast<frmPrintPreview*>(&w)) {
            // The paper is larger than its view by design: the preview's scroll bars move it.
            std::vector<std::string> faults;
            for (const auto& f : fitFaults(preview))
                if (f.find("'picPaper'") == std::string::npos) faults.push_back(f);
            expectNoFaults(faults, "print_preview");
            shot(preview, "print_preview");
            return;
        }
        expectWindowFits(&w, "print_" + std::to_string(++shown));
        // The first dialog also shows its page preview.
        if (shown == 1) QTest::mouseClick(static_cast<frmPrinter&>(w).cmdPreview(), Qt::LeftButton);
    });
    // Print mode and item: messages, holidays, special days, calendar, settings, patterns.
    for (auto [mode, no] : std::vector<std::pair<int, int>>{{0, 0}, {2, 0}, {3, 0}, {4, 0}, {6, 1}, {7, 1}, {8, 8}, {9, 9}})
        gsbShowPrinter(static_cast<std::int16_t>(mode), static_cast<std::int16_t>(no));
}

}  // namespace
}  // namespace fittest
