#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QScrollBar>
#include <QTest>

#include <csignal>

#include "core/strings.h"
#include "forms/controls.h"
#include "forms/services.h"
#include "print/modal.h"
#include "print/preview_window.h"
#include "print/print.h"
#include "print/print_dialog.h"
#include "print_fixture.h"
#include "printer/preview.h"
#include "runtime/events.h"

namespace {

using printtest::errorOf;

// Drives the dialogs modally shown: the first handler gets the print dialog, the next
// ones the windows shown from it (the preview).
class PrintDialog : public printtest::PrintTest {
protected:
    void SetUp() override {
        PrintTest::SetUp();
        print::dialogMemory() = print::DialogMemory{};
        print::sinks().previewCanvas = nullptr;
        print::sinks().progress = nullptr;
        print::setModalRunner([this](QDialog& window) {
            ++shown_;
            ASSERT_FALSE(handlers_.empty()) << "unexpected window " << window.objectName().toStdString();
            auto handler = std::move(handlers_.front());
            handlers_.erase(handlers_.begin());
            handler(window);
        });
        usePrinters({fakePrinter("Laser"), fakePrinter("Office")}, 1);
    }
    void TearDown() override {
        print::setModalRunner(nullptr);
        runtime::setDoEventsHook(nullptr);
        PrintTest::TearDown();
    }
    void then(std::function<void(frmPrinter&)> handler) {
        handlers_.push_back([handler](QDialog& w) { handler(dynamic_cast<frmPrinter&>(w)); });
    }
    void thenPreview(std::function<void(frmPrintPreview&)> handler) {
        handlers_.push_back([handler](QDialog& w) { handler(dynamic_cast<frmPrintPreview&>(w)); });
    }
    void stepsOn(int pattern) { addSteps(pattern, {{8, 0, 1}, {12, 0, 3}}); exec("UPDATE tblDayPattern SET fldStep = -1 WHERE fldNo = " + std::to_string(pattern)); }

    // A PDF an earlier print left, which a discarded job must not touch.
    void printEarlierFile() {
        usePrinters({fakePrinter("Laser"), fakePrinter("Office")}, 1);
        printer::Printer& p = printer::currentPrinter();
        p.print("earlier print");
        p.endDoc();
        earlier_ = pdfText("Office");
        ASSERT_NE(earlier_.find("earlier print"), std::string::npos);
    }
    // Sets the paper the dialog starts with.
    void usePaper(int code) {
        dao::Database master = dao::Database::open(file("Master.dat"));
        master.execute("UPDATE tblOption SET fldOptionValue = ?1 WHERE fldOptionItem = '用紙サイズ'", {std::to_string(code)});
    }

