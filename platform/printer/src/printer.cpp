#include "printer/printer.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QStandardPaths>
#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "job_file.h"
#include "queues.h"
#include "runtime/error.h"

namespace printer {
namespace {

constexpr double kTwipsPerMm = 1440.0 / 25.4;

struct TestList {
    std::vector<PrinterInfo> list;
    int defaultIndex = 0;
};
std::optional<TestList>& testList() {
    static std::optional<TestList> list;
    return list;
}

// The PDF printer's file, in the user's documents folder (made when the first job is
// printed, as a new account may not have it yet).
std::string pdfPrinterFile() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (dir.isEmpty()) dir = QDir::homePath();
    return (dir + QStringLiteral("/KV_M58S.pdf")).toStdString();
}

PrinterInfo pdfPrinter() {
    PrinterInfo pdf;
    pdf.deviceName = "PDF";
    pdf.driverName = "PDF";
    pdf.pdfFile = pdfPrinterFile();
    pdf.port = pdf.pdfFile;
    return pdf;
}

QueueSubmit& queueSubmitForTesting() {
    static QueueSubmit submit;
    return submit;
}

// The system's print spooler, reached through the CUPS library that Qt's own print
// support loads; without it no queue takes the job.
bool submitToCups(const std::string& queue, const std::string& pdfFile) {
    using PrintFile = int (*)(const char*, const char*, const char*, int, void*);
    static PrintFile printFile = [] {
        void* cups = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_GLOBAL);
        return cups ? reinterpret_cast<PrintFile>(::dlsym(cups, "cupsPrintFile")) : nullptr;
    }();
    return printFile && printFile(queue.c_str(), pdfFile.c_str(), "KV_M58S", 0, nullptr) > 0;
}

bool submitToQueue(const std::string& queue, const std::string& pdfFile) {
    return queueSubmitForTesting() ? queueSubmitForTesting()(queue, pdfFile) : submitToCups(queue, pdfFile);
}

std::optional<std::string>& queuesFolderForTesting() {
    static std::optional<std::string> folder;
    return folder;
}

}  // namespace

namespace detail {

const Queues* queues() {
    // One try a folder: a folder without the module is not searched again at every list.
    static std::optional<std::string> triedFolder;
    static const Queues* loaded = nullptr;
    const std::string folder = queuesFolderForTesting() ? *queuesFolderForTesting()
                                                        : QCoreApplication::applicationDirPath().toStdString();
    if (triedFolder == folder) return loaded;
    const std::string module = folder + "/libkv_print_queues.so";
    void* handle = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);  // stays loaded
    using Entry = const Queues* (*)();
    const auto entry = handle ? reinterpret_cast<Entry>(::dlsym(handle, "kvPrintQueues")) : nullptr;
    loaded = entry ? entry() : nullptr;
    triedFolder = folder;
    return loaded;
}

}  // namespace detail

void setQueuesFolderForTesting(std::optional<std::string> folder) { queuesFolderForTesting() = std::move(folder); }

void setQueueSubmitForTesting(QueueSubmit submit) { queueSubmitForTesting() = std::move(submit); }

std::vector<PrinterInfo> printers() {
    if (testList()) return testList()->list;
    const detail::Queues* queues = detail::queues();
    std::vector<PrinterInfo> list = queues ? queues->list() : std::vector<PrinterInfo>{};
    list.push_back(pdfPrinter());
    return list;
}

int defaultPrinterIndex() {
    if (testList()) return testList()->list.empty() ? -1 : testList()->defaultIndex;
    const auto list = printers();
    const detail::Queues* queues = detail::queues();
    const std::string name = queues ? queues->defaultName() : std::string();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (!name.empty() && list[i].deviceName == name) return static_cast<int>(i);
    return static_cast<int>(list.size()) - 1;  // the PDF printer
}

