#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QImage>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <csignal>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>

#include "pdf_reader.h"
#include "printer/preview.h"
#include "printer/printer.h"
#include "printer/recording.h"
#include "runtime/error.h"

namespace {

using printer::CanvasOp;

long errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const runtime::Error& e) {
        return e.number();
    }
    return 0;
}

class PdfPrinter : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kv-printer-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        printer::setPrintersForTesting(std::nullopt);
        std::filesystem::remove_all(dir_);
    }
    printer::PrinterInfo fake(const std::string& name, int offset = 0) {
        printer::PrinterInfo info;
        info.deviceName = name;
        info.driverName = "fake";
        info.port = "LPT1:";
        info.pdfFile = (dir_ / (name + ".pdf")).string();
        info.offsetX = info.offsetY = offset;
        return info;
    }
    std::filesystem::path dir_;
};

TEST(RecordingCanvas, MeasuresByShiftJisBytesAndFontSize) {
    printer::RecordingCanvas c(11907, 16840);
    c.setFontSize(9);
    EXPECT_EQ(c.textWidth("N"), 90);
    EXPECT_EQ(c.textWidth("Ｗ"), 180);
    EXPECT_EQ(c.textWidth("ﾒｯｾｰｼﾞ"), 540);
    EXPECT_EQ(c.textHeight("1"), 180);
    c.setFontSize(11);
    c.setCurrentX(100);
    c.setCurrentY(200);
    c.print("ab");
    c.newPage();
    c.line(0, 0, 10, 10, 0);
    ASSERT_EQ(c.ops().size(), 3u);
    const CanvasOp& text = c.ops()[0];
    EXPECT_EQ(text.text, "ab");
    EXPECT_EQ(text.x1, 100);
    EXPECT_EQ(text.y1, 200);
    EXPECT_EQ(text.fontSize, 11);
    EXPECT_EQ(text.page, 1);
    EXPECT_EQ(c.ops()[2].page, 2);
    EXPECT_EQ(c.texts(2).size(), 0u);
}

TEST_F(PdfPrinter, PrintsPagesIntoTheFileOnEndDoc) {
    printer::setPrintersForTesting(std::vector{fake("One"), fake("Two")}, 1);
    printer::selectDefaultPrinter();
    printer::Printer& p = printer::currentPrinter();
    EXPECT_EQ(p.deviceName(), "Two");
    p.setFontName("ＭＳ ゴシック");
    p.setFontSize(12);
    p.setCurrentX(1440);
    p.setCurrentY(1440);
    p.print("一ページ目 first");
    p.line(1440, 2000, 5000, 2000, 0);
    p.newPage();
    p.setCurrentX(1440);
    p.setCurrentY(1440);
    p.print("二ページ目 second");
    EXPECT_TRUE(p.printing());
    p.endDoc();
    EXPECT_FALSE(p.printing());
    const std::string pdf = (dir_ / "Two.pdf").string();
    EXPECT_EQ(printertest::pdfInfo(pdf, "Pages"), "2");
    const std::string text = printertest::pdfText(pdf);
    EXPECT_NE(text.find("一ページ目 first"), std::string::npos) << text;
    EXPECT_NE(text.find("\f"), std::string::npos);
    EXPECT_LT(text.find("first"), text.find("second"));
}

TEST_F(PdfPrinter, PaperSizeOrientationAndPrintableArea) {
    // 150 pixels at 600 dots per inch: a quarter inch, 360 twips, on each side.
    printer::setPrintersForTesting(std::vector{fake("Edge", 150)});
    printer::selectPrinter(0);
    printer::Printer& p = printer::currentPrinter();
    EXPECT_EQ(p.paperSize(), printer::kPaperA4);
    EXPECT_EQ(p.width(), 11906);
    EXPECT_EQ(p.height(), 16838);
    EXPECT_EQ(p.physicalOffsetX(), 150);
    EXPECT_DOUBLE_EQ(p.scaleWidth(), 11906 - 720);
    p.setOrientation(printer::kLandscape);
    EXPECT_EQ(p.width(), 16838);
    EXPECT_EQ(p.height(), 11906);
    p.setCurrentX(0);
    p.setCurrentY(0);
    p.print("landscape");
    p.endDoc();
    EXPECT_EQ(printertest::pdfInfo((dir_ / "Edge.pdf").string(), "Page size"), "842 x 595 pts (A4)");

    // B4 prints on the 250 × 354 mm page its caption names and the preview shows.
    p.setPaperSize(printer::kPaperB4);
    p.setOrientation(printer::kPortrait);
    EXPECT_EQ(p.width(), std::round(250 * 1440 / 25.4));
    EXPECT_EQ(p.height(), std::round(354 * 1440 / 25.4));
    p.print("b4");
    p.endDoc();
    EXPECT_EQ(printertest::pdfInfo((dir_ / "Edge.pdf").string(), "Page size"), "709 x 1003 pts");

    p.setPaperSize(printer::kPaperUser);
    p.setOrientation(printer::kPortrait);
    p.setWidth(5670);
    p.setHeight(8505);
    EXPECT_EQ(p.width(), 5670);
    EXPECT_EQ(p.height(), 8505);
    EXPECT_EQ(errorOf([&] { p.setPaperSize(77); }), 380);
}

