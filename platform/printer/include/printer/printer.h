#pragma once
// The Printer object and the Printers collection. The printer is a page canvas in twips
// whose origin is the corner of the printable area; a document begins with the first
// drawing, NewPage ends a page, EndDoc sends the document and KillDoc discards it. A job
// is drawn into a file of its own, so that a discarded job sends nothing and leaves the
// previous PDF file as it was.
//
// The printers are the system's print queues plus one that writes a PDF file. Tests
// replace the list with printers of their own, each writing into a PDF file of theirs.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "printer/painter_canvas.h"
#include "printer/printer_info.h"

class QBuffer;
class QPdfWriter;
class QWidget;

namespace printer {

class JobFile;

// Paper codes the printer takes for PaperSize.
inline constexpr int kPaperA4 = 9;
inline constexpr int kPaperA5 = 11;
inline constexpr int kPaperB4 = 12;
inline constexpr int kPaperB5 = 13;
inline constexpr int kPaperUser = 256;  // Width and Height set in twips

inline constexpr int kPortrait = 1;
inline constexpr int kLandscape = 2;

// Hands a finished PDF document to a system print queue; false when the queue refuses it.
using QueueSubmit = std::function<bool(const std::string& queue, const std::string& pdfFile)>;
// Replaces the hand-over for a test; an empty function restores the system's.
void setQueueSubmitForTesting(QueueSubmit submit);

// The installed printers in the system's order, and the index of the default one (-1
// when there is no printer).
std::vector<PrinterInfo> printers();
int defaultPrinterIndex();
// Replaces the list for a test; nothing restores the system's.
void setPrintersForTesting(std::optional<std::vector<PrinterInfo>> list, int defaultIndex = 0);
// The folder the system's queues and page set-up are loaded from (libkv_print_queues.so),
// the program's own unless a test names another; without the module, the PDF printer is
// the only printer.
void setQueuesFolderForTesting(std::optional<std::string> folder);

class Printer : public PainterCanvas {
public:
    Printer();
    ~Printer() override;
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    // The printer this object prints to; a job in progress is discarded.
    void select(const PrinterInfo& info);
    // The object without any printer: its device name raises run-time error 484.
    void selectNone();
    bool hasPrinter() const { return info_.has_value(); }
    const PrinterInfo& info() const;

    std::string deviceName() const;
    std::string driverName() const;
    std::string port() const;

    int paperSize() const { return paperSize_; }
    // A paper code of the table, or kPaperUser with the size kept; other codes raise 380.
    void setPaperSize(int code);
    int orientation() const { return orientation_; }
    void setOrientation(int orientation);
    // The paper in twips, as oriented. Setting either makes the paper user-defined.
    double width() const override;
    double height() const override;
    void setWidth(double twips) override;
    void setHeight(double twips) override;
    // The printable area in twips.
    double scaleWidth() const override;
    double scaleHeight() const override;
    // Twips per pixel of the printer's own resolution, which may differ across and down.
    double pixelTwipsX() const { return 1440.0 / info().dpiX; }
    double pixelTwipsY() const { return 1440.0 / info().dpiY; }
    // The unprintable left and top edges in the printer's pixels.
    int physicalOffsetX() const;
    int physicalOffsetY() const;

    // Fonts the printer offers, by index from 0.
    int fontCount() const;
    std::string fonts(int index) const;

    void newPage() override;
    void endDoc();
    void killDoc();
    // A document has begun and is not yet ended.
    bool printing() const { return painter_ != nullptr; }
    // The system's page set-up dialog on this printer; false when the user cancelled.
    bool setupDialog(QWidget* parent);
    // Pages of the documents sent so far, for those who count.
    int pagesSent() const { return pagesSent_; }

protected:
    double dpiX() const override;
    double dpiY() const override;
    QPaintDevice* metricsDevice() const override;
    QPainter& painter() override;
    void clearDevice() override;

private:
    void beginDocument();
    void applyLayout();
    void removeJobFile();
    std::optional<PrinterInfo> info_;
    // The printer's page and resolution between jobs; its output is never written.
    std::unique_ptr<QBuffer> layoutOutput_;
    std::unique_ptr<QPdfWriter> device_;
    // Every job is drawn into a file of its own first; EndDoc commits it, KillDoc deletes it.
    std::unique_ptr<JobFile> job_;
    std::unique_ptr<QPdfWriter> writer_;
    std::unique_ptr<QPainter> painter_;
    int paperSize_ = kPaperA4;
    int orientation_ = kPortrait;
    double userWidth_ = 11907;   // twips, portrait
    double userHeight_ = 16839;
    int pagesSent_ = 0;
    int pageOfDoc_ = 0;
};

// The program's Printer object.
Printer& currentPrinter();
// Makes the printer of the list the Printer object (Set Printer = Printers(i)); an index
// outside the list raises run-time error 9.
void selectPrinter(int index);
// The system's default printer becomes the Printer object again (none when the list is empty).
void selectDefaultPrinter();

// The printer set-up of the Printer object; the user's cancel raises run-time error
// 32755. Tests replace the dialog with a function of theirs (empty restores it).
void showPrinterSetup(QWidget* parent);
void setPrinterSetupForTesting(std::function<bool(Printer&)> dialog);

// Removes the job files that a run which ended in the middle of a print (a crash, a kill)
// left beside the PDF printer's file and in the temporary folder. The program's start
// calls it; the jobs of a run still going are left alone.
void removeLeftJobFiles();

// The paper of a code in millimetres, portrait; false for a code outside the table.
bool paperMillimetres(int code, double& width, double& height);

}  // namespace printer