void removeLeftJobFiles() {
    removeJobFilesLeftIn({std::filesystem::path(pdfPrinterFile()).parent_path().string(), QDir::tempPath().toStdString()});
}

void setPrintersForTesting(std::optional<std::vector<PrinterInfo>> list, int defaultIndex) {
    if (list)
        testList() = TestList{std::move(*list), defaultIndex};
    else
        testList().reset();
}

bool paperMillimetres(int code, double& width, double& height) {
    switch (code) {
        case kPaperA4: width = 210; height = 297; return true;
        case kPaperA5: width = 148; height = 210; return true;
        case kPaperB4: width = 250; height = 354; return true;  // the size the caption and preview use
        case kPaperB5: width = 182; height = 257; return true;
        default: return false;
    }
}

Printer::Printer() = default;

Printer::~Printer() {
    if (painter_) killDoc();
}

void Printer::select(const PrinterInfo& info) {
    if (painter_) killDoc();
    info_ = info;
    // Queues and the PDF printer alike draw into a PDF job file; the queue gets the
    // finished file at EndDoc. Between jobs a PDF writer that never writes holds the
    // printer's page and resolution, for measures and the page set-up.
    device_.reset();  // before the buffer it holds
    layoutOutput_ = std::make_unique<QBuffer>();
    device_ = std::make_unique<QPdfWriter>(layoutOutput_.get());
    device_->setTitle(QStringLiteral("KV_M58S"));
    device_->setResolution(std::max(info.dpiX, info.dpiY));
    paperSize_ = kPaperA4;
    orientation_ = kPortrait;
    applyLayout();
}

void Printer::selectNone() {
    if (painter_) killDoc();
    info_.reset();
    device_.reset();
    layoutOutput_.reset();
}

const PrinterInfo& Printer::info() const {
    if (!info_) runtime::raise(runtime::err::PrinterInfo);
    return *info_;
}

std::string Printer::deviceName() const { return info().deviceName; }
std::string Printer::driverName() const { return info().driverName; }
std::string Printer::port() const { return info().port; }

void Printer::setPaperSize(int code) {
    double w, h;
    if (code != kPaperUser && !paperMillimetres(code, w, h)) runtime::raise(380);
    paperSize_ = code;
}

void Printer::setOrientation(int orientation) {
    if (orientation != kPortrait && orientation != kLandscape) runtime::raise(380);
    orientation_ = orientation;
}

double Printer::width() const {
    double w, h;
    if (!paperMillimetres(paperSize_, w, h)) return orientation_ == kLandscape ? userHeight_ : userWidth_;
    return std::round((orientation_ == kLandscape ? h : w) * kTwipsPerMm);
}

double Printer::height() const {
    double w, h;
    if (!paperMillimetres(paperSize_, w, h)) return orientation_ == kLandscape ? userWidth_ : userHeight_;
    return std::round((orientation_ == kLandscape ? w : h) * kTwipsPerMm);
}

void Printer::setWidth(double twips) {
    if (paperSize_ != kPaperUser) {
        userHeight_ = orientation_ == kLandscape ? width() : height();
        userWidth_ = orientation_ == kLandscape ? height() : width();
        paperSize_ = kPaperUser;
    }
    (orientation_ == kLandscape ? userHeight_ : userWidth_) = twips;
}

void Printer::setHeight(double twips) {
    if (paperSize_ != kPaperUser) {
        userHeight_ = orientation_ == kLandscape ? width() : height();
        userWidth_ = orientation_ == kLandscape ? height() : width();
        paperSize_ = kPaperUser;
    }
    (orientation_ == kLandscape ? userWidth_ : userHeight_) = twips;
}

int Printer::physicalOffsetX() const {
    const PrinterInfo& i = info();
    return orientation_ == kLandscape ? i.offsetY * i.dpiX / i.dpiY : i.offsetX;
}

