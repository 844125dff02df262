// The print queues module: the system's printers and page set-up dialog over Qt's print
// support, which only this module links.
#include <QPageLayout>
#include <QPageSetupDialog>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include "queues.h"

namespace {

using printer::PrinterInfo;

PrinterInfo fromSystem(const QPrinterInfo& q) {
    PrinterInfo info;
    info.deviceName = q.printerName().toStdString();
    info.driverName = q.makeAndModel().toStdString();
    info.port = q.location().toStdString();
    QPrinter probe(q, QPrinter::HighResolution);
    probe.setPageSize(QPageSize(QPageSize::A4));
    info.dpiX = info.dpiY = probe.resolution();
    const QRect paint = probe.pageLayout().paintRectPixels(probe.resolution());
    info.offsetX = paint.left();
    info.offsetY = paint.top();
    return info;
}

std::vector<PrinterInfo> list() {
    std::vector<PrinterInfo> queues;
    for (const QPrinterInfo& q : QPrinterInfo::availablePrinters()) queues.push_back(fromSystem(q));
    return queues;
}

std::string defaultName() { return QPrinterInfo::defaultPrinterName().toStdString(); }

// The dialog works on a PDF printer of the job's resolution: every job is drawn into a
// PDF file first.
bool pageSetup(QPageLayout& layout, int resolution, QWidget* parent) {
    QPrinter device(QPrinter::HighResolution);
    device.setOutputFormat(QPrinter::PdfFormat);
    device.setResolution(resolution);
    device.setFullPage(false);
    device.setPageLayout(layout);
    QPageSetupDialog dialog(&device, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    layout = device.pageLayout();
    return true;
}

const printer::detail::Queues kQueues{list, defaultName, pageSetup};

}  // namespace

extern "C" __attribute__((visibility("default"))) const printer::detail::Queues* kvPrintQueues() { return &kQueues; }