    std::vector<std::function<void(QDialog&)>> handlers_;
    int shown_ = 0;
    std::string earlier_;
};

TEST_F(PrintDialog, NoPrinterShowsMessage202AndNoDialog) {
    usePrinters({});
    dialogs_.expect("このコンピュータで使用できるプリンタがありません。");
    gsbShowPrinter(0, 0);
    EXPECT_EQ(shown_, 0);
    EXPECT_EQ(dialogs_.pending(), 0u);
}

TEST_F(PrintDialog, WeekdayModeOffersThePatternOrAllAndPrintsAll) {
    stepsOn(1);
    stepsOn(5);
    then([](frmPrinter& d) {
        EXPECT_EQ(d.windowTitle().toStdString(), "印刷 - 曜日スケジュール");
        EXPECT_EQ(d.optObject(0)->text().toStdString(), gfnsGetPatternName(3) + "のみ");
        EXPECT_EQ(d.optObject(1)->text().toStdString(), "全ての曜日スケジュール");
        EXPECT_TRUE(d.optObject(0)->value());
        EXPECT_FALSE(d.optMode(0)->isEnabled());
        EXPECT_EQ(d.cboPrinter()->currentText().toStdString(), "Office");
        EXPECT_EQ(d.lblPrinterInfo()->text().toStdString(), "Office:");
        EXPECT_FALSE(d.cmdPreview()->isVisible() && !d.cmdPreview()->isHidden());
        d.optObject(1)->setValue(true);
        d.cmdPrint_Click();
        EXPECT_TRUE(d.isUnloaded());
    });
    dialogs_.expect("印刷が終了しました。");
    gsbShowPrinter(7, 3);
    EXPECT_EQ(printertest::pdfInfo(file("Office.pdf"), "Pages"), "2");
    const std::string text = pdfText("Office");
    EXPECT_NE(text.find("スケジュール一覧"), std::string::npos);
    EXPECT_NE(text.find(gfnsGetPatternName(5)), std::string::npos);
    EXPECT_NE(text.find("1／2"), std::string::npos);
    EXPECT_EQ(printer::currentPrinter().deviceName(), "Office");
}

// While it prints the dialog keeps its size and its buttons stay where the user clicked.
TEST_F(PrintDialog, PrintingMovesNothing) {
    stepsOn(1);
    stepsOn(2);
    struct Look {
        QSize size;
        QRect print, back;
    };
    auto lookAt = [](frmPrinter& d) { return Look{d.size(), d.cmdPrint()->geometry(), d.cmdBack()->geometry()}; };
    frmPrinter* running = nullptr;
    std::vector<Look> during;
    runtime::setDoEventsHook([&] {
        QApplication::processEvents();
        if (running && running->lblPrint()->isVisible()) during.push_back(lookAt(*running));
    });
    Look before;
    then([&](frmPrinter& d) {
        d.show();
        QApplication::processEvents();
        before = lookAt(d);
        d.optObject(1)->setValue(true);
        running = &d;
        QTest::mouseClick(d.cmdPrint(), Qt::LeftButton);
        running = nullptr;
    });
    dialogs_.expect("印刷が終了しました。");
    gsbShowPrinter(7, 1);
    ASSERT_FALSE(during.empty()) << "no page progress was shown";
    auto text = [](const QRect& r) { return std::to_string(r.x()) + "," + std::to_string(r.y()) + " " +
                                           std::to_string(r.width()) + "x" + std::to_string(r.height()); };
    for (const Look& look : during) {
        EXPECT_EQ(text(QRect(QPoint(), look.size)), text(QRect(QPoint(), before.size))) << "the dialog grew";
        EXPECT_EQ(text(look.print), text(before.print)) << "印刷 moved";
        EXPECT_EQ(text(look.back), text(before.back)) << "中止 moved";
    }
}

TEST_F(PrintDialog, UndefinedModesEndTheProgram) {
    for (int mode : {1, 5, 55}) {
        dialogs_.expect("内部エラーが発生しました。");
        EXPECT_THROW(gsbShowPrinter(static_cast<std::int16_t>(mode), 0), forms::ProgramEnded) << mode;
        EXPECT_EQ(shown_, 0);
    }
}

TEST_F(PrintDialog, MissingOptionsAreWrittenWithTheirDefaults) {
    {
        dao::Database master = dao::Database::open(file("Master.dat"));
        master.execute("DELETE FROM tblOption WHERE fldOptionItem LIKE '印刷%' OR fldOptionItem LIKE '用紙%'");
        master.execute("INSERT INTO tblOption (fldOptionItem, fldOptionValue) VALUES ('印刷の右余白', '0')");
    }
    then([](frmPrinter& d) {
        EXPECT_EQ(d.txtMargin(0)->text(), "25");
        EXPECT_EQ(d.txtMargin(1)->text(), "15");
        EXPECT_EQ(d.txtMargin(2)->text(), "15");
        EXPECT_EQ(d.txtMargin(3)->text(), "15");
        EXPECT_EQ(d.txtWidthLine()->text(), "4");
        EXPECT_EQ(d.lblPaperSize()->text().toStdString(), "Ａ４（210×297mm）");
        d.cmdBack_Click();
    });
    gsbShowPrinter(2, 0);
    dao::Database master = dao::Database::open(file("Master.dat"));
    auto rs = master.openRecordset(
        "SELECT COUNT(*) AS n FROM tblOption WHERE fldOptionItem LIKE '印刷%' OR fldOptionItem LIKE '用紙%'");
    EXPECT_EQ(rs["n"].toInt(), 8);
    EXPECT_EQ(master.openRecordset("SELECT fldOptionValue FROM tblOption WHERE fldOptionItem = '印刷の右余白'")["fldOptionValue"].toText(), "15");
}

TEST_F(PrintDialog, UserPaperCaption) {
    {
        dao::Database master = dao::Database::open(file("Master.dat"));
        master.execute("DELETE FROM tblOption WHERE fldOptionItem LIKE '用紙%'");
        master.execute("INSERT INTO tblOption (fldOptionItem, fldOptionValue) VALUES ('用紙サイズ', '256'), ('用紙幅', '100'), ('用紙高さ', '150')");
    }
    then([](frmPrinter& d) {
        EXPECT_EQ(d.lblPaperSize()->text().toStdString(), "100×150mm");
        d.cmdBack_Click();
    });
    gsbShowPrinter(2, 0);
    EXPECT_EQ(print::state().pageWidth, 5670);
}

TEST_F(PrintDialog, MarginsAndPrinterAreRememberedWithinARun) {
    then([](frmPrinter& d) {
        d.txtMargin(0)->setText("30");
        d.cboPrinter()->setCurrentIndex(0);
        d.cboPrinter_Click();
        d.cmdBack_Click();
    });
    then([](frmPrinter& d) {
        EXPECT_EQ(d.txtMargin(0)->text(), "30");
        EXPECT_EQ(d.cboPrinter()->currentText().toStdString(), "Laser");
        d.cmdBack_Click();
    });
    gsbShowPrinter(2, 0);
    gsbShowPrinter(2, 0);
    // Only one printer left: the default one is offered again.
    usePrinters({fakePrinter("Solo")}, 0);
    print::dialogMemory().chosenPrinter = 2;
    then([](frmPrinter& d) {
        EXPECT_EQ(d.cboPrinter()->currentText().toStdString(), "Solo");
        d.cmdBack_Click();
    });
    gsbShowPrinter(2, 0);
}

TEST_F(PrintDialog, NumberFieldsAreHeldToTheirLimits) {
    then([](frmPrinter& d) {
        forms::resetBeepCount();
        d.txtMargin(1)->setText("45");
        EXPECT_EQ(d.txtMargin(1)->text(), "30");
        EXPECT_EQ(d.txtMargin(1)->selectedText(), "30");
        d.txtWidthLine()->setText("9");
        EXPECT_EQ(d.txtWidthLine()->text(), "5");
        d.txtWidthLine()->setText("0");
        EXPECT_EQ(d.txtWidthLine()->text(), "1");
        EXPECT_EQ(forms::beepCount(), 3);
        d.cmdBack_Click();
    });
    gsbShowPrinter(2, 0);
}

TEST_F(PrintDialog, SaveStoresTheMarginsInLogMode) {
    gintLogMode = vbTrue;
    then([](frmPrinter& d) {
        EXPECT_FALSE(d.cmdSave()->isHidden());
        d.txtMargin(1)->setText("20");
        d.cmdSave_Click();
        d.cmdBack_Click();
    });
    dialogs_.expect("余白欄の設定を保存しますか？", forms::vbYes);
    gsbShowPrinter(2, 0);
    dao::Database master = dao::Database::open(file("Master.dat"));
    EXPECT_EQ(master.openRecordset("SELECT fldOptionValue FROM tblOption WHERE fldOptionItem = '印刷の上余白'")["fldOptionValue"].toText(), "20");
}

TEST_F(PrintDialog, YearBoxesKeepTheRangeOrdered) {
    then([](frmPrinter& d) {
        EXPECT_TRUE(d.optMode(0)->value());
        EXPECT_EQ(d.cboYear(0)->count(), 10);
        EXPECT_EQ(d.cboYear(0)->itemText(0).toStdString(), "２０２７年");
        d.cboYear(0)->setCurrentIndex(3);
        d.cboYear_Click(0);
        EXPECT_TRUE(d.optMode(1)->value());
        EXPECT_EQ(d.cboYear(1)->currentIndex(), 3);
        d.cboYear(1)->setCurrentIndex(1);
        d.cboYear_Click(1);
        EXPECT_EQ(d.cboYear(0)->currentIndex(), 1);
        // A reversed range set by other means is refused.
        d.cboYear(0)->setCurrentIndex(5);
        d.cmdPrint_Click();
        EXPECT_FALSE(d.isUnloaded());
        d.cmdBack_Click();
    });
    dialogs_.expect("年の指定が不正です。");
    gsbShowPrinter(3, 0);
}

TEST_F(PrintDialog, CalendarFormToggleNeedsShiftCtrlRightClick) {
    then([](frmPrinter& d) {
        EXPECT_EQ(d.lblOrientation()->text().toStdString(), "横方向");
        d.optObject_MouseUp(0, forms::vbRightButton, forms::vbShiftMask);
        EXPECT_EQ(d.printMode(), 4);
        d.optObject_MouseUp(1, forms::vbRightButton, forms::vbShiftMask | forms::vbCtrlMask);
        EXPECT_EQ(d.printMode(), 4);
        d.optObject_MouseUp(0, forms::vbRightButton, forms::vbShiftMask | forms::vbCtrlMask);
        EXPECT_EQ(d.printMode(), 104);
        EXPECT_EQ(d.optObject(0)->text().toStdString(), "カレンダー形式（縮小）");
        d.optObject_MouseUp(0, forms::vbRightButton, forms::vbShiftMask | forms::vbCtrlMask);
        EXPECT_EQ(d.printMode(), 4);
        EXPECT_EQ(d.optObject(0)->text().toStdString(), "カレンダー形式");
        d.cmdBack_Click();
    });
    gsbShowPrinter(4, 0);
}

TEST_F(PrintDialog, NothingPrintedLeavesTheDialogOpen) {
    then([](frmPrinter& d) {
        d.cmdPrint_Click();
        EXPECT_FALSE(d.isUnloaded());
        EXPECT_TRUE(d.cmdPrint()->isEnabled());
        EXPECT_TRUE(d.txtMargin(0)->isEnabled());
        d.cmdBack_Click();
    });
    dialogs_.expect("登録がありません。", forms::vbNo);
    gsbShowPrinter(3, 0);
    EXPECT_FALSE(std::filesystem::exists(file("Office.pdf")));
}

TEST_F(PrintDialog, WriteInformationModePrintsNothing) {
    then([](frmPrinter& d) {
        EXPECT_EQ(d.windowTitle().toStdString(), "印刷 - 書き込み情報");
        d.cmdPrint_Click();
        EXPECT_FALSE(d.isUnloaded());
        d.cmdBack_Click();
    });
    gsbShowPrinter(10, 0);
    EXPECT_FALSE(std::filesystem::exists(file("Office.pdf")));
}

TEST_F(PrintDialog, PrinterSetUpCancelIsQuiet) {
    gintLogMode = vbTrue;
    int asked = 0;
    printer::setPrinterSetupForTesting([&asked](printer::Printer& p) {
        ++asked;
        p.setOrientation(printer::kLandscape);
        return asked == 1;
    });
    then([](frmPrinter& d) {
        EXPECT_FALSE(d.cmdProperty()->isHidden());
        d.cmdProperty_Click();
        d.cmdProperty_Click();  // cancelled: nothing shown
        d.cmdBack_Click();
    });
    gsbShowPrinter(2, 0);
    printer::setPrinterSetupForTesting(nullptr);
    EXPECT_EQ(asked, 2);
}

TEST_F(PrintDialog, PrinterErrorShowsMessage201AndCloses) {
    auto broken = fakePrinter("Broken");
    broken.pdfFile = file("missing-folder/Broken.pdf");
    usePrinters({fakePrinter("Good"), broken}, 0);
    then([](frmPrinter& d) {
        d.cboPrinter()->setCurrentIndex(1);
        d.cboPrinter_Click();
        d.cmdPrint_Click();
        EXPECT_TRUE(d.isUnloaded());
    });
    dialogs_.expect("プリンタ出力中にエラーが発生しました。");
    gsbShowPrinter(2, 0);
    EXPECT_EQ(printer::currentPrinter().deviceName(), "Good");
}

TEST_F(PrintDialog, CancelDiscardsTheJobSilently) {
    stepsOn(1);
    stepsOn(2);
    frmPrinter* dialog = nullptr;
    runtime::setDoEventsHook([&dialog] {
        if (dialog && !dialog->cmdPrint()->isEnabled()) dialog->cmdBack_Click();
    });
    then([&dialog](frmPrinter& d) {
        dialog = &d;
        d.optObject(1)->setValue(true);
        d.cmdPrint_Click();
        dialog = nullptr;
        EXPECT_TRUE(d.isUnloaded());
    });
    printEarlierFile();
    gsbShowPrinter(7, 1);
    EXPECT_EQ(pdfText("Office"), earlier_);
    EXPECT_FALSE(print::state().cancelRequest);
}

TEST_F(PrintDialog, AFailedOrTooLongJobKeepsTheEarlierFile) {
    // A settings list far longer than its one page: its positions leave the 16-bit range.
    for (int i = 0; i < 300; ++i)
        exec("INSERT INTO tblSetting (fldType, fldOrder, fldNo, fldItem, fldValue, fldAddress) VALUES (1, " +
             std::to_string(100 + i) + ", 2, 'x', '1', '8')");
    printEarlierFile();
    then([](frmPrinter& d) {
        d.cmdPrint_Click();
        EXPECT_TRUE(d.isUnloaded());
    });
    dialogs_.expect("プリンタ出力中にエラーが発生しました。");
    EXPECT_NO_THROW(gsbShowPrinter(6, 1));
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_EQ(pdfText("Office"), earlier_);
    EXPECT_FALSE(printer::currentPrinter().printing());
}

// The disk fills while the job is finished: the user is told the print failed rather
// than that it ended, and the earlier PDF file stays whole.
TEST_F(PrintDialog, AJobThatFailsAsItIsFinishedShows201AndKeepsTheEarlierFile) {
    for (int p : {1, 2, 3}) stepsOn(p);
    printEarlierFile();
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    then([&saved](frmPrinter& d) {
        d.show();
        QTest::mouseClick(d.optObject(1), Qt::LeftButton);
        struct rlimit tight = saved;
        tight.rlim_cur = 4 * 1024;  // a file size limit refuses the job's writes, as a full disk does
        ::setrlimit(RLIMIT_FSIZE, &tight);
        QTest::mouseClick(d.cmdPrint(), Qt::LeftButton);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_TRUE(d.isUnloaded());
    });
    dialogs_.expect("プリンタ出力中にエラーが発生しました。");
    gsbShowPrinter(7, 1);
    ::signal(SIGXFSZ, previous);
    EXPECT_EQ(dialogs_.pending(), 0u);
    EXPECT_EQ(pdfText("Office"), earlier_);
    for (const auto& entry : std::filesystem::directory_iterator(dir_))
        EXPECT_EQ(entry.path().filename().string().find(".KV_M58S-job-"), std::string::npos) << entry.path();
}

// Paper code 12 prints on the page its caption names, which the preview shows too.
TEST_F(PrintDialog, B4PrintsOnThePageItsCaptionNames) {
    stepsOn(1);
    usePaper(12);
    then([](frmPrinter& d) {
        EXPECT_EQ(d.lblPaperSize()->text().toStdString(), "Ｂ４（250×354mm）");
        d.show();
        QTest::mouseClick(d.cmdPrint(), Qt::LeftButton);
    });
    dialogs_.expect("印刷が終了しました。");
    gsbShowPrinter(7, 1);
    EXPECT_EQ(printertest::pdfInfo(file("Office.pdf"), "Page size"), "709 x 1003 pts");
}

TEST_F(PrintDialog, PreviewOfANarrowPageKeepsItsSideBarStill) {
    for (int p : {1, 3}) stepsOn(p);
    for (int code : {11, 13}) {  // A5, B5
        SCOPED_TRACE(code);
        usePaper(code);
        then([this](frmPrinter& d) {
            d.optObject(1)->setValue(true);
            thenPreview([](frmPrintPreview& v) {
                v.Form_Activate();
                for (int page = 0; page < 2; ++page) {
                    EXPECT_FALSE(v.hsbPage()->isEnabled()) << page;
                    EXPECT_EQ(v.hsbPage()->maximum(), 0) << page;
                    EXPECT_TRUE(v.vsbPage()->isEnabled()) << page;
                    v.cmdPageNext()->press();
                }
                v.cmdBack()->press();
            });
            d.cmdPreview_Click();
            d.cmdBack_Click();
        });
        gsbShowPrinter(7, 1);
    }
}

TEST_F(PrintDialog, ClosingTheWindowDuringARunIsRefused) {
    frmPrinter* dialog = nullptr;
    bool closed = true;
    runtime::setDoEventsHook([&] {
        if (dialog && !dialog->cmdPrint()->isEnabled()) closed = dialog->close();
    });
    then([&dialog](frmPrinter& d) {
        dialog = &d;
        d.cmdPrint_Click();
        dialog = nullptr;
    });
    dialogs_.expect("印刷が終了しました。");
    gsbShowPrinter(0, 0);
    EXPECT_FALSE(closed);
    EXPECT_TRUE(std::filesystem::exists(file("Office.pdf")));
}

TEST_F(PrintDialog, StaleCancelDoesNotStopTheNextRun) {
    gsbCancelPrint();
    then([](frmPrinter& d) { d.cmdPrint_Click(); });
    dialogs_.expect("印刷が終了しました。");
    gsbShowPrinter(0, 0);
    EXPECT_TRUE(std::filesystem::exists(file("Office.pdf")));
}

TEST_F(PrintDialog, PreviewStepsThroughThePages) {
    gintLogMode = vbTrue;
    for (int p : {1, 3, 6}) stepsOn(p);
    then([this](frmPrinter& d) {
        d.optObject(1)->setValue(true);
        thenPreview([](frmPrintPreview& v) {
            EXPECT_EQ(v.windowTitle().toStdString(), "プレビュー");
            EXPECT_EQ(v.lblPageNo()->text(), "1");
            EXPECT_EQ(v.lblPageCount()->text(), "3");
            EXPECT_FALSE(v.lblPageNo()->isHidden());
            EXPECT_FALSE(v.cmdPageBack()->isEnabled());
            EXPECT_TRUE(v.cmdPageNext()->isEnabled());
            v.Form_Activate();
            EXPECT_TRUE(v.vsbPage()->maximum() > 0);
            EXPECT_EQ(v.vsbPage()->singleStep(), v.vsbPage()->maximum() / 2);
            v.cmdPageNext()->press();
            v.cmdPageNext()->press();
            EXPECT_EQ(v.lblPageNo()->text(), "3");
            EXPECT_FALSE(v.cmdPageNext()->isEnabled());
            EXPECT_TRUE(v.cmdPageBack()->isEnabled());
            forms::resetBeepCount();
            v.cmdPageNext()->press();
            EXPECT_EQ(forms::beepCount(), 1);
            v.cmdPageBack()->press();
            v.cmdPageBack()->press();
            EXPECT_FALSE(v.cmdPageBack()->isEnabled());
            v.cmdBack()->press();
        });
        d.cmdPreview_Click();
        EXPECT_FALSE(d.isUnloaded());
        EXPECT_EQ(d.preview(), nullptr);
        d.cmdBack_Click();
    });
    gsbShowPrinter(7, 1);
    EXPECT_EQ(shown_, 2);
    EXPECT_FALSE(std::filesystem::exists(file("Office.pdf")));
}

TEST_F(PrintDialog, TestPagesInBothOrientations) {
    gintLogMode = vbTrue;
    then([](frmPrinter& d) {
        d.cmdTest_Click(1);
        EXPECT_EQ(d.printMode(), 2);
        EXPECT_EQ(d.lblOrientation()->text().toStdString(), "縦方向");
    });
    dialogs_.expect("印刷が終了しました。");
    gsbShowPrinter(2, 0);
    std::string text = pdfText("Office");
    EXPECT_NE(text.find("機能設定一覧"), std::string::npos);
    EXPECT_NE(text.find("DeviceName"), std::string::npos);
    EXPECT_NE(text.find("左余白：25"), std::string::npos);
    EXPECT_NE(text.find("罫線幅：4"), std::string::npos);
    EXPECT_EQ(text.find("DriverName"), std::string::npos);
    EXPECT_EQ(printertest::pdfInfo(file("Office.pdf"), "Page size"), "842 x 595 pts (A4)");

    then([](frmPrinter& d) { d.cmdTest_Click(0); });
    dialogs_.expect("印刷が終了しました。");
    gsbShowPrinter(2, 0);
    text = pdfText("Office");
    EXPECT_NE(text.find("Bottom_Margin"), std::string::npos);
}

}  // namespace