int Printer::physicalOffsetY() const {
    const PrinterInfo& i = info();
    return orientation_ == kLandscape ? i.offsetX * i.dpiY / i.dpiX : i.offsetY;
}

double Printer::scaleWidth() const { return width() - 2.0 * physicalOffsetX() * pixelTwipsX(); }
double Printer::scaleHeight() const { return height() - 2.0 * physicalOffsetY() * pixelTwipsY(); }

int Printer::fontCount() const { return static_cast<int>(QFontDatabase::families().size()); }

std::string Printer::fonts(int index) const {
    const QStringList families = QFontDatabase::families();
    if (index < 0 || index >= families.size()) runtime::raise(runtime::err::SubscriptOutOfRange);
    return families.at(index).toStdString();
}

double Printer::dpiX() const { return metricsDevice()->logicalDpiX(); }
double Printer::dpiY() const { return metricsDevice()->logicalDpiY(); }

QPaintDevice* Printer::metricsDevice() const {
    if (!device_) runtime::raise(runtime::err::PrinterInfo);
    return device_.get();
}

void Printer::applyLayout() {
    if (!device_) return;
    const PrinterInfo& i = info();
    double portraitW, portraitH;
    if (!paperMillimetres(paperSize_, portraitW, portraitH)) {
        portraitW = (orientation_ == kLandscape ? height() : width()) / kTwipsPerMm;
        portraitH = (orientation_ == kLandscape ? width() : height()) / kTwipsPerMm;
    }
    QPageSize size;
    switch (paperSize_) {
        case kPaperA4: size = QPageSize(QPageSize::A4); break;
        case kPaperA5: size = QPageSize(QPageSize::A5); break;
        case kPaperB5: size = QPageSize(QPageSize::JisB5); break;
        // B4 among them: a page of its own size, so that the print and the preview agree.
        default: size = QPageSize(QSizeF(portraitW, portraitH), QPageSize::Millimeter, QString(), QPageSize::ExactMatch);
    }
    const QMarginsF margins(25.4 * i.offsetX / i.dpiX, 25.4 * i.offsetY / i.dpiY, 25.4 * i.offsetX / i.dpiX,
                            25.4 * i.offsetY / i.dpiY);
    const QPageLayout layout(size, orientation_ == kLandscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                             orientation_ == kLandscape ? QMarginsF(margins.top(), margins.left(), margins.bottom(), margins.right())
                                                        : margins,
                             QPageLayout::Millimeter);
    device_->setPageLayout(layout);
}

void Printer::beginDocument() {
    if (!device_) runtime::raise(runtime::err::PrinterInfo);
    applyLayout();
    const PrinterInfo& i = info();
    if (!i.pdfFile.empty() && i.pdfFile == pdfPrinterFile()) {
        std::error_code ec;
        std::filesystem::create_directories(std::filesystem::path(i.pdfFile).parent_path(), ec);
    }
    job_ = std::make_unique<JobFile>(newJobFile(i.pdfFile));
    if (!job_->open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        job_.reset();
        runtime::raise(runtime::err::PrinterError);
    }
    // The job is drawn with the printer's resolution and page; the writer is the
    // printer's own PDF engine, on the job file.
    writer_ = std::make_unique<QPdfWriter>(job_.get());
    writer_->setTitle(device_->title());
    writer_->setResolution(device_->resolution());
    writer_->setPageLayout(device_->pageLayout());
    auto p = std::make_unique<QPainter>();
    if (!p->begin(writer_.get())) {
        removeJobFile();
        runtime::raise(runtime::err::PrinterError);
    }
    painter_ = std::move(p);
    pageOfDoc_ = 1;
}

void Printer::removeJobFile() {
    writer_.reset();
    if (!job_) return;
    const QString path = job_->fileName();
    job_.reset();
    QFile::remove(path);
}

QPainter& Printer::painter() {
    if (!painter_) beginDocument();
    return *painter_;
}

void Printer::clearDevice() {}