TEST_F(PdfPrinter, KillDocDiscardsTheJobAndKeepsTheEarlierFile) {
    printer::setPrintersForTesting(std::vector{fake("Kept")});
    printer::selectPrinter(0);
    printer::Printer& p = printer::currentPrinter();
    p.print("earlier");
    p.endDoc();
    const std::string earlier = printertest::pdfText((dir_ / "Kept.pdf").string());
    ASSERT_NE(earlier.find("earlier"), std::string::npos);
    p.print("never");
    p.newPage();
    p.killDoc();
    EXPECT_FALSE(p.printing());
    EXPECT_EQ(printertest::pdfText((dir_ / "Kept.pdf").string()), earlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1) << "no job file left";
}

TEST_F(PdfPrinter, AQueueGetsOnlyFinishedJobs) {
    struct Submitted {
        std::string queue;
        std::string text;
    };
    std::vector<Submitted> submitted;
    bool accept = true;
    printer::setQueueSubmitForTesting([&](const std::string& queue, const std::string& pdf) {
        submitted.push_back({queue, printertest::pdfText(pdf)});
        return accept;
    });
    auto queue = fake("Queue");
    queue.pdfFile.clear();
    printer::setPrintersForTesting(std::vector{queue});
    printer::selectPrinter(0);
    printer::Printer& p = printer::currentPrinter();
    p.print("discarded");
    p.killDoc();
    EXPECT_TRUE(submitted.empty());
    p.print("sent");
    p.endDoc();
    ASSERT_EQ(submitted.size(), 1u);
    EXPECT_EQ(submitted[0].queue, "Queue");
    EXPECT_NE(submitted[0].text.find("sent"), std::string::npos);
    accept = false;  // the spooler refuses the job
    p.print("refused");
    EXPECT_EQ(errorOf([&] { p.endDoc(); }), 482);
    EXPECT_FALSE(p.printing());
    printer::setQueueSubmitForTesting(nullptr);
}

// The disk fills while a job is written: Qt's PDF writer reports nothing, yet the job
// must not be sent, and the earlier PDF file stays.
TEST_F(PdfPrinter, AJobThatDoesNotReachTheDiskWholeKeepsTheEarlierFile) {
    printer::setPrintersForTesting(std::vector{fake("Full")});
    printer::selectPrinter(0);
    printer::Printer& p = printer::currentPrinter();
    p.print("earlier");
    p.endDoc();
    const std::string pdf = (dir_ / "Full.pdf").string();
    const std::string earlier = printertest::pdfText(pdf);
    ASSERT_NE(earlier.find("earlier"), std::string::npos);

    // A file size limit refuses the job's last writes, as a full disk does.
    struct rlimit saved {};
    ::getrlimit(RLIMIT_FSIZE, &saved);
    const auto previous = ::signal(SIGXFSZ, SIG_IGN);
    for (int page = 1; page <= 3; ++page) {
        if (page > 1) p.newPage();
        for (int line = 0; line < 10; ++line) {
            p.setCurrentX(1440);
            p.setCurrentY(1440 + 300 * line);
            p.print("年間スケジュール " + std::to_string(page) + "-" + std::to_string(line));
        }
    }
    struct rlimit tight = saved;
    tight.rlim_cur = 4 * 1024;
    ::setrlimit(RLIMIT_FSIZE, &tight);
    const long error = errorOf([&] { p.endDoc(); });
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::signal(SIGXFSZ, previous);
    EXPECT_EQ(error, 482);
    EXPECT_FALSE(p.printing());
    EXPECT_EQ(printertest::pdfText(pdf), earlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1) << "no job file left";
}