void Printer::newPage() {
    if (!painter_) beginDocument();
    if (!writer_->newPage()) runtime::raise(runtime::err::PrinterError);
    ++pageOfDoc_;
    currentX_ = currentY_ = 0;
}

void Printer::endDoc() {
    if (!painter_) return;
    bool ok = painter_->end();
    painter_.reset();
    writer_.reset();
    const int pages = pageOfDoc_;
    pageOfDoc_ = 0;
    currentX_ = currentY_ = 0;
    // Only a job that reached the disk whole replaces the PDF file, in one step, or goes
    // to the queue; a failed one leaves the earlier file as it was.
    ok = ok && job_->finish();
    const std::string jobFile = job_->fileName().toStdString();
    if (ok && info_ && !info_->pdfFile.empty()) {
        std::error_code ec;
        std::filesystem::rename(jobFile, info_->pdfFile, ec);
        ok = !ec;
    } else if (ok && info_) {
        ok = submitToQueue(info_->deviceName, jobFile);
    }
    removeJobFile();
    if (!ok) runtime::raise(runtime::err::PrinterError);
    pagesSent_ += pages;
}

void Printer::killDoc() {
    if (!painter_) return;
    painter_->end();
    painter_.reset();
    pageOfDoc_ = 0;
    currentX_ = currentY_ = 0;
    removeJobFile();
}

bool Printer::setupDialog(QWidget* parent) {
    if (!device_) runtime::raise(runtime::err::PrinterInfo);
    applyLayout();
    const detail::Queues* queues = detail::queues();
    if (!queues) runtime::raise(runtime::err::PrinterError);
    QPageLayout layout = device_->pageLayout();
    if (!queues->pageSetup(layout, device_->resolution(), parent)) return false;
    orientation_ = layout.orientation() == QPageLayout::Landscape ? kLandscape : kPortrait;
    switch (layout.pageSize().id()) {
        case QPageSize::A4: paperSize_ = kPaperA4; break;
        case QPageSize::A5: paperSize_ = kPaperA5; break;
        case QPageSize::JisB5: paperSize_ = kPaperB5; break;
        default: {
            const QSizeF mm = layout.pageSize().size(QPageSize::Millimeter);
            paperSize_ = kPaperUser;
            userWidth_ = mm.width() * kTwipsPerMm;
            userHeight_ = mm.height() * kTwipsPerMm;
        }
    }
    return true;
}

namespace {
std::function<bool(Printer&)>& setupForTesting() {
    static std::function<bool(Printer&)> f;
    return f;
}
}  // namespace

void setPrinterSetupForTesting(std::function<bool(Printer&)> dialog) { setupForTesting() = std::move(dialog); }

void showPrinterSetup(QWidget* parent) {
    Printer& p = currentPrinter();
    const bool accepted = setupForTesting() ? setupForTesting()(p) : p.setupDialog(parent);
    if (!accepted) runtime::raise(runtime::err::Cancel);
}

Printer& currentPrinter() {
    static Printer* printer = [] {
        auto* p = new Printer;  // lives for the whole run, like the platform's object
        const auto list = printers();
        const int i = defaultPrinterIndex();
        if (i >= 0 && i < static_cast<int>(list.size())) p->select(list[static_cast<std::size_t>(i)]);
        return p;
    }();
    return *printer;
}

void selectPrinter(int index) {
    const auto list = printers();
    if (index < 0 || index >= static_cast<int>(list.size())) runtime::raise(runtime::err::SubscriptOutOfRange);
    currentPrinter().select(list[static_cast<std::size_t>(index)]);
}

void selectDefaultPrinter() {
    const auto list = printers();
    const int i = defaultPrinterIndex();
    if (i >= 0 && i < static_cast<int>(list.size()))
        currentPrinter().select(list[static_cast<std::size_t>(i)]);
    else
        currentPrinter().selectNone();
}

}  // namespace printer