// An environment variable set for one test and put back after it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// The PDF printer writes into the user's documents folder, which a new account may lack.
TEST_F(PdfPrinter, ThePdfPrinterMakesTheDocumentsFolder) {
    const ScopedEnv home("HOME", dir_.string());
    const ScopedEnv config("XDG_CONFIG_HOME", (dir_ / ".config").string());
    printer::setPrintersForTesting(std::nullopt);
    const auto list = printer::printers();
    ASSERT_FALSE(list.empty());
    const printer::PrinterInfo pdf = list.back();
    ASSERT_EQ(pdf.deviceName, "PDF");
    EXPECT_EQ(pdf.pdfFile, (dir_ / "Documents" / "KV_M58S.pdf").string());
    printer::currentPrinter().select(pdf);
    printer::currentPrinter().print("first print of a new account");
    printer::currentPrinter().endDoc();
    EXPECT_NE(printertest::pdfText(pdf.pdfFile).find("first print"), std::string::npos);
}

// Job files a run that ended mid-print left are removed; those of a run still going, and
// every other file, stay.
TEST_F(PdfPrinter, JobFilesLeftByAnEndedRunAreRemoved) {
    const ScopedEnv home("HOME", dir_.string());
    const ScopedEnv config("XDG_CONFIG_HOME", (dir_ / ".config").string());
    const ScopedEnv temp("TMPDIR", (dir_ / "tmp").string());
    long pidMax = 0;
    std::ifstream("/proc/sys/kernel/pid_max") >> pidMax;
    ASSERT_GT(pidMax, 0);
    const std::string ended = std::to_string(pidMax + 1);  // no process has this number
    const std::string alive = std::to_string(::getppid());
    const std::string mine = std::to_string(::getpid());
    for (const char* folder : {"Documents", "tmp"}) {
        std::filesystem::create_directories(dir_ / folder);
        for (const std::string& name : std::vector<std::string>{".KV_M58S-job-" + ended + "-3.pdf", ".KV_M58S-job-" + alive + "-1.pdf",
                                        ".KV_M58S-job-" + mine + "-2.pdf", ".KV_M58S-job-x-1.pdf", "KV_M58S.pdf"})
            std::ofstream(dir_ / folder / name) << "%PDF";
    }
    printer::removeLeftJobFiles();
    for (const char* folder : {"Documents", "tmp"}) {
        SCOPED_TRACE(folder);
        EXPECT_FALSE(std::filesystem::exists(dir_ / folder / (".KV_M58S-job-" + ended + "-3.pdf")));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_ / folder), {}), 4);
    }
}

TEST_F(PdfPrinter, PrinterErrorsAreRunTimeErrors) {
    printer::setPrintersForTesting(std::vector<printer::PrinterInfo>{});
    printer::selectDefaultPrinter();
    EXPECT_EQ(errorOf([] { (void)printer::currentPrinter().deviceName(); }), 484);
    EXPECT_EQ(errorOf([] { printer::selectPrinter(0); }), 9);

    auto broken = fake("Broken");
    broken.pdfFile = (dir_ / "no-such-folder" / "x.pdf").string();
    printer::setPrintersForTesting(std::vector{broken});
    printer::selectPrinter(0);
    EXPECT_EQ(errorOf([] { printer::currentPrinter().print("x"); }), 482);
}

TEST(PreviewPicture, DrawsThePageAtScreenResolution) {
    printer::PreviewPicture pic;
    pic.setWidth(11907);
    pic.setHeight(16840);
    EXPECT_EQ(pic.image().width(), 794);
    EXPECT_EQ(pic.image().height(), 1123);
    pic.setDrawWidth(2);
    pic.line(1500, 1500, 3000, 1500, 0);
    EXPECT_EQ(QColor(pic.image().pixel(150, 100)), QColor(Qt::black));
    pic.setFontSize(9);
    EXPECT_NEAR(pic.textWidth("NNNN"), 2 * pic.textWidth("NN"), 16);
    EXPECT_GT(pic.textHeight("N"), 150);
    pic.cls();
    EXPECT_EQ(QColor(pic.image().pixel(150, 100)), QColor(Qt::white));
}

// The system's queues and page set-up come from a module loaded at their first use; the
// page set-up is answered as a user answers it, through the dialog's own buttons.
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
